#include "core/WindowServices.h"

#include "TestInstallation.h"

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

// The wait counts elapsed time, not the time of day, which starts again at midnight.
TEST(Wait, HandlesEventsAndSleepsBetweenRoundsAcrossMidnight)
{
    TestInstallation inst;
    inst.platform.fakeClock.setTime({2026, 12, 31, 23, 59, 58, 0});
    Čekaj(inst.ctx, 5);
    EXPECT_EQ(inst.platform.fakeClock.slept(), 5000ms);
    // Sleeps between rounds: no round without a pause.
    EXPECT_GT(inst.window.eventRounds, 1);
    EXPECT_LE(inst.window.eventRounds, 5000 / 20 + 1);
}
