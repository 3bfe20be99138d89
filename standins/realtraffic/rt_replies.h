// The payloads of the stand-in's replies, built from a scenario for a box and a moment: the
// 48-field traffic records, the parked records, the nearest METAR list and the weather block.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "standins/scenario/scenario.h"

namespace qel::standin {

// Replies keep their members in the order the real service sends them.
using ReplyJson = nlohmann::ordered_json;

struct Box {
    double top = 0.0;     // degrees latitude
    double bottom = 0.0;  // degrees latitude
    double left = 0.0;    // degrees longitude
    double right = 0.0;   // degrees longitude

    bool contains(double lat, double lon) const;
};

// One live record of exactly 48 elements; the layout of the unused elements follows the
// source: full ADS-B, multilateration ("mlat") or a "T_" provider.
ReplyJson trafficRecord(const Flight& flight, const FlightState& state, double report_s);

// The records of the flights inside the box at the epoch time `query_s`, keyed by hex id.
// `fullCount` receives the number of flights reporting anywhere at that time.
ReplyJson trafficData(const Scenario& scenario, const Box& box, double query_s,
                      int64_t& fullCount);

// One parked record: latitude, longitude, stand, type, registration, time seen, callsign,
// last track.
ReplyJson parkedRecord(const ParkedAircraft& parked, double seen_s);

// The parked aircraft inside the box seen at or before `query_s`, keyed by hex id.
ReplyJson parkedData(const Scenario& scenario, const Box& box, double query_s);

// Up to `maxCount` stations nearest to the position: {ICAO, Dist (nm), BrgTo (degrees), METAR}.
ReplyJson nearestMetarData(const Scenario& scenario, double lat, double lon, int maxCount,
                           double query_s);

// The weather block of the station named in `airports`, else of the nearest station; the
// service's "UNKN" block when the scenario has no station.
ReplyJson weatherData(const Scenario& scenario, const std::string& airports, double lat,
                      double lon, double query_s);

// The station's METAR, or one made up from its QNH, timed at `query_s`.
std::string metarText(const WeatherStation& station, double query_s);

}  // namespace qel::standin
