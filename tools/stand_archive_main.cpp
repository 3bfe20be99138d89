// vntq_stand_archive --parking <FlightGear parking folder> --data <data folder> --out <folder>
// [--licence <folder>]: archived stand files for tests and the demo, with the FlightGear
// licence beside them.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "tools/stand_archive.h"

int main(int argc, char** argv)
{
    std::filesystem::path parkingDir;
    std::filesystem::path dataDir;
    std::filesystem::path outDir;
    std::filesystem::path licenceDir;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--parking") parkingDir = argv[i + 1];
        if (option == "--data") dataDir = argv[i + 1];
        if (option == "--out") outDir = argv[i + 1];
        if (option == "--licence") licenceDir = argv[i + 1];
    }
    if (parkingDir.empty() || dataDir.empty() || outDir.empty() || argc % 2 == 0) {
        fmt::print(stderr,
                   "usage: {} --parking <folder> --data <data folder> --out <folder> "
                   "[--licence <folder>]\n",
                   argc > 0 ? argv[0] : "vntq_stand_archive");
        return 2;
    }
    try {
        std::vector<std::string> notes;
        const std::size_t written =
            qel::datafile::buildStandArchive(parkingDir, dataDir, outDir, licenceDir, notes);
        for (const auto& note : notes) fmt::print("{}\n", note);
        if (written == 0) {
            fmt::print(stderr,
                       "vntq_stand_archive: no usable parking list in {} (<ICAO>.parking.xml or "
                       "<ICAO>/parking.xml with a stand)\n",
                       parkingDir.string());
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        fmt::print(stderr, "vntq_stand_archive: {}\n", e.what());
        return 1;
    }
}
