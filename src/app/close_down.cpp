// Close-down after the main loop (or instead of it): the worker threads stopped and joined, the
// sign-out, the clean-up of this run, and then an in-process restart or the quit, by exit
// reason.
#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>

#include <fmt/format.h>

#include "app/app.h"
#include "app/core.h"
#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/strings.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "liveries/flight_data.h"
#include "liveries/livery_db.h"
#include "platform/clock.h"
#include "realtraffic/realtraffic.h"
#include "scenery/scenery.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/ui.h"

namespace qel {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kReaderBound = 10s;       // a reader held in a transfer gets this long to end
constexpr auto kNewFlightMessage = 10s;  // how long the NEW FLIGHT message stays before quit

std::mutex g_windowSinkMutex;  // guards g_windowSink; taken alone
std::function<void(WindowMessage)> g_windowSink;

bool lf_isRestartReason(ExitReason reason)
{
    return reason == ExitReason::NEW_SETTINGS || reason == ExitReason::SIMCONNECT_ERROR ||
           reason == ExitReason::READER_ERROR;
}

// A SYSTEM ERROR keeps its text on screen until the user closes the program, or until a stop
// with another reason is recorded (the Community path typed in after user error 150). A
// headless window has nobody to read it, to answer it or to close it: the error went to
// standard error, and the program ends at once with a failure status.
void lf_awaitUserAfterSystemError()
{
    if (g_exitReason != ExitReason::SYSTEM_ERROR) return;
    if (gf_headlessWindow()) {
        g_exitCode = 1;
        gf_log(fmt::format("Headless: {} ends after the error", g_shortName));
        return;
    }
    while (!g_closeRequested && g_exitReason == ExitReason::SYSTEM_ERROR) {
        platform::sleepFor(500ms);
    }
    if (!g_closeRequested) return;
    // The error has been seen; the line now says why the program goes.
    gf_clearErrorText();
    gf_setMessage(fmt::format("User closed {}", g_shortName), true);
}

void lf_removeFlightPlanFolder()
{
    const fs::path folder = gf_flightPlanFolder();
    if (folder.empty()) return;
    std::error_code ec;
    fs::remove(folder, ec);
    if (ec == std::errc::directory_not_empty) {
        ec.clear();
        fs::remove_all(folder, ec);
    }
    if (ec) gf_log(fmt::format("gf_removeFlightPlanFolder: {}", ec.message()));
    ec.clear();
    [[maybe_unused]] const auto status = fs::status(folder, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        throw fs::filesystem_error("exists", folder, ec);
    }
}

void lf_clearRunSettings()
{
    g_timeShiftActive = false;
    // A start that failed before parameters.xml was read holds the built-in defaults: saving
    // any of them would overwrite the user's own settings.
    if (!g_parametersRead) return;
    for (auto* setting : {&DESTINATION, &BLOCK_CALLSIGN}) {
        setting->set("");
        gf_showTextParameter(*setting);
    }
    if (!KEEP_SIM_TIME_PAR.current) {
        SIM_TIME.current = false;
        gf_saveBoolParameter(SIM_TIME);
        lf_resetTimeShift();
    } else if (SIM_TIME.current) {
        // A shift that followed the simulator's clock is not kept; a manual one is.
        lf_resetTimeShift();
    }
}

void lf_restartOrQuit()
{
    const ExitReason reason = g_exitReason;
    if (lf_isRestartReason(reason) && !g_closeRequested) {
        g_restartPending = true;
        gf_clearErrorText();
        gf_clearMessage();
        gf_setMessage("Prepare for a restart ...", true);
        if (reason != ExitReason::NEW_SETTINGS && g_parametersRead) {
            for (auto* setting : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
                setting->current = false;
                gf_saveBoolParameter(*setting);
            }
        }
        lf_restartCountdown();
        lf_resetForRestart();
        if (g_restartPending) return;
        lf_showAndLog(fmt::format("User closed {}", g_shortName));
    }
    g_restartPending = false;
    lf_clearMainLoopWork();
    if (reason != ExitReason::NEW_FLIGHT) return;
    lf_showAndLog(fmt::format("New flight detected, {} will close, please restart manually ...",
                              g_shortName));
    const auto end = platform::steadyNow() + kNewFlightMessage;
    while (platform::steadyNow() < end && !g_closeRequested) platform::sleepFor(500ms);
}

void lf_closeDownSteps()
{
    gf_log(fmt::format("Exiting: {}", gf_exitReasonText(g_exitReason)));
    {
        std::scoped_lock lock(g_trafficMutex);
        g_mainLoopRunning = false;
    }
    lf_stopWorkers(kReaderBound);
    lf_awaitUserAfterSystemError();
    if (gf_parkAirportSet()) lf_saveLearnedAndClear();
    gf_clearPendingCreations();
    lf_removeFlightPlanFolder();
    lf_clearRunSettings();
    gf_clearGhostCallsigns();
    gf_writeMatchSummary();
    gf_logNoMatch();
    lf_restartOrQuit();
}

// After a failed close-down the program still ends the run the recorded reason asks for; a
// restart needs the workers joined and the reset done, else it quits.
void lf_recoverFromFailedCloseDown()
{
    g_restartPending = false;
    if (!lf_isRestartReason(g_exitReason) || g_closeRequested) return;
    try {
        lf_stopWorkers(kReaderBound);
        g_restartPending = true;
        lf_resetForRestart();
    } catch (const std::exception& e) {
        g_restartPending = false;
        gf_log(fmt::format("{} exception {}", "lf_resetForRestart", e.what()));
    }
}

}  // namespace

