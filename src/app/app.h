// The application core: process entry, start-up, main loop, stop and restart, as the other
// subsystems see it: the stop protocol, the flags and counters the main loop serves, and the
// queue that hands work to the main-loop thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel {

// ---- Stop protocol --------------------------------------------------------------------------

// Why the program stops; the texts are those of gf_exitReasonText.
enum class ExitReason : int32_t {
    NOT_YET_SET = 0,
    SIM_WAS_CLOSED = 1,
    NEW_FLIGHT = 2,
    NEW_SETTINGS = 3,
    USER_CLOSED_SIM = 4,
    SIMCONNECT_ERROR = 5,
    READER_ERROR = 6,
    SYSTEM_ERROR = 7,
    NEW_VERSION = 8,
};

std::string_view gf_exitReasonText(ExitReason reason);  // "NOT YET SET", "SIM WAS CLOSED", ...

// The stop rule: the first caller to set g_stopRequested records its reason and restart delay
// (seconds) and gets true; later callers change nothing. The reason is recorded before the flag
// is raised, so whoever sees the flag sees the reason. Any thread.
bool gf_requestStop(ExitReason reason, int32_t restartDelay_s);
// The user closes the program (the window's close button, SIGINT, SIGTERM, production mode):
// raises g_closeRequested and g_stopRequested and records USER CLOSED SIM only when no reason
// is recorded yet, leaving the delay. Any thread.
void gf_requestClose();
// A reader or the sign-in failed: shows and logs "The {} has stopped with an error", then stops
// with READER ERROR (15 s) when `restart`, else SYSTEM ERROR (0 s). Any thread.
void gf_readerStopped(std::string_view name, bool restart);
// The simulator connection ended; `mismatch`: the connected simulator is not the chosen one,
// which switches SIM_CHOICE and restarts. Nothing while a stop is under way. "SimClient" thread.
void gf_simDisconnected(bool mismatch);
// Prepares a start with the other simulator (livery database, scans, install path) and stops
// with NEW SETTINGS (3 s). GUI thread (SIM_CHOICE changed) or "SimClient" thread.
void lf_switchSimVersion();
// SIM_TIME applied: the time shift follows the simulator's clock, or is reset to 0. GUI thread
// (its check box) and start-up thread.
void lf_applySimTime();

extern std::atomic<ExitReason> g_exitReason;  // atomic; written by the stop rule
extern std::atomic<int32_t> g_restartDelay;   // seconds; atomic
extern std::atomic<int32_t> g_exitCode;       // carried by the quit message; atomic
// Close-down chose an in-process restart; the next start-up then skips the update check.
extern std::atomic<bool> g_restartPending;

// ---- Process and command line ---------------------------------------------------------------

// What the command line said: "--production"/"/production" and "--no-production"/
// "/no-production" without regard to case, the last one winning; written before the start-up
// thread runs, read-only afterwards.
extern bool g_productionSwitchSeen;
extern bool g_productionSwitchValue;
extern std::atomic<bool> g_productionMode;  // the start-up stops after the data files
// The production switch among the arguments after the program's name; empty when none.
std::optional<bool> gf_productionSwitch(const std::vector<std::string>& arguments);

// The window's WM_APP+1: joins the start-up thread of the previous run and starts a new one.
// GUI thread.
void gf_onStartUpMessage();
// Joins the start-up thread when one was started; GUI thread, after the message loop ended.
void gf_joinStartUpThread();

// The program's entry after the single instance and Log.txt; returns the exit code.
int gf_runApp(int argc, char** argv);

// Hands work to the main-loop thread, which runs it on its next tick, in order; any thread.
// Work still queued when a run ends is dropped with it.
void gf_postToMainLoop(std::function<void()> work);

// ---- Start-up state --------------------------------------------------------------------------

// Scan tasks that may run at once: hardware concurrency, or 2; set before the scans.
extern std::atomic<int32_t> g_maxTasks;
extern std::atomic<int32_t> g_runningScanTasks;  // scan tasks now running
// The chosen simulator (SIM_CHOICE "MSFS 2020"), and its number 1 (2020) or 2 (2024); set by
// the start-up when it initialises the controls.
extern std::atomic<bool> g_isMsfs2020;
extern std::atomic<int32_t> g_simVersionNumber;
// The aircraft and airline database has been read in this process (start-up thread only).
extern bool g_dataFilesRead;

// ---- Main loop: the requests it serves and the state it shares -------------------------------

// Raised by the window's handlers, served by the main loop (atomic).
extern std::atomic<bool> g_reReadRequested;         // "Re-read"
extern std::atomic<bool> g_flushStaticRequested;    // "Flush static"
extern std::atomic<bool> g_callsignLookupRequested;  // "cs->oid:"
extern std::atomic<bool> g_callsignLookupPending;   // a CALLSIGN_2_OBJECTID choice
extern std::atomic<bool> g_blockCallsignPending;    // BLOCK_CALLSIGN changed
extern std::atomic<bool> g_matchingLevelRaised;     // MATCHING_DEPTH raised
extern std::atomic<bool> g_parkTrafficOnlyChanged;  // RT_PARKTRAFFIC_ONLY, for the next re-plan

// Parked-traffic refresh (atomic): the countdown message has run out; a stand file of the park
// airport is loaded; a parking rebuild is under way; minutes to the next refresh (from 20).
extern std::atomic<bool> g_parkRefreshDue;
extern std::atomic<bool> g_parkStandsLoaded;
extern std::atomic<bool> g_parkingBusy;
extern std::atomic<int32_t> g_staticParkingCountdown;

// Simulator seconds since the main loop started, 0 .. 86399 (atomic).
extern std::atomic<int32_t> g_secondTicks;
// The traffic time's weekday (low 32 bits: Monday 1 .. Sunday 7, -1 when unknown) and its
// half-hour slot (high 32 bits, 0 .. 47); rewritten every simulator second (atomic).
extern std::atomic<int64_t> g_dayAndSlot;
int64_t gf_packDayAndSlot(int32_t weekday, int32_t slot);
int32_t gf_weekdayOfDayAndSlot(int64_t dayAndSlot);
int32_t gf_slotOfDayAndSlot(int64_t dayAndSlot);
// Writes g_dayAndSlot from the traffic time.
void gf_writeDayAndSlot();

// The simulator's zulu time at the previous check, epoch seconds; 0 makes the next simulator
// second apply the simulator's time at once. Start-up/main-loop thread and SIM_TIME's handler.
extern std::atomic<int64_t> g_lastSimZuluTime;

}  // namespace qel
