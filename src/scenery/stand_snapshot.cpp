// The published snapshot of stand names and places.
#include "scenery/stand_snapshot.h"

#include <atomic>

#include "scenery/stand_file.h"

namespace qel {

namespace {

// atomic: swapped whole, so a reader holds either the old list or the new one, never a table
// that the main loop is clearing under it.
std::atomic<std::shared_ptr<const StandSpots>> g_standSpots{std::make_shared<const StandSpots>()};

}  // namespace

void gf_publishStandSpots()
{
    auto spots = std::make_shared<StandSpots>();
    spots->reserve(g_parkStands.size());
    for (const ParkStand& stand : g_parkStands) {
        spots->push_back({stand.id, stand.latitude, stand.longitude});
    }
    g_standSpots.store(std::move(spots));
}

std::shared_ptr<const StandSpots> gf_standSpots() { return g_standSpots.load(); }

}  // namespace qel
