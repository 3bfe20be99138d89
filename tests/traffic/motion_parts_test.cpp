// The numbers of the motion and stand parts, function by function: the taxi curve, the stand
// fit with the relearned radius, learning a stay across midnight, the flare heights, the start
// of the take-off roll, stand names read on another thread, and the faults mended in the
// respawn and the holding removal; the sample queue against the deque it replaced.
#include <atomic>
#include <cmath>
#include <deque>
#include <random>
#include <thread>

#include "foundation/catalogue.h"
#include "liveries/livery_db.h"
#include "scenery/stand_snapshot.h"
#include "traffic/air_legs.h"
#include "traffic/curve_geometry.h"
#include "traffic/ground_motion.h"
#include "traffic/ground_pace.h"
#include "traffic/taxi_corners.h"
#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

using MotionParts = TrafficTest;

LiveAc& lf_addAircraft(double lat, double lon, double size_nm = 0.0097)
{
    QueuedSample first;
    first.latitude = lat;
    first.longitude = lon;
    FlightData data;
    data.hexId = 0x48548e;
    data.callsign = "KLM56A";
    data.size_nm = size_nm;
    data.weightClass = WeightClass::Large;
    LiveAc& aircraft = lf_appendLive(LiveAc(first, data, 0.0));
    aircraft.position.latitude = lat;
    aircraft.position.longitude = lon;
    return aircraft;
}

TEST_F(MotionParts, TaxiCurveRunsFromThePositionThroughTheCornerToTheNextSample)
{
    LiveAc& a = lf_addAircraft(51.0, 7.0);
    QueuedSample s0 = a.samples.front();
    QueuedSample s1 = s0;
    s1.latitude += 100.0 / 111132.95;  // 100 m north
    QueuedSample s2 = s1;
    s2.longitude += 100.0 / (std::cos(51.0 * std::numbers::pi / 180.0) * 111132.95);  // then east
    a.samples = {s0, s1, s2};
    lf_startTaxiCurve(a);
    ASSERT_EQ(a.samples.size(), 2u);  // the corner sample is never reached as a point
    struct Case {
        double t;
        double north_m, east_m, heading_deg;
    };
    // Quadratic through the control point (0, 100) to (100, 100): tangent north at the start,
    // north-east half way, east at the end.
    for (const Case c :
         {Case{0.0, 0.0, 0.0, 0.0}, Case{0.5, 75.0, 25.0, 45.0}, Case{1.0, 100.0, 100.0, 90.0}}) {
        const auto p = lf_curvePoint(a, c.t);
        ASSERT_TRUE(p) << c.t;
        EXPECT_NEAR((p->latitude - 51.0) * 111132.95, c.north_m, 0.01) << c.t;
        EXPECT_NEAR((p->longitude - 7.0) * std::cos(51.0 * std::numbers::pi / 180.0) * 111132.95,
                    c.east_m, 0.01)
            << c.t;
        EXPECT_NEAR(p->heading_rad * 180.0 / std::numbers::pi, c.heading_deg, 1e-6) << c.t;
    }
    EXPECT_FALSE(lf_curvePoint(a, 1.5));
}

