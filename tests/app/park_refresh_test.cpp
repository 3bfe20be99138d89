// The parked traffic's 20-minute refresh as the main loop runs it: the user parked at Schiphol
// with its real stand file, the simulator's seconds driving the loop's schedule, the countdown
// announcing the refresh, phase A asking RealTraffic again and phase B re-planning 15 s later.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/app.h"
#include "app/core.h"
#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/run_state.h"
#include "liveries/livery_db.h"
#include "scenery/scenery.h"
#include "scenery/stand_snapshot.h"
#include "platform/window.h"
#include "traffic/traffic_fixture.h"
#include "ui/paint.h"

namespace qel::test {
namespace {

namespace fs = std::filesystem;

class ParkRefresh : public TrafficTest {
protected:
    ParkRefresh()
    {
        lf_connectLayers();
        Livery livery;
        livery.title = kA320;
        livery.key.airline = gf_airlineIndex("DLH");
        livery.key.model = gf_modelIndex("A320");
        gf_buildLiveryDb({livery});
        gf_clearAirports();
        Airport eham;
        eham.code = AirportCode("EHAM");
        eham.secondCode = ShortAirportCode("AMS");
        eham.latitude = 52.3086;
        eham.longitude = 4.76389;
        eham.name = "Amsterdam Airport Schiphol";
        g_airports.push_back(eham);
        g_airportCodeSet.insert(eham.code.word());
        // As the airport scan writes a stand file of an add-on airport: without a name.
        fs::create_directories(g_myThirdpartyDir);
        std::string stands =
            readFile(fs::path(VNTQ_SOURCE_DIR) / "tests" / "data" / "stands" / "EHAM.xml");
        const std::string named = "value=\"Amsterdam Airport Schiphol\"";
        stands.replace(stands.find(named), named.size(), "value=\"\"");
        writeFile(g_myThirdpartyDir / "EHAM.xml", stands);
        g_parkedTrafficSource.request = [this](LatLon) { return ++requests_; };
        g_parkedTrafficSource.take = [this](uint64_t n, std::vector<ParkedAircraftRecord>& r) {
            if (n != requests_) return ParkedTake::failed;
            r = reply();
            return ParkedTake::ready;
        };
        MAX_PARK_SEL.current = 4;
        parking_percentage.current = 100;
        INITIAL_LOAD_ONLY.current = false;
        g_parkingBusy = false;
    }

    ~ParkRefresh() override
    {
        lf_clearParkAirport();
        g_parkingBusy = false;
        g_parkStandsLoaded = false;
        g_parkRefreshDue = false;
        g_parkRefreshPhase = false;
        g_staticParkingCountdown = 20;
        g_flightRunning = false;
        g_parkedTrafficSource = {&gf_requestParkedTraffic, &gf_takeParkedTraffic};
        gf_clearLiveryDb();
        gf_clearAirports();
    }

    // RealTraffic sees more parked aircraft than the limit allows, a new one at each request.
    std::vector<ParkedAircraftRecord> reply() const
    {
        std::vector<ParkedAircraftRecord> out;
        // Stands far apart, so that none blocks another.
        for (std::size_t i = 0; i < 6; ++i) {
            const ParkStand& stand = g_parkStands.at(30 * i + 5);
            ParkedAircraftRecord r;
            r.hexId = static_cast<uint32_t>(0x3c4b20 + i + 8 * requests_);
            r.callsign = fmt::format("DLH{}", 100 * requests_ + i);
            r.registration = fmt::format("D-AI{}{}", requests_, i);
            r.key.airline = gf_airlineIndex("DLH");
            r.key.model = gf_modelIndex("A320");
            r.latitude = stand.latitude;
            r.longitude = stand.longitude;
            r.standName = stand.id;
            out.push_back(r);
        }
        return out;
    }

    // The main loop's turns for `seconds` simulator seconds: one turn, 10 ms, one dispatch.
    void run(int seconds, const std::function<void()>& each = {})
    {
        const int32_t until = g_secondTicks + seconds;
        for (int turn = 0; turn < seconds * 200 && g_secondTicks < until; ++turn) {
            ASSERT_TRUE(lf_tick());
            clock_->advance(std::chrono::milliseconds(10));
            lf_dispatchOnce(handle_);
            if (each) each();
        }
        ASSERT_EQ(g_secondTicks, until);
    }

