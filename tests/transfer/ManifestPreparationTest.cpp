#include "transfer/ManifestPreparation.h"

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

// One program and the remote-support program installed; a newer release published.
struct Workstation : ServedInstallation {
    explicit Workstation(bool tls = false) : ServedInstallation(tls)
    {
        inst.write(kManifest, kInstalled);
        inst.write(kSupport, "support");
        put(kManifest, kNew);
    }
    QString& regularFolder() { return inst.state.sources.folders[RegularFolderBox]; }
};

} // namespace

// A check that found something before: a failure leaves its plan, button and manifest as they were.
TEST(ManifestPreparation, EachSourceBringsTheManifestOrStopsTheCheck)
{
    using W = Workstation;
    struct Case {
        const char* what;
        int source = PrimaryServer; // of the channel checked
        bool tls = false;
        bool firstCheck = false;                // no Update folder yet
        std::optional<QByteArray> support = {}; // published, and not installed
        bool fails = false;
        QStringList fetched = {};
        std::function<void(W&)> arrange = [](W&) {};
    };
    // clang-format off
    const Case cases[] = {
        {.what = "internet", .firstCheck = true, .support = "new", .fetched = {kSupport, kManifest}},
        // The transfer control stores nothing from an empty reply; the check goes on without it.
        {.what = "internet, support program empty", .support = "", .fetched = {kSupport, kManifest}},
        {.what = "network", .source = NetworkFolder, .support = "new"},
        // The network folder is the Update folder: its manifest is the source, not an old copy to delete.
        {.what = "network is the Update folder", .source = NetworkFolder,
         .arrange = [](W& ws) { ws.regularFolder() = ws.update({}); }},
        // A trial check takes its own option and folder box.
        {.what = "trial from the network", .arrange = [](W& ws) {
             ws.inst.state.trialRun = true;
             ws.inst.state.sources.trialOption = NetworkFolder;
             ws.inst.state.sources.folders[TrialFolderBox] = std::exchange(ws.regularFolder(), {});
         }},
        {.what = "Update folder not made", .firstCheck = true, .fails = true,
         .arrange = [](W& ws) { ws.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "Update"); }},
        {.what = "installed manifest missing", .fails = true,
         .arrange = [](W& ws) { QFile::remove(ws.inst.path(kManifest)); }},
        {.what = "installed manifest unreadable", .fails = true,
         .arrange = [](W& ws) { ws.inst.write(kManifest, "Racuni.exe;23;1\r\n"); }},
        // Stored empty by the component, the manifest is no release.
        {.what = "internet manifest empty, https", .tls = true, .fails = true,
         .arrange = [](W& ws) { ws.put(kManifest, {}); }},
        {.what = "network folder empty", .source = NetworkFolder, .fails = true,
         .arrange = [](W& ws) { ws.regularFolder().clear(); }},
        {.what = "network manifest not copied", .source = NetworkFolder, .fails = true,
         .arrange = [](W& ws) { ws.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt"); }},
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
        if (c.firstCheck)
            QDir(ws.update({})).removeRecursively();
        if (c.support) {
            QFile::remove(ws.inst.path(kSupport));
            ws.put(kSupport, *c.support);
        }
        c.arrange(ws);

        EXPECT_EQ(PripremiVerzijaTXT(ws.inst.ctx), !c.fails);
        if (!c.fails || c.source == NetworkFolder)
            EXPECT_EQ(ws.server.requests.replaceInStrings(ws.url({}), QString()), c.fetched);
        EXPECT_EQ(ws.inst.window.messages.empty(), !c.fails);
        // A failed check leaves the earlier manifest or none, never one an update could take for the release.
        EXPECT_TRUE(c.fails ? QByteArrayList({"", "earlier"}).contains(ws.updated(kManifest))
                            : ws.updated(kManifest) == kNew);
        EXPECT_EQ(ws.inst.read(kSupport), c.support.value_or("support"));
    }
}

// The check button keeps the channel; a selected source is saved where other workstations read it and
// leaves the trial channel; neither starts while another operation runs.
TEST(CheckCommand, CheckButtonKeepsTheChannelSourceSelectionSavesAndBothWaitTheirTurn)
{
    Workstation ws;
    ws.server.serve(ws.url(QStringLiteral("Probna/Verzije.txt")), kNew);
    ws.inst.state.sources.regularOption = SecondaryServer;
    ws.inst.state.trialRun = true;
    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_TRUE(ws.updated(kManifest) == kNew && ws.inst.state.trialRun);
    EXPECT_TRUE(optLokacija_Click(ws.inst.ctx, NetworkFolder) && !ws.inst.state.trialRun);
    EXPECT_EQ(ws.inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N")),
              QStringLiteral("1"));
    ws.server.requests.clear();
    ws.inst.state.operationRunning = true;
    cmdVerzija_Click(ws.inst.ctx);
    EXPECT_FALSE(optLokacija_Click(ws.inst.ctx, PrimaryServer));
    EXPECT_TRUE(ws.inst.state.sources.regularOption == NetworkFolder && ws.server.requests.isEmpty());
}
