// The simulator link's contract with the rest of the program: the "SimClient" thread, the flags
// and the user aircraft's state it publishes, and the services the application core calls at
// start-up, in the main loop and at close-down.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <stop_token>

namespace qel {

// ---- Flags written by the "SimClient" thread (atomic) ---------------------------------------

extern std::atomic<bool> g_flightRunning;     // a flight is loaded and running in the simulator
extern std::atomic<bool> g_simConnectFailed;  // a SimConnect request has failed in this run
// Raised on each reply to the once-per-second on-ground request; the main loop takes it with
// an exchange to false.
extern std::atomic<bool> g_secondPassed;
extern std::atomic<bool> g_simNotConnected;  // no SimConnect connection is open
// The simulator's zulu date and time, epoch seconds; 0 until the simulator reported it.
extern std::atomic<int64_t> g_simZuluTime;

// Guards the queues between the traffic manager and the "SimClient" thread and the requests
// other threads send through the connection. May be taken while holding the SimConnect result
// mutex, never the reverse; never held together with g_trafficMutex.
extern std::mutex g_simQueueMutex;

// ---- The user aircraft ----------------------------------------------------------------------

struct UserAircraftState {
    double latitude = 0.0;     // degrees, 52.3086
    double longitude = 0.0;    // degrees, 4.76389
    double altitude_ft = 0.0;  // feet above sea level, -11.0
    double heading_rad = 0.0;  // true heading, radians, 0.0 .. 2π
    bool onGround = false;     // "SIM ON GROUND"
};

// The main loop's copy of the user aircraft's state; start-up/main-loop thread only.
extern UserAircraftState g_userState;

// The newest user aircraft state the "SimClient" thread received; any thread.
UserAircraftState gf_requestUserAcPosition();
// Whether a reply to the on-ground request has arrived in this run; any thread.
bool gf_userOnGroundValid();
// Asks for the user aircraft's title and ATC model; start-up thread.
void gf_requestUserAcTitleModel();
// Request 108: "SIM ON GROUND" of the user aircraft once per simulator second, which paces the
// main loop's per-second work. The caller holds g_simQueueMutex. False when the request failed.
bool gf_requestUserOnGroundEverySecond();
// A failed SimConnect request: "SimConnect request error" on the message line, the
// failed-request flag, and a stop with SIMCONNECT ERROR and a restart delay of 9 s. Any thread.
void gf_logSimConnectError();

// ---- The thread and its queues --------------------------------------------------------------

// The "SimClient" thread's body: opens the connection (retrying), dispatches until `stop` is
// requested, then closes the connection.
void lf_simConnectThread(std::stop_token stop);
// Reserves room in the queues to and from the traffic manager; start-up thread, every run.
void gf_reserveSimQueues();
// Empties both halves of the position double buffer; the caller holds g_simQueueMutex.
void gf_clearPositionBuffers();
// Empties the map of AI creations awaiting their object; main-loop thread.
void gf_clearPendingCreations();
// Logs the flights that found no livery; main-loop thread.
void gf_logNoMatch();

// ---- Flight-plan files ----------------------------------------------------------------------

// Creates the flight-plan folder orig_dest in the per-user folder and remembers its path.
// Start-up thread; throws std::filesystem::filesystem_error when it cannot be created.
void gf_createFlightPlanFolder();
// The flight-plan folder of this run; empty before gf_createFlightPlanFolder.
std::filesystem::path gf_flightPlanFolder();

// Brings the link back to its state before the first start (handle, queues, packet ids, user
// aircraft texts and state, flags) for an in-process restart. Start-up thread, after the
// "SimClient" thread has been joined.
void gf_resetSimLink();

// ---- Control of the stand-in simulator side --------------------------------------------------
// Until the simulator link is built, the "SimClient" thread plays a simulator with a loaded
// flight; these switches let tests and the demo shape it. Any thread.
struct SimLinkStandIn {
    std::atomic<bool> flightLoaded{true};      // raise g_flightRunning once connected
    std::atomic<bool> secondsRunning{true};    // pulse g_secondPassed once a simulator second
    std::atomic<bool> failOnGroundRequest{false};  // request 108 fails
    std::atomic<bool> disconnect{false};       // the simulator goes away: SIM WAS CLOSED
    std::atomic<double> latitude{52.3086};     // degrees, the user aircraft's position
    std::atomic<double> longitude{4.76389};    // degrees
    std::atomic<bool> onGround{true};
    std::atomic<int32_t> secondsSent{0};       // simulator seconds pulsed since the thread began
};
extern SimLinkStandIn g_simLinkStandIn;
// Back to the defaults above; tests, before any thread of a run is started.
void gf_resetSimLinkStandIn();

}  // namespace qel
