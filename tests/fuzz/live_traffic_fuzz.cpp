// Live traffic at the park airport from any sequence of reports: each is a RealTraffic record
// decoded as the Traffic Reader does, handed over in batches through the first load and then as
// polls, while the fast tick drives the aircraft against the stand-in simulator. Every tick must
// come back, and every aircraft in the simulator stay on the earth.
//
// The input, one command a byte: a report of one of three flights (its bytes: seconds after its
// last, metres north and east of it, altitude, speed, track, vertical rate, flags), the batch
// handed over (in the first load while no tick has run), or ticks run.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/geodesy.h"
#include "foundation/globals.h"
#include "foundation/run_state.h"
#include "fuzz_support.h"
#include "liveries/liveries.h"
#include "platform/clock.h"
#include "realtraffic/decoding.h"
#include "realtraffic/realtraffic.h"
#include "scenery/stand_snapshot.h"
#include "simlink/link_internal.h"
#include "simlink/simlink.h"
#include "standins/simulator/sim_standin.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/park_airports.h"
#include "traffic/stands.h"
#include "traffic/traffic.h"

namespace {
namespace live_traffic {

using namespace qel;

constexpr LatLon kField{51.2895, 6.76678};  // EDDL, 147 ft
constexpr LatLon kUser{51.2793, 6.7635};
constexpr double kBaseTime_s = 1'767'225'600.0;
// Enough for a flight to land and park or to hold its time out, little enough for many runs.
constexpr int32_t kMostTicks = 15000;
const char* const kTypes[] = {"A320", "B738", "C172", "R44"};

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool empty() const { return at >= size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    int8_t signedByte() { return static_cast<int8_t>(byte()); }
};

struct Flight {
    LatLon at = kField;
    double time_s = kBaseTime_s;
    std::size_t type = 0;
};

struct World {
    std::unique_ptr<platform::ScopedClock> clock;
    platform::ManualClock* manual = nullptr;
    HANDLE handle = nullptr;
};

World& lf_world()
{
    static World world;
    if (world.clock) return world;
    auto manual = std::make_unique<platform::ManualClock>(1'767'225'600);
    world.manual = manual.get();
    world.clock = std::make_unique<platform::ScopedClock>(std::move(manual));
    gf_setAppDataDir(fuzz::scratchDir());
    gf_airlineIndex("");
    gf_modelIndex("");
    for (const char* code : kTypes) {
        g_icaoModelCodes.insert(code);
        const uint16_t id = gf_modelIndex(code);
        if (g_halfSpanNm.size() <= id) g_halfSpanNm.resize(id + 1U, 0.0);
        g_halfSpanNm[id] = 0.0097;
    }
    g_maxHalfSpanNm = 0.0097;
    g_largeModels = {gf_modelIndex("A320"), gf_modelIndex("B738")};
    g_rotorcraftModels = {gf_modelIndex("R44")};
    gf_setPollIntake(&gf_stackPoll);
    gf_setFirstLoadIntake(&gf_mergeFirstLoad);
    return world;
}

void lf_connect(World& world, uint8_t flags)
{
    gf_closeSimConnect(world.handle);
    gf_resetSimLinkRun();
    simstandin::resetFromText(
        R"({"clock": {"start": "now"}, "user": {"lat": 51.2793, "lon": 6.7635, "alt_ft": 147,
        "heading_deg": 320, "on_ground": true}, "simulator": {"field_elevation_ft": 147,
        "first_object_id": 100, "liveries": ["Airbus A320 Lufthansa",
        {"title": "Robinson R44 Police", "helicopter": true}]}})");
    fuzz::require(lf_openConnection(world.handle));
    lf_simConnectSetup(world.handle);
    lf_dispatchOnce(world.handle);
    gf_requestUserAcPosition();
    lf_dispatchOnce(world.handle);
    g_userState = gf_requestUserAcPosition();
    gf_resetTrafficRun();
    g_fastTicks = 0;
    LIGHT_AIRCRAFT.current = (flags & 1) != 0;
    HELICOPTERS.current = (flags & 2) != 0;
    AIRBORNE_ONLY.current = (flags & 4) != 0;
    g_parkAirport = Airport{};
    g_parkAirport.code = AirportCode("EDDL");
    g_parkAirport.latitude = kField.lat;
    g_parkAirport.longitude = kField.lon;
    g_parkAirport.altitude = 147.0F;
    g_parkStands.clear();
    if (flags & 8) {
        g_parkStands.emplace_back("A1", std::vector<LearnedFlight>{}, kField.lat + 0.002,
                                  kField.lon, 0.0, 30.0, false, false, false);
        g_parkStands.back().number = 1;
    }
    gf_publishStandSpots();
    for (uint32_t k = 0; k < 3; ++k) g_pendingCreations[0x48548e + k] = "Airbus A320 Lufthansa";
}

// The record as RealTraffic sends it; the decoder drops or mends it as it does any.
void lf_report(Input& in, std::size_t k, Flight& flight, std::vector<LiveAircraftRecord>& batch)
{
    flight.time_s += in.signedByte() * 0.25;
    const uint8_t move = in.byte();
    const double scale_m = (move & 1) ? 256.0 : 4.0;
    const double north_m = in.signedByte() * scale_m;
    const double east_m = in.signedByte() * scale_m;
    flight.at = gf_destinationPoint(flight.at, std::atan2(east_m, north_m),
                                    std::hypot(north_m, east_m) / 0.3048);
    const uint8_t altitude = in.byte();
    const int8_t speed = in.signedByte();
    const uint8_t track = in.byte();
    const int8_t climb = in.signedByte();
    const uint8_t flags = in.byte();
    if (flags & 1) flight.type = (flight.type + 1) % std::size(kTypes);
    nlohmann::json r(rt::kLiveRecordFields, nullptr);
    r[0] = fmt::format("{:x}", 0x48548e + k);
    r[1] = flight.at.lat;
    r[2] = flight.at.lon;
    r[3] = (flags & 2) ? 0.0 : track * 1.40625;
    r[4] = altitude < 100 ? 0.0 : (altitude - 100) * 80.0;
    if (speed != -128) r[5] = speed * 4.0;  // else missing
    r[8] = kTypes[flight.type];
    r[9] = fmt::format("D-A{:03}", k);
    r[10] = flight.time_s;
    r[13] = fmt::format("DLH{}", k + 1);
    r[15] = climb * 100.0;
    if (flags & 4) {
        r[17] = "X_adsb_icao";
        r[25] = track * 1.40625;
    }
    if (flags & 8) r[20] = speed * 4.5;
    if (flags & 16) r[23] = climb * 0.25;
    r[28] = flight.type == 3 ? "A7" : "A3";
    rt::LiveDecodeContext context;
    context.reference = kUser;
    context.parkAirport = ParkAirportReference{kField.lat, kField.lon, 147.0F};
    context.airborneOnly = AIRBORNE_ONLY.current;
    rt::LiveDecodeState state;
    rt::processLine(r, context, state);
    for (auto& record : state.records) batch.push_back(std::move(record));
}

void lf_checkAircraft()
{
    for (const LiveAc& aircraft : g_liveAcs) {
        if (aircraft.state != SimObjectState::active) continue;
        const auto& p = aircraft.position;
        fuzz::require(std::isfinite(p.latitude) && std::isfinite(p.longitude) &&
                      std::abs(p.latitude) <= 90.0 && std::abs(p.longitude) <= 180.0 &&
                      std::isfinite(p.altitude_ft) && std::isfinite(p.heading_rad));
    }
}

// As the main loop does: the fast tick every 10 ms, the stand check every second.
void lf_runTicks(World& world, int32_t count)
{
    for (int32_t i = 0; i < count && g_fastTicks < kMostTicks; ++i) {
        lf_handleAddingStack();
        world.manual->advance(std::chrono::milliseconds(10));
        lf_dispatchOnce(world.handle);
        if (g_fastTicks % 100 == 0) {
            gf_writeDayAndSlot();
            gf_checkNextQueuedStand(g_dayAndSlot);
        }
        lf_checkAircraft();
    }
}

void lf_setMainLoopRunning(bool running)
{
    std::scoped_lock lock(g_trafficMutex);
    g_mainLoopRunning = running;
}

}  // namespace live_traffic
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace live_traffic;
    if (size > 4096) return 0;
    World& world = lf_world();
    Input in{data, size};
    lf_connect(world, in.byte());
    Flight flights[3];
    std::vector<LiveAircraftRecord> batch;
    int32_t firstLoadStep = 0;
    bool running = false;
    while (!in.empty() && g_fastTicks < kMostTicks) {
        const uint8_t command = in.byte();
        const int32_t arg = command >> 2;
        if ((command & 3) < 2) {
            const auto k = static_cast<std::size_t>(arg % 3);
            lf_report(in, k, flights[k], batch);
            continue;
        }
        // Five steps of the first load at most, and none once the main loop runs.
        const bool firstLoad = !running && firstLoadStep < 5 && (command & 3) == 2;
        if (!firstLoad && !running) {
            lf_setMainLoopRunning(true);
            running = true;
        }
        if ((command & 3) == 2) {
            qel::gf_pushAddingStack(batch, firstLoad ? 6 * firstLoadStep++ : qel::kPollDelay_s);
            batch.clear();
        }
        if (running) lf_runTicks(world, (command & 3) == 2 ? 100 : arg * 100);
    }
    if (!running) lf_setMainLoopRunning(true);
    lf_runTicks(world, 4000);
    lf_setMainLoopRunning(false);
    return 0;
}
