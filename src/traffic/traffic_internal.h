// What the files of the traffic manager share among themselves (and with their tests): the
// aircraft containers with their indexes, the queues toward the simulator link, and the steps
// that the fast tick strings together.
//
// Threads: everything here belongs to the main-loop thread; the first load is merged on the
// "Traffic Reader" thread before the main loop starts.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "foundation/geodesy.h"
#include "realtraffic/realtraffic.h"
#include "scenery/scenery.h"
#include "scenery/stand_file.h"
#include "simlink/simlink.h"
#include "traffic/aircraft.h"

namespace qel {

// ---- Containers (fleet.cpp) --------------------------------------------------------------------

extern std::vector<LiveAc> g_liveAcs;
extern std::vector<StaticAc> g_staticAcs;
extern std::vector<uint32_t> g_spawnHexids;  // spawned, waiting for a request
extern std::deque<AiCreateRequest> g_liveCreateQueue;
extern std::deque<AiCreateRequest> g_staticCreateQueue;
extern std::deque<uint32_t> g_removeIdQueue;     // object ids, one handed on per 100 ms
extern std::vector<SimResult> g_createdObjects;  // created, waiting for activation
extern std::vector<std::string> g_ghostCallsigns;
extern std::vector<ParkCandidate> g_staticCandidates;
extern std::vector<uint32_t> g_standCheckQueue;  // hex ids for the stand choice
// Live aircraft in state active and in state adding2sim (queued, handed to the simulator link,
// or waiting for activation), kept by every state change, so that the live limit does not count
// all records for every buffered one.
extern int32_t g_activeLiveCount;
extern int32_t g_addingLiveCount;

// Index of the live record with this hex id or object id; none when there is none. The indexes
// follow every append, erase and compaction made through the functions below.
LiveAc* lf_findLive(uint32_t hexId);
LiveAc* lf_findLiveByObject(uint32_t objectId);
StaticAc* lf_findStatic(uint32_t hexId);
StaticAc* lf_findStaticByObject(uint32_t objectId);
LiveAc& lf_appendLive(LiveAc&& aircraft);
// Records the object id the simulator gave (0 forgets it).
void lf_setLiveObjectId(LiveAc& aircraft, uint32_t objectId);
// Every state change of a live record goes through here, for the active count.
void lf_setLiveState(LiveAc& aircraft, SimObjectState state);
// What a phase change does with the phase it leaves.
enum class PhaseMemory : uint8_t {
    keep,      // previousPhase stays: a spawn's first phase
    always,    // previousPhase takes the phase left, also when it is the one entered
    onChange,  // previousPhase takes the phase left only when the phase changes
};
// Whether the traffic manager ever moves a record from `from` to `to` (staying is allowed).
bool gf_phaseMoveAllowed(FlightPhase from, FlightPhase to);
// Every change of a live record's phase goes through here (phases.cpp). A move that is not
// allowed is logged (once per move and run) and refused: false, the record unchanged.
bool lf_setLivePhase(LiveAc& aircraft, FlightPhase to, PhaseMemory memory);
// The refused moves logged this run, one bit per from × to.
extern uint64_t g_refusedPhaseMoves;
// The last record moves into the erased one's place.
void lf_eraseLiveAc(LiveAc& aircraft);
void lf_eraseStaticAc(StaticAc& aircraft);
// Erases the records with a drop flag, keeping the order of the others; the statics only when
// a drop flag was raised since they were last compacted.
void lf_compactLiveAcs();
void lf_compactStaticAcs();
// Rebuilds the indexes and the active count from the containers (tests, after direct edits).
void lf_reindexTraffic();
// A stable view of a livery title for the records, kept until the next reset.
std::string_view gf_keepTitle(std::string title);
// The next static hex id in 1..9999 that no static aircraft carries.
uint32_t gf_nextStaticHexId();
void lf_clearFleet();

// ---- Steps (one file each) ---------------------------------------------------------------------

// Fast tick (fast_tick.cpp).
void lf_pumpQueues();
void lf_requestAcWithinRange();
// Intake (intake.cpp).
void lf_mergeReport(LiveAircraftRecord& record);
void lf_mergeFirstLoad(std::vector<LiveAircraftRecord>& batch);
// Results and activation (sim_results.cpp).
void lf_activateCreatedObjects();
// Spawning (spawning.cpp).
void lf_handleBufferedAc(LiveAc& aircraft);
void spawnLiveAc(LiveAc& aircraft);
void lf_setSpawnPosition(LiveAc& aircraft);
// The create request of a spawned aircraft, made as it goes to the simulator link: it appears
// where its schedule puts it then, a ground aircraft on the ground.
AiCreateRequest lf_liveCreateRequest(LiveAc& aircraft);
// Per-tick update (live_update.cpp): true when the record is to be compacted away.
bool updateLiveAc(LiveAc& aircraft);
// Sample stream (sample_stream.cpp).
void nextPosMain(LiveAc& aircraft);
void lf_startLeg(LiveAc& aircraft);
void lf_airLegTiming(LiveAc& aircraft);
void lf_setDueTick(LiveAc& aircraft, int32_t legTicks);
bool lf_extendStream(LiveAc& aircraft);
void lf_addSyntheticSample(LiveAc& aircraft, int32_t count);
double lf_legSpeed(const LiveAc& aircraft);
// Radians from the heading to the bearing of the leg after the next; 0 without one.
double lf_turnAhead(const LiveAc& aircraft);
void lf_moveOneTick(LiveAc& aircraft);
void lf_turnToward(LiveAc& aircraft, double heading_rad);
// Removal (removal.cpp).
void removeAircraftFromSim(StaticAc& aircraft);
bool lf_isQueuedForCreation(std::deque<AiCreateRequest>& queue, uint32_t hexId);
// Creation (fast_tick.cpp): the request to create `aircraft` at `at` (altitude, pitch, bank,
// heading, position; speeds unused).
AiCreateRequest lf_aiCreateRequest(const StaticAc& aircraft, const AiPositionBlock& at,
                                   bool onGround);
// The aircraft gives up the stand; a stand that another aircraft holds stays held.
void lf_releaseStand(uint32_t standId, uint32_t hexId);
// The aircraft has driven off its stand: released, and its stand forgotten.
void lf_leaveStand(LiveAc& aircraft);
void lf_checkGhost(const std::string& callsign);
bool lf_hasRealTwin(const std::string& callsign);
bool lf_standFreeFor(uint32_t standId, const std::string& callsign);
// The first active static aircraft that stands in for this live flight is removed.
void lf_removeStaticsOfLiveAc(const LiveAc& live);
// Client events (client_events.cpp).
void gf_setSpoilers(StaticAc& aircraft, bool on);
void gf_setFlaps(StaticAc& aircraft, uint32_t index);
void gf_setGear(StaticAc& aircraft, bool down);
void gf_setThrottle(StaticAc& aircraft, uint32_t level);
void gf_setParkedConfig(StaticAc& aircraft);
// Lists (lists.cpp).
bool lf_removeFarthestLiveAc(double distance_nm);
std::string gf_standNameById(uint32_t standId);
void lf_takeOverRtIds();
// Empties the lists and counts the window shows (gf_resetTraffic).
void lf_clearTrafficLists();

// ---- Identity, air and ground motion, stands ----------------------------------------------------

// Whether a report for a known aircraft is merged (identity.cpp).
bool lf_acceptReport(LiveAc& aircraft, const LiveAircraftRecord& record);
void lf_copyIdentity(LiveAc& aircraft, const LiveAircraftRecord& report);
bool lf_routeUnchanged(LiveAc& aircraft, const LiveAircraftRecord& report);
// `reset`: the livery is reset when the identity changes (only when a respawn follows).
bool lf_registrationUnchanged(LiveAc& aircraft, const LiveAircraftRecord& report, bool reset);
bool lf_regcodeChanged(LiveAc& aircraft, const LiveAircraftRecord& report, bool reset);
FlightPhase lf_resetLivery(LiveAc& aircraft);
// New reports of a known aircraft (air_motion.cpp).
void decodeExisting(LiveAc& aircraft, const PosSample& sample);
bool checkExtendingSituations(LiveAc& aircraft, PosSample& sample);
bool checkNewPosDuringLanding(LiveAc& aircraft, PosSample& sample);
bool lf_checkBirthReport(LiveAc& aircraft, PosSample& sample);
void lf_startDeparture(LiveAc& aircraft, PosSample& sample);
// Reports resume: the front sample is due now and the windows open again.
void lf_endSyntheticCount(LiveAc& aircraft);
// Air legs (air_legs.cpp).
void lf_startAirLeg(LiveAc& aircraft);
bool lf_climbToAirborneSample(LiveAc& aircraft, std::size_t k);
double lf_descentRate(const LiveAc& aircraft);  // ft/min
void lf_bankTarget(LiveAc& aircraft, double turn_rad, double dt_ticks);
void lf_lowAltitudeConfig(LiveAc& aircraft);
void lf_airConfig(LiveAc& aircraft);
void lf_verticalStep(LiveAc& aircraft);
void lf_startTakeOff(LiveAc& aircraft);
void lf_beginTakeOffRoll(LiveAc& aircraft);
// Ground legs (ground_motion.cpp).
void nextPosGround(LiveAc& aircraft);
void lf_groundLegTiming(LiveAc& aircraft);
void lf_groundConfig(LiveAc& aircraft);
void lf_startTaxiCurve(LiveAc& aircraft);
void lf_insertMidSample(LiveAc& aircraft);
void lf_checkSpeedChange(LiveAc& aircraft);
bool lf_rotationSpeedReached(const LiveAc& aircraft);
void drive2Stand(LiveAc& aircraft, double lat, double lon, double heading_rad);
struct CurvePoint {
    double latitude = 0.0;     // degrees
    double longitude = 0.0;    // degrees
    double heading_rad = 0.0;  // tangent, [0, 2π)
};
// The taxi curve at parameter t; none when no curve is active or t lies outside it.
std::optional<CurvePoint> lf_curvePoint(const LiveAc& aircraft, double t);
// Push-back and towing (pushback.cpp).
void lf_startPullingOut(LiveAc& aircraft);
void lf_startPushBack(LiveAc& aircraft);
void lf_towedArrives(LiveAc& aircraft);
// Parked from now on: the half hour of the traffic time, and the clock the park limits measure
// its stay by.
void lf_recordParkingTime(LiveAc& aircraft);
// `index` 1 for a spawning aircraft (6 nm, 3000 ft, 4000 ft aside), 0 for the parked sweep.
bool lf_removeIfAheadOfUser(LiveAc& aircraft, int index = 1);
void lf_relearnStandCargo(LiveAc& aircraft);
void liveryRespawn(LiveAc& aircraft);
// Stand choice (stand_choice.cpp).
struct SpawnStand {
    uint32_t id = 0;
    double lat = 0.0;  // degrees
    double lon = 0.0;  // degrees
    double heading_rad = 0.0;
    bool noCabinLights = false;
    std::vector<uint32_t> neighbours;
};
// The nearest free stand within `radius_nm` that fits; with `fallback`, a stand within 85 m
// that learned this flight. Stands held by another aircraft are skipped.
std::optional<SpawnStand> lf_findFreeStand(LatLon position, const LiveAc& aircraft,
                                           double radius_nm, bool fallback);
void try2Park(LiveAc& aircraft, bool towed);
// `mode` 0 arrival, 1 parked spawn, 2 leaving, 3 reported far from the stand.
void lf_addRealStandOption(uint32_t standId, LiveAc& aircraft, int mode);
bool lf_learnParking(uint32_t day, uint32_t slot, ParkStand& stand, uint32_t& optionId,
                     uint32_t& d0, uint32_t& s0, const LiveAc& aircraft, const std::string& reg);
bool lf_adjacentStandFree(uint32_t neighbourId, const LiveAc& aircraft, uint32_t standId);
void lf_staticMakesWay(const LiveAc& aircraft, uint32_t standId);
void lf_findLearnedStandOption(uint32_t day, uint32_t slot, LiveAc& aircraft);
ParkStand* lf_standById(uint32_t standId);
// The stand is held by this aircraft (occupied, occupant hex id set).
void lf_takeStand(uint32_t standId, uint32_t hexId);
// Changes made to the park airport's stands since its learned file was read or saved.
extern int32_t g_learnedUpdates;
extern int32_t g_learnedOptionCount;
// One more change to the stands: counted, and the window repaints when its shown count changes.
void lf_countLearnedUpdate();
// The window repaints when a learned count differs from the one it last showed.
void lf_showLearnedCounts();
// Learned options of a stand (learned_options.cpp).
std::vector<uint32_t> gf_slotsBack(uint32_t slot, uint32_t count);
bool updateOptions(std::vector<LearnedFlight>& options, std::vector<uint32_t>& slots, uint32_t id);
bool updateOptionsWrapped(std::vector<LearnedFlight>& options, std::vector<uint32_t>& slots,
                          uint32_t firstId, uint32_t secondId);
std::pair<uint32_t, bool> gf_addLearnedFlight(std::vector<LearnedFlight>& options, MatchKey key,
                                              uint32_t weekday, uint32_t slot,
                                              const std::string& callsign,
                                              const std::string& registration, uint8_t soft);
void gf_addLearnedCallsign(std::vector<LearnedFlight>& options, uint32_t id,
                           const std::string& callsign);
// The park airport's three-letter code; empty without one.
std::string lf_parkAirportCode3();
// The stand table as the traffic manager reads it.
std::optional<std::string> lf_standName(uint32_t standId);
uint32_t lf_standIdByName(const std::string& name);
std::vector<std::string> gf_activeLiveCallsigns();
// The park airport's field elevation, ft; read only while gf_parkAirportSet (park_airports).
float lf_parkElevation_ft();
// Its position; none without a park airport.
std::optional<LatLon> lf_parkAirportPosition();

// ---- Parked traffic: stand search, static creation, re-plan and limits ---------------------------

// A weekday (1 Monday .. 7 Sunday) and half-hour slot (0..47) of the traffic time.
struct DaySlot {
    int32_t day = 1;   // 3
    int32_t slot = 0;  // 21
};
DaySlot lf_daySlotNow();
// `offset` half hours earlier, at most one day back: slot − offset, or slot − offset + 48 on
// the previous weekday (Monday's is Sunday).
DaySlot lf_moveBack(DaySlot at, int32_t offset);
// Half hours from the slot of the week `earlier` to `later`; negative when `earlier` is later.
int32_t lf_slotsBetween(DaySlot earlier, DaySlot later);
// Half hours from `at` back to now within a week (0..335): what is earlier is older, also when
// the week's end lies between (Sunday evening is older than Monday morning).
int32_t lf_slotsAgo(DaySlot at, DaySlot now);

// The callsigns and hex ids of the live flights the Traffic Reader decoded, taken over with the
// parked traffic (lists.cpp).
extern std::unordered_set<std::string, Fnv1aHash> g_rtCallsigns;
extern std::unordered_set<uint32_t, Fnv1aHash> g_rtHexIds;

// A live aircraft parked at a stand, as the re-plan counts it.
struct LiveParked {
    std::string callsign;  // "KLM1234"
    uint32_t standId = 0;  // 17
    int32_t minutes = 0;   // parked so far; 0 with a departure pending
};
extern std::vector<LiveParked> g_liveParkedList;
// A static aircraft that a re-plan removes at its end; by hex id, so that one aircraft is never
// queued twice and a second static on the stand is not taken for it.
struct StaticRemoval {
    std::string callsign;  // "DLH4AB*"
    uint32_t standId = 0;  // 17
    uint32_t hexId = 0;    // 123
};
extern std::vector<StaticRemoval> g_staticRemovals;
// A static aircraft that a re-plan keeps.
struct KeptStatic {
    std::string callsign;        // "DLH4AB*"
    std::string secondCallsign;  // the learned callsign it was made from: "DLH4AB"
    std::string thirdText;       // the learned second callsign: "DLH4AC"
    std::string registration;
    MatchKey key;
    DaySlot parked;  // when it parked
    uint32_t standId = 0;
    uint32_t hexId = 0;
    bool recreate = false;  // re-created under its second callsign
};
extern std::vector<KeptStatic> g_keptStatics;
// The fit offsets the last real and soft passes reached; soft −1 after a real pass.
extern int32_t g_realFitOffset;
extern int32_t g_softFitOffset;
// Where the parked traffic comes from: the Traffic Reader's request and take; tests put their
// own records here.
struct ParkedTrafficSource {
    std::function<uint64_t(LatLon)> request;
    std::function<ParkedTake(uint64_t, std::vector<ParkedAircraftRecord>&)> take;
};
extern ParkedTrafficSource g_parkedTrafficSource;
// RealTraffic's parked aircraft of the park airport as last taken, and whether a reply was
// taken for the current planning.
extern std::vector<ParkedAircraftRecord> g_rtParkedRecords;
extern bool g_rtParkedAvailable;

// Stand search (stand_search.cpp).
DaySlot lf_logDayAndTime();
void lf_fillCandidates(DaySlot now, int64_t wanted, int64_t base);
void lf_markUserStands();
// The stand becomes taken and its neighbours blocked.
void lf_markStandTaken(ParkStand& stand);
// Clears the planning marks of every stand; `renumber` makes every learned flight usable again.
void lf_clearStandMarks(bool renumber);
// Forgets the withdrawn flights, the planning's index and the last fit offsets.
void lf_resetStandSearch();
// Park traffic (park_traffic.cpp).
// The initial planning waiting for RealTraffic's parked traffic goes on once the reply is in or
// the wait is over; the fast tick calls it every 500 ms.
void lf_continueParking();
// Phase B: takes the reply of phase A's request without waiting.
void lf_takeParkedReply();
void lf_placeRtParkedAircraft();
void lf_refreshRtStatics();
// Sorts the candidates so that the one to create first is at the back.
void lf_sortBestFitsLast();
void lf_removeStatic(const StaticAc& aircraft);
bool lf_hasLearnedStay(DaySlot now, uint32_t standId, const StaticAc& aircraft);
// Tests: the parked-traffic request waiting for the initial planning, 0 when none.
uint64_t lf_openParkedRequest();
// Park limits (park_limits.cpp).
int64_t lf_calcWantedStatics();
void lf_collectLiveParked();
void lf_removeLiveParkedBeyond(int64_t count);
// `live` is the number of aircraft about to park (0 or 1).
void lf_checkMaxPark(bool live);
// ---- Park airports (park_airports.cpp, park_driver.cpp, learned_files.cpp) ---------------------

// One line of airports/my_park_airports.txt, or an airport of airports/my_thirdparty.
struct ParkAirport {
    std::string standName;     // the user's stand at this airport, kept free: "D16"; may be ""
    double latitude = 0.0;     // degrees, from the airport database: 52.3086
    double longitude = 0.0;    // degrees: 4.76389
    double distance_nm = 0.0;  // from the user aircraft at the last sort; 0 for a new entry
    uint32_t code = 0;         // AirportCode::word() of "EHAM"
};
// The candidates, nearest (or the destination) first.
extern std::list<ParkAirport> g_parkAirports;
// The park airport, a copy of its database record; code word 0 = none.
extern Airport g_parkAirport;
// Chosen; its stands are loaded at the next run of the park driver.
extern bool g_parkAirportPending;
// Its stands were loaded at once (on the ground at the loop's start); the first planning runs
// at the next run of the park driver, when the parked traffic asked for has had time to come.
extern bool g_parkPlanPending;

// "EHAM"; four blanks for 0.
std::string gf_codeText(uint32_t code);
// The database's airport of that code word; none when it has none.
const Airport* gf_airportOfCode(uint32_t code);
// Writes the front entry's line into my_park_airports.txt (temporary file and rename).
void lf_writeMyParkAirports();
// The airport becomes the front entry (a new DESTINATION).
void lf_addParkAirport(uint32_t code, LatLon position);
void lf_sortParkAirports(LatLon position);
void lf_resetParkAirportList();
// The user's stand that the simulator link remembered reaches the list's front entry.
void lf_applyRememberedStand();
void lf_addMyThirdpartyAirports();
// The line of the file belongs to the airport of `newLine` (its first field, byte for byte).
bool lf_replaceParkAirportLine(const std::string& newLine, const std::string& fileLine);
bool lf_setParkAirport(uint32_t code);
// Loads the park airport's stands: "" on success, else the text for the message line.
std::string lf_readParkedFile();
// `planNow`: the first planning follows at once, else at the next run of the park driver.
void lf_loadParkAirport(bool planNow);
void lf_findParkAirport(LatLon position, bool now);
void lf_checkParkAirportInSight(LatLon position);
// Drops the park airport: the learned file is saved, the stand table emptied.
void lf_clearParkAirport();
// Writes the learned airport file of the park airport (only while its stands are loaded).
void lf_saveLearnedAirport();
// The park-airport state back to its start (gf_resetTraffic), the list of park airports with it.
void lf_resetParkAirport();
// The window's parking controls; they also raise and clear g_parkingBusy.
void lf_enableParkingControls();
void lf_disableParkingControls();

// ---- Parked traffic: the planning, the refresh and their counters ---------------------------------

// Parking becomes busy and the parked traffic around the park airport is requested.
void lf_requestParkedTraffic(bool showMessage);
// The first planning of the static aircraft after the stands were loaded.
void lf_planInitialParking();
// Forgets the parked-traffic state of the park airport being left (also part of the run's
// reset, gf_resetTraffic).
void lf_clearParkedTrafficState();
// The user's position the last static-collision check saw; the next check looks again.
void lf_forgetUserPosition();
// The window's counters of parked aircraft: statics in state active or removingfromsim (with
// their average parked time), and active parked live aircraft (with their average parking time).
uint64_t lf_countStaticParked(bool withAverage);
uint64_t lf_countLiveParked();

// Static aircraft creation (static_creation.cpp).
void lf_detcs();
std::string lf_staticCallsign(std::string name);
// Removes the static candidates planned for this stand.
void lf_dropCandidatesOfStand(uint32_t standId);

}  // namespace qel
