// An aircraft.cfg of an AI package, read by the livery scan's two parsers (an ordinary package
// and an IVAO one) with a small aircraft database.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "foundation/codes.h"
#include "fuzz_support.h"
#include "liveries/liveries.h"
#include "liveries/livery_parsing.h"
#include "liveries/livery_scan.h"

namespace {

void lf_smallDatabase()
{
    qel::gf_airlineIndex("");
    qel::gf_modelIndex("");
    for (const char* model : {"A320", "B738", "B744", "C172"}) {
        qel::g_icaoModelCodes.insert(model);
        qel::gf_modelIndex(model);
    }
    for (const char* airline : {"DLH", "KLM", "ZZZ"}) qel::g_icaoAirlineCodes.insert(airline);
    qel::g_heavyModels.insert(qel::gf_modelIndex("B744"));
    qel::gf_addModelFix("B38M", "B738");
    qel::g_registrations = {{"D-", qel::MatchKey{}},
                            {"D-AIAB", qel::MatchKey{qel::gf_airlineIndex("DLH"), 0,
                                                     qel::gf_modelIndex("A320"), 0, 0}}};
    qel::gf_indexShortRegistrations();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (lf_smallDatabase(), true);
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