TEST_F(MotionParts, StandFitsUpToOnePointEightMetresAndLearnsABiggerAircraft)
{
    struct Case {
        double oversize_m;  // aircraft half span beyond the stand's radius
        double away_m;      // the position's distance from the stand
        bool taken;
        double radius_m;  // the stand's radius afterwards
    };
    for (const Case c : {Case{1.5, 15.0, true, 20.0}, Case{2.0, 15.0, true, 21.0},
                         Case{2.0, 19.0, true, 21.0}, Case{-5.0, 19.9, true, 20.0}}) {
        g_parkStands = {ParkStand("A1", {}, 51.0, 7.0, 0.0, 20.0, false, false, false)};
        g_parkStands[0].number = 1;
        LiveAc& a = lf_addAircraft(51.0, 7.0, (20.0 + c.oversize_m) / 1852.0);
        const LatLon at{51.0 + c.away_m / 111132.95, 7.0};
        const auto stand = lf_findFreeStand(at, a, 20.0 / 1852.0, false);
        EXPECT_EQ(stand.has_value(), c.taken) << c.oversize_m << " " << c.away_m;
        EXPECT_NEAR(g_parkStands[0].radius * 1852.0, c.radius_m, 1e-6) << c.oversize_m;
        gf_resetTrafficRun();
    }
    // A stand held by another aircraft that still has it is skipped; a stale holder is not.
    g_parkStands = {ParkStand("A1", {}, 51.0, 7.0, 0.0, 20.0, false, false, false)};
    g_parkStands[0].number = 1;
    LiveAc& a = lf_addAircraft(51.0, 7.0);
    lf_takeStand(1, 0x400001);
    EXPECT_TRUE(lf_findFreeStand({51.0, 7.0}, a, 20.0 / 1852.0, false));
    QueuedSample first;
    FlightData other;
    other.hexId = 0x400001;
    LiveAc& holder = lf_appendLive(LiveAc(first, other, 0.0));
    holder.standId = 1;
    holder.state = SimObjectState::active;
    EXPECT_FALSE(lf_findFreeStand({51.0, 7.0}, *lf_findLive(0x48548e), 20.0 / 1852.0, false));
    g_parkStands.clear();
}

TEST_F(MotionParts, AStayAcrossMidnightFillsYesterdaysAndTodaysOption)
{
    ParkStand stand("A1", {}, 51.0, 7.0, 0.0, 20.0, false, false, false);
    LiveAc& a = lf_addAircraft(51.0, 7.0);
    // Parked Monday 23:00 (slot 46), still there Tuesday 01:00 (slot 2).
    const auto [first, ok] =
        gf_addLearnedFlight(stand.learnedFlights, a.key, 1, 46, "KLM56A", "PH-EXL", 0);
    ASSERT_TRUE(ok);
    uint32_t id = first;
    uint32_t d0 = 1;
    uint32_t s0 = 46;
    ASSERT_TRUE(lf_learnParking(2, 2, stand, id, d0, s0, a, "PH-EXL"));
    ASSERT_EQ(stand.learnedFlights.size(), 2u);
    EXPECT_EQ(gf_bitsetToList(stand.learnedFlights[0].slots), "46,47");
    EXPECT_EQ(stand.learnedFlights[1].day, 2u);
    EXPECT_EQ(gf_bitsetToList(stand.learnedFlights[1].slots), "0,1,2");
    EXPECT_EQ(id, stand.learnedFlights[1].number);
    // A gap of the longest stay or more (6 half hours for a Large) is a new visit.
    uint32_t again = id;
    uint32_t d1 = 2;
    uint32_t s1 = 2;
    EXPECT_FALSE(lf_learnParking(2, 8, stand, again, d1, s1, a, "PH-EXL"));
}

TEST_F(MotionParts, RespawnWithoutObjectGoesBackToTheBuffer)
{
    LiveAc& a = lf_addAircraft(51.0, 7.0);
    lf_setLiveState(a, SimObjectState::active);
    a.phase = FlightPhase::taxi;
    liveryRespawn(a);
    EXPECT_EQ(a.state, SimObjectState::buffer);
    EXPECT_EQ(a.hasStoredHeading, 1);
    EXPECT_TRUE(g_removeIdQueue.empty());
}

TEST_F(MotionParts, AHoldingAircraftReportedFarAwayIsRemovedAndTakesNoReport)
{
    LiveAc& a = lf_addAircraft(51.0, 7.0);
    lf_setLiveState(a, SimObjectState::active);
    lf_setLiveObjectId(a, 120);
    a.phase = FlightPhase::taxi;
    a.onGround = 1;
    a.holding = 1;
    QueuedSample far = a.samples.front();
    far.latitude += (HOLDING_THRESHOLD_METERS.current + 50.0) / 111132.95;
    decodeExisting(a, far);
    EXPECT_EQ(a.state, SimObjectState::removingfromsim);
    EXPECT_EQ(a.samples.size(), 1u);
    EXPECT_EQ(a.holding, 0);
}

