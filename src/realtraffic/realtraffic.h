// The RealTraffic client's contract with the rest of the program: the session sign-in and
// sign-out, the "Weather Reader" and "Traffic Reader" thread bodies, what the application core
// and the traffic manager hand to the readers, and what they read back.
//
// The web API's base URL is "https://rtw.flyrealtraffic.com", or the environment variable
// VNTQ_RT_URL (http on loopback works); the credential is VNTQ_RT_LICENSE, else the first line
// of "RealTraffic.license" in the per-user folder. The credential is never logged.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/geodesy.h"
#include "foundation/run_values.h"
#include "realtraffic/records.h"

namespace qel {

// The g_ values of this header that live for one run are members of the client's run state
// (realtraffic/rt_run.h), reset with gf_resetRtRun.

// The first QNH published by the Weather Reader, hPa (900..1100); 0 until then (atomic).
extern std::atomic<int32_t>& g_qnhReady;
// The QNH the approach corrects with, hPa; the Weather Reader publishes it, and the traffic
// manager sets it back to 1013 when it clears its state (atomic).
extern std::atomic<int32_t>& g_trafficQnh;

// What the main window shows of the client: the sign-in, the account text, the readers'
// statuses and the QNH. The readers write it, the core marks the readers waiting, the painter
// reads it; the writer repaints the area that shows it.
struct RtWindowStatus {
    RunAtomic<bool> realTrafficSignedIn{false};
    RunAtomic<bool> realTrafficIdle{true};      // the RealTraffic box is black
    SharedText realTrafficText;                 // "RT Professional license, 30 days left"
    RunAtomic<int32_t> trafficReaderStatus{3};  // 1 receiving, 2 no data, 3 stopped
    RunAtomic<int32_t> weatherReaderStatus{3};  // the same for the weather reader
    RunAtomic<int32_t> qnh{0};                  // hPa; 0 = none
    bool operator==(const RtWindowStatus&) const = default;
};
extern RtWindowStatus& g_rtWindowStatus;

// The delay after which a poll's reports are flown (seconds): the hand-over tells a poll from a
// step of the buffered first load by it.
inline constexpr int32_t kPollDelay_s = 30;

// Hands one decoded batch of the Traffic Reader to the traffic manager: `delay_s` kPollDelay_s
// for a poll, 0, 6, 12, 18, 24 for the steps of the buffered first load. Consumes the batch (empty on
// return); an empty batch sets the last report time (g_historicTime) to 0. "Traffic Reader"
// thread; calls the poll intake or the first-load intake without holding a lock.
void gf_pushAddingStack(std::vector<LiveAircraftRecord>& batch, int32_t delay_s);

// ---- The hand-over to the traffic manager, which fills in the intakes at start ------------------

// Takes one poll of the Traffic Reader for the traffic manager, with the delay it was handed
// over with: true when taken (it then moves the records out), false when dropped. The traffic
// manager decides from the report times and the delay when each position is flown. Without it
// every poll is dropped.
using PollIntake = std::function<bool(std::vector<LiveAircraftRecord>&, int32_t delay_s)>;
void gf_setPollIntake(PollIntake intake);
// The traffic manager's fast ticks so far, the time base of the samples' due ticks; raised by
// the main loop only (atomic).
extern std::atomic<int32_t> g_fastTicks;
// Merges the records of one step of the buffered first load, with its delay, on the "Traffic
// Reader" thread; the main loop does not run yet, so nothing else touches the traffic. The
// traffic manager sets it before the readers start; without it the first load is dropped.
using FirstLoadIntake = std::function<void(std::vector<LiveAircraftRecord>&, int32_t delay_s)>;
void gf_setFirstLoadIntake(FirstLoadIntake intake);

// Every batch gf_pushAddingStack was handed, oldest first (at most the last 256), kept only
// while gf_keepTrafficBatches(true) holds (tests); off by default.
struct KeptTrafficBatch {
    int32_t delay_s = 0;                      // 30, or 0..24 for the first load
    std::vector<LiveAircraftRecord> records;  // as handed over
    bool stacked = false;                     // a poll that the poll intake took
};
std::vector<KeptTrafficBatch> gf_keptTrafficBatches();
// Any thread.
void gf_keepTrafficBatches(bool keep);
// Forgets the kept batches; tests and the stand-in traffic manager's reset.
void gf_clearKeptTrafficBatches();

// ---- Session ---------------------------------------------------------------------------------

// Signs in on the calling thread (the start-up thread, while no reader runs); on success the
// session GUID is kept for both readers. A failure the user must fix throws
// qel::UserErrorException 10 (expired, unknown license, second session, no credential), a
// missing database std::runtime_error "No RT database connection"; any other failure stops the
// program through gf_readerStopped("Authenticater", true) and leaves the GUID empty.
void gf_authenticater();
// The session GUID of the sign-in; empty while not signed in. Any thread.
std::string gf_rtGuid();
// Signed in and not yet signed out (atomic).
bool gf_rtSignedIn();
// Signs out (POST /v4/deauth); start-up thread, after both readers ended. Only logs failures.
void gf_deauthenticate();
// Back to the state after construction for an in-process restart: the readers' connections
// reset and a fresh run state assigned. Start-up thread after both readers ended (restart,
// failed close-down), and test fixtures. Throws std::runtime_error when libcurl gives no new
// handle.
void gf_resetRtRun();
// Whether the client's run state equals a fresh one; tests.
bool gf_rtRunFresh();
// The traffic time shift in minutes into the past (0..20160) sent with every query; any thread.
void gf_setRtTimeOffset(int32_t minutes);

// ---- Reader threads --------------------------------------------------------------------------

// The reader threads' bodies. Each repeats its request at the server's pace until its stop flag
// is raised or `stop` is requested, then sets its finished mark. A reader that fails stops its
// partner and the program (gf_readerStopped; a restart only for a 401).
void gf_weatherReader(std::stop_token stop);
void gf_trafficReader(std::stop_token stop);
// Raise a reader's stop flag; its wait and a transfer under way end at once. Any thread.
void gf_stopWeatherReader();
void gf_stopTrafficReader();
// The reader's thread body has ended (or is about to return); any thread.
bool gf_weatherReaderFinished();
bool gf_trafficReaderFinished();

// The Traffic Reader has finished its buffered first load and polls (atomic).
bool gf_trafficReceiving();
// Epoch seconds of the newest traffic report; 0 until traffic arrived or after an empty poll.
// Any thread.
int64_t gf_trafficDataTime();

// ---- What the core and the traffic manager hand to the readers --------------------------------

// The user aircraft's position (degrees) and altitude (feet): the centre of the traffic queries
// and the range check, and the point of the weather queries. Start-up and main-loop thread;
// the start-up gives it before the first reader starts.
void gf_setTrafficReference(double latitude, double longitude, double altitude_ft);
// Rebuilds the traffic query box around that position when it moved or RANGE changed;
// start-up and main-loop thread.
void gf_updateTrafficBox();
// Shows both readers' statuses in the window; main-loop thread.
void gf_updateReaderStatus();

// The park airport as the live decoding sees it: aircraft on the ground are kept only within
// 5 nm of it, and its elevation is the ground level of the altitude test.
struct ParkAirportReference {
    double latitude = 0.0;      // degrees: 51.2895
    double longitude = 0.0;     // degrees: 6.76678
    float elevation_ft = 0.0F;  // field elevation: 147.0
    bool operator==(const ParkAirportReference&) const = default;
};
// Set when the traffic manager chooses a park airport, cleared (nullopt) otherwise; any thread.
void gf_setParkAirportReference(std::optional<ParkAirportReference> airport);
// The reserved stand of the park airport, which the parked traffic leaves free; empty when there
// is none. Written by the traffic manager; main-loop thread only.
extern std::string& g_reservedStandName;

// Callsigns and hex ids of the decoded live flights, collected between phase A and phase B of
// the parked-traffic refresh.
struct Fnv1aHash {
    std::size_t operator()(std::string_view text) const noexcept;
    std::size_t operator()(uint32_t value) const noexcept;
};
struct LiveIds {
    std::unordered_set<std::string, Fnv1aHash> callsigns;  // "KLM1234"
    std::unordered_set<uint32_t, Fnv1aHash> hexIds;        // 0x4ba976
    bool operator==(const LiveIds&) const = default;
};
// Phase A: collect from now on. Main-loop thread.
void gf_startLiveIdCollection();
// Phase B: ends the collection and takes what was collected. Main-loop thread.
LiveIds gf_takeLiveIds();

// The parked aircraft within 3 nm of the park airport, through the Traffic Reader: oldest
// sighting last, at most MAX_FIT half hours old unless RT_PARKTRAFFIC_ONLY, one per stand and
// per callsign. False when the reader failed, did not answer within 10 s, or the session ended
// (401); throws std::runtime_error "RT API parameter fault" (400) and "No data for this license
// type" (403). Main-loop thread; waits through the platform clock.
bool gf_getParkedTraffic(LatLon parkAirport, std::vector<ParkedAircraftRecord>& records);

// The same without waiting, in two steps. The request returns its number (above 0); a newer
// request replaces an older one, whose reply is then thrown away. The take never waits:
// `ready` with the records as above; `pending` while the reader has not answered (the request
// stays open); `failed` for a failed reply or a number that is not the open request's. It
// throws like gf_getParkedTraffic. Main-loop thread.
enum class ParkedTake { ready, pending, failed };
uint64_t gf_requestParkedTraffic(LatLon parkAirport);
ParkedTake gf_takeParkedTraffic(uint64_t number, std::vector<ParkedAircraftRecord>& records);

}  // namespace qel
