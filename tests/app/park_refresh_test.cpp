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
#include "traffic/traffic_fixture.h"

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
        g_airports.push_back(eham);
        g_airportCodeSet.insert(eham.code.word());
        fs::create_directories(g_myThirdpartyDir);
        fs::copy_file(fs::path(VNTQ_SOURCE_DIR) / "tests" / "data" / "stands" / "EHAM.xml",
                      g_myThirdpartyDir / "EHAM.xml");
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

    static std::size_t active()
    {
        return static_cast<std::size_t>(
            std::count_if(g_staticAcs.begin(), g_staticAcs.end(),
                          [](const StaticAc& s) { return s.state == SimObjectState::active; }));
    }

    ScopedWorkDir work_;
    uint64_t requests_ = 0;
};

TEST_F(ParkRefresh, StandsStayFilledWithinTheLimitOverTheRefresh)
{
    simstandin::resetFromText(fmt::format(
        R"({{"clock": {{"start": "now"}}, "user": {{"lat": {}, "lon": {}, "alt_ft": -11,
        "heading_deg": 4, "on_ground": true}}, "simulator": {{"liveries": ["{}"]}}}})",
        kD16Lat, kD16Lon, kA320));
    connect();
    ASSERT_TRUE(gf_requestUserOnGroundEverySecond());
    userState();
    pump(1.1);
    g_userState = gf_requestUserAcPosition();
    g_flightRunning = true;

    // The loop's start: on the ground at EHAM, the stands load at once and the parked traffic is
    // asked for; the park driver's next run plans, and the statics come one by one.
    lf_checkUserPosition(true);
    ASSERT_EQ(g_parkStands.size(), 190u);
    ASSERT_TRUE(g_parkStandsLoaded);
    g_secondTicks = 0;
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
    run(30, [&] { most = std::max(most, active()); });
    EXPECT_LE(most, 4u);
    EXPECT_EQ(active(), 4u);
    EXPECT_TRUE(g_staticCandidates.empty());
    EXPECT_FALSE(g_parkingBusy);
    EXPECT_EQ(lf_countStaticParked(false), 4u);
}

}  // namespace
}  // namespace qel::test
