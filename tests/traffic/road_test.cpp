// The road of one live flight through the real entry points: polls into the intake, spawned
// 30 s behind its reports, created in the stand-in simulator, activated 2 s later, flown, dead
// reckoned when the reports stop, and removed.
#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

using LiveFlightRoad = TrafficTest;

std::vector<std::string> eventsTo(const std::vector<simstandin::CallRecord>& calls, uint32_t id)
{
    std::vector<std::string> out;
    const std::string prefix = std::to_string(id) + ", ";
    for (const auto& call : calls) {
        if (call.function == "SimConnect_TransmitClientEvent" &&
            call.arguments.starts_with(prefix)) {
            out.push_back(call.arguments.substr(prefix.size()));
        }
    }
    return out;
}

TEST_F(LiveFlightRoad, CreatedActivatedFlownThirtySecondsBehindThenReckonedAndRemoved)
{
    start();
    livery(0x48548e);
    Report r0;
    Report r1 = r0;
    r1.lat = 51.295;
    r1.lon = 6.79;
    r1.alt_ft = 2800.0;
    r1.time_s += 10.0;
    push({r0}, 30);
    tick(1000);
    push({r1}, 30);
    // A moving aircraft is spawned 1 s before its first report is due, 30 s after the poll:
    // on tick 2900, after which the counter stands at 2901.
    ASSERT_TRUE(tickUntil([] { return stateOf(0x48548e) == SimObjectState::adding2sim; }));
    EXPECT_EQ(g_fastTicks.load(), 2901);
    ASSERT_TRUE(tickUntil([] { return live(0x48548e)->objectId != 0; }, 200));
    const auto creates = callsOf("SimConnect_AICreateNonATCAircraft");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_TRUE(creates[0].arguments.starts_with("'Airbus A320 Lufthansa', 'KLM56A'"))
        << creates[0].arguments;
    const uint32_t id = live(0x48548e)->objectId;
    const int32_t created = g_fastTicks;
    ASSERT_TRUE(tickUntil([] { return stateOf(0x48548e) == SimObjectState::active; }, 400));
    EXPECT_NEAR(g_fastTicks - created, 200, 2);
    tick(5);
    // Engines and the airborne lights: nav, beacon, landing, taxi, strobes, logo, cabin.
    const auto events = eventsTo(simstandin::calls(), id);
    const std::vector<std::string> activation = {
        "220, 0, group 301, flags 0", "218, 0, group 301, flags 0",
        "207, 1, group 301, flags 0", "206, 1, group 301, flags 0",
        "210, 1, group 301, flags 0", "208, 0, group 301, flags 0",
        "209, 1, group 301, flags 0", "212, 1, group 301, flags 0",
        "211, 1, group 301, flags 0"};
    ASSERT_GE(events.size(), activation.size());
    EXPECT_TRUE(std::search(events.begin(), events.end(), activation.begin(), activation.end()) !=
                events.end());
    // At the second report's due tick the aircraft stands where that report put it, 30 s after.
    ASSERT_TRUE(tickUntil([] { return g_fastTicks >= 4000; }));
    tick(3);
    const auto object = simstandin::object(id);
    ASSERT_TRUE(object);
    EXPECT_NEAR(object->latitude, r1.lat, 0.002);
    EXPECT_NEAR(object->longitude, r1.lon, 0.003);
    // One position per frame of the simulator (30 a second), the newest of the ticks between.
    EXPECT_GT(object->positionsSet, 200u);
    // Without reports it flies on for 8 synthetic samples, then leaves the simulator.
    const int32_t lastReport = g_fastTicks;
    ASSERT_TRUE(tickUntil([] { return live(0x48548e) == nullptr; }, 12000));
    EXPECT_NEAR(g_fastTicks - lastReport, 6400, 300);
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject"), 1);
    EXPECT_FALSE(simstandin::object(id));
    for (const auto& line : log_.lines()) EXPECT_EQ(line.find("exception"), std::string::npos);
}

TEST_F(LiveFlightRoad, AFlightBehindItsReportsCatchesUpAtMostHalfAsFastAgain)
{
    // Its reports say 150 kt, but its positions move on at 250 kt: the legs, timed by the
    // reported speed, leave it further behind at every report. It hurries, but a leg of 250 ms
    // is no catch-up: half as fast again is (a feed catching up brings reports due twice as
    // fast).
    start();
    gf_reserveTrafficContainers();
    livery(0x48548e);
    const auto at = [](double t_s) {
        Report r;
        r.lat = 51.30 - 250.0 * t_s / 3600.0 / 60.0;
        r.gs_kt = 150.0;
        r.track_deg = 180.0;
        r.time_s += t_s;
        return r;
    };
    for (int k = 0; k < 5; ++k) push({at(6.0 * k)}, 6 * k);
    double fastest_kt = 0.0;
    for (int32_t t = 0; t < 12000; ++t) {
        if (t % 500 == 0 && t > 0) push({at(30.0 + t / 100.0)}, 30);
        tick();
        const LiveAc* aircraft = live(0x48548e);
        ASSERT_TRUE(aircraft);
        if (aircraft->state != SimObjectState::active) continue;
        if (const auto object = simstandin::object(aircraft->objectId)) {
            fastest_kt = std::max(fastest_kt, object->groundSpeed_kt);
        }
    }
    EXPECT_GT(fastest_kt, 150.0 * 1.2);
    EXPECT_LT(fastest_kt, 150.0 * 1.55);
}

}  // namespace
}  // namespace qel::test
