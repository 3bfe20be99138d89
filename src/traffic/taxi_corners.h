// Corners of the reported way on the ground (taxi_corners.cpp), as the ground legs, their pace
// and the push-back lay and time them: what a leg makes of the corner ahead, the curve round it,
// the samples laid for it, and the sample that splits a leg.
//
// Threads: main-loop thread.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "traffic/aircraft.h"

namespace qel {

// Further off its way than this (degrees), an aircraft on the ground does not face it: it turns
// toward it, and a curve laid from where it is takes up that turn as it rolls.
inline constexpr double kFacing_deg = 3.0;
// The speed on the ground from which a take-off roll rotates (kt); no faster, a long leg to a
// sharp corner is split in two (lf_cornerShape).
inline constexpr double kTakeOffSpeed_kt = 43.0;

// What the leg from sample i makes of the corner at sample i + 1, turning `turn_deg` there from
// the heading it arrives at: a taxi curve through it, a mid sample that splits a long leg before
// it, or a straight leg (with a check of its speed change).
enum class CornerShape { straight, split, curve };
CornerShape lf_cornerShape(const SampleQueue& samples, std::size_t i, double turn_deg);
// Where the way in (from `here` through sample i + 1) meets the way out (back from sample i + 3
// through sample i + 2): the corner a taxi curve from `here` rounds.
LatLon lf_cornerOf(LatLon here, const SampleQueue& samples, std::size_t i);
// A taxi curve round a corner, from its start through the corner to its end; or the first curve
// of a chain of them round a sharp corner.
struct CornerCurve {
    LatLon start;        // on the way in, or where the aircraft comes from
    LatLon corner;       // the control point
    LatLon end;          // on the way out, or where the chain's next curve begins
    bool lead = false;   // it begins on the way in, a straight leg on from where the aircraft is
    bool facing = true;  // the aircraft faces the corner: a curve that does not lead begins here
    // The chain's further corners, each followed by the end of its curve but the last.
    std::vector<LatLon> chain;
    LatLon chainEnd;  // where the chain's last curve ends, on the way out
    // How much shorter the chain is than the reported ways round its corner (metres), and the
    // speed reported there (kt): it comes out of the corner that far ahead of its reports.
    double cut_m = 0.0;
    double speed_kt = 0.0;
    // Where the rounding meets the way out.
    LatLon rejoin() const { return chain.empty() ? end : chainEnd; }
};
// The curve round the corner at or after sample i + 1 (lf_cornerOf) of an aircraft coming along
// a straight way in from `from`. Its arms are even, tightest halfway round, and as long as the
// corner's reported speed needs to round it at the sideways limit, or as far as the report after
// the corner lies (50 m at the most) where that is longer; no longer than the straight way out
// the reports show (half of it where another corner ends it), nor than keeps the curve within
// 12 m of the ways. It begins at `from` where the way in is no longer than that, or where an
// aircraft there heading `heading_rad` does not face the corner (none: the way leads straight
// in), its arms then no longer than the way in. A corner sharper than a right angle that one
// such curve rounds tighter than its speed needs is rounded by a chain of curves about the
// widest arc that keeps within 12 m of the ways and fits the ways in and out.
CornerCurve lf_cornerCurve(const LiveAc& aircraft, LatLon from, const SampleQueue& samples,
                           std::size_t i, std::optional<double> heading_rad);
// Where a way from `from` along heading_rad meets the way from `a` through `b`: ahead of `from`,
// on the way through `b` no later than at `a`, and turning onto it by 160 degrees at most; none
// where they do not meet so.
std::optional<LatLon> lf_meetOfWays(LatLon from, double heading_rad, LatLon a, LatLon b);
// What lf_layCorner laid at the start of a taxi leg: nothing, nothing but a long leg to a sharp
// corner that is to be split first (lf_cornerShape), a straight leg on to the curve's start
// first, or the samples of a curve that begins where the aircraft is (sample 1 is its corner,
// sample 2 its end).
enum class CornerLaid { none, split, straightFirst, curveNow };
// The samples for the first corner on the straight way ahead whose curve begins within this
// leg: the aircraft goes straight on to where its curve begins and rounds the corner from
// there. A corner further on is laid by a later leg.
CornerLaid lf_layCorner(LiveAc& aircraft);
// With the aircraft's position as sample 0, the leg in progress laid anew from there: whether
// lf_layCorner would lay a corner beyond the leg's end whose curve begins more than a lead-in
// short of it.
bool lf_cornerBeginsSooner(const LiveAc& aircraft);
// The taxi curve of a leg that begins at a corner's curve: from where the aircraft is, round the
// corner (lf_cornerOf) to sample 2, which it takes the place of sample 1 for.
void lf_startTaxiCurve(LiveAc& aircraft);
// A taxi leg to the last sample, reported moving, that sets off more than kTurnFirst_rad (and no
// more than a right angle) off the heading: a taxi curve from where the aircraft is to sample 1,
// steered from its heading, so that it rolls round rather than turning on the spot first. False
// where none is laid (the end lies too near, or behind it).
bool lf_steerOntoLeg(LiveAc& aircraft);
// A sample halfway along the leg to sample 1.
void lf_insertMidSample(LiveAc& aircraft);
// A sample `share` of the way from a to b by distance, at `at`, due and as fast as that share of
// the way between theirs.
QueuedSample lf_sampleBetween(const QueuedSample& a, const QueuedSample& b, double share,
                              LatLon at);

}  // namespace qel
