// The "SimClient" thread and its connection: the wait for the simulator, the open as client
// "VNTQ", the dispatch loop, the end of the connection, the common reaction to a failed request
// and the reset before an in-process restart.
//
// Thread "SimClient" (lf_simConnectThread): started by the start-up thread on every run as a
// joinable thread with a stop token, and joined by the close-down. It opens the connection,
// retrying every 100 ms until the simulator answers (a stop or close flag or the token ends the
// wait), then calls SimConnect_CallDispatch and sleeps 1 ms until the token asks it to stop, the
// simulator quits or the dispatch keeps failing. Every SimConnect callback runs on it. Locks:
// g_simCallMutex to publish and withdraw the handle (and in the callbacks, see queues.cpp),
// g_simResultMutex to post results, g_userStateMutex for the user state; no two at once. Waits
// only through the platform clock.
#include <chrono>
#include <exception>
#include <mutex>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/run_values.h"
#include "foundation/window_status.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "simlink/link_internal.h"
#include "simlink/link_run.h"
#include "simlink/simlink.h"

namespace qel {

SimLinkRun g_simLinkRun;

std::atomic<bool>& g_flightRunning = g_simLinkRun.flightRunning;
std::atomic<bool>& g_simConnectFailed = g_simLinkRun.simConnectFailed;
std::atomic<bool>& g_secondPassed = g_simLinkRun.secondPassed;
std::atomic<bool>& g_simNotConnected = g_simLinkRun.simNotConnected;
std::atomic<int64_t>& g_simZuluTime = g_simLinkRun.simZuluTime;
HANDLE& g_hSimConnect = g_simLinkRun.hSimConnect;  // written under g_simCallMutex by "SimClient"
std::atomic<uint64_t>& g_dispatchCount = g_simLinkRun.dispatchCount;
SimWindowStatus& g_simWindowStatus = g_simLinkRun.windowStatus;

namespace {

using namespace std::chrono_literals;

constexpr auto kOpenRetry = 100ms;
constexpr auto kDispatchPause = 1ms;
// A dispatch failing this long means the simulator is gone without a QUIT (it crashed).
constexpr auto kDispatchGiveUp = 3s;

// Since when the dispatch has failed without a success in between; "SimClient" thread.
std::optional<platform::SteadyTime>& g_dispatchFailingSince = g_simLinkRun.dispatchFailingSince;

// Waits for the simulator; true when connected.
bool lf_awaitSimulator(const std::stop_token& stop, HANDLE& local)
{
    for (bool first = true;; first = false) {
        if (gf_stopFlag() || stop.stop_requested()) return false;
        if (first) {
            gf_log(" ");
            gf_setMessage(fmt::format("Waiting for MSFS 20{} ...", g_isMsfs2020 ? "20" : "24"),
                          true);
            gf_flushLog();
        }
        gf_closeSimConnect(local);
        if (lf_openConnection(local)) return true;
        platform::sleepFor(kOpenRetry);
    }
}

LinkEnd lf_runConnected(const std::stop_token& stop, HANDLE handle)
{
    lf_simConnectSetup(handle);
    [[maybe_unused]] const platform::TimerResolutionGuard timerResolution;
    while (!stop.stop_requested()) {
        const LinkEnd end = lf_dispatchOnce(handle);
        if (end != LinkEnd::none) return end;
        platform::sleepFor(kDispatchPause);
    }
    return LinkEnd::none;
}

// The end of the thread: the window shows no simulator.
void lf_simConnectThreadEnd()
{
    lf_rememberUserStand();
    // Without a connection no flight runs for the program, whatever the simulator last said;
    // otherwise the traffic manager would go on sending to a closed handle.
    g_flightRunning = false;
    g_simWindowStatus.simulatorConnected = false;
    g_simWindowStatus.simulationRunning = false;
    gf_invalidateArea(WindowArea::Whole);
}

// Runs lf_simConnectThreadEnd on every way out of the thread body.
class ThreadEndGuard {
public:
    ThreadEndGuard() = default;
    ThreadEndGuard(const ThreadEndGuard&) = delete;
    ThreadEndGuard& operator=(const ThreadEndGuard&) = delete;
    ~ThreadEndGuard() { lf_simConnectThreadEnd(); }
};

void lf_notifyDisconnected(bool mismatch)
{
    try {
        g_flightRunning = false;
        gf_simDisconnected(mismatch);
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception: {}", "lf_simConnectThread", e.what()));
    }
}

}  // namespace

void gf_closeSimConnect(HANDLE& handle)
{
    if (!handle) return;
    if (SUCCEEDED(SimConnect_Close(handle))) {
        gf_log("SimConnect closed ok");
    } else {
        gf_logHighlighted("Closing SimConnect failed?!");
    }
    handle = nullptr;
}

bool lf_openConnection(HANDLE& local)
{
    if (FAILED(SimConnect_Open(&local, "VNTQ", nullptr, 0, nullptr, 0))) {
        local = nullptr;
        return false;
    }
    {
        std::scoped_lock lock(g_simCallMutex);
        g_hSimConnect = local;
    }
    g_dispatchFailingSince.reset();
    g_simNotConnected = false;
    return true;
}

LinkEnd lf_dispatchOnce(HANDLE handle)
{
    const bool dispatched = SUCCEEDED(SimConnect_CallDispatch(handle, &lf_dispatch, nullptr));
    lf_rethrowDispatchError();
    if (dispatched) {
        g_dispatchFailingSince.reset();
    } else {
        const auto now = platform::steadyNow();
        if (!g_dispatchFailingSince) g_dispatchFailingSince = now;
        if (now - *g_dispatchFailingSince >= kDispatchGiveUp) {
            gf_logHighlighted("SimConnect dispatch keeps failing, the simulator is gone");
            return LinkEnd::dispatchFailing;
        }
    }
    ++g_dispatchCount;
    return g_simulatorQuit ? LinkEnd::simulatorQuit : LinkEnd::none;
}

void lf_simConnectThread(std::stop_token stop)
{
    platform::setThreadName("SimClient");
    platform::useSignalStack();
    HANDLE local = nullptr;
    {
        const ThreadEndGuard guard;
        bool lost = false;
        bool mismatch = false;
        try {
            if (lf_awaitSimulator(stop, local)) {
                lost = lf_runConnected(stop, local) != LinkEnd::none;
            }
        } catch (const UserErrorException& e) {
            const std::string text = e.what();
            if (e.code() == kSimMismatchError) {
                gf_log(fmt::format("MSFS and {} do not match, restarting ...", g_shortName));
                lost = mismatch = true;
            } else {
                // The user has to act on it; the error stays on the message line.
                gf_setErrorMessage(text.empty() ? "Unknown exception" : text);
            }
        } catch (const std::exception& e) {
            gf_setErrorMessage(e.what());
            lost = true;
        } catch (...) {
            gf_setErrorMessage(fmt::format("Exception in {}", "SimClient"));
            lost = true;
        }
        if (lost) lf_notifyDisconnected(mismatch);
    }
    // Withdrawn and closed under the call mutex, so that no other thread is in the middle of a
    // request on the handle when it closes.
    std::scoped_lock lock(g_simCallMutex);
    g_hSimConnect = nullptr;
    gf_closeSimConnect(local);
}

void gf_logSimConnectError()
{
    gf_setMessage("SimConnect request error", true);
    g_simConnectFailed = true;
    gf_requestStop(ExitReason::SIMCONNECT_ERROR, 9);
}

void gf_resetSimLinkRun()
{
    // Every lock that guards a part; the "SimClient" thread is stopped, but the main loop's
    // callers of the queues may not be.
    gf_resetRun(g_simLinkRun, g_simResultMutex, g_simQueueMutex, g_simCallMutex, g_userStateMutex,
                g_userModelMutex, g_flightPlanFolderMutex);
}

bool gf_simLinkRunFresh()
{
    return gf_runFresh(g_simLinkRun, g_simResultMutex, g_simQueueMutex, g_simCallMutex,
                       g_userStateMutex, g_userModelMutex, g_flightPlanFolderMutex);
}

}  // namespace qel
