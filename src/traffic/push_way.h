// The push-back's own way as its reports show it (push_way.cpp), as the push-back lays it: where
// a place lies in the stand's frame, which of the reports kept are the push-back itself, and the
// points of the way it follows through them.
//
// Threads: main-loop thread.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "foundation/geodesy.h"
#include "traffic/aircraft.h"

namespace qel {

// Reports nearer than this to the one before tell nothing of the way the tail went (metres).
inline constexpr double kPushStep_m = 1.0;
// A push-back reported to end this near the stand's axis went straight back (metres).
inline constexpr double kPushAside_m = 2.0;
inline constexpr double kMetresPerFoot = 0.3048;

// The bearing straight back from the stand, against its heading (radians).
double lf_backFrom(const LiveAc& aircraft);

// A place in metres back along the stand's axis and beside it.
struct StandFrame {
    double back_m = 0.0;   // metres back from the stand along its axis: 30.0
    double aside_m = 0.0;  // metres beside the axis, to the right looking back: -2.5
};
StandFrame lf_standFrame(const LiveAc& aircraft, LatLon p);
// The place that lies so far back along the stand's axis and beside it.
LatLon lf_framePoint(const LiveAc& aircraft, StandFrame f);

// The reports, from the first on, that show the push-back itself: the tail going from the stand
// along a smooth way, its first step within 60 degrees of straight back. A report of a stop ends
// it there (those that repeat its place are none of it); one that does not go on so ends it
// before it (the aircraft sets off nose first), and shows that it ended.
struct PushRun {
    std::size_t count = 0;  // reports, from the first kept: 12
    bool ended = false;
};
PushRun lf_pushRun(const LiveAc& aircraft, const std::vector<QueuedSample>& reports);
// Whether report r says it rolled along `step_rad`: its track within a right angle of it. On a
// smooth way the tracks at both ends of a step lie either side of it; across the stop where a
// push-back ends and the aircraft sets off nose first, one of them points back along it.
bool lf_rolledAlong(const QueuedSample& r, double step_rad);
// Where the kept reports say the push-back ended, once they show that it did.
std::optional<LatLon> lf_reportedPushEnd(const LiveAc& aircraft);

// A point of the push-back's own way in the stand's frame, and the speed reported there.
struct WayPoint {
    StandFrame at;
    double speed_kt = 0.0;  // knots: 3.0
};
double lf_apart_m(StandFrame a, StandFrame b);
// The push-back's own way, from the stand through the first `count` reports kept (its run), a
// few metres apart at least (the run's last among them): those that lie near the axis before the
// tail leaves it are taken on it, but for the last, and points along a straight stretch are left
// out.
std::vector<WayPoint> lf_pushWay(const LiveAc& aircraft, std::size_t count);
// The points of `way` ahead of the aircraft at `here`: those after the stretch of it nearest
// the aircraft, and that stretch's end unless the aircraft has passed it.
std::vector<WayPoint> lf_wayAhead(const std::vector<WayPoint>& way, StandFrame here);

}  // namespace qel
