// The turn a live aircraft takes in one tick.
//
// Threads: main-loop thread.
#include "traffic/tick_turns.h"

#include <algorithm>
#include <cmath>

#include "traffic/curve_geometry.h"
#include "traffic/leg_queries.h"
#include "traffic/motion_math.h"
#include "traffic/schedule.h"

namespace qel {

namespace {

// The turn toward `course_rad` left to close before the leg ends (radians).
double lf_turnLeft_rad(const LiveAc& aircraft, double course_rad)
{
    return std::abs(lf_wrapPi(course_rad - aircraft.position.heading_rad)) - 0.5 * kRadPerDeg;
}

// The fastest the aircraft closes a small turn as it rolls: the leg's turn rate, or, rolling,
// up to the rate of a turn on the spot where its speed allows that. The leg's rate spreads the
// turn over the whole leg and more; held to it, an aircraft that set off 8 degrees off its way
// at 12 kt found the turn would outlast the leg and stopped dead to finish it on the spot.
double lf_rollingTurnRate(const LiveAc& aircraft)
{
    if (!(aircraft.pace.now_kt > 0.0)) return aircraft.currentTurnRate_rad;
    const double spot = lf_spotTurnRate(aircraft);
    return std::max(aircraft.currentTurnRate_rad,
                    std::min(spot, lf_movingTurnStep(aircraft, spot)));
}

}  // namespace

void lf_turnTowardDeg(LiveAc& aircraft, double target_rad, double step_rad)
{
    const double heading_deg = aircraft.position.heading_rad / kRadPerDeg;
    const double target_deg = target_rad / kRadPerDeg;
    double diff = std::fmod(target_deg - heading_deg + 540.0, 360.0) - 180.0;
    if (std::abs(diff) <= 0.5) return;
    const double direction = diff > 0.0 ? 1.0 : -1.0;
    aircraft.position.heading_rad =
        lf_tickHeading(aircraft.position.heading_rad + direction * step_rad);
}

// The rate of a turn on the spot: the leg's turn rate, slowed to spread a small turn over a long
// leg as it rolls, is no rate to stand and turn at: at 0.0002 degrees a tick an aircraft whose
// curve began 22 degrees off its heading stood turning for good.
double lf_spotTurnRate(const LiveAc& aircraft)
{
    return std::max(aircraft.currentTurnRate_rad, aircraft.groundTurnRate_rad);
}

// A turn the rest of the leg is too short for, at the rate it may close it as it rolls, is
// finished on the spot first, or the aircraft would arrive still turning (the last step onto a
// stand).
bool lf_turnOutlastsLeg(const LiveAc& aircraft, double course_rad)
{
    const int64_t leftTicks = lf_ticksToDue(aircraft.samples.front());
    const double rate = lf_rollingTurnRate(aircraft);
    return rate > 0.0 &&
           lf_turnLeft_rad(aircraft, course_rad) > static_cast<double>(leftTicks) * rate;
}

// This tick's step of a small turn closed as the aircraft rolls: at the leg's rate, or as much
// faster as finishing it before the leg ends needs.
double lf_rollingTurnStep(const LiveAc& aircraft, double course_rad)
{
    const double spot = aircraft.currentTurnRate_rad;
    const int64_t leftTicks = lf_ticksToDue(aircraft.samples.front());
    const double needed =
        leftTicks > 0 ? lf_turnLeft_rad(aircraft, course_rad) / static_cast<double>(leftTicks)
                      : 0.0;
    return std::min(std::max(spot, std::min(needed, lf_rollingTurnRate(aircraft))),
                    lf_movingTurnStep(aircraft, spot));
}

// A tick spent turning on the spot: the leg waits for it, so that the aircraft still covers it
// whole at its speed (a stand is reached, not left short of). It sets off from there afresh, as
// past no bend: held to the speed it was to regain a bend's at, the 0 kt it stood at where its
// leg ended in a stop, a taxi stood turned toward that stop for good.
void lf_holdForTurn(LiveAc& aircraft)
{
    aircraft.pace.now_kt = 0.0;
    aircraft.pace.bent = false;
    aircraft.pace.held = false;
    lf_frontDueLater(aircraft.samples);
}

}  // namespace qel
