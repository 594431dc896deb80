#include "ServedInstallation.h"
#include "plan/FolderLayout.h"
#include "transfer/InternetFetch.h"
#include "transfer/NetworkFetch.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

const QString kWrongSize = QStringLiteral("Veličina presnimljene datoteke ");

TEST(InternetFetch, PlannedRowsWithGapsAreFetchedInOrderAndUnpacked)
{
    ServedInstallation r;
    for (int row = 0; row < 13; ++row)
        r.rows.push_back({.name = QStringLiteral("Stari%1.chm").arg(row), .planned = false});
    r.rows[3] = {.name = QStringLiteral("Računi.exe")};
    r.rows[10] = {.name = QStringLiteral("Knjiženje.dll"), .content = "library"};
    r.rows[12] = {.name = QStringLiteral("Upute.chm"), .content = "help"};
    r.publish();
    r.inst.write(QStringLiteral("Update/Racuni.7z"), "left from an earlier run");

    ASSERT_TRUE(SnimitiSaInterneta(r.inst.ctx));
    EXPECT_EQ(r.updated(QStringLiteral("Računi.exe")) + r.updated(QStringLiteral("Knjiženje.dll")) +
                  r.updated(QStringLiteral("Upute.chm")),
              "programlibraryhelp");
    EXPECT_EQ(r.server.requests.replaceInStrings(r.url({}), QString()).join(u' '),
              QStringLiteral("Racuni.7z Knjizenje.7z Upute.7z"));
    const RecordingWindow& w = r.inst.window;
    EXPECT_TRUE(w.marks.size() == 6 && w.messages.empty() && w.errorPane.isEmpty());
    EXPECT_TRUE(w.progressValue == r.inst.state.totalPackedSize && !w.progressVisible);
    // The fixed wait before the check, and nothing else.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 5s);
}

TEST(InternetFetch, NothingPlannedFetchesNothingFromEitherSource)
{
    for (const auto fetch : {SnimitiSaInterneta, SnimitiSaMrežneLokacije}) {
        ServedInstallation r;
        r.rows = {{.name = QStringLiteral("Računi.enc"), .planned = false}};
        r.publish();
        r.inst.state.errorMessages = QStringLiteral("earlier");

        EXPECT_FALSE(fetch(r.inst.ctx));
        EXPECT_EQ(r.inst.window.messageTexts(), QStringList{QStringLiteral("Nema novih verzija progama!")});
        EXPECT_TRUE(r.server.requests.isEmpty() && r.inst.state.errorMessages.isEmpty());
        EXPECT_FALSE(QFile::exists(r.update(r.rows[0].name)));
    }
}

TEST(InternetFetch, PackedFileOneByteShortStopsBeforeUnpacking)
{
    ServedInstallation r;
    r.rows = {{.name = QStringLiteral("Računi.exe")}, {.name = QStringLiteral("Druga.exe")}};
    r.publish();
    r.rows[0].packedSize = r.rows[0].packed.size() + 1;
    r.publish();

    EXPECT_FALSE(SnimitiSaInterneta(r.inst.ctx));
    EXPECT_TRUE(r.inst.window.messageTexts().value(0).startsWith(kWrongSize + QStringLiteral("Racuni.7z")));
    EXPECT_FALSE(QFile::exists(r.update(r.rows[0].name)));
    EXPECT_EQ(r.server.requests, QStringList{r.url(QStringLiteral("Racuni.7z"))});
}

