// Reading the scenario file, filling in what the author left out of a track, and where a flight
// is at a given moment.
#include "standins/scenario/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

namespace qel::standin {
namespace {

using nlohmann::json;

constexpr double lf_deg2rad = 0.017453292519943295;
constexpr double lf_rad2deg = 57.29577951308232;
constexpr double lf_earthRadius_nm = 3440.065;
constexpr double lf_hPaPerInHg = 33.8639;

[[noreturn]] void lf_fail(const std::string& where, std::string_view what)
{
    throw std::runtime_error(fmt::format("scenario: {}: {}", where, what));
}

const json* lf_member(const json& object, const char* key)
{
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

double lf_number(const json& object, const char* key, const std::string& where)
{
    const json* value = lf_member(object, key);
    if (!value) lf_fail(where, fmt::format("\"{}\" is missing", key));
    if (!value->is_number()) lf_fail(where, fmt::format("\"{}\" must be a number", key));
    return value->get<double>();
}

std::optional<double> lf_optionalNumber(const json& object, const char* key,
                                        const std::string& where)
{
    const json* value = lf_member(object, key);
    if (!value) return std::nullopt;
    if (!value->is_number()) lf_fail(where, fmt::format("\"{}\" must be a number", key));
    return value->get<double>();
}

std::string lf_text(const json& object, const char* key, const std::string& where,
                    bool required = false)
{
    const json* value = lf_member(object, key);
    if (!value) {
        if (required) lf_fail(where, fmt::format("\"{}\" is missing", key));
        return {};
    }
    if (!value->is_string()) lf_fail(where, fmt::format("\"{}\" must be a text", key));
    return value->get<std::string>();
}

std::optional<bool> lf_optionalBool(const json& object, const char* key, const std::string& where)
{
    const json* value = lf_member(object, key);
    if (!value) return std::nullopt;
    if (!value->is_boolean()) lf_fail(where, fmt::format("\"{}\" must be true or false", key));
    return value->get<bool>();
}

const json& lf_array(const json& object, const char* key, const std::string& where)
{
    static const json empty = json::array();
    const json* value = lf_member(object, key);
    if (!value) return empty;
    if (!value->is_array()) lf_fail(where, fmt::format("\"{}\" must be a list", key));
    return *value;
}

std::string lf_hex(const json& object, const std::string& where)
{
    std::string hex = lf_text(object, "hex", where, true);
    const bool valid = !hex.empty() && hex.size() <= 8 &&
                       std::all_of(hex.begin(), hex.end(), [](char c) {
                           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                                  (c >= 'A' && c <= 'F');
                       });
    if (!valid) lf_fail(where, fmt::format("\"hex\" \"{}\" is no hexadecimal id", hex));
    return hex;
}

double lf_wrap360(double degrees)
{
    double wrapped = std::fmod(degrees, 360.0);
    if (wrapped < 0.0) wrapped += 360.0;
    return wrapped;
}

double lf_blendAngle(double from_deg, double to_deg, double fraction)
{
    const double delta = std::fmod(to_deg - from_deg + 540.0, 360.0) - 180.0;
    return lf_wrap360(from_deg + fraction * delta);
}

// The bank of a coordinated turn at that ground speed and rate: tan(bank) = v·ω / g. Capped
// at 60°, about the most an ADS-B report shows of a sharp turn in a scenario.
double lf_coordinatedRoll_deg(double gs_kt, double trackRate_dps)
{
    constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;
    constexpr double kGravity_mps2 = 9.80665;
    constexpr double kRadPerDeg = 3.14159265358979323846 / 180.0;
    const double roll_rad = std::atan(gs_kt * kMetresPerSecondPerKnot * trackRate_dps *
                                      kRadPerDeg / kGravity_mps2);
    return std::clamp(roll_rad / kRadPerDeg, -60.0, 60.0);
}

// The share of a segment's length covered after `fraction` of its time, when the ground speed
// changes evenly from `v0_kt` to `v1_kt` along it: a take-off run from 15 to 150 kt covers its
// first seconds slowly, as real reports show, rather than at the run's mean speed. The segment
// still ends on its point whatever its length.
double lf_distanceFraction(double fraction, double v0_kt, double v1_kt)
{
    const double v0 = std::max(v0_kt, 0.0);
    const double v1 = std::max(v1_kt, 0.0);
    const double mean = (v0 + v1) / 2.0;
    if (!(mean > 0.0)) return fraction;
    return (v0 * fraction + (v1 - v0) * fraction * fraction / 2.0) / mean;
}

// Fills every optional value of the points from the segments around them, so that an author
// may give only times, positions and altitudes.
void lf_completePoints(std::vector<TrackPoint>& points)
{
    const size_t n = points.size();
    double lastTrack = 0.0;
    for (size_t i = 0; i < n; ++i) {
        TrackPoint& p = points[i];
        const TrackPoint* a = i + 1 < n ? &p : (i > 0 ? &points[i - 1] : nullptr);
        const TrackPoint* b = i + 1 < n ? &points[i + 1] : (i > 0 ? &p : nullptr);
        double gs = 0.0, vs = 0.0, track = lastTrack;
        if (a && b && b->t_s > a->t_s) {
            const double dist = distanceNm(a->lat, a->lon, b->lat, b->lon);
            const double dt_s = b->t_s - a->t_s;
            gs = dist / dt_s * 3600.0;
            vs = (b->alt_ft - a->alt_ft) / dt_s * 60.0;
            if (dist > 1e-6) track = bearingDeg(a->lat, a->lon, b->lat, b->lon);
        }
        if (!p.gs_kt) p.gs_kt = gs;
        if (!p.vs_fpm) p.vs_fpm = vs;
        if (!p.track_deg) p.track_deg = track;
        if (!p.heading_deg) p.heading_deg = *p.track_deg;
        if (!p.onGround) p.onGround = p.alt_ft <= 0.0;
        lastTrack = *p.track_deg;
    }
}

TrackPoint lf_parsePoint(const json& item, const std::string& where)
{
    if (!item.is_object()) lf_fail(where, "a point must be an object");
    TrackPoint p;
    p.t_s = lf_number(item, "t_s", where);
    p.lat = lf_number(item, "lat", where);
    p.lon = lf_number(item, "lon", where);
    if (std::abs(p.lat) > 90.0 || std::abs(p.lon) > 180.0) lf_fail(where, "position out of range");
    p.alt_ft = lf_optionalNumber(item, "alt_ft", where).value_or(0.0);
    p.gs_kt = lf_optionalNumber(item, "gs_kt", where);
    p.track_deg = lf_optionalNumber(item, "track_deg", where);
    p.vs_fpm = lf_optionalNumber(item, "vs_fpm", where);
    p.heading_deg = lf_optionalNumber(item, "heading_deg", where);
    p.onGround = lf_optionalBool(item, "on_ground", where);
    p.roll_deg = lf_optionalNumber(item, "roll_deg", where);
    if (p.roll_deg && std::abs(*p.roll_deg) > 180.0) lf_fail(where, "roll out of range");
    return p;
}

Flight lf_parseFlight(const json& item, const std::string& where)
{
    if (!item.is_object()) lf_fail(where, "a flight must be an object");
    Flight f;
    f.hex = lf_hex(item, where);
    f.callsign = lf_text(item, "callsign", where);
    f.flightNumber = lf_text(item, "flight_number", where);
    f.registration = lf_text(item, "registration", where);
    f.type = lf_text(item, "type", where, true);
    f.category = lf_text(item, "category", where);
    f.origin = lf_text(item, "origin", where);
    f.destination = lf_text(item, "destination", where);
    f.squawk = lf_text(item, "squawk", where);
    f.source = lf_text(item, "source", where);
    if (f.source.empty()) f.source = "X_adsb_icao";
    const json& points = lf_array(item, "points", where);
    for (size_t i = 0; i < points.size(); ++i) {
        f.points.push_back(lf_parsePoint(points[i], fmt::format("{}.points[{}]", where, i)));
    }
    if (f.points.empty()) lf_fail(where, "a flight needs at least one point");
    for (size_t i = 1; i < f.points.size(); ++i) {
        if (f.points[i].t_s <= f.points[i - 1].t_s) {
            lf_fail(fmt::format("{}.points[{}]", where, i),
                    "\"t_s\" must rise from point to point");
        }
    }
    lf_completePoints(f.points);
    return f;
}

ParkedAircraft lf_parseParked(const json& item, const std::string& where)
{
    if (!item.is_object()) lf_fail(where, "a parked aircraft must be an object");
    ParkedAircraft p;
    p.hex = lf_hex(item, where);
    p.lat = lf_number(item, "lat", where);
    p.lon = lf_number(item, "lon", where);
    p.stand = lf_text(item, "stand", where, true);
    p.type = lf_text(item, "type", where, true);
    p.registration = lf_text(item, "registration", where);
    p.callsign = lf_text(item, "callsign", where);
    p.seen_s = lf_optionalNumber(item, "seen_s", where).value_or(0.0);
    p.track_deg = lf_optionalNumber(item, "track_deg", where);
    return p;
}

WeatherStation lf_parseStation(const json& item, const std::string& where)
{
    if (!item.is_object()) lf_fail(where, "a station must be an object");
    WeatherStation s;
    s.icao = lf_text(item, "icao", where, true);
    s.lat = lf_number(item, "lat", where);
    s.lon = lf_number(item, "lon", where);
    s.metar = lf_text(item, "metar", where);
    s.taf = lf_text(item, "taf", where);
    if (const json* qnh = lf_member(item, "qnh")) {
        if (!qnh->is_number() && !qnh->is_string()) {
            lf_fail(where, "\"qnh\" must be a number or a text");
        }
        s.qnh = *qnh;
    } else if (const auto inHg = lf_optionalNumber(item, "qnh_inhg", where)) {
        s.qnh = static_cast<int64_t>(std::llround(*inHg * 100.0));
    }
    if (const json* locwx = lf_member(item, "locwx")) {
        if (!locwx->is_object()) lf_fail(where, "\"locwx\" must be an object");
        s.locwx = *locwx;
    }
    return s;
}

Behaviour lf_behaviour(const std::string& name, const std::string& where)
{
    static const std::pair<const char*, Behaviour> names[] = {
        {"standard", Behaviour::Standard},
        {"professional", Behaviour::Professional},
        {"expired", Behaviour::Expired},
        {"unknown", Behaviour::Unknown},
        {"second_session", Behaviour::SecondSession},
        {"server_error", Behaviour::ServerError},
        {"no_guid", Behaviour::NoGuid},
    };
    for (const auto& [text, behaviour] : names) {
        if (name == text) return behaviour;
    }
    lf_fail(where, fmt::format("unknown behaviour \"{}\"", name));
}

Credential lf_parseCredential(const json& item, const std::string& where)
{
    if (!item.is_object()) lf_fail(where, "a session must be an object");
    Credential c;
    c.license = lf_text(item, "license", where, true);
    const std::string behaviour = lf_text(item, "behaviour", where);
    if (!behaviour.empty()) c.behaviour = lf_behaviour(behaviour, where);
    c.rrl_ms = static_cast<int>(lf_optionalNumber(item, "rrl_ms", where).value_or(2000));
    c.wrrl_ms = static_cast<int>(lf_optionalNumber(item, "wrrl_ms", where).value_or(2000));
    if (const auto expiry = lf_optionalNumber(item, "expiry", where)) {
        c.expiry = static_cast<int64_t>(*expiry);
    }
    if (const auto expiry_s = lf_optionalNumber(item, "expiry_s", where)) {
        c.expiry_s = static_cast<int64_t>(*expiry_s);
    }
    c.singleSession = lf_optionalBool(item, "single_session", where).value_or(false);
    const double maxSessions = lf_optionalNumber(item, "max_sessions", where).value_or(0.0);
    if (!(maxSessions >= 0.0 && maxSessions <= 1000.0) || maxSessions != std::floor(maxSessions)) {
        lf_fail(where, "max_sessions must be a whole number from 0 to 1000");
    }
    c.maxSessions = static_cast<int>(maxSessions);
    return c;
}

void lf_parseClock(const json& doc, int64_t now_s, Scenario& scenario)
{
    const json* clock = lf_member(doc, "clock");
    if (!clock) {
        scenario.clockStart = now_s;
        return;
    }
    if (!clock->is_object()) lf_fail("clock", "must be an object");
    const json* start = lf_member(*clock, "start");
    if (!start || (start->is_string() && start->get<std::string>() == "now")) {
        scenario.clockStart = now_s;
    } else if (start->is_number()) {
        scenario.clockStart = static_cast<int64_t>(start->get<double>());
    } else {
        lf_fail("clock", "\"start\" must be epoch seconds or \"now\"");
    }
    scenario.repeat_s =
        static_cast<int64_t>(lf_optionalNumber(*clock, "repeat_s", "clock").value_or(0.0));
    if (scenario.repeat_s < 0) lf_fail("clock", "\"repeat_s\" must not be negative");
}

void lf_parseUser(const json& doc, Scenario& scenario)
{
    const json* user = lf_member(doc, "user");
    if (!user) return;
    if (!user->is_object()) lf_fail("user", "must be an object");
    UserPosition& u = scenario.user;
    u.lat = lf_number(*user, "lat", "user");
    u.lon = lf_number(*user, "lon", "user");
    u.alt_ft = lf_optionalNumber(*user, "alt_ft", "user").value_or(0.0);
    u.heading_deg = lf_optionalNumber(*user, "heading_deg", "user").value_or(0.0);
    u.onGround = lf_optionalBool(*user, "on_ground", "user").value_or(true);
    u.airport = lf_text(*user, "airport", "user");
    u.stand = lf_text(*user, "stand", "user");
}

}  // namespace

std::optional<FlightState> Flight::stateAt(double t_s) const
{
    if (points.empty() || t_s < points.front().t_s || t_s > points.back().t_s) return std::nullopt;
    const auto later = std::upper_bound(points.begin(), points.end(), t_s,
                                        [](double t, const TrackPoint& p) { return t < p.t_s; });
    const TrackPoint& a = *(later - 1);
    const TrackPoint& b = later == points.end() ? a : *later;
    const double fraction = &a == &b ? 0.0 : (t_s - a.t_s) / (b.t_s - a.t_s);
    auto blend = [fraction](double x, double y) { return x + fraction * (y - x); };
    FlightState s;
    const double along =
        lf_distanceFraction(fraction, a.gs_kt.value_or(0.0), b.gs_kt.value_or(0.0));
    s.lat = a.lat + along * (b.lat - a.lat);
    // The short way round, across longitude 180 too.
    s.lon = std::remainder(a.lon + along * std::remainder(b.lon - a.lon, 360.0), 360.0);
    s.alt_ft = blend(a.alt_ft, b.alt_ft);
    s.gs_kt = blend(a.gs_kt.value_or(0.0), b.gs_kt.value_or(0.0));
    s.vs_fpm = blend(a.vs_fpm.value_or(0.0), b.vs_fpm.value_or(0.0));
    s.track_deg = lf_blendAngle(a.track_deg.value_or(0.0), b.track_deg.value_or(0.0), fraction);
    s.heading_deg =
        lf_blendAngle(a.heading_deg.value_or(0.0), b.heading_deg.value_or(0.0), fraction);
    // Between an airborne and a ground point the flight counts as airborne until it arrives.
    s.onGround = a.onGround.value_or(false) && (fraction == 0.0 || b.onGround.value_or(false));
    if (&a != &b) {
        const double turn_deg =
            std::fmod(b.track_deg.value_or(0.0) - a.track_deg.value_or(0.0) + 540.0, 360.0) -
            180.0;
        s.trackRate_dps = turn_deg / (b.t_s - a.t_s);
    }
    const double coordinated = lf_coordinatedRoll_deg(s.gs_kt, s.trackRate_dps);
    s.roll_deg = s.onGround ? 0.0
                            : blend(a.roll_deg.value_or(coordinated),
                                    b.roll_deg.value_or(coordinated));
    return s;
}

double WeatherStation::qnh_hPa() const
{
    double value = 0.0;
    if (qnh.is_number()) {
        value = qnh.get<double>();
    } else if (qnh.is_string()) {
        const std::string text = qnh.get<std::string>();
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end == text.data()) return 1013.25;
    } else {
        return 1013.25;
    }
    // Values of 1101 and more are inches of mercury × 100, as the service sends them.
    return value >= 1101.0 ? value / 100.0 * lf_hPaPerInHg : value;
}

double Scenario::scenarioSeconds(double epoch_s) const
{
    double seconds = epoch_s - static_cast<double>(clockStart);
    if (repeat_s > 0) {
        seconds = std::fmod(seconds, static_cast<double>(repeat_s));
        if (seconds < 0.0) seconds += static_cast<double>(repeat_s);
    }
    return seconds;
}

const Credential* Scenario::findCredential(std::string_view license) const
{
    for (const Credential& c : credentials) {
        if (c.license == license) return &c;
    }
    return nullptr;
}

std::vector<Credential> defaultCredentials()
{
    auto make = [](const char* license, Behaviour behaviour) {
        Credential c;
        c.license = license;
        c.behaviour = behaviour;
        return c;
    };
    return {make("standard-license", Behaviour::Standard),
            make("professional-license", Behaviour::Professional),
            make("expired-license", Behaviour::Expired),
            make("second-session-license", Behaviour::SecondSession),
            make("server-error-license", Behaviour::ServerError),
            make("no-guid-license", Behaviour::NoGuid)};
}

Scenario parseScenario(std::string_view text, int64_t now_s)
{
    json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded()) lf_fail("file", "invalid JSON");
    if (!doc.is_object()) lf_fail("file", "the top level must be an object");
    Scenario scenario;
    lf_parseClock(doc, now_s, scenario);
    lf_parseUser(doc, scenario);
    const json& flights = lf_array(doc, "flights", "file");
    for (size_t i = 0; i < flights.size(); ++i) {
        scenario.flights.push_back(lf_parseFlight(flights[i], fmt::format("flights[{}]", i)));
    }
    const json& parked = lf_array(doc, "parked", "file");
    for (size_t i = 0; i < parked.size(); ++i) {
        scenario.parked.push_back(lf_parseParked(parked[i], fmt::format("parked[{}]", i)));
    }
    if (const json* weather = lf_member(doc, "weather")) {
        if (!weather->is_object()) lf_fail("weather", "must be an object");
        const json& stations = lf_array(*weather, "stations", "weather");
        for (size_t i = 0; i < stations.size(); ++i) {
            scenario.stations.push_back(
                lf_parseStation(stations[i], fmt::format("weather.stations[{}]", i)));
        }
    }
    if (lf_member(doc, "sessions")) {
        const json& sessions = lf_array(doc, "sessions", "file");
        for (size_t i = 0; i < sessions.size(); ++i) {
            scenario.credentials.push_back(
                lf_parseCredential(sessions[i], fmt::format("sessions[{}]", i)));
        }
    } else {
        scenario.credentials = defaultCredentials();
    }
    scenario.document = std::move(doc);
    return scenario;
}

