// The registrations the program makes on every new connection (system events, data
// definitions, client events and their group), and the requests other threads send through the
// connection: the user aircraft's state, title, model and on-ground flag, and the traffic
// manager's aircraft-in-range, static-CG, flight-plan and control requests.
//
// Threads: lf_simConnectSetup runs on "SimClient"; every request here runs on another thread
// and reads the handle under g_simCallMutex, held for the call.
#include <algorithm>
#include <mutex>
#include <string>

#include <fmt/format.h>

#include "foundation/globals.h"
#include "foundation/log.h"
#include "simlink/link_internal.h"
#include "simlink/link_run.h"
#include "simlink/simlink.h"

namespace qel {

std::mutex g_simQueueMutex;
std::mutex g_simCallMutex;
UserAircraftState& g_userState = g_simLinkRun.userState;  // start-up/main-loop thread only

namespace {

struct Variable {
    DWORD definition;
    const char* name;
    const char* unit;  // nullptr for texts
    SIMCONNECT_DATATYPE type;
};

constexpr SIMCONNECT_DATATYPE kF64 = SIMCONNECT_DATATYPE_FLOAT64;
constexpr SIMCONNECT_DATATYPE kI64 = SIMCONNECT_DATATYPE_INT64;

// In registration order; within a definition the order is the layout of its block.
constexpr Variable kVariables[] = {
    {kDefUserTitle, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV},
    {kDefUserModel, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32},
    {kDefUserOnGround, "SIM ON GROUND", "Bool", kI64},
    {kDefAiPosition, "Plane Latitude", "degree", kF64},
    {kDefAiPosition, "Plane Longitude", "degree", kF64},
    {kDefAiPosition, "Plane Pitch degrees", "radians", kF64},
    {kDefAiPosition, "Plane Bank degrees", "radians", kF64},
    {kDefAiPosition, "Plane Heading degrees true", "radians", kF64},
    {kDefAiPosition, "Plane Altitude", "feet", kF64},
    {kDefAiPosition, "Vertical Speed", "feet per second", kF64},
    {kDefAiPosition, "Airspeed True", "knots", kF64},
    {kDefUserState, "Plane Latitude", "degree", kF64},
    {kDefUserState, "Plane Longitude", "degree", kF64},
    {kDefUserState, "Plane Pitch degrees", "radians", kF64},
    {kDefUserState, "Plane Bank degrees", "radians", kF64},
    {kDefUserState, "Plane Heading degrees true", "radians", kF64},
    {kDefUserState, "Plane Altitude", "feet", kF64},
    {kDefUserState, "Plane Alt Above Ground", "feet", kF64},
    {kDefUserState, "Ground Velocity", "knots", kF64},
    {kDefUserState, "ZULU TIME", "Seconds", kI64},
    {kDefUserState, "ZULU DAY OF YEAR", "Number", kI64},
    {kDefUserState, "ZULU YEAR", "Number", kI64},
    {kDefUserState, "LIGHT STATES", "Mask", kI64},
    {kDefStaticCg, "Static CG to Ground", "feet", kF64},
    {kDefStaticCg, "Static Pitch", "radians", kF64},
    {kDefInRange, "Plane Alt Above Ground", "feet", kF64},
    {kDefInRange, "Ground Altitude", "feet", kF64},
    {kDefInRange, "SIM ON GROUND", "Bool", kI64},
    {kDefInRange, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32},
    {kDefAiControls, "SPOILERS HANDLE POSITION", "percent", kF64},
    {kDefAiControls, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", kF64},
    {kDefAiControls, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", kF64},
};

struct SystemEvent {
    DWORD id;
    const char* name;
};
constexpr SystemEvent kSystemEvents[] = {{kEventSim, "Sim"},
                                         {kEventObjectAdded, "ObjectAdded"},
                                         {kEventObjectRemoved, "ObjectRemoved"},
                                         {kEventFlightLoaded, "FlightLoaded"},
                                         {kEventFrame, "Frame"}};

struct ClientEvent {
    DWORD id;
    const char* name;
};
constexpr ClientEvent kClientEvents[] = {
    {kEventGear, "GEAR_SET"},
    {kEventEngineAutoStart, "ENGINE_AUTO_START"},
    {kEventEngineAutoShutdown, "ENGINE_AUTO_SHUTDOWN"},
    {kEventThrottle, "THROTTLE_SET"},
    {kEventFlaps, "FLAPS_SET"},
    {kEventSpoilers, "SPOILERS_SET"},
    {kEventNavLights, "NAV_LIGHTS_SET"},
    {kEventBeaconLights, "BEACON_LIGHTS_SET"},
    {kEventLandingLights, "LANDING_LIGHTS_SET"},
    {kEventTaxiLights, "TAXI_LIGHTS_SET"},
    {kEventStrobes, "STROBES_SET"},
    {kEventLogoLights, "LOGO_LIGHTS_SET"},
    {kEventCabinLights, "CABIN_LIGHTS_SET"},
    {kEventAllLightsToggle, "ALL_LIGHTS_TOGGLE"},
    {kEventFreezeLatLon, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {kEventFreezeAltitude, "FREEZE_ALTITUDE_SET"},
    {kEventFreezeAttitude, "FREEZE_ATTITUDE_SET"},
};

// ENGINE_AUTO_START stays out of the group; it is still sent with it like every event.
constexpr DWORD kGroupMembers[] = {
    kEventNavLights, kEventBeaconLights, kEventLandingLights,  kEventTaxiLights,
    kEventStrobes,   kEventLogoLights,   kEventCabinLights,    kEventAllLightsToggle,
    kEventFlaps,     kEventSpoilers,     kEventGear,           kEventEngineAutoShutdown,
    kEventThrottle,  kEventFreezeLatLon, kEventFreezeAltitude, kEventFreezeAttitude};

void lf_addToGroup(HANDLE handle, DWORD eventId)
{
    SimConnect_AddClientEventToNotificationGroup(handle, kGroupAi, eventId, TRUE);
}

// A request on the user aircraft (object 0), flags, origin, interval and limit 0.
bool lf_requestUserData(DWORD request, DWORD definition, SIMCONNECT_PERIOD period)
{
    return SUCCEEDED(SimConnect_RequestDataOnSimObject(
        g_hSimConnect, request, definition, SIMCONNECT_OBJECT_ID_USER, period, 0, 0, 0, 0));
}

void lf_requestFailed(std::string_view line)
{
    gf_logHighlighted(line);
    gf_logSimConnectError();
}

}  // namespace

void lf_simConnectSetup(HANDLE handle)
{
    for (const auto& event : kSystemEvents) {
        SimConnect_SubscribeToSystemEvent(handle, event.id, event.name);
    }
    for (const auto& v : kVariables) {
        SimConnect_AddToDataDefinition(handle, v.definition, v.name, v.unit, v.type, 0.0F,
                                       SIMCONNECT_UNUSED);
    }
    for (const auto& event : kClientEvents) {
        SimConnect_MapClientEventToSimEvent(handle, event.id, event.name);
    }
    for (const DWORD eventId : kGroupMembers) lf_addToGroup(handle, eventId);
    SimConnect_SetNotificationGroupPriority(handle, kGroupAi, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
}

namespace {

RepeatedFailure& g_userStateFailure = g_simLinkRun.userStateFailure;  // main-loop thread
RepeatedFailure& g_inRangeFailure = g_simLinkRun.inRangeFailure;      // main-loop thread

UserAircraftState lf_lastUserState()
{
    UserAircraftState state;
    {
        std::scoped_lock lock(g_userStateMutex);
        static_cast<UserStateBlock&>(state) = g_simUserState;
    }
    state.onGround = g_userOnGround;
    return state;
}

}  // namespace

bool RepeatedFailure::confirm(bool ok)
{
    if (ok) {
        failedOnce = false;
        return false;
    }
    if (!failedOnce) {
        failedOnce = true;
        dispatchesAtFailure = g_dispatchCount;
        return false;
    }
    if (g_dispatchCount == dispatchesAtFailure) return false;
    failedOnce = false;
    return true;
}

UserAircraftState gf_requestUserAcPosition()
{
    if (!g_simConnectFailed) {
        bool failed = false;
        {
            std::scoped_lock lock(g_simCallMutex);
            failed = g_hSimConnect &&
                     !lf_requestUserData(kReqUserState, kDefUserState, SIMCONNECT_PERIOD_ONCE);
        }
        if (failed) lf_requestFailed("SimConnect request user ac position fails");
    }
    return lf_lastUserState();
}

UserAircraftState gf_pollUserAcPosition()
{
    if (!g_simConnectFailed) {
        bool ok = true;
        if (std::unique_lock lock(g_simCallMutex, std::try_to_lock); lock && g_hSimConnect) {
            ok = lf_requestUserData(kReqUserState, kDefUserState, SIMCONNECT_PERIOD_ONCE);
        }
        if (g_userStateFailure.confirm(ok)) {
            lf_requestFailed("SimConnect request user ac position fails");
        }
    }
    return lf_lastUserState();
}

bool gf_userOnGroundValid() { return g_userOnGroundValid; }

bool gf_userOnGround() { return g_userOnGround; }

void gf_requestUserAcTitleModel()
{
    bool titleFailed = false;
    bool modelFailed = false;
    {
        std::scoped_lock lock(g_simCallMutex);
        if (!g_hSimConnect) return;
        titleFailed = !lf_requestUserData(kReqUserTitle, kDefUserTitle, SIMCONNECT_PERIOD_ONCE);
        modelFailed = !lf_requestUserData(kReqUserModel, kDefUserModel, SIMCONNECT_PERIOD_ONCE);
    }
    if (titleFailed) lf_requestFailed("SimConnect request user ac title fails");
    if (modelFailed) lf_requestFailed("SimConnect reques user ac model fails");
}

bool gf_requestUserOnGroundEverySecond()
{
    // Without a connection nothing failed: the connection's end is reported by its thread.
    std::scoped_lock lock(g_simCallMutex);
    if (!g_hSimConnect) return true;
    return lf_requestUserData(kReqUserOnGround, kDefUserOnGround, SIMCONNECT_PERIOD_SECOND);
}

namespace {

// Request 101 on a held connection; false when it failed.
bool lf_requestInRange()
{
    const auto radius_m = static_cast<DWORD>(std::max(g_range_m.load(), 0));
    // Helicopters are a type of their own; without them a created helicopter would never be
    // paired with its request.
    bool ok = true;
    for (const auto type :
         {SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT, SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER}) {
        ok = ok && SUCCEEDED(SimConnect_RequestDataOnSimObjectType(g_hSimConnect, kReqInRange,
                                                                   kDefInRange, radius_m, type));
    }
    return ok;
}

}  // namespace

bool gf_requestAircraftInRange()
{
    if (g_simConnectFailed) return false;
    bool ok = true;
    {
        std::scoped_lock lock(g_simCallMutex);
        if (!g_hSimConnect) return false;
        ok = lf_requestInRange();
    }
    if (!ok) lf_requestFailed("SimConnect request ac within range fails");
    return ok;
}

bool gf_tryRequestAircraftInRange()
{
    if (g_simConnectFailed) return true;
    bool ok = true;
    {
        std::unique_lock lock(g_simCallMutex, std::try_to_lock);
        if (!lock) return false;
        if (g_hSimConnect) ok = lf_requestInRange();
    }
    if (g_inRangeFailure.confirm(ok)) lf_requestFailed("SimConnect request ac within range fails");
    return true;
}

bool gf_requestStaticCg(uint32_t objectId)
{
    if (g_simConnectFailed) return false;
    bool ok = true;
    {
        std::scoped_lock lock(g_simCallMutex);
        if (!g_hSimConnect) return false;
        ok = SUCCEEDED(SimConnect_RequestDataOnSimObject(g_hSimConnect, kReqStaticCg, kDefStaticCg,
                                                         objectId, SIMCONNECT_PERIOD_ONCE, 0, 0, 0,
                                                         0));
    }
    if (!ok) lf_requestFailed("SimConnect request StaticCG fails");
    return ok;
}

bool gf_setAiFlightPlan(uint32_t objectId, const std::filesystem::path& planFile)
{
    if (g_simConnectFailed) return false;
    // The simulator takes the path in its ANSI code page; ours is the file system's bytes.
    const std::string path = planFile.string();
    std::scoped_lock lock(g_simCallMutex);
    return g_hSimConnect && SUCCEEDED(SimConnect_AISetAircraftFlightPlan(
                                g_hSimConnect, objectId, path.c_str(), kReqFlightPlan));
}

bool gf_setAiControls(uint32_t objectId, double spoilers_pct, double throttle1_pct,
                      double throttle2_pct)
{
    double block[3] = {spoilers_pct, throttle1_pct, throttle2_pct};
    // Under the call mutex like every other call: a data set slipping in between a create call
    // and SimConnect_GetLastSentPacketID on the "SimClient" thread would take the packet id that
    // pairs a creation failure with its aircraft.
    std::scoped_lock lock(g_simCallMutex);
    return g_hSimConnect &&
           SUCCEEDED(SimConnect_SetDataOnSimObject(g_hSimConnect, kDefAiControls, objectId, 0, 0,
                                                   sizeof block, block));
}

}  // namespace qel