// An aircraft whose reports stop rolls out to a stop: from a pace that no aircraft rolls at (a
// leg of 8.3 km flown in 25 ticks, 64,500 kt) no farther nor longer than from a take-off roll
// at 200 kt braking at 5 kt a second, not for 3.6 hours round the globe.
TEST_F(MotionParts, ARunOutToAStopIsNoLongerThanFromTheFastestRoll)
{
    const LatLon from{51.29, 6.77};
    const QueuedSample stop = lf_runOutStop(QueuedSample{}, from, 0.0, 64'500.0, 1000);
    EXPECT_LE(gf_distanceNm(from, lf_at(stop)), 200.0 * 40.0 / 2.0 / 3600.0 + 1e-9);
    EXPECT_LE(stop.dueTick, 1000 + 4000);
}

TEST_F(MotionParts, ANewRegistrationCodeResetsTheLiveryOnlyWhenTheAircraftIsRespawned)
{
    static const std::string kOld = "Airbus A320 KLM";
    static const std::string kNew = "Airbus A320 KLM Skyteam";
    g_regcodes["PH-AOA"] = kNew;
    for (const bool respawn : {false, true}) {
        GUID_CHANGES.current = respawn;
        LiveAc& a = lf_addAircraft(51.0, 7.0);
        lf_setLiveState(a, SimObjectState::active);
        lf_setLiveObjectId(a, 120);
        a.phase = FlightPhase::flying;
        a.title = kOld;
        a.registration.clear();
        LiveAircraftRecord report;
        report.callsign = "KLM56A";
        report.registration = "PH-AOA";
        const bool merged = lf_acceptReport(a, report);
        EXPECT_EQ(merged, !respawn);
        EXPECT_EQ(a.registration, "PH-AOA");
        if (respawn) {
            EXPECT_EQ(a.phase, FlightPhase::birth);
            EXPECT_TRUE(a.title.empty());
            EXPECT_EQ(a.state, SimObjectState::liveryrespawn);
        } else {
            // Not respawned: it keeps flying in its livery.
            EXPECT_EQ(a.phase, FlightPhase::flying);
            EXPECT_EQ(a.title, kOld);
            EXPECT_EQ(a.state, SimObjectState::active);
        }
        gf_resetTrafficRun();
        g_removeIdQueue.clear();
    }
    g_regcodes.erase("PH-AOA");
}

TEST_F(MotionParts, TheFlareStepsDownAtThirtyTwentyTenAndThreeFeetAboveTheCentreOfGravity)
{
    LiveAc& a = lf_addAircraft(51.0, 7.0);
    a.approach = 1;
    a.cgHeight_ft = 6.5;
    a.flareTicks = 300;
    struct Row {
        double height_ft;  // above the ground
        int stage;
        double altRate_ft;  // per tick
    };
    // The stage changes only when its height is reached, and never goes back.
    for (const Row r : {Row{37.0, 0, 0.0}, Row{36.5, 1, -0.1}, Row{27.0, 1, -0.1},
                        Row{26.5, 2, -0.075}, Row{17.0, 2, -0.075}, Row{16.5, 3, -0.05},
                        Row{10.0, 3, -0.05}, Row{9.5, 4, -0.025}, Row{30.0, 4, -0.025}}) {
        a.heightAboveGround_ft = r.height_ft;
        lf_verticalStep(a);
        EXPECT_EQ(a.flareStage, r.stage) << r.height_ft;
        EXPECT_DOUBLE_EQ(a.altRate, r.altRate_ft) << r.height_ft;
        EXPECT_EQ(a.landing, r.stage > 0 ? 1 : 0) << r.height_ft;
    }
}

TEST_F(MotionParts, TheTakeOffRollStartsAt43KnotsAndASlowClimbWaitsForTheRotationSpeed)
{
    struct Row {
        double front_kt;   // the sample the leg starts from
        double next_kt;    // the next sample's speed
        double climb_fpm;  // the next samples' vertical rate
        bool nextAirborne;
        bool rolls;  // phase take_off afterwards
        const char* what;
    };
    for (const Row r : {Row{42.9, 150.0, 1500.0, true, false, "below 43 kt"},
                        Row{43.0, 150.0, 1500.0, true, true, "at 43 kt, climbing"},
                        Row{60.0, 139.0, 200.0, true, false, "slow climb below 140 kt"},
                        Row{60.0, 140.0, 200.0, true, true, "slow climb at 140 kt"},
                        Row{60.0, 150.0, 200.0, false, false, "slow climb, not airborne"}}) {
        LiveAc& a = lf_addAircraft(51.0, 7.0);
        a.phase = FlightPhase::taxi;
        a.onGround = 1;
        a.takeOff = 1;
        a.rotationTicks = 200;
        a.maxClimbRate_ft = 0.6;
        QueuedSample s0 = a.samples.front();
        s0.groundSpeed_kt = r.front_kt;
        QueuedSample s1 = s0;
        s1.latitude += 0.005;
        s1.groundSpeed_kt = r.next_kt;
        s1.verticalRate_fpm = r.climb_fpm;
        s1.airborne = r.nextAirborne ? 1 : 0;
        s1.altitude_ft = r.nextAirborne ? 200.0 : 0.0;
        s1.dueTick = g_fastTicks + 1000;
        QueuedSample s2 = s1;
        s2.latitude += 0.005;
        s2.dueTick += 1000;
        a.samples = {s0, s1, s2};
        lf_groundConfig(a);
        EXPECT_EQ(a.phase == FlightPhase::take_off, r.rolls) << r.what;
        if (r.rolls) {
            EXPECT_GT(a.altRate, 0.0) << r.what;
        }
        gf_resetTrafficRun();
    }
}

TEST_F(MotionParts, AnotherThreadLooksUpStandNamesWhileTheTableIsReloadedAndCleared)
{
    // Only a user aircraft on the ground stands on a stand.
    start();
    ASSERT_TRUE(gf_requestUserOnGroundEverySecond());
    pump(1.1);
    ASSERT_TRUE(gf_userOnGround());
    std::atomic<bool> done{false};
    std::atomic<int> lookups{0};
    std::atomic<int> wrong{0};
    std::jthread reader([&] {
        while (!done || lookups == 0) {
            const std::string name = gf_closestStandName(51.0, 7.0);
            if (!name.empty() && name != "A1" && name != "B1") ++wrong;
            ++lookups;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        g_parkStands = {
            ParkStand(i % 2 ? "A1" : "B1", {}, 51.0, 7.0, 0.0, 20.0, false, false, false)};
        gf_publishStandSpots();
        if (i % 3 == 0) {
            g_parkStands.clear();
            gf_publishStandSpots();
        }
    }
    done = true;
    reader.join();
    EXPECT_EQ(wrong, 0);
    // The answer remembered for the same place is not kept across a new table.
    EXPECT_EQ(gf_closestStandName(51.0, 7.0), "A1");
    g_parkStands.clear();
    gf_publishStandSpots();
    EXPECT_EQ(gf_closestStandName(51.0, 7.0), "");
}

// Every operation the motion code uses, at random places and sizes across the record's own
// slots and the spill: the queue holds what a deque would, in the same order.
TEST(SampleQueue, HoldsWhatADequeHoldsThroughEveryOperation)
{
    std::mt19937 random(26);
    SampleQueue queue;
    std::deque<int32_t> model;
    int32_t next = 0;
    std::size_t longest = 0;
    const auto sample = [&] {
        QueuedSample s;
        s.dueTick = ++next;
        return s;
    };
    for (int step = 0; step < 20000; ++step) {
        const auto at = [&](std::size_t size) {
            return static_cast<std::ptrdiff_t>(random() % (size + 1));
        };
        const unsigned op = model.size() > 40 ? 2 + random() % 7 : random() % 9;
        if (model.empty() && op >= 2) {
            queue.push_back(sample());
            model.push_back(next);
            continue;
        }
        switch (op) {
        case 0:
        case 1:
            queue.push_back(sample());
            model.push_back(next);
            break;
        case 2:
            queue.pop_front();
            model.pop_front();
            break;
        case 3:
            queue.pop_back();
            model.pop_back();
            break;
        case 4:
            queue.push_front(sample());
            model.push_front(next);
            break;
        case 5: {
            const auto i = at(model.size());
            queue.insert(queue.begin() + i, sample());
            model.insert(model.begin() + i, next);
            break;
        }
        case 6: {
            const auto i = at(model.size() - 1);
            queue.erase(queue.begin() + i);
            model.erase(model.begin() + i);
            break;
        }
        case 7: {
            const auto i = at(model.size());
            queue.erase(queue.begin() + i, queue.end());
            model.erase(model.begin() + i, model.end());
            break;
        }
        default:
            queue.resize(1);
            model.resize(1);
            break;
        }
        ASSERT_EQ(queue.size(), model.size()) << "step " << step;
        longest = std::max(longest, model.size());
        ASSERT_TRUE(std::equal(queue.begin(), queue.end(), model.begin(), model.end(),
                               [](const QueuedSample& s, int32_t due) { return s.dueTick == due; }))
            << "step " << step;
    }
    EXPECT_GT(longest, 3 * SampleQueue::kInline);
}

}  // namespace
}  // namespace qel::test

namespace qel::test {
namespace {

TEST_F(MotionParts, PhaseMovesTheRoadMakesPassAndAnImpossibleOneIsRefusedAndLoggedOnce)
{
    using P = FlightPhase;
    // The moves the traffic's own scenarios go through, from spawn to push-back and departure.
    const std::pair<P, P> made[] = {
        {P::birth, P::flying},        {P::birth, P::taxi},
        {P::birth, P::parked},        {P::flying, P::taxi},
        {P::taxi, P::parking},        {P::parking, P::parked},
        {P::parked, P::pushing_back}, {P::pushing_back, P::pushed_back},
        {P::pushed_back, P::taxi},    {P::parked, P::taxi},
        {P::taxi, P::take_off},       {P::take_off, P::flying},
        {P::flying, P::birth},        {P::parked, P::parked},
    };
    for (const auto& [from, to] : made) {
        EXPECT_TRUE(gf_phaseMoveAllowed(from, to))
            << flightPhaseName(from) << " -> " << flightPhaseName(to);
    }

    CapturedLog log;
    LiveAc& a = lf_addAircraft(51.0, 7.0);
    EXPECT_TRUE(lf_setLivePhase(a, P::taxi, PhaseMemory::keep));
    EXPECT_EQ(a.previousPhase, P::birth);
    // A taxiing aircraft has no stand to push back from, and none it has parked on.
    EXPECT_FALSE(lf_setLivePhase(a, P::pushing_back, PhaseMemory::always));
    EXPECT_FALSE(lf_setLivePhase(a, P::pushing_back, PhaseMemory::always));
    EXPECT_FALSE(lf_setLivePhase(a, P::pushed_back, PhaseMemory::onChange));
    EXPECT_EQ(a.phase, P::taxi);
    EXPECT_EQ(a.previousPhase, P::birth);
    const auto refusals = [&log] {
        const auto lines = log.lines();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.find("refused") != std::string::npos;
        });
    };
    EXPECT_TRUE(log.contains("==> lf_setLivePhase KLM56A refused: taxi -> pushing_back"));
    EXPECT_EQ(refusals(), 2);  // once per move

    // The memory of the phase left: kept, always taken, or taken on a change only.
    EXPECT_TRUE(lf_setLivePhase(a, P::taxi, PhaseMemory::onChange));
    EXPECT_EQ(a.previousPhase, P::birth);
    EXPECT_TRUE(lf_setLivePhase(a, P::taxi, PhaseMemory::always));
    EXPECT_EQ(a.previousPhase, P::taxi);
    EXPECT_TRUE(lf_setLivePhase(a, P::parking, PhaseMemory::onChange));
    EXPECT_EQ(a.previousPhase, P::taxi);
    EXPECT_TRUE(lf_setLivePhase(a, P::parked, PhaseMemory::always));
    EXPECT_EQ(a.previousPhase, P::parking);

    // A new run logs a refused move again.
    gf_resetTrafficRun();
    LiveAc& b = lf_addAircraft(51.0, 7.0);
    EXPECT_FALSE(lf_setLivePhase(b, P::parking, PhaseMemory::always));
    EXPECT_FALSE(lf_setLivePhase(b, P::pushing_back, PhaseMemory::always));
    EXPECT_EQ(b.phase, P::birth);
    EXPECT_EQ(refusals(), 4);
}

}  // namespace
}  // namespace qel::test
