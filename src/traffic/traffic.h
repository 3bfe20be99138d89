// The traffic manager's contract with the rest of the program: the work the application core
// calls at start-up, on every 10 ms tick, on the schedule of simulator seconds and at
// close-down. The RealTraffic client's records and the intakes it hands them to are declared in
// realtraffic/; the adding stack that the intakes fill, a member of the traffic run, and its
// lock g_trafficMutex are the traffic manager's own (below, poll_intake.cpp).
//
// Threads: everything here runs on the start-up/main-loop thread unless its line says
// otherwise; the traffic containers belong to that thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/codes.h"
#include "foundation/run_values.h"
#include "liveries/liveries.h"
#include "realtraffic/realtraffic.h"
#include "scenery/park_loading.h"

namespace qel {

// The stand of the park airport nearest to the position within 55 m; "" when none or while the
// user aircraft is not on the ground. Any thread (it reads the published stand names).
std::string gf_closestStandName(double latitude, double longitude);
// The user stands still at this position: when the park-airport list's first entry is the
// current park airport and the stand nearest the position is another than the one it names,
// that entry takes the new stand and my_park_airports.txt is rewritten. Any thread: the work
// is serialised with the main loop.
void gf_rememberUserStand(double latitude, double longitude);

// ---- The window's view of the traffic ---------------------------------------------------------

// What the traffic manager tells the main window about its controls, filled in by the window at
// its creation; an empty hook does nothing. Called on the main-loop thread.
struct TrafficWindowHooks {
    std::function<void()> refreshAcList;           // the callsign list was emptied
    std::function<void(bool)> callsignListFilled;  // refilled; true when not empty
    std::function<void(bool)> parkingControls;     // true: usable again; false: a re-plan runs
    std::function<void(const ControlBinding&, bool)> enableControl;
    // The settings a park airport's stand file had changed go back to these.
    std::function<void(const SavedParkSettings&)> syncSettingControls;
};
// The process's, not the run's: a reset of the run leaves the hooks.
extern TrafficWindowHooks g_trafficWindowHooks;

// What the main window shows of the park airport, its stand file and the selected aircraft for
// one run (TrafficRun::windowStatus). The traffic manager and the core's hooks write it, the
// painter reads it; texts through their own locks, the rest atomic. The writer repaints.
struct TrafficWindowStatus {
    SharedText parkAirportText;       // "EHAM (AMS) Amsterdam"
    SharedText standFileNameText;     // first field of the park airport details
    SharedText standFileKindText;     // second field: "learned"
    SharedText qualityText;           // the stand file's quality factor: "0.82"
    SharedText selectedAircraftText;  // beside CALLSIGN_2_OBJECTID
    // The object id of the aircraft selected in the window (0 for none); cleared when that
    // aircraft is removed or respawned. The objects of a run end with it.
    RunAtomic<uint32_t> selectedObjectId{0};
    // The park airport's reserved stand as the statistics band shows it; written beside
    // g_reservedStandName, which the painter must not read across threads.
    SharedText reservedStandText;
    RunAtomic<float> staticAverageFit{-1.0F};  // drawn only above 0
    RunAtomic<float> liveAverageFit{-1.0F};    // drawn only above 0
    RunAtomic<uint64_t> standCount{0};         // stands of the park airport
    RunAtomic<uint64_t> staticCandidateCount{0};
    RunAtomic<int32_t> updateCount{0};       // stand updates
    RunAtomic<bool> handmade{false};         // " (h)"
    RunAtomic<bool> standFileLoaded{false};  // park airport details are shown
    RunAtomic<bool> softApplied{false};      // "*S*"
    RunAtomic<bool> weekApplied{false};      // "*W*"
    RunAtomic<bool> nowAllowed{false};       // "Now" may be enabled: a re-plan was announced
    bool operator==(const TrafficWindowStatus&) const = default;
};
extern TrafficWindowStatus& g_trafficWindowStatus;
extern std::atomic<uint32_t>& g_selectedObjectId;  // g_trafficWindowStatus.selectedObjectId
// The run's window status back to a fresh one; repaints nothing. Any thread.
void gf_resetTrafficWindowStatus();

// What the window shows of the parked traffic's limits and the loaded stand file. The process's,
// not the run's: a restart keeps them until the traffic manager writes them again (atomic).
struct ParkWindowCounts {
    std::atomic<int32_t> maxParkPercentage{0};  // per cent
    std::atomic<int32_t> wantedStaticCount{0};  // 0 = none
    std::atomic<int32_t> standFileWeek{0};      // the loaded stand file's "RT_traffic_week"
    std::atomic<bool> reservedStandOk{false};   // lime when set, red when clear
};
extern ParkWindowCounts g_parkWindowCounts;

// The counts the window shows.
struct TrafficCounts {
    uint64_t live = 0;        // active live aircraft not parked
    uint64_t parkedLive = 0;  // active live aircraft parked at stands
    uint64_t statics = 0;     // active static aircraft
};
TrafficCounts gf_trafficCounts();
// The callsign choices become one empty entry and the window's selection is emptied.
void gf_refreshAcList();
// Brings the live aircraft down to MAX_LIVE_SEL: the creations under way above it are
// withdrawn (an object that still arrives for one is removed), then the farthest active
// aircraft are removed until no more than MAX_LIVE_SEL are active or on their way in.
void gf_applyMaxLiveSel();
// Removes every live aircraft (a time shift makes their traffic stale).
void gf_removeLiveAircraft();
// NAV_LIGHTS_WHILE_PARKED changed: every active static and parked live aircraft follows it.
void gf_applyNavLightsWhileParked();

// Once per process, before the first run's threads start.
void gf_reserveTrafficContainers();

// ---- The intake of the RealTraffic client's batches (poll_intake.cpp) --------------------------

// Guards g_mainLoopRunning and the adding stack; never held together with g_simQueueMutex;
// ranks above the log mutex only.
extern std::mutex g_trafficMutex;
// The traffic manager takes polls into the adding stack only while set; g_trafficMutex.
extern bool g_mainLoopRunning;
// A live record handed over by the RealTraffic client, stamped with the fast tick its position
// is flown at; the schedule moves that tick on once the position is queued.
struct StampedRecord {
    LiveAircraftRecord record;
    int32_t dueTick = 0;  // 51230
    bool operator==(const StampedRecord&) const = default;
};
// The live records of the last poll that the traffic manager has not merged yet: the traffic
// run's member, reset with it; g_trafficMutex. The fast tick takes them with a try-lock, never
// waiting.
extern std::vector<StampedRecord>& g_addingStack;
// The RealTraffic client's poll intake: a poll enters only an empty adding stack of a running
// main loop, else it is dropped; true when taken. A poll taken has each record stamped with the
// fast tick its position is flown at, `delay_s` behind its report (schedule.cpp, which owns the
// due ticks from then on). "Traffic Reader" thread; takes g_trafficMutex.
bool gf_stackPoll(std::vector<LiveAircraftRecord>& batch, int32_t delay_s);
// The RealTraffic client's first-load intake: stamps the due ticks as the poll intake does and
// merges one step of the buffered first load while the main loop does not run yet. "Traffic
// Reader" thread.
void gf_mergeFirstLoad(std::vector<LiveAircraftRecord>& batch, int32_t delay_s);

// The 10 ms fast tick; returns within the tick.
void lf_handleAddingStack();
// The main loop's turn: the fast ticks the steady clock says are due since the last ran, none
// before 10 ms have passed and, after a turn that came late, each it missed (half a second's
// worth at most), so that the traffic keeps to the simulator's time on a busy machine, where the
// main loop's turns come late and it does not catch up with them. The first call after a reset
// of the traffic's run runs one. Returns how many ran.
int32_t gf_runDueFastTicks();
// Drains the simulator's result queue.
void lf_handleSimConnectResults();

// The park driver: user aircraft on the ground, park airport in sight. True at loop start.
void lf_checkUserPosition(bool atLoopStart);
// Removes one static aircraft that doubles an active live aircraft on the ground.
void lf_removeDuplicateRegs();
// The reserved stand of the park airport, g_reservedStandName, is handed to the readers:
// realtraffic/realtraffic.h.
void lf_clearReservedStand(const std::string& standName);
// Removes every static aircraft.
void lf_removeAllStatics();
// The re-plan of the parked traffic; the argument: RT_PARKTRAFFIC_ONLY was changed.
void lf_updateParkTraffic(bool parkTrafficOnlyChanged);
// Phase A of the parked-traffic refresh: asks RealTraffic for the parked traffic that phase B
// takes, without waiting.
void lf_startParkRefresh();
bool gf_parkAirportSet();  // a park airport is chosen
bool gf_hasParkStands();   // a park airport is chosen and its stand table is not empty
// Leaves the park airport: its static aircraft and the live aircraft on its stands are removed,
// its learned airport file is saved. A save that fails, its folder included, is logged ("saving
// '...' did not succeed") and the airport is left all the same; only the writer's
// gsl::narrowing_error for an absurd MAX_FIT_FL comes through, after the leaving.
void lf_saveLearnedAndClear();
// Writes output\info\ObjectIdList.txt.
void lf_writeTrafficCsv();
// Reads airports\my_park_airports.txt and the airports of airports\my_thirdparty into the park
// airport list; false when a line was refused. Start-up/main-loop thread.
bool lf_readMyParkAirports();
// "Re-read": reads the list again and, with `checkReserved`, moves the reserved stand to the
// one the list names; false when the list had a problem, else true with the text to show.
bool lf_checkParkAirports(bool checkReserved, std::string& text);
// A new DESTINATION becomes the first park airport: handed to the main loop. Any thread.
void gf_postParkAirport(const std::string& code, double latitude, double longitude);
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
// The run's state back to a fresh one (traffic_run.h), for an in-process restart, the recovery
// from a failed close-down and the tests; no other thread may run.
void gf_resetTrafficRun();
// Whether the run's state is as a fresh run has it.
bool gf_trafficRunFresh();

// ---- The parked traffic's refresh (members of the run's state; atomic) -------------------------

// The countdown message has run out; a stand file of the park airport is loaded; a parking
// rebuild is under way; minutes to the next refresh (from 20); RT_PARKTRAFFIC_ONLY changed, for
// the next re-plan. The window and the main loop raise and read them.
extern std::atomic<bool>& g_parkRefreshDue;
extern std::atomic<bool>& g_parkStandsLoaded;
extern std::atomic<bool>& g_parkingBusy;
extern std::atomic<int32_t>& g_staticParkingCountdown;
extern std::atomic<bool>& g_parkTrafficOnlyChanged;

}  // namespace qel
