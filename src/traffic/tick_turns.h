// The turn a live aircraft takes in one tick: toward a course, on the spot or as it rolls, and
// whether a turn outlasts the leg in progress so that it is finished on the spot first.
//
// Threads: main-loop thread.
#pragma once

#include "traffic/aircraft.h"

namespace qel {

// One tick's turn toward `target_rad` by `step_rad`.
void lf_turnTowardDeg(LiveAc& aircraft, double target_rad, double step_rad);
// The rate of a turn on the spot (radians a tick).
double lf_spotTurnRate(const LiveAc& aircraft);
// Whether a turn toward `course_rad` outlasts the leg at the rate it may close it as it rolls.
bool lf_turnOutlastsLeg(const LiveAc& aircraft, double course_rad);
// This tick's step of a small turn toward `course_rad` closed as the aircraft rolls.
double lf_rollingTurnStep(const LiveAc& aircraft, double course_rad);
// A tick spent turning on the spot: the leg waits for it.
void lf_holdForTurn(LiveAc& aircraft);

}  // namespace qel
