// Live flights at the park airport through the real entry points and the stand-in simulator: an
// arrival that flares, touches down on the runway, rolls out, taxis and parks on a free stand;
// a departure that leaves its stand, taxis and takes off, its roll gathering speed plausibly also
// when the main loop catches up; a later arrival taking over a silent aircraft's stand and one
// without a stand holding until it is removed; a landed aircraft towed to another stand; a flight
// created again with the livery its new registration brings, beside one returning to the park
// airport that keeps its route. The stand-in's traces are kept in the build folder
// (test-tracks/) for the track picture.
#include <algorithm>
#include <filesystem>
#include <numbers>

#include "liveries/livery_db.h"
#include "scenery/stand_snapshot.h"
#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

constexpr double kRadPerDeg = std::numbers::pi / 180.0;
constexpr double kFt_per_nm = 6076.11549;
const LatLon kThreshold23L{51.2997, 6.7869};
const LatLon kEnd05R{51.2808, 6.7530};

class MotionRoad : public TrafficTest {
protected:
    ~MotionRoad() override
    {
        g_parkStands.clear();
        gf_publishStandSpots();
        g_parkAirport = Airport{};
        g_registrations.clear();
    }

    // A world whose trace goes to test-tracks/<name>, with stands and a park airport.
    void startAt(const std::string& name, const std::vector<ParkStand>& stands,
                 const std::string& simulatorMembers = "")
    {
        const auto folder = std::filesystem::path(VNTQ_BINARY_DIR) / "test-tracks" / name;
        std::filesystem::remove_all(folder);
        start(R"("output_folder": ")" + folder.generic_string() +
              R"(", "trace_interval_s": 0.5)" +
              (simulatorMembers.empty() ? "" : ", " + simulatorMembers));
        g_parkStands = stands;
        for (std::size_t i = 0; i < g_parkStands.size(); ++i) {
            g_parkStands[i].number = static_cast<uint32_t>(i + 1);
        }
        gf_publishStandSpots();
        g_parkAirport.code = AirportCode("EDDL");
        g_parkAirport.secondCode = ShortAirportCode("DUS");
        g_parkAirport.latitude = 51.2895;
        g_parkAirport.longitude = 6.76678;
        g_parkAirport.altitude = 147.0F;
    }

    // The reports of one time form one poll, one poll every 5 s of ticks, until all are handed
    // over; the phases of `hex` are noted after every tick.
    void fly(uint32_t hex, std::vector<Report> reports, int afterTicks)
    {
        std::stable_sort(reports.begin(), reports.end(),
                         [](const Report& a, const Report& b) { return a.time_s < b.time_s; });
        for (std::size_t i = 0; i < reports.size();) {
            std::vector<Report> poll{reports[i++]};
            while (i < reports.size() && reports[i].time_s == poll.front().time_s) {
                poll.push_back(reports[i++]);
            }
            push(poll, 30);
            runTicks(hex, 500);
        }
        runTicks(hex, afterTicks);
    }

    // Every 100 ticks the main loop's second takes one aircraft off the stand-check queue.
    void runTicks(uint32_t hex, int count)
    {
        for (int i = 0; i < count; ++i) {
            tick();
            if (g_fastTicks % 100 == 0) {
                gf_writeDayAndSlot();
                gf_checkNextQueuedStand(g_dayAndSlot);
            }
            const LiveAc* aircraft = live(hex);
            if (!aircraft || aircraft->state != SimObjectState::active) continue;
            const std::string name(flightPhaseName(aircraft->phase));
            if (phases_.empty() || phases_.back() != name) phases_.push_back(name);
            if (aircraft->takeOff && aircraft->onGround) watchRoll(*aircraft);
        }
    }

    // A main loop that fell `ticks` ticks behind runs them back to back, a millisecond apart.
    void catchUp(int ticks)
    {
        clock_->advance(std::chrono::milliseconds(9 * ticks));
        for (int i = 0; i < ticks; ++i) {
            lf_handleAddingStack();
            clock_->advance(std::chrono::milliseconds(1));
            lf_dispatchOnce(handle_);
        }
    }

    // On the take-off roll: once, from 80 kt on, the main loop falls ten ticks behind; every
    // half second the speed the aircraft moved at and the top speed the simulator shows are
    // noted.
    void watchRoll(const LiveAc& aircraft)
    {
        if (!caughtUp_ && aircraft.samples.front().groundSpeed_kt >= 80.0) {
            catchUp(10);
            caughtUp_ = true;
        }
        if (const auto object = simstandin::object(aircraft.objectId)) {
            shownRollSpeed_kt_ = std::max(shownRollSpeed_kt_, object->groundSpeed_kt);
        }
        const int32_t now = g_fastTicks;
        if (now - rollFromTick_ < 50) return;
        const LatLon here{aircraft.position.latitude, aircraft.position.longitude};
        if (rollFromTick_ >= 0) {
            rollSpeeds_kt_.push_back(gf_distanceNm(rollFrom_, here) * 360000.0 /
                                     (now - rollFromTick_));
        }
        rollFrom_ = here;
        rollFromTick_ = now;
    }

    void expectNoException()
    {
        for (const auto& line : log_.lines()) {
            EXPECT_EQ(line.find("exception"), std::string::npos) << line;
        }
    }

    bool went(const std::string& phase) const
    {
        return std::find(phases_.begin(), phases_.end(), phase) != phases_.end();
    }

    std::vector<std::string> phases_;
    bool caughtUp_ = false;
    double shownRollSpeed_kt_ = 0.0;
    std::vector<double> rollSpeeds_kt_;  // every half second of the take-off roll
    LatLon rollFrom_{};
    int32_t rollFromTick_ = -1000;
};

