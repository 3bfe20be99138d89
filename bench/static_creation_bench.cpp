// The creation of one static aircraft as the fast tick hands it over every 50 ticks, in the busy
// sky of scripts/memory_peak: 600 stands in a grid 90 m apart, 500 active live aircraft flying
// and 650 more buffered behind the live limit, 499 static aircraft on the first stands and the
// candidate's stand free. One call of lf_detcs takes the candidate: the live and static aircraft
// in its way, its hex id, its record, its livery and its log line (written to a log file, as the
// program writes it). Before each call the caches are evicted, as the other threads' 500 ms
// leave them; the warm variant calls back to back. Reports the median, p90 and maximum of one
// call's processor time in microseconds; the target is well under 100 us.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/geodesy.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "foundation/run_state.h"
#include "liveries/flight_data.h"
#include "liveries/livery_db.h"
#include "liveries/scanned_liveries.h"
#include "simlink/simlink.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/parked_plan.h"
#include "traffic/traffic.h"
#include "turn_timing.h"

namespace {

using namespace qel;

constexpr int kStands = 600;
constexpr int kStatics = 499;
constexpr int kActive = 500;
constexpr int kBuffered = 650;
constexpr double kLat = 52.2950;
constexpr double kLon = 4.7000;

void lf_liveries()
{
    LiveryList scan;
    const char* airlines[] = {"KLM", "DLH", "EWG", "TRA", "CFG", "BAW"};
    const char* models[] = {"B738", "A320", "A321", "A319", "A20N", "B752"};
    for (int i = 0; i < 3000; ++i) {
        Livery livery;
        livery.key.airline = gf_airlineIndex(airlines[i % 6]);
        livery.key.model = gf_modelIndex(models[(i / 6) % 6]);
        livery.title = fmt::format("Livery {} of {} {}", i, airlines[i % 6], models[(i / 6) % 6]);
        if (i % 3 != 0) livery.registration = fmt::format("PH-{:04}", i);
        scan.push_back(std::move(livery));
    }
    gf_sortLiveries(scan);
    gf_buildLiveryDb(scan);
}

// The grid of scripts/memory_peak, each stand overlapping its neighbours in the row.
void lf_stands()
{
    g_parkStands.clear();
    g_parkStands.reserve(kStands);
    for (int i = 0; i < kStands; ++i) {
        g_parkStands.emplace_back("G" + std::to_string(i + 1), std::vector<LearnedFlight>{},
                                  kLat + (i / 30) * 0.00081, kLon + (i % 30) * 0.00132, 0.0, 30.0,
                                  false, false, false);
        ParkStand& stand = g_parkStands.back();
        stand.number = static_cast<uint32_t>(i + 1);
        if (i % 30 > 0) stand.overlaps.push_back(static_cast<uint32_t>(i));
        if (i % 30 < 29) stand.overlaps.push_back(static_cast<uint32_t>(i + 2));
    }
}

void lf_liveAircraft()
{
    for (int i = 0; i < kActive + kBuffered; ++i) {
        LiveAircraftRecord r;
        r.hexId = 0x500000U + static_cast<uint32_t>(i);
        r.callsign = "DLH" + std::to_string(1000 + i);
        r.key.airline = gf_airlineIndex("DLH");
        r.key.model = gf_modelIndex("A320");
        r.reportTime_s = 1'767'225'600.0;
        const double bearing_rad = i * 2.0 * std::numbers::pi / (kActive + kBuffered);
        const LatLon at = gf_destinationPoint({kLat, kLon}, bearing_rad, 30.0 * 6076.11549);
        r.sample.latitude = at.lat;
        r.sample.longitude = at.lon;
        r.sample.altitude_ft = 5000.0;
        r.sample.groundSpeed_kt = r.sample.airspeed_kt = 250.0;
        r.sample.airborne = true;
        FlightData data = initLiveAc(r);
        data.hexId = r.hexId;
        LiveAc aircraft(QueuedSample(r.sample, 0), data, r.reportTime_s);
        if (i < kActive) {
            aircraft.state = SimObjectState::active;
            aircraft.objectId = 1000 + static_cast<uint32_t>(i);
        }
        lf_appendLive(std::move(aircraft));
    }
}

void lf_statics()
{
    for (int i = 0; i < kStatics; ++i) {
        const ParkStand& stand = g_parkStands[static_cast<std::size_t>(i)];
        FlightData data;
        data.key.airline = gf_airlineIndex("KLM");
        data.key.model = gf_modelIndex("B738");
        data.callsign = fmt::format("KLM{}*", i + 1);
        data.hexId = gf_nextStaticHexId();
        data.size_nm = 0.0193;
        StaticAc statik(data, stand.number, stand.latitude, stand.longitude, 0.0, false);
        statik.state = SimObjectState::active;
        statik.objectId = 20000 + static_cast<uint32_t>(i);
        g_staticAcs.push_back(std::move(statik));
    }
}

ParkCandidate lf_candidate(uint32_t standId)
{
    ParkCandidate c;
    c.text = fmt::format("KLM{}", standId);
    c.standId = standId;
    c.key.airline = gf_airlineIndex("KLM");
    c.key.model = gf_modelIndex("B738");
    return c;
}

// The sky both hand-overs run in, with the log written to a file of its own.
class Sky {
public:
    Sky()
    {
        gf_resetTrafficRun();
        gf_reserveTrafficContainers();
        g_rng.seed(1);
        g_dayAndSlot = gf_packDayAndSlot(3, 20);
        lf_liveries();
        lf_stands();
        lf_liveAircraft();
        lf_statics();
        gf_openLog(log_);
    }
    ~Sky()
    {
        gf_closeLog();
        std::filesystem::remove(log_);
        gf_resetTrafficRun();
        gf_resetSimLinkRun();
        g_parkStands.clear();
        gf_clearLiveryDb();
    }
    Sky(const Sky&) = delete;
    Sky& operator=(const Sky&) = delete;

private:
    std::filesystem::path log_ =
        std::filesystem::temp_directory_path() / "vntq_static_creation_bench.txt";
};

void lf_report(benchmark::State& state, std::vector<double>& cpu_us)
{
    std::sort(cpu_us.begin(), cpu_us.end());
    state.counters["cpu_median_us"] = cpu_us[cpu_us.size() / 2];
    state.counters["cpu_p90_us"] = cpu_us[cpu_us.size() * 9 / 10];
    state.counters["cpu_max_us"] = cpu_us.back();
}

void BM_StaticCreationHandOver(benchmark::State& state)
{
    const bool cold = state.range(0) != 0;
    const Sky sky;
    qel::bench::CacheEvictor evictor;
    std::vector<double> cpu_us;
    uint32_t free = kStatics + 1;
    for (auto _ : state) {
        state.PauseTiming();
        g_staticCandidates.push_back(lf_candidate(free));
        free = free == kStands ? kStatics + 1 : free + 1;
        if (cold) evictor.evict();
        state.ResumeTiming();
        const double begin_us = qel::bench::lf_threadCpu_us();
        lf_detcs();
        cpu_us.push_back(qel::bench::lf_threadCpu_us() - begin_us);
        state.PauseTiming();
        if (g_staticAcs.size() > kStatics) g_staticAcs.pop_back();
        g_staticCreateQueue.clear();
        state.ResumeTiming();
    }
    lf_report(state, cpu_us);
}
// Argument 1: caches evicted before each call; 0: back to back.
BENCHMARK(BM_StaticCreationHandOver)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

// The live branch of the same cadence: one queued live creation handed to the simulator link,
// its flight 40 samples long and 20 s behind the schedule, which it catches up with first.
void BM_LiveCreationHandOver(benchmark::State& state)
{
    const bool cold = state.range(0) != 0;
    const Sky sky;
    qel::bench::CacheEvictor evictor;
    std::vector<double> cpu_us;
    LiveAc& aircraft = g_liveAcs.back();
    const int32_t now = 100'000;
    SampleQueue samples;
    for (int k = 0; k < 40; ++k) {
        QueuedSample s = aircraft.samples.front();
        s.latitude += k * 0.001;
        s.dueTick = now - 2000 + k * 100;
        samples.push_back(s);
    }
    for (auto _ : state) {
        state.PauseTiming();
        aircraft.samples = samples;
        g_fastTicks = now;
        AiCreateRequest request;
        request.hexId = aircraft.hexId;
        g_liveCreateQueue.push_back(request);
        gf_resetSimLinkRun();
        if (cold) evictor.evict();
        state.ResumeTiming();
        const double begin_us = qel::bench::lf_threadCpu_us();
        lf_pumpQueues();
        cpu_us.push_back(qel::bench::lf_threadCpu_us() - begin_us);
    }
    lf_report(state, cpu_us);
}
BENCHMARK(BM_LiveCreationHandOver)->Arg(1)->Arg(0)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace
