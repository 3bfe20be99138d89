// Costs of loading a park airport: the whole stand-file load with its pairwise overlap search
// (Schiphol's 190 real stands), and the closest-airport walk over a full airport list.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/codes.h"
#include "scenery/scenery.h"

namespace {

// A working folder of its own holding the stand file where the program looks for it.
std::filesystem::path lf_prepareFolder()
{
    const auto folder = std::filesystem::temp_directory_path() / "vntq_scenery_bench";
    std::filesystem::create_directories(folder / "airports/my_thirdparty");
    std::filesystem::copy_file(std::filesystem::path(VNTQ_SOURCE_DIR) / "tests/data/stands/EHAM.xml",
                               folder / "airports/my_thirdparty/EHAM.xml",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::current_path(folder);
    return folder;
}

void BM_ReadApfSchiphol(benchmark::State& state)
{
    lf_prepareFolder();
    const uint32_t code = qel::AirportCode("EHAM").word();
    for (auto _ : state) {
        qel::gf_clearParkAirportTable();
        qel::ParkAirportInfo info;
        benchmark::DoNotOptimize(qel::gf_readApf("airports/my_thirdparty/EHAM.xml", info, code));
    }
    state.counters["stands"] = static_cast<double>(qel::g_parkStands.size());
}
BENCHMARK(BM_ReadApfSchiphol)->Unit(benchmark::kMillisecond);

// 37,000 airports spread over the globe; the user stands near none of them.
void BM_ClosestAirportWalk(benchmark::State& state)
{
    qel::gf_clearAirports();
    for (int i = 0; i < 37000; ++i) {
        qel::Airport airport;
        airport.latitude = -80.0 + 160.0 * (i % 370) / 370.0;
        airport.longitude = -180.0 + 360.0 * (i / 370) / 100.0;
        qel::g_airports.push_back(airport);
    }
    for (auto _ : state) benchmark::DoNotOptimize(qel::gf_closestAirport({0.05, 0.05}));
    qel::gf_clearAirports();
}
BENCHMARK(BM_ClosestAirportWalk)->Unit(benchmark::kMicrosecond);

}  // namespace
