// The fleet: the aircraft containers of the traffic manager with their indexes by hex id and
// object id, the queues toward the simulator link, the live counts, the phase of a live record
// and the lists the window and the parked traffic read. What it offers the other rooms: every
// append, erase, compaction, state change and phase change of a record goes through here, so that
// the indexes and counts stay true and an impossible phase move is refused.
//
// Threads: main-loop thread; the first load is merged on the "Traffic Reader" thread before the
// main loop starts.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "realtraffic/realtraffic.h"
#include "scenery/scenery.h"
#include "simlink/simlink.h"
#include "traffic/aircraft.h"

namespace qel {

extern std::vector<LiveAc>& g_liveAcs;
extern std::vector<StaticAc>& g_staticAcs;
extern std::vector<uint32_t>& g_spawnHexids;  // spawned, waiting for a request
extern std::deque<AiCreateRequest>& g_liveCreateQueue;
extern std::deque<AiCreateRequest>& g_staticCreateQueue;
extern std::deque<uint32_t>& g_removeIdQueue;     // object ids, one handed on per 100 ms
extern std::vector<SimResult>& g_createdObjects;  // created, waiting for activation
extern std::vector<std::string>& g_ghostCallsigns;
extern std::vector<ParkCandidate>& g_staticCandidates;
extern std::vector<uint32_t>& g_standCheckQueue;  // hex ids for the stand choice
// Live aircraft in state active, in state adding2sim (queued, handed to the simulator link, or
// waiting for activation) and in state buffer (each of which will ask for a slot when its first
// report falls due), kept by every state change, so that the live limit does not count all
// records for every buffered one.
extern int32_t& g_activeLiveCount;
extern int32_t& g_addingLiveCount;
extern int32_t& g_bufferedLiveCount;

// Index of the live record with this hex id or object id; none when there is none. The indexes
// follow every append, erase and compaction made through the functions below.
LiveAc* lf_findLive(uint32_t hexId);
LiveAc* lf_findLiveByObject(uint32_t objectId);
StaticAc* lf_findStatic(uint32_t hexId);
StaticAc* lf_findStaticByObject(uint32_t objectId);
// The first live record, in the order of g_liveAcs, with this callsign that `accept` takes;
// none when there is none. Found through an index instead of a compare with every record.
LiveAc* lf_findLiveByCallsign(const std::string& callsign,
                              const std::function<bool(const LiveAc&)>& accept);
// A new flight for which no slot is free at the live limit is not built (intake.cpp). Until its
// first report would have fallen due and its record been dropped, the callsign checks find it
// as they would have found that record: the same flight under another hex id, a ghost's real
// twin, the ghost a real flight removes.
void lf_holdOut(const LiveAircraftRecord& record, int32_t untilTick);
// Whether a report of this hex id would have joined its flight's record still waiting.
bool lf_heldOutHex(uint32_t hexId);
bool lf_heldOut(const std::string& callsign);
// Whether the record's flight is held out under another hex id: its callsign and model.
bool lf_heldOutElsewhere(const LiveAircraftRecord& record);
// Forgets the flights held out under this callsign; true when there was one.
bool lf_forgetHeldOut(const std::string& callsign);
// Every change of a live record's callsign goes through here, for that index.
void lf_setLiveCallsign(LiveAc& aircraft, const std::string& callsign);
LiveAc& lf_appendLive(LiveAc&& aircraft);
// Records the object id the simulator gave (0 forgets it).
void lf_setLiveObjectId(LiveAc& aircraft, uint32_t objectId);
void lf_setStaticObjectId(StaticAc& aircraft, uint32_t objectId);
// Every state change of a live record goes through here, for the active count.
void lf_setLiveState(LiveAc& aircraft, SimObjectState state);
// What a phase change does with the phase it leaves.
enum class PhaseMemory : uint8_t {
    keep,      // previousPhase stays: a spawn's first phase
    always,    // previousPhase takes the phase left, also when it is the one entered
    onChange,  // previousPhase takes the phase left only when the phase changes
};
// Whether the traffic manager ever moves a record from `from` to `to` (staying is allowed).
bool gf_phaseMoveAllowed(FlightPhase from, FlightPhase to);
// Every change of a live record's phase goes through here (phases.cpp). A move that is not
// allowed is logged (once per move and run) and refused: false, the record unchanged.
bool lf_setLivePhase(LiveAc& aircraft, FlightPhase to, PhaseMemory memory);
// The refused moves logged this run, one bit per from × to.
extern uint64_t& g_refusedPhaseMoves;
// By place in g_liveAcs, the first fast tick at which updateLiveAc has anything to do for the
// record: a buffered newcomer's wait for its first sample costs the walk four bytes instead of a
// visit to the record; an active one is due every tick; one on its way into or out of the
// simulator never (its update does nothing). Kept by every append, erase, compaction and state
// change; lf_refreshWake after a change of a buffered record's samples.
extern const std::vector<int32_t>& g_liveWake;
void lf_refreshWake(const LiveAc& aircraft);
// By place in g_liveAcs, 1 for a record parking or parked: a static aircraft's stand check
// looks at those few instead of visiting every record. Kept by every append, erase, compaction
// and phase change (lf_notePhase).
extern const std::vector<uint8_t>& g_liveAtStand;
void lf_notePhase(const LiveAc& aircraft);
// Whether a drop flag was raised since the live records were last compacted: the walk does not
// visit every record to find them.
bool lf_liveDropRaised();
// The last record moves into the erased one's place.
void lf_eraseLiveAc(LiveAc& aircraft);
void lf_eraseStaticAc(StaticAc& aircraft);
// Erases the records with a drop flag, keeping the order of the others; the statics only when
// a drop flag was raised since they were last compacted.
void lf_compactLiveAcs();
void lf_compactStaticAcs();
// Rebuilds the indexes and the active count from the containers (tests, after direct edits).
void lf_reindexTraffic();
// A stable view of a livery title for the records, kept until the next reset.
std::string_view gf_keepTitle(std::string title);
// The next static hex id in 1..9999 that no static aircraft carries.
uint32_t gf_nextStaticHexId();

// Lists (lists.cpp). The live limit makes room for a newcomer `distance_nm` from the user only
// by removing an active live aircraft more than 0.1 nm farther out; a negative distance takes
// the farthest whatever its distance. The distances are measured once per tick, or taken as
// they were measured up to `measuredWithin_ticks` ago.
bool lf_farthestLiveLiesBeyond(double distance_nm, int32_t measuredWithin_ticks);
// True when it removed one.
bool lf_removeFarthestLiveAc(double distance_nm);
std::string gf_standNameById(uint32_t standId);
void lf_takeOverRtIds();

std::vector<std::string> gf_activeLiveCallsigns();
// The callsigns and hex ids of the live flights the Traffic Reader decoded, taken over with the
// parked traffic (lists.cpp).
extern std::unordered_set<std::string, Fnv1aHash>& g_rtCallsigns;
extern std::unordered_set<uint32_t, Fnv1aHash>& g_rtHexIds;

}  // namespace qel
