#pragma once

#include "platform/Platform.h"

namespace tarvino::platform {

class WindowsRegistry final : public Registry {
public:
    Outcome writeDword(const std::string& fullPath, std::uint32_t value) override;
    std::optional<std::uint32_t> readDword(const std::string& fullPath) const override;
};

} // namespace tarvino::platform
