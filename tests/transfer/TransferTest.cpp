#include "FullDisk.h"
#include "ServedInstallation.h"
#include "TestCertificates.h"
#include "app/Commands.h"
#include "transfer/FileFetcher.h"
#include "transfer/InternetFetch.h"
#include "transfer/ManifestPreparation.h"
#include "transfer/NetworkFetch.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QString kManifest = QStringLiteral("Verzije.txt");
const QString kSupport = QStringLiteral("TeamViewerQS.exe");
const QByteArray kNew = "Racuni.exe;23;1;5;110;210;\r\n";

struct Workstation : ServedInstallation {
    explicit Workstation(bool tls = false) : ServedInstallation(tls)
    {
        inst.write(kManifest, "Racuni.exe;23;1;4;100;200;\r\n");
        inst.write(kSupport, "support");
        put(kManifest, kNew);
    }
    QString& regularFolder() { return inst.state.sources.folders[RegularFolderBox]; }
};

} // namespace

TEST(FileFetcher, AddressFollowsEngineChannelAndOptionAndTheBodyArrivesByteForByte)
{
    struct Case {
        bool tls, trial;
        int option;
    };
    const Case cases[] = {{false, false, PrimaryServer},  {true, false, SecondaryServer},
                          {false, false, NetworkFolder},  {true, true, PrimaryServer},
                          {false, true, SecondaryServer}, {true, true, NetworkFolder}};
    const QString odd = QStringLiteral("Obračun plaća ž #2%20.7z");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tls << c.trial << c.option);
        ServedInstallation site(c.tls);
        const int other = c.option == PrimaryServer ? SecondaryServer : PrimaryServer;
        site.inst.state.trialRun = c.trial;
        site.inst.state.sources.regularOption = c.trial ? other : c.option;
        site.inst.state.sources.trialOption = c.trial ? c.option : other;
        TestHttpServer& answering = c.option == PrimaryServer ? site.server : site.secondary;
        const QString folder = site.url(QLatin1String(c.trial ? "Probna/" : ""));
        answering.serve(folder + odd, "x");
        site.inst.write(QStringLiteral("Update/") + odd, QByteArray(1000, 'o'));
        for (const QString& authority : {QString(), TestCertificates::instance().authorityPath}) {
            site.inst.state.sources.extraAuthorities = authority;
            answering.requests.clear();
            EXPECT_EQ(DownFile(site.inst.ctx, odd, site.update({}), kLargestRemoteSupportBytes),
                      !c.tls || !authority.isEmpty());
        }
        EXPECT_EQ(site.updated(odd), QByteArray("x"));
        // Sent encoded: '#' would end the path and "%20" would arrive as a blank.
        EXPECT_EQ(site.server.requests + site.secondary.requests, QStringList{folder + odd});
    }
}

TEST(FileFetcher, FailedTransferStoresNothingAndKeepsTheOldFile)
{
    const QByteArray big(100 * 1024, 'b'), longer(2000, 'x');
    enum Trouble { None, Unreachable, DiskFull };
    struct Case {
        TestHttpServer::Answer answer;
        qint64 largest = kLargestRemoteSupportBytes;
        bool trickle = false;
        Trouble trouble = None;
    };
    // clang-format off
    const Case cases[] = {
        {.answer = {.status = 404}},
        {.answer = {.stall = true}},
        {.answer = {.body = big, .sendOnly = 10, .stall = true}},
        {.answer = {.body = big, .sendOnly = 40 * 1024}},
        {.answer = {.body = longer}, .largest = 1000},
        {.answer = {.body = longer, .withoutLength = true}, .largest = 1000},
        {.answer = {.body = longer, .withoutLength = true}},
        {.answer = {.body = longer}, .trickle = true},
        {.answer = {.body = "x"}, .trouble = Unreachable},
        // Small enough to be written at the close, where a buffered write's failure went unseen.
        {.answer = {.body = QByteArray(8000, 'd')}, .trouble = DiskFull},
    };
    // clang-format on
    for (bool chilkat : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "component " << chilkat << ", row " << &c - cases);
            ServedInstallation site(chilkat);
            site.inst.write(QStringLiteral("Update/Racuni.7z"), "old");
            site.server.answers[site.url(QStringLiteral("Racuni.7z"))] = c.answer;
            // Only the stalls get a short time-out: a busy machine must not turn the others into one.
            site.inst.state.fetchStallTimeout = c.answer.stall || c.trickle ? 300ms : 20s;
            site.server.chunkSize = c.trickle ? 1 : 8 * 1024;
            site.server.chunkPause = c.trickle ? 30ms : 0ms;
            if (c.trouble == Unreachable)
                site.server.close();
            const auto fullDisk = c.trouble == DiskFull ? std::make_optional<FullDisk>(4096) : std::nullopt;

            EXPECT_FALSE(DownFile(site.inst.ctx, QStringLiteral("Racuni.7z"), site.update({}), c.largest));
            EXPECT_EQ(site.updated(QStringLiteral("Racuni.7z")), QByteArray("old"));
            EXPECT_EQ(QDir(site.update({}), {}, QDir::NoSort, QDir::Files).count(), 2);
        }
    }
}

