#include "platform/windows/WindowsPlatform.h"

#include "platform/RegistryPath.h"
#include "platform/windows/WindowsText.h"

#include <algorithm>
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

// ---- Processes ----

WindowsProcesses::~WindowsProcesses()
{
    for (auto& [pid, handle] : m_handles)
        CloseHandle(handle);
}

bool WindowsProcesses::collect(std::int64_t processId, unsigned long timeoutMs)
{
    const auto it = m_handles.find(processId);
    if (it == m_handles.end())
        return true;
    const DWORD wait = WaitForSingleObject(it->second, timeoutMs);
    if (wait == WAIT_TIMEOUT)
        return false;
    DWORD code = 0;
    if (wait == WAIT_OBJECT_0 && GetExitCodeProcess(it->second, &code))
        m_exitCodes[processId] = static_cast<int>(code);
    CloseHandle(it->second);
    m_handles.erase(it);
    return true;
}

Started WindowsProcesses::startHidden(const std::string& commandLine)
{
    // The registration tool is never waited for: let go of the handles of those that have ended.
    for (auto it = m_handles.begin(); it != m_handles.end();) {
        const std::int64_t pid = (it++)->first;
        collect(pid, 0);
    }

    std::wstring command = widen(commandLine);
    if (command.find_first_not_of(L" \t") == std::wstring::npos)
        return {Outcome::failed(ERROR_INVALID_PARAMETER, win::describe(ERROR_INVALID_PARAMETER)), 0};

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info))
        return {win::lastFailure(), 0};
    CloseHandle(info.hThread);
    const auto pid = static_cast<std::int64_t>(info.dwProcessId);
    m_exitCodes.erase(pid);
    m_handles[pid] = info.hProcess;
    return {Outcome::ok(), pid};
}

bool WindowsProcesses::waitFor(std::int64_t processId, std::chrono::milliseconds slice)
{
    const auto ms = slice.count() <= 0 ? 0 : std::min<std::int64_t>(slice.count(), INFINITE - 1);
    return collect(processId, static_cast<unsigned long>(ms));
}

std::optional<int> WindowsProcesses::exitCode(std::int64_t processId) const
{
    const auto it = m_exitCodes.find(processId);
    if (it == m_exitCodes.end())
        return std::nullopt;
    return it->second;
}

// ---- Windows ----

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

// ---- Registry ----

namespace {

HKEY rootKey(const std::string& root)
{
    if (root == "HKCU")
        return HKEY_CURRENT_USER;
    if (root == "HKLM")
        return HKEY_LOCAL_MACHINE;
    if (root == "HKCR")
        return HKEY_CLASSES_ROOT;
    if (root == "HKU")
        return HKEY_USERS;
    return HKEY_CURRENT_CONFIG;
}

Outcome fromStatus(LSTATUS status)
{
    return Outcome::failed(static_cast<int>(status), win::describe(static_cast<unsigned long>(status)));
}

} // namespace

Outcome WindowsRegistry::writeDword(const std::string& fullPath, std::uint32_t value)
{
    const auto path = parseRegistryPath(fullPath);
    if (!path)
        return Outcome::failed(ERROR_INVALID_PARAMETER, "Invalid registry path: " + fullPath);
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(rootKey(path->root), widen(path->key).c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return fromStatus(status);
    const DWORD data = value;
    status = RegSetValueExW(key, widen(path->name).c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&data), sizeof data);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return fromStatus(status);
    return Outcome::ok();
}

std::optional<std::uint32_t> WindowsRegistry::readDword(const std::string& fullPath) const
{
    const auto path = parseRegistryPath(fullPath);
    if (!path)
        return std::nullopt;
    DWORD data = 0;
    DWORD size = sizeof data;
    const LSTATUS status = RegGetValueW(rootKey(path->root), widen(path->key).c_str(),
                                        widen(path->name).c_str(), RRF_RT_REG_DWORD, nullptr, &data, &size);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return data;
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

} // namespace tarvino::platform
