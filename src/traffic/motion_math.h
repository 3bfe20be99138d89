// The angle, place and tick arithmetic that the motion files of live aircraft share: one fast
// tick is 10 ms, angles are radians, places degrees.
//
// Threads: any (no state).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <stdexcept>

#include "foundation/geodesy.h"
#include "realtraffic/records.h"

namespace qel {

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kTwoPi = 2.0 * std::numbers::pi;
inline constexpr double kRadPerDeg = kPi / 180.0;
inline constexpr double kTicksPerHour = 360000.0;
inline constexpr double kFeetPerNm = 6076.11549;
// Local metres north of a place per degree of latitude; east, times the cosine of its latitude.
inline constexpr double kMetresPerDeg = 111132.95;
inline constexpr double kMetresPerNm = 1852.0;
// Two places closer than this in both coordinates are one (degrees).
inline constexpr double kSame_deg = 1e-8;
// The shortest leg (ticks).
inline constexpr int32_t kMinLegTicks = 25;

inline LatLon lf_at(const PosSample& s) { return {s.latitude, s.longitude}; }

// Degrees of longitude east from `from` to `to`, the short way round, in [-180, 180]: across
// longitude 180 the plain difference is nearly 360 degrees the other way, and a leg laid by it
// went round the globe.
inline double lf_lonDelta(double to, double from) { return std::remainder(to - from, 360.0); }
// A longitude into [-180, 180].
inline double lf_wrapLon(double lon) { return std::remainder(lon, 360.0); }
// Local metres east per degree of longitude at a latitude. Never 0: at a pole, where every
// longitude is the same place, a conversion back to degrees still gives a number.
inline double lf_metresPerLonDeg(double lat_deg)
{
    return std::max(std::abs(std::cos(lat_deg * kRadPerDeg)), 1e-9) * kMetresPerDeg;
}

// Near a pole the meridians close in: a leg laid in even steps of latitude and longitude
// swerves off its great circle and changes its speed along it, and one over the pole goes round
// it. There a leg is laid in even steps of the plane about the pole instead (degrees from the
// pole along the meridian, turned by the longitude), in which great circles near the pole are
// close to straight.
inline constexpr double kPolarFrom_deg = 88.0;
struct PolarPoint {
    double x = 0.0;  // degrees
    double y = 0.0;
};
inline PolarPoint lf_polarOf(double lat_deg, double lon_deg, bool north)
{
    const double r = north ? 90.0 - lat_deg : 90.0 + lat_deg;
    return {r * std::cos(lon_deg * kRadPerDeg), r * std::sin(lon_deg * kRadPerDeg)};
}
inline LatLon lf_fromPolar(PolarPoint p, bool north)
{
    const double r = std::hypot(p.x, p.y);
    return {north ? 90.0 - r : r - 90.0, std::atan2(p.y, p.x) / kRadPerDeg};
}

inline bool lf_samePlace(const PosSample& a, const PosSample& b)
{
    return std::abs(a.latitude - b.latitude) < kSame_deg &&
           std::abs(lf_lonDelta(a.longitude, b.longitude)) < kSame_deg;
}

// Into (-π, π].
inline double lf_wrapPi(double a)
{
    a = std::fmod(a, kTwoPi);
    if (a > kPi) a -= kTwoPi;
    if (a < -kPi) a += kTwoPi;
    return a;
}

// Into [0, 2π).
inline double lf_wrap2Pi(double a)
{
    a = std::fmod(a, kTwoPi);
    return a < 0.0 ? a + kTwoPi : a;
}

// The whole number of ticks, or a narrowing error for NaN, infinities and huge values.
inline int32_t lf_ticksOf(double value)
{
    const double rounded = std::round(value);
    if (!std::isfinite(rounded) || rounded > std::numeric_limits<int32_t>::max() ||
        rounded < std::numeric_limits<int32_t>::min()) {
        throw std::range_error("narrowing error");
    }
    return static_cast<int32_t>(rounded);
}

}  // namespace qel
