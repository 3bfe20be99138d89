// Reading a learned airport file on top of the park airport's stand table: its park settings,
// the flights learned at each stand, changed radii and cargo flags, manual stands, or a whole
// handmade table.
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <unordered_map>

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

// A learned file being read: where it is, for log lines, and how much of it was refused.
struct LearnedRead {
    StandSource source;
    std::size_t refused = 0;  // stands, radii and options not taken
};

struct LearnedMergeContext {
    std::string id;  // the element's stand id
    pugi::xml_node parkpos;
    bool older = false;  // written before 11.10.0
    LearnedRead& read;
};

// A learned file that did not read whole: its copy in *.0.xml, and no save replaces it while
// this park airport is loaded.
void lf_keepUnread(const std::filesystem::path& path)
{
    g_parkFileRead.learnedKept = path;
    gf_save1GenerationOf(path);
}

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

// What makes two options of a stand the same flight, but their slots.
struct FlightKey {
    uint32_t day = 0;
    uint32_t real = 0;
    std::string registration;
    uint16_t airline = 0;
    uint16_t operatorId = 0;
    uint16_t model = 0;
    bool operator==(const FlightKey&) const = default;
};

struct FlightKeyHash {
    std::size_t operator()(const FlightKey& key) const
    {
        const uint64_t codes = uint64_t{key.airline} | uint64_t{key.operatorId} << 16 |
                               uint64_t{key.model} << 32 | uint64_t{key.day} << 48 |
                               uint64_t{key.real} << 60;
        return std::hash<std::string>{}(key.registration) ^ std::hash<uint64_t>{}(codes);
    }
};

FlightKey lf_keyOf(const LearnedFlight& flight)
{
    return {flight.day,
            flight.real,
            flight.registration,
            flight.codes.airline,
            flight.codes.operatorId,
            flight.codes.model};
}

// The slots of each flight a stand has: an option is a duplicate when a flight of its key
// shares a slot with it, which is when the union of their slots does. One pass instead of a
// comparison with every option before it (a stand may hold thousands).
class StandFlights {
public:
    explicit StandFlights(const ParkStand& stand)
    {
        slots_.reserve(stand.learnedFlights.size());
        for (const LearnedFlight& flight : stand.learnedFlights) add(flight);
    }
    bool isDuplicate(const LearnedFlight& flight) const
    {
        const auto found = slots_.find(lf_keyOf(flight));
        return found != slots_.end() && (found->second & flight.slots).any();
    }
    void add(const LearnedFlight& flight) { slots_[lf_keyOf(flight)] |= flight.slots; }

private:
    std::unordered_map<FlightKey, HalfHourSet, FlightKeyHash> slots_;
};

