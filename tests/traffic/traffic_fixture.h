// A fixture for the traffic manager against the in-process stand-in simulator: the simulator
// link's fixture (manual clock, world at Düsseldorf, one dispatch at a time), a small aircraft
// database, and a deterministic pump that runs one fast tick, then lets 10 ms of simulator time
// pass and dispatches what the simulator sent. Traffic is fed as scripted batches of records.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "foundation/random.h"
#include "liveries/liveries.h"
#include "simlink/link_fixture.h"
#include "traffic/motion_math.h"
#include "traffic/traffic.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/motion.h"
#include "traffic/park_airports.h"
#include "traffic/parked_plan.h"
#include "traffic/stands.h"

namespace qel::test {

constexpr double kD16Lat = 52.307150;  // the stand D16 of Schiphol's real stand file
constexpr double kD16Lon = 4.769933;

// A flight's report as the Traffic Reader would decode it.
struct Report {
    uint32_t hex = 0x48548e;
    std::string callsign = "KLM56A";
    std::string type = "A320";
    double lat = 51.30;
    double lon = 6.80;
    double alt_ft = 3000.0;
    double gs_kt = 180.0;
    double track_deg = 230.0;
    double time_s = 1'767'225'600.0;
    std::string registration = "PH-EXL";
    double vs_fpm = 0.0;
    std::string origin = "AMS";
    std::string destination = "DUS";
};

inline LiveAircraftRecord record(const Report& r)
{
    LiveAircraftRecord out;
    out.hexId = r.hex;
    out.callsign = r.callsign;
    out.registration = r.registration;
    out.key.model = gf_modelIndex(r.type);
    out.origin = ShortAirportCode(r.origin);
    out.destination = ShortAirportCode(r.destination);
    out.reportTime_s = r.time_s;
    out.sample.latitude = r.lat;
    out.sample.longitude = r.lon;
    out.sample.altitude_ft = r.alt_ft;
    out.sample.groundSpeed_kt = r.gs_kt;
    out.sample.airspeed_kt = r.gs_kt;
    out.sample.track_deg = r.track_deg;
    out.sample.verticalRate_fpm = r.vs_fpm;
    out.sample.airborne = r.alt_ft > 0.0;
    return out;
}

// A report at a place, `t_s` seconds after the default report time.
inline Report reportAt(LatLon p, double alt_ft, double gs_kt, double track_deg, double t_s)
{
    Report r;
    r.lat = p.lat;
    r.lon = p.lon;
    r.alt_ft = alt_ft;
    r.gs_kt = gs_kt;
    r.track_deg = track_deg;
    r.time_s += t_s;
    return r;
}

// Reports every 5 s along a course at a speed, the altitude moving by `climb_fpm`.
inline void reportLeg(std::vector<Report>& out, LatLon& p, double& alt_ft, double& t_s,
                      double course_deg, double gs_kt, double climb_fpm, int count)
{
    for (int i = 0; i < count; ++i) {
        p = gf_destinationPoint(p, course_deg * kRadPerDeg, gs_kt * 5.0 / 3600.0 * kFeetPerNm);
        alt_ft = std::max(alt_ft + climb_fpm / 12.0, 0.0);
        t_s += 5.0;
        out.push_back(reportAt(p, alt_ft, gs_kt, course_deg, t_s));
        out.back().vs_fpm = alt_ft > 0.0 ? climb_fpm : 0.0;
    }
}

// An arrival starting `t_s` seconds in onto the runway whose threshold lies at `threshold` and
// whose course is `runway_rad`: 2 nm out on the extended centre line 640 ft above the field
// (`field_ft`), 3° down to the threshold, rolled out, turned off to the left and taxied in
// `taxiLegs` legs of 5 s to a stop at `stop`, which faces `taxi_deg`.
inline std::vector<Report> arrivalReports(uint32_t hex, double t_s, LatLon threshold,
                                          double runway_rad, LatLon& stop, double& taxi_deg,
                                          int taxiLegs = 7, double field_ft = 147.0)
{
    const double runway_deg = runway_rad / kRadPerDeg;
    std::vector<Report> reports;
    LatLon p = gf_destinationPoint(threshold, (runway_deg + 180) * kRadPerDeg, 2 * kFeetPerNm);
    double alt = field_ft + 640;
    double t = t_s;
    reports.push_back(reportAt(p, alt, 140, runway_deg, t));
    reportLeg(reports, p, alt, t, runway_deg, 140, -740, 10);
    alt = 0;
    for (double v : {120.0, 90.0, 60.0, 35.0, 20.0}) {
        reportLeg(reports, p, alt, t, runway_deg, v, 0, 1);
    }
    taxi_deg = runway_deg - 90;
    reportLeg(reports, p, alt, t, taxi_deg, 15, 0, taxiLegs);
    p = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 20 / 0.3048);
    Report last = reportAt(p, 0, 0, taxi_deg, t + 5);
    reports.push_back(last);
    last.time_s += 5;
    reports.push_back(last);
    for (Report& r : reports) r.hex = hex;
    stop = p;
    return reports;
}

