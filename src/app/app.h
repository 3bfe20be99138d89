// The application core: process entry, start-up, main loop, stop and restart, as the program's
// entry and the tests see it. The stop protocol, the flags and counters the main loop serves and
// the queue that hands work to the main-loop thread belong to foundation/run_state.h, as the
// layers below the core raise them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/run_state.h"

namespace qel {

// ---- Process and command line ---------------------------------------------------------------

// What the command line said: "--production"/"/production" and "--no-production"/
// "/no-production" without regard to case, the last one winning; written before the start-up
// thread runs, read-only afterwards.
extern bool g_productionSwitchSeen;
extern bool g_productionSwitchValue;
extern std::atomic<bool> g_productionMode;  // the start-up stops after the data files
// The production switch among the arguments after the program's name; empty when none.
std::optional<bool> gf_productionSwitch(const std::vector<std::string>& arguments);

// Whether the arguments after the program's name ask for the help: "-h", "--help" or "/?".
bool gf_helpAsked(int argc, char** argv);
// What `vntq --help` prints: the options and the environment variables the program reads.
std::string gf_helpText();
// Whether the working folder is a program folder, one that holds docs/: a start anywhere else
// ends with error 41 and keeps no Log.txt there. Never throws.
bool gf_inProgramFolder();

// The window's WM_APP+1: joins the start-up thread of the previous run and starts a new one.
// GUI thread.
void gf_onStartUpMessage();
// Joins the start-up thread when one was started; GUI thread, after the message loop ended.
void gf_joinStartUpThread();

// The program's entry after the single instance and Log.txt; returns the exit code.
int gf_runApp(int argc, char** argv);
// For the rest of the process, a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) and
// std::terminate first write the lines the log still holds (gf_writeLogInCrash); then the
// disposition found before takes the signal again, so that a crash keeps its exit status and
// core. The handlers run on a thread's alternate signal stack (platform::useSignalStack), which
// this gives the calling thread. Main thread, once, after gf_openLog; never throws (signals.cpp).
void gf_installCrashHandlers();

// ---- Start-up state --------------------------------------------------------------------------

// Scan tasks that may run at once: hardware concurrency, or 2; set before the scans.
extern std::atomic<int32_t> g_maxTasks;
extern std::atomic<int32_t> g_runningScanTasks;  // scan tasks now running

}  // namespace qel
