// The scenario file: what it reads, what it fills in, what it refuses, and where flights are.
#include "standins/scenario/scenario.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/geodesy.h"
#include "standin_fixture.h"
#include "standins/realtraffic/rt_replies.h"
#include "support/test_support.h"

namespace qel::standin {
namespace {

Scenario lf_parse(const std::string& text) { return parseScenario(text, 1000); }

TEST(ScenarioFile, ReadsEveryPartAndKeepsOtherKeys)
{
    const Scenario s = parseScenario(test::testScenario, 5);
    EXPECT_EQ(s.clockStart, 1724521800);
    EXPECT_EQ(s.repeat_s, 0);
    EXPECT_DOUBLE_EQ(s.user.lat, 51.2793);
    EXPECT_EQ(s.user.airport, "EDDL");
    EXPECT_EQ(s.user.stand, "EDDL_A02");
    EXPECT_TRUE(s.user.onGround);
    ASSERT_EQ(s.flights.size(), 6u);
    EXPECT_EQ(s.flights[0].source, "X_adsb_icao");  // the default source
    EXPECT_EQ(s.flights[2].source, "X_mlat");
    ASSERT_EQ(s.parked.size(), 4u);
    EXPECT_EQ(s.parked[0].stand, "EDDL_A04");
    EXPECT_DOUBLE_EQ(s.parked[1].seen_s, -9000.0);
    EXPECT_FALSE(s.parked[1].track_deg.has_value());
    ASSERT_EQ(s.stations.size(), 3u);
    EXPECT_EQ(s.stations[2].qnh, 2958);  // inches of mercury × 100, as the service sends them
    EXPECT_EQ(s.document["simulator"]["anything"], "ignored here");
    // No "sessions": the built-in credentials.
    ASSERT_NE(s.findCredential("professional-license"), nullptr);
    EXPECT_EQ(s.findCredential("professional-license")->behaviour, Behaviour::Professional);
    EXPECT_EQ(s.findCredential("no-such-license"), nullptr);
}

TEST(ScenarioFile, ClockStartsNowWhenAskedOrAbsent)
{
    EXPECT_EQ(lf_parse(R"({"clock": {"start": "now", "repeat_s": 60}})").clockStart, 1000);
    EXPECT_EQ(lf_parse("{}").clockStart, 1000);
    const Scenario looping = lf_parse(R"({"clock": {"start": 100, "repeat_s": 60}})");
    EXPECT_DOUBLE_EQ(looping.scenarioSeconds(100), 0.0);
    EXPECT_DOUBLE_EQ(looping.scenarioSeconds(175), 15.0);
    EXPECT_DOUBLE_EQ(looping.scenarioSeconds(90), 50.0);  // before the start, still in range
    EXPECT_DOUBLE_EQ(lf_parse(R"({"clock": {"start": 100}})").scenarioSeconds(90), -10.0);
}

TEST(ScenarioFile, ReadsSessions)
{
    const Scenario s = lf_parse(R"({"sessions": [
        {"license": "a&b c", "behaviour": "professional", "rrl_ms": 500, "wrrl_ms": 3000,
         "expiry": 2000000000, "single_session": true},
        {"license": "x", "behaviour": "no_guid", "expiry_s": -43200, "max_sessions": 3}]})");
    ASSERT_EQ(s.credentials.size(), 2u);  // the listed ones replace the built-in set
    const Credential& a = s.credentials[0];
    EXPECT_EQ(a.license, "a&b c");
    EXPECT_EQ(a.behaviour, Behaviour::Professional);
    EXPECT_EQ(a.rrl_ms, 500);
    EXPECT_EQ(a.wrrl_ms, 3000);
    EXPECT_EQ(a.expiry, 2000000000);
    EXPECT_TRUE(a.singleSession);
    EXPECT_EQ(s.credentials[1].behaviour, Behaviour::NoGuid);
    EXPECT_EQ(s.credentials[1].expiry_s, -43200);
    EXPECT_EQ(a.sessionLimit(), 1);
    EXPECT_EQ(s.credentials[1].sessionLimit(), 3);
    EXPECT_EQ(s.findCredential("standard-license"), nullptr);
}

