// The world of one stream and its play: the feed's polls handed over when they come in, the main
// loop paced as the program paces it (a tick that came late by more than 100 ms is not caught
// up), the stand-in simulator's frames every 10 ms, and a look at its objects every 0.1 s.
#include "watcher/watch_world.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <fmt/format.h>

#include "scenery/stand_snapshot.h"
#include "traffic/park_airports.h"
#include "watcher/watch_bounds.h"
#include "watcher/watch_checks.h"

namespace qel::watch {

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kHex = 0x4ca1d3;
constexpr const char* kCallsign = "EIN4TX";
// The flights around it in each poll: fresh reports that set the poll's median report time,
// of a type no database knows, so that the intake drops them.
constexpr uint32_t kAroundHex = 0x3c0001;
constexpr double kBaseTime_s = 1'767'225'600.0;
constexpr auto kTick = 10ms;
constexpr auto kMaxCatchUp = 100ms;
// After the last report comes in: its replay, and what the aircraft does when its reports stop.
constexpr double kAfterLast_s = 45.0;
// A tick nobody sees come back for this long of the machine's time ends the run.
constexpr int kWatchdog_s = 120;

const char* lf_typeCode(Type t)
{
    switch (t) {
    case Type::a320: return "A320";
    case Type::b738: return "B738";
    case Type::c172: return "C172";
    case Type::r44: return "R44";
    }
    return "A320";
}

LiveAircraftRecord lf_record(const FedReport& r, Type type)
{
    LiveAircraftRecord out;
    out.hexId = kHex;
    out.callsign = kCallsign;
    out.registration = "EI-FNH";
    out.key.model = gf_modelIndex(lf_typeCode(type));
    out.origin = ShortAirportCode("DUB");
    out.destination = ShortAirportCode("DUS");
    out.reportTime_s = kBaseTime_s + r.time_s;
    out.sample.latitude = r.at.lat;
    out.sample.longitude = r.at.lon;
    out.sample.altitude_ft = r.alt_ft;
    out.sample.groundSpeed_kt = r.speed_kt;
    out.sample.airspeed_kt = std::abs(r.speed_kt);
    out.sample.track_deg = r.track_deg;
    out.sample.verticalRate_fpm = r.vs_fpm;
    out.sample.airborne = r.alt_ft > 0.0;
    return out;
}

LiveAircraftRecord lf_aroundRecord(uint32_t k, double reportTime_s, LatLon near)
{
    LiveAircraftRecord out;
    out.hexId = kAroundHex + k;
    out.callsign = fmt::format("ZZZ{}", k);
    out.key.model = gf_modelIndex("ZZZZ");
    out.reportTime_s = reportTime_s;
    out.sample.latitude = near.lat;
    out.sample.longitude = near.lon;
    out.sample.altitude_ft = 20000.0;
    out.sample.groundSpeed_kt = 300.0;
    out.sample.airborne = true;
    return out;
}

// Where the user stands: near the stream, in the middle of where it goes.
LatLon lf_userPlace(const Plan& plan, const std::vector<TruthPoint>& truth)
{
    const LatLon start{plan.lat, plan.lon};
    if (truth.empty()) return start;
    // Halfway between the ends of the truth, measured from its start.
    const LatLon end = truth.back().at;
    const double d_ft = gf_distanceNm(start, end) * 6076.11549 / 2.0;
    const LatLon mid = gf_destinationPoint(start, gf_bearingRad(start, end), d_ft);
    // A kilometre aside, off any taxi way.
    return gf_destinationPoint(mid, gf_bearingRad(start, end) + 1.5707963, 3280.84);
}

}  // namespace

struct WatchWorld::Seen {
    double t_s = 0.0;
    uint32_t objectId = 0;
    LatLon at;
    double alt_ft = 0.0;
    double heading_deg = 0.0;
    bool onGround = false;
};