Report lf_at(LatLon p, double alt_ft, double gs_kt, double track_deg, double t_s)
{
    Report r;
    r.hex = 0x48548e;
    r.lat = p.lat;
    r.lon = p.lon;
    r.alt_ft = alt_ft;
    r.gs_kt = gs_kt;
    r.track_deg = track_deg;
    r.time_s += t_s;
    return r;
}

// Reports every 5 s along a course at a speed, the altitude moving by `climb_fpm`.
void lf_leg(std::vector<Report>& out, LatLon& p, double& alt_ft, double& t_s, double course_deg,
            double gs_kt, double climb_fpm, int count)
{
    for (int i = 0; i < count; ++i) {
        p = gf_destinationPoint(p, course_deg * kRadPerDeg, gs_kt * 5.0 / 3600.0 * kFt_per_nm);
        alt_ft = std::max(alt_ft + climb_fpm / 12.0, 0.0);
        t_s += 5.0;
        out.push_back(lf_at(p, alt_ft, gs_kt, course_deg, t_s));
        out.back().vs_fpm = alt_ft > 0.0 ? climb_fpm : 0.0;
    }
}

// An arrival onto 23L starting `t_s` seconds in: 2 nm out on the extended centre line, 3° down
// to the threshold, rolled out, turned off to the left and taxied to a stop at `stop`, which
// faces `taxi_deg`.
std::vector<Report> lf_arrival(uint32_t hex, double t_s, LatLon& stop, double& taxi_deg,
                               int taxiLegs = 7)
{
    const double runway_deg = gf_bearingRad(kThreshold23L, kEnd05R) / kRadPerDeg;
    std::vector<Report> reports;
    LatLon p = gf_destinationPoint(kThreshold23L, (runway_deg + 180) * kRadPerDeg, 2 * kFt_per_nm);
    double alt = 147 + 640;
    double t = t_s;
    reports.push_back(lf_at(p, alt, 140, runway_deg, t));
    lf_leg(reports, p, alt, t, runway_deg, 140, -740, 10);
    alt = 0;
    for (double v : {120.0, 90.0, 60.0, 35.0, 20.0}) lf_leg(reports, p, alt, t, runway_deg, v, 0, 1);
    taxi_deg = runway_deg - 90;
    lf_leg(reports, p, alt, t, taxi_deg, 15, 0, taxiLegs);
    p = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 20 / 0.3048);
    Report last = lf_at(p, 0, 0, taxi_deg, t + 5);
    reports.push_back(last);
    last.time_s += 5;
    reports.push_back(last);
    for (Report& r : reports) r.hex = hex;
    stop = p;
    return reports;
}

TEST_F(MotionRoad, ArrivalFlaresLandsRollsOutTaxisAndParksOnTheFreeStand)
{
    LatLon p{};
    double taxi_deg = 0;
    const std::vector<Report> reports = lf_arrival(0x48548e, 0, p, taxi_deg);
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
    EXPECT_EQ(g_mainWindowState.updateCount, g_learnedUpdates);
    for (const auto& phase : {"flying", "taxi", "parking", "parked"}) {
        EXPECT_TRUE(went(phase)) << phase;
    }
    EXPECT_EQ(aircraft->phase, FlightPhase::parked);
    EXPECT_EQ(aircraft->standId, 1u);
    EXPECT_LT(gf_distanceNm({aircraft->position.latitude, aircraft->position.longitude}, stand) * 1852,
              2.0);
    expectNoException();
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
        reports.push_back(lf_at(stand, 0, 0, standHeading_deg, t));
        t += 5;
    }
    // Pushed back, tail first, away from the runway; then taxi to the runway and roll.
    LatLon p = stand;
    lf_leg(reports, p, alt, t, standHeading_deg + 180, 4, 0, 9);
    const double toLineUp = gf_bearingRad(p, lineUp) / kRadPerDeg;
    const int legs = static_cast<int>(gf_distanceNm(p, lineUp) * 1852 / (15 * 5 * 0.514444));
    lf_leg(reports, p, alt, t, toLineUp, 15, 0, legs);
    for (double v : {40.0, 80.0, 120.0, 150.0}) lf_leg(reports, p, alt, t, runway_deg, v, 0, 1);
    alt = 50;
    lf_leg(reports, p, alt, t, runway_deg, 160, 1500, 14);
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
    expectNoException();
}

