// What the simulator answers to the program's creations and removals, through the real entry
// points: a creation it never answers, a second object for one static aircraft, and the removal
// of an aircraft whose livery respawn already removes it.
#include <tuple>

#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

using SimAnswers = TrafficTest;

std::size_t lf_objectsCalled(const std::string& callsign)
{
    std::size_t n = 0;
    for (const auto& object : simstandin::objects()) n += object.atcId == callsign ? 1 : 0;
    return n;
}

TEST_F(SimAnswers, ACreationNeverAnsweredIsGivenUpAfter30SecondsAndItsLateObjectRemoved)
{
    start();
    gf_reserveTrafficContainers();
    // Both just beyond the 40 nm in which the link pairs new objects (the user stands at
    // 51.2793 N): created, but never paired. The second is removed by a time shift meanwhile.
    for (const auto& [hex, callsign] : {std::pair{0x48548eU, "KLM56A"}, {0x48548fU, "KLM57B"}}) {
        livery(hex);
        firstLoad(hex, callsign, 51.2793 + 41.0 / 60.0);
    }
    ASSERT_TRUE(tickUntil(
        [this] { return callsOf("SimConnect_AICreateNonATCAircraft").size() == 2; }, 300));
    const int32_t handedOver = g_fastTicks;
    gf_removeLiveAircraft();
    EXPECT_TRUE(live(0x48548f)->removeWhenCreated);
    ASSERT_TRUE(tickUntil([] { return !live(0x48548e) && !live(0x48548f); }, 4000));
    EXPECT_NEAR(g_fastTicks - handedOver, 3000, 110);
    EXPECT_EQ(
        count("==> KLM56A   PH-EXL       AMS->DUS KLM     A320    was not created within 30 s"), 1);
    EXPECT_EQ(g_addingLiveCount, 0);
    // The objects are there all the same; once the user's range takes them in, they are paired
    // and removed, for they belong to no aircraft.
    ASSERT_EQ(lf_objectsCalled("KLM56A") + lf_objectsCalled("KLM57B"), 2u);
    const int32_t range_m = g_range_m;
    g_range_m = 150000;
    tick(300);
    g_range_m = range_m;
    EXPECT_EQ(lf_objectsCalled("KLM56A") + lf_objectsCalled("KLM57B"), 0u);
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject"), 2);
    EXPECT_TRUE(g_liveAcs.empty());
}

// The static records are walked for dropped ones only after a drop flag was raised; a static
// given up by the tick itself, with no live aircraft dropped to raise one, still goes.
TEST_F(SimAnswers, AStaticCreationNeverAnsweredIsGivenUpAndTheOtherStaticsStay)
{
    start();
    gf_reserveTrafficContainers();
    const auto parked = [](uint32_t hex, const char* callsign, double lat) -> StaticAc& {
        FlightData data;
        data.hexId = hex;
        data.callsign = callsign;
        data.title = kA320;
        return g_staticAcs.emplace_back(data, 0, lat, 6.7630, 5.6, false);
    };
    // The first stands where the user's range pairs it; the second beyond it, never paired.
    for (auto [hex, callsign, lat] :
         {std::tuple{17U, "DLH4AB*", 51.2790}, std::tuple{18U, "DLH5CD*", 51.2793 + 41.0 / 60.0}}) {
        StaticAc& statik = parked(hex, callsign, lat);
        statik.state = SimObjectState::adding2sim;
        AiPositionBlock at;
        at.latitude = statik.standLat;
        at.longitude = statik.standLon;
        g_staticCreateQueue.push_back(lf_aiCreateRequest(statik, at, true));
    }
    ASSERT_TRUE(tickUntil([] { return g_staticAcs.size() == 1; }, 4000));
    EXPECT_EQ(g_staticAcs.front().hexId, 17u);
    EXPECT_EQ(g_staticAcs.front().state, SimObjectState::active);
    EXPECT_EQ(countLike("==> DLH5CD* ", " was not created within 30 s"), 1);
    // Dropped while its creation waits in the queue: gone at the next tick.
    StaticAc& queued = parked(19, "DLH6EF*", 51.2795);
    queued.state = SimObjectState::adding2sim;
    g_staticCreateQueue.push_back(lf_aiCreateRequest(queued, {}, true));
    removeAircraftFromSim(queued);
    tick();
    ASSERT_EQ(g_staticAcs.size(), 1u);
    EXPECT_EQ(g_staticAcs.front().hexId, 17u);
}