    // The texts the window draws now.
    static std::vector<std::string> shownTexts()
    {
        platform::RecordingCanvas canvas;
        lf_paintMainWindow(canvas);
        std::vector<std::string> texts;
        for (const auto& op : canvas.ops()) {
            if (op.kind == platform::DrawOp::Kind::Text) texts.push_back(op.text);
        }
        return texts;
    }

    static std::size_t active()
    {
        return static_cast<std::size_t>(
            std::count_if(g_staticAcs.begin(), g_staticAcs.end(),
                          [](const StaticAc& s) { return s.state == SimObjectState::active; }));
    }

    // The user parked at Schiphol's D16 with the simulator's seconds running, and the park
    // airport's stands loaded at the loop's start.
    void parkAtD16()
    {
        placeUser(kD16Lat, kD16Lon, -11, true, fmt::format(R"("liveries": ["{}"])", kA320));
        g_flightRunning = true;
        lf_checkUserPosition(true);
        ASSERT_EQ(g_parkStands.size(), 190u);
        ASSERT_TRUE(g_parkStandsLoaded);
        g_secondTicks = 0;
    }

    // The reports as RealTraffic polls them, one poll every 5 s of the main loop.
    void fly(std::vector<Report> reports)
    {
        for (const auto& poll : pollsOf(std::move(reports))) {
            push(poll, 30);
            run(5);
        }
    }

    static const ParkStand& stand(const char* id)
    {
        return g_parkStands.at(lf_standIdByName(id) - 1);
    }

    // A flight that lands on a runway of its own and taxis to a stop 10 m short of the stand,
    // facing it.
    static std::vector<Report> arrivalTo(uint32_t hex, const char* callsign, const ParkStand& to,
                                         double t_s)
    {
        LatLon stop{};
        double taxi_deg = 0.0;
        std::vector<Report> reports = arrivalReports(
            hex, t_s, {to.latitude, to.longitude}, to.heading + kPi / 2, stop, taxi_deg, 7, -11.0);
        const LatLon wanted = gf_destinationPoint({to.latitude, to.longitude},
                                                  (taxi_deg + 180) * kRadPerDeg, 10 / 0.3048);
        for (Report& r : reports) {
            r.lat += wanted.lat - stop.lat;
            r.lon += wanted.lon - stop.lon;
            r.callsign = callsign;
            r.registration.clear();
        }
        return reports;
    }

    static bool parkedOn(uint32_t hex, const char* id)
    {
        const LiveAc* aircraft = live(hex);
        return aircraft && aircraft->state == SimObjectState::active &&
               aircraft->phase == FlightPhase::parked && aircraft->standId == lf_standIdByName(id);
    }

    ScopedWorkDir work_;
    uint64_t requests_ = 0;
};

TEST_F(ParkRefresh, StandsStayFilledWithinTheLimitOverTheRefresh)
{
    // The loop's start: on the ground at EHAM, the stands load at once and the parked traffic is
    // asked for; the park driver's next run plans, and the statics come one by one.
    parkAtD16();
    // The stand file names no airport: the airport database's name stands in for it.
    const auto lines = log_.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        fmt::format("Airport file read from '{}' for Amsterdam Airport Schiphol",
                                    (g_myThirdpartyDir / "EHAM.xml").string())),
              lines.end());
    run(40);
    EXPECT_EQ(requests_, 1u);
    EXPECT_EQ(active(), 4u);
    EXPECT_FALSE(g_parkingBusy);

    // The countdown runs out at the next full minute and announces the refresh; phase A asks
    // again at the next quarter minute, phase B re-plans 15 s later.
    g_staticParkingCountdown = 1;
    std::size_t most = 0;
    run(20, [&] { most = std::max(most, active()); });  // 60
    EXPECT_TRUE(g_parkRefreshDue);
    EXPECT_EQ(requests_, 1u);
    run(15, [&] { most = std::max(most, active()); });  // 75: phase A
    EXPECT_EQ(requests_, 2u);
    EXPECT_TRUE(g_parkRefreshPhase);
    run(15, [&] { most = std::max(most, active()); });  // 90: phase B
    EXPECT_FALSE(g_parkRefreshPhase);
    EXPECT_FALSE(g_parkRefreshDue);
    // The four on their stands are kept: RealTraffic's new ones find the stands taken.
    EXPECT_TRUE(log_.contains("Parking adjustments: 0 to be removed, 0 to be added"));
    // The window draws the message on its one line, and no text with a line end.
    const auto texts = shownTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "Parking adjustments: 0 to be removed, 0 to be added"),
              texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "EHAM (AMS)"), texts.end());
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& text) {
        return text.starts_with(" Amsterdam Airport Schiphol, ");
    }));
    for (const auto& text : texts) EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    run(30, [&] { most = std::max(most, active()); });
    EXPECT_LE(most, 4u);
    EXPECT_EQ(active(), 4u);
    EXPECT_TRUE(g_staticCandidates.empty());
    EXPECT_FALSE(g_parkingBusy);
    EXPECT_EQ(lf_countStaticParked(false), 4u);
}

