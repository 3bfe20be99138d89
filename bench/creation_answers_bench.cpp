// The fast tick's handling of creations and their answers in the full sky of scripts/memory_peak:
// 650 live records (the 500 active ones and the newcomers buffered beside them) and 500 static
// aircraft parked. The live records' reports lie far ahead, so that no update falls due and the
// tick is what is measured here. Every turn starts with a cold cache, as the other threads'
// 10 ms leave it (a walk over twice the last-level cache).
// - SweepOfAFullSky: the tick that looks for creations still unanswered 30 s after they were
//   handed over (one in 100).
// - StaticAnswers: half a minute of ticks in which a static aircraft is created every 500 ms, its
//   object announced at once and activated 2 s later, and a parked one leaves every 500 ms.
// Each reports the median and the maximum of one tick's processor time in microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "bench/turn_timing.h"
#include "foundation/catalogue.h"
#include "liveries/liveries.h"
#include "simlink/simlink.h"
#include "traffic/fleet.h"
#include "traffic/traffic.h"

namespace {

using namespace qel;
using qel::bench::CacheEvictor;
using qel::bench::lf_threadCpu_us;

constexpr int kLive = 650;
constexpr int kStatics = 500;
constexpr int32_t kFarAhead_ticks = 100'000'000;
constexpr int32_t kSweepEvery = 100;
constexpr int32_t kCreateEvery = 50;
constexpr int kTurns = 3000;  // half a minute: each turn walks twice the last-level cache first
constexpr uint32_t kFirstHex = 0x400000;
constexpr uint32_t kFirstStaticObject = 30000;

LiveAc lf_buffered(uint32_t hex)
{
    LiveAircraftRecord r;
    r.hexId = hex;
    r.callsign = "BEN" + std::to_string(hex & 0xFFFFF);
    r.key.model = gf_modelIndex("A320");
    r.reportTime_s = 1'767'225'600.0;
    PosSample& s = r.sample;
    s.latitude = 52.3 + (hex % 100) * 0.01;
    s.longitude = 4.7;
    s.altitude_ft = 5000.0;
    s.groundSpeed_kt = s.airspeed_kt = 250.0;
    s.airborne = true;
    FlightData data = initLiveAc(r);
    data.hexId = hex;
    return LiveAc(QueuedSample(r.sample, g_fastTicks + kFarAhead_ticks), data, r.reportTime_s);
}

StaticAc lf_static(uint32_t hex, SimObjectState state, uint32_t objectId)
{
    FlightData data;
    data.hexId = hex;
    data.callsign = "ST" + std::to_string(hex) + "*";
    data.size_nm = 0.0097;
    StaticAc aircraft(data, 0, 52.29 + (hex % 25) * 0.0005, 4.70 + (hex / 25) * 0.0005, 1.0, false);
    aircraft.state = state;
    aircraft.objectId = objectId;
    return aircraft;
}

void lf_prepare()
{
    gf_resetTrafficRun();
    gf_reserveTrafficContainers();
    gf_reserveSimQueues();
    g_largeModels.insert(gf_modelIndex("A320"));
    for (int i = 0; i < kLive; ++i) {
        lf_appendLive(lf_buffered(kFirstHex + static_cast<uint32_t>(i)));
    }
    for (int i = 0; i < kStatics; ++i) {
        const auto hex = static_cast<uint32_t>(i + 1);
        g_staticAcs.push_back(lf_static(hex, SimObjectState::active, kFirstStaticObject + hex));
    }
}

// One fast tick from a cold cache, its processor time noted.
void lf_coldTick(benchmark::State& state, CacheEvictor& evictor, std::vector<double>& times_us)
{
    state.PauseTiming();
    evictor.evict();
    state.ResumeTiming();
    const double begin_us = lf_threadCpu_us();
    lf_handleAddingStack();
    times_us.push_back(lf_threadCpu_us() - begin_us);
}

void lf_report(benchmark::State& state, std::vector<double>& times_us)
{
    std::sort(times_us.begin(), times_us.end());
    state.counters["cpu_median_us"] = times_us[times_us.size() / 2];
    state.counters["cpu_max_us"] = times_us.back();
    gf_resetTrafficRun();
}

void BM_SweepOfAFullSky(benchmark::State& state)
{
    lf_prepare();
    CacheEvictor evictor;
    std::vector<double> times_us;
    for (auto _ : state) {
        state.PauseTiming();
        // The ticks up to the next sweep, untimed.
        while (g_fastTicks % kSweepEvery != 0) lf_handleAddingStack();
        state.ResumeTiming();
        lf_coldTick(state, evictor, times_us);
    }
    lf_report(state, times_us);
}
BENCHMARK(BM_SweepOfAFullSky)->Iterations(200)->Unit(benchmark::kMicrosecond);

// A static aircraft is created every 500 ms and a parked one leaves, 250 ms later.
class StaticTurnover {
public:
    StaticTurnover()
    {
        for (int i = 0; i < kStatics; ++i) {
            objects_.push_back(kFirstStaticObject + static_cast<uint32_t>(i + 1));
        }
    }

    void before(int n)
    {
        if (n % kCreateEvery == 0) {
            const uint32_t hex = gf_nextStaticHexId();
            g_staticAcs.push_back(lf_static(hex, SimObjectState::adding2sim, 0));
            objects_.push_back(++nextObject_);
            gf_postSimResult({nextObject_, hex, 0, SimResultKind::staticCreated, 0.0, 0.0});
        }
        if (n % kCreateEvery == kCreateEvery / 2) {
            gf_postSimResult({objects_.front(), 0, 0, SimResultKind::removed, 0.0, 0.0});
            objects_.pop_front();
        }
    }

private:
    std::deque<uint32_t> objects_;
    uint32_t nextObject_ = kFirstStaticObject + 10'000;
};

void BM_StaticAnswers(benchmark::State& state)
{
    lf_prepare();
    CacheEvictor evictor;
    StaticTurnover turnover;
    std::vector<double> times_us;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        turnover.before(n++);
        state.ResumeTiming();
        lf_coldTick(state, evictor, times_us);
    }
    state.counters["statics"] = static_cast<double>(g_staticAcs.size());
    lf_report(state, times_us);
}
BENCHMARK(BM_StaticAnswers)->Iterations(kTurns)->Unit(benchmark::kMicrosecond);

}  // namespace
