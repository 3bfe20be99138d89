// The aircraft containers and their indexes by hex id and object id. Every change of a
// container goes through the functions here, so that a merge, a creation report and a ground
// report find their record without a scan.
//
// Threads: main-loop thread only.
#include <algorithm>
#include <limits>
#include <stdexcept>
#include <unordered_set>

#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/traffic_run.h"

namespace qel {

std::vector<LiveAc>& g_liveAcs = g_trafficRun.liveAcs;
std::vector<StaticAc>& g_staticAcs = g_trafficRun.staticAcs;
std::vector<uint32_t>& g_spawnHexids = g_trafficRun.spawnHexids;
std::deque<AiCreateRequest>& g_liveCreateQueue = g_trafficRun.liveCreateQueue;
std::deque<AiCreateRequest>& g_staticCreateQueue = g_trafficRun.staticCreateQueue;
std::deque<uint32_t>& g_removeIdQueue = g_trafficRun.removeIdQueue;
std::vector<SimResult>& g_createdObjects = g_trafficRun.createdObjects;
std::vector<std::string>& g_ghostCallsigns = g_trafficRun.ghostCallsigns;
std::vector<ParkCandidate>& g_staticCandidates = g_trafficRun.staticCandidates;
std::vector<uint32_t>& g_standCheckQueue = g_trafficRun.standCheckQueue;
int32_t& g_activeLiveCount = g_trafficRun.activeLiveCount;
int32_t& g_addingLiveCount = g_trafficRun.addingLiveCount;
int32_t& g_bufferedLiveCount = g_trafficRun.bufferedLiveCount;
uint64_t& g_refusedPhaseMoves = g_trafficRun.refusedPhaseMoves;
const std::vector<int32_t>& g_liveWake = g_trafficRun.liveWake;
const std::vector<uint8_t>& g_liveAtStand = g_trafficRun.liveAtStand;

namespace {

std::unordered_map<uint32_t, uint32_t>& g_liveByHex = g_trafficRun.liveByHex;
std::unordered_map<uint32_t, uint32_t>& g_liveByObject = g_trafficRun.liveByObject;
std::vector<uint32_t>& g_liveSlots = g_trafficRun.liveSlots;
std::vector<uint32_t>& g_livePlaces = g_trafficRun.livePlaces;
std::vector<uint32_t>& g_freeLiveSlots = g_trafficRun.freeLiveSlots;
std::vector<int32_t>& g_liveWakeTicks = g_trafficRun.liveWake;
std::vector<uint8_t>& g_liveAtStandFlags = g_trafficRun.liveAtStand;
std::unordered_multimap<std::string, uint32_t>& g_liveByCallsign = g_trafficRun.liveByCallsign;
bool& g_liveDropRaised = g_trafficRun.liveDropRaised;
uint32_t& g_staticHexCounter = g_trafficRun.staticHexCounter;
std::unordered_set<std::string>& g_keptTitles = g_trafficRun.keptTitles;
bool& g_dropFlagRaised = g_trafficRun.dropFlagRaised;

std::size_t lf_indexOf(const LiveAc& aircraft)
{
    return static_cast<std::size_t>(&aircraft - g_liveAcs.data());
}

uint8_t lf_atStand(const LiveAc& aircraft)
{
    return aircraft.phase == FlightPhase::parking || aircraft.phase == FlightPhase::parked ? 1 : 0;
}

// The record at `place`, the last one indexed so far, gets a slot, and the indexes name it.
void lf_index(std::size_t place)
{
    uint32_t slot = 0;
    if (g_freeLiveSlots.empty()) {
        slot = static_cast<uint32_t>(g_livePlaces.size());
        g_livePlaces.push_back(0);
    } else {
        slot = g_freeLiveSlots.back();
        g_freeLiveSlots.pop_back();
    }
    g_livePlaces[slot] = static_cast<uint32_t>(place);
    g_liveSlots.push_back(slot);
    const LiveAc& aircraft = g_liveAcs[place];
    g_liveByHex[aircraft.hexId] = slot;
    if (aircraft.objectId != 0) g_liveByObject[aircraft.objectId] = slot;
}

// The record at `from` moved to `to`: its slot, wake tick and stand flag go with it.
void lf_moveIndexed(std::size_t from, std::size_t to)
{
    g_liveSlots[to] = g_liveSlots[from];
    g_livePlaces[g_liveSlots[to]] = static_cast<uint32_t>(to);
    g_liveWakeTicks[to] = g_liveWakeTicks[from];
    g_liveAtStandFlags[to] = g_liveAtStandFlags[from];
}

void lf_indexCallsign(const LiveAc& aircraft)
{
    g_liveByCallsign.emplace(aircraft.callsign, aircraft.hexId);
}

void lf_unindexCallsign(const LiveAc& aircraft)
{
    const auto [first, last] = g_liveByCallsign.equal_range(aircraft.callsign);
    for (auto it = first; it != last; ++it) {
        if (it->second == aircraft.hexId) {
            g_liveByCallsign.erase(it);
            return;
        }
    }
}

void lf_unindex(std::size_t place)
{
    const LiveAc& aircraft = g_liveAcs[place];
    lf_unindexCallsign(aircraft);
    g_liveByHex.erase(aircraft.hexId);
    if (aircraft.objectId != 0) g_liveByObject.erase(aircraft.objectId);
    g_freeLiveSlots.push_back(g_liveSlots[place]);
}

template <class Map>
LiveAc* lf_lookup(const Map& map, uint32_t key)
{
    const auto found = map.find(key);
    return found == map.end() ? nullptr : &g_liveAcs[g_livePlaces[found->second]];
}

bool lf_dropped(const StaticAc& aircraft) { return aircraft.drop || aircraft.dropWhileQueued; }

std::unordered_map<uint32_t, std::size_t>& g_staticByHex = g_trafficRun.staticByHex;
std::unordered_map<uint32_t, std::size_t>& g_staticByObject = g_trafficRun.staticByObject;

// Static records are appended and edited in place outside this file, so a place noted for a key
// is only a hint: the record there is checked, and a key it does not name is looked for by a
// walk, as before, which notes where it was found. Each activation of a created static looked
// its record up by a walk on every tick of its two seconds, each report of its object another.
StaticAc* lf_findStaticBy(std::unordered_map<uint32_t, std::size_t>& places, uint32_t key,
                          uint32_t StaticAc::*field)
{
    const auto place = places.find(key);
    if (place != places.end() && place->second < g_staticAcs.size() &&
        g_staticAcs[place->second].*field == key) {
        return &g_staticAcs[place->second];
    }
    const auto found = std::find_if(g_staticAcs.begin(), g_staticAcs.end(),
                                    [key, field](const StaticAc& s) { return s.*field == key; });
    if (found == g_staticAcs.end()) {
        if (place != places.end()) places.erase(place);
        return nullptr;
    }
    places[key] = static_cast<std::size_t>(found - g_staticAcs.begin());
    return &*found;
}

// The erased record's keys are forgotten, the one moved into its place is noted there.
void lf_notePlacesAfterErase(const StaticAc& erased, const StaticAc* moved, std::size_t place)
{
    g_staticByHex.erase(erased.hexId);
    if (erased.objectId != 0) g_staticByObject.erase(erased.objectId);
    if (!moved) return;
    g_staticByHex[moved->hexId] = place;
    if (moved->objectId != 0) g_staticByObject[moved->objectId] = place;
}

int32_t lf_wakeTick(const LiveAc& aircraft)
{
    switch (aircraft.state) {
    case SimObjectState::active: return std::numeric_limits<int32_t>::min();
    case SimObjectState::buffer: return lf_bufferedWakeTick(aircraft);
    default: return std::numeric_limits<int32_t>::max();
    }
}

// A record that goes while its creation is under way takes the creation with it: an object the
// simulator makes for it where the link cannot pair it would otherwise stay for good.
void lf_abandonCreationOf(const StaticAc& aircraft)
{
    if (aircraft.state == SimObjectState::adding2sim && aircraft.objectId == 0 &&
        aircraft.handedOverTick >= 0) {
        gf_abandonCreation(aircraft.hexId);
    }
}

// The live counts follow a record that enters (+1) or leaves (-1) its state.
void lf_count(SimObjectState state, int32_t step)
{
    if (state == SimObjectState::active) g_activeLiveCount += step;
    // A newly active aircraft is missing from the distances measured for this tick.
    if (state == SimObjectState::active && step > 0) g_trafficRun.activeByDistanceTick = -1;
    if (state == SimObjectState::adding2sim) g_addingLiveCount += step;
    if (state == SimObjectState::buffer) g_bufferedLiveCount += step;
}

// Whether the record is in the container, indexed: one not yet appended, or no longer there,
// has no wake tick or stand flag to keep.
bool lf_indexed(const LiveAc& aircraft)
{
    const std::size_t i = lf_indexOf(aircraft);
    return i < g_liveWakeTicks.size() && &g_liveAcs[i] == &aircraft;
}

void lf_setWake(const LiveAc& aircraft, int32_t tick)
{
    if (lf_indexed(aircraft)) g_liveWakeTicks[lf_indexOf(aircraft)] = tick;
}

}  // namespace

LiveAc* lf_findLive(uint32_t hexId) { return lf_lookup(g_liveByHex, hexId); }

LiveAc* lf_findLiveByObject(uint32_t objectId)
{
    return objectId == 0 ? nullptr : lf_lookup(g_liveByObject, objectId);
}

StaticAc* lf_findStatic(uint32_t hexId)
{
    return lf_findStaticBy(g_staticByHex, hexId, &StaticAc::hexId);
}

StaticAc* lf_findStaticByObject(uint32_t objectId)
{
    if (objectId == 0) return nullptr;
    return lf_findStaticBy(g_staticByObject, objectId, &StaticAc::objectId);
}

LiveAc* lf_findLiveByCallsign(const std::string& callsign,
                              const std::function<bool(const LiveAc&)>& accept)
{
    LiveAc* first = nullptr;
    const auto [from, to] = g_liveByCallsign.equal_range(callsign);
    for (auto it = from; it != to; ++it) {
        // An entry left behind by a record edited in place names a record of another callsign.
        LiveAc* aircraft = lf_findLive(it->second);
        if (!aircraft || aircraft->callsign != callsign) continue;
        if ((!first || aircraft < first) && accept(*aircraft)) first = aircraft;
    }
    return first;
}

namespace {

// A flight still reported is held out again within a poll or two, which keeps its entry.
constexpr int32_t kHeldOutKept_ticks = 3000;

bool lf_stillHeldOut(const HeldOutFlight& flight) { return g_fastTicks <= flight.untilTick; }

void lf_unindexHeldOut(uint32_t hexId, const std::string& callsign)
{
    auto& index = g_trafficRun.heldOutByCallsign;
    const auto [from, to] = index.equal_range(callsign);
    for (auto it = from; it != to; ++it) {
        if (it->second == hexId) {
            index.erase(it);
            return;
        }
    }
}

// The entries long past go a few at a time, oldest first: a walk over all of them in one tick
// cost a millisecond in a full sky.
void lf_eraseLongPastHeldOut()
{
    auto& order = g_trafficRun.heldOutOrder;
    const int64_t now = g_fastTicks;
    while (!order.empty() && now - order.front().second > kHeldOutKept_ticks) {
        const auto [hexId, untilTick] = order.front();
        order.pop_front();
        // Held out again since, the flight has a later place in the order.
        const auto found = g_trafficRun.heldOut.find(hexId);
        if (found == g_trafficRun.heldOut.end() || found->second.untilTick != untilTick) continue;
        lf_unindexHeldOut(hexId, found->second.callsign);
        g_trafficRun.heldOut.erase(found);
    }
}

// Whether a flight is held out under this callsign that `accept` (hex id, flight) takes.
template <class Accept>
bool lf_anyHeldOut(const std::string& callsign, const Accept& accept)
{
    const auto [from, to] = g_trafficRun.heldOutByCallsign.equal_range(callsign);
    for (auto it = from; it != to; ++it) {
        const auto found = g_trafficRun.heldOut.find(it->second);
        if (found == g_trafficRun.heldOut.end() || !lf_stillHeldOut(found->second)) continue;
        if (accept(it->second, found->second)) return true;
    }
    return false;
}

}  // namespace

void lf_holdOut(const LiveAircraftRecord& record, int32_t untilTick)
{
    lf_eraseLongPastHeldOut();
    auto [it, added] = g_trafficRun.heldOut.try_emplace(record.hexId);
    HeldOutFlight& flight = it->second;
    if (added || flight.callsign != record.callsign) {
        if (!added) lf_unindexHeldOut(record.hexId, flight.callsign);
        g_trafficRun.heldOutByCallsign.emplace(record.callsign, record.hexId);
        flight.callsign = record.callsign;
    }
    flight.model = record.key.model;
    flight.untilTick = untilTick;
    g_trafficRun.heldOutOrder.emplace_back(record.hexId, untilTick);
}

bool lf_heldOutHex(uint32_t hexId)
{
    const auto found = g_trafficRun.heldOut.find(hexId);
    return found != g_trafficRun.heldOut.end() && lf_stillHeldOut(found->second);
}

bool lf_heldOut(const std::string& callsign)
{
    return lf_anyHeldOut(callsign, [](uint32_t, const HeldOutFlight&) { return true; });
}

bool lf_heldOutElsewhere(const LiveAircraftRecord& record)
{
    return lf_anyHeldOut(record.callsign, [&record](uint32_t hexId, const HeldOutFlight& flight) {
        return hexId != record.hexId && flight.model == record.key.model;
    });
}

bool lf_forgetHeldOut(const std::string& callsign)
{
    const bool held = lf_heldOut(callsign);
    auto& index = g_trafficRun.heldOutByCallsign;
    const auto [from, to] = index.equal_range(callsign);
    for (auto it = from; it != to; ++it) g_trafficRun.heldOut.erase(it->second);
    index.erase(callsign);
    return held;
}

void lf_setLiveCallsign(LiveAc& aircraft, const std::string& callsign)
{
    if (aircraft.callsign == callsign) return;
    lf_unindexCallsign(aircraft);
    aircraft.callsign = callsign;
    lf_indexCallsign(aircraft);
}

LiveAc& lf_appendLive(LiveAc&& aircraft)
{
    g_liveAcs.push_back(std::move(aircraft));
    g_liveWakeTicks.push_back(lf_wakeTick(g_liveAcs.back()));
    g_liveAtStandFlags.push_back(lf_atStand(g_liveAcs.back()));
    lf_indexCallsign(g_liveAcs.back());
    lf_index(g_liveAcs.size() - 1);
    lf_count(g_liveAcs.back().state, 1);
    return g_liveAcs.back();
}

void lf_setLiveObjectId(LiveAc& aircraft, uint32_t objectId)
{
    if (aircraft.objectId != 0) g_liveByObject.erase(aircraft.objectId);
    aircraft.objectId = objectId;
    if (objectId != 0) g_liveByObject[objectId] = g_liveSlots[lf_indexOf(aircraft)];
}

void lf_setStaticObjectId(StaticAc& aircraft, uint32_t objectId)
{
    if (aircraft.objectId != 0) g_staticByObject.erase(aircraft.objectId);
    aircraft.objectId = objectId;
    if (objectId != 0) {
        g_staticByObject[objectId] = static_cast<std::size_t>(&aircraft - g_staticAcs.data());
    }
}

void lf_setLiveState(LiveAc& aircraft, SimObjectState state)
{
    lf_count(aircraft.state, -1);
    aircraft.state = state;
    lf_count(state, 1);
    // Back in the buffer its samples may still change before the caller is done: it is visited
    // on the next tick, which takes its wait from them then.
    lf_setWake(aircraft, state == SimObjectState::buffer ? std::numeric_limits<int32_t>::min()
                                                         : lf_wakeTick(aircraft));
    // A respawn's new request starts its own wait for an answer.
    if (state == SimObjectState::adding2sim) aircraft.handedOverTick = -1;
}

void lf_eraseLiveAc(LiveAc& aircraft)
{
    const std::size_t i = lf_indexOf(aircraft);
    lf_abandonCreationOf(aircraft);
    lf_count(aircraft.state, -1);
    lf_unindex(i);
    if (i + 1 != g_liveAcs.size()) {
        aircraft = std::move(g_liveAcs.back());
        lf_moveIndexed(g_liveAcs.size() - 1, i);
    }
    g_liveAcs.pop_back();
    g_liveWakeTicks.pop_back();
    g_liveAtStandFlags.pop_back();
    g_liveSlots.pop_back();
}

void lf_eraseStaticAc(StaticAc& aircraft)
{
    lf_abandonCreationOf(aircraft);
    const bool last = &aircraft == &g_staticAcs.back();
    lf_notePlacesAfterErase(aircraft, last ? nullptr : &g_staticAcs.back(),
                            static_cast<std::size_t>(&aircraft - g_staticAcs.data()));
    if (!last) aircraft = std::move(g_staticAcs.back());
    g_staticAcs.pop_back();
}

void lf_compactLiveAcs()
{
    g_liveDropRaised = false;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < g_liveAcs.size(); ++i) {
        LiveAc& aircraft = g_liveAcs[i];
        if (lf_dropped(aircraft)) {
            lf_abandonCreationOf(aircraft);
            lf_count(aircraft.state, -1);
            lf_unindex(i);
            continue;
        }
        if (kept != i) {
            g_liveAcs[kept] = std::move(aircraft);
            lf_moveIndexed(i, kept);
        }
        ++kept;
    }
    g_liveAcs.erase(g_liveAcs.begin() + static_cast<std::ptrdiff_t>(kept), g_liveAcs.end());
    g_liveWakeTicks.resize(kept);
    g_liveAtStandFlags.resize(kept);
    g_liveSlots.resize(kept);
}