// The reports of one time form one poll, in time order.
inline std::vector<std::vector<Report>> pollsOf(std::vector<Report> reports)
{
    std::stable_sort(reports.begin(), reports.end(),
                     [](const Report& a, const Report& b) { return a.time_s < b.time_s; });
    std::vector<std::vector<Report>> polls;
    for (const Report& r : reports) {
        if (polls.empty() || polls.back().front().time_s != r.time_s) polls.emplace_back();
        polls.back().push_back(r);
    }
    return polls;
}

// Two reports 6 s apart of one flight at `lat`, pushed as the first load: spawned at once.
inline void firstLoad(uint32_t hex, const std::string& callsign, double lat)
{
    Report a;
    a.hex = hex;
    a.callsign = callsign;
    a.lat = lat;
    Report b = a;
    b.lat += 0.01;
    b.time_s += 6.0;
    std::vector<LiveAircraftRecord> one{record(a)};
    gf_pushAddingStack(one, 0);
    std::vector<LiveAircraftRecord> two{record(b)};
    gf_pushAddingStack(two, 6);
}

// With VNTQ_TICK_DUMP=<folder>, every tick writes the state of each live aircraft to
// <folder>/<suite>.<case>: a change to the motion code that is to leave its behaviour alone
// shows that it does when the dumps before and after it are byte-identical. Off by default.
inline void dumpTick()
{
    static const char* const folder = std::getenv("VNTQ_TICK_DUMP");
    static std::unique_ptr<FILE, int (*)(FILE*)> file(nullptr, std::fclose);
    static std::string open;
    if (folder == nullptr || *folder == '\0') return;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = fmt::format("{}.{}", test->test_suite_name(), test->name());
    std::replace(name.begin(), name.end(), '/', '_');
    if (name != open) {
        file.reset(std::fopen(fmt::format("{}/{}", folder, name).c_str(), "w"));
        open = name;
    }
    if (!file) return;
    fmt::print(file.get(), "t {} {}\n", g_fastTicks.load(), g_liveAcs.size());
    for (const LiveAc& a : g_liveAcs) {
        const AiPositionBlock& p = a.position;
        const LegPace& v = a.pace;
        fmt::print(file.get(),
                   "{:x} {} {} {:.17g} {:.17g} {:.17g} {:.17g} {:.17g} {:.17g} | {:.17g} {:.17g} "
                   "{:.17g} {:.17g} {:.17g} {:.17g} {} {:.17g} {:.17g} {:.17g} {:d} {:d} {} | "
                   "{} {} {} | {}",
                   a.hexId, simObjectStateName(a.state), flightPhaseName(a.phase), p.latitude,
                   p.longitude, p.altitude_ft, p.heading_rad, p.pitch_rad, p.bank_rad, v.now_kt,
                   v.free_kt, v.nominal_kt, v.hold_kt, v.end_kt, v.rate_ktPerTick, v.endTicks,
                   v.left_ktTicks, v.exit_kt, v.lag_ticks, v.stops, v.bent,
                   v.reportedDue.value_or(-1), a.earlyWindow, a.lateWindow, a.cornerLead_ticks,
                   a.samples.size());
        if (!a.samples.empty()) {
            const QueuedSample& f = a.samples.front();
            fmt::print(file.get(), " {} {:.17g} {:.17g}", f.dueTick, f.latitude, f.longitude);
        }
        fmt::print(file.get(), "\n");
    }
}

