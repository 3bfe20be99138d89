// The report intake's offer to the push-back (air_motion.cpp): the reports it kept aside while
// the aircraft pushed back, taken once it sets off.
//
// Threads: main-loop thread.
#pragma once

#include <vector>

#include "traffic/aircraft.h"

namespace qel {

// Reports kept aside, taken in order as if they came now; each keeps the due tick it was
// reported for.
void lf_takeReports(LiveAc& aircraft, const std::vector<QueuedSample>& reports);

}  // namespace qel
