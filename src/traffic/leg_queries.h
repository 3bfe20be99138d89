// The leg queries (leg_queries.cpp): what the motion files ask of the leg in progress or about to
// begin, its speed, the turn ahead and the turn on the spot before it, answered from the aircraft
// alone.
//
// Threads: main-loop thread.
#pragma once

#include <numbers>

#include "traffic/aircraft.h"
#include "traffic/curve_geometry.h"

namespace qel {

// On the ground an aircraft faces where it goes (tail first when pushed back): farther off its
// path than this it turns on the spot before it moves on, instead of sliding sideways.
inline constexpr double kTurnFirst_rad = 20.0 * std::numbers::pi / 180.0;

// Into [0, 2π); a hair below 2π becomes 0.
double lf_tickHeading(double angle);
// Whether the aircraft is to finish turning toward `course_rad` before it moves on.
bool lf_turnsFirst(const LiveAc& aircraft, double course_rad);
// The way the aircraft faces at a point of its taxi curve: against the tangent when pushed back.
double lf_curveCourse(const LiveAc& aircraft, const CurvePoint& point);
double lf_legSpeed(const LiveAc& aircraft);
// Radians from the heading to the bearing of the leg after the next; 0 without one.
double lf_turnAhead(const LiveAc& aircraft);
// Whether the leg just begun starts with a turn on the spot.
bool lf_startsWithTurn(const LiveAc& aircraft);

}  // namespace qel