bool lf_mergeLearnedFlights(const LearnedMergeContext& context, ParkStand& stand)
{
    if (stand.id != context.id) return false;
    const pugi::xml_node& parkpos = context.parkpos;
    if (parkpos.attribute("radius_change").as_bool(false)) {
        // A stand without a radius would overlap nothing and fit any aircraft.
        double radius_m = 0.0;
        if (const std::string refusal = lf_radiusRefusal(parkpos, radius_m); refusal.empty()) {
            stand.radius = radius_m * lf_nmPerMetre;
            stand.radiusChanged = true;
        } else {
            gf_logHighlighted(fmt::format("{}radius change of stand {} refused: {}",
                                          lf_whereIn(context.read.source, parkpos), stand.id,
                                          refusal));
            ++context.read.refused;
        }
    }
    if (parkpos.attribute("cargo_change").as_bool(false)) {
        stand.cargo = parkpos.attribute("cargo").as_bool(false);
        stand.cargoChanged = true;
    }
    if (context.older) return true;
    uint32_t next = stand.learnedFlights.empty() ? 1 : stand.learnedFlights.back().number + 1;
    StandFlights known(stand);
    for (const pugi::xml_node& opt : parkpos.children("opt")) {
        auto flight = lf_readOption(opt, context.id, context.read.source);
        if (!flight) {
            ++context.read.refused;
            continue;
        }
        if (!known.isDuplicate(*flight)) {
            flight->number = next++;
            flight->fromStandFile = 0;
            known.add(*flight);
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

// The value as a learned file writes it back (six places), so that the stand is judged alike
// when the file is read again.
double lf_asWritten(double degrees) { return std::round(degrees * 1e6) / 1e6; }

void lf_addManualStand(const LearnedMergeContext& context)
{
    const auto latitude = lf_readNumber(context.parkpos, "latitude");
    const auto longitude = lf_readNumber(context.parkpos, "longitude");
    if (latitude && longitude && std::abs(lf_asWritten(*latitude)) <= 0.0001 &&
        std::abs(lf_asWritten(*longitude)) <= 0.0001) {
        gf_logHighlighted(
            fmt::format("{}manually created standid {} misses correct attributes in {}",
                        lf_whereIn(context.read.source, context.parkpos), context.id,
                        context.read.source.path));
        ++context.read.refused;
        return;
    }
    const std::size_t before = g_parkStands.size();
    context.read.refused += lf_readParkStand(context.parkpos, context.id, 0, context.read.source);
    if (g_parkStands.size() > before) g_parkStands.back().manual = true;
}

void lf_mergeStands(const pugi::xml_document& document, bool older, LearnedRead& read)
{
    const std::string& path = read.source.path;
    pugi::xml_node base = document.child("root");
    if (!base) base = document;
    // The first stand of each id, as a search from the front finds it; a large airport's
    // learned file names thousands of stands.
    std::unordered_map<std::string, std::size_t> byId;
    byId.reserve(g_parkStands.size());
    for (std::size_t i = 0; i < g_parkStands.size(); ++i) byId.emplace(g_parkStands[i].id, i);
    for (const pugi::xml_node& parkpos : base.child("parkpositions").children("parkpos")) {
        const LearnedMergeContext context{gf_attrString(parkpos, "id"), parkpos, older, read};
        const bool manual = parkpos.attribute("manual").as_bool(false);
        const auto found = byId.find(context.id);
        if (!manual) {
            if (found != byId.end()) {
                lf_mergeLearnedFlights(context, g_parkStands[found->second]);
            } else {
                gf_log(fmt::format("learned stand {} in {} not found?", context.id, path));
            }
        } else if (found != byId.end()) {
            // Refused like any other stand the file holds but the table cannot take: saving
            // the table would write it and its options out of the file.
            gf_logHighlighted(fmt::format("{}manually created standid {} already exists in {}",
                                          lf_whereIn(read.source, parkpos), context.id, path));
            ++read.refused;
        } else {
            const std::size_t before = g_parkStands.size();
            lf_addManualStand(context);
            if (g_parkStands.size() > before) byId.emplace(context.id, before);
        }
    }
}

void lf_readLearnedDocument(const pugi::xml_document& document, const std::filesystem::path& file,
                            LearnedRead& read, ParkAirportInfo& info)
{
    gf_logFlush(fmt::format("Read from learned airport file: '{}'", read.source.path));
    std::string refusal;
    const auto meta = gf_readXmlMeta(document, true, refusal);
    if (!meta) {
        const pugi::xml_node root = document.child("root");
        const pugi::xml_node block = (root ? root : document).child("meta");
        gf_logHighlighted(fmt::format("{}learned file not read: {}",
                                      lf_whereIn(read.source, block ? block : root), refusal));
        lf_keepUnread(file);
        return;
    }
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
        read.refused += gf_readParkPositions(document, read.source);
        lf_logSetting("handmade", *handmade);
    } else {
        g_parkApfHandmade = false;
        lf_mergeStands(document, older, read);
    }
    // Saving what was taken would write the rest of the only copy away.
    if (read.refused > 0) lf_keepUnread(file);
}

}  // namespace

std::string gf_learnedFileKept(const BglAirport& airport, const std::filesystem::path& path)
{
    // What it held is not all in the table: saving the table would lose the rest.
    if (!g_parkFileRead.learnedKept.empty() && path == g_parkFileRead.learnedKept) {
        return "kept: it did not read whole (a copy is in *.0.xml)";
    }
    // A table that failed to load must not wipe the only copy of what was learned.
    if (airport.stands.empty() && lf_holdsStands(path)) return "kept: no stands to save over it";
    return {};
}

void lf_readLearned(const std::filesystem::path& path, ParkAirportInfo& info)
{
    try {
        LearnedRead read;
        read.source.path = gf_pathToUtf8(path);
        std::string bytes;
        pugi::xml_document document;
        const pugi::xml_parse_result result = lf_loadStandXml(path, document, bytes);
        read.source.text = bytes;
        if (!result) {
            // The learned file is the only copy of what was learned: keep it aside.
            gf_save1GenerationOf(path);
            gf_logHighlighted(fmt::format(
                "{}{} found, but could not be loaded, saved as *.0.xml: {}",
                lf_whereAt(read.source, result.offset), read.source.path, result.description()));
            return;
        }
        lf_readLearnedDocument(document, path, read, info);
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "lf_readLearned", e.what()));
        lf_keepUnread(path);
    }
}

}  // namespace qel
