#include "platform/posix/PosixProcesses.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarvino::platform {
namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A program that cannot be found must be a failed start, not a child that exits with 127.
std::optional<std::string> locate(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return isExecutableFile(program) ? std::optional(program) : std::nullopt;
    const char* pathVariable = std::getenv("PATH");
    const std::string path = pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(':', start);
        std::string folder = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (folder.empty())
            folder.push_back('.');
        std::string candidate = std::move(folder);
        candidate.append(1, '/').append(program);
        if (isExecutableFile(candidate))
            return candidate;
        if (end == std::string::npos)
            return std::nullopt;
        start = end + 1;
    }
}

int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false;
    bool any = false;
    std::size_t i = 0;

    // The program name knows no escapes: it ends at the closing quote or a blank.
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t'))
        ++i;
    for (; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (c == '"') {
            inQuotes = !inQuotes;
            any = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            break;
        } else {
            current += c;
            any = true;
        }
    }
    if (any)
        args.push_back(current);
    current.clear();
    any = false;
    inQuotes = false;

    // The arguments follow the C runtime's rules: backslashes are literal unless
    // they precede a quote, where each pair gives one backslash and an odd one
    // makes the quote literal; "" inside quotes is a literal quote.
    while (i < commandLine.size()) {
        const char c = commandLine[i];
        if (c == '\\') {
            std::size_t count = 0;
            while (i < commandLine.size() && commandLine[i] == '\\') {
                ++count;
                ++i;
            }
            if (i < commandLine.size() && commandLine[i] == '"') {
                current.append(count / 2, '\\');
                if (count % 2 == 1) {
                    current += '"';
                    ++i;
                }
            } else {
                current.append(count, '\\');
            }
            any = true;
        } else if (c == '"') {
            if (inQuotes && i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
                current += '"';
                i += 2;
            } else {
                inQuotes = !inQuotes;
                ++i;
            }
            any = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (any)
                args.push_back(current);
            current.clear();
            any = false;
            ++i;
        } else {
            current += c;
            any = true;
            ++i;
        }
    }
    if (any)
        args.push_back(current);
    return args;
}

Started PosixProcesses::startHidden(const std::string& commandLine)
{
    // Programs not waited for (the registration tool) are collected here, so they leave no zombies.
    for (auto it = m_running.begin(); it != m_running.end();) {
        const std::int64_t pid = *it++;
        reap(pid);
    }

    const std::vector<std::string> args = splitCommandLine(commandLine);
    if (args.empty() || args.front().empty())
        return {Outcome::failed(EINVAL, "Empty command line"), 0};
    const auto program = locate(args.front());
    if (!program)
        return {Outcome::failed(ENOENT, std::strerror(ENOENT)), 0};

    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    for (int fd = 0; fd <= 2; ++fd)
        ::posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    // The child starts with the signals a fresh program expects, whatever this process blocks or ignores.
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program->c_str(), &actions, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return {Outcome::failed(error, std::strerror(error)), 0};
    m_exitCodes.erase(pid);
    m_running.insert(pid);
    return {Outcome::ok(), pid};
}

bool PosixProcesses::reap(std::int64_t processId)
{
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(static_cast<pid_t>(processId), &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0)
        return false;
    if (result == static_cast<pid_t>(processId))
        m_exitCodes[processId] = exitCodeOf(status);
    // Either it ended now, or it is no child of ours (ECHILD): nothing left to wait for.
    m_running.erase(processId);
    return true;
}

bool PosixProcesses::waitFor(std::int64_t processId, std::chrono::milliseconds slice)
{
    if (m_exitCodes.count(processId) && !m_running.count(processId))
        return true;
    if (processId <= 0)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + slice;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (reap(processId))
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        const auto step = std::min(pause, left + std::chrono::milliseconds(1));
        const timespec ts{static_cast<time_t>(step.count() / 1000),
                          static_cast<long>(step.count() % 1000) * 1000000L};
        ::nanosleep(&ts, nullptr);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

std::optional<int> PosixProcesses::exitCode(std::int64_t processId) const
{
    auto it = m_exitCodes.find(processId);
    if (it == m_exitCodes.end())
        return std::nullopt;
    return it->second;
}

} // namespace tarvino::platform
