// The aircraft records of the traffic manager: the lifecycle and phase enumerations with their
// names, the static and live records that begin with FlightData, the per-class constants, and
// the labels that log lines build from a record.
//
// Threads: the records belong to the main-loop thread.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/flight_data.h"
#include "simlink/simlink.h"
#include "traffic/sample_queue.h"
#include "traffic/traffic.h"

namespace qel {

// Hex ids above this are live flights; static aircraft are numbered 1..9999.
inline constexpr uint32_t kLiveHexIdFloor = 10000;
inline bool gf_isLiveHexId(uint32_t hexId) { return hexId > kLiveHexIdFloor; }

// The lifecycle of an aircraft record.
enum class SimObjectState : uint32_t {
    buffer = 0,           // not yet handed to the simulator
    adding2sim = 1,       // a create request is queued or sent; no object id yet
    active = 2,           // the object exists and is driven
    liveryrespawn = 3,    // removed, to be created again with another livery
    removingfromsim = 4,  // removal queued; erased when the simulator confirms
};

enum class FlightPhase : uint32_t {
    pushing_back = 0,
    pushed_back = 1,
    taxi = 2,
    take_off = 3,
    flying = 4,
    parking = 5,
    parked = 6,
    birth = 7,
};

// The names; a value outside the enumeration throws std::out_of_range.
std::string_view weightClassName(WeightClass weightClass);
std::string_view flightPhaseName(FlightPhase phase);
std::string_view simObjectStateName(SimObjectState state);

// Notes that a record's drop flag was raised; lf_compactStaticAcs looks for dropped statics
// only after one was (fleet.cpp).
void lf_noteDropFlag();

// A record's drop flag (0 or 1): every raising passes through here and is noted, whoever raises
// it, so that the fast tick need not walk all static records every tick to find none.
class DropFlag {
public:
    DropFlag() = default;
    DropFlag& operator=(uint8_t value)
    {
        value_ = value;
        if (value != 0) lf_noteDropFlag();
        return *this;
    }
    operator uint8_t() const { return value_; }  // NOLINT(google-explicit-constructor)
    bool operator==(const DropFlag&) const = default;

private:
    uint8_t value_ = 0;
};

// A parked aircraft placed on a stand, and the common part of every aircraft in the simulator.
struct StaticAc : FlightData {
    StaticAc() = default;
    StaticAc(const FlightData& data, uint32_t standId, double standLat, double standLon,
             double standHeading_rad, bool noCabinLights);

    uint32_t objectId = 0;          // the simulator's object id; 0 until created: 104
    double standLat = 0.0;          // degrees: 51.2790
    double standLon = 0.0;          // degrees: 6.7628
    double standHeading_rad = 0.0;  // 5.585
    uint32_t parkedWeekday = 0;     // 1 Monday .. 7 Sunday; 0 = not parked
    uint32_t parkedSlot = 0;        // half hour 0..47
    uint32_t partnerHexId = 0;      // the live flight it stands in for; 0 = none
    uint32_t standId = 0;           // the stand it occupies; 0 = none
    SimObjectState state = SimObjectState::buffer;
    uint32_t throttleLevel = 5;  // last level sent 0..4; 5 = none yet
    uint32_t flapsIndex = 4;     // last index sent 0..4; 4 at creation
    uint8_t noCabinLights = 0;
    uint32_t placedBy = 1;          // 1 learned stand search, 0 a RealTraffic parked record
    uint8_t removeWhenCreated = 0;  // remove as soon as the object id arrives
    DropFlag drop;                  // erased by the next compaction
    DropFlag dropWhileQueued;       // the same, for a withdrawn create request
    int32_t handedOverTick = -1;    // fast tick its create request went to the link; -1 not yet
    bool operator==(const StaticAc&) const = default;
};

// The lateness windows' floor (ticks), at which a new aircraft's windows start: a reported due
// tick may move this far either way once the aircraft flies in step with its reports. 10 s, a
// third of the replay delay, keeps it close to the reported path's timing and still leaves room
// for legs timed by the aircraft's own speed rather than by the reports.
inline constexpr int32_t kWindowFloor_ticks = 1000;

// A leg's exit speed where no bend follows it.
inline constexpr double kNoBend_kt = std::numeric_limits<double>::infinity();

// How the speed is laid along a leg on the ground: from the speed it entered the leg at toward
// the hold speed, then over the leg's last endTicks toward the end speed, each at the rate. The
// leg's rates (latRate, lonRate, curveStep) are per tick at the nominal speed and are scaled by
// the speed of the tick, so a leg still ends on its sample at its due tick. A bend that holds the
// aircraft below the laid-out speed moves the due tick on by the time it loses.
struct LegPace {
    // What the tick of an air leg that has come to its speed reads comes first, within the 25
    // bytes the tick's walk fetches ahead, as an unpaced leg reads its first 16: reading whether
    // it had come to its speed from the speeds laid out, every airborne aircraft on a paced leg
    // fetched a line more on every tick, and waited for it.
    double now_kt = -1.0;       // the speed it moves at; below 0 before its first leg: 38.5
    double nominal_kt = 0.0;    // the leg's length over its time; 0 unpaced (air): 42.0
    double left_ktTicks = 0.0;  // the way still to go: knots times ticks
    // In the air, it has come to the speed it holds to the leg's end (now, free, hold and end
    // alike, no bend held it), until the leg or its plan is laid anew or it stands to turn.
    bool held = false;
    bool bent = false;            // a bend held it below its laid-out speed on this leg
    bool stops = false;           // the leg ends where it stops
    int32_t endTicks = 0;         // the last ticks of the leg go toward end_kt
    double free_kt = 0.0;         // the speed laid out for this point of the leg: 38.5
    double hold_kt = 0.0;         // 35.0
    double end_kt = 0.0;          // 0.0 where it stops or turns on the spot
    double from_kt = 0.0;         // the speed reported where the leg began: 40.0
    double rate_ktPerTick = 0.0;  // 0.03 (3 kt/s)
    double exit_kt = kNoBend_kt;  // the fastest it may end at: the next bend's entry: 9.5
    double lag_ticks = 0.0;       // time lost to a bend, not yet added to the due tick: 0.4
    // The due tick the leg's sample was reported for, before the leg was timed: 51230.
    std::optional<int64_t> reportedDue;
    // Back onto its reports after a pause, the leg was timed to reach its sample when due, not at
    // the speeds the reckoning slowed it to; laid anew from where the aircraft is (relaid), it
    // keeps to that.
    bool catchingUp = false;
    bool relaid = false;
    bool operator==(const LegPace&) const = default;
};

// One live flight: its samples and the motion state that flies them.
struct LiveAc : StaticAc {
    LiveAc(const QueuedSample& first, const FlightData& data, double reportTime_s);

