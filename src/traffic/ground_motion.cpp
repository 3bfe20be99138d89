// Ground motion of live aircraft: the decisions at the start of each ground leg (push-back
// stages, leaving a stand, corners and taxi curves, speed changes, parking), the ground
// configuration of the take-off and landing rolls, and the drive onto a stand.
//
// Threads: main-loop thread.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include <fmt/format.h>

#include "foundation/log.h"
#include "traffic/motion_math.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/air_legs.h"
#include "traffic/curve_geometry.h"
#include "traffic/ground_motion.h"
#include "traffic/ground_pace.h"
#include "traffic/motion.h"
#include "traffic/pushback.h"
#include "traffic/leg_queries.h"
#include "traffic/report_intake.h"
#include "traffic/taxi_corners.h"
#include "traffic/schedule.h"
#include "traffic/stands.h"

namespace qel {

namespace {

constexpr double kParkReach_nm = 0.018898488120950324;  // 35 m
// A turn ends this close to its heading (degrees, lf_turnTowardDeg). On its stand an aircraft
// has no way left in which to close a smaller error as it rolls: it turns on the spot to this.
constexpr double kOnStandFacing_deg = 0.5;

// A long leg between much different speeds gets a sample halfway.
void lf_checkSpeedChange(LiveAc& aircraft);
bool lf_offAgain(const LiveAc& aircraft);
bool lf_rotationSpeedReached(const LiveAc& aircraft);
void lf_endStoppedRoll(LiveAc& aircraft);

double lf_rotationSpeed_kt(WeightClass weightClass)
{
    static const std::unordered_map<WeightClass, double> table = {
        {WeightClass::Light, 90.0},     {WeightClass::Buzjets, 110.0},
        {WeightClass::Large, 140.0},    {WeightClass::Heavy, 150.0},
        {WeightClass::HighPerf, 220.0}, {WeightClass::Rotorcraft, 0.0}};
    return table.at(weightClass);
}

// Without a curve the aircraft turns toward the target bearing, on the spot when it is off it.
void lf_setTurnFlags(LiveAc& aircraft)
{
    if (lf_curveActive(aircraft)) {
        aircraft.turnOnSpot = 0;
        return;
    }
    aircraft.headingError_deg =
        std::abs(lf_wrapPi(aircraft.targetBearing_rad - aircraft.position.heading_rad)) /
        kRadPerDeg;
    aircraft.turnOnSpot = aircraft.headingError_deg > kFacing_deg ? 1 : 0;
}

// The leg to `entry`, just short of the stand on its axis, comes first: the aircraft turns onto
// the stand's heading there on the spot and rolls on onto the stand.
void lf_insertStandEntry(LiveAc& aircraft, LatLon entry)
{
    auto& s = aircraft.samples;
    QueuedSample e = s[1];
    e.latitude = entry.lat;
    e.longitude = entry.lon;
    e.stationary = 0;
    const double v = lf_standSpeed_kt(aircraft);
    e.groundSpeed_kt = e.airspeed_kt = v;
    const int32_t ticks = std::max(
        lf_ticksOf(gf_distanceNm(lf_here(aircraft), entry) * kTicksPerHour / v), kMinLegTicks);
    lf_dueIn(e, ticks);
    s.insert(s.begin() + 1, e);
    aircraft.targetBearing_rad = gf_bearingRad(lf_here(aircraft), entry);
    lf_setTurnFlags(aircraft);
}

// The drive onto a stand, so that the aircraft faces where it goes and stands straight when it
// arrives. From behind the stand it is a curve that ends on the stand's heading, its control
// point on the stand's axis behind the stand but never behind the aircraft: the curve then turns
// by 90 degrees at most and cannot fold back past the stand. A curve too tight to round at the
// stand taxi speed is not laid. Otherwise (the stand faces the way the aircraft comes from, or
// across it) the aircraft drives to the axis just short of the stand and turns there on the spot.
void lf_startStandCurve(LiveAc& aircraft, LatLon stand, double heading_rad)
{
    // Short of the stand by a hair: an aircraft coming from in front of it does not pass it.
    constexpr double kEntry_ft = 0.05 / 0.3048;
    const LatLon here = lf_here(aircraft);
    const double d_ft = gf_distanceNm(here, stand) * kFeetPerNm;
    // On the stand already, or on its axis behind it: straight on, facing the stand's way (a
    // few degrees off its path at most), after a turn on the spot where it must.
    const auto straightOn = [&] {
        aircraft.targetBearing_rad = heading_rad;
        lf_setTurnFlags(aircraft);
    };
    if (!(d_ft >= 3.0)) {
        straightOn();
        aircraft.turnOnSpot = aircraft.headingError_deg > kOnStandFacing_deg ? 1 : 0;
        return;
    }
    const double back_rad = lf_wrap2Pi(heading_rad + kPi);
    const double behind_ft = d_ft * std::cos(gf_bearingRad(stand, here) - back_rad);
    if (behind_ft > 0.0) {
        const LatLon control =
            gf_destinationPoint(stand, back_rad, std::min(d_ft / 2.0, behind_ft));
        const double angle_deg =
            std::abs(lf_wrapPi(heading_rad - gf_bearingRad(here, control))) / kRadPerDeg;
        if (angle_deg <= 3.0) {
            straightOn();
            return;
        }
        if (lf_curveSlowest_kt(aircraft, lf_curveThrough(here, control, stand)) >=
            lf_standSpeed_kt(aircraft)) {
            lf_setCurve(aircraft, control, stand);
            aircraft.curveAngle_deg = angle_deg;
            aircraft.turnOnSpot = 0;
            return;
        }
    }
    lf_insertStandEntry(aircraft, gf_destinationPoint(stand, back_rad, kEntry_ft));
}

// A parked aircraft's leg: it stands, or leaves its stand by a push-back or pulling out along
// the reports of its way out. True where it pulled out: the leg is then a taxi leg.
bool lf_parkedLeg(LiveAc& aircraft)
{
    lf_openWindows(aircraft);
    if (aircraft.departurePending && !aircraft.samples.empty()) {
        // Which way it leaves its first report off the stand shows: by the time it leaves, the
        // reports kept may have come back past the stand, pushed back and taxiing on.
        const QueuedSample& first =
            aircraft.pushReports.empty() ? aircraft.samples.back() : aircraft.pushReports.front();
        if (lf_leavesForwards(aircraft, first)) {
            const SetOff setOff = lf_startPullingOut(aircraft);
            lf_takeReports(aircraft, setOff.reports);
            lf_setOffToward(aircraft, setOff.stop);
            return true;
        }
        lf_startPushBack(aircraft);
    }
    if (aircraft.samples.size() >= 2) lf_groundLegTiming(aircraft);
    return false;
}

// Standing, with one report ahead to go to and that well off its nose, it rolls round to it on a
// curve from its heading, as tight as its nose wheel steers (about half its wingspan), instead of
// turning on the spot first: a C172 pushed back turned 30 degrees on the spot to face its first
// taxi report, and an A320 that stood while its reports paused turned 51 degrees to face one
// 100 m on. A curve with arms a and L, the way to its end, and a turn θ between them, begins at
// radius 2a² / (L sin θ). True where it laid the curve.
bool lf_rollsRoundFromStandstill(LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    if (aircraft.phase != FlightPhase::taxi || aircraft.takeOff || aircraft.landingRoll ||
        s.size() != 2 || !s[0].stationary || s[0].groundSpeed_kt != 0.0 || s[1].stationary) {
        return false;
    }
    const LatLon here = lf_here(aircraft);
    const LatLon end = lf_at(s[1]);
    const double heading_rad = aircraft.position.heading_rad;
    const double off_rad = std::abs(lf_wrapPi(gf_bearingRad(here, end) - heading_rad));
    const double r_m = aircraft.size_nm * kMetresPerNm / 2.0;
    const double toEnd_m = gf_distanceNm(here, end) * kMetresPerNm;
    if (!(off_rad > kTurnFirst_rad) || off_rad > std::numbers::pi / 2.0 || toEnd_m < 4.0 * r_m) {
        return false;
    }
    const double arm_m = std::sqrt(r_m * toEnd_m * std::sin(off_rad) / 2.0);
    lf_setCurve(aircraft,
                gf_destinationPoint(here, heading_rad,
                                    std::min(arm_m, toEnd_m / 2.0) / kMetresPerNm * kFeetPerNm),
                end);
    aircraft.curveAngle_deg = off_rad / kRadPerDeg;
    return true;
}

// Corners, curves and speed changes of a taxi leg.
void lf_shapeLeg(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (s.size() < 2 || s[1].stationary) return;
    if (aircraft.phase == FlightPhase::parking && aircraft.standId != 0) {
        // The drive onto the stand, put off by a run-out to a stop (ground_pace.cpp), starts
        // here; the way to it is not rounded into a curve through the point short of it.
        if (s.size() == 3 && s[2].stationary &&
            std::abs(s[1].latitude - aircraft.standLat) < kSame_deg &&
            std::abs(lf_lonDelta(s[1].longitude, aircraft.standLon)) < kSame_deg) {
            lf_startStandCurve(aircraft, {aircraft.standLat, aircraft.standLon},
                               aircraft.standHeading_rad);
        } else {
            lf_setTurnFlags(aircraft);
        }
        return;
    }
    if (s.size() >= 3 && !s[2].stationary) {
        switch (lf_layCorner(aircraft)) {
        case CornerLaid::straightFirst: break;
        case CornerLaid::curveNow: {
            const double a = std::abs(lf_turnAhead(aircraft) / kRadPerDeg);
            lf_startTaxiCurve(aircraft);
            aircraft.curveAngle_deg = a;
            break;
        }
        case CornerLaid::split: lf_insertMidSample(aircraft); break;
        case CornerLaid::none: lf_checkSpeedChange(aircraft); break;
        }
    } else if (lf_steerOntoLeg(aircraft)) {
        // A leg set off well off the heading with no corner after it is rolled round, not
        // turned onto on the spot: an A320 that had reckoned a stop ahead of its late reports
        // turned 63 degrees there to face the next, reported at 13 kt.
    } else if (!lf_rollsRoundFromStandstill(aircraft) &&
               (s.size() >= 3 || aircraft.syntheticCount < 1)) {
        lf_checkSpeedChange(aircraft);
    }
    lf_setTurnFlags(aircraft);
}

void lf_parkingTrigger(LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    if (s.empty() || !s.back().stationary || aircraft.phase != FlightPhase::taxi ||
        !gf_hasParkStands()) {
        return;
    }
    const FlightPhase before = aircraft.previousPhase;
    // Just left a stand: it must not park straight back on it.
    if (!aircraft.towed && (before == FlightPhase::parked || before == FlightPhase::pushing_back ||
                            before == FlightPhase::pushed_back)) {
        return;
    }
    if (aircraft.syntheticCount < 1) {
        const LatLon here{aircraft.position.latitude, aircraft.position.longitude};
        if (s.size() >= 2 && s[1].groundSpeed_kt <= 5.0 &&
            gf_distanceNm(here, lf_at(s.back())) <= kParkReach_nm) {
            try2Park(aircraft, false);
        }
    } else {
        try2Park(aircraft, aircraft.touchdown != 0);
    }
}

void lf_nextPosGround(LiveAc& aircraft)
{
    switch (aircraft.phase) {
    case FlightPhase::pushing_back: lf_pushBackLeg(aircraft); return;
    case FlightPhase::pushed_back:
        if (std::optional<SetOff> setOff = lf_setOffAfterPushBack(aircraft)) {
            lf_takeReports(aircraft, setOff->reports);
            lf_setOffToward(aircraft, setOff->stop);
        }
        break;
    case FlightPhase::parked:
        if (!lf_parkedLeg(aircraft)) return;
        break;
    default: lf_endStoppedRoll(aircraft); break;
    }
    lf_shapeLeg(aircraft);
    lf_parkingTrigger(aircraft);
    if (aircraft.samples.size() >= 2) lf_groundLegTiming(aircraft);
}

void lf_endLandingRoll(LiveAc& aircraft)
{
    gf_setFlaps(aircraft, 0);
    aircraft.landingRoll = 0;
    aircraft.touchdownHeading_rad = 0.0;
    gf_setThrottle(aircraft, aircraft.weightClass == WeightClass::Rotorcraft ? 4 : 0);
    gf_setSpoilers(aircraft, false);
    if (aircraft.weightClass != WeightClass::Light) {
        gf_setAiControls(aircraft.objectId, 0.0, 0.0, 0.0);
    }
    gf_queueLightEvents(aircraft.objectId, {1U, 1U, 0U, 1U, 0U, 1U, 1U});
}

// A landing roll that came to a stop (braked by reckoning through a pause in its reports, or
// where they stopped it) is over: it sets off from there as a taxi does. Timed as a roll, by the
// mean of 0 and the speed reported ahead, an A320 crawled the 330 m to the first report after a
// pause of 41 s at 4.4 kt and fell 102 s behind its reports.
void lf_endStoppedRoll(LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    if (!aircraft.landingRoll || s.size() < 2 || s[0].groundSpeed_kt != 0.0 || s[1].stationary ||
        s[1].airborne || aircraft.pace.now_kt > 0.0) {
        return;
    }
    lf_endLandingRoll(aircraft);
}

void lf_landingRollConfig(LiveAc& aircraft)
{
    const double turned =
        std::abs(lf_wrapPi(aircraft.position.heading_rad - aircraft.touchdownHeading_rad)) /
        kRadPerDeg;
    const bool light = aircraft.weightClass == WeightClass::Light;
    if (turned >= 15.0) {
        lf_endLandingRoll(aircraft);
    } else if (aircraft.samples.front().groundSpeed_kt <= 90.0) {
        gf_setSpoilers(aircraft, false);
        if (!light) gf_setAiControls(aircraft.objectId, 0.0, 0.0, 0.0);
        gf_setFlaps(aircraft, 1);
    }
}

void lf_takeOffThrottle(LiveAc& aircraft)
{
    if (aircraft.weightClass == WeightClass::Rotorcraft) {
        gf_setThrottle(aircraft, 4);
        return;
    }
    const double s0 = aircraft.samples[0].groundSpeed_kt;
    const double s1 = aircraft.samples[1].groundSpeed_kt;
    uint32_t level = 0;
    if (s0 >= 25.0 || s1 >= 30.0) {
        level = 4;
    } else if (s0 >= 20.0 || s1 >= 25.0) {
        level = 2;
    } else if (s0 >= 15.0 || s1 >= 20.0) {
        level = 1;
    }
    gf_setThrottle(aircraft, level);
}

void lf_rotation(LiveAc& aircraft, double dt)
{
    const auto& s = aircraft.samples;
    if (!aircraft.takeOff || aircraft.phase == FlightPhase::take_off ||
        s.front().groundSpeed_kt < kTakeOffSpeed_kt) {
        return;
    }
    const bool slowClimb = std::any_of(
        s.begin() + 1, s.end(), [](const QueuedSample& x) { return x.verticalRate_fpm <= 256.0; });
    const bool allAirborne =
        std::all_of(s.begin() + 1, s.end(), [](const QueuedSample& x) { return x.airborne; });
    if (slowClimb) {
        if (!lf_rotationSpeedReached(aircraft) || !allAirborne) return;
        aircraft.altRate = aircraft.maxClimbRate_ft;
    } else if (!allAirborne) {
        aircraft.altRate = aircraft.maxClimbRate_ft;
    } else {
        aircraft.altRate = std::max(s[1].altitude_ft - aircraft.position.altitude_ft, 0.1) / dt;
    }
    lf_beginTakeOffRoll(aircraft);
}

}  // namespace

void nextPosGround(LiveAc& aircraft)
{
    try {
        lf_nextPosGround(aircraft);
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}, {}, sz:{}", "nextPosGround", e.what(),
                           gf_flightDescription(aircraft), aircraft.samples.size()));
        throw;
    }
}

