// The fast tick at the live limit when a poll's newcomers fall due together: MAX_LIVE_SEL 500
// with 500 active live aircraft on a ring 30 nm around the user, and 1,460 buffered flights on
// the same ring, all due in the timed tick, as in the busy sky of scripts/memory_peak. Each
// newcomer asks whether an active aircraft lies farther out than itself (none does: all are
// dropped). Reports the median and the maximum of that tick's processor time in microseconds.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <numbers>
#include <string>
#include <vector>

#include "foundation/catalogue.h"
#include "foundation/geodesy.h"
#include "liveries/liveries.h"
#include "simlink/simlink.h"
#include "traffic/fleet.h"
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
    s.dueTick = due;
    s.airborne = true;
    FlightData data = initLiveAc(r);
    data.hexId = hex;
    LiveAc aircraft(r.sample, data, r.reportTime_s);
    PosSample next = r.sample;
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

double lf_threadCpu_us()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
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
        const double begin_us = lf_threadCpu_us();
        lf_handleAddingStack();
        cpu_us.push_back(lf_threadCpu_us() - begin_us);
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

}  // namespace
