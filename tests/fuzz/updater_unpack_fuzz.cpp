// The archives the updater downloads, unpacked as it unpacks them: the program installer from
// latest_version.zip and the MSFS 2024 airport pack into airports/my_simaddon, from which no
// entry may write elsewhere.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "foundation/globals.h"
#include "foundation/zip_archive.h"
#include "fuzz_support.h"
#include "ui/updater.h"

namespace {

namespace fs = std::filesystem;

std::set<fs::path> lf_entries(const fs::path& folder)
{
    std::set<fs::path> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) entries.insert(entry.path());
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fs::path& scratch = qel::fuzz::scratchDir();
    fs::remove_all(qel::g_mySimaddonDir);
    fs::create_directories(qel::g_mySimaddonDir);
    fs::remove(qel::g_installNewVersionExe);
    const auto before = lf_entries(scratch);

    (void)qel::fuzz::writeScratch("latest_version.zip", data, size);
    qel::lf_unpackInstaller();
    fs::remove(scratch / "latest_version.zip");
    fs::remove(qel::g_installNewVersionExe);

    const fs::path pack = qel::fuzz::writeScratch("my_simaddon2024.zip", data, size);
    {
        qel::ZipArchive archive(pack);
        if (archive.open(qel::ZipArchive::OpenMode::ReadOnly)) {
            (void)qel::lf_unpackSimAddon(archive);
        }
    }
    fs::remove(pack);
    // Whatever the entries' names, only redirect files in airports/my_simaddon were written.
    for (const auto& path : lf_entries(scratch)) {
        if (before.contains(path)) continue;
        if (path.parent_path() != scratch / qel::g_mySimaddonDir ||
            !path.filename().string().ends_with(".txt")) {
            std::abort();
        }
    }
    return 0;
}
