// Reading the stands of an airport stand file into the park airport's stand table.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <unordered_set>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/xml.h"
#include "scenery/scenery_run.h"
#include "scenery/stand_file.h"
#include "scenery/stand_snapshot.h"

namespace qel {

std::vector<ParkStand>& g_parkStands = g_sceneryRun.parkStands;
ParkAirportInfo& g_parkAirportInfo = g_sceneryRun.parkAirportInfo;
std::atomic<bool>& g_parkApfHandmade = g_sceneryRun.parkApfHandmade;
std::function<std::optional<MatchKey>(const std::string&)> g_registrationKeyLookup;

namespace {

constexpr double lf_nmPerMetre = 0.0005399568034557236;  // 1 / 1852
constexpr double lf_radPerDegree = 0.017453292519943295;
constexpr std::size_t lf_idReserve = 512;  // more stands than a large airport has
constexpr int lf_errorNoId = 93;
constexpr int lf_errorDuplicateId = 94;

// A number written in the file, locale-free. Missing gives 0; text that is no number, or no
// finite one ("nan", "inf", "1e999"), gives nothing, so a stand cannot carry it into the
// distance and overlap arithmetic.
}  // namespace

std::optional<double> lf_readNumber(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) return 0.0;
    std::string_view text = gf_trim(attribute.value());
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // Only a whole number counts: "0x1p5" is no 0, nor "12abc" a 12.
    if (error != std::errc{} || end != text.data() + text.size() || text.empty() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

namespace {

// Decimal digits only; 0 when missing or not a number below 2^32.
uint32_t lf_attrUnsigned(const pugi::xml_node& node, const char* name)
{
    const std::string_view text = gf_trim(node.attribute(name).value());
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() ? value : 0;
}

bool lf_attrBool(const pugi::xml_node& node, const char* name)
{
    return node.attribute(name).as_bool(false);
}

struct StandPlace {
    double latitude = 0.0;
    double longitude = 0.0;
    double heading_deg = 0.0;
    double radius_m = 0.0;
};

// The stand's place, or nothing when it has no usable one: missing (0/0), not a finite
// number, off the globe, or without a radius. What is kept must survive being written back:
// a place written as 0/0, or a radius written as 0.0, would be refused when read again.
std::optional<StandPlace> lf_readPlace(const pugi::xml_node& parkpos)
{
    const auto position = lf_readStandPlace(parkpos);
    const auto heading = lf_readNumber(parkpos, "heading");
    const auto radius = lf_readNumber(parkpos, "radius");
    if (!position || !heading || !radius) return std::nullopt;
    if (!gf_radiusWritable(*radius * lf_nmPerMetre)) return std::nullopt;
    return StandPlace{position->first, position->second, *heading, *radius};
}

}  // namespace

std::optional<std::pair<double, double>> lf_readStandPlace(const pugi::xml_node& parkpos)
{
    const auto latitude = lf_readNumber(parkpos, "latitude");
    const auto longitude = lf_readNumber(parkpos, "longitude");
    if (!latitude || !longitude) return std::nullopt;
    if (lf_writtenAsZero(*latitude, 6) && lf_writtenAsZero(*longitude, 6)) return std::nullopt;
    if (std::abs(*latitude) > 90.0 || std::abs(*longitude) > 180.0) return std::nullopt;
    return std::pair{*latitude, *longitude};
}

namespace {

std::vector<LearnedFlight> lf_readOptions(const pugi::xml_node& parkpos, uint32_t fromStandFile)
{
    std::vector<LearnedFlight> flights;
    std::size_t count = 0;
    for ([[maybe_unused]] const pugi::xml_node& opt : parkpos.children("opt")) ++count;
    flights.reserve(count);
    for (const pugi::xml_node& opt : parkpos.children("opt")) {
        OptIdentity identity = lf_readOptIdentity(opt);
        const std::string hours = gf_attrString(opt, "hh");
        const uint32_t day = lf_attrUnsigned(opt, "day");
        if (hours.empty() || day < 1 || day > 7) continue;
        // An option without a slot is never chosen, and no file could say it again.
        const HalfHourSet slots = gf_hours2bitset(hours);
        if (slots.none()) continue;
        LearnedFlight flight;
        flight.codes = identity.codes;
        flight.registration = gf_attrString(opt, "reg");
        flight.callsign = std::move(identity.callsign);
        flight.callsign2 = std::move(identity.callsign2);
        flight.slots = slots;
        flight.number = static_cast<uint32_t>(flights.size() + 1);
        flight.day = day;
        flight.fromStandFile = fromStandFile;
        flight.real = lf_attrBool(opt, "soft") ? 0 : 1;
        flight.cpl = lf_attrBool(opt, "cpl") ? 1 : 0;
        flights.push_back(std::move(flight));
    }
    flights.shrink_to_fit();
    return flights;
}

}  // namespace

ParkStand::ParkStand(std::string standId, std::vector<LearnedFlight> flights, double latitude_deg,
                     double longitude_deg, double heading_rad, double radius_m, bool isCargo,
                     bool isRamp, bool isHelipad)
    : learnedFlights(std::move(flights)),
      id(std::move(standId)),
      latitude(latitude_deg),
      longitude(longitude_deg),
      heading(heading_rad),
      radius(radius_m * lf_nmPerMetre),
      cargo(isCargo),
      ramp(isRamp),
      helipad(isHelipad)
{
    overlaps.reserve(8);
}

MatchKey lf_readAirlineAndType(const pugi::xml_node& opt)
{
    MatchKey key;
    key.airline = gf_airlineIndex(gf_attrString(opt, "airl"));
    key.model = gf_modelIndex(gf_attrString(opt, "type"));
    return key;
}

OptIdentity lf_readOptIdentity(const pugi::xml_node& opt)
{
    OptIdentity identity;
    const std::string callsign = gf_attrString(opt, "cs");
    const std::size_t colon = callsign.find(':');
    if (colon == std::string::npos) {
        identity.callsign = callsign;
    } else {
        identity.callsign = callsign.substr(0, colon);
        identity.callsign2 = callsign.substr(colon + 1);
    }
    const std::string registration = gf_attrString(opt, "reg");
    if (!registration.empty() && g_registrationKeyLookup) {
        if (const auto key = g_registrationKeyLookup(registration)) {
            identity.codes = *key;
            return identity;
        }
    }
    identity.codes = lf_readAirlineAndType(opt);
    return identity;
}

void lf_readParkStand(const pugi::xml_node& parkpos, const std::string& id, uint32_t fromStandFile)
{
    const auto place = lf_readPlace(parkpos);
    if (!place) {
        gf_logHighlighted(fmt::format("stand {} has no valid lat/lon", id));
        return;
    }
    g_parkStands.emplace_back(id, lf_readOptions(parkpos, fromStandFile), place->latitude,
                              place->longitude, place->heading_deg * lf_radPerDegree,
                              place->radius_m, lf_attrBool(parkpos, "cargo"),
                              lf_attrBool(parkpos, "ramp"), lf_attrBool(parkpos, "heli"));
}

void gf_readParkPositions(const pugi::xml_node& node)
{
    pugi::xml_node base = node.child("root");
    if (!base) base = node;
    const pugi::xml_node positions = base.child("parkpositions");
    if (!positions) return;

    std::size_t count = 0;
    for ([[maybe_unused]] const pugi::xml_node& parkpos : positions.children("parkpos")) ++count;
    std::unordered_set<std::string> seen;
    seen.reserve(std::max(lf_idReserve, count));
    int n = 0;
    for (const pugi::xml_node& parkpos : positions.children("parkpos")) {
        ++n;
        const pugi::xml_attribute attribute = parkpos.attribute("id");
        if (!attribute) {
            throw UserErrorException(
                lf_errorNoId, fmt::format("Parking position #{} has no '{}' attribute.", n, "id"));
        }
        const std::string id(gf_trim(attribute.value()));
        if (id.empty()) {
            throw UserErrorException(lf_errorNoId,
                                     fmt::format("Stand #{} has empty '{}' attribute.", n, "id"));
        }
        if (!seen.insert(id).second) {
            throw UserErrorException(lf_errorDuplicateId,
                                     fmt::format("Stand '{}' appears more than once.", id));
        }
        lf_readParkStand(parkpos, id, 1);
    }
    gf_publishStandSpots();
}

void gf_clearParkAirportTable()
{
    g_parkStands.clear();
    gf_publishStandSpots();
}

}  // namespace qel
