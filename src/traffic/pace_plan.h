// How the speed goes along a leg of a given length and time, at a bounded rate of change: the
// plan the ground pace lays for each leg (ground_pace.cpp). Pure arithmetic on speeds (kt) and
// distances (kt·ticks); it calls no other motion file.
//
// Threads: main-loop thread.
#pragma once

#include <cstdint>
#include <optional>

namespace qel {

// The change of speed on the ground, kt per tick: 3 kt/s is an airliner's usual braking and
// take-off acceleration, and is taken where it keeps to the schedule; 8 kt/s (0.4 g) is the
// firmest, below the 10 kt in a second at which a change looks like a jolt.
inline constexpr double kGentle_ktPerTick = 0.03;
inline constexpr double kFirm_ktPerTick = 0.08;
// Lifting off, as the air legs change speed (5 kt/s).
inline constexpr double kLiftOff_ktPerTick = 0.05;
// The longest a leg is stretched to for want of acceleration: ten minutes.
inline constexpr int32_t kLongestTicks = 60000;

// From the speed it enters at, up or down at the rate to the hold speed, held, then to the speed
// at its end, in `ticks` ticks.
struct PacePlan {
    double hold_kt = 0.0;
    double end_kt = 0.0;
    double rate_ktPerTick = 0.0;
    int32_t ticks = 0;
};

// A leg of `length` kt·ticks entered at v0 and ending at `end` (at the hold speed where none is
// given) in n ticks, gently where that keeps to the time, else at the `firm` rate; where even
// that is too far it takes longer, and where it is too short to slow down in, it ends faster.
PacePlan lf_planPace(double v0, std::optional<double> end, double length, int32_t n, double firm);

}  // namespace qel