class TrafficTest : public SimLinkTest {
protected:
    TrafficTest()
    {
        gf_resetTrafficRun();
        gf_resetRtRun();
        g_fastTicks = 0;
        // Each aircraft draws its pitches a few percent either way: a fixed seed keeps every run's
        // per-tick dump the same, so that dumps before and after a change can be compared.
        g_rng.seed(1);
        // As the program does at start: the RealTraffic client hands its batches to the manager.
        gf_setPollIntake(&gf_stackPoll);
        gf_setFirstLoadIntake(&gf_mergeFirstLoad);
        // As the database does: the empty codes first, so that id 0 means none.
        gf_airlineIndex("");
        gf_modelIndex("");
        for (const char* code : {"A320", "B738", "C172", "R44"}) {
            g_icaoModelCodes.insert(code);
            span(code, 0.0097);
        }
        g_largeModels.insert(gf_modelIndex("A320"));
        g_largeModels.insert(gf_modelIndex("B738"));
        g_rotorcraftModels.insert(gf_modelIndex("R44"));
        std::scoped_lock lock(g_trafficMutex);
        g_mainLoopRunning = true;
    }

    ~TrafficTest() override
    {
        gf_resetTrafficRun();
        gf_resetRtRun();
        g_trafficWindowHooks = {};
        std::scoped_lock lock(g_trafficMutex);
        g_mainLoopRunning = false;
    }

    // The log lines that start with `head` and end with `tail`, as `count` does for whole lines.
    int countLike(std::string_view head, std::string_view tail = {})
    {
        const auto lines = log_.lines();
        return static_cast<int>(std::count_if(
            lines.begin(), lines.end(),
            [&](const std::string& l) { return l.starts_with(head) && l.ends_with(tail); }));
    }

    // A world at EDDL with the user parked, connected, the user's state known.
    void start(const std::string& simulatorMembers = "")
    {
        world(simulatorMembers);
        connect();
        userState();
        g_userState = gf_requestUserAcPosition();
    }

    // A world with the user aircraft at a place, on the ground or in the air, connected, its
    // state and its once-a-second on-ground reply taken in; `simulatorMembers` adds to the
    // world's "simulator" object.
    void placeUser(double lat, double lon, double alt_ft, bool onGround,
                   const std::string& simulatorMembers = "")
    {
        simstandin::resetFromText(fmt::format(
            R"({{"clock": {{"start": "now"}}, "user": {{"lat": {}, "lon": {}, "alt_ft": {},
            "heading_deg": 4, "on_ground": {}}}, "simulator": {{{}}}}})",
            lat, lon, alt_ft, onGround, simulatorMembers));
        connect();
        ASSERT_TRUE(gf_requestUserOnGroundEverySecond());
        userState();
        pump(1.1);
        g_userState = gf_requestUserAcPosition();
        ASSERT_TRUE(gf_userOnGroundValid());
    }

    // One fast tick, then 10 ms of simulator time and one dispatch.
    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            lf_handleAddingStack();
            dumpTick();
            clock_->advance(std::chrono::milliseconds(10));
            lf_dispatchOnce(handle_);
        }
    }

    // Ticks until the predicate holds; false after `limit` ticks.
    bool tickUntil(const std::function<bool()>& holds, int limit = 20000)
    {
        for (int i = 0; i < limit; ++i) {
            if (holds()) return true;
            tick();
        }
        return holds();
    }

    // The livery the matcher would choose, waiting for the hex id.
    static void livery(uint32_t hex, const std::string& title = kA320)
    {
        g_pendingCreations[hex] = title;
    }

    static void push(const std::vector<Report>& reports, int32_t delay_s)
    {
        std::vector<LiveAircraftRecord> batch;
        for (const auto& r : reports) batch.push_back(record(r));
        gf_pushAddingStack(batch, delay_s);
    }

    static LiveAc* live(uint32_t hex) { return lf_findLive(hex); }

    static SimObjectState stateOf(uint32_t hex)
    {
        const LiveAc* aircraft = lf_findLive(hex);
        return aircraft ? aircraft->state : SimObjectState::removingfromsim;
    }

    int callCount(const std::string& function)
    {
        return static_cast<int>(callsOf(function).size());
    }
};

}  // namespace qel::test
