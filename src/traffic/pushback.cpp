// Push-back, pulling out and towing of live aircraft: how an aircraft leaves its stand (forwards,
// or pushed back with a tail swing), and how an aircraft driving onto a stand is parked there.
//
// Threads: main-loop thread.
#include <chrono>
#include <numbers>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/window_status.h"
#include "platform/clock.h"
#include "traffic/motion_math.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/ground_motion.h"
#include "traffic/pushback.h"
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

}  // namespace qel
