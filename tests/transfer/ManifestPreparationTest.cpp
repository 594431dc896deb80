#include "transfer/ManifestPreparation.h"

#include "ServedInstallation.h"
#include "TestCertificates.h"
#include "transfer/CheckCommand.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const QString kManifest = QStringLiteral("Verzije.txt");
const QString kSupport = QStringLiteral("TeamViewerQS.exe");
const QByteArray kInstalled = "Racuni.exe;23;1;4;100;200;\r\n";
const QByteArray kNew = "Racuni.exe;23;1;5;110;210;\r\n";

// One program installed; the remote-support program too, unless a test removes it.
struct Workstation : ServedInstallation {
    Workstation()
    {
        inst.write(kManifest, kInstalled);
        inst.write(QStringLiteral("Racuni.exe"), "program");
        inst.write(kSupport, "support");
    }
    void useNetwork() { inst.state.sources.regularOption = NetworkFolder; }
    bool prepare() { return PripremiVerzijaTXT(ctx); }

    StatusWatch window{inst.window};
    Context ctx{inst.state, window, inst.platform, *inst.settings};
};

} // namespace

TEST(ManifestPreparation, InternetSourceBringsManifestAndRemoteSupportProgramAndSetsTheButton)
{
    Workstation ws;
    QFile::remove(ws.inst.path(kSupport));
    QDir(ws.update({})).removeRecursively();
    ws.put(kSupport, "support");
    ws.put(kManifest, kNew);

    EXPECT_TRUE(ws.prepare());
    EXPECT_EQ(ws.server.requests, (QStringList{ws.url(kSupport), ws.url(kManifest)}));
    EXPECT_EQ(ws.inst.read(kSupport) + ws.updated(kManifest), "support" + kNew);
    EXPECT_TRUE(ws.inst.window.plan.size() == 1 && ws.inst.window.messages.empty());
    EXPECT_EQ(ws.inst.window.updateEnabled, true);

    // The remote-support program is fetched once; the manifest every time, over the old copy.
    // Nothing new: the plan is built, empty, and the update button goes off.
    ws.put(kManifest, kInstalled);
    EXPECT_FALSE(ws.prepare());
    EXPECT_EQ(ws.server.requests.size(), 3);
    EXPECT_EQ(ws.updated(kManifest), kInstalled);
    EXPECT_TRUE(ws.inst.window.updateEnabled == false && ws.inst.window.plan.empty());

    // A failure before the plan keeps the button and the plan shown.
    ws.put(kManifest, kNew);
    EXPECT_TRUE(ws.prepare());
    ws.server.answers[ws.url(kManifest)] = {.status = 500};
    EXPECT_FALSE(ws.prepare());
    EXPECT_TRUE(ws.inst.window.updateEnabled == true && ws.inst.window.plan.size() == 1);
}

TEST(ManifestPreparation, RemoteSupportProgramNotFetchedOrGoneLeavesOnlyAJournalLine)
{
    for (bool gone : {false, true}) {
        SCOPED_TRACE(gone ? "gone" : "empty reply");
        Workstation ws;
        QFile::remove(ws.inst.path(kSupport));
        // The transfer control stores nothing from an empty reply and reports it without a box.
        ws.put(kSupport, gone ? "support" : "");
        ws.put(kManifest, kNew);
        ws.window.onStatus = [&](Panel panel, const QString& text) {
            if (gone && panel == Panel::Action && text.isEmpty())
                QFile::remove(ws.inst.path(kSupport));
        };

        EXPECT_TRUE(ws.prepare());
        EXPECT_TRUE(ws.inst.window.messages.empty() && ws.inst.window.updateEnabled == true);
        EXPECT_TRUE(ws.inst.journal().contains(
            QStringLiteral("Download na lokaciju- ") +
            (gone ? QStringLiteral("Učitao sa interneta TeamViewerQS.exe, ali one ne postoje u ") +
                        ws.inst.folder()
                  : QStringLiteral("Nije moguće učitati TeamViewerQS.exe sa interneta! Provjerite vezu sa "
                                   "internetom i pokušajte ponovno!"))));
    }
}

