// The RealTraffic client's contract with the rest of the program: the session sign-in and
// sign-out, the "Weather Reader" and "Traffic Reader" thread bodies, and what the application
// core reads of them while it starts the readers and runs the main loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <string>

namespace qel {

// The first QNH published by the Weather Reader, hPa (900..1100); 0 until then (atomic).
extern std::atomic<int32_t> g_qnhReady;

// Signs in to the RealTraffic API on the calling thread (the start-up thread); on success the
// session GUID is kept for both readers. Never throws; a failure leaves the GUID empty.
void gf_authenticater();
// The session GUID of the sign-in; empty while not signed in. Any thread.
std::string gf_rtGuid();
// Signs out (POST /v4/deauth) and forgets the GUID; start-up thread, after both readers ended.
void gf_deauthenticate();
// Back to the state after construction (GUID, handles, stop flags, finished marks, time offset)
// for an in-process restart; start-up thread, after both readers ended.
void gf_resetRtClient();

// The reader threads' bodies. Each repeats its request at the server's pace until its stop flag
// is raised or `stop` is requested, then sets its finished mark. A reader that fails stops the
// program through gf_readerStopped and its partner through its stop flag.
void gf_weatherReader(std::stop_token stop);
void gf_trafficReader(std::stop_token stop);
// Raise a reader's stop flag, wake it, and abort a transfer it has under way; any thread.
void gf_stopWeatherReader();
void gf_stopTrafficReader();
// The reader's receive loop has returned; any thread.
bool gf_weatherReaderFinished();
bool gf_trafficReaderFinished();

// The Traffic Reader has received traffic since it started (atomic).
bool gf_trafficReceiving();
// Epoch seconds of the newest traffic data; 0 until traffic arrived. Any thread.
int64_t gf_trafficDataTime();
// The centre of the traffic query box, degrees; main-loop thread.
void gf_setTrafficReference(double latitude, double longitude);
// Rebuilds the traffic query box around the reference position; main-loop thread.
void gf_updateTrafficBox();
// Shows both readers' statuses in the window; main-loop thread.
void gf_updateReaderStatus();
// Phase A of the parked-traffic refresh: collect the callsigns and hex ids of the decoded live
// flights until the re-plan of phase B takes them. Main-loop thread.
void gf_startLiveIdCollection();

// ---- Control of the stand-in client ----------------------------------------------------------
// Until the client is built, sign-in and readers answer at once from these switches (any
// thread): a GUID, a QNH of 1013 hPa and traffic, or the failures tests ask for.
struct RealTrafficStandIn {
    std::atomic<bool> signInFails{false};    // the sign-in yields no GUID
    std::atomic<bool> noQnh{false};          // the Weather Reader never publishes a QNH
    std::atomic<bool> noTraffic{false};      // the Traffic Reader never receives traffic
    std::atomic<bool> trafficFails{false};   // the Traffic Reader stops with an error at once
    std::atomic<int32_t> stopDelay_s{0};     // seconds the readers run on after a stop
    std::atomic<int32_t> signOuts{0};        // sign-outs since the last reset of the stand-in
};
extern RealTrafficStandIn g_realTrafficStandIn;
// Back to the defaults above; tests, before a run starts.
void gf_resetRealTrafficStandIn();

}  // namespace qel
