// Turns in a live flight's life through the real entry points: the live limit replaces the
// farthest aircraft only for a flight that is created, a flight kept out of a full sky until it
// comes nearer or room is made, a sky one short of the limit that builds only the newcomer it
// has room for, a lowered limit, a restart's fresh run, a creation the simulator refuses, a
// removal before the object exists, and the ghost of a flight.
#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

class LiveLifecycle : public TrafficTest {
protected:
    // A live limit of 2, reached by flights 12 and 24 nm north of the user (51.2793 N; one
    // degree of latitude is 60 nm).
    bool twoAtTheLimit()
    {
        start();
        gf_reserveTrafficContainers();
        MAX_LIVE_SEL.current = 2;
        for (const auto& [hex, lat] :
             {std::pair{0x400001U, 51.4793}, std::pair{0x400002U, 51.6793}}) {
            livery(hex);
            firstLoad(hex, fmt::format("DLH{}", hex & 0xF), lat);
        }
        return tickUntil([] { return g_activeLiveCount == 2; });
    }
};

TEST_F(LiveLifecycle, LiveLimitReplacesTheFarthestOnlyForANearerFlight)
{
    ASSERT_TRUE(twoAtTheLimit());
    // 30 nm away: farther than both, dropped.
    livery(0x400003);
    firstLoad(0x400003, "DLH3", 51.7793);
    tick(5);
    EXPECT_FALSE(live(0x400003));
    EXPECT_EQ(stateOf(0x400002), SimObjectState::active);
    // 6 nm away: the one at 24 nm makes room.
    livery(0x400004);
    firstLoad(0x400004, "DLH4", 51.3793);
    tick(5);
    EXPECT_EQ(stateOf(0x400002), SimObjectState::removingfromsim);
    EXPECT_EQ(stateOf(0x400004), SimObjectState::adding2sim);
}

TEST_F(LiveLifecycle, LiveLimitKeepsItsAircraftForANearerFlightWithoutALivery)
{
    ASSERT_TRUE(twoAtTheLimit());
    // 6 nm away, but no livery matches it: it never comes, so the one at 24 nm stays.
    firstLoad(0x400004, "DLH4", 51.3793);
    tick(5);
    EXPECT_FALSE(live(0x400004));
    EXPECT_EQ(stateOf(0x400002), SimObjectState::active);
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject"), 0);
}

TEST_F(LiveLifecycle, AFlightOutsideAFullSkyComesInOnceItIsNearerOrRoomIsMadeAndItsGhostNever)
{
    start();
    gf_reserveTrafficContainers();
    MAX_LIVE_SEL.current = 2;
    // Report time s is due at second s. DLH1 and DLH2 circle the user 12 and 26 nm out and fill
    // the sky with the first load; DLH2's reports end at 170 s. DLH5 comes in from 30 nm at
    // 120 kt, with its ghost reported 5 nm nearer, so inside DLH2 from the start; DLH6 circles
    // 34 nm out, and the same flight under a second hex id, merged after the first, 20 nm out.
    struct Flight {
        uint32_t hex;
        std::string callsign;
        double bearing_deg;
        double (*distance_nm)(double s);
        double until_s = 1e9;
    };
    const std::vector<Flight> flights{
        {0x400001, "DLH1", 0.0, [](double) { return 12.0; }},
        {0x400002, "DLH2", 0.0, [](double) { return 26.0; }, 170.0},
        {0x600006, "DLH6", 270.0, [](double) { return 20.0; }},
        {0x400005, "DLH5", 90.0, [](double s) { return 30.0 - 120.0 * (s - 40.0) / 3600.0; }},
        {0x500005, "DLH5_", 90.0, [](double s) { return 25.0 - 120.0 * (s - 40.0) / 3600.0; }},
        {0x400006, "DLH6", 180.0, [](double) { return 34.0; }},
    };
    const auto reports = [&flights](std::size_t count, double s) {
        std::vector<Report> out;
        for (std::size_t i = 0; i < count; ++i) {
            const Flight& f = flights[i];
            if (s > f.until_s) continue;
            const double r = f.distance_nm(s);
            const bool circles = f.distance_nm(0.0) == r;
            // Circling ones turn 120 kt's worth round the user; DLH5 and its ghost fly straight.
            const double bearing =
                f.bearing_deg + (circles ? 120.0 / r * s / 3600.0 / kRadPerDeg : 0.0);
            Report report = reportAt(
                gf_destinationPoint({kUserLat, kUserLon}, bearing * kRadPerDeg, r * kFeetPerNm),
                4000.0, 120.0, circles ? bearing + 90.0 : bearing + 180.0, s);
            report.hex = f.hex;
            report.callsign = f.callsign;
            out.push_back(report);
            livery(f.hex);
        }
        return out;
    };
    for (int k = 0; k < 5; ++k) push(reports(2, 6.0 * k), 6 * k);
    bool ghostSeen = false;
    bool secondHexBuilt = false;
    // A poll every 5 s; the others join from second 10 on. At second 230 the user makes room.
    for (int32_t t = 1; t <= 30000; ++t) {
        if (t % 500 == 0) push(reports(t < 1000 ? 2 : flights.size(), t / 100.0 + 30.0), 30);
        if (t == 23000) MAX_LIVE_SEL.current = 3;
        tick();
        for (const auto& object : simstandin::objects()) ghostSeen |= object.atcId == "DLH5_";
        secondHexBuilt |= live(0x600006) != nullptr;
        // Still beyond DLH2, DLH5 is not even built; nearer by then, it replaces DLH2.
        if (t == 10000) {
            ASSERT_EQ(g_activeLiveCount, 2);
            EXPECT_FALSE(live(0x400005));
        }
        if (t == 22000) {
            EXPECT_EQ(stateOf(0x400005), SimObjectState::active);
            EXPECT_FALSE(live(0x400002));
            EXPECT_FALSE(live(0x400006));
        }
    }
    EXPECT_EQ(stateOf(0x400006), SimObjectState::active);
    EXPECT_EQ(stateOf(0x400001), SimObjectState::active);
    EXPECT_FALSE(ghostSeen);
    EXPECT_FALSE(secondHexBuilt);
}

