#include "platform/windows/WindowsPlatform.h"

#include "platform/windows/WindowsText.h"

#include <windows.h>

namespace tarvino::platform {

using win::narrow;
using win::widen;

// ---- Clock ----

LocalTime WindowsClock::now() const
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::chrono::milliseconds WindowsClock::monotonic() const
{
    return std::chrono::milliseconds(static_cast<std::int64_t>(GetTickCount64()));
}

void WindowsClock::sleep(std::chrono::milliseconds duration)
{
    Sleep(duration.count() > 0 ? static_cast<DWORD>(duration.count()) : 0);
}

// ---- System ----

std::optional<std::string> WindowsSystemInfo::computerName() const
{
    char name[256] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size))
        return std::nullopt;
    return win::fromAnsi(std::string(name, size));
}

std::optional<std::string> WindowsSystemInfo::environment(const std::string& name) const
{
    const std::wstring key = widen(name);
    std::wstring value(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length =
            GetEnvironmentVariableW(key.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
                return std::nullopt;
            return std::string();
        }
        if (length < value.size()) {
            value.resize(length);
            return narrow(value);
        }
        value.resize(length);
    }
}

std::string WindowsSystemInfo::programFolder() const
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto sep = path.find_last_of(L"\\/");
    return narrow(sep == std::wstring::npos ? path : path.substr(0, sep));
}

void WindowsSystemInfo::endProgram(int exitCode)
{
    ExitProcess(static_cast<UINT>(exitCode));
}

std::unique_ptr<Platform> createNativePlatform()
{
    return std::make_unique<WindowsPlatform>();
}

char pathSeparator()
{
    return '\\';
}

SettingsLocation settingsLocation()
{
    // Existing workstations keep their values here; the tool reads them on its first start.
    return {true, "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Tarvino"};
}

const char* sevenZipProgram()
{
    return "7za.exe";
}

} // namespace tarvino::platform