void lf_noteDropFlag()
{
    g_dropFlagRaised = true;
    g_liveDropRaised = true;
}

bool lf_liveDropRaised() { return g_liveDropRaised; }

void lf_refreshWake(const LiveAc& aircraft) { lf_setWake(aircraft, lf_wakeTick(aircraft)); }

void lf_notePhase(const LiveAc& aircraft)
{
    // A record not yet appended takes its flag when it is.
    if (lf_indexed(aircraft)) g_liveAtStandFlags[lf_indexOf(aircraft)] = lf_atStand(aircraft);
}

void lf_compactStaticAcs()
{
    // A static record is erased only for a raised flag: without one there is none to find.
    if (!g_dropFlagRaised) return;
    g_dropFlagRaised = false;
    const auto erased = std::erase_if(g_staticAcs, [](const StaticAc& aircraft) {
        if (!lf_dropped(aircraft)) return false;
        lf_abandonCreationOf(aircraft);
        return true;
    });
    // The records after an erased one moved: their places are found again as they are needed.
    if (erased != 0) {
        g_staticByHex.clear();
        g_staticByObject.clear();
    }
}

void lf_reindexTraffic()
{
    g_liveByHex.clear();
    g_liveByObject.clear();
    g_liveSlots.clear();
    g_livePlaces.clear();
    g_freeLiveSlots.clear();
    g_liveByCallsign.clear();
    g_activeLiveCount = 0;
    g_addingLiveCount = 0;
    g_bufferedLiveCount = 0;
    g_liveWakeTicks.clear();
    g_liveAtStandFlags.clear();
    // A record edited in place may carry a drop flag that no one noted.
    g_liveDropRaised = true;
    for (std::size_t i = 0; i < g_liveAcs.size(); ++i) {
        g_liveWakeTicks.push_back(lf_wakeTick(g_liveAcs[i]));
        g_liveAtStandFlags.push_back(lf_atStand(g_liveAcs[i]));
        lf_indexCallsign(g_liveAcs[i]);
        lf_index(i);
        lf_count(g_liveAcs[i].state, 1);
    }
}

std::string_view gf_keepTitle(std::string title)
{
    return *g_keptTitles.insert(std::move(title)).first;
}

uint32_t gf_nextStaticHexId()
{
    // Ids wrap in 1..9999; 0 means none, and an id still in use would pair a creation with
    // the wrong aircraft.
    for (uint32_t tries = 0; tries < kLiveHexIdFloor - 1; ++tries) {
        g_staticHexCounter = g_staticHexCounter % (kLiveHexIdFloor - 1) + 1;
        if (!lf_findStatic(g_staticHexCounter)) return g_staticHexCounter;
    }
    throw std::length_error("gf_nextStaticHexId: every static hex id is in use");
}

}  // namespace qel