TEST_F(LiveLifecycle, ASkyOneShortOfTheLimitBuildsOnlyTheNewcomerItHasRoomFor)
{
    start();
    gf_reserveTrafficContainers();
    MAX_LIVE_SEL.current = 2;
    // A poll every 5 s; report time s is due at second s. DLH1 circles the user 12 nm out and
    // fills one slot of two; DLH3 to DLH5 circle 30 nm out, beyond it, so that none can take
    // its place.
    const std::vector<std::pair<uint32_t, double>> flights{
        {0x400001, 12.0}, {0x400003, 30.0}, {0x400004, 30.0}, {0x400005, 30.0}};
    const auto reports = [&flights](std::size_t count, double s) {
        std::vector<Report> out;
        for (std::size_t i = 0; i < count; ++i) {
            const auto [hex, r] = flights[i];
            const double bearing = 90.0 * i + 120.0 / r * s / 3600.0 / kRadPerDeg;
            Report report = reportAt(
                gf_destinationPoint({kUserLat, kUserLon}, bearing * kRadPerDeg, r * kFeetPerNm),
                4000.0, 120.0, bearing + 90.0, s);
            report.hex = hex;
            report.callsign = fmt::format("DLH{}", hex & 0xF);
            out.push_back(report);
            livery(hex);
        }
        return out;
    };
    const auto newcomers = [] {
        return std::count_if(g_liveAcs.begin(), g_liveAcs.end(),
                             [](const LiveAc& a) { return a.hexId != 0x400001; });
    };
    for (int k = 0; k < 5; ++k) push(reports(1, 6.0 * k), 6 * k);
    for (int32_t t = 1; t <= 12000; ++t) {
        if (t % 500 == 0) push(reports(t < 1000 ? 1 : flights.size(), t / 100.0 + 30.0), 30);
        if (t == 7000) MAX_LIVE_SEL.current = 4;
        tick();
        // Only one of them is built for the free slot; the others wait outside.
        if (t < 7000) {
            ASSERT_LE(newcomers(), 1) << "at tick " << t;
        }
        if (t == 6990) {
            EXPECT_EQ(g_activeLiveCount, 2);
        }
    }
    // Room made, the others come in.
    EXPECT_EQ(g_activeLiveCount, 4);
}

TEST_F(LiveLifecycle, LoweredLimitWithdrawsCreationsFirstAndTheObjectsOnlyEverGo)
{
    start();
    gf_reserveTrafficContainers();
    // Ten flights 3 to 30 nm out spawn together; their creations go two a second.
    for (uint32_t i = 0; i < 10; ++i) {
        livery(0x400010 + i);
        firstLoad(0x400010 + i, fmt::format("DLH{}", 10 + i), 51.3293 + 0.05 * i);
    }
    const auto aiObjects = [] {
        const auto objects = simstandin::objects();
        return std::count_if(objects.begin(), objects.end(),
                             [](const auto& o) { return o.kind == simstandin::ObjectKind::ai; });
    };
    // Lowered with three active, the others on their way, one request just handed to the link.
    ASSERT_TRUE(tickUntil([] {
        return g_activeLiveCount >= 3 && g_fastTicks % 50 == 0 && !g_liveCreateQueue.empty();
    }));
    lf_handleAddingStack();
    const auto before = aiObjects();
    MAX_LIVE_SEL.current = 2;
    gf_applyMaxLiveSel();
    clock_->advance(std::chrono::milliseconds(10));
    lf_dispatchOnce(handle_);
    for (int t = 0; t < 3000; ++t) {
        ASSERT_LE(aiObjects(), before) << "at tick " << t;
        tick();
    }
    EXPECT_EQ(aiObjects(), 2);
    EXPECT_EQ(g_activeLiveCount, 2);
}