Scenario loadScenario(const std::filesystem::path& path, int64_t now_s)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("scenario: cannot read {}", path.string()));
    std::ostringstream text;
    text << in.rdbuf();
    return parseScenario(text.str(), now_s);
}

std::string behaviourName(Behaviour behaviour)
{
    switch (behaviour) {
    case Behaviour::Standard: return "standard";
    case Behaviour::Professional: return "professional";
    case Behaviour::Expired: return "expired";
    case Behaviour::Unknown: return "unknown";
    case Behaviour::SecondSession: return "second_session";
    case Behaviour::ServerError: return "server_error";
    case Behaviour::NoGuid: return "no_guid";
    }
    return "?";
}

double distanceNm(double lat1, double lon1, double lat2, double lon2)
{
    const double phi1 = lat1 * lf_deg2rad;
    const double phi2 = lat2 * lf_deg2rad;
    const double sinHalfDPhi = std::sin((phi2 - phi1) / 2.0);
    const double sinHalfDLambda = std::sin((lon2 - lon1) * lf_deg2rad / 2.0);
    const double h = sinHalfDPhi * sinHalfDPhi +
                     std::cos(phi1) * std::cos(phi2) * sinHalfDLambda * sinHalfDLambda;
    return 2.0 * lf_earthRadius_nm * std::atan2(std::sqrt(h), std::sqrt(1.0 - h));
}

double bearingDeg(double lat1, double lon1, double lat2, double lon2)
{
    const double phi1 = lat1 * lf_deg2rad;
    const double phi2 = lat2 * lf_deg2rad;
    const double dLambda = (lon2 - lon1) * lf_deg2rad;
    const double theta = std::atan2(std::sin(dLambda) * std::cos(phi2),
                                    std::cos(phi1) * std::sin(phi2) -
                                        std::sin(phi1) * std::cos(phi2) * std::cos(dLambda));
    return lf_wrap360(theta * lf_rad2deg);
}

}  // namespace qel::standin
