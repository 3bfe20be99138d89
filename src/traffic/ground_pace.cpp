// How fast a live aircraft goes along a leg on the ground: it changes its speed at a bounded
// rate from the speed it entered the leg at, slows to a stop where it will stand or turn on the
// spot, and still reaches the leg's sample at its due tick wherever that rate allows. Reports a
// few seconds apart give each leg one speed; flown as given, the speed would step between legs
// (a touchdown losing 25 kt in an instant, a turn-off stopping dead to turn). How long a ground
// leg takes, at the speed it is taxied from a stop or at, with the turn rate that fits it.
//
// Threads: main-loop thread.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "traffic/air_legs.h"
#include "traffic/curve_geometry.h"
#include "traffic/ground_pace.h"
#include "traffic/leg_queries.h"
#include "traffic/pace_plan.h"
#include "traffic/taxi_corners.h"
#include "traffic/motion_math.h"
#include "traffic/schedule.h"

namespace qel {

namespace {

// Shorter legs are not paced: their speed would be the quotient of two roundings.
constexpr double kShortest_nm = 0.5 / kMetresPerNm;
// The fastest an aircraft rolls on the ground, on a take-off roll (kt).
constexpr double kFastestRoll_kt = 200.0;
// Faster than this it does not stop dead to turn on the spot but runs out to a stop first.
constexpr double kRunOutFrom_kt = 3.0;
// A run-out to a stop brakes at 5 kt a second: firm enough to end in a few lengths, gentle
// enough not to look like a jolt.
constexpr double kRunOutBrake_kt = 5.0;
// It slows for a bend as it runs out to a stop (m/s²), and never below a crawl (kt), which a bend
// as tight as a fold would otherwise hold it to for good.
constexpr double kBendBrake_mps2 = kRunOutBrake_kt * kMpsPerKt;
constexpr double kCrawl_kt = 1.0;
// Back onto its reports after a pause it waited out, it goes up to this share of the speed
// reported about it, and this much more (kt): well within twice that speed and 5 kt more, as
// fast as a watcher sees a taxi go.
constexpr double kFastestBack = 1.5;
constexpr double kBackMargin_kt = 3.0;
// Points on the way to a bend's sharpest point at which the braking to it is checked.
constexpr int kBendSteps = 8;
// Samples ahead of a leg's end whose bends it looks out for: 40 s of reports 5 s apart.
constexpr std::size_t kBendHorizon = 8;

// The heading the aircraft arrives at the leg's target with. `k`: the index of the target, 1 as
// the leg starts and 0 once it runs.
std::optional<double> lf_arrivalHeading(const LiveAc& aircraft, std::size_t k)
{
    if (!lf_curveActive(aircraft))
        return gf_bearingRad(lf_here(aircraft), lf_at(aircraft.samples[k]));
    const auto end = lf_curvePoint(aircraft, aircraft.curveEnd);
    if (!end) return std::nullopt;
    return end->heading_rad;
}

// Whether the leg ends where the aircraft stops: it stands there, or the next leg sets off
// more than kTurnFirst_rad away from how it arrives, so that it turns on the spot first.
bool lf_stopsAtEnd(const LiveAc& aircraft, std::size_t k)
{
    const auto& s = aircraft.samples;
    if (s.size() < k + 1) return false;
    // Reported at 0 kt, it stopped there, whether or not a report after it has come yet.
    if (!(s[k].groundSpeed_kt > 0.0)) return true;
    if (s.size() < k + 2) return false;
    const QueuedSample& b = s[k];
    const QueuedSample& c = s[k + 1];
    if (c.stationary || lf_samePlace(b, c)) return true;
    if (aircraft.phase != FlightPhase::taxi && aircraft.phase != FlightPhase::parking) {
        return false;
    }
    const auto arrival_rad = lf_arrivalHeading(aircraft, k);
    return arrival_rad &&
           std::abs(lf_wrapPi(gf_bearingRad(lf_at(b), lf_at(c)) - *arrival_rad)) > kTurnFirst_rad;
}

// The fastest at parameter u of a taxi curve sharpest at parameter `sharpest`, squared
// ((m/s)²), from which the aircraft still slows to what each point up to there allows.
double lf_curveCapSq(const LiveAc& aircraft, const TaxiCurve& c, double u, double sharpest)
{
    double cap = lf_curveLimitSq(aircraft, c, u);
    if (!(sharpest > u) || !(cap < kUnbounded)) return cap;
    const double du = (sharpest - u) / kBendSteps;
    double ahead_m = 0.0;
    for (int i = 1; i <= kBendSteps; ++i) {
        ahead_m += lf_curveRate_m(c, u + (i - 0.5) * du) * du;
        cap = std::min(cap,
                       lf_curveLimitSq(aircraft, c, u + i * du) + 2.0 * kBendBrake_mps2 * ahead_m);
    }
    return cap;
}

// The same for a curve ahead, from its start.
double lf_bendAheadCapSq(const LiveAc& aircraft, const TaxiCurve& bend)
{
    return lf_curveCapSq(aircraft, bend, 0.0, lf_sharpestParam(bend));
}

// A squared limit ((m/s)²) in knots, never below a crawl; none: kNoBend_kt.
double lf_capKt(double capSq)
{
    if (!(capSq < kUnbounded)) return kNoBend_kt;
    return std::max(std::sqrt(capSq) / kMpsPerKt, kCrawl_kt);
}

// The fastest the aircraft may go this tick for the bend it is in and the one its leg ends at.
double lf_bendCap_kt(const LiveAc& aircraft)
{
    const LegPace& pace = aircraft.pace;
    double capSq = kUnbounded;
    if (lf_curveActive(aircraft)) {
        const double sharpest = aircraft.curveSharpest;
        capSq = lf_curveCapSq(aircraft, lf_taxiCurve(aircraft), aircraft.curveParam, sharpest);
        // Short of the curve's tightest point it gathers no more speed than that point allows:
        // it would only brake again for it (a line-up at 15 kt ran up to 20 kt and braked to 9).
        // A point that allows less than a crawl, a fold where the curve ends, is braked for as it
        // comes: held to it, a C172 crawled 20 m at 1 kt where 4.5 kt was reported.
        const double crawl = kCrawl_kt * kMpsPerKt;
        if (aircraft.curveParam < sharpest && aircraft.curveSharpestLimitSq >= crawl * crawl) {
            const double v = std::max(pace.now_kt, 0.0) * kMpsPerKt;
            capSq = std::min(capSq, std::max(v * v, aircraft.curveSharpestLimitSq));
        }
    }
    // Not in the air: a leg onto the runway slows for the bend beyond only once down.
    if (pace.exit_kt < kNoBend_kt && aircraft.onGround) {
        const double exit = pace.exit_kt * kMpsPerKt;
        const double left_m = std::max(pace.left_ktTicks, 0.0) / kTicksPerHour * kMetresPerNm;
        capSq = std::min(capSq, exit * exit + 2.0 * kBendBrake_mps2 * left_m);
    }
    return lf_capKt(capSq);
}

// The fastest the leg to sample k may end at: from there the aircraft still slows for each taxi
// curve that the legs over the next kBendHorizon samples will round as lf_shapeLeg lays them
// (none: kNoBend_kt). A bend only one leg ahead of an aircraft rolling out fast leaves it too
// little way to slow down in.
double lf_nextBendEntry_kt(const LiveAc& aircraft, std::size_t k)
{
    const auto& s = aircraft.samples;
    const auto arrival_rad = lf_arrivalHeading(aircraft, k);
    if (!arrival_rad) return kNoBend_kt;
    double heading_rad = *arrival_rad;
    double capSq = kUnbounded;
    double way_m = 0.0;
    // Where the straight way to the next corner begins: its curve's arms reach back to there.
    LatLon wayFrom = lf_at(s[k]);
    for (std::size_t j = k; j + 2 < s.size() && j < k + kBendHorizon;) {
        if (s[j + 1].airborne) break;
        // A stop further on, where the reports of its braking were thinned out: it brakes for
        // it as for a bend it rounds at a crawl. Braking only on the leg that ends there, 5 m
        // long, an aircraft at 14 kt stopped dead.
        if (s[j + 1].stationary || !(s[j + 1].groundSpeed_kt > 0.0)) {
            const double to_m = way_m + gf_distanceNm(lf_at(s[j]), lf_at(s[j + 1])) * kMetresPerNm;
            capSq = std::min(capSq, 2.0 * kBendBrake_mps2 * to_m);
            break;
        }
        const double out_rad = gf_bearingRad(lf_at(s[j + 1]), lf_at(s[j + 2]));
        const double turn_deg = std::abs(lf_wrapPi(out_rad - heading_rad)) / kRadPerDeg;
        // A curve takes the sample at its corner: the leg after it starts at the one beyond.
        const std::size_t end =
            lf_cornerShape(s, j, turn_deg) == CornerShape::curve ? j + 2 : j + 1;
        if (end == j + 2) {
            const CornerCurve c = lf_cornerCurve(aircraft, wayFrom, s, j, std::nullopt);
            const TaxiCurve bend = lf_curveThrough(c.start, c.corner, c.end);
            // The curve may begin before sample j, where its arm reaches back past it.
            const double to_m = std::max(
                way_m + (gf_distanceNm(lf_at(s[j]), c.corner) - gf_distanceNm(c.start, c.corner)) *
                            kMetresPerNm,
                0.0);
            capSq =
                std::min(capSq, lf_bendAheadCapSq(aircraft, bend) + 2.0 * kBendBrake_mps2 * to_m);
            wayFrom = c.rejoin();
        }
        heading_rad = gf_bearingRad(lf_at(s[end - 1]), lf_at(s[end]));
        // The chord is the shortest way there: the cap errs to the slow side.
        way_m += gf_distanceNm(lf_at(s[j]), lf_at(s[end])) * kMetresPerNm;
        j = end;
    }
    return lf_capKt(capSq);
}

// The fastest a bend held back lets an aircraft go on past it (kt): up to the speed reported
// where its leg ends where the reports gather speed, no faster than it goes where they slow
// down, and never too fast to come down at the usual rate to the speeds reported at its leg's
// end and at the end of the leg after. Held to the speed reported where the leg after ends, an
// arrival that came out of its runway exit at 17 kt, reported gathering speed to 22 kt, crawled
// on at the 7 kt of its reports braking to a stop a leg on, for 24 s, and fell 45 s behind.
double lf_regainCap_kt(const LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    const LegPace& pace = aircraft.pace;
    const auto brakingFrom = [](double end_kt, double way_ktTicks) {
        return std::sqrt(end_kt * end_kt + 2.0 * kGentle_ktPerTick * std::max(way_ktTicks, 0.0));
    };
    const double end_kt = s.front().groundSpeed_kt;
    double reported = end_kt >= pace.from_kt ? end_kt : std::max(end_kt, pace.now_kt);
    // Set off from a standstill toward a report slower than the leg's own speed (its braking to
    // a stop just after), it keeps what it has, up to that speed, and brakes to the report's as
    // it nears it: held to the 1.9 kt reported there, a B738 crawled the rest of a 36 m bend for
    // 30 s, turning 30 degrees below 2 kt.
    if (pace.from_kt == 0.0 && end_kt < pace.nominal_kt) {
        reported = std::max(end_kt, std::min(pace.now_kt, pace.nominal_kt));
    }
    double cap = std::min(reported, brakingFrom(end_kt, pace.left_ktTicks));
    if (s.size() > 1 && !s[1].stationary && s[1].groundSpeed_kt > 0.0) {
        const double after = gf_distanceNm(lf_at(s[0]), lf_at(s[1])) * kTicksPerHour;
        cap = std::min(cap, brakingFrom(s[1].groundSpeed_kt, pace.left_ktTicks + after));
    }
    return cap;
}

double lf_stepToward(double v, double target, double step)
{
    return v < target ? std::min(v + step, target) : std::max(v - step, target);
}

// The ticks lf_startLeg lays the leg's rates over.
int32_t lf_rateTicks(const QueuedSample& b)
{
    const int64_t ahead = lf_ticksToDue(b);
    return static_cast<int32_t>(
        std::clamp<int64_t>(ahead, kMinLegTicks, std::numeric_limits<int32_t>::max()));
}

void lf_takePlan(LegPace& pace, const PacePlan& plan)
{
    pace.held = false;
    pace.free_kt = pace.now_kt;
    pace.hold_kt = plan.hold_kt;
    pace.end_kt = plan.end_kt;
    pace.rate_ktPerTick = plan.rate_ktPerTick;
    pace.endTicks =
        static_cast<int32_t>(std::ceil(std::abs(plan.hold_kt - plan.end_kt) / plan.rate_ktPerTick));
}

// The last leg of an approach, onto the first sample on the runway, slows evenly from the
// approach speed to that sample's speed: flown at the approach speed throughout, the aircraft
// would touch down as fast as it flew and brake for the rest of the roll behind its reports.
bool lf_paceTouchdown(LiveAc& aircraft, double length)
{
    LegPace& pace = aircraft.pace;
    QueuedSample& b = aircraft.samples[1];
    const double v0 = pace.now_kt;
    if (!aircraft.approach || b.airborne || !(b.groundSpeed_kt > 0.0) || !(v0 > b.groundSpeed_kt) ||
        !(length > 0.0)) {
        return false;
    }
    // It slows no harder than the air legs change speed, and touches down faster where the leg is
    // too short for that, braking on the runway: slowed evenly onto its touchdown, an airliner
    // that came out of a lagging feed's catch-up at 165 kt lost 8.7 kt a second onto one reported
    // at 118 kt.
    constexpr double kHardestSlowing_ktPerTick = 0.05;
    double end_kt = b.groundSpeed_kt;
    double ticks =
        std::max(std::round(length / ((v0 + end_kt) / 2.0)), static_cast<double>(kMinLegTicks));
    if ((v0 - end_kt) / ticks > kHardestSlowing_ktPerTick) {
        end_kt = std::sqrt(
            std::max(v0 * v0 - 2.0 * kHardestSlowing_ktPerTick * length, end_kt * end_kt));
        ticks =
            std::max(std::round(length / ((v0 + end_kt) / 2.0)), static_cast<double>(kMinLegTicks));
    }
    // Bounded for the conversion alone: the due tick saturates.
    lf_dueIn(b, static_cast<int64_t>(std::min(ticks, double{std::numeric_limits<int32_t>::max()})));
    pace.nominal_kt = length / ticks;
    pace.from_kt = pace.free_kt = v0;
    pace.exit_kt = kNoBend_kt;
    pace.lag_ticks = 0.0;
    pace.bent = false;
    pace.hold_kt = pace.end_kt = end_kt;
    pace.rate_ktPerTick = (v0 - end_kt) / ticks;
    pace.endTicks = 0;
    return true;
}

// kt·ticks from the aircraft to sample 1, along the curve where one is laid.
double lf_legLength(const LiveAc& aircraft)
{
    const std::optional<double> curve_nm = lf_curveWay_nm(aircraft);
    const double nm =
        curve_nm ? *curve_nm : gf_distanceNm(lf_here(aircraft), lf_at(aircraft.samples[1]));
    return nm * kTicksPerHour;
}

// It was to turn on the spot as it rolls, learning of the turn only as the leg began (the
// reports stopped, resumed late, or the stand was chosen then): it rolls on along its heading
// to a stop first, and turns from there, onto the drive to
// its stand or toward its next sample. On its landing roll, the samples it runs out past are
// ones it has passed, and it goes on along the runway from its stop: turned toward from there, a
// touch-and-go whose feed fell 36 s behind, its roll reckoned 8 m aside its reports, ran out
// 17 m past the next one, turned round on the spot and rolled back 15 m to it.
void lf_insertRunOut(LiveAc& aircraft, double v0_kt)
{
    auto& s = aircraft.samples;
    s.insert(s.begin() + 1, lf_runOutStop(s[1], lf_here(aircraft), aircraft.position.heading_rad,
                                          v0_kt, g_fastTicks));
    while (aircraft.landingRoll && s.size() >= 3 &&
           std::abs(lf_wrapPi(gf_bearingRad(lf_at(s[1]), lf_at(s[2])) -
                              aircraft.position.heading_rad)) >= kPi / 2.0) {
        s.erase(s.begin() + 2);
    }
    aircraft.curveStart = aircraft.curveEnd = NAN;
    aircraft.curveControlEast = aircraft.curveControlNorth = NAN;
    aircraft.curveParam = 0.0;
    aircraft.turnOnSpot = 0;
    aircraft.targetBearing_rad = aircraft.position.heading_rad;
}

// The ticks a leg of `length` (kt·ticks) that ends where the aircraft stops takes: its n, or the
// longer time that braking there at the usual rate needs from v0_kt or the speed n gives. Held
// to n, it would hurry first, faster than it was reported, to have time left to brake in. The
// take-off and landing rolls keep to their own schedules.
int32_t lf_brakingTicks(const LiveAc& aircraft, double v0_kt, double length, int32_t n)
{
    if (aircraft.takeOff || aircraft.landingRoll) return n;
    const double braking = lf_rampedTicks(v0_kt, std::max(v0_kt, length / n), length, true);
    if (!(braking + 1.0 > n) || !(braking < kLongestTicks)) return n;
    return static_cast<int32_t>(std::ceil(braking)) + 1;
}

// A taxi leg entered slower or faster than its own speed (slowed by the bend before it, or come
// off a leg that made up time) gets to that speed at the planned rate and holds it, and takes
// the time that needs. Held to its time, it would pass that speed to make up the ramp: faster
// than reported out of a bend, then slower than reported on the leg after, and so on, a swing
// that settles only slowly (23, 13, 20, 16 kt reported at 18 to 15 kt after a runway exit).
// Nor does it hold above that speed to win back the time it will lose slowing for the bend it
// ends at, or rounds: it comes out of that bend at its own speed, not faster. Its own speed is
// its length over its time or the speed reported at its end: a leg timed to set off from a
// standstill holds the reported one. The landing roll too, which turns off the runway before
// its end is known; the take-off roll keeps to its own schedule.
PacePlan lf_withoutSwing(const LiveAc& aircraft, const PacePlan& plan, double v0, double length,
                         int32_t n)
{
    const double own = length / n;
    const double reported = aircraft.samples[1].groundSpeed_kt;
    const double hold =
        std::clamp(plan.hold_kt, std::min({v0, own, reported}), std::max(own, reported));
    if (hold == plan.hold_kt || plan.ticks != n || aircraft.takeOff) {
        return plan;
    }
    const double end = plan.end_kt == plan.hold_kt ? hold : std::min(plan.end_kt, hold);
    const double rate = plan.rate_ktPerTick;
    const double up = std::abs(hold - v0) / rate;
    const double down = std::abs(hold - end) / rate;
    const double ramps = (v0 + hold) / 2.0 * up + (hold + end) / 2.0 * down;
    if (!(ramps <= length) || !(hold > 0.0)) return plan;
    const double ticks = up + down + (length - ramps) / hold;
    return {hold, end, rate, std::max(static_cast<int32_t>(std::lround(ticks)), kMinLegTicks)};
}

// A report that shows a bend where the taxi leg in progress ends (the leg began before it came:
// its reports resumed, the aircraft set off from a push-back, or reports far apart showed only a
// slight bend before the corner and the curve laid for it ends across the way out): the rest of
// the leg is laid anew from where the aircraft is, as it would have been had the report come
// first, so that it rounds the bend as it rolls instead of stopping there to turn on the spot.
// From a taxi curve it goes on along its heading to where that meets the way out, and rounds
// the corner there. A landing roll rounds its runway exit so, once slowed to where it may. Not
// where it is too close to the bend to slow down for it, nor for a reversal. True with where the aircraft is put in front as sample 0: the leg is to be laid anew
// from there.
bool lf_relayForBend(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (aircraft.phase != FlightPhase::taxi || aircraft.takeOff || s.size() < 2 ||
        s[1].stationary || lf_samePlace(s[0], s[1])) {
        return false;
    }
    const QueuedSample here = lf_sampleHere(aircraft);
    const bool fromCurve = lf_curveActive(aircraft);
    if (fromCurve) {
        const auto meet =
            lf_meetOfWays(lf_at(here), aircraft.position.heading_rad, lf_at(s[0]), lf_at(s[1]));
        if (!meet) return false;
        const double in_nm = gf_distanceNm(lf_at(here), *meet);
        const double way_nm = in_nm + gf_distanceNm(*meet, lf_at(s[0]));
        s.push_front(lf_sampleBetween(here, s[0], way_nm > 0.0 ? in_nm / way_nm : 0.0, *meet));
    }
    s.push_front(here);
    const double turn_deg = std::abs(lf_turnAhead(aircraft)) / kRadPerDeg;
    bool rounds = false;
    switch (lf_cornerShape(s, 0, turn_deg)) {
    case CornerShape::straight: break;
    case CornerShape::split: rounds = true; break;
    case CornerShape::curve: {
        const LatLon from = lf_here(aircraft);
        const CornerCurve c = lf_cornerCurve(aircraft, from, s, 0, std::nullopt);
        const TaxiCurve bend = lf_curveThrough(c.start, c.corner, c.end);
        const double to_m = gf_distanceNm(from, c.start) * kMetresPerNm;
        rounds = lf_capKt(lf_bendAheadCapSq(aircraft, bend) + 2.0 * kBendBrake_mps2 * to_m) >=
                 here.groundSpeed_kt;
        break;
    }
    }
    if (!rounds) {
        s.erase(s.begin(), s.begin() + (fromCurve ? 2 : 1));
        return false;
    }
    return true;
}

// A report that shows the corner ahead anew, as the way out of it that only its first report
// showed when the straight leg in progress began: where the curve round it now begins before
// that leg ends, the leg is laid anew from where the aircraft is, as in lf_relayForBend, and
// begins it there. Begun at the leg's end instead, too near the corner for as wide a curve as
// its speed needs, 150 degrees at 5 kt was rounded from 21 m before the corner at 1.1 kt; from
// where the report came, 31 m before it, at 4.8 kt.
bool lf_relayForCorner(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (aircraft.phase != FlightPhase::taxi || aircraft.takeOff || aircraft.landingRoll ||
        lf_curveActive(aircraft) || s.size() < 3 || s[1].stationary || lf_samePlace(s[0], s[1])) {
        return false;
    }
    s.push_front(lf_sampleHere(aircraft));
    if (!lf_cornerBeginsSooner(aircraft)) {
        s.pop_front();
        return false;
    }
    return true;
}

// A taxiing aircraft's leg toward a report of a speed.
bool lf_taxiLeg(const LiveAc& a)
{
    const auto& s = a.samples;
    return (a.phase == FlightPhase::taxi || a.phase == FlightPhase::parking) && !a.takeOff &&
           !a.landingRoll && s.size() >= 2 && !s[1].stationary && s[1].groundSpeed_kt > 0.0;
}

// The speed a leg that sets off from a standstill is entered at: from a stop, or after a turn
// on the spot; none for any other leg.
std::optional<double> lf_setOffSpeed(const LiveAc& a)
{
    if (!lf_taxiLeg(a)) return std::nullopt;
    if (lf_startsWithTurn(a)) return 0.0;
    if (a.samples[0].groundSpeed_kt == 0.0) return std::max(a.pace.now_kt, 0.0);
    return std::nullopt;
}

// Setting off from where it waited out a pause in its reports toward the first report after
// it: the way between was reported only with that report, and at its speed the aircraft would
// come to it as late as it waited. It goes as fast as reaching it when it is due needs, up to
// kFastestBack times the faster of that speed and the last it was reported rolling at before
// the pause, and kBackMargin_kt more: at the 3 kt reported after a pause of 48 s, a taxi that
// had waited at the last report before it crawled the 121 m between in 60 s and fell 58 s
// behind its reports; one reported braking to a stop 215 m on set off at no more than 6 kt.
double lf_backOnReportsTicks(const LiveAc& aircraft, double setOff_kt, double length,
                             double atReported_ticks)
{
    const QueuedSample& b = aircraft.samples[1];
    const auto toDue = static_cast<double>(lf_reportedDue(b) - g_fastTicks);
    if (!(toDue < atReported_ticks)) return atReported_ticks;
    // The speed reported where the leg into its wait began is the last it was seen rolling at;
    // where its reckoning braked it there step by step (a landing roll), the one it set out at.
    const double seen_kt =
        std::max({b.groundSpeed_kt, aircraft.pace.from_kt, aircraft.reckonFrom_kt});
    const double fastest_kt = seen_kt * kFastestBack + kBackMargin_kt;
    const double atFastest = lf_rampedTicks(setOff_kt, fastest_kt, length);
    return std::clamp(toDue, std::min(atFastest, atReported_ticks), atReported_ticks);
}

// Rolling on from where it reckoned its landing roll through a pause toward the first report
// after it: the reckoning slowed it, and the points laid between on the way (a corner split in
// two) carry the speeds it slowed to. Its leg takes its share, by way, of the time left until
// that report is due, as fast as kFastestBack times the fastest of its speed now, the one
// reported there and the last it was reported at before it reckoned, and kBackMargin_kt more:
// a C172 whose reports paused for 45 s as it touched down rolled on to the first report after
// it, 650 m on, at the speeds it had slowed to, 32 kt and less, and came to it 46 s after the
// report came in; through a pause of 50 s, bound by the 13 kt it had slowed to, 52 s after.
double lf_rollBackOnReportsTicks(const LiveAc& aircraft, double length, double atOwn_ticks)
{
    const auto& s = aircraft.samples;
    double way = length;
    std::size_t k = 1;
    for (; k + 1 < s.size() && k <= kBendHorizon && s[k].reckoned; ++k) {
        way += gf_distanceNm(lf_at(s[k]), lf_at(s[k + 1])) * kTicksPerHour;
    }
    const QueuedSample& report = s[k];
    if (report.reckoned || report.stationary || !(way > 0.0)) return atOwn_ticks;
    const double toDue = static_cast<double>(lf_reportedDue(report) - g_fastTicks) * length / way;
    if (!(toDue < atOwn_ticks)) return atOwn_ticks;
    const double seen_kt =
        std::max({report.groundSpeed_kt, aircraft.pace.now_kt, aircraft.reckonFrom_kt});
    const double atFastest = length / (seen_kt * kFastestBack + kBackMargin_kt);
    return std::clamp(toDue, std::min(atFastest, atOwn_ticks), atOwn_ticks);
}

// The turn rate that makes a turn last about as long as its leg.
void lf_fitTurnRate(LiveAc& aircraft, int32_t legTicks, double d_nm)
{
    const double angle = aircraft.turnOnSpot ? aircraft.headingError_deg : aircraft.curveAngle_deg;
    // The rates are per tick in radians and the angle in degrees; the quotient sets the swing
    // and turn timing that the tracks show, so it is kept.
    const int32_t t = std::max(lf_ticksOf(angle / aircraft.currentTurnRate_rad / 100.0), 1);
    if (!(angle > 0.0)) return;
    const double ratio = static_cast<double>(legTicks) / t;
    if (angle <= 45.0) {
        if (!(d_nm > 0.0)) return;
        if (ratio >= 1.2) {
            const double m = std::min(
                {ratio, ratio * 10.0 / angle, ratio * 30.0 * 0.0005399568034557236 / d_nm});
            if (m > 0.0) aircraft.currentTurnRate_rad *= 1.0 / m;
        } else if (ratio > 0.0) {
            aircraft.currentTurnRate_rad *= 1.0 / ratio;
        }
        return;
    }
    // A big turn goes 1.5 to 3 times the ground turn rate, on a leg of no length too (onto the
    // stand it stands on). Slowed further on a short leg (by the ratio), an aircraft turning on
    // the spot would stand still for a minute.
    aircraft.currentTurnRate_rad *= std::min(angle / 30.0, kSpotTurnFactor);
    lf_widenWindowsForTurn(aircraft, angle);
}

// On its landing roll it has reckoned its way onto its newest report, a hair short of it, well
// before that falls due (a feed that falls further behind as it brakes, its reports at the place
// the reckoning put it): it is there, and rolls out on from it along its runway. Held to the
// report's time, an A320 crawled the last 0.2 m in 9 s, from 67 kt to a stop in a tick, and
// turned 12 degrees on the spot toward a point the bearing to which is noise at that range.
void lf_onNewestReportEarly(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (!aircraft.landingRoll || s.size() != 2 || s[1].stationary || s[1].airborne ||
        !(aircraft.pace.now_kt > kRunOutFrom_kt) || !(lf_ticksToDue(s[1]) > 1)) {
        return;
    }
    lf_dueIn(s[1], 1);
    aircraft.targetBearing_rad = aircraft.position.heading_rad;
    aircraft.turnOnSpot = 0;
}

}  // namespace

QueuedSample lf_sampleHere(const LiveAc& aircraft)
{
    QueuedSample here = aircraft.samples.front();
    here.latitude = aircraft.position.latitude;
    here.longitude = aircraft.position.longitude;
    here.groundSpeed_kt = std::max(aircraft.pace.now_kt, 0.0);
    here.stationary = false;
    lf_dueIn(here, 0);
    return here;
}

double lf_rampedTicks(double v0_kt, double v_kt, double length, bool stops)
{
    const double a = kGentle_ktPerTick;
    const double v0 = std::clamp(v0_kt, 0.0, v_kt);
    const double brake = stops ? v_kt * v_kt / (2.0 * a) : 0.0;
    if (length >= (v_kt * v_kt - v0 * v0) / (2.0 * a) + brake) {
        return length / v_kt + (v_kt - v0) * (v_kt - v0) / (2.0 * a * v_kt) +
               (stops ? v_kt / (2.0 * a) : 0.0);
    }
    if (!stops) return (std::sqrt(v0 * v0 + 2.0 * a * length) - v0) / a;
    // Too short to reach v_kt: it brakes from the highest speed that leaves room to, or, from
    // faster than that, cannot stop in it at the usual rate at all.
    const double peak = std::sqrt((2.0 * a * length + v0 * v0) / 2.0);
    return peak >= v0 ? (2.0 * peak - v0) / a : NAN;
}

QueuedSample lf_runOutStop(QueuedSample base, LatLon from, double heading_rad, double v_kt,
                           int64_t fromTick)
{
    // No faster than an aircraft rolls: from a pace gone wild (8.3 km flown in 25 ticks) it ran
    // out for 3.6 hours round the globe.
    v_kt = std::clamp(v_kt, 0.0, kFastestRoll_kt);
    const double seconds = v_kt / kRunOutBrake_kt;
    const LatLon to =
        gf_destinationPoint(from, heading_rad, v_kt * seconds / 2.0 / 3600.0 * kFeetPerNm);
    base.latitude = to.lat;
    base.longitude = to.lon;
    base.groundSpeed_kt = 0.0;
    base.stationary = 0;
    base.reckoned = true;
    lf_layDue(base, fromTick + std::llround(seconds * 100.0));
    return base;
}

bool lf_fromStop(const LiveAc& a) { return lf_taxiLeg(a) && a.samples[0].groundSpeed_kt == 0.0; }

void lf_groundLegTiming(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (s.size() < 2) return;
    const QueuedSample& a = s[0];
    const QueuedSample& b = s[1];
    if (!b.stationary) {
        aircraft.currentTurnRate_rad = aircraft.groundTurnRate_rad;
        const double d_nm = gf_distanceNm(lf_at(a), lf_at(b));
        // A taxi curve is longer than its chord: timed by the chord, a right angle is rounded
        // 15 % faster than reported. The push-back's quarter turn keeps its timing by the chord.
        const std::optional<double> curve_nm = lf_curveWay_nm(aircraft);
        const double way_nm =
            curve_nm && aircraft.phase != FlightPhase::pushing_back ? *curve_nm : d_nm;
        const std::optional<double> setOff = lf_setOffSpeed(aircraft);
        double ticks = setOff ? lf_rampedTicks(*setOff, b.groundSpeed_kt, way_nm * kTicksPerHour)
                              : way_nm * kTicksPerHour / lf_legSpeed(aircraft);
        // Laid anew from where it is (a report showed a bend at the leg's end), a leg that was
        // catching up still does: timed at its own speed, a C172 that had reckoned its landing
        // roll to a stop through a pause of 55 s and set off for the first report after it
        // crawled the rest of the way at the 3 kt reported there and fell 52 s behind.
        const bool keepsUp = aircraft.pace.relaid && aircraft.pace.catchingUp;
        const double own = ticks;
        if (setOff && a.reckoned && !b.reckoned) {
            ticks = lf_backOnReportsTicks(aircraft, *setOff, way_nm * kTicksPerHour, ticks);
        }
        if (!setOff && aircraft.syntheticCount < 1 &&
            (keepsUp || (a.reckoned && aircraft.landingRoll))) {
            ticks = lf_rollBackOnReportsTicks(aircraft, way_nm * kTicksPerHour, ticks);
        }
        aircraft.pace.catchingUp = ticks < own;
        // A taxi leg to a stop goes on at the speed it enters at and brakes at the usual rate
        // at its end, where the reports of its braking were thinned out: timed by the mean of
        // that speed and 0, a line-up crawled the last 14 m to its stop in 23 s.
        if (!setOff && b.groundSpeed_kt == 0.0 && a.groundSpeed_kt > 0.0 &&
            aircraft.phase == FlightPhase::taxi && !aircraft.landingRoll) {
            const double braking =
                lf_rampedTicks(a.groundSpeed_kt, a.groundSpeed_kt, way_nm * kTicksPerHour, true);
            if (braking < ticks) ticks = braking;
        }
        const int32_t legTicks = std::max(lf_ticksOf(ticks), kMinLegTicks);
        if (lf_curveActive(aircraft) || aircraft.turnOnSpot)
            lf_fitTurnRate(aircraft, legTicks, d_nm);
        lf_setGroundDueTick(aircraft, legTicks);
        return;
    }
    lf_setStandstillDue(aircraft);
}

void lf_paceLeg(LiveAc& aircraft)
{
    LegPace& pace = aircraft.pace;
    auto& s = aircraft.samples;
    if (s.size() < 2) return;
    if (s[1].stationary || (aircraft.onGround && aircraft.phase == FlightPhase::pushed_back)) {
        pace.now_kt = 0.0;
        return;
    }
    double length = lf_legLength(aircraft);  // kt·ticks
    int32_t n = lf_rateTicks(s[1]);
    if (!aircraft.onGround) {
        if (!lf_paceTouchdown(aircraft, length)) lf_paceAirLeg(aircraft, length, n);
        // A leg onto the runway: once down, the aircraft brakes for a turn-off a few reports on
        // from its touchdown. Held at the roll's speed to the first leg laid on the ground, it
        // braked too late to make a right-angle exit reached braking hard (0.30 g at 28 kt).
        if (!s[1].airborne) pace.exit_kt = lf_nextBendEntry_kt(aircraft, 1);
        return;
    }
    if (!(length >= kShortest_nm * kTicksPerHour)) {
        lf_onNewestReportEarly(aircraft);
        return;
    }
    // A new aircraft enters its first leg at that leg's speed: it may be created rolling.
    double v0 = pace.now_kt < 0.0 ? length / n : pace.now_kt;
    const bool afterBend = pace.bent;
    bool runOut = false;
    const bool turnsFirst = lf_startsWithTurn(aircraft);
    if (turnsFirst) {
        // Pushed back, its heading points the other way from where it goes.
        const bool forward =
            aircraft.phase == FlightPhase::taxi || aircraft.phase == FlightPhase::parking;
        if (v0 > kRunOutFrom_kt && forward) {
            lf_insertRunOut(aircraft, v0);
            runOut = true;
            length = lf_legLength(aircraft);
            n = lf_rateTicks(s[1]);
        } else {
            v0 = 0.0;
        }
    }
    pace.stops = lf_stopsAtEnd(aircraft, 1);
    if (pace.stops && !runOut) {
        const int32_t braking = lf_brakingTicks(aircraft, v0, length, n);
        if (braking != n) lf_dueIn(s[1], n = braking);
    }
    if (!turnsFirst) lf_makeUpLateness(aircraft, n);
    pace.exit_kt = pace.stops ? kNoBend_kt : lf_nextBendEntry_kt(aircraft, 1);
    // Lifting off, it gains no faster than the air legs (5 kt/s): 8 kt/s carried into the climb.
    const double firm = aircraft.takeOff && s[1].airborne ? kLiftOff_ktPerTick : kFirm_ktPerTick;
    const std::optional<double> stop = pace.stops ? std::optional(0.0) : std::nullopt;
    PacePlan plan = lf_planPace(v0, stop, length, n, firm);
    if (plan.end_kt > pace.exit_kt) plan = lf_planPace(v0, pace.exit_kt, length, n, firm);
    // Where its reports slow down, it is down to the speed reported where the leg ends: laid to
    // end faster (making up lag, or keeping the leg's time), an arrival braking from 20 kt out of
    // its runway exit to a 3 kt crawl reached each report late, still braking, and ran on into
    // the crawl at 13 kt.
    const double slowedTo = s[1].groundSpeed_kt;
    if (!pace.stops && slowedTo < s[0].groundSpeed_kt && plan.end_kt > slowedTo) {
        plan = lf_planPace(v0, slowedTo, length, n, firm);
    }
    if (!pace.stops) plan = lf_withoutSwing(aircraft, plan, v0, length, n);
    if (plan.ticks != n) lf_dueIn(s[1], plan.ticks);
    pace.now_kt = v0;
    pace.lag_ticks = 0.0;
    // Entered slower than reported out of a bend that held it back, it goes on as past the bend's
    // tightest point, at the usual rate up to the speed reported where the leg ends: laid out
    // anew, the leg would make up the time at up to 8 kt/s, faster than reported. Set off from a
    // standstill it is past no bend, as after a turn on the spot: held as past one, a B738 that
    // had rounded a bend, run out to a stop and set off toward a report of its braking at 1.9 kt
    // crawled the 36 m bend after at that speed, turning 30 degrees below 2 kt.
    pace.bent = afterBend && v0 > 0.0 && v0 < std::max(s[0].groundSpeed_kt, s[1].groundSpeed_kt);
    pace.from_kt = s[0].groundSpeed_kt;
    pace.nominal_kt = length / lf_rateTicks(s[1]);
    pace.left_ktTicks = length;
    lf_takePlan(pace, plan);
}

bool lf_paceNewReport(LiveAc& aircraft)
{
    LegPace& pace = aircraft.pace;
    auto& s = aircraft.samples;
    if (!(pace.nominal_kt > 0.0) || pace.stops || !aircraft.onGround || s.empty() ||
        s.front().stationary || !(pace.left_ktTicks > 0.0)) {
        return false;
    }
    if (!lf_stopsAtEnd(aircraft, 0)) {
        if (lf_relayForCorner(aircraft)) return true;
        // A bend after the leg that the report shows: the aircraft slows for it as it goes.
        if (!(pace.exit_kt < kNoBend_kt)) pace.exit_kt = lf_nextBendEntry_kt(aircraft, 0);
        return false;
    }
    if (lf_relayForBend(aircraft)) return true;
    // The report shows a stop or a turn on the spot where the leg ends: it slows down for it
    // from here, instead of stopping dead there, and takes the time that braking at the usual
    // rate needs.
    pace.stops = true;
    const auto left = static_cast<int32_t>(
        std::clamp<int64_t>(lf_ticksToDue(s.front()), 1, std::numeric_limits<int32_t>::max()));
    const int32_t n = lf_brakingTicks(aircraft, pace.now_kt, pace.left_ktTicks, left);
    const PacePlan plan = lf_planPace(pace.now_kt, 0.0, pace.left_ktTicks, n, kFirm_ktPerTick);
    if (plan.ticks != left) lf_dueIn(s.front(), plan.ticks);
    lf_takePlan(pace, plan);
    return false;
}

double lf_paceTick(LiveAc& aircraft)
{
    LegPace& pace = aircraft.pace;
    if (!(pace.nominal_kt > 0.0)) return 1.0;
    // An air leg that has come to its speed holds it: nothing bends it or makes it brake, and
    // this is every airborne aircraft on most of its ticks. Once it has, the tick reads no more
    // than an unpaced leg does.
    if (!aircraft.onGround &&
        (pace.held || (!pace.bent && pace.now_kt == pace.hold_kt && pace.free_kt == pace.hold_kt &&
                       pace.end_kt == pace.hold_kt))) {
        pace.held = true;
        pace.left_ktTicks -= pace.now_kt;
        return pace.now_kt / pace.nominal_kt;
    }
    const int64_t left = lf_ticksToDue(aircraft.samples.front());
    const double target = left <= pace.endTicks ? pace.end_kt : pace.hold_kt;
    const double free = lf_stepToward(pace.free_kt, target, pace.rate_ktPerTick);
    const double v = pace.now_kt;
    double want = std::min(free, lf_bendCap_kt(aircraft));
    // Past the tightest point of a bend that held it back it goes on to the speed reported where
    // the leg ends, at the usual rate: run up to its laid-out speed to keep the leg's time, it
    // would come out of a runway exit 9 kt faster than it went round, and brake 24 kt on the leg
    // after. Nor does it run up where its reports slow down, to brake again (the end of a runway
    // exit laid between the runway's speeds and the taxi speed; lf_regainCap_kt), nor brake
    // harder than gently to them: held to the 3 kt reported two reports on, an aircraft slowed
    // from 5.5 kt on a leg due in 7 s, crawled it in 26 s and fell 59 s behind. The time lost
    // is made up on later legs, as a bend's is. The take-off roll keeps to its own schedule.
    pace.bent = pace.bent || want < free;
    const bool regains = pace.bent && !aircraft.takeOff;
    if (regains) want = std::min(want, std::max(lf_regainCap_kt(aircraft), v - kGentle_ktPerTick));
    // From its rotation on it gains no faster than the air legs: a touch-and-go lifting off
    // during a leg laid on the runway carried 8 kt/s into its climb.
    const double up_ktPerTick = regains ? kGentle_ktPerTick
                                : aircraft.phase == FlightPhase::take_off
                                    ? std::min(pace.rate_ktPerTick, kLiftOff_ktPerTick)
                                    : pace.rate_ktPerTick;
    pace.now_kt = v > want ? std::max(v - std::max(kFirm_ktPerTick, pace.rate_ktPerTick), want)
                           : std::min(v + up_ktPerTick, want);
    if (pace.now_kt < free && free > 0.0) {
        // Held below its laid-out speed by a bend, the leg's own clock runs at the share of that
        // speed it makes, and its end is due that much later: it still ends on its sample.
        const double share = pace.now_kt / free;
        pace.free_kt = lf_stepToward(pace.free_kt, target, pace.rate_ktPerTick * share);
        pace.lag_ticks += 1.0 - share;
        if (pace.lag_ticks >= 1.0) {
            lf_frontDueLater(aircraft.samples);
            pace.lag_ticks -= 1.0;
        }
    } else {
        pace.free_kt = free;
    }
    pace.left_ktTicks -= pace.now_kt;
    return pace.now_kt / pace.nominal_kt;
}

}  // namespace qel
