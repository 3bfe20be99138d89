// Air legs of live aircraft: the vertical profile, pitch, bank and heading rates of each leg and
// the configuration that goes with the height; the approach flare, the nose coming down after
// touchdown, and the take-off from the roll through rotation to the climb.
//
// Threads: main-loop thread.
#include <algorithm>
#include <cmath>
#include <limits>
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
#include "traffic/leg_queries.h"
#include "traffic/park_airports.h"
#include "traffic/schedule.h"

namespace qel {

namespace {

constexpr double kFlarePitch_rad = -4.0 * kRadPerDeg;
// In the air the speed changes by no more than 5 kt a second (kt per tick), unless the reports
// change it faster: an airliner gains or loses a few knots a second, and a watcher sees 10 kt in a
// second as a jolt. The windows would otherwise change it at once by up to a fifth where they
// stretch or shorten a leg (a climb at 230 kt dropping to 193 kt between two seconds).
constexpr double kAirSpeedChange_ktPerTick = 0.05;
// Back onto its reports after reckoning, it changes speed at this rate where the leg allows
// (2 kt a second), else at the bounded one.
constexpr double kBackOnto_ktPerTick = 0.02;
// Where its reports' time leaves it too little for that, it changes speed at this rate over the
// time it needs, up to a tenth more than theirs, before it takes the bounded one (more, and a feed
// already far behind fell further behind than a watcher bears): its way bends onto the line to
// the report as it sets out, and the second the bend falls in is seen shorter, so the next one is
// seen gaining more than it does. Held to their time, a departure that had reckoned a gap in its
// reports at 116 kt made up the way to a report of 166 kt at the bounded 5 kt a second, and was
// seen to gather 6 kt in a second.
constexpr double kBackOntoLonger_ktPerTick = 0.035;
constexpr double kBackOntoLonger = 1.1;
// A hovering helicopter drifts at a few knots at most.
constexpr double kHoverDrift_kt = 10.0;
constexpr double kFlareStart_ft = 400.0;
// A helicopter hovering higher than this above the ground is not about to set down.
constexpr double kHoverAloft_ft = 100.0;
constexpr double kNearPark_nm = 10.0;
// Past its rotation an aircraft taking off climbs its first second at a tenth of its rate.
constexpr int32_t kWheelsOff_ticks = 100;

// The steps of an air leg, defined after the leg starts that call them.
bool lf_climbToAirborneSample(LiveAc& aircraft, std::size_t k);
double lf_descentRate(const LiveAc& aircraft);  // ft/min
void lf_bankTarget(LiveAc& aircraft, double turn_rad, double dt_ticks);
void lf_lowAltitudeConfig(LiveAc& aircraft);
void lf_airConfig(LiveAc& aircraft);

struct ClassLimits {
    double maxPitchRate_rad;  // per tick
    double maxBank_rad;
    double maxBankRate_rad;  // per tick
};

const ClassLimits& lf_limits(WeightClass weightClass)
{
    static const std::unordered_map<WeightClass, ClassLimits> table = {
        {WeightClass::Light, {0.01 * kRadPerDeg, 40 * kRadPerDeg, 0.035 * kRadPerDeg}},
        {WeightClass::Buzjets, {0.0085 * kRadPerDeg, 35 * kRadPerDeg, 0.0275 * kRadPerDeg}},
        {WeightClass::Large, {0.0075 * kRadPerDeg, 30 * kRadPerDeg, 0.02 * kRadPerDeg}},
        {WeightClass::Heavy, {0.005 * kRadPerDeg, 20 * kRadPerDeg, 0.015 * kRadPerDeg}},
        {WeightClass::HighPerf, {0.03 * kRadPerDeg, 90 * kRadPerDeg, 0.1 * kRadPerDeg}},
        {WeightClass::Rotorcraft, {0.03 * kRadPerDeg, 75 * kRadPerDeg, 0.06 * kRadPerDeg}}};
    return table.at(weightClass);
}

// Reports this far apart in speed are flown changing speed evenly, to an end speed within the
// slack of theirs.
constexpr double kEvenChange_kt = 10.0;
constexpr double kEvenSlack_kt = 5.0;
// A helicopter that comes into the leg before a hover at the hover's run-in speed, within this,
// is already slowing into it: the speeds it was brought to there differ by rounding alone.
constexpr double kAtHoverSpeed_kt = 0.01;

bool lf_rotor(const LiveAc& a) { return a.weightClass == WeightClass::Rotorcraft; }

double lf_qnh() { return static_cast<double>(g_trafficQnh.load()); }

double lf_legTicks(const LiveAc& aircraft)
{
    const int64_t ahead = lf_ticksToDue(aircraft.samples[1]);
    return std::max(static_cast<double>(ahead), 25.0);
}

// The ticks a leg of `length` (kt·ticks) takes entered at v0, going to v1 at `rate` (kt per
// tick) and holding v1 from there; it ends before it gets to v1 where the leg is too short.
double lf_spreadTicks(double v0, double v1, double rate, double length)
{
    const double ramp = std::abs(v1 - v0) / rate;
    const double rampLength = (v0 + v1) / 2.0 * ramp;
    if (rampLength <= length) return ramp + (length - rampLength) / v1;
    const double a = v1 > v0 ? rate : -rate;
    return (std::sqrt(std::max(v0 * v0 + 2.0 * a * length, 0.0)) - v0) / a;
}

// How fast the speed may change on the leg to sample 1 (kt per tick): as fast as the reports at
// its ends change it at the aircraft's own speed, 5 kt a second at the least.
double lf_airSpeedChange(const LiveAc& aircraft, double length)
{
    // A speed the aircraft reckoned is no reported change: back from reckoning, onto reports of
    // a feed that fell behind, it jumped 10 kt in a second.
    if (aircraft.samples[0].reckoned || aircraft.samples[1].reckoned) {
        return kAirSpeedChange_ktPerTick;
    }
    const double change =
        std::abs(aircraft.samples[1].groundSpeed_kt - aircraft.samples[0].groundSpeed_kt);
    const double own = length / lf_legSpeed(aircraft);
    return own > 0.0 ? std::max(kAirSpeedChange_ktPerTick, change / own)
                     : kAirSpeedChange_ktPerTick;
}

// Where the reports slow a helicopter into a hover, without gathering speed first, the speed the
// leg to sample 1 ends at: the one reported there, 0 where the hover begins there. Flown at
// each leg's own speed, it lagged such reports by half a leg, came to the hover at 53 kt and
// stopped dead.
std::optional<double> lf_intoHover_kt(const LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    if (!lf_rotor(aircraft)) return std::nullopt;
    for (std::size_t k = 1; k < s.size() && s[k].airborne; ++k) {
        if (s[k].stationary || !(s[k].groundSpeed_kt > 0.0)) {
            // A repeated place is hovered from the sample before it.
            const std::size_t start = s[k].stationary ? k - 1 : k;
            return start <= 1 ? 0.0 : s[1].groundSpeed_kt;
        }
        if (s[k].groundSpeed_kt > s[k - 1].groundSpeed_kt) break;
    }
    return std::nullopt;
}

// kt·ticks covered in n ticks going from v0 to `hold` at `rate`, holding it, then going to `end`.
double lf_rampedLength(double v0, double hold, double end, double rate, double n)
{
    const double up = std::abs(hold - v0) / rate;
    const double down = std::abs(hold - end) / rate;
    return (v0 + hold) / 2.0 * up + hold * (n - up - down) + (hold + end) / 2.0 * down;
}

// The speed held between a change from v0 and one to `end`, both at `rate`, that covers `length`
// in n ticks; none where they do not fit into it. Where both fit, the length grows with the
// speed held, so halving finds it.
std::optional<double> lf_heldBetween(double v0, double end, double rate, double n, double length)
{
    const double reach = rate * n;
    if (std::abs(v0 - end) > reach) return std::nullopt;
    double lo = std::max((v0 + end - reach) / 2.0, 0.0);
    double hi = (v0 + end + reach) / 2.0;
    if (lf_rampedLength(v0, hi, end, rate, n) < length ||
        lf_rampedLength(v0, lo, end, rate, n) > length) {
        return std::nullopt;
    }
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2.0;
        (lf_rampedLength(v0, mid, end, rate, n) < length ? lo : hi) = mid;
    }
    return (lo + hi) / 2.0;
}

// Back onto its reports from a place it reckoned its way to, the leg to the first is flown in
// that report's time (lf_airLegTiming) and ends at the speed reported there, the speed the legs
// after it go on from: holding the speed that time took, a helicopter that had reckoned through
// a pause at 69 kt made up the way it had lost at 88 kt, and came onto a report of 59 kt at
// 88 kt, 21 kt in a second. False where the change to that speed does not fit the leg.
bool lf_paceBackOntoReport(LiveAc& aircraft, double length, int32_t n);

// Lays the back-onto leg out at `rate` in n ticks; false where the change does not fit them.
bool lf_layBackOnto(LiveAc& aircraft, double length, int32_t n, double rate)
{
    const double end = aircraft.samples[1].groundSpeed_kt;
    LegPace& pace = aircraft.pace;
    const double v0 = pace.now_kt;
    const std::optional<double> hold = lf_heldBetween(v0, end, rate, n, length);
    if (!hold) return false;
    pace.nominal_kt = length / n;
    pace.free_kt = v0;
    pace.hold_kt = *hold;
    pace.end_kt = end;
    pace.rate_ktPerTick = rate;
    pace.endTicks = static_cast<int32_t>(std::ceil(std::abs(*hold - end) / rate));
    return true;
}

bool lf_paceBackOntoReport(LiveAc& aircraft, double length, int32_t n)
{
    const QueuedSample& a = aircraft.samples[0];
    const QueuedSample& b = aircraft.samples[1];
    if (!a.reckoned || b.reckoned || !(b.groundSpeed_kt > 0.0)) return false;
    if (lf_layBackOnto(aircraft, length, n, kBackOnto_ktPerTick)) return true;
    for (int32_t step = 1; step <= 10; ++step) {
        const double longer = n * (1.0 + (kBackOntoLonger - 1.0) * step / 10.0);
        const auto ticks = static_cast<int32_t>(std::ceil(longer));
        if (lf_layBackOnto(aircraft, length, ticks, kBackOntoLonger_ktPerTick)) {
            lf_dueIn(aircraft.samples[1], ticks);
            return true;
        }
    }
    return lf_layBackOnto(aircraft, length, n, kAirSpeedChange_ktPerTick);
}

void lf_climbRate(LiveAc& aircraft, double dt)
{
    const QueuedSample& b = aircraft.samples[1];
    const double up = b.altitude_ft - aircraft.position.altitude_ft;
    aircraft.altRate = up > 0.0 ? std::min(up / dt, aircraft.maxClimbRate_ft) : 0.0;
}

void lf_descentToGround(LiveAc& aircraft, double dt)
{
    const double qnh = lf_qnh();
    if (qnh >= 1014.0 || !gf_parkAirportSet()) {
        aircraft.legVerticalSpeed_fpm = qnh >= 1014.0 ? lf_descentRate(aircraft) : -601.0;
        aircraft.altRate = aircraft.legVerticalSpeed_fpm / 6000.0;
        return;
    }
    // A low QNH puts the reported altitudes below the field: aim at the field itself.
    aircraft.altRate = (lf_parkElevation_ft() - aircraft.position.altitude_ft) / dt;
}

void lf_groundProfile(LiveAc& aircraft)
{
    auto& q = aircraft.samples;
    double sum = 0.0;
    for (const QueuedSample& s : q) sum += s.verticalRate_fpm;
    if (sum > 100.0 && !aircraft.approach) {
        const std::size_t last = std::min<std::size_t>(q.size() - 1, 10);
        for (std::size_t k = 3; k <= last; ++k) {
            if (lf_climbToAirborneSample(aircraft, k)) return;
        }
        q[1].verticalRate_fpm = std::max(q[1].verticalRate_fpm, 601.0);
        aircraft.legVerticalSpeed_fpm = q[1].verticalRate_fpm;
    } else {
        aircraft.legVerticalSpeed_fpm = lf_descentRate(aircraft);
        q[1].verticalRate_fpm = aircraft.legVerticalSpeed_fpm;
    }
    aircraft.altRate = aircraft.legVerticalSpeed_fpm / 6000.0;
}

void lf_airborneProfile(LiveAc& aircraft, double dt)
{
    const QueuedSample& a = aircraft.samples[0];
    QueuedSample& b = aircraft.samples[1];
    // A helicopter is shown as low as its reports say, and no lower: levelled off to hover or
    // fly on low near the field, one went on down at 600 ft a minute to 11 ft above the ground,
    // and climbed 600 ft above its reports from there.
    if (!aircraft.approach || lf_rotor(aircraft)) {
        double r = (b.altitude_ft - aircraft.position.altitude_ft) / dt;
        // The floor keeps a slow climb-out climbing; a descent below 1000 ft is no climb-out
        // and must not be turned into one.
        if (aircraft.heightAboveGround_ft <= 1000.0 && r > 0.0 && r <= 0.2) r = 0.2;
        aircraft.altRate = std::min(r, aircraft.maxClimbRate_ft);
        return;
    }
    if (a.altitude_ft != b.altitude_ft || aircraft.heightAboveGround_ft > 1000.0 ||
        a.verticalRate_fpm + b.verticalRate_fpm > 100.0) {
        aircraft.altRate = (b.altitude_ft - aircraft.position.altitude_ft) / dt;
        return;
    }
    aircraft.legVerticalSpeed_fpm = lf_descentRate(aircraft);
    b.verticalRate_fpm = aircraft.legVerticalSpeed_fpm;
    aircraft.altRate = aircraft.legVerticalSpeed_fpm / 6000.0;
}

void lf_verticalProfile(LiveAc& aircraft, double dt)
{
    const bool aAir = aircraft.samples[0].airborne;
    const bool bAir = aircraft.samples[1].airborne;
    if (!aAir && bAir) {
        lf_climbRate(aircraft, dt);
    } else if (!bAir) {
        if (aAir) {
            lf_descentToGround(aircraft, dt);
        } else {
            lf_groundProfile(aircraft);
        }
        gf_setGear(aircraft, true);
    } else {
        lf_airborneProfile(aircraft, dt);
    }
}

void lf_pitchRate(LiveAc& aircraft, double dt)
{
    double v = aircraft.samples[1].verticalRate_fpm;
    v = v > 0.0 ? std::min(v, 2400.0) : std::max(v, -3000.0) * 0.5;
    const double target = (-3.0 - (v / 600.0) * 2.2) * kRadPerDeg;
    const double limit = lf_limits(aircraft.weightClass).maxPitchRate_rad;
    aircraft.pitchRate = std::clamp((target - aircraft.position.pitch_rad) / dt, -limit, limit);
}

double lf_turn(const LiveAc& aircraft)
{
    const QueuedSample& b = aircraft.samples[1];
    const double high = aircraft.approach ? 2000.0 : 1000.0;
    if (b.trueHeading_rad && b.bank_rad && b.hasTrueHeading &&
        aircraft.heightAboveGround_ft < high) {
        return lf_wrapPi(*b.trueHeading_rad - aircraft.position.heading_rad);
    }
    // With no leg after this one yet (a feed that lags hands over each report shortly before it
    // falls due) it turns along this leg: turning toward none, an airliner whose reports turned
    // 107 degrees kept its nose where it was created, and reckoned along it away from them once
    // they paused. A hovering helicopter's drift says nothing of where its nose points: the last
    // 0.3 m of the way into its hover swung one round by 70 degrees, and back as it set off.
    // Nor does the drift it sets off from its hover in: it turns once it flies, on the leg after.
    // Turned toward that leg's way as it drifted off at 0 to 3 kt, one swung round by 120
    // degrees below 2 kt while its reports flew on.
    const auto& s = aircraft.samples;
    const bool drifts = !(b.groundSpeed_kt > kHoverDrift_kt);
    if (lf_rotor(aircraft) && drifts &&
        ((s.size() >= 3 && !(s[2].groundSpeed_kt > kHoverDrift_kt)) ||
         !(s[0].groundSpeed_kt > kHoverDrift_kt))) {
        return 0.0;
    }
    if (s.size() < 3 && b.groundSpeed_kt > kHoverDrift_kt && !lf_samePlace(s[0], s[1])) {
        return lf_wrapPi(gf_bearingRad(lf_here(aircraft), lf_at(b)) -
                         aircraft.position.heading_rad);
    }
    return lf_turnAhead(aircraft);
}

void lf_cruiseConfig(LiveAc& aircraft)
{
    if (aircraft.cruiseConfigSent) return;
    aircraft.cruiseConfigSent = 1;
    aircraft.lowAltLightsSent = 0;
    gf_queueLightEvents(aircraft.objectId, {1U, 1U, 0U, 0U, 0U, 0U, 1U});
    gf_setThrottle(aircraft, lf_rotor(aircraft) ? 4 : 3);
    gf_setGear(aircraft, false);
    gf_setFlaps(aircraft, 0);
}

void lf_flareStage(LiveAc& aircraft, double altRate, double vs, uint8_t stage)
{
    aircraft.altRate = altRate;
    if (!aircraft.samples.empty()) aircraft.samples.front().verticalRate_fpm = vs;
    aircraft.flareStage = stage;
    aircraft.elevationKnown = 0;
}

void lf_flare(LiveAc& aircraft)
{
    if (aircraft.flareStage == 0 && !aircraft.elevationKnown) {
        aircraft.fieldElevation_ft = gf_parkAirportSet() ? lf_parkElevation_ft() : 0.0;
        aircraft.elevationKnown = 1;
    }
    aircraft.heightAboveField_ft = gf_parkAirportSet()
                                       ? aircraft.position.altitude_ft - lf_parkElevation_ft()
                                       : aircraft.heightAboveGround_ft;
    const double h = std::min(aircraft.heightAboveGround_ft, aircraft.heightAboveField_ft);
    const double cg = aircraft.cgHeight_ft;
    switch (aircraft.flareStage) {
    case 0:
        if (h > cg + 30.0) return;
        aircraft.pitchRate =
            (kFlarePitch_rad - aircraft.position.pitch_rad) / std::max(aircraft.flareTicks, 1);
        aircraft.landing = 1;
        lf_flareStage(aircraft, -0.1, -601.0, 1);
        return;
    case 1:
        if (h <= cg + 20.0) lf_flareStage(aircraft, -0.075, -450.0, 2);
        return;
    case 2:
        if (h > cg + 10.0) return;
        gf_setThrottle(aircraft, 0);
        lf_flareStage(aircraft, -0.05, -300.0, 3);
        return;
    case 3:
        if (h <= cg + 3.0) lf_flareStage(aircraft, -0.025, -150.0, 4);
        return;
    default: return;
    }
}

// A climb the floor of the low climb rate hurries levels off at the leg's end: held to the leg, a
// helicopter 1 ft below its next report climbed 940 ft over a 45-s leg. Climbing out still in its
// take-off, a touch-and-go reported at 850 ft a minute climbed at the floor's 1200 past one
// report after another, to 200 ft above them by 800 ft up.
void lf_climbEndsAtLegEnd(LiveAc& aircraft, double before)
{
    const auto& q = aircraft.samples;
    if (aircraft.altRate > 0.0 && !q.empty() && q.front().airborne) {
        aircraft.position.altitude_ft =
            std::min(aircraft.position.altitude_ft, std::max(q.front().altitude_ft, before));
    }
}

void lf_takeOffTick(LiveAc& aircraft)
{
    AiPositionBlock& p = aircraft.position;
    aircraft.countdown = std::max(aircraft.countdown - 1, -1000);
    const int32_t c = aircraft.countdown;
    if (c >= 1) {
        aircraft.onGround = 0;
        if (p.pitch_rad > aircraft.rotationPitch_rad) p.pitch_rad += aircraft.pitchRate;
        return;
    }
    p.bank_rad = std::clamp(p.bank_rad + aircraft.bankRate, -kPi, kPi);
    if (p.pitch_rad > aircraft.climbPitch_rad) {
        p.pitch_rad += (aircraft.climbPitch_rad - aircraft.rotationPitch_rad) /
                       std::max(aircraft.climbTransitionTicks, 1);
    }
    double share = 1.0;
    if (c > -kWheelsOff_ticks) {
        share = 0.1;
    } else if (c > -200) {
        share = 0.2;
    } else if (c > -300) {
        share = 0.5;
    } else if (c == -300) {
        share = 0.5;
        gf_setGear(aircraft, false);
    }
    const double before = p.altitude_ft;
    p.altitude_ft += aircraft.altRate * share;
    lf_climbEndsAtLegEnd(aircraft, before);
    if (c < -300) {
        if (p.pitch_rad <= aircraft.climbPitch_rad) aircraft.pitchRate = 0.0;
        if (aircraft.heightAboveGround_ft >= 800.0) {
            gf_setThrottle(aircraft, lf_rotor(aircraft) ? 4 : 3);
            lf_setLivePhase(aircraft, FlightPhase::flying, PhaseMemory::always);
            aircraft.countdown = 1;
        }
    }
}

}  // namespace

