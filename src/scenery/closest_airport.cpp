// The airport at a position: the nearest airport of the database, unless a stand of the second
// nearest lies nearer (a remote stand of a large airport can be closer to a strip's reference
// point than to its own).
//
// Threads: the closest-airport search runs on the main-loop thread; the stand cache below has
// its own mutex because a stand file's writer and the run's reset forget it from other threads.
#include "scenery/closest_airport.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/download.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/xml.h"
#include "scenery/park_loading.h"
#include "scenery/scenery_run.h"
#include "scenery/stand_places.h"

namespace qel {

std::mutex g_standCacheMutex;

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

constexpr std::size_t lf_cachedAirports = 8;  // the closest and the runner-up of a few places
std::deque<CachedStands>& g_standCache = g_sceneryRun.standCache;  // g_standCacheMutex

std::optional<FileStamp> lf_stampOf(const std::filesystem::path& file)
{
    std::error_code ec;
    FileStamp stamp;
    stamp.written = std::filesystem::last_write_time(file, ec);
    if (ec) return std::nullopt;
    stamp.size = std::filesystem::file_size(file, ec);
    if (ec) return std::nullopt;
    return stamp;
}

FileStandSpots lf_cachedStands(uint32_t code, const std::string& source,
                               const std::optional<FileStamp>& stamp)
{
    const std::scoped_lock lock(g_standCacheMutex);
    const auto found = std::find_if(g_standCache.begin(), g_standCache.end(),
                                    [&](const CachedStands& c) { return c.code == code; });
    if (found == g_standCache.end()) return nullptr;
    if (found->source != source || found->stamp != stamp) {
        g_standCache.erase(found);
        return nullptr;
    }
    CachedStands used = std::move(*found);
    g_standCache.erase(found);
    g_standCache.push_back(std::move(used));
    return g_standCache.back().stands;
}

void lf_keepStands(CachedStands entry)
{
    const std::scoped_lock lock(g_standCacheMutex);
    std::erase_if(g_standCache, [&](const CachedStands& c) { return c.code == entry.code; });
    if (g_standCache.size() >= lf_cachedAirports) g_standCache.pop_front();
    g_standCache.push_back(std::move(entry));
}

// The airport's stands, from the cache or read (an archived file downloaded first); null when
// there is no file to read.
FileStandSpots lf_standsOf(uint32_t code)
{
    const std::string location = gf_findArchivedApf(code);
    if (location.empty() || !gf_isSafeRelativeLocation(location)) return nullptr;
    const bool local = location.starts_with("airports");
    const std::filesystem::path file = local ? gf_localPathOf(location) : lf_downloadFile;
    const std::optional<FileStamp> stamp = local ? lf_stampOf(file) : std::nullopt;
    // Another download server or simulator serves another file under the same location.
    const std::string source =
        local ? location
              : fmt::format("{}|{}|{}", gf_downloadBaseUrl(), SIM_CHOICE.value(), location);
    if (FileStandSpots cached = lf_cachedStands(code, source, stamp)) return cached;
    if (!local && !lf_downloadArchivedAirport(location, lf_downloadFile).empty()) return nullptr;
    pugi::xml_document document;
    const bool loaded = static_cast<bool>(document.load_file(file.c_str()));
    // The copy is only needed for this one reading.
    lf_removeDownload();
    if (!loaded) return nullptr;
    auto stands = std::make_shared<const std::vector<FileStandSpot>>(lf_standSpots(document));
    // A local file without a stamp could never be recognised as changed.
    if (!local || stamp) lf_keepStands({code, source, stamp, stands});
    return stands;
}

double lf_readDestApf(uint32_t code, LatLon position, std::string& standId)
{
    const FileStandSpots stands = lf_standsOf(code);
    if (!stands) return lf_noStand_nm;
    double best = lf_noStand_nm;
    for (const FileStandSpot& stand : *stands) {
        const double d = gf_distanceNm(position, {stand.latitude_deg, stand.longitude_deg});
        if (d < best) {
            best = d;
            standId = stand.id;
        }
    }
    return best;
}

}  // namespace

std::vector<FileStandSpot> lf_standSpots(const pugi::xml_document& document)
{
    std::vector<FileStandSpot> spots;
    // The program's own files keep the list under `root`; older ones at the top level.
    pugi::xml_node positions = document.child("root").child("parkpositions");
    if (!positions) positions = document.child("parkpositions");
    if (!positions) return spots;
    for (const pugi::xml_node& parkpos : positions.children("parkpos")) {
        // The places the stand table takes: a stand at 0/0 or off the globe is no stand to be
        // nearest to.
        const auto place = lf_readStandPlace(parkpos);
        if (!place) continue;
        spots.push_back({place->first, place->second, gf_attrString(parkpos, "id")});
    }
    return spots;
}

void gf_forgetClosestStands()
{
    const std::scoped_lock lock(g_standCacheMutex);
    g_standCache.clear();
}

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
