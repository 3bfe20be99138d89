// The traffic manager's 10 ms tick: simulator results in, every live aircraft one step on, the
// positions of this tick out, the creation and removal queues fed at their cadences, at most two
// reports merged and one create request built, and the aircraft in range asked for.
//
// Threads: main-loop thread. g_trafficMutex and g_simQueueMutex are only tried here (the tick
// never waits); the hand-overs to the simulator link take g_simQueueMutex, which the
// "SimClient" thread holds only to swap its queues. The two are never held together.
#include <algorithm>
#include <chrono>
#include <mutex>
#include <numbers>
#include <vector>

#include <fmt/format.h>

#include "foundation/log.h"
#include "platform/clock.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/stands.h"
#include "traffic/park_airports.h"
#include "traffic/parked_plan.h"
#include "traffic/traffic_run.h"

namespace qel {

namespace {

constexpr int32_t kRemoveEvery = 10;   // ticks: one removal per 100 ms
constexpr int32_t kCreateEvery = 50;   // one creation per 500 ms
constexpr int32_t kInRangeEvery = 20;  // one request for the aircraft in range per 200 ms
constexpr int32_t kUserStateEvery = 100;
constexpr int32_t kSweepEvery = 100;
// A creation the simulator has not answered by then never will be: the object was created out of
// the range the link pairs in, or its announcement was lost.
constexpr int32_t kCreationAnswer_ticks = 3000;
constexpr int kMergesPerTick = 2;
constexpr double kDegPerRad = 180.0 / std::numbers::pi;

bool& g_inRangePending = g_trafficRun.inRangePending;
std::deque<HandedOver>& g_handedOver = g_trafficRun.handedOver;

// The next record's per-tick fields are fetched while this one is updated: a record is 1.3 kB,
// too far apart for the processor to guess, and a walk of 500 that waits for each one's first
// line costs most of the tick. The leg's pace lies apart from them and is read on every tick of
// a moving aircraft (whether the leg is paced at all, and up to whether a bend held it back where
// it is): left to be fetched when it was read, it was what the walk waited for.
void lf_prefetchHot(const LiveAc& aircraft)
{
    const char* from = reinterpret_cast<const char*>(&aircraft.objectId);
    const char* to = reinterpret_cast<const char*>(&aircraft.samples.front() + 1);
    for (const char* line = from; line < to; line += 64) __builtin_prefetch(line);
    __builtin_prefetch(&aircraft.pace.now_kt);
    __builtin_prefetch(&aircraft.pace.held);
}

void lf_updateAll()
{
    const int32_t tick = g_fastTicks;
    // By index: the updates flag records but never add or erase them. A record is visited only
    // from its wake tick on; a buffered one's wait is taken anew from its samples after each.
    for (std::size_t i = 0; i < g_liveAcs.size(); ++i) {
        if (g_liveWake[i] > tick) continue;
        // Only a record that will be visited is fetched: the waiting ones would fill the cache.
        if (i + 1 < g_liveAcs.size() && g_liveWake[i + 1] <= tick) {
            lf_prefetchHot(g_liveAcs[i + 1]);
        }
        LiveAc& aircraft = g_liveAcs[i];
        updateLiveAc(aircraft);
        if (aircraft.state == SimObjectState::buffer) lf_refreshWake(aircraft);
    }
    if (lf_liveDropRaised()) lf_compactLiveAcs();
    // Static records carry the same drop flags; they are walked only after one was raised.
    lf_compactStaticAcs();
}

bool lf_unanswered(const StaticAc& aircraft)
{
    return aircraft.state == SimObjectState::adding2sim && aircraft.objectId == 0 &&
           aircraft.handedOverTick >= 0 &&
           int64_t{g_fastTicks} - aircraft.handedOverTick >= kCreationAnswer_ticks;
}

void lf_noteHandedOver(StaticAc& aircraft, int32_t tick, bool live)
{
    aircraft.handedOverTick = tick;
    g_handedOver.push_back({aircraft.hexId, tick, live});
}

StaticAc* lf_unansweredRecord(const HandedOver& entry)
{
    StaticAc* aircraft = entry.live ? lf_findLive(entry.hexId) : lf_findStatic(entry.hexId);
    // A record handed over again since has a later entry, from which its wait runs.
    if (!aircraft || aircraft->handedOverTick != entry.tick || !lf_unanswered(*aircraft) ||
        aircraft->drop) {
        return nullptr;
    }
    return aircraft;
}

// The records whose creation went to the link kCreationAnswer_ticks ago or more and is still
// unanswered. Only the front of the hand-over order can be that old: a walk over every record
// cost a quarter of a millisecond in a full sky.
void lf_takeUnanswered(std::vector<LiveAc*>& live, std::vector<StaticAc*>& statics)
{
    while (!g_handedOver.empty() &&
           int64_t{g_fastTicks} - g_handedOver.front().tick >= kCreationAnswer_ticks) {
        const HandedOver entry = g_handedOver.front();
        g_handedOver.pop_front();
        StaticAc* aircraft = lf_unansweredRecord(entry);
        if (!aircraft) continue;
        if (entry.live) {
            live.push_back(static_cast<LiveAc*>(aircraft));
        } else {
            statics.push_back(aircraft);
        }
    }
    // The log names them in the order of the records, as the walk did.
    std::sort(live.begin(), live.end());
    std::sort(statics.begin(), statics.end());
}

// The record goes, and with it the creation's object in the simulator (fleet.cpp).
void lf_dropUnansweredCreations()
{
    if (g_fastTicks % kSweepEvery != 0) return;
    lf_forgetOldGiveUps();
    std::vector<LiveAc*> live;
    std::vector<StaticAc*> statics;
    lf_takeUnanswered(live, statics);
    for (LiveAc* aircraft : live) {
        gf_logHighlighted(
            fmt::format("{} was not created within 30 s", gf_flightDescription(*aircraft)));
        lf_releaseStand(aircraft->standId, aircraft->hexId);
        lf_noteGivenUpCreation(*aircraft);
        // Its room is not counted free here: the link removes its object, and that removal is
        // counted when it is seen.
        aircraft->drop = 1;
    }
    for (StaticAc* aircraft : statics) {
        gf_logHighlighted(
            fmt::format("{} was not created within 30 s", gf_flightDescription(*aircraft)));
        aircraft->drop = 1;
    }
}

void lf_mergeReports()
{
    std::unique_lock lock(g_trafficMutex, std::try_to_lock);
    if (!lock) return;
    for (int i = 0; i < kMergesPerTick && !g_addingStack.empty(); ++i) {
        lf_mergeReport(g_addingStack.back());
        g_addingStack.pop_back();
    }
}

}  // namespace

AiCreateRequest lf_aiCreateRequest(const StaticAc& aircraft, const AiPositionBlock& at,
                                   bool onGround)
{
    AiCreateRequest request;
    SIMCONNECT_DATA_INITPOSITION& p = request.initPosition;
    p.Latitude = at.latitude;
    p.Longitude = at.longitude;
    p.Altitude = at.altitude_ft;
    // The program keeps angles in radians; the simulator takes degrees.
    p.Pitch = at.pitch_rad * kDegPerRad;
    p.Bank = at.bank_rad * kDegPerRad;
    p.Heading = at.heading_rad * kDegPerRad;
    p.OnGround = onGround ? 1 : 0;
    p.Airspeed = 0;
    request.callsign = aircraft.callsign;
    request.liveryTitle = std::string(aircraft.title);
    request.hexId = aircraft.hexId;
    return request;
}

namespace {

void lf_buildCreateRequest()
{
    if (g_spawnHexids.empty()) return;
    const uint32_t hexId = g_spawnHexids.back();
    g_spawnHexids.pop_back();
    LiveAc* aircraft = lf_findLive(hexId);
    if (!aircraft || aircraft->state != SimObjectState::adding2sim) return;
    if (aircraft->callsign.empty()) {
        gf_logHighlighted(fmt::format("{} {} objectid = 0?", "lf_handleAddingStack",
                                      gf_flightDescription(*aircraft)));
        // The simulator pairs a creation by its callsign: without one it never would be.
        aircraft->drop = 1;
        return;
    }
    g_liveCreateQueue.push_back(lf_liveCreateRequest(*aircraft));
}

}  // namespace

void lf_pumpQueues()
{
    const int32_t tick = g_fastTicks;
    if (tick % kRemoveEvery == 0 && !g_removeIdQueue.empty()) {
        gf_queueRemoveAc(g_removeIdQueue.front());
        g_removeIdQueue.pop_front();
    }
    if (tick % kCreateEvery != 0) return;
    if (lf_creationsPaused()) {
        lf_continueParking();
        return;
    }
    if (!g_liveCreateQueue.empty()) {
        AiCreateRequest& request = g_liveCreateQueue.front();
        if (LiveAc* aircraft = lf_findLive(request.hexId)) {
            request = lf_liveCreateRequest(*aircraft);
            lf_noteHandedOver(*aircraft, tick, true);
        }
        gf_queueCreateAc(request);
        lf_noteCreationHandedOver(request.hexId);
        g_liveCreateQueue.pop_front();
        return;
    }
    if (!g_staticCreateQueue.empty()) {
        gf_queueCreateAc(g_staticCreateQueue.front());
        lf_noteCreationHandedOver(g_staticCreateQueue.front().hexId);
        if (StaticAc* aircraft = lf_findStatic(g_staticCreateQueue.front().hexId)) {
            lf_noteHandedOver(*aircraft, tick, false);
        }
        g_staticCreateQueue.pop_front();
    }
    if (!g_staticCandidates.empty()) lf_detcs();
    lf_continueParking();
}

void lf_requestAcWithinRange()
{
    const int32_t tick = g_fastTicks;
    if (tick % kInRangeEvery == 0) g_inRangePending = true;
    if (g_inRangePending) {
        const auto sent = gf_tryRequestAircraftInRange();
        if (sent) g_inRangePending = false;
    }
    if (tick % kUserStateEvery == 0) g_userState = gf_pollUserAcPosition();
}

int32_t gf_runDueFastTicks()
{
    // A turn late by more than this loses the rest: the motion of a machine that stood still for
    // many seconds is not worth the time it would take now. A loaded machine (the simulator beside
    // it) stands still for a second now and then: losing all past half a second of it, every
    // aircraft fell that much further behind its reports, and the second after showed it 55 kt
    // slow.
    constexpr int64_t kMostDue = 300;
    constexpr auto kTick = std::chrono::milliseconds(10);
    auto& runTo = g_trafficRun.ticksRunTo;
    const auto now = platform::steadyNow();
    if (!runTo) {
        runTo = now;
        lf_handleAddingStack();
        return 1;
    }
    // To the nearest tick: a turn a little early or late on the main loop's grid runs one.
    const int64_t due = (now - *runTo + kTick / 2) / kTick;
    if (due <= 0) return 0;
    *runTo += due * kTick;
    const auto run = static_cast<int32_t>(std::min(due, kMostDue));
    for (int32_t k = 0; k < run; ++k) lf_handleAddingStack();
    return run;
}

void lf_handleAddingStack()
{
    lf_handleSimConnectResults();
    lf_dropUnansweredCreations();
    lf_updateAll();
    gf_publishPositionBatch();
    lf_pumpQueues();
    lf_mergeReports();
    lf_buildCreateRequest();
    lf_requestAcWithinRange();
    ++g_fastTicks;
}

}  // namespace qel
