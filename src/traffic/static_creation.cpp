// Static aircraft creation from the planned candidates.
//
// Threads: main-loop thread.
#include "traffic/traffic_internal.h"

namespace qel {

// Today a candidate is taken and made into nothing.
void lf_detcs()
{
    if (!g_staticCandidates.empty()) g_staticCandidates.pop_back();
}

// Today candidates carry no stand, so none is removed.
void lf_dropCandidatesOfStand(uint32_t /*standId*/) {}

}  // namespace qel