TEST(InternetFetch, LateFilesShareFourWaitsAndADamagedArchiveLeavesNothing)
{
    ServedInstallation r;
    // Bytes that do not compress, so that the damage falls in the data.
    r.rows = {{.name = QStringLiteral("Prvi.exe")},
              {.name = QStringLiteral("Drugi.exe")},
              {.name = QStringLiteral("Plaće.exe"), .content = noise(300'000)}};
    Row& damaged = r.rows[2];
    damaged.packed = sevenZip({{damaged.name, damaged.content}});
    for (int i = 1000; i < 1100; ++i)
        damaged.packed[i] = static_cast<char>(damaged.packed[i] ^ 0xff);
    r.publish();
    // The unpacked files vanish during the fixed wait and come back late: the first
    // during its second wait, the second during its second wait.
    QTemporaryDir aside;
    r.inst.platform.fakeClock.onSleep = [&](std::chrono::milliseconds slept) {
        for (int i : {0, 1}) {
            const QString& name = r.rows[i].name;
            if (slept == 5s)
                EXPECT_TRUE(QFile::rename(r.update(name), aside.filePath(name)));
            else if (slept == (i == 0 ? 14s : 24s))
                QFile::rename(aside.filePath(name), r.update(name));
        }
    };

    EXPECT_FALSE(SnimitiSaInterneta(r.inst.ctx));
    // 7-Zip's output of the damaged archive was removed, so the update stops without a box.
    EXPECT_EQ(r.inst.state.currentMessage,
              QStringLiteral("Nije nađena datoteka: ") + r.update(damaged.name) +
                  QStringLiteral(", a trebala bi postojati. Prekida se ažuriranje!"));
    EXPECT_TRUE(r.inst.window.messages.empty() && !QFile::exists(r.update(damaged.name)));
    EXPECT_TRUE(QFile::exists(r.update(r.rows[0].name)) && QFile::exists(r.update(r.rows[1].name)));
    // The fixed 5 seconds and four budgeted waits; the third file waits no more.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 25s);
}

TEST(NetworkFetch, TrialRunCopiesFromTheTrialFolderAndTakesItsManifest)
{
    ServedInstallation r;
    r.rows = {{.name = QStringLiteral("Računi.exe")},
              {.name = QStringLiteral("Grid.ocx"), .content = "grid"}};
    r.publish();
    // The release moves to the trial folder; the regular one holds another release that must not count.
    const QString trial = r.inst.root() + QStringLiteral("/Probna/");
    ASSERT_TRUE(QDir().rename(r.network(), trial) && QDir().mkpath(r.network()));
    r.put(QStringLiteral("Racuni.7z"), "wrong release");
    r.inst.state.sources.folders[TrialFolderBox] = trial;
    r.inst.state.trialRun = true;
    r.inst.write(QStringLiteral("Update/Verzije.txt"), "manifest of the check");
    r.inst.write(QStringLiteral("Update/Racuni.7z"), "left from an earlier run");

    ASSERT_TRUE(SnimitiSaMrežneLokacije(r.inst.ctx));
    EXPECT_EQ(r.updated(r.rows[0].name) + r.updated(r.rows[1].name) +
                  r.updated(QStringLiteral("Verzije.txt")),
              r.rows[0].content + r.rows[1].content + manifest(r.rows));
    EXPECT_TRUE(r.inst.window.marks.size() == 4 && r.inst.window.messages.empty() &&
                r.server.requests.isEmpty());
    // No wait before the check; one after the manifest's copy.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 5s);
}

TEST(NetworkFetch, MissingPackedFileOrManifestStopsTheRun)
{
    for (bool emptyBox : {false, true}) {
        ServedInstallation r;
        r.rows = {{.name = QStringLiteral("Računi.exe")}, {.name = QStringLiteral("Knjiženje.dll")}};
        r.publish();
        QFile::remove(r.network() + QStringLiteral("Knjizenje.7z"));
        // An empty folder box names no folder at all: nothing is taken from wherever the program runs.
        const QString started = QDir::currentPath();
        if (emptyBox) {
            r.inst.state.sources.folders[RegularFolderBox].clear();
            QDir::setCurrent(r.network());
        }

        EXPECT_FALSE(SnimitiSaMrežneLokacije(r.inst.ctx));
        QDir::setCurrent(started);
        EXPECT_EQ(
            r.inst.state.currentMessage,
            QStringLiteral("Nije nađena 7z datoteka: ") +
                (emptyBox ? QStringLiteral("Racuni.7z") : r.network() + QStringLiteral("Knjizenje.7z")) +
                QStringLiteral(" pa je nije moguće instalirati. Prekida se ažuriranje!"));
        EXPECT_TRUE(r.inst.window.messages.empty());
    }

    // Without a manifest in the source, the run fails only at the end, keeping the check's.
    ServedInstallation r;
    r.rows = {{.name = QStringLiteral("Računi.exe")}, {.name = QStringLiteral("Pomoć.chm")}};
    r.publish();
    QFile::remove(r.network() + QStringLiteral("Verzije.txt"));
    r.inst.write(QStringLiteral("Update/Verzije.txt"), "manifest of the check");

    EXPECT_FALSE(SnimitiSaMrežneLokacije(r.inst.ctx));
    EXPECT_EQ(r.inst.window.messageTexts(),
              QStringList{QStringLiteral("Greška u kopiranju Verzije.txt. Prekida se ažuriranje!")});
    EXPECT_TRUE(QFile::exists(r.update(r.rows[0].name)) && QFile::exists(r.update(r.rows[1].name)));
    EXPECT_EQ(r.updated(QStringLiteral("Verzije.txt")), QByteArray("manifest of the check"));
}

TEST(NetworkFetch, EmptyUnpackedFileIsGivenTwoMoreWaits)
{
    ServedInstallation r;
    // Published empty, but the manifest says what they should hold.
    r.rows = {{.name = QStringLiteral("Prva.enc"), .content = {}, .unpackedSize = 10},
              {.name = QStringLiteral("Druga.enc"), .content = {}, .unpackedSize = 10}};
    r.publish();
    r.inst.platform.fakeClock.onSleep = [&](std::chrono::milliseconds slept) {
        if (slept == 3s)
            r.inst.write(QStringLiteral("Update/Prva.enc"), "0123456789");
    };

    EXPECT_FALSE(SnimitiSaMrežneLokacije(r.inst.ctx));
    EXPECT_TRUE(
        r.inst.window.messageTexts().value(0).startsWith(kWrongSize + QStringLiteral("Druga.enc je 0,")));
    // One wait for the first file, both for the second; none counts against the budget.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 15s);
}
