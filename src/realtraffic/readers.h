// The two RealTraffic API objects: the Traffic Reader (live, buffered and parked traffic) and the
// Weather Reader (sign-in, nearest METAR, weather and the QNH), with the state other threads
// hand to them.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/run_values.h"
#include "realtraffic/decoding.h"
#include "realtraffic/realtraffic.h"
#include "realtraffic/rt_connection.h"

namespace qel::rt {

inline constexpr int32_t kStoppedOnRequest = 9999;  // the status of a reader ended by a stop
inline constexpr int32_t kStandardQnh_hPa = 1013;

// The user aircraft's position as the start-up and the main loop last gave it; any thread.
struct UserPosition {
    double latitude = 0.0;     // degrees: 51.2793
    double longitude = 0.0;    // degrees: 6.7635
    double altitude_ft = 0.0;  // 147.0
    bool operator==(const UserPosition&) const = default;
};
// The position lives in the client's run state, guarded by g_userPositionMutex (taken alone).
class UserSnapshot {
public:
    void set(const UserPosition& position);
    UserPosition get() const;
};
extern UserSnapshot g_userSnapshot;
extern std::mutex g_userPositionMutex;

// A query box, degrees.
struct Box {
    double top = 52.44;
    double bottom = 52.17;
    double left = 4.54;
    double right = 4.98;
    bool operator==(const Box&) const = default;
};

// The parked-traffic request the main loop waits for; 0: none.
struct ParkedRequest {
    uint64_t number = 0;
    Box box;
    ParkedDecodeContext context;
    int32_t status = -1;  // -1 pending, 0 done, 1 failed here, else the server's status
    std::vector<ParkedAircraftRecord> records;
    bool operator==(const ParkedRequest&) const = default;
};

// The Traffic Reader's state of one run, a member of the client's run state.
struct TrafficReaderRun {
    // Reader thread only (and the reset while no reader runs).
    std::string buffer;     // the last reply body
    LiveDecodeState state;  // the batch being built and the block notice

    RunAtomic<int32_t> qnh{kStandardQnh_hPa};
    RunAtomic<int64_t> recordCount{0};  // live records of the last batch handed on
    RunAtomic<bool> collecting{false};  // the live-id collection flag
    RunAtomic<bool> parkedRequested{false};
    RunAtomic<bool> receiving{false};
    // Main-loop thread. Set at a start, so that the first status update shows the reader
    // waiting until data arrives.
    RunAtomic<bool> hasTrafficShown{true};

    // g_trafficReaderMutex
    Box box;
    LatLon lastCentre{0.0, 0.0};
    double lastRange_nm = -1.0;
    std::optional<ParkAirportReference> parkAirport;
    LiveIds ids;
    uint64_t parkedCounter = 0;
    ParkedRequest parked;
    bool operator==(const TrafficReaderRun&) const = default;
};

// The Weather Reader's state of one run, a member of the client's run state.
struct WeatherReaderRun {
    // Reader thread only (the sign-in runs on the start-up thread before it starts).
    std::string buffer;
    int32_t lastQnh = kStandardQnh_hPa;
    // A real station has answered this run: its QNH outlasts the service's stand-in replies.
    bool realQnh = false;

    RunAtomic<bool> weatherOk{false};
    RunAtomic<bool> weatherOkShown{true};  // main-loop thread; set at a start, as above
    std::string metarCode;                 // g_metarMutex
    bool operator==(const WeatherReaderRun&) const = default;
};

// Members of the client's run state (realtraffic/rt_run.h).
extern TrafficReaderRun& g_trafficReaderRun;
extern WeatherReaderRun& g_weatherReaderRun;
// Guard the Traffic Reader's shared part and the Weather Reader's station, each taken alone.
extern std::mutex g_trafficReaderMutex;
extern std::mutex g_metarMutex;

class TrafficReader : public RtConnection {
public:
    // The buffered first load: five hand-overs with delays 0, 6, 12, 18, 24 s. True when a
    // reply of status 200 carried data.
    bool buffer(int& status);
    // The loop: the buffered load once, then polls (and parked requests in between) until a
    // stop (status 9999) or a server status that ends it.
    bool receive(int& status);
    // One parked-traffic request, served for the request the main loop waits for.
    void parkedtraffic();
    // Serves a parked-traffic request when the main loop raised one; false when none was.
    bool serveParkedRequest();

