#include "transfer/ManifestPreparation.h"

#include "ForwardingWindow.h"
#include "ServedInstallation.h"
#include "app/Commands.h"

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

// The recording window, with a chance to act when the fetcher clears status panel 1 at a fetch's end.
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

// One program and the remote-support program installed; a newer release published.
struct Workstation : ServedInstallation {
    explicit Workstation(bool tls = false) : ServedInstallation(tls)
    {
        inst.write(kManifest, kInstalled);
        inst.write(QStringLiteral("Racuni.exe"), "program");
        inst.write(kSupport, "support");
        put(kManifest, kNew);
    }
    bool prepare() { return PripremiVerzijaTXT(ctx); }
    QString& regularFolder() { return inst.state.sources.folders[RegularFolderBox]; }
    FaultyFileSystem& faults() { return inst.platform.faultyFiles; }
    void withoutSupportProgram(const QByteArray& published)
    {
        QFile::remove(inst.path(kSupport));
        put(kSupport, published);
    }

    FetchEndWindow window{inst.window};
    Context ctx{inst.state, window, inst.platform, *inst.settings};
};

} // namespace

TEST(ManifestPreparation, EachSourceBringsTheManifestOrStopsTheCheckWithABox)
{
    using W = Workstation;
    struct Case {
        const char* what;
        int source = PrimaryServer; // of the channel checked
        bool trial = false, tls = false;
        bool firstCheck = false;                // no Update folder yet
        std::optional<QByteArray> support = {}; // published, and not installed
        // A plan shown and the update button on, with the published manifest in the Update folder;
        // else nothing new or, with a box, everything as it was.
        bool found = true;
        QString box = {};
        QStringList fetched = {};
        std::function<void(W&)> arrange = [](W&) {};
    };
    const QString notFetched = QStringLiteral("Nije moguće učitati kontrolnu datoteku sa interneta!");
    const QString absent = QStringLiteral("Podaci o novim verzijama na postoje na lokaciji");
    const QString noFolder =
        QStringLiteral("Potrebno je unijeti mrežnu lokaciju odakle se programi ažuriraju");
    const auto typed = [](const char* folder) {
        return [folder](W& ws) { ws.regularFolder() = QString::fromUtf8(folder); };
    };
    // clang-format off
    const Case cases[] = {
        {.what = "internet", .firstCheck = true, .support = "new", .fetched = {kSupport, kManifest}},
        {.what = "internet, nothing new", .found = false, .fetched = {kManifest},
         .arrange = [](W& ws) { ws.put(kManifest, kInstalled); }},
        // The transfer control stores nothing from an empty reply; the check goes on without it.
        {.what = "internet, support program empty", .support = "", .fetched = {kSupport, kManifest}},
        {.what = "network", .source = NetworkFolder, .support = "new"},
        // The network folder is the Update folder: its manifest is the source, not an old copy to delete.
        {.what = "network is the Update folder", .source = NetworkFolder,
         .arrange = [](W& ws) { ws.regularFolder() = ws.update({}); }},
        {.what = "trial from the network", .source = NetworkFolder, .trial = true},
        {.what = "Update folder not made", .firstCheck = true, .box = QStringLiteral("greška u kreiranju Update"),
         .arrange = [](W& ws) { ws.faults().fail(FileOp::CreateFolder, "Update"); }},
        {.what = "installed manifest missing", .box = QStringLiteral("Ne postoji datoteka "),
         .arrange = [](W& ws) { QFile::remove(ws.inst.path(kManifest)); }},
        {.what = "installed manifest unreadable", .box = QStringLiteral("Greška u splitu - ima : 2 članova!"),
         .arrange = [](W& ws) { ws.inst.write(kManifest, "Racuni.exe;23;1\r\n"); }},
        {.what = "internet manifest not found", .box = notFetched,
         .arrange = [](W& ws) { ws.server.answers[ws.url(kManifest)] = {.status = 404}; }},
        // Empty, the manifest is no release on either engine.
        {.what = "internet manifest empty", .box = notFetched, .arrange = [](W& ws) { ws.put(kManifest, {}); }},
        {.what = "internet manifest empty, https", .tls = true, .box = notFetched,
         .arrange = [](W& ws) { ws.put(kManifest, {}); }},
        {.what = "network folder empty", .source = NetworkFolder, .box = noFolder, .arrange = typed("")},
        {.what = "network folder blank", .source = NetworkFolder, .box = noFolder, .arrange = typed("   ")},
        // Typed without its separator, the name is appended directly and not found.
        {.what = "network folder without separator", .source = NetworkFolder,
         .box = QStringLiteral("Ne postoji kontrolna datoteka na mrežnoj lokaciji"),
         .arrange = [](W& ws) { ws.regularFolder().chop(1); }},
        {.what = "network manifest not copied", .source = NetworkFolder,
         .box = QStringLiteral("Nije moguće učitati kontrolnu datoteku sa mrežne lokacije!"),
         .arrange = [](W& ws) { ws.faults().fail(FileOp::Copy, "Verzije.txt"); }},
        // Fetched or copied with success and then absent: no plan may be made of a missing manifest.
        {.what = "internet manifest fetched but absent", .box = absent,
         .arrange = [](W& ws) { ws.window.onFetchEnd = [&ws] { QFile::remove(ws.update(kManifest)); }; }},
        {.what = "network manifest copied but absent", .source = NetworkFolder, .box = absent,
         .arrange = [](W& ws) { ws.faults().fail(FileOp::Copy, "Verzije.txt", 1, platform::Outcome::ok()); }},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workstation ws(c.tls);
        // A check that found something before: a failure leaves its plan and button as they were.
        ws.prepare();
        if (!c.box.isEmpty())
            ws.inst.write(QStringLiteral("Update/Verzije.txt"), "earlier");
        ws.server.requests.clear();
        ws.inst.state.sources.regularOption = c.source;
        // A trial check takes its own option and folder box.
        if (c.trial) {
            ws.inst.state.trialRun = true;
            ws.inst.state.sources.trialOption =
                std::exchange(ws.inst.state.sources.regularOption, PrimaryServer);
            ws.inst.state.sources.folders[TrialFolderBox] = ws.network();
            ws.inst.state.sources.folders[RegularFolderBox].clear();
        }
        if (c.firstCheck)
            QDir(ws.update({})).removeRecursively();
        if (c.support)
            ws.withoutSupportProgram(*c.support);
        c.arrange(ws);

        EXPECT_EQ(ws.prepare(), c.found && c.box.isEmpty());
        if (c.box.isEmpty() || c.source == NetworkFolder)
            EXPECT_EQ(ws.server.requests.replaceInStrings(ws.url({}), QString()), c.fetched);
        // The transfer control's own box may come first.
        EXPECT_EQ(ws.inst.window.messages.empty(), c.box.isEmpty());
        EXPECT_TRUE(ws.inst.window.messages.empty() || ws.inst.window.messages.back().text.contains(c.box));
        const bool shown = !c.box.isEmpty() || c.found;
        EXPECT_EQ(ws.inst.window.plan.size(), shown ? 1u : 0u);
        EXPECT_EQ(ws.inst.window.updateEnabled, shown);
        if (c.box.isEmpty())
            EXPECT_EQ(ws.updated(kManifest), c.found ? kNew : kInstalled);
        else
            EXPECT_TRUE(!ws.inst.exists(QStringLiteral("Update/Verzije.txt")) ||
                        ws.updated(kManifest) == "earlier");
        EXPECT_EQ(ws.inst.read(kSupport), c.support.value_or("support"));
    }
}

