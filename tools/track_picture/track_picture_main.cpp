// vntq_track_picture: the stand-in simulator's trace as an SVG top view of the airport.
//   vntq_track_picture --trace simulator-trace.csv --out tracks.svg
//                      [--stands EDDL.xml] [--scenario eham_demo.json]
//                      [--runway "05R/23L,lat1,lon1,lat2,lon2"]...
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "track_picture.h"

namespace {

constexpr std::streamsize kMaxInput = 512L * 1024 * 1024;

bool lf_read(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.clear();
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (static_cast<std::streamsize>(text.size()) > kMaxInput) return false;
    }
    return true;
}

int lf_usage()
{
    std::cerr << "usage: vntq_track_picture --trace FILE --out FILE [--stands FILE] "
                 "[--scenario FILE] [--runway NAME,LAT1,LON1,LAT2,LON2]...\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string tracePath, outPath, standsPath;
    std::vector<qel::tracks::Runway> runways;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return lf_usage();
        const std::string value = argv[++i];
        if (arg == "--trace") {
            tracePath = value;
        } else if (arg == "--out") {
            outPath = value;
        } else if (arg == "--stands") {
            standsPath = value;
        } else if (arg == "--scenario") {
            std::string json;
            if (!lf_read(value, json)) {
                std::cerr << "cannot read " << value << "\n";
                return 1;
            }
            const auto listed = qel::tracks::parseScenarioRunways(json);
            runways.insert(runways.end(), listed.begin(), listed.end());
        } else if (arg == "--runway") {
            qel::tracks::Runway runway;
            if (!qel::tracks::parseRunway(value, runway)) {
                std::cerr << "bad runway: " << value << "\n";
                return 2;
            }
            runways.push_back(runway);
        } else {
            return lf_usage();
        }
    }
    if (tracePath.empty() || outPath.empty()) return lf_usage();
    std::string trace;
    if (!lf_read(tracePath, trace)) {
        std::cerr << "cannot read " << tracePath << "\n";
        return 1;
    }
    std::vector<qel::tracks::Stand> stands;
    std::string standText;
    if (!standsPath.empty()) {
        if (lf_read(standsPath, standText)) {
            stands = qel::tracks::parseStandFile(standText);
        } else {
            std::cerr << "cannot read " << standsPath << ", drawn without stands\n";
        }
    }
    auto tracks = qel::tracks::parseTrace(trace);
    for (auto& [id, track] : tracks) qel::tracks::classify(track, stands);
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out << qel::tracks::renderSvg(tracks, stands, runways);
    if (!out.flush()) {
        std::cerr << "cannot write " << outPath << "\n";
        return 1;
    }
    return 0;
}