    // Main-loop side.
    void updateBox(const UserPosition& user, double range_nm);
    Box box() const;
    void setParkAirport(std::optional<ParkAirportReference> airport);
    void startIdCollection();
    LiveIds takeIds();
    bool getParkedTraffic(LatLon parkAirport, std::vector<ParkedAircraftRecord>& records);
    uint64_t requestParked(LatLon parkAirport);
    ParkedTake takeParked(uint64_t number, std::vector<ParkedAircraftRecord>& records);
    void updateStatus();

    void setQnh(int32_t qnh_hPa) { run_.qnh = qnh_hPa; }
    int32_t qnh() const { return run_.qnh; }
    bool receiving() const { return run_.receiving; }
    int64_t recordCount() const { return run_.recordCount; }

    // What the live decoding reads, copied now.
    LiveDecodeContext decodeContext() const;
    // A parkedtraffic reply once received: its records decoded into `records`; false (with the
    // server's status) when it was refused.
    bool parkedReply(const nlohmann::json& reply, const ParkedDecodeContext& context,
                     std::vector<ParkedAircraftRecord>& records, int32_t& status);

private:
    bool poll(int& status);
    bool bufferedReply(const nlohmann::json& reply, int& status);
    void decodeRecords(const nlohmann::json& data, const LiveDecodeContext& context);
    void handOver(int32_t delay_s);
    std::string boxBody(const Box& box, std::string_view querytype) const;
    int32_t awaitParked(uint64_t number);

    TrafficReaderRun& run_ = g_trafficReaderRun;
};

class WeatherReader : public RtConnection {
public:
    // The sign-in with the credential; `status` the server's refusal (400, 402, 404, 405, 500
    // and any other but 200). True with the GUID kept in this object.
    bool authenticate(const std::string& credential, int& status);
    // The station code of the nearest METAR for the weather request; false without one.
    bool nearestmetar(int& status);
    // The replies once received, without the waits between requests (the fuzz targets feed
    // them directly). Sign-in: true for a session; throws for a reply it cannot
    // use. Nearest METAR: true with a station. Weather: false for a
    // status that ends the loop.
    bool signInReply(const nlohmann::json& reply, int& status);
    bool metarReply(const nlohmann::json& reply, int& status);
    bool weatherReply(const nlohmann::json& reply, int& status);
    // The loop: nearest METAR, weather, QNH, until a stop (9999) or an ending status.
    bool receive(int& status);
    void updateStatus();

    std::string metarCode() const;

    // Publishes a QNH (already clamped) to the Traffic Reader, the traffic manager, the
    // start-up and the window, unless it repeats the last one; 1013 is published every time.
    void publishQnh(int32_t qnh_hPa);

private:
    bool weather(int& status);
    void showAccount(int64_t expiry_s, bool professional);

    WeatherReaderRun& run_ = g_weatherReaderRun;
};

// What the two reader threads differ in.
struct ReaderThread {
    const char* name;      // "Traffic Reader": the thread's name and that of its stop message
    const char* logName;   // "Traffic": the log line of a loop ended by a server status
    const char* function;  // "gf_trafficReader": the log line of a failure
    RtConnection& reader;
    RtConnection& partner;                     // stopped with it unless a stop was asked for
    std::atomic<int32_t>& shownStatus;         // the window's field: 1 receiving, 3 stopped
    std::function<bool(int& status)> receive;  // the reader's loop; false when it ended
};
// The body both reader threads run: names the thread, runs the loop until a stop or an ending
// status, then shows the reader stopped and, unless the stop was asked for, stops the partner
// and the program (a restart only for a 401). Catches everything; sets the finished mark last.
void gf_runReaderThread(std::stop_token stop, const ReaderThread& thread);

// Logs why a reader's loop ended by a server status; `reader` "Traffic" or "Weather".
void gf_logReaderEnd(std::string_view reader, int status);
// "data" of a reply or of a buffer step is used when present and neither null nor empty.
bool gf_hasRecords(const nlohmann::json& data);

// The QNH in the weather reply's "data", hPa; 1013 when there is none (logged). A value of 1101
// or more is inches of mercury × 100. Throws gsl::narrowing_error for a value beyond int32.
int32_t extractQNH(const nlohmann::json& data);

// The reader objects: each owns its libcurl handle and resets its connection (GUID, stop and
// finished marks, time offset) itself; what they keep of a run lies in the run state above.
extern TrafficReader g_trafficReader;
extern WeatherReader g_weatherReader;
// Signed in and not yet signed out (atomic; the client's run state).
extern std::atomic<bool>& g_rtAuthenticated;

// The credential: VNTQ_RT_LICENSE, else the first line of `file`; none when both are empty.
std::optional<std::string> gf_readCredential(const std::filesystem::path& file);

}  // namespace qel::rt
