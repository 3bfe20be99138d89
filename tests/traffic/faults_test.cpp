// The faults mended in the traffic manager, each through the entry point where
// it showed.
#include <limits>

#include <nlohmann/json.hpp>

#include "foundation/globals.h"
#include "foundation/strings.h"
#include "realtraffic/decoding.h"
#include "traffic/curve_geometry.h"
#include "traffic/motion_road_fixture.h"
#include "traffic/sample_stream.h"
#include "traffic/traffic.h"
#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

using TrafficFaults = TrafficTest;
using FaultsAtTheField = MotionRoad;

// An active airborne aircraft with an object, flying toward a second sample.
LiveAc& lf_activeAircraft(uint32_t hex, uint32_t objectId, const std::string& callsign = "KLM56A")
{
    Report r;
    r.hex = hex;
    r.callsign = callsign;
    const LiveAircraftRecord rec = record(r);
    FlightData data = initLiveAc(rec);
    data.hexId = hex;
    LiveAc& aircraft = lf_appendLive(LiveAc(QueuedSample(rec.sample, 0), data, rec.reportTime_s));
    QueuedSample next = aircraft.samples.front();
    next.latitude += 0.01;
    next.dueTick = g_fastTicks + 3000;
    aircraft.samples.push_back(next);
    aircraft.phase = FlightPhase::flying;
    lf_setLiveState(aircraft, SimObjectState::active);
    lf_setLiveObjectId(aircraft, objectId);
    aircraft.position.latitude = r.lat;
    aircraft.position.longitude = r.lon;
    return aircraft;
}

TEST_F(TrafficFaults, StaticHexIdsSkipZeroAndIdsInUse)
{
    g_staticAcs.clear();
    std::vector<uint32_t> ids;
    for (int i = 0; i < 10000; ++i) ids.push_back(gf_nextStaticHexId());
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 0u), 0);
    EXPECT_EQ(*std::max_element(ids.begin(), ids.end()), 9999u);
    // An id still carried by a static aircraft is not handed out again.
    const uint32_t next = gf_nextStaticHexId();
    StaticAc taken;
    taken.hexId = next % 9999 + 1;
    g_staticAcs.push_back(taken);
    EXPECT_NE(gf_nextStaticHexId(), taken.hexId);
}

TEST_F(TrafficFaults, DroppedStaticsAreCompactedAndEmptyCallsignsNeverWaitForEver)
{
    StaticAc gone;
    gone.hexId = 5;
    gone.drop = 1;
    g_staticAcs.push_back(gone);
    // A spawned aircraft without callsign could never be paired with its object.
    Report r;
    StampedRecord rec{record(r)};
    lf_mergeReport(rec);
    LiveAc& aircraft = *live(r.hex);
    aircraft.callsign.clear();
    lf_setLiveState(aircraft, SimObjectState::adding2sim);
    g_spawnHexids.push_back(r.hex);
    tick(2);
    EXPECT_TRUE(g_staticAcs.empty());
    EXPECT_FALSE(live(r.hex));
    EXPECT_TRUE(g_liveCreateQueue.empty());
    EXPECT_EQ(countLike("==> lf_handleAddingStack ", " objectid = 0?"), 1);
}

TEST_F(TrafficFaults, ObjectsOfRecordsThatAreGoneAreRemovedAndNeverActivateANewcomer)
{
    start();
    // A creation for a hex id without record: the object would stay in the
    // simulator.
    const uint32_t orphan = createPaired(kA320, "ORPHAN1", 0x500001);
    ASSERT_NE(orphan, 0u);
    gf_postSimResult({orphan, 0x500001, 0, SimResultKind::liveCreated, 0.0, 1000.0});
    tick(20);
    EXPECT_FALSE(simstandin::object(orphan));
    // An entry waiting for activation whose record went is dropped, not kept for
    // a newcomer.
    LiveAc& aircraft = lf_activeAircraft(0x48548e, 0);
    lf_setLiveState(aircraft, SimObjectState::adding2sim);
    gf_postSimResult({150, 0x48548e, 0, SimResultKind::liveCreated, 0.0, 1000.0});
    tick();
    ASSERT_EQ(g_createdObjects.size(), 1u);
    lf_eraseLiveAc(*live(0x48548e));
    tick();
    EXPECT_TRUE(g_createdObjects.empty());
}

