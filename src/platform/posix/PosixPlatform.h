#pragma once

#include "platform/Platform.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/IniRegistry.h"
#include "platform/posix/XcbWindowManager.h"

#include <filesystem>

namespace tarvino::platform {

/// $XDG_CONFIG_HOME/Tarvino (default ~/.config/Tarvino): the settings store and the
/// per-user values by full path live there.
std::filesystem::path configFolder();

class PosixClock final : public Clock {
public:
    LocalTime now() const override;
    std::chrono::milliseconds monotonic() const override;
    void sleep(std::chrono::milliseconds duration) override;
};

class PosixSystemInfo final : public SystemInfo {
public:
    std::optional<std::string> computerName() const override;
    std::optional<std::string> environment(const std::string& name) const override;
    std::string programFolder() const override;
    [[noreturn]] void endProgram(int exitCode) override;
};

class PosixPlatform final : public Platform {
public:
    Clock& clock() override { return m_clock; }
    FileSystem& files() override { return m_files; }
    Processes& processes() override { return m_processes; }
    WindowManager& windows() override { return m_windows; }
    Registry& registry() override { return m_registry; }
    SystemInfo& system() override { return m_system; }

private:
    PosixClock m_clock;
    PosixFileSystem m_files;
    PosixProcesses m_processes;
    XcbWindowManager m_windows;
    IniRegistry m_registry;
    PosixSystemInfo m_system;
};

} // namespace tarvino::platform
