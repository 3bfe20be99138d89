// The launch of the worker threads between the start-up work and the main loop, and their stop
// at close-down.
//
// Threads started here: "SimClient" (lf_simConnectThread), "Weather Reader"
// (gf_weatherReader) and "Traffic Reader" (gf_trafficReader), each a joinable thread with a
// stop token owned by this file and touched only by the start-up thread. lf_stopWorkers asks
// each to stop and joins it, so none runs into the next run or past the end of the process.
// Locks: g_simQueueMutex around the on-ground request, g_trafficMutex around
// g_mainLoopRunning; never both. Waits through the platform clock; every wait ends early when
// a stop is requested.
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include <fmt/format.h>

#include "app/app.h"
#include "app/core.h"
#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "liveries/livery_db.h"
#include "platform/clock.h"
#include "realtraffic/realtraffic.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/ui.h"

namespace qel {

namespace {

using namespace std::chrono_literals;

std::jthread g_simConnectThread;     // start-up thread only
std::jthread g_weatherReaderThread;  // start-up thread only
std::jthread g_trafficReaderThread;  // start-up thread only
bool g_containersReserved = false;   // start-up thread only; once per process

bool lf_positionKnown(const UserAircraftState& state)
{
    return std::abs(state.latitude) > 0.0001 || std::abs(state.longitude) > 0.0001;
}

// Waits in steps of `step` while `waiting` holds, at most `tries` steps; false on a stop.
bool lf_waitWhile(const std::function<bool()>& waiting, int tries, platform::Millis step)
{
    for (int i = 0; i < tries && waiting(); ++i) {
        if (gf_stopFlag()) return false;
        platform::sleepFor(step);
    }
    return !gf_stopFlag();
}

void lf_applyAccount()
{
    lf_enableTimeShiftControls(g_rtProfessional);
    if (g_rtProfessional) return;
    lf_timeShift(0, true);
    if (KEEP_SIM_TIME_PAR.current) {
        KEEP_SIM_TIME_PAR.current = false;
        gf_saveBoolParameter(KEEP_SIM_TIME_PAR);
        gf_showBoolParameter(KEEP_SIM_TIME_PAR);
    }
}

// True once the first load is merged. Until then the Traffic Reader may be merging it into the
// traffic without a lock, so no tick may run.
bool lf_awaitFirstTraffic()
{
    const auto start = platform::steadyNow();
    while (!gf_trafficReceiving() && !gf_stopFlag()) {
        platform::sleepFor(100ms);
        if (platform::steadyNow() - start > 10s) {
            gf_log("TrafficReader receiving timed out after 10 seconds?");
            gf_requestStop(ExitReason::READER_ERROR, 15);
            return false;
        }
    }
    return gf_trafficReceiving();
}

void lf_awaitReader(std::jthread& reader, std::string_view name, bool (*finished)(),
                    std::chrono::seconds bound)
{
    if (!reader.joinable()) return;
    const auto deadline = platform::steadyNow() + bound;
    while (!finished() && platform::steadyNow() < deadline) platform::sleepFor(100ms);
    if (!finished()) {
        gf_log(fmt::format("The {} did not finish within {} seconds", name, bound.count()));
    }
    reader.join();
}

}  // namespace

bool lf_requestUserOnGround()
{
    while (!g_flightRunning || g_simConnectFailed) {
        if (gf_stopFlag()) return false;
        platform::sleepFor(100ms);
    }
    if (gf_stopFlag()) return false;
    bool requested = false;
    {
        std::scoped_lock lock(g_simQueueMutex);
        requested = gf_requestUserOnGroundEverySecond();
    }
    if (!requested) {
        gf_logHighlighted("SimConnect request ac gnd/air fails");
        gf_logSimConnectError();
    }
    for (;;) {
        g_userState = gf_requestUserAcPosition();
        if (gf_userOnGroundValid() && lf_positionKnown(g_userState)) break;
        if (gf_stopFlag()) return false;
        platform::sleepFor(500ms);
    }
    gf_requestUserAcTitleModel();
    while (!lf_positionKnown(g_userState)) {
        g_userState = gf_requestUserAcPosition();
        if (gf_stopFlag()) return false;
        platform::sleepFor(200ms);
    }
    return true;
}

bool lf_startThreads()
{
    if (!g_containersReserved) {
        gf_reserveTrafficContainers();
        gf_reserveLiveryContainers();
        g_containersReserved = true;
    }
    gf_reserveSimQueues();
    gf_invalidateArea(WindowArea::StatusStrip);
    if (g_simConnectThread.joinable()) {
        g_simConnectThread.request_stop();
        g_simConnectThread.join();
    }
    g_simConnectThread = std::jthread(lf_simConnectThread);

    if (!lf_requestUserOnGround()) return false;
    // The radius in which the link pairs new objects, and the readers' range, follow the stored
    // RANGE from the start: left at the setting's default, a stored wider range would have
    // flights created that the link never pairs.
    if (AUTO_RANGE.current) {
        gf_autoRange();
    } else {
        gf_setRange(RANGE.current);
    }
    if (gf_stopFlag()) return false;
    {
        std::scoped_lock lock(g_trafficMutex);
        g_mainLoopRunning = false;
    }
    // The readers get the user's position before they start: a reader without one would
    // drop the whole first load as out of range.
    gf_setTrafficReference(g_userState.latitude, g_userState.longitude, g_userState.altitude_ft);
    gf_updateTrafficBox();
    gf_authenticater();
    setReaderStatusesWaiting();
    lf_applyAccount();

    if (!lf_waitWhile([] { return gf_rtGuid().empty(); }, 10, 300ms)) return true;
    g_weatherReaderThread = std::jthread(gf_weatherReader);
    for (int i = 0; i < 10 && g_qnhReady == 0 && !gf_stopFlag(); ++i) {
        platform::sleepFor(300ms);
        lf_handleReRead();
    }
    if (gf_stopFlag()) return true;
    g_trafficReaderThread = std::jthread(gf_trafficReader);
    platform::sleepFor(300ms);
    gf_setTrafficReference(g_userState.latitude, g_userState.longitude, g_userState.altitude_ft);
    lf_showNoTraffic();
    gf_writeDayAndSlot();
    return lf_awaitFirstTraffic();
}

void lf_stopWorkers(std::chrono::seconds readerBound)
{
    if (g_simConnectThread.joinable()) {
        g_simConnectThread.request_stop();
        g_simConnectThread.join();
    }
    // Both readers are told first, so they end side by side; a stop token request also aborts
    // a transfer under way.
    if (g_weatherReaderThread.joinable()) {
        gf_stopWeatherReader();
        g_weatherReaderThread.request_stop();
    }
    if (g_trafficReaderThread.joinable()) {
        gf_stopTrafficReader();
        g_trafficReaderThread.request_stop();
    }
    lf_awaitReader(g_weatherReaderThread, "Weather Reader", &gf_weatherReaderFinished, readerBound);
    lf_awaitReader(g_trafficReaderThread, "Traffic Reader", &gf_trafficReaderFinished, readerBound);
    if (!gf_rtGuid().empty()) gf_deauthenticate();
}

}  // namespace qel