namespace {

void lf_checkSpeedChange(LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    if (s.size() < 2 || lf_fromStop(aircraft)) return;
    const QueuedSample& a = s[0];
    const QueuedSample& b = s[1];
    if ((a.groundSpeed_kt > 0.0 || b.groundSpeed_kt > 0.0) &&
        std::abs(a.groundSpeed_kt - b.groundSpeed_kt) > 5.0 &&
        gf_distanceNm(lf_at(a), lf_at(b)) * kMetresPerNm >= 100.0) {
        lf_insertMidSample(aircraft);
    }
}

// On its landing roll, a leg from the runway up into the air: a touch-and-go whose reports of the
// roll and the climb all came before it touched down, which no report on the roll will start off
// again (a leg still to the approach's reports, when it touched down before them, is none).
// Rolled out as a landing, one rolled on at 149 kt on the ground where its reports climbed, swung
// 0.33 g sideways and stopped dead from 149 kt to 2 kt in a second.
bool lf_offAgain(const LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    return aircraft.landingRoll && s.size() >= 2 && !s[0].airborne && s[1].airborne;
}

bool lf_rotationSpeedReached(const LiveAc& aircraft)
{
    const double v =
        std::max(aircraft.samples[0].groundSpeed_kt,
                 aircraft.samples.size() > 1 ? aircraft.samples[1].groundSpeed_kt : 0.0);
    return v >= lf_rotationSpeed_kt(aircraft.weightClass);
}

}  // namespace

