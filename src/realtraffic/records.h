// The records the RealTraffic client decodes and hands to the traffic manager: live flights
// with their timed positions, and parked aircraft at named stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "foundation/codes.h"
#include "liveries/liveries.h"

namespace qel {

// One timed position of a live flight; the position part of a decoded live record, which the
// traffic manager queues, with marks of its own (the fast tick it is flown at among them), as
// one of an aircraft's samples.
struct PosSample {
    double latitude = 0.0;          // degrees: 51.257366
    double longitude = 0.0;         // degrees: 6.702499
    double altitude_ft = 0.0;       // QNH-corrected; 0.0 on the ground: 3650.0
    double groundSpeed_kt = 0.0;    // 151.3
    double track_deg = 0.0;         // over ground: 230.63
    double verticalRate_fpm = 0.0;  // -768.0
    double airspeed_kt = 0.0;       // 180.0
    bool airborne = false;
    bool hasTrueHeading = false;
    std::optional<double> bank_rad;         // roll, sign reversed: -0.1745
    std::optional<double> trueHeading_rad;  // 4.0054
    bool operator==(const PosSample&) const = default;
};

// One live flight as a locationtraffic record reported it.
struct LiveAircraftRecord {
    MatchKey key;  // model id from the type; airline ids and cargo 0, filled by the intake
    std::optional<ShortAirportCode> origin;       // "ESB"; none when not reported
    std::optional<ShortAirportCode> destination;  // "DUS"
    uint8_t flag = 0;
    std::string callsign;        // "TKJ3VU"; may be empty
    std::string secondCallsign;  // empty; the intake copies the callsign into it
    std::string thirdText;       // empty
    std::string registration;    // "TC-JKV"; may be empty
    PosSample sample;
    double reportTime_s = 0.0;  // epoch seconds: 1724517659.49
    uint32_t hexId = 0;         // always above 10000: 0x4ba976
    bool operator==(const LiveAircraftRecord&) const = default;
};

// One aircraft a parkedtraffic reply saw standing at a named stand.
struct ParkedAircraftRecord {
    MatchKey key;  // model from the type, or the whole key of a registration-prefix match
    std::optional<ShortAirportCode> origin;       // none
    std::optional<ShortAirportCode> destination;  // none
    uint8_t flag = 0;
    std::string callsign;        // "QFA460"; may be empty
    std::string secondCallsign;  // empty
    std::string thirdText;       // empty
    std::string registration;    // "VH-VYD"; may be empty
    double latitude = 0.0;       // degrees: -33.931984
    double longitude = 0.0;      // degrees: 151.176438
    uint32_t hexId = 0;          // always above 10000: 0x7c6db3
    int32_t halfHourSlot = 0;    // UTC slot 0..47 in which it was last seen: 21
    int32_t age_halfHours = 0;   // half hours since then, 0..47; set by gf_getParkedTraffic
    std::string standName;       // "YSSY_D12"
    bool operator==(const ParkedAircraftRecord&) const = default;
};

}  // namespace qel
