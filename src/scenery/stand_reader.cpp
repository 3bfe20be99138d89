// Reading the stands of an airport stand file into the park airport's stand table.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
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
constexpr std::streamoff lf_standFileLimit = std::streamoff{256} << 20;

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

std::string lf_notANumber(const pugi::xml_node& node, const char* name)
{
    return fmt::format("{} '{}' is no number", name, gf_attrString(node, name));
}

// Why the latitude and longitude are no place (""): not finite numbers, missing or written as
// 0/0, or off the globe.
std::string lf_latLonRefusal(const pugi::xml_node& parkpos, double& latitude, double& longitude)
{
    const auto readLatitude = lf_readNumber(parkpos, "latitude");
    if (!readLatitude) return lf_notANumber(parkpos, "latitude");
    const auto readLongitude = lf_readNumber(parkpos, "longitude");
    if (!readLongitude) return lf_notANumber(parkpos, "longitude");
    latitude = *readLatitude;
    longitude = *readLongitude;
    if (lf_writtenAsZero(latitude, 6) && lf_writtenAsZero(longitude, 6)) {
        return "latitude and longitude missing or 0";
    }
    if (std::abs(latitude) > 90.0 || std::abs(longitude) > 180.0) {
        return fmt::format("latitude '{}' or longitude '{}' off the globe",
                           gf_attrString(parkpos, "latitude"), gf_attrString(parkpos, "longitude"));
    }
    return {};
}

// The stand's place, or nothing and the reason in `refusal`. What is kept must survive being
// written back: a place written as 0/0, or a radius written as 0.0, would be refused when read
// again.
std::optional<StandPlace> lf_readPlace(const pugi::xml_node& parkpos, std::string& refusal)
{
    StandPlace place;
    refusal = lf_latLonRefusal(parkpos, place.latitude, place.longitude);
    if (!refusal.empty()) return std::nullopt;
    const auto heading = lf_readNumber(parkpos, "heading");
    if (!heading) {
        refusal = lf_notANumber(parkpos, "heading");
        return std::nullopt;
    }
    place.heading_deg = *heading;
    refusal = lf_radiusRefusal(parkpos, place.radius_m);
    if (!refusal.empty()) return std::nullopt;
    return place;
}

}  // namespace

std::string lf_radiusRefusal(const pugi::xml_node& parkpos, double& radius_m)
{
    // Missing reads as 0, which no stand can have; it is told as what it is.
    if (!parkpos.attribute("radius")) return "no radius";
    const auto radius = lf_readNumber(parkpos, "radius");
    if (!radius) return lf_notANumber(parkpos, "radius");
    if (!gf_radiusWritable(*radius * lf_nmPerMetre)) {
        return fmt::format("radius '{}' is below 0.05 m", gf_attrString(parkpos, "radius"));
    }
    radius_m = *radius;
    return {};
}

std::string lf_whereIn(StandSource& source, const pugi::xml_node& node)
{
    return lf_whereAt(source, node.offset_debug());
}

std::string lf_whereAt(StandSource& source, std::ptrdiff_t offset)
{
    std::string where = source.path;
    if (offset >= 0 && !source.text.empty()) {
        // Refusals come in document order: each count goes on from the one before.
        const std::size_t at = std::min(static_cast<std::size_t>(offset), source.text.size());
        if (at < source.countedTo) source.countedTo = source.linesBefore = 0;
        const auto begin = source.text.begin();
        source.linesBefore += static_cast<std::size_t>(
            std::count(begin + static_cast<std::ptrdiff_t>(source.countedTo),
                       begin + static_cast<std::ptrdiff_t>(at), '\n'));
        source.countedTo = at;
        where += fmt::format("{}line {}", where.empty() ? "" : " ", source.linesBefore + 1);
    }
    return where.empty() ? where : where + ": ";
}

pugi::xml_parse_result lf_loadStandXml(const std::filesystem::path& path,
                                       pugi::xml_document& document, std::string& text)
{
    pugi::xml_parse_result failed;
    failed.status = pugi::status_file_not_found;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return failed;
    failed.status = pugi::status_io_error;
    const std::streamoff size = in.tellg();
    if (size < 0 || size > lf_standFileLimit) return failed;
    text.assign(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(text.data(), size)) return failed;
    return document.load_buffer(text.data(), text.size());
}

std::optional<std::pair<double, double>> lf_readStandPlace(const pugi::xml_node& parkpos)
{
    double latitude = 0.0;
    double longitude = 0.0;
    if (!lf_latLonRefusal(parkpos, latitude, longitude).empty()) return std::nullopt;
    return std::pair{latitude, longitude};
}

