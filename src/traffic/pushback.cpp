// Push-back, pulling out and towing of live aircraft: how an aircraft leaves its stand (forwards,
// or pushed back with a tail swing), and how an aircraft driving onto a stand is parked there.
//
// Threads: main-loop thread.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/window_status.h"
#include "platform/clock.h"
#include "traffic/motion_math.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/curve_geometry.h"
#include "traffic/ground_pace.h"
#include "traffic/pushback.h"
#include "traffic/push_way.h"
#include "traffic/stands.h"
#include "traffic/parked_plan.h"
#include "traffic/schedule.h"
#include "traffic/taxi_corners.h"
#include "traffic/traffic.h"

namespace qel {

namespace {

constexpr double kArrived_nm = 0.0010799136069114472;  // 2 m
// It is pushed no slower than this where it follows its reports, so that its tail swings as it
// rolls: a stop reported on the way stands it there.
constexpr double kSlowestPush_kt = 2.5;
// A push-back reported shorter than this along the axis (or with less of it left) is laid as if
// its end were not known.
constexpr double kShortestPush_m = 3.0;
// The first report after the push-back's own that lies this far from its end shows the way out.
constexpr double kWayShown_m = 8.0;
// How far a tail swing turns the nose: a way out nearer the stand's heading needs none, and one
// nearer straight on back along the axis leaves no taxilane across it to swing onto.
constexpr double kLeastSwing_rad = 20.0 * kRadPerDeg;
constexpr double kMostSwing_rad = 135.0 * kRadPerDeg;
// Pushed back, it sets off straight for the first report that rolls away where that lies no
// farther off its nose than this, and so does the way on from it for this many steps of at least
// kWayShown_m (or that report lies nearer than that).
constexpr double kFirstLegAhead_rad = 20.0 * kRadPerDeg;
constexpr int kFirstLegSteps = 2;
// A push-back waiting, with the tug on, for a report of its way out looks again this often.
constexpr int64_t kSwingWaitStep_ticks = 100;

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

// The first report after the push-back's own that shows which way the taxi leaves its end.
std::optional<LatLon> lf_wayOut(const LiveAc& aircraft, LatLon end)
{
    const auto& kept = aircraft.pushReports;
    for (std::size_t i = lf_pushRun(aircraft, kept).count; i < kept.size(); ++i) {
        if (gf_distanceNm(end, lf_at(kept[i])) * kMetresPerNm >= kWayShown_m) return lf_at(kept[i]);
    }
    return std::nullopt;
}

// Half a wingspan: the radius the tail swings round on.
double lf_swingRadius_m(const LiveAc& aircraft)
{
    return std::max(aircraft.size_nm * kMetresPerNm, kShortestPush_m);
}

// The tail swing of a push-back that went straight back: the tug pushes the aircraft along the
// stand's axis and swings the tail round onto the taxilane of its way out, where that crosses
// the axis, so that the aircraft stands on it behind the crossing, facing the way out: it then
// rolls off with no turn on the spot. The swing is an arc tangent to the axis and to the
// taxilane, half a wingspan in radius up to a right angle; one that turns farther keeps to as
// much of both lines as a right angle takes, on a tighter arc. It is laid as two curves, each
// turning half of it: one quadratic curve about a sharp corner turns far tighter than the arc.
// Where the aircraft, `from_m` back from the stand, is nearer the crossing, the arc is tighter;
// nearer than a quarter of its radius, the corner lies farther back, and the aircraft ends
// beside the taxilane, facing its way out all the same. None where the way runs along the axis.
struct Swing {
    std::array<LatLon, 4> points;  // the first curve's corner, where the curves meet, the second
                                   // curve's corner, the end
};

std::optional<Swing> lf_swingOnto(const LiveAc& aircraft, LatLon pushEnd, LatLon way, double from_m)
{
    const StandFrame e = lf_standFrame(aircraft, pushEnd);
    const StandFrame w = lf_standFrame(aircraft, way);
    const double length_m = std::hypot(w.back_m - e.back_m, w.aside_m - e.aside_m);
    const double ux = (w.back_m - e.back_m) / length_m;
    const double uy = (w.aside_m - e.aside_m) / length_m;
    // How far the nose turns from the stand's heading, which points up the axis.
    const double turn_rad = std::acos(std::clamp(-ux, -1.0, 1.0));
    if (!(turn_rad >= kLeastSwing_rad && turn_rad <= kMostSwing_rad)) return std::nullopt;
    // The arc's tangents from the crossing, along the axis and along the taxilane: shorter where
    // the aircraft is nearer the crossing, down to a quarter of the radius: swung from its end,
    // the push-back goes no farther back than that, short of which the way out leaves.
    const double radius_m = lf_swingRadius_m(aircraft);
    const double crossing_m = e.back_m - e.aside_m * ux / uy;
    const double tangent_m = std::max(
        std::min(radius_m * std::tan(std::min(turn_rad, kPi / 2) / 2), crossing_m - from_m),
        std::max(radius_m / 4, kShortestPush_m));
    const double corner_m = std::max(crossing_m, from_m + tangent_m);
    // From the corner on, the aircraft faces the report that shows the way out.
    const double toWay_m = std::hypot(w.back_m - corner_m, w.aside_m);
    const double wx = (w.back_m - corner_m) / toWay_m;
    const double wy = w.aside_m / toWay_m;
    const double swing_rad = std::acos(std::clamp(-wx, -1.0, 1.0));
    const double inner_m =
        tangent_m - tangent_m / std::tan(swing_rad / 2) * std::tan(swing_rad / 4);
    const StandFrame first{corner_m - inner_m, 0.0};
    const StandFrame second{corner_m - inner_m * wx, -inner_m * wy};
    return Swing{{lf_framePoint(aircraft, first),
                  lf_framePoint(aircraft, {(first.back_m + second.back_m) / 2,
                                           (first.aside_m + second.aside_m) / 2}),
                  lf_framePoint(aircraft, second),
                  lf_framePoint(aircraft, {corner_m - tangent_m * wx, -tangent_m * wy})}};
}

// The metres left to push straight back from where the aircraft is to the reported end; none
// when that end is not known or too near.
std::optional<double> lf_pushLeft_m(const LiveAc& aircraft, std::optional<LatLon> end)
{
    if (!end) return std::nullopt;
    const double left_m =
        lf_standFrame(aircraft, *end).back_m - lf_standFrame(aircraft, lf_here(aircraft)).back_m;
    if (!(left_m >= kShortestPush_m)) return std::nullopt;
    return left_m;
}

// The ticks from where the aircraft is to `at` at the stand taxi speed.
int32_t lf_standTicksTo(const LiveAc& aircraft, LatLon at)
{
    return lf_ticksOf(gf_distanceNm(lf_here(aircraft), at) / lf_standSpeed_kt(aircraft) *
                      kTicksPerHour);
}

// A sample `metres` straight back along the stand's axis from where the aircraft is.
QueuedSample lf_straightBack(const LiveAc& aircraft, double metres)
{
    const LatLon at =
        gf_destinationPoint(lf_here(aircraft), lf_backFrom(aircraft), metres / kMetresPerFoot);
    QueuedSample p = lf_groundSample(at, lf_standSpeed_kt(aircraft));
    lf_dueIn(p, lf_standTicksTo(aircraft, at));
    return p;
}

// Where the push-back ends beside the stand's axis, the tail swings out to there: both sides of
// the swing lead there, whichever way a report turns it. Nearer the axis it went straight back,
// and swings onto its way out (lf_swingStraightPush).
void lf_swingTo(LiveAc& aircraft, LatLon end, int64_t due)
{
    aircraft.pushEndKnown = 1;
    if (STRAIGHT_PBS_ONLY.current ||
        !(std::abs(lf_standFrame(aircraft, end).aside_m) >= kPushAside_m)) {
        aircraft.pushTurnKnown = 0;
        return;
    }
    QueuedSample side = lf_groundSample(end, lf_standSpeed_kt(aircraft));
    lf_layDue(side, due);
    aircraft.altPushSample = side;
    aircraft.samples.push_back(side);
    aircraft.pushTurnKnown = 1;
    aircraft.pushTurnClockwise = 0;
}

// Halfway back, more of the reports are in: a push-back whose end was not known when it began
// now ends where they say, here where it has come that far back already.
void lf_refitPushBack(LiveAc& aircraft)
{
    if (aircraft.pushEndKnown) return;
    const std::optional<LatLon> end = lf_reportedPushEnd(aircraft);
    if (!end) return;
    auto& s = aircraft.samples;
    s.resize(1);
    aircraft.pushEndKnown = 1;
    aircraft.pushTurnKnown = 0;
    const std::optional<double> left_m = lf_pushLeft_m(aircraft, end);
    if (!left_m) return;
    s.push_back(lf_straightBack(aircraft, *left_m));
    lf_swingTo(aircraft, *end, s.back().dueTick);
}

// The push-back's last leg ends in a stop where the push-back ends.
void lf_standAtPushEnd(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    QueuedSample end = s.back();
    end.groundSpeed_kt = 0.0;
    end.stationary = 1;
    lf_dueAfter(end, end.dueTick, 1);
    s.push_back(end);
}

// The swing is laid from where the aircraft is, each curve timed by its chord at `v` knots, as
// its leg is.
void lf_laySwing(LiveAc& aircraft, const Swing& swing, double v)
{
    auto& s = aircraft.samples;
    s.resize(1);
    s.front().groundSpeed_kt = v;
    LatLon from = lf_here(aircraft);
    int64_t due = g_fastTicks;
    for (std::size_t i = 0; i < swing.points.size(); ++i) {
        // A curve's corner goes as the curve begins; its end falls due when the chord is covered.
        if (i % 2 == 1) {
            due += lf_ticksOf(gf_distanceNm(from, swing.points[i]) / v * kTicksPerHour);
            from = swing.points[i];
        }
        QueuedSample p = lf_groundSample(swing.points[i], v);
        lf_layDue(p, due);
        s.push_back(p);
    }
    aircraft.altPushSample = s.back();
    aircraft.pushTurnKnown = 1;
    aircraft.pushTurnClockwise = 0;
}

// A push-back its reports show going straight back swings its tail onto the way out that the
// reports after it show. Where none shows it yet, it is pushed on to the end its reports reach
// and waits there for one (lf_payOwedSwing), the swing then beginning behind that end: stopped
// short of it, where the swing would begin, the tug stood while they still went back.
void lf_swingStraightPush(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (STRAIGHT_PBS_ONLY.current || !aircraft.pushEndKnown || s.size() > 2) return;
    const std::optional<LatLon> end = lf_reportedPushEnd(aircraft);
    if (!end) return;
    const double here_m = lf_standFrame(aircraft, lf_here(aircraft)).back_m;
    if (const std::optional<LatLon> way = lf_wayOut(aircraft, *end)) {
        if (const auto swing = lf_swingOnto(aircraft, *end, *way, here_m)) {
            lf_laySwing(aircraft, *swing, lf_standSpeed_kt(aircraft));
        }
        return;
    }
    const double stop_m = lf_standFrame(aircraft, *end).back_m - here_m;
    s.resize(1);
    if (stop_m >= kPushStep_m) s.push_back(lf_straightBack(aircraft, stop_m));
    aircraft.swingOwedFrom = g_fastTicks;
}

// The curve through samples 1 to 2 where the tail swings.
void lf_startSwingCurve(LiveAc& aircraft)
{
    lf_startTaxiCurve(aircraft);
    const int32_t t = lf_ticksOf(90.0 / aircraft.currentTurnRate_rad / 100.0);
    aircraft.curveStep = 1.0 / std::max(t, 1);
    aircraft.curveAngle_deg = 90.0;
}

// The push-back's last leg: round to the side point where the tail swings, and to a stop.
void lf_layPushEnd(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    const bool side = s.size() >= 3;
    if (side && aircraft.pushTurnKnown) {
        if (aircraft.pushTurnClockwise) s[2] = aircraft.altPushSample;
        lf_startSwingCurve(aircraft);
    } else if (side) {
        s.erase(s.begin() + 2);
    }
    lf_standAtPushEnd(aircraft);
}

// The swing's second curve begins where its first ends.
bool lf_swingGoesOn(LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    if (s.size() < 4 || s[1].stationary || s[2].stationary) return false;
    lf_startSwingCurve(aircraft);
    aircraft.pushbackCountdown = 1;
    return true;
}

// It stands where it is, the tug on, for a step: two steps ahead, as a leg begins only with a
// sample to go to.
void lf_holdForPush(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    s.resize(1);
    QueuedSample hold = s.front();
    hold.groundSpeed_kt = 0.0;
    hold.stationary = 1;
    for (int64_t step = 1; step <= 2; ++step) {
        lf_dueIn(hold, step * kSwingWaitStep_ticks);
        s.push_back(hold);
    }
}

// The swing owed waits, the tug on, where the straight push-back stopped, while its reports go
// on without showing the way out, however long they stand: the aircraft faces as its push left
// it until they move. Once one shows the way, the tail swings onto it; where they stop coming,
// it is pushed on straight to its reported end. The reports kept while it waits stand in the
// store as two (lf_keepPushReport). True while the push-back goes on.
bool lf_payOwedSwing(LiveAc& aircraft)
{
    if (aircraft.swingOwedFrom < 0) return false;
    auto& s = aircraft.samples;
    const std::optional<LatLon> end = lf_reportedPushEnd(aircraft);
    const std::optional<LatLon> way = end ? lf_wayOut(aircraft, *end) : std::nullopt;
    const auto& kept = aircraft.pushReports;
    const bool reportsGoOn = !kept.empty() && lf_reportedDue(kept.back()) > g_fastTicks;
    aircraft.pushbackCountdown = 1;
    s.resize(1);
    if (!way && reportsGoOn) {
        lf_holdForPush(aircraft);
        return true;
    }
    aircraft.swingOwedFrom = -1;
    const double here_m = lf_standFrame(aircraft, lf_here(aircraft)).back_m;
    const std::optional<Swing> swing =
        way ? lf_swingOnto(aircraft, *end, *way, here_m) : std::nullopt;
    const std::optional<double> left_m = lf_pushLeft_m(aircraft, end);
    if (swing) {
        // Where its reports stand at their end, it is swung slowly: timed by their chords, the
        // curves are rounded faster than laid, and a light aircraft swung at the stand taxi
        // speed went 7.3 kt beside reports of it standing.
        lf_laySwing(aircraft, *swing, std::min(kSlowestPush_kt, lf_standSpeed_kt(aircraft)));
    } else if (left_m) {
        s.front().groundSpeed_kt = lf_standSpeed_kt(aircraft);
        s.push_back(lf_straightBack(aircraft, *left_m));
    }
    lf_layPushEnd(aircraft);
    return true;
}

// Lays the push-back from where the aircraft is along the points ahead, tail first: straight on
// to where the way first bends, then round each point on a curve from halfway to it to halfway
// on (the last ending on the last point), so that the tail follows the reported way smoothly,
// at the speeds reported along it up to the stand taxi speed, each curve timed by its chord: it
// keeps in step with its reports rather than catching up with the last of them. False where no
// point lies ahead.
bool lf_layPushWay(LiveAc& aircraft, std::vector<WayPoint> ahead)
{
    const StandFrame here = lf_standFrame(aircraft, lf_here(aircraft));
    // A corner it is about to reach stays where more of the way lies past it: the curve about it
    // then sets off along the way in, where one laid straight for the point after it bent the way
    // 35 degrees where it stood, and it turned on the spot. One it stands on is passed.
    if (!ahead.empty() &&
        lf_apart_m(here, ahead[0].at) < (ahead.size() == 1 ? kPushStep_m : kPushStep_m / 2)) {
        ahead.erase(ahead.begin());
    }
    if (ahead.empty()) return false;
    auto& s = aircraft.samples;
    const auto speed = [&](const WayPoint& p) {
        return std::clamp(p.speed_kt, kSlowestPush_kt, lf_standSpeed_kt(aircraft));
    };
    s.resize(1);
    s.front().groundSpeed_kt = speed(ahead[0]);
    LatLon from = lf_here(aircraft);
    int64_t due = g_fastTicks;
    const auto lay = [&](StandFrame f, double v, bool timed) {
        const LatLon at = lf_framePoint(aircraft, f);
        if (timed) {
            due += lf_ticksOf(gf_distanceNm(from, at) / v * kTicksPerHour);
            from = at;
        }
        QueuedSample p = lf_groundSample(at, v);
        lf_layDue(p, due);
        s.push_back(p);
    };
    const auto between = [](StandFrame a, StandFrame b, double share) {
        return StandFrame{a.back_m + (b.back_m - a.back_m) * share,
                          a.aside_m + (b.aside_m - a.aside_m) * share};
    };
    bool straightFirst = ahead.size() == 1;
    if (ahead.size() > 1) {
        // The first curve's arm in is as long as its arm out, where the way in is that long.
        const StandFrame a = ahead[0].at;
        const double in_m = lf_apart_m(here, a);
        const double out_m = lf_apart_m(a, ahead[1].at) / 2;
        if (in_m - out_m >= kPushStep_m) {
            lay(between(a, here, out_m / in_m), speed(ahead[0]), true);
            straightFirst = true;
        }
    }
    for (std::size_t k = 0; k + 1 < ahead.size(); ++k) {
        const bool last = k + 2 == ahead.size();
        const double v = speed(last ? ahead[k + 1] : ahead[k]);
        lay(ahead[k].at, v, false);
        lay(last ? ahead[k + 1].at : between(ahead[k].at, ahead[k + 1].at, 0.5), v, true);
    }
    if (ahead.size() == 1) lay(ahead[0].at, speed(ahead[0]), true);
    aircraft.altPushSample = s.back();
    aircraft.pushTurnKnown = 1;
    aircraft.pushTurnClockwise = 0;
    if (!straightFirst) lf_startSwingCurve(aircraft);
    lf_standAtPushEnd(aircraft);
    return true;
}

// The metres straight back along the stand's axis from where the aircraft is that the push-back
// follows its reports before their way leaves the axis, where they show it leaving it or have
// not shown their end: no fewer than the shortest push-back. None where they show it ended
// straight back, or show none of it.
std::optional<double> lf_followedStraight_m(const LiveAc& aircraft)
{
    const PushRun run = lf_pushRun(aircraft, aircraft.pushReports);
    if (run.count == 0) return std::nullopt;
    const std::vector<WayPoint> way = lf_pushWay(aircraft, run.count);
    const auto leaves = std::find_if(way.begin(), way.end(), [](const WayPoint& p) {
        return !(std::abs(p.at.aside_m) < kPushAside_m);
    });
    if (run.ended && leaves == way.end()) return std::nullopt;
    const double axis_m = std::prev(leaves)->at.back_m;
    return std::max(axis_m - lf_standFrame(aircraft, lf_here(aircraft)).back_m, kShortestPush_m);
}

// The push-back follows its reports where they show the tail leaving the stand's axis, or while
// they have not shown where it ends: it is laid from where the aircraft is along the reported
// way as far as they reach, and laid anew at each leg while they go on. Where they stop short of
// their end it waits, the tug on, for the next. A push-back they show ended straight back swings
// onto its way out as such (lf_swingStraightPush). True where it laid the leg beginning now.
bool lf_followPush(LiveAc& aircraft)
{
    if (STRAIGHT_PBS_ONLY.current) return false;
    const PushRun run = lf_pushRun(aircraft, aircraft.pushReports);
    if (run.count == 0) return false;
    const std::vector<WayPoint> way = lf_pushWay(aircraft, run.count);
    const bool turns = std::any_of(way.begin(), way.end(), [](const WayPoint& p) {
        return !(std::abs(p.at.aside_m) < kPushAside_m);
    });
    auto& s = aircraft.samples;
    if (run.ended && !turns) {
        if (!aircraft.pushFollows) return false;
        // Ended straight back while it followed: on to that end, and the swing from there.
        aircraft.pushFollows = 0;
        aircraft.pushEndKnown = 1;
        aircraft.pushTurnKnown = 0;
        s.resize(1);
        const std::optional<double> left_m = lf_pushLeft_m(aircraft, lf_reportedPushEnd(aircraft));
        if (left_m) {
            s.front().groundSpeed_kt = lf_standSpeed_kt(aircraft);
            s.push_back(lf_straightBack(aircraft, *left_m));
        }
        lf_swingStraightPush(aircraft);
        lf_layPushEnd(aircraft);
        return true;
    }
    aircraft.pushFollows = run.ended ? 0 : 1;
    aircraft.pushEndKnown = run.ended ? 1 : 0;
    if (lf_layPushWay(aircraft, lf_wayAhead(way, lf_standFrame(aircraft, lf_here(aircraft))))) {
        return true;
    }
    if (run.ended) return false;
    lf_holdForPush(aircraft);
    return true;
}

// The reports of it standing at the push-back's end, before its way out, stand it on the place
// its push-back's last leg ended on (behind that end, where its swing onto that way put it): it
// stands there while they last, facing as it was left, rather than rolling to that end to stand.
// Near a pole, where a centimetre is a thousandth of a degree, one 2 cm off it turned it on the
// spot to face that. Its own place may miss that by as much: the samples it stands on, and
// reports there after a pause, are to be one place. It sets off for the first that moves: made
// to stand there too, one a few metres on held it back for its whole step.
void lf_standWherePushed(LiveAc& aircraft, std::size_t pushed)
{
    auto& kept = aircraft.pushReports;
    if (pushed == 0 || aircraft.samples.empty()) return;
    const LatLon end = lf_at(kept[pushed - 1]);
    const LatLon stands = lf_at(aircraft.samples.back());
    for (std::size_t i = pushed; i < kept.size(); ++i) {
        if (gf_distanceNm(end, lf_at(kept[i])) * kMetresPerNm >= kWayShown_m ||
            kept[i].groundSpeed_kt > 0.0) {
            return;
        }
        kept[i].latitude = stands.lat;
        kept[i].longitude = stands.lon;
        kept[i].groundSpeed_kt = 0.0;
        kept[i].stationary = 1;
    }
}

// The push-back has ended: the aircraft stands pushed back. The reports kept while it ran that
// lie behind its end, those of the push-back itself, go; it sets off for the others once its
// engines are started, or else waits for reports that move away from it.
void lf_endPushBack(LiveAc& aircraft)
{
    aircraft.targetBearing_rad = aircraft.position.heading_rad;
    gf_queueEngineAutoStart(aircraft.objectId);
    gf_setThrottle(aircraft, 0);
    gf_setFlaps(aircraft, 1);
    lf_setLivePhase(aircraft, FlightPhase::pushed_back, PhaseMemory::always);
    aircraft.pushbackCountdown = 1;
    aircraft.pushedBackDistance_nm = 900.0;
    aircraft.syntheticCount = 0;
    aircraft.departurePending = 0;
    aircraft.pushEndKnown = 0;
    aircraft.swingOwedFrom = -1;
    aircraft.pushFollows = 0;
    auto& kept = aircraft.pushReports;
    const std::size_t pushed = lf_pushRun(aircraft, kept).count;
    lf_standWherePushed(aircraft, pushed);
    kept.erase(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(pushed));
    // It stands until the next leg begins, which sets off: its queue must not run dry first.
    auto& s = aircraft.samples;
    if (!kept.empty() && s.size() >= 2) {
        QueuedSample stop = s.back();
        lf_dueAfter(stop, stop.dueTick, 1);
        s.push_back(stop);
    }
}

// Where it stands pushed back, the first report kept that rolls away shows its first leg: it
// stands until it sets off so as to reach that report as it falls due, gathering speed to the
// one reported there, and goes to it as to any leg. Taken as a taxi report after the stop it
// stands on, one a few metres off was taken for where it stood (it stood until that fell due,
// then turned on the spot at the next corner), or was run to and stopped at, to set off again.
// Only where that report lies ahead of its nose.
void lf_waitToSetOff(LiveAc& aircraft, std::vector<QueuedSample>& reports)
{
    const LatLon here = lf_here(aircraft);
    const auto apart_m = [&here](const QueuedSample& r) {
        return gf_distanceNm(here, lf_at(r)) * kMetresPerNm;
    };
    const auto first = std::find_if(reports.begin(), reports.end(), [&](const QueuedSample& r) {
        return r.groundSpeed_kt > 0.0 && apart_m(r) >= kPushStep_m;
    });
    if (first == reports.end()) return;
    const auto off_rad = [&aircraft](LatLon a, LatLon b) {
        return std::abs(lf_wrapPi(gf_bearingRad(a, b) - aircraft.position.heading_rad));
    };
    const bool ahead = off_rad(here, lf_at(*first)) < kFirstLegAhead_rad;
    // Where the reports curve away beyond it, a curve laid from a standstill through it ended
    // tighter than they go round: the corner is rounded from where it stands, about the reports
    // beyond. One only a few metres off is where it sets off all the same. Steps shorter than
    // kWayShown_m show the feed's scatter more than the way.
    const bool near = apart_m(*first) < kWayShown_m;
    bool straightOn = true;
    LatLon from = lf_at(*first);
    int steps = 0;
    for (auto r = first + 1; r < reports.end() && steps < kFirstLegSteps; ++r) {
        if (gf_distanceNm(from, lf_at(*r)) * kMetresPerNm < kWayShown_m) continue;
        straightOn = straightOn && off_rad(from, lf_at(*r)) < kFirstLegAhead_rad;
        from = lf_at(*r);
        ++steps;
    }
    // Reports before it that stand elsewhere show a stop of their own: they are taken as such.
    const bool standsHere = std::all_of(
        reports.begin(), first, [&](const QueuedSample& r) { return apart_m(r) < kWayShown_m; });
    if (!ahead || !(straightOn || near) || !standsHere) return;
    // Gathering speed evenly from a standstill, it covers the way at half the speed it reaches.
    int64_t setOff = lf_reportedDue(*first) - std::llround(2.0 * apart_m(*first) / kMetresPerNm /
                                                           first->groundSpeed_kt * kTicksPerHour);
    for (auto r = reports.begin(); r != first; ++r) setOff = std::max(setOff, lf_reportedDue(*r));
    auto& s = aircraft.samples;
    QueuedSample wait = s.front();
    wait.groundSpeed_kt = 0.0;
    wait.stationary = 1;
    lf_layDue(wait, std::max(setOff, int64_t{g_fastTicks} + 1));
    s.push_back(wait);
    s.push_back(*first);
    s.back().stationary = 0;
    reports.erase(reports.begin(), first + 1);
}

}  // namespace

SetOff lf_startPullingOut(LiveAc& aircraft)
{
    aircraft.departurePending = 0;
    aircraft.syntheticCount = 0;
    std::vector<QueuedSample> reports = std::move(aircraft.pushReports);
    aircraft.pushReports.clear();
    auto& s = aircraft.samples;
    s.resize(1);
    QueuedSample stop = s.front();
    stop.stationary = 1;
    lf_dueAfter(stop, stop.dueTick, 1);
    // Its first leg goes off the stand to the first report off it, at the stand taxi speed as
    // its time was laid (lf_pushBackWhenDue): taken as a taxi report, one a few metres from
    // where it stood would stand it there instead.
    if (!reports.empty()) {
        s.front().groundSpeed_kt = lf_standSpeed_kt(aircraft);
        s.push_back(reports.front());
        s.back().stationary = 0;
        reports.erase(reports.begin());
    }
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
    return SetOff{std::move(reports), stop};
}

bool lf_leavesForwards(const LiveAc& aircraft, const QueuedSample& last)
{
    const double a =
        std::round(lf_wrapPi(gf_bearingRad({aircraft.standLat, aircraft.standLon}, lf_at(last)) -
                             aircraft.standHeading_rad) /
                   kRadPerDeg);
    return std::abs(a) < 90.0;
}

void lf_pushBackWhenDue(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (s.empty() || aircraft.pushReports.empty()) return;
    // So as to be where its first report off the stand put it as that report falls due, at the
    // stand taxi speed, not as that report comes in, up to the replay delay before.
    const QueuedSample& first = aircraft.pushReports.front();
    const double out_nm = gf_distanceNm({aircraft.standLat, aircraft.standLon}, lf_at(first));
    const int64_t setOff =
        lf_reportedDue(first) - std::llround(out_nm / lf_standSpeed_kt(aircraft) * kTicksPerHour);
    lf_layDue(s.front(), std::max(setOff, int64_t{g_fastTicks} + 1));
    // It stands until then: the leg that begins there leaves the stand.
    s.resize(1);
    QueuedSample stands = s.front();
    lf_dueAfter(stands, stands.dueTick, 1);
    s.push_back(stands);
}

void lf_startPushBack(LiveAc& aircraft)
{
    aircraft.syntheticCount = 0;
    const double back = lf_backFrom(aircraft);
    const ParkStand* stand = lf_standById(aircraft.standId);
    if (!stand) return;
    auto& s = aircraft.samples;
    const double v = lf_standSpeed_kt(aircraft);
    // Straight back as far as its reports went back along the stand's axis, or, where they do
    // not show that yet, by two and a half stand radii.
    // Where they show the tail leaving the axis, or have not shown the end, as far as they
    // went along the axis, and no less than the shortest push-back: the way on is laid halfway.
    const std::optional<LatLon> end = lf_reportedPushEnd(aircraft);
    const std::optional<double> follow_m = lf_followedStraight_m(aircraft);
    const std::optional<double> left_m = follow_m ? follow_m : lf_pushLeft_m(aircraft, end);
    const QueuedSample p1 = lf_straightBack(
        aircraft, left_m ? *left_m : stand->radius * 2.5 * kFeetPerNm * kMetresPerFoot);
    const LatLon p1At = lf_at(p1);
    const int32_t t1 = lf_standTicksTo(aircraft, p1At);
    s.front().groundSpeed_kt = v;
    aircraft.targetBearing_rad = aircraft.position.heading_rad;
    s.resize(1);
    s.push_back(p1);
    lf_insertMidSample(aircraft);
    const int32_t t2 = lf_ticksOf(gf_distanceNm(lf_at(s[1]), p1At) / v * kTicksPerHour);
    aircraft.pushEndKnown = 0;
    aircraft.swingOwedFrom = -1;
    aircraft.pushFollows = 0;
    if (follow_m) {
        aircraft.pushTurnKnown = 0;
    } else if (left_m) {
        lf_swingTo(aircraft, *end, int64_t{g_fastTicks} + t1 / 2 + t2);
    } else {
        const double sideFeet = aircraft.size_nm * kFeetPerNm;
        QueuedSample p2 =
            lf_groundSample(gf_destinationPoint(p1At, lf_wrap2Pi(back + kPi / 2), sideFeet), v);
        QueuedSample p3 =
            lf_groundSample(gf_destinationPoint(p1At, lf_wrap2Pi(back - kPi / 2), sideFeet), v);
        lf_dueIn(p2, int64_t{t1 / 2} + t2);
        lf_dueIn(p3, int64_t{t1 / 2} + t2);
        aircraft.altPushSample = p2;
        s.push_back(p3);
    }
    lf_leavingLights(aircraft);
    lf_setLivePhase(aircraft, FlightPhase::pushing_back, PhaseMemory::onChange);
    aircraft.pushbackCountdown = 2;
}

void lf_pushBackLeg(LiveAc& aircraft)
{
    --aircraft.pushbackCountdown;
    if (aircraft.pushbackCountdown == 1) {
        if (!lf_followPush(aircraft)) {
            lf_refitPushBack(aircraft);
            lf_swingStraightPush(aircraft);
            lf_layPushEnd(aircraft);
        }
    } else if (aircraft.pushbackCountdown < 1 &&
               !(aircraft.pushFollows && lf_followPush(aircraft)) && !lf_swingGoesOn(aircraft) &&
               !lf_payOwedSwing(aircraft)) {
        lf_endPushBack(aircraft);
    }
    lf_groundLegTiming(aircraft);
}

std::optional<SetOff> lf_setOffAfterPushBack(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (aircraft.pushReports.empty() || s.size() < 2) return std::nullopt;
    std::vector<QueuedSample> reports = std::move(aircraft.pushReports);
    aircraft.pushReports.clear();
    const QueuedSample stop = s[1];
    s.resize(1);
    lf_waitToSetOff(aircraft, reports);
    aircraft.pushbackCountdown = 0;
    aircraft.pushTurnKnown = aircraft.pushTurnClockwise = 0;
    lf_setLivePhase(aircraft, FlightPhase::taxi, PhaseMemory::always);
    lf_leaveStand(aircraft);
    aircraft.holding = 0;
    aircraft.holdStart = 0;
    lf_openWindows(aircraft);
    return SetOff{std::move(reports), stop};
}

void lf_setOffToward(LiveAc& aircraft, const QueuedSample& stop)
{
    auto& s = aircraft.samples;
    if (s.size() < 2) s.push_back(stop);
    if (!s[1].stationary) {
        aircraft.targetBearing_rad = gf_bearingRad(lf_here(aircraft), lf_at(s[1]));
    }
}

void lf_keepPushReport(LiveAc& aircraft, const QueuedSample& report)
{
    auto& kept = aircraft.pushReports;
    QueuedSample r = report;
    if (!kept.empty() && lf_reportedDue(kept.back()) >= lf_reportedDue(r)) {
        lf_layDue(r, lf_reportedDue(kept.back()) + 1);
    }
    // A report within a metre of the two before it, standing as they stand or rolling as they
    // roll, adds nothing to the way but its time: it takes the place of the one before, so that
    // a long stand, or a slow push-back reported several times a second, does not crowd the
    // push-back's own reports out of the store.
    const auto near = [&r](const QueuedSample& k) {
        return gf_distanceNm(lf_at(k), lf_at(r)) * kMetresPerNm < kPushStep_m &&
               (k.groundSpeed_kt > 0.0) == (r.groundSpeed_kt > 0.0);
    };
    const std::size_t n = kept.size();
    if (n >= 2 && near(kept[n - 2]) && near(kept[n - 1])) {
        kept.back() = r;
        return;
    }
    // Bounded as the queue is: the oldest goes first.
    if (kept.size() >= kMaxQueued) kept.erase(kept.begin());
    kept.push_back(r);
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
    aircraft.pushReports.clear();
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
