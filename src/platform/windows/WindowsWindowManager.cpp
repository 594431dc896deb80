#include "platform/windows/WindowsWindowManager.h"

#include "platform/windows/WindowsText.h"

#include <windows.h>

namespace tarvino::platform {

using win::widen;

namespace {

HWND asWindow(WindowHandle window)
{
    return reinterpret_cast<HWND>(window);
}

} // namespace

WindowHandle WindowsWindowManager::findWindow(const std::optional<std::string>& windowClass,
                                              const std::optional<std::string>& caption)
{
    if (!windowClass && !caption)
        return 0;
    // The wide call: a caption with a letter the ANSI code page lacks (ć on a
    // Western code page) would otherwise never be found, and the suite's program
    // would be replaced while it runs.
    const std::wstring cls = windowClass ? widen(*windowClass) : std::wstring();
    const std::wstring title = caption ? widen(*caption) : std::wstring();
    HWND found = FindWindowW(windowClass ? cls.c_str() : nullptr, caption ? title.c_str() : nullptr);
    return reinterpret_cast<WindowHandle>(found);
}

void WindowsWindowManager::sendMessage(WindowHandle window, unsigned message)
{
    // A program that hangs must not hang the update with it.
    static const std::int32_t zero = 0;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(asWindow(window), message, 0, reinterpret_cast<LPARAM>(&zero),
                        SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000, &result);
}

bool WindowsWindowManager::isIconic(WindowHandle window)
{
    return IsIconic(asWindow(window)) != FALSE;
}

void WindowsWindowManager::showWindow(WindowHandle window, int command)
{
    ShowWindow(asWindow(window), command);
}

void WindowsWindowManager::setForegroundWindow(WindowHandle window)
{
    SetForegroundWindow(asWindow(window));
}

} // namespace tarvino::platform