TEST_F(MotionRoad, ALaterArrivalTakesTheStandOfASilentParkedOneAndOneWithoutAStandHolds)
{
    // Three flights a minute apart. The first parks on A1 and its reports stop; the second
    // stops where the first did and takes A1 over; the third stops on the taxiway 90 m short,
    // with no stand in reach, and waits there.
    LatLon p{};
    double taxi_deg = 0;
    std::vector<Report> reports = lf_arrival(0x48548e, 0, p, taxi_deg);
    const LatLon stand = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 10 / 0.3048);
    struct Flight {
        uint32_t hex;
        const char* callsign;
        const char* registration;
        int taxiLegs;
    };
    for (const Flight f : {Flight{0x48548f, "KLM57B", "PH-EXM", 7},
                           Flight{0x485490, "KLM58C", "PH-EXN", 4}}) {
        LatLon stop{};
        for (Report r : lf_arrival(f.hex, 60.0 * (f.hex - 0x48548e), stop, taxi_deg, f.taxiLegs)) {
            r.callsign = f.callsign;
            r.registration = f.registration;
            reports.push_back(r);
        }
    }
    startAt("stand-taken", {ParkStand("A1", {}, stand.lat, stand.lon, taxi_deg * kRadPerDeg,
                                      30.0, false, false, false),
                            ParkStand("A2", {}, stand.lat + 0.001, stand.lon, 0.0, 30.0, false,
                                      false, false)});
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
}

TEST_F(MotionRoad, ALandedAircraftTowedSoonAfterItParkedParksOnAnotherStand)
{
    LatLon p{};
    double taxi_deg = 0;
    std::vector<Report> reports = lf_arrival(0x48548e, 0, p, taxi_deg);
    const LatLon a1 = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 10 / 0.3048);
    // Ten minutes after it parked it is pushed back 77 m and towed 77 m forward-left to a stop
    // 5 m short of B7.
    double t = reports.back().time_s - Report{}.time_s + 600;
    std::vector<Report> tow;
    LatLon at = p;
    double alt = 0;
    lf_leg(tow, at, alt, t, taxi_deg + 180, 5, 0, 6);
    lf_leg(tow, at, alt, t, taxi_deg - 60, 5, 0, 6);
    for (int i = 0; i < 3; ++i) {
        t += 5;
        tow.push_back(lf_at(at, 0, 0, taxi_deg - 60, t));
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
    EXPECT_EQ(g_parkStands[0].occupantHexId, 0u);
    EXPECT_LT(gf_distanceNm({aircraft->position.latitude, aircraft->position.longitude}, b7) * 1852,
              2.0);
    EXPECT_EQ(count("          towed aircraft " + gf_flightDescription(*aircraft) + " parks"), 1);
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
    lf_leg(reports, p, alt, t, 230, 180, 0, 16);
    for (std::size_t i = 0; i < 9; ++i) reports[i].registration.clear();
    // Beside it a flight from the park airport (DUS) to AMS, reported from the tenth report on
    // as one back to DUS: it returns, keeps its route and is not created again.
    livery(0x48548f);
    std::vector<Report> back;
    p = {51.44, 6.99};
    t = 0;
    lf_leg(back, p, alt, t, 230, 180, 0, 16);
    for (std::size_t i = 0; i < back.size(); ++i) {
        back[i].hex = 0x48548f;
        back[i].callsign = "KLM57B";
        back[i].registration = "PH-EXM";
        back[i].origin = i < 9 ? "DUS" : "AMS";
        back[i].destination = i < 9 ? "AMS" : "DUS";
    }
    reports.insert(reports.end(), back.begin(), back.end());
    fly(0x48548e, reports, 500);
    g_regcodes.erase("PH-EXL");

    const LiveAc* returning = live(0x48548f);
    ASSERT_NE(returning, nullptr);
    EXPECT_EQ(returning->state, SimObjectState::active);
    EXPECT_EQ(std::string(returning->origin.data(), 3), "DUS");
    EXPECT_EQ(std::string(returning->destination.data(), 3), "AMS");
    EXPECT_EQ(count("          " + gf_flightIdentity(*returning) + " respawns"), 0);

    std::vector<simstandin::CallRecord> creates;
    for (const auto& call : callsOf("SimConnect_AICreateNonATCAircraft")) {
        if (call.arguments.find("'KLM57B'") == std::string::npos) creates.push_back(call);
    }
    EXPECT_EQ(callsOf("SimConnect_AICreateNonATCAircraft").size(), creates.size() + 1);
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
