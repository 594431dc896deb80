#pragma once

#include "platform/Platform.h"

#include <map>

namespace tarvino::platform {

class WindowsClock final : public Clock {
public:
    LocalTime now() const override;
    std::chrono::milliseconds monotonic() const override;
    void sleep(std::chrono::milliseconds duration) override;
};

/// The file operations with Windows' own rules; read-only files are unlocked
/// only where the operation says so.
class WindowsFileSystem final : public FileSystem {
public:
    bool fileExists(const std::string& path) const override;
    bool folderExists(const std::string& path) const override;
    bool isLink(const std::string& path) const override;
    Outcome createFolder(const std::string& path) override;
    Outcome removeFolder(const std::string& path) override;
    Outcome copyFile(const std::string& from, const std::string& to) override;
    Outcome moveFile(const std::string& from, const std::string& to) override;
    Outcome deleteFile(const std::string& path, bool force) override;
    Outcome deleteMatching(const std::string& folder, const std::string& pattern) override;
    std::optional<std::uint64_t> fileSize(const std::string& path, Outcome* why) const override;
    std::vector<std::string> listFiles(const std::string& folder) const override;
    Outcome readFile(const std::string& path, std::string& bytes) const override;
    Outcome appendToFile(const std::string& path, const std::string& bytes, bool* opened) override;
};

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

class WindowsWindowManager final : public WindowManager {
public:
    WindowHandle findWindow(const std::optional<std::string>& windowClass,
                            const std::optional<std::string>& caption) override;
    void sendMessage(WindowHandle window, unsigned message) override;
    bool isIconic(WindowHandle window) override;
    void showWindow(WindowHandle window, int command) override;
    void setForegroundWindow(WindowHandle window) override;
};

class WindowsRegistry final : public Registry {
public:
    Outcome writeDword(const std::string& fullPath, std::uint32_t value) override;
    std::optional<std::uint32_t> readDword(const std::string& fullPath) const override;
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
