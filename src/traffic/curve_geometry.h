// The quadratic taxi curve and the bends of the way on the ground (curve_geometry.cpp): where a
// curve runs, how long it is, how sharp it is at each point and how fast an aircraft may round
// it. The lowest of the motion files: it reads the aircraft and calls none of the others.
//
// Threads: main-loop thread.
#pragma once

#include <cmath>
#include <limits>
#include <optional>

#include "traffic/aircraft.h"
#include "traffic/motion_math.h"

namespace qel {

// A big turn on the spot goes at up to this many times the ground turn rate; moving, the heading
// never turns faster.
inline constexpr double kSpotTurnFactor = 3.0;
inline constexpr double kMpsPerKt = kMetresPerNm / 3600.0;
// A bend's limit (squared speed) where it does not bend.
inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

// Where the aircraft is now.
inline LatLon lf_here(const LiveAc& a) { return {a.position.latitude, a.position.longitude}; }

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
// The aircraft's taxi curve from where it is through `control` to `end`, its sharpest point
// noted.
void lf_setCurve(LiveAc& aircraft, LatLon control, LatLon end);
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

// The fastest at parameter u of a taxi curve, squared ((m/s)²); kUnbounded where it is straight.
double lf_curveLimitSq(const LiveAc& aircraft, const TaxiCurve& curve, double u);
// The parameter of a taxi curve's sharpest point.
double lf_sharpestParam(const TaxiCurve& curve);
// The fastest through the sharpest point of a taxi curve (infinite on a straight one).
double lf_curveSlowest_kt(const LiveAc& aircraft, const TaxiCurve& curve);
// Notes where the aircraft's taxi curve, just laid, is sharpest and the fastest through there.
void lf_noteCurveSharpest(LiveAc& aircraft);
// The radius of the tightest bend the aircraft rounds at v_kt (metres).
double lf_bendRadius_m(const LiveAc& aircraft, double v_kt);
// The most the heading may turn in this tick (radians) at the speed the aircraft moves on the
// ground; `spot` (the turn rate on the spot) while it stands or flies.
double lf_movingTurnStep(const LiveAc& aircraft, double spot_rad);

}  // namespace qel
