// The scenery library's state of one run: the park airport's stand table and what came with
// its stand file, the snapshot of its stands for other threads, and the stands of other
// airports kept for the closest-airport rule. Reset by assigning a fresh SceneryRun; the g_
// names of the files are references to its members. The airport database, the add-on
// archives, the scan's report and the hooks are the process's and stay apart.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "foundation/run_values.h"
#include "scenery/closest_airport.h"
#include "scenery/park_loading.h"
#include "scenery/stand_file.h"
#include "scenery/stand_snapshot.h"

namespace qel {

// The published stand snapshot; never null. Snapshots compare by their stands, so a fresh one
// equals any other empty one.
struct PublishedStandSpots {
    std::shared_ptr<const StandSpots> spots = std::make_shared<const StandSpots>();
    bool operator==(const PublishedStandSpots& other) const { return *spots == *other.spots; }
};

struct SceneryRun {
    // The park airport; main-loop thread, no lock, unless marked atomic.
    std::vector<ParkStand> parkStands;
    ParkAirportInfo parkAirportInfo;
    RunAtomic<bool> parkApfHandmade{false};  // the window reads it
    uint64_t qualityFactors = 0;             // Qf_real low, Qf_soft high 32 bits
    RunAtomic<int32_t> rtTrafficWeek{0};     // "RT_traffic_week"
    std::optional<double> parkElevation;     // feet
    SavedParkSettings savedParkSettings;
    ParkFileRead parkFileRead;
    PublishedStandSpots standSpots;       // g_standSpotsMutex
    std::deque<CachedStands> standCache;  // g_standCacheMutex; the most recently used last
    bool operator==(const SceneryRun&) const = default;
};

extern SceneryRun g_sceneryRun;
// Guards the snapshot's pointer, held only to copy or swap it; a leaf lock.
extern std::mutex g_standSpotsMutex;
// Guards the cache of other airports' stands; taken alone, no I/O under it.
extern std::mutex g_standCacheMutex;

}  // namespace qel