void lf_resetTimeShift()
{
    for (auto* setting : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        setting->current = setting->clamp(0);
        gf_saveIntParameter(*setting);
    }
}

void lf_restartCountdown()
{
    const int32_t n = g_restartDelay;
    if (n <= 0) return;
    gf_log(fmt::format("Restarting after {} seconds", n));
    gf_log(std::string(48, '-'));
    for (int32_t i = 0; i < n && !g_closeRequested; ++i) {
        gf_setPassingMessage(fmt::format("Restarting after {} second{}", n - i, gf_pluralS(n - i)));
        platform::sleepFor(1s);
    }
    gf_log("Restart countdown finished");
}

void lf_resetRunState()
{
    gf_resetRtRun();
    gf_resetSimLinkRun();
    gf_resetSceneryRun();
    gf_resetTrafficRun();
    // No aircraft, create request or pending creation holds a livery title any more.
    gf_serveLiveryDbClear();
    gf_resetUiRun();
    gf_resetFoundationRun();
    lf_resetAppRun();
}

void lf_resetForRestart()
{
    lf_resetRunState();
    // A close that arrived during the countdown wins over the restart.
    if (!lf_clearStop()) g_restartPending = false;
}

void lf_productionStop()
{
    g_exitCode = 0;
    if (g_productionMode) gf_requestClose();
}

void lf_closingDown()
{
    try {
        lf_closeDownSteps();
    } catch (const std::exception& e) {
        lf_showAndLog(fmt::format("{} exception {}", "lf_closingDown", e.what()));
        lf_recoverFromFailedCloseDown();
    } catch (...) {
        lf_showAndLog(fmt::format("{} exception {}", "lf_closingDown", "Unknown exception"));
        lf_recoverFromFailedCloseDown();
    }
    lf_postToWindow(g_restartPending ? WindowMessage::StartUp : WindowMessage::Quit);
    gf_flushLog();
}

void lf_flushAndCloseDown()
{
    gf_flushLog();
    lf_closingDown();
}

void lf_postToWindow(WindowMessage message)
{
    std::function<void(WindowMessage)> sink;
    {
        std::scoped_lock lock(g_windowSinkMutex);
        sink = g_windowSink;
    }
    if (sink) {
        sink(message);
    } else {
        gf_postWindowMessage(message);
    }
}

void gf_setWindowMessageSink(std::function<void(WindowMessage)> sink)
{
    std::scoped_lock lock(g_windowSinkMutex);
    g_windowSink = std::move(sink);
}

}  // namespace qel
