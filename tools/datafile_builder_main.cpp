// vntq_datafile_builder --data <data folder> --out <input folder> [--xml <folder>]
// [--stands <archive folder>]: builds dbase.enc, airports.enc and AIG-regcodes.enc from the
// source data; with --stands, the airports carry the stand counts of that folder's archived
// stand files (the demo's download server).
#include <cstdio>
#include <exception>
#include <string>

#include <fmt/format.h>

#include "tools/datafile_builder.h"

int main(int argc, char** argv)
{
    std::filesystem::path dataDir;
    std::filesystem::path outDir;
    std::filesystem::path xmlDir;
    std::filesystem::path standsDir;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--data") {
            dataDir = argv[i + 1];
        } else if (option == "--out") {
            outDir = argv[i + 1];
        } else if (option == "--xml") {
            xmlDir = argv[i + 1];
        } else if (option == "--stands") {
            standsDir = argv[i + 1];
        }
    }
    if (dataDir.empty() || outDir.empty() || argc % 2 == 0) {
        fmt::print(stderr,
                   "usage: {} --data <data folder> --out <input folder> [--xml <folder>] "
                   "[--stands <folder>]\n",
                   argc > 0 ? argv[0] : "vntq_datafile_builder");
        return 2;
    }
    try {
        qel::datafile::Notes notes;
        qel::datafile::buildDataFiles(dataDir, outDir, xmlDir, notes, standsDir);
        for (const auto& note : notes) fmt::print("{}\n", note);
        return 0;
    } catch (const std::exception& e) {
        fmt::print(stderr, "vntq_datafile_builder: {}\n", e.what());
        return 1;
    }
}