TEST_F(SimAnswers, ASecondObjectForOneStaticAircraftIsRemoved)
{
    start();
    // A static aircraft whose request reached the simulator twice: two objects, one record.
    FlightData data;
    data.hexId = 17;
    data.callsign = "DLH4AB*";
    data.title = kA320;
    StaticAc& statik = g_staticAcs.emplace_back(data, 0, 51.2790, 6.7630, 5.6, false);
    statik.state = SimObjectState::adding2sim;
    AiPositionBlock at;
    at.latitude = statik.standLat;
    at.longitude = statik.standLon;
    for (int i = 0; i < 2; ++i) g_staticCreateQueue.push_back(lf_aiCreateRequest(statik, at, true));
    tick(400);
    const StaticAc& parked = g_staticAcs.front();
    EXPECT_EQ(parked.state, SimObjectState::active);
    ASSERT_EQ(lf_objectsCalled("DLH4AB*"), 1u);
    for (const auto& object : simstandin::objects()) {
        if (object.atcId == "DLH4AB*") {
            EXPECT_EQ(object.id, parked.objectId);
        }
    }
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject"), 1);
}

TEST_F(SimAnswers, AnAircraftWhoseLiveryRespawnRemovesItIsRemovedOnce)
{
    start();
    gf_reserveTrafficContainers();
    livery(0x48548e);
    firstLoad(0x48548e, "KLM56A", 51.30);
    Report later;
    later.lat = 51.33;
    later.time_s += 12.0;
    tick(50);
    push({later}, 30);
    ASSERT_TRUE(tickUntil([] { return stateOf(0x48548e) == SimObjectState::active; }, 400));
    const uint32_t id = live(0x48548e)->objectId;
    // A new callsign: the aircraft is removed to be created again with a fitting livery. Before
    // that removal reaches the simulator, a time shift removes every live aircraft.
    later.callsign = "KLM99Z";
    later.lat = 51.36;
    later.time_s += 6.0;
    push({later}, 30);
    ASSERT_TRUE(tickUntil([] { return stateOf(0x48548e) == SimObjectState::liveryrespawn; }, 5));
    gf_removeLiveAircraft();
    tick(300);
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject"), 1);
    EXPECT_FALSE(simstandin::object(id));
    // Gone for good, not created again.
    EXPECT_FALSE(live(0x48548e));
    EXPECT_EQ(callCount("SimConnect_AICreateNonATCAircraft"), 1);
}

TEST_F(SimAnswers, AFlightRespawnedForANewCallsignIsCreatedAgain)
{
    start();
    gf_reserveTrafficContainers();
    livery(0x48548e);
    firstLoad(0x48548e, "KLM56A", 51.30);
    Report later;
    later.lat = 51.33;
    later.time_s += 12.0;
    tick(50);
    push({later}, 30);
    ASSERT_TRUE(tickUntil([] { return stateOf(0x48548e) == SimObjectState::active; }, 400));
    livery(0x48548e);
    later.callsign = "KLM99Z";
    later.lat = 51.36;
    later.time_s += 6.0;
    push({later}, 30);
    // Removed, back in the buffer once the simulator confirms, then spawned anew.
    ASSERT_TRUE(tickUntil([] { return stateOf(0x48548e) == SimObjectState::liveryrespawn; }, 5));
    ASSERT_TRUE(tickUntil([] { return stateOf(0x48548e) == SimObjectState::active; }, 1000));
    EXPECT_EQ(callCount("SimConnect_AICreateNonATCAircraft"), 2);
}

}  // namespace
}  // namespace qel::test
