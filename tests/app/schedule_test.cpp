#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/core.h"
#include "app_fixture.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/ui.h"

namespace qel {
namespace {

using W = SecondWork;

TEST(SecondSchedule, WorkOfEachSimulatorSecondInOrder)
{
    struct Case {
        int32_t n;
        bool refreshDue;
        bool refreshPhase;
        std::vector<W> work;
    };
    const Case cases[] = {
        {1, false, false, {}},
        {16, false, false, {W::CheckUserPosition}},
        {16, true, true, {}},  // the park check waits while phase B is pending
        {80, false, false, {W::FiveSecond}},  // a multiple of 16 and of 5
        {61, false, false, {W::RemoveDuplicateRegs}},
        {305, false, false, {W::FiveSecond}},  // a multiple of 61 and of 5
        {976, false, false, {W::CheckUserPosition, W::RemoveDuplicateRegs}},
        {10, true, false, {W::FiveSecond}},
        {15, false, false, {W::FiveSecond}},
        {15, true, false, {W::FiveSecond, W::RefreshPhaseA}},
        {45, true, true, {W::FiveSecond, W::RefreshPhaseB}},
        {30, false, false, {W::FiveSecond, W::ThirtySecond}},
        {60, false, false, {W::FiveSecond, W::ThirtySecond, W::SixtySecond}},
        {60, true, false, {W::FiveSecond, W::RefreshPhaseA, W::ThirtySecond, W::SixtySecond}},
        {60, true, true, {W::FiveSecond, W::RefreshPhaseB, W::ThirtySecond, W::SixtySecond}},
        {1200, false, false, {W::FiveSecond, W::ThirtySecond, W::SixtySecond, W::LogNoMatch}},
        {86400, false, false,
         {W::FiveSecond, W::ThirtySecond, W::SixtySecond, W::LogNoMatch, W::DailyReset}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lf_secondSchedule(c.n, c.refreshDue, c.refreshPhase), c.work)
            << "n = " << c.n << " due " << c.refreshDue << " phase " << c.refreshPhase;
    }
}

class MainLoopTick : public test::AppTest {
protected:
    // One tick that carries a simulator second.
    bool secondTick()
    {
        g_flightRunning = true;
        g_secondPassed = true;
        return lf_tick();
    }
};

TEST_F(MainLoopTick, StopTakesEffectWhileNoSimulatorSecondArrives)
{
    g_flightRunning = true;
    EXPECT_TRUE(lf_tick());
    g_closeRequested = true;
    EXPECT_FALSE(lf_tick());
    g_closeRequested = false;
    gf_requestStop(ExitReason::SIM_WAS_CLOSED, 0);
    EXPECT_FALSE(lf_tick());
    EXPECT_EQ(g_secondTicks, 0);
}

TEST_F(MainLoopTick, SecondsAreCountedOnlyWhenTheSimulatorSendsThem)
{
    g_flightRunning = true;
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(lf_tick());
    EXPECT_EQ(g_secondTicks, 0);
    ASSERT_TRUE(secondTick());
    ASSERT_TRUE(lf_tick());
    EXPECT_EQ(g_secondTicks, 1);
    EXPECT_FALSE(g_secondPassed);
}

TEST_F(MainLoopTick, CounterWrapsAfterOneSimulatorDay)
{
    g_secondTicks = 86399;
    ASSERT_TRUE(secondTick());
    EXPECT_EQ(g_secondTicks, 0);
    ASSERT_TRUE(secondTick());
    EXPECT_EQ(g_secondTicks, 1);
}

TEST_F(MainLoopTick, FlightNotRunningStopsIntakeOnceAndResumes)
{
    {
        std::scoped_lock lock(g_trafficMutex);
        g_mainLoopRunning = true;
    }
    g_flightRunning = false;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(lf_tick());
    int notRunning = 0;
    for (const auto& line : log_.lines()) {
        if (line.ends_with(" Flight not running")) ++notRunning;
    }
    EXPECT_EQ(notRunning, 1);
    {
        std::scoped_lock lock(g_trafficMutex);
        EXPECT_FALSE(g_mainLoopRunning);
    }
    ASSERT_TRUE(secondTick());
    bool resumed = false;
    for (const auto& line : log_.lines()) resumed |= line.ends_with(" Flight resumed");
    EXPECT_TRUE(resumed);
    {
        std::scoped_lock lock(g_trafficMutex);
        EXPECT_TRUE(g_mainLoopRunning);
    }
    // A failed request stops the flight work as a stopped flight does.
    g_simConnectFailed = true;
    EXPECT_TRUE(lf_tick());
    std::scoped_lock lock(g_trafficMutex);
    EXPECT_FALSE(g_mainLoopRunning);
}

TEST_F(MainLoopTick, ParkedTrafficRefreshRunsPhaseBFifteenSecondsAfterPhaseA)
{
    g_parkRefreshDue = true;
    g_secondTicks = 13;
    ASSERT_TRUE(secondTick());  // 14
    EXPECT_FALSE(g_parkRefreshPhase);
    ASSERT_TRUE(secondTick());  // 15: phase A
    EXPECT_TRUE(g_parkRefreshPhase);
    EXPECT_TRUE(g_parkingBusy);
    EXPECT_TRUE(g_parkRefreshDue);
    for (int n = 16; n < 30; ++n) ASSERT_TRUE(secondTick());
    EXPECT_TRUE(g_parkRefreshPhase);
    ASSERT_TRUE(secondTick());  // 30: phase B
    EXPECT_FALSE(g_parkRefreshPhase);
    EXPECT_FALSE(g_parkRefreshDue);
}

TEST_F(MainLoopTick, ATimeShiftWithoutStandsGivesTheControlsBackAfterTheRefresh)
{
    // The shift announces a re-plan of the parked traffic and takes the parking and time-shift
    // controls away until it is done; without park stands there is nothing to re-plan, but the
    // controls must come back, or the user could never shift back.
    g_secondTicks = 3;
    lf_timeShift(60, false);
    EXPECT_TRUE(g_parkingBusy);
    EXPECT_TRUE(g_parkRefreshDue);
    ASSERT_FALSE(gf_hasParkStands());
    for (int n = 4; n < 30; ++n) ASSERT_TRUE(secondTick());
    EXPECT_TRUE(g_parkingBusy);
    ASSERT_TRUE(secondTick());  // 30: phase B
    EXPECT_FALSE(g_parkRefreshDue);
    EXPECT_FALSE(g_parkingBusy);
}

TEST_F(MainLoopTick, StaticParkingCountdownStepsOncePerMinute)
{
    g_staticParkingCountdown = 2;
    g_secondTicks = 59;
    ASSERT_TRUE(secondTick());  // 60
    EXPECT_EQ(g_staticParkingCountdown, 1);
    for (int n = 61; n <= 119; ++n) ASSERT_TRUE(secondTick());
    EXPECT_EQ(g_staticParkingCountdown, 1);
    ASSERT_TRUE(secondTick());  // 120: runs out and starts again from 20
    EXPECT_EQ(g_staticParkingCountdown, 20);
}

TEST_F(MainLoopTick, WorkHandedToTheMainLoopRunsOnItsNextTickInOrder)
{
    std::vector<int> ran;
    gf_postToMainLoop([&] { ran.push_back(1); });
    gf_postToMainLoop([] { throw std::runtime_error("no such aircraft"); });
    gf_postToMainLoop([&] { ran.push_back(3); });
    EXPECT_TRUE(ran.empty());
    g_flightRunning = false;
    ASSERT_TRUE(lf_tick());
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
    EXPECT_TRUE(log_.contains("lf_runPostedWork exception: no such aircraft"));
    ASSERT_TRUE(lf_tick());
    EXPECT_EQ(ran.size(), 2u);
}

TEST_F(MainLoopTick, ReReadWaitsWhileParkingIsBusy)
{
    g_reReadRequested = true;
    g_parkingBusy = true;
    g_secondTicks = 4;
    ASSERT_TRUE(secondTick());  // 5
    EXPECT_TRUE(g_reReadRequested);
    g_parkingBusy = false;
    g_secondTicks = 9;
    ASSERT_TRUE(secondTick());  // 10
    EXPECT_FALSE(g_reReadRequested);
}

TEST(DayAndSlot, WeekdayLowHalfSlotHighHalf)
{
    struct Case {
        int32_t weekday;
        int32_t slot;
    };
    for (const Case c : {Case{1, 0}, Case{7, 47}, Case{-1, -1}, Case{3, 21}}) {
        const int64_t packed = gf_packDayAndSlot(c.weekday, c.slot);
        EXPECT_EQ(gf_weekdayOfDayAndSlot(packed), c.weekday);
        EXPECT_EQ(gf_slotOfDayAndSlot(packed), c.slot);
        EXPECT_EQ(static_cast<uint64_t>(packed) & 0xFFFFFFFFu, static_cast<uint32_t>(c.weekday));
    }
}

}  // namespace
}  // namespace qel
