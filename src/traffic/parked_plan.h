// The plan of the parked traffic: how many static aircraft the park airport holds, the stand
// search that fills stands with learned and RealTraffic flights, the static aircraft it creates,
// the re-plan that keeps, removes and recreates them, and the limits on parked live aircraft.
// What it offers the other rooms: the half-hour slots of the traffic time, the planning's entry
// points and the counters the window shows.
//
// Threads: main-loop thread.
#pragma once

#include <cstdint>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "foundation/geodesy.h"
#include "foundation/halfhours.h"
#include "foundation/match_key.h"
#include "realtraffic/realtraffic.h"
#include "scenery/stand_file.h"
#include "traffic/aircraft.h"

namespace qel {

// A weekday (1 Monday .. 7 Sunday) and half-hour slot (0..47) of the traffic time.
struct DaySlot {
    int32_t day = 1;   // 3
    int32_t slot = 0;  // 21
    bool operator==(const DaySlot&) const = default;
};
DaySlot lf_daySlotNow();
// `offset` half hours earlier, at most one day back: slot − offset, or slot − offset + 48 on
// the previous weekday (Monday's is Sunday).
DaySlot lf_moveBack(DaySlot at, int32_t offset);
// Half hours from the slot of the week `earlier` to `later`; negative when `earlier` is later.
int32_t lf_slotsBetween(DaySlot earlier, DaySlot later);
// Half hours from `at` back to now within a week (0..335): what is earlier is older, also when
// the week's end lies between (Sunday evening is older than Monday morning).
int32_t lf_slotsAgo(DaySlot at, DaySlot now);

// The user's position the collision check last saw, before it saw one.
inline constexpr LatLon kNoUserPosition{1000.0, 1000.0};

// A live aircraft parked at a stand, as the re-plan counts it.
struct LiveParked {
    std::string callsign;  // "KLM1234"
    uint32_t standId = 0;  // 17
    int32_t minutes = 0;   // parked so far; 0 with a departure pending
    bool operator==(const LiveParked&) const = default;
};
extern std::vector<LiveParked>& g_liveParkedList;
// A static aircraft that a re-plan removes at its end; by hex id, so that one aircraft is never
// queued twice and a second static on the stand is not taken for it.
struct StaticRemoval {
    std::string callsign;  // "DLH4AB*"
    uint32_t standId = 0;  // 17
    uint32_t hexId = 0;    // 123
    bool operator==(const StaticRemoval&) const = default;
};
extern std::vector<StaticRemoval>& g_staticRemovals;
// A static aircraft that a re-plan keeps.
struct KeptStatic {
    std::string callsign;        // "DLH4AB*"
    std::string secondCallsign;  // the learned callsign it was made from: "DLH4AB"
    std::string thirdText;       // the learned second callsign: "DLH4AC"
    std::string registration;
    MatchKey key;
    DaySlot parked;  // when it parked
    uint32_t standId = 0;
    uint32_t hexId = 0;
    bool recreate = false;  // re-created under its second callsign
    bool operator==(const KeptStatic&) const = default;
};
extern std::vector<KeptStatic>& g_keptStatics;
// The fit offsets the last real and soft passes reached; soft −1 after a real pass.
extern int32_t& g_realFitOffset;
extern int32_t& g_softFitOffset;
// Where the parked traffic comes from: the Traffic Reader's request and take; tests put their
// own records here. The process's, not the run's: a reset leaves it.
struct ParkedTrafficSource {
    std::function<uint64_t(LatLon)> request;
    std::function<ParkedTake(uint64_t, std::vector<ParkedAircraftRecord>&)> take;
};
extern ParkedTrafficSource g_parkedTrafficSource;
// RealTraffic's parked aircraft of the park airport as last taken, and whether a reply was
// taken for the current planning.
extern std::vector<ParkedAircraftRecord>& g_rtParkedRecords;
extern bool& g_rtParkedAvailable;

// What a planning reads of the stands and statics, built once per planning: the statics do not
// change while it runs, and looking them up per learned flight, offset and pass over all statics
// and neighbours is what made a large airport's planning slow.
struct SearchIndex {
    std::vector<double> activeSpan_nm;  // by stand number: widest active static's half span; <0
    std::vector<std::vector<const StaticAc*>> learnedStatics;  // by stand number, any state
    struct Neighbour {
        uint32_t standId = 0;
        double distance_nm = 0.0;
        bool operator==(const Neighbour&) const = default;
    };
    std::vector<std::vector<Neighbour>> neighbours;  // by stand number
    // By stand number: the slots of its flights, real (8..15) or soft (0..7), of one weekday
    // (1..7) or of any (0). A stand whose set lacks the target slot is passed over at once.
    std::vector<std::array<HalfHourSet, 16>> slots;
    bool operator==(const SearchIndex&) const = default;
};

// Stand search (stand_search.cpp).
DaySlot lf_logDayAndTime();
void lf_fillCandidates(DaySlot now, int64_t wanted, int64_t base);
void lf_markUserStands();
// The stand becomes taken and its neighbours blocked.
void lf_markStandTaken(ParkStand& stand);
// Clears the planning marks of every stand; `renumber` makes every learned flight usable again.
void lf_clearStandMarks(bool renumber);
// Forgets the withdrawn flights, the planning's index and the last fit offsets.
void lf_resetStandSearch();
// Park traffic (park_traffic.cpp).
// The initial planning waiting for RealTraffic's parked traffic goes on once the reply is in or
// the wait is over; the fast tick calls it every 500 ms.
void lf_continueParking();
// Phase B: takes the reply of phase A's request without waiting.
void lf_takeParkedReply();
void lf_placeRtParkedAircraft();
void lf_refreshRtStatics();
// Sorts the candidates so that the one to create first is at the back.
void lf_sortBestFitsLast();
void lf_removeStatic(const StaticAc& aircraft);
bool lf_hasLearnedStay(DaySlot now, uint32_t standId, const StaticAc& aircraft);
// Tests: the parked-traffic request waiting for the initial planning, 0 when none.
uint64_t lf_openParkedRequest();
// Park limits (park_limits.cpp).
// The share of the stands to fill, in per cent: CUSTOM_PARKING_PERCENTAGE when it is set (0 or
// more), else the "Target" box's parking_percentage.
int32_t lf_wantedPercentage();
int64_t lf_calcWantedStatics();
void lf_collectLiveParked();
void lf_removeLiveParkedBeyond(int64_t count);
// `live` is the number of aircraft about to park (0 or 1).
void lf_checkMaxPark(bool live);
// Parked from now on: the half hour of the traffic time, and the clock the park limits measure
// its stay by.
void lf_recordParkingTime(LiveAc& aircraft);
// Removes an aircraft just ahead of the user and near its height, true when it did: `index` 1
// for a spawning aircraft (6 nm, 3000 ft, 4000 ft aside), 0 for the parked sweep.
bool lf_removeIfAheadOfUser(LiveAc& aircraft, int index = 1);

// Parking becomes busy and the parked traffic around the park airport is requested.
void lf_requestParkedTraffic(bool showMessage);
// The first planning of the static aircraft after the stands were loaded.
void lf_planInitialParking();
// Forgets the parked-traffic state of the park airport being left.
void lf_clearParkedTrafficState();
// The user's position the last static-collision check saw; the next check looks again.
void lf_forgetUserPosition();
// The window's counters of parked aircraft: statics in state active or removingfromsim (with
// their average parked time), and active parked live aircraft (with their average parking time).
uint64_t lf_countStaticParked(bool withAverage);
uint64_t lf_countLiveParked();

// Static aircraft creation (static_creation.cpp).
void lf_detcs();
std::string lf_staticCallsign(std::string name);
// Removes the static candidates planned for this stand.
void lf_dropCandidatesOfStand(uint32_t standId);

}  // namespace qel
