// The stands of the park airport as the traffic manager holds them: which aircraft holds a
// stand, the choice of a free stand for a spawning or arriving live aircraft, and what a stand
// learns of the flights that park on it. What it offers the other rooms: taking, releasing and
// leaving a stand, the stand table by id and name, and the learned options of a stand.
//
// Threads: main-loop thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/geodesy.h"
#include "foundation/match_key.h"
#include "scenery/stand_file.h"
#include "traffic/aircraft.h"

namespace qel {

// The aircraft gives up the stand; a stand that another aircraft holds stays held.
void lf_releaseStand(uint32_t standId, uint32_t hexId);
// The aircraft has driven off its stand: released, and its stand forgotten.
void lf_leaveStand(LiveAc& aircraft);
// Stand choice (stand_choice.cpp).
struct SpawnStand {
    uint32_t id = 0;
    double lat = 0.0;  // degrees
    double lon = 0.0;  // degrees
    double heading_rad = 0.0;
    bool noCabinLights = false;
    std::vector<uint32_t> neighbours;
};
// The nearest free stand within `radius_nm` that fits; with `fallback`, a stand within 85 m
// that learned this flight. Stands held by another aircraft are skipped.
std::optional<SpawnStand> lf_findFreeStand(LatLon position, const LiveAc& aircraft,
                                           double radius_nm, bool fallback);
void try2Park(LiveAc& aircraft, bool towed);
// `mode` 0 arrival, 1 parked spawn, 2 leaving, 3 reported far from the stand.
void lf_addRealStandOption(uint32_t standId, LiveAc& aircraft, int mode);
bool lf_learnParking(uint32_t day, uint32_t slot, ParkStand& stand, uint32_t& optionId,
                     uint32_t& d0, uint32_t& s0, const LiveAc& aircraft, const std::string& reg);
bool lf_adjacentStandFree(uint32_t neighbourId, const LiveAc& aircraft, uint32_t standId);
void lf_staticMakesWay(const LiveAc& aircraft, uint32_t standId);
void lf_findLearnedStandOption(uint32_t day, uint32_t slot, LiveAc& aircraft);
ParkStand* lf_standById(uint32_t standId);
// A freighter parked with its cabin lights on clears its stand's cargo mark, a learned change.
void lf_relearnStandCargo(LiveAc& aircraft);
// What the traffic manager keeps of a stand of the park airport, beside the stand table that
// scenery loads and keeps: one per stand of g_parkStands, in its order.
struct StandUse {
    uint32_t occupantHexId = 0;  // the aircraft holding it, 0 = free: 4954486
    bool reserved = false;       // named by the reserved-stand list
    bool taken = false;          // an aircraft is planned or parked here
    bool blocked = false;        // an overlapping stand is in use
    bool occupied() const { return occupantHexId != 0; }
    bool operator==(const StandUse&) const = default;
};
// The use of a stand of g_parkStands, free and unmarked until the traffic manager marks it;
// throws std::out_of_range for a stand that is not of the table.
StandUse& lf_standUse(const ParkStand& stand);
// Every stand free and unmarked again, as the stand table is loaded anew or emptied.
void lf_forgetStandUses();
// The stand is held by this aircraft (occupied, occupant hex id set).
void lf_takeStand(uint32_t standId, uint32_t hexId);
// Changes made to the park airport's stands since its learned file was read or saved.
extern int32_t& g_learnedUpdates;
extern int32_t& g_learnedOptionCount;
// One more change to the stands: counted, and the window repaints when its shown count changes.
void lf_countLearnedUpdate();
// The window repaints when a learned count differs from the one it last showed.
void lf_showLearnedCounts();
// Learned options of a stand (learned_options.cpp).
std::vector<uint32_t> gf_slotsBack(uint32_t slot, uint32_t count);
bool updateOptions(std::vector<LearnedFlight>& options, std::vector<uint32_t>& slots, uint32_t id);
bool updateOptionsWrapped(std::vector<LearnedFlight>& options, std::vector<uint32_t>& slots,
                          uint32_t firstId, uint32_t secondId);
std::pair<uint32_t, bool> gf_addLearnedFlight(std::vector<LearnedFlight>& options, MatchKey key,
                                              uint32_t weekday, uint32_t slot,
                                              const std::string& callsign,
                                              const std::string& registration, uint8_t soft);
void gf_addLearnedCallsign(std::vector<LearnedFlight>& options, uint32_t id,
                           const std::string& callsign);
// The stand table as the traffic manager reads it.
std::optional<std::string> lf_standName(uint32_t standId);
uint32_t lf_standIdByName(const std::string& name);

}  // namespace qel
