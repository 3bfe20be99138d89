// Costs of the livery database: its build from a large scan at every start, and the livery
// choice of every static aircraft of one parked-traffic re-plan.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/random.h"
#include "liveries/flight_data.h"
#include "liveries/livery_db.h"
#include "liveries/scanned_liveries.h"

namespace {

constexpr int kAirlines = 1000;
constexpr int kModels = 300;
constexpr int kLiveries = 30000;

std::string lf_airline(int i)
{
    return fmt::format("A{:02X}{}", i % 256, static_cast<char>('A' + i / 256));
}
std::string lf_model(int i) { return fmt::format("M{:03}", i); }

// A scan of about the size of a full AIG and FSLTL installation: 1000 airlines, 300 models in
// groups of similar types, a tenth flown by operators, two in three with a registration.
qel::LiveryList lf_scan()
{
    qel::gf_airlineIndex("");
    qel::gf_modelIndex("");
    qel::g_similarTypeGroups.clear();
    for (int g = 0; g < kModels; g += 4) {
        qel::g_similarTypeGroups.push_back(
            {lf_model(g), lf_model(g + 1), lf_model(g + 2), lf_model(g + 3)});
    }
    for (int m = 0; m < kModels; m += 3) {
        qel::g_largeModels.insert(qel::gf_modelIndex(lf_model(m)));
    }
    qel::LiveryList scan;
    for (int i = 0; i < kLiveries; ++i) {
        qel::Livery livery;
        const int airline = (i * 7) % kAirlines;
        const int model = (i * 13) % kModels;
        livery.key.airline = qel::gf_airlineIndex(lf_airline(airline));
        if (i % 10 == 0) livery.key.operatorId = qel::gf_airlineIndex(lf_airline(airline + 1));
        livery.key.model = qel::gf_modelIndex(lf_model(model));
        livery.key.cargo = i % 17 == 0 ? 1 : 0;
        livery.title = fmt::format("Livery {} of {} flying {} number {}", i, lf_airline(airline),
                                   lf_model(model), i);
        if (i % 3 != 0) livery.registration = fmt::format("D-{:05}", i);
        scan.push_back(std::move(livery));
    }
    qel::gf_sortLiveries(scan);
    return scan;
}

void BM_BuildLiveryDb30000(benchmark::State& state)
{
    const qel::LiveryList scan = lf_scan();
    for (auto _ : state) {
        qel::gf_buildLiveryDb(scan);
        state.PauseTiming();
        qel::gf_clearLiveryDb();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BuildLiveryDb30000)->Unit(benchmark::kMillisecond);

// One parked-traffic re-plan: 500 static aircraft of every kind of flight, down the whole
// ladder where nothing closer fits.
void BM_MatchParkedReplan500(benchmark::State& state)
{
    const qel::LiveryList scan = lf_scan();
    qel::gf_buildLiveryDb(scan);
    qel::g_rng.seed(1);
    std::vector<qel::FlightData> aircraft(500);
    for (int i = 0; i < 500; ++i) {
        auto& f = aircraft[static_cast<std::size_t>(i)];
        f.key.airline = qel::gf_airlineIndex(lf_airline((i * 31) % (kAirlines + 50)));
        f.key.model = qel::gf_modelIndex(lf_model((i * 11) % (kModels + 20)));
        f.registration = i % 4 == 0 ? fmt::format("D-{:05}", i * 3 + 1) : fmt::format("N{}", i);
        f.callsign = fmt::format("TST{}", i);
        f.weightClass = static_cast<qel::WeightClass>(qel::gf_sizeCategory(f.key.model));
    }
    const qel::ParkCandidate candidate{"PARKED", 0};
    const bool firstReplan = state.range(0) != 0;
    for (auto _ : state) {
        if (firstReplan) {
            state.PauseTiming();
            qel::gf_prepareMatching();
            state.ResumeTiming();
        }
        int found = 0;
        for (auto& f : aircraft) {
            f.title = {};
            found += qel::gf_matchLivery(f, candidate) ? 1 : 0;
        }
        benchmark::DoNotOptimize(found);
    }
    qel::gf_clearLiveryDb();
}
// Argument 1: the first re-plan after the build; 0: a later one.
BENCHMARK(BM_MatchParkedReplan500)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
