// Package manifest.json files as publisher detection reads them: the texts it takes, and the
// search that finds and reads the file below a package folder.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "fuzz_support.h"
#include "scenery/publisher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        (void)qel::lf_parseManifest(qel::fuzz::asText(data, size));
    } catch (const std::runtime_error&) {
    }
    static const bool folders = std::filesystem::create_directories(
        qel::fuzz::scratchDir() / "Community" / "pkg" / "scenery" / "global");
    (void)folders;
    const auto manifest = qel::fuzz::writeScratch("Community/pkg/manifest.json", data, size);
    std::vector<qel::ScanLine> lines;
    (void)qel::gf_findPublisher(manifest.parent_path() / "scenery" / "global" / "a.bgl", lines);
    return 0;
}
