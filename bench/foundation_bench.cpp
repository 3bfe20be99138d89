// Costs of the foundation's hot helpers: the distance that every tick measures per aircraft,
// the code lookups of every decoded record, the half-hour parse of every stand option, and what
// a log line costs the thread that writes it (the main loop writes them on its tick).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "foundation/codes.h"
#include "foundation/geodesy.h"
#include "foundation/halfhours.h"
#include "foundation/log.h"

namespace {

void BM_DistanceNm(benchmark::State& state)
{
    qel::LatLon a{51.2895, 6.7668};
    qel::LatLon b{51.4700, -0.4543};
    for (auto _ : state) {
        benchmark::DoNotOptimize(qel::gf_distanceNm(a, b));
        a.lat += 1e-9;
    }
}
BENCHMARK(BM_DistanceNm);

// A decoded record looks up a type code that the table already holds.
void BM_ModelIndexKnownCode(benchmark::State& state)
{
    std::vector<std::string> codes;
    for (int i = 0; i < 2700; ++i) codes.push_back("T" + std::to_string(i));
    for (const auto& code : codes) qel::gf_modelIndex(code);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qel::gf_modelIndex(codes[i]));
        i = (i + 1) % codes.size();
    }
}
BENCHMARK(BM_ModelIndexKnownCode);

void BM_Hours2Bitset(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(qel::gf_hours2bitset("12:31"));
        benchmark::DoNotOptimize(qel::gf_hours2bitset("3,7,11,19,23,47"));
    }
}
BENCHMARK(BM_Hours2Bitset);

// The livery line of a creation, into a Log.txt in a folder of its own.
void BM_LogLine(benchmark::State& state)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("vntq-bench-log-" + std::to_string(getpid()));
    fs::create_directories(dir);
    qel::gf_openLog(dir / "Log.txt");
    const std::string line =
        "          KLM1655                        KLM     B738    =2= "
        "Boeing 737-800 KLM PH-BXA";
    for (auto _ : state) qel::gf_log(line);
    qel::gf_closeLog();
    fs::remove_all(dir);
}
BENCHMARK(BM_LogLine)->UseRealTime();

}  // namespace
