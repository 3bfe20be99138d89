// The configuration of AI aircraft (spoilers, flaps, gear, throttle, lights, engines) as client
// events on the simulator link's queue. Throttle and flaps remember what was sent, so repeated
// requests cost nothing.
//
// Threads: main-loop thread; the queue calls take g_simQueueMutex.
#include <array>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "traffic/live_road.h"

namespace qel {

namespace {

constexpr std::array<uint32_t, 5> kThrottleData = {0, 4914, 8191, 11468, 16383};
constexpr std::array<uint32_t, 5> kFlapsData = {0, 3072, 10240, 16383, 0};

bool lf_rotorcraft(const StaticAc& aircraft)
{
    return aircraft.weightClass == WeightClass::Rotorcraft;
}

}  // namespace

void gf_setSpoilers(StaticAc& aircraft, bool on)
{
    if (lf_rotorcraft(aircraft)) return;
    gf_queueClientEvent(aircraft.objectId, kEventSpoilers, on ? 16383U : 0U);
}

void gf_setGear(StaticAc& aircraft, bool down)
{
    if (lf_rotorcraft(aircraft)) return;
    gf_queueClientEvent(aircraft.objectId, kEventGear, down ? 1U : 0U);
}

void gf_setFlaps(StaticAc& aircraft, uint32_t index)
{
    if (index == aircraft.flapsIndex || lf_rotorcraft(aircraft)) return;
    if (index < kFlapsData.size()) {
        gf_queueClientEvent(aircraft.objectId, kEventFlaps, kFlapsData[index]);
    } else {
        gf_logHighlighted("gf_setFlaps: invalid flaps index");
    }
    aircraft.flapsIndex = index;
}

void gf_setThrottle(StaticAc& aircraft, uint32_t level)
{
    if (level == aircraft.throttleLevel) return;
    if (level < kThrottleData.size()) {
        gf_queueClientEvent(aircraft.objectId, kEventThrottle, kThrottleData[level]);
    }
    aircraft.throttleLevel = level;
}

void gf_setParkedConfig(StaticAc& aircraft)
{
    gf_setThrottle(aircraft, 0);
    gf_setFlaps(aircraft, 0);
    gf_queueEngineAutoShutdown(aircraft.objectId);
    const uint32_t nav = NAV_LIGHTS_WHILE_PARKED.current ? 1U : 0U;
    const uint32_t cabin = aircraft.noCabinLights ? 0U : (gf_randomBelow(10) <= 8 ? 1U : 0U);
    gf_queueLightEvents(aircraft.objectId, {nav, 0U, 0U, 0U, 0U, 1U, cabin});
}

}  // namespace qel
