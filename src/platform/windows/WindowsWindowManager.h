#pragma once

#include "platform/Platform.h"

namespace tarvino::platform {

class WindowsWindowManager final : public WindowManager {
public:
    WindowHandle findWindow(const std::optional<std::string>& windowClass,
                            const std::optional<std::string>& caption) override;
    void sendMessage(WindowHandle window, unsigned message) override;
    bool isIconic(WindowHandle window) override;
    void showWindow(WindowHandle window, int command) override;
    void setForegroundWindow(WindowHandle window) override;
};

} // namespace tarvino::platform
