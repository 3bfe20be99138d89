// Cost of the livery scan: a generated AI package tree of 10,000 aircraft.cfg files (about
// 30,000 liveries in UTF-8, UTF-8 with a byte-order mark, UTF-16 and Windows-1252) walked and
// parsed with 1, 2, 4 and 8 workers, warm cache, then sorted and written to LiveriesScanned.xml.
// Every worker count must write the same file.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "liveries/liveries.h"
#include "liveries/livery_parsing.h"
#include "liveries/livery_scan.h"
#include "liveries/scanned_liveries.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 10000;
constexpr int kAirlines = 1000;
constexpr int kModels = 300;

std::string lf_airline(int i)
{
    return fmt::format("A{:02X}{}", i % 256, static_cast<char>('A' + i / 256));
}
std::string lf_model(int i) { return fmt::format("M{:03}", i); }

std::string lf_utf16(const std::string& text)
{
    std::string out = "\xFF\xFE";
    for (const char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

// One aircraft.cfg: its model, three liveries, in the charset the file number picks.
std::string lf_cfg(int file)
{
    const int model = file % kModels;
    std::string text = fmt::format("[GENERAL]\r\natc_type = \"AIRLINER\"\r\n"
                                   "icao_type_designator = \"{}\"\r\n\r\n",
                                   lf_model(model));
    for (int s = 0; s < 3; ++s) {
        const int airline = (file * 3 + s) % kAirlines;
        text += fmt::format("[fltsim.{}]\r\ntitle = \"Livery {} {} of {} (file {})\" ; name\r\n"
                            "model = \"\"\r\ntexture = \"T{}\"\r\nui_variation = \"{}\"\r\n"
                            "atc_id = D-{}{:04}\r\natc_parking_types = GATE,RAMP\r\n"
                            "icao_airline = {}\r\n\r\n",
                            s, lf_model(model), s, lf_airline(airline), file, s,
                            lf_airline(airline), static_cast<char>('A' + s), file,
                            lf_airline(airline));
    }
    switch (file % 10) {
    case 0:
    case 1:
        return lf_utf16(text);
    case 2:
        return "\xEF\xBB\xBF" + text;
    case 3:
        return text + "// Hinweis: Lackierung f\xFCr den Fr\xFChling\r\n";  // Windows-1252
    default:
        return text;
    }
}

struct Tree {
    fs::path root;
    std::map<int, std::string> written;  // worker count → LiveriesScanned.xml
    Tree()
    {
        root = fs::temp_directory_path() / fmt::format("vntq-scan-bench-{}", ::getpid());
        fs::remove_all(root);
        for (int file = 0; file < kFiles; ++file) {
            const fs::path folder = root / "aig-aitraffic-oci" / "SimObjects" / "Airplanes" /
                                    fmt::format("G{:03}", file / 100) /
                                    fmt::format("AIG_{:05}", file);
            fs::create_directories(folder);
            std::ofstream(folder / "aircraft.cfg", std::ios::binary) << lf_cfg(file);
        }
        qel::gf_airlineIndex("");
        qel::gf_modelIndex("");
        for (int a = 0; a < kAirlines; ++a) qel::g_icaoAirlineCodes.insert(lf_airline(a));
        for (int m = 0; m < kModels; ++m) qel::g_icaoModelCodes.insert(lf_model(m));
    }
    ~Tree()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Tree& lf_tree()
{
    static Tree tree;
    return tree;
}

std::size_t lf_scan(int workers, const fs::path& output)
{
    qel::gf_clearLiveries();
    qel::g_liveries.clear();
    qel::LiveryScanSetup setup;
    setup.maxTasks = workers;
    qel::lf_scanFolderTree(1, lf_tree().root, setup);
    qel::gf_sortLiveries(qel::g_liveries);
    qel::gf_writeLiveriesScanned(qel::g_liveries, output, 1);
    return qel::g_liveries.size();
}

void BM_ScanLiveries10000Files(benchmark::State& state)
{
    const int workers = static_cast<int>(state.range(0));
    const fs::path output = lf_tree().root / fmt::format("LiveriesScanned{}.xml", workers);
    lf_scan(workers, output);  // warm cache
    std::size_t liveries = 0;
    for (auto _ : state) liveries = lf_scan(workers, output);
    state.counters["liveries"] = static_cast<double>(liveries);
    std::ifstream in(output, std::ios::binary);
    auto& written = lf_tree().written;
    written[workers] = std::string(std::istreambuf_iterator<char>(in), {});
    if (written.begin()->second != written[workers]) {
        state.SkipWithError("LiveriesScanned.xml differs from that of another worker count");
    }
}
BENCHMARK(BM_ScanLiveries10000Files)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