TEST_F(TrafficFaults, AFaultInOneAircraftRemovesItOnceAndTheOthersFlyOn)
{
    start();
    LiveAc& bad = lf_activeAircraft(0x48548e, 150, "BAD1");
    bad.samples.back().latitude = std::numeric_limits<double>::quiet_NaN();
    bad.samples.front().dueTick = g_fastTicks;
    lf_activeAircraft(0x48548f, 151, "GOOD1");
    tick(100);
    EXPECT_EQ(countLike("==> updateLiveAc: "), 1);
    EXPECT_EQ(stateOf(0x48548e), SimObjectState::removingfromsim);
    EXPECT_EQ(stateOf(0x48548f), SimObjectState::active);
    // An active record without object is erased at once instead of blocking its
    // hex id.
    LiveAc& lost = lf_activeAircraft(0x485490, 0, "LOST1");
    lost.samples.front().dueTick = g_fastTicks + 10;
    tick();
    EXPECT_FALSE(live(0x485490));
}

TEST_F(TrafficFaults, AFaultWhileMergingAReportCostsItsAircraftAndTheTicksGoOn)
{
    start();
    gf_reserveTrafficContainers();
    // A taxiing flight behind the user whose reports stop: it holds in place.
    Report a;
    a.lat = 51.2700;
    a.lon = 6.7800;
    a.alt_ft = 0.0;
    a.gs_kt = 15.0;
    a.track_deg = 0.0;
    Report b = a;
    b.lat += 0.0004;
    b.time_s += 6.0;
    livery(a.hex);
    std::vector<LiveAircraftRecord> one{record(a)};
    gf_pushAddingStack(one, 0);
    std::vector<LiveAircraftRecord> two{record(b)};
    gf_pushAddingStack(two, 6);
    ASSERT_TRUE(tickUntil([&] { return live(a.hex) && live(a.hex)->holding; }, 3000));
    const uint32_t id = live(a.hex)->objectId;
    // The user has it selected, and the window's list fails when the selection goes.
    g_selectedObjectId = id;
    g_trafficWindowHooks.refreshAcList = [] { throw std::runtime_error("list gone"); };
    // The next report is 1 km on: the holding aircraft is removed while the report merges. The
    // report of another flight follows it in the same poll.
    Report far = b;
    far.lat += 0.009;
    far.time_s += 60.0;
    Report other;
    other.hex = 0x48548f;
    other.callsign = "KLM57B";
    other.time_s = far.time_s;
    push({other, far}, 30);
    tick(5);
    EXPECT_EQ(count(fmt::format("==> lf_mergeReport: list gone hexid: {}, cs:KLM56A", a.hex)), 1);
    ASSERT_TRUE(live(other.hex));
    EXPECT_EQ(live(other.hex)->state, SimObjectState::buffer);
    tick(100);
    EXPECT_FALSE(live(a.hex));
    EXPECT_FALSE(simstandin::object(id));
    {
        std::scoped_lock lock(g_trafficMutex);
        EXPECT_TRUE(g_addingStack.empty());
    }
}

TEST_F(TrafficFaults, ParkedExtensionSaturatesItsDueTick)
{
    LiveAc& aircraft = lf_activeAircraft(0x48548e, 150);
    aircraft.phase = FlightPhase::parked;
    aircraft.samples.resize(1);
    aircraft.samples.front().dueTick = std::numeric_limits<int32_t>::max() - 100;
    lf_addSyntheticSample(aircraft, 1);
    EXPECT_EQ(aircraft.samples.back().dueTick, std::numeric_limits<int32_t>::max());
}

