// Push-back, pulling out and towing of live aircraft: how an aircraft leaves its stand (forwards,
// or pushed back with a tail swing), how an aircraft driving onto a stand is parked there, the
// re-creation in place with another livery, and the removal of an aircraft just ahead of the
// user.
//
// Threads: main-loop thread.
#include <chrono>
#include <cmath>
#include <exception>
#include <numbers>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "platform/clock.h"
#include "traffic/motion_math.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/motion.h"
#include "traffic/stands.h"
#include "traffic/parked_plan.h"
#include "traffic/schedule.h"
#include "traffic/traffic.h"

namespace qel {

namespace {

constexpr double kArrived_nm = 0.0010799136069114472;  // 2 m

// A moving ground sample at the stand taxi speed.
QueuedSample lf_groundSample(LatLon at, double speed_kt)
{
    QueuedSample s;
    s.latitude = at.lat;
    s.longitude = at.lon;
    s.groundSpeed_kt = speed_kt;
    return s;
}

void lf_leavingLights(LiveAc& aircraft)
{
    gf_queueLightEvents(aircraft.objectId, {1U, 1U, 0U, 1U, 0U, 1U, 0U});
}

}  // namespace

void lf_startPullingOut(LiveAc& aircraft)
{
    aircraft.departurePending = 0;
    aircraft.syntheticCount = 0;
    const double v = lf_standSpeed_kt(aircraft);
    const LatLon target =
        gf_destinationPoint({aircraft.standLat, aircraft.standLon}, aircraft.standHeading_rad,
                            2.0 * aircraft.size_nm * kFeetPerNm);
    auto& s = aircraft.samples;
    s.front().groundSpeed_kt = v;
    QueuedSample p = lf_groundSample(target, v);
    lf_dueIn(p, lf_ticksOf(gf_distanceNm(lf_here(aircraft), target) / v * 100 * 3600));
    s.resize(1);
    s.push_back(p);
    lf_setLivePhase(aircraft, FlightPhase::taxi, PhaseMemory::onChange);
    aircraft.targetBearing_rad = aircraft.position.heading_rad;
    lf_leavingLights(aircraft);
    gf_queueEngineAutoStart(aircraft.objectId);
    gf_setThrottle(aircraft, 0);
    gf_setFlaps(aircraft, 1);
    gf_log(fmt::format("{:8}: {:8} pulling out", gf_standNameById(aircraft.standId),
                       aircraft.callsign));
    // It has left the stand, as a pushed-back aircraft has once it moves on: the stand is no
    // longer its own to clear or to be found on.
    lf_leaveStand(aircraft);
}

void lf_startPushBack(LiveAc& aircraft)
{
    aircraft.syntheticCount = 0;
    const double back = lf_wrap2Pi(aircraft.standHeading_rad + kPi);
    const ParkStand* stand = lf_standById(aircraft.standId);
    if (!stand) return;
    const double v = lf_standSpeed_kt(aircraft);
    const LatLon p1At =
        gf_destinationPoint(lf_here(aircraft), back, stand->radius * 2.5 * kFeetPerNm);
    const int32_t t1 = lf_ticksOf(gf_distanceNm(lf_here(aircraft), p1At) / v * kTicksPerHour);
    QueuedSample p1 = lf_groundSample(p1At, v);
    lf_dueIn(p1, t1);
    auto& s = aircraft.samples;
    s.front().groundSpeed_kt = v;
    aircraft.targetBearing_rad = aircraft.position.heading_rad;
    s.resize(1);
    s.push_back(p1);
    lf_insertMidSample(aircraft);
    const double sideFeet = aircraft.size_nm * kFeetPerNm;
    const int32_t t2 = lf_ticksOf(gf_distanceNm(lf_at(s[1]), p1At) / v * kTicksPerHour);
    QueuedSample p2 =
        lf_groundSample(gf_destinationPoint(p1At, lf_wrap2Pi(back + kPi / 2), sideFeet), v);
    QueuedSample p3 =
        lf_groundSample(gf_destinationPoint(p1At, lf_wrap2Pi(back - kPi / 2), sideFeet), v);
    lf_dueIn(p2, int64_t{t1 / 2} + t2);
    lf_dueIn(p3, int64_t{t1 / 2} + t2);
    aircraft.altPushSample = p2;
    s.push_back(p3);
    lf_leavingLights(aircraft);
    lf_setLivePhase(aircraft, FlightPhase::pushing_back, PhaseMemory::onChange);
    aircraft.pushbackCountdown = 2;
}

void lf_towedArrives(LiveAc& aircraft)
{
    // No other aircraft can hold its stand now: the stand search passes over a stand held by
    // another, a claim is cleared only by its holder, and leaving the park airport removes an
    // aircraft that drives onto a stand of it.
    if (gf_distanceNm(lf_here(aircraft), {aircraft.standLat, aircraft.standLon}) > kArrived_nm) {
        lf_setLivePhase(aircraft, FlightPhase::taxi, PhaseMemory::onChange);
        return;
    }
    lf_setLivePhase(aircraft, FlightPhase::parked, PhaseMemory::onChange);
    if (aircraft.towed) {
        gf_log(fmt::format("          towed aircraft {} parks", gf_flightDescription(aircraft)));
    }
    if (!aircraft.samples.empty()) aircraft.samples.front().stationary = true;
    aircraft.lastReportTime_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     platform::steadyNow().time_since_epoch())
                                     .count();
    aircraft.standDistanceMax_nm = 0.0;
    aircraft.outwardSteps = 0;
    lf_relearnStandCargo(aircraft);
    gf_setParkedConfig(aircraft);
    gf_log(fmt::format("{:8}: {:8} arrived at stand", gf_standNameById(aircraft.standId),
                       aircraft.callsign));
    g_standCheckQueue.push_back(aircraft.hexId);
    lf_addRealStandOption(aircraft.standId, aircraft, 0);
    // It already counts as parked: counted once more it would push itself over the limit.
    lf_checkMaxPark(false);
}

