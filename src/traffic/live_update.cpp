// The per-tick step of one live aircraft: a buffered one goes through the spawning decision, an
// active one moves along its samples and its position joins this tick's batch. A fault in one
// aircraft removes that aircraft; the others go on.
//
// Threads: main-loop thread.
#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/strings.h"
#include "traffic/live_road.h"
#include "traffic/motion.h"

namespace qel {

namespace {

void lf_updateActive(LiveAc& aircraft)
{
    if (g_fastTicks >= aircraft.samples.front().dueTick) {
        nextPosMain(aircraft);
        if (aircraft.state != SimObjectState::active) return;
        aircraft.position.verticalSpeed_fps = aircraft.legVerticalSpeed_fpm / 60.0;
        aircraft.position.airspeed_kt =
            aircraft.samples.front().stationary ? 0.0 : aircraft.legAirspeed_kt;
    }
    if (aircraft.state != SimObjectState::active) return;
    if (!aircraft.samples.front().stationary) lf_moveOneTick(aircraft);
    if (aircraft.objectId != 0) {
        gf_positionFillBatch().push_back({aircraft.position, aircraft.objectId});
        return;
    }
    gf_logHighlighted(fmt::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}",
                                  "updateLiveAc", aircraft.hexId, aircraft.callsign,
                                  aircraft.registration, gf_flightLabel(aircraft),
                                  aircraft.samples.size()));
    // Without an object nothing can be removed from the simulator: the record goes at once,
    // or it would block every later report of its hex id.
    aircraft.drop = 1;
}

void lf_updateEmpty(LiveAc& aircraft)
{
    gf_logHighlighted(fmt::format(
        "{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
        "updateLiveAc", gf_flightDescription(aircraft), aircraft.hexId, gf_toHex(aircraft.objectId),
        aircraft.position.altitude_ft,
        fmt::format("{:.6f},{:.6f}", aircraft.position.latitude, aircraft.position.longitude),
        aircraft.position.airspeed_kt));
    removeAircraftFromSim(aircraft);
}

std::string lf_safeName(FlightPhase phase)
{
    try {
        return std::string(flightPhaseName(phase));
    } catch (const std::out_of_range&) {
        return "?";
    }
}

std::string lf_safeName(SimObjectState state)
{
    try {
        return std::string(simObjectStateName(state));
    } catch (const std::out_of_range&) {
        return "?";
    }
}

}  // namespace

bool updateLiveAc(LiveAc& aircraft)
{
    try {
        switch (aircraft.state) {
        case SimObjectState::buffer: lf_handleBufferedAc(aircraft); break;
        case SimObjectState::active:
            if (aircraft.samples.empty()) {
                lf_updateEmpty(aircraft);
            } else {
                lf_updateActive(aircraft);
            }
            break;
        default: break;
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(),
                                      gf_flightDescription(aircraft), aircraft.samples.size(),
                                      lf_safeName(aircraft.phase), lf_safeName(aircraft.state)));
        // Left in its state the aircraft would throw again on every tick: it goes, once.
        if (aircraft.state == SimObjectState::active) {
            removeAircraftFromSim(aircraft);
        } else if (aircraft.state == SimObjectState::buffer) {
            aircraft.drop = 1;
        }
    }
    return aircraft.drop || aircraft.dropWhileQueued;
}

}  // namespace qel