// Only a complete run takes the source's manifest; a missing or wrong file stops it, leaving the later rows.
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
    const QByteArray damaged = sevenZip({{u"Plaće.exe"_s, noise}}).replace(1000, 100, QByteArray(100, '\0'));
    const auto unplanned = [](const QString& name) { return Row{.name = name, .planned = false}; };
    // clang-format off
    const Case cases[] = {
        // Help, scripts and controls are published as they are; "Upute.CHM" is an archive.
        {.what = "planned rows with gaps",
         .rows = {unplanned(u"Stari.chm"_s), {.name = u"Računi.exe"_s}, unplanned(u"Stari.exe"_s),
                  unplanned(u"Stari.dll"_s), {.name = u"Knjiženje.dll"_s, .content = "library"},
                  {.name = u"Pomoć.chm"_s, .content = "help"}, {.name = u"Izmjena.enc"_s, .content = "sql"},
                  {.name = u"Grid.ocx"_s, .content = "grid"}, {.name = u"Upute.CHM"_s, .content = "7z"}},
         .ok = true, .fetched = u"Racuni.7z Knjizenje.7z Pomoć.7z Izmjena.7z Grid.7z Upute.7z"_s},
        {.what = "nothing planned", .rows = {unplanned(u"Računi.enc"_s)}},
        // Nothing but its planned file leaves an archive: not a forged manifest, journal or other
        // row's file, nor a link; and no row may take the journal's name.
        {.what = "archive holding more than its file",
         .rows = {{.name = u"Računi.exe"_s},
                  {.name = u"Novi.exe"_s,
                   .packed = sevenZip({{u"Novi.exe"_s, "program"}, {u"Verzije.txt"_s, "forged"},
                                       {u"Update.log"_s, "forged"}, {u"Računi.exe"_s, "forged"}})}},
         .ok = true, .fetched = u"Racuni.7z Novi.7z"_s},
        {.what = "archive holding a link",
         .rows = {{.name = u"Računi.exe"_s},
                  {.name = u"Novi.exe"_s, .packed = sevenZip({{u"Novi.exe"_s, "->/etc/hostname"}})}},
         .fetched = u"Racuni.7z Novi.7z"_s, .unpacked = {true, false}},
        {.what = "row named as the journal",
         .rows = {{.name = u"Računi.exe"_s},
                  {.name = u"UPDATE.LOG"_s, .packed = sevenZip({{u"UPDATE.LOG"_s, "forged"}})}},
         .fetched = u"Racuni.7z UPDATE.7z"_s, .unpacked = {true, false}},
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
        // The trial folder box names the release; the regular one a folder without it.
        {.what = "trial from the network", .network = true, .ok = true, .arrange = [](S& r) {
             QString& regular = r.inst.state.sources.folders[RegularFolderBox];
             r.inst.state.sources.folders[TrialFolderBox] = std::exchange(regular, r.inst.root() + u"/"_s);
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
        r.inst.write(u"Update/Plaće.exe"_s, "left from an earlier run");
        c.arrange(r);

        EXPECT_EQ((c.network ? SnimitiSaMrežneLokacije : SnimitiSaInterneta)(r.inst.ctx), c.ok);
        QDir::setCurrent(started);
        EXPECT_EQ(r.fetched(), c.fetched);
        for (size_t i = 0; i < r.rows.size(); ++i) {
            const bool unpacked = c.unpacked.empty() ? c.ok && r.rows[i].planned : c.unpacked[i];
            EXPECT_EQ(QFile::exists(r.update(r.rows[i].name)), unpacked) << i;
            EXPECT_TRUE(!c.ok || !r.rows[i].planned || r.updated(r.rows[i].name) == r.rows[i].content) << i;
        }
        EXPECT_FALSE(r.inst.journal().join(QString()).contains(u"forged"_s));
        EXPECT_EQ(r.updated(u"Verzije.txt"_s),
                  c.ok && c.network ? manifest(r.rows) : "manifest of the check");
    }
}

// A check that found something before: a failure leaves its plan, button and manifest as they were.
TEST(ManifestPreparation, EachSourceBringsTheManifestOrStopsTheCheck)
{
    using W = Workstation;
    struct Case {
        const char* what;
        int source = PrimaryServer; // of the channel checked
        bool tls = false;
        std::optional<QByteArray> support = {}; // published, and not installed
        bool fails = false;
        std::function<void(W&)> arrange = [](W&) {};
    };
    // clang-format off
    const Case cases[] = {
        {.what = "internet", .support = "new", .arrange = [](W& ws) { QDir(ws.update({})).removeRecursively(); }},
        // An empty reply is no program: nothing stays of it, and the check goes on without it.
        {.what = "internet, support program empty", .support = ""},
        {.what = "internet, support program empty, component", .tls = true, .support = ""},
        {.what = "network", .source = NetworkFolder, .support = "new"},
        // The network folder is the Update folder: its manifest is the source, not an old copy to delete.
        {.what = "network is the Update folder", .source = NetworkFolder,
         .arrange = [](W& ws) { ws.regularFolder() = ws.update({}); }},
        {.what = "trial from the network", .source = NetworkFolder, .arrange = [](W& ws) {
             ws.inst.state.trialRun = true;
             ws.inst.state.sources.trialOption = NetworkFolder;
             ws.inst.state.sources.folders[TrialFolderBox] = std::exchange(ws.regularFolder(), {});
         }},
        {.what = "installed manifest unreadable", .fails = true,
         .arrange = [](W& ws) { ws.inst.write(kManifest, "Racuni.exe;23;1\r\n"); }},
        // Stored empty by the component, the manifest is no release.
        {.what = "internet manifest empty, https", .tls = true, .fails = true,
         .arrange = [](W& ws) { ws.put(kManifest, {}); }},
        {.what = "network folder empty", .source = NetworkFolder, .fails = true,
         .arrange = [](W& ws) { ws.regularFolder().clear(); }},
        // Fetched or copied with success and then absent: no plan may be made of a missing manifest.
        {.what = "internet manifest fetched but absent", .fails = true, .arrange = [](W& ws) {
             ws.inst.window.onStatus = [&ws](Panel panel, const QString& text) {
                 if (panel == Panel::Action && text.isEmpty())
                     QFile::remove(ws.update(kManifest));
             };
         }},
        {.what = "network manifest copied but absent", .source = NetworkFolder, .fails = true,
         .arrange = [](W& ws) {
             ws.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt", 1, platform::Outcome::ok());
         }},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workstation ws(c.tls);
        PripremiVerzijaTXT(ws.inst.ctx);
        if (c.fails)
            ws.inst.write(QStringLiteral("Update/Verzije.txt"), "earlier");
        ws.server.requests.clear();
        ws.inst.state.sources.regularOption = c.source;
        if (c.support && QFile::remove(ws.inst.path(kSupport)))
            ws.put(kSupport, *c.support);
        c.arrange(ws);

        EXPECT_EQ(PripremiVerzijaTXT(ws.inst.ctx), !c.fails);
        if (!c.fails || c.source == NetworkFolder)
            EXPECT_EQ(ws.server.requests.replaceInStrings(ws.url({}), QString()),
                      (c.source == NetworkFolder ? QStringList() : QStringList{kSupport, kManifest}));
        // A failed check leaves the earlier manifest or none, never one an update could take for the release.
        EXPECT_TRUE(c.fails ? QByteArrayList({"", "earlier"}).contains(ws.updated(kManifest))
                            : ws.updated(kManifest) == kNew);
        EXPECT_EQ(ws.inst.read(kSupport), c.support.value_or("support"));
        EXPECT_EQ(ws.inst.exists(kSupport), c.support != "");
    }
}

// A selected source is saved where other workstations read it; no check starts while another operation runs.
TEST(CheckCommand, SourceSelectionLeavesTheTrialChannelAndSavesAndBothWaitTheirTurn)
{
    Workstation ws;
    ws.inst.state.trialRun = true;
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, NetworkFolder));
    EXPECT_TRUE(!ws.inst.state.trialRun && ws.updated(kManifest) == kNew);
    EXPECT_EQ(ws.inst.settings->read(u"Settings"_s, u"UpdateLok23N"_s), u"1"_s);
    QFile::remove(ws.update(kManifest));
    ws.inst.state.operationRunning = true;
    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_FALSE(optLokacija_Click(ws.inst.ctx, PrimaryServer));
    EXPECT_TRUE(ws.inst.state.sources.regularOption == NetworkFolder && !QFile::exists(ws.update(kManifest)));
}
