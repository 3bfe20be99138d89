// Reading a learned airport file on top of the park airport's stand table: its park settings,
// the flights learned at each stand, changed radii and cargo flags, manual stands, or a whole
// handmade table.
#include <cmath>
#include <exception>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/strings.h"
#include "foundation/version.h"
#include "foundation/xml.h"
#include "scenery/park_loading.h"

namespace qel {

namespace {

constexpr double lf_nmPerMetre = 0.0005399568034557236;
const VersionData lf_firstKeptVersion{11, 10, 0};  // flights of older files are not taken over

struct LearnedMergeContext {
    std::string id;  // the element's stand id
    pugi::xml_node parkpos;
    bool older = false;  // written before 11.10.0
    std::string path;    // for log lines
};

template <typename F, typename... Args>
void lf_call(const F& hook, Args&&... args)
{
    if (hook) hook(std::forward<Args>(args)...);
}

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

void lf_logSetting(const std::string& name, const std::string& value)
{
    gf_logIndented(fmt::format("{:24}: {}", name, value));
}

void lf_takeBool(const pugi::xml_document& document, ControlBoolParameter& setting)
{
    const auto value = gf_readBoolParameter(document, setting.name);
    if (!value) return;
    setting.current = *value;
    lf_call(g_parkWindowHooks.showBool, setting);
    lf_logSetting(setting.name, lf_boolText(*value));
}

void lf_takeRangeRows(const pugi::xml_document& document)
{
    if (const auto value = gf_readIntParameter(document, MAX_LIVE_SEL.name)) {
        MAX_LIVE_SEL.current = MAX_LIVE_SEL.clamp(*value);
        lf_call(g_parkWindowHooks.showInt, MAX_LIVE_SEL);
        lf_logSetting(MAX_LIVE_SEL.name, fmt::format("{}", MAX_LIVE_SEL.current.load()));
    }
    if (const auto value = gf_readIntParameter(document, RANGE.name)) {
        if (g_parkWindowHooks.setRange) {
            g_parkWindowHooks.setRange(*value);
        } else {
            RANGE.current = RANGE.clamp(*value);
        }
        lf_call(g_parkWindowHooks.enable, RANGE, true);
        lf_logSetting(RANGE.name, fmt::format("{}", RANGE.current.load()));
    }
    if (gf_readBoolParameter(document, AUTO_RANGE.name)) {
        lf_takeBool(document, AUTO_RANGE);
        lf_call(g_parkWindowHooks.applyAutoRange);
    }
}

void lf_takeParkingRows(const pugi::xml_document& document)
{
    const auto percentage = gf_readIntParameter(document, parking_percentage.name);
    parking_percentage.current = percentage.value_or(30);
    if (percentage) lf_logSetting(parking_percentage.name, fmt::format("{}", *percentage));
    lf_call(g_parkWindowHooks.showInt, parking_percentage);
    lf_takeBool(document, WEEK);
    lf_takeBool(document, PARK_SOFT);
    if (const auto value = gf_readIntParameter(document, MAX_FIT.name)) {
        MAX_FIT.current = MAX_FIT.clamp(*value);
        if (g_parkWindowHooks.selectMaxFitCombo) {
            g_parkWindowHooks.selectMaxFitCombo();
        } else {
            MAX_FIT_FL.current = gf_halfHours2Hours(MAX_FIT.current);
        }
        gf_logIndented(fmt::format("{:24}: {} (max number of half hours, is {:.1F} hrs decimal)",
                                   MAX_FIT.name, MAX_FIT.current.load(),
                                   MAX_FIT_FL.current.load()));
    }
    if (gf_readBoolParameter(document, RT_PARKTRAFFIC_ONLY.name)) {
        lf_takeBool(document, RT_PARKTRAFFIC_ONLY);
        lf_call(g_parkWindowHooks.enableStandFitControls);
    }
    if (gf_readBoolParameter(document, INITIAL_LOAD_ONLY.name)) {
        lf_takeBool(document, INITIAL_LOAD_ONLY);
        lf_call(g_parkWindowHooks.enable, g_nowButton, !INITIAL_LOAD_ONLY.current);
    }
}

bool lf_isDuplicate(const ParkStand& stand, const LearnedFlight& flight)
{
    for (const LearnedFlight& known : stand.learnedFlights) {
        if (known.day == flight.day && known.real == flight.real &&
            known.registration == flight.registration &&
            known.codes.airline == flight.codes.airline &&
            known.codes.operatorId == flight.codes.operatorId &&
            known.codes.model == flight.codes.model && (known.slots & flight.slots).any()) {
            return true;
        }
    }
    return false;
}

// The option as a learned flight; nothing (logged) when it has no slot or no weekday 1-7.
std::optional<LearnedFlight> lf_learnedOption(const pugi::xml_node& opt)
{
    OptIdentity identity = lf_readOptIdentity(opt);
    LearnedFlight flight;
    flight.slots = gf_hours2bitset(gf_attrString(opt, "hh"));
    if (flight.slots.none()) {
        gf_logHighlighted("empty bit set");
        return std::nullopt;
    }
    const auto day = lf_readNumber(opt, "day");
    // The stand-file reader refuses other weekdays; a merged one must not slip past it.
    if (!day || *day < 1.0 || *day > 7.0 || *day != std::floor(*day)) return std::nullopt;
    flight.day = static_cast<uint32_t>(*day);
    flight.codes = identity.codes;
    flight.callsign = std::move(identity.callsign);
    flight.callsign2 = std::move(identity.callsign2);
    flight.registration = gf_attrString(opt, "reg");
    flight.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
    flight.cpl = opt.attribute("cpl").as_bool(false) ? 1 : 0;
    return flight;
}

bool lf_mergeLearnedFlights(const LearnedMergeContext& context, ParkStand& stand)
{
    if (stand.id != context.id) return false;
    const pugi::xml_node& parkpos = context.parkpos;
    if (parkpos.attribute("radius_change").as_bool(false)) {
        stand.radius =
            lf_readNumber(parkpos, "radius").value_or(stand.radius / lf_nmPerMetre) * lf_nmPerMetre;
        stand.radiusChanged = true;
    }
    if (parkpos.attribute("cargo_change").as_bool(false)) {
        stand.cargo = parkpos.attribute("cargo").as_bool(false);
        stand.cargoChanged = true;
    }
    if (context.older) return true;
    uint32_t next = stand.learnedFlights.empty() ? 1 : stand.learnedFlights.back().number + 1;
    for (const pugi::xml_node& opt : parkpos.children("opt")) {
        auto flight = lf_learnedOption(opt);
        if (!flight) continue;
        if (!lf_isDuplicate(stand, *flight)) {
            flight->number = next++;
            flight->fromStandFile = 0;
            stand.learnedFlights.push_back(std::move(*flight));
            continue;
        }
        gf_logHighlighted(
            fmt::format("learned {}: day:{} {} {} cs:{} reg:{} already in airport file", stand.id,
                        flight->day, gf_bitsetToList(flight->slots), lf_flightLabel(flight->codes),
                        flight->callsign, flight->registration));
    }
    return true;
}

void lf_addManualStand(const LearnedMergeContext& context)
{
    const double latitude = lf_readNumber(context.parkpos, "latitude").value_or(0.0);
    const double longitude = lf_readNumber(context.parkpos, "longitude").value_or(0.0);
    const double radius = lf_readNumber(context.parkpos, "radius").value_or(0.0);
    if ((std::abs(latitude) <= 0.0001 && std::abs(longitude) <= 0.0001) || radius == 0.0) {
        gf_logHighlighted(fmt::format("manually created standid {} misses correct attributes in {}",
                                      context.id, context.path));
        return;
    }
    const std::size_t before = g_parkStands.size();
    lf_readParkStand(context.parkpos, context.id, 0);
    if (g_parkStands.size() > before) g_parkStands.back().manual = true;
}

void lf_mergeStands(const pugi::xml_document& document, bool older, const std::string& path)
{
    pugi::xml_node base = document.child("root");
    if (!base) base = document;
    for (const pugi::xml_node& parkpos : base.child("parkpositions").children("parkpos")) {
        const LearnedMergeContext context{gf_attrString(parkpos, "id"), parkpos, older, path};
        const bool manual = parkpos.attribute("manual").as_bool(false);
        bool found = false;
        for (ParkStand& stand : g_parkStands) {
            if (manual ? stand.id == context.id : lf_mergeLearnedFlights(context, stand)) {
                found = true;
                break;
            }
        }
        if (!manual) {
            if (!found) gf_log(fmt::format("learned stand {} in {} not found?", context.id, path));
        } else if (found) {
            gf_logHighlighted(
                fmt::format("manually created standid {} already exists in {}", context.id, path));
        } else {
            lf_addManualStand(context);
        }
    }
}

void lf_readLearnedDocument(const pugi::xml_document& document, const std::string& path,
                            ParkAirportInfo& info)
{
    gf_logFlush(fmt::format("Read from learned airport file: '{}'", path));
    const auto meta = gf_readXmlMeta(document, true);
    if (!meta) return;
    const bool older = VersionData(meta->version) < lf_firstKeptVersion;
    if (older) {
        gf_log(
            "\nThis learned file was created with and older VNTQ version than 11.10.0,\n"
            "All flights will be cleared, except for a handmade file\n");
    }
    const std::string name = gf_readStringParameter(document, "airport_name").value_or("");
    if (name != info.name) {
        const std::string warning = fmt::format(
            "Warning: learned file airport name: '{}' differs from archived file airport name: "
            "'{}'",
            name, info.name);
        if (g_parkWindowHooks.setMessage) {
            g_parkWindowHooks.setMessage(warning);
        } else {
            gf_log(warning);
        }
    }
    lf_takeRangeRows(document);
    lf_takeParkingRows(document);

    if (const auto handmade = gf_readStringParameter(document, "handmade")) {
        g_parkApfHandmade = true;
        gf_clearParkAirportTable();
        gf_readParkPositions(document);
        lf_logSetting("handmade", *handmade);
        return;
    }
    g_parkApfHandmade = false;
    lf_mergeStands(document, older, path);
}

}  // namespace

void lf_readLearned(const std::filesystem::path& path, ParkAirportInfo& info)
{
    try {
        const std::string text = gf_pathToUtf8(path);
        pugi::xml_document document;
        const pugi::xml_parse_result result = document.load_file(path.c_str());
        if (!result) {
            // The learned file is the only copy of what was learned: keep it aside.
            gf_save1GenerationOf(path);
            gf_logHighlighted(fmt::format("{} found, but could not be loaded, saved as *.0.xml: {}",
                                          text, result.description()));
            return;
        }
        lf_readLearnedDocument(document, text, info);
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "lf_readLearned", e.what()));
    }
}

}  // namespace qel
