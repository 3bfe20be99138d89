// The traffic manager's contract with the rest of the program: the lock and flag of the
// traffic intake, and the work the application core calls at start-up, on every 10 ms tick, on
// the schedule of simulator seconds and at close-down.
//
// Threads: everything here runs on the start-up/main-loop thread unless its line says
// otherwise; the traffic containers belong to that thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/codes.h"
#include "liveries/liveries.h"

namespace qel {

// ---- Records handed over by the RealTraffic client -------------------------------------------

// One timed position of a live flight; the position part of a decoded live record, copied into
// an aircraft's sample queue as one piece.
struct PosSample {
    double latitude = 0.0;          // degrees: 51.257366
    double longitude = 0.0;         // degrees: 6.702499
    double altitude_ft = 0.0;       // QNH-corrected; 0.0 on the ground: 3650.0
    double groundSpeed_kt = 0.0;    // 151.3
    double track_deg = 0.0;         // over ground: 230.63
    double verticalRate_fpm = 0.0;  // -768.0
    double airspeed_kt = 0.0;       // 180.0
    int32_t dueTick = 0;            // fast tick at which the sample is flown; set by the intake
    bool airborne = false;
    bool stationary = false;        // repeats the position before it; set by the traffic manager
    bool hasTrueHeading = false;
    std::optional<double> bank_rad;         // roll, sign reversed: -0.1745
    std::optional<double> trueHeading_rad;  // 4.0054
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
    double reportTime_s = 0.0;   // epoch seconds: 1724517659.49
    uint32_t hexId = 0;          // always above 10000: 0x4ba976
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
};

// The QNH the approach corrects with, hPa; the Weather Reader publishes it, and the traffic
// manager sets it back to 1013 when it clears its state (atomic).
extern std::atomic<int32_t> g_trafficQnh;

// Hands one decoded batch of the Traffic Reader to the traffic manager: `delay_s` 30 for a
// poll, 0, 6, 12, 18, 24 for the steps of the buffered first load. Consumes the batch (empty on
// return); an empty batch sets the last report time (g_historicTime) to 0. "Traffic Reader"
// thread; takes g_trafficMutex.
void gf_pushAddingStack(std::vector<LiveAircraftRecord>& batch, int32_t delay_s);
// The stand of the park airport nearest to the position within 55 m; "" when none. Main-loop
// thread.
std::string gf_closestStandName(double latitude, double longitude);
// The user stands still at this position: when the park-airport list's first entry is the
// current park airport and the stand nearest the position is another than the one it names,
// that entry takes the new stand and my_park_airports.txt is rewritten. Any thread: the work
// is serialised with the main loop.
void gf_rememberUserStand(double latitude, double longitude);

// Guards g_mainLoopRunning and the adding stack the readers fill; never held together with
// g_simQueueMutex; ranks above the log mutex only.
extern std::mutex g_trafficMutex;
// The readers hand traffic batches to the adding stack only while set; g_trafficMutex.
extern bool g_mainLoopRunning;

// Once per process, before the first run's threads start.
void gf_reserveTrafficContainers();

// The 10 ms fast tick; returns within the tick.
void lf_handleAddingStack();
// Drains the simulator's result queue.
void lf_handleSimConnectResults();

// The park driver: user aircraft on the ground, park airport in sight. True at loop start.
void lf_checkUserPosition(bool atLoopStart);
// Removes one static aircraft that doubles an active live aircraft on the ground.
void lf_removeDuplicateRegs();
// The reserved stand of the park airport; empty when there is none.
extern std::string g_reservedStandName;
void lf_clearReservedStand(const std::string& standName);
// Removes every static aircraft.
void lf_removeAllStatics();
// The re-plan of the parked traffic; the argument: RT_PARKTRAFFIC_ONLY was changed.
void lf_updateParkTraffic(bool parkTrafficOnlyChanged);
bool gf_parkAirportSet();  // a park airport is chosen
bool gf_hasParkStands();   // a park airport is chosen and its stand table is not empty
// Removes the static aircraft and saves the learned airport file of the park airport.
void lf_saveLearnedAndClear();
// Writes output\info\ObjectIdList.txt.
void lf_writeTrafficCsv();
// Reads airports\my_park_airports.txt; start-up thread.
void lf_readMyParkAirports();
// Re-reads my_park_airports.txt and the reserved stand; true when `text` is to be shown.
bool lf_checkParkAirports(bool reRead, std::string& text);
// Refills the CALLSIGN_2_OBJECTID choices with the callsigns of the active live aircraft.
void lf_fillCallsignCombo();
// Takes one hex id of the stand-check queue: the learned-stand check of that live aircraft
// (weekday and half-hour slot in `dayAndSlot`), then the removal of statics in its way.
void gf_checkNextQueuedStand(int64_t dayAndSlot);
// The object id of the first active live aircraft with that callsign.
std::optional<uint32_t> gf_objectIdOfCallsign(const std::string& callsign);
// Removes the first active live aircraft with that callsign.
void gf_removeLiveByCallsign(const std::string& callsign);
// Collision sweeps around the user aircraft and among parked live aircraft.
void lf_removeNearUser();
void lf_clearPathAheadOfUser();
void lf_checkMovedOnGround();
// Candidates of the parking re-plan under way.
std::size_t gf_staticCandidateCount();
// Empties the flights that found no livery, so they are matched again.
void gf_clearNoMatchFlights();
// Empties the callsigns of ghost aircraft.
void gf_clearGhostCallsigns();
// Back to the state before the first start, for an in-process restart.
void gf_resetTraffic();

// ---- Control of the stand-in traffic manager -------------------------------------------------
// Until the traffic manager is built its work does nothing; tests shape the little it reports.
struct TrafficStandIn {
    std::atomic<bool> parkAirportSet{false};
    std::atomic<bool> saveLearnedFails{false};  // lf_saveLearnedAndClear throws
};
extern TrafficStandIn g_trafficStandIn;
void gf_resetTrafficStandIn();  // also forgets the kept batches

// Every batch gf_pushAddingStack was handed, oldest first (at most the last 256).
struct KeptTrafficBatch {
    int32_t delay_s = 0;                      // 30, or 0..24 for the first load
    std::vector<LiveAircraftRecord> records;  // as handed over
    bool stacked = false;                     // a poll that entered the adding stack
};
std::vector<KeptTrafficBatch> gf_keptTrafficBatches();

}  // namespace qel
