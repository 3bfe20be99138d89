// Live flights at the park airport through the real entry points and the stand-in simulator: an
// arrival that flares, touches down on the runway, rolls out, taxis and parks on a free stand;
// a departure that leaves its stand, taxis and takes off, its roll gathering speed plausibly also
// when the main loop catches up; a later arrival taking over a silent aircraft's stand and one
// without a stand holding until it is removed; a landed aircraft towed to another stand; a flight
// created again with the livery its new registration brings, beside one returning to the park
// airport that keeps its route. The stand-in's traces are kept in the build folder
// (test-tracks/) for the track picture.
#include <algorithm>
#include <numbers>
#include <tuple>

#include "foundation/catalogue.h"
#include "liveries/livery_db.h"
#include "scenery/stand_snapshot.h"
#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

TEST_F(MotionRoad, ArrivalFlaresLandsRollsOutTaxisAndParksOnTheFreeStand)
{
    LatLon p{};
    double taxi_deg = 0;
    const std::vector<Report> reports = arrivalOnto23L(0x48548e, 0, p, taxi_deg);
    // Stand A1 lies 10 m beyond the stop.
    const LatLon stand = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 10 / 0.3048);
    startAt("arrival", {ParkStand("A1", {}, stand.lat, stand.lon, taxi_deg * kRadPerDeg, 30.0,
                                  false, false, false),
                        ParkStand("A2", {}, stand.lat + 0.001, stand.lon, 0.0, 30.0, false,
                                  false, false)});
    // A2 learned this flight today under a second callsign, and a static aircraft under that
    // callsign stands in for it: the stand check learns the callsign first, then removes it.
    // The registration is known to the aircraft database: its codes replace the flight's,
    // its route stays.
    const MatchKey fleet{7, 0, gf_modelIndex("A320"), 0, 0};
    g_registrations = {{"PH-EXL", fleet}};
    gf_writeDayAndSlot();
    LearnedFlight learned;
    learned.codes = fleet;
    learned.callsign = "KLM56A";
    learned.callsign2 = "KL1234";
    learned.day = static_cast<uint32_t>(gf_weekdayOfDayAndSlot(g_dayAndSlot));
    learned.slots.set(static_cast<std::size_t>(gf_slotOfDayAndSlot(g_dayAndSlot)));
    learned.number = 1;
    g_parkStands[1].learnedFlights = {learned};
    FlightData standIn;
    standIn.hexId = 17;
    standIn.callsign = "KL1234";
    standIn.secondCallsign = "KL1234";
    standIn.registration = "PH-BXA";
    g_staticAcs.emplace_back(standIn, 2, stand.lat + 0.001, stand.lon, 0.0, false);
    g_staticAcs.back().state = SimObjectState::active;
    lf_reindexTraffic();
    livery(0x48548e);
    watchSpeed(0x48548e);
    fly(0x48548e, reports, 6000);

    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    EXPECT_EQ(aircraft->thirdText, "KL1234");
    const StaticAc* statik = lf_findStatic(17);
    EXPECT_TRUE(!statik || statik->state == SimObjectState::removingfromsim);
    // Parking taught A1 this flight with its fleet's codes; the window shows the count.
    ASSERT_EQ(g_parkStands[0].learnedFlights.size(), 1u);
    EXPECT_EQ(g_parkStands[0].learnedFlights[0].codes.airline, 7);
    EXPECT_EQ(aircraft->key.airline, 7);
    EXPECT_EQ(std::string(aircraft->origin.data(), 3), "AMS");
    EXPECT_EQ(std::string(aircraft->destination.data(), 3), "DUS");
    EXPECT_GT(g_learnedUpdates, 0);
    EXPECT_EQ(g_trafficWindowStatus.updateCount, g_learnedUpdates);
    for (const auto& phase : {"flying", "taxi", "parking", "parked"}) {
        EXPECT_TRUE(went(phase)) << phase;
    }
    EXPECT_EQ(aircraft->phase, FlightPhase::parked);
    EXPECT_EQ(aircraft->standId, 1u);
    EXPECT_LT(gf_distanceNm({aircraft->position.latitude, aircraft->position.longitude}, stand) * 1852,
              2.0);
    // Touching down, rolling out, turning off at a right angle and parking, it changes its
    // speed by no more than 10 kt in a second.
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    // Nor does it gather speed again on its way in: past the tightest point of the turn-off it
    // goes on down to its taxi speed, instead of running up to the speed that would keep the
    // leg's time and braking for the taxi speed after.
    double slowest_kt = HUGE_VAL;
    double regained_kt = 0.0;
    for (const double shown_kt : shown_kt_) {
        slowest_kt = std::min(slowest_kt, shown_kt);
        regained_kt = std::max(regained_kt, shown_kt - slowest_kt);
    }
    EXPECT_LE(regained_kt, 1.0);
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(MotionRoad, DepartureLeavesItsStandTaxisAndTakesOff)
{
    const double runway_deg = gf_bearingRad(kThreshold23L, kEnd05R) / kRadPerDeg;
    // Stand B1 faces the runway from 300 m south-east of its threshold end.
    const LatLon lineUp = gf_destinationPoint(kThreshold23L, runway_deg * kRadPerDeg, 300 / 0.3048);
    const double standHeading_deg = runway_deg - 90;
    const LatLon stand =
        gf_destinationPoint(lineUp, (runway_deg + 90) * kRadPerDeg, 250 / 0.3048);
    startAt("departure", {ParkStand("B1", {}, stand.lat, stand.lon,
                                    (standHeading_deg + 360) * kRadPerDeg, 30.0, false, false,
                                    false)});
    livery(0x48548e);
    std::vector<Report> reports;
    double t = 0;
    double alt = 0;
    for (int i = 0; i < 4; ++i) {
        reports.push_back(reportAt(stand, 0, 0, standHeading_deg, t));
        t += 5;
    }
    // Pushed back, tail first, away from the runway; then taxi to the runway and roll.
    LatLon p = stand;
    reportLeg(reports, p, alt, t, standHeading_deg + 180, 4, 0, 9);
    const double toLineUp = gf_bearingRad(p, lineUp) / kRadPerDeg;
    const int legs = static_cast<int>(gf_distanceNm(p, lineUp) * 1852 / (15 * 5 * 0.514444));
    reportLeg(reports, p, alt, t, toLineUp, 15, 0, legs);
    for (double v : {40.0, 80.0, 120.0, 150.0}) reportLeg(reports, p, alt, t, runway_deg, v, 0, 1);
    alt = 50;
    reportLeg(reports, p, alt, t, runway_deg, 160, 1500, 14);
    fly(0x48548e, reports, 3000);

    for (const auto& phase : {"parked", "pushing_back", "pushed_back", "taxi", "take_off",
                              "flying"}) {
        EXPECT_TRUE(went(phase)) << phase;
    }
    // The roll gathers speed up to the reported 150 kt, also across the main loop's catch-up,
    // and the simulator shows no more than that.
    ASSERT_TRUE(caughtUp_);
    ASSERT_GE(rollSpeeds_kt_.size(), 10u);
    for (std::size_t i = 0; i < rollSpeeds_kt_.size(); ++i) {
        EXPECT_LE(rollSpeeds_kt_[i], 160.0) << i;
    }
    EXPECT_GT(rollSpeeds_kt_.back(), 120.0);
    EXPECT_LE(shownRollSpeed_kt_, 160.0);
    // Lining up along a curve, it turns as it rolls: it never stops to turn once it rolls.
    const auto rolling = std::find_if(rollSpeeds_kt_.begin(), rollSpeeds_kt_.end(),
                                      [](double v) { return v > 20.0; });
    EXPECT_TRUE(std::all_of(rolling, rollSpeeds_kt_.end(), [](double v) { return v > 10.0; }));
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(MotionRoad, ALaterArrivalTakesTheStandOfASilentParkedOneAndOneWithoutAStandHolds)
{
    // Three flights a minute apart. The first parks on A1 and its reports stop; the second
    // stops where the first did and takes A1 over; the third stops on the taxiway 90 m short,
    // with no stand in reach, and waits there.
    LatLon p{};
    double taxi_deg = 0;
    std::vector<Report> reports = arrivalOnto23L(0x48548e, 0, p, taxi_deg);
    const LatLon stand = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 10 / 0.3048);
    struct Flight {
        uint32_t hex;
        const char* callsign;
        const char* registration;
        int taxiLegs;
    };
    for (const Flight f :
         {Flight{0x48548f, "KLM57B", "PH-EXM", 7}, Flight{0x485490, "KLM58C", "PH-EXN", 4}}) {
        LatLon stop{};
        for (Report r :
             arrivalOnto23L(f.hex, 60.0 * (f.hex - 0x48548e), stop, taxi_deg, f.taxiLegs)) {
            r.callsign = f.callsign;
            r.registration = f.registration;
            reports.push_back(r);
        }
    }
    startAt("stand-taken",
            {ParkStand("A1", {}, stand.lat, stand.lon, taxi_deg * kRadPerDeg, 30.0, false, false,
                       false),
             ParkStand("A2", {}, stand.lat + 0.001, stand.lon, 0.0, 30.0, false, false, false)});
    MAX_HOLDING_MINUTES.current = 1;
    for (uint32_t hex : {0x48548eu, 0x48548fu, 0x485490u}) livery(hex);
    fly(0x485490, reports, 3000);

    EXPECT_EQ(count("A1      : KLM56A   removed, KLM57B wants to park there"), 1);
    EXPECT_EQ(stateOf(0x48548e), SimObjectState::removingfromsim);
    const LiveAc* second = live(0x48548f);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->phase, FlightPhase::parked);
    EXPECT_EQ(second->standId, 1u);
    const LiveAc* third = live(0x485490);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->standId, 0u);
    EXPECT_EQ(third->phase, FlightPhase::taxi);
    EXPECT_EQ(third->holding, 1);
    EXPECT_EQ(third->state, SimObjectState::active);
    // Once it has held for more whole minutes than allowed, it is removed.
    runTicks(0x485490, 12000);
    EXPECT_EQ(stateOf(0x485490), SimObjectState::removingfromsim);
    EXPECT_EQ(live(0x48548f)->phase, FlightPhase::parked);
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(MotionRoad, AnAircraftThatLeftItsStandNeitherHidesNorFreesTheAircraftStandingThereNow)
{
    // A1 and A3 lie on the taxiway of the arrivals onto 23L, 10 m beyond where KLM58C and
    // KLM60E stop; A2 lies 35 m beside A1, close enough to collide with it.
    LatLon stop1{}, stop3{};
    double taxi_deg = 0;
    std::vector<Report> reports;
    for (Report r : arrivalOnto23L(0x485490, 100, stop1, taxi_deg)) {
        r.callsign = "KLM58C";
        r.registration.clear();
        reports.push_back(r);
    }
    for (Report r : arrivalOnto23L(0x485492, 240, stop3, taxi_deg, 4)) {
        r.callsign = "KLM60E";
        r.registration.clear();
        reports.push_back(r);
    }
    const LatLon a1 = gf_destinationPoint(stop1, taxi_deg * kRadPerDeg, 10 / 0.3048);
    const LatLon a3 = gf_destinationPoint(stop3, taxi_deg * kRadPerDeg, 10 / 0.3048);
    const double aside_deg = taxi_deg + 90;
    const LatLon a2 = gf_destinationPoint(a1, aside_deg * kRadPerDeg, 35 / 0.3048);
    // KLM56A stands on A2, pulls out straight ahead and taxis on; KLM57B then appears on A2.
    standingAt(reports, 0x48548e, "KLM56A", a2, 0);
    LatLon at = a2;
    double alt = 0;
    double t = 40;
    reportLeg(reports, at, alt, t, aside_deg, 5, 0, 4);
    reportLeg(reports, at, alt, t, aside_deg, 15, 0, 50);
    for (auto& r : reports) {
        if (r.hex == 0x48548e) r.callsign = "KLM56A";
    }
    standingAt(reports, 0x48548f, "KLM57B", a2, 100);
    // KLM59D stands on A3, facing away from the taxiway, and is pushed back 60 m across it,
    // while KLM60E lands for A3.
    standingAt(reports, 0x485491, "KLM59D", a3, 0);
    at = a3;
    t = 240;
    std::vector<Report> pushed;
    reportLeg(pushed, at, alt, t, aside_deg, 4, 0, 6);
    pushed.push_back(reportAt(at, 0, 0, aside_deg, t += 5));
    for (Report& r : pushed) {
        r.hex = 0x485491;
        r.callsign = "KLM59D";
        r.registration.clear();
        reports.push_back(r);
    }
    const auto stand = [](const char* id, LatLon p, double heading_deg) {
        return ParkStand(id, {}, p.lat, p.lon, heading_deg * kRadPerDeg, 30.0, false, false, false);
    };
    startAt("left-stand", {stand("A1", a1, taxi_deg), stand("A2", a2, aside_deg),
                           stand("A3", a3, taxi_deg - 90)});
    g_parkStands[0].overlaps = {2};
    g_parkStands[1].overlaps = {1};
    for (uint32_t hex = 0x48548e; hex <= 0x485492; ++hex) livery(hex);
    MAX_PARK_SEL.current = 0;
    // The user removes the pushed-back KLM59D while KLM60E drives onto A3.
    uint32_t a3HolderAfterRemoval = 0;
    eachTick_ = [&] {
        const LiveAc* parking = live(0x485492);
        if (parking && parking->phase == FlightPhase::parking &&
            stateOf(0x485491) == SimObjectState::active) {
            gf_removeLiveByCallsign("KLM59D");
            a3HolderAfterRemoval = lf_standUse(g_parkStands[2]).occupantHexId;
        }
    };
    fly(0x485492, reports, 3700);

    EXPECT_EQ(count("A2      : KLM56A   pulling out"), 1);
    EXPECT_EQ(stateOf(0x48548e), SimObjectState::active);  // still taxiing
    EXPECT_EQ(count("A2      : KLM57B   removed by parking KLM58C at adjacent and possibly "
                    "colliding stand A1"),
              1);
    EXPECT_EQ(stateOf(0x48548f), SimObjectState::removingfromsim);
    const LiveAc* first = live(0x485490);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->phase, FlightPhase::parked);
    EXPECT_EQ(first->standId, 1u);
    EXPECT_EQ(stateOf(0x485491), SimObjectState::removingfromsim);
    EXPECT_EQ(a3HolderAfterRemoval, 0x485492u);
    const LiveAc* second = live(0x485492);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->phase, FlightPhase::parked);
    EXPECT_EQ(second->standId, 3u);
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(MotionRoad, AFlightAheadOfAUserInTheAirIsHeldButAnAircraftStandingThereIsNot)
{
    // The user climbs out northwards 1.5 nm south of A1. KLM56A stands on A1; KLM57B flies
    // north 1 nm ahead of the user, the way it goes; KLM58C flies south over the same spot,
    // towards the user.
    const LatLon a1{51.2895, 6.767};
    std::vector<Report> reports;
    standingAt(reports, 0x48548e, "KLM56A", a1, 0);
    for (const auto& [hex, callsign, track_deg] :
         {std::tuple{0x48548fU, "KLM57B", 0.0}, std::tuple{0x485490U, "KLM58C", 180.0}}) {
        LatLon at = gf_destinationPoint(a1, kPi, 0.5 * kFeetPerNm);
        double alt = 2500;
        double t = 0;
        std::vector<Report> leg{reportAt(at, alt, 160, track_deg, t)};
        reportLeg(leg, at, alt, t, track_deg, 160, 0, 4);
        for (Report& r : leg) {
            r.hex = hex;
            r.callsign = callsign;
            r.registration.clear();
            reports.push_back(r);
        }
    }
    startAt("ahead-of-user", {ParkStand("A1", {}, a1.lat, a1.lon, 0.0, 30.0, false, false, false)});
    for (uint32_t hex = 0x48548e; hex <= 0x485490; ++hex) livery(hex);
    eachTick_ = [&] {
        g_userState.onGround = false;
        g_userState.latitude = 51.265;
        g_userState.longitude = 6.767;
        g_userState.altitude_ft = 2000.0;
        g_userState.altAboveGround_ft = 1850.0;
        g_userState.heading_rad = 0.0;
    };
    fly(0x48548e, reports, 3000);

    EXPECT_EQ(stateOf(0x48548e), SimObjectState::active);
    EXPECT_EQ(stateOf(0x485490), SimObjectState::active);
    const LiveAc* ahead = live(0x48548f);
    EXPECT_TRUE(!ahead || (ahead->heldForUser && ahead->objectId == 0));
    expectNoException();
}

