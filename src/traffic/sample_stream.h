// The sample stream's offer to the other motion files (sample_stream.cpp): the start of a leg,
// and a dead-reckoned sample.
//
// Threads: main-loop thread.
#pragma once

#include <cstdint>

#include "traffic/aircraft.h"

namespace qel {

void lf_startLeg(LiveAc& aircraft);
// A dead-reckoned sample copied from the front; `count` of them are still to come.
void lf_addSyntheticSample(LiveAc& aircraft, int32_t count);

}  // namespace qel
