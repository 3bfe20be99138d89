// The steps of the application core that its files share and its tests drive: start-up,
// worker launch, main loop, close-down and restart.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "ui/ui.h"

namespace qel {

// ---- Program entry (run_app.cpp) --------------------------------------------------------------

// Fills in every hook through which a layer calls upward, here and nowhere else
// (connect_layers.cpp): the window's start-up message runs gf_onStartUpMessage, the link and the
// readers ask the traffic manager for stands, and the scenery, the livery database and the
// traffic manager reach the window. Before anything else; tests that drive the core call it too.
void lf_connectLayers();

// ---- Start-up thread (start_up.cpp) ---------------------------------------------------------

// The start-up thread's body: start-up, worker launch, main loop, close-down.
void lf_startUpVNTQ();
// Settings, controls, folders, update check, time shift and data files; false when the start
// must end at once (a new program version, or production mode).
bool lf_initialise();
void lf_initControls();
void lf_prepareFolders();
// The install path without a trailing "\Community" or "/Community"; unchanged otherwise.
std::string lf_withoutTrailingCommunity(const std::string& path);
// The airport scan's lookups of publishers and add-on lists, filled in by lf_connectLayers; the
// add-on airport scan, then the tblo.zip button (airport_scan.cpp); start-up thread.
void lf_wireAirportScan();
void lf_scanAirports();
// The RealTraffic API's revisit hold: waits until 2 s have passed since LAST_EPOCH_TIME.
void lf_revisitHold();
// The stop check between the long steps: true when a stop flag is set; records USER CLOSED SIM
// when nobody recorded a reason.
bool lf_stopSeen();

// ---- Parameter-file conversion (convert_parameters.cpp) ---------------------------------------

void lf_convertParameters();
// True when the previous version is too old for its settings to stay in use.
bool lf_versionUpdate();

// ---- Worker threads (start_threads.cpp) ---------------------------------------------------------

// "SimClient", sign-in, "Weather Reader", "Traffic Reader" and the first traffic; false when
// a stop flag was set while it waited for the simulator, or when the first traffic was not
// merged (timed out or stopped): the main loop must not run then.
bool lf_startThreads();
bool lf_requestUserOnGround();
// Stops the "SimClient" thread and both readers and joins them; each reader gets `readerBound`
// to finish (a reader that does not is logged, then awaited). Signs out when signed in.
void lf_stopWorkers(std::chrono::seconds readerBound);

// ---- Main loop (main_loop.cpp) ----------------------------------------------------------------

void lf_mainLoop();
// One pass; false when the loop must end.
bool lf_tick();
// The traffic manager's fast tick, timed when VNTQ_TICK_PROBE names a file (tick_probe.cpp).
void lf_probedFastTick();
// Runs `tick` once, then paces and runs it again until it returns false.
void lf_runPaced(const std::function<bool()>& tick);
// When the next tick runs: at `deadline`, even when that has passed (a delay of up to 100 ms is
// caught up by ticks back to back), or at once when more than 100 ms late.
platform::SteadyTime lf_paceTarget(platform::SteadyTime deadline, platform::SteadyTime now);

// The work of one simulator second, in the order it runs.
enum class SecondWork {
    CheckUserPosition,    // n % 16, not a multiple of 5, no refresh phase B pending
    RemoveDuplicateRegs,  // n % 61, not a multiple of 5
    FiveSecond,           // reader status, reference position, traffic box, stand, Re-read
    RefreshPhaseA,        // n % 15 with a refresh due, phase A next
    RefreshPhaseB,        // n % 15 with a refresh due, phase B next
    ThirtySecond,         // no-match list, AUTO_RANGE
    SixtySecond,          // static-parking countdown, traffic list
    LogNoMatch,           // n % 1200
    DailyReset,           // n % 86400: counter reset, match summary, pending creations
};
// The schedule of the simulator second n (already counted), after lf_everySecond.
std::vector<SecondWork> lf_secondSchedule(int32_t n, bool parkRefreshDue, bool parkRefreshPhase);
void lf_handleReRead();

inline constexpr int32_t kNotRunningPasses = 100;  // one second of ticks

// Everything of the core that lives for one run; main-loop thread. Not here, because a process
// keeps them across restarts: the production switch, the data files read once, the containers
// reserved once, the worker threads' handles and the window's message sink; nor the scan's
// task counts, which each scan sets at its own start.
struct AppRun {
    bool flightNotRunningSeen = false;
    bool parkRefreshPhase = false;                // set: phase B next
    int32_t notRunningTicks = kNotRunningPasses;  // ticks to the next check while not running
    bool operator==(const AppRun&) const = default;
};
extern AppRun g_appRun;
extern bool& g_flightNotRunningSeen;  // main-loop thread
extern bool& g_parkRefreshPhase;      // main-loop thread; set: phase B next
// The core's run state back to a fresh AppRun; start-up thread while the main loop is not
// running.
void lf_resetAppRun();
// Whether the core's run state equals a fresh one; tests.
bool gf_appRunFresh();

// ---- Close-down and restart (close_down.cpp) --------------------------------------------------

void lf_closingDown();
void lf_flushAndCloseDown();
void lf_restartCountdown();
// Everything that lives for one run back to its start value, one run struct per library: the
// RealTraffic client, the link, the scenery, the traffic manager, the window's, foundation's
// (with the work queued for the main loop) and the core's own. The stop protocol is left to
// lf_clearStop. The one reset of the in-process restart and of the tests; start-up thread,
// while no worker runs.
void lf_resetRunState();
void lf_resetForRestart();
void lf_resetTimeShift();
void lf_productionStop();

// ---- The window's status fields the core writes (window_fields.cpp) ----------------------------

void setAddonAirportCounts(std::size_t thirdparty, std::size_t simaddon);
// The selected aircraft's text beside CALLSIGN_2_OBJECTID, and its object id (0 for none).
void setObjectIdText(const std::string& text, std::optional<uint32_t> objectId);
void setCountdownDisplay(int32_t minutes);  // minutes to the next static-parking renewal
void setCandidateCount(std::size_t count);
void setReaderStatusesWaiting();  // the RealTraffic box lit, both readers "no data"

// ---- The window's private messages ------------------------------------------------------------

// Posts to the main window, or hands the message to the sink a test installed.
void lf_postToWindow(WindowMessage message);
// Tests: receive the messages for the window instead of posting them; empty to post again.
void gf_setWindowMessageSink(std::function<void(WindowMessage)> sink);

}  // namespace qel
