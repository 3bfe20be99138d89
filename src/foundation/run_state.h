// The state of one run that every layer reads and the lowest one that raises it owns: the stop
// protocol and its exit reasons, the requests the window raises for the main loop, the
// simulator second counters, and the queue that hands work to
// the main-loop thread. The application core serves all of it; the layers below it only raise.
//
// What lives for one run is held in FoundationRun (end of this file) and reset by assigning a
// fresh one; the g_ names are references to its members. The stop protocol, the chosen
// simulator and the locks are the process's and stay apart.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/run_values.h"

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
// The user closes the program (the window's close button, SIGINT, SIGTERM, SIGHUP, production
// mode): raises g_closeRequested and g_stopRequested and records USER CLOSED SIM only when no
// reason is recorded yet, leaving the delay. Any thread.
void gf_requestClose();
// A stop or a close is under way: g_stopRequested or g_closeRequested; any thread.
bool gf_stopFlag();
// Clears the stop flag and the reason for the next run; false (nothing cleared) when the user
// has closed the program meanwhile. Start-up thread, at a restart.
bool lf_clearStop();
// A reader or the sign-in failed: shows and logs "The {} has stopped with an error", then stops
// with READER ERROR (15 s) when `restart`, else SYSTEM ERROR (0 s). Any thread.
void gf_readerStopped(std::string_view name, bool restart);

extern std::atomic<ExitReason> g_exitReason;  // atomic; written by the stop rule
extern std::atomic<int32_t> g_restartDelay;   // seconds; atomic
extern std::atomic<int32_t> g_exitCode;       // carried by the quit message; atomic
// Close-down chose an in-process restart; the next start-up then skips the update check.
extern std::atomic<bool> g_restartPending;

// ---- The chosen simulator -------------------------------------------------------------------

// The chosen simulator (SIM_CHOICE "MSFS 2020"), and its number 1 (2020) or 2 (2024); set by
// the start-up when it initialises the controls.
extern std::atomic<bool> g_isMsfs2020;
extern std::atomic<int32_t> g_simVersionNumber;

// ---- Main loop: the requests it serves and the state it shares -------------------------------

// Raised by the window's handlers, served by the main loop (atomic).
extern std::atomic<bool>& g_reReadRequested;          // "Re-read"
extern std::atomic<bool>& g_flushStaticRequested;     // "Flush static"
extern std::atomic<bool>& g_callsignLookupRequested;  // "cs->oid:"
extern std::atomic<bool>& g_callsignLookupPending;    // a CALLSIGN_2_OBJECTID choice
extern std::atomic<bool>& g_blockCallsignPending;     // BLOCK_CALLSIGN changed
extern std::atomic<bool>& g_matchingLevelRaised;      // MATCHING_DEPTH raised

// Simulator seconds since the main loop started, 0 .. 86399 (atomic).
extern std::atomic<int32_t>& g_secondTicks;
// The traffic time's weekday (low 32 bits: Monday 1 .. Sunday 7, -1 when unknown) and its
// half-hour slot (high 32 bits, 0 .. 47); rewritten every simulator second (atomic).
extern std::atomic<int64_t>& g_dayAndSlot;
int64_t gf_packDayAndSlot(int32_t weekday, int32_t slot);
int32_t gf_weekdayOfDayAndSlot(int64_t dayAndSlot);
int32_t gf_slotOfDayAndSlot(int64_t dayAndSlot);
// Writes g_dayAndSlot from the traffic time.
void gf_writeDayAndSlot();

// The simulator's zulu time at the previous check, epoch seconds; 0 makes the next simulator
// second apply the simulator's time at once. Start-up/main-loop thread and SIM_TIME's handler.
extern std::atomic<int64_t>& g_lastSimZuluTime;

// ---- Work for the main-loop thread ------------------------------------------------------------

// Hands work to the main-loop thread, which runs it on its next tick, in order; any thread.
// Work still queued when a run ends is dropped with it.
void gf_postToMainLoop(std::function<void()> work);
// The queued work, oldest first, taken out of the queue; nothing when the queue's lock is busy,
// so that the 10 ms tick never waits. Main-loop thread.
std::deque<std::function<void()>> gf_takeMainLoopWork();
// Drops the work handed to the main loop that it has not run yet.
void lf_clearMainLoopWork();

// ---- The run's state ----------------------------------------------------------------------------

// The message line's texts, guarded by g_messageMutex (foundation/window_status.h).
struct MessageLine {
    std::string messageText;              // "Your liveries will be scanned"
    std::string errorText;                // "99: ..." while an error is pending
    int32_t messageShownAt = 0;           // second counter when shown, 0 = none
    RunAtomic<int32_t> secondCounter{0};  // simulator seconds; the message line's clock
    std::string echoedText;               // the last line a headless window wrote to stderr
    bool operator==(const MessageLine&) const = default;
};

// What the window shows of one run: texts under their own locks, the rest atomic. Written by
// the layers that own what is shown, painted by the window (foundation/window_status.h).
// Work handed to the main loop, guarded by the queue's own lock. Functions cannot be compared:
// two queues compare by their length, which is what a fresh one is told apart by.
struct MainLoopWork {
    std::deque<std::function<void()>> items;
    bool operator==(const MainLoopWork& other) const { return items.size() == other.items.size(); }
};

// Everything of foundation that lives for one run. Not here, because a process keeps them
// across restarts: the stop protocol (lf_clearStop clears it, and a close must survive a
// restart), the chosen simulator, settings, code tables, paths, the log and every lock.
struct FoundationRun {
    // Requests of the window that the main loop serves.
    RunAtomic<bool> reReadRequested{false};
    RunAtomic<bool> flushStaticRequested{false};
    RunAtomic<bool> callsignLookupRequested{false};
    RunAtomic<bool> callsignLookupPending{false};
    RunAtomic<bool> blockCallsignPending{false};
    RunAtomic<bool> matchingLevelRaised{false};
    // The simulator's clock as the main loop counts it.
    RunAtomic<int32_t> secondTicks{0};
    RunAtomic<int64_t> dayAndSlot{-1};
    RunAtomic<int64_t> lastSimZuluTime{0};  // epoch seconds
    // Time (foundation/time.h).
    RunAtomic<bool> timeShiftActive{false};
    RunAtomic<bool> rtProfessional{false};
    RunAtomic<double> historicTime{0.0};  // epoch seconds
    MessageLine messageLine;              // g_messageMutex
    MainLoopWork mainLoopWork;            // the queue's lock
    bool operator==(const FoundationRun&) const = default;
};

extern FoundationRun g_foundationRun;

// Foundation's run state back to a fresh FoundationRun, under the locks that guard its parts;
// repaints the window. Start-up thread while no worker runs (restart, failed close-down), and
// test fixtures.
void gf_resetFoundationRun();
// Whether foundation's run state equals a fresh one; tests.
bool gf_foundationRunFresh();

}  // namespace qel
