// Push-back, pulling out and towing of live aircraft.
//
// Threads: main-loop thread.
#include "traffic/traffic_internal.h"

namespace qel {

// Today nothing is towed, so nothing arrives.
void lf_towedArrives(LiveAc& /*aircraft*/) {}
// Today no aircraft counts as ahead of the user.
bool lf_removeIfAheadOfUser(LiveAc& /*aircraft*/) { return false; }
// Today stands learn nothing about cargo.
void lf_relearnStandCargo(LiveAc& /*aircraft*/) {}

}  // namespace qel
