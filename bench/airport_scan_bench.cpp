// The add-on airport scan on a generated packages tree of about 20,000 BGL files in 500
// packages, 3 % of them with an airport of 50 to 2,000 parking entries (warm cache): the time
// to read every file's bytes (the floor), the walk with its quick section test, the task body
// over the airport files on one thread (decoding, publisher, writing the stand file), and the
// whole scan with 1, 2, 4 and 8 workers, whose output must not depend on the worker count
// ("output_differs" 0). The tree lies in the temp folder: TMPDIR=/dev/shm shows the scan's own
// cost apart from the disk's, where each scan deletes and creates some 600 stand files.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/globals.h"
#include "scenery/bgl.h"
#include "scenery/scan.h"
#include "scenery/scenery.h"
#include "support/bgl_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace qel;

constexpr int kPackages = 500;
constexpr int kFilesPerPackage = 40;  // 20,000 files
constexpr int kAirportEvery = 33;     // about 3 %

struct Tree {
    fs::path root;                   // the program folder; packages below it
    fs::path community;
    std::vector<fs::path> files;     // every BGL file
    std::vector<fs::path> airports;  // the ones with an airport
    std::size_t outputHash = 0;      // of the first scan's output
};

std::string lf_ident(int n)
{
    std::string code = "Z000";
    for (int i = 3; i >= 1; --i, n /= 10) code[static_cast<std::size_t>(i)] = static_cast<char>('0' + n % 10);
    return code;
}

// Built once per process in the temp folder and removed at exit.
Tree& lf_tree()
{
    static Tree tree = [] {
        Tree t;
        t.root = fs::temp_directory_path() / ("vntq-scan-bench-" + std::to_string(::getpid()));
        t.community = t.root / "Packages" / "Community";
        std::mt19937 random(42);
        const test::Bytes objects = test::bglFile(
            {{0x25, 1, {test::bglRecord(0x0B, test::Bytes(4000, 7))}}});
        int airport = 0;
        for (int p = 0; p < kPackages; ++p) {
            const fs::path package = t.community / ("vendor-scenery-" + std::to_string(p));
            fs::create_directories(package);
            std::ofstream(package / "manifest.json") << R"({"manufacturer": "Vendor )" << p << "\"}";
            for (int f = 0; f < kFilesPerPackage; ++f) {
                const fs::path file = package / "scenery" / ("f" + std::to_string(f) + ".bgl");
                if ((p * kFilesPerPackage + f) % kAirportEvery == 0) {
                    test::BglAirportPlan plan;
                    plan.ident = lf_ident(airport++);
                    const int stands = 50 + static_cast<int>(random() % 1951);
                    for (int s = 0; s < stands; ++s) {
                        test::BglParkingSpec parking;
                        parking.nameCode = 12 + static_cast<uint32_t>(s % 26);
                        parking.number = static_cast<uint32_t>(s / 26);
                        parking.latitude = 40.0 + s * 1e-4;
                        parking.longitude = 10.0;
                        parking.airlineCodes.resize(s % 4);
                        plan.parkings.push_back(parking);
                    }
                    g_airportCodeSet.insert(AirportCode(plan.ident).word());
                    test::bglWrite(file, test::bglAirportFile({plan}));
                    t.airports.push_back(file);
                } else {
                    test::bglWrite(file, objects);
                }
                t.files.push_back(file);
            }
        }
        // The scan writes below the working folder and saves SCAN_AIRPORTS in the per-user one.
        fs::current_path(t.root);
        gf_setAppDataDir(t.root / "user");
        fs::create_directories(t.root / "user");
        return t;
    }();
    static const bool removed = [] {
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(lf_tree().root, ec);
        });
        return true;
    }();
    (void)removed;
    return tree;
}

std::size_t lf_readAll(const std::vector<fs::path>& files)
{
    std::size_t bytes = 0;
    std::vector<char> buffer;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary | std::ios::ate);
        buffer.resize(static_cast<std::size_t>(in.tellg()));
        in.seekg(0);
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        bytes += buffer.size();
    }
    return bytes;
}

std::size_t lf_outputHash()
{
    std::size_t hash = 0;
    std::map<std::string, std::string> files;
    for (const auto& folder : {g_myThirdpartyDir, g_mySimaddonDir}) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::ifstream in(it->path(), std::ios::binary);
            files[it->path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    std::ifstream report(g_airportsScanLogTxt, std::ios::binary);
    files["report"] = std::string(std::istreambuf_iterator<char>(report), {});
    for (const auto& [name, content] : files) {
        hash = hash * 31 + std::hash<std::string>{}(name + content);
    }
    return hash;
}

void BM_ReadAllBytes(benchmark::State& state)
{
    Tree& tree = lf_tree();
    for (auto _ : state) benchmark::DoNotOptimize(lf_readAll(tree.files));
    state.counters["files"] = static_cast<double>(tree.files.size());
}
BENCHMARK(BM_ReadAllBytes)->Unit(benchmark::kMillisecond);

void BM_WalkAndProbe(benchmark::State& state)
{
    Tree& tree = lf_tree();
    for (auto _ : state) {
        std::size_t found = 0;
        for (const auto& entry : fs::recursive_directory_iterator(tree.community)) {
            if (entry.is_regular_file() && entry.path().extension() == ".bgl" &&
                lf_hasAirportSection(entry.path())) {
                ++found;
            }
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_WalkAndProbe)->Unit(benchmark::kMillisecond);

void BM_DecodeAirportFiles(benchmark::State& state)
{
    Tree& tree = lf_tree();
    for (auto _ : state) {
        std::vector<std::vector<ScanStep>> results;
        for (const auto& file : tree.airports) results.push_back(lf_processBGLfile(file, true));
        // The stand files the tasks wrote under temporary names.
        state.PauseTiming();
        for (const auto& steps : results) {
            for (const auto& step : steps) {
                if (const auto* stands = std::get_if<StandFileStep>(&step)) {
                    std::error_code ec;
                    fs::remove(stands->temporary, ec);
                }
            }
        }
        state.ResumeTiming();
    }
    state.counters["airports"] = static_cast<double>(tree.airports.size());
}
BENCHMARK(BM_DecodeAirportFiles)->Unit(benchmark::kMillisecond);

void BM_WholeScan(benchmark::State& state)
{
    Tree& tree = lf_tree();
    MSFS_INSTALL_PATH.assign((tree.root / "Packages").string());
    double differs = 0;
    for (auto _ : state) {
        gf_scanAirports({true, static_cast<int32_t>(state.range(0))});
        state.PauseTiming();
        const std::size_t hash = lf_outputHash();
        if (tree.outputHash == 0) tree.outputHash = hash;
        if (hash != tree.outputHash) differs = 1;
        state.ResumeTiming();
    }
    state.counters["output_differs"] = differs;
}
BENCHMARK(BM_WholeScan)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
