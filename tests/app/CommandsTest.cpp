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
struct Office {
    Office()
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

TEST(Commands, AutomaticDistributionFallsOnFullHoursThatAreMultiplesOfTheStep)
{
    // Step 0 switches it off; midnight is a multiple of every step.
    const struct {
        int step, hour, minute;
        bool due;
    } cases[] = {{.step = 0, .hour = 0, .minute = 0, .due = false},
                 {.step = 1, .hour = 13, .minute = 1, .due = false},
                 {.step = 5, .hour = 10, .minute = 0, .due = true},
                 {.step = 5, .hour = 12, .minute = 0, .due = false},
                 {.step = 23, .hour = 0, .minute = 0, .due = true},
                 {.step = 23, .hour = 23, .minute = 0, .due = true},
                 {.step = 23, .hour = 22, .minute = 0, .due = false}};
    for (const auto& c : cases)
        EXPECT_EQ(isDistributionDue(c.step, c.hour, c.minute), c.due)
            << c.step << " at " << c.hour << ':' << c.minute;

    // Through the clock: only the tick in minute 0 starts a copy.
    Office office;
    office.s.sources.hourStep = 1;
    office.at(13, 59);
    tmrUpdate_Timer(office.inst.ctx);
    EXPECT_EQ(office.distributions(), 0);
    office.at(14, 0);
    tmrUpdate_Timer(office.inst.ctx);
    EXPECT_EQ(office.distributions(), 1);
    EXPECT_FALSE(office.s.operationRunning);
}

TEST(Commands, DistributionFallingDueDuringAnUpdateThatFindsNothingRunsOnceAfterIt)
{
    Office office;
    office.s.sources.hourStep = 6;
    office.s.trialRun = true;
    office.at(6, 0);
    // tmrUpdate's ticks arrive through the event loop the fetch keeps running.
    int ticks = 0;
    QTimer tick;
    tick.callOnTimeout([&] {
        ++ticks;
        tmrUpdate_Timer(office.inst.ctx);
    });
    tick.start(0);

    cmdDownloadAndUpdate_Click(office.inst.ctx);

    ASSERT_GT(ticks, 0);
    EXPECT_EQ(office.distributions(), 0);
    EXPECT_TRUE(office.s.distributionPending);
    // Nothing new: the update stops before its run, on the regular channel.
    EXPECT_TRUE(office.s.manifestFailed && !office.s.trialRun && !office.s.operationRunning);
    EXPECT_FALSE(office.inst.journal().join('\n').contains(u"KRAJ UPDATE"_s));

    tick.stop();
    runPendingDistribution(office.inst.ctx);
    runPendingDistribution(office.inst.ctx);
    EXPECT_EQ(office.distributions(), 1);
    EXPECT_FALSE(office.s.distributionPending);
}

TEST(Commands, TransferTimeShowsTwoDecimalsAndNeverGoesNegative)
{
    EXPECT_EQ(transferTimeText(75.456), u"Vrijeme prijenosa: 75.46 s"_s);
    EXPECT_EQ(transferTimeText(0.5), u"Vrijeme prijenosa: .50 s"_s);
    EXPECT_EQ(transferTimeText(1234.5), u"Vrijeme prijenosa: 1234.50 s"_s);

    TestInstallation inst;
    inst.state.transferStart = 23 * 3600 + 59 * 60 + 59;
    inst.platform.fakeClock.setTime({2026, 12, 7, 0, 0, 1, 250});
    tmrPrijenos_Timer(inst.ctx);
    EXPECT_EQ(inst.window.transferTime(), u"Vrijeme prijenosa: 2.25 s"_s);
}
