#include "platform/posix/PosixPlatform.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <pwd.h>
#include <thread>
#include <unistd.h>

namespace tarvino::platform {

LocalTime PosixClock::now() const
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local {};
    ::localtime_r(&seconds, &local);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return LocalTime {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min,         local.tm_sec,     static_cast<int>(ms)};
}

std::chrono::milliseconds PosixClock::monotonic() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void PosixClock::sleep(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

std::optional<std::string> PosixSystemInfo::computerName() const
{
    char name[256] = {};
    if (::gethostname(name, 255) != 0)
        return std::nullopt;
    return std::string(name);
}

std::optional<std::string> PosixSystemInfo::environment(const std::string& name) const
{
    const char* value = std::getenv(name.c_str());
    if (!value)
        return std::nullopt;
    return std::string(value);
}

std::string PosixSystemInfo::programFolder() const
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
}

void PosixSystemInfo::endProgram(int exitCode)
{
    std::_Exit(exitCode);
}

std::unique_ptr<Platform> createNativePlatform()
{
    return std::make_unique<PosixPlatform>();
}

char pathSeparator()
{
    return '/';
}

std::filesystem::path configFolder()
{
    // XDG asks to ignore a relative XDG_CONFIG_HOME.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "/";
        }
        base = std::filesystem::path(home) / ".config";
    }
    return base / "Tarvino";
}

SettingsLocation settingsLocation()
{
    return {false, configFolder().string()};
}

const char* sevenZipProgram()
{
    return "7za";
}

} // namespace tarvino::platform