TEST(ScenarioFile, RefusesBrokenFilesNamingThePlace)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"{", "scenario: file: invalid JSON"},
        {"[]", "scenario: file: the top level must be an object"},
        {R"({"flights": {}})", "scenario: file: \"flights\" must be a list"},
        {R"({"flights": [{"type": "A320", "points": [{"t_s": 0, "lat": 1, "lon": 1}]}]})",
         "scenario: flights[0]: \"hex\" is missing"},
        {R"({"flights": [{"hex": "4g", "type": "A320"}]})",
         "scenario: flights[0]: \"hex\" \"4g\" is no hexadecimal id"},
        {R"({"flights": [{"hex": "4b", "type": "A320"}]})",
         "scenario: flights[0]: a flight needs at least one point"},
        {R"({"flights": [{"hex": "4b", "type": "A320", "points": [{"t_s": 0, "lat": "x"}]}]})",
         "scenario: flights[0].points[0]: \"lat\" must be a number"},
        {R"({"flights": [{"hex": "4b", "type": "A320", "points": [
            {"t_s": 5, "lat": 1, "lon": 1}, {"t_s": 5, "lat": 1, "lon": 2}]}]})",
         "scenario: flights[0].points[1]: \"t_s\" must rise from point to point"},
        {R"({"flights": [{"hex": "4b", "type": "A320",
                          "points": [{"t_s": 0, "lat": 91, "lon": 1}]}]})",
         "scenario: flights[0].points[0]: position out of range"},
        {R"({"parked": [{"hex": "4b", "lat": 1, "lon": 1, "type": "A320"}]})",
         "scenario: parked[0]: \"stand\" is missing"},
        {R"({"sessions": [{"license": "x", "behaviour": "gold"}]})",
         "scenario: sessions[0]: unknown behaviour \"gold\""},
        {R"({"sessions": [{"license": "a", "max_sessions": 1.5}]})",
         "scenario: sessions[0]: max_sessions must be a whole number from 0 to 1000"},
        {R"({"flights": [{"hex": "4b", "type": "A320", "points": [
             {"t_s": 0, "lat": 51, "lon": 7, "roll_deg": 1e300}]}]})",
         "scenario: flights[0].points[0]: roll out of range"},
        {R"({"weather": {"stations": [{"icao": "EDDL", "lat": 1, "lon": 1, "qnh": true}]}})",
         "scenario: weather.stations[0]: \"qnh\" must be a number or a text"},
        {R"({"clock": {"start": "later"}})",
         "scenario: clock: \"start\" must be epoch seconds or \"now\""},
    };
    for (const auto& c : cases) {
        try {
            lf_parse(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.message) << c.text;
        }
    }
}

TEST(ScenarioFlightTrack, InterpolatesAndDerivesWhatIsLeftOut)
{
    const Scenario s = lf_parse(R"({"flights": [{"hex": "4b", "type": "A320", "points": [
        {"t_s": 0, "lat": 51.0, "lon": 7.0, "alt_ft": 5000},
        {"t_s": 600, "lat": 51.0, "lon": 6.0, "alt_ft": 3000}]}]})");
    const Flight& f = s.flights[0];
    EXPECT_FALSE(f.stateAt(-0.5).has_value());
    EXPECT_FALSE(f.stateAt(600.5).has_value());
    const auto mid = f.stateAt(300);
    ASSERT_TRUE(mid.has_value());
    EXPECT_DOUBLE_EQ(mid->lat, 51.0);
    EXPECT_DOUBLE_EQ(mid->lon, 6.5);
    EXPECT_DOUBLE_EQ(mid->alt_ft, 4000.0);
    EXPECT_DOUBLE_EQ(mid->vs_fpm, -200.0);  // 2000 ft in 10 minutes
    // 1 degree of longitude at 51° N is about 37.8 nm, flown in 10 minutes.
    EXPECT_NEAR(mid->gs_kt, 226.6, 0.5);
    EXPECT_NEAR(mid->track_deg, 270.4, 0.1);  // westbound, the great circle bends north
    EXPECT_DOUBLE_EQ(mid->heading_deg, mid->track_deg);
    EXPECT_FALSE(mid->onGround);
}

TEST(ScenarioFlightTrack, TurnsTheShortWayAndLandsAtTheGroundPoint)
{
    const Scenario s = lf_parse(R"({"flights": [{"hex": "4b", "type": "A320", "points": [
        {"t_s": 0, "lat": 51.0, "lon": 7.0, "alt_ft": 300, "track_deg": 350, "gs_kt": 140},
        {"t_s": 10, "lat": 51.01, "lon": 7.0, "alt_ft": 0, "track_deg": 10, "gs_kt": 120},
        {"t_s": 20, "lat": 51.02, "lon": 7.0, "alt_ft": 0, "track_deg": 10, "gs_kt": 20}]}]})");
    const Flight& f = s.flights[0];
    const auto turning = f.stateAt(5);
    ASSERT_TRUE(turning.has_value());
    EXPECT_NEAR(turning->track_deg, 0.0, 1e-9);  // through north, not through south
    EXPECT_FALSE(turning->onGround);             // airborne until it reaches the ground point
    EXPECT_TRUE(f.stateAt(10)->onGround);
    EXPECT_TRUE(f.stateAt(15)->onGround);
    EXPECT_DOUBLE_EQ(f.stateAt(15)->gs_kt, 70.0);
}

