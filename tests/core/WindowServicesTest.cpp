#include "TestInstallation.h"
#include "core/WindowServices.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

// The wait counts elapsed time, not the time of day, which starts again at midnight.
TEST(Wait, HandlesEventsAndSleepsBetweenRoundsAcrossMidnight)
{
    TestInstallation inst;
    Čekaj(inst.ctx, 0);
    EXPECT_EQ(std::tuple(inst.platform.fakeClock.slept(), inst.window.eventRounds), std::tuple(0ms, 0));

    inst.platform.fakeClock.setTime({2026, 12, 31, 23, 59, 58, 0});
    Čekaj(inst.ctx, 5);
    EXPECT_EQ(inst.platform.fakeClock.slept(), 5000ms);
    // Sleeps between rounds: no round without a pause.
    EXPECT_GT(inst.window.eventRounds, 1);
    EXPECT_LE(inst.window.eventRounds, 5000 / 20 + 1);
    const platform::LocalTime after = inst.platform.fakeClock.now();
    EXPECT_EQ(std::tuple(after.year, after.hour, after.second), std::tuple(2027, 0, 3));
}
