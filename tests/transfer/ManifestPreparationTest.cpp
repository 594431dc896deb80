#include "transfer/ManifestPreparation.h"

#include "ForwardingWindow.h"
#include "TestCertificates.h"
#include "TestHttpServer.h"
#include "TestInstallation.h"
#include "core/Text.h"
#include "app/Commands.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <optional>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QString kRegular = QStringLiteral("/download/Verzija23/");
const QString kTrial = QStringLiteral("/download/Verzija23/Probna/");
const QString kManifest = QStringLiteral("Verzije.txt");
const QString kSupport = QStringLiteral("TeamViewerQS.exe");
const QByteArray kInstalledManifest = "Racuni.exe;23;1;4;100;200;\r\n";
const QByteArray kNewManifest = "Racuni.exe;23;1;5;110;210;\r\n";
const QByteArray kRemoteSupport = "MZ-remote-support";

// The recording window, with a chance to act when the fetcher clears status panel 1
// at the end of a fetch.
class FetchEndWindow final : public ForwardingWindow {
public:
    using ForwardingWindow::ForwardingWindow;
    void setStatus(Panel panel, const QString& text) override
    {
        ForwardingWindow::setStatus(panel, text);
        if (panel == Panel::Action && text.isEmpty() && onFetchEnd)
            onFetchEnd();
    }

    std::function<void()> onFetchEnd;
};

// An installation of one program, two update servers on 127.0.0.1 (plain http,
// the transfer-control engine) and a network folder beside the installation.
struct Workstation {
    explicit Workstation(bool updateFolder = true) : inst(updateFolder)
    {
        inst.write(kManifest, kInstalledManifest);
        inst.write(QStringLiteral("Racuni.exe"), "program");
        inst.state.sources.primaryServer = primary.hostAndPort();
        inst.state.sources.secondaryServer = secondary.hostAndPort();
        inst.state.sources.useChilkat = false;
        inst.state.fetchStallTimeout = 20s;
        QDir().mkpath(network());
    }