WatchWorld::WatchWorld(const Plan& plan) : plan_(plan)
{
    truth_ = truthOf(plan_);
    feed_ = feedOf(plan_, truth_);
    span("C172", halfSpan_m(Type::c172) / 1852.0);
    span("R44", halfSpan_m(Type::r44) / 1852.0);
}

void WatchWorld::setUp(const std::filesystem::path& traceFolder)
{
    const LatLon user = lf_userPlace(plan_, truth_);
    std::string members = fmt::format(
        R"("field_elevation_ft": {}, "first_object_id": 100, "frame_rate_hz": 100,
        "liveries": ["{}", {{"title": "{}", "helicopter": true}}])",
        plan_.field_ft, test::kA320, test::kR44);
    if (!traceFolder.empty()) {
        std::filesystem::create_directories(traceFolder);
        members += fmt::format(R"(, "output_folder": "{}", "trace_interval_s": 0.1)",
                               traceFolder.generic_string());
    }
    placeUser(user.lat, user.lon, plan_.field_ft, true, members);
    g_parkAirport = Airport{};
    g_parkAirport.code = AirportCode("ZZWA");
    g_parkAirport.latitude = plan_.lat;
    g_parkAirport.longitude = plan_.lon;
    g_parkAirport.altitude = static_cast<float>(plan_.field_ft);
    g_parkStands.clear();
    if (plan_.kind == Kind::push || plan_.kind == Kind::pullOut) {
        g_parkStands.emplace_back("A1", std::vector<LearnedFlight>{}, plan_.lat, plan_.lon,
                                  plan_.course_deg * kRadPerDeg, 30.0, false, false, false);
        g_parkStands.back().number = 1;
    }
    gf_publishStandSpots();
    livery(kHex, isRotor(plan_.type) ? test::kR44 : test::kA320);
    simTime_s_ = 0.0;
}

// As the main loop does: the fast ticks due, and about once a second the stand check.
void WatchWorld::runTick()
{
    const int32_t second = g_fastTicks / 100;
    gf_runDueFastTicks();
    test::dumpTick();
    if (g_fastTicks / 100 != second) {
        gf_writeDayAndSlot();
        gf_checkNextQueuedStand(g_dayAndSlot);
    }
}

void WatchWorld::look(std::vector<Seen>& seen) const
{
    Seen s;
    s.t_s = simTime_s_;
    for (const auto& object : simstandin::objects()) {
        if (object.kind != simstandin::ObjectKind::ai) continue;
        if (s.objectId != 0) {
            // Two at once: the second is what a watcher sees doubled.
            s.objectId = ~0U;
            break;
        }
        s.objectId = object.id;
        s.at = {object.latitude, object.longitude};
        s.alt_ft = object.altitude_ft;
        s.heading_deg = object.heading_rad * 180.0 / 3.141592653589793;
        s.onGround = object.onGround;
    }
    seen.push_back(s);
}

