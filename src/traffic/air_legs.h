// The air legs' offer to the other motion files (air_legs.cpp): the start of an air leg and its
// pace, its vertical step on each tick, and the take-off.
//
// Threads: main-loop thread.
#pragma once

#include <cstdint>

#include "traffic/aircraft.h"

namespace qel {

void lf_startAirLeg(LiveAc& aircraft);
// The pace of an air leg of `length` (kt·ticks) laid to take n ticks: from the speed it enters
// at, it goes to the leg's own at a bounded rate (a helicopter slowing into a hover evenly to the
// speed reported at the leg's end), and sample 1 falls due when it has covered it.
void lf_paceAirLeg(LiveAc& aircraft, double length, int32_t n);
void lf_verticalStep(LiveAc& aircraft);
void lf_startTakeOff(LiveAc& aircraft);
void lf_beginTakeOffRoll(LiveAc& aircraft);
// Taking off, its wheels are still on the runway or barely off it: it rotates, or climbs the
// first second at a tenth of its rate.
bool lf_onTheRunway(const LiveAc& aircraft);

}  // namespace qel
