// Writing an airport stand file: a scanned airport in full, or what was learned about the park
// airport with the park settings in force.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <fmt/format.h>
#include <gsl/narrow>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/strings.h"
#include "foundation/version.h"
#include "foundation/xml.h"
#include "scenery/closest_airport.h"
#include "scenery/park_loading.h"
#include "scenery/stand_file.h"

namespace qel {

namespace {

constexpr double lf_metresPerNm = 1852.0;
constexpr double lf_degreesPerRad = 57.29577951308232;

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

void lf_addRow(pugi::xml_node parameters, const char* name, const std::string& value)
{
    gf_appendParameterNode(parameters, name, value);  // a row that cannot be added is skipped
}

void lf_writeSettingRows(pugi::xml_node parameters)
{
    lf_addRow(parameters, "RANGE", fmt::format("{}", RANGE.current.load()));
    lf_addRow(parameters, "AUTO_RANGE", lf_boolText(AUTO_RANGE.current));
    lf_addRow(parameters, "WEEK", lf_boolText(WEEK.current));
    lf_addRow(parameters, "PARK_SOFT", lf_boolText(PARK_SOFT.current));
    lf_addRow(parameters, "parking_percentage",
              fmt::format("{}", parking_percentage.current.load()));
    lf_addRow(parameters, "INITIAL_LOAD_ONLY", lf_boolText(INITIAL_LOAD_ONLY.current));
    const double rounded = std::round(2.0 * static_cast<double>(MAX_FIT_FL.current.load()));
    lf_addRow(parameters, "MAX_FIT", fmt::format("{}", gsl::narrow<int32_t>(rounded) - 1));
    lf_addRow(parameters, "RT_PARKTRAFFIC_ONLY", lf_boolText(RT_PARKTRAFFIC_ONLY.current));
    lf_addRow(parameters, "MAX_LIVE_SEL", fmt::format("{}", MAX_LIVE_SEL.current.load()));
}

bool lf_writeApfParameters(pugi::xml_node root, const BglAirport& airport, int mode)
{
    pugi::xml_node parameters = root.append_child("parameters");
    if (!parameters) return false;
    const bool handmade = g_parkApfHandmade;
    lf_addRow(parameters, "airport_name", airport.name);
    lf_addRow(parameters, "publisher", airport.publisher);
    if (handmade) gf_appendBoolParameter(parameters, "handmade", true);
    if (handmade || mode == ApfScanned) {
        lf_addRow(parameters, "altitude", fmt::format("{}", airport.altitude_ft));
    }
    if (mode == ApfScanned) {
        lf_addRow(parameters, "num_parkpos", fmt::format("{}", airport.stands.size()));
    }
    if (handmade) {
        lf_addRow(parameters, "Qf_real", fmt::format("{}", airport.qfReal));
        lf_addRow(parameters, "Qf_soft", fmt::format("{}", airport.qfSoft));
    }
    if (airport.publisher.empty()) {
        lf_addRow(parameters, "BGLpath", airport.bglPath);
        lf_addRow(parameters, "manufacturer", airport.manufacturer);
        lf_addRow(parameters, "creator", airport.creator);
    }
    if (mode == ApfLearned) lf_writeSettingRows(parameters);
    return true;
}

// `value` with `decimals` places, the text "{:.Nf}" gives. std::to_chars rounds as exactly
// and is over twice as fast, which counts on the thousands of stands of a large airport.
void lf_appendFixed(pugi::xml_node node, const char* name, double value, int decimals)
{
    std::array<char, 64> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size() - 1, value,
                                   std::chars_format::fixed, decimals);
    if (end.ec != std::errc()) {
        gf_appendAttributeValue(node, name, fmt::format("{:.{}f}", value, decimals));
        return;
    }
    *end.ptr = '\0';
    gf_appendAttribute(node, name, text.data());
}

void lf_writeInFull(pugi::xml_node parkpos, const ParkStand& stand)
{
    lf_appendFixed(parkpos, "latitude", stand.latitude, 6);
    lf_appendFixed(parkpos, "longitude", stand.longitude, 6);
    lf_appendFixed(parkpos, "heading", stand.heading * lf_degreesPerRad, 1);
    lf_appendFixed(parkpos, "radius", stand.radius * lf_metresPerNm, 1);
    if (stand.helipad) {
        gf_appendAttribute(parkpos, "heli", "true");
    } else {
        gf_appendAttribute(parkpos, "cargo", lf_boolText(stand.cargo));
    }
    gf_appendAttribute(parkpos, "ramp", lf_boolText(stand.ramp));
    if (stand.manual) gf_appendAttribute(parkpos, "manual", "true");
}

void lf_writeChanges(pugi::xml_node parkpos, const ParkStand& stand)
{
    if (stand.radiusChanged) {
        gf_appendAttribute(parkpos, "radius_change", "true");
        lf_appendFixed(parkpos, "radius", stand.radius * lf_metresPerNm, 1);
    }
    if (stand.cargoChanged) {
        gf_appendAttribute(parkpos, "cargo_change", "true");
        gf_appendAttribute(parkpos, "cargo", lf_boolText(stand.cargo));
    }
}

// "DLH4AB", "DLH4AB:LH4711", or ":LH4711" so that a second part alone survives the round trip.
std::string lf_callsignText(const LearnedFlight& flight)
{
    if (flight.callsign2.empty()) return flight.callsign;
    return flight.callsign + ":" + flight.callsign2;
}

// Every option the readers keep is written back: one without a registration is still
// matched by its airline and type, and a set of slots that is not one run is written as the
// list the readers also take.
void lf_writeOption(pugi::xml_node parkpos, const LearnedFlight& flight)
{
    if (flight.number == 0) return;
    if (flight.slots.none()) {
        gf_logHighlighted(fmt::format("bit set problem: {} {} {}", flight.registration,
                                      flight.callsign, lf_flightLabel(flight.codes)));
        return;
    }
    const std::string hours = gf_bitset2hours(flight.slots).value_or(gf_bitsetToList(flight.slots));
    pugi::xml_node opt = parkpos.append_child("opt");
    if (!opt) return;
    if (!flight.registration.empty()) gf_appendAttributeValue(opt, "reg", flight.registration);
    gf_appendAttributeValue(opt, "airl", g_airlineCodes.text(flight.codes.airline));
    gf_appendAttributeValue(opt, "type", g_modelCodes.text(flight.codes.model));
    if (flight.real == 0) gf_appendAttribute(opt, "soft", "true");
    gf_appendAttributeValue(opt, "day", fmt::format("{}", flight.day));
    gf_appendAttributeValue(opt, "hh", hours);
    const std::string callsign = lf_callsignText(flight);
    if (!callsign.empty()) gf_appendAttributeValue(opt, "cs", callsign);
    if (flight.cpl != 0) gf_appendAttribute(opt, "cpl", "true");
}

void lf_writeStand(pugi::xml_node positions, const ParkStand& stand, int mode, bool handmade)
{
    pugi::xml_node parkpos = positions.append_child("parkpos");
    if (!parkpos) return;
    gf_appendAttributeValue(parkpos, "id", stand.id);
    if (mode == ApfScanned) {
        lf_writeInFull(parkpos, stand);
        return;
    }
    // A handmade file is read back as a whole stand file, where a stand in its change form
    // would have no position and be dropped.
    if (stand.manual || handmade) {
        lf_writeInFull(parkpos, stand);
    } else {
        lf_writeChanges(parkpos, stand);
    }
    for (const LearnedFlight& flight : stand.learnedFlights) lf_writeOption(parkpos, flight);
}

}  // namespace

