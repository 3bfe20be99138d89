// Live traffic record decoding: one 48-element locationtraffic record into a
// LiveAircraftRecord, with the filters between what RealTraffic reports and what the traffic
// manager will try to put into the simulator. "Traffic Reader" thread.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <exception>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/aircraft_filter.h"
#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "realtraffic/decoding.h"
#include "simlink/simlink.h"

namespace qel::rt {

namespace {

using nlohmann::json;

constexpr double kDegToRad = 0.017453292519943295;
constexpr double kRadToDeg = 57.29577951308232;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kStandardPressure_hPa = 1013.25;
constexpr double kFeetPerHpa = 27.0;  // pressure altitude change per hPa near the ground
constexpr double kGroundTestCeiling_ft = 14000.0;
constexpr double kNoParkAirportElevation_ft = -1000.0;
constexpr double kSlowOnGround_kt = 35.0;  // slower than this is on the ground at any height
constexpr double kAirborneOnlyBand_ft = 300.0;
constexpr double kParkAirportRadius_nm = 5.0;
constexpr uint32_t kHighestStaticId = 10000;  // ids up to here are the program's static aircraft

// Bounds beyond any aircraft (or any clock of the service): a value outside marks a broken
// record, which must not reach the time shift or the traffic side.
constexpr double kLatestReportTime_s = 1.0e11;  // year 5138
constexpr double kHighestAltitude_ft = 200000.0;
constexpr double kLowestAltitude_ft = -5000.0;
constexpr double kFastestSpeed_kt = 2000.0;
constexpr double kLargestAngle_deg = 720.0;
constexpr double kSteepestClimb_fpm = 100000.0;
constexpr std::size_t kLongestCallsign = 16;

// A value no aircraft can have: the record is dropped and the first of a run logged.
class BadValue : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The element as a number within [low, high]; throws BadValue naming it otherwise.
double lf_checked(const json& record, std::size_t index, const char* name, double low, double high)
{
    const double value = gf_number(gf_element(record, index));
    if (!(value >= low && value <= high)) throw BadValue(name);
    return value;
}

// Printable ASCII only: a transponder sends nothing else, and a NUL or an escape would
// travel into the simulator's labels and the log.
void lf_checkIdentifier(const std::string& text, std::size_t longest, const char* name)
{
    if (text.size() > longest || !gf_isPrintableAscii(text)) throw BadValue(name);
}

// ICAO type designators are upper-case letters and digits; anything else would intern a code
// that no model matches.
void lf_checkTypeCode(std::string_view type)
{
    for (const char c : type) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) throw BadValue("type");
    }
}

// Callsigns of test transponders and ground installations.
constexpr std::array<std::string_view, 6> kRejectedCallsigns{"ERARMTR0", "ERARMTR1", "AIRPORT1",
                                                             "00000000", "TR852",    "TEST"};

// Every real source carries a provider prefix ("X_adsb_icao"); the bare form counts as well.
bool lf_isAdsbIcao(std::string_view source)
{
    return source == "adsb_icao" || source.ends_with("_adsb_icao");
}

void lf_readTrueHeading(double heading_deg, PosSample& sample)
{
    if (heading_deg == 0.0) {
        sample.trueHeading_rad = kTwoPi;
    } else if (heading_deg > 0.0 && heading_deg <= 360.0) {
        sample.trueHeading_rad = heading_deg * kDegToRad;
    } else if (heading_deg > 360.0) {
        throw std::runtime_error(fmt::format("true heading: {:.2F}", heading_deg));
    }
    sample.hasTrueHeading = sample.trueHeading_rad.has_value();
}

// A slow aircraft close above the ground level is on the ground: the pressure altitude of an
// aircraft on a runway rarely reads exactly the field elevation.
bool lf_closeToGround(double height_ft, double groundSpeed_kt)
{
    return (height_ft <= 42.0 && groundSpeed_kt <= 120.0) ||
           (height_ft <= 84.0 && groundSpeed_kt <= 80.0) ||
           (height_ft <= 108.0 && groundSpeed_kt <= 43.0);
}