TEST_F(MotionRoad, AnArrivalDrivingOntoItsStandGoesWithTheParkAirportTheUserLeaves)
{
    // The user flies out of sight of the park airport while KLM56A drives onto A1: it goes
    // with the other ground traffic there and never parks on a stand of a table that is gone.
    const std::vector<Report> reports = arrivalToA1("left-airport");
    bool left = false;
    eachTick_ = [&] {
        const LiveAc* aircraft = live(0x48548e);
        if (!gf_parkAirportSet() || !aircraft || aircraft->phase != FlightPhase::parking) return;
        left = true;
        g_userState.onGround = false;
        g_userState.latitude = g_parkAirport.latitude + 1.0;
        g_userState.longitude = g_parkAirport.longitude;
        g_userState.altAboveGround_ft = 5000.0;
        lf_checkUserPosition(false);
    };
    fly(0x48548e, reports, 3000);

    ASSERT_TRUE(left);
    EXPECT_FALSE(gf_parkAirportSet());
    EXPECT_EQ(stateOf(0x48548e), SimObjectState::removingfromsim);
    EXPECT_EQ(count("A1      : KLM56A   arrived at stand"), 0);
    const auto lines = log_.lines();
    EXPECT_FALSE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("KLM56A   arrived at stand") != std::string::npos;
    }));
}

