// The sample stream's offer to the other motion files (sample_stream.cpp): the start of a leg,
// its speed, the turn ahead, and whether it begins with a turn on the spot.
//
// Threads: main-loop thread.
#pragma once

#include <cstdint>
#include <numbers>

#include "traffic/aircraft.h"

namespace qel {

// On the ground an aircraft faces where it goes (tail first when pushed back): farther off its
// path than this it turns on the spot before it moves on, instead of sliding sideways.
inline constexpr double kTurnFirst_rad = 20.0 * std::numbers::pi / 180.0;
// A big turn on the spot goes at up to this many times the ground turn rate; moving, the heading
// never turns faster.
inline constexpr double kSpotTurnFactor = 3.0;

void lf_startLeg(LiveAc& aircraft);
// A dead-reckoned sample copied from the front; `count` of them are still to come.
void lf_addSyntheticSample(LiveAc& aircraft, int32_t count);
double lf_legSpeed(const LiveAc& aircraft);
// Radians from the heading to the bearing of the leg after the next; 0 without one.
double lf_turnAhead(const LiveAc& aircraft);
// Whether the leg just begun starts with a turn on the spot.
bool lf_startsWithTurn(const LiveAc& aircraft);

}  // namespace qel
