// The airport at a position: the nearest airport of the database, unless a stand of the second
// nearest lies nearer (a remote stand of a large airport can be closer to a strip's reference
// point than to its own).
#include "scenery/closest_airport.h"

#include <cmath>
#include <exception>
#include <system_error>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/xml.h"
#include "scenery/park_loading.h"
#include "scenery/stand_places.h"

namespace qel {

namespace {

constexpr double lf_airportReach_nm = 5.0;
constexpr double lf_noStand_nm = 100.0;
constexpr double lf_metresPerNm = 1852.0;
// A degree of latitude is 60 nm; an airport further north or south than this cannot be within
// reach, which spares the great-circle formula for nearly every airport of the list.
constexpr double lf_reachLatitude_deg = lf_airportReach_nm / 59.9;
const std::filesystem::path lf_downloadFile{"airport.xml"};

void lf_removeDownload()
{
    if (std::filesystem::exists(lf_downloadFile)) std::filesystem::remove(lf_downloadFile);
}

double lf_nearestStand(const pugi::xml_document& document, LatLon position, std::string& standId)
{
    // The program's own files keep the list under `root`; older ones at the top level.
    pugi::xml_node positions = document.child("root").child("parkpositions");
    if (!positions) positions = document.child("parkpositions");
    if (!positions) return lf_noStand_nm;
    double best = lf_noStand_nm;
    for (const pugi::xml_node& parkpos : positions.children("parkpos")) {
        const auto latitude = lf_readNumber(parkpos, "latitude");
        const auto longitude = lf_readNumber(parkpos, "longitude");
        if (!latitude || !longitude) continue;
        const double d = gf_distanceNm(position, {*latitude, *longitude});
        if (d < best) {
            best = d;
            standId = gf_attrString(parkpos, "id");
        }
    }
    return best;
}

double lf_readDestApf(uint32_t code, LatLon position, std::string& standId)
{
    const std::string location = gf_findArchivedApf(code);
    if (location.empty() || !gf_isSafeRelativeLocation(location)) return lf_noStand_nm;
    std::filesystem::path file = gf_localPathOf(location);
    if (!location.starts_with("airports")) {
        if (!lf_downloadArchivedAirport(location, lf_downloadFile).empty()) return lf_noStand_nm;
        file = lf_downloadFile;
    }
    pugi::xml_document document;
    const bool loaded = static_cast<bool>(document.load_file(file.c_str()));
    // The copy is only needed for this one measurement.
    lf_removeDownload();
    if (!loaded) return lf_noStand_nm;
    return lf_nearestStand(document, position, standId);
}

}  // namespace

double gf_readDestApfForClosestStand(uint32_t code, LatLon position, std::string& standId)
{
    try {
        return lf_readDestApf(code, position, standId);
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "gf_readDestApfForClosestStand", e.what()));
        return lf_noStand_nm;
    }
}

std::optional<Airport> gf_closestAirport(LatLon position)
{
    const Airport* closest = nullptr;
    const Airport* runnerUp = nullptr;
    double closest_nm = lf_noStand_nm;
    double runnerUp_nm = lf_noStand_nm;
    for (const Airport& airport : g_airports) {
        if (std::abs(airport.latitude - position.lat) > lf_reachLatitude_deg) continue;
        const double d = gf_distanceNm(position, {airport.latitude, airport.longitude});
        if (d > lf_airportReach_nm) continue;
        if (d < closest_nm) {
            runnerUp = closest;
            runnerUp_nm = closest_nm;
            closest = &airport;
            closest_nm = d;
        } else if (d < runnerUp_nm) {
            runnerUp = &airport;
            runnerUp_nm = d;
        }
    }
    if (closest == nullptr) return std::nullopt;
    if (runnerUp == nullptr) return *closest;

    gf_log(fmt::format("Airport {} is closest, neighbour is {}", closest->code.text(),
                       runnerUp->code.text()));
    std::string closestStand;
    std::string neighbourStand;
    const double closestStand_nm =
        gf_readDestApfForClosestStand(closest->code.word(), position, closestStand);
    const double neighbourStand_nm =
        gf_readDestApfForClosestStand(runnerUp->code.word(), position, neighbourStand);
    if (neighbourStand_nm < closestStand_nm) {
        gf_log(fmt::format(
            "Airport {} is closest, but stand {} at neighbouring airport {} is closer at {:.0F} "
            "meters ...",
            closest->code.text(), neighbourStand, runnerUp->code.text(),
            neighbourStand_nm * lf_metresPerNm));
        return *runnerUp;
    }
    return *closest;
}

}  // namespace qel
