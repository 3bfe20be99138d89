// The scenario file shared by the stand-ins: one clock, the user's position, flights as timed
// tracks, parked aircraft, METAR stations and the web-service credentials (README.md here).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace qel::standin {

// One timed point of a flight. Values left out are derived from the neighbouring points.
struct TrackPoint {
    double t_s = 0.0;                       // seconds after the clock start: 120.0
    double lat = 0.0;                       // degrees: 51.2895
    double lon = 0.0;                       // degrees: 6.7668
    double alt_ft = 0.0;                    // pressure altitude, feet: 3650; 0 on the ground
    std::optional<double> gs_kt;            // ground speed, knots: 151.3
    std::optional<double> track_deg;        // track over ground, degrees true: 230.6
    std::optional<double> vs_fpm;           // vertical rate, feet per minute: -768
    std::optional<double> heading_deg;      // true heading, degrees: 229.5
    std::optional<bool> onGround;           // default: alt_ft <= 0
    std::optional<double> roll_deg;         // bank, right wing down positive: 18.5; default:
                                            // the coordinated turn of the segment
};

// A flight at one moment, interpolated between two points.
struct FlightState {
    double lat = 0.0;          // degrees
    double lon = 0.0;          // degrees
    double alt_ft = 0.0;       // feet
    double gs_kt = 0.0;        // knots
    double track_deg = 0.0;    // degrees true, [0, 360)
    double vs_fpm = 0.0;       // feet per minute
    double heading_deg = 0.0;  // degrees true, [0, 360)
    double trackRate_dps = 0.0;  // degrees per second, clockwise positive: 1.5
    double roll_deg = 0.0;       // degrees, right wing down positive: 18.5; 0 on the ground
    bool onGround = false;
};

struct Flight {
    std::string hex;           // transponder address, hexadecimal: "3c6469"
    std::string callsign;      // ATC callsign: "CFG2PL"; empty when none
    std::string flightNumber;  // "DE1517"; empty when none
    std::string registration;  // "D-AICI"; empty when none
    std::string type;          // ICAO type designator: "A320"
    std::string category;      // emitter category: "A3"; empty when none
    std::string origin;        // IATA code: "PMI"; empty when none
    std::string destination;   // IATA code: "DUS"; empty when none
    std::string squawk;        // "1051"; empty when none
    std::string source;        // report source with its provider prefix: "X_adsb_icao"
    std::vector<TrackPoint> points;  // ascending t_s, at least one

    // Where the flight is `t_s` seconds after the clock start; none before its first point
    // or after its last.
    std::optional<FlightState> stateAt(double t_s) const;
};

struct ParkedAircraft {
    std::string hex;                   // "3c4b26"
    double lat = 0.0;                  // degrees
    double lon = 0.0;                  // degrees
    std::string stand;                 // stand name as the service gives it: "EDDL_B12"
    std::string type;                  // "A320"
    std::string registration;          // "D-AIZB"; empty when none
    std::string callsign;              // "EWG9KL"; empty when none
    double seen_s = 0.0;               // last seen, seconds after the clock start: -5400
    std::optional<double> track_deg;   // last track, degrees
};

struct WeatherStation {
    std::string icao;        // "EDDL"
    double lat = 0.0;        // degrees
    double lon = 0.0;        // degrees
    std::string metar;       // the METAR text; made up from the QNH when the file has none
    std::string taf;         // empty when none
    // The "QNH" member exactly as the service sends it: 1014, 1013.6, "1009", or inches of
    // mercury × 100 as 2992.
    nlohmann::json qnh = 1013;
    std::optional<nlohmann::json> locwx;  // a "locWX" object to send verbatim

    double qnh_hPa() const;  // the QNH in hectopascal whatever its form; 1013.25 when unknown
};

// What the service does when a credential signs in.
enum class Behaviour {
    Standard,       // type 1
    Professional,   // type 2: historic traffic through toffset
    Expired,        // status 402
    Unknown,        // status 404 (also every credential that is not listed)
    SecondSession,  // status 405
    ServerError,    // status 500
    NoGuid,         // status 200 without a "GUID" member
};

struct Credential {
    std::string license;                 // the text the client sends as "license"
    Behaviour behaviour = Behaviour::Standard;
    int rrl_ms = 2000;                   // interval between traffic requests
    int wrrl_ms = 2000;                  // interval between weather requests
    std::optional<int64_t> expiry;       // absolute end of validity, epoch seconds
    int64_t expiry_s = 30 * 86400;       // else: end of validity after the sign-in, seconds
    bool singleSession = false;          // a second sign-in while one is active gets 405
    int maxSessions = 0;                 // sessions active at once, more get 405; 0: any number

    // The sessions this credential may hold at once; 0 for any number.
    int sessionLimit() const { return singleSession ? 1 : maxSessions; }
};

struct UserPosition {
    double lat = 0.0;          // degrees
    double lon = 0.0;          // degrees
    double alt_ft = 0.0;       // feet
    double heading_deg = 0.0;  // degrees true
    bool onGround = true;
    std::string airport;       // ICAO code: "EDDL"; empty when none
    std::string stand;         // stand name: "EDDL_A04"; empty when none
};

struct Scenario {
    int64_t clockStart = 0;  // epoch seconds of scenario time 0
    int64_t repeat_s = 0;    // when > 0, scenario time runs modulo this many seconds
    UserPosition user;
    std::vector<Flight> flights;
    std::vector<ParkedAircraft> parked;
    std::vector<WeatherStation> stations;
    std::vector<Credential> credentials;
    nlohmann::json document;  // the whole file, for the keys of other stand-ins ("simulator")

    // Scenario seconds at the epoch time `epoch_s`.
    double scenarioSeconds(double epoch_s) const;
    const Credential* findCredential(std::string_view license) const;
};

// Credentials used when the file lists none: "standard-license", "professional-license",
// "expired-license", "second-session-license", "server-error-license", "no-guid-license".
std::vector<Credential> defaultCredentials();

// Parses a scenario; "start": "now" takes `now_s`. Unknown keys are ignored. Throws
// std::runtime_error "scenario: ..." naming what is wrong.
Scenario parseScenario(std::string_view text, int64_t now_s);
Scenario loadScenario(const std::filesystem::path& path, int64_t now_s);

std::string behaviourName(Behaviour behaviour);

// Great-circle distance in nautical miles and initial bearing in degrees [0, 360).
double distanceNm(double lat1, double lon1, double lat2, double lon2);
double bearingDeg(double lat1, double lon1, double lat2, double lon2);

}  // namespace qel::standin
