#include "app/Commands.h"

#include "ServedInstallation.h"

#include <QDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;

namespace {

/// The release installed as published; distributions go into the network folder.
struct Commands : ::testing::Test, ServedInstallation {
    Commands()
    {
        rows = {{.name = u"Racuni.exe"_s}};
        publish();
        inst.write(u"Verzije.txt"_s, manifest(rows));
        inst.write(u"Racuni.exe"_s, "program");
        inst.write(u"TeamViewerQS.exe"_s, "support");
        s.sources.folders[DistributionFolderBox] = network();
    }

    /// Distributions started so far: only a distribution fetches VerzijeU.txt.
    qsizetype distributions() const { return server.requests.count(url(u"VerzijeU.txt"_s)); }
    void at(int hour, int minute) { inst.platform.fakeClock.setTime({2026, 12, 7, hour, minute, 30, 0}); }

    AppState& s = inst.state;
};

} // namespace

TEST_F(Commands, AutomaticDistributionFallsOnFullHoursThatAreMultiplesOfTheStep)
{
    // An hour step of 0 switches it off; midnight is a multiple of every step.
    // clang-format off
    const struct {
        int step, hour, minute;
        bool due;
    } cases[] = {
        {.step = 0, .hour = 0, .minute = 0, .due = false}, {.step = 1, .hour = 13, .minute = 1, .due = false},
        {.step = 5, .hour = 10, .minute = 0, .due = true}, {.step = 5, .hour = 12, .minute = 0, .due = false},
        {.step = 23, .hour = 0, .minute = 0, .due = true}, {.step = 23, .hour = 22, .minute = 0, .due = false},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(isDistributionDue(c.step, c.hour, c.minute), c.due)
            << c.step << ' ' << c.hour << ':' << c.minute;

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
    // Nothing new: the update stops before its run, on the regular channel.
    EXPECT_TRUE(s.distributionPending && s.manifestFailed && !s.trialRun && !s.operationRunning);
    EXPECT_FALSE(inst.journal().join('\n').contains(u"KRAJ UPDATE"_s));

    tick.stop();
    runPendingDistribution(inst.ctx);
    runPendingDistribution(inst.ctx);
    EXPECT_EQ(distributions(), 1);
    EXPECT_FALSE(s.distributionPending);
}

TEST_F(Commands, TransferTimeShowsTwoDecimalsAndNeverGoesNegative)
{
    EXPECT_EQ(transferTimeText(0.5), u"Vrijeme prijenosa: .50 s"_s);
    EXPECT_EQ(transferTimeText(1234.5), u"Vrijeme prijenosa: 1234.50 s"_s);
    s.transferStart = 23 * 3600 + 59 * 60 + 59;
    inst.platform.fakeClock.setTime({2026, 12, 7, 0, 0, 1, 250});
    tmrPrijenos_Timer(inst.ctx);
    EXPECT_EQ(inst.window.transferTime(), u"Vrijeme prijenosa: 2.25 s"_s);
}