void lf_groundConfig(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (lf_offAgain(aircraft)) lf_liftsOffAgain(aircraft);
    if (aircraft.phase == FlightPhase::flying || aircraft.phase == FlightPhase::parked) {
        lf_setLivePhase(aircraft, FlightPhase::taxi, PhaseMemory::always);
    } else if (aircraft.takeOff) {
        lf_takeOffThrottle(aircraft);
    } else if (aircraft.landingRoll) {
        lf_landingRollConfig(aircraft);
    } else {
        gf_setThrottle(aircraft, aircraft.weightClass == WeightClass::Rotorcraft ? 4 : 0);
    }
    lf_legNarrowsWindows(aircraft);
    if (aircraft.flareStage == 0 && aircraft.phase != FlightPhase::take_off) {
        aircraft.position.pitch_rad = aircraft.pitchAtRest_rad;
        aircraft.pitchRate = 0.0;
        aircraft.position.bank_rad = 0.0;
        aircraft.bankRate = 0.0;
    }
    const int64_t ahead = lf_ticksToDue(s[1]);
    const double dt = std::max(static_cast<double>(ahead), 25.0);
    if (lf_curveActive(aircraft)) aircraft.curveStep = 1.0 / dt;
    aircraft.legAirspeed_kt =
        aircraft.phase == FlightPhase::pushing_back ? -s[1].groundSpeed_kt : s[1].groundSpeed_kt;
    aircraft.legVerticalSpeed_fpm = 0.0;
    lf_rotation(aircraft, dt);
}

