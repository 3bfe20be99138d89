// An aircraft.cfg of an AI package, read by the livery scan's two parsers (an ordinary package
// and an IVAO one) with a small aircraft database.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "liveries/livery_parsing.h"
#include "liveries/livery_scan.h"
#include "small_dbase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (qel::fuzz::fillSmallDatabase(), true);
    (void)ready;
    const std::filesystem::path ivao =
        std::filesystem::path("IVAO_MTL") / "SimObjects" / "Airplanes" / "IVAO_A320wCFM";
    std::filesystem::create_directories(qel::fuzz::scratchDir() / ivao / "texture.DLH");
    const auto plain = qel::fuzz::writeScratch("aircraft.cfg", data, size);
    const auto ivaoFile = qel::fuzz::writeScratch(ivao / "aircraft.cfg", data, size);
    try {
        (void)qel::lf_searchLiveriesinFile(1, plain);
        (void)qel::lf_searchLiveriesinIVAOFile(2, ivaoFile);
    } catch (const std::filesystem::filesystem_error&) {
        // A texture folder name the file system refuses: the walk logs it and goes on.
    }
    // Titles, codes and reports would pile up over the runs.
    qel::gf_clearLiveries();
    return 0;
}