    // The network folder as the operator types it, with its separator.
    QString network() const
    {
        return QDir::toNativeSeparators(inst.root() + QStringLiteral("/dijeljeno")) + separator();
    }
    void publish(const QString& name, const QByteArray& bytes) const
    {
        QFile f(network() + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void useNetwork()
    {
        inst.state.sources.regularOption = NetworkFolder;
        inst.state.sources.folders[RegularFolderBox] = network();
    }
    bool prepare() { return PripremiVerzijaTXT(ctx); }
    QString update() const { return inst.path(QStringLiteral("Update")) + separator(); }
    QByteArray updated() const { return inst.read(QStringLiteral("Update/") + kManifest); }

    TestInstallation inst;
    TestHttpServer primary;
    TestHttpServer secondary;
    FetchEndWindow window{inst.window};
    Context ctx{inst.state, window, inst.platform, *inst.settings};
};

} // namespace

TEST(ManifestPreparation, InternetSourceBringsManifestAndRemoteSupportProgramAndSetsTheButton)
{
    Workstation ws(/*updateFolder=*/false);
    ws.inst.state.sources.regularOption = PrimaryServer;
    ws.primary.serve(kRegular + kSupport, kRemoteSupport);
    ws.primary.serve(kRegular + kManifest, kNewManifest);

    EXPECT_TRUE(ws.prepare());

    EXPECT_EQ(ws.primary.requests, (QStringList{kRegular + kSupport, kRegular + kManifest}));
    EXPECT_EQ(ws.inst.read(kSupport) + ws.updated(), kRemoteSupport + kNewManifest);
    EXPECT_TRUE(ws.inst.window.plan.size() == 1 && ws.inst.window.messages.empty());
    EXPECT_EQ(ws.inst.window.updateEnabled, true);

    // The remote-support program is fetched once; the manifest every time, over the old copy.
    // Nothing new: the plan is built, empty, and the update button goes off.
    ws.primary.serve(kRegular + kManifest, kInstalledManifest);
    EXPECT_FALSE(ws.prepare());
    EXPECT_EQ(ws.primary.requests.size(), 3);
    EXPECT_EQ(ws.updated(), kInstalledManifest);
    EXPECT_TRUE(ws.inst.window.updateEnabled == false && ws.inst.window.plan.empty());

    // A failure before the plan keeps the button and the plan shown.
    ws.primary.serve(kRegular + kManifest, kNewManifest);
    EXPECT_TRUE(ws.prepare());
    ws.primary.answerStatus(kRegular + kManifest, 500);
    EXPECT_FALSE(ws.prepare());
    EXPECT_TRUE(ws.inst.window.updateEnabled == true && ws.inst.window.plan.size() == 1);
}

TEST(ManifestPreparation, RemoteSupportProgramNotFetchedOrGoneLeavesOnlyAJournalLine)
{
    for (bool gone : {false, true}) {
        SCOPED_TRACE(gone ? "gone" : "empty reply");
        Workstation ws;
        // The transfer control stores nothing from an empty reply and reports it without a box.
        ws.primary.serve(kRegular + kSupport, gone ? kRemoteSupport : QByteArray());
        ws.primary.serve(kRegular + kManifest, kNewManifest);
        if (gone)
            ws.window.onFetchEnd = [&] { QFile::remove(ws.inst.path(kSupport)); };

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
        // The journal's last line when it is not the box's text after the function's name; empty for none.
        std::optional<QString> line = {};
        Icon icon = Icon::Exclamation;
        bool network = false, updateFolder = true;
    };
    const QString notFetched =
        QStringLiteral("Nije moguće učitati kontrolnu datoteku sa interneta! Provjerite "
                       "vezu sa internetom i pokušajte ponovno! Prekida se ažuriranje!");
    const QString noFolder =
        QStringLiteral("Potrebno je unijeti mrežnu lokaciju odakle se programi ažuriraju");
    const QString noSeparator =
        QStringLiteral("Ne postoji kontrolna datoteka na mrežnoj lokaciji: %T Prekida se ažuriranje!");
    const QString unreadable = QStringLiteral(
        "PripremiVerzijaTXT - Desila se greška u čitanju zapisa u matricu. Prekida se ažuriranje!");
    const QString absent = QStringLiteral("Podaci o novim verzijama na postoje na lokaciji: ");
    const QString p = QStringLiteral("PripremiVerzijaTXT- ");
    const auto folderBox = [](const QString& typed) {
        return [typed](Workstation& ws) { ws.inst.state.sources.folders[RegularFolderBox] = typed; };
    };
    // clang-format off
    const Case cases[] = {
        {.what = "update folder not created",
         .arrange = [](Workstation& ws) {
             ws.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "Update");
         },
         .box = QStringLiteral("Nastala je greška u kreiranju Update direktorije!\r\nProgram za automatsko "
                               "ažuriranje novih programa mora prestati sa radom.\r\nVjerojatno nemate "
                               "administratorska prava ili je UAC uključen."),
         .line = QString(), .updateFolder = false},
        {.what = "installed manifest missing",
         .arrange = [](Workstation& ws) { QFile::remove(ws.inst.path(kManifest)); },
         .box = QStringLiteral("Ne postoji datoteka %FVerzije.txt Program za automatsko ažuriranje novih "
                               "programa mora prestati sa ažuriranjem. Molimo da o ovoj poruci izvjestite "
                               "Tarvino tim za podršku.")},
        {.what = "installed manifest unreadable",
         .arrange = [](Workstation& ws) { ws.inst.write(kManifest, "Racuni.exe;23;1\r\n"); },
         .box = unreadable + QStringLiteral("\r\nGreška u splitu - ima : 2 članova! Datoteka: %FVerzije.txt "
                                            "Red: Racuni.exe;23;1 "),
         .line = p + unreadable},
        {.what = "internet manifest not fetched",
         .arrange = [](Workstation& ws) {
             ws.inst.write(QStringLiteral("Update/Verzije.txt"), "earlier");
             ws.inst.window.updateEnabled = true;
             ws.primary.answerStatus(kRegular + kManifest, 404);
         },
         .box = notFetched},
        // Empty, the manifest is no release on either engine.
        {.what = "internet manifest empty over http",
         .arrange = [](Workstation& ws) { ws.primary.serve(kRegular + kManifest, {}); }, .box = notFetched},
        {.what = "internet manifest empty over https",
         .arrange = [](Workstation& ws) {
             const TestCertificates& certificates = TestCertificates::instance();
             ws.primary.enableTls(certificates.serverCertificate, certificates.serverKey);
             ws.inst.state.sources.useChilkat = true;
             ws.inst.state.sources.extraAuthorities = certificates.authorityPath;
             ws.primary.serve(kRegular + kManifest, {});
         },
         .box = notFetched},
        {.what = "internet manifest fetched but absent",
         .arrange = [](Workstation& ws) {
             ws.primary.serve(kRegular + kManifest, kNewManifest);
             ws.window.onFetchEnd = [&ws] { QFile::remove(ws.update() + kManifest); };
         },
         .box = absent + QStringLiteral("%U"),
         .line = p + QStringLiteral("Učitao sa interneta Verzije.txt ali one ne postoje u %U"),
         .icon = Icon::None},
        {.what = "network folder empty", .arrange = folderBox({}), .box = noFolder, .line = QString(),
         .network = true},
        {.what = "network folder blank", .arrange = folderBox(QStringLiteral("   ")), .box = noFolder,
         .line = QString(), .network = true},
        // Typed without its separator, the name is appended directly and not found.
        {.what = "network folder without separator",
         .arrange = [](Workstation& ws) {
             ws.inst.state.sources.folders[RegularFolderBox] = ws.network().chopped(1);
         },
         .box = noSeparator, .line = p + QLatin1Char(' ') + noSeparator, .network = true},
        {.what = "network manifest not copied",
         .arrange = [](Workstation& ws) { ws.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt"); },
         .box = QStringLiteral("Nije moguće učitati kontrolnu datoteku sa mrežne lokacije! Provjerite i "
                               "pokušajte ponovno! Prekida se ažuriranje!"),
         .network = true},
        // The copy reports success and leaves nothing; both texts name the network folder.
        {.what = "network manifest copied but absent",
         .arrange = [](Workstation& ws) {
             ws.inst.write(QStringLiteral("Update/Verzije.txt"), "earlier");
             ws.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt", 1, platform::Outcome::ok());
         },
         .box = absent + QStringLiteral("%N"),
         .line = p + QStringLiteral(" Kopirao sa mrežne lokacije Verzije.txt, ali ona ne postoji u %N"),
         .icon = Icon::None, .network = true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workstation ws(c.updateFolder);
        ws.inst.write(kSupport, kRemoteSupport);
        if (c.network) {
            ws.useNetwork();
            ws.publish(kManifest, kNewManifest);
        }
        c.arrange(ws);
        const std::optional<bool> button = ws.inst.window.updateEnabled;
        const auto expand = [&](QString text) {
            return text.replace(QStringLiteral("%F"), ws.inst.folder())
                .replace(QStringLiteral("%U"), ws.update())
                .replace(QStringLiteral("%N"), ws.network())
                .replace(QStringLiteral("%T"), ws.network().chopped(1));
        };

        EXPECT_FALSE(ws.prepare());

        EXPECT_EQ(ws.inst.journal().value(ws.inst.journal().size() - 1), expand(c.line.value_or(p + c.box)));
        ASSERT_FALSE(ws.inst.window.messages.empty());
        EXPECT_EQ(ws.inst.window.messages.back().text, expand(c.box));
        EXPECT_EQ(ws.inst.window.messages.back().icon, c.icon);
        // No plan, and an early failure leaves the update button as it was.
        EXPECT_TRUE(ws.inst.window.plan.empty());
        EXPECT_EQ(ws.inst.window.updateEnabled, button);
        EXPECT_TRUE(!ws.inst.exists(QStringLiteral("Update/Verzije.txt")) || ws.updated() == "earlier");
        EXPECT_TRUE(!c.network || ws.primary.requests.isEmpty());
    }
}

TEST(ManifestPreparation, NetworkSourceCopiesManifestAndRemoteSupportProgram)
{
    Workstation ws;
    ws.useNetwork();
    ws.publish(kManifest, kNewManifest);
    ws.publish(kSupport, kRemoteSupport);

    // First check: no old copy in the Update folder to delete, which is journalled only.
    EXPECT_TRUE(ws.prepare());

    EXPECT_EQ(ws.inst.journal().first(),
              QStringLiteral("TV-PripremiVerzijaTXT- Greška u brisanju datoteke ") + ws.update() + kManifest);
    EXPECT_EQ(ws.inst.read(kSupport) + ws.updated(), kRemoteSupport + kNewManifest);
    EXPECT_TRUE(ws.inst.window.plan.size() == 1 && ws.inst.window.messages.empty());
    EXPECT_TRUE(ws.primary.requests.isEmpty() && ws.secondary.requests.isEmpty());

    // Second check: the old copy is replaced and nothing is journalled about it.
    ws.publish(kManifest, kInstalledManifest);
    const qsizetype lines = ws.inst.journal().size();
    EXPECT_FALSE(ws.prepare());
    EXPECT_FALSE(ws.inst.journal().mid(lines).join(QLatin1Char('\n')).contains(QStringLiteral("TV-")));
    EXPECT_EQ(ws.updated(), kInstalledManifest);

    // A network folder that is the Update folder itself: its manifest is the source, not an old copy.
    ws.inst.write(QStringLiteral("Update/Verzije.txt"), kNewManifest);
    ws.inst.state.sources.folders[RegularFolderBox] = ws.update();
    EXPECT_TRUE(ws.prepare());
    EXPECT_TRUE(ws.updated() == kNewManifest && ws.inst.window.messages.empty());

    // A trial check takes its own option and folder box.
    ws.inst.state.trialRun = true;
    ws.inst.state.sources.regularOption = PrimaryServer;
    ws.inst.state.sources.trialOption = NetworkFolder;
    ws.inst.state.sources.folders[TrialFolderBox] = ws.network();
    EXPECT_FALSE(ws.prepare());
    EXPECT_EQ(ws.updated(), kInstalledManifest);
    EXPECT_TRUE(ws.primary.requests.isEmpty() && ws.inst.window.messages.empty());
}

TEST(CheckCommand, CheckButtonKeepsTheChannelSourceSelectionSavesAndBothWaitTheirTurn)
{
    Workstation ws;
    ws.inst.write(kSupport, kRemoteSupport);
    ws.primary.serve(kTrial + kManifest, kNewManifest);
    // As the trial-update button leaves it; the regular channel's source does not matter.
    ws.inst.state.trialRun = true;
    ws.inst.state.manifestFailed = true;
    ws.useNetwork();
    const auto saved = [&] {
        return ws.inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N"));
    };

    // The check button records nothing.
    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_EQ(ws.primary.requests, QStringList{kTrial + kManifest});
    EXPECT_TRUE(ws.updated() == kNewManifest && ws.inst.state.trialRun && ws.inst.state.manifestFailed);
    EXPECT_EQ(ws.inst.window.updateEnabled, true);
    EXPECT_FALSE(ws.inst.settings->contains(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N")));

    // Selecting a source saves it, leaves the trial channel and records the check's failure: the
    // network folder has no manifest yet.
    ws.inst.window.tab = 2;
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, NetworkFolder));
    EXPECT_EQ(std::make_tuple(ws.inst.window.tab, ws.inst.state.trialRun, ws.inst.state.manifestFailed,
                              ws.inst.state.operationRunning, saved()),
              std::make_tuple(2, false, true, false, QStringLiteral("1")));

    ws.primary.serve(kRegular + kManifest, kNewManifest);
    // The plan, now built, shows itself on another tab; the operator stays where he was.
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, PrimaryServer));
    EXPECT_TRUE(!ws.inst.state.manifestFailed && ws.inst.window.tab == 2);
    EXPECT_EQ(saved(), QStringLiteral("2"));

    // While starting up the selection runs the check but saves nothing.
    ws.inst.state.startingUp = true;
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, SecondaryServer));
    EXPECT_EQ(saved(), QStringLiteral("2"));
    EXPECT_TRUE(ws.inst.state.manifestFailed) << "the secondary server has no manifest";

    // Held off while another operation runs.
    ws.primary.requests.clear();
    const size_t boxes = ws.inst.window.messages.size();
    ws.inst.state.operationRunning = true;
    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_FALSE(optLokacija_Click(ws.inst.ctx, PrimaryServer));
    EXPECT_EQ(ws.inst.state.sources.regularOption, SecondaryServer);
    EXPECT_TRUE(ws.primary.requests.isEmpty() && ws.inst.window.messages.size() == boxes);
}
