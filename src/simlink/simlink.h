// The simulator link's contract with the rest of the program: the "SimClient" thread and the
// flags it publishes, the ids the program exchanges with SimConnect, the queues between the
// traffic manager and that thread, the user aircraft as the simulator reports it, and the books
// on AI creations with their flight-plan files.
//
// Threads: the "SimClient" thread owns the connection and posts results; the start-up thread
// (start-up, traffic manager, main loop, close-down) fills the queues, drains the results and
// keeps the creation books. Lock order: g_simResultMutex may be held while g_simQueueMutex is
// taken, never the reverse; neither is held together with g_trafficMutex; the log mutex ranks
// below both.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "foundation/run_values.h"
#include "simlink/simconnect.h"

namespace qel {

// ---- The program's SimConnect ids -------------------------------------------------------------
// Our own numbers; SimConnect only needs them unique per kind.

// System events.
inline constexpr DWORD kEventSim = 201;
inline constexpr DWORD kEventObjectAdded = 202;
inline constexpr DWORD kEventObjectRemoved = 203;
inline constexpr DWORD kEventFrame = 204;
inline constexpr DWORD kEventFlightLoaded = 205;
// Client events sent to AI aircraft, all with group kGroupAi.
inline constexpr DWORD kEventBeaconLights = 206;
inline constexpr DWORD kEventNavLights = 207;
inline constexpr DWORD kEventTaxiLights = 208;
inline constexpr DWORD kEventStrobes = 209;
inline constexpr DWORD kEventLandingLights = 210;
inline constexpr DWORD kEventCabinLights = 211;
inline constexpr DWORD kEventLogoLights = 212;
inline constexpr DWORD kEventAllLightsToggle = 213;
inline constexpr DWORD kEventFreezeLatLon = 214;
inline constexpr DWORD kEventFreezeAltitude = 215;
inline constexpr DWORD kEventFreezeAttitude = 216;
inline constexpr DWORD kEventFlaps = 217;
inline constexpr DWORD kEventSpoilers = 218;
inline constexpr DWORD kEventGear = 219;
inline constexpr DWORD kEventEngineAutoStart = 220;
inline constexpr DWORD kEventEngineAutoShutdown = 221;
inline constexpr DWORD kEventThrottle = 222;
// The one notification group, at the highest priority.
inline constexpr DWORD kGroupAi = 301;
// Data definitions.
inline constexpr DWORD kDefAiControls = 401;    // spoilers handle, throttle levers 1 and 2
inline constexpr DWORD kDefAiPosition = 402;    // AiPositionBlock
inline constexpr DWORD kDefUserState = 403;     // UserStateBlock
inline constexpr DWORD kDefInRange = 404;       // every aircraft in range
inline constexpr DWORD kDefStaticCg = 405;      // "Static CG to Ground", "Static Pitch"
inline constexpr DWORD kDefUserTitle = 407;     // "TITLE"
inline constexpr DWORD kDefUserModel = 408;     // "ATC MODEL"
inline constexpr DWORD kDefUserOnGround = 409;  // "SIM ON GROUND"
// Requests.
inline constexpr DWORD kReqInRange = 101;
inline constexpr DWORD kReqStaticCg = 102;
inline constexpr DWORD kReqReleaseControl = 103;
// Each create call has a request id of its own, counting up from here, so that the object id
// the simulator assigns to it names the creation it belongs to.
inline constexpr DWORD kReqCreateFirst = 0x10000;
inline constexpr DWORD kReqRemove = 105;
inline constexpr DWORD kReqUserTitle = 106;
inline constexpr DWORD kReqUserModel = 107;
inline constexpr DWORD kReqUserOnGround = 108;
inline constexpr DWORD kReqUserState = 109;
inline constexpr DWORD kReqFlightPlan = 110;

// ---- Flags written by the "SimClient" thread (atomic) ---------------------------------------
// They and the other g_ values of this header that live for one run are members of the link's
// run state (simlink/link_run.h), reset with gf_resetSimLinkRun.

extern std::atomic<bool>& g_flightRunning;     // a flight is loaded and running in the simulator
extern std::atomic<bool>& g_simConnectFailed;  // a SimConnect request has failed in this run
// Raised on each reply to the once-per-second on-ground request; the main loop takes it with
// an exchange to false.
extern std::atomic<bool>& g_secondPassed;
// No connection has been opened since the last reset; the scan check boxes read it.
extern std::atomic<bool>& g_simNotConnected;
// The simulator's zulu date and time, epoch seconds; written only while the RealTraffic account
// is a professional one, 0 until then.
extern std::atomic<int64_t>& g_simZuluTime;

// What the main window shows of the simulator; written by the "SimClient" thread, read by the
// painter. The writer repaints the area that shows it.
struct SimWindowStatus {
    RunAtomic<bool> simulatorConnected{false};
    RunAtomic<bool> simulationRunning{false};
    RunAtomic<bool> userSizeKnown{false};  // the user aircraft's wing span is known
    SharedText simulatorText;              // "MSFS 2020 (11.0.282174.999)"
    SharedText userAircraftTitle;          // "Airbus A320 Neo Asobo"
    SharedText userStand;                  // "GATE E 24"
    bool operator==(const SimWindowStatus&) const = default;
};
extern SimWindowStatus& g_simWindowStatus;

// Guards the outgoing queues and the send half of the position double buffer; held only to
// append or to swap them, never across a SimConnect call. Rank: below g_simResultMutex, above
// g_simCallMutex; never held with g_trafficMutex.
extern std::mutex g_simQueueMutex;
// Guards the connection handle and serialises every SimConnect call made outside the
// dispatcher's own reading, so that nothing slips in between a create call and its packet id.
// Rank: below g_simQueueMutex, above the log mutex.
extern std::mutex g_simCallMutex;
// Guards the result queue. Rank: may be held while g_simQueueMutex is taken.
extern std::mutex g_simResultMutex;

// ---- The "SimClient" thread -----------------------------------------------------------------

// The thread body: waits for the simulator (an open every 100 ms), connects as "VNTQ", sets up
// the ids above and dispatches every millisecond until `stop` is requested. A simulator that
// quits, or a dispatch that keeps failing, ends it with gf_simDisconnected(false).
void lf_simConnectThread(std::stop_token stop);
// A failed SimConnect request: "SimConnect request error" on the message line (logged), the
// failed-request flag, and a stop with SIMCONNECT ERROR and a restart delay of 9 s unless a
// stop is under way. The request site logs its own line first. Any thread.
void gf_logSimConnectError();
// Brings the link back to its state before the first start by assigning a fresh run state
// (handle, queues, pairing tables, results, user aircraft, this run's creation books, flags and
// window status). Start-up thread after the "SimClient" thread has been joined (restart, failed
// close-down), and test fixtures.
void gf_resetSimLinkRun();
// Whether the link's run state equals a fresh one; tests.
bool gf_simLinkRunFresh();
// The simulator connection ended; `mismatch`: the connected simulator is not the chosen one,
// which switches SIM_CHOICE and restarts. Nothing while a stop is under way. "SimClient" thread.
void gf_simDisconnected(bool mismatch);
// Prepares a start with the other simulator (livery database, scans, install path) and stops
// with NEW SETTINGS (3 s). GUI thread (SIM_CHOICE changed) or "SimClient" thread.
void lf_switchSimVersion();

// ---- The traffic manager's stand lookups ---------------------------------------------------
// The link and the RealTraffic client sit below the traffic manager, which knows the stands;
// the program hands its lookups over at start. Until then there are no stands.

struct StandLookups {
    // The stand of the park airport nearest the position (degrees) within 55 m; "" when none.
    // Main-loop thread.
    std::function<std::string(double latitude, double longitude)> closestStandName;
    // The user stands still at this position (degrees); any thread.
    std::function<void(double latitude, double longitude)> rememberUserStand;
};
// Any thread; the program calls it before the "SimClient" thread and the readers start.
void gf_setStandLookups(StandLookups lookups);
// The installed lookups; "" and nothing remembered while none is installed. Their threads.
std::string gf_lookUpClosestStand(double latitude, double longitude);
void gf_lookUpRememberUserStand(double latitude, double longitude);

// ---- The user aircraft ----------------------------------------------------------------------

// The 96-byte block of definition kDefUserState, in the simulator's layout; its first six
// fields have the layout of AiPositionBlock.
struct UserStateBlock {
    double latitude = 0.0;   // degrees, 51.2793
    double longitude = 0.0;  // degrees, 6.7635
    double pitch_rad = 0.0;  // negative nose up
    double bank_rad = 0.0;
    double heading_rad = 0.0;        // true heading, 0 .. 2π
    double altitude_ft = 0.0;        // above sea level, never below 0: 153.5
    double altAboveGround_ft = 0.0;  // 6.5
    double groundSpeed_kt = 0.0;     // 0.0
    int64_t zuluTime_s = 0;          // seconds of the UTC day: 41400
    int64_t zuluDayOfYear = 0;       // 1 for 1 January
    int64_t zuluYear = 0;            // 2026
    int64_t lightStates = 0;         // "LIGHT STATES" mask: nav 0x1, beacon 0x2, ...
    bool operator==(const UserStateBlock&) const = default;
};
static_assert(sizeof(UserStateBlock) == 96);

struct UserAircraftState : UserStateBlock {
    bool onGround = false;  // "SIM ON GROUND" of the last once-per-second reply
    bool operator==(const UserAircraftState&) const = default;
};

// The main loop's copy of the user aircraft's state; start-up/main-loop thread only.
extern UserAircraftState& g_userState;

// Sends request 109 for the user aircraft's state (unless a request has failed or there is no
// connection) and returns the state the previous reply left, one call behind. A failed request
// logs "SimConnect request user ac position fails" and gf_logSimConnectError. Any thread but
// "SimClient"; takes g_simQueueMutex.
UserAircraftState gf_requestUserAcPosition();
// The same for the main loop's cadence: never waits for the connection (a busy one skips the
// request), and a failure is reported only when the next request fails too. Main-loop thread.
UserAircraftState gf_pollUserAcPosition();
// Whether a reply to the on-ground request has arrived in this run; any thread.
bool gf_userOnGroundValid();
// Whether the last reply to the on-ground request put the user aircraft on the ground (false
// before the first); any thread.
bool gf_userOnGround();
// Requests 106 and 107: the user aircraft's title and ATC model, for the user model. A failed
// request is logged and reported through gf_logSimConnectError. Start-up thread; takes
// g_simQueueMutex.
void gf_requestUserAcTitleModel();
// Request 108: "SIM ON GROUND" of the user aircraft once per simulator second, which paces the
// main loop; takes g_simCallMutex. False when the request failed.
bool gf_requestUserOnGroundEverySecond();

// The user aircraft's title (at most 48 bytes) as the simulator named it; "" before the reply.
// Any thread.
std::string gf_userTitle();
// The user aircraft's half wing span, nm; none before the model reply. Any thread.
std::optional<double> gf_userHalfSpan();
// The user aircraft's size category (SizeCategory); 2 (Large) at program start (atomic).
extern std::atomic<uint32_t>& g_userCategory;

// Base container of the simulator's stock aircraft → its ICAO type code: the livery scan's
// g_baseContainerModels, one table for both.
extern const std::map<std::string_view, std::string_view>& g_stockContainerModels;

// ---- Queues between the traffic manager and the "SimClient" thread --------------------------

// The 64-byte block of definition kDefAiPosition.
struct AiPositionBlock {
    double latitude = 0.0;           // degrees, 51.2841
    double longitude = 0.0;          // degrees, 6.7693
    double pitch_rad = 0.0;          // negative nose up: -0.0524
    double bank_rad = 0.0;           // 0.0
    double heading_rad = 0.0;        // true heading: 4.0054
    double altitude_ft = 0.0;        // 1450.0
    double verticalSpeed_fps = 0.0;  // -12.5
    double airspeed_kt = 0.0;        // true airspeed: 145.0
    bool operator==(const AiPositionBlock&) const = default;
};
static_assert(sizeof(AiPositionBlock) == 64);

// One position update of one AI object.
struct SimPositionRecord {
    AiPositionBlock data;
    uint32_t objectId = 0;  // the simulator's object id: 104
    bool operator==(const SimPositionRecord&) const = default;
};

// One client event for one AI object.
struct ClientEventRecord {
    uint32_t objectId = 0;  // 104
    uint32_t eventId = 0;   // kEventBeaconLights .. kEventThrottle
    uint32_t data = 0;      // the event's value: 1 on, 0 off, 0..16383 positions
    bool operator==(const ClientEventRecord&) const = default;
};

// The platform's record has no comparison of its own.
inline bool operator==(const SIMCONNECT_DATA_INITPOSITION& a, const SIMCONNECT_DATA_INITPOSITION& b)
{
    return a.Latitude == b.Latitude && a.Longitude == b.Longitude && a.Altitude == b.Altitude &&
           a.Pitch == b.Pitch && a.Bank == b.Bank && a.Heading == b.Heading &&
           a.OnGround == b.OnGround && a.Airspeed == b.Airspeed;
}

// One aircraft to create. Owns its texts, so that nothing it holds dies with the livery
// database when a simulator switch rebuilds it while creations are queued.
struct AiCreateRequest {
    SIMCONNECT_DATA_INITPOSITION initPosition{};  // passed to the simulator unchanged
    std::string callsign;     // the tail number, reported back as "ATC ID": "KLM56A"
    std::string liveryTitle;  // "Embraer E175 KLM Cityhopper"
    uint32_t hexId = 0;       // above 10000 for a live flight, else a static aircraft: 0x48548e
    bool operator==(const AiCreateRequest&) const = default;
};

enum class SimResultKind : uint32_t {
    liveCreated = 0,      // hex id; second value: altitude above ground, ft
    staticCreated = 1,    // hex id
    removed = 2,          // the object is gone
    groundReport = 3,     // hex id field: "SIM ON GROUND"; values: ground altitude, height, ft
    staticCg = 4,         // values: "Static CG to Ground" (ft), "Static Pitch" (rad)
    callsignBlocked = 5,  // hex id of the blocked live flight
    creationFailed = 6,   // hex id
    // The simulator holds as many objects as it can: hex id; value1 1.0 when the hex id names
    // the creation it refused, 0.0 when the refusal named none of ours.
    simulatorFull = 7,
};

// One report from the simulator side to the traffic manager.
struct SimResult {
    uint32_t objectId = 0;  // 104; 0 for kinds 5, 6 and 7
    uint32_t hexId = 0;     // or the on-ground flag for a ground report
    int32_t passes = 0;     // the traffic manager's pass counter; 0 when posted
    SimResultKind kind = SimResultKind::removed;
    double value1 = 0.0;
    double value2 = 0.0;
    bool operator==(const SimResult&) const = default;
};

// Reserves the queues' room and clears the failed-request flag; start-up thread, every run,
// before the "SimClient" thread starts.
void gf_reserveSimQueues();
// Queues an aircraft for creation on the next frame; takes g_simQueueMutex. Main-loop thread.
void gf_queueCreateAc(const AiCreateRequest& request);
// Takes back the create request of this hex id while no frame has taken it yet; false when it
// is gone to the simulator (its object will arrive). Takes g_simQueueMutex. Main-loop thread.
bool gf_withdrawCreateAc(uint32_t hexId);
// Queues an object for removal on the next frame; takes g_simQueueMutex. Main-loop or GUI
// thread.
void gf_queueRemoveAc(uint32_t objectId);
// The traffic manager has given up the creations of this hex id that it handed over: on the
// next frame their pending pairing entries go and the objects the simulator assigned to them
// are removed, at once or as soon as their ids arrive. Takes g_simQueueMutex; main-loop thread.
void gf_abandonCreation(uint32_t hexId);
// Queues one client event; takes g_simQueueMutex. Any thread but "SimClient".
void gf_queueClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data);
void gf_queueEngineAutoStart(uint32_t objectId);
void gf_queueEngineAutoShutdown(uint32_t objectId);
// The seven lights in the order nav, beacon, landing, taxi, strobes, logo, cabin, under one
// hold of the mutex.
void gf_queueLightEvents(uint32_t objectId, const std::array<uint32_t, 7>& states);
void gf_queueNavLights(uint32_t objectId, uint32_t on);
void gf_queueCabinLights(uint32_t objectId, uint32_t on);

