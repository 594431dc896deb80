#pragma once

#include "platform/Platform.h"

#include <functional>

namespace tarvino::test {

/// A clock that never sleeps: `sleep` moves time forward at once and records it.
/// A hook runs after every move, so a test can make a file appear during a wait.
class FakeClock final : public platform::Clock {
public:
    explicit FakeClock(platform::LocalTime start = {2026, 12, 6, 10, 15, 0, 0}) : m_start(start) {}

    platform::LocalTime now() const override;
    std::chrono::milliseconds monotonic() const override { return m_elapsed; }
    void sleep(std::chrono::milliseconds duration) override
    {
        m_elapsed += duration;
        m_slept += duration;
        if (onSleep)
            onSleep(m_slept);
    }

    /// Sets the time of day (and date); the monotonic clock is not affected.
    void setTime(platform::LocalTime time)
    {
        m_start = time;
        m_offset = -m_elapsed;
    }
    /// Everything slept so far, in milliseconds.
    std::chrono::milliseconds slept() const { return m_slept; }

    /// Runs after every sleep with the total time slept.
    std::function<void(std::chrono::milliseconds slept)> onSleep;

private:
    platform::LocalTime m_start;
    std::chrono::milliseconds m_offset{0};
    std::chrono::milliseconds m_elapsed{0};
    std::chrono::milliseconds m_slept{0};
};

} // namespace tarvino::test
