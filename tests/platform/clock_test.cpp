#include "platform/clock.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace qel::platform {
namespace {

using namespace std::chrono_literals;

TEST(ManualClock, StandsStillUntilAdvanced)
{
    ManualClock manual(1'767'225'600);
    const auto start = manual.steadyNow();
    EXPECT_EQ(manual.steadyNow(), start);
    EXPECT_GT(start, SteadyTime{} + 24h);  // "now minus a day" is still a real time point
    EXPECT_EQ(manual.epochSeconds(), 1'767'225'600);

    manual.advance(1500ms);
    EXPECT_EQ(manual.steadyNow() - start, 1500ms);
    EXPECT_EQ(manual.epochSeconds(), 1'767'225'601);
    manual.advance(500ms);  // the half seconds add up to a whole one
    EXPECT_EQ(manual.epochSeconds(), 1'767'225'602);

    manual.advance(-5s);  // ignored: time never runs backwards
    EXPECT_EQ(manual.steadyNow() - start, 2s);

    manual.setEpochSeconds(42);
    EXPECT_EQ(manual.epochSeconds(), 42);
    EXPECT_EQ(manual.steadyNow() - start, 2s);
}

TEST(ManualClock, SleepAdvancesAtOnceFromManyThreads)
{
    ManualClock manual;
    const auto start = manual.steadyNow();
    const auto epoch = manual.epochSeconds();
    auto sleeper = [&manual] {
        for (int i = 0; i < 500; ++i) manual.sleepFor(1ms);
    };
    std::thread a(sleeper);
    std::thread b(sleeper);
    manual.sleepFor(1h);
    a.join();
    b.join();
    EXPECT_EQ(manual.steadyNow() - start, 1h + 1s);
    EXPECT_EQ(manual.epochSeconds(), epoch + 3601);
}

TEST(ScopedClock, InstallsAndRestores)
{
    Clock* before = &clock();
    {
        auto manual = std::make_unique<ManualClock>(1000);
        ManualClock* raw = manual.get();
        ScopedClock scoped(std::move(manual));
        EXPECT_EQ(&clock(), raw);
        EXPECT_EQ(epochSeconds(), 1000);
        sleepFor(10s);  // through the free functions, costing no real time
        EXPECT_EQ(epochSeconds(), 1010);
        {
            ScopedClock inner(std::make_unique<ManualClock>(5));
            EXPECT_EQ(epochSeconds(), 5);
        }
        EXPECT_EQ(&clock(), raw);
    }
    EXPECT_EQ(&clock(), before);
    EXPECT_THROW(ScopedClock(nullptr), std::invalid_argument);
    EXPECT_EQ(&clock(), before);
}

TEST(ScaledClock, RunsFasterThanRealTime)
{
    auto scaled = makeScaledClock(1000.0);
    const auto realStart = std::chrono::steady_clock::now();
    const auto scaledStart = scaled->steadyNow();
    const auto epochStart = scaled->epochSeconds();

    scaled->sleepFor(3s);  // about 3 ms of real time

    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 1s);
    EXPECT_GE(scaled->steadyNow() - scaledStart, 3s);
    EXPECT_GE(scaled->epochSeconds(), epochStart + 3);
    // The wall clock starts at the real time of day.
    const auto wallNow = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    EXPECT_NEAR(static_cast<double>(epochStart), static_cast<double>(wallNow.count()), 2.0);
}

TEST(ScaledClock, RejectsAFactorThatIsNotPositive)
{
    EXPECT_THROW(makeScaledClock(0.0), std::invalid_argument);
    EXPECT_THROW(makeScaledClock(-2.0), std::invalid_argument);
}

}  // namespace
}  // namespace qel::platform
