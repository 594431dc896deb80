#include "FakeClock.h"

#include <QDateTime>

namespace tarvino::test {

platform::LocalTime FakeClock::now() const
{
    // Counted in UTC: the fake days know no summer time.
    const QDateTime start(QDate(m_start.year, m_start.month, m_start.day),
                          QTime(m_start.hour, m_start.minute, m_start.second, m_start.millisecond), Qt::UTC);
    const QDateTime t = start.addMSecs((m_offset + m_elapsed).count());
    return {t.date().year(),   t.date().month(),  t.date().day(), t.time().hour(),
            t.time().minute(), t.time().second(), t.time().msec()};
}

} // namespace tarvino::test
