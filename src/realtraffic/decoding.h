// The decoding of RealTraffic traffic records into the traffic manager's records: live flights
// of a locationtraffic reply and parked aircraft of a parkedtraffic reply. Runs on the "Traffic
// Reader" thread; what it reads of other threads comes in as a copy made once per reply.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/geodesy.h"
#include "realtraffic/realtraffic.h"

namespace qel::rt {

inline constexpr std::size_t kLiveRecordFields = 48;

// Element `index` of a record, or null when the record is shorter.
const nlohmann::json& gf_element(const nlohmann::json& record, std::size_t index);
// A JSON floating-point or integer value as a double; any other type 0.0.
double gf_number(const nlohmann::json& value);
// A JSON string's text; any other type "".
std::string gf_text(const nlohmann::json& value);
// Every byte printable ASCII (0x20 to 0x7E): what a callsign or registration may hold. A NUL
// would cut the text where it is written into a stand file, an escape reach the log.
bool gf_isPrintableAscii(std::string_view text);
// The hexadecimal number at the start of the text (digits 0-9, a-f, A-F up to the first other
// character); 0 without a digit or when it does not fit 32 bits.
uint32_t gf_parseHexId(std::string_view text);
// "{:.6f},{:.6f}" of latitude and longitude.
std::string lf_formatLatLon(double latitude, double longitude);

// What the live decoding reads of the world, copied once per reply.
struct LiveDecodeContext {
    LatLon reference{0.0, 0.0};  // the user aircraft
    double range_nm = 40.0;      // RANGE: records farther away are dropped
    int32_t qnh_hPa = 1013;      // the Weather Reader's last QNH
    std::optional<ParkAirportReference> parkAirport;
    bool airborneOnly = false;  // AIRBORNE_ONLY
    std::string blockCallsign;  // BLOCK_CALLSIGN; "" when none
    bool collectIds = false;    // the live-id collection is on
};

// The notice of a blocked callsign: one removal and one message per callsign and reader run.
struct BlockNotice {
    bool raised = true;       // raised again by every reset of the reader
    std::string lastBlocked;  // the callsign of the last notice; read only while not raised
    bool operator==(const BlockNotice&) const = default;
};

// What the live decoding writes.
struct LiveDecodeState {
    std::vector<LiveAircraftRecord> records;  // the batch being built
    LiveIds ids;                              // collected while context.collectIds
    BlockNotice notice;
    bool badValueLogged = false;  // the first broken record of a reader run is logged, no more
    bool operator==(const LiveDecodeState&) const = default;
};

// Decodes one locationtraffic record of 48 elements: appends it to state.records, or drops it
// by the filters (ground vehicles, gliders, far away, on the ground away from the park
// airport, the blocked callsign, ...). Writes every record's report time into g_historicTime.
// Never throws; a record with a bad origin or destination code is logged "processLine: {}". A
// record with a value no aircraft can have (a report time of 1e19 s, an altitude of 1e308 ft,
// a callsign with control characters) is dropped; the first of a run is logged
// "processLine: bad value {name}". Only a record that is kept interns its type code.
void processLine(const nlohmann::json& record, const LiveDecodeContext& context,
                 LiveDecodeState& state);

// What the parked decoding reads of the world, copied on the main-loop thread when it asks.
struct ParkedDecodeContext {
    std::string reservedStand;     // the park airport's reserved stand; "" when none
    std::string userStand;         // the stand the user aircraft stands on; "" when none
    bool lightAircraft = false;    // LIGHT_AIRCRAFT
    bool highPerformance = false;  // HIGH_PERF_AIRCRAFT
    bool helicopters = false;      // HELICOPTERS
    bool operator==(const ParkedDecodeContext&) const = default;
};

// Decodes one member of a parkedtraffic reply's "data" (`key` the hex id, `entry` its array):
// appends a record to `records` or drops it. Never throws; a bad sighting time is logged
// highlighted "processParkedTrafficLine: {}".
void processParkedTrafficLine(std::string_view key, const nlohmann::json& entry,
                              const ParkedDecodeContext& context,
                              std::vector<ParkedAircraftRecord>& records);

}  // namespace qel::rt
