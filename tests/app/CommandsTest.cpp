#include "app/Commands.h"

#include "TestHttpServer.h"
#include "TestInstallation.h"

#include <QDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <tuple>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QString kBase = QStringLiteral("/download/Verzija23/");
const QByteArray kManifest = "Racuni.exe;23;0;1;100;200;\r\n";

/// An installation with the same release installed as published, and a distribution folder.
struct Office {
    Office()
    {
        s.sources.primaryServer = server.hostAndPort();
        s.sources.regularOption = PrimaryServer;
        s.sources.useChilkat = false;
        s.fetchStallTimeout = 20s;
        QDir().mkpath(inst.root() + QStringLiteral("/Dist"));
        s.sources.folders[DistributionFolderBox] =
            QDir::toNativeSeparators(inst.root() + QStringLiteral("/Dist/"));
        inst.write(QStringLiteral("Verzije.txt"), kManifest);
        inst.write(QStringLiteral("Racuni.exe"), "installed");
        inst.write(QStringLiteral("TeamViewerQS.exe"), "support");
        server.serve(kBase + QStringLiteral("Verzije.txt"), kManifest);
    }

    /// Distributions started so far: only a distribution fetches VerzijeU.txt.
    qsizetype distributions() const { return server.requests.count(kBase + QStringLiteral("VerzijeU.txt")); }

    void at(int hour, int minute, int second = 30)
    {
        inst.platform.fakeClock.setTime({2026, 12, 7, hour, minute, second, 0});
    }

    TestInstallation inst;
    AppState& s = inst.state;
    TestHttpServer server;
};

} // namespace

TEST(Commands, AutomaticDistributionFallsOnFullHoursThatAreMultiplesOfTheStep)
{
    // Step, hour, minute, due: step 0 switches it off; midnight is a multiple of every step.
    const std::tuple<int, int, int, bool> cases[] = {{0, 0, 0, false}, {1, 13, 0, true},  {1, 13, 1, false},
                                                     {5, 10, 0, true}, {5, 12, 0, false}, {6, 18, 0, true},
                                                     {23, 0, 0, true}, {23, 23, 0, true}, {23, 22, 0, false}};
    for (const auto& [n, hour, minute, due] : cases)
        EXPECT_EQ(isDistributionDue(n, hour, minute), due) << n << " at " << hour << ':' << minute;

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
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        tmrUpdate_Timer(office.inst.ctx);
    });
    tick.start();

    cmdDownloadAndUpdate_Click(office.inst.ctx);

    ASSERT_GT(ticks, 0);
    EXPECT_EQ(office.distributions(), 0);
    EXPECT_TRUE(office.s.distributionPending);
    // Nothing new: the update stops before its run, on the regular channel.
    EXPECT_TRUE(office.s.manifestFailed && !office.s.trialRun && !office.s.operationRunning);
    EXPECT_FALSE(office.inst.journal().join('\n').contains(QStringLiteral("KRAJ UPDATE")));

    tick.stop();
    runPendingDistribution(office.inst.ctx);
    runPendingDistribution(office.inst.ctx);
    EXPECT_EQ(office.distributions(), 1);
    EXPECT_FALSE(office.s.distributionPending);
}

TEST(Commands, TransferTimeShowsTwoDecimalsAndNeverGoesNegative)
{
    EXPECT_EQ(transferTimeText(75.456), QStringLiteral("Vrijeme prijenosa: 75.46 s"));
    EXPECT_EQ(transferTimeText(0.5), QStringLiteral("Vrijeme prijenosa: .50 s"));
    EXPECT_EQ(transferTimeText(1234.5), QStringLiteral("Vrijeme prijenosa: 1234.50 s"));

    TestInstallation inst;
    inst.state.transferStart = 23 * 3600 + 59 * 60 + 59;
    inst.platform.fakeClock.setTime({2026, 12, 7, 0, 0, 1, 250});
    tmrPrijenos_Timer(inst.ctx);
    EXPECT_EQ(inst.window.transferTime(), QStringLiteral("Vrijeme prijenosa: 2.25 s"));
}
