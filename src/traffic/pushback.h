// Push-back, pulling out and towing (pushback.cpp), as the ground legs and the sample stream
// start them.
//
// Threads: main-loop thread.
#pragma once

#include "traffic/aircraft.h"

namespace qel {

void lf_startPullingOut(LiveAc& aircraft);
void lf_startPushBack(LiveAc& aircraft);
// The end of a drive onto a stand: parked there, or taxiing on when still short of it.
void lf_towedArrives(LiveAc& aircraft);

}  // namespace qel