// The batch the traffic manager fills with this tick's positions, without a lock. Main-loop
// thread only.
std::vector<SimPositionRecord>& gf_positionFillBatch();
// Hands the filled batch to the "SimClient" thread when the queue mutex is free (it replaces a
// batch not yet sent), else drops it; never waits. Main-loop thread.
void gf_publishPositionBatch();
// Empties both halves of the position double buffer; takes g_simQueueMutex. Main-loop thread.
void gf_clearPositionBuffers();

// Appends a result; takes g_simResultMutex. Any thread.
void gf_postSimResult(const SimResult& result);
// Moves every waiting result into `out` (appended, oldest first); takes g_simResultMutex.
// Main-loop thread.
void gf_takeSimResults(std::vector<SimResult>& out);

// Requests of the traffic manager, each under g_simQueueMutex (taken here) and skipped while a
// request has failed or there is no connection. A failed request writes its line ("SimConnect
// request ac within range fails", "SimConnect request StaticCG fails") and reports it through
// gf_logSimConnectError; the result is false then.
// Request 101: the aircraft and helicopters within the request radius (g_range_m).
bool gf_requestAircraftInRange();
// The same without waiting: false when the connection is busy with another call (try again on
// a later tick), true when the request was sent, skipped or failed. A failure is reported only
// when the next request fails too. Main-loop thread.
bool gf_tryRequestAircraftInRange();
// The connected simulator takes flight plans (MSFS 2020); any thread.
bool gf_simulatorTakesFlightPlans();
// Request 102: "Static CG to Ground" and "Static Pitch" of a created object, once.
bool gf_requestStaticCg(uint32_t objectId);
// Request 110: the object's flight plan from the .pln file (MSFS 2020). False when the call
// failed; the caller writes its line. Nothing else is reported.
bool gf_setAiFlightPlan(uint32_t objectId, const std::filesystem::path& planFile);
// A data set of definition kDefAiControls: spoilers handle and both throttle levers, percent.
// False when the call failed; nothing is reported.
bool gf_setAiControls(uint32_t objectId, double spoilers_pct, double throttle1_pct,
                      double throttle2_pct);

