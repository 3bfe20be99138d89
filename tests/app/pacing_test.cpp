#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "app/core.h"
#include "platform/clock.h"
#include "simlink/simlink.h"

namespace qel {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// Runs the paced loop on a manual clock: `tickWork` is called with the tick's number and may
// advance the clock (a tick that takes long) or raise a simulator second; the loop stops after
// `ticks` ticks. Returns each tick's start in milliseconds after the first.
std::vector<int64_t> lf_tickTimes(int ticks,
                                  const std::function<void(int, platform::ManualClock&)>& work)
{
    auto owned = std::make_unique<platform::ManualClock>();
    auto& manual = *owned;
    const platform::ScopedClock scoped(std::move(owned));
    g_secondPassed = false;
    const auto start = platform::steadyNow();
    std::vector<int64_t> times;
    lf_runPaced([&] {
        times.push_back(std::chrono::duration_cast<milliseconds>(platform::steadyNow() - start)
                            .count());
        // The tick takes the simulator second, as lf_tick does.
        g_secondPassed = false;
        work(static_cast<int>(times.size()) - 1, manual);
        return static_cast<int>(times.size()) < ticks;
    });
    g_secondPassed = false;
    return times;
}

TEST(MainLoopPacing, TicksEveryTenMillisecondsOnTime)
{
    EXPECT_EQ(lf_tickTimes(4, [](int, platform::ManualClock&) {}),
              (std::vector<int64_t>{0, 10, 20, 30}));
}

TEST(MainLoopPacing, MoreThan100MillisecondsLateRunsAtOnceAndMovesTheGrid)
{
    const auto times = lf_tickTimes(3, [](int tick, platform::ManualClock& clock) {
        if (tick == 0) clock.advance(150ms);
    });
    EXPECT_EQ(times, (std::vector<int64_t>{0, 150, 160}));
}

TEST(MainLoopPacing, UpTo100MillisecondsLateCatchesUpBackToBack)
{
    const auto times = lf_tickTimes(7, [](int tick, platform::ManualClock& clock) {
        if (tick == 0) clock.advance(50ms);
    });
    EXPECT_EQ(times, (std::vector<int64_t>{0, 50, 50, 50, 50, 50, 60}));
}

TEST(MainLoopPacing, SimulatorSecondRestartsTheGridAtItsArrival)
{
    // Late by 50 ms as above, but the simulator second arrives meanwhile: no catching up, the
    // next tick is 10 ms after the second's tick.
    const auto times = lf_tickTimes(3, [](int tick, platform::ManualClock& clock) {
        if (tick != 0) return;
        clock.advance(50ms);
        g_secondPassed = true;
    });
    EXPECT_EQ(times, (std::vector<int64_t>{0, 50, 60}));
}

TEST(MainLoopPacing, PaceTargetRule)
{
    const platform::SteadyTime deadline{std::chrono::hours(1)};
    struct Case {
        milliseconds late;
        milliseconds target;  // after the deadline
    };
    const Case cases[] = {{-5ms, 0ms}, {0ms, 0ms}, {50ms, 0ms}, {100ms, 0ms}, {101ms, 101ms},
                          {150ms, 150ms}};
    for (const auto& c : cases) {
        EXPECT_EQ(lf_paceTarget(deadline, deadline + c.late), deadline + c.target)
            << c.late.count();
    }
}

}  // namespace
}  // namespace qel
