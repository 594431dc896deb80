#pragma once

#include <csignal>
#include <sys/resource.h>

namespace tarvino::test {

/// For as long as it lives, every file's writes break off at `limit` bytes, as on a full disk.
class FullDisk {
public:
    explicit FullDisk(rlim_t limit)
    {
        // A write past the limit fails instead of killing the test; left so for the rest of the run.
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit full{limit, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &full);
    }
    ~FullDisk() { ::setrlimit(RLIMIT_FSIZE, &m_old); }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit m_old{};
};

} // namespace tarvino::test
