// What the simulator did, as the "SimClient" thread reported it: object ids of created aircraft
// with their flight plan and ground set-up, ground reports, static CG data, completed removals,
// blocked callsigns and failed creations; then the activation of created objects 2 s later.
//
// Threads: main-loop thread. The results are taken out under g_simResultMutex in one move and
// handled without it; the client events go out under g_simQueueMutex inside the queue calls.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/time.h"
#include "foundation/log.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/parked_plan.h"
#include "traffic/traffic_run.h"

namespace qel {

namespace {

constexpr int32_t kActivationPasses = 200;  // 2 s of ticks after creation
constexpr double kMinCg_ft = 1.0;
constexpr double kMaxCg_ft = 35.0;
constexpr double kMinPitch_rad = -0.017453292519943295;     // -1°
constexpr double kMaxPitch_rad = 0.04363323129985824;       // 2.5°
constexpr double kDefaultPitch_rad = 0.012217304763960306;  // 0.7°
constexpr double kLandingAltitude_ft = 10000.0;
constexpr double kCabinHeight_ft = 2000.0;

std::vector<SimResult>& g_results = g_trafficRun.results;

void lf_setAiFlightPlan(LiveAc& aircraft)
{
    if (aircraft.origin[0] == 0 || aircraft.destination[0] == 0) return;
    // Without this run's folder the plan would land in the working folder.
    if (gf_flightPlanFolder().empty()) return;
    const auto path = gf_flightPlanPath(aircraft.objectId);
    FlightPlanData plan;
    plan.weightClass = static_cast<uint32_t>(aircraft.weightClass);
    plan.origin = aircraft.origin;
    plan.destination = aircraft.destination;
    bool ok = gf_writeFlightPlan(path, plan);
    if (ok && gf_simulatorTakesFlightPlans()) ok = gf_setAiFlightPlan(aircraft.objectId, path);
    aircraft.hasFlightPlan = ok ? 1 : 0;
    if (!ok) {
        gf_logHighlighted(
            fmt::format("{} creating a flight plan failed", gf_flightShortDescription(aircraft)));
    }
}

void lf_parkOnCreation(LiveAc& aircraft)
{
    aircraft.onGround = 1;
    gf_setGear(aircraft, true);
    aircraft.altRate = 0.0;
    if (aircraft.phase != FlightPhase::parked) {
        aircraft.countdown = 1;
        return;
    }
    const int64_t now = gf_trafficTime();
    aircraft.parkedWeekday = static_cast<uint32_t>(std::max(gf_weekdayOf(now), 0));
    aircraft.parkedSlot = static_cast<uint32_t>(std::max(gf_halfHourSlotOf(now), 0));
    gf_log(fmt::format("{:8}: {:8} parks", gf_standNameById(aircraft.standId), aircraft.callsign));
    lf_dropCandidatesOfStand(aircraft.standId);
    for (StaticAc& statik : g_staticAcs) {
        if (statik.standId != aircraft.standId || statik.state != SimObjectState::active) continue;
        gf_log(fmt::format("{:8}: {:8} parks over static {} ", gf_standNameById(aircraft.standId),
                           aircraft.callsign, statik.callsign));
        removeAircraftFromSim(statik);
    }
}

bool lf_onObjectCreated(LiveAc& aircraft, const SimResult& result)
{
    if (result.objectId < 3) return false;
    if (LiveAc* other = lf_findLiveByObject(result.objectId); other && other != &aircraft) {
        return false;
    }
    lf_setLiveObjectId(aircraft, result.objectId);
    aircraft.heightAboveGround_ft = result.value2;
    if (!aircraft.samples.empty() && !aircraft.samples.front().airborne) {
        lf_parkOnCreation(aircraft);
    }
    lf_setAiFlightPlan(aircraft);
    gf_requestStaticCg(result.objectId);
    return true;
}

void lf_onLiveCreated(const SimResult& result)
{
    LiveAc* aircraft = lf_findLive(result.hexId);
    // An object for a record that is gone, or that already has its object, would stay in the
    // simulator for good.
    if (!aircraft || aircraft->state != SimObjectState::adding2sim || aircraft->objectId != 0) {
        if (result.objectId >= 3) g_removeIdQueue.push_back(result.objectId);
        return;
    }
    if (!lf_onObjectCreated(*aircraft, result)) return;
    lf_noteCreationMade(aircraft->hexId);
    lf_forgetGivenUpCreation(aircraft->hexId);
    g_createdObjects.push_back(result);
}

void lf_onStaticCreated(const SimResult& result)
{
    StaticAc* aircraft = lf_findStatic(result.hexId);
    // As for a live record: a second object for one that already has its own would stay in the
    // simulator for good.
    if (!aircraft || aircraft->state != SimObjectState::adding2sim || aircraft->objectId != 0 ||
        result.objectId < 3) {
        if (result.objectId >= 3) g_removeIdQueue.push_back(result.objectId);
        return;
    }
    lf_setStaticObjectId(*aircraft, result.objectId);
    lf_noteCreationMade(aircraft->hexId);
    g_createdObjects.push_back(result);
}

void lf_touchdown(LiveAc& aircraft)
{
    aircraft.landingRoll = 1;
    aircraft.approach = 0;
    aircraft.landing = 0;
    aircraft.targetHeading_rad = aircraft.position.heading_rad;
    aircraft.touchdownHeading_rad = aircraft.position.heading_rad;
    aircraft.pitchDown = 1;
    aircraft.touchdown = 1;
    gf_setSpoilers(aircraft, true);
    if (aircraft.weightClass != WeightClass::Light) {
        const double throttle = aircraft.fsltl ? -100.0 : 100.0;
        gf_setAiControls(aircraft.objectId, 100.0, throttle, throttle);
    }
    const double k = std::max(aircraft.deRotationTicks, 1);
    aircraft.pitchRate = (aircraft.pitchAtRest_rad - aircraft.position.pitch_rad) / k;
    aircraft.bankRate = (0.0 - aircraft.position.bank_rad) / k;
    g_standCheckQueue.push_back(aircraft.hexId);
}

void lf_onGroundReport(const SimResult& result)
{
    LiveAc* aircraft = lf_findLiveByObject(result.objectId);
    if (!aircraft) return;
    if (result.hexId == 1 && !aircraft->onGround && aircraft->countdown <= 1 &&
        aircraft->state != SimObjectState::removingfromsim &&
        aircraft->phase != FlightPhase::take_off) {
        if (aircraft->approach || aircraft->landing) lf_touchdown(*aircraft);
        aircraft->onGround = 1;
        aircraft->altRate = 0.0;
        aircraft->countdown = 1;
    }
    aircraft->heightAboveGround_ft = result.value2;
    if (aircraft->onGround || aircraft->countdown >= 2) {
        aircraft->position.altitude_ft = result.value1 + aircraft->cgHeight_ft;
    }
}

void lf_onStaticCg(const SimResult& result)
{
    LiveAc* aircraft = lf_findLiveByObject(result.objectId);
    if (!aircraft) return;
    if (result.value1 >= kMinCg_ft && result.value1 <= kMaxCg_ft) {
        aircraft->cgHeight_ft = result.value1;
    }
    const double pitch = result.value2;
    aircraft->pitchAtRest_rad =
        (pitch <= kMinPitch_rad || pitch > kMaxPitch_rad) ? kDefaultPitch_rad : pitch;
}

void lf_removeFlightPlan(uint32_t objectId)
{
    std::error_code error;
    std::filesystem::remove(gf_flightPlanPath(objectId), error);
    if (error) gf_log(fmt::format("gf_removeFlightPlan: {}", error.message()));
}

void lf_onObjectRemoved(uint32_t objectId)
{
    if (LiveAc* aircraft = lf_findLiveByObject(objectId)) {
        if (aircraft->state == SimObjectState::liveryrespawn) {
            lf_setLiveState(*aircraft, SimObjectState::buffer);
            aircraft->throttleLevel = 5;
            aircraft->flapsIndex = 4;
            lf_setLiveObjectId(*aircraft, 0);
            return;
        }
        // Not asked for: the simulator took it out by itself (one that crashed), and its
        // reports may go on.
        if (aircraft->state == SimObjectState::active) {
            lf_logLiveRemoval(*aircraft, "the simulator took it out");
        }
        if (aircraft->hasFlightPlan) lf_removeFlightPlan(objectId);
        lf_eraseLiveAc(*aircraft);
        return;
    }
    if (StaticAc* aircraft = lf_findStaticByObject(objectId)) lf_eraseStaticAc(*aircraft);
}

void lf_handleBlockedCallsign(uint32_t hexId)
{
    LiveAc* aircraft = lf_findLive(hexId);
    if (!aircraft) return;
    if (aircraft->state == SimObjectState::buffer) {
        gf_log(fmt::format("{} will be removed from buffer while blocked",
                           gf_flightDescription(*aircraft)));
        aircraft->drop = 1;
    } else if (aircraft->state == SimObjectState::active) {
        gf_log(fmt::format("{} removed from simulator immediately while blocked",
                           gf_flightDescription(*aircraft)));
        removeAircraftFromSim(*aircraft);
    }
}

CreationFailure lf_failureOf(const StaticAc& aircraft)
{
    return {aircraft.callsign, aircraft.title, aircraft.key.model, aircraft.key.airline};
}

void lf_onCreationFailed(uint32_t hexId)
{
    if (gf_isLiveHexId(hexId)) {
        LiveAc* aircraft = lf_findLive(hexId);
        if (!aircraft) return;
        const CreationFailure failure = lf_failureOf(*aircraft);
        // The record goes even when the failed-livery limit throws below.
        std::string callsign = aircraft->callsign;
        lf_eraseLiveAc(*aircraft);
        onCreationFailed({callsign, failure.liveryTitle, failure.modelId, failure.airlineId});
        return;
    }
    StaticAc* aircraft = lf_findStatic(hexId);
    if (!aircraft) return;
    const CreationFailure failure = lf_failureOf(*aircraft);
    std::string callsign = aircraft->callsign;
    lf_eraseStaticAc(*aircraft);
    onCreationFailed({callsign, failure.liveryTitle, failure.modelId, failure.airlineId});
}

void lf_handleResult(const SimResult& result)
{
    switch (result.kind) {
    case SimResultKind::liveCreated: lf_onLiveCreated(result); break;
    case SimResultKind::staticCreated: lf_onStaticCreated(result); break;
    case SimResultKind::removed:
        // Id 0 is no object's: its removal frees no room, and counted as freed it would let one
        // more creation through to be refused.
        if (result.objectId != 0) lf_noteRoomMade();
        lf_onObjectRemoved(result.objectId);
        break;
    case SimResultKind::groundReport: lf_onGroundReport(result); break;
    case SimResultKind::staticCg: lf_onStaticCg(result); break;
    case SimResultKind::callsignBlocked: lf_handleBlockedCallsign(result.hexId); break;
    case SimResultKind::creationFailed:
        lf_noteCreationTookNoRoom(result.hexId);
        lf_onCreationFailed(result.hexId);
        break;
    case SimResultKind::simulatorFull: lf_onSimulatorFull(result); break;
    }
}

void lf_activateOnGround(LiveAc& aircraft)
{
    const bool parked = aircraft.phase == FlightPhase::parked;
    const uint32_t id = aircraft.objectId;
    gf_setSpoilers(aircraft, false);
    if (parked) {
        gf_queueEngineAutoShutdown(id);
    } else {
        gf_queueEngineAutoStart(id);
    }
    const uint32_t nav = parked ? (NAV_LIGHTS_WHILE_PARKED.current ? 1U : 0U) : 1U;
    const uint32_t taxi = aircraft.phase == FlightPhase::taxi ? 1U : 0U;
    gf_queueLightEvents(id, {nav, parked ? 0U : 1U, 0U, taxi, 0U, 1U, 1U});
    gf_setThrottle(aircraft, aircraft.weightClass == WeightClass::Rotorcraft ? 4 : 0);
    gf_setFlaps(aircraft, aircraft.phase == FlightPhase::taxi ? 1 : 0);
}

void lf_activateAirborne(LiveAc& aircraft)
{
    const uint32_t id = aircraft.objectId;
    gf_queueEngineAutoStart(id);
    gf_setSpoilers(aircraft, false);
    const uint32_t low = aircraft.position.altitude_ft <= kLandingAltitude_ft ? 1U : 0U;
    const uint32_t cabin = aircraft.heightAboveGround_ft >= kCabinHeight_ft ? 1U : 0U;
    gf_queueLightEvents(id, {1U, 1U, low, 0U, 1U, low, cabin});
}

// True when the entry is done (activated, or its record is gone).
bool lf_activateLive(SimResult& entry)
{
    LiveAc* aircraft = lf_findLive(entry.hexId);
    // An entry whose record is gone or carries another object would activate a newcomer that
    // reuses the hex id.
    if (!aircraft || aircraft->objectId != entry.objectId) return true;
    if (entry.passes < kActivationPasses) {
        ++entry.passes;
        if (entry.passes == 50 || entry.passes == 100) {
            gf_queueClientEvent(entry.objectId, kEventAllLightsToggle, 0);
        }
        return false;
    }
    if (aircraft->state != SimObjectState::adding2sim) return true;
    if (!aircraft->samples.empty() && !aircraft->samples.front().airborne) {
        lf_activateOnGround(*aircraft);
    } else {
        lf_activateAirborne(*aircraft);
    }
    lf_setLiveState(*aircraft, SimObjectState::active);
    if (aircraft->removeWhenCreated) {
        aircraft->removeWhenCreated = 0;
        removeAircraftFromSim(*aircraft);
    }
    return true;
}

bool lf_activateStatic(SimResult& entry)
{
    StaticAc* aircraft = lf_findStatic(entry.hexId);
    if (!aircraft || aircraft->objectId != entry.objectId) return true;
    if (entry.passes < kActivationPasses) {
        ++entry.passes;
        return false;
    }
    aircraft->state = SimObjectState::active;
    gf_setParkedConfig(*aircraft);
    gf_log(
        fmt::format("{:8}: {:8} parked", gf_standNameById(aircraft->standId), aircraft->callsign));
    if (aircraft->removeWhenCreated) {
        aircraft->removeWhenCreated = 0;
        removeAircraftFromSim(*aircraft);
    }
    return true;
}

}  // namespace

void lf_handleSimConnectResults()
{
    g_results.clear();
    gf_takeSimResults(g_results);
    for (const SimResult& result : g_results) {
        try {
            lf_handleResult(result);
        } catch (const UserErrorException&) {
            throw;
        } catch (const std::exception& e) {
            gf_logHighlighted(
                fmt::format("{} exception {}", "lf_handleSimConnectResults", e.what()));
        }
    }
    if (!g_createdObjects.empty()) lf_activateCreatedObjects();
}

void lf_activateCreatedObjects()
{
    std::erase_if(g_createdObjects, [](SimResult& entry) {
        return entry.kind == SimResultKind::liveCreated ? lf_activateLive(entry)
                                                        : lf_activateStatic(entry);
    });
}

}  // namespace qel
