// The ground legs' offer to the other motion files (ground_motion.cpp): the start of a ground
// leg and its configuration on each tick.
//
// Threads: main-loop thread.
#pragma once

#include "traffic/aircraft.h"

namespace qel {

void nextPosGround(LiveAc& aircraft);
void lf_groundConfig(LiveAc& aircraft);

}  // namespace qel
