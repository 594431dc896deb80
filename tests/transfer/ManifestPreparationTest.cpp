#include "TestHttpServer.h"
#include "ForwardingWindow.h"
#include "TestInstallation.h"
#include "core/Text.h"
#include "transfer/CheckCommand.h"
#include "transfer/ManifestPreparation.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QString kRegular = QStringLiteral("/download/Verzija23/");
const QString kTrial = QStringLiteral("/download/Verzija23/Probna/");
const QByteArray kInstalledManifest = "Racuni.exe;23;1;4;100;200;\r\n";
const QByteArray kNewManifest = "Racuni.exe;23;1;5;110;210;\r\n";
const QByteArray kRemoteSupport = "MZ-remote-support";

// An installation of one program, two update servers on 127.0.0.1 (plain http,
// the transfer-control engine) and a network folder beside the installation.
struct Workstation {
    Workstation(bool updateFolder = true) : inst(updateFolder)
    {
        inst.write(QStringLiteral("Verzije.txt"), kInstalledManifest);
        inst.write(QStringLiteral("Racuni.exe"), "program");
        inst.state.sources.primaryServer = primary.hostAndPort();
        inst.state.sources.secondaryServer = secondary.hostAndPort();
        inst.state.sources.useChilkat = false;
        inst.state.fetchStallTimeout = 20s;
        QDir().mkpath(network());
    }

    // The network folder as the operator types it, with its separator.
    QString network() const { return QDir::toNativeSeparators(inst.root() + QStringLiteral("/dijeljeno")) + separator(); }
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
    bool prepare() { return PripremiVerzijaTXT(inst.ctx); }
    const QString& message() const { return inst.state.currentMessage; }
    QString update() const { return inst.path(QStringLiteral("Update")) + separator(); }

    TestInstallation inst;
    TestHttpServer primary;
    TestHttpServer secondary;
};

// The recording window, with a chance to act when the fetcher clears status panel 1
// at the end of a fetch.
class FetchEndWindow final : public ForwardingWindow {
public:
    explicit FetchEndWindow(RecordingWindow& w) : ForwardingWindow(w) {}
    void setStatus(Panel panel, const QString& text) override
    {
        ForwardingWindow::setStatus(panel, text);
        if (panel == Panel::Action && text.isEmpty() && onFetchEnd)
            onFetchEnd();
    }

    std::function<void()> onFetchEnd;
};

QStringList planNames(const RecordingWindow& window)
{
    QStringList names;
    for (const PlanGridRow& row : window.plan)
        names << row.name;
    return names;
}

} // namespace

TEST(ManifestPreparation, InternetSourceBringsManifestAndRemoteSupportProgramAndPlans)
{
    Workstation ws;
    ws.inst.state.sources.regularOption = PrimaryServer;
    ws.primary.serve(kRegular + QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
    ws.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kNewManifest);

    EXPECT_TRUE(ws.prepare());

    EXPECT_EQ(ws.primary.requests, (QStringList {kRegular + QStringLiteral("TeamViewerQS.exe"),
                                                 kRegular + QStringLiteral("Verzije.txt")}));
    EXPECT_EQ(ws.inst.read(QStringLiteral("TeamViewerQS.exe")), kRemoteSupport);
    EXPECT_EQ(ws.inst.read(QStringLiteral("Update/Verzije.txt")), kNewManifest);
    EXPECT_EQ(planNames(ws.inst.window), QStringList {QStringLiteral("Racuni.exe")});
    EXPECT_EQ(ws.inst.window.updateEnabled, true);
    EXPECT_TRUE(ws.inst.window.messages.empty());
    EXPECT_EQ(ws.inst.state.installed.at(0, 0).text(), QStringLiteral("Racuni.exe"));
    EXPECT_EQ(ws.inst.state.updateFolder, ws.update());

    // The remote-support program is fetched once; the manifest every time, over the old copy.
    ws.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kInstalledManifest);
    EXPECT_FALSE(ws.prepare());
    EXPECT_EQ(ws.primary.requests.size(), 3);
    EXPECT_EQ(ws.primary.requests.last(), kRegular + QStringLiteral("Verzije.txt"));
    EXPECT_EQ(ws.inst.read(QStringLiteral("Update/Verzije.txt")), kInstalledManifest);
}

