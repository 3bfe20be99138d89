// The ground legs' offer to the other motion files (ground_motion.cpp): the start and timing of
// a ground leg, its configuration on each tick, and the sample that halves a leg.
//
// Threads: main-loop thread.
#pragma once

#include "traffic/aircraft.h"

namespace qel {

// The speed on the ground from which a take-off roll rotates (kt); no faster, a long leg to a
// sharp corner is split in two (lf_cornerShape).
inline constexpr double kTakeOffSpeed_kt = 43.0;

void nextPosGround(LiveAc& aircraft);
void lf_groundLegTiming(LiveAc& aircraft);
void lf_groundConfig(LiveAc& aircraft);
void lf_startTaxiCurve(LiveAc& aircraft);
// A sample halfway along the leg to sample 1.
void lf_insertMidSample(LiveAc& aircraft);

// The speed it drives onto and off a stand at.
inline double lf_standSpeed_kt(const LiveAc& a)
{
    return a.standTaxiSpeed_kt > 0.0 ? a.standTaxiSpeed_kt : 4.0;
}

}  // namespace qel