void lf_startAirLeg(LiveAc& aircraft)
{
    if (aircraft.phase != FlightPhase::take_off) {
        lf_setLivePhase(aircraft, FlightPhase::flying, PhaseMemory::onChange);
    }
    const QueuedSample& b = aircraft.samples[1];
    aircraft.legAirspeed_kt = b.airspeed_kt;
    aircraft.legVerticalSpeed_fpm = b.verticalRate_fpm;
    const double dt = lf_legTicks(aircraft);
    if (aircraft.flareStage == 0) lf_verticalProfile(aircraft, dt);
    if (aircraft.phase != FlightPhase::take_off) lf_pitchRate(aircraft, dt);
    const double turn = lf_turn(aircraft);
    aircraft.headingRate = turn / dt;
    const QueuedSample& b1 = aircraft.samples[1];
    if (b1.bank_rad) {
        aircraft.bankRate = (*b1.bank_rad - aircraft.position.bank_rad) / dt;
    } else {
        lf_bankTarget(aircraft, turn, dt);
    }
    if (aircraft.samples[0].altitude_ft < 10000.0) {
        lf_lowAltitudeConfig(aircraft);
    } else {
        lf_cruiseConfig(aircraft);
    }
}

void lf_paceAirLeg(LiveAc& aircraft, double length, int32_t n)
{
    LegPace& pace = aircraft.pace;
    double v0 = pace.now_kt;
    double v1 = length / n;
    const std::optional<double> intoHover = lf_intoHover_kt(aircraft);
    // A new aircraft enters its first leg at that leg's speed; slowing into a hover, at the one
    // that slows it evenly to the hover's speed in the leg's time: entered at the leg's mean, a
    // helicopter made anew 52 m short of its hover held 13 kt and stopped dead there.
    if (!(v0 >= 0.0) || !(v1 > 0.0)) {
        if (!(v1 > 0.0) || !intoHover || !(*intoHover < v1)) {
            pace.now_kt = v1;
            return;
        }
        v0 = pace.now_kt = 2.0 * v1 - *intoHover;
    }
    double rate = lf_airSpeedChange(aircraft, length);
    // Brought to the run-in speed by the leg before, it holds it into the hover. Taken as not
    // slowing where it came out a hair below that speed, an R44 whose reports held 46 kt laid the
    // leg out to make up its lag, gathered 64 kt and shed it again in the leg's last seconds,
    // where the same stream at the equator, a hair above, held 46 kt. Setting off from a hover it
    // is at no speed to hold.
    const bool slows = intoHover && v0 > 0.0 && v0 > *intoHover - kAtHoverSpeed_kt;
    if (!slows && lf_paceBackOntoReport(aircraft, length, n)) {
        pace.left_ktTicks = length;
        pace.exit_kt = kNoBend_kt;
        pace.lag_ticks = 0.0;
        pace.stops = pace.bent = false;
        return;
    }
    if (!slows && std::abs(v1 - v0) <= rate) {
        pace.now_kt = v1;
        return;
    }
    const QueuedSample& a = aircraft.samples[0];
    const QueuedSample& b = aircraft.samples[1];
    // Reports far apart in speed (a pause between them, a helicopter slowing hard) are flown
    // changing speed evenly over the leg, in its time: gathering the leg's mean speed at once
    // and holding it, a helicopter reported at 44 kt and, after a pause, at 15 kt came to that
    // report at 31 kt, and slowed into its hover 20 m on at 14 kt a second.
    const double evenEnd = 2.0 * v1 - v0;
    const bool even = !slows && !a.reckoned && !b.reckoned &&
                      std::abs(b.groundSpeed_kt - a.groundSpeed_kt) >= kEvenChange_kt &&
                      evenEnd >= 0.0 &&
                      evenEnd >= std::min(a.groundSpeed_kt, b.groundSpeed_kt) - kEvenSlack_kt &&
                      evenEnd <= std::max(a.groundSpeed_kt, b.groundSpeed_kt) + kEvenSlack_kt;
    // Slowing into a hover, it slows evenly to the speed reported at the leg's end, as the
    // reports do, and comes to the hover at a standstill.
    if (slows) v1 = *intoHover;
    if (even) v1 = evenEnd;
    double ticks = slows ? length / ((v0 + v1) / 2.0) : lf_spreadTicks(v0, v1, rate, length);
    if (even) ticks = n;
    const int64_t laid = std::llround(std::clamp(ticks, static_cast<double>(kMinLegTicks), 2e9));
    if (slows || even) rate = std::abs(v0 - v1) / static_cast<double>(laid);
    lf_dueIn(aircraft.samples[1], laid);
    pace.nominal_kt = length / static_cast<double>(laid);
    pace.free_kt = v0;
    pace.hold_kt = pace.end_kt = v1;
    pace.rate_ktPerTick = rate;
    pace.endTicks = 0;
    pace.left_ktTicks = length;
    pace.exit_kt = kNoBend_kt;
    pace.lag_ticks = 0.0;
    pace.stops = pace.bent = false;
}