    // What the 10 ms step reads on every tick comes first and together, the position and the
    // front sample right after it: a few neighbouring cache lines instead of one here and
    // there across the whole record.
    FlightPhase phase = FlightPhase::birth;
    uint8_t onGround = 0;
    uint8_t turnOnSpot = 0;
    uint8_t takeOff = 0;
    uint8_t approach = 0;
    uint8_t flareStage = 0;
    uint8_t pitchDown = 0;  // the nose comes down after touchdown
    // The leg's rates are degrees per tick in the plane about the nearer pole (a polar leg),
    // not of latitude and longitude.
    uint8_t polarLeg = 0;
    double latRate = 0.0;           // degrees per tick
    double lonRate = 0.0;           // degrees per tick
    double headingRate = 0.0;       // radians per tick, in the air
    double pitchRate = 0.0;         // radians per tick
    double bankRate = 0.0;          // radians per tick
    double altRate = 0.0;           // feet per tick
    double curveControlEast = NAN;  // metres; NaN when no curve is active
    double curveControlNorth = NAN;
    double heightAboveGround_ft = 2500.0;
    double legVerticalSpeed_fpm = 0.0;  // -768.0
    double legAirspeed_kt = 0.0;        // 151.0
    AiPositionBlock position;           // sent to the simulator unchanged each tick
    SampleQueue samples;                // oldest first; the front is the leg's target

    double reportTime_s = 0.0;  // newest report merged: 1724517659.49
    LatLon reportedAt{};        // where the newest report merged put it
    // A report that put it farther from the newest merged than it can go in their time, held
    // until the next shows whether the feed slipped or the aircraft is there now (jumpHeld).
    LatLon jumpTo{};
    double jumpTo_s = 0.0;  // its report time
    uint8_t jumpHeld = 0;
    // The fast tick a report of it last came in, taken or not: the feed still reports it.
    int32_t heardTick = 0;
    // The speed its dead reckoning set out from, reported last (kt): 250.0
    double reckonFrom_kt = 0.0;
    uint8_t reckonToHover = 0;  // a helicopter that reckoned past its hover hovers where it is
    // The track of the newest report behind where it reckoned its way to, and its report time:
    // how fast the reports that fall behind turn (degrees, seconds): 230.5, 1724517659.49
    double behindTrack_deg = 0.0;
    double behindTrack_s = 0.0;
    // The track of the newest report in the air that has one and its report time; the track and
    // time of the report the turn toward it is measured from, and that turn (degrees, seconds,
    // degrees a second): 230.5, 1724517659.49, 221.0, 1724517654.49, 1.9
    double trackNewest_deg = 0.0;
    double trackNewest_s = 0.0;
    double trackFrom_deg = 0.0;
    double trackFrom_s = 0.0;
    double trackTurn_degPerS = 0.0;
    // The track a reckoning in the air goes on along, and the steps on which it still turns as
    // its reports did: 236.1, 2
    double reckonTrack_deg = 0.0;
    uint8_t reckonTurns = 0;
    // The newest report thinned out as adding nothing to a steady path, newer than any merged: its
    // place is the last word on where the aircraft went when no report follows.
    std::optional<QueuedSample> thinned;
    FlightPhase previousPhase = FlightPhase::birth;
    int32_t syntheticCount = 0;  // 0 reported, n > 0 synthetic to come, -1 used up
    uint8_t hasFlightPlan = 0;
    uint8_t holding = 0;             // waits in place on the ground
    int32_t holdStart = 0;           // fast tick the hold began
    double targetBearing_rad = 0.0;  // from the front sample to the next
    double targetHeading_rad = 0.0;  // where a ground turn ends
    double headingError_deg = 0.0;
    double curveStart = NAN;  // curve parameter range; NaN when no curve
    double curveEnd = NAN;
    double curveParam = 0.0;
    double curveStep = 0.0;                    // share of the curve's length flown per tick: 0.004
    int32_t earlyWindow = kWindowFloor_ticks;  // ticks a reported due tick may move earlier
    int32_t lateWindow = kWindowFloor_ticks;   // ticks it may move later
    // Ticks the early window reaches further on the ground while the aircraft holds the lead a
    // corner rounded shorter than its reported way gave it (schedule.cpp): 1400
    int32_t cornerLead_ticks = 0;
    int32_t countdown = 1;  // of the current manoeuvre
    uint8_t landingRoll = 0;
    uint8_t landing = 0;      // the approach has reached the flare
    uint8_t heldForUser = 0;  // first samples dropped to keep away from the user
    uint8_t hasStoredHeading = 0;
    double storedHeading_rad = 0.0;
    uint8_t departurePending = 0;
    uint8_t departing = 0;
    int64_t parkingTime_100ns = 0;  // system clock when it parked
    int32_t parkingCounters[2] = {0, 0};
    double groundLat = 0.0;  // remembered ground position, degrees
    double groundLon = 0.0;

