// The air legs' offer to the other motion files (air_legs.cpp): the start of an air leg, its
// vertical step on each tick, and the take-off.
//
// Threads: main-loop thread.
#pragma once

#include "traffic/aircraft.h"

namespace qel {

void lf_startAirLeg(LiveAc& aircraft);
void lf_verticalStep(LiveAc& aircraft);
void lf_startTakeOff(LiveAc& aircraft);
void lf_beginTakeOffRoll(LiveAc& aircraft);

}  // namespace qel
