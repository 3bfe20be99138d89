// The push-back's own way as its reports show it: the stand's frame, the run of reports that
// are the push-back itself, and the way it follows through them.
//
// Threads: main-loop thread.
#include "traffic/push_way.h"

#include <algorithm>
#include <cmath>

#include "traffic/motion_math.h"

namespace qel {

namespace {

// A reported push-back turns by less than this from one step to the next: the tail swings
// smoothly, while where the push-back ends the aircraft stops and sets off nose first.
constexpr double kPushBend_rad = 60.0 * kRadPerDeg;
// Short of turning back on itself, a step may bend farther where the reports' tracks show the
// tail swinging round (lf_rolledAlong).
constexpr double kSwingStep_rad = 170.0 * kRadPerDeg;
// The push-back follows its reports through points no nearer each other than this: each is a
// leg of its own.
constexpr double kWayStep_m = 3.0;

}  // namespace

double lf_backFrom(const LiveAc& aircraft) { return lf_wrap2Pi(aircraft.standHeading_rad + kPi); }

StandFrame lf_standFrame(const LiveAc& aircraft, LatLon p)
{
    const LatLon stand{aircraft.standLat, aircraft.standLon};
    const double d_m = gf_distanceNm(stand, p) * kMetresPerNm;
    const double x = gf_bearingRad(stand, p) - lf_backFrom(aircraft);
    return {d_m * std::cos(x), d_m * std::sin(x)};
}

LatLon lf_framePoint(const LiveAc& aircraft, StandFrame f)
{
    const double bearing = lf_wrap2Pi(lf_backFrom(aircraft) + std::atan2(f.aside_m, f.back_m));
    return gf_destinationPoint({aircraft.standLat, aircraft.standLon}, bearing,
                               std::hypot(f.back_m, f.aside_m) / kMetresPerFoot);
}

bool lf_rolledAlong(const QueuedSample& r, double step_rad)
{
    return r.groundSpeed_kt > 0.0 &&
           std::abs(lf_wrapPi(r.track_deg * kRadPerDeg - step_rad)) < kPi / 2;
}

PushRun lf_pushRun(const LiveAc& aircraft, const std::vector<QueuedSample>& reports)
{
    LatLon from{aircraft.standLat, aircraft.standLon};
    double course_rad = lf_backFrom(aircraft);
    const QueuedSample* last = nullptr;
    PushRun run;
    for (const QueuedSample& r : reports) {
        const LatLon at = lf_at(r);
        const bool moved = !(gf_distanceNm(from, at) * kMetresPerNm < kPushStep_m);
        // A report without its speed and track (both 0) that moved on is no stop.
        const bool moving = r.groundSpeed_kt > 0.0 || (moved && r.track_deg == 0.0);
        if (!moved) {
            // A stop just beyond the report before is where the push-back ended.
            ++run.count;
            run.ended = !moving;
            if (run.ended) return run;
            continue;
        }
        // The tail may swing round farther between two reports than kPushBend_rad, round the few
        // metres a light aircraft's half wingspan gives it, where both say they rolled that way.
        const double step_rad = gf_bearingRad(from, at);
        // One that says it rolls back against the step that brought it there has stopped and
        // set off nose first: taken for the tail swinging on, a push-back whose last step was a
        // metre long went on tail first along its taxi at the push-back's speed.
        if (r.groundSpeed_kt > 0.0 && !lf_rolledAlong(r, step_rad)) {
            run.ended = true;
            return run;
        }
        const double bend_rad = std::abs(lf_wrapPi(step_rad - course_rad));
        const bool swings = last && bend_rad < kSwingStep_rad && lf_rolledAlong(*last, step_rad) &&
                            lf_rolledAlong(r, step_rad);
        if (!(bend_rad < kPushBend_rad) && !swings) {
            run.ended = true;
            return run;
        }
        from = at;
        course_rad = step_rad;
        last = &r;
        ++run.count;
        if (!moving) {
            run.ended = true;
            return run;
        }
    }
    return run;
}

std::optional<LatLon> lf_reportedPushEnd(const LiveAc& aircraft)
{
    const auto& reports = aircraft.pushReports;
    const PushRun run = lf_pushRun(aircraft, reports);
    if (run.count == 0 || !run.ended) return std::nullopt;
    return lf_at(reports[run.count - 1]);
}

double lf_apart_m(StandFrame a, StandFrame b)
{
    return std::hypot(b.back_m - a.back_m, b.aside_m - a.aside_m);
}

std::vector<WayPoint> lf_pushWay(const LiveAc& aircraft, std::size_t count)
{
    std::vector<WayPoint> way{{{0.0, 0.0}, 0.0}};
    const auto onAxis = [&](std::size_t i) {
        return i >= count ||
               std::abs(lf_standFrame(aircraft, lf_at(aircraft.pushReports[i])).aside_m) <
                   kPushAside_m;
    };
    bool offAxis = false;
    for (std::size_t i = 0; i < count; ++i) {
        const QueuedSample& r = aircraft.pushReports[i];
        WayPoint p{lf_standFrame(aircraft, lf_at(r)), r.groundSpeed_kt};
        // The last before the tail leaves the axis is where it leaves it.
        offAxis = offAxis || !onAxis(i) || !onAxis(i + 1);
        if (!offAxis) p.at.aside_m = 0.0;
        if (lf_apart_m(way.back().at, p.at) < kWayStep_m) {
            if (i + 1 == count && way.size() > 1) way.back() = p;
            continue;
        }
        way.push_back(p);
    }
    // The last report's track says which way the tail went as it came to its end, where the
    // chord from the point before cuts the swing short: the way ends along it.
    const QueuedSample& last = aircraft.pushReports[count - 1];
    if (way.size() > 2 && last.groundSpeed_kt > 0.0) {
        const StandFrame end = way.back().at, before = way[way.size() - 2].at;
        const double x = last.track_deg * kRadPerDeg - lf_backFrom(aircraft);
        const double in_m = lf_apart_m(before, end) / 2;
        const StandFrame along{end.back_m - in_m * std::cos(x), end.aside_m - in_m * std::sin(x)};
        const double step_rad =
            std::atan2(end.aside_m - before.aside_m, end.back_m - before.back_m);
        if (std::cos(x - step_rad) > 0.0) way.insert(way.end() - 1, {along, way.back().speed_kt});
    }
    // A point on a straight stretch adds nothing but a leg.
    for (std::size_t k = way.size() - 1; k-- > 1;) {
        const StandFrame a = way[k - 1].at, b = way[k].at, c = way[k + 1].at;
        const double bend = (b.back_m - a.back_m) * (c.aside_m - b.aside_m) -
                            (b.aside_m - a.aside_m) * (c.back_m - b.back_m);
        if (std::abs(bend) < 1e-9) way.erase(way.begin() + static_cast<std::ptrdiff_t>(k));
    }
    return way;
}

std::vector<WayPoint> lf_wayAhead(const std::vector<WayPoint>& way, StandFrame here)
{
    std::size_t next = way.size();
    double nearest_m = HUGE_VAL;
    for (std::size_t k = 0; k + 1 < way.size(); ++k) {
        const StandFrame a = way[k].at, b = way[k + 1].at;
        const double dx = b.back_m - a.back_m, dy = b.aside_m - a.aside_m;
        const double length2 = dx * dx + dy * dy;
        const double f =
            length2 > 0.0
                ? ((here.back_m - a.back_m) * dx + (here.aside_m - a.aside_m) * dy) / length2
                : 1.0;
        const double g = std::clamp(f, 0.0, 1.0);
        const double off_m = lf_apart_m(here, {a.back_m + g * dx, a.aside_m + g * dy});
        if (off_m <= nearest_m) {
            nearest_m = off_m;
            next = f < 1.0 ? k + 1 : k + 2;
        }
    }
    return {way.begin() + static_cast<std::ptrdiff_t>(std::min(next, way.size())), way.end()};
}

}  // namespace qel
