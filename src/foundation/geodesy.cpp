// Distances, bearings and destination points on a sphere of radius 3437.746770784939 nm.
#include "foundation/geodesy.h"

#include <cmath>

namespace qel {

namespace {

constexpr double lf_deg2rad = 0.017453292519943295;  // π/180
constexpr double lf_rad2deg = 57.29577951308232;     // 180/π
constexpr double lf_fullCircle = 6.283185307179586;  // 2π
constexpr double lf_earthDiameter_nm = 6875.493541569878;
// One foot as an angle at the earth's centre: 1 / (3437.746770784939 nm × 6076.115... ft/nm).
constexpr double lf_ft2rad = 4.787404208238998e-8;

}  // namespace

DistancesFrom::DistancesFrom(LatLon from)
    : from_(from), phi_(from.lat * lf_deg2rad), cosPhi_(std::cos(phi_))
{
}

double DistancesFrom::nm(LatLon to) const
{
    const double phiB = to.lat * lf_deg2rad;
    const double sinHalfDPhi = std::sin((phiB - phi_) / 2);
    const double sinHalfDLambda = std::sin((to.lon - from_.lon) * lf_deg2rad / 2);
    const double h =
        sinHalfDPhi * sinHalfDPhi + std::cos(phiB) * cosPhi_ * sinHalfDLambda * sinHalfDLambda;
    return std::atan2(std::sqrt(h), std::sqrt(1 - h)) * lf_earthDiameter_nm;
}

double gf_distanceNm(LatLon a, LatLon b) { return DistancesFrom(a).nm(b); }

double gf_bearingRad(LatLon from, LatLon to)
{
    const double phi1 = from.lat * lf_deg2rad;
    const double phi2 = to.lat * lf_deg2rad;
    const double dLambda = (to.lon - from.lon) * lf_deg2rad;
    double theta = std::atan2(
        std::sin(dLambda) * std::cos(phi2),
        std::sin(phi2) * std::cos(phi1) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda));
    if (theta < 0) theta += lf_fullCircle;
    return theta;
}

LatLon gf_destinationPoint(LatLon start, double bearing_rad, double distance_ft)
{
    const double phi1 = start.lat * lf_deg2rad;
    const double delta = distance_ft * lf_ft2rad;
    const double phi2 = std::asin(std::sin(phi1) * std::cos(delta) +
                                  std::cos(phi1) * std::sin(delta) * std::cos(bearing_rad));
    const double dLambda = std::atan2(std::sin(bearing_rad) * std::sin(delta) * std::cos(phi1),
                                      std::cos(delta) - std::sin(phi1) * std::sin(phi2));
    const double lambda2 = std::remainder(dLambda + start.lon * lf_deg2rad, lf_fullCircle);
    return {phi2 * lf_rad2deg, lambda2 * lf_rad2deg};
}

}  // namespace qel
