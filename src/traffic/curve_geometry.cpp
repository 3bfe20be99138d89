// The quadratic taxi curve and the bends of the way on the ground: a curve's points, tangent,
// length and steps along it, where it is sharpest, and how fast an aircraft rounds a bend of a
// radius, sideways and in its turn rate.
//
// Threads: main-loop thread.
#include "traffic/curve_geometry.h"

#include <algorithm>
#include <cmath>

namespace qel {

namespace {

// Round a bend sideways at a tenth under the 0.3 g above which a watcher sees the aircraft skid
// round it (m/s²): watched over a second of changing speed and bend, the turn reads a little
// harder than it is at any one point.
constexpr double kSideways_mps2 = 0.27 * 9.80665;

// Simpson's rule over 16 intervals: within a millimetre for the curves of one taxi leg.
double lf_curveLength_m(const TaxiCurve& c)
{
    constexpr int kIntervals = 16;
    double sum = lf_curveRate_m(c, 0.0) + lf_curveRate_m(c, 1.0);
    for (int i = 1; i < kIntervals; ++i) {
        sum += (i % 2 == 1 ? 4.0 : 2.0) * lf_curveRate_m(c, static_cast<double>(i) / kIntervals);
    }
    return sum / (3.0 * kIntervals);
}

// The fastest the heading turns on the spot (radians a second; 0 unknown).
double lf_spin_radPerS(const LiveAc& aircraft)
{
    return std::max(aircraft.groundTurnRate_rad * kSpotTurnFactor * 100.0, 0.0);
}

// The fastest through a bend of radius r, squared ((m/s)²): kSideways_mps2, and the heading
// turning no faster than on the spot.
double lf_bendLimitSq(const LiveAc& aircraft, double r_m)
{
    const double spin_radPerS = lf_spin_radPerS(aircraft);
    double v = std::sqrt(kSideways_mps2 * r_m);
    if (spin_radPerS > 0.0) v = std::min(v, spin_radPerS * r_m);
    return v * v;
}

}  // namespace

TaxiCurve lf_taxiCurve(const LiveAc& aircraft)
{
    return {aircraft.curveControlEast, aircraft.curveControlNorth, aircraft.curveEndEast,
            aircraft.curveEndNorth};
}

TaxiCurve lf_curveThrough(LatLon from, LatLon control, LatLon end)
{
    const double perLon = lf_metresPerLonDeg(from.lat);
    return {lf_lonDelta(control.lon, from.lon) * perLon, (control.lat - from.lat) * kMetresPerDeg,
            lf_lonDelta(end.lon, from.lon) * perLon, (end.lat - from.lat) * kMetresPerDeg};
}

double lf_curveRate_m(const TaxiCurve& c, double u)
{
    const double east = 2.0 * (1.0 - u) * c.controlEast + 2.0 * u * (c.endEast - c.controlEast);
    const double north = 2.0 * (1.0 - u) * c.controlNorth + 2.0 * u * (c.endNorth - c.controlNorth);
    return std::hypot(east, north);
}

// In local metres east and north of where the aircraft is.
void lf_setCurve(LiveAc& aircraft, LatLon control, LatLon end)
{
    const TaxiCurve c = lf_curveThrough(lf_here(aircraft), control, end);
    aircraft.curveOriginLat = aircraft.position.latitude;
    aircraft.curveOriginLon = aircraft.position.longitude;
    aircraft.curveStart = 0.0;
    aircraft.curveEnd = 1.0;
    aircraft.curveEndNorth = c.endNorth;
    aircraft.curveEndEast = c.endEast;
    if (std::isfinite(c.controlEast) && std::isfinite(c.controlNorth)) {
        aircraft.curveControlEast = c.controlEast;
        aircraft.curveControlNorth = c.controlNorth;
    }
    aircraft.curveParam = 0.0;
    aircraft.curveLength_m = lf_curveLength_m(c);
    lf_noteCurveSharpest(aircraft);
}

std::optional<double> lf_curveWay_nm(const LiveAc& aircraft)
{
    if (!lf_curveActive(aircraft)) return std::nullopt;
    return aircraft.curveLength_m / kMetresPerNm;
}

std::optional<CurvePoint> lf_curvePoint(const LiveAc& aircraft, double t)
{
    if (!lf_curveActive(aircraft) || !(t >= aircraft.curveStart && t <= aircraft.curveEnd)) {
        return std::nullopt;
    }
    const double u = (t - aircraft.curveStart) / (aircraft.curveEnd - aircraft.curveStart);
    if (!(u >= 0.0 && u <= 1.0)) return std::nullopt;
    const double ce = aircraft.curveControlEast, cn = aircraft.curveControlNorth;
    const double ee = aircraft.curveEndEast, en = aircraft.curveEndNorth;
    const double east = 2.0 * (1.0 - u) * u * ce + u * u * ee;
    const double north = 2.0 * (1.0 - u) * u * cn + u * u * en;
    const double te = 2.0 * u * (ee - ce) + 2.0 * (1.0 - u) * ce;
    const double tn = 2.0 * u * (en - cn) + 2.0 * (1.0 - u) * cn;
    CurvePoint p;
    p.heading_rad = lf_wrap2Pi(std::atan2(te, tn));
    p.latitude = aircraft.curveOriginLat + north / kMetresPerDeg;
    p.longitude =
        lf_wrapLon(aircraft.curveOriginLon + east / lf_metresPerLonDeg(aircraft.curveOriginLat));
    return p;
}

double lf_curveParamAfter(const LiveAc& aircraft, double u, double share)
{
    // Equal steps of the parameter are not equal distances: on a curve whose control point lies
    // near its start the aircraft would crawl into the corner and race out of it at up to twice
    // the leg's speed (a line-up onto the runway), then drop to the next leg's. The step is
    // measured along the curve instead (midpoint rule); the floor keeps a control point on the
    // start from stalling it.
    const double metres = share * aircraft.curveLength_m;
    const double floor = 0.05 * aircraft.curveLength_m;
    if (!(floor > 0.0)) return u + share;
    const TaxiCurve curve = lf_taxiCurve(aircraft);
    const double mid = u + 0.5 * metres / std::max(lf_curveRate_m(curve, u), floor);
    return u + metres / std::max(lf_curveRate_m(curve, std::min(mid, 1.0)), floor);
}

// The fastest at parameter u of a taxi curve, squared ((m/s)²). The radius at u is
// |B'|³ / |B' × B''|, and the cross product is the same all along a quadratic.
double lf_curveLimitSq(const LiveAc& aircraft, const TaxiCurve& c, double u)
{
    const double cross = 4.0 * std::abs(c.controlEast * c.endNorth - c.controlNorth * c.endEast);
    if (!(cross > 1e-9)) return kUnbounded;
    const double rate = lf_curveRate_m(c, u);
    return lf_bendLimitSq(aircraft, rate * rate * rate / cross);
}

// The parameter of a taxi curve's sharpest point, where |B'| is least.
double lf_sharpestParam(const TaxiCurve& c)
{
    const double dEast = 2.0 * c.controlEast - c.endEast;
    const double dNorth = 2.0 * c.controlNorth - c.endNorth;
    const double dd = dEast * dEast + dNorth * dNorth;
    return dd > 0.0 ? std::clamp((c.controlEast * dEast + c.controlNorth * dNorth) / dd, 0.0, 1.0)
                    : 0.0;
}

double lf_curveSlowest_kt(const LiveAc& aircraft, const TaxiCurve& curve)
{
    return std::sqrt(lf_curveLimitSq(aircraft, curve, lf_sharpestParam(curve))) / kMpsPerKt;
}

void lf_noteCurveSharpest(LiveAc& aircraft)
{
    const TaxiCurve curve = lf_taxiCurve(aircraft);
    aircraft.curveSharpest = lf_sharpestParam(curve);
    aircraft.curveSharpestLimitSq = lf_curveLimitSq(aircraft, curve, aircraft.curveSharpest);
}

double lf_bendRadius_m(const LiveAc& aircraft, double v_kt)
{
    const double v_mps = std::max(v_kt, 0.0) * kMpsPerKt;
    const double spin_radPerS = lf_spin_radPerS(aircraft);
    const double r_m = v_mps * v_mps / kSideways_mps2;
    return spin_radPerS > 0.0 ? std::max(r_m, v_mps / spin_radPerS) : r_m;
}

double lf_movingTurnStep(const LiveAc& aircraft, double spot_rad)
{
    const double v_mps = aircraft.pace.now_kt * kMpsPerKt;
    if (!aircraft.onGround || !(aircraft.pace.nominal_kt > 0.0) || !(v_mps > 0.0)) return spot_rad;
    const double spin_radPerS = lf_spin_radPerS(aircraft);
    const double sideways_radPerS = kSideways_mps2 / v_mps;
    return (spin_radPerS > 0.0 ? std::min(sideways_radPerS, spin_radPerS) : sideways_radPerS) /
           100.0;
}

}  // namespace qel
