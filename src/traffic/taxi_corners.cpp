// Corners of the reported way on the ground: where a taxi curve round a corner begins and ends,
// and the samples laid for it. A corner is rounded as wide as its reported speed needs, along the
// straight ways into and out of it as far as the reports show them, not only as far as the next
// report happens to lie: a report 4 m beyond a right angle would otherwise make a curve of 3 m
// radius that an airliner reported at 18 kt crawls round at 2 kt. A corner sharper than a right
// angle is rounded by a chain of curves about an arc where one curve would be too tight.
//
// Threads: main-loop thread.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "traffic/curve_geometry.h"
#include "traffic/leg_queries.h"
#include "traffic/taxi_corners.h"
#include "traffic/motion_math.h"
#include "traffic/schedule.h"

namespace qel {

namespace {

constexpr double kFeetPerMetre = 1.0 / 0.3048;
// A way goes on through reports that bend it by no more than this (degrees): lf_cornerShape takes
// such a bend for a straight leg, and a curve's way out ends where the reports bend it more.
constexpr double kStraight_deg = 3.0;
// A corner's way in longer than this is split before a sharp turn (lf_cornerShape); a curve's
// arms reach at least as far as the report after its corner, up to this far (lf_cornerCurve).
constexpr double kLongCorner_nm = 0.02699784017278618;  // 50 m
// The shortest straight way in before a curve that is laid as a leg of its own, and the most a
// curve's end is stretched to end on a report instead of just short of it (metres).
constexpr double kLeadIn_m = 5.0;
// A curve keeps this close to the reported ways (metres): a taxiway's centre line rounds a right
// angle at 30 to 45 m radius, about as far inside its corner; a wider cut leaves the taxiway.
constexpr double kOffWay_m = 12.0;
// Shorter distances give no bearing (metres).
constexpr double kTiny_m = 0.5;
// A sharper turn is no corner but a reversal (degrees).
constexpr double kTurnaround_deg = 160.0;
// One curve round a corner sharper than a right angle is tight: within kOffWay_m of the ways its
// radius is 0.16 of its arms at 135 degrees, half what an arc there allows. Where that is tighter
// than the corner's speed needs, the corner is rounded by a chain of curves about the widest
// arc instead, each turning no more than this.
constexpr double kChainStep_rad = 45.0 * kRadPerDeg;
// A chain is laid only where it rounds the corner this much wider than one curve: it cuts more
// of the way round, and a few per cent of speed are not worth that.
constexpr double kChainGain = 1.2;

double lf_metres(LatLon a, LatLon b) { return gf_distanceNm(a, b) * kMetresPerNm; }

// A curve's arm along the heading is lengthened by this factor at a time until the curve is
// nowhere tighter than the aircraft steers (lf_startTaxiCurve).
constexpr double kArmGrowth = 1.25;

// The radius of a curve's tightest point (metres): |B'|³ / |B' × B''| where |B'| is least.
double lf_tightest_m(const TaxiCurve& c)
{
    const double cross = 4.0 * std::abs(c.controlEast * c.endNorth - c.controlNorth * c.endEast);
    if (!(cross > 1e-9)) return std::numeric_limits<double>::infinity();
    const double rate = lf_curveRate_m(c, lf_sharpestParam(c));
    return rate * rate * rate / cross;
}

// The tightest a taxiing aircraft steers round (metres): its nose wheel turns it about half its
// wingspan.
double lf_steerRadius_m(const LiveAc& aircraft) { return aircraft.size_nm * kMetresPerNm / 2.0; }

// The control point of a curve from `here`, heading heading_rad, to `end` that turns toward its
// end no tighter than r_m where it can: a curve with arms a and L, the way to its end, and a
// turn θ between them, begins at radius 2a² / (L sin θ), and is tighter further on where θ is
// near a right angle or more, so a is taken longer until no point is tighter (on arms from the
// formula alone, a C172 turned 65 degrees at 2 kt round 2 m). None where the end lies too near
// or behind to steer to.
std::optional<LatLon> lf_steerControl(LatLon here, double heading_rad, LatLon end, double r_m)
{
    const double toEnd_m = lf_metres(here, end);
    const double off_rad = std::abs(lf_wrapPi(gf_bearingRad(here, end) - heading_rad));
    if (off_rad > kTurnaround_deg * kRadPerDeg || toEnd_m < kLeadIn_m) return std::nullopt;
    const auto control = [&](double arm_m) {
        return gf_destinationPoint(here, heading_rad, arm_m * kFeetPerMetre);
    };
    double arm_m = std::min(std::sqrt(r_m * toEnd_m * std::sin(std::min(off_rad, kPi / 2.0)) / 2.0),
                            toEnd_m / 2.0);
    LatLon best = control(arm_m);
    double bestR_m = lf_tightest_m(lf_curveThrough(here, best, end));
    while (bestR_m < r_m && arm_m < toEnd_m) {
        arm_m = std::min(arm_m * kArmGrowth, toEnd_m);
        const LatLon at = control(arm_m);
        const double tight_m = lf_tightest_m(lf_curveThrough(here, at, end));
        if (tight_m > bestR_m) {
            best = at;
            bestR_m = tight_m;
        }
    }
    return best;
}

// The way between two reports that their speeds and times give (metres), and how much longer a
// way round a corner between them may be: reported speeds and places disagree by that much.
constexpr double kWaySlack = 1.25;
double lf_reportedWay_m(const QueuedSample& a, const QueuedSample& b)
{
    const double span_h =
        static_cast<double>(lf_reportedDue(b) - lf_reportedDue(a)) / kTicksPerHour;
    return std::max(a.groundSpeed_kt + b.groundSpeed_kt, 0.0) / 2.0 * span_h * kMetresPerNm;
}

// Whether a report's track is turned from `way_rad` by more than a reported way that goes
// straight on through it: it lies on the arc of a bend. A track of 0 is none.
constexpr double kOnArc_deg = 10.0;
bool lf_trackTurned(const QueuedSample& x, double way_rad)
{
    return x.track_deg != 0.0 &&
           std::abs(lf_wrapPi(x.track_deg * kRadPerDeg - way_rad)) > kOnArc_deg * kRadPerDeg;
}

// Whether the way bends at sample k by no more than a report on the arc of a bend is turned.
bool lf_gentleBend(const SampleQueue& s, std::size_t k)
{
    const double in_rad = gf_bearingRad(lf_at(s[k - 1]), lf_at(s[k]));
    const double out_rad = gf_bearingRad(lf_at(s[k]), lf_at(s[k + 1]));
    return std::abs(lf_wrapPi(out_rad - in_rad)) <= kOnArc_deg * kRadPerDeg;
}

// Metres of the straight way out of a corner from its first report on (samples[k]), along
// `out_rad`: to where the reports stop or stand, or halfway to where the next corner turns off
// it, whose curve takes the other half.
double lf_wayOut_m(const SampleQueue& samples, std::size_t k, LatLon corner, double out_rad)
{
    for (; k + 1 < samples.size(); ++k) {
        const QueuedSample& x = samples[k];
        const QueuedSample& y = samples[k + 1];
        if (y.stationary || y.airborne || lf_samePlace(x, y)) break;
        if (std::abs(lf_wrapPi(gf_bearingRad(lf_at(x), lf_at(y)) - out_rad)) >
            kStraight_deg * kRadPerDeg) {
            return lf_metres(corner, lf_at(x)) / 2.0;
        }
    }
    return lf_metres(corner, lf_at(samples[k]));
}

// The first corner on the straight way ahead that is rounded by a curve: it lies at or after
// sample p + 1 (lf_cornerOf). None where the way ahead stops or reverses, or where a long corner
// further on is split first.
struct CornerAhead {
    std::size_t p = 0;
    bool split = false;  // the leg to it is long enough to be split (lf_cornerShape)
};
std::optional<CornerAhead> lf_cornerAhead(const LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    for (std::size_t p = 0; p + 3 <= s.size(); ++p) {
        const double turn_rad = p == 0 ? lf_turnAhead(aircraft)
                                       : gf_bearingRad(lf_at(s[p + 1]), lf_at(s[p + 2])) -
                                             gf_bearingRad(lf_at(s[p]), lf_at(s[p + 1]));
        const double turn_deg = std::abs(lf_wrapPi(turn_rad)) / kRadPerDeg;
        switch (lf_cornerShape(s, p, turn_deg)) {
        case CornerShape::curve: return CornerAhead{p, false};
        case CornerShape::split:
            if (p > 0) return std::nullopt;
            return CornerAhead{p, true};
        case CornerShape::straight:
            if (turn_deg > kStraight_deg || s[p + 1].stationary || s[p + 2].stationary ||
                lf_samePlace(s[p], s[p + 2])) {
                return std::nullopt;
            }
            break;
        }
    }
    return std::nullopt;
}

// A chain of curves round the corner at `vertex`, from the way in along in_rad, turning turn_rad
// (signed), about an arc of radius r_m that touches both ways. Its corners lie on the tangents
// that cut the arc into even parts, and its curves meet where those touch the arc: the curves of
// the chain are tightest at r_m cos(step / 2), and keep as close to the ways as the arc does.
void lf_chainRound(CornerCurve& c, LatLon vertex, double in_rad, double turn_rad, double r_m, int n)
{
    const double step_rad = turn_rad / n;
    const double tangent_m = r_m * std::tan(std::abs(turn_rad) / 2.0);
    const double arm_m = r_m * std::tan(std::abs(step_rad) / 2.0);
    LatLon at = gf_destinationPoint(vertex, in_rad + kPi, (tangent_m - arm_m) * kFeetPerMetre);
    std::vector<LatLon> points{at};
    double heading_rad = in_rad;
    for (int k = 1; k < n; ++k) {
        heading_rad += step_rad;
        for (int half = 0; half < 2; ++half) {
            at = gf_destinationPoint(at, heading_rad, arm_m * kFeetPerMetre);
            points.push_back(at);
        }
    }
    c.corner = points[0];
    c.end = points[1];
    c.chain.assign(points.begin() + 2, points.end());
    c.chainEnd = gf_destinationPoint(vertex, in_rad + turn_rad, tangent_m * kFeetPerMetre);
    // Its curves keep close to the arc, whose length they are taken at.
    c.cut_m = 2.0 * tangent_m - r_m * std::abs(turn_rad);
}

// The widest arc round a corner turning twice half_rad that keeps within kOffWay_m of the ways
// and touches them no further than way_m from the corner: an arc of radius r touching both ways
// strays r (1 - cos(θ/2)) from them halfway round, and touches them r tan(θ/2) from the corner.
double lf_widestArc_m(double half_rad, double way_m)
{
    return std::min(kOffWay_m / (1.0 - std::cos(half_rad)), way_m / std::tan(half_rad));
}

// The arc a chain round a corner turning turn_rad follows (its radius), and the number of its
// curves (0: none fits): no wider than keeps within kOffWay_m of the ways, than the ways in and
// out hold (way_m from the corner), or than its curves need for a radius of needR_m; its curves
// turn kChainStep_rad at most, fewer where their arms would be shorter than a lead-in.
std::pair<double, int> lf_chainArc(double turn_rad, double needR_m, double way_m)
{
    // The chain's curves are tightest at r cos(step / 2).
    const double half = turn_rad / 2.0;
    const auto radius = [&](int n) {
        return std::min(lf_widestArc_m(half, way_m), needR_m / std::cos(half / n));
    };
    const auto arm = [&](int n) { return radius(n) * std::tan(half / n); };
    int n = static_cast<int>(std::ceil(turn_rad / kChainStep_rad));
    while (n > 2 && arm(n) < kLeadIn_m) --n;
    if (!(arm(n) >= kLeadIn_m)) return {0.0, 0};
    return {radius(n), n};
}

// The samples of a chain `c` round the corner at `vertex` after sample p: its corners and the
// points where its curves meet take the place of the reports between its first and last corner.
// Their due ticks and speeds are the reports' at the same share of the way. Returns the index
// of the sample before the chain's first corner.
std::size_t lf_layChainSamples(SampleQueue& s, std::size_t p, LatLon vertex, const CornerCurve& c)
{
    // Metres along the reported ways from the corner, negative before it.
    const auto along = [&](std::size_t k) {
        const double m = lf_metres(vertex, lf_at(s[k]));
        return k <= p + 1 ? -m : m;
    };
    const double tangent_m = lf_metres(vertex, c.chainEnd);
    const double cut_m = lf_metres(vertex, c.corner);
    std::vector<LatLon> points{c.corner, c.end};
    points.insert(points.end(), c.chain.begin(), c.chain.end());
    std::vector<QueuedSample> laid;
    for (std::size_t j = 0; j < points.size(); ++j) {
        // The chain is shorter than the way round the corner: its points are spread evenly
        // over that way.
        const double x =
            tangent_m *
            (2.0 * static_cast<double>(j + 1) / static_cast<double>(points.size() + 1) - 1.0);
        std::size_t k = 0;
        while (k + 2 < s.size() && along(k + 1) < x) ++k;
        const double span = along(k + 1) - along(k);
        const double share = span > 0.0 ? std::clamp((x - along(k)) / span, 0.0, 1.0) : 0.0;
        laid.push_back(lf_sampleBetween(s[k], s[k + 1], share, points[j]));
    }
    std::size_t from = p + 2;
    while (from > 1 && -along(from - 1) < cut_m) --from;
    std::size_t to = p + 2;
    while (to < s.size() && along(to) < cut_m) ++to;
    s.erase(s.begin() + static_cast<std::ptrdiff_t>(from),
            s.begin() + static_cast<std::ptrdiff_t>(to));
    auto at = s.begin() + static_cast<std::ptrdiff_t>(from);
    for (const QueuedSample& x : laid) at = s.insert(at, x) + 1;
    return from - 1;
}

// The samples of the curve `c` round the corner after sample p: the corner becomes a sample of
// its own where no report lies on it, and so does the curve's end where no report lies there;
// a leg to the curve's start comes first where it leads in. The reports the curve cuts off, on
// the way in and out, are left out.
void lf_layCurveSamples(SampleQueue& s, std::size_t p, const CornerCurve& c)
{
    const LatLon corner = c.corner;
    const std::size_t out = p + 2;  // the first report on the way out
    const bool reported = lf_metres(lf_at(s[p + 1]), corner) < kTiny_m;
    QueuedSample turn = s[p + 1];
    if (!reported) {
        const double before_m = lf_metres(lf_at(s[p + 1]), corner);
        const double after_m = lf_metres(corner, lf_at(s[out]));
        turn = lf_sampleBetween(s[p + 1], s[out], before_m / (before_m + after_m), corner);
    }
    const double end_m = lf_metres(corner, c.end);
    std::size_t e = out;
    while (e + 1 < s.size() && lf_metres(corner, lf_at(s[e])) < end_m - kTiny_m) ++e;
    const bool endLaid = lf_metres(corner, lf_at(s[e])) > end_m + kLeadIn_m;
    QueuedSample end = s[e];
    if (endLaid) {
        const QueuedSample& base = e > out ? s[e - 1] : turn;
        const double span_m = lf_metres(lf_at(base), lf_at(s[e]));
        end = lf_sampleBetween(base, s[e], lf_metres(lf_at(base), c.end) / span_m, c.end);
    }
    std::vector<QueuedSample> laid;
    if (c.lead) {
        const double start_m = lf_metres(c.start, corner);
        const std::size_t lastIn = reported ? p : p + 1;
        for (std::size_t k = 1; k <= lastIn && lf_metres(lf_at(s[k]), corner) > start_m + kLeadIn_m;
             ++k) {
            laid.push_back(s[k]);
        }
        const QueuedSample base = laid.empty() ? s[0] : laid.back();
        const double span_m = lf_metres(lf_at(base), corner);
        const double share = std::clamp(lf_metres(lf_at(base), c.start) / span_m, 0.0, 1.0);
        laid.push_back(lf_sampleBetween(base, turn, share, c.start));
    }
    laid.push_back(turn);
    laid.push_back(end);
    s.erase(s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(endLaid ? e : e + 1));
    auto at = s.begin() + 1;
    for (const QueuedSample& x : laid) at = s.insert(at, x) + 1;
}

}  // namespace

CornerShape lf_cornerShape(const SampleQueue& samples, std::size_t i, double turn_deg)
{
    // A turn onto a way flown is no corner of the taxiways: the air legs fly it. Rounded as one
    // at the lift-off of a turning climb, a touch-and-go rolled round it on the runway at 147 kt,
    // 13 degrees in 2 s (0.85 g sideways).
    if (samples.size() < i + 3 || samples[i + 1].stationary || samples[i + 2].stationary ||
        samples[i + 2].airborne) {
        return CornerShape::straight;
    }
    const QueuedSample& a = samples[i];
    const QueuedSample& b = samples[i + 1];
    if (turn_deg <= kStraight_deg || turn_deg > kTurnaround_deg) return CornerShape::straight;
    // Nor is a gentle bend at a report of 0 kt: the aircraft stopped there, and turns the few
    // degrees as it sets off. Rounded, its stop was lost: an A320 whose reports 0.3 s apart braked
    // from 17.5 kt to a stop of 2 s before a bend of 12 degrees rolled through it at 10 kt where
    // 1.5 kt was reported. A corner there, or a bend that goes on sharper after, is still
    // rounded: stopped at its start and turned on the spot, the aircraft would leave the reports
    // on its arc, or crawl round it turning.
    if (!(b.groundSpeed_kt > 0.0) && turn_deg <= kOnArc_deg &&
        (samples.size() < i + 4 || lf_gentleBend(samples, i + 2))) {
        return CornerShape::straight;
    }
    const int64_t span = std::max<int64_t>(lf_reportedDue(b) - lf_reportedDue(a), 25);
    if (turn_deg > 45.0 && gf_distanceNm(lf_at(a), lf_at(b)) > kLongCorner_nm &&
        a.groundSpeed_kt <= kTakeOffSpeed_kt && span >= 600) {
        return CornerShape::split;
    }
    return lf_samePlace(a, samples[i + 2]) ? CornerShape::straight : CornerShape::curve;
}

QueuedSample lf_sampleBetween(const QueuedSample& a, const QueuedSample& b, double share, LatLon at)
{
    QueuedSample x = a;
    x.latitude = at.lat;
    x.longitude = at.lon;
    x.groundSpeed_kt = a.groundSpeed_kt + (b.groundSpeed_kt - a.groundSpeed_kt) * share;
    x.altitude_ft = a.altitude_ft + (b.altitude_ft - a.altitude_ft) * share;
    lf_dueBetween(x, a, b, share);
    x.airborne = x.altitude_ft > 0.0;
    if (!x.airborne) x.altitude_ft = 0.0;
    x.stationary = false;
    return x;
}

void lf_insertMidSample(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (s.size() < 2) return;
    const LatLon half{
        (s[0].latitude + s[1].latitude) / 2.0,
        lf_wrapLon(s[0].longitude + lf_lonDelta(s[1].longitude, s[0].longitude) / 2.0)};
    s.insert(s.begin() + 1, lf_sampleBetween(s[0], s[1], 0.5, half));
}

// Sample 1 is the corner when a report lies on it; when the corner falls between samples 1 and
// 2, a curve through sample 1 would cut it and end pointing across the way out, and the aircraft
// would stop there to turn on the spot, or not, by where the reports happened to fall.
LatLon lf_cornerOf(LatLon here, const SampleQueue& samples, std::size_t i)
{
    const auto s = [&](std::size_t k) -> const QueuedSample& { return samples[i + k]; };
    if (samples.size() < i + 4 || s(3).stationary || lf_samePlace(s(2), s(3))) {
        return lf_at(s(1));
    }
    const double perLon = lf_metresPerLonDeg(here.lat);
    const auto local = [&](const QueuedSample& x) {
        return std::pair{lf_lonDelta(x.longitude, here.lon) * perLon,
                         (x.latitude - here.lat) * kMetresPerDeg};
    };
    const auto [x1, y1] = local(s(1));
    const auto [x2, y2] = local(s(2));
    const auto [x3, y3] = local(s(3));
    // here + t (p1 - here) = p2 + u (p3 - p2)
    const double ox = x3 - x2, oy = y3 - y2;
    const double det = oy * x1 - ox * y1;
    if (!(std::abs(det) > 1e-9 * std::hypot(x1, y1) * std::hypot(ox, oy))) return lf_at(s(1));
    const double t = (oy * x2 - ox * y2) / det;
    const double u = (y1 * x2 - x1 * y2) / det;
    const double cx = t * x1, cy = t * y1;
    if (!(t >= 1.0 && u <= 0.0)) return lf_at(s(1));
    // Beyond a right angle the corner lies farther from sample 1 than sample 2 may: it is taken
    // where the way round it is no longer than the reports' speeds cover between them.
    // Where samples 1 and 2 lie on the arc of a bend, not on straight ways either side of a
    // corner, the ways through them meet outside that arc, farther from the reported way between
    // them than a curve keeps to, and the tracks reported there are turned from those ways: each
    // is a corner of its own (a hairpin rounded about where its ways met went 17 m off the
    // reports on its arc).
    const double chord_m = std::hypot(x2 - x1, y2 - y1);
    const double before_m = std::hypot(cx - x1, cy - y1);
    const double round_m = before_m + std::hypot(x2 - cx, y2 - cy);
    if (!(std::abs((x2 - x1) * (cy - y1) - (y2 - y1) * (cx - x1)) <= kOffWay_m * chord_m) &&
        (lf_trackTurned(s(1), std::atan2(x1, y1)) || lf_trackTurned(s(2), std::atan2(ox, oy)))) {
        return lf_at(s(1));
    }
    if (before_m > chord_m && !(round_m <= lf_reportedWay_m(s(1), s(2)) * kWaySlack)) {
        return lf_at(s(1));
    }
    return {here.lat + cy / kMetresPerDeg, lf_wrapLon(here.lon + cx / perLon)};
}

std::optional<LatLon> lf_meetOfWays(LatLon from, double heading_rad, LatLon a, LatLon b)
{
    const double out_rad = gf_bearingRad(a, b);
    const double turn_rad = lf_wrapPi(out_rad - heading_rad);
    if (!(std::abs(turn_rad) > kStraight_deg * kRadPerDeg) ||
        std::abs(turn_rad) > kTurnaround_deg * kRadPerDeg) {
        return std::nullopt;
    }
    const double perLon = lf_metresPerLonDeg(from.lat);
    const double ax = lf_lonDelta(a.lon, from.lon) * perLon,
                 ay = (a.lat - from.lat) * kMetresPerDeg;
    const double hx = std::sin(heading_rad), hy = std::cos(heading_rad);
    const double ox = std::sin(out_rad), oy = std::cos(out_rad);
    // from + t h = a + u o
    const double det = ox * hy - oy * hx;
    const double t = (ox * ay - oy * ax) / det;
    const double u = (hx * ay - hy * ax) / det;
    if (!(t > kTiny_m && u <= 0.0)) return std::nullopt;
    return LatLon{from.lat + t * hy / kMetresPerDeg, lf_wrapLon(from.lon + t * hx / perLon)};
}

CornerCurve lf_cornerCurve(const LiveAc& aircraft, LatLon from, const SampleQueue& samples,
                           std::size_t i, std::optional<double> heading_rad)
{
    const LatLon corner = lf_cornerOf(from, samples, i);
    const QueuedSample& first = samples[i + 2];
    CornerCurve c{from, corner, lf_at(first)};
    const double in_m = lf_metres(from, corner);
    const double first_m = lf_metres(corner, lf_at(first));
    double out_rad = gf_bearingRad(corner, lf_at(first));
    if (!(first_m >= kTiny_m)) {
        if (samples.size() < i + 4) return c;
        out_rad = gf_bearingRad(lf_at(first), lf_at(samples[i + 3]));
    }
    if (!(in_m >= kTiny_m)) return c;
    const double in_rad = gf_bearingRad(from, corner);
    const double turn_rad = std::abs(lf_wrapPi(out_rad - in_rad));
    // The speed reported where the corner lies, between the reports either side of it.
    const QueuedSample& a = samples[i + 1];
    const double aToCorner_m = lf_metres(lf_at(a), corner);
    const double v_kt = a.groundSpeed_kt + (first.groundSpeed_kt - a.groundSpeed_kt) * aToCorner_m /
                                               std::max(aToCorner_m + first_m, kTiny_m);
    // A quadratic curve with arms of length L either side of a turn θ is tightest halfway round,
    // at radius L cos²(θ/2) / sin(θ/2), and strays L sin(θ) / 4 from the ways there.
    const double half = turn_rad / 2.0;
    const double need_m = lf_bendRadius_m(aircraft, v_kt) * std::sin(half) /
                          std::max(std::cos(half) * std::cos(half), 1e-9);
    const double offWay = std::sin(turn_rad) / 4.0;
    const double keepClose_m =
        offWay > 0.0 ? kOffWay_m / offWay : std::numeric_limits<double>::infinity();
    const double wayOut_m = lf_wayOut_m(samples, i + 2, corner, out_rad);
    const double arm_m =
        std::min({wayOut_m, keepClose_m,
                  std::max(need_m, std::min(first_m, kLongCorner_nm * kMetresPerNm))});
    // Laid from where the aircraft is, the arms are kept about even: a short way in and a long
    // way out make the curve tighter than even ones of the shorter length.
    const bool facing =
        !heading_rad ||
        std::abs(lf_wrapPi(gf_bearingRad(from, corner) - *heading_rad)) <= kFacing_deg * kRadPerDeg;
    c.facing = facing;
    if (turn_rad > kPi / 2.0) {
        const double needR_m = lf_bendRadius_m(aircraft, v_kt);
        const double oneR_m =
            std::min(arm_m, in_m) * std::cos(half) * std::cos(half) / std::sin(half);
        const auto [r_m, n] = lf_chainArc(turn_rad, needR_m, std::min(wayOut_m, in_m));
        if (n > 0 && oneR_m < needR_m && r_m * std::cos(half / n) > kChainGain * oneR_m) {
            // An arc that would begin too short a way ahead of the aircraft to lead into it is
            // widened to begin where the aircraft is, as far as the ways allow: begun from there,
            // the chain's first curve would turn on a longer arm in than out, tighter than the
            // rest (150 degrees at 10 kt, begun 2.6 m short of the arc: 8.8 kt).
            double r = r_m;
            if (facing && in_m > r * std::tan(half) && in_m <= r * std::tan(half) + kLeadIn_m) {
                r = std::max(r, lf_widestArc_m(half, std::min(wayOut_m, in_m)));
            }
            lf_chainRound(c, corner, in_rad, lf_wrapPi(out_rad - in_rad), r, n);
            c.speed_kt = v_kt;
            const double tangent_m = r * std::tan(half);
            c.lead = facing && in_m > tangent_m + kLeadIn_m;
            if (c.lead) {
                c.start = gf_destinationPoint(corner, in_rad + kPi, tangent_m * kFeetPerMetre);
            }
            return c;
        }
    }
    c.lead = facing && in_m > arm_m + kLeadIn_m;
    if (c.lead) {
        c.start = gf_destinationPoint(corner, gf_bearingRad(corner, from), arm_m * kFeetPerMetre);
    }
    const double outArm_m = c.lead ? arm_m : std::min(arm_m, std::max(in_m, kLeadIn_m));
    c.end = gf_destinationPoint(corner, out_rad, outArm_m * kFeetPerMetre);
    return c;
}

void lf_startTaxiCurve(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    if (s.size() < 3) return;
    // A curve rolled into that ends where its reports stop ends stopped there, rolled at the
    // speed reported at its corner where that is faster and braked at its end: rounded on at
    // the mean of the speeds before it, a departure braking to its line-up rolled through it at
    // 6 kt.
    if (s[2].groundSpeed_kt == 0.0 && s[0].groundSpeed_kt > 0.0) {
        s[0].groundSpeed_kt = std::max(s[0].groundSpeed_kt, s[1].groundSpeed_kt);
    } else if (s[2].groundSpeed_kt == 0.0) {
        s[2].groundSpeed_kt = (s[0].groundSpeed_kt + s[1].groundSpeed_kt) / 2.0;
    }
    // Setting off from a standstill, the leg is timed at the speed it gathers to: the one
    // reported at the corner where that is faster. Timed at the end's, 2.1 kt as it braked for
    // a stop beyond, an A320 crawled round at 2.6 kt where 9.1 kt was reported.
    if (s[0].groundSpeed_kt == 0.0) {
        s[2].groundSpeed_kt = std::max(s[2].groundSpeed_kt, s[1].groundSpeed_kt);
    }
    const LatLon here = lf_here(aircraft);
    LatLon corner = lf_cornerOf(here, s, 0);
    // Facing away from the corner, from a standstill or rolling, it rolls round from its heading
    // to where that meets the way out instead of turning on the spot to face the corner first:
    // stopped partway round a bend, it stood there turning 30 to 70 degrees.
    const double heading_rad = aircraft.position.heading_rad;
    if (aircraft.phase == FlightPhase::taxi && !aircraft.takeOff && !aircraft.landingRoll &&
        lf_metres(here, corner) >= kTiny_m &&
        std::abs(lf_wrapPi(gf_bearingRad(here, corner) - heading_rad)) > kTurnFirst_rad) {
        const LatLon end = lf_at(s[2]);
        const LatLon beyond = gf_destinationPoint(end, gf_bearingRad(corner, end), 1.0);
        // Laid about a meet farther off than the curve round the corner keeps to the ways, it
        // would leave them (from 70 degrees off the corner, 57 m).
        const auto meet = lf_meetOfWays(here, heading_rad, end, beyond);
        // Else, or where the curve about the meet would be tighter, it steers round toward
        // the curve's end (lf_steerControl). About a meet 2.3 m ahead, a C172 at 3 kt turned 39
        // degrees at 0.9 kt on a curve 0.8 m in radius.
        const std::optional<LatLon> steered =
            lf_steerControl(here, heading_rad, end, lf_steerRadius_m(aircraft));
        if (meet && lf_metres(*meet, corner) <= 2.0 * kOffWay_m &&
            !(steered &&
              lf_tightest_m(lf_curveThrough(here, *meet, end)) < lf_steerRadius_m(aircraft))) {
            corner = *meet;
        } else if (steered) {
            corner = *steered;
        }
    }
    lf_setCurve(aircraft, corner, lf_at(s[2]));
    s.erase(s.begin() + 1);
}

namespace {

// The corner lf_layCorner lays now, after sample p, and its curve; none where it lays none.
struct CornerPlan {
    std::size_t p = 0;
    bool split = false;  // the leg to it is to be split first where its curve leads in
    CornerCurve c;
};
std::optional<CornerPlan> lf_cornerToLay(const LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    const std::optional<CornerAhead> ahead = lf_cornerAhead(aircraft);
    if (!ahead) return std::nullopt;
    const std::size_t p = ahead->p;
    const LatLon here = lf_here(aircraft);
    CornerPlan plan{p, ahead->split,
                    lf_cornerCurve(aircraft, here, s, p, aircraft.position.heading_rad)};
    const CornerCurve& c = plan.c;
    // A corner further on whose curve begins beyond this leg is laid by a later leg; one whose
    // curve begins where the aircraft is, now: the next leg would begin it closer to its corner,
    // on a shorter way in (150 degrees at 10 kt, rounded 31 m from the corner where its chain was
    // to begin 55 m from it, went round at 4.8 kt). A long leg to a sharp corner is split
    // (lf_cornerShape) unless the curve begins where the aircraft is: split, the leg from where
    // the curve begins would halve its way in.
    if (p > 0 && (!c.facing || (c.lead && lf_metres(here, c.start) >
                                              lf_metres(here, lf_at(s[1])) + kLeadIn_m))) {
        return std::nullopt;
    }
    return plan;
}

}  // namespace

CornerLaid lf_layCorner(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    const std::optional<CornerPlan> plan = lf_cornerToLay(aircraft);
    if (!plan) return CornerLaid::none;
    const CornerCurve& c = plan->c;
    if (plan->split && c.lead) return CornerLaid::split;
    if (c.chain.empty()) {
        lf_layCurveSamples(s, plan->p, c);
        return c.lead ? CornerLaid::straightFirst : CornerLaid::curveNow;
    }
    // The chain's corners are laid as samples; its first curve is then laid as any other's.
    if (c.speed_kt > 0.0) {
        lf_takeCornerLead(aircraft,
                          std::llround(c.cut_m / kMetresPerNm * kTicksPerHour / c.speed_kt));
    }
    const LatLon here = lf_here(aircraft);
    const std::size_t first = lf_layChainSamples(s, plan->p, lf_cornerOf(here, s, plan->p), c);
    const CornerCurve one = lf_cornerCurve(aircraft, here, s, first, aircraft.position.heading_rad);
    lf_layCurveSamples(s, first, one);
    return one.lead ? CornerLaid::straightFirst : CornerLaid::curveNow;
}

bool lf_steerOntoLeg(LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    if (aircraft.phase != FlightPhase::taxi || aircraft.takeOff || aircraft.landingRoll ||
        s.size() != 2 || !(s[1].groundSpeed_kt > 0.0)) {
        return false;
    }
    const LatLon here = lf_here(aircraft);
    const LatLon end = lf_at(s[1]);
    const double heading_rad = aircraft.position.heading_rad;
    const double off_rad = std::abs(lf_wrapPi(gf_bearingRad(here, end) - heading_rad));
    // Beyond a right angle a curve from the heading swings out far past the way and back.
    if (!(off_rad > kTurnFirst_rad) || off_rad > kPi / 2.0) return false;
    const std::optional<LatLon> control =
        lf_steerControl(here, heading_rad, end, lf_steerRadius_m(aircraft));
    // Rolling too fast for it, it turns as fast as its speed lets it instead: a C172 at 13 kt
    // steered round 5 m went 0.36 g sideways.
    if (!control || lf_tightest_m(lf_curveThrough(here, *control, end)) <
                        lf_bendRadius_m(aircraft, aircraft.pace.now_kt)) {
        return false;
    }
    lf_setCurve(aircraft, *control, end);
    aircraft.curveAngle_deg = off_rad / kRadPerDeg;
    return true;
}

bool lf_cornerBeginsSooner(const LiveAc& aircraft)
{
    const std::optional<CornerPlan> plan = lf_cornerToLay(aircraft);
    if (!plan || plan->p == 0 || (plan->split && plan->c.lead)) return false;
    const LatLon here = lf_here(aircraft);
    const double begins_m = plan->c.lead ? lf_metres(here, plan->c.start) : 0.0;
    return begins_m + kLeadIn_m < lf_metres(here, lf_at(aircraft.samples[1]));
}

}  // namespace qel