// The QNH correction and the on-ground decision (0.0 = on the ground); false: drop.
bool lf_correctAltitude(const json& record, PosSample& sample, const LiveDecodeContext& context)
{
    double altitude = lf_checked(record, 4, "altitude", kLowestAltitude_ft, kHighestAltitude_ft);
    const double groundSpeed = sample.groundSpeed_kt;
    if (altitude <= 0.0) {
        altitude = 0.0;
    } else {
        altitude =
            std::max(0.0, altitude + (context.qnh_hPa - kStandardPressure_hPa) * kFeetPerHpa);
        if (altitude > 0.0 && altitude < kGroundTestCeiling_ft) {
            const double ground = context.parkAirport ? context.parkAirport->elevation_ft
                                                      : kNoParkAirportElevation_ft;
            const double height = altitude - ground;
            if (height <= 0.0 || lf_closeToGround(height, groundSpeed)) altitude = 0.0;
        }
        if (groundSpeed <= kSlowOnGround_kt && altitude > 0.0) altitude = 0.0;
    }
    sample.altitude_ft = altitude;
    if (!context.airborneOnly) return true;
    const double reference =
        context.parkAirport ? static_cast<double>(context.parkAirport->elevation_ft) : 0.0;
    return std::abs(altitude - reference) > kAirborneOnlyBand_ft;
}

// The callsign and the user's block; false: drop.
bool lf_acceptCallsign(const json& record, LiveAircraftRecord& aircraft,
                       const LiveDecodeContext& context, BlockNotice& notice)
{
    aircraft.callsign = gf_text(gf_element(record, 13));
    lf_checkIdentifier(aircraft.callsign, kLongestCallsign, "callsign");
    if (aircraft.callsign == "null" || aircraft.callsign.find('@') != std::string::npos) {
        aircraft.callsign.clear();
        return true;
    }
    if (std::find(kRejectedCallsigns.begin(), kRejectedCallsigns.end(), aircraft.callsign) !=
        kRejectedCallsigns.end()) {
        return false;
    }
    if (context.blockCallsign.empty() || context.blockCallsign != aircraft.callsign) return true;
    if (notice.raised) {
        notice.raised = false;
        notice.lastBlocked = context.blockCallsign;
        SimResult blocked;
        blocked.hexId = aircraft.hexId;
        blocked.kind = SimResultKind::callsignBlocked;
        gf_postSimResult(blocked);
        gf_setMessage(fmt::format("Live aircraft '{}' blocked", notice.lastBlocked), true);
    } else if (notice.lastBlocked != context.blockCallsign) {
        // BLOCK_CALLSIGN took a new value: the next report of it gives the notice.
        notice.raised = true;
        notice.lastBlocked.clear();
    }
    return false;
}

std::optional<ShortAirportCode> lf_airportCode(const json& value)
{
    const std::string text = gf_text(value);
    if (text.empty() || text == "null") return std::nullopt;
    return ShortAirportCode(text);  // throws for a text that is no 3-character code
}

std::optional<double> lf_bank(const json& value)
{
    if (!value.is_number()) return std::nullopt;
    const double bank = gf_number(value);
    if (bank == 0.0 || bank == -1.0) return std::nullopt;
    return -bank * kDegToRad;
}

double lf_airspeed(const json& value, double altitude_ft)
{
    if (value.is_number() && gf_number(value) != -1.0) return gf_number(value);
    struct Row {
        double upTo_ft;
        double speed_kt;
    };
    static constexpr std::array<Row, 4> rows{
        {{2000, 180}, {5000, 220}, {10000, 250}, {20000, 350}}};
    for (const auto& row : rows) {
        if (altitude_ft <= row.upTo_ft) return row.speed_kt;
    }
    return 430.0;
}

bool lf_outsideEarth(double latitude, double longitude)
{
    return latitude < -90.0 || latitude > 90.0 || longitude < -180.0 || longitude > 180.0 ||
           (std::abs(latitude) <= 0.0001 && std::abs(longitude) <= 0.0001);
}

bool lf_nearParkAirport(const LiveDecodeContext& context, const PosSample& sample)
{
    if (!context.parkAirport) return false;
    return gf_distanceNm({context.parkAirport->latitude, context.parkAirport->longitude},
                         {sample.latitude, sample.longitude}) <= kParkAirportRadius_nm;
}

// The steps up to the hex id; false: drop.
bool lf_decodeIdentity(const json& record, const LiveDecodeContext& context,
                       LiveAircraftRecord& aircraft)
{
    std::string registration = gf_text(gf_element(record, 9));
    if (registration.size() > 12) return false;
    lf_checkIdentifier(registration, 12, "registration");
    if (registration != "null") aircraft.registration = std::move(registration);
    const std::string type = gf_text(gf_element(record, 8));
    if (!gf_isAircraft(type, gf_text(gf_element(record, 28)))) return false;
    lf_checkTypeCode(type);

    PosSample& sample = aircraft.sample;
    sample.latitude = gf_number(gf_element(record, 1));
    sample.longitude = gf_number(gf_element(record, 2));
    if (lf_outsideEarth(sample.latitude, sample.longitude)) {
        throw std::runtime_error(
            fmt::format("lalo: {}", lf_formatLatLon(sample.latitude, sample.longitude)));
    }
    if (gf_distanceNm(context.reference, {sample.latitude, sample.longitude}) > context.range_nm) {
        return false;
    }
    if (lf_isAdsbIcao(gf_text(gf_element(record, 17)))) {
        lf_readTrueHeading(gf_number(gf_element(record, 25)), sample);
    }
    const std::string hex = gf_text(gf_element(record, 0));
    if (hex.empty()) return false;
    aircraft.hexId = gf_parseHexId(hex);
    return aircraft.hexId > kHighestStaticId;
}