namespace {

bool lf_climbToAirborneSample(LiveAc& aircraft, std::size_t k)
{
    auto& q = aircraft.samples;
    if (q.size() < k || !q[k - 1].airborne) return false;
    for (std::size_t i = 0; i + 2 < k && q.size() >= 3; ++i) q.erase(q.begin() + 1);
    const double ticks =
        gf_distanceNm({q[0].latitude, q[0].longitude}, {q[1].latitude, q[1].longitude}) *
        kTicksPerHour / lf_legSpeed(aircraft);
    if (!std::isfinite(ticks) || std::abs(ticks) > 2e9) throw std::range_error("narrowing error");
    lf_setDueTick(aircraft, std::max(static_cast<int32_t>(std::lround(ticks)), 25));
    lf_climbRate(aircraft, lf_legTicks(aircraft));
    return true;
}

double lf_descentRate(const LiveAc& aircraft)
{
    if (aircraft.heightAboveGround_ft <= 100.0) return -600.0;
    const double mean =
        (aircraft.samples[0].verticalRate_fpm + aircraft.samples[1].verticalRate_fpm) * 0.5;
    return std::min(mean - (lf_qnh() - 1013.25) * 6.0, -601.0);
}

void lf_bankTarget(LiveAc& aircraft, double turn_rad, double dt)
{
    const ClassLimits& l = lf_limits(aircraft.weightClass);
    const double target = -std::clamp(turn_rad, -l.maxBank_rad, l.maxBank_rad);
    aircraft.bankRate = std::clamp((target - aircraft.position.bank_rad) / dt, -l.maxBankRate_rad,
                                   l.maxBankRate_rad);
}

void lf_lowAltitudeConfig(LiveAc& aircraft)
{
    if (!aircraft.lowAltLightsSent) {
        aircraft.lowAltLightsSent = 1;
        gf_queueLightEvents(aircraft.objectId, {1U, 1U, 1U, 1U, 1U, 1U, 1U});
    }
    const bool big = aircraft.weightClass == WeightClass::Buzjets ||
                     aircraft.weightClass == WeightClass::Large ||
                     aircraft.weightClass == WeightClass::Heavy;
    const double classHeight = big ? 2050.0 : 625.0;
    const double h = aircraft.heightAboveGround_ft;
    if (h <= classHeight) {
        lf_airConfig(aircraft);
        return;
    }
    const double vs = aircraft.samples[0].verticalRate_fpm;
    lf_narrowWindows(aircraft);
    gf_queueCabinLights(aircraft.objectId, 1);
    aircraft.takeOff = 0;
    aircraft.approach = 0;
    if (vs <= -250.0 && aircraft.throttleLevel == 3)
        gf_setThrottle(aircraft, lf_rotor(aircraft) ? 4 : 2);
    if (vs > 400.0 && aircraft.throttleLevel == 4)
        gf_setThrottle(aircraft, lf_rotor(aircraft) ? 4 : 3);
    if (h >= 2400.0) {
        gf_setGear(aircraft, false);
        gf_setFlaps(aircraft, 0);
    } else if (vs <= 100.0) {
        if (h < 2000.0 && aircraft.flapsIndex <= 1) {
            gf_setFlaps(aircraft, aircraft.flapsIndex + 1);
        } else if (h >= 2000.0 && aircraft.flapsIndex == 0) {
            gf_setFlaps(aircraft, 1);
        }
    }
}

void lf_airConfig(LiveAc& aircraft)
{
    gf_queueCabinLights(aircraft.objectId, 0);
    const auto park = lf_parkAirportPosition();
    const bool near =
        park && gf_distanceNm({aircraft.position.latitude, aircraft.position.longitude}, *park) <=
                    kNearPark_nm;
    const auto& q = aircraft.samples;
    const double vs = q[0].verticalRate_fpm;
    // A helicopter levelled off into a hover well above the ground has not come down to land,
    // however it descended to it: held on its approach, one hovering 400 ft above its field
    // reckoned on sinking 10 ft a second and flew to reckoned points 26 m aside its reports.
    const bool hoversAloft =
        lf_rotor(aircraft) && aircraft.approach && aircraft.heightAboveGround_ft > kHoverAloft_ft &&
        !(q[0].groundSpeed_kt > kHoverDrift_kt) && !(q[1].groundSpeed_kt > kHoverDrift_kt) &&
        q[1].airborne && std::abs(q[1].altitude_ft - q[0].altitude_ft) < 5.0;
    if (vs <= -250.0 && !aircraft.approach && near) {
        gf_setThrottle(aircraft, lf_rotor(aircraft) ? 4 : 1);
        gf_setFlaps(aircraft, 3);
        gf_setGear(aircraft, true);
        g_standCheckQueue.push_back(aircraft.hexId);
        aircraft.approach = 1;
        aircraft.climbConfig = 0;
        aircraft.standLat = aircraft.standLon = 0.0;
        aircraft.standId = 0;
        aircraft.noCabinLights = 0;
        aircraft.countdown = 1;
        lf_openWindows(aircraft);
    } else if ((vs > 600.0 || (aircraft.approach && !near) || hoversAloft) &&
               !aircraft.climbConfig) {
        lf_narrowWindows(aircraft);
        gf_setThrottle(aircraft, 4);
        gf_setGear(aircraft, false);
        gf_setFlaps(aircraft, 0);
        aircraft.climbConfig = 1;
        // A go-around: the landing it began is over, and reports change the aircraft again.
        aircraft.flareStage = 0;
        aircraft.approach = 0;
        aircraft.landing = 0;
    }
}

}  // namespace

