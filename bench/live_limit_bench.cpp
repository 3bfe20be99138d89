// The fast tick at the live limit in the busy sky of scripts/memory_peak: MAX_LIVE_SEL 500 with
// 500 active live aircraft on a ring 30 nm around the user, and 1,460 other flights on the same
// ring, none of which can win a slot (no active aircraft lies farther out).
// - NewcomersDue: all of them buffered and due in the timed tick; each asks whether an active
//   aircraft lies farther out than itself and is dropped. Reports the median and the maximum of
//   that tick's processor time in microseconds.
// - PollsOfAFullSky: a minute of ticks in which polls of all 1,960 flights, flying round the
//   ring at 250 kt, enter through the adding stack as the program takes them (one whenever the
//   last is merged, two reports a tick). Reports the median, p99 and maximum of one tick's
//   processor time, the processor time of the whole minute and the records built per poll. The
//   second variant starts one short of the limit: 499 active aircraft and one slot free.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench/turn_timing.h"
#include "foundation/catalogue.h"
#include "foundation/geodesy.h"
#include "liveries/liveries.h"
#include "realtraffic/realtraffic.h"
#include "simlink/simlink.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/traffic.h"

namespace {

using namespace qel;

constexpr int kActive = 500;
constexpr int kNewcomers = 1460;
constexpr double kLat = 52.30715;
constexpr double kLon = 4.769933;
constexpr double kRing_nm = 30.0;
constexpr double kFeetPerNm = 6076.11549;

LiveAc lf_aircraft(uint32_t hex, double bearing_rad, int32_t due)
{
    LiveAircraftRecord r;
    r.hexId = hex;
    r.callsign = "BEN" + std::to_string(hex & 0xFFFFF);
    r.key.model = gf_modelIndex("A320");
    r.reportTime_s = 1'767'225'600.0;
    const LatLon at = gf_destinationPoint({kLat, kLon}, bearing_rad, kRing_nm * kFeetPerNm);
    PosSample& s = r.sample;
    s.latitude = at.lat;
    s.longitude = at.lon;
    s.altitude_ft = 5000.0;
    s.groundSpeed_kt = s.airspeed_kt = 250.0;
    s.airborne = true;
    FlightData data = initLiveAc(r);
    data.hexId = hex;
    LiveAc aircraft(QueuedSample(r.sample, due), data, r.reportTime_s);
    QueuedSample next(r.sample, due);
    next.dueTick = due + 500;
    aircraft.samples.push_back(next);
    aircraft.position.latitude = at.lat;
    aircraft.position.longitude = at.lon;
    return aircraft;
}

// Not on a whole second: that tick takes the user's state from the simulator link.
void lf_prepareTick(int32_t tick)
{
    gf_resetTrafficRun();
    g_fastTicks = tick;
    g_userState.latitude = kLat;
    g_userState.longitude = kLon;
    g_userState.onGround = 1;
    const double step_rad = 2.0 * std::numbers::pi / (kActive + kNewcomers);
    for (int i = 0; i < kActive + kNewcomers; ++i) {
        const bool active = i < kActive;
        LiveAc aircraft = lf_aircraft(0x400000U + static_cast<uint32_t>(i), i * step_rad,
                                      active ? tick - 1000 : tick + 100);
        if (active) {
            aircraft.state = SimObjectState::active;
            aircraft.objectId = 1000 + static_cast<uint32_t>(i);
        }
        lf_appendLive(std::move(aircraft));
    }
}

void BM_NewcomersDueAtTheLiveLimit(benchmark::State& state)
{
    gf_reserveTrafficContainers();
    gf_reserveSimQueues();
    g_icaoModelCodes.insert("A320");
    MAX_LIVE_SEL.current = kActive;
    std::vector<double> cpu_us;
    int32_t tick = 1001;
    for (auto _ : state) {
        state.PauseTiming();
        lf_prepareTick(tick);
        tick += 1000;
        state.ResumeTiming();
        const double begin_us = bench::lf_threadCpu_us();
        lf_handleAddingStack();
        cpu_us.push_back(bench::lf_threadCpu_us() - begin_us);
        state.PauseTiming();
        gf_clearPositionBuffers();
        state.ResumeTiming();
    }
    std::sort(cpu_us.begin(), cpu_us.end());
    state.counters["cpu_median_us"] = cpu_us[cpu_us.size() / 2];
    state.counters["cpu_max_us"] = cpu_us.back();
    state.counters["dropped"] = static_cast<double>(kActive + kNewcomers - g_liveAcs.size());
    MAX_LIVE_SEL.current = MAX_LIVE_SEL.defaultValue;
    gf_resetTrafficRun();
}
BENCHMARK(BM_NewcomersDueAtTheLiveLimit)->Iterations(30)->Unit(benchmark::kMicrosecond);

constexpr int kFlights = kActive + kNewcomers;
constexpr int32_t kMinute_ticks = 6000;
constexpr int32_t kPollEvery = 200;  // the reader asks every 2 s; a poll waits for the last one
constexpr double kRingSpeed_kt = 250.0;

// Flight i's report at second s of the minute: round the ring, clockwise.
LiveAircraftRecord lf_ringReport(int i, double s)
{
    LiveAircraftRecord r;
    r.hexId = 0x400000U + static_cast<uint32_t>(i);
    r.callsign = "BEN" + std::to_string(r.hexId & 0xFFFFF);
    r.key.model = gf_modelIndex("A320");
    r.reportTime_s = 1'767'225'600.0 + s;
    const double bearing_rad =
        2.0 * std::numbers::pi * i / kFlights + kRingSpeed_kt / kRing_nm * s / 3600.0;
    const LatLon at = gf_destinationPoint({kLat, kLon}, bearing_rad, kRing_nm * kFeetPerNm);
    PosSample& p = r.sample;
    p.latitude = at.lat;
    p.longitude = at.lon;
    p.altitude_ft = 5000.0;
    p.groundSpeed_kt = p.airspeed_kt = kRingSpeed_kt;
    p.track_deg = std::fmod(bearing_rad * 180.0 / std::numbers::pi + 90.0, 360.0);
    p.airborne = true;
    return r;
}

// Active aircraft i, with the reports of the half minute before the first poll in hand: report
// second x is flown at second x + 30, as a poll's.
LiveAc lf_activeOnRing(int i, int32_t start)
{
    const int flight = i * kFlights / kActive;
    const auto sample = [flight, start](double s) {
        return QueuedSample(lf_ringReport(flight, s).sample,
                            start + static_cast<int32_t>((s + 30.0) * 100.0));
    };
    const LiveAircraftRecord first = lf_ringReport(flight, -30.0);
    FlightData data = initLiveAc(first);
    data.hexId = first.hexId;
    LiveAc aircraft(sample(-30.0), data, first.reportTime_s + 28.0);
    for (const double s : {-20.0, -10.0, -2.0}) aircraft.samples.push_back(sample(s));
    aircraft.position.latitude = first.sample.latitude;
    aircraft.position.longitude = first.sample.longitude;
    aircraft.position.altitude_ft = first.sample.altitude_ft;
    aircraft.state = SimObjectState::active;
    aircraft.objectId = 1000 + static_cast<uint32_t>(i);
    return aircraft;
}

void BM_PollsOfAFullSky(benchmark::State& state)
{
    const auto active = static_cast<int>(state.range(0));
    double built = 0.0;
    double polls = 0.0;
    gf_reserveTrafficContainers();
    gf_reserveSimQueues();
    g_icaoModelCodes.insert("A320");
    MAX_LIVE_SEL.current = kActive;
    gf_setPollIntake(&gf_stackPoll);
    std::vector<double> cpu_us;
    std::vector<double> minute_ms;
    for (auto _ : state) {
        gf_resetTrafficRun();
        {
            std::scoped_lock lock(g_trafficMutex);
            g_mainLoopRunning = true;
        }
        const int32_t start = g_fastTicks;
        g_userState.latitude = kLat;
        g_userState.longitude = kLon;
        g_userState.onGround = 1;
        for (int i = 0; i < active; ++i) lf_appendLive(lf_activeOnRing(i, start));
        double minute_us = 0.0;
        std::unordered_set<uint32_t> present;
        for (int32_t t = 0; t < kMinute_ticks; ++t) {
            if (t % kPollEvery == 0) {
                // The intake takes a poll only once the last one is merged.
                if (g_addingStack.empty()) ++polls;
                std::vector<LiveAircraftRecord> poll;
                for (int i = 0; i < kFlights; ++i) poll.push_back(lf_ringReport(i, t / 100.0));
                gf_pushAddingStack(poll, 30);
                // A flight dropped since counts again when it is built again.
                present.clear();
                for (const LiveAc& aircraft : g_liveAcs) present.insert(aircraft.hexId);
            }
            const double begin_us = bench::lf_threadCpu_us();
            lf_handleAddingStack();
            const double tick_us = bench::lf_threadCpu_us() - begin_us;
            cpu_us.push_back(tick_us);
            minute_us += tick_us;
            // New records are appended at the back.
            for (auto it = g_liveAcs.rbegin(); it != g_liveAcs.rend(); ++it) {
                if (!present.insert(it->hexId).second) break;
                ++built;
            }
            // What the simulator link and the simulator would do between two ticks.
            gf_clearPositionBuffers();
            g_userState.latitude = kLat;
            g_userState.longitude = kLon;
        }
        minute_ms.push_back(minute_us / 1e3);
    }
    std::sort(cpu_us.begin(), cpu_us.end());
    std::sort(minute_ms.begin(), minute_ms.end());
    state.counters["cpu_median_us"] = cpu_us[cpu_us.size() / 2];
    state.counters["cpu_p99_us"] = cpu_us[cpu_us.size() * 99 / 100];
    state.counters["cpu_max_us"] = cpu_us.back();
    state.counters["minute_cpu_ms"] = minute_ms[minute_ms.size() / 2];
    state.counters["built_per_poll"] = built / polls;
    // The sky stayed full: what the last minute ended with.
    state.counters["active"] = g_activeLiveCount;
    state.counters["records"] = static_cast<double>(g_liveAcs.size());
    {
        std::scoped_lock lock(g_trafficMutex);
        g_mainLoopRunning = false;
    }
    gf_setPollIntake({});
    MAX_LIVE_SEL.current = MAX_LIVE_SEL.defaultValue;
    gf_resetTrafficRun();
}
BENCHMARK(BM_PollsOfAFullSky)
    ->Arg(kActive)
    ->Arg(kActive - 1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The distances of the active aircraft measured again, as the first newcomer of a tick at the
// live limit has them measured: 500 active records among 1,460 buffered ones.
void BM_ActiveDistancesMeasured(benchmark::State& state)
{
    gf_reserveTrafficContainers();
    MAX_LIVE_SEL.current = kActive;
    lf_prepareTick(1001);
    const PosSample newcomer = lf_ringReport(0, 0.0).sample;
    int32_t tick = 1001;
    for (auto _ : state) {
        g_fastTicks = tick;
        tick += 200;
        benchmark::DoNotOptimize(lf_noSlotFor(newcomer, 100, 0));
    }
    MAX_LIVE_SEL.current = MAX_LIVE_SEL.defaultValue;
    gf_resetTrafficRun();
}
BENCHMARK(BM_ActiveDistancesMeasured)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// One tick of the 500 active aircraft of a full sky flying round the ring between their
// reports, after the other threads have had the caches for 10 ms: the records are evicted
// before each timed tick. Reports the median and p99 of its processor time.
void BM_FullSkyTickAfterEviction(benchmark::State& state)
{
    gf_reserveTrafficContainers();
    gf_reserveSimQueues();
    g_icaoModelCodes.insert("A320");
    MAX_LIVE_SEL.current = kActive;
    gf_resetTrafficRun();
    const int32_t start = g_fastTicks;
    g_userState.latitude = kLat;
    g_userState.longitude = kLon;
    for (int i = 0; i < kActive; ++i) lf_appendLive(lf_activeOnRing(i, start));
    bench::CacheEvictor evictor;
    std::vector<double> cpu_us;
    for (auto _ : state) {
        state.PauseTiming();
        evictor.evict();
        state.ResumeTiming();
        const double begin_us = bench::lf_threadCpu_us();
        lf_handleAddingStack();
        cpu_us.push_back(bench::lf_threadCpu_us() - begin_us);
        gf_clearPositionBuffers();
    }
    std::sort(cpu_us.begin(), cpu_us.end());
    state.counters["cpu_median_us"] = cpu_us[cpu_us.size() / 2];
    state.counters["cpu_p99_us"] = cpu_us[cpu_us.size() * 99 / 100];
    state.counters["active"] = g_activeLiveCount;
    MAX_LIVE_SEL.current = MAX_LIVE_SEL.defaultValue;
    gf_resetTrafficRun();
}
BENCHMARK(BM_FullSkyTickAfterEviction)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
