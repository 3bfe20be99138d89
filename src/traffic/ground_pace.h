// The ground pace's offer to the other motion files (ground_pace.cpp): how long a leg on the
// ground takes, and how the speed goes along it.
//
// Threads: main-loop thread.
#pragma once

#include <cstdint>

#include "traffic/aircraft.h"

namespace qel {

// At the start of a leg, before its rates are laid: how its speed goes from the one it enters
// at; sample 1's due tick moves where the leg cannot be flown in its time at a bounded change of
// speed.
void lf_paceLeg(LiveAc& aircraft);
// The due tick of a ground leg, at the speed it is taxied, and the turn rate that goes with it.
void lf_groundLegTiming(LiveAc& aircraft);
// The leg sets off from a stop (a sample of 0 kt: the end of a push-back, a hold, a run-out).
// Halfway at half the reported speed, or timed by the mean of 0 and that speed, it would crawl
// through the first half of a long leg and fall behind its reports for good.
bool lf_fromStop(const LiveAc& aircraft);
// The ticks a leg of `length` (kt·ticks) takes entered at v0_kt, gathering speed at an
// airliner's usual rate up to v_kt and holding it, and braking at that rate to a stop at its end
// when it `stops` there (NaN when it is too short to); a leg from a standstill, or to one.
double lf_rampedTicks(double v0_kt, double v_kt, double length, bool stops = false);
// After a report was appended: a leg that now ends at a stop slows down for it. True where the
// report shows a bend or a corner ahead that the leg in progress is to be laid anew for (by the
// caller, which starts it again), from where the aircraft is, which is now sample 0.
bool lf_paceNewReport(LiveAc& aircraft);
// The share of the leg's per-tick rates that this tick moves (1 on an unpaced leg).
double lf_paceTick(LiveAc& aircraft);
// `base` moved to where an aircraft at `from`, heading `heading_rad` at v_kt, comes to a stop
// braking at 5 kt a second, due that long after fromTick, at 0 kt.
// Where the aircraft is, as the start of the leg in progress laid anew from there: the front
// sample at its place and speed, due now.
QueuedSample lf_sampleHere(const LiveAc& aircraft);
QueuedSample lf_runOutStop(QueuedSample base, LatLon from, double heading_rad, double v_kt,
                           int64_t fromTick);

}  // namespace qel
