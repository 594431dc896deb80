#include "platform/windows/WindowsProcesses.h"

#include "platform/windows/WindowsText.h"

#include <algorithm>
#include <windows.h>

namespace tarvino::platform {

using win::widen;

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

} // namespace tarvino::platform
