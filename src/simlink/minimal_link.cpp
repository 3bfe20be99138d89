// The simulator link until it is built: the shared flags, the user aircraft's state and a
// "SimClient" thread that plays a simulator with a loaded flight, so that the program runs its
// main loop against it.
//
// Thread "SimClient" (lf_simConnectThread): started by the start-up thread on every run. Every
// 10 ms of the platform clock it publishes the stand-in's user aircraft and, once the on-ground
// request has been made, raises g_secondPassed once per simulator second. Takes
// g_userStateMutex alone. Stops when its stop token is requested; a stand-in disconnect ends it
// through gf_simDisconnected.
#include <chrono>
#include <exception>

#include <fmt/format.h>

#include "app/app.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "platform/clock.h"
#include "simlink/simlink.h"
#include "ui/ui.h"

namespace qel {

std::atomic<bool> g_flightRunning{false};
std::atomic<bool> g_simConnectFailed{false};
std::atomic<bool> g_secondPassed{false};
std::atomic<bool> g_simNotConnected{true};
std::atomic<int64_t> g_simZuluTime{0};
// Guards the queues to and from the traffic manager and the requests other threads send; may be
// taken under the result mutex, never with g_trafficMutex.
std::mutex g_simQueueMutex;
UserAircraftState g_userState;  // start-up/main-loop thread only
SimLinkStandIn g_simLinkStandIn;

namespace {

using namespace std::chrono_literals;

std::mutex g_userStateMutex;           // guards g_receivedUserState and g_flightPlanDir; alone
UserAircraftState g_receivedUserState;  // guarded by g_userStateMutex
std::filesystem::path g_flightPlanDir;  // guarded by g_userStateMutex
std::atomic<bool> g_onGroundRequested{false};
std::atomic<bool> g_onGroundValid{false};

void lf_publishUserState()
{
    UserAircraftState state;
    state.latitude = g_simLinkStandIn.latitude;
    state.longitude = g_simLinkStandIn.longitude;
    state.onGround = g_simLinkStandIn.onGround;
    std::scoped_lock lock(g_userStateMutex);
    g_receivedUserState = state;
}

// One simulator second: the on-ground reply, which is what paces the main loop.
void lf_simulatorSecond()
{
    g_simZuluTime = platform::epochSeconds();
    if (!g_onGroundRequested || !g_flightRunning || !g_simLinkStandIn.secondsRunning) return;
    g_onGroundValid = true;
    g_secondPassed = true;
    ++g_simLinkStandIn.secondsSent;
}

}  // namespace

UserAircraftState gf_requestUserAcPosition()
{
    std::scoped_lock lock(g_userStateMutex);
    return g_receivedUserState;
}

bool gf_userOnGroundValid() { return g_onGroundValid; }

void gf_requestUserAcTitleModel() {}

bool gf_requestUserOnGroundEverySecond()
{
    if (g_simLinkStandIn.failOnGroundRequest) return false;
    g_onGroundRequested = true;
    return true;
}

void gf_logSimConnectError()
{
    gf_setMessage("SimConnect request error", true);
    g_simConnectFailed = true;
    gf_requestStop(ExitReason::SIMCONNECT_ERROR, 9);
}

void lf_simConnectThread(std::stop_token stop)
{
    try {
        g_simNotConnected = false;
        auto nextSecond = platform::steadyNow() + 1s;
        while (!stop.stop_requested()) {
            if (g_simLinkStandIn.disconnect.exchange(false)) {
                g_flightRunning = false;
                g_simNotConnected = true;
                gf_simDisconnected(false);
                return;
            }
            g_flightRunning = g_simLinkStandIn.flightLoaded.load();
            lf_publishUserState();
            const auto now = platform::steadyNow();
            if (now >= nextSecond) {
                // A thread held up for longer than a second delivers one second, not a burst.
                nextSecond = now - nextSecond > 1s ? now + 1s : nextSecond + 1s;
                lf_simulatorSecond();
            }
            platform::sleepFor(10ms);
        }
    } catch (const std::exception& e) {
        gf_log(fmt::format("lf_simConnectThread exception: {}", e.what()));
    }
    g_simNotConnected = true;
}

void gf_reserveSimQueues() {}

void gf_clearPositionBuffers() {}

void gf_clearPendingCreations() {}

void gf_logNoMatch() {}

void gf_createFlightPlanFolder()
{
    const auto folder = g_appDataDir / "orig_dest";
    std::filesystem::create_directories(folder);
    std::scoped_lock lock(g_userStateMutex);
    g_flightPlanDir = folder;
}

std::filesystem::path gf_flightPlanFolder()
{
    std::scoped_lock lock(g_userStateMutex);
    return g_flightPlanDir;
}

void gf_resetSimLink()
{
    g_flightRunning = false;
    g_simConnectFailed = false;
    g_secondPassed = false;
    g_simNotConnected = true;
    g_onGroundRequested = false;
    g_onGroundValid = false;
    std::scoped_lock lock(g_userStateMutex);
    g_receivedUserState = {};
}

void gf_resetSimLinkStandIn()
{
    g_simLinkStandIn.flightLoaded = true;
    g_simLinkStandIn.secondsRunning = true;
    g_simLinkStandIn.failOnGroundRequest = false;
    g_simLinkStandIn.disconnect = false;
    g_simLinkStandIn.latitude = 52.3086;
    g_simLinkStandIn.longitude = 4.76389;
    g_simLinkStandIn.onGround = true;
    g_simLinkStandIn.secondsSent = 0;
}

}  // namespace qel