TEST(ManifestPreparation, EveryFailureStopsTheCheckWithItsLineAndBox)
{
    // In the texts %F stands for the program folder, %U for the Update folder, %N for the network
    // folder and %T for it typed without its separator.
    struct Case {
        const char* what;
        std::function<void(Workstation&)> arrange;
        QString box;
        // What the journal's last line holds when not the box's text; empty for no check.
        std::optional<QString> line = {};
        Icon icon = Icon::Exclamation;
        bool network = false;
    };
    const QString notFetched = QStringLiteral("Nije moguće učitati kontrolnu datoteku sa interneta!");
    const QString noFolder =
        QStringLiteral("Potrebno je unijeti mrežnu lokaciju odakle se programi ažuriraju");
    const QString absent = QStringLiteral("Podaci o novim verzijama na postoje na lokaciji: ");
    const auto typed = [](const QString& folder) {
        return [folder](Workstation& ws) { ws.inst.state.sources.folders[RegularFolderBox] = folder; };
    };
    const auto served = [](TestHttpServer::Answer answer) {
        return [answer](Workstation& ws) { ws.server.answers[ws.url(kManifest)] = answer; };
    };
    const Case cases[] = {
        {.what = "update folder not created",
         .arrange =
             [](Workstation& ws) {
                 QDir(ws.update({})).removeRecursively();
                 ws.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "Update");
             },
         .box = QStringLiteral("Nastala je greška u kreiranju Update direktorije!"),
         .line = QString()},
        {.what = "installed manifest missing",
         .arrange = [](Workstation& ws) { QFile::remove(ws.inst.path(kManifest)); },
         .box = QStringLiteral("Ne postoji datoteka %FVerzije.txt Program za automatsko ažuriranje")},
        {.what = "installed manifest unreadable",
         .arrange = [](Workstation& ws) { ws.inst.write(kManifest, "Racuni.exe;23;1\r\n"); },
         .box = QStringLiteral(
             "Greška u splitu - ima : 2 članova! Datoteka: %FVerzije.txt Red: Racuni.exe;23;1"),
         .line = QStringLiteral("Desila se greška u čitanju zapisa u matricu. Prekida se ažuriranje!")},
        {.what = "internet manifest not fetched",
         .arrange =
             [](Workstation& ws) {
                 ws.inst.write(QStringLiteral("Update/Verzije.txt"), "earlier");
                 ws.inst.window.updateEnabled = true;
                 ws.server.answers[ws.url(kManifest)] = {.status = 404};
             },
         .box = notFetched},
        // Empty, the manifest is no release on either engine.
        {.what = "internet manifest empty over http", .arrange = served({}), .box = notFetched},
        {.what = "internet manifest empty over https",
         .arrange =
             [](Workstation& ws) {
                 const TestCertificates& certificates = TestCertificates::instance();
                 ws.server.enableTls(certificates.serverCertificate, certificates.serverKey);
                 ws.inst.state.sources.useChilkat = true;
                 ws.inst.state.sources.extraAuthorities = certificates.authorityPath;
                 ws.server.serve(ws.url(kManifest), {});
             },
         .box = notFetched},
        {.what = "internet manifest fetched but absent",
         .arrange =
             [](Workstation& ws) {
                 ws.put(kManifest, kNew);
                 ws.window.onStatus = [&ws](Panel panel, const QString& text) {
                     if (panel == Panel::Action && text.isEmpty())
                         QFile::remove(ws.update(kManifest));
                 };
             },
         .box = absent + QStringLiteral("%U"),
         .line = QStringLiteral("Učitao sa interneta Verzije.txt ali one ne postoje u %U"),
         .icon = Icon::None},
        {.what = "network folder empty",
         .arrange = typed({}),
         .box = noFolder,
         .line = QString(),
         .network = true},
        {.what = "network folder blank",
         .arrange = typed(QStringLiteral("   ")),
         .box = noFolder,
         .line = QString(),
         .network = true},
        // Typed without its separator, the name is appended directly and not found.
        {.what = "network folder without separator",
         .arrange = [](Workstation& ws) { ws.inst.state.sources.folders[RegularFolderBox].chop(1); },
         .box =
             QStringLiteral("Ne postoji kontrolna datoteka na mrežnoj lokaciji: %T Prekida se ažuriranje!"),
         .network = true},
        {.what = "network manifest not copied",
         .arrange = [](Workstation& ws) { ws.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt"); },
         .box = QStringLiteral("Nije moguće učitati kontrolnu datoteku sa mrežne lokacije!"),
         .network = true},
        // The copy reports success and leaves nothing; both texts name the network folder.
        {.what = "network manifest copied but absent",
         .arrange =
             [](Workstation& ws) {
                 ws.inst.write(QStringLiteral("Update/Verzije.txt"), "earlier");
                 ws.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt", 1, platform::Outcome::ok());
             },
         .box = absent + QStringLiteral("%N"),
         .line = QStringLiteral("Kopirao sa mrežne lokacije Verzije.txt, ali ona ne postoji u %N"),
         .icon = Icon::None,
         .network = true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workstation ws;
        if (c.network) {
            ws.useNetwork();
            ws.put(kManifest, kNew);
        }
        c.arrange(ws);
        const std::optional<bool> button = ws.inst.window.updateEnabled;
        const auto expand = [&](QString text) {
            return text.replace(QStringLiteral("%F"), ws.inst.folder())
                .replace(QStringLiteral("%U"), ws.update({}))
                .replace(QStringLiteral("%N"), ws.network())
                .replace(QStringLiteral("%T"), ws.network().chopped(1));
        };

        EXPECT_FALSE(ws.prepare());

        EXPECT_TRUE(
            ws.inst.journal().value(ws.inst.journal().size() - 1).contains(expand(c.line.value_or(c.box))));
        ASSERT_FALSE(ws.inst.window.messages.empty());
        EXPECT_TRUE(ws.inst.window.messages.back().text.contains(expand(c.box)));
        EXPECT_EQ(ws.inst.window.messages.back().icon, c.icon);
        // No plan, and an early failure leaves the update button as it was.
        EXPECT_TRUE(ws.inst.window.plan.empty());
        EXPECT_EQ(ws.inst.window.updateEnabled, button);
        EXPECT_TRUE(!ws.inst.exists(QStringLiteral("Update/Verzije.txt")) ||
                    ws.updated(kManifest) == "earlier");
        EXPECT_TRUE(!c.network || ws.server.requests.isEmpty());
    }
}

TEST(ManifestPreparation, NetworkSourceCopiesManifestAndRemoteSupportProgram)
{
    Workstation ws;
    QFile::remove(ws.inst.path(kSupport));
    ws.useNetwork();
    ws.put(kManifest, kNew);
    ws.put(kSupport, "support");

    // First check: no old copy in the Update folder to delete, which is journalled only.
    EXPECT_TRUE(ws.prepare());
    EXPECT_EQ(ws.inst.journal().first(),
              QStringLiteral("TV-PripremiVerzijaTXT- Greška u brisanju datoteke ") + ws.update(kManifest));
    EXPECT_EQ(ws.inst.read(kSupport) + ws.updated(kManifest), "support" + kNew);
    EXPECT_TRUE(ws.inst.window.plan.size() == 1 && ws.inst.window.messages.empty());
    EXPECT_TRUE(ws.server.requests.isEmpty() && ws.secondary.requests.isEmpty());

    // A network folder that is the Update folder itself: its manifest is the source, not an old copy.
    ws.inst.write(QStringLiteral("Update/Verzije.txt"), kInstalled);
    ws.inst.state.sources.folders[RegularFolderBox] = ws.update({});
    EXPECT_FALSE(ws.prepare());
    EXPECT_TRUE(ws.updated(kManifest) == kInstalled && ws.inst.window.messages.empty());

    // A trial check takes its own option and folder box.
    ws.inst.state.trialRun = true;
    ws.inst.state.sources.regularOption = PrimaryServer;
    ws.inst.state.sources.trialOption = NetworkFolder;
    ws.inst.state.sources.folders[TrialFolderBox] = ws.network();
    EXPECT_TRUE(ws.prepare());
    EXPECT_EQ(ws.updated(kManifest), kNew);
    EXPECT_TRUE(ws.server.requests.isEmpty() && ws.inst.window.messages.empty());
}

TEST(CheckCommand, CheckButtonKeepsTheChannelSourceSelectionSavesAndBothWaitTheirTurn)
{
    Workstation ws;
    ws.server.serve(ws.url(QStringLiteral("Probna/Verzije.txt")), kNew);
    // As the trial-update button leaves it; the regular channel's source does not matter.
    ws.inst.state.trialRun = true;
    ws.inst.state.manifestFailed = true;
    ws.useNetwork();
    const auto saved = [&] {
        return ws.inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N"));
    };

    // The check button records nothing.
    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_EQ(ws.server.requests, QStringList{ws.url(QStringLiteral("Probna/Verzije.txt"))});
    EXPECT_TRUE(ws.updated(kManifest) == kNew && ws.inst.state.trialRun && ws.inst.state.manifestFailed);
    EXPECT_EQ(ws.inst.window.updateEnabled, true);
    EXPECT_FALSE(ws.inst.settings->contains(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N")));

    // Selecting a source saves it, leaves the trial channel and records the check's failure: the
    // network folder has no manifest yet. The operator stays on his tab.
    ws.inst.window.tab = 2;
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, NetworkFolder));
    EXPECT_EQ(
        std::make_tuple(ws.inst.window.tab, ws.inst.state.trialRun, ws.inst.state.manifestFailed, saved()),
        std::make_tuple(2, false, true, QStringLiteral("1")));
    ws.put(kManifest, kNew);
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, PrimaryServer));
    EXPECT_TRUE(!ws.inst.state.manifestFailed && ws.inst.window.tab == 2 && saved() == QStringLiteral("2"));

    // While starting up the selection runs the check but saves nothing.
    ws.inst.state.startingUp = true;
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, SecondaryServer));
    EXPECT_TRUE(ws.inst.state.manifestFailed && saved() == QStringLiteral("2"));

    // Held off while another operation runs.
    ws.server.requests.clear();
    const size_t boxes = ws.inst.window.messages.size();
    ws.inst.state.operationRunning = true;
    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_FALSE(optLokacija_Click(ws.inst.ctx, PrimaryServer));
    EXPECT_EQ(ws.inst.state.sources.regularOption, SecondaryServer);
    EXPECT_TRUE(ws.server.requests.isEmpty() && ws.inst.window.messages.size() == boxes);
}