void lf_verticalStep(LiveAc& aircraft)
{
    AiPositionBlock& p = aircraft.position;
    if (aircraft.phase == FlightPhase::take_off) {
        lf_takeOffTick(aircraft);
        return;
    }
    if (aircraft.heightAboveGround_ft <= kFlareStart_ft && aircraft.approach &&
        !aircraft.onGround) {
        lf_flare(aircraft);
    }
    if (aircraft.pitchDown) {
        p.pitch_rad += aircraft.pitchRate;
        const bool passed = aircraft.pitchRate >= 0.0 ? p.pitch_rad >= aircraft.pitchAtRest_rad
                                                      : p.pitch_rad <= aircraft.pitchAtRest_rad;
        if (passed) {
            p.pitch_rad = aircraft.pitchAtRest_rad;
            aircraft.pitchRate = aircraft.bankRate = 0.0;
            p.bank_rad = 0.0;
            aircraft.pitchDown = 0;
            aircraft.flareStage = 0;
        }
        p.bank_rad += aircraft.bankRate;
        return;
    }
    if (aircraft.flareStage > 0) {
        p.bank_rad = std::clamp(p.bank_rad + aircraft.bankRate, -kPi, kPi);
        p.pitch_rad = std::max(p.pitch_rad + aircraft.pitchRate, kFlarePitch_rad);
        p.altitude_ft += aircraft.altRate;
    } else if (aircraft.onGround) {
        p.pitch_rad = aircraft.pitchAtRest_rad;
        p.bank_rad = 0.0;
    } else {
        p.bank_rad += aircraft.bankRate;
        p.pitch_rad += aircraft.pitchRate;
        const double before = p.altitude_ft;
        p.altitude_ft += aircraft.altRate;
        lf_climbEndsAtLegEnd(aircraft, before);
    }
}

