#pragma once

#include "FakeClock.h"
#include "FaultyFileSystem.h"
#include "platform/Platform.h"

#include <map>
#include <stdexcept>

namespace tarvino::test {

/// Thrown by the test platform where the real one would end the program.
struct ProgramEnded : std::runtime_error {
    explicit ProgramEnded(int code) : std::runtime_error("program ended"), exitCode(code) {}
    int exitCode;
};

/// System facts a test sets: computer name, environment, program folder.
class FakeSystemInfo final : public platform::SystemInfo {
public:
    std::optional<std::string> computerName() const override { return name; }
    std::optional<std::string> environment(const std::string& key) const override;
    std::string programFolder() const override { return folder; }
    [[noreturn]] void endProgram(int exitCode) override { throw ProgramEnded(exitCode); }

    std::optional<std::string> name = std::string("RACUNOVODSTVO-1");
    std::map<std::string, std::optional<std::string>> env;
    std::string folder;
};

/// The real platform with a fake clock, fault-injecting file operations and
/// system facts of the test's choosing. Processes, windows and the registry are real.
class TestPlatform final : public platform::Platform {
public:
    TestPlatform();

    platform::Clock& clock() override { return fakeClock; }
    platform::FileSystem& files() override { return faultyFiles; }
    platform::Processes& processes() override { return m_native->processes(); }
    platform::WindowManager& windows() override { return m_native->windows(); }
    platform::Registry& registry() override { return m_native->registry(); }
    platform::SystemInfo& system() override { return fakeSystem; }

private:
    std::unique_ptr<platform::Platform> m_native;

public:
    FakeClock fakeClock;
    FaultyFileSystem faultyFiles;
    FakeSystemInfo fakeSystem;
};

} // namespace tarvino::test
