#pragma once

#include <csignal>
#include <sys/resource.h>

namespace tarvino::test {

/// For as long as it lives, every file's writes break off at `limit` bytes, as on a full disk.
class FullDisk {
public:
    explicit FullDisk(rlim_t limit) : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit full{limit, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &full);
    }
    ~FullDisk()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    void (*m_handler)(int);
    rlimit m_old{};
};

} // namespace tarvino::test
