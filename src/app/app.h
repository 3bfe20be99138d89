// The application core: process entry, start-up, main loop, stop and restart.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

namespace qel {

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
// (seconds) and gets true; later callers change nothing. Any thread.
bool gf_requestStop(ExitReason reason, int32_t restartDelay_s);

extern std::atomic<ExitReason> g_exitReason;  // atomic
extern std::atomic<int32_t> g_restartDelay;   // seconds; atomic
extern std::atomic<int32_t> g_exitCode;       // carried by the quit message; atomic

// The window's WM_APP+1: starts (or, after an in-process restart, starts again) the start-up
// thread. GUI thread.
void gf_onStartUpMessage();

// The program's entry after the process-level set-up; returns the exit code.
int gf_runApp(int argc, char** argv);

}  // namespace qel
