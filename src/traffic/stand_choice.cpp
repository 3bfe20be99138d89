// Stand choice and parking of live aircraft, and the stand table as the traffic manager sees
// it.
//
// Threads: main-loop thread.
#include "traffic/traffic_internal.h"

namespace qel {

// Today there is no stand table: no stand is free.
std::optional<SpawnStand> lf_findFreeStand(LatLon /*position*/, const LiveAc& /*aircraft*/,
                                           double /*radius_nm*/, bool /*stationary*/)
{
    return std::nullopt;
}
// Today nothing is learned.
void lf_addRealStandOption(uint32_t /*standId*/, const LiveAc& /*aircraft*/, int /*kind*/) {}
// Today every neighbour stand counts as free.
bool lf_adjacentStandFree(uint32_t /*standId*/, const LiveAc& /*aircraft*/) { return true; }
// Today no static aircraft stands anywhere to make way.
void lf_staticMakesWay(uint32_t /*standId*/) {}
// Today there is no stand table: no stand has a name.
std::optional<std::string> lf_standName(uint32_t /*standId*/) { return std::nullopt; }
// Today there is no stand table: no name names a stand.
uint32_t lf_standIdByName(const std::string& /*name*/) { return 0; }
// Today there is no stand table to mark.
void lf_setStandOccupied(uint32_t /*standId*/, bool /*occupied*/) {}
// Today there is no stand table: no stand is near.
std::string gf_closestStandName(double /*latitude*/, double /*longitude*/) { return {}; }

}  // namespace qel
