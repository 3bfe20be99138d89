// What the simulator answers to the program's creations and removals, through the real entry
// points: a creation it never answers or pairs, an object it drops before pairing, creations it
// has no room for (the room counted once, freed by no removal of object id 0, found again by
// trials), a second object for one static aircraft, and the removal of an aircraft whose livery
// respawn already removes it.
#include <functional>
#include <tuple>

#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

std::size_t lf_objectsCalled(const std::string& callsign)
{
    std::size_t n = 0;
    for (const auto& object : simstandin::objects()) n += object.atcId == callsign ? 1 : 0;
    return n;
}

// Where a flight is, seconds after its first report.
using Path = std::function<LatLon(double)>;

// A flight from `north_nm` north of the user straight south at `speed_kt`.
Path lf_southbound(double north_nm, double speed_kt)
{
    return [=](double t_s) {
        const double nm = north_nm - speed_kt * t_s / 3600.0;
        return gf_destinationPoint({kUserLat, kUserLon}, 0.0, nm * kFeetPerNm);
    };
}

class SimAnswers : public TrafficTest {
protected:
    static Report reportOn(uint32_t hex, const std::string& callsign, const Path& path, double t_s)
    {
        const LatLon p = path(t_s);
        const LatLon next = path(t_s + 1.0);
        Report r = reportAt(p, 3000.0, gf_distanceNm(p, next) * 3600.0,
                            gf_bearingRad(p, next) / kRadPerDeg, t_s);
        r.hex = hex;
        r.callsign = callsign;
        return r;
    }

    // KLM56A created and flying; its last report, for the next ones to build on.
    Report flyingKlm56A()
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
        EXPECT_TRUE(tickUntil([] { return stateOf(0x48548e) == SimObjectState::active; }, 400));
        return later;
    }

    static void firstLoadOn(uint32_t hex, const std::string& callsign, const Path& path)
    {
        livery(hex);
        push({reportOn(hex, callsign, path, 0.0)}, 0);
        push({reportOn(hex, callsign, path, 6.0)}, 6);
    }

    // `seconds` of ticks with a poll every 5 s, due 30 s later, that reports the flights.
    void fly(const std::vector<std::tuple<uint32_t, std::string, Path>>& flights, int seconds)
    {
        for (int i = 0; i < seconds * 100; ++i) {
            if (g_fastTicks % 500 == 0 && g_fastTicks > 0) {
                std::vector<Report> poll;
                for (const auto& [hex, callsign, path] : flights) {
                    poll.push_back(reportOn(hex, callsign, path, 30.0 + g_fastTicks / 100.0));
                }
                push(poll, 30);
            }
            tick();
        }
    }
};

TEST_F(SimAnswers, ACreationNeverAnsweredIsGivenUpAfter30SecondsWithItsObject)
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
    // Their objects go with them, and nothing of them waits for a pairing.
    tick(10);
    EXPECT_EQ(lf_objectsCalled("KLM56A") + lf_objectsCalled("KLM57B"), 0u);
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject"), 2);
    EXPECT_TRUE(g_packetIds.empty());
    EXPECT_TRUE(g_addedObjects.empty());
    EXPECT_TRUE(g_liveAcs.empty());
}

TEST_F(SimAnswers, AFlightBeyondThePairingRadiusIsCreatedAgainOnlyWellInsideIt)
{
    start();
    gf_reserveTrafficContainers();
    // From 47 nm at 120 kt: beyond the 40 nm radius for 3.5 min, well inside (37 nm) after 5.
    const Path path = lf_southbound(47.0, 120.0);
    firstLoadOn(0x48548e, "KLM56A", path);
    fly({{0x48548e, "KLM56A", path}}, 270);
    EXPECT_EQ(callCount("SimConnect_AICreateNonATCAircraft"), 1);
    EXPECT_EQ(lf_objectsCalled("KLM56A"), 0u);
    fly({{0x48548e, "KLM56A", path}}, 60);
    EXPECT_EQ(callCount("SimConnect_AICreateNonATCAircraft"), 2);
    EXPECT_EQ(stateOf(0x48548e), SimObjectState::active);
    EXPECT_EQ(lf_objectsCalled("KLM56A"), 1u);
}

TEST_F(SimAnswers, APairingThatNeverComesLeavesNoStrayAndTheFlightWaitsBeforeItsNextTry)
{
    // The simulator creates the first object, but its ObjectAdded is lost.
    start(R"("lost_object_added": 1)");
    gf_reserveTrafficContainers();
    const Path path = lf_southbound(20.0, 120.0);
    firstLoadOn(0x48548e, "KLM56A", path);
    fly({{0x48548e, "KLM56A", path}}, 240);
    const auto creations = callsOf("SimConnect_AICreateNonATCAircraft");
    ASSERT_EQ(creations.size(), 2u);
    // 30 s for the answer, then 2 min before the flight is tried again.
    EXPECT_GE(creations[1].time_s - creations[0].time_s, 150.0);
    ASSERT_EQ(stateOf(0x48548e), SimObjectState::active);
    ASSERT_EQ(lf_objectsCalled("KLM56A"), 1u);
    for (const auto& object : simstandin::objects()) {
        if (object.atcId == "KLM56A") {
            EXPECT_EQ(object.id, live(0x48548e)->objectId);
        }
    }
}

