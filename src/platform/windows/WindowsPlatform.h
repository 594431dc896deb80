#pragma once

#include "platform/Platform.h"
#include "platform/windows/WindowsFileSystem.h"
#include "platform/windows/WindowsProcesses.h"
#include "platform/windows/WindowsRegistry.h"
#include "platform/windows/WindowsWindowManager.h"

namespace tarvino::platform {

class WindowsClock final : public Clock {
public:
    LocalTime now() const override;
    std::chrono::milliseconds monotonic() const override;
    void sleep(std::chrono::milliseconds duration) override;
};

class WindowsSystemInfo final : public SystemInfo {
public:
    std::optional<std::string> computerName() const override;
    std::optional<std::string> environment(const std::string& name) const override;
    std::string programFolder() const override;
    [[noreturn]] void endProgram(int exitCode) override;
};

class WindowsPlatform final : public Platform {
public:
    Clock& clock() override { return m_clock; }
    FileSystem& files() override { return m_files; }
    Processes& processes() override { return m_processes; }
    WindowManager& windows() override { return m_windows; }
    Registry& registry() override { return m_registry; }
    SystemInfo& system() override { return m_system; }

private:
    WindowsClock m_clock;
    WindowsFileSystem m_files;
    WindowsProcesses m_processes;
    WindowsWindowManager m_windows;
    WindowsRegistry m_registry;
    WindowsSystemInfo m_system;
};

} // namespace tarvino::platform
