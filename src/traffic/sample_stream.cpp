// The sample stream of an active live aircraft: when it reaches its next sample, which samples
// are skipped, how the stream is extended by dead reckoning when the reports stop, how long the
// next leg takes, the per-tick mover that adds the leg's rates, and a new report's effect on the
// leg in progress, which it paces to the report or lays anew.
//
// Threads: main-loop thread.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "traffic/motion_math.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/air_legs.h"
#include "traffic/curve_geometry.h"
#include "traffic/ground_motion.h"
#include "traffic/ground_pace.h"
#include "traffic/leg_queries.h"
#include "traffic/motion.h"
#include "traffic/pushback.h"
#include "traffic/report_intake.h"
#include "traffic/sample_stream.h"
#include "traffic/stands.h"
#include "traffic/tick_turns.h"
#include "traffic/park_airports.h"
#include "traffic/schedule.h"

namespace qel {

namespace {

// Dead reckoning in the air goes on in batches of this many samples (8 s each) while the feed
// still reports the aircraft, heard no longer ago than this; it slows no further than to this
// share of the speed it set out from.
constexpr int32_t kReckonedAirSteps = 8;
constexpr int32_t kStillHeard_ticks = 3000;
constexpr double kReckonFloor = 0.8;
// Back onto its reports from a place it reckoned, the leg to the first is flown at these shares
// of the faster speed at its ends at the slowest and the fastest.
constexpr double kSlowestBack = 0.5;
constexpr double kFastestBack = 1.3;
// An aircraft whose reports stop while it taxies faster than this rolls on to a stop.
constexpr double kRollsOn_kt = 3.0;
// The extensions one leg start may take: dead reckoning runs out after 10 samples at most, even
// where each is skipped at once. More, and an extension keeps laying what the skipping takes
// away (a hold on the ground copied from an airborne sample), which the tick, not advancing
// meanwhile, would repeat for good.
constexpr int32_t kMostExtensions = 16;
// A standstill reported nearer than this to where an aircraft on the ground stands is that place.
constexpr double kStandsOn_m = 0.5;

// Fewer than two samples are left: one more is laid (a hold, a dead-reckoned sample), or the
// stream ends (false).
bool lf_extendStream(LiveAc& aircraft, std::string& why);
// The due tick of an air leg, at the speed it is flown.
void lf_airLegTiming(LiveAc& aircraft);
// The leg to sample 1 begins: its shape, timing, pace and rates.
void lf_startLeg(LiveAc& aircraft);

bool lf_classContinues(WeightClass weightClass)
{
    switch (weightClass) {
    case WeightClass::Buzjets:
    case WeightClass::Large:
    case WeightClass::Heavy: return true;
    case WeightClass::Light: return LIGHT_AIRCRAFT.current;
    case WeightClass::HighPerf: return HIGH_PERF_AIRCRAFT.current;
    case WeightClass::Rotorcraft: return HELICOPTERS.current;
    }
    return false;
}

bool lf_otherTaxiingNear(const LiveAc& aircraft)
{
    const LatLon here{aircraft.position.latitude, aircraft.position.longitude};
    return std::any_of(g_liveAcs.begin(), g_liveAcs.end(), [&](const LiveAc& other) {
        return other.onGround && other.phase == FlightPhase::taxi &&
               other.state == SimObjectState::active && other.objectId != aircraft.objectId &&
               gf_distanceNm(here, {other.position.latitude, other.position.longitude}) <=
                   (aircraft.size_nm + other.size_nm) * 1.2;
    });
}

// Its reports stopped while it taxied: it rolls on along its heading to a stop and holds there;
// holding where it was, it would stop dead.
void lf_rollToAStop(LiveAc& aircraft)
{
    const QueuedSample& front = aircraft.samples.front();
    aircraft.samples.push_back(lf_runOutStop(front, lf_at(front), aircraft.position.heading_rad,
                                             aircraft.pace.now_kt, lf_reportedDue(front)));
}

bool lf_holdInPlace(LiveAc& aircraft, std::string& why)
{
    if (lf_otherTaxiingNear(aircraft)) {
        aircraft.holding = 0;
        aircraft.holdStart = 0;
        // Its reports may go on after the pause: the log says why it went instead of holding.
        why = "its reports paused beside another taxiing aircraft";
        return false;
    }
    if (aircraft.holding) {
        const int32_t minutes = (g_fastTicks - aircraft.holdStart) / 6000;
        if (AIRBORNE_ONLY.current) {
            why = "its reports stopped on the ground, where only airborne traffic is shown";
            return false;
        }
        if (minutes > MAX_HOLDING_MINUTES.current) {
            why = fmt::format("it held {} minutes without a report", minutes);
            return false;
        }
    } else {
        aircraft.holdStart = g_fastTicks;
    }
    const bool rolling = !aircraft.holding && aircraft.pace.now_kt > kRollsOn_kt;
    aircraft.holding = 1;
    QueuedSample copy = aircraft.samples.front();
    if (rolling) {
        lf_rollToAStop(aircraft);
        copy = aircraft.samples.back();
    }
    lf_holdDue(copy);
    copy.groundSpeed_kt = 0.0;
    copy.stationary = 1;
    copy.reckoned = true;
    aircraft.samples.push_back(copy);
    aircraft.syntheticCount = 1;
    return true;
}

// A reckoning in the air sets out along the track of the newest report, where it stands on it,
// and turns on as the reports turned for its first steps: flown on along its heading, which
// lags the track in a turn, a light aircraft whose feed fell 43 s behind in a turn of 2 degrees
// a second went straight on between reports 9 s apart, 85 m off the way they joined.
void lf_reckonTrackFrom(LiveAc& aircraft, const PosSample& front)
{
    constexpr uint8_t kTurningSteps = 3;
    const bool tracked =
        aircraft.trackNewest_s > 0.0 && aircraft.trackNewest_s == aircraft.reportTime_s &&
        std::abs(front.latitude - aircraft.reportedAt.lat) < kSame_deg &&
        std::abs(lf_lonDelta(front.longitude, aircraft.reportedAt.lon)) < kSame_deg;
    // A helicopter may be slowing into a hover round its turn, which its reckoning cannot tell:
    // turned on with it, one came out 620 m aside the hover its reports then showed, hovered
    // there, and took the reports of its setting off again for ones behind it, for good.
    const bool mayHover = aircraft.weightClass == WeightClass::Rotorcraft;
    aircraft.reckonTrack_deg = aircraft.trackNewest_deg;
    aircraft.reckonTurns = tracked && !mayHover ? kTurningSteps : 0;
}

// The way a reckoned step of `step_s` goes in the air (radians): the chord of its arc while it
// turns, on along the nose after.
double lf_reckonCourse_rad(LiveAc& aircraft, double step_s)
{
    if (aircraft.reckonTurns == 0) return aircraft.position.heading_rad;
    --aircraft.reckonTurns;
    const double half_deg = aircraft.trackTurn_degPerS * step_s / 2.0;
    const double chord_deg = aircraft.reckonTrack_deg + half_deg;
    aircraft.reckonTrack_deg = std::remainder(chord_deg + half_deg, 360.0);
    return chord_deg * kRadPerDeg;
}

// Its reports have stopped, or fallen behind it, just now: it goes on by dead reckoning where its
// kind of aircraft does and its place allows; else the line says why it goes.
bool lf_extendFresh(LiveAc& aircraft, std::string& why)
{
    if (!lf_classContinues(aircraft.weightClass)) {
        why = "its reports stopped";
        return false;
    }
    const PosSample& front = aircraft.samples.front();
    int32_t n = 0;
    if (front.airborne) {
        const LatLon user{g_userState.latitude, g_userState.longitude};
        const bool userKnown = std::abs(user.lat) > 0.0001 || std::abs(user.lon) > 0.0001;
        const LatLon here{aircraft.position.latitude, aircraft.position.longitude};
        if (userKnown && gf_distanceNm(user, here) >= RANGE.current - 0.5) {
            why = "its reports stopped at the edge of the range";
            return false;
        }
        if (AIRBORNE_ONLY.current) {
            const double field = gf_parkAirportSet() ? lf_parkElevation_ft() : 0.0;
            if (std::abs(aircraft.position.altitude_ft - field) < 1000.0) {
                why = "its reports stopped near the field, where only airborne traffic is shown";
                return false;
            }
        }
        // The newest report put it where it cannot have got to, and none since has said whether
        // that was a slip of the feed: reckoned on from the report before, an airliner whose
        // reports moved 1.5 km aside with their last flew on 45 s behind that report. It goes,
        // as where the next report confirms such a place.
        if (aircraft.jumpHeld && aircraft.syntheticCount == 0) {
            why = fmt::format(
                "its newest report put it {:.1f} km from where it was, and none "
                "came after it",
                gf_distanceNm(aircraft.reportedAt, aircraft.jumpTo) * 1.852);
            return false;
        }
        n = kReckonedAirSteps;
        // A reckoning that sets out afresh goes on as its aircraft flew: a hover it came to by
        // reckoning before is over.
        if (aircraft.syntheticCount == 0) {
            aircraft.reckonFrom_kt = front.groundSpeed_kt;
            aircraft.reckonToHover = 0;
            lf_reckonTrackFrom(aircraft, front);
        }
    } else {
        n = aircraft.phase == FlightPhase::parked ? 1 : 10;
        // Back onto its reports after a pause, a landing roll may roll as fast as it was reported.
        if (aircraft.syntheticCount == 0) aircraft.reckonFrom_kt = front.groundSpeed_kt;
    }
    lf_addSyntheticSample(aircraft, n);
    return true;
}

// The feed still reports it, behind where it has reckoned its way to (a feed that falls behind,
// or a hover reported late): the reports are none it can fly back to, and it goes on reckoning
// until they show it a place ahead, rather than leaving while they come.
bool lf_stillReported(const LiveAc& aircraft)
{
    return !aircraft.onGround && aircraft.syntheticCount != 0 &&
           g_fastTicks - aircraft.heardTick <= kStillHeard_ticks;
}

// A landing roll whose reckoning ran out while its reports still come, behind it (a feed that
// falls behind as it brakes): it rolls to a stop and stands there until they show it a place
// ahead. Taken out instead, an arrival whose feed fell 40 s behind was removed on its runway
// and made anew 10 s on, where its reports were.
bool lf_rollStandsReported(LiveAc& aircraft)
{
    if (!aircraft.onGround || !aircraft.landingRoll || aircraft.syntheticCount != 1 ||
        g_fastTicks - aircraft.heardTick > kStillHeard_ticks) {
        return false;
    }
    // On the runway, whatever the sample it reached says: the last one of its approach, still in
    // the air, would have each stand skipped as the flight's and none laid.
    QueuedSample& front = aircraft.samples.front();
    front.airborne = 0;
    front.altitude_ft = 0.0;
    if (!front.stationary && aircraft.pace.now_kt > kRollsOn_kt) {
        lf_rollToAStop(aircraft);
        return true;
    }
    QueuedSample copy = front;
    lf_holdDue(copy);
    copy.groundSpeed_kt = 0.0;
    copy.stationary = 1;
    copy.reckoned = true;
    aircraft.samples.push_back(copy);
    return true;
}

// A landing roll braked to a stop by reckoning brakes into it, from the speed of its last step:
// stood on that step's place, it stopped dead from 11 kt.
bool lf_rollsToAStop(const LiveAc& aircraft)
{
    const QueuedSample& front = aircraft.samples.front();
    return aircraft.onGround && aircraft.landingRoll && !front.airborne && !front.stationary &&
           front.groundSpeed_kt > kRollsOn_kt;
}

// The speed of a reckoned step of the take-off roll and climb-out: up the steps of the schedule,
// by no more than the air legs change speed (5 kt a second). Up the schedule's steps alone (53
// to 80, 110 and 150 kt, 3 s apart), an airliner whose reports paused as it rolled lifted off
// gathering 8 kt a second.
double lf_takeOffStep(QueuedSample& s)
{
    const double v = s.groundSpeed_kt;
    if (v <= 30.0) return 40.0;
    if (v <= 60.0) return 80.0;
    if (v <= 100.0) return 110.0;
    if (v <= 140.0) {
        s.verticalRate_fpm = 600.0;
        return 150.0;
    }
    if (v <= 160.0) {
        s.verticalRate_fpm = 1200.0;
        return 170.0;
    }
    s.verticalRate_fpm = 2400.0;
    return 180.0;
}

double lf_takeOffSpeed(QueuedSample& s)
{
    constexpr double kMostGain_ktPerS = 5.0;
    const double v = s.groundSpeed_kt;
    return std::min(lf_takeOffStep(s),
                    v + kMostGain_ktPerS * static_cast<double>(lf_reckonStep_s(s.airborne)));
}

// Without reports the landing roll brakes by 9 kt a step (3 s) to a stop: a leg's speed then
// differs from the one before by less than 10 kt, which the aircraft changes at once, and it
// brakes at 3 kt/s, as an airliner does. Steps of 20 to 40 kt (140 to 100, 100 to 80, 80 to 60,
// 60 to 30) made it lose up to 25 kt in an instant; held at 20 kt, a roll whose feed fell behind
// as it braked ran on 300 m past where its reports turned off.
double lf_rollOutSpeed(QueuedSample& s)
{
    constexpr double kStep_kt = 9.0;
    constexpr double kRollOutEnd_kt = 0.0;
    s.verticalRate_fpm = 0.0;
    return std::max(s.groundSpeed_kt - kStep_kt, kRollOutEnd_kt);
}

// The dead-reckoned move of a synthetic sample; false when it stands still.
bool lf_reckonSpeed(LiveAc& aircraft, QueuedSample& s, int32_t n)
{
    if (s.stationary || aircraft.phase == FlightPhase::parked || aircraft.reckonToHover) {
        return false;
    }
    double speed = s.groundSpeed_kt;
    if (s.airborne) {
        if (!aircraft.approach) {
            // Slowing a little while unsure, but not to a crawl when the reckoning goes on:
            // reports that come again catch up with it, and it eases back onto them.
            speed = std::max(s.groundSpeed_kt * 0.95,
                             std::max(aircraft.reckonFrom_kt * kReckonFloor, 1.0));
            speed = std::min(speed, s.groundSpeed_kt);
        } else if (n >= 4) {
            speed = std::max(s.groundSpeed_kt * 0.9, 1.0);
        }
        if (!aircraft.approach || n >= 4) s.groundSpeed_kt = speed;
    } else if (aircraft.landingRoll || aircraft.approach) {
        // Its touchdown reached before the roll began (a feed that lags hands over each report
        // shortly before it falls due), it rolls out all the same: stood there, an airliner
        // stopped dead on its runway from 143 kt.
        s.groundSpeed_kt = lf_rollOutSpeed(s);
    } else if (aircraft.takeOff) {
        s.groundSpeed_kt = lf_takeOffSpeed(s);
    } else {
        return false;
    }
    return s.groundSpeed_kt > 0.0;
}

// One tick along the taxi curve. The heading turns with the curve, so that the aircraft faces
// along its path; the turn rate only closes what it lacked when the curve began.
void lf_curveTick(LiveAc& aircraft)
{
    AiPositionBlock& p = aircraft.position;
    const auto from = lf_curvePoint(aircraft, aircraft.curveParam);
    if (from && lf_turnsFirst(aircraft, lf_curveCourse(aircraft, *from))) {
        lf_turnTowardDeg(aircraft, lf_curveCourse(aircraft, *from), lf_spotTurnRate(aircraft));
        lf_holdForTurn(aircraft);
        return;
    }
    const double step = aircraft.curveStep * lf_paceTick(aircraft);
    aircraft.curveParam =
        std::clamp(lf_curveParamAfter(aircraft, aircraft.curveParam, step), 0.0, 0.999999);
    const auto point = lf_curvePoint(aircraft, aircraft.curveParam);
    if (!point) {
        gf_log(fmt::format("{} error in curve at index: {:.2F}", aircraft.callsign,
                           aircraft.curveParam));
        return;
    }
    p.latitude = point->latitude;
    p.longitude = point->longitude;
    double bend_rad = 0.0;
    if (from) {
        bend_rad = lf_wrapPi(point->heading_rad - from->heading_rad);
        p.heading_rad = lf_tickHeading(p.heading_rad + bend_rad);
    }
    // What the heading lacked as the curve began it makes up only within what the speed leaves.
    const double spot = aircraft.currentTurnRate_rad;
    const double allowed = lf_movingTurnStep(aircraft, spot) - std::abs(bend_rad);
    lf_turnTowardDeg(aircraft, lf_curveCourse(aircraft, *point),
                     std::min(spot, std::max(allowed, 0.0)));
}

void lf_logNoLeg(const LiveAc& aircraft)
{
    gf_logHighlighted(fmt::format("{}: {} removed, its samples make no leg, sz:{}, fs:{}",
                                  "nextPosMain", gf_flightDescription(aircraft),
                                  aircraft.samples.size(), flightPhaseName(aircraft.phase)));
}

// A creation that waited for its turn starts where the schedule has got to, which may lie a few
// metres short of a sample. Flown as the first leg in the shortest leg's time, that stub would set
// the speed the aircraft enters the air at: created 1.5 m short of a report at 150 kt, an A320
// entered at 12 kt and gathered speed at 5 kt a second, at under half its speed for 13 s. It is
// on that sample already: its first leg goes on to the next.
bool lf_firstAirLegIsStub(const LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    if (aircraft.pace.now_kt >= 0.0 || aircraft.onGround || s.size() < 3 || !s[0].airborne ||
        s[1].stationary) {
        return false;
    }
    const double shortest_nm = lf_legSpeed(aircraft) * kMinLegTicks / kTicksPerHour;
    return gf_distanceNm(lf_here(aircraft), lf_at(s[1])) < shortest_nm;
}

void lf_wrapPosition(AiPositionBlock& p)
{
    if (p.latitude > 90.0 || p.latitude < -90.0) {
        p.latitude = (p.latitude > 0.0 ? 180.0 : -180.0) - p.latitude;
        p.longitude += 180.0;
    }
    p.longitude = std::fmod(p.longitude + 180.0, 360.0);
    if (p.longitude < 0.0) p.longitude += 360.0;
    p.longitude -= 180.0;
}

// The leg from where the aircraft is, the front sample now, starts; it goes on the leg in
// progress: the windows narrow once a leg, not once more here.
void lf_relayFromHere(LiveAc& aircraft)
{
    const LatenessWindows windows = lf_windowsOf(aircraft);
    aircraft.pace.relaid = true;
    lf_startLeg(aircraft);
    aircraft.pace.relaid = false;
    lf_undoNarrowing(aircraft, windows);
}

}  // namespace

void nextPosMain(LiveAc& aircraft)
{
    try {
        auto& s = aircraft.samples;
        for (int32_t extensions = 0;; ++extensions) {
            while (s.size() >= 2 && s.front().airborne &&
                   aircraft.weightClass != WeightClass::Rotorcraft && s[1].stationary) {
                s.erase(s.begin() + 1);
            }
            if (s.size() >= 2) break;
            if (extensions == kMostExtensions) {
                lf_logNoLeg(aircraft);
                removeAircraftFromSim(aircraft);
                return;
            }
            std::string why;
            if (!lf_extendStream(aircraft, why)) {
                lf_removeLiveFor(aircraft, why);
                return;
            }
        }
        if (lf_firstAirLegIsStub(aircraft)) s.erase(s.begin() + 1);
        lf_startLeg(aircraft);
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(),
                                      gf_flightDescription(aircraft), aircraft.samples.size(),
                                      flightPhaseName(aircraft.phase),
                                      simObjectStateName(aircraft.state)));
        throw;
    }
}