TEST(ManifestPreparation, RemoteSupportProgramNotFetchedLeavesOnlyAJournalLine)
{
    Workstation ws;
    ws.inst.state.sources.regularOption = SecondaryServer;
    // The transfer control stores nothing from an empty reply and reports it without a box.
    ws.secondary.serve(kRegular + QStringLiteral("TeamViewerQS.exe"), QByteArray());
    ws.secondary.serve(kRegular + QStringLiteral("Verzije.txt"), kNewManifest);

    EXPECT_TRUE(ws.prepare());

    EXPECT_TRUE(ws.inst.window.messages.empty());
    EXPECT_FALSE(ws.inst.exists(QStringLiteral("TeamViewerQS.exe")));
    EXPECT_TRUE(ws.inst.journal().contains(
        QStringLiteral("Download na lokaciju- Nije moguće učitati TeamViewerQS.exe sa interneta! Provjerite vezu sa "
                       "internetom i pokušajte ponovno!")));
    EXPECT_EQ(ws.inst.window.updateEnabled, true);
    EXPECT_TRUE(ws.primary.requests.isEmpty());

    // Fetched, but gone by the time it is looked for.
    Workstation gone;
    gone.primary.serve(kRegular + QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
    gone.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kNewManifest);
    FetchEndWindow window(gone.inst.window);
    window.onFetchEnd = [&] { QFile::remove(gone.inst.path(QStringLiteral("TeamViewerQS.exe"))); };
    Context ctx {gone.inst.state, window, gone.inst.platform, *gone.inst.settings};

    EXPECT_TRUE(PripremiVerzijaTXT(ctx));

    EXPECT_TRUE(gone.inst.window.messages.empty());
    EXPECT_TRUE(gone.inst.journal().contains(
        QStringLiteral("Download na lokaciju- Učitao sa interneta TeamViewerQS.exe, ali one ne postoje u ") +
        gone.inst.folder()));
}

