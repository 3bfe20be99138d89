// Loading a park airport of many stands, as gf_readApf does it from its stand file: the file's
// stands, their overlaps, and a learned file on top. The sizes are a large airport (2,000),
// eight times that, and the most one parking list can hold (65,535); the last also at one spot,
// where every stand overlaps every other.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "scenery/scenery.h"

namespace {

namespace fs = std::filesystem;

constexpr double kMetresPerDegree = 111120.0;

// A folder of its own holding the stand file (and learned file) where the program looks.
void lf_enterFolder()
{
    const auto folder = fs::temp_directory_path() / "vntq_park_loading_bench";
    fs::remove_all(folder);
    fs::create_directories(folder / "airports/my_thirdparty");
    fs::current_path(folder);
}

// Apron rows 45 m apart along, 80 m across, each stand overlapping its neighbours in the row;
// or all at one spot.
qel::BglAirport lf_airport(int count, bool oneSpot)
{
    qel::BglAirport airport;
    airport.code = qel::AirportCode("EHAM");
    airport.altitude_ft = -11;
    const int perRow = static_cast<int>(std::ceil(std::sqrt(count)));
    for (int i = 0; i < count; ++i) {
        const double along = oneSpot ? 0.0 : (i % perRow) * 45.0;
        const double across = oneSpot ? 0.0 : (i / perRow) * 80.0;
        airport.stands.emplace_back(fmt::format("S{}", i), std::vector<qel::LearnedFlight>{},
                                    52.3 + across / kMetresPerDegree,
                                    4.7 + along / (kMetresPerDegree * std::cos(52.3 * 0.01745)),
                                    1.0, 24.0 + (i % 5) * 3.0, i % 9 == 0, true, false);
    }
    return airport;
}

void lf_load(benchmark::State& state)
{
    const uint32_t code = qel::AirportCode("EHAM").word();
    for (auto _ : state) {
        qel::gf_clearParkAirportTable();
        qel::ParkAirportInfo info;
        benchmark::DoNotOptimize(qel::gf_readApf("airports/my_thirdparty/EHAM.xml", info, code));
    }
    std::size_t overlaps = 0;
    for (const auto& stand : qel::g_parkStands) overlaps += stand.overlaps.size();
    state.counters["stands"] = static_cast<double>(qel::g_parkStands.size());
    state.counters["overlaps"] = static_cast<double>(overlaps);
    qel::gf_clearParkAirportTable();
}

void BM_ReadApfStands(benchmark::State& state)
{
    lf_enterFolder();
    qel::gf_writeApf(lf_airport(static_cast<int>(state.range(0)), state.range(1) != 0),
                     "airports/my_thirdparty/EHAM.xml", qel::ApfScanned, 1);
    lf_load(state);
}
BENCHMARK(BM_ReadApfStands)
    ->ArgNames({"stands", "oneSpot"})
    ->Args({2000, 0})
    ->Args({16000, 0})
    ->Args({65535, 0})
    ->Args({65535, 1})
    ->Unit(benchmark::kMillisecond);

// One stand with 20,000 learned options in its learned file, each a flight of its own.
void BM_ReadApfLearnedOptionsOfOneStand(benchmark::State& state)
{
    lf_enterFolder();
    qel::BglAirport airport = lf_airport(1, false);
    qel::gf_writeApf(airport, "airports/my_thirdparty/EHAM.xml", qel::ApfScanned, 1);
    std::string options;
    for (int i = 0; i < state.range(0); ++i) {
        options += fmt::format(R"(<opt reg="PH-{}" airl="KLM" type="B738" day="{}" hh="{}"/>)", i,
                               1 + i % 7, i % 48);
    }
    fs::create_directories("airports/learned/thirdparty/Bench");
    std::string file = R"(<?xml version="1.0"?><root><meta><info name="author" value="VNTQ"/>)"
                       R"(<info name="version" value="11.14.0"/>)"
                       R"(<info name="copyright" value="Copyright (c) 2026 Vanteloq"/></meta>)"
                       R"(<parameters/><parkpositions><parkpos id="S0">)" +
                       options + "</parkpos></parkpositions></root>";
    std::FILE* out = std::fopen("airports/learned/thirdparty/Bench/EHAM.xml", "wb");
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
    // The learned file lies in the publisher's folder; the stand file names the publisher.
    airport.publisher = "Bench";
    qel::gf_writeApf(airport, "airports/my_thirdparty/EHAM.xml", qel::ApfScanned, 1);
    lf_load(state);
    state.counters["options"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_ReadApfLearnedOptionsOfOneStand)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
