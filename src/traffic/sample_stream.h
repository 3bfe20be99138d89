// The sample stream's offer beside motion.h (sample_stream.cpp): a dead-reckoned sample, which
// the tests lay. The top floor of the motion files, it is called by none of them.
//
// Threads: main-loop thread.
#pragma once

#include <cstdint>

#include "traffic/aircraft.h"

namespace qel {

// A dead-reckoned sample copied from the front; `count` of them are still to come.
void lf_addSyntheticSample(LiveAc& aircraft, int32_t count);

}  // namespace qel