// The decoder lets report times from 0 to 1e11 s through. Among reports of today, a flight first
// reported at 0 falls due at the first tick, 56 years before its next report: its creation starts
// where the schedule has got to since, at that next report. One reported in the year 5138 falls
// due at the last tick, 248 days on, and so does its next report: it is not created now.
TEST_F(TrafficFaults, AFlightReportedAtTimeZeroStartsAtItsNextReportAndOneFarAheadWaits)
{
    start();
    Report zero;
    zero.time_s = 0.0;
    Report today;
    today.hex = 0x48548f;
    today.callsign = "KLM57B";
    today.lat = 51.32;
    Report ahead = today;
    ahead.hex = 0x485490;
    ahead.callsign = "KLM58C";
    ahead.lat = 51.34;
    ahead.time_s = 1e11 - 10.0;
    std::vector<Report> later;
    for (Report r : {zero, today, ahead}) {
        r.time_s = r.hex == ahead.hex ? 1e11 : today.time_s + 6.0;
        r.lat += 0.005;
        later.push_back(r);
        livery(r.hex);
    }
    // The first load's two steps.
    push({zero, today, ahead}, 0);
    push(later, 6);
    ASSERT_TRUE(tickUntil(
        [&] {
            return stateOf(zero.hex) == SimObjectState::active &&
                   stateOf(today.hex) == SimObjectState::active;
        },
        1000));
    const LatLon next{later[0].lat, later[0].lon};
    EXPECT_LT(gf_distanceNm(lf_here(*live(zero.hex)), next) * 1852.0, 1.0);
    EXPECT_EQ(stateOf(ahead.hex), SimObjectState::buffer);
}

TEST_F(TrafficFaults, RemovalWithdrawsByHexIdOnceAndPurgesWaitingSpawns)
{
    // Two flights under one callsign: only the removed one's request is
    // withdrawn.
    for (uint32_t hex : {0x48548eU, 0x48548fU}) {
        LiveAc& aircraft = lf_activeAircraft(hex, 0, "SAME1");
        lf_setLiveState(aircraft, SimObjectState::adding2sim);
        g_liveCreateQueue.push_back({{}, "SAME1", kA320, hex});
    }
    removeAircraftFromSim(*live(0x48548e));
    ASSERT_EQ(g_liveCreateQueue.size(), 1u);
    EXPECT_EQ(g_liveCreateQueue.front().hexId, 0x48548fU);
    EXPECT_TRUE(live(0x48548e)->dropWhileQueued);
    // A spawned aircraft still waiting for its request is purged, never created.
    LiveAc& waiting = lf_activeAircraft(0x485490, 0, "WAIT1");
    lf_setLiveState(waiting, SimObjectState::adding2sim);
    g_spawnHexids.push_back(0x485490);
    removeAircraftFromSim(waiting);
    EXPECT_TRUE(g_spawnHexids.empty());
    EXPECT_TRUE(waiting.dropWhileQueued);
    // Removal is idempotent.
    LiveAc& flying = lf_activeAircraft(0x485491, 160, "FLY1");
    removeAircraftFromSim(flying);
    removeAircraftFromSim(flying);
    EXPECT_EQ(g_removeIdQueue.size(), 1u);
}

TEST_F(TrafficFaults, BlockedCallsignsAndTheListFile)
{
    start();
    lf_activeAircraft(0x48548e, 150, "KLM56A");
    lf_activeAircraft(0x48548f, 151, "BLK1");
    gf_postSimResult({0, 0x48548f, 0, SimResultKind::callsignBlocked, 0.0, 0.0});
    tick();
    EXPECT_EQ(stateOf(0x48548f), SimObjectState::removingfromsim);
    EXPECT_TRUE(log_.contains(fmt::format("{} removed from simulator immediately while blocked",
                                          gf_flightDescription(*live(0x48548f)))));
    const ScopedWorkDir work;
    std::filesystem::create_directories(g_objectIdListTxt.parent_path());
    lf_writeTrafficCsv();
    // The object id as the chosen simulator numbers it (decimal for MSFS 2020).
    EXPECT_EQ(readFile(g_objectIdListTxt),
              fmt::format("{};KLM56A;PH-EXL;;A320;AIR;\n", gf_toHex(150)));
}