namespace {

void lf_startLeg(LiveAc& aircraft)
{
    aircraft.curveStart = aircraft.curveEnd = NAN;
    aircraft.curveControlEast = aircraft.curveControlNorth = NAN;
    aircraft.curveParam = 0.0;
    aircraft.pace.nominal_kt = 0.0;  // unpaced until lf_paceLeg lays the new leg out
    aircraft.pace.held = false;
    aircraft.pace.reportedDue.reset();
    auto& s = aircraft.samples;
    if (!s[1].stationary && lf_samePlace(s[0], s[1])) s[1].stationary = 1;
    // A standstill reported a hair from where it stands on the ground is where it stands: turned
    // to face one 0.2 m behind it, a pushed-back B738 swung 180 degrees on the spot.
    if (!s[1].stationary && aircraft.onGround && !(s[1].groundSpeed_kt > 0.0) &&
        gf_distanceNm(lf_here(aircraft), lf_at(s[1])) * kMetresPerNm < kStandsOn_m) {
        s[1].stationary = 1;
    }
    if (!s[1].stationary) {
        // On the ground from where the aircraft is: a turn on the spot may have held it back,
        // and it is to face where it goes now.
        const LatLon here{aircraft.position.latitude, aircraft.position.longitude};
        const bool fromHere =
            aircraft.onGround && (std::abs(here.lat - s[1].latitude) >= kSame_deg ||
                                  std::abs(lf_lonDelta(here.lon, s[1].longitude)) >= kSame_deg);
        aircraft.targetBearing_rad = gf_bearingRad(fromHere ? here : lf_at(s[0]), lf_at(s[1]));
    }
    if (aircraft.onGround) {
        nextPosGround(aircraft);
    } else {
        lf_airLegTiming(aircraft);
    }
    if (s.size() < 2) return;
    lf_paceLeg(aircraft);
    const QueuedSample& b = s[1];
    if (b.stationary) {
        aircraft.latRate = aircraft.lonRate = 0.0;
        lf_legNarrowsWindows(aircraft);
    } else {
        const int64_t ahead = lf_ticksToDue(b);
        const double dt = ahead >= 0 ? std::max(static_cast<double>(ahead), 25.0) : 25.0;
        const AiPositionBlock& p = aircraft.position;
        aircraft.polarLeg = std::max(std::abs(p.latitude), std::abs(b.latitude)) > kPolarFrom_deg;
        if (aircraft.polarLeg) {
            const bool north = b.latitude > 0.0;
            const PolarPoint from = lf_polarOf(p.latitude, p.longitude, north);
            const PolarPoint to = lf_polarOf(b.latitude, b.longitude, north);
            aircraft.latRate = (to.x - from.x) / dt;
            aircraft.lonRate = (to.y - from.y) / dt;
        } else {
            aircraft.latRate = (b.latitude - p.latitude) / dt;
            aircraft.lonRate = lf_lonDelta(b.longitude, p.longitude) / dt;
        }
        if (aircraft.onGround) {
            lf_groundConfig(aircraft);
        } else {
            lf_startAirLeg(aircraft);
        }
    }
    s.pop_front();
    lf_keepInTimeOrder(s);
}

void lf_airLegTiming(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    const QueuedSample& a = s[0];
    const QueuedSample& b = s[1];
    if (b.stationary) {
        if (aircraft.weightClass == WeightClass::Rotorcraft) lf_groundLegTiming(aircraft);
        return;
    }
    double speed = 0.0;
    if (aircraft.approach && !b.airborne) {
        speed = a.groundSpeed_kt > 0.0 ? a.groundSpeed_kt : 100.0;
    } else {
        speed = lf_legSpeed(aircraft);
    }
    const double length_nm = gf_distanceNm(lf_at(a), lf_at(b));
    const double top_kt = std::max(a.groundSpeed_kt, b.groundSpeed_kt);
    if (a.reckoned && !b.reckoned && top_kt > 0.0) {
        // Back onto its reports from a place it reckoned its way to: the speed it reckoned is no
        // reported one, and the report's time says how fast it went there, within what it may
        // have flown. Taken half from it, a helicopter that had reckoned a hover through a pause
        // flew the 500 m to the first report after it at 20 kt, reported at 40, and came out 18 s
        // further behind its reports for good. So on an approach, whose reckoning slows it a
        // tenth a step: a C172 reported at 73 kt that reckoned 63 s of a pause flew the 1.4 km
        // to its touchdown at the 43 kt it had slowed to, 57 s after the report of it came in.
        const double toDue = static_cast<double>(lf_reportedDue(b) - g_fastTicks);
        const double implied = toDue > 0.0 ? length_nm * kTicksPerHour / toDue : HUGE_VAL;
        speed = std::clamp(implied, top_kt * kSlowestBack, top_kt * kFastestBack);
    }
    const int32_t ticks = lf_ticksOf(length_nm * kTicksPerHour / speed);
    lf_setDueTick(aircraft, std::max(ticks, kMinLegTicks));
}

// Its reports have paused after one thinned out as adding nothing to a steady path: that one is
// where it went. Held at the last report kept instead, a taxi at 6 kt whose reports paused for
// 36 s stopped 17 m short of the last of them and fell 46 s behind them.
bool lf_takeThinned(LiveAc& aircraft)
{
    if (!aircraft.thinned) return false;
    QueuedSample s = *aircraft.thinned;
    aircraft.thinned.reset();
    auto& q = aircraft.samples;
    if (q.empty() || s.airborne || q.back().airborne || lf_samePlace(q.back(), s)) return false;
    lf_dueAfterNewestReport(q, s);
    q.push_back(s);
    return true;
}

// In the air too: a report dropped as coming within a second of the one before is where it went
// once its reports stop, unless it lies farther than it can have got to or reports a speed far
// from the one before. Reckoned on from the one before, an airliner whose reports ended in a turn
// of 2.8 degrees a second, 0.99 s after the one before, flew 25 m off the way to the last.
bool lf_takeThinnedInAir(LiveAc& aircraft)
{
    if (!aircraft.thinned || aircraft.onGround || aircraft.approach || aircraft.jumpHeld) {
        return false;
    }
    QueuedSample s = *aircraft.thinned;
    auto& q = aircraft.samples;
    if (q.empty() || !s.airborne || !q.back().airborne || q.back().reckoned ||
        lf_samePlace(q.back(), s)) {
        return false;
    }
    const double v0 = q.back().groundSpeed_kt;
    const double v1 = s.groundSpeed_kt;
    if (!(v1 > 0.5 * v0 && v1 < 2.0 * v0)) return false;
    const double span_s =
        std::max(static_cast<double>(lf_reportedDue(s) - lf_reportedDue(q.back())) / 100.0, 1.0);
    const double reach_nm = (std::max(v0, v1) * 1.5 + 120.0) * span_s / 3600.0;
    if (gf_distanceNm(lf_at(q.back()), lf_at(s)) > reach_nm) return false;
    aircraft.thinned.reset();
    lf_dueAfterNewestReport(q, s);
    q.push_back(s);
    return true;
}

bool lf_extendStream(LiveAc& aircraft, std::string& why)
{
    const FlightPhase phase = aircraft.phase;
    if (phase == FlightPhase::parking) {
        lf_towedArrives(aircraft);
    } else if (phase == FlightPhase::pushed_back ||
               (phase == FlightPhase::taxi && !aircraft.takeOff && !aircraft.landingRoll)) {
        if (phase == FlightPhase::taxi && !aircraft.holding && lf_takeThinned(aircraft)) {
            return true;
        }
        return lf_holdInPlace(aircraft, why);
    }
    if (aircraft.syntheticCount == 0 && lf_takeThinnedInAir(aircraft)) return true;
    if (aircraft.syntheticCount == 1 || aircraft.syntheticCount < 0) {
        if (lf_stillReported(aircraft)) return lf_extendFresh(aircraft, why);
        if (lf_rollStandsReported(aircraft)) return true;
        why = fmt::format("its reports stopped {} s before its reckoning ran out",
                          (g_fastTicks - aircraft.heardTick) / 100);
        aircraft.syntheticCount = -1;
        return false;
    }
    if (aircraft.syntheticCount > 1) {
        lf_addSyntheticSample(aircraft, aircraft.syntheticCount - 1);
        return true;
    }
    return lf_extendFresh(aircraft, why);
}

}  // namespace

