// The live road: a live flight from its first report to its removal. Intake merges reports,
// spawning chooses its livery, phase and place and hands the create request on, the fast tick
// pumps the queues, the simulator's results activate it, the per-tick update drives it and
// removal ends it; identity decides whether a report is the same aircraft. What it offers the
// other rooms: the steps the fast tick strings together, the create requests, the removal of an
// aircraft and the client events that set its lights, gear and engines.
//
// Threads: main-loop thread; the first load is merged on the "Traffic Reader" thread before the
// main loop starts.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "realtraffic/realtraffic.h"
#include "simlink/simlink.h"
#include "traffic/aircraft.h"

namespace qel {

// Fast tick (fast_tick.cpp).
void lf_pumpQueues();
void lf_requestAcWithinRange();
// Intake (intake.cpp).
void lf_mergeReport(StampedRecord& stamped);
void lf_mergeFirstLoad(std::vector<StampedRecord>& batch);
// Results and activation (sim_results.cpp).
void lf_activateCreatedObjects();
// Creations unanswered or refused (creation_answers.cpp). A flight whose creation was given up
// is held back until it has come well inside the pairing radius, when it lay beyond it then, or
// else until a pause that doubles with each give-up has passed.
void lf_noteGivenUpCreation(const LiveAc& aircraft);
bool lf_creationHeldBack(const LiveAc& aircraft);
void lf_forgetGivenUpCreation(uint32_t hexId);
void lf_forgetOldGiveUps();
// A full simulator gets one creation for each object seen leaving since it refused one, and
// beyond that one trial creation after a pause that doubles with each trial it refuses; the
// first it takes ends the full state.
bool lf_creationsPaused();
void lf_noteCreationHandedOver(uint32_t hexId);
// An object left the simulator.
void lf_noteRoomMade();
// A creation handed over took no room after all: refused for its livery, or taken back.
void lf_noteCreationTookNoRoom(uint32_t hexId);
void lf_noteCreationMade(uint32_t hexId);
void lf_onSimulatorFull(const SimResult& result);
// Spawning (spawning.cpp).
void lf_handleBufferedAc(LiveAc& aircraft);
// The first fast tick at which lf_handleBufferedAc does more than wait for the first sample; of
// a record whose first sample is `first`.
int32_t lf_bufferedWakeTick(const LiveAc& aircraft);
int32_t lf_wakeTickOf(const QueuedSample& first);
// Whether a newcomer whose first sample is `first` finds no slot: none is free at the live
// limit, once `waiting` slots are set aside for records that will ask for one before it, and no
// active aircraft lies far enough beyond it to make room. The distances of the active aircraft
// may have been measured up to `measuredWithin_ticks` ago.
bool lf_noSlotFor(const PosSample& first, int32_t measuredWithin_ticks, int32_t waiting);
void spawnLiveAc(LiveAc& aircraft);
void lf_setSpawnPosition(LiveAc& aircraft);
// The create request of a spawned aircraft, made as it goes to the simulator link: it appears
// where its schedule puts it then, a ground aircraft on the ground.
AiCreateRequest lf_liveCreateRequest(LiveAc& aircraft);
// Per-tick update (live_update.cpp): true when the record is to be compacted away.
bool updateLiveAc(LiveAc& aircraft);
// Removal (removal.cpp).
void removeAircraftFromSim(StaticAc& aircraft);
// A live aircraft taken out of the simulator while its reports may go on says why, in one plain
// log line, unless it is on its way out already or not yet there.
void lf_removeLiveFor(LiveAc& aircraft, std::string_view why);
// That line alone, for one the simulator took out by itself.
void lf_logLiveRemoval(const LiveAc& aircraft, std::string_view why);
bool lf_isQueuedForCreation(std::deque<AiCreateRequest>& queue, uint32_t hexId);
// Creation (fast_tick.cpp): the request to create `aircraft` at `at` (altitude, pitch, bank,
// heading, position; speeds unused).
AiCreateRequest lf_aiCreateRequest(const StaticAc& aircraft, const AiPositionBlock& at,
                                   bool onGround);
void lf_checkGhost(const std::string& callsign);
bool lf_hasRealTwin(const std::string& callsign);
bool lf_standFreeFor(uint32_t standId, const std::string& callsign);
// The first active static aircraft that stands in for this live flight is removed.
void lf_removeStaticsOfLiveAc(const LiveAc& live);
// Client events (client_events.cpp).
void gf_setSpoilers(StaticAc& aircraft, bool on);
void gf_setFlaps(StaticAc& aircraft, uint32_t index);
void gf_setGear(StaticAc& aircraft, bool down);
void gf_setThrottle(StaticAc& aircraft, uint32_t level);
void gf_setParkedConfig(StaticAc& aircraft);

// Whether a report for a known aircraft is merged (identity.cpp).
bool lf_acceptReport(LiveAc& aircraft, const LiveAircraftRecord& record);
void lf_copyIdentity(LiveAc& aircraft, const LiveAircraftRecord& report);
bool lf_routeUnchanged(LiveAc& aircraft, const LiveAircraftRecord& report);
// `reset`: the livery is reset when the identity changes (only when a respawn follows).
bool lf_registrationUnchanged(LiveAc& aircraft, const LiveAircraftRecord& report, bool reset);
bool lf_regcodeChanged(LiveAc& aircraft, const LiveAircraftRecord& report, bool reset);
FlightPhase lf_resetLivery(LiveAc& aircraft);
// Re-creates the aircraft in place, so that the simulator shows it with another livery.
void liveryRespawn(LiveAc& aircraft);

}  // namespace qel
