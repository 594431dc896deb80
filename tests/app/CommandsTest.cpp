#include "app/Commands.h"

#include "TestHttpServer.h"
#include "TestInstallation.h"

#include <QDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QString kBase = u"/download/Verzija23/"_s;
const QByteArray kManifest = "Racuni.exe;23;0;1;100;200;\r\n";

/// The same release installed as published, and a distribution folder.
struct Commands : ::testing::Test {
    Commands()
    {
        s.sources.primaryServer = server.hostAndPort();
        s.sources.regularOption = PrimaryServer;
        s.sources.useChilkat = false;
        s.fetchStallTimeout = 20s;
        QDir().mkpath(inst.root() + u"/Dist"_s);
        s.sources.folders[DistributionFolderBox] = QDir::toNativeSeparators(inst.root() + u"/Dist/"_s);
        inst.write(u"Verzije.txt"_s, kManifest);
        inst.write(u"Racuni.exe"_s, "installed");
        inst.write(u"TeamViewerQS.exe"_s, "support");
        server.serve(kBase + u"Verzije.txt"_s, kManifest);
    }

    /// Distributions started so far: only a distribution fetches VerzijeU.txt.
    qsizetype distributions() const { return server.requests.count(kBase + u"VerzijeU.txt"_s); }

    void at(int hour, int minute) { inst.platform.fakeClock.setTime({2026, 12, 7, hour, minute, 30, 0}); }

    TestInstallation inst;
    AppState& s = inst.state;
    TestHttpServer server;
};

} // namespace

TEST_F(Commands, AutomaticDistributionFallsOnFullHoursThatAreMultiplesOfTheStep)
{
    // Step 0 switches it off; midnight is a multiple of every step.
    const struct {
        int step, hour, min;
        bool due;
    } cases[] = {
        {.step = 0, .hour = 0, .min = 0, .due = false}, {.step = 1, .hour = 13, .min = 1, .due = false},
        {.step = 5, .hour = 10, .min = 0, .due = true}, {.step = 5, .hour = 12, .min = 0, .due = false},
        {.step = 23, .hour = 0, .min = 0, .due = true}, {.step = 23, .hour = 23, .min = 0, .due = true},
        {.step = 23, .hour = 22, .min = 0, .due = false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isDistributionDue(c.step, c.hour, c.min), c.due) << c.step << ' ' << c.hour << ':' << c.min;

    // Through the clock: only the tick in minute 0 starts a copy.
    s.sources.hourStep = 1;
    at(13, 59);
    tmrUpdate_Timer(inst.ctx);
    EXPECT_EQ(distributions(), 0);
    at(14, 0);
    tmrUpdate_Timer(inst.ctx);
    EXPECT_EQ(distributions(), 1);
    EXPECT_FALSE(s.operationRunning);
}

TEST_F(Commands, DistributionFallingDueDuringAnUpdateThatFindsNothingRunsOnceAfterIt)
{
    s.sources.hourStep = 6;
    s.trialRun = true;
    at(6, 0);
    // tmrUpdate's ticks arrive through the event loop the fetch keeps running.
    int ticks = 0;
    QTimer tick;
    tick.callOnTimeout([&] {
        ++ticks;
        tmrUpdate_Timer(inst.ctx);
    });
    tick.start(0);

    cmdDownloadAndUpdate_Click(inst.ctx);

    ASSERT_GT(ticks, 0);
    EXPECT_EQ(distributions(), 0);
    EXPECT_TRUE(s.distributionPending);
    // Nothing new: the update stops before its run, on the regular channel.
    EXPECT_TRUE(s.manifestFailed && !s.trialRun && !s.operationRunning);
    EXPECT_FALSE(inst.journal().join('\n').contains(u"KRAJ UPDATE"_s));

    tick.stop();
    runPendingDistribution(inst.ctx);
    runPendingDistribution(inst.ctx);
    EXPECT_EQ(distributions(), 1);
    EXPECT_FALSE(s.distributionPending);
}

TEST_F(Commands, TransferTimeShowsTwoDecimalsAndNeverGoesNegative)
{
    EXPECT_EQ(transferTimeText(75.456), u"Vrijeme prijenosa: 75.46 s"_s);
    EXPECT_EQ(transferTimeText(0.5), u"Vrijeme prijenosa: .50 s"_s);
    EXPECT_EQ(transferTimeText(1234.5), u"Vrijeme prijenosa: 1234.50 s"_s);

    inst.state.transferStart = 23 * 3600 + 59 * 60 + 59;
    inst.platform.fakeClock.setTime({2026, 12, 7, 0, 0, 1, 250});
    tmrPrijenos_Timer(inst.ctx);
    EXPECT_EQ(inst.window.transferTime(), u"Vrijeme prijenosa: 2.25 s"_s);
}
