// Removal of aircraft from the simulator, and the rules that keep the traffic free of doubles:
// ghosts, static aircraft standing in for a live flight that has appeared, static aircraft in
// the path of taxiing traffic, and who may take an occupied stand.
//
// Threads: main-loop thread. The window's commands reach these through the main loop's queue.
#include <algorithm>
#include <cmath>
#include <string>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/window_status.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/motion_math.h"
#include "traffic/stands.h"
#include "traffic/traffic.h"

namespace qel {

namespace {

constexpr double kMoved_deg = 1e-8;
// No two points are nearer than their difference in latitude: 60 nm a degree on the program's
// sphere, less a margin for rounding. Checked before the great-circle distance, it spares the
// trigonometry for all but the few statics at the same latitude.
constexpr double kNmPerDegreeLatitudeAtLeast = 59.9;

bool lf_isParkedLike(FlightPhase phase)
{
    return phase == FlightPhase::parked || phase == FlightPhase::pushing_back ||
           phase == FlightPhase::pushed_back;
}

std::string lf_withoutLast(const std::string& text)
{
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

void lf_withdrawCreation(StaticAc& aircraft)
{
    // Still waiting for its create request: nothing has reached the simulator link yet.
    const auto spawned = std::find(g_spawnHexids.begin(), g_spawnHexids.end(), aircraft.hexId);
    if (spawned != g_spawnHexids.end()) {
        g_spawnHexids.erase(spawned);
        aircraft.dropWhileQueued = 1;
        return;
    }
    if (lf_isQueuedForCreation(g_liveCreateQueue, aircraft.hexId) ||
        lf_isQueuedForCreation(g_staticCreateQueue, aircraft.hexId)) {
        aircraft.dropWhileQueued = 1;
        return;
    }
    // Handed to the link, but no frame has sent it yet: no object will come.
    if (aircraft.objectId == 0 && gf_withdrawCreateAc(aircraft.hexId)) {
        // A full simulator's room that it was counted against is free again.
        lf_noteCreationTookNoRoom(aircraft.hexId);
        aircraft.dropWhileQueued = 1;
        return;
    }
    aircraft.removeWhenCreated = 1;
}

LiveAc* lf_occupantOf(uint32_t standId)
{
    for (LiveAc& aircraft : g_liveAcs) {
        if (aircraft.standId == standId && aircraft.state != SimObjectState::removingfromsim &&
            !aircraft.drop && !aircraft.dropWhileQueued) {
            return &aircraft;
        }
    }
    return nullptr;
}

bool lf_staticDoubles(const LiveAc& live, const StaticAc& statik, const std::string& c, bool ghost)
{
    if (statik.placedBy == 0 && statik.partnerHexId == live.hexId) return true;
    if (!live.registration.empty() && live.registration == statik.registration) return true;
    if (live.callsign == statik.secondCallsign || live.callsign == statik.thirdText) return true;
    if (!live.thirdText.empty() &&
        (live.thirdText == statik.secondCallsign || live.thirdText == statik.thirdText)) {
        return true;
    }
    return ghost && (c == statik.secondCallsign || c == statik.thirdText);
}

bool lf_notLeaving(const LiveAc& aircraft)
{
    return aircraft.state != SimObjectState::removingfromsim;
}

}  // namespace

void removeAircraftFromSim(StaticAc& aircraft)
{
    const bool live = gf_isLiveHexId(aircraft.hexId);
    if (aircraft.state == SimObjectState::buffer) {
        aircraft.drop = 1;
        return;
    }
    if (aircraft.removeWhenCreated) return;
    if (aircraft.state == SimObjectState::adding2sim) {
        if (!aircraft.dropWhileQueued) lf_withdrawCreation(aircraft);
        return;
    }
    // Queued once: a second request would remove an object id the simulator may reuse.
    if (aircraft.state == SimObjectState::removingfromsim) return;
    if (live && aircraft.state == SimObjectState::liveryrespawn) {
        // Its removal is queued already; the report of it now erases the record instead of
        // making it spawn again.
        lf_releaseStand(aircraft.standId, aircraft.hexId);
        lf_setLiveState(static_cast<LiveAc&>(aircraft), SimObjectState::removingfromsim);
        return;
    }
    if (live) {
        lf_releaseStand(aircraft.standId, aircraft.hexId);
        lf_setLiveState(static_cast<LiveAc&>(aircraft), SimObjectState::removingfromsim);
    } else {
        aircraft.state = SimObjectState::removingfromsim;
    }
    if (aircraft.objectId == 0) {
        gf_logHighlighted(fmt::format("{} removing act {}, with objectid=0 ?",
                                      "removeAircraftFromSim", gf_flightDescription(aircraft)));
        // Nothing to remove in the simulator: the record goes at the next compaction.
        aircraft.drop = 1;
        return;
    }
    g_removeIdQueue.push_back(aircraft.objectId);
    // The window's list comes last: a fault there must not keep the object in the simulator.
    if (live && g_selectedObjectId == aircraft.objectId) gf_refreshAcList();
}

void lf_logLiveRemoval(const LiveAc& aircraft, std::string_view why)
{
    if (aircraft.standId != 0) {
        gf_log(fmt::format("{:8}: {:8} removed, {}", gf_standNameById(aircraft.standId),
                           aircraft.callsign, why));
    } else {
        gf_log(fmt::format("          {:8} removed, {}", aircraft.callsign, why));
    }
}

void lf_removeLiveFor(LiveAc& aircraft, std::string_view why)
{
    // An object the simulator has given an id is in its world, shown, whether or not it is driven
    // yet: its removal is said too. Created and not yet driven, a parked B738 whose reports moved
    // 450 m was taken out 2 s after it appeared, and Log.txt said nothing of it.
    const bool created = aircraft.state == SimObjectState::adding2sim && aircraft.objectId != 0;
    if (created || aircraft.state == SimObjectState::active ||
        aircraft.state == SimObjectState::liveryrespawn) {
        lf_logLiveRemoval(aircraft, why);
    }
    removeAircraftFromSim(aircraft);
}

bool lf_isQueuedForCreation(std::deque<AiCreateRequest>& queue, uint32_t hexId)
{
    // By hex id: two flights may share a callsign, and only this one is withdrawn.
    const auto found = std::find_if(queue.begin(), queue.end(),
                                    [hexId](const AiCreateRequest& r) { return r.hexId == hexId; });
    if (found == queue.end()) return false;
    queue.erase(found);
    return true;
}

void lf_checkGhost(const std::string& callsign)
{
    const std::string ghost = callsign + "_";
    LiveAc* aircraft = lf_findLiveByCallsign(ghost, lf_notLeaving);
    // A ghost held out at the live limit is remembered as its waiting record would have been.
    if (!aircraft && !lf_forgetHeldOut(ghost)) return;
    if (aircraft && aircraft->phase == FlightPhase::parked) {
        gf_log(fmt::format("{:8}: {:8} is a ghost and will be removed, continue with {}",
                           gf_standNameById(aircraft->standId), ghost, callsign));
    } else {
        gf_log(fmt::format("          {:8} is a ghost and will be removed, continue with {}", ghost,
                           callsign));
    }
    g_ghostCallsigns.push_back(ghost);
    if (aircraft) removeAircraftFromSim(*aircraft);
}

bool lf_hasRealTwin(const std::string& callsign)
{
    if (!callsign.ends_with('_')) return false;
    const std::string real = lf_withoutLast(callsign);
    return lf_findLiveByCallsign(real, lf_notLeaving) != nullptr || lf_heldOut(real);
}

bool lf_standFreeFor(uint32_t standId, const std::string& callsign)
{
    LiveAc* occupant = lf_occupantOf(standId);
    if (!occupant || !lf_isParkedLike(occupant->phase) ||
        occupant->state != SimObjectState::active) {
        return true;
    }
    const std::string stand = gf_standNameById(standId);
    if (occupant->callsign == callsign) {
        gf_log(fmt::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ",
                           stand, occupant->callsign, callsign));
        removeAircraftFromSim(*occupant);
        return true;
    }
    const std::string a = lf_withoutLast(callsign);
    const std::string b = lf_withoutLast(occupant->callsign);
    if (a == occupant->callsign) return false;
    const bool occupantGhost = occupant->callsign.ends_with('_');
    const bool newcomerGhost = callsign.ends_with('_');
    if (b == callsign || (occupantGhost && !newcomerGhost)) {
        gf_log(fmt::format("{:8}: {:8} ghost, replace by {}", stand, occupant->callsign, callsign));
        removeAircraftFromSim(*occupant);
        return true;
    }
    if (newcomerGhost && !occupantGhost) return false;
    if (occupant->departurePending) return false;
    gf_log(fmt::format("{:8}: {:8} removed because another live {} wants the stand ...", stand,
                       occupant->callsign, callsign));
    removeAircraftFromSim(*occupant);
    return true;
}

void lf_removeStaticsOfLiveAc(const LiveAc& live)
{
    if (live.callsign.empty()) return;
    const bool ghost = live.callsign.ends_with('_');
    const std::string c = ghost ? lf_withoutLast(live.callsign) : live.callsign;
    for (StaticAc& statik : g_staticAcs) {
        if (statik.state == SimObjectState::active && lf_staticDoubles(live, statik, c, ghost)) {
            removeAircraftFromSim(statik);
            return;
        }
    }
}

void lf_removeAllStatics()
{
    // The planned ones too: "Flush static" and a time shift would otherwise see them created
    // one by one after the flush.
    g_staticCandidates.clear();
    for (StaticAc& statik : g_staticAcs) removeAircraftFromSim(statik);
    std::erase_if(g_staticAcs, [](const StaticAc& s) { return s.dropWhileQueued != 0; });
}

void lf_clearReservedStand(const std::string& standName)
{
    const uint32_t standId = standName.empty() ? 0 : lf_standIdByName(standName);
    if (standId == 0) return;
    for (StaticAc& statik : g_staticAcs) {
        if (statik.standId == standId && statik.state == SimObjectState::active) {
            removeAircraftFromSim(statik);
            return;
        }
    }
    for (LiveAc& live : g_liveAcs) {
        if (live.standId == standId && live.state == SimObjectState::active &&
            live.phase == FlightPhase::parked) {
            lf_removeLiveFor(live, "its stand is reserved");
            return;
        }
    }
}

namespace {

void lf_removeStaticInPath(LiveAc& live)
{
    if (!live.onGround || live.takeOff || live.landing || live.landingRoll) return;
    live.groundLat = live.position.latitude;
    live.groundLon = live.position.longitude;
    const LatLon here{live.position.latitude, live.position.longitude};
    for (StaticAc& statik : g_staticAcs) {
        if (statik.state != SimObjectState::active) continue;
        const double reach_nm = (live.size_nm + statik.size_nm) * 1.1;
        if (std::abs(statik.standLat - here.lat) * kNmPerDegreeLatitudeAtLeast > reach_nm) {
            continue;
        }
        if (statik.callsign == live.callsign) continue;
        if (gf_distanceNm(here, {statik.standLat, statik.standLon}) <= reach_nm) {
            removeAircraftFromSim(statik);
            return;
        }
    }
}

}  // namespace

void lf_checkMovedOnGround()
{
    if (g_staticAcs.empty()) return;
    for (LiveAc& live : g_liveAcs) {
        if (live.state != SimObjectState::active || !live.onGround ||
            (live.phase != FlightPhase::taxi && live.phase != FlightPhase::parking)) {
            continue;
        }
        if (std::abs(live.position.latitude - live.groundLat) >= kMoved_deg ||
            std::abs(lf_lonDelta(live.position.longitude, live.groundLon)) >= kMoved_deg) {
            lf_removeStaticInPath(live);
        }
    }
}

void lf_removeDuplicateRegs()
{
    if (g_staticAcs.empty()) return;
    std::string starred;
    for (const LiveAc& live : g_liveAcs) {
        if (live.state != SimObjectState::active || !live.onGround) continue;
        // Built once per live flight, not once per static it is compared with.
        starred.assign(live.callsign).push_back('*');
        for (StaticAc& statik : g_staticAcs) {
            if (statik.state != SimObjectState::active) continue;
            if ((!live.registration.empty() && statik.registration == live.registration) ||
                statik.callsign == starred) {
                removeAircraftFromSim(statik);
                return;
            }
        }
    }
}

std::optional<uint32_t> gf_objectIdOfCallsign(const std::string& callsign)
{
    for (const LiveAc& live : g_liveAcs) {
        if (live.state == SimObjectState::active && live.callsign == callsign) {
            return live.objectId;
        }
    }
    return std::nullopt;
}

void gf_removeLiveByCallsign(const std::string& callsign)
{
    for (LiveAc& live : g_liveAcs) {
        if (live.state == SimObjectState::active && live.callsign == callsign) {
            lf_removeLiveFor(live, "its callsign is blocked");
            return;
        }
    }
}

void gf_removeLiveAircraft()
{
    for (LiveAc& live : g_liveAcs) removeAircraftFromSim(live);
}

}  // namespace qel
