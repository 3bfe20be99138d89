// The stand-in simulator's own controls, for tests and demos: which scenario it plays, failures
// on demand, the simulator's moods (quit, pause, a new flight, a teleport) and what it observed.
// The program itself reaches the stand-in only through the SimConnect declarations.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "simlink/simconnect.h"

namespace qel::simstandin {

// A call that fails on demand. A rule counts the calls of its function on every connection.
struct FailureRule {
    std::string function;  // "SimConnect_AIRemoveObject"
    int after = 0;         // calls that pass before the first failure: 3
    int count = 1;         // calls that fail then; -1 = every later call
    // None: the call returns E_FAIL and does nothing. Otherwise the call returns S_OK, does
    // nothing (SimConnect_Open still connects) and this exception follows with its packet id.
    std::optional<DWORD> exception;
};

// One SimConnect call as the stand-in received it.
struct CallRecord {
    double time_s = 0.0;   // seconds since the simulator started: 12.533
    std::string function;  // "SimConnect_AICreateNonATCAircraft"
    std::string arguments; // "'Airbus A320 Lufthansa', 'DLH4TK', 50.0331, 8.5705, 364, ..."
    HRESULT result = S_OK;
    DWORD packetId = 0;  // packet id given to the call, 0 when it sent nothing
    std::string note;    // what the simulator made of it: "unknown title", "object 101"
};

enum class ObjectKind { user, ai, ownTraffic };

// The state of one simulation object as the stand-in keeps it.
struct ObjectState {
    DWORD id = 0;  // object id: 1 for the user, AI ids from "firstObjectId" on, reused only
                   // when "reuse_object_ids" is set
    ObjectKind kind = ObjectKind::ai;
    SIMCONNECT_SIMOBJECT_TYPE type = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;  // or _HELICOPTER
    std::string title;     // livery title: "Airbus A320 Lufthansa"
    std::string atcId;     // tail number given at creation: "DLH4TK"
    std::string atcModel;  // "A320", from the livery's icao_type_designator or the scenario
    uint64_t owner = 0;    // handle number of the connection that created it, 0 for none
    double latitude = 0.0;        // degrees, 50.0331
    double longitude = 0.0;       // degrees, 8.5705
    double altitude_ft = 0.0;     // feet above sea level, 372.0
    double pitch_rad = 0.0;       // radians, negative nose up
    double bank_rad = 0.0;        // radians
    double heading_rad = 0.0;     // true heading, radians 0 .. 2π
    double verticalSpeed_fps = 0.0;  // feet per second
    double airspeed_kt = 0.0;     // true airspeed, knots
    double groundSpeed_kt = 0.0;  // knots, over the last second of positions
    double groundAltitude_ft = 0.0;   // the field elevation below, feet
    double altAboveGround_ft = 0.0;   // feet
    bool onGround = false;        // "SIM ON GROUND"
    double staticCg_ft = 8.0;     // "Static CG to Ground", feet
    double staticPitch_rad = 0.0; // "Static Pitch", radians
    DWORD lightStates = 0;        // "LIGHT STATES" mask: nav 0x1, beacon 0x2, landing 0x4, ...
    DWORD flaps = 0;              // last FLAPS_SET value, 0 .. 16383
    DWORD spoilersEvent = 0;      // last SPOILERS_SET value, 0 .. 16383
    double spoilersHandle_pct = 0.0;      // "SPOILERS HANDLE POSITION", percent
    double throttle_pct[2] = {0.0, 0.0};  // throttle levers 1 and 2, percent (-100 .. 100)
    bool gearDown = true;
    bool enginesRunning = false;
    bool frozenLatLon = false;
    bool frozenAltitude = false;
    bool frozenAttitude = false;
    bool aiControlled = true;     // until SimConnect_AIReleaseControl
    std::string flightPlanFile;   // as given to SimConnect_AISetAircraftFlightPlan
    std::string flightPlanType;   // "IFR" or "VFR" from the file
    std::string departure;        // "FRA" from the file
    std::string destination;      // "MUC" from the file
    uint32_t positionsSet = 0;    // SimConnect_SetDataOnSimObject calls that moved it
    double createdAt_s = 0.0;     // simulator seconds
};

// The scenario the stand-in plays from the next SimConnect_Open on: the file named by
// VNTQ_SIM_SCENARIO, else the default scenario in the source tree. Drops the whole world,
// every connection and every failure rule. Any thread; not while a dispatch is running.
void reset();
// The same with this scenario file.
void resetFromFile(const std::filesystem::path& scenario);
// The same with this scenario text; relative paths in it are taken from `baseFolder`.
void resetFromText(const std::string& json, const std::filesystem::path& baseFolder = {});

// The scenario that reset() picks.
std::filesystem::path defaultScenarioPath();
// What went wrong loading the scenario (SimConnect_Open then fails); empty when nothing did.
std::string lastError();

void addFailure(const FailureRule& rule);
void clearFailures();

// Moods of the simulator, as if the user did it. Each takes effect at once; its messages are
// delivered by the next dispatch.
void quit();                               // QUIT to every client; later opens fail
void setFlightRunning(bool running);       // "Sim" 1/0, "SimStart"/"SimStop"
void setPaused(bool paused);               // "Pause" 1/0, "Paused"/"Unpaused"
void loadFlight(const std::string& file);  // "FlightLoaded" as a file-name event
void teleportUser(double latitude, double longitude, std::optional<double> altitude_ft = {});
// The simulator removes an AI object or one of its own traffic by itself, as it does with an
// aircraft that crashed: ObjectRemoved to every client. Nothing for the user or an unknown id.
void dropObject(DWORD id);
// ObjectRemoved for an aircraft id to every client, whether or not an object has it (id 0 names
// none); no object goes.
void announceRemoval(DWORD id);

// What the stand-in saw and holds.
std::vector<CallRecord> calls();                // the newest 50000 calls, oldest first
std::vector<ObjectState> objects();             // every object, the user first
std::optional<ObjectState> object(DWORD id);
double simTime_s();                              // seconds since the simulator started
std::filesystem::path tracePath();              // the CSV trace; empty when none is written
int openAttempts();                              // calls of SimConnect_Open so far

}  // namespace qel::simstandin