// Parked live aircraft stand through the refreshes for as long as they have stood, however they
// came to their stand; when one more parks than the limit allows, the one parked longest goes.
TEST_F(ParkRefresh, AnArrivalStaysParkedOverTwoRefreshesAndTheLongestParkedMakesRoom)
{
    MAX_PARK_SEL.current = 2;
    parkAtD16();
    run(40);
    // One flight is first seen standing at G7 and appears there; one lands and taxis to M06.
    const uint32_t standing = 0x485001, first = 0x485002, second = 0x485003;
    for (uint32_t hex : {standing, first, second}) livery(hex);
    Report atG7 = reportAt({stand("G7").latitude, stand("G7").longitude}, 0, 0, 0, 0);
    atG7.hex = standing;
    atG7.callsign = "KLM1001";
    std::vector<Report> reports{atG7};
    atG7.time_s += 20;
    reports.push_back(atG7);
    const auto arrival = arrivalTo(first, "KLM1002", stand("M06"), 60);
    reports.insert(reports.end(), arrival.begin(), arrival.end());
    fly(reports);
    run(60);
    ASSERT_TRUE(parkedOn(standing, "G7"));
    ASSERT_TRUE(parkedOn(first, "M06"));

    // Two refreshes, twenty minutes apart: both stay where they are.
    int refreshes = 0;
    bool between = false;
    while (refreshes < 2) {
        run(1, [&] {
            if (g_parkRefreshPhase) between = true;
            if (between && !g_parkRefreshPhase) {
                between = false;
                ++refreshes;
            }
        });
        ASSERT_LT(g_secondTicks, 3000);
    }
    EXPECT_GT(g_secondTicks, 2400);
    EXPECT_TRUE(parkedOn(standing, "G7"));
    EXPECT_TRUE(parkedOn(first, "M06"));

    // A third parks: the one that has stood longest makes room.
    const auto later = arrivalTo(second, "KLM1003", stand("Y71"), g_secondTicks);
    fly(later);
    run(60);
    EXPECT_TRUE(parkedOn(second, "Y71"));
    EXPECT_TRUE(parkedOn(first, "M06"));
    EXPECT_EQ(stateOf(standing), SimObjectState::removingfromsim);
    EXPECT_EQ(count("G7      : KLM1001 live max park exceeded, removed"), 1);
}

// A run that loaded the park airport's stands and ends in an in-process restart leaves the next
// run no stand table, no snapshot of it and no closest stand.
TEST_F(ParkRefresh, ARestartAfterALoadedParkAirportLeavesNoStandTable)
{
    parkAtD16();
    run(5);
    ASSERT_EQ(gf_closestStandName(kD16Lat, kD16Lon), "D16");
    ASSERT_FALSE(gf_standSpots()->empty());
    gf_requestStop(ExitReason::NEW_SETTINGS, 0);

    lf_closingDown();

    EXPECT_TRUE(g_restartPending);
    EXPECT_FALSE(gf_parkAirportSet());
    EXPECT_TRUE(g_parkStands.empty());
    EXPECT_TRUE(gf_standSpots()->empty());
    EXPECT_EQ(gf_closestStandName(kD16Lat, kD16Lon), "");
    EXPECT_TRUE(gf_sceneryRunFresh());
    EXPECT_TRUE(gf_foundationRunFresh());
    EXPECT_TRUE(gf_simLinkRunFresh());
    EXPECT_TRUE(gf_appRunFresh());
    g_restartPending = false;
}

}  // namespace
}  // namespace qel::test