bool lf_writtenAsZero(double value, int decimals)
{
    std::array<char, 64> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value,
                                   std::chars_format::fixed, decimals);
    // Too long for the buffer: far from zero.
    if (end.ec != std::errc()) return false;
    return std::all_of(text.data(), end.ptr, [](char c) { return c < '1' || c > '9'; });
}

bool gf_radiusWritable(double radius_nm)
{
    return radius_nm > 0.0 && !lf_writtenAsZero(radius_nm * lf_metresPerNm, 1);
}

// "DLH,CLH A320(C)": the codes as the log shows a flight.
std::string lf_flightLabel(const MatchKey& codes)
{
    const std::string operatorText =
        codes.operatorId != 0 ? "," + g_airlineCodes.text(codes.operatorId) : std::string();
    return fmt::format("{:3}{:4} {:4}{:3}", g_airlineCodes.text(codes.airline), operatorText,
                       g_modelCodes.text(codes.model), codes.cargo != 0 ? "(C)" : "");
}

bool lf_holdsStands(const std::filesystem::path& path)
{
    std::error_code ec;
    // A file whose status cannot be read may still hold what was learned.
    if (!std::filesystem::exists(path, ec)) return static_cast<bool>(ec);
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) return true;
    pugi::xml_node base = document.child("root");
    if (!base) base = document;
    return static_cast<bool>(base.child("parkpositions").child("parkpos"));
}

namespace {

bool lf_buildApf(pugi::xml_document& document, const BglAirport& airport, int mode, int sim)
{
    XmlMetaInfo meta;
    meta.version = g_programVersion.text();
    meta.sim = sim;
    if (!gf_writeXmlMeta(document, meta)) return false;
    pugi::xml_node root = document.child("root");
    if (!root) root = document.append_child("root");
    if (!root || !lf_writeApfParameters(root, airport, mode)) return false;
    pugi::xml_node positions = root.append_child("parkpositions");
    if (!positions) return false;

    const bool handmade = g_parkApfHandmade;
    for (const ParkStand& stand : airport.stands) lf_writeStand(positions, stand, mode, handmade);
    return true;
}

std::string lf_row(const pugi::xml_document& document, std::string_view key)
{
    return gf_readStringParameter(document, key).value_or("");
}

}  // namespace

bool gf_writeApf(const BglAirport& airport, const std::filesystem::path& path, int mode, int sim)
{
    std::error_code ec;
    if (mode == ApfLearned) {
        if (const std::string kept = gf_learnedFileKept(airport, path); !kept.empty()) {
            gf_logHighlighted(fmt::format("'{}' {}", gf_pathToUtf8(path), kept));
            return false;
        }
    }
    pugi::xml_document document;
    if (!lf_buildApf(document, airport, mode, sim)) return false;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    const bool saved = gf_saveXmlFile(document, path);
    // The closest-airport search must measure the stands as they are now.
    gf_forgetClosestStands();
    return saved;
}

std::optional<ApfText> gf_apfText(const BglAirport& airport, int mode, int sim)
{
    pugi::xml_document document;
    if (!lf_buildApf(document, airport, mode, sim)) return std::nullopt;
    auto bytes = gf_xmlText(document);
    if (!bytes) return std::nullopt;
    // Read back from the document rather than taken from `airport`: a text that XML cannot hold
    // whole (a NUL byte) reaches the file shortened, and the rows must say what the file says.
    ApfMakers makers{lf_row(document, "publisher"), lf_row(document, "manufacturer"),
                     lf_row(document, "creator")};
    return ApfText{std::move(*bytes), std::move(makers)};
}

}  // namespace qel
