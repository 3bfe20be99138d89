// The parts of the traffic manager still to be built: parked traffic, learned stands.
#include "traffic/traffic_internal.h"

namespace qel {

// Today there is no parked traffic to re-plan.
void lf_updateParkTraffic(bool /*parkTrafficOnlyChanged*/) {}

// Today no sweep around the user aircraft removes anything.
void lf_removeNearUser() {}
void lf_clearPathAheadOfUser() {}

// Today no parked traffic is asked for: parking is busy until the stands are loaded.
void lf_requestParkedTraffic(bool /*showMessage*/) { lf_disableParkingControls(); }
// Today nothing is planned on the loaded stands.
void lf_planInitialParking() { lf_enableParkingControls(); }
// Today there is no parked-traffic state to forget.
void lf_clearParkedTrafficState() {}
// Today the parked aircraft are not counted.
uint64_t lf_countStaticParked(bool /*withAverage*/) { return 0; }
uint64_t lf_countLiveParked() { return 0; }

}  // namespace qel