// Two first-load reports of a flight at 0 kt at the park airport, 9 s and 167 m apart on other
// tracks (what the decoder gives when the speed is missing), then one 6 s later 185 m north at
// 1500 ft and 72 kt. The aircraft, created taxiing, reaches that airborne sample on the ground;
// when its samples run out, the hold it lays is skipped as an airborne aircraft's standstill,
// again and again, and the main loop stayed inside that tick for good. It is removed instead,
// and the ticks go on.
TEST_F(FaultsAtTheField, SamplesThatMakeNoLegCostTheirAircraftNotTheMainLoop)
{
    startAt("no-leg", {});
    const LatLon field{g_parkAirport.latitude, g_parkAirport.longitude};
    const LatLon moved = gf_destinationPoint(field, 0.0, 167 / 0.3048);
    const Report first = reportAt(field, 0, 0, 90, 0);
    const Report second = reportAt(moved, 0, 0, 0, 9);
    const Report climbing =
        reportAt(gf_destinationPoint(moved, 0.0, 185 / 0.3048), 1500, 72, 0, 15);
    livery(first.hex);
    push({first}, 0);
    push({second}, 6);
    tick(100);
    push({climbing}, 30);
    ASSERT_TRUE(tickUntil([&] { return stateOf(first.hex) == SimObjectState::active; }, 1000));
    const uint32_t id = live(first.hex)->objectId;
    tick(6000);

    EXPECT_EQ(countLike("==> nextPosMain: ", "removed, its samples make no leg, sz:1, fs:taxi"), 1);
    EXPECT_FALSE(live(first.hex));
    EXPECT_FALSE(simstandin::object(id));
}

// KLM56A on the ground at the park airport as RealTraffic sends it, decoded as the Traffic Reader
// does: 48 elements, the speed and the place given.
LiveAircraftRecord lf_decoded(LatLon at, double speed_kt, double time_s)
{
    nlohmann::json r(48, nullptr);
    r[0] = "48548e";
    r[1] = at.lat;
    r[2] = at.lon;
    r[3] = 0.0;
    r[4] = 0.0;
    r[5] = speed_kt;
    r[8] = "A320";
    r[9] = "PH-EXL";
    r[10] = time_s;
    r[13] = "KLM56A";
    r[28] = "A3";
    rt::LiveDecodeContext context;
    context.reference = {kUserLat, kUserLon};
    context.parkAirport = ParkAirportReference{51.2895, 6.76678, 147.0F};
    rt::LiveDecodeState state;
    rt::processLine(r, context, state);
    if (state.records.size() != 1) throw std::runtime_error("not decoded");
    return state.records.front();
}

