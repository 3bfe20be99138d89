// Reading the stand-in simulator's part of a scenario file: the shared clock and user position
// through the scenario library, the "simulator" object here.
#include "standins/simulator/sim_config.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "standins/scenario/scenario.h"

namespace qel::simstandin {
namespace {

using nlohmann::json;

[[noreturn]] void lf_fail(const std::string& where, std::string_view what)
{
    throw std::runtime_error(fmt::format("scenario: {}: {}", where, what));
}

const json* lf_member(const json& object, const char* key)
{
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

std::optional<double> lf_number(const json& object, const char* key, const std::string& where)
{
    const json* value = lf_member(object, key);
    if (!value) return std::nullopt;
    if (!value->is_number()) lf_fail(where, fmt::format("\"{}\" must be a number", key));
    return value->get<double>();
}

double lf_requiredNumber(const json& object, const char* key, const std::string& where)
{
    const auto value = lf_number(object, key, where);
    if (!value) lf_fail(where, fmt::format("\"{}\" is missing", key));
    return *value;
}

std::optional<std::string> lf_text(const json& object, const char* key, const std::string& where)
{
    const json* value = lf_member(object, key);
    if (!value) return std::nullopt;
    if (!value->is_string()) lf_fail(where, fmt::format("\"{}\" must be a text", key));
    return value->get<std::string>();
}

std::optional<bool> lf_bool(const json& object, const char* key, const std::string& where)
{
    const json* value = lf_member(object, key);
    if (!value) return std::nullopt;
    if (!value->is_boolean()) lf_fail(where, fmt::format("\"{}\" must be true or false", key));
    return value->get<bool>();
}

const json& lf_list(const json& object, const char* key, const std::string& where)
{
    static const json empty = json::array();
    const json* value = lf_member(object, key);
    if (!value) return empty;
    if (!value->is_array()) lf_fail(where, fmt::format("\"{}\" must be a list", key));
    return *value;
}

std::filesystem::path lf_resolve(const std::filesystem::path& base, const std::string& text)
{
    const std::filesystem::path path(text);
    return path.is_absolute() || base.empty() ? path : base / path;
}

// "11.0.282174.999" or [11, 0, 282174, 999].
std::array<DWORD, 4> lf_version(const json& value, const std::string& where)
{
    std::array<DWORD, 4> version{};
    std::vector<double> parts;
    if (value.is_array()) {
        for (const json& part : value) {
            if (!part.is_number()) lf_fail(where, "a version holds numbers only");
            parts.push_back(part.get<double>());
        }
    } else if (value.is_string()) {
        std::istringstream in(value.get<std::string>());
        std::string part;
        while (std::getline(in, part, '.')) {
            char* end = nullptr;
            parts.push_back(std::strtod(part.c_str(), &end));
            if (part.empty() || *end != '\0') lf_fail(where, "a version is four numbers");
        }
    }
    if (parts.size() != 4) lf_fail(where, "a version is four numbers");
    for (size_t i = 0; i < 4; ++i) {
        if (parts[i] < 0.0) lf_fail(where, "a version number must not be negative");
        version[i] = static_cast<DWORD>(parts[i]);
    }
    return version;
}

struct ExceptionName {
    const char* name;
    DWORD value;
};

constexpr ExceptionName lf_exceptionNames[] = {
    {"ERROR", SIMCONNECT_EXCEPTION_ERROR},
    {"SIZE_MISMATCH", SIMCONNECT_EXCEPTION_SIZE_MISMATCH},
    {"UNRECOGNIZED_ID", SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID},
    {"UNOPENED", SIMCONNECT_EXCEPTION_UNOPENED},
    {"VERSION_MISMATCH", SIMCONNECT_EXCEPTION_VERSION_MISMATCH},
    {"NAME_UNRECOGNIZED", SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED},
    {"TOO_MANY_OBJECTS", SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS},
    {"INVALID_DATA_SIZE", SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE},
    {"DATA_ERROR", SIMCONNECT_EXCEPTION_DATA_ERROR},
    {"CREATE_OBJECT_FAILED", SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED},
    {"LOAD_FLIGHTPLAN_FAILED", SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED},
    {"OPERATION_INVALID_FOR_OBJECT_TYPE",
     SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE},
    {"ILLEGAL_OPERATION", SIMCONNECT_EXCEPTION_ILLEGAL_OPERATION},
};

DWORD lf_exception(const json& value, const std::string& where)
{
    if (value.is_number_unsigned()) return value.get<DWORD>();
    if (value.is_string()) {
        std::string name = value.get<std::string>();
        if (name.starts_with("SIMCONNECT_EXCEPTION_")) name.erase(0, 21);
        for (const ExceptionName& known : lf_exceptionNames) {
            if (name == known.name) return known.value;
        }
    }
    lf_fail(where, "\"exception\" must be a number or a SIMCONNECT_EXCEPTION name");
}

UserConfig lf_user(const json* user, const standin::UserPosition& shared)
{
    UserConfig u;
    u.lat = shared.lat;
    u.lon = shared.lon;
    u.heading_deg = shared.heading_deg;
    if (!shared.onGround) u.alt_ft = shared.alt_ft;
    if (!user) return u;
    const std::string where = "simulator.user";
    if (!user->is_object()) lf_fail(where, "must be an object");
    u.title = lf_text(*user, "title", where).value_or(u.title);
    u.atcModel = lf_text(*user, "atc_model", where).value_or(u.atcModel);
    u.atcId = lf_text(*user, "atc_id", where).value_or(u.atcId);
    u.helicopter = lf_bool(*user, "helicopter", where).value_or(false);
    u.lightStates =
        static_cast<DWORD>(lf_number(*user, "light_states", where).value_or(u.lightStates));
    u.staticCg_ft = lf_number(*user, "static_cg_ft", where).value_or(u.staticCg_ft);
    if (const auto lat = lf_number(*user, "lat", where)) {
        u.lat = *lat;
        u.lon = lf_requiredNumber(*user, "lon", where);
        u.alt_ft = lf_number(*user, "alt_ft", where);
    }
    u.heading_deg = lf_number(*user, "heading_deg", where).value_or(u.heading_deg);
    const json& path = lf_list(*user, "path", where);
    for (size_t i = 0; i < path.size(); ++i) {
        const std::string at = fmt::format("{}.path[{}]", where, i);
        if (!path[i].is_object()) lf_fail(at, "must be an object");
        PathPoint p;
        p.t_s = lf_requiredNumber(path[i], "t_s", at);
        p.lat = lf_requiredNumber(path[i], "lat", at);
        p.lon = lf_requiredNumber(path[i], "lon", at);
        p.alt_ft = lf_number(path[i], "alt_ft", at);
        if (!u.path.empty() && p.t_s <= u.path.back().t_s) lf_fail(at, "\"t_s\" must ascend");
        u.path.push_back(p);
    }
    return u;
}

void lf_liveries(const json& list, SimConfig& config)
{
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string where = fmt::format("simulator.liveries[{}]", i);
        LiveryConfig livery;
        if (list[i].is_string()) {
            livery.title = list[i].get<std::string>();
        } else if (list[i].is_object()) {
            livery.title = lf_text(list[i], "title", where).value_or("");
            livery.atcModel = lf_text(list[i], "atc_model", where).value_or("");
            livery.helicopter = lf_bool(list[i], "helicopter", where).value_or(false);
            livery.staticCg_ft = lf_number(list[i], "static_cg_ft", where);
            livery.staticPitch_deg = lf_number(list[i], "static_pitch_deg", where);
        } else {
            lf_fail(where, "must be a title or an object");
        }
        if (livery.title.empty()) lf_fail(where, "the title is empty");
        config.liveries[livery.title] = livery;
    }
}

SIMCONNECT_SIMOBJECT_TYPE lf_objectType(const std::string& name, const std::string& where)
{
    if (name == "aircraft") return SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
    if (name == "helicopter") return SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER;
    if (name == "boat") return SIMCONNECT_SIMOBJECT_TYPE_BOAT;
    if (name == "ground") return SIMCONNECT_SIMOBJECT_TYPE_GROUND;
    lf_fail(where, "\"type\" must be \"aircraft\", \"helicopter\", \"boat\" or \"ground\"");
}

void lf_ownTraffic(const json& list, SimConfig& config)
{
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string where = fmt::format("simulator.own_traffic[{}]", i);
        const json& item = list[i];
        if (!item.is_object()) lf_fail(where, "must be an object");
        OwnTrafficConfig t;
        t.title = lf_text(item, "title", where).value_or(t.title);
        t.atcId = lf_text(item, "atc_id", where).value_or(t.atcId);
        t.atcModel = lf_text(item, "atc_model", where).value_or(t.atcModel);
        if (lf_bool(item, "helicopter", where).value_or(false)) {
            t.type = SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER;
        }
        if (const auto type = lf_text(item, "type", where)) t.type = lf_objectType(*type, where);
        t.lat = lf_requiredNumber(item, "lat", where);
        t.lon = lf_requiredNumber(item, "lon", where);
        t.alt_ft = lf_number(item, "alt_ft", where);
        t.heading_deg = lf_number(item, "heading_deg", where).value_or(0.0);
        t.speed_kt = lf_number(item, "speed_kt", where).value_or(0.0);
        t.appearAt_s = lf_number(item, "appear_at_s", where).value_or(0.0);
        t.leaveAt_s = lf_number(item, "leave_at_s", where);
        config.ownTraffic.push_back(t);
    }
}

void lf_failures(const json& list, SimConfig& config)
{
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string where = fmt::format("simulator.failures[{}]", i);
        const json& item = list[i];
        if (!item.is_object()) lf_fail(where, "must be an object");
        FailureRule rule;
        rule.function = lf_text(item, "call", where).value_or("");
        if (!rule.function.starts_with("SimConnect_")) {
            lf_fail(where, "\"call\" must name a SimConnect function");
        }
        rule.after = static_cast<int>(lf_number(item, "after", where).value_or(0.0));
        rule.count = static_cast<int>(lf_number(item, "count", where).value_or(1.0));
        if (const json* exception = lf_member(item, "exception")) {
            rule.exception = lf_exception(*exception, where);
        }
        config.failures.push_back(rule);
    }
}