TEST_F(MotionRoad, AGoAroundAfterTheFlareBeganTakesTheReportsThatFollow)
{
    // The park airport's stand file puts the field 200 ft above the runway KLM56A approaches:
    // it flares 200 ft high, goes around at 1500 ft/min and is then reported under another
    // callsign, which it takes.
    const double runway_deg = gf_bearingRad(kThreshold23L, kEnd05R) / kRadPerDeg;
    LatLon p = gf_destinationPoint(kThreshold23L, (runway_deg + 180) * kRadPerDeg, 2 * kFeetPerNm);
    double alt = 147 + 640;
    double t = 0;
    std::vector<Report> reports{reportAt(p, alt, 140, runway_deg, t)};
    reportLeg(reports, p, alt, t, runway_deg, 140, -740, 8);
    reportLeg(reports, p, alt, t, runway_deg, 140, 1500, 14);
    for (std::size_t i = 15; i < reports.size(); ++i) reports[i].callsign = "KLM77G";
    startAt("go-around", {});
    g_parkAirport.altitude = 347.0F;
    GUID_CHANGES.current = false;
    livery(0x48548e);
    bool flared = false;
    eachTick_ = [&] {
        if (const LiveAc* aircraft = live(0x48548e); aircraft && aircraft->landing) flared = true;
    };
    fly(0x48548e, reports, 500);

    EXPECT_TRUE(flared);
    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    EXPECT_EQ(aircraft->state, SimObjectState::active);
    EXPECT_FALSE(went("taxi"));  // never touched down
    EXPECT_EQ(aircraft->landing, 0);
    EXPECT_EQ(aircraft->callsign, "KLM77G");
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(MotionRoad, ANewcomerWhoseNeighbourStandIsBlockedLeavesTheParkedOccupantInPlace)
{
    // A1 and A2 are 25 m apart: two airliners cannot stand on both. KLM56A parks on A1 and falls
    // silent (its stand no longer held), DLH8A parks on A2; then KLM57B is reported standing on
    // A1. It may not have A1, and KLM56A must not be removed for it.
    const LatLon a1{51.2720, 6.7750};
    const LatLon a2 = gf_destinationPoint(a1, std::numbers::pi / 2, 25 / 0.3048);
    startAt("neighbour", {ParkStand("A1", {}, a1.lat, a1.lon, 0.0, 30.0, false, false, false),
                          ParkStand("A2", {}, a2.lat, a2.lon, 0.0, 30.0, false, false, false)});
    g_parkStands[0].overlaps = {2};
    // Both stands may take live aircraft.
    CUSTOM_PARKING_PERCENTAGE.current = 100;
    gf_reserveTrafficContainers();
    const auto parkedAt = [this](uint32_t hex, const char* callsign, LatLon at) {
        livery(hex);
        // Standing still: a report 18 s after the first, as one only 15 s newer adds nothing.
        for (int k : {0, 3}) {
            Report r = reportAt(at, 0, 0, 0, 6.0 * k);
            r.hex = hex;
            r.callsign = callsign;
            r.registration.clear();
            std::vector<LiveAircraftRecord> step{record(r)};
            gf_pushAddingStack(step, 6 * k);
        }
        return tickUntil([hex] { return stateOf(hex) == SimObjectState::active; }, 1000);
    };
    ASSERT_TRUE(parkedAt(0x48548e, "KLM56A", a1));
    ASSERT_TRUE(parkedAt(0x3c4b26, "DLH8A", a2));
    EXPECT_EQ(live(0x48548e)->standId, 1u);
    EXPECT_EQ(live(0x3c4b26)->standId, 2u);
    EXPECT_EQ(lf_standUse(g_parkStands[0]).occupantHexId, 0u);
    livery(0x48548f);
    for (int k : {0, 3}) {
        Report r = reportAt(a1, 0, 0, 0, 6.0 * k);
        r.hex = 0x48548f;
        r.callsign = "KLM57B";
        r.registration.clear();
        std::vector<LiveAircraftRecord> step{record(r)};
        gf_pushAddingStack(step, 6 * k);
    }
    tick(300);
    EXPECT_FALSE(live(0x48548f));
    EXPECT_EQ(stateOf(0x48548e), SimObjectState::active);
    EXPECT_EQ(live(0x48548e)->phase, FlightPhase::parked);
    EXPECT_EQ(callCount("SimConnect_AIRemoveObject"), 0);
}

TEST_F(MotionRoad, AStayAcrossMidnightIsLearnedOnBothDays)
{
    // KLM56A lands on Thursday at 22:40 (half hour 45), parks on A1 and pulls out on Friday at
    // 01:10 (half hour 2): A1 learns Thursday's half hours 45 to 47 and Friday's 0 to 2.
    clock_->advance(std::chrono::hours(22) + std::chrono::minutes(38));
    const std::vector<Report> reports = arrivalToA1("midnight");
    const LatLon a1{g_parkStands[0].latitude, g_parkStands[0].longitude};
    const double taxi_deg = g_parkStands[0].heading / kRadPerDeg;
    g_registrations = {{"PH-EXL", MatchKey{7, 0, gf_modelIndex("A320"), 0, 0}}};
    fly(0x48548e, reports, 3000);
    ASSERT_EQ(live(0x48548e)->phase, FlightPhase::parked);
    clock_->advance(std::chrono::hours(2) + std::chrono::minutes(30));
    std::vector<Report> leaving;
    double t = reports.back().time_s - Report{}.time_s + 9000;
    double alt = 0;
    LatLon at = a1;
    reportLeg(leaving, at, alt, t, taxi_deg, 5, 0, 6);
    fly(0x48548e, leaving, 500);

    ASSERT_TRUE(went("taxi"));
    const auto& options = g_parkStands[0].learnedFlights;
    const auto on = [&](uint32_t day) {
        return std::find_if(options.begin(), options.end(),
                            [day](const LearnedFlight& o) { return o.day == day; });
    };
    ASSERT_NE(on(4), options.end());
    ASSERT_NE(on(5), options.end());
    for (const int slot : {45, 46, 47}) EXPECT_TRUE(on(4)->slots.test(slot)) << slot;
    for (const int slot : {0, 1, 2}) EXPECT_TRUE(on(5)->slots.test(slot)) << slot;
    EXPECT_EQ(on(4)->callsign, "KLM56A");
    EXPECT_EQ(on(5)->callsign, "KLM56A");
    EXPECT_EQ(on(5)->cpl, 1);
    EXPECT_EQ(options.size(), 2u);
}

TEST_F(MotionRoad, AnAircraftLeavingAStandItLeftEarlierTodayIsLearnedComplete)
{
    // PH-EXL stands on A1 from 10:00 and pulls out at 10:30; back at 14:30, it pulls out again
    // at 15:00. The second departure's half hour is learned as a stay of its own that is over.
    clock_->advance(std::chrono::hours(10));
    const LatLon a1{51.2960, 6.7790};
    startAt("left-again", {ParkStand("A1", {}, a1.lat, a1.lon, 0.0, 30.0, false, false, false)});
    g_registrations = {{"PH-EXL", MatchKey{7, 0, gf_modelIndex("A320"), 0, 0}}};
    COLLISION_USER_AIR.current = false;
    double t = 0;
    for (const uint32_t hex : {0x48548eu, 0x48548fu}) {
        livery(hex);
        std::vector<Report> stay;
        standingAt(stay, hex, hex == 0x48548eu ? "KLM56A" : "KLM58C", a1, t);
        for (Report& r : stay) r.registration = "PH-EXL";
        fly(hex, stay, 4000);
        clock_->advance(std::chrono::minutes(30));
        std::vector<Report> leaving;
        LatLon at = a1;
        double alt = 0;
        t += 1800;
        reportLeg(leaving, at, alt, t, 0, 5, 0, 6);
        for (Report& r : leaving) {
            r.hex = hex;
            r.callsign = stay.front().callsign;
        }
        fly(hex, leaving, 500);
        EXPECT_EQ(count("A1      : " + stay.front().callsign + "   pulling out"), 1);
        clock_->advance(std::chrono::hours(4));
        t += 14400;
    }

    const auto& options = g_parkStands[0].learnedFlights;
    ASSERT_EQ(options.size(), 3u);
    EXPECT_TRUE(options[0].slots.test(20) && options[0].slots.test(21));
    EXPECT_EQ(options[0].cpl, 1);
    EXPECT_TRUE(options[1].slots.test(29));  // the stay that began at 14:30
    EXPECT_TRUE(options[2].slots.test(30));
    EXPECT_EQ(options[2].cpl, 1);
}

TEST_F(MotionRoad, BelowAThousandFeetAwayFromTheParkAirportADescentStaysADescent)
{
    // KLM56A descends at 600 ft/min from 900 to 400 ft above the ground, 20 nm from the park
    // airport (no approach): the slow-climb floor must not turn its descent into a climb.
    startAt("low-descent", {});
    LatLon p{51.60, 6.95};
    double alt = 147 + 900;
    double t = 0;
    std::vector<Report> reports{reportAt(p, alt, 140, 230, t)};
    reportLeg(reports, p, alt, t, 230, 140, -600, 10);
    livery(0x48548e);
    double highest_ft = 0.0;
    double lowest_ft = 1e9;
    eachTick_ = [&] {
        const LiveAc* aircraft = live(0x48548e);
        if (!aircraft || aircraft->state != SimObjectState::active) return;
        if (const auto object = simstandin::object(aircraft->objectId)) {
            highest_ft = std::max(highest_ft, object->altitude_ft);
            lowest_ft = std::min(lowest_ft, object->altitude_ft);
        }
    };
    fly(0x48548e, reports, 4000);

    EXPECT_LT(highest_ft, 147 + 900 + 10);
    EXPECT_LT(lowest_ft, 147 + 600);
    expectNoException();
    expectFacingWhereTheyGo();
}

// KLM56A taxiing east at `gs_kt` for a minute; `p` and `t_s` end where and when it is then.
std::vector<Report> lf_taxiingEast(LatLon& p, double& t_s, double gs_kt = 10)
{
    p = {51.2960, 6.7790};
    double alt = 0;
    std::vector<Report> reports{reportAt(p, 0, gs_kt, 90, t_s)};
    reportLeg(reports, p, alt, t_s, 90, gs_kt, 0, 12);
    return reports;
}

TEST_F(MotionRoad, ATaxiingAircraftThatTurnsBackTurnsOnTheSpotAndTaxisOn)
{
    // KLM56A taxis east at 20 kt for a minute, is then reported going back west and stops: it
    // brakes to a stop, turns round on the spot, in seconds, and taxis on facing west.
    startAt("turn-back", {});
    LatLon p{};
    double t = 0;
    std::vector<Report> reports = lf_taxiingEast(p, t, 20);
    double alt = 0;
    reportLeg(reports, p, alt, t, 270, 20, 0, 8);
    const LatLon stop = p;
    for (int i = 0; i < 2; ++i) reports.push_back(reportAt(stop, 0, 0, 270, t += 20));
    livery(0x48548e);
    watchSpeed(0x48548e);
    int32_t stillFrom = -1;
    int32_t longestStill = 0;
    int32_t turnedAt = -1;
    bool arrived = false;
    double fastest_kt = 0.0;  // until it has gathered its reported speed again after it turned
    bool gathered = false;
    double catchingUp_kt = 0.0;  // from then on
    LatLon last{};
    eachTick_ = [&] {
        const LiveAc* aircraft = live(0x48548e);
        if (arrived || !aircraft || aircraft->state != SimObjectState::active) return;
        const LatLon here{aircraft->position.latitude, aircraft->position.longitude};
        if (turnedAt < 0 && std::abs(aircraft->position.heading_rad / kRadPerDeg - 270.0) < 5.0) {
            turnedAt = g_fastTicks;
        }
        const double shown_kt = simstandin::object(aircraft->objectId)->groundSpeed_kt;
        gathered = gathered || (turnedAt >= 0 && shown_kt >= 19.5);
        double& fastest = gathered ? catchingUp_kt : fastest_kt;
        fastest = std::max(fastest, shown_kt);
        if (turnedAt >= 0) arrived = gf_distanceNm(here, stop) * 1852.0 < 5.0;
        if (std::abs(here.lat - last.lat) < 1e-9 && std::abs(here.lon - last.lon) < 1e-9) {
            if (stillFrom < 0) stillFrom = g_fastTicks;
            longestStill = std::max(longestStill, g_fastTicks - stillFrom);
        } else {
            stillFrom = -1;
        }
        last = here;
    };
    fly(0x48548e, reports, 3000);

    ASSERT_TRUE(arrived);
    EXPECT_TRUE(went("taxi"));
    EXPECT_LT(longestStill, 1200);  // 160 degrees at three times the ground turn rate: 8 s
    EXPECT_NEAR(live(0x48548e)->position.heading_rad / kRadPerDeg, 270.0, 25.0);
    // It does not run faster than its reported 20 kt to have time to brake for the turn, nor
    // after it, as it gathers speed again; then it makes up the time the turn took at about a
    // tenth faster than reported.
    EXPECT_LE(fastest_kt, 20.5);
    EXPECT_LE(catchingUp_kt, 23.0);
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    expectNoException();
    expectFacingWhereTheyGo();
}

// KLM56A taxiing east at 10 kt for a minute, then standing for 40 s at `p`.
std::vector<Report> lf_taxiingEastToAStop(LatLon& p)
{
    double t = 0;
    std::vector<Report> reports = lf_taxiingEast(p, t);
    for (int i = 0; i < 2; ++i) reports.push_back(reportAt(p, 0, 0, 90, t += 20));
    return reports;
}

TEST_F(MotionRoad, AnAircraftStoppingPastItsStandTurnsAndDrivesOntoItNoseFirst)
{
    // KLM56A taxis east and stops with A1 14 m behind it to its right, facing north: it turns
    // on the spot, drives onto the stand facing where it goes, turns there on the spot and
    // stands on it facing north.
    LatLon p{};
    const std::vector<Report> reports = lf_taxiingEastToAStop(p);
    const LatLon a1 =
        gf_destinationPoint(gf_destinationPoint(p, kPi, 12 / 0.3048), kPi * 1.5, 8 / 0.3048);
    startAt("past-stand", {ParkStand("A1", {}, a1.lat, a1.lon, 0.0, 30.0, false, false, false)});
    livery(0x48548e);
    fly(0x48548e, reports, 4000);

    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    EXPECT_EQ(aircraft->phase, FlightPhase::parked);
    EXPECT_EQ(aircraft->standId, 1u);
    EXPECT_LT(gf_distanceNm({aircraft->position.latitude, aircraft->position.longitude}, a1) * 1852,
              2.0);
    EXPECT_LT(std::abs(lf_wrapPi(aircraft->position.heading_rad)) / kRadPerDeg, 5.0);
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(MotionRoad, AnAircraftWhoseStandFacesTheWayItComesDrivesOntoItAndTurnsThereOnTheSpot)
{
    // KLM56A taxis east and stops 15 m short of A1, which faces west, towards it: it drives onto
    // the stand and turns round there on the spot. It never passes the stand to drive back onto
    // it, nor swings round faster than it turns on the spot.
    LatLon p{};
    const std::vector<Report> reports = lf_taxiingEastToAStop(p);
    const LatLon a1 = gf_destinationPoint(p, kPi / 2, 15 / 0.3048);
    startAt("stand-facing",
            {ParkStand("A1", {}, a1.lat, a1.lon, kPi * 1.5, 30.0, false, false, false)});
    livery(0x48548e);
    double nearest_m = 1e9;
    double wentBack_m = 0.0;  // farther from the stand than it had come already
    eachTick_ = [&] {
        const LiveAc* aircraft = live(0x48548e);
        if (!aircraft || aircraft->phase != FlightPhase::parking) return;
        const double d_m = gf_distanceNm(lf_here(*aircraft), a1) * 1852.0;
        nearest_m = std::min(nearest_m, d_m);
        wentBack_m = std::max(wentBack_m, d_m - nearest_m);
    };
    fly(0x48548e, reports, 4000);

    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    EXPECT_EQ(aircraft->phase, FlightPhase::parked);
    EXPECT_LT(gf_distanceNm(lf_here(*aircraft), a1) * 1852, 2.0);
    EXPECT_NEAR(aircraft->position.heading_rad / kRadPerDeg, 270.0, 5.0);
    EXPECT_LT(wentBack_m, 0.1);
    // An A320 turns on the spot at up to 21 degrees a second.
    EXPECT_LE(turning_[0x48548e].swing_deg, 22.0) << turning_[0x48548e].swingAt;
    expectNoException();
}

TEST_F(MotionRoad, ALandedAircraftTowedSoonAfterItParkedParksOnAnotherStand)
{
    LatLon p{};
    double taxi_deg = 0;
    std::vector<Report> reports = arrivalOnto23L(0x48548e, 0, p, taxi_deg);
    const LatLon a1 = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 10 / 0.3048);
    // Ten minutes after it parked it is pushed back 77 m and towed 77 m forward-left to a stop
    // 5 m short of B7.
    double t = reports.back().time_s - Report{}.time_s + 600;
    std::vector<Report> tow;
    LatLon at = p;
    double alt = 0;
    reportLeg(tow, at, alt, t, taxi_deg + 180, 5, 0, 6);
    reportLeg(tow, at, alt, t, taxi_deg - 60, 5, 0, 6);
    for (int i = 0; i < 3; ++i) {
        t += 5;
        tow.push_back(reportAt(at, 0, 0, taxi_deg - 60, t));
    }
    const LatLon b7 = gf_destinationPoint(at, (taxi_deg - 60) * kRadPerDeg, 5 / 0.3048);
    startAt("towed", {ParkStand("A1", {}, a1.lat, a1.lon, taxi_deg * kRadPerDeg, 30.0, false,
                                false, false),
                      ParkStand("B7", {}, b7.lat, b7.lon, (taxi_deg - 60) * kRadPerDeg, 30.0,
                                false, false, false)});
    livery(0x48548e);
    fly(0x48548e, reports, 6000);
    ASSERT_EQ(live(0x48548e)->phase, FlightPhase::parked);
    clock_->advance(std::chrono::minutes(10));
    fly(0x48548e, tow, 6000);

    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    for (const auto& phase : {"pushing_back", "pushed_back", "taxi", "parking"}) {
        EXPECT_TRUE(went(phase)) << phase;
    }
    EXPECT_EQ(aircraft->phase, FlightPhase::parked);
    EXPECT_EQ(aircraft->standId, 2u);
    EXPECT_EQ(lf_standUse(g_parkStands[0]).occupantHexId, 0u);
    EXPECT_LT(gf_distanceNm({aircraft->position.latitude, aircraft->position.longitude}, b7) * 1852,
              2.0);
    EXPECT_EQ(count("          towed aircraft " + gf_flightDescription(*aircraft) + " parks"), 1);
    expectFacingWhereTheyGo();
}

// The place of a creation call: "'title', 'callsign', latitude, longitude, ...".
LatLon lf_createdAt(const simstandin::CallRecord& call)
{
    const std::string& a = call.arguments;
    const std::size_t lat = a.find("', ", a.find("', '") + 4) + 3;
    const std::size_t lon = a.find(", ", lat) + 2;
    return {std::stod(a.substr(lat)), std::stod(a.substr(lon))};
}

TEST_F(MotionRoad, AFlightWhoseRegistrationBringsAnotherLiveryIsCreatedAgainWhereItFlies)
{
    // The simulator also knows the liveries of the demo packages.
    startAt("respawn", {},
            std::string(R"("packages_folder": ")") + VNTQ_SOURCE_DIR +
                R"(/standins/simulator/packages")");
    g_regcodes["PH-EXL"] = "Airbus A320 Condor";
    livery(0x48548e);
    // Level at 3000 ft, 180 kt; the registration is reported from the tenth report on, when
    // the aircraft has long been created.
    std::vector<Report> reports;
    LatLon p{51.40, 6.95};
    double alt = 3000;
    double t = 0;
    reportLeg(reports, p, alt, t, 230, 180, 0, 16);
    for (std::size_t i = 0; i < 9; ++i) reports[i].registration.clear();
    // Beside it a flight from the park airport (DUS) to AMS, reported from the tenth report on
    // as one back to DUS: it returns, keeps its route and is not created again.
    livery(0x48548f);
    std::vector<Report> back;
    p = {51.44, 6.99};
    t = 0;
    reportLeg(back, p, alt, t, 230, 180, 0, 16);
    for (std::size_t i = 0; i < back.size(); ++i) {
        back[i].hex = 0x48548f;
        back[i].callsign = "KLM57B";
        back[i].registration = "PH-EXM";
        back[i].origin = i < 9 ? "DUS" : "AMS";
        back[i].destination = i < 9 ? "AMS" : "DUS";
    }
    reports.insert(reports.end(), back.begin(), back.end());
    // KLM60E flies; KLM61F, reported from the tenth report on as KLM60E's ghost (KLM60E_) with
    // a registration that brings another livery, is refused whole and keeps its livery.
    g_regcodes["PH-EXO"] = "Airbus A320 Condor";
    for (const uint32_t hex : {0x485490u, 0x485491u}) {
        livery(hex);
        std::vector<Report> flight;
        p = {51.48 + 0.04 * (hex - 0x485490u), 7.03};
        t = 0;
        reportLeg(flight, p, alt, t, 230, 180, 0, 16);
        for (std::size_t i = 0; i < flight.size(); ++i) {
            flight[i].hex = hex;
            flight[i].callsign = hex == 0x485490u ? "KLM60E" : i < 9 ? "KLM61F" : "KLM60E_";
            flight[i].registration = hex == 0x485490u ? "PH-EXN" : i < 9 ? "" : "PH-EXO";
        }
        reports.insert(reports.end(), flight.begin(), flight.end());
    }
    fly(0x48548e, reports, 500);
    g_regcodes.erase("PH-EXL");
    g_regcodes.erase("PH-EXO");
    const LiveAc* ghost = live(0x485491);
    ASSERT_NE(ghost, nullptr);
    EXPECT_EQ(ghost->state, SimObjectState::active);
    EXPECT_EQ(ghost->phase, FlightPhase::flying);
    EXPECT_EQ(ghost->callsign, "KLM61F");
    EXPECT_EQ(ghost->title, kA320);

    const LiveAc* returning = live(0x48548f);
    ASSERT_NE(returning, nullptr);
    EXPECT_EQ(returning->state, SimObjectState::active);
    EXPECT_EQ(std::string(returning->origin.data(), 3), "DUS");
    EXPECT_EQ(std::string(returning->destination.data(), 3), "AMS");
    EXPECT_EQ(count("          " + gf_flightIdentity(*returning) + " respawns"), 0);

    std::vector<simstandin::CallRecord> creates;
    for (const auto& call : callsOf("SimConnect_AICreateNonATCAircraft")) {
        if (call.arguments.find("'KLM56A'") != std::string::npos) creates.push_back(call);
    }
    EXPECT_EQ(callsOf("SimConnect_AICreateNonATCAircraft").size(), creates.size() + 3);
    ASSERT_EQ(creates.size(), 2u);
    EXPECT_NE(creates[0].arguments.find(kA320), std::string::npos);
    EXPECT_NE(creates[1].arguments.find("Airbus A320 Condor"), std::string::npos);
    EXPECT_EQ(count("          " + gf_flightIdentity(*live(0x48548e)) + " respawns"), 1);
    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    EXPECT_EQ(aircraft->state, SimObjectState::active);
    EXPECT_EQ(aircraft->phase, FlightPhase::flying);
    EXPECT_EQ(aircraft->title, "Airbus A320 Condor");
    // Created again where it had flown to, not back where it was first created.
    EXPECT_GT(gf_distanceNm(lf_createdAt(creates[0]), lf_createdAt(creates[1])), 0.4);
}

}  // namespace
}  // namespace qel::test
