// The schedule of a live flight's samples: the fast tick at which the aircraft is to stand on
// each one. schedule.cpp says what it owns and why its windows are as wide as they are; the
// motion code decides how long a leg takes and hands that here.
//
// Threads: main-loop thread; the stamp of a batch's due ticks runs on the "Traffic Reader"
// thread, on records that no other thread sees yet.
#pragma once

#include <cstdint>
#include <vector>

#include "realtraffic/realtraffic.h"
#include "traffic/aircraft.h"
#include "traffic/traffic.h"

namespace qel {

// ---- The first due tick -------------------------------------------------------------------------

// Each record of a batch handed over at fast tick `now` with `delay_s` is due that long after it
// at the batch's median report time; the others keep their spacing to it, to a tenth of a second.
// The records are moved out of the batch into the stamped ones.
std::vector<StampedRecord> lf_stampDueTicks(std::vector<LiveAircraftRecord>& batch, int32_t delay_s,
                                            int32_t now);

// ---- Reading a due tick -------------------------------------------------------------------------

// The due tick a sample was reported for: the windows measure its lateness from it, and the
// spans between reports are taken between these.
inline int64_t lf_reportedDue(const QueuedSample& s)
{
    return int64_t{s.dueTick} - s.putBack_ticks;
}

// Ticks from now until the sample falls due; negative when it is overdue.
inline int64_t lf_ticksToDue(const QueuedSample& s) { return int64_t{s.dueTick} - g_fastTicks; }

// ---- Laying a due tick --------------------------------------------------------------------------

// Lays a sample's due tick anew (into the tick range): it is then its reported one too.
void lf_layDue(QueuedSample& s, int64_t tick);
// Lays it `ticks` from now.
void lf_dueIn(QueuedSample& s, int64_t ticks);
// `s` falls due `ticks` after `before` (the last tick at the most); it keeps its put-back.
void lf_dueAfter(QueuedSample& s, int32_t before, int64_t ticks);
// A sample laid `share` of the way from a to b is due that share of the way between the due
// ticks they were reported for.
void lf_dueBetween(QueuedSample& x, const QueuedSample& a, const QueuedSample& b, double share);
// A dead-reckoned sample copied from the front falls due a step after it, and is reckoned that
// far on from it: 3 s on the ground, 8 s in the air. A parked aircraft only holds its stand: its
// step is a week.
inline constexpr int64_t kGroundStep_s = 3;
inline constexpr int64_t kAirStep_s = 8;
inline constexpr int64_t kParkedStep_ticks = 604800 * 100;
inline int64_t lf_reckonStep_s(bool airborne) { return airborne ? kAirStep_s : kGroundStep_s; }
void lf_syntheticDue(const LiveAc& aircraft, QueuedSample& s);
// The sample a hold appends, a copy of the one it waits at, falls due 3 s after it.
void lf_holdDue(QueuedSample& copy);

// ---- The due tick of the leg to sample 1 --------------------------------------------------------

// The leg takes `legTicks` at the aircraft's own speed: sample 1 falls due then, within the
// windows around its reported due tick, no sooner than the fastest catch-up allows and, in the
// air, no later than the slowest fall-back. The leg's pace may then lay it anew (lf_dueIn),
// outside the windows. On the ground (ground_pace.cpp) a leg that cannot be flown in that time at
// a bounded, steady change of speed (braking to a stop, slowing from the approach onto the
// runway) takes the time it needs, and the lateness it takes on is made up over the taxi legs
// after (lf_makeUpLateness). In the air (air_legs.cpp) a leg entered at another speed than the
// one it is laid for goes to that speed gradually and ends when it has covered the leg, off the
// windows by what that gains or loses (a second or so), which the windows of the legs after
// take back.
void lf_setDueTick(LiveAc& aircraft, int32_t legTicks);
// The same for a leg on the ground, which notes the due tick sample 1 was reported for: the
// make-up of lag measures the aircraft's lateness from it.
void lf_setGroundDueTick(LiveAc& aircraft, int32_t legTicks);
// Sample 1 is stationary: the aircraft stands there from the time the reports give for it,
// within the windows.
void lf_setStandstillDue(LiveAc& aircraft);

// ---- The lateness windows -----------------------------------------------------------------------

// Reports resume or a phase begins that the reports' timing no longer fits: the windows open
// to 30 s, 50 s late on the take-off roll.
void lf_openWindows(LiveAc& aircraft);
// By a second a leg, down to their floor of 10 s.
void lf_narrowWindows(LiveAc& aircraft);
// A leg narrows them, except on the take-off and landing rolls, which keep their own schedules.
void lf_legNarrowsWindows(LiveAc& aircraft);
// A turn of 90 degrees or more takes time the reports do not show: 20 s at least.
void lf_widenWindowsForTurn(LiveAc& aircraft, double turn_deg);
// A corner rounded shorter than the way its reports go round it brings the aircraft out of it
// `ticks` ahead of them at its own speed: the early window reaches that much further on the
// ground, and each ground leg after gives back a tenth of its time of it.
void lf_takeCornerLead(LiveAc& aircraft, int64_t ticks);
// The windows as they were before a leg was laid anew; given back where that narrowed them
// once more, as they narrow once a leg.
struct LatenessWindows {
    int32_t early_ticks = 0;  // as LiveAc::earlyWindow; 3000 when open
    int32_t late_ticks = 0;   // as LiveAc::lateWindow; 5000 open on the take-off roll
};
LatenessWindows lf_windowsOf(const LiveAc& aircraft);
void lf_undoNarrowing(LiveAc& aircraft, const LatenessWindows& before);

// ---- Time order ---------------------------------------------------------------------------------

// No sample falls due before the one ahead of it: each is put back to that one's due tick where
// it would, and comes forward to its reported one where it may.
void lf_keepInTimeOrder(SampleQueue& samples);
// The leg in progress ends a tick later (held back by a bend, or turning on the spot).
void lf_frontDueLater(SampleQueue& samples);
// A report for an aircraft not yet in the simulator falls due after its newest sample.
void lf_dueAfterNewest(const SampleQueue& samples, QueuedSample& s);
// A report falls due after the due tick the newest sample was reported for.
void lf_dueAfterNewestReport(const SampleQueue& samples, QueuedSample& s);

// ---- Dead reckoning and lag ---------------------------------------------------------------------

// Reports resume: the front sample is due now and the windows open again.
void lf_endSyntheticCount(LiveAc& aircraft);
// A running extension gives way to samples laid out for the aircraft (the drive onto a stand):
// the windows open again; the front keeps its due tick.
void lf_endSyntheticSamples(LiveAc& aircraft);
// On a taxi leg of `n` ticks: the lag the aircraft has behind its reports is made up by taking
// up to a tenth off the leg's time (and sample 1's due tick with it).
void lf_makeUpLateness(LiveAc& aircraft, int32_t& n);
// Creations wait their turn, two a second: the first sample becomes the point between the
// samples the schedule has reached now, due now with the put-back it had. False when it is not
// behind.
bool lf_catchUpWithSchedule(LiveAc& aircraft);

}  // namespace qel