// An aircraft moving 46 m north every 5 s is reported at -5 kt: it goes north on its reports
// (at 5 kt every other one adds nothing) and comes to its last one, never beyond the newest.
// Taken as a speed, -5 kt ran it far beyond its reports and off south.
TEST_F(FaultsAtTheField, AnAircraftReportedAtANegativeSpeedFollowsItsPositions)
{
    startAt("negative-speed", {});
    const LatLon first{51.2860, 6.7600};
    std::vector<LatLon> places{first};
    for (int k = 1; k < 13; ++k) {
        places.push_back(gf_destinationPoint(places.back(), 0.0, 46 / 0.3048));
    }
    // How far north of the newest report handed over it gets, and south of the first, and the
    // fastest the simulator shows it.
    double ahead_m = 0.0;
    double south_m = 0.0;
    double fastest_kt = 0.0;
    std::size_t reported = 0;
    eachTick_ = [&] {
        const LiveAc* aircraft = live(0x48548e);
        if (!aircraft || aircraft->state != SimObjectState::active) return;
        const double lat = aircraft->position.latitude;
        ahead_m = std::max(ahead_m, (lat - places[reported - 1].lat) * 111'200.0);
        south_m = std::max(south_m, (first.lat - lat) * 111'200.0);
        if (const auto object = simstandin::object(aircraft->objectId)) {
            fastest_kt = std::max(fastest_kt, object->groundSpeed_kt);
        }
    };
    livery(0x48548e);
    for (reported = 1; reported <= places.size(); ++reported) {
        std::vector<LiveAircraftRecord> poll{lf_decoded(
            places[reported - 1], -5.0, 1'767'225'600.0 + 5.0 * static_cast<double>(reported))};
        gf_pushAddingStack(poll, 30);
        runTicks(0x48548e, 500);
    }
    reported = places.size();
    runTicks(0x48548e, 20000);

    EXPECT_LT(ahead_m, 5.0);
    EXPECT_LT(south_m, 1.0);
    // No faster than a watcher accepts of a flight reported at 5 kt: twice that and 5 kt.
    EXPECT_LT(fastest_kt, 15.0);
    ASSERT_NE(live(0x48548e), nullptr);
    // Its reports end: it rolls out from 5 kt, 2 m.
    EXPECT_LT(gf_distanceNm(lf_here(*live(0x48548e)), places.back()) * 1852.0, 5.0);
}

// A live aircraft taken out of the simulator while its reports may go on: the log says which
// and why. KLM56A taxies east at 15 kt, its reports pause for 60 s while it holds, and go on
// 460 m farther; KLM57B, parked on A1, is reported 300 m from it; KLM58C taxies 30 m beside
// KLM56A until its reports stop, 10 s before those of KLM56A pause; KLM59D, parked on A2 and
// reported there for a minute, is dropped by the simulator itself.
TEST_F(FaultsAtTheField, AnAircraftTakenOutWhileItIsStillReportedSaysWhy)
{
    const LatLon a1{51.2930, 6.7750};
    const LatLon a2{51.2900, 6.7700};
    startAt("removed-why", {ParkStand("A1", {}, a1.lat, a1.lon, 0.0, 30.0, false, false, false),
                            ParkStand("A2", {}, a2.lat, a2.lon, 0.0, 30.0, false, false, false)});
    LatLon p{51.2960, 6.7790};
    double t = 0;
    double alt = 0;
    std::vector<Report> reports{reportAt(p, 0, 15, 90, t)};
    reportLeg(reports, p, alt, t, 90, 15, 0, 6);
    std::vector<Report> after;
    reportLeg(after, p, alt, t, 90, 15, 0, 14);
    reports.insert(reports.end(), after.begin() + 12, after.end());
    for (Report& r : reports) r.registration.clear();
    for (std::size_t i = 0; i + 2 < 7; ++i) {
        Report beside = reports[i];
        const LatLon at = gf_destinationPoint({beside.lat, beside.lon}, 0.0, 30 / 0.3048);
        beside.lat = at.lat;
        beside.lon = at.lon;
        beside.hex = 0x485490;
        beside.callsign = "KLM58C";
        reports.push_back(beside);
    }
    standingAt(reports, 0x48548f, "KLM57B", a1, 0);
    const LatLon far = gf_destinationPoint(a1, kPi, 300 / 0.3048);
    reports.push_back(reports.back());
    reports.back().lat = far.lat;
    reports.back().lon = far.lon;
    reports.back().time_s += 30;
    standingAt(reports, 0x485491, "KLM59D", a2, 0);
    standingAt(reports, 0x485491, "KLM59D", a2, 40);
    livery(0x48548e);
    livery(0x48548f);
    livery(0x485490);
    livery(0x485491);
    // A poll for each report time, as far apart in ticks as in time.
    const auto polls = pollsOf(reports);
    bool dropped = false;
    for (std::size_t i = 0; i < polls.size(); ++i) {
        push(polls[i], 30);
        const double next_s = i + 1 < polls.size() ? polls[i + 1].front().time_s : 0.0;
        tick(i + 1 < polls.size() ? static_cast<int>(100 * (next_s - polls[i].front().time_s))
                                  : 500);
        const LiveAc* d = live(0x485491);
        if (!dropped && d && d->state == SimObjectState::active) {
            simstandin::dropObject(d->objectId);
            dropped = true;
        }
    }

    EXPECT_EQ(countLike("          KLM56A   removed, reported 4", " m from where it held"), 1);
    EXPECT_EQ(count("A1      : KLM57B   removed, reported 300 m from its stand"), 1);
    EXPECT_EQ(count("          KLM58C   removed, its reports paused beside another taxiing "
                    "aircraft"),
              1);
    ASSERT_TRUE(dropped);
    EXPECT_EQ(count("A2      : KLM59D   removed, the simulator took it out"), 1);
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject"), 3);
}

}  // namespace
}  // namespace qel::test