TEST_F(LiveLifecycle, ARestartStartsTheTrafficAsTheFirstStartDid)
{
    start();
    gf_reserveTrafficContainers();
    livery(0x400001);
    firstLoad(0x400001, "DLH1", 51.4793);
    ASSERT_TRUE(tickUntil([] { return g_activeLiveCount == 1; }));
    for (uint32_t id : {1U, 2U, 3U}) EXPECT_EQ(gf_nextStaticHexId(), id);
    EXPECT_FALSE(gf_trafficRunFresh());

    gf_resetTrafficRun();
    EXPECT_TRUE(gf_trafficRunFresh());
    EXPECT_EQ(live(0x400001), nullptr);
    EXPECT_EQ(g_activeLiveCount, 0);
    // The static hex ids start again where the first run's did.
    EXPECT_EQ(gf_nextStaticHexId(), 1U);
}

TEST_F(LiveLifecycle, RefusedCreationErasesTheRecordAndRemembersTheLivery)
{
    start();
    gf_reserveTrafficContainers();
    simstandin::addFailure({"SimConnect_AICreateNonATCAircraft", 0, 1,
                            DWORD{SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED}});
    livery(0x48548e);
    firstLoad(0x48548e, "KLM56A", 51.3);
    ASSERT_TRUE(tickUntil([] { return live(0x48548e) == nullptr; }, 1000));
    EXPECT_TRUE(g_failedLiveries.contains(std::string(kA320)));
    EXPECT_TRUE(log_.contains(fmt::format("KLM56A '{}' could not be created by your Sim!", kA320)));
}

TEST_F(LiveLifecycle, RemovalBeforeTheObjectExistsRemovesItWhenItArrives)
{
    start("\"create_delay_s\": 1.0");
    gf_reserveTrafficContainers();
    livery(0x48548e);
    firstLoad(0x48548e, "KLM56A", 51.3);
    // The request has gone to the simulator link, the object is not there yet.
    ASSERT_TRUE(tickUntil(
        [this] { return callsOf("SimConnect_AICreateNonATCAircraft").size() == 1; }, 200));
    removeAircraftFromSim(*live(0x48548e));
    EXPECT_TRUE(live(0x48548e)->removeWhenCreated);
    ASSERT_TRUE(tickUntil([] { return live(0x48548e) == nullptr; }, 1000));
    EXPECT_EQ(callsOf("SimConnect_AIRemoveObject").size(), 1u);
    EXPECT_TRUE(simstandin::objects().size() >= 1);
    for (const auto& object : simstandin::objects()) EXPECT_NE(object.atcId, "KLM56A");
}

TEST_F(LiveLifecycle, AGhostGoesWhenItsFlightSpawnsAndStaysGone)
{
    start();
    gf_reserveTrafficContainers();
    livery(0x500001);
    firstLoad(0x500001, "KLM56A_", 51.35);
    ASSERT_TRUE(tickUntil([] { return stateOf(0x500001) == SimObjectState::active; }, 1000));
    livery(0x48548e);
    firstLoad(0x48548e, "KLM56A", 51.3);
    ASSERT_TRUE(tickUntil([] { return live(0x500001) == nullptr; }, 1000));
    EXPECT_TRUE(log_.contains(
        fmt::format("{:10}{:8} is a ghost and will be removed, continue with KLM56A", "",
                    "KLM56A_")));
    // A later report under the ghost's callsign is not spawned again.
    livery(0x500001);
    firstLoad(0x500001, "KLM56A_", 51.35);
    tick(10);
    EXPECT_FALSE(live(0x500001));
}

TEST_F(LiveLifecycle, AGhostOfAFlightThatChangedItsCallsignIsNotSpawned)
{
    start();
    gf_reserveTrafficContainers();
    livery(0x48548e);
    Report first;
    first.lat = 51.3;
    Report renamed = first;
    renamed.callsign = "KLM77B";
    renamed.lat += 0.01;
    renamed.time_s += 6.0;
    push({first}, 0);
    push({renamed}, 6);
    ASSERT_TRUE(tickUntil([] { return stateOf(0x48548e) == SimObjectState::active; }, 1000));
    livery(0x500001);
    firstLoad(0x500001, "KLM77B_", 51.35);
    tick(10);
    EXPECT_FALSE(live(0x500001));
}

}  // namespace
}  // namespace qel::test