// A take-off run from 15 to 150 kt: the first seconds cover what their speeds say, not the run's
// mean speed, and the run still ends on its point.
TEST(ScenarioFlightTrack, PositionsFollowTheSpeedAlongASegment)
{
    const Scenario s = lf_parse(R"({"flights": [{"hex": "4b", "type": "B738", "points": [
        {"t_s": 0, "lat": 52.3045, "lon": 4.7778, "gs_kt": 15},
        {"t_s": 52.4, "lat": 52.293806, "lon": 4.750201, "gs_kt": 150}]}]})");
    const Flight& f = s.flights[0];
    for (const double t : {0.0, 10.0, 26.0, 48.0}) {
        const FlightState a = *f.stateAt(t);
        const FlightState b = *f.stateAt(t + 4.0);
        const double covered_kt = distanceNm(a.lat, a.lon, b.lat, b.lon) / 4.0 * 3600.0;
        EXPECT_NEAR(covered_kt, (a.gs_kt + b.gs_kt) / 2.0, 1.0) << t;
    }
    EXPECT_NEAR(f.stateAt(52.4)->lon, 4.750201, 1e-9);
}

// Every segment of every shipped scenario covers about what its two ends' speeds say, as real
// reports do: its length over its time lies within 25 % of the mean of the two speeds, and a
// segment between two standstills does not move.
TEST(ScenarioFile, ShippedFlightsMoveAsFastAsTheyReport)
{
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(VNTQ_SOURCE_DIR "/standins/scenario")) {
        if (entry.path().extension() != ".json") continue;
        ++files;
        const Scenario s = loadScenario(entry.path(), 1000);
        for (const Flight& f : s.flights) {
            for (size_t i = 1; i < f.points.size(); ++i) {
                const TrackPoint& a = f.points[i - 1];
                const TrackPoint& b = f.points[i];
                const double covered_kt =
                    distanceNm(a.lat, a.lon, b.lat, b.lon) / (b.t_s - a.t_s) * 3600.0;
                const double mean_kt = (*a.gs_kt + *b.gs_kt) / 2.0;
                EXPECT_LE(std::abs(covered_kt - mean_kt), 0.25 * mean_kt)
                    << entry.path().filename().string() << " " << f.callsign << " from " << a.t_s
                    << " s to " << b.t_s << " s: " << covered_kt << " kt, reported " << *a.gs_kt
                    << " to " << *b.gs_kt << " kt";
            }
        }
    }
    EXPECT_EQ(files, 3);
}

// A turning flight reports the bank of a coordinated turn (tan φ = v·ω/g), a straight one none;
// a roll given in the file wins, and the record's elements 22 and 23 carry rate and roll.
TEST(ScenarioFlightTrack, BanksAsACoordinatedTurnUnlessTheRollIsGiven)
{
    const Scenario s = lf_parse(R"({"flights": [{"hex": "4b", "type": "A320", "points": [
        {"t_s": 0, "lat": 51.0, "lon": 7.0, "alt_ft": 3000, "track_deg": 90, "gs_kt": 200},
        {"t_s": 30, "lat": 51.0, "lon": 7.1, "alt_ft": 3000, "track_deg": 180, "gs_kt": 200},
        {"t_s": 60, "lat": 50.9, "lon": 7.1, "alt_ft": 3000, "track_deg": 90, "gs_kt": 200},
        {"t_s": 90, "lat": 50.9, "lon": 7.2, "alt_ft": 3000, "track_deg": 90, "gs_kt": 200,
         "roll_deg": -10},
        {"t_s": 100, "lat": 50.9, "lon": 7.25, "alt_ft": 3000, "track_deg": 90, "gs_kt": 200,
         "roll_deg": 20},
        {"t_s": 200, "lat": 50.9, "lon": 7.3, "alt_ft": 0, "track_deg": 100, "gs_kt": 20}]}]})");
    const Flight& f = s.flights[0];
    // 200 kt turning 3°/s: tan φ = 102.9 m/s × 0.05236 rad/s / 9.80665 m/s² → 28.8°.
    struct Case {
        double t_s;
        double rate_dps;
        double roll_deg;
    };
    // From 60 s on it rolls towards the roll given at 90 s, level, and on towards the next.
    for (const auto& c : {Case{15, 3.0, 28.78}, Case{45, -3.0, -28.78}, Case{75, 0.0, -5.0},
                          Case{95, 0.0, 5.0}, Case{200, 0.0, 0.0}}) {
        const auto state = f.stateAt(c.t_s);
        ASSERT_TRUE(state.has_value()) << c.t_s;
        EXPECT_NEAR(state->trackRate_dps, c.rate_dps, 1e-9) << c.t_s;
        EXPECT_NEAR(state->roll_deg, c.roll_deg, 0.01) << c.t_s;
    }
    const auto record = trafficRecord(f, *f.stateAt(15), 1015.0);
    EXPECT_EQ(record[22], 3.0);
    EXPECT_EQ(record[23], 28.78);
    const auto ground = trafficRecord(f, *f.stateAt(200), 1200.0);
    EXPECT_TRUE(ground[23].is_null());
}

