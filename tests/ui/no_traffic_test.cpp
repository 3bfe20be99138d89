#include <gtest/gtest.h>

#include "foundation/log.h"
#include "platform/clock.h"
#include "support/test_support.h"
#include "ui/ui.h"

namespace qel {
namespace {

// No reader runs here, so the traffic reader's data time stays 0 throughout.
TEST(NoTrafficNotice, WaitsFifteenSecondsUnlessAStopComes)
{
    test::CapturedLog log;
    auto manual = std::make_unique<platform::ManualClock>();
    auto* clock = manual.get();
    platform::ScopedClock scoped(std::move(manual));

    g_stopRequested = true;
    const auto before = clock->steadyNow();
    lf_showNoTraffic();
    EXPECT_LT(clock->steadyNow() - before, std::chrono::seconds(1));
    EXPECT_FALSE(log.contains("No traffic in this region?"));
    g_stopRequested = false;

    const auto start = clock->steadyNow();
    lf_showNoTraffic();
    EXPECT_EQ(clock->steadyNow() - start, std::chrono::seconds(15));
    EXPECT_TRUE(log.contains("No traffic in this region?"));
}

}  // namespace
}  // namespace qel
