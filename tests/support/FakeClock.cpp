#include "FakeClock.h"

namespace tarvino::test {
namespace {

// Days since 1970-01-01 for a civil date and back (H. Hinnant's algorithms).
long daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long z, int& y, int& m, int& d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

} // namespace

FakeClock::FakeClock(platform::LocalTime start) : m_start(start) {}

platform::LocalTime FakeClock::now() const
{
    const long long startMs =
        (daysFromCivil(m_start.year, m_start.month, m_start.day) * 86400LL + m_start.hour * 3600LL +
         m_start.minute * 60LL + m_start.second) * 1000LL + m_start.millisecond;
    const long long ms = startMs + (m_offset + m_elapsed).count();
    const long long secs = ms / 1000;
    platform::LocalTime t;
    civilFromDays(static_cast<long>(secs / 86400), t.year, t.month, t.day);
    const long long inDay = secs % 86400;
    t.hour = static_cast<int>(inDay / 3600);
    t.minute = static_cast<int>(inDay / 60 % 60);
    t.second = static_cast<int>(inDay % 60);
    t.millisecond = static_cast<int>(ms % 1000);
    return t;
}

void FakeClock::sleep(std::chrono::milliseconds duration)
{
    m_elapsed += duration;
    m_slept += duration;
    if (onSleep)
        onSleep(m_slept);
}

void FakeClock::advance(std::chrono::milliseconds duration)
{
    m_elapsed += duration;
}

void FakeClock::setTime(platform::LocalTime time)
{
    m_start = time;
    m_offset = -m_elapsed;
}

} // namespace tarvino::test
