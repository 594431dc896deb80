#include "transfer/Unpacking.h"

#include "PackedRelease.h"

#include <QFile>
#include <QFileInfo>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

void put(const PackedRelease& r, const Published& p)
{
    r.inst.write(QStringLiteral("Update/") + p.packedName(), p.packed);
}

} // namespace

TEST(Unpacking, ArchiveUnpacksUnderItsInstalledNameWithTheToolsOwnSevenZip)
{
    PackedRelease r;
    // 7-Zip beside the tool is preferred to the system's.
    ASSERT_TRUE(QFile::copy(QStringLiteral("/usr/bin/7za"), r.inst.path(QStringLiteral("7za"))));
    const Published racuni = publish(QStringLiteral("Računi.dll"), noise(3000, 1));
    put(r, racuni);

    EXPECT_TRUE(Unzipaj(r.inst.ctx, racuni.name));

    EXPECT_EQ(r.readUpdate(racuni.name), racuni.content);
    // The command line: the tool's own 7-Zip, overwriting, names taken literally, never as switches.
    const QString u = r.inst.state.updateFolder;
    EXPECT_EQ(r.inst.journal().value(1),
              QStringLiteral("Unzipaj- \"") + r.inst.folder() + QStringLiteral("7za\" e -aoa -spd -o") + u +
                  QStringLiteral("Raspakiranje -- ") + u + QStringLiteral("Racuni.7z"));
    EXPECT_EQ(r.inst.window.actionHistory,
              (QStringList{QStringLiteral("UnZipanje datoteke: Racuni.7z"), QString()}));
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 0ms);
}

TEST(Unpacking, CopyOnlyFilesAndThePauseThatGrowsWithTheArchive)
{
    PackedRelease r;
    // Capitals are not a copy-only extension: "Upute.CHM" is a real archive.
    const Published files[] = {publish(QStringLiteral("Pomoć.chm"), noise(2'600'000, 3)),
                               publish(QStringLiteral("Izmjena.enc"), noise(1'600'000, 4)),
                               publish(QStringLiteral("Grid.ocx"), noise(1'500'000, 5)),
                               publish(QStringLiteral("Upute.CHM"), noise(700'000, 6))};
    for (const Published& p : files)
        put(r, p);
    r.inst.write(QStringLiteral("Update/Pomoć.chm"), "old help");

    std::vector<std::chrono::milliseconds> pauses;
    for (const Published& p : files) {
        const auto before = r.inst.platform.fakeClock.slept();
        EXPECT_TRUE(Unzipaj(r.inst.ctx, p.name)) << p.name.toStdString();
        EXPECT_EQ(r.readUpdate(p.name), p.content) << p.name.toStdString();
        pauses.push_back(r.inst.platform.fakeClock.slept() - before);
    }
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{0s, 0s, 2s, 1s}));
}

TEST(Unpacking, PauseRoundsHalvesToEven)
{
    const std::pair<unsigned long long, int> cases[] = {
        {0, 0}, {500'000, 0}, {500'001, 1}, {1'500'000, 2}, {2'500'000, 2}, {5'000'000'000ULL, 5000}};
    for (const auto& [bytes, seconds] : cases)
        EXPECT_EQ(unpackPauseSeconds(bytes), seconds) << bytes;
}

TEST(Unpacking, SevenZipThatCannotBeStartedFailsAndLeavesNoEarlierFile)
{
    PackedRelease r;
    const Published p = publish(QStringLiteral("Računi.exe"), noise(1000));
    put(r, p);
    r.inst.write(QStringLiteral("Update/Računi.exe"), "left from an earlier run");
    QTemporaryDir nothing;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", nothing.path().toLocal8Bit());

    EXPECT_FALSE(Unzipaj(r.inst.ctx, p.name));
    qputenv("PATH", path);
    const QString expected = QStringLiteral("UNZIP: ") + r.update(QStringLiteral("Racuni.7z")) +
                             QStringLiteral("No such file or directory");
    EXPECT_EQ(r.inst.state.errorMessages, QStringLiteral("\r\n") + expected);
    EXPECT_EQ(r.inst.journal().last(), QStringLiteral("Unzipaj- Greška ") + expected);
    // Removed before 7-Zip was even tried: it must not pass the size check in place of the new one.
    EXPECT_FALSE(r.inUpdate(p.name));
}

// What an archive holds besides its planned file stays out of the Update folder: it
// cannot replace the fetched manifest, the journal or another row's file.
TEST(Unpacking, HostileArchivesGiveOnlyThePlannedFile)
{
    struct Case {
        const char* what;
        QString name;
        QList<std::pair<QString, QByteArray>> members;
        bool unpacked = false; // the planned file stands in the Update folder afterwards
        QString failure = {};  // the current message of a refused row; %U the Update folder
    };
    const QByteArray forged = "forged";
    // clang-format off
    const Case cases[] = {
        {.what = "manifest, journal and another row's file beside the planned one",
         .name = QStringLiteral("Novi.exe"),
         .members = {{QStringLiteral("Novi.exe"), "program"}, {QStringLiteral("Verzije.txt"), forged},
                     {QStringLiteral("Update.log"), forged}, {QStringLiteral("Drugi.exe"), forged}},
         .unpacked = true},
        {.what = "the planned name as a link out of the folder", .name = QStringLiteral("Novi.exe"),
         .members = {{QStringLiteral("Novi.exe"), "->/etc/hostname"}}},
        {.what = "a row named as the manifest", .name = QStringLiteral("Verzije.txt"),
         .members = {{QStringLiteral("Verzije.txt"), forged}},
         .failure = QStringLiteral("UNZIP: %UVerzije.7z - ime Verzije.txt pripada programu za ažuriranje")},
        {.what = "a row named as the journal", .name = QStringLiteral("UPDATE.LOG"),
         .members = {{QStringLiteral("UPDATE.LOG"), forged}},
         .failure = QStringLiteral("UNZIP: %UUPDATE.7z - ime UPDATE.LOG pripada programu za ažuriranje")},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackedRelease r;
        r.inst.write(QStringLiteral("Update/Verzije.txt"), "fetched");
        r.inst.write(QStringLiteral("Update/Drugi.exe"), "other row");
        r.inst.write(QStringLiteral("Update/") + packedName(c.name), sevenZip(c.members));

        EXPECT_EQ(Unzipaj(r.inst.ctx, c.name), c.failure.isEmpty());

        QString failure = c.failure;
        EXPECT_EQ(r.inst.state.currentMessage,
                  c.failure.isEmpty() ? QStringLiteral("Unzip ") + c.name
                                      : failure.replace(QStringLiteral("%U"), r.inst.state.updateFolder));
        EXPECT_EQ(r.readUpdate(QStringLiteral("Verzije.txt")), "fetched");
        EXPECT_EQ(r.readUpdate(QStringLiteral("Drugi.exe")), "other row");
        EXPECT_FALSE(r.inst.journal().join(QString()).contains(forged));
        if (c.failure.isEmpty()) {
            EXPECT_EQ(r.inst.platform.files().fileExists(native(r.update(c.name))), c.unpacked);
        }
        EXPECT_FALSE(QFileInfo::exists(r.update(QStringLiteral("Raspakiranje"))));
        if (c.members.size() > 1) {
            EXPECT_EQ(r.readUpdate(c.name), "program");
            EXPECT_TRUE(r.inst.journal().contains(
                QStringLiteral("Unzipaj- Zanemarena datoteka iz arhive Novi.7z: Drugi.exe")));
        }
    }
}
