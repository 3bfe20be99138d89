// Motion: how a live aircraft moves between its samples. The sample stream picks the next leg
// and paces it to the reports; air motion takes new reports of a known aircraft; the air legs
// climb, turn, descend and flare; the ground legs taxi, curve and roll; push-back and towing take
// it off a stand and onto one. When each sample is flown is the schedule's (schedule.h): the
// motion code tells it how long a leg takes. What it offers the other rooms: the leg starts that
// the update and the intake call, the taxi curve the tests sample, and the drive onto a stand.
//
// Threads: main-loop thread.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <optional>

#include "traffic/aircraft.h"

namespace qel {

// On the ground an aircraft faces where it goes (tail first when pushed back): farther off its
// path than this it turns on the spot before it moves on, instead of sliding sideways.
inline constexpr double kTurnFirst_rad = 20.0 * std::numbers::pi / 180.0;
// A big turn on the spot goes at up to this many times the ground turn rate; moving, the heading
// never turns faster.
inline constexpr double kSpotTurnFactor = 3.0;
// Further off its way than this (degrees), an aircraft on the ground does not face it: it turns
// toward it, and a curve laid from where it is takes up that turn as it rolls.
inline constexpr double kFacing_deg = 3.0;
// A way goes on through reports that bend it by no more than this (degrees): lf_cornerShape takes
// such a bend for a straight leg, and a curve's way out ends where the reports bend it more.
inline constexpr double kStraight_deg = 3.0;
// A corner's way in longer than this is split before a sharp turn (lf_cornerShape); a curve's
// arms reach at least as far as the report after its corner, up to this far (lf_cornerCurve).
inline constexpr double kLongCorner_nm = 0.02699784017278618;  // 50 m

// A quadratic from its start through the control point to the end point, in metres east and
// north of its start.
struct TaxiCurve {
    double controlEast = 0.0;
    double controlNorth = 0.0;
    double endEast = 0.0;
    double endNorth = 0.0;
};

// Sample stream (sample_stream.cpp).
void nextPosMain(LiveAc& aircraft);
void lf_startLeg(LiveAc& aircraft);
void lf_airLegTiming(LiveAc& aircraft);
bool lf_extendStream(LiveAc& aircraft);
void lf_addSyntheticSample(LiveAc& aircraft, int32_t count);
double lf_legSpeed(const LiveAc& aircraft);
// Radians from the heading to the bearing of the leg after the next; 0 without one.
double lf_turnAhead(const LiveAc& aircraft);
void lf_moveOneTick(LiveAc& aircraft);
void lf_turnToward(LiveAc& aircraft, double heading_rad);
// Whether the leg just begun starts with a turn on the spot.
bool lf_startsWithTurn(const LiveAc& aircraft);
// Ground pace (ground_pace.cpp). At the start of a leg, before its rates are laid: how its speed
// goes from the one it enters at; sample 1's due tick moves where the leg cannot be flown in its
// time at a bounded change of speed.
void lf_paceLeg(LiveAc& aircraft);
// The ticks a leg of `length` (kt·ticks) takes entered at v0_kt, gathering speed at an
// airliner's usual rate up to v_kt and holding it, and braking at that rate to a stop at its end
// when it `stops` there (NaN when it is too short to); a leg from a standstill, or to one.
double lf_rampedTicks(double v0_kt, double v_kt, double length, bool stops = false);
// After a report was appended: a leg that now ends at a stop slows down for it.
void lf_paceNewReport(LiveAc& aircraft);
// The share of the leg's per-tick rates that this tick moves (1 on an unpaced leg).
double lf_paceTick(LiveAc& aircraft);
// The fastest through the sharpest point of a taxi curve (infinite on a straight one).
double lf_curveSlowest_kt(const LiveAc& aircraft, const TaxiCurve& curve);
// Notes where the aircraft's taxi curve, just laid, is sharpest and the fastest through there.
void lf_noteCurveSharpest(LiveAc& aircraft);
// The radius of the tightest bend the aircraft rounds at v_kt (metres).
double lf_bendRadius_m(const LiveAc& aircraft, double v_kt);
// The most the heading may turn in this tick (radians) at the speed the aircraft moves on the
// ground; `spot` (the turn rate on the spot) while it stands or flies.
double lf_movingTurnStep(const LiveAc& aircraft, double spot_rad);
// `base` moved to where an aircraft at `from`, heading `heading_rad` at v_kt, comes to a stop
// braking at 5 kt a second, due that long after fromTick, at 0 kt.
QueuedSample lf_runOutStop(QueuedSample base, LatLon from, double heading_rad, double v_kt,
                           int64_t fromTick);
// New reports of a known aircraft (air_motion.cpp).
void decodeExisting(LiveAc& aircraft, const PosSample& sample);
bool checkExtendingSituations(LiveAc& aircraft, QueuedSample& sample);
bool checkNewPosDuringLanding(LiveAc& aircraft, QueuedSample& sample);
bool lf_checkBirthReport(LiveAc& aircraft, QueuedSample& sample);
void lf_startDeparture(LiveAc& aircraft, QueuedSample& sample);
// Air legs (air_legs.cpp).
void lf_startAirLeg(LiveAc& aircraft);
bool lf_climbToAirborneSample(LiveAc& aircraft, std::size_t k);
double lf_descentRate(const LiveAc& aircraft);  // ft/min
void lf_bankTarget(LiveAc& aircraft, double turn_rad, double dt_ticks);
void lf_lowAltitudeConfig(LiveAc& aircraft);
void lf_airConfig(LiveAc& aircraft);
void lf_verticalStep(LiveAc& aircraft);
void lf_startTakeOff(LiveAc& aircraft);
void lf_beginTakeOffRoll(LiveAc& aircraft);
// Ground legs (ground_motion.cpp).
void nextPosGround(LiveAc& aircraft);
void lf_groundLegTiming(LiveAc& aircraft);
void lf_groundConfig(LiveAc& aircraft);
void lf_startTaxiCurve(LiveAc& aircraft);
void lf_insertMidSample(LiveAc& aircraft);
void lf_checkSpeedChange(LiveAc& aircraft);
bool lf_rotationSpeedReached(const LiveAc& aircraft);
void drive2Stand(LiveAc& aircraft, double lat, double lon, double heading_rad);
// What the leg from sample i makes of the corner at sample i + 1, turning `turn_deg` there from
// the heading it arrives at: a taxi curve through it, a mid sample that splits a long leg before
// it, or a straight leg (with a check of its speed change).
enum class CornerShape { straight, split, curve };
CornerShape lf_cornerShape(const SampleQueue& samples, std::size_t i, double turn_deg);
// Taxi corners (taxi_corners.cpp).
// Where the way in (from `here` through sample i + 1) meets the way out (back from sample i + 3
// through sample i + 2): the corner a taxi curve from `here` rounds.
LatLon lf_cornerOf(LatLon here, const SampleQueue& samples, std::size_t i);
// A taxi curve round a corner, from its start through the corner to its end.
struct CornerCurve {
    LatLon start;       // on the way in, or where the aircraft comes from
    LatLon corner;      // the control point
    LatLon end;         // on the way out
    bool lead = false;  // it begins on the way in, a straight leg on from where the aircraft is
};
// The curve round the corner at or after sample i + 1 (lf_cornerOf) of an aircraft coming along
// a straight way in from `from`. Its arms are even, tightest halfway round, and as long as the
// corner's reported speed needs to round it at the sideways limit, or as far as the report after
// the corner lies (50 m at the most) where that is longer; no longer than the straight way out
// the reports show (half of it where another corner ends it), nor than keeps the curve within
// 12 m of the ways. It begins at `from` where the way in is no longer than that, or where an
// aircraft there heading `heading_rad` does not face the corner (none: the way leads straight
// in), its arms then no longer than the way in.
CornerCurve lf_cornerCurve(const LiveAc& aircraft, LatLon from, const SampleQueue& samples,
                           std::size_t i, std::optional<double> heading_rad);
// What lf_layCorner laid at the start of a taxi leg: nothing, nothing but a long leg to a sharp
// corner that is to be split first (lf_cornerShape), a straight leg on to the curve's start
// first, or the samples of a curve that begins where the aircraft is (sample 1 is its corner,
// sample 2 its end).
enum class CornerLaid { none, split, straightFirst, curveNow };
// The samples for the first corner on the straight way ahead whose curve begins within this
// leg: the aircraft goes straight on to where its curve begins and rounds the corner from
// there. A corner further on is laid by a later leg.
CornerLaid lf_layCorner(LiveAc& aircraft);
// A sample `share` of the way from a to b by distance, at `at`, due and as fast as that share of
// the way between theirs.
QueuedSample lf_sampleBetween(const QueuedSample& a, const QueuedSample& b, double share,
                              LatLon at);
TaxiCurve lf_taxiCurve(const LiveAc& aircraft);
TaxiCurve lf_curveThrough(LatLon from, LatLon control, LatLon end);
// How fast the curve point moves with its parameter u, in metres per unit of u.
double lf_curveRate_m(const TaxiCurve& curve, double u);
// A taxi curve is laid (its control point is set).
inline bool lf_curveActive(const LiveAc& a)
{
    return !std::isnan(a.curveControlEast) && !std::isnan(a.curveControlNorth);
}
// The way along the taxi curve laid (nm); none without one.
std::optional<double> lf_curveWay_nm(const LiveAc& aircraft);
// Where the aircraft is now.
inline LatLon lf_here(const LiveAc& a) { return {a.position.latitude, a.position.longitude}; }
// The speed it drives onto and off a stand at.
inline double lf_standSpeed_kt(const LiveAc& a)
{
    return a.standTaxiSpeed_kt > 0.0 ? a.standTaxiSpeed_kt : 4.0;
}
struct CurvePoint {
    double latitude = 0.0;     // degrees
    double longitude = 0.0;    // degrees
    double heading_rad = 0.0;  // tangent, [0, 2π)
};
// The taxi curve at parameter t; none when no curve is active or t lies outside it.
std::optional<CurvePoint> lf_curvePoint(const LiveAc& aircraft, double t);
// The curve parameter `share` of the curve's length beyond parameter u.
double lf_curveParamAfter(const LiveAc& aircraft, double u, double share);
// Push-back and towing (pushback.cpp).
void lf_startPullingOut(LiveAc& aircraft);
void lf_startPushBack(LiveAc& aircraft);
void lf_towedArrives(LiveAc& aircraft);

}  // namespace qel
