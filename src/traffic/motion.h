// Motion: how a live aircraft moves between its samples. The sample stream picks the next leg
// and paces it to the reports; the report intake takes new reports of a known aircraft; the air
// legs climb, turn, descend and flare; the ground legs taxi, curve and roll; push-back and towing
// take it off a stand and onto one. When each sample is flown is the schedule's (schedule.h):
// the motion code tells it how long a leg takes. What it offers the other rooms: the leg starts
// that the update and the intake call, and the drive onto a stand. Its files reach each other
// through headers of their own, which no other room includes, and call one way only, each the
// files below it, lowest first: curve_geometry.h, leg_queries.h, taxi_corners.h, air_legs.h,
// ground_pace.h, pushback.h, report_intake.h, ground_motion.h, sample_stream.h.
//
// Threads: main-loop thread.
#pragma once

#include "traffic/aircraft.h"

namespace qel {

// The next leg: sample 1 becomes the target, with the queue extended where it ran short
// (sample_stream.cpp).
void nextPosMain(LiveAc& aircraft);
// One tick along the leg in progress (sample_stream.cpp).
void lf_moveOneTick(LiveAc& aircraft);
// A new report of a known aircraft, taken in by report_intake.cpp (sample_stream.cpp).
void decodeExisting(LiveAc& aircraft, const QueuedSample& sample);
// The drive onto a stand at that place and heading (ground_motion.cpp).
void drive2Stand(LiveAc& aircraft, double lat, double lon, double heading_rad);

}  // namespace qel