TEST(ManifestPreparation, InternetManifestNotFetchedOrAbsentStopsBeforeThePlan)
{
    {
        SCOPED_TRACE("not fetched");
        Workstation ws;
        ws.inst.write(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
        ws.inst.write(QStringLiteral("Update/Verzije.txt"), "earlier");
        ws.inst.window.updateEnabled = true;
        ws.primary.answerStatus(kRegular + QStringLiteral("Verzije.txt"), 404);

        EXPECT_FALSE(ws.prepare());

        const QString text = QStringLiteral("Nije moguće učitati kontrolnu datoteku sa interneta! Provjerite vezu sa "
                                            "internetom i pokušajte ponovno! Prekida se ažuriranje!");
        EXPECT_EQ(ws.message(), text);
        EXPECT_EQ(ws.inst.journal().last(), QStringLiteral("PripremiVerzijaTXT- ") + text);
        ASSERT_FALSE(ws.inst.window.messages.empty());
        EXPECT_EQ(ws.inst.window.messages.back().text, text);
        EXPECT_EQ(ws.inst.window.messages.back().icon, Icon::Exclamation);
        EXPECT_EQ(ws.inst.read(QStringLiteral("Update/Verzije.txt")), QByteArray("earlier"));
        EXPECT_EQ(ws.inst.window.updateEnabled, true) << "an early failure keeps the button";
        EXPECT_TRUE(ws.inst.window.plan.empty());
    }
    {
        SCOPED_TRACE("fetched but absent");
        Workstation ws;
        ws.inst.write(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
        ws.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kNewManifest);
        FetchEndWindow window(ws.inst.window);
        window.onFetchEnd = [&] { QFile::remove(ws.update() + QStringLiteral("Verzije.txt")); };
        Context ctx {ws.inst.state, window, ws.inst.platform, *ws.inst.settings};

        EXPECT_FALSE(PripremiVerzijaTXT(ctx));

        EXPECT_EQ(ws.inst.journal().last(),
                  QStringLiteral("PripremiVerzijaTXT- Učitao sa interneta Verzije.txt ali one ne postoje u ") + ws.update());
        ASSERT_EQ(ws.inst.window.messages.size(), 1u);
        EXPECT_EQ(ws.inst.window.messages[0].text,
                  QStringLiteral("Podaci o novim verzijama na postoje na lokaciji: ") + ws.update());
        EXPECT_EQ(ws.inst.window.messages[0].icon, Icon::None);
        EXPECT_FALSE(ws.inst.window.updateEnabled.has_value());
    }
}

TEST(ManifestPreparation, UpdateFolderIsCreatedOrTheCheckStopsWithoutAJournalLine)
{
    {
        Workstation ws(/*updateFolder=*/false);
        ws.primary.serve(kRegular + QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
        ws.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kNewManifest);
        EXPECT_TRUE(ws.prepare());
        EXPECT_EQ(ws.inst.read(QStringLiteral("Update/Verzije.txt")), kNewManifest);
    }
    {
        Workstation ws(/*updateFolder=*/false);
        ws.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "Update");

        EXPECT_FALSE(ws.prepare());

        ASSERT_EQ(ws.inst.window.messages.size(), 1u);
        EXPECT_EQ(ws.inst.window.messages[0].text,
                  QStringLiteral("Nastala je greška u kreiranju Update direktorije!\r\n"
                                 "Program za automatsko ažuriranje novih programa mora prestati sa radom.\r\n"
                                 "Vjerojatno nemate administratorska prava ili je UAC uključen."));
        EXPECT_EQ(ws.inst.window.messages[0].icon, Icon::Exclamation);
        EXPECT_TRUE(ws.primary.requests.isEmpty());
        EXPECT_FALSE(ws.inst.exists(QStringLiteral("Update")));
        EXPECT_TRUE(ws.inst.journal().isEmpty());
        EXPECT_FALSE(ws.inst.window.updateEnabled.has_value());
    }
}

TEST(ManifestPreparation, InstalledManifestMissingOrUnreadableStopsTheCheck)
{
    {
        SCOPED_TRACE("missing");
        Workstation ws;
        QFile::remove(ws.inst.path(QStringLiteral("Verzije.txt")));

        EXPECT_FALSE(ws.prepare());

        const QString text = QStringLiteral("Ne postoji datoteka ") + ws.inst.folder() +
                             QStringLiteral("Verzije.txt Program za automatsko ažuriranje novih programa mora prestati "
                                            "sa ažuriranjem. Molimo da o ovoj poruci izvjestite Tarvino tim za podršku.");
        EXPECT_EQ(ws.message(), text);
        EXPECT_EQ(ws.inst.journal(), QStringList {QStringLiteral("PripremiVerzijaTXT- ") + text});
        EXPECT_EQ(ws.inst.window.messageTexts(), QStringList {text});
        EXPECT_EQ(ws.inst.window.messages[0].icon, Icon::Exclamation);
        EXPECT_TRUE(ws.primary.requests.isEmpty());
    }
    {
        SCOPED_TRACE("unreadable");
        Workstation ws;
        ws.inst.write(QStringLiteral("Verzije.txt"), "Racuni.exe;23;1\r\n");

        EXPECT_FALSE(ws.prepare());

        const QString text =
            QStringLiteral("PripremiVerzijaTXT - Desila se greška u čitanju zapisa u matricu. Prekida se ažuriranje!");
        EXPECT_EQ(ws.message(), text);
        EXPECT_EQ(ws.inst.journal().last(), QStringLiteral("PripremiVerzijaTXT- ") + text);
        EXPECT_EQ(ws.inst.window.messageTexts().last(), text);
        EXPECT_TRUE(ws.primary.requests.isEmpty());
        EXPECT_FALSE(ws.inst.window.updateEnabled.has_value());
    }
}