// ---- AI creation bookkeeping and flight-plan files (start-up/main-loop thread) --------------

// Hash of texts that also looks up string views.
struct SimTextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept
    {
        return std::hash<std::string_view>{}(text);
    }
};
using TextSet = std::unordered_set<std::string, SimTextHash, std::equal_to<>>;

// Hex id → the livery title chosen for that creation.
extern std::unordered_map<uint32_t, std::string>& g_pendingCreations;
// Livery titles the simulator failed to create; the livery matchers skip them.
extern TextSet g_failedLiveries;
// "{model code} {airline code}" of each aircraft whose creation failed; the match summary
// lists them.
extern std::set<std::string> g_failedTypeAirlines;
// Flights for which the livery choice found no livery, as the spawning step described them.
extern std::set<std::string>& g_noMatchFlights;

// The livery of an earlier creation of this flight; none (and the entry dropped) when the
// simulator failed to create that livery.
std::optional<std::string> takePendingCreation(uint32_t hexId);
// What onCreationFailed needs of the aircraft record.
struct CreationFailure {
    std::string_view callsign;     // "KLM56A"
    std::string_view liveryTitle;  // "Embraer E175 KLM Cityhopper"
    uint16_t modelId = 0;          // g_modelCodes
    uint16_t airlineId = 0;        // g_airlineCodes
};
// The simulator refused a creation: message "{} '{}' could not be created by your Sim!", the
// title into g_failedLiveries, the type and airline into g_failedTypeAirlines. Throws
// qel::UserErrorException 81 once 20 titles have failed.
void onCreationFailed(const CreationFailure& aircraft);
// Empties g_failedLiveries and g_failedTypeAirlines.
void clearFailedLiveries();
// Empties g_pendingCreations.
void gf_clearPendingCreations();
// Logs the flights of g_noMatchFlights, nothing when there are none.
void gf_logNoMatch();

// Creates the flight-plan folder orig_dest in the per-user folder and remembers it; a failure
// is logged "gf_createFlightPlanFolder: {}". Whether the folder exists afterwards. Start-up
// thread.
bool gf_createFlightPlanFolder();
// The flight-plan folder of this run; empty before gf_createFlightPlanFolder. Any thread.
std::filesystem::path gf_flightPlanFolder();
// The flight-plan folder / "{object id}.pln".
std::filesystem::path gf_flightPlanPath(uint32_t objectId);
// What a flight plan says of an aircraft.
struct FlightPlanData {
    uint32_t weightClass = 0;           // SizeCategory: Buzjets, Large, Heavy fly IFR
    std::array<char, 3> origin{};       // "AMS"; first byte 0 when unknown
    std::array<char, 3> destination{};  // "DUS"
};
// Writes the AceXML flight plan, replacing the file; false when it cannot be written.
bool gf_writeFlightPlan(const std::filesystem::path& path, const FlightPlanData& aircraft);

}  // namespace qel
