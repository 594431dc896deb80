#include "transfer/Unpacking.h"

#include "ServedInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;
using namespace std::chrono_literals;

TEST(Unpacking, ArchivesUnpackWithTheToolsOwnSevenZipAndCopyOnlyFilesPauseByTheirSize)
{
    ServedInstallation r;
    // 7-Zip beside the tool is preferred to the system's.
    ASSERT_TRUE(QFile::copy(QStringLiteral("/usr/bin/7za"), r.inst.path(QStringLiteral("7za"))));
    // Capitals are not a copy-only extension: "Upute.CHM" is a real archive. Archives and controls pause by
    // their packed size, a second a million bytes, halves to even (2.5 million: two); help and scripts do
    // not.
    r.rows = {{.name = QStringLiteral("Računi.dll")},
              {.name = QStringLiteral("Pomoć.chm"), .content = QByteArray(2'600'000, 'h')},
              {.name = QStringLiteral("Izmjena.enc"), .content = QByteArray(1'600'000, 'e')},
              {.name = QStringLiteral("Grid.ocx"), .content = QByteArray(2'500'000, 'o')},
              {.name = QStringLiteral("Upute.CHM"), .content = noise(700'000)}};
    r.publish();
    r.inst.write(QStringLiteral("Update/Pomoć.chm"), "old help");
    std::vector<std::chrono::milliseconds> pauses;
    for (const Row& p : r.rows) {
        r.inst.write(QStringLiteral("Update/") + packedName(p.name), p.packed);
        const auto before = r.inst.platform.fakeClock.slept();
        EXPECT_TRUE(Unzipaj(r.inst.ctx, p.name)) << p.name.toStdString();
        EXPECT_EQ(r.updated(p.name), p.content) << p.name.toStdString();
        pauses.push_back(r.inst.platform.fakeClock.slept() - before);
    }
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{0s, 0s, 0s, 2s, 1s}));
    // The command line: the tool's own 7-Zip, overwriting, names taken literally, never as switches.
    const QString u = r.inst.state.updateFolder;
    EXPECT_EQ(r.inst.journal().value(1),
              QStringLiteral("Unzipaj- \"") + r.inst.folder() + QStringLiteral("7za\" e -aoa -spd -o") + u +
                  QStringLiteral("Raspakiranje -- ") + u + QStringLiteral("Racuni.7z"));
}

TEST(Unpacking, SevenZipThatCannotBeStartedFailsAndLeavesNoEarlierFile)
{
    ServedInstallation r;
    r.inst.write(QStringLiteral("Update/Racuni.7z"), sevenZip({{QStringLiteral("Računi.exe"), "program"}}));
    r.inst.write(QStringLiteral("Update/Računi.exe"), "left from an earlier run");
    QTemporaryDir nothing;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", nothing.path().toLocal8Bit());

    EXPECT_FALSE(Unzipaj(r.inst.ctx, QStringLiteral("Računi.exe")));
    qputenv("PATH", path);
    EXPECT_EQ(r.inst.journal().last(), QStringLiteral("Unzipaj- Greška UNZIP: ") +
                                           r.update(QStringLiteral("Racuni.7z")) +
                                           QStringLiteral("No such file or directory"));
    // Removed before 7-Zip was even tried: it must not pass the size check in place of the new one.
    EXPECT_FALSE(QFile::exists(r.update(QStringLiteral("Računi.exe"))));
}

// What an archive holds besides its planned file stays out of the Update folder: it
// cannot replace the fetched manifest, the journal or another row's file.
TEST(Unpacking, HostileArchivesGiveOnlyThePlannedFile)
{
    // The planned file is the first member.
    struct Case {
        const char* what;
        QList<std::pair<QString, QByteArray>> members;
        QByteArray unpacked = {}; // what the planned file holds afterwards, none if it must not exist
        QString failure = {};     // the current message of a refused row after the Update folder
    };
    const QByteArray forged = "forged";
    // clang-format off
    const Case cases[] = {
        {.what = "manifest, journal and another row's file beside the planned one",
         .members = {{u"Novi.exe"_s, "program"}, {u"Verzije.txt"_s, forged}, {u"Update.log"_s, forged},
                     {u"Drugi.exe"_s, forged}},
         .unpacked = "program"},
        {.what = "the planned name as a link out of the folder", .members = {{u"Novi.exe"_s, "->/etc/hostname"}}},
        {.what = "a row named as the manifest", .members = {{u"Verzije.txt"_s, forged}},
         .failure = u"Verzije.7z - ime Verzije.txt pripada programu za ažuriranje"_s},
        {.what = "a row named as the journal", .members = {{u"UPDATE.LOG"_s, forged}},
         .failure = u"UPDATE.7z - ime UPDATE.LOG pripada programu za ažuriranje"_s},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString& name = c.members[0].first;
        ServedInstallation r;
        r.inst.write(QStringLiteral("Update/Verzije.txt"), "fetched");
        r.inst.write(QStringLiteral("Update/Drugi.exe"), "other row");
        r.inst.write(QStringLiteral("Update/") + packedName(name), sevenZip(c.members));

        EXPECT_EQ(Unzipaj(r.inst.ctx, name), c.failure.isEmpty());
        EXPECT_EQ(r.inst.state.currentMessage, c.failure.isEmpty()
                                                   ? QStringLiteral("Unzip ") + name
                                                   : QStringLiteral("UNZIP: ") + r.update(c.failure));
        EXPECT_EQ(r.updated(QStringLiteral("Verzije.txt")) + r.updated(QStringLiteral("Drugi.exe")),
                  "fetchedother row");
        EXPECT_FALSE(r.inst.journal().join(QString()).contains(QString::fromUtf8(forged)));
        EXPECT_FALSE(QFileInfo::exists(r.update(QStringLiteral("Raspakiranje"))));
        if (c.failure.isEmpty())
            EXPECT_EQ(r.inst.platform.files().fileExists(native(r.update(name))), !c.unpacked.isEmpty());
        EXPECT_TRUE(c.unpacked.isEmpty() || r.updated(name) == c.unpacked);
    }
}