TEST(CheckCommand, CheckButtonKeepsTheChannelSourceSelectionSavesAndBothWaitTheirTurn)
{
    Workstation ws;
    ws.server.serve(ws.url(QStringLiteral("Probna/Verzije.txt")), kNew);
    QFile::remove(ws.network() + kManifest);
    // As the trial-update button leaves it; the regular channel's source does not matter.
    ws.inst.state.trialRun = true;
    ws.inst.state.manifestFailed = true;
    ws.inst.state.sources.regularOption = NetworkFolder;
    const auto saved = [&] {
        return ws.inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N"));
    };

    // The check button records nothing.
    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_TRUE(ws.updated(kManifest) == kNew && ws.inst.state.trialRun && ws.inst.state.manifestFailed);
    EXPECT_TRUE(saved().isEmpty());
    // Selecting a source saves it, leaves the trial channel and records the check's failure: the
    // network folder has no manifest. The operator stays on his tab.
    ws.inst.window.tab = 2;
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, NetworkFolder));
    EXPECT_EQ(
        std::make_tuple(ws.inst.window.tab, ws.inst.state.trialRun, ws.inst.state.manifestFailed, saved()),
        std::make_tuple(2, false, true, QStringLiteral("1")));
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, PrimaryServer));
    EXPECT_TRUE(!ws.inst.state.manifestFailed && ws.inst.window.tab == 2 && saved() == QStringLiteral("2"));
    // While starting up the selection runs the check but saves nothing.
    ws.inst.state.startingUp = true;
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, SecondaryServer));
    EXPECT_TRUE(ws.inst.state.manifestFailed && saved() == QStringLiteral("2"));
    // Held off while another operation runs.
    ws.server.requests.clear();
    ws.inst.state.operationRunning = true;
    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_FALSE(optLokacija_Click(ws.inst.ctx, PrimaryServer));
    EXPECT_EQ(ws.inst.state.sources.regularOption, SecondaryServer);
    EXPECT_TRUE(ws.server.requests.isEmpty());
}
