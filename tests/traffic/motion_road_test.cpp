// Live flights at the park airport through the real entry points and the stand-in simulator: an
// arrival that flares, touches down on the runway, rolls out, taxis and parks on a free stand,
// and a departure that leaves its stand, taxis and takes off. The stand-in's trace of both is
// kept in the build folder (test-tracks/) for the track picture.
#include <algorithm>
#include <filesystem>
#include <numbers>

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
        g_trafficStandIn.parkAirportSet = false;
        g_registrations.clear();
    }

    // A world whose trace goes to test-tracks/<name>, with stands and a park airport.
    void startAt(const std::string& name, const std::vector<ParkStand>& stands)
    {
        const auto folder = std::filesystem::path(VNTQ_BINARY_DIR) / "test-tracks" / name;
        std::filesystem::remove_all(folder);
        start(R"("output_folder": ")" + folder.generic_string() +
              R"(", "trace_interval_s": 0.5)");
        g_parkStands = stands;
        for (std::size_t i = 0; i < g_parkStands.size(); ++i) {
            g_parkStands[i].number = static_cast<uint32_t>(i + 1);
        }
        gf_publishStandSpots();
        g_parkAirportInfo.altitude_ft = 147;
        g_trafficStandIn.parkAirportSet = true;
    }

    // One report every 5 s of ticks, each a poll of its own, until all are handed over; the
    // phases the aircraft went through are noted after every tick.
    void fly(uint32_t hex, const std::vector<Report>& reports, int afterTicks)
    {
        for (const Report& r : reports) {
            push({r}, 30);
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
        }
    }

    bool went(const std::string& phase) const
    {
        return std::find(phases_.begin(), phases_.end(), phase) != phases_.end();
    }

    std::vector<std::string> phases_;
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

TEST_F(MotionRoad, ArrivalFlaresLandsRollsOutTaxisAndParksOnTheFreeStand)
{
    const double runway_deg = gf_bearingRad(kThreshold23L, kEnd05R) / kRadPerDeg;
    std::vector<Report> reports;
    // 2 nm out on the extended centre line, 3° down to the threshold, rolled out, turned off
    // to the left and taxied to a stop 10 m short of stand A1.
    LatLon p = gf_destinationPoint(kThreshold23L, (runway_deg + 180) * kRadPerDeg, 2 * kFt_per_nm);
    double alt = 147 + 640;
    double t = 0;
    reports.push_back(lf_at(p, alt, 140, runway_deg, t));
    lf_leg(reports, p, alt, t, runway_deg, 140, -740, 10);
    alt = 0;
    for (double v : {120.0, 90.0, 60.0, 35.0, 20.0}) lf_leg(reports, p, alt, t, runway_deg, v, 0, 1);
    const double taxi_deg = runway_deg - 90;
    lf_leg(reports, p, alt, t, taxi_deg, 15, 0, 7);
    p = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 20 / 0.3048);
    Report last = lf_at(p, 0, 0, taxi_deg, t + 5);
    reports.push_back(last);
    last.time_s += 5;
    reports.push_back(last);
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
    for (const auto& line : log_.lines()) EXPECT_EQ(line.find("exception"), std::string::npos) << line;
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
    for (const auto& line : log_.lines()) EXPECT_EQ(line.find("exception"), std::string::npos) << line;
}

}  // namespace
}  // namespace qel::test
