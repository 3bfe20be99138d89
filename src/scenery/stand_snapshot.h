// The names and places of the park airport's stands for threads other than the main loop. The
// stand table itself belongs to the main-loop thread and is reloaded and cleared there; the
// "SimClient" and reader threads ask which stand lies nearest a position, so each load and clear
// publishes an immutable copy; a reader holds its copy without any lock (the lock that guards
// the pointer is held only to copy or swap it).
//
// Threads: published on the main-loop thread; read on any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace qel {

struct StandSpot {
    std::string name;        // "A02"
    double latitude = 0.0;   // degrees: 51.2793
    double longitude = 0.0;  // degrees: 6.7635
    bool operator==(const StandSpot&) const = default;
};
using StandSpots = std::vector<StandSpot>;

// Copies the names and places of g_parkStands into a new snapshot and swaps it in.
// Main-loop thread, after every change of the table's stands.
void gf_publishStandSpots();
// The snapshot last published; never null (an empty list before the first load). Any thread.
std::shared_ptr<const StandSpots> gf_standSpots();

}  // namespace qel
