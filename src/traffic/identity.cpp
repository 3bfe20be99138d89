// Identity changes of live flights and the livery respawn.
//
// Threads: main-loop thread.
#include "traffic/traffic_internal.h"

namespace qel {

// Today every report of a known flight is merged unchanged.
bool lf_acceptReport(LiveAc& /*aircraft*/, const LiveAircraftRecord& /*record*/) { return true; }

}  // namespace qel
