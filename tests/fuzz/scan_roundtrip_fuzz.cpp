// A scenery BGL file the whole road of the add-on airport scan: the scan's task body decodes it
// and writes its stand files, the scanning thread puts them in place, and the park-airport
// loading reads each back; every stand decoded must come back as it was (within the file's
// decimals), and nothing else.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "foundation/codes.h"
#include "fuzz_support.h"
#include "seed_airports.h"
#include "scenery/bgl.h"
#include "scenery/bgl_view.h"
#include "scenery/scan.h"
#include "scenery/scenery.h"

namespace {

namespace fs = std::filesystem;

constexpr double kNmPerMetre = 0.0005399568034557236;

// The stands of each airport as the decoder gives them; a later airport of the same code wins,
// as the later file does in the scan.
std::map<std::string, std::vector<qel::BglStand>> lf_decoded(std::span<const uint8_t> bytes)
{
    std::vector<qel::BglEntry> entries;
    try {
        qel::gf_decodeBgl(bytes, "fuzz.bgl", true, entries);
    } catch (const qel::BglFormatError&) {
    }
    std::map<std::string, std::vector<qel::BglStand>> airports;
    for (const auto& entry : entries) {
        const auto* airport = std::get_if<qel::ScannedAirport>(&entry);
        if (airport && !airport->stands.empty()) {
            airports[std::string(airport->code.text())] = airport->stands;
        }
    }
    return airports;
}

void lf_compare(const std::string& code, const std::vector<qel::BglStand>& decoded)
{
    const fs::path file = qel::gf_scanStagingOf(qel::g_myThirdpartyDir) / (code + ".xml");
    qel::gf_clearParkAirportTable();
    qel::ParkAirportInfo info;
    const std::string failed =
        qel::gf_readApf(file.generic_string(), info, qel::AirportCode(code).word());
    qel::fuzz::require(failed.empty());
    qel::fuzz::require(qel::g_parkStands.size() == decoded.size());
    std::map<std::string, const qel::ParkStand*> read;
    for (const auto& stand : qel::g_parkStands) read[stand.id] = &stand;
    for (const auto& stand : decoded) {
        const auto found = read.find(stand.id);
        qel::fuzz::require(found != read.end());
        const qel::ParkStand& back = *found->second;
        qel::fuzz::require(qel::fuzz::near(back.latitude, stand.latitude, 5.1e-7));
        qel::fuzz::require(qel::fuzz::near(back.longitude, stand.longitude, 5.1e-7));
        qel::fuzz::require(qel::fuzz::near(back.heading * qel::fuzz::kDegreesPerRad,
                                           stand.heading_rad * qel::fuzz::kDegreesPerRad, 0.051));
        qel::fuzz::require(qel::fuzz::near(back.radius / kNmPerMetre, stand.radius_m, 0.051));
        qel::fuzz::require(back.helipad == stand.helipad && back.ramp == stand.ramp);
        qel::fuzz::require(back.cargo == (stand.cargo && !stand.helipad));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    qel::fuzz::knowSeedAirports();
    const fs::path bgl = qel::fuzz::writeScratch("input/fuzz.bgl", data, size);
    qel::lf_prepareScanFolders();
    qel::WrittenStandFiles written;
    qel::lf_applyScanSteps(qel::lf_processBGLfile(bgl, true), written);
    const auto decoded = lf_decoded(std::span<const uint8_t>(data, size));
    std::size_t files = 0;
    for (const auto& entry :
         fs::directory_iterator(qel::gf_scanStagingOf(qel::g_myThirdpartyDir))) {
        if (entry.path().extension() == ".xml") ++files;
    }
    qel::fuzz::require(files == decoded.size());
    for (const auto& [code, stands] : decoded) lf_compare(code, stands);
    qel::gf_clearParkAirportTable();
    qel::lf_discardScanFolders();
    {
        std::vector<std::string> lines;
        std::scoped_lock lock(qel::g_scanMessagesMutex);
        qel::g_scanMessages.swap(lines);
    }
    return 0;
}