Verdict WatchWorld::play(const std::filesystem::path& traceFolder, std::vector<std::string>* rows)
{
    setUp(traceFolder);
    std::vector<Seen> seen;
    std::atomic<int64_t> ticks{0};
    std::jthread watchdog([&ticks, text = planText(plan_)](std::stop_token stop) {
        int64_t last = -1;
        for (int idle = 0; !stop.stop_requested(); std::this_thread::sleep_for(100ms)) {
            const int64_t now = ticks.load();
            idle = now == last ? idle + 1 : 0;
            last = now;
            if (idle > kWatchdog_s * 10) {
                std::fprintf(stderr, "a tick did not come back: %s\n", text.c_str());
                std::abort();
            }
        }
    });
    // Each report comes in with the reports of the flights around it, which are fresh.
    std::vector<std::pair<double, std::vector<LiveAircraftRecord>>> polls;
    for (const FedReport& r : feed_) {
        const double at = feedStart_s_ + r.arrival_s;
        if (polls.empty() || std::abs(polls.back().first - at) > 0.005) {
            polls.push_back({at, {}});
            const double fresh = kBaseTime_s + r.arrival_s +
                                 (r.arrival_s >= plan_.aroundFrom_s ? plan_.aroundBy_s : 0.0);
            polls.back().second.push_back(lf_aroundRecord(1, fresh, r.at));
            polls.back().second.push_back(lf_aroundRecord(2, fresh - 0.1, r.at));
        }
        polls.back().second.push_back(lf_record(r, plan_.type));
    }
    std::stable_sort(polls.begin(), polls.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const double end_s = (polls.empty() ? feedStart_s_ : polls.back().first) + kAfterLast_s;
    std::size_t nextPoll = 0;
    double nextLook = 0.0;
    double nextStall = plan_.stallEvery_s > 0.0 ? feedStart_s_ + plan_.stallEvery_s : HUGE_VAL;
    // The clock moves by frames of 10 ms at most, each dispatched, and is looked at every 0.1 s.
    const auto advance = [&](std::chrono::nanoseconds dt) {
        while (dt.count() > 0) {
            const auto step = std::min<std::chrono::nanoseconds>(dt, kTick);
            clock_->advance(step);
            dt -= step;
            simTime_s_ += std::chrono::duration<double>(step).count();
            lf_dispatchOnce(handle_);
            if (simTime_s_ + 1e-9 >= nextLook) {
                look(seen);
                nextLook += kSample_s;
            }
        }
    };
    auto now = std::chrono::nanoseconds(0);
    auto deadline = now + kTick;
    while (simTime_s_ < end_s) {
        now = std::chrono::nanoseconds(std::llround(simTime_s_ * 1e9));
        const auto target = now > deadline + kMaxCatchUp ? now : deadline;
        if (target > now) advance(target - now);
        deadline = target + kTick;
        while (nextPoll < polls.size() && polls[nextPoll].first <= simTime_s_) {
            // The livery the matcher chooses, again for a flight made anew.
            if (!lf_findLive(kHex)) livery(kHex, isRotor(plan_.type) ? test::kR44 : test::kA320);
            gf_pushAddingStack(polls[nextPoll].second, 30);
            ++nextPoll;
        }
        const auto wall = std::chrono::steady_clock::now();
        runTick();
        ++ticks;
        longestTick_s_ = std::max(
            longestTick_s_,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count());
        // The tick's own time: the machine is busy now and then.
        double work_s = 0.0;
        const double streamT = simTime_s_ - feedStart_s_;
        if (streamT >= plan_.stretchFrom_s && streamT < plan_.stretchFrom_s + plan_.stretchFor_s) {
            work_s = 0.0111;
        }
        if (simTime_s_ >= nextStall) {
            work_s += plan_.stall_ms / 1000.0;
            stalls_.push_back(simTime_s_);
            nextStall += plan_.stallEvery_s;
        }
        if (work_s > 0.0) advance(std::chrono::nanoseconds(std::llround(work_s * 1e9)));
    }
    watchdog.request_stop();
    Watched watched;
    watched.plan = &plan_;
    watched.feed = &feed_;
    watched.feedStart_s = feedStart_s_;
    watched.callsign = kCallsign;
    watched.longestTick_s = longestTick_s_;
    watched.stalls = stalls_;
    for (const Seen& s : seen) {
        watched.seen.push_back({s.t_s, s.objectId, s.at, s.alt_ft, s.heading_deg, s.onGround});
    }
    watched.logLines = log_.lines();
    if (!traceFolder.empty()) {
        std::ofstream log(traceFolder / "Log.txt");
        for (const std::string& line : watched.logLines) log << line << "\n";
    }
    watched.rows = rows;
    return judge(watched);
}

std::string Verdict::summary() const
{
    std::string out = fmt::format(
        "{} object(s), {} removal(s), watched {:.0f} s; worst lag {:.1f} s, off path {:.1f} m, "
        "sideways {:.2f} g",
        objects, removals, watched_s, worstLag_s, worstOffPath_m, worstSideways_g);
    for (const std::string& f : faults) out += "\n  " + f;
    return out;
}

}  // namespace qel::watch