TEST_F(SimAnswers, AnObjectThatLeavesBeforeItIsPairedTakesItsCreationAlong)
{
    // KLM56A's object is never announced, and the simulator drops it by itself before the
    // creation is given up; the simulator then hands its id to KLM57B's object.
    start(R"("lost_object_added": 1, "reuse_object_ids": true)");
    gf_reserveTrafficContainers();
    const Path a = lf_southbound(20.0, 120.0);
    const Path b = lf_southbound(23.0, 120.0);
    firstLoadOn(0x48548e, "KLM56A", a);
    for (int s = 0; s < 60 && lf_objectsCalled("KLM56A") == 0; ++s) {
        fly({{0x48548e, "KLM56A", a}}, 1);
    }
    ASSERT_EQ(lf_objectsCalled("KLM56A"), 1u);
    const DWORD dropped = simstandin::objects().back().id;
    simstandin::dropObject(dropped);
    firstLoadOn(0x48548f, "KLM57B", b);
    // Past KLM56A's give-up, 30 s after its creation.
    fly({{0x48548e, "KLM56A", a}, {0x48548f, "KLM57B", b}}, 45);
    EXPECT_EQ(countLike("==> KLM56A ", " was not created within 30 s"), 1);
    ASSERT_EQ(stateOf(0x48548f), SimObjectState::active);
    EXPECT_EQ(live(0x48548f)->objectId, dropped);
    const auto object = simstandin::object(dropped);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->atcId, "KLM57B");
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject"), 0);
}

TEST_F(SimAnswers, ACreationRefusedForWantOfRoomEndsAtOnceAndTheNextWaitsForAnObjectToLeave)
{
    start(R"("object_limit": 1)");
    gf_reserveTrafficContainers();
    const Path a = lf_southbound(20.0, 120.0);
    const Path b = lf_southbound(23.0, 120.0);
    firstLoadOn(0x48548e, "KLM56A", a);
    firstLoadOn(0x48548f, "KLM57B", b);
    const std::vector<std::tuple<uint32_t, std::string, Path>> both = {{0x48548e, "KLM56A", a},
                                                                       {0x48548f, "KLM57B", b}};
    // The refused flight, reported on, is spawned again meanwhile, and waits, also through a
    // removal the simulator announces for object id 0, which is no object's; a minute after the
    // refusal it is tried once, and refused again.
    int seconds = 0;
    for (; seconds < 100 && callCount("SimConnect_AICreateNonATCAircraft") < 2; ++seconds) {
        fly(both, 1);
    }
    simstandin::announceRemoval(0);
    fly(both, 100 - seconds);
    const auto creations = callsOf("SimConnect_AICreateNonATCAircraft");
    ASSERT_EQ(creations.size(), 3u);
    EXPECT_NEAR(creations[2].time_s - creations[1].time_s, 60.0, 1.0);
    EXPECT_EQ(count("SimConnect: too many objects (max 1000)"), 2);
    const uint32_t in = stateOf(0x48548e) == SimObjectState::active ? 0x48548e : 0x48548f;
    const uint32_t out = in == 0x48548e ? 0x48548f : 0x48548e;
    ASSERT_EQ(stateOf(in), SimObjectState::active);
    // One object leaves: the refused flight takes its place as soon as it is spawned again,
    // long before the next trial.
    removeAircraftFromSim(*live(in));
    fly(both, 40);
    EXPECT_EQ(callCount("SimConnect_AICreateNonATCAircraft"), 4);
    EXPECT_EQ(stateOf(out), SimObjectState::active);
}

TEST_F(SimAnswers, AFullSimulatorIsTriedAgainAfterGrowingPausesAndTakesRoomFreedUnseen)
{
    // Room for three, two of it taken by ground vehicles of the simulator's own, which leave
    // after 100 s unseen by a program that watches aircraft.
    start(R"("object_limit": 3, "own_traffic": [
        {"lat": 51.2801, "lon": 6.7652, "type": "ground", "leave_at_s": 100},
        {"lat": 51.2802, "lon": 6.7653, "type": "ground", "leave_at_s": 100}])");
    gf_reserveTrafficContainers();
    std::vector<std::tuple<uint32_t, std::string, Path>> flights;
    for (uint32_t i = 0; i < 3; ++i) {
        flights.emplace_back(0x48548e + i, fmt::format("KLM5{}A", 6 + i),
                             lf_southbound(20.0 + 3 * i, 120.0));
        firstLoadOn(0x48548e + i, std::get<1>(flights.back()), std::get<2>(flights.back()));
    }
    fly(flights, 300);
    // One created, one refused; one trial a minute later, refused; the next two minutes after
    // that, taken; then the last flight at once.
    const auto creations = callsOf("SimConnect_AICreateNonATCAircraft");
    ASSERT_EQ(creations.size(), 5u);
    const auto refused = [&](int i) { return creations[i].note == "object limit"; };
    EXPECT_TRUE(!refused(0) && refused(1) && refused(2) && !refused(3) && !refused(4));
    EXPECT_NEAR(creations[2].time_s - creations[1].time_s, 60.0, 1.0);
    EXPECT_NEAR(creations[3].time_s - creations[2].time_s, 120.0, 1.0);
    EXPECT_LE(creations[4].time_s - creations[3].time_s, 1.0);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(stateOf(0x48548e + i), SimObjectState::active);
}

