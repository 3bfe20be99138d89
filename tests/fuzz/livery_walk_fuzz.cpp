// An aircraft.cfg the whole way of a livery scan: found by the folder walk in an ordinary and
// an IVAO package, parsed on the walk's worker, written to LiveriesScanned.xml and read back,
// which must give the same list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "fuzz_support.h"
#include "liveries/livery_scan.h"
#include "liveries/scanned_liveries.h"
#include "small_dbase.h"

namespace {

namespace fs = std::filesystem;

const fs::path& lf_root()
{
    static const fs::path root = qel::fuzz::scratchDir() / "walk";
    return root;
}

const fs::path& lf_ivaoFolder()
{
    static const fs::path folder =
        lf_root() / "IVAO_MTL" / "SimObjects" / "Airplanes" / "IVAO_A320wCFM";
    return folder;
}

void lf_prepare()
{
    qel::fuzz::fillSmallDatabase();
    fs::create_directories(lf_root() / "pkg" / "SimObjects");
    fs::create_directories(lf_ivaoFolder() / "texture.DLH");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (lf_prepare(), true);
    (void)ready;
    for (const auto& folder : {lf_root() / "pkg" / "SimObjects", lf_ivaoFolder()}) {
        (void)qel::fuzz::writeScratch(folder / "aircraft.cfg", data, size);
    }
    qel::LiveryScanSetup setup;
    setup.maxTasks = 1;
    qel::g_liveries.clear();
    qel::lf_scanFolderTree(1, lf_root(), setup);
    qel::LiveryList scanned;
    scanned.swap(qel::g_liveries);
    // Titles, codes and reports would pile up over the runs.
    qel::gf_clearLiveries();
    if (scanned.empty()) return 0;
    qel::gf_sortLiveries(scanned);
    for (auto& livery : scanned) livery.folderNumber = 0;  // the file does not keep it
    const fs::path file = qel::fuzz::scratchDir() / "LiveriesScanned.xml";
    if (!qel::gf_writeLiveriesScanned(scanned, file, 1)) std::abort();
    qel::LiveryList back;
    qel::gf_readLiveriesScanned(file, back);  // throws, and so fails, for a list it cannot read
    if (back != scanned) std::abort();
    return 0;
}