void lf_timeline(const json& list, SimConfig& config)
{
    static const std::vector<std::string> actions = {
        "quit", "pause", "unpause", "sim_stop", "sim_start", "flight_loaded", "teleport"};
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string where = fmt::format("simulator.timeline[{}]", i);
        const json& item = list[i];
        if (!item.is_object()) lf_fail(where, "must be an object");
        TimelineEntry entry;
        entry.at_s = lf_requiredNumber(item, "at_s", where);
        entry.action = lf_text(item, "action", where).value_or("");
        if (std::find(actions.begin(), actions.end(), entry.action) == actions.end()) {
            lf_fail(where, fmt::format("unknown action \"{}\"", entry.action));
        }
        entry.file = lf_text(item, "file", where).value_or("flights\\Custom.FLT");
        if (entry.action == "teleport") {
            entry.lat = lf_requiredNumber(item, "lat", where);
            entry.lon = lf_requiredNumber(item, "lon", where);
            entry.alt_ft = lf_number(item, "alt_ft", where);
        }
        config.timeline.push_back(entry);
    }
    std::stable_sort(
        config.timeline.begin(), config.timeline.end(),
        [](const TimelineEntry& a, const TimelineEntry& b) { return a.at_s < b.at_s; });
}

void lf_simulator(const json& sim, const std::filesystem::path& base, SimConfig& config)
{
    const std::string where = "simulator";
    if (!sim.is_object()) lf_fail(where, "must be an object");
    config.simName = lf_text(sim, "name", where).value_or(config.simName);
    if (const json* v = lf_member(sim, "version")) config.appVersion = lf_version(*v, where);
    if (const json* v = lf_member(sim, "simconnect_version")) {
        config.simConnectVersion = lf_version(*v, where);
    }
    config.openFailures = static_cast<int>(lf_number(sim, "open_failures", where).value_or(0.0));
    config.frameRate_hz = lf_number(sim, "frame_rate_hz", where).value_or(config.frameRate_hz);
    if (!(config.frameRate_hz >= 1.0 && config.frameRate_hz <= 1000.0)) {
        lf_fail(where, "\"frame_rate_hz\" must lie within 1 to 1000");
    }
    config.flightRunning = lf_bool(sim, "flight_running", where).value_or(true);
    config.fieldElevation_ft =
        lf_number(sim, "field_elevation_ft", where).value_or(config.fieldElevation_ft);
    config.staticCg_ft = lf_number(sim, "static_cg_ft", where).value_or(config.staticCg_ft);
    config.staticPitch_deg =
        lf_number(sim, "static_pitch_deg", where).value_or(config.staticPitch_deg);
    config.objectLimit =
        static_cast<int>(lf_number(sim, "object_limit", where).value_or(config.objectLimit));
    config.createDelay_s = lf_number(sim, "create_delay_s", where).value_or(0.0);
    config.byTypeRadiusLimit_m =
        lf_number(sim, "by_type_radius_limit_m", where).value_or(config.byTypeRadiusLimit_m);
    config.lostObjectAdded =
        static_cast<int>(lf_number(sim, "lost_object_added", where).value_or(0.0));
    config.firstObjectId = static_cast<DWORD>(
        lf_number(sim, "first_object_id", where).value_or(config.firstObjectId));
    if (config.firstObjectId < 2) lf_fail(where, "\"first_object_id\" must be 2 or more");
    config.reuseObjectIds = lf_bool(sim, "reuse_object_ids", where).value_or(false);
    if (const auto folder = lf_text(sim, "packages_folder", where)) {
        config.packagesFolder = lf_resolve(base, *folder);
    }
    lf_liveries(lf_list(sim, "liveries", where), config);
    lf_ownTraffic(lf_list(sim, "own_traffic", where), config);
    lf_failures(lf_list(sim, "failures", where), config);
    lf_timeline(lf_list(sim, "timeline", where), config);
    if (const auto folder = lf_text(sim, "output_folder", where)) {
        if (!folder->empty()) config.outputFolder = std::filesystem::path(*folder);
    }
    config.traceInterval_s = lf_number(sim, "trace_interval_s", where).value_or(1.0);
    if (!(config.traceInterval_s > 0.0)) lf_fail(where, "\"trace_interval_s\" must be positive");
    config.callLog = lf_bool(sim, "call_log", where).value_or(true);
}

}  // namespace

SimConfig parseSimConfig(const std::string& text, const std::filesystem::path& baseFolder,
                         int64_t now_s)
{
    const standin::Scenario scenario = standin::parseScenario(text, now_s);
    SimConfig config;
    config.clockStart = scenario.clockStart;
    const json* sim = lf_member(scenario.document, "simulator");
    config.user = lf_user(sim ? lf_member(*sim, "user") : nullptr, scenario.user);
    // A user standing on the ground gives the field its elevation unless the file says more.
    if (scenario.user.onGround) config.fieldElevation_ft = scenario.user.alt_ft;
    if (sim) lf_simulator(*sim, baseFolder, config);
    if (config.packagesFolder) addPackageLiveries(*config.packagesFolder, config.liveries);
    if (const char* output = std::getenv("VNTQ_SIM_OUTPUT"); output && *output) {
        config.outputFolder = std::filesystem::path(output);
    }
    return config;
}

SimConfig loadSimConfig(const std::filesystem::path& scenario, int64_t now_s)
{
    std::ifstream in(scenario, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("scenario: cannot read {}", scenario.string()));
    std::ostringstream text;
    text << in.rdbuf();
    return parseSimConfig(text.str(), scenario.parent_path(), now_s);
}

}  // namespace qel::simstandin
