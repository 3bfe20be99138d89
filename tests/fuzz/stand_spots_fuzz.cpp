// Stand files as the closest-stand measure reads them: every place it takes lies on the globe,
// and every stand the stand table takes from the same file is among them, at the same place.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include <pugixml.hpp>

#include "fuzz_support.h"
#include "scenery/scenery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pugi::xml_document document;
    if (!document.load_buffer(data, size)) return 0;
    std::multimap<std::string, std::pair<double, double>> places;
    for (const auto& spot : qel::lf_standSpots(document)) {
        qel::fuzz::require(std::isfinite(spot.latitude_deg) && std::abs(spot.latitude_deg) <= 90.0);
        qel::fuzz::require(std::isfinite(spot.longitude_deg) &&
                           std::abs(spot.longitude_deg) <= 180.0);
        qel::fuzz::require(spot.latitude_deg != 0.0 || spot.longitude_deg != 0.0);
        places.emplace(spot.id, std::pair{spot.latitude_deg, spot.longitude_deg});
    }
    qel::gf_clearParkAirportTable();
    try {
        qel::gf_readParkPositions(document);
    } catch (const qel::UserErrorException&) {
        // the stands before the bad one stay in the table
    }
    for (const auto& stand : qel::g_parkStands) {
        bool found = false;
        const auto [first, last] = places.equal_range(stand.id);
        for (auto it = first; it != last; ++it) {
            found = found || it->second == std::pair{stand.latitude, stand.longitude};
        }
        // The table trims its ids; the measure names the stand as the file writes it.
        if (first == last) {
            for (const auto& [id, place] : places) {
                found = found || place == std::pair{stand.latitude, stand.longitude};
            }
        }
        qel::fuzz::require(found);
    }
    qel::gf_clearParkAirportTable();
    return 0;
}