void lf_beginTakeOffRoll(LiveAc& aircraft)
{
    aircraft.countdown = std::max(aircraft.rotationTicks, 1);
    aircraft.pitchRate =
        (aircraft.rotationPitch_rad - aircraft.position.pitch_rad) / aircraft.countdown;
    aircraft.position.bank_rad = aircraft.bankRate = 0.0;
    if (!aircraft.takeOff) lf_startTakeOff(aircraft);
    lf_setLivePhase(aircraft, FlightPhase::take_off, PhaseMemory::onChange);
    aircraft.headingRate = 0.0;
    aircraft.curveStart = aircraft.curveEnd = NAN;
    aircraft.curveControlEast = aircraft.curveControlNorth = NAN;
    if (aircraft.landingRoll) {
        aircraft.landingRoll = aircraft.approach = aircraft.touchdown = 0;
        gf_setThrottle(aircraft, 4);
        gf_setSpoilers(aircraft, true);
        gf_setFlaps(aircraft, 1);
    }
}

bool lf_onTheRunway(const LiveAc& aircraft)
{
    return aircraft.phase == FlightPhase::take_off && aircraft.countdown > -kWheelsOff_ticks;
}

void lf_startTakeOff(LiveAc& aircraft)
{
    if (aircraft.towed) {
        gf_log(fmt::format("towed aircraft takes-off? {}", gf_flightDescription(aircraft)));
    }
    aircraft.takeOff = 1;
    gf_setThrottle(aircraft, 0);
    gf_setSpoilers(aircraft, false);
    gf_setFlaps(aircraft, 1);
    aircraft.climbConfig = aircraft.approach = aircraft.touchdown = 0;
    gf_queueLightEvents(aircraft.objectId, {1U, 1U, 1U, 1U, 1U, 1U, 0U});
    lf_openWindows(aircraft);
}

}  // namespace qel