TEST(ManifestPreparation, NetworkSourceCopiesManifestAndRemoteSupportProgram)
{
    Workstation ws;
    ws.useNetwork();
    ws.publish(QStringLiteral("Verzije.txt"), kNewManifest);
    ws.publish(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);

    // First check: no old copy in the Update folder to delete, which is journalled only.
    EXPECT_TRUE(ws.prepare());

    EXPECT_EQ(ws.inst.journal().first(), QStringLiteral("TV-PripremiVerzijaTXT- Greška u brisanju datoteke ") +
                                              ws.update() + QStringLiteral("Verzije.txt"));
    EXPECT_EQ(ws.inst.read(QStringLiteral("Update/Verzije.txt")), kNewManifest);
    EXPECT_EQ(ws.inst.read(QStringLiteral("TeamViewerQS.exe")), kRemoteSupport);
    EXPECT_EQ(planNames(ws.inst.window), QStringList {QStringLiteral("Racuni.exe")});
    EXPECT_EQ(ws.inst.window.updateEnabled, true);
    EXPECT_TRUE(ws.inst.window.messages.empty());
    EXPECT_TRUE(ws.primary.requests.isEmpty());
    EXPECT_TRUE(ws.secondary.requests.isEmpty());

    // Second check: the old copy is replaced and nothing is journalled about it.
    ws.publish(QStringLiteral("Verzije.txt"), kInstalledManifest);
    const qsizetype lines = ws.inst.journal().size();
    EXPECT_FALSE(ws.prepare());
    EXPECT_FALSE(ws.inst.journal().mid(lines).join(QLatin1Char('\n')).contains(QStringLiteral("TV-")));
    EXPECT_EQ(ws.inst.read(QStringLiteral("Update/Verzije.txt")), kInstalledManifest);
    EXPECT_EQ(ws.inst.window.updateEnabled, false);
}

TEST(ManifestPreparation, NetworkFolderEmptyOrWithoutManifestStopsTheCheck)
{
    for (const QString& typed : {QString(), QStringLiteral("   ")}) {
        SCOPED_TRACE(typed.toStdString());
        Workstation ws;
        ws.useNetwork();
        ws.inst.state.sources.folders[RegularFolderBox] = typed;

        EXPECT_FALSE(ws.prepare());

        ASSERT_EQ(ws.inst.window.messages.size(), 1u);
        EXPECT_EQ(ws.inst.window.messages[0].text,
                  QStringLiteral("Potrebno je unijeti mrežnu lokaciju odakle se programi ažuriraju"));
        EXPECT_EQ(ws.inst.window.messages[0].title, QStringLiteral("Unesite mrežnu lokaciju"));
        EXPECT_EQ(ws.inst.window.messages[0].icon, Icon::Exclamation);
        EXPECT_TRUE(ws.inst.journal().isEmpty());
    }

    // Typed without its separator, the name is appended directly and not found.
    Workstation ws;
    ws.useNetwork();
    ws.publish(QStringLiteral("Verzije.txt"), kNewManifest);
    const QString typed = ws.network().chopped(1);
    ws.inst.state.sources.folders[RegularFolderBox] = typed;

    EXPECT_FALSE(ws.prepare());

    const QString text = QStringLiteral("Ne postoji kontrolna datoteka na mrežnoj lokaciji: ") + typed +
                         QStringLiteral(" Prekida se ažuriranje!");
    EXPECT_EQ(ws.message(), text);
    EXPECT_EQ(ws.inst.journal(), QStringList {QStringLiteral("PripremiVerzijaTXT-  ") + text});
    EXPECT_EQ(ws.inst.window.messageTexts(), QStringList {text});
    EXPECT_EQ(ws.inst.window.messages[0].icon, Icon::Exclamation);
    EXPECT_FALSE(ws.inst.exists(QStringLiteral("Update/Verzije.txt")));
    EXPECT_FALSE(ws.inst.window.updateEnabled.has_value());
}

