// Reports that come in behind where an aircraft in the air reckoned its way to (its feed fell
// behind, or paused): how high and which way it reckons on from them, and where a helicopter
// that reckoned past its late-reported hover comes to it. Beneath the report intake, which
// decides what becomes of each report: these only lay the reckoning anew from where it is.
//
// Threads: main-loop thread.
#pragma once

#include "traffic/aircraft.h"

namespace qel {

// Reports that come back this far aside the line an aircraft reckoned along show a way it did not
// take (they turned while it flew straight on).
inline constexpr double kRejoinAside_m = 1000.0;
// A hovering helicopter is reported drifting at a few knots at most.
inline constexpr double kHoverDrift_kt = 10.0;
// Reports of one speed spread by a few knots (kt).
inline constexpr double kSpeedSpread_kt = 5.0;

// Degrees between the heading and the bearing from `from` to `to`.
double lf_offHeading_deg(const LiveAc& aircraft, const QueuedSample& from, const QueuedSample& to);
// The leg in progress of a reckoning in the air ends at the height the report behind it puts it.
void lf_reckonAtReportedHeight(LiveAc& aircraft, const QueuedSample& s);
// Whether reports setting off from a hover reached late fly on toward where the helicopter hovers.
bool lf_headsForHover(const LiveAc& aircraft, const QueuedSample& s);
// A helicopter reckoned past the hover its reports now show comes to its hover where it is, or is
// taken out; true when either was done.
bool lf_hoversWhereItIs(LiveAc& aircraft, const QueuedSample& s);
// The reckoning goes on from a report behind it; true when the queue is laid anew from where it is.
bool lf_reckonsFromReport(LiveAc& aircraft, const QueuedSample& s);

}  // namespace qel
