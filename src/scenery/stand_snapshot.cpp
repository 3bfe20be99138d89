// The published snapshot of stand names and places.
#include "scenery/stand_snapshot.h"

#include <mutex>
#include <utility>

#include "scenery/scenery_run.h"
#include "scenery/stand_file.h"

namespace qel {

// Not std::atomic<shared_ptr>: this library's lock bit in its reference count is invisible to
// the thread sanitizer, which then reports every load beside a store.
std::mutex g_standSpotsMutex;

namespace {

// Swapped whole, so a reader holds either the old list or the new one, never a table that the
// main loop is clearing under it.
std::shared_ptr<const StandSpots>& g_standSpots = g_sceneryRun.standSpots.spots;

}  // namespace

void gf_publishStandSpots()
{
    auto spots = std::make_shared<StandSpots>();
    spots->reserve(g_parkStands.size());
    for (const ParkStand& stand : g_parkStands) {
        spots->push_back({stand.id, stand.latitude, stand.longitude});
    }
    std::shared_ptr<const StandSpots> old;
    {
        std::scoped_lock lock(g_standSpotsMutex);
        old = std::exchange(g_standSpots, std::move(spots));
    }
    // The old list, when this was its last holder, is freed outside the lock.
}

std::shared_ptr<const StandSpots> gf_standSpots()
{
    std::scoped_lock lock(g_standSpotsMutex);
    return g_standSpots;
}

}  // namespace qel
