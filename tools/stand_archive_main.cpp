// vntq_stand_archive --parking <FlightGear parking folder> --data <data folder> --out <folder>:
// archived stand files for tests and the demo, with the FlightGear licence beside them.
#include <cstdio>
#include <exception>
#include <string>

#include <fmt/format.h>

#include "tools/stand_archive.h"

int main(int argc, char** argv)
{
    std::filesystem::path parkingDir;
    std::filesystem::path dataDir;
    std::filesystem::path outDir;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--parking") parkingDir = argv[i + 1];
        if (option == "--data") dataDir = argv[i + 1];
        if (option == "--out") outDir = argv[i + 1];
    }
    if (parkingDir.empty() || dataDir.empty() || outDir.empty() || argc % 2 == 0) {
        fmt::print(stderr, "usage: {} --parking <folder> --data <data folder> --out <folder>\n",
                   argc > 0 ? argv[0] : "vntq_stand_archive");
        return 2;
    }
    try {
        for (const auto& note : qel::datafile::buildStandArchive(parkingDir, dataDir, outDir)) {
            fmt::print("{}\n", note);
        }
        return 0;
    } catch (const std::exception& e) {
        fmt::print(stderr, "vntq_stand_archive: {}\n", e.what());
        return 1;
    }
}