    // Taxi curve: a quadratic from the origin through the control point to the end point, in
    // local metres; the control point's NaN above says no curve is active.
    double curveOriginLat = 0.0;  // degrees
    double curveOriginLon = 0.0;
    double curveEndNorth = 0.0;  // metres: 84.2
    double curveEndEast = 0.0;
    double curveAngle_deg = 0.0;  // the turn the curve flies: 30.0
    double curveLength_m = 0.0;   // along the curve: 96.4
    // Where the curve is sharpest (its parameter) and the fastest through there, squared, noted
    // as it is laid: its pace reads both every tick.
    double curveSharpest = 0.0;         // 0.5
    double curveSharpestLimitSq = 0.0;  // (m/s)²: 42.3
    LegPace pace;
    // Approach, landing and take-off.
    uint8_t touchdown = 0;    // the simulator reported this approach's touchdown
    uint8_t towed = 0;        // left its stand after a short stay: counts as towed
    uint8_t climbConfig = 0;  // the climb configuration has been sent
    uint8_t elevationKnown = 0;
    uint8_t lowAltLightsSent = 0;
    uint8_t cruiseConfigSent = 0;
    double fieldElevation_ft = 0.0;  // captured at the flare's first stage: -11.0
    double heightAboveField_ft = 0.0;
    double touchdownHeading_rad = 0.0;  // the runway heading the landing roll keeps: 3.14
    // Leaving a stand.
    double standDistanceRef_nm = 0.0;      // first report's distance from the stand
    double standDistanceMax_nm = 0.0;      // farthest report so far
    uint16_t outwardSteps = 0;             // reports that went 3 m farther out
    int64_t lastReportTime_ms = 0;         // steady clock of the last report while parked
    double pushedBackDistance_nm = 900.0;  // nearest report since the push-back ended
    int32_t pushbackCountdown = 0;         // 2 → 1 → 0 over the legs of a push-back
    uint8_t pushTurnClockwise = 0;         // the tail swings so that the nose turns clockwise
    uint8_t pushTurnKnown = 0;
    QueuedSample altPushSample;  // the side point of a swing the other way
    // The reports of its way off the stand, kept from the first one that left it until its
    // push-back ends, and then followed from where the push-back ended.
    std::vector<QueuedSample> pushReports;
    uint8_t pushEndKnown = 0;  // the push-back ends where its reports say it ended
    // The tick from which its tail swing waits for a report of the way out, with the tug on; -1
    // when none is owed.
    int32_t swingOwedFrom = -1;
    uint8_t pushFollows = 0;  // its push-back follows its reports, whose end has not shown yet
    double triedLat = 0.0;    // last sample for which a stand was tried, degrees
    double triedLon = 0.0;
    uint8_t learnedStandChecked = 0;  // its learned callsigns have been looked up
    // Field by field: a record with no taxi curve (NaN) equals no other record.
    bool operator==(const LiveAc&) const = default;
};

// The FlightData of a new aircraft from a decoded record: identity copied, size and class from
// the aircraft database, the class constants with their random spread.
FlightData initLiveAc(const LiveAircraftRecord& record);
FlightData initLiveAc(const ParkedAircraftRecord& record);

// Per-class constants of live aircraft; throws std::out_of_range for a class without entry.
double gf_maxClimbRate_ftPerTick(WeightClass weightClass);
double gf_standTaxiSpeed_kt(WeightClass weightClass);

// Not empty, not "@@@@@@@@", shorter than 9 characters.
bool gf_validCallsign(const FlightData& data);
// The first three letters upper-cased when the callsign is three letters and a digit or more.
std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign);

}  // namespace qel
