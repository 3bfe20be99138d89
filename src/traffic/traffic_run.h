// The traffic manager's state of one run: the live reports waiting for the intake, the fleet with
// its indexes and queues, the lists the parked traffic takes over, the park airport with its
// candidates, the planning of the parked traffic and the counts the window shows. Reset by
// assigning a fresh TrafficRun while no other thread runs (gf_resetTrafficRun); the g_ names of
// the files are references to its members.
// The window hooks, the source of the parked traffic, the locks (g_trafficMutex, the remembered
// stand's) and the once-per-process reservation of the containers are the process's and stay
// apart.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "foundation/geodesy.h"
#include "foundation/run_values.h"
#include "realtraffic/realtraffic.h"
#include "scenery/scenery.h"
#include "simlink/simlink.h"
#include "traffic/aircraft.h"
#include "traffic/park_airports.h"
#include "traffic/parked_plan.h"
#include "traffic/stands.h"
#include "traffic/traffic.h"

namespace qel {

// The parked traffic's flags that the window and the main loop raise and read (atomic).
struct ParkingFlags {
    RunAtomic<bool> parkRefreshDue{false};          // the countdown to the refresh ran out
    RunAtomic<bool> parkStandsLoaded{false};        // a stand file of the park airport is loaded
    RunAtomic<bool> parkingBusy{false};             // a parking rebuild is under way
    RunAtomic<int32_t> staticParkingCountdown{20};  // minutes to the next refresh
    RunAtomic<bool> parkTrafficOnlyChanged{false};  // RT_PARKTRAFFIC_ONLY, for the next re-plan
    bool operator==(const ParkingFlags&) const = default;
};

// A flight whose creation the simulator never answered within the wait.
struct GivenUpCreation {
    int32_t tick = 0;           // g_fastTicks at the last give-up
    int32_t count = 0;          // give-ups since its last creation: 2
    bool beyondRadius = false;  // it was not well inside the pairing radius then
    bool operator==(const GivenUpCreation&) const = default;
};

// Since the simulator refused a creation for want of room. Objects that are no aircraft, or
// that leave unseen, free room that no count shows; a trial creation now and then finds it.
struct FullSimulator {
    int32_t room = 0;         // creations it can take: objects removed since, less handed over
    int32_t pause_ticks = 0;  // between trials beyond that room: 1 min, doubling up to 8
    int32_t trialTick = 0;    // g_fastTicks from which the next trial may go
    std::optional<uint32_t> trialHexId;  // the hex id of the last trial handed over
    bool operator==(const FullSimulator&) const = default;
};

// A create request handed to the link. Requests go one at a time in tick order, so the sweep
// for unanswered ones need look only at the front of that order.
struct HandedOver {
    uint32_t hexId = 0;
    int32_t tick = 0;   // g_fastTicks of the hand-over: 51200
    bool live = false;  // a live record's, else a static one's
    bool operator==(const HandedOver&) const = default;
};

// A new flight not built because no slot was free for it at the live limit.
struct HeldOutFlight {
    std::string callsign;
    uint16_t model = 0;
    int32_t untilTick = 0;  // the tick its first report would have fallen due at
    bool operator==(const HeldOutFlight&) const = default;
};

struct TrafficRun {
    // The fleet (fleet.cpp, phases.cpp).
    std::vector<LiveAc> liveAcs;
    std::vector<StaticAc> staticAcs;
    std::vector<uint32_t> spawnHexids;
    std::deque<AiCreateRequest> liveCreateQueue;
    std::deque<AiCreateRequest> staticCreateQueue;
    std::deque<uint32_t> removeIdQueue;
    std::vector<SimResult> createdObjects;
    std::vector<std::string> ghostCallsigns;
    std::vector<ParkCandidate> staticCandidates;
    std::vector<uint32_t> standCheckQueue;
    int32_t activeLiveCount = 0;
    int32_t addingLiveCount = 0;
    int32_t bufferedLiveCount = 0;
    uint64_t refusedPhaseMoves = 0;
    // The active live aircraft as {distance from the user in nm, hex id}, a heap with the
    // farthest on top, and the fast tick they were measured in (-1: to be measured again).
    std::vector<std::pair<double, uint32_t>> activeByDistance;
    int64_t activeByDistanceTick = -1;
    // The indexes name a record by its slot, which it keeps while it moves; the slot names its
    // place in liveAcs. A compaction then moves a record's place in a plain array only.
    std::unordered_map<uint32_t, uint32_t> liveByHex;     // hex id → slot
    std::unordered_map<uint32_t, uint32_t> liveByObject;  // object id → slot
    std::vector<uint32_t> liveSlots;                      // by place in liveAcs: its slot
    std::vector<uint32_t> livePlaces;                     // by slot: the place in liveAcs
    std::vector<uint32_t> freeLiveSlots;
    std::vector<int32_t> liveWake;     // by place in liveAcs: the fast tick its update is due
    std::vector<uint8_t> liveAtStand;  // by place in liveAcs: 1 while parking or parked
    std::unordered_multimap<std::string, uint32_t> liveByCallsign;  // callsign → hex ids
    // Where a static record was last found, by hex id and by object id (fleet.cpp).
    std::unordered_map<uint32_t, std::size_t> staticByHex;
    std::unordered_map<uint32_t, std::size_t> staticByObject;
    uint32_t staticHexCounter = 0;               // last static hex id handed out
    std::unordered_set<std::string> keptTitles;  // nodes never move: views into them stay valid
    bool dropFlagRaised = false;                 // since the statics were last compacted
    bool liveDropRaised = false;                 // since the live records were last compacted
    // New flights held out at the live limit (fleet.cpp, intake.cpp).
    std::unordered_map<uint32_t, HeldOutFlight> heldOut;  // by hex id
    std::unordered_multimap<std::string, uint32_t> heldOutByCallsign;
    std::deque<std::pair<uint32_t, int32_t>> heldOutOrder;  // {hex id, until tick} as held out
    // The live road (poll_intake.cpp, fast_tick.cpp, sim_results.cpp).
    std::vector<StampedRecord> addingStack;  // g_trafficMutex
    bool inRangePending = false;  // a due request for the aircraft in range was not sent yet
    // The steady clock's time up to which the fast ticks have run; none before the first.
    std::optional<std::chrono::steady_clock::time_point> ticksRunTo;
    std::vector<SimResult> results;  // the batch of the simulator's results being handled
    // Creations unanswered or refused (creation_answers.cpp).
    std::deque<HandedOver> handedOver;  // in the order handed over (fast_tick.cpp)
    std::unordered_map<uint32_t, GivenUpCreation> givenUpCreations;  // by hex id
    std::optional<FullSimulator> fullSimulator;                      // none: not full
    // Learning and the lists (learned_options.cpp, lists.cpp).
    int32_t shownOptionCount = 0;  // the learned-option count the window last repainted for
    int32_t learnedUpdates = 0;
    int32_t learnedOptionCount = 0;
    std::unordered_set<std::string, Fnv1aHash> rtCallsigns;
    std::unordered_set<uint32_t, Fnv1aHash> rtHexIds;
    // Park airports (park_airports.cpp, park_driver.cpp).
    std::list<ParkAirport> parkAirports;
    std::optional<LatLon> rememberedPosition;  // g_rememberedMutex
    LatLon lastSortPosition{0.0, 0.0};
    bool sortedOnce = false;
    Airport parkAirport;
    bool parkAirportPending = false;
    bool parkPlanPending = false;
    // The plan of the parked traffic (park_limits.cpp, park_traffic.cpp, stand_search.cpp).
    std::vector<LiveParked> liveParkedList;
    LatLon lastUserNear = kNoUserPosition;
    std::vector<ParkedAircraftRecord> rtParkedRecords;
    bool rtParkedAvailable = false;
    std::vector<StaticRemoval> staticRemovals;
    std::vector<KeptStatic> keptStatics;
    uint64_t parkedRequest = 0;       // the open request's number; 0 none
    int32_t parkedRequestTick = 0;    // g_fastTicks when it was made
    bool initialPlanWaiting = false;  // the first planning waits for the reply
    int32_t realFitOffset = 0;
    int32_t softFitOffset = -1;
    SearchIndex searchIndex;
    std::unordered_set<uint64_t> withdrawn;
    std::vector<StandUse> standUses;  // by place in g_parkStands
    ParkingFlags parking;
    TrafficWindowStatus windowStatus;  // the painter reads it across threads
    bool operator==(const TrafficRun&) const = default;
};

extern TrafficRun g_trafficRun;

}  // namespace qel