namespace {

// The option's reason to be refused; "" for one that is kept.
std::string lf_optionRefusal(const pugi::xml_node& opt, uint32_t day, const HalfHourSet& slots)
{
    if (day < 1 || day > 7) {
        return fmt::format("day '{}' is no weekday 1-7", gf_attrString(opt, "day"));
    }
    // An option without a slot is never chosen, and no file could say it again.
    if (slots.none()) return fmt::format("hh '{}' holds no half hour", gf_attrString(opt, "hh"));
    return {};
}

std::vector<LearnedFlight> lf_readOptions(const pugi::xml_node& parkpos, const std::string& id,
                                          uint32_t fromStandFile, StandSource& source,
                                          std::size_t& refused)
{
    std::vector<LearnedFlight> flights;
    std::size_t count = 0;
    for ([[maybe_unused]] const pugi::xml_node& opt : parkpos.children("opt")) ++count;
    flights.reserve(count);
    for (const pugi::xml_node& opt : parkpos.children("opt")) {
        auto flight = lf_readOption(opt, id, source);
        if (!flight) {
            ++refused;
            continue;
        }
        flight->number = static_cast<uint32_t>(flights.size() + 1);
        flight->fromStandFile = fromStandFile;
        flights.push_back(std::move(*flight));
    }
    flights.shrink_to_fit();
    return flights;
}

}  // namespace

std::optional<LearnedFlight> lf_readOption(const pugi::xml_node& opt, const std::string& standId,
                                           StandSource& source)
{
    // The weekday is decimal digits as the writer writes it: "3.0" or "+3" is refused at every
    // kind of stand alike, rather than kept at one and rewritten as "3" at another.
    const uint32_t day = lf_attrUnsigned(opt, "day");
    const std::string hours = gf_attrString(opt, "hh");
    const HalfHourSet slots =
        day < 1 || day > 7 || hours.empty() ? HalfHourSet{} : gf_hours2bitset(hours);
    if (const std::string refusal = lf_optionRefusal(opt, day, slots); !refusal.empty()) {
        gf_logHighlighted(fmt::format("{}option of stand {} refused: {}", lf_whereIn(source, opt),
                                      standId, refusal));
        return std::nullopt;
    }
    OptIdentity identity = lf_readOptIdentity(opt);
    LearnedFlight flight;
    flight.codes = identity.codes;
    flight.registration = gf_attrString(opt, "reg");
    flight.callsign = std::move(identity.callsign);
    flight.callsign2 = std::move(identity.callsign2);
    flight.slots = slots;
    flight.day = day;
    flight.real = lf_attrBool(opt, "soft") ? 0 : 1;
    flight.cpl = lf_attrBool(opt, "cpl") ? 1 : 0;
    return flight;
}

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

std::size_t lf_readParkStand(const pugi::xml_node& parkpos, const std::string& id,
                             uint32_t fromStandFile, StandSource& source)
{
    std::string refusal;
    const auto place = lf_readPlace(parkpos, refusal);
    if (!place) {
        gf_logHighlighted(
            fmt::format("{}stand {} refused: {}", lf_whereIn(source, parkpos), id, refusal));
        return 1;
    }
    std::size_t refused = 0;
    g_parkStands.emplace_back(
        id, lf_readOptions(parkpos, id, fromStandFile, source, refused), place->latitude,
        place->longitude, place->heading_deg * lf_radPerDegree, place->radius_m,
        lf_attrBool(parkpos, "cargo"), lf_attrBool(parkpos, "ramp"), lf_attrBool(parkpos, "heli"));
    return refused;
}

std::size_t gf_readParkPositions(const pugi::xml_node& node)
{
    StandSource unnamed;
    return gf_readParkPositions(node, unnamed);
}

std::size_t gf_readParkPositions(const pugi::xml_node& node, StandSource& source)
{
    pugi::xml_node base = node.child("root");
    if (!base) base = node;
    const pugi::xml_node positions = base.child("parkpositions");
    if (!positions) return 0;

    std::size_t count = 0;
    for ([[maybe_unused]] const pugi::xml_node& parkpos : positions.children("parkpos")) ++count;
    std::unordered_set<std::string> seen;
    seen.reserve(std::max(lf_idReserve, count));
    int n = 0;
    std::size_t refused = 0;
    for (const pugi::xml_node& parkpos : positions.children("parkpos")) {
        ++n;
        const pugi::xml_attribute attribute = parkpos.attribute("id");
        // The user must mend the file: the message says where.
        if (!attribute) {
            throw UserErrorException(lf_errorNoId,
                                     fmt::format("{}Parking position #{} has no '{}' attribute.",
                                                 lf_whereIn(source, parkpos), n, "id"));
        }
        const std::string id(gf_trim(attribute.value()));
        if (id.empty()) {
            throw UserErrorException(lf_errorNoId,
                                     fmt::format("{}Stand #{} has empty '{}' attribute.",
                                                 lf_whereIn(source, parkpos), n, "id"));
        }
        if (!seen.insert(id).second) {
            throw UserErrorException(lf_errorDuplicateId,
                                     fmt::format("{}Stand '{}' appears more than once.",
                                                 lf_whereIn(source, parkpos), id));
        }
        refused += lf_readParkStand(parkpos, id, 1, source);
    }
    gf_publishStandSpots();
    return refused;
}

void gf_clearParkAirportTable()
{
    g_parkStands.clear();
    gf_publishStandSpots();
}

}  // namespace qel