TEST(ManifestPreparation, NetworkManifestNotCopiedOrAbsentStopsTheCheck)
{
    {
        SCOPED_TRACE("copy fails");
        Workstation ws;
        ws.useNetwork();
        ws.publish(QStringLiteral("Verzije.txt"), kNewManifest);
        ws.inst.write(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
        ws.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt");

        EXPECT_FALSE(ws.prepare());

        const QString text = QStringLiteral("Nije moguće učitati kontrolnu datoteku sa mrežne lokacije! Provjerite i "
                                            "pokušajte ponovno! Prekida se ažuriranje!");
        EXPECT_EQ(ws.message(), text);
        EXPECT_EQ(ws.inst.journal().last(), QStringLiteral("PripremiVerzijaTXT- ") + text);
        EXPECT_EQ(ws.inst.window.messageTexts(), QStringList {text});
        EXPECT_EQ(ws.inst.window.messages[0].icon, Icon::Exclamation);
        EXPECT_FALSE(ws.inst.window.updateEnabled.has_value());
    }
    {
        SCOPED_TRACE("copied but absent");
        Workstation ws;
        ws.useNetwork();
        ws.publish(QStringLiteral("Verzije.txt"), kNewManifest);
        ws.inst.write(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
        ws.inst.write(QStringLiteral("Update/Verzije.txt"), "earlier");
        // The copy reports success and leaves nothing.
        ws.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt", 1, platform::Outcome::ok());

        EXPECT_FALSE(ws.prepare());

        // Both texts name the network folder.
        EXPECT_EQ(ws.inst.journal().last(),
                  QStringLiteral("PripremiVerzijaTXT-  Kopirao sa mrežne lokacije Verzije.txt, ali ona ne postoji u ") +
                      ws.network());
        ASSERT_EQ(ws.inst.window.messages.size(), 1u);
        EXPECT_EQ(ws.inst.window.messages[0].text,
                  QStringLiteral("Podaci o novim verzijama na postoje na lokaciji: ") + ws.network());
        EXPECT_EQ(ws.inst.window.messages[0].icon, Icon::None);
    }
}

TEST(ManifestPreparation, NetworkFolderThatIsTheUpdateFolderKeepsItsManifest)
{
    Workstation ws;
    ws.useNetwork();
    ws.inst.write(QStringLiteral("Update/Verzije.txt"), kNewManifest);
    ws.inst.state.sources.folders[RegularFolderBox] = ws.update();

    EXPECT_TRUE(ws.prepare());

    EXPECT_EQ(ws.inst.read(QStringLiteral("Update/Verzije.txt")), kNewManifest);
    EXPECT_TRUE(ws.inst.window.messages.empty());
}

TEST(ManifestPreparation, TrialChannelUsesItsOwnOptionAndFolder)
{
    {
        SCOPED_TRACE("trial network folder");
        Workstation ws;
        ws.inst.state.trialRun = true;
        ws.inst.state.sources.regularOption = PrimaryServer;
        ws.inst.state.sources.trialOption = NetworkFolder;
        ws.inst.state.sources.folders[TrialFolderBox] = ws.network();
        ws.inst.write(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
        ws.publish(QStringLiteral("Verzije.txt"), kNewManifest);

        EXPECT_TRUE(ws.prepare());
        EXPECT_TRUE(ws.primary.requests.isEmpty());
        EXPECT_EQ(ws.inst.read(QStringLiteral("Update/Verzije.txt")), kNewManifest);
    }
    {
        SCOPED_TRACE("trial server while the regular source is the network folder");
        Workstation ws;
        ws.useNetwork();
        ws.inst.state.trialRun = true;
        ws.inst.state.sources.trialOption = PrimaryServer;
        ws.inst.write(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
        ws.primary.serve(kTrial + QStringLiteral("Verzije.txt"), kNewManifest);

        EXPECT_TRUE(ws.prepare());
        EXPECT_EQ(ws.primary.requests, QStringList {kTrial + QStringLiteral("Verzije.txt")});
    }
}

TEST(ManifestPreparation, UpdateButtonFollowsThePlanAndKeepsItsStateOnEarlyFailure)
{
    Workstation ws;
    ws.inst.write(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
    ws.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kNewManifest);
    EXPECT_TRUE(ws.prepare());
    EXPECT_EQ(ws.inst.window.updateEnabled, true);

    // Nothing new: the plan is built, empty, and the button goes off.
    ws.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kInstalledManifest);
    EXPECT_FALSE(ws.prepare());
    EXPECT_EQ(ws.inst.window.updateEnabled, false);
    EXPECT_TRUE(ws.inst.window.plan.empty());

    ws.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kNewManifest);
    EXPECT_TRUE(ws.prepare());
    ws.primary.answerStatus(kRegular + QStringLiteral("Verzije.txt"), 500);
    EXPECT_FALSE(ws.prepare());
    EXPECT_EQ(ws.inst.window.updateEnabled, true);
    EXPECT_EQ(planNames(ws.inst.window), QStringList {QStringLiteral("Racuni.exe")});
}

TEST(CheckCommand, SourceSelectionSavesChecksKeepsTheTabAndRecordsTheFailure)
{
    Workstation ws;
    ws.inst.write(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
    ws.inst.state.sources.folders[RegularFolderBox] = ws.network();
    ws.inst.state.trialRun = true;
    ws.inst.window.tab = 2;

    // The network folder has no manifest yet.
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, NetworkFolder));

    EXPECT_EQ(ws.inst.window.tab, 2);
    EXPECT_FALSE(ws.inst.state.trialRun);
    EXPECT_TRUE(ws.inst.state.manifestFailed);
    EXPECT_FALSE(ws.inst.state.operationRunning);
    EXPECT_EQ(ws.inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N")), QStringLiteral("1"));
    EXPECT_EQ(ws.inst.window.messageTexts().size(), 1);

    ws.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kNewManifest);
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, PrimaryServer));
    EXPECT_FALSE(ws.inst.state.manifestFailed);
    EXPECT_EQ(ws.inst.window.tab, 2);
    EXPECT_EQ(ws.inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N")), QStringLiteral("2"));

    // While starting up the selection runs the check but saves nothing.
    ws.inst.state.startingUp = true;
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, SecondaryServer));
    EXPECT_EQ(ws.inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N")), QStringLiteral("2"));
    EXPECT_TRUE(ws.inst.state.manifestFailed) << "the secondary server has no manifest";
}

