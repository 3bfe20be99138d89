// A stand file and its learned file (the input holds both, the learned file after the line
// "<!--learned-->") the whole road of a park airport: loaded, left (the learned file saved as
// the traffic manager saves it) and loaded again. The second load must give the stands, their
// options and radii of the first (within the file's decimals).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "fuzz_support.h"
#include "scenery/park_settings.h"
#include "scenery/scenery.h"
#include "traffic/park_airports.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSeparator = "<!--learned-->";
constexpr double kMetresPerNm = 1852.0;

void lf_resetSettings()
{
    qel::test::resetParkSettings();
    qel::g_parkApfHandmade = false;
}

// False when the stand file cannot be loaded at all (the user is told; nothing to compare).
bool lf_load()
{
    qel::gf_clearParkAirportTable();
    qel::g_parkAirportInfo = {};
    try {
        return qel::gf_readApf("airports/stock/EHAM.xml", qel::g_parkAirportInfo,
                               qel::g_parkAirport.code.word())
            .empty();
    } catch (const qel::UserErrorException&) {
        return false;
    }
}

void lf_compareFlights(const qel::LearnedFlight& a, const qel::LearnedFlight& b)
{
    qel::fuzz::require(a.codes == b.codes && a.registration == b.registration);
    qel::fuzz::require(a.callsign == b.callsign && a.callsign2 == b.callsign2);
    qel::fuzz::require(a.slots == b.slots && a.number == b.number && a.day == b.day);
    qel::fuzz::require(a.fromStandFile == b.fromStandFile && a.real == b.real && a.cpl == b.cpl);
}

void lf_compare(const std::vector<qel::ParkStand>& first, const std::vector<qel::ParkStand>& again)
{
    qel::fuzz::require(first.size() == again.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        const qel::ParkStand& a = first[i];
        const qel::ParkStand& b = again[i];
        qel::fuzz::require(a.id == b.id);
        qel::fuzz::require(qel::fuzz::near(a.latitude, b.latitude, 5.1e-7));
        qel::fuzz::require(qel::fuzz::near(a.longitude, b.longitude, 5.1e-7));
        qel::fuzz::require(qel::fuzz::near(a.heading * qel::fuzz::kDegreesPerRad,
                                           b.heading * qel::fuzz::kDegreesPerRad, 0.051));
        qel::fuzz::require(
            qel::fuzz::near(a.radius * kMetresPerNm, b.radius * kMetresPerNm, 0.051));
        qel::fuzz::require(a.manual == b.manual && a.radiusChanged == b.radiusChanged);
        qel::fuzz::require(a.cargoChanged == b.cargoChanged && a.cargo == b.cargo);
        qel::fuzz::require(a.ramp == b.ramp && a.helipad == b.helipad);
        qel::fuzz::require(a.learnedFlights.size() == b.learnedFlights.size());
        for (std::size_t k = 0; k < a.learnedFlights.size(); ++k) {
            lf_compareFlights(a.learnedFlights[k], b.learnedFlights[k]);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool folders = [] {
        fs::create_directories(qel::fuzz::scratchDir() / "airports" / "stock");
        qel::g_parkAirport.code = qel::AirportCode("EHAM");
        return true;
    }();
    (void)folders;
    const std::string_view input = qel::fuzz::asText(data, size);
    const std::size_t at = input.find(kSeparator);
    const std::string_view standFile = input.substr(0, at);
    const std::string_view learned =
        at == std::string_view::npos ? std::string_view() : input.substr(at + kSeparator.size());
    fs::remove_all("airports/learned");
    qel::fuzz::writeScratch("airports/stock/EHAM.xml",
                            reinterpret_cast<const uint8_t*>(standFile.data()), standFile.size());
    if (at != std::string_view::npos) {
        fs::create_directories("airports/learned/stock");
        qel::fuzz::writeScratch("airports/learned/stock/EHAM.xml",
                                reinterpret_cast<const uint8_t*>(learned.data()), learned.size());
    }
    lf_resetSettings();
    if (lf_load()) {
        const std::vector<qel::ParkStand> first = qel::g_parkStands;
        qel::lf_saveLearnedAirport();
        lf_resetSettings();
        lf_load();
        lf_compare(first, qel::g_parkStands);
    }
    qel::gf_clearParkAirportTable();
    lf_resetSettings();
    return 0;
}