void lf_decodeMotion(const json& record, LiveAircraftRecord& aircraft)
{
    PosSample& sample = aircraft.sample;
    sample.track_deg = lf_checked(record, 3, "track", -kLargestAngle_deg, kLargestAngle_deg);
    if (sample.track_deg == 0.0 && sample.trueHeading_rad) {
        sample.track_deg = *sample.trueHeading_rad * kRadToDeg;
    }
    sample.verticalRate_fpm =
        lf_checked(record, 15, "vertical rate", -kSteepestClimb_fpm, kSteepestClimb_fpm);
    aircraft.origin = lf_airportCode(gf_element(record, 11));
    aircraft.destination = lf_airportCode(gf_element(record, 12));
    lf_checked(record, 23, "bank", -kLargestAngle_deg, kLargestAngle_deg);
    if (sample.airborne) sample.bank_rad = lf_bank(gf_element(record, 23));
    lf_checked(record, 20, "airspeed", -kFastestSpeed_kt, kFastestSpeed_kt);
    sample.airspeed_kt = lf_airspeed(gf_element(record, 20), sample.altitude_ft);
}

}  // namespace

const json& gf_element(const json& record, std::size_t index)
{
    static const json null;
    if (!record.is_array() || index >= record.size()) return null;
    return record[index];
}

double gf_number(const json& value)
{
    if (value.is_number_float()) return value.get<double>();
    if (value.is_number_unsigned()) return static_cast<double>(value.get<uint64_t>());
    if (value.is_number_integer()) return static_cast<double>(value.get<int64_t>());
    return 0.0;
}

std::string gf_text(const json& value)
{
    return value.is_string() ? value.get<std::string>() : std::string();
}

bool gf_isPrintableAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte <= 0x7e;
    });
}

uint32_t gf_parseHexId(std::string_view text)
{
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() ? value : 0;
}

std::string lf_formatLatLon(double latitude, double longitude)
{
    return fmt::format("{:.6f},{:.6f}", latitude, longitude);
}

void processLine(const json& record, const LiveDecodeContext& context, LiveDecodeState& state)
{
    try {
        LiveAircraftRecord aircraft;
        aircraft.reportTime_s = lf_checked(record, 10, "report time", 0.0, kLatestReportTime_s);
        // Every record, kept or not, tells the time of the traffic.
        g_historicTime = aircraft.reportTime_s;
        if (!lf_decodeIdentity(record, context, aircraft)) return;
        PosSample& sample = aircraft.sample;
        // Some feeds sign the speed: the traffic side takes every speed as a size, and a
        // negative one ran its aircraft ahead of its reports and then back along them.
        sample.groundSpeed_kt =
            std::abs(lf_checked(record, 5, "ground speed", -kFastestSpeed_kt, kFastestSpeed_kt));
        if (!lf_correctAltitude(record, sample, context)) return;
        sample.airborne = sample.altitude_ft > 0.0;
        if (!lf_acceptCallsign(record, aircraft, context, state.notice)) return;
        if (aircraft.callsign.empty() && aircraft.registration.empty()) return;
        // Listed before the ground test, so that an aircraft dropped below is still known.
        if (context.collectIds) {
            if (!aircraft.callsign.empty()) state.ids.callsigns.insert(aircraft.callsign);
            state.ids.hexIds.insert(aircraft.hexId);
        }
        if (!sample.airborne && !lf_nearParkAirport(context, sample)) return;
        lf_decodeMotion(record, aircraft);
        // Interned last: a broken or hostile feed must not fill the model table with the
        // codes of records that are dropped anyway.
        aircraft.key.model = gf_modelIndex(gf_text(gf_element(record, 8)));
        state.records.push_back(std::move(aircraft));
    } catch (const BadValue& e) {
        if (!state.badValueLogged) {
            state.badValueLogged = true;
            gf_log(fmt::format("{}: bad value {}", "processLine", e.what()));
        }
    } catch (const std::runtime_error&) {
        // A position off the earth or an impossible heading: the record is dropped silently.
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "processLine", e.what()));
    }
}

}  // namespace qel::rt
