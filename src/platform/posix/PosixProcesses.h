#pragma once

#include "platform/Platform.h"

#include <map>
#include <set>

namespace tarvino::platform {

/// posix_spawn and waitpid. The command line follows Windows' quoting rules so that
/// the logic forms one text for both halves.
class PosixProcesses final : public Processes {
public:
    Started startHidden(const std::string& commandLine) override;
    bool waitFor(std::int64_t processId, std::chrono::milliseconds slice) override;
    std::optional<int> exitCode(std::int64_t processId) const override;

private:
    bool reap(std::int64_t processId);

    std::set<std::int64_t> m_running;
    std::map<std::int64_t, int> m_exitCodes;
};

/// Splits a command line into arguments the way Windows programs do.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

} // namespace tarvino::platform
