// The angle, place and tick arithmetic that the motion files of live aircraft share: one fast
// tick is 10 ms, angles are radians, places degrees.
//
// Threads: any (no state).
#pragma once

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

inline bool lf_samePlace(const PosSample& a, const PosSample& b)
{
    return std::abs(a.latitude - b.latitude) < kSame_deg &&
           std::abs(a.longitude - b.longitude) < kSame_deg;
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
