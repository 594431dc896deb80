#include "TestInstallation.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace tarvino::test {

TestInstallation::TestInstallation(bool updateFolder)
    : settings(SettingsStore::openIniFile(m_dir.path() + QStringLiteral("/config/Tarvino/Tarvino.ini"))),
      ctx{state, window, platform, *settings}
{
    QDir().mkpath(m_dir.path() + QStringLiteral("/Tarvino"));
    state.programFolder = QDir::toNativeSeparators(m_dir.path() + QStringLiteral("/Tarvino"));
    state.installFolder = folder();
    platform.fakeSystem.folder = native(state.programFolder);
    if (updateFolder)
        QDir().mkpath(path(QStringLiteral("Update")));
}

void TestInstallation::write(const QString& relative, const QByteArray& bytes) const
{
    QDir().mkpath(QFileInfo(path(relative)).path());
    QFile f(path(relative));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray TestInstallation::read(const QString& relative) const
{
    QFile f(path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList TestInstallation::journal() const
{
    // Every entry starts with the date and the time (hours, minutes, seconds, maybe AM/PM).
    static const QRegularExpression stamp(QStringLiteral("^.*?\\d{1,2}:\\d{2}:\\d{2}( ?[AP]M)? "));
    QStringList lines;
    for (QString line : fromAnsi(read(QStringLiteral("Update/Update.log"))).split(CRLF, Qt::SkipEmptyParts))
        lines << line.remove(stamp);
    return lines;
}

} // namespace tarvino::test
