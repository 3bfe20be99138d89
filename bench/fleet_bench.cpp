// The compaction of the live records when one of them drops, in a full sky: 500 active live
// aircraft with seven reports in hand each, and `extra` buffered newcomers behind them. The
// record that drops is the first (the oldest: the one the live limit or a removal takes most
// often, and the most records move behind it). Between the timed compactions the caches are
// evicted by a walk over twice the last-level cache, as a fast tick finds them after the other
// threads' 10 ms; the warm variant compacts back to back. Reports the median and the maximum
// of one compaction's processor time in microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/turn_timing.h"
#include "foundation/catalogue.h"
#include "liveries/liveries.h"
#include "traffic/fleet.h"
#include "traffic/traffic.h"

namespace {

using namespace qel;

constexpr int kActive = 500;
constexpr int kReports = 7;
constexpr double kLat = 52.30715;
constexpr double kLon = 4.769933;

LiveAc lf_record(uint32_t hex, bool active)
{
    LiveAircraftRecord r;
    r.hexId = hex;
    r.callsign = "BEN" + std::to_string(hex & 0xFFFFF);
    r.registration = "PH-" + std::to_string(hex & 0xFFFFF);
    r.key.model = gf_modelIndex("A320");
    r.reportTime_s = 1'767'225'600.0;
    PosSample& s = r.sample;
    s.latitude = kLat + (hex % 37) * 0.01;
    s.longitude = kLon + (hex % 41) * 0.01;
    s.altitude_ft = 5000.0;
    s.groundSpeed_kt = s.airspeed_kt = 250.0;
    s.airborne = true;
    FlightData data = initLiveAc(r);
    data.hexId = hex;
    LiveAc aircraft(QueuedSample(r.sample, 1000), data, r.reportTime_s);
    for (int k = 1; k < kReports; ++k) {
        QueuedSample next(r.sample, 1000);
        next.dueTick += k * 500;
        aircraft.samples.push_back(next);
    }
    if (active) {
        aircraft.state = SimObjectState::active;
        aircraft.objectId = 1000 + (hex & 0xFFFFF);
        aircraft.phase = FlightPhase::flying;
    }
    return aircraft;
}

void BM_CompactionAfterADrop(benchmark::State& state)
{
    const int extra = static_cast<int>(state.range(0));
    const bool cold = state.range(1) != 0;
    gf_resetTrafficRun();
    gf_reserveTrafficContainers();
    g_icaoModelCodes.insert("A320");
    uint32_t next = 0x400000;
    for (int i = 0; i < kActive; ++i) lf_appendLive(lf_record(next++, true));
    for (int i = 0; i < extra; ++i) lf_appendLive(lf_record(next++, false));
    std::optional<bench::CacheEvictor> evictor;
    if (cold) evictor.emplace();
    std::vector<double> cpu_us;
    for (auto _ : state) {
        state.PauseTiming();
        // The dropped record's place is taken by a newcomer at the back, as the live limit does.
        lf_appendLive(lf_record(next++, false));
        g_liveAcs.front().drop = 1;
        if (evictor) evictor->evict();
        state.ResumeTiming();
        const double begin_us = bench::lf_threadCpu_us();
        lf_compactLiveAcs();
        cpu_us.push_back(bench::lf_threadCpu_us() - begin_us);
    }
    std::sort(cpu_us.begin(), cpu_us.end());
    state.counters["cpu_median_us"] = cpu_us[cpu_us.size() / 2];
    state.counters["cpu_max_us"] = cpu_us.back();
    state.counters["records"] = static_cast<double>(g_liveAcs.size());
    gf_resetTrafficRun();
}
BENCHMARK(BM_CompactionAfterADrop)
    ->ArgNames({"extra", "cold"})
    ->Args({0, 1})
    ->Args({1460, 1})
    ->Args({0, 0})
    ->Args({1460, 0})
    ->Iterations(30)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
