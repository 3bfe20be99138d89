// The ground legs' offer to the other motion files (ground_motion.cpp): the start and timing of
// a ground leg, its configuration on each tick, the sample that halves a leg, and the quadratic
// taxi curve that the pace, the corners and the sample stream follow.
//
// Threads: main-loop thread.
#pragma once

#include <cmath>
#include <optional>

#include "traffic/aircraft.h"

namespace qel {

// The speed on the ground from which a take-off roll rotates (kt); no faster, a long leg to a
// sharp corner is split in two (lf_cornerShape).
inline constexpr double kTakeOffSpeed_kt = 43.0;

void nextPosGround(LiveAc& aircraft);
void lf_groundLegTiming(LiveAc& aircraft);
void lf_groundConfig(LiveAc& aircraft);
void lf_startTaxiCurve(LiveAc& aircraft);
// A sample halfway along the leg to sample 1.
void lf_insertMidSample(LiveAc& aircraft);

// A quadratic from its start through the control point to the end point, in metres east and
// north of its start.
struct TaxiCurve {
    double controlEast = 0.0;
    double controlNorth = 0.0;
    double endEast = 0.0;
    double endNorth = 0.0;
};
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
struct CurvePoint {
    double latitude = 0.0;     // degrees
    double longitude = 0.0;    // degrees
    double heading_rad = 0.0;  // tangent, [0, 2π)
};
// The taxi curve at parameter t; none when no curve is active or t lies outside it.
std::optional<CurvePoint> lf_curvePoint(const LiveAc& aircraft, double t);
// The curve parameter `share` of the curve's length beyond parameter u.
double lf_curveParamAfter(const LiveAc& aircraft, double u, double share);

// Where the aircraft is now.
inline LatLon lf_here(const LiveAc& a) { return {a.position.latitude, a.position.longitude}; }
// The speed it drives onto and off a stand at.
inline double lf_standSpeed_kt(const LiveAc& a)
{
    return a.standTaxiSpeed_kt > 0.0 ? a.standTaxiSpeed_kt : 4.0;
}

}  // namespace qel
