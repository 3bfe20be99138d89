// The main loop: a 10 ms tick against the steady clock, the traffic manager's fast tick while a
// flight runs, and the per-second work on a schedule of simulator seconds.
//
// Runs on the start-up thread (lf_mainLoop, from lf_startUpVNTQ) until a stop flag is set.
// Locks: g_trafficMutex around g_mainLoopRunning, tried, never waited for: the tick skips the
// step and tries again on a later turn; g_simQueueMutex inside the simulator link's calls;
// g_mainLoopWorkMutex only to take the queued work out. None is held with another.
#include <chrono>
#include <cmath>
#include <deque>
#include <exception>
#include <mutex>

#include <fmt/format.h>

#include "app/app.h"
#include "app/core.h"
#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/time.h"
#include "liveries/flight_data.h"
#include "platform/clock.h"
#include "realtraffic/realtraffic.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/ui.h"

namespace qel {

AppRun g_appRun;  // main-loop thread
bool& g_flightNotRunningSeen = g_appRun.flightNotRunningSeen;
bool& g_parkRefreshPhase = g_appRun.parkRefreshPhase;

void lf_resetAppRun() { g_appRun = AppRun{}; }

bool gf_appRunFresh() { return g_appRun == AppRun{}; }

namespace {

using namespace std::chrono_literals;

constexpr auto kTick = 10ms;
constexpr auto kMaxCatchUp = 100ms;
constexpr int32_t kSecondsPerDay = 86400;

int32_t& g_notRunningTicks = g_appRun.notRunningTicks;  // main-loop thread

void lf_runPostedWork()
{
    std::deque<std::function<void()>> work = gf_takeMainLoopWork();
    for (auto& item : work) {
        try {
            item();
        } catch (const std::exception& e) {
            gf_log(fmt::format("lf_runPostedWork exception: {}", e.what()));
        }
    }
}

// Simulator-time following: when the user moved the simulator's clock, the traffic is shifted
// to the simulator's time, never into the future.
void lf_followSimTime()
{
    if (!g_rtProfessional || !SIM_TIME.current) return;
    const int64_t zulu = g_simZuluTime;
    if (std::llabs(zulu - g_lastSimZuluTime) >= 30) {
        const int64_t minutes = (platform::epochSeconds() - zulu) / 60;
        lf_timeShift(static_cast<int32_t>(std::max<int64_t>(minutes, 0)), false);
    }
    g_lastSimZuluTime = zulu;
}

void lf_flightResumed()
{
    if (!g_flightNotRunningSeen) return;
    std::unique_lock lock(g_trafficMutex, std::try_to_lock);
    if (!lock) return;  // the next second tries again
    g_mainLoopRunning = true;
    g_flightNotRunningSeen = false;
    lock.unlock();
    gf_log(fmt::format("{} Flight resumed", gf_nowTimeOfDay()));
}

void lf_serveCallsignRequests()
{
    if (g_callsignLookupPending) {
        const auto objectId = gf_objectIdOfCallsign(CALLSIGN_2_OBJECTID.value());
        setObjectIdText(
            objectId ? fmt::format("= {}", gf_toHex(*objectId)) : std::string("has left"),
            objectId);
        g_callsignLookupPending = false;
    }
    if (g_flushStaticRequested.exchange(false)) {
        lf_removeAllStatics();
        if (!INITIAL_LOAD_ONLY.current) {
            INITIAL_LOAD_ONLY.current = true;
            gf_showBoolParameter(INITIAL_LOAD_ONLY);
        }
    }
    if (g_callsignLookupRequested.exchange(false)) {
        setObjectIdText("", std::nullopt);
        lf_fillCallsignCombo();
        g_callsignLookupPending = true;
    }
}

void lf_sweepCollisions()
{
    if (g_userState.onGround) {
        if (COLLISION_USER_GND.current) lf_removeNearUser();
    } else if (COLLISION_USER_AIR.current) {
        lf_clearPathAheadOfUser();
    }
    if (COLLISION_LIVE_PARKED_GND.current) lf_checkMovedOnGround();
}

void lf_everySecond()
{
    lf_flightResumed();
    gf_countSimulatorSecond();
    lf_updateLiveCount();
    gf_tellHeadlessStatus();
    gf_writeDayAndSlot();
    lf_followSimTime();
    ++g_secondTicks;
    gf_checkNextQueuedStand(g_dayAndSlot);
    lf_serveCallsignRequests();
    lf_sweepCollisions();
    if (g_blockCallsignPending) {
        const std::string callsign = BLOCK_CALLSIGN.value();
        if (!callsign.empty()) gf_removeLiveByCallsign(callsign);
        g_blockCallsignPending = false;
    }
    if (g_parkingBusy) setCandidateCount(gf_staticCandidateCount());
}

void lf_everyFiveSeconds()
{
    gf_updateReaderStatus();
    gf_setTrafficReference(g_userState.latitude, g_userState.longitude, g_userState.altitude_ft);
    gf_updateTrafficBox();
    if (!g_reservedStandName.empty()) lf_clearReservedStand(g_reservedStandName);
    lf_handleReRead();
}

void lf_refreshPhaseB()
{
    g_parkRefreshPhase = false;
    gf_clearErrorText();
    gf_clearMessage();
    if (gf_hasParkStands()) {
        lf_updateParkTraffic(g_parkTrafficOnlyChanged.exchange(false));
    } else {
        // Without stands there is nothing to re-plan; the controls that the announcement
        // disabled (the time shift among them) must come back, or the user could never shift
        // back.
        gf_enableParkingControls();
    }
    gf_flushLog();
    g_parkRefreshDue = false;
}

void lf_everySixtySeconds()
{
    if (--g_staticParkingCountdown < 1) {
        g_staticParkingCountdown = 20;
        if (g_parkStandsLoaded && !INITIAL_LOAD_ONLY.current && !g_parkingBusy &&
            !g_parkRefreshDue) {
            lf_showParkingCountdown();
        }
    }
    setCountdownDisplay(g_staticParkingCountdown);
    if (OBJECTID_LIST.current) lf_writeTrafficCsv();
}

void lf_runSecondWork(SecondWork work)
{
    switch (work) {
    case SecondWork::CheckUserPosition: lf_checkUserPosition(false); break;
    case SecondWork::RemoveDuplicateRegs: lf_removeDuplicateRegs(); break;
    case SecondWork::FiveSecond: lf_everyFiveSeconds(); break;
    case SecondWork::RefreshPhaseA:
        g_parkRefreshPhase = true;
        gf_disableParkingControls();
        gf_startLiveIdCollection();
        lf_startParkRefresh();
        break;
    case SecondWork::RefreshPhaseB: lf_refreshPhaseB(); break;
    case SecondWork::ThirtySecond:
        if (g_matchingLevelRaised.exchange(false)) gf_clearNoMatchFlights();
        if (AUTO_RANGE.current) gf_autoRange();
        break;
    case SecondWork::SixtySecond: lf_everySixtySeconds(); break;
    case SecondWork::LogNoMatch: gf_logNoMatch(); break;
    case SecondWork::DailyReset:
        g_secondTicks = 0;
        gf_writeMatchSummary();
        gf_clearPendingCreations();
        break;
    }
}

void lf_flightNotRunning()
{
    if (!g_flightNotRunningSeen) {
        std::unique_lock traffic(g_trafficMutex, std::try_to_lock);
        if (traffic) {
            g_mainLoopRunning = false;
            traffic.unlock();
            g_flightNotRunningSeen = true;
            g_notRunningTicks = kNotRunningPasses;
            gf_clearPositionBuffers();
            gf_log(fmt::format("{} Flight not running", gf_nowTimeOfDay()));
        }
    }
    lf_handleSimConnectResults();
    if (--g_notRunningTicks > 0) return;
    lf_handleReRead();
    gf_updateTrafficBox();
    g_notRunningTicks = kNotRunningPasses;
    lf_updateLiveCount();
    gf_writeDayAndSlot();
}

void lf_sleepUntil(platform::SteadyTime target)
{
    for (auto now = platform::steadyNow(); now < target; now = platform::steadyNow()) {
        platform::sleepFor(std::chrono::ceil<std::chrono::milliseconds>(target - now));
    }
}

}  // namespace

std::vector<SecondWork> lf_secondSchedule(int32_t n, bool parkRefreshDue, bool parkRefreshPhase)
{
    std::vector<SecondWork> work;
    if (n % 5 != 0) {
        if (n % 16 == 0 && !parkRefreshPhase) work.push_back(SecondWork::CheckUserPosition);
        if (n % 61 == 0) work.push_back(SecondWork::RemoveDuplicateRegs);
        return work;
    }
    work.push_back(SecondWork::FiveSecond);
    if (n % 15 == 0 && parkRefreshDue) {
        work.push_back(parkRefreshPhase ? SecondWork::RefreshPhaseB : SecondWork::RefreshPhaseA);
    }
    if (n % 30 != 0) return work;
    work.push_back(SecondWork::ThirtySecond);
    if (n % 60 != 0) return work;
    work.push_back(SecondWork::SixtySecond);
    if (n % 1200 != 0) return work;
    work.push_back(SecondWork::LogNoMatch);
    if (n % kSecondsPerDay == 0) work.push_back(SecondWork::DailyReset);
    return work;
}

void lf_handleReRead()
{
    if (!g_reReadRequested || g_parkingBusy) return;
    std::string text;
    if (lf_checkParkAirports(true, text)) {
        // A pending error keeps the line, but the result still goes to Log.txt.
        gf_setMessage(text, false);
        if (!text.empty()) gf_log(text);
    }
    gf_enableControlOf(g_reReadButton, true);
    gf_enableControlOf(DESTINATION, true);
    g_reReadRequested = false;
}

bool lf_tick()
{
    lf_runPostedWork();
    if (!g_flightRunning || g_simConnectFailed) {
        lf_flightNotRunning();
        return !gf_stopFlag();
    }
    lf_probedFastTick();
    // The stop flags are examined on every tick, so that closing the program takes effect
    // while the simulator is paused or hung and no second arrives.
    if (!g_secondPassed.exchange(false)) return !gf_stopFlag();
    lf_everySecond();
    if (gf_stopFlag()) return false;
    const int32_t n = g_secondTicks;
    for (const auto work : lf_secondSchedule(n, g_parkRefreshDue, g_parkRefreshPhase)) {
        lf_runSecondWork(work);
    }
    if (n % 30 == 0) gf_flushLog();
    return true;
}

platform::SteadyTime lf_paceTarget(platform::SteadyTime deadline, platform::SteadyTime now)
{
    return now > deadline + kMaxCatchUp ? now : deadline;
}

void lf_runPaced(const std::function<bool()>& tick)
{
    auto deadline = platform::steadyNow() + kTick;
    if (!tick()) return;
    for (;;) {
        auto now = platform::steadyNow();
        auto target = lf_paceTarget(deadline, now);
        if (target - now >= 1ms) {
            lf_sleepUntil(target);
            now = platform::steadyNow();
        }
        // The grid restarts at the moment the simulator second arrived.
        if (g_secondPassed) target = now;
        deadline = target + kTick;
        if (!tick()) return;
    }
}

void lf_mainLoop()
{
    lf_checkUserPosition(true);
    gf_updateReaderStatus();
    g_secondTicks = 0;
    gf_writeDayAndSlot();
    {
        std::scoped_lock lock(g_trafficMutex);
        g_mainLoopRunning = true;
    }
    gf_fillCallsignCombo();
    gf_enableControlOf(g_callsignLookupButton, true);
    [[maybe_unused]] const platform::TimerResolutionGuard timerResolution;
    lf_runPaced(&lf_tick);
}

}  // namespace qel