void decodeExisting(LiveAc& aircraft, const QueuedSample& sample)
{
    try {
        switch (lf_decodeExisting(aircraft, sample)) {
        case ReportTaken::dropped: return;
        case ReportTaken::relaid: lf_relayFromHere(aircraft); break;
        case ReportTaken::appended:
            if (aircraft.state == SimObjectState::active && lf_paceNewReport(aircraft)) {
                lf_relayFromHere(aircraft);
            }
            break;
        }
        lf_keepInTimeOrder(aircraft.samples);
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception {}", "decodeExisting", e.what()));
        throw;
    }
}

void lf_addSyntheticSample(LiveAc& aircraft, int32_t count)
{
    aircraft.syntheticCount = count;
    QueuedSample s = aircraft.samples.front();
    if (lf_reckonSpeed(aircraft, s, count)) {
        const auto step_s = static_cast<double>(lf_reckonStep_s(s.airborne));
        const double distance_ft = step_s * 100.0 * s.groundSpeed_kt * kFeetPerNm / kTicksPerHour;
        // On its approach it reckons on straight, along the track of the report it sets out
        // from where it has one, not along its nose: that points along the leg it flew onto the
        // report, which near a pole, where the track of a straight way turns with the longitude,
        // lies a little off the way; reckoned along it, a C172 whose feed lagged came back onto
        // each report from farther aside, on a leg further off the way, and swung up to 48
        // degrees about it, 94 m off.
        double course_rad = aircraft.position.heading_rad;
        if (s.airborne && !aircraft.approach) {
            course_rad = lf_reckonCourse_rad(aircraft, step_s);
        } else if (s.airborne && aircraft.reckonTurns > 0) {
            course_rad = aircraft.reckonTrack_deg * kRadPerDeg;
        }
        const LatLon to = gf_destinationPoint(lf_at(s), course_rad, distance_ft);
        const bool moved = std::abs(to.lat - s.latitude) >= kSame_deg ||
                           std::abs(lf_lonDelta(to.lon, s.longitude)) >= kSame_deg;
        s.latitude = to.lat;
        s.longitude = to.lon;
        s.stationary = moved ? 0 : 1;
        if (aircraft.approach && aircraft.flareStage == 0) {
            s.verticalRate_fpm = -667.0;
            s.altitude_ft -= step_s * 10.005;
        } else if (aircraft.phase == FlightPhase::take_off) {
            // A sample on the ground says 0 ft, no height: climbing from it, the first step lay
            // 75 ft above the sea, and an airliner lifting off from a field at 3,650 ft dived
            // to it at 430 ft a second.
            if (!s.airborne) s.altitude_ft = aircraft.position.altitude_ft;
            s.verticalRate_fpm = 1500.0;
            s.altitude_ft += step_s * 25.0;
        }
        s.airborne = s.altitude_ft > 0.0 ? 1 : 0;
        if (!s.airborne) s.altitude_ft = 0.0;
    } else if (lf_rollsToAStop(aircraft)) {
        lf_rollToAStop(aircraft);
        return;
    } else {
        s.stationary = 1;
        s.groundSpeed_kt = 0.0;
    }
    s.reckoned = true;
    lf_syntheticDue(aircraft, s);
    if (aircraft.phase == FlightPhase::parked) {
        aircraft.departing = 0;
        lf_releaseStand(aircraft.standId, aircraft.hexId);
    }
    aircraft.samples.push_back(s);
}

