#pragma once

#include "platform/Platform.h"

namespace tarvino::platform {

/// Per-user values by full path, kept in an INI file beside the settings store
/// ($XDG_CONFIG_HOME/Tarvino/Registry.ini).
class IniRegistry final : public Registry {
public:
    Outcome writeDword(const std::string& fullPath, std::uint32_t value) override;
    std::optional<std::uint32_t> readDword(const std::string& fullPath) const override;
};

} // namespace tarvino::platform
