// What becomes of creations the simulator never answers or refuses for want of room. The link
// removes the object of a creation given up; here a flight whose creation was given up waits
// for a change before it is requested again, and a full simulator gets creations as fast as
// objects are seen leaving it, and a trial now and then for room freed unseen.
//
// Threads: main-loop thread.
#include <algorithm>

#include "foundation/geodesy.h"
#include "foundation/globals.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/stands.h"
#include "traffic/traffic_run.h"

namespace qel {

namespace {

// A flight beyond the radius in which the link pairs new objects is tried again only this far
// inside it: one at the edge would be lost again as it wanders along it.
constexpr double kWellInside_nm = 3.0;
constexpr double kMetresPerNm = 1852.0;
// A flight lost while inside the radius has a fault of its own: 2 min, then 4, 8, 16, 32.
constexpr int64_t kFirstPause_ticks = 12000;
constexpr int32_t kPauseDoublings = 4;
// After an hour a flight is judged anew, so that the book stays small.
constexpr int64_t kForget_ticks = 360000;
// Trials of a full simulator: 1 min after its refusal, then 2, 4 and 8 min at most.
constexpr int32_t kFirstTrialPause_ticks = 6000;
constexpr int32_t kLongestTrialPause_ticks = 48000;

std::unordered_map<uint32_t, GivenUpCreation>& g_givenUpCreations = g_trafficRun.givenUpCreations;
std::optional<FullSimulator>& g_fullSimulator = g_trafficRun.fullSimulator;

bool lf_wellInsideRadius(double latitude, double longitude)
{
    const double radius_nm = g_range_m.load() / kMetresPerNm;
    const double distance_nm =
        gf_distanceNm({g_userState.latitude, g_userState.longitude}, {latitude, longitude});
    return distance_nm <= radius_nm - kWellInside_nm;
}

}  // namespace

void lf_noteGivenUpCreation(const LiveAc& aircraft)
{
    GivenUpCreation& entry = g_givenUpCreations[aircraft.hexId];
    ++entry.count;
    entry.tick = g_fastTicks;
    // Its object stood where the record's position block put it at the hand-over.
    entry.beyondRadius =
        !lf_wellInsideRadius(aircraft.position.latitude, aircraft.position.longitude);
}

bool lf_creationHeldBack(const LiveAc& aircraft)
{
    const auto found = g_givenUpCreations.find(aircraft.hexId);
    if (found == g_givenUpCreations.end() || aircraft.samples.empty()) return false;
    const GivenUpCreation& entry = found->second;
    if (entry.beyondRadius) {
        const PosSample& first = aircraft.samples.front();
        return !lf_wellInsideRadius(first.latitude, first.longitude);
    }
    const int32_t doublings = std::clamp(entry.count - 1, 0, kPauseDoublings);
    return int64_t{g_fastTicks} - entry.tick < (kFirstPause_ticks << doublings);
}

void lf_forgetGivenUpCreation(uint32_t hexId) { g_givenUpCreations.erase(hexId); }

void lf_forgetOldGiveUps()
{
    std::erase_if(g_givenUpCreations, [](const auto& entry) {
        return int64_t{g_fastTicks} - entry.second.tick >= kForget_ticks;
    });
}

bool lf_creationsPaused()
{
    return g_fullSimulator && g_fullSimulator->room <= 0 &&
           g_fastTicks < g_fullSimulator->trialTick;
}

void lf_noteCreationHandedOver(uint32_t hexId)
{
    if (!g_fullSimulator) return;
    FullSimulator& full = *g_fullSimulator;
    if (full.room > 0) {
        --full.room;
        return;
    }
    // Beyond the counted room: a trial. One whose answer never comes is replaced by the next.
    full.trialHexId = hexId;
    full.trialTick = g_fastTicks + full.pause_ticks;
}

void lf_noteRoomMade()
{
    if (g_fullSimulator) ++g_fullSimulator->room;
}

void lf_noteCreationTookNoRoom(uint32_t hexId)
{
    if (!g_fullSimulator) return;
    FullSimulator& full = *g_fullSimulator;
    if (full.trialHexId != hexId) {
        ++full.room;
        return;
    }
    // The trial was counted against no room, and told nothing: the next creation tries again.
    full.trialHexId.reset();
    full.trialTick = g_fastTicks;
}

void lf_noteCreationMade(uint32_t hexId)
{
    if (g_fullSimulator && g_fullSimulator->trialHexId == hexId) g_fullSimulator.reset();
}

void lf_onSimulatorFull(const SimResult& result)
{
    const bool ours = result.value1 != 0.0;
    if (!g_fullSimulator) {
        g_fullSimulator = FullSimulator{0, kFirstTrialPause_ticks, 0, std::nullopt};
    } else if (ours && g_fullSimulator->trialHexId == result.hexId) {
        g_fullSimulator->pause_ticks =
            std::min(g_fullSimulator->pause_ticks * 2, kLongestTrialPause_ticks);
        g_fullSimulator->trialHexId.reset();
    }
    g_fullSimulator->room = 0;
    g_fullSimulator->trialTick = g_fastTicks + g_fullSimulator->pause_ticks;
    if (!ours) return;
    // The refused creation ends now, as a failed one, but its livery is not to blame.
    if (gf_isLiveHexId(result.hexId)) {
        LiveAc* aircraft = lf_findLive(result.hexId);
        if (!aircraft || aircraft->state != SimObjectState::adding2sim || aircraft->objectId != 0) {
            return;
        }
        lf_releaseStand(aircraft->standId, aircraft->hexId);
        aircraft->drop = 1;
        return;
    }
    StaticAc* aircraft = lf_findStatic(result.hexId);
    if (aircraft && aircraft->state == SimObjectState::adding2sim && aircraft->objectId == 0) {
        aircraft->drop = 1;
    }
}

}  // namespace qel