void lf_moveOneTick(LiveAc& aircraft)
{
    AiPositionBlock& p = aircraft.position;
    const FlightPhase phase = aircraft.phase;
    if (lf_curveActive(aircraft)) {
        lf_curveTick(aircraft);
    } else {
        bool turnsFirst = false;
        if (phase == FlightPhase::take_off || phase == FlightPhase::flying ||
            phase == FlightPhase::parked || phase == FlightPhase::birth) {
            // On the runway the nose keeps to it: turned toward the first air leg's way as it
            // rotated, an aircraft swung it 7 degrees in a second at 146 kt before it was off.
            // The leg after makes up the turn.
            if (!lf_onTheRunway(aircraft)) {
                p.heading_rad = lf_tickHeading(p.heading_rad + aircraft.headingRate);
            }
        } else if (phase == FlightPhase::parking || aircraft.turnOnSpot) {
            // Rolling on its take-off, it does not stop dead for a small turn that outlasts the
            // leg (at speed its sideways bound slows the turn): it turns on as it rolls, and the
            // leg after takes up the rest. Stopped to turn, an A320 at 134 kt 3 degrees off a leg
            // of a second dropped to 7 kt in two seconds.
            const bool rolls = aircraft.takeOff && aircraft.pace.now_kt > kRollsOn_kt;
            turnsFirst = aircraft.turnOnSpot &&
                         (lf_turnsFirst(aircraft, aircraft.targetBearing_rad) ||
                          (!rolls && lf_turnOutlastsLeg(aircraft, aircraft.targetBearing_rad)));
            lf_turnTowardDeg(aircraft, aircraft.targetBearing_rad,
                             turnsFirst ? lf_spotTurnRate(aircraft)
                                        : lf_rollingTurnStep(aircraft, aircraft.targetBearing_rad));
        }
        if (turnsFirst) lf_holdForTurn(aircraft);
        if (phase != FlightPhase::pushed_back && !turnsFirst) {
            const double share = lf_paceTick(aircraft);
            if (aircraft.polarLeg) {
                const bool north = p.latitude > 0.0;
                PolarPoint at = lf_polarOf(p.latitude, p.longitude, north);
                at.x += aircraft.latRate * share;
                at.y += aircraft.lonRate * share;
                const LatLon to = lf_fromPolar(at, north);
                p.latitude = to.lat;
                p.longitude = to.lon;
            } else {
                p.latitude += aircraft.latRate * share;
                p.longitude += aircraft.lonRate * share;
            }
        }
    }
    lf_verticalStep(aircraft);
    lf_wrapPosition(p);
}

}  // namespace qel
