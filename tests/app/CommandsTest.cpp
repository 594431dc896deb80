#include "TestHttpServer.h"
#include "TestInstallation.h"
#include "app/Commands.h"

#include <QDir>
#include <QTimer>

#include <gtest/gtest.h>

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
        s.sources.folders[DistributionFolderBox] = QDir::toNativeSeparators(inst.root() + QStringLiteral("/Dist/"));
        inst.write(QStringLiteral("Verzije.txt"), kManifest);
        inst.write(QStringLiteral("Racuni.exe"), "installed");
        inst.write(QStringLiteral("TeamViewerQS.exe"), "support");
        server.serve(kBase + QStringLiteral("Verzije.txt"), kManifest);
    }

    /// Distributions started so far: only a distribution fetches VerzijeU.txt.
    qsizetype distributions() const { return server.requests.count(kBase + QStringLiteral("VerzijeU.txt")); }

    void at(int hour, int minute, int second = 30) { inst.platform.fakeClock.setTime({2026, 12, 7, hour, minute, second, 0}); }

    TestInstallation inst;
    AppState& s = inst.state;
    TestHttpServer server;
};

} // namespace

TEST(Commands, AutomaticDistributionFallsOnFullHoursThatAreMultiplesOfTheStep)
{
    const std::map<int, std::vector<int>> hoursOf {
        {0, {}},
        {1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23}},
        {5, {0, 5, 10, 15, 20}},
        {6, {0, 6, 12, 18}},
        {23, {0, 23}},
    };
    for (const auto& [n, hours] : hoursOf) {
        for (int hour = 0; hour < 24; ++hour) {
            const bool expected = std::find(hours.begin(), hours.end(), hour) != hours.end();
            EXPECT_EQ(isDistributionDue(n, hour, 0), expected) << "n=" << n << " hour=" << hour;
            EXPECT_FALSE(isDistributionDue(n, hour, 1));
        }
    }

    // Through the clock: only the tick in minute 0 starts a copy.
    Office office;
    office.s.sources.hourStep = 1;
    office.at(13, 59);
    tmrUpdate_Timer(office.inst.ctx);
    office.at(14, 1);
    tmrUpdate_Timer(office.inst.ctx);
    EXPECT_EQ(office.distributions(), 0);
    office.at(14, 0);
    tmrUpdate_Timer(office.inst.ctx);
    EXPECT_EQ(office.distributions(), 1);
    EXPECT_FALSE(office.s.operationRunning);
}

TEST(Commands, DistributionFallingDueDuringAnUpdateRunsOnceAfterIt)
{
    Office office;
    office.s.sources.hourStep = 6;
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

    tick.stop();
    runPendingDistribution(office.inst.ctx);
    runPendingDistribution(office.inst.ctx);
    EXPECT_EQ(office.distributions(), 1);
    EXPECT_FALSE(office.s.distributionPending);
}

TEST(Commands, UpdateStopsWhenTheManifestCannotBeFetched)
{
    Office office;
    office.server.answerStatus(kBase + QStringLiteral("Verzije.txt"), 404);
    office.s.trialRun = true;

    cmdDownloadAndUpdate_Click(office.inst.ctx);

    EXPECT_FALSE(office.s.trialRun);
    EXPECT_TRUE(office.s.manifestFailed);
    EXPECT_FALSE(office.inst.journal().join('\n').contains(QStringLiteral("KRAJ UPDATE")));
    EXPECT_FALSE(office.s.operationRunning);

    // The trial button sets the trial channel for the checks that follow.
    cmdProbnaAžuriranja_Click(office.inst.ctx);
    EXPECT_TRUE(office.s.trialRun);
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