TEST(ScenarioStation, QnhInHectopascalFromEveryForm)
{
    const struct {
        nlohmann::json qnh;
        double hPa;
    } cases[] = {
        {1014, 1014.0},       {1013.6, 1013.6}, {"1009", 1009.0},
        {2992, 1013.21},      {"Q", 1013.25},   {nullptr, 1013.25},
    };
    for (const auto& c : cases) {
        WeatherStation station;
        station.qnh = c.qnh;
        EXPECT_NEAR(station.qnh_hPa(), c.hPa, 0.01) << c.qnh.dump();
    }
}

TEST(ScenarioFile, DemoScenarioLoadsWithTrafficAroundDuesseldorf)
{
    const Scenario s = loadScenario(VNTQ_SOURCE_DIR "/standins/scenario/eddl_demo.json", 1000);
    EXPECT_EQ(s.clockStart, 1000);
    EXPECT_GT(s.repeat_s, 0);
    EXPECT_EQ(s.user.airport, "EDDL");
    EXPECT_LT(distanceNm(s.user.lat, s.user.lon, 51.2895, 6.76678), 1.0);
    int nearby = 0;
    for (const Flight& f : s.flights) {
        const auto state = f.stateAt(f.points.front().t_s);
        if (state && distanceNm(state->lat, state->lon, 51.2895, 6.76678) < 40.0) ++nearby;
    }
    EXPECT_GE(nearby, 5);
    EXPECT_GE(s.parked.size(), 5u);
    EXPECT_NE(s.findCredential("demo-standard"), nullptr);
    EXPECT_THROW(loadScenario("/nonexistent/scenario.json", 0), std::runtime_error);
}

// The demo's user and parked aircraft stand on real stands of the archived Schiphol file.
TEST(ScenarioFile, SchipholScenarioPutsAircraftOnRealStands)
{
    const Scenario s = loadScenario(VNTQ_SOURCE_DIR "/standins/scenario/eham_demo.json", 1000);
    EXPECT_EQ(s.user.airport, "EHAM");
    const std::string stands = qel::test::readFile(VNTQ_SOURCE_DIR "/tests/data/stands/EHAM.xml");
    auto onStand = [&](double lat, double lon) {
        const std::string at = fmt::format("latitude=\"{:.6f}\" longitude=\"{:.6f}\"", lat, lon);
        return stands.find(at) != std::string::npos;
    };
    EXPECT_TRUE(onStand(s.user.lat, s.user.lon));
    ASSERT_GE(s.parked.size(), 5u);
    for (const auto& parked : s.parked) EXPECT_TRUE(onStand(parked.lat, parked.lon)) << parked.stand;
    EXPECT_GE(s.flights.size(), 3u);

    // Take-off and landing follow the centreline of a runway the track picture draws: every
    // point at 100 kt or more below 1000 ft lies within 5 m of one, or of its extension.
    const double metresPerNm = 1852.0;
    const double earth_nm = 3440.065;
    auto offCentreline_m = [&](const TrackPoint& p) {
        double nearest = 1e9;
        for (const auto& runway : s.document["runways"]) {
            const LatLon a{runway["lat1"].get<double>(), runway["lon1"].get<double>()};
            const LatLon b{runway["lat2"].get<double>(), runway["lon2"].get<double>()};
            const LatLon at{p.lat, p.lon};
            const double off = std::asin(std::sin(gf_distanceNm(a, at) / earth_nm) *
                                         std::sin(gf_bearingRad(a, at) - gf_bearingRad(a, b))) *
                               earth_nm * metresPerNm;
            nearest = std::min(nearest, std::abs(off));
        }
        return nearest;
    };
    int checked = 0;
    for (const auto& flight : s.flights) {
        for (const auto& p : flight.points) {
            if (p.alt_ft > 1000.0 || p.gs_kt.value_or(0.0) < 100.0) continue;
            EXPECT_LT(offCentreline_m(p), 5.0) << flight.callsign << " at " << p.t_s << " s";
            ++checked;
        }
    }
    EXPECT_GE(checked, 6);  // the arrival's final and roll-out, the departure's roll and climb
}

}  // namespace
}  // namespace qel::standin
