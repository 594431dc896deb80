#pragma once

#include "platform/Platform.h"

#include <map>

namespace tarvino::platform {

/// CreateProcessW without a window; the process handles are kept until the end is seen.
class WindowsProcesses final : public Processes {
public:
    WindowsProcesses() = default;
    WindowsProcesses(const WindowsProcesses&) = delete;
    WindowsProcesses& operator=(const WindowsProcesses&) = delete;
    ~WindowsProcesses() override;

    Started startHidden(const std::string& commandLine) override;
    bool waitFor(std::int64_t processId, std::chrono::milliseconds slice) override;
    std::optional<int> exitCode(std::int64_t processId) const override;

private:
    bool collect(std::int64_t processId, unsigned long timeoutMs);

    std::map<std::int64_t, void*> m_handles;
    std::map<std::int64_t, int> m_exitCodes;
};

} // namespace tarvino::platform
