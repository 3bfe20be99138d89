// The leg queries: the speed of the leg to sample 1, the turn the leg after it makes, and
// whether the aircraft turns on the spot before it moves on. They read the aircraft alone, so
// that every motion file above may ask them.
//
// Threads: main-loop thread.
#include "traffic/leg_queries.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "foundation/geodesy.h"
#include "traffic/curve_geometry.h"
#include "traffic/schedule.h"

namespace qel {

double lf_tickHeading(double angle)
{
    const double wrapped = lf_wrap2Pi(angle);
    return wrapped > 6.283185307178586 ? 0.0 : wrapped;
}

bool lf_turnsFirst(const LiveAc& aircraft, double course_rad)
{
    return aircraft.onGround &&
           std::abs(lf_wrapPi(course_rad - aircraft.position.heading_rad)) > kTurnFirst_rad;
}

double lf_curveCourse(const LiveAc& aircraft, const CurvePoint& point)
{
    return aircraft.phase == FlightPhase::pushing_back
               ? lf_tickHeading(point.heading_rad + std::numbers::pi)
               : point.heading_rad;
}

bool lf_startsWithTurn(const LiveAc& aircraft)
{
    if (lf_curveActive(aircraft)) {
        const auto from = lf_curvePoint(aircraft, aircraft.curveParam);
        return from && lf_turnsFirst(aircraft, lf_curveCourse(aircraft, *from));
    }
    const FlightPhase phase = aircraft.phase;
    if (phase == FlightPhase::take_off || phase == FlightPhase::flying ||
        phase == FlightPhase::parked || phase == FlightPhase::birth) {
        return false;
    }
    return aircraft.turnOnSpot && lf_turnsFirst(aircraft, aircraft.targetBearing_rad);
}

double lf_legSpeed(const LiveAc& aircraft)
{
    const QueuedSample& a = aircraft.samples[0];
    const QueuedSample& b = aircraft.samples[1];
    if (a.groundSpeed_kt == 0.0 && b.groundSpeed_kt == 0.0) {
        const int64_t due = lf_reportedDue(b) - lf_reportedDue(a);
        const double dt = due >= 26 ? static_cast<double>(due) : 25.0;
        return std::max(gf_distanceNm(lf_at(a), lf_at(b)) * kTicksPerHour / dt, 1.0);
    }
    return (a.groundSpeed_kt + b.groundSpeed_kt) / 2.0;
}

double lf_turnAhead(const LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    // A sample that repeats the place of sample 1 (a hover, a stop) gives no way on: the bearing
    // to it is north, and a helicopter coming to its hover swung its nose round to north.
    if (s.size() < 3 || lf_samePlace(s[1], s[2])) return 0.0;
    double turn = gf_bearingRad(lf_at(s[1]), lf_at(s[2])) - aircraft.position.heading_rad;
    if (turn > std::numbers::pi) turn -= kTwoPi;
    if (turn < -std::numbers::pi) turn += kTwoPi;
    return turn;
}

}  // namespace qel
