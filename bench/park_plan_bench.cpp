// The planning of static aircraft on a park airport of 100, 300 and 500 stands with 10 and 50
// learned flights each (WEEK and PARK_SOFT on, MAX_FIT 47): the initial plan, and the re-plan of
// refresh phase B over the statics the initial plan made, one half hour later. Reports
// milliseconds per planning; the target is under 5 ms for 500 stands with 10 flights each.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/run_state.h"
#include "traffic/traffic.h"
#include "traffic/fleet.h"
#include "traffic/park_airports.h"
#include "traffic/parked_plan.h"

namespace {

using namespace qel;

constexpr double kLat = 52.30;
constexpr double kLon = 4.76;
constexpr double kStep_deg = 0.0007;  // about 50 m between neighbours in a row of 20

void lf_settings()
{
    WEEK.current = true;
    PARK_SOFT.current = true;
    MAX_FIT.current = 47;
    MAX_PARK_SEL.current = 1000;
    parking_percentage.current = 60;
    CUSTOM_PARKING_PERCENTAGE.current = -1;
    RT_PARKTRAFFIC_ONLY.current = false;
    g_dayAndSlot = gf_packDayAndSlot(3, 20);
    g_parkedTrafficSource.request = [](LatLon) { return uint64_t{1}; };
    g_parkedTrafficSource.take = [](uint64_t, std::vector<ParkedAircraftRecord>&) {
        return ParkedTake::failed;
    };
    g_parkAirport.code = AirportCode("EHAM");
    g_parkAirport.latitude = kLat;
    g_parkAirport.longitude = kLon;
}

void lf_airport(int stands, int options)
{
    const uint16_t airlines[] = {gf_airlineIndex("KLM"), gf_airlineIndex("DLH"),
                                 gf_airlineIndex("TRA")};
    const uint16_t models[] = {gf_modelIndex("B738"), gf_modelIndex("A320"),
                               gf_modelIndex("E190")};
    g_parkStands.clear();
    g_parkStands.reserve(static_cast<std::size_t>(stands));
    for (int i = 0; i < stands; ++i) {
        std::vector<LearnedFlight> flights;
        for (int k = 0; k < options; ++k) {
            LearnedFlight f;
            f.codes.airline = airlines[(i + k) % 3];
            f.codes.model = models[(i * 7 + k) % 3];
            f.callsign = "B" + std::to_string(i) + "X" + std::to_string(k);
            if (k % 5 != 0) f.registration = "PH-" + std::to_string(i * 100 + k);
            const int first = (i * 13 + k * 5) % 48;
            for (int s = 0; s < 2 + (k % 5); ++s) f.slots.set(static_cast<std::size_t>((first + s) % 48));
            f.day = static_cast<uint32_t>(1 + (i + k) % 7);
            f.real = k % 4 == 3 ? 0 : 1;
            f.number = static_cast<uint32_t>(k + 1);
            flights.push_back(std::move(f));
        }
        g_parkStands.emplace_back("B" + std::to_string(i), std::move(flights),
                                  kLat + (i / 20) * kStep_deg * 2, kLon + (i % 20) * kStep_deg,
                                  0.0, 30.0, false, false, false);
        ParkStand& stand = g_parkStands.back();
        stand.number = static_cast<uint32_t>(i + 1);
        if (i % 20 > 0) stand.overlaps.push_back(static_cast<uint32_t>(i));
        if (i % 20 < 19 && i + 1 < stands) stand.overlaps.push_back(static_cast<uint32_t>(i + 2));
    }
}

// The statics the candidates stand for, as the creation would have made them.
std::vector<StaticAc> lf_staticsOf(const std::vector<ParkCandidate>& candidates)
{
    std::vector<StaticAc> statics;
    uint32_t hex = 0;
    for (const ParkCandidate& c : candidates) {
        const ParkStand& stand = g_parkStands[c.standId - 1];
        FlightData data;
        data.key = c.key;
        data.callsign = c.text + "*";
        data.secondCallsign = c.text;
        data.thirdText = c.secondCallsign;
        data.registration = c.registration;
        data.hexId = ++hex;
        data.size_nm = 0.0097;
        StaticAc s(data, c.standId, stand.latitude, stand.longitude, 0.0, false);
        s.state = SimObjectState::active;
        s.objectId = 1000 + hex;
        s.placedBy = c.placedBy;
        const DaySlot parked = lf_moveBack({3, 20}, c.fitOffset);
        s.parkedWeekday = static_cast<uint32_t>(parked.day);
        s.parkedSlot = static_cast<uint32_t>(parked.slot);
        statics.push_back(std::move(s));
    }
    return statics;
}

void lf_initialPlan()
{
    lf_clearParkedTrafficState();
    lf_planInitialParking();
}

void BM_InitialPlan(benchmark::State& state)
{
    lf_settings();
    lf_airport(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    g_staticAcs.clear();
    for (auto _ : state) {
        lf_initialPlan();
        benchmark::DoNotOptimize(g_staticCandidates.data());
    }
    state.counters["planned"] = static_cast<double>(g_staticCandidates.size());
    lf_clearParkedTrafficState();
    g_parkStands.clear();
}

void BM_PhaseBReplan(benchmark::State& state)
{
    lf_settings();
    lf_airport(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    g_staticAcs.clear();
    lf_initialPlan();
    const std::vector<StaticAc> statics = lf_staticsOf(g_staticCandidates);
    g_dayAndSlot = gf_packDayAndSlot(3, 21);
    for (auto _ : state) {
        state.PauseTiming();
        g_staticAcs = statics;
        g_removeIdQueue.clear();
        state.ResumeTiming();
        lf_updateParkTraffic(false);
        benchmark::DoNotOptimize(g_staticCandidates.data());
    }
    state.counters["statics"] = static_cast<double>(statics.size());
    state.counters["added"] = static_cast<double>(g_staticCandidates.size());
    state.counters["removed"] = static_cast<double>(g_removeIdQueue.size());
    lf_clearParkedTrafficState();
    g_staticAcs.clear();
    g_removeIdQueue.clear();
    g_parkStands.clear();
}

void lf_sizes(benchmark::internal::Benchmark* b)
{
    for (const int options : {10, 50}) {
        for (const int stands : {100, 300, 500}) b->Args({stands, options});
    }
}

BENCHMARK(BM_InitialPlan)->Apply(lf_sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PhaseBReplan)->Apply(lf_sizes)->Unit(benchmark::kMillisecond);

}  // namespace