void lf_recordParkingTime(LiveAc& aircraft)
{
    const int64_t now = gf_trafficTime();
    aircraft.parkedWeekday = static_cast<uint32_t>(std::max(gf_weekdayOf(now), 0));
    aircraft.parkedSlot = static_cast<uint32_t>(std::max(gf_halfHourSlotOf(now), 0));
    aircraft.parkingTime_100ns = platform::epochSeconds() * 10'000'000;
    aircraft.parkingCounters[0] = aircraft.parkingCounters[1] = 0;
}

void lf_relearnStandCargo(LiveAc& aircraft)
{
    if (aircraft.noCabinLights || !aircraft.key.cargo) return;
    ParkStand* stand = lf_standById(aircraft.standId);
    if (!stand || !stand->cargo) return;
    stand->cargo = false;
    stand->cargoChanged = true;
    lf_countLearnedUpdate();
}

void liveryRespawn(LiveAc& aircraft)
{
    try {
        auto& s = aircraft.samples;
        if (s.empty()) return;
        QueuedSample first = s.front();
        const AiPositionBlock& p = aircraft.position;
        if (aircraft.phase != FlightPhase::parked) {
            first.latitude = p.latitude;
            first.longitude = p.longitude;
            first.altitude_ft = p.altitude_ft;
            first.bank_rad = p.bank_rad;
            if (std::abs(s.front().latitude - p.latitude) < kSame_deg &&
                std::abs(s.front().longitude - p.longitude) < kSame_deg) {
                s.front().stationary = true;
            }
        } else {
            s.resize(1);
            s.front().stationary = true;
            s.front().track_deg = p.heading_rad * 180.0 / kPi;
            first = s.front();
            first.stationary = true;
        }
        lf_dueIn(first, 1);
        s.push_front(first);
        lf_keepInTimeOrder(s);
        lf_setLiveState(aircraft, SimObjectState::liveryrespawn);
        aircraft.storedHeading_rad = p.heading_rad;
        aircraft.hasStoredHeading = 1;
        if (aircraft.objectId != 0 && g_selectedObjectId == aircraft.objectId) {
            gf_refreshAcList();
        }
        if (aircraft.objectId != 0) {
            g_removeIdQueue.push_back(aircraft.objectId);
            return;
        }
        gf_logHighlighted(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn",
                                      gf_flightDescription(aircraft)));
        // Nothing in the simulator will report a removal: the record goes back to the buffer
        // now, as that report would have put it, or it would wait in liveryrespawn for good.
        lf_setLiveState(aircraft, SimObjectState::buffer);
        aircraft.throttleLevel = 5;
        aircraft.flapsIndex = 4;
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "liveryRespawn", e.what()));
    }
}

bool lf_removeIfAheadOfUser(LiveAc& aircraft, int index)
{
    static constexpr double kDistance_nm[] = {4.0, 6.0};
    static constexpr double kAltitude_ft[] = {1000.0, 3000.0};
    static constexpr double kLateral_ft[] = {700.0, 4000.0};
    const int i = index == 0 ? 0 : 1;
    const LatLon user{g_userState.latitude, g_userState.longitude};
    const double d = gf_distanceNm(user, lf_here(aircraft));
    if (d > kDistance_nm[i] ||
        std::abs(aircraft.position.altitude_ft - g_userState.altitude_ft) >= kAltitude_ft[i]) {
        return false;
    }
    const double x =
        lf_wrapPi(aircraft.position.heading_rad - gf_bearingRad(user, lf_here(aircraft)));
    if (std::cos(x) * d * kFeetPerNm <= 0.0) return false;
    if (std::abs(std::sin(x)) * d * kFeetPerNm > kLateral_ft[i]) return false;
    removeAircraftFromSim(aircraft);
    return true;
}

}  // namespace qel
