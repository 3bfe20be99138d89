// Small services around the traffic lists: the traffic list file, the callsign choices of the
// main window and their reset, stand names, the removal of the live aircraft farthest from the
// user, the take-over of the Traffic Reader's live ids, and the counts the window shows.
//
// Threads: main-loop thread. The window reaches these through the main loop's queue, and is
// reached through the hooks it fills in at start.
#include <algorithm>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/strings.h"
#include "foundation/window_status.h"
#include "realtraffic/realtraffic.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/stands.h"
#include "traffic/traffic.h"
#include "traffic/traffic_run.h"

namespace qel {

TrafficWindowHooks g_trafficWindowHooks;
std::unordered_set<std::string, Fnv1aHash>& g_rtCallsigns = g_trafficRun.rtCallsigns;
std::unordered_set<uint32_t, Fnv1aHash>& g_rtHexIds = g_trafficRun.rtHexIds;

namespace {

std::string lf_csvLine(const LiveAc& aircraft)
{
    return fmt::format("{};{};{};{};{};{};{}", gf_toHex(aircraft.objectId), aircraft.callsign,
                       aircraft.registration, g_airlineCodes.text(aircraft.key.airline),
                       g_modelCodes.text(aircraft.key.model), aircraft.onGround ? "GND" : "AIR",
                       aircraft.phase == FlightPhase::parked ? "PARKED" : "");
}

}  // namespace

void lf_writeTrafficCsv()
{
    std::vector<std::string> lines;
    lines.reserve(g_liveAcs.size() + 1);
    for (const LiveAc& aircraft : g_liveAcs) {
        if (aircraft.state == SimObjectState::active) lines.push_back(lf_csvLine(aircraft));
    }
    if (!gf_writeLines(lines, g_objectIdListTxt)) {
        gf_logHighlighted(fmt::format("Failed to write {}", g_objectIdListTxt.string()));
    }
}

std::vector<std::string> gf_activeLiveCallsigns()
{
    std::vector<std::string> callsigns;
    for (const LiveAc& aircraft : g_liveAcs) {
        if (aircraft.state == SimObjectState::active && aircraft.phase != FlightPhase::parked) {
            callsigns.push_back(aircraft.callsign);
        }
    }
    std::sort(callsigns.begin(), callsigns.end());
    return callsigns;
}

void lf_fillCallsignCombo()
{
    auto callsigns = gf_activeLiveCallsigns();
    const bool any = !callsigns.empty();
    if (any && CALLSIGN_2_OBJECTID.value() != callsigns.front()) {
        CALLSIGN_2_OBJECTID.assign(callsigns.front());
    }
    CALLSIGN_2_OBJECTID.replaceChoices(
        std::make_shared<const SharedComboStringParameter::Choices>(std::move(callsigns)));
    gf_fillCallsignCombo();
    if (g_trafficWindowHooks.callsignListFilled) g_trafficWindowHooks.callsignListFilled(any);
}

void gf_refreshAcList()
{
    g_selectedObjectId = 0;
    g_trafficWindowStatus.selectedAircraftText.set({});
    gf_invalidateArea(WindowArea::ControlBand);
    CALLSIGN_2_OBJECTID.replaceChoices(
        std::make_shared<const SharedComboStringParameter::Choices>(1, std::string()));
    CALLSIGN_2_OBJECTID.assign("");
    gf_fillCallsignCombo();
    if (g_trafficWindowHooks.refreshAcList) g_trafficWindowHooks.refreshAcList();
}

std::string gf_standNameById(uint32_t standId)
{
    if (standId == 0) return "sid==0?";
    auto name = lf_standName(standId);
    return name ? *name : std::string("sid==?");
}

namespace {

constexpr double kFartherBy_nm = 0.1;

// At the limit every newcomer of a poll falls due in the same tick, and each one walking all
// active aircraft froze frames: they are measured once per tick and heaped, farthest on top (only
// the farthest few are ever asked for: a full sort cost a third of the measuring), and a removal
// takes the top. An entry whose aircraft left state active since is skipped when it comes up; one
// that became active since makes them be measured again.
std::vector<std::pair<double, uint32_t>>& lf_activeByDistance(int32_t measuredWithin_ticks)
{
    auto& list = g_trafficRun.activeByDistance;
    const int64_t age = int64_t{g_fastTicks} - g_trafficRun.activeByDistanceTick;
    if (g_trafficRun.activeByDistanceTick >= 0 && age >= 0 && age <= measuredWithin_ticks) {
        return list;
    }
    g_trafficRun.activeByDistanceTick = g_fastTicks;
    list.clear();
    const DistancesFrom fromUser({g_userState.latitude, g_userState.longitude});
    for (const LiveAc& aircraft : g_liveAcs) {
        if (aircraft.state != SimObjectState::active) continue;
        const LatLon at{aircraft.position.latitude, aircraft.position.longitude};
        list.emplace_back(fromUser.nm(at), aircraft.hexId);
    }
    std::make_heap(list.begin(), list.end());
    return list;
}

LiveAc* lf_farthestActive(double distance_nm, int32_t measuredWithin_ticks)
{
    auto& list = lf_activeByDistance(measuredWithin_ticks);
    while (!list.empty()) {
        LiveAc* aircraft = lf_findLive(list.front().second);
        if (aircraft && aircraft->state == SimObjectState::active) break;
        std::pop_heap(list.begin(), list.end());
        list.pop_back();
    }
    if (list.empty()) return nullptr;
    if (distance_nm >= 0.0 && list.front().first <= distance_nm + kFartherBy_nm) return nullptr;
    return lf_findLive(list.front().second);
}

}  // namespace

bool lf_farthestLiveLiesBeyond(double distance_nm, int32_t measuredWithin_ticks)
{
    return lf_farthestActive(distance_nm, measuredWithin_ticks) != nullptr;
}

bool lf_removeFarthestLiveAc(double distance_nm)
{
    LiveAc* farthest = lf_farthestActive(distance_nm, 0);
    if (!farthest) return false;
    lf_removeLiveFor(*farthest, "the farthest at the live aircraft limit");
    return true;
}

void gf_applyNavLightsWhileParked()
{
    const uint32_t on = NAV_LIGHTS_WHILE_PARKED.current ? 1U : 0U;
    for (const StaticAc& aircraft : g_staticAcs) {
        if (aircraft.state == SimObjectState::active) gf_queueNavLights(aircraft.objectId, on);
    }
    for (const LiveAc& aircraft : g_liveAcs) {
        if (aircraft.state == SimObjectState::active && aircraft.phase == FlightPhase::parked) {
            gf_queueNavLights(aircraft.objectId, on);
        }
    }
}

namespace {

bool lf_stillComing(const LiveAc& aircraft)
{
    return aircraft.state == SimObjectState::adding2sim && !aircraft.drop &&
           !aircraft.dropWhileQueued && !aircraft.removeWhenCreated;
}

// The live creations under way, in the order their objects appear: made by the simulator and
// waiting for activation, sent or handed to the link, the requests in line, then the spawned
// ones whose request is still to be built (taken from the back).
std::vector<uint32_t> lf_creationsInLine()
{
    std::vector<uint32_t> line;
    for (const bool made : {true, false}) {
        for (const LiveAc& aircraft : g_liveAcs) {
            if (!lf_stillComing(aircraft) || (aircraft.objectId != 0) != made) continue;
            if (made || aircraft.handedOverTick >= 0) line.push_back(aircraft.hexId);
        }
    }
    const auto inLine = [&line](uint32_t hexId) {
        const LiveAc* aircraft = lf_findLive(hexId);
        if (aircraft && lf_stillComing(*aircraft)) line.push_back(hexId);
    };
    for (const AiCreateRequest& request : g_liveCreateQueue) inLine(request.hexId);
    std::for_each(g_spawnHexids.rbegin(), g_spawnHexids.rend(), inLine);
    return line;
}

}  // namespace

void gf_applyMaxLiveSel()
{
    const int32_t limit = std::max<int32_t>(MAX_LIVE_SEL.current, 0);
    const std::vector<uint32_t> line = lf_creationsInLine();
    // The creations above the limit are withdrawn before any active aircraft goes: one still
    // sent would put an object into the simulator only to be removed, and the count would climb
    // after the user lowered it.
    const auto room = static_cast<std::size_t>(std::max(limit - g_activeLiveCount, 0));
    for (std::size_t i = room; i < line.size(); ++i) removeAircraftFromSim(*lf_findLive(line[i]));
    const auto kept = static_cast<int32_t>(std::min(room, line.size()));
    // Then the farthest active ones; their objects go one a removal turn.
    while (g_activeLiveCount + kept > limit && lf_removeFarthestLiveAc(-1.0)) {
    }
}

void lf_takeOverRtIds()
{
    // The reader hands its sets over under its own lock, so no insert can be under way.
    LiveIds ids = gf_takeLiveIds();
    g_rtCallsigns = std::move(ids.callsigns);
    g_rtHexIds = std::move(ids.hexIds);
}

TrafficCounts gf_trafficCounts()
{
    TrafficCounts counts;
    for (const LiveAc& aircraft : g_liveAcs) {
        if (aircraft.state != SimObjectState::active) continue;
        if (aircraft.phase == FlightPhase::parked) {
            ++counts.parkedLive;
        } else {
            ++counts.live;
        }
    }
    for (const StaticAc& aircraft : g_staticAcs) {
        if (aircraft.state == SimObjectState::active) ++counts.statics;
    }
    return counts;
}

std::size_t gf_staticCandidateCount() { return g_staticCandidates.size(); }
void gf_clearNoMatchFlights() { g_noMatchFlights.clear(); }
void gf_clearGhostCallsigns() { g_ghostCallsigns.clear(); }

}  // namespace qel
