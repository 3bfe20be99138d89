// The intake through the RealTraffic client's hand-over: due ticks from the
// batch median, polls into an empty adding stack only, the merge filters, and
// the queue pump's cadence.
#include <cmath>

#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

using Intake = TrafficTest;

TEST_F(Intake, DueTicksFollowTheBatchMedianAndPollsWaitForAnEmptyStack)
{
    g_fastTicks = 1000;
    Report a;
    Report b = a;
    Report c = a;
    b.hex = 0x48548f;
    b.callsign = "KLM57B";
    b.time_s += 4.25;
    c.hex = 0x485490;
    c.callsign = "KLM58C";
    c.time_s += 10.0;
    push({a, b, c}, 30);
    {
        std::scoped_lock lock(g_trafficMutex);
        ASSERT_EQ(g_addingStack.size(), 3u);
        // llround(-42.5) = -43 and llround(57.5) = 58: halves away from zero.
        EXPECT_EQ(g_addingStack[0].dueTick, 1000 + 2570);
        EXPECT_EQ(g_addingStack[1].dueTick, 1000 + 3000);
        EXPECT_EQ(g_addingStack[2].dueTick, 1000 + 3580);
    }
    // A poll while the stack still holds the last one is dropped whole.
    push({a}, 30);
    {
        std::scoped_lock lock(g_trafficMutex);
        EXPECT_EQ(g_addingStack.size(), 3u);
    }
    // Two records a tick, newest index first.
    lf_handleAddingStack();
    dumpTick();
    EXPECT_TRUE(live(0x485490) && live(0x48548f) && !live(0x48548e));
    lf_handleAddingStack();
    dumpTick();
    EXPECT_TRUE(live(0x48548e));
    // An empty batch says there is no traffic.
    g_historicTime = 5.0;
    push({}, 30);
    EXPECT_EQ(g_historicTime.load(), 0.0);
}

TEST_F(Intake, MergeFiltersDropReportsThatAddNothing)
{
    struct Case {
        const char* what;
        double dt_s;   // newer than the last merged report
        double gs_kt;  // both reports
        double lastGs_kt;
        double dtrack_deg;
        bool airborne;
        bool merged;
    };
    const std::vector<Case> cases = {
        {"1.0 s newer", 1.0, 200, 200, 10, true, false},
        {"1.01 s newer", 1.01, 200, 200, 10, true, true},
        {"ten times faster", 5.0, 100, 9, 10, true, false},
        {"from a stop to 80 kt", 5.0, 80, 5, 10, true, false},
        // 450 m at 360 kt take 2.43 s.
        {"straight at 360 kt, 2.4 s", 2.4, 360, 360, 0.5, true, false},
        {"straight at 360 kt, 2.5 s", 2.5, 360, 360, 0.5, true, true},
        {"standing, 15 s", 15.0, 0, 0, 1, false, false},
        {"standing, 16 s", 16.0, 0, 0, 1, false, true},
    };
    for (const auto& c : cases) {
        gf_resetTrafficRun();
        Report first;
        first.gs_kt = c.lastGs_kt;
        first.alt_ft = c.airborne ? 3000.0 : 0.0;
        StampedRecord r{record(first)};
        lf_mergeReport(r);
        Report next = first;
        next.time_s += c.dt_s;
        next.gs_kt = c.gs_kt;
        next.track_deg += c.dtrack_deg;
        next.lat += 0.001;
        StampedRecord n{record(next)};
        lf_mergeReport(n);
        ASSERT_TRUE(live(first.hex)) << c.what;
        EXPECT_EQ(live(first.hex)->samples.size(), c.merged ? 2u : 1u) << c.what;
    }
    // The same flight under another hex id is dropped.
    gf_resetTrafficRun();
    Report one;
    Report twin = one;
    twin.hex = 0x777777;
    for (const auto& r : {one, twin}) {
        StampedRecord rec{record(r)};
        lf_mergeReport(rec);
    }
    EXPECT_EQ(g_liveAcs.size(), 1u);
}

TEST_F(Intake, PumpServesLiveBeforeStaticAtTwoCreationsASecond)
{
    start();
    for (uint32_t i = 0; i < 3; ++i)
        g_liveCreateQueue.push_back({{}, "L" + std::to_string(i), kA320, 20000 + i});
    for (uint32_t i = 0; i < 5; ++i)
        g_staticCreateQueue.push_back({{}, "S" + std::to_string(i), kA320, 1 + i});
    std::vector<std::string> created;
    for (int step = 0; step < 4; ++step) {
        g_fastTicks = step * 50;
        lf_pumpQueues();
        pump(0.05);
    }
    for (const auto& call : callsOf("SimConnect_AICreateNonATCAircraft")) {
        created.push_back(call.arguments.substr(call.arguments.find("', '") + 4, 2));
    }
    EXPECT_EQ(created, (std::vector<std::string>{"L0", "L1", "L2", "S0"}));
    EXPECT_EQ(g_staticCreateQueue.size(), 4u);
}

}  // namespace
}  // namespace qel::test
