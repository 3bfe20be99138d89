// Ground motion of live aircraft: ground legs, their timing and the taxi configuration.
//
// Threads: main-loop thread.
#include <algorithm>
#include <cmath>

#include "traffic/traffic_internal.h"

namespace qel {

namespace {

constexpr double kTicksPerHour = 360000.0;
constexpr int32_t kMinLegTicks = 25;

}  // namespace

// Today a ground leg is timed like an air leg, from its distance and mean speed.
void nextPosGround(LiveAc& aircraft) { lf_groundLegTiming(aircraft); }

// Today the leg takes its distance at the mean speed of its two samples, 25 ticks at least.
void lf_groundLegTiming(LiveAc& aircraft)
{
    const PosSample& a = aircraft.samples[0];
    const PosSample& b = aircraft.samples[1];
    if (b.stationary) return;
    const double speed = lf_legSpeed(aircraft);
    const double ticks =
        gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * kTicksPerHour /
        speed;
    const double bounded = std::isfinite(ticks) ? std::clamp(ticks, 0.0, 1e9) : 0.0;
    lf_setDueTick(aircraft, std::max(static_cast<int32_t>(std::lround(bounded)), kMinLegTicks));
}

// Today the aircraft turns on the spot toward the next sample at its ground turn rate and
// rolls at the leg's speed.
void lf_groundConfig(LiveAc& aircraft)
{
    aircraft.currentTurnRate_rad = aircraft.groundTurnRate_rad;
    aircraft.turnOnSpot = 1;
    aircraft.altRate = 0.0;
    aircraft.legVerticalSpeed_fpm = 0.0;
    aircraft.legAirspeed_kt = aircraft.samples[1].groundSpeed_kt;
}

}  // namespace qel
