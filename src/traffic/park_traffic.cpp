// Park traffic: the limits of parked aircraft.
//
// Threads: main-loop thread.
#include "traffic/traffic_internal.h"

namespace qel {

// Today no limit applies to parked aircraft.
void lf_checkMaxPark(bool /*live*/) {}

}  // namespace qel