TEST_F(SimAnswers, TheRoomOfACreationGivenUpIsCountedOnceWhenItsObjectLeaves)
{
    start(R"("object_limit": 1)");
    gf_reserveTrafficContainers();
    // KLM56A, 41 nm out, takes the only room but is never paired; the three near flights that
    // follow find the simulator full.
    std::vector<std::tuple<uint32_t, std::string, Path>> flights = {
        {0x48548e, "KLM56A", lf_southbound(41.0, 60.0)}};
    firstLoadOn(0x48548e, "KLM56A", std::get<2>(flights[0]));
    for (int s = 0; s < 60 && callCount("SimConnect_AICreateNonATCAircraft") == 0; ++s) {
        fly(flights, 1);
    }
    ASSERT_EQ(callCount("SimConnect_AICreateNonATCAircraft"), 1);
    const int32_t handedOver = g_fastTicks;
    for (uint32_t i = 0; i < 3; ++i) {
        flights.emplace_back(0x400001 + i, fmt::format("DLH{}", i + 1),
                             lf_southbound(20.0 + 2 * i, 120.0));
        firstLoadOn(0x400001 + i, std::get<1>(flights.back()), std::get<2>(flights.back()));
    }
    // Given up after 30 s, its object removed: room for one, which one of them takes, and only
    // one. The first trial would come only a minute after the refusal.
    fly(flights, (4500 - (g_fastTicks - handedOver)) / 100);
    const auto creations = callsOf("SimConnect_AICreateNonATCAircraft");
    ASSERT_EQ(creations.size(), 3u);
    EXPECT_EQ(creations[1].note, "object limit");
    EXPECT_NE(creations[2].note, "object limit");
    EXPECT_EQ(g_activeLiveCount, 1);
}

TEST_F(SimAnswers, ACreationTakenBackBeforeItIsSentGivesAFullSimulatorItsRoomBack)
{
    start(R"("object_limit": 1)");
    gf_reserveTrafficContainers();
    std::vector<std::tuple<uint32_t, std::string, Path>> flights;
    for (uint32_t i = 0; i < 4; ++i) {
        flights.emplace_back(0x400001 + i, fmt::format("DLH{}", i + 1),
                             lf_southbound(20.0 + 2 * i, 120.0));
        firstLoadOn(0x400001 + i, std::get<1>(flights.back()), std::get<2>(flights.back()));
    }
    // One flight created, one refused, two waiting for room.
    for (int s = 0; s < 50 && g_liveCreateQueue.size() < 2; ++s) fly(flights, 1);
    ASSERT_EQ(g_liveCreateQueue.size(), 2u);
    ASSERT_EQ(g_activeLiveCount, 1);
    // The one created leaves. Its room goes to the next creation, which is taken back before
    // the link has sent it.
    for (const auto& [hex, callsign, path] : flights) {
        if (stateOf(hex) == SimObjectState::active) removeAircraftFromSim(*live(hex));
    }
    for (lf_handleAddingStack(); g_liveCreateQueue.size() == 2; lf_handleAddingStack()) {
        dumpTick();
        clock_->advance(std::chrono::milliseconds(10));
        lf_dispatchOnce(handle_);
    }
    const auto handedOver = std::find_if(g_liveAcs.begin(), g_liveAcs.end(), [](const LiveAc& a) {
        return a.state == SimObjectState::adding2sim && a.handedOverTick >= 0;
    });
    ASSERT_NE(handedOver, g_liveAcs.end());
    removeAircraftFromSim(*handedOver);
    ASSERT_TRUE(handedOver->dropWhileQueued);
    // Its room is the last one's, long before the minute after which one would be tried.
    fly(flights, 5);
    EXPECT_EQ(callCount("SimConnect_AICreateNonATCAircraft"), 3);
    EXPECT_EQ(g_activeLiveCount, 1);
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
    Report later = flyingKlm56A();
    ASSERT_FALSE(HasFailure());
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
    Report later = flyingKlm56A();
    ASSERT_FALSE(HasFailure());
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
