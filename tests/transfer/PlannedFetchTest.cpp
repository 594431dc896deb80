#include "ServedInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"
#include "transfer/InternetFetch.h"
#include "transfer/NetworkFetch.h"
#include "transfer/Unpacking.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;
using namespace std::chrono_literals;

// Nothing but the planned file (the first member) leaves an archive: not the fetched manifest, the
// journal, another row's file or a link.
TEST(Unpacking, HostileArchivesGiveOnlyThePlannedFile)
{
    struct Case {
        QList<std::pair<QString, QByteArray>> members;
        QByteArray unpacked = {}; // what the planned file holds afterwards, none if it must not exist
        bool refused = false;
    };
    // clang-format off
    const Case cases[] = {
        {.members = {{u"Novi.exe"_s, "program"}, {u"Verzije.txt"_s, "forged"}, {u"Update.log"_s, "forged"},
                     {u"Drugi.exe"_s, "forged"}}, .unpacked = "program"},
        {.members = {{u"Novi.exe"_s, "->/etc/hostname"}}},
        {.members = {{u"UPDATE.LOG"_s, "forged"}}, .refused = true},
    };
    // clang-format on
    for (const Case& c : cases) {
        const QString& name = c.members[0].first;
        SCOPED_TRACE(name.toStdString());
        ServedInstallation r;
        r.inst.write(u"Update/Verzije.txt"_s, "fetched");
        r.inst.write(u"Update/Drugi.exe"_s, "other row");
        r.inst.write(u"Update/"_s + packedName(name), sevenZip(c.members));

        EXPECT_EQ(Unzipaj(r.inst.ctx, name), !c.refused);
        EXPECT_EQ(r.updated(u"Verzije.txt"_s) + r.updated(u"Drugi.exe"_s), "fetchedother row");
        EXPECT_FALSE(r.inst.journal().join(QString()).contains(u"forged"_s));
        EXPECT_EQ(r.inst.platform.files().fileExists(native(r.update(name))), !c.unpacked.isEmpty());
        EXPECT_TRUE(c.unpacked.isEmpty() || r.updated(name) == c.unpacked);
    }
}

// Each row fetches the plan from one source over a manifest left by the check: only a complete run
// takes the source's manifest; a run stopped by a missing or wrong-sized file leaves the rows after it.
TEST(PlannedFetch, PlannedRowsComeFromTheirSourceAndAnyMissingOrWrongFileStopsTheRun)
{
    using S = ServedInstallation;
    struct Case {
        const char* what;
        bool network = false;
        std::vector<Row> rows = {{.name = u"Računi.exe"_s},
                                 {.name = u"Knjiženje.dll"_s, .content = "library"}};
        bool ok = false;
        QString fetched = {}; // from the internet
        /// Row by row; else the planned rows of a complete run.
        std::vector<bool> unpacked = {};
        std::function<void(S&)> arrange = [](S&) {};
    };
    // Bytes that do not compress, so that the damage falls in the data.
    QByteArray noise(300'000, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    QByteArray damaged = sevenZip({{u"Plaće.exe"_s, noise}});
    for (int i = 1000; i < 1100; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0xff);
    const auto unplanned = [](const char* name) {
        return Row{.name = QString::fromUtf8(name), .planned = false};
    };
    // clang-format off
    const Case cases[] = {
        // Help, scripts and controls are published as they are; "Upute.CHM" is an archive.
        {.what = "planned rows with gaps",
         .rows = {unplanned("Stari.chm"), {.name = u"Računi.exe"_s}, unplanned("Stari.exe"),
                  unplanned("Stari.dll"), {.name = u"Knjiženje.dll"_s, .content = "library"},
                  {.name = u"Pomoć.chm"_s, .content = "help"}, {.name = u"Izmjena.enc"_s, .content = "sql"},
                  {.name = u"Grid.ocx"_s, .content = "grid"}, {.name = u"Upute.CHM"_s, .content = "7z"}},
         .ok = true, .fetched = u"Racuni.7z Knjizenje.7z Pomoć.7z Izmjena.7z Grid.7z Upute.7z"_s},
        {.what = "nothing planned", .rows = {unplanned("Računi.enc")}},
        {.what = "nothing planned, network", .network = true, .rows = {unplanned("Računi.enc")}},
        // 7-Zip's output is removed: the file never appears, and the waits for it end.
        {.what = "damaged archive",
         .rows = {{.name = u"Računi.exe"_s}, {.name = u"Plaće.exe"_s, .packed = damaged}},
         .fetched = u"Racuni.7z Plaće.7z"_s, .unpacked = {true, false}},
        {.what = "packed size wrong",
         .rows = {{.name = u"Računi.exe"_s, .packedSize = 1}, {.name = u"Druga.exe"_s}},
         .fetched = u"Racuni.7z"_s},
        {.what = "unpacked size wrong",
         .rows = {{.name = u"Računi.exe"_s, .unpackedSize = 8}, {.name = u"Druga.exe"_s}},
         .fetched = u"Racuni.7z Druga.7z"_s, .unpacked = {true, true}},
        // The release moves to the trial folder; the regular one holds another that must not count.
        {.what = "trial from the network", .network = true, .ok = true, .arrange = [](S& r) {
             const QString trial = r.inst.root() + u"/Probna/"_s;
             ASSERT_TRUE(QDir().rename(r.network(), trial) && QDir().mkpath(r.network()));
             r.put(u"Racuni.7z"_s, "wrong release");
             r.inst.state.sources.folders[TrialFolderBox] = trial;
             r.inst.state.trialRun = true;
         }},
        {.what = "packed file missing", .network = true, .unpacked = {true, false},
         .arrange = [](S& r) { QFile::remove(r.network() + u"Knjizenje.7z"_s); }},
        // An empty box names no folder at all: nothing is taken from wherever the program runs.
        {.what = "empty folder box", .network = true, .arrange = [](S& r) {
             r.inst.state.sources.folders[RegularFolderBox].clear();
             QDir::setCurrent(r.network());
         }},
        {.what = "manifest missing", .network = true, .unpacked = {true, true},
         .arrange = [](S& r) { QFile::remove(r.network() + u"Verzije.txt"_s); }},
    };
    // clang-format on
    const QString started = QDir::currentPath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        S r;
        r.rows = c.rows;
        r.publish();
        r.inst.write(u"Update/Verzije.txt"_s, "manifest of the check");
        r.inst.write(u"Update/Racuni.7z"_s, "left from an earlier run");
        c.arrange(r);

        EXPECT_EQ((c.network ? SnimitiSaMrežneLokacije : SnimitiSaInterneta)(r.inst.ctx), c.ok);
        QDir::setCurrent(started);
        EXPECT_EQ(r.fetched(), c.fetched);
        for (size_t i = 0; i < r.rows.size(); ++i) {
            const bool unpacked = c.unpacked.empty() ? c.ok && r.rows[i].planned : c.unpacked[i];
            EXPECT_EQ(QFile::exists(r.update(r.rows[i].name)), unpacked) << i;
            EXPECT_TRUE(!c.ok || !r.rows[i].planned || r.updated(r.rows[i].name) == r.rows[i].content) << i;
        }
        EXPECT_EQ(r.updated(u"Verzije.txt"_s),
                  c.ok && c.network ? manifest(r.rows) : "manifest of the check");
    }
}