void drive2Stand(LiveAc& aircraft, double lat, double lon, double heading_rad)
{
    auto& s = aircraft.samples;
    if (s.empty()) {
        gf_logHighlighted(fmt::format("{} empty sz?", "drive2Stand"));
        return;
    }
    QueuedSample& last = s.back();
    const double v = lf_standSpeed_kt(aircraft);
    const int32_t ticks =
        std::max(lf_ticksOf(gf_distanceNm(lf_at(last), {lat, lon}) * kTicksPerHour / v), 100);
    QueuedSample n1;
    n1.latitude = lat;
    n1.longitude = lon;
    n1.altitude_ft = aircraft.position.altitude_ft;
    n1.groundSpeed_kt = v;
    n1.track_deg = heading_rad / kRadPerDeg;
    n1.airspeed_kt = v;
    lf_layDue(n1, lf_reportedDue(s.front()) + ticks);
    n1.airborne = false;
    // Where its last report lies on the stand, an aircraft that does not yet face the stand's
    // way still drives onto it: that leg, though it has no length, is where it turns on the spot.
    // Standing there at once, it would park on the heading it came with.
    const double off_deg =
        std::abs(lf_wrapPi(heading_rad - aircraft.position.heading_rad)) / kRadPerDeg;
    n1.stationary = std::abs(last.latitude - lat) < kSame_deg &&
                    std::abs(lf_lonDelta(last.longitude, lon)) < kSame_deg &&
                    off_deg <= kOnStandFacing_deg;
    n1.hasTrueHeading = last.hasTrueHeading;
    n1.bank_rad = aircraft.position.bank_rad;
    last.groundSpeed_kt = v;
    QueuedSample n2 = n1;
    n2.groundSpeed_kt = 0.0;
    n2.airspeed_kt = 0.0;
    n2.stationary = true;
    lf_dueAfter(n2, n1.dueTick, 50);
    s.push_back(n1);
    s.push_back(n2);
    lf_keepInTimeOrder(s);
    aircraft.targetBearing_rad = heading_rad;
    lf_endSyntheticSamples(aircraft);
    // The leg that starts now is the one onto the stand.
    if (s.size() == 3) lf_startStandCurve(aircraft, {lat, lon}, heading_rad);
}

}  // namespace qel
