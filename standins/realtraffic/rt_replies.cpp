// Reply payloads from the scenario, laid out like the captured replies of the real service.
#include "standins/realtraffic/rt_replies.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <vector>

#include <fmt/format.h>

namespace qel::standin {
namespace {

using Json = ReplyJson;

double lf_round(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

int64_t lf_roundTo(double value, int64_t step)
{
    return std::llround(value / static_cast<double>(step)) * step;
}

// The service writes "null" for a text it does not know.
std::string lf_textOrNull(const std::string& text) { return text.empty() ? "null" : text; }

// The provider letter before the first '_' of a source such as "X_adsb_icao".
std::string lf_provider(const std::string& source)
{
    const auto underscore = source.find('_');
    if (underscore == std::string::npos || underscore == 0 || underscore > 2) return "X";
    return source.substr(0, underscore);
}

double lf_wrap360(double degrees)
{
    double wrapped = std::fmod(degrees, 360.0);
    if (wrapped < 0.0) wrapped += 360.0;
    return wrapped;
}

// Speed of sound in knots by pressure altitude, standard atmosphere.
double lf_speedOfSound_kt(double alt_ft)
{
    if (alt_ft >= 36089.0) return 573.57;
    return 661.47 * std::sqrt(1.0 - 6.8756e-6 * std::max(0.0, alt_ft));
}

std::tm lf_utc(double epoch_s)
{
    const std::time_t t = static_cast<std::time_t>(std::floor(epoch_s));
    std::tm parts{};
    gmtime_r(&t, &parts);
    return parts;
}

// Elements 18 to 46 of an ADS-B record.
void lf_appendAdsbTail(Json& r, const Flight& flight, const FlightState& s)
{
    const bool air = !s.onGround;
    const double tas = s.gs_kt;
    const Json none;
    r.push_back(air ? Json(lf_roundTo(s.alt_ft, 25)) : none);                          // 18
    r.push_back(air ? Json(std::llround(tas / (1.0 + s.alt_ft / 1000.0 * 0.02))) : none);  // 19
    r.push_back(air ? Json(std::llround(tas)) : none);                                  // 20
    r.push_back(air ? Json(lf_round(tas / lf_speedOfSound_kt(s.alt_ft), 3)) : none);    // 21
    r.push_back(air ? Json(lf_round(s.trackRate_dps, 2)) : none);                       // 22
    r.push_back(air ? Json(lf_round(s.roll_deg, 2)) : none);                            // 23
    r.push_back(air ? Json(lf_round(lf_wrap360(s.heading_deg - 3.0), 2)) : none);       // 24
    r.push_back(lf_round(s.heading_deg, 2));                                            // 25
    r.push_back(air ? Json(lf_roundTo(s.vs_fpm, 32)) : none);                           // 26
    r.push_back("none");                                                                // 27
    r.push_back(lf_textOrNull(flight.category));                                        // 28
    for (int i = 29; i <= 32; ++i) r.push_back(none);
    r.push_back("null");                                                                // 33
    for (const Json& v : {Json(8), Json(186), Json(1), Json(9), Json(2), Json(0.0),
                          Json(-8.0), Json(0), Json(0)}) {
        r.push_back(v);                                                                 // 34-42
    }
    for (int i = 43; i <= 46; ++i) r.push_back(none);
}

// Elements 18 to 46 of a multilateration record: no ADS-B state.
void lf_appendMlatTail(Json& r, const Flight& flight)
{
    const Json none;
    for (int i = 18; i <= 26; ++i) r.push_back(none);
    r.push_back("null");                                                                // 27
    r.push_back(lf_textOrNull(flight.category));                                        // 28
    for (int i = 29; i <= 32; ++i) r.push_back(none);
    r.push_back("null");                                                                // 33
    r.push_back(0);                                                                     // 34
    r.push_back(0);                                                                     // 35
    for (int i = 36; i <= 38; ++i) r.push_back(none);
    r.push_back(0.4);                                                                   // 39
    r.push_back(-8.0);                                                                  // 40
    r.push_back(0);                                                                     // 41
    r.push_back(0);                                                                     // 42
    for (int i = 43; i <= 46; ++i) r.push_back(none);
}

// Elements 18 to 46 of a record from a "T_" provider: nothing but 27, 28 and 33 as texts.
void lf_appendProviderTail(Json& r)
{
    for (int i = 18; i <= 46; ++i) {
        r.push_back(i == 27 || i == 28 || i == 33 ? Json("null") : Json());
    }
}

const WeatherStation* lf_station(const Scenario& scenario, const std::string& icao, double lat,
                                 double lon)
{
    const WeatherStation* nearest = nullptr;
    double best = 0.0;
    for (const WeatherStation& s : scenario.stations) {
        if (!icao.empty() && s.icao == icao) return &s;
        const double d = distanceNm(lat, lon, s.lat, s.lon);
        if (!nearest || d < best) {
            nearest = &s;
            best = d;
        }
    }
    return nearest;
}

Json lf_cloudLayer(double cover, int base, int tops)
{
    return Json{{"cover", cover}, {"base", base}, {"tops", tops}, {"type", -1}, {"confidence", -1}};
}

Json lf_locWx(const WeatherStation& station, double query_s)
{
    if (station.locwx) return Json::parse(station.locwx->dump());
    const std::tm t = lf_utc(query_s);
    Json w;
    w["Info"] = fmt::format("{:04}-{:02}-{:02}_{:02}{:02}Z", t.tm_year + 1900, t.tm_mon + 1,
                            t.tm_mday, t.tm_hour, t.tm_min);
    w["SLP"] = lf_round(station.qnh_hPa(), 2);
    w["WSPD"] = 10.0;
    w["WDIR"] = 240.0;
    w["T"] = 15.0;
    w["ST"] = 15.0;
    w["SVis"] = 24000;
    w["SWSPD"] = 10.0;
    w["SWDIR"] = 240.0;
    w["DZDT"] = 0.0;
    w["LLC"] = lf_cloudLayer(0.0, -1, -1);
    w["MLC"] = lf_cloudLayer(0.0, -1, -1);
    w["HLC"] = lf_cloudLayer(0.0, -1, -1);
    w["TPP"] = 11000.0;
    w["PRR"] = 0.0;
    w["CAPE"] = 0.0;
    w["Profiles"] = "";
    return w;
}

}  // namespace

bool Box::contains(double lat, double lon) const
{
    return lat <= top && lat >= bottom && lon >= left && lon <= right;
}

ReplyJson trafficRecord(const Flight& flight, const FlightState& s, double report_s)
{
    const std::string provider = lf_provider(flight.source);
    const bool providerT = provider == "T";
    const bool mlat = flight.source.find("mlat") != std::string::npos;
    Json r = Json::array();
    r.push_back(flight.hex);                                                   // 0
    r.push_back(lf_round(s.lat, 6));                                           // 1
    r.push_back(lf_round(s.lon, 6));                                           // 2
    r.push_back(lf_round(s.track_deg, 2));                                     // 3
    r.push_back(s.onGround ? 0 : std::max<int64_t>(0, lf_roundTo(s.alt_ft, 25)));  // 4
    r.push_back(lf_round(s.gs_kt, 1));                                         // 5
    r.push_back(providerT ? std::string() : flight.squawk);                    // 6
    r.push_back(provider);                                                     // 7
    r.push_back(flight.type);                                                  // 8
    r.push_back(lf_textOrNull(flight.registration));                           // 9
    r.push_back(lf_round(report_s, 2));                                        // 10
    r.push_back(lf_textOrNull(flight.origin));                                 // 11
    r.push_back(lf_textOrNull(flight.destination));                            // 12
    r.push_back(lf_textOrNull(flight.callsign));                               // 13
    r.push_back(s.onGround ? 1 : 0);                                           // 14
    // ADS-B reports the barometric rate in steps of 64 ft/min.
    r.push_back(s.onGround ? 0 : (mlat ? std::llround(s.vs_fpm) : lf_roundTo(s.vs_fpm, 64)));  // 15
    r.push_back(lf_textOrNull(flight.flightNumber));                           // 16
    r.push_back(flight.source);                                                // 17
    if (providerT) {
        lf_appendProviderTail(r);
    } else if (mlat) {
        lf_appendMlatTail(r, flight);
    } else {
        lf_appendAdsbTail(r, flight, s);
    }
    r.push_back(1);                                                            // 47
    return r;
}

ReplyJson trafficData(const Scenario& scenario, const Box& box, double query_s,
                      int64_t& fullCount)
{
    const double t_s = scenario.scenarioSeconds(query_s);
    Json data = Json::object();
    fullCount = 0;
    for (const Flight& flight : scenario.flights) {
        const auto state = flight.stateAt(t_s);
        if (!state) continue;
        ++fullCount;
        if (box.contains(state->lat, state->lon)) {
            data[flight.hex] = trafficRecord(flight, *state, query_s);
        }
    }
    return data;
}

ReplyJson parkedRecord(const ParkedAircraft& parked, double seen_s)
{
    Json r = Json::array();
    r.push_back(lf_round(parked.lat, 6));
    r.push_back(lf_round(parked.lon, 6));
    r.push_back(parked.stand);
    r.push_back(parked.type);
    r.push_back(lf_textOrNull(parked.registration));
    r.push_back(lf_round(seen_s, 2));
    r.push_back(lf_textOrNull(parked.callsign));
    r.push_back(parked.track_deg ? Json(std::llround(*parked.track_deg)) : Json());
    return r;
}

ReplyJson parkedData(const Scenario& scenario, const Box& box, double query_s)
{
    const double t_s = scenario.scenarioSeconds(query_s);
    Json data = Json::object();
    for (const ParkedAircraft& parked : scenario.parked) {
        if (parked.seen_s > t_s || !box.contains(parked.lat, parked.lon)) continue;
        data[parked.hex] = parkedRecord(parked, query_s - (t_s - parked.seen_s));
    }
    return data;
}

ReplyJson nearestMetarData(const Scenario& scenario, double lat, double lon, int maxCount,
                           double query_s)
{
    std::vector<std::pair<double, const WeatherStation*>> byDistance;
    for (const WeatherStation& s : scenario.stations) {
        byDistance.emplace_back(distanceNm(lat, lon, s.lat, s.lon), &s);
    }
    std::stable_sort(byDistance.begin(), byDistance.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Json data = Json::array();
    for (const auto& [distance, station] : byDistance) {
        if (static_cast<int>(data.size()) >= maxCount) break;
        const double bearing = bearingDeg(lat, lon, station->lat, station->lon);
        data.push_back(Json{{"ICAO", station->icao},
                            {"Dist", lf_round(distance, 1)},
                            {"BrgTo", lf_round(bearing, 1)},
                            {"METAR", metarText(*station, query_s)}});
    }
    return data;
}

ReplyJson weatherData(const Scenario& scenario, const std::string& airports, double lat,
                      double lon, double query_s)
{
    const WeatherStation* station = lf_station(scenario, airports, lat, lon);
    Json data;
    if (!station) {
        // What the service sends when it has nothing for the place.
        data["ICAO"] = "UNKN";
        data["QNH"] = 1013;
        data["METAR"] = "UNKN 000000";
        data["locWX"] = Json{{"Info", "TinyDelta"}, {"SLP", -1}, {"WSPD", -1}, {"T", -1},
                             {"Profiles", ""}};
        data["AM"] = Json::array();
        return data;
    }
    data["ICAO"] = station->icao;
    data["QNH"] = Json::parse(station->qnh.dump());
    data["METAR"] = metarText(*station, query_s);
    if (!station->taf.empty()) data["TAF"] = station->taf;
    data["locWX"] = lf_locWx(*station, query_s);
    data["AM"] = Json::array();
    return data;
}

std::string metarText(const WeatherStation& station, double query_s)
{
    if (!station.metar.empty()) return station.metar;
    const std::tm t = lf_utc(query_s);
    const std::string time = fmt::format("{:02}{:02}{:02}Z", t.tm_mday, t.tm_hour, t.tm_min);
    // A QNH of 1101 or more is inches of mercury × 100 and goes into an "A" group.
    if (station.qnh.is_number() && station.qnh.get<double>() >= 1101.0) {
        return fmt::format("{} {} AUTO 24010KT CAVOK 15/10 A{:04}", station.icao, time,
                           std::llround(station.qnh.get<double>()));
    }
    return fmt::format("{} {} AUTO 24010KT CAVOK 15/10 Q{:04}", station.icao, time,
                       std::llround(station.qnh_hPa()));
}

}  // namespace qel::standin