TEST(CheckCommand, CheckButtonKeepsTheChannelUsedLastAndRecordsNothing)
{
    Workstation ws;
    ws.inst.write(QStringLiteral("TeamViewerQS.exe"), kRemoteSupport);
    ws.primary.serve(kTrial + QStringLiteral("Verzije.txt"), kNewManifest);
    // As the trial-update button leaves it.
    ws.inst.state.trialRun = true;
    ws.inst.state.manifestFailed = true;

    cmdVerzija_Click(ws.inst.ctx);

    EXPECT_EQ(ws.primary.requests, QStringList {kTrial + QStringLiteral("Verzije.txt")});
    EXPECT_TRUE(ws.inst.state.trialRun);
    EXPECT_TRUE(ws.inst.state.manifestFailed);
    EXPECT_EQ(ws.inst.window.updateEnabled, true);
    EXPECT_FALSE(ws.inst.settings->contains(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N")));
}

TEST(CheckCommand, HeldOffWhileAnotherOperationRuns)
{
    Workstation ws;
    ws.primary.serve(kRegular + QStringLiteral("Verzije.txt"), kNewManifest);
    ws.inst.state.operationRunning = true;

    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_FALSE(optLokacija_Click(ws.inst.ctx, NetworkFolder));

    EXPECT_EQ(ws.inst.state.sources.regularOption, PrimaryServer);
    EXPECT_TRUE(ws.primary.requests.isEmpty());
    EXPECT_TRUE(ws.inst.window.messages.empty());
    EXPECT_TRUE(ws.inst.state.operationRunning);
}
