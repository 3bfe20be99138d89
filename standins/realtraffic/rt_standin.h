// A stand-in for the RealTraffic web API (v4) on loopback: sessions, pacing, traffic and weather
// from a scenario, replayed captures, faults on demand and a log of every request.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "standins/scenario/scenario.h"

namespace qel::standin {

// One deliberate misbehaviour, for the next request(s) on a path.
struct Fault {
    enum class Kind {
        Status,          // {"status": status, "message": body}
        EmptyBody,       // HTTP 200 with nothing in it
        InvalidJson,     // a truncated JSON text
        GatewayTimeout,  // the "504 Gateway Timeout" HTML page with HTTP 504
        DropConnection,  // headers promise a body; the connection closes after a few bytes
        Stall,           // the reply waits until releaseStalls() or the server stops
        Unauthorized,    // ends the request's session, then answers 401 as for any ended one
        Body,            // `body` verbatim with `httpStatus` and `contentType`
    };
    Kind kind = Kind::Status;
    int status = 0;
    std::string body;
    int httpStatus = 200;
    std::string contentType = "application/json";

    static Fault withStatus(int status, std::string message = {});
    static Fault emptyBody();
    static Fault invalidJson();
    static Fault gatewayTimeout();
    static Fault dropConnection();
    static Fault stall();
    static Fault unauthorized();
    static Fault withBody(std::string body, int httpStatus = 200,
                          std::string contentType = "application/json");
};

// One request as the server saw it.
struct LoggedRequest {
    std::string path;                           // "/v4/traffic"
    std::string body;                           // the raw form body
    std::map<std::string, std::string> fields;  // the form fields, decoded
    int64_t epoch_s = 0;                        // the stand-in's wall time at arrival
    platform::SteadyTime steady;                // the stand-in's steady time at arrival
    int status = 0;      // the "status" answered; 0 for a reply without one (most faults)
    bool fault = false;  // a fault or a replayed body answered it

    // The decoded field, or "" when the request had none.
    std::string field(const std::string& name) const;
};

struct RtStandinOptions {
    int port = 0;  // 0: any free port; the server listens on 127.0.0.1 only
    bool enforcePacing = true;
    // A request this much earlier than its interval still passes: the scaled test clock
    // rounds a sleep down by a few nanoseconds.
    std::chrono::milliseconds pacingTolerance{1};
    std::string serverName = "rtw-standin";
    int maxBufferCount = 30;  // larger buffercount values are cut to this
    // Paths under /control/ steer faults, stalls, sessions and pacing (rt_control.h).
    bool controlEndpoint = false;
    // Called on a server thread after every request, outside the server's lock.
    std::function<void(const LoggedRequest&)> onRequest;
};

// The server: listens from construction to destruction. Every member may be called from any
// thread; the accessors copy.
class RtStandin {
public:
    // Throws std::runtime_error when the port cannot be bound.
    explicit RtStandin(Scenario scenario, RtStandinOptions options = {});
    ~RtStandin();
    RtStandin(const RtStandin&) = delete;
    RtStandin& operator=(const RtStandin&) = delete;

    int port() const;
    std::string url() const;  // "http://127.0.0.1:<port>", the base that VNTQ_RT_URL takes

    // Faults: `count` next requests on `path` ("" for any path) get the fault; faults queued
    // for a path are used in the order added.
    void addFault(const std::string& path, Fault fault, int count = 1);
    void clearFaults();
    // Replays: every request on `path` gets the body, until cleared; no session or pacing
    // checks apply. "path?querytype" ("/v4/traffic?parkedtraffic") serves only the requests of
    // that query type, before a replay of the bare path. serveFile throws std::runtime_error
    // when the file cannot be read.
    void serveBody(const std::string& path, std::string body);
    void serveFile(const std::string& path, const std::filesystem::path& file);
    void clearReplays();
    // Lets every stalled reply go on; later stall faults stall again.
    void releaseStalls();
    size_t stalledCount() const;
    // Waits (real time) until `count` replies are stalled; false on time-out.
    bool waitForStalled(size_t count, std::chrono::milliseconds timeout) const;

    // Sessions.
    void addCredential(Credential credential);  // replaces one with the same license
    std::vector<std::string> activeGuids() const;
    void endSession(const std::string& guid);  // later requests with it get 401
    void endAllSessions();
    // New intervals for the active sessions and every later sign-in; negative keeps a value.
    void setPacing(int rrl_ms, int wrrl_ms);

    // The request log.
    std::vector<LoggedRequest> requests() const;
    std::vector<LoggedRequest> requests(const std::string& path) const;
    void clearRequests();
    // Waits (real time) until the log holds `count` requests; false on time-out.
    bool waitForRequests(size_t count, std::chrono::milliseconds timeout) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qel::standin
