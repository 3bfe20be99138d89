// The identity and performance part of every aircraft the program puts into the simulator, and
// the livery matchers' contract. It lives here, below the traffic manager, because the livery
// matchers read and write it; the traffic manager's aircraft records begin with it.
//
// Threads: records are owned by the main-loop thread; the matchers run there.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "liveries/liveries.h"

namespace qel {

// Weight class of an aircraft; the model's size category of the aircraft database.
enum class WeightClass : uint32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5
};

struct FlightData {
    MatchKey key;  // airline, second airline (operator), model, cargo: the first 8 bytes
    std::array<char, 3> origin{};       // "ESB" unterminated; origin[0] == 0: none
    std::array<char, 3> destination{};  // "DUS"; same rule
    uint8_t flag = 0;                   // taken over from the decoded record; cleared by intake
    std::string callsign;               // "TKJ3VU"; a trailing '_' marks a ghost
    std::string secondCallsign;         // live: a copy of the callsign
    std::string thirdText;              // live: empty
    std::string registration;           // "TC-JKV"
    double size_nm = 0.0;               // half the wing span: 0.0097
    double cgHeight_ft = 0.0;           // centre of gravity above ground when parked: 8.2
    double pitchAtRest_rad = 0.0;       // 0.0122
    double rotationPitch_rad = 0.0;     // negative = nose up: -0.1047
    double climbPitch_rad = 0.0;        // -0.2880
    double groundTurnRate_rad = 0.0;    // per 10 ms tick: 0.00122
    double currentTurnRate_rad = 0.0;   // per tick
    double maxClimbRate_ft = 0.0;       // per tick: 0.6
    double standTaxiSpeed_kt = 0.0;     // 4.0
    uint32_t hexId = 0;                 // live above 10000, static below: 0x4ba976
    WeightClass weightClass = WeightClass::Large;
    std::string_view title;            // into the livery database; empty until chosen
    int32_t flareTicks = 0;            // 400
    int32_t deRotationTicks = 0;       // 350
    int32_t rotationTicks = 0;         // 200
    int32_t climbTransitionTicks = 0;  // 300
    uint8_t fsltl = 0;                 // the chosen title contains "FSLTL_"
    bool operator==(const FlightData&) const = default;
};

// One planned static aircraft of the static parking; the static matcher reads its first two
// fields, the traffic manager the rest.
struct ParkCandidate {
    std::string text;            // first text field: the callsign, printed 8 wide: "DLH4AB"
    uint8_t cargo = 0;           // look for cargo liveries in the fall-back
    uint32_t partnerHexId = 0;   // RealTraffic: the parked record's or replaced static's hex id
    uint32_t placedBy = 1;       // 1 learned stand search, 0 a RealTraffic parked record
    uint32_t standId = 0;        // the stand's number: 17
    int32_t fitOffset = 0;       // half hours between now and the learned slot (or its parking)
    MatchKey key;                // the learned flight's or record's codes
    std::string secondCallsign;  // "" or the flight's second callsign: "DLH4AC"
    std::string registration;    // "D-AIBA"
    uint8_t stays = 0;           // still on the stand in the next half hour
    uint16_t retries = 0;        // put back while a leaving static stood in its way
    bool operator==(const ParkCandidate&) const = default;
};

// Labels of a flight for log lines; codes come from the code tables by id, an id beyond a
// table gives an empty code. Any thread.
// "{:3}{:4} {:4}{:3}": airline, ",operator" or nothing, model, "(C)" or nothing.
std::string gf_flightLabel(const MatchKey& key);
std::string gf_flightLabel(const FlightData& aircraft);
// "{:3}->{:3}" of origin and destination, a missing one blank; eight blanks without both.
std::string gf_routeText(const FlightData& aircraft);
// Callsign 8 wide, registration and label.
std::string gf_flightShortDescription(const FlightData& aircraft);
// Callsign 8 wide, registration 12 wide and route.
std::string gf_flightIdentity(const FlightData& aircraft);
// Identity and label: the accept lines of the livery matchers.
std::string gf_flightDescription(const FlightData& aircraft);
// Label, one blank, registration.
std::string gf_labelAndRegistration(const FlightData& aircraft);

// The livery of a live aircraft: true when a title was accepted (title, step count and the
// FSLTL flag are set); false without a log line of its own. Main-loop thread.
bool gf_matchLiveLivery(FlightData& aircraft);
// The livery of a static parked aircraft: true when the title is set; false after the
// no-match log line, with the title empty. Main-loop thread.
bool gf_matchLivery(FlightData& aircraft, const ParkCandidate& candidate);

// Live matches per ladder step 0 to 6; only ever counted up, over the whole process and not per
// run. Main-loop thread.
extern std::array<int, 7> g_matchCounts;
// The summary of g_matchCounts and of the aircraft the simulator could not create, in one log
// write; nothing while every count is 0. Main-loop or start-up thread.
void gf_writeMatchSummary();
// Readies the matchers' lookups over a newly built livery database; its build calls it.
void gf_prepareMatching();
// Forgets what the matchers remembered of the livery database; its clear calls it.
void gf_clearMatchCache();
// A word of the airline's livery titles ("American" for "AAL"); "not found" for other codes.
std::string_view gf_airlineNameWord(std::string_view code);

}  // namespace qel
