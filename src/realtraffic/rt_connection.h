// What every request to the RealTraffic web API needs: the endpoint, the form body, one libcurl
// handle per reader object, time limits, a stop that aborts a transfer and an interrupted wait,
// and the pacing intervals the server prescribes.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <curl/curl.h>
#include <nlohmann/json.hpp>

namespace qel::rt {

inline constexpr int32_t kDefaultInterval_ms = 2000;
// The server's rrl and wrrl are kept within these bounds: 0 or less would make a tight request
// loop, a huge value a reader that never asks again.
inline constexpr int32_t kMinInterval_ms = 500;
inline constexpr int32_t kMaxInterval_ms = 60000;
inline constexpr long kConnectTimeout_ms = 10000;
inline constexpr long kTransferTimeout_ms = 30000;
// The sign-out runs during the close-down, which must end within 3 s whatever the network
// does: it is given up on after this long.
inline constexpr long kSignOutTimeout_ms = 2000;
// A reply larger than this ends its transfer with a write error instead of growing without end.
inline constexpr std::size_t kMaxReplyBytes = 32 * 1024 * 1024;

// "https://rtw.flyrealtraffic.com", or VNTQ_RT_URL without a trailing '/'.
std::string gf_rtEndpoint();
// A form value percent-encoded: letters, digits and "-._~" stay, every other byte is %XX.
std::string gf_formValue(std::string_view text);
// The interval the server gave, kept within [kMinInterval_ms, kMaxInterval_ms].
int32_t gf_clampInterval(int64_t ms);
// Reply members: an integer member (signed or unsigned JSON integer), a string member; the
// default when the reply is no object, the member is missing or of another type.
int64_t gf_jsonInt(const nlohmann::json& reply, const char* key, int64_t fallback);
std::string gf_jsonString(const nlohmann::json& reply, const char* key,
                          const std::string& fallback);
// No real reply nests deeper; a deeper one (10 MB of brackets) is refused unparsed, as it would
// cost seconds and gigabytes to build.
inline constexpr int kMaxReplyDepth = 32;
// The body with every byte sequence that is not UTF-8 replaced by U+FFFD and raw control bytes
// inside strings written as \u00XX escapes, so that one bad callsign does not make the whole
// reply unreadable; nothing when brackets nest deeper than kMaxReplyDepth.
std::optional<std::string> gf_mendReply(std::string_view body);
// The mended body parsed; a discarded value (is_discarded()) when it is no JSON text or nests
// too deep. Never throws.
nlohmann::json gf_parseReply(std::string_view body);
// The first 256 bytes of a reply, for log lines.
std::string_view gf_head(const std::string& body);
// The reply is the service's "504 Gateway Timeout" page.
bool gf_isGatewayTimeout(const std::string& body);

// libcurl's write callback: appends to the std::string behind `user`; 0 (a write error) for a
// null `user`, and for an append that throws (logged "lf_callbackwriter: append exception: ").
std::size_t lf_callbackwriter(char* data, std::size_t size, std::size_t count, void* user);

// The names one kind of request uses in its failure texts.
struct RequestKind {
    std::string_view path;         // "/v4/traffic"
    std::string_view handleName;   // "trcurl_", for "{} curl_easy_init() failed"
    std::string_view urlError;     // "trcurl_: failed to set URL"
    std::string_view optionsName;  // "trcurl_", for "{} failed to set CURLOPT_..."
    // A stop of the reader aborts it; the sign-out, which runs after the stop, is not stoppable.
    bool stoppable = true;
};

// One line of a request's log: its text, and whether it is highlighted (gf_logHighlighted).
struct LogText {
    std::string_view text;  // "buffer traffic: empty content"
    bool highlighted = true;
};

// What one request logs when its reply does not come or cannot be read.
struct ReplyTexts {
    void (*logFailure)(CURLcode code);  // a failed transfer: the line with libcurl's text
    LogText empty;                      // "buffer traffic: empty content"
    LogText invalid;                    // "buffer invalid JSON:", the reply's head below it
    // The line for the service's "504 Gateway Timeout" page; empty: the invalid line instead.
    std::string_view gatewayTimeout = {};
    // A transfer that a stop of the reader aborted logs nothing.
    bool quietOnStop = false;
    // The lines of `empty` and `invalid` (the first line) also go to a headless run's user: the
    // sign-in's, whose failure stops the run. `logFailure` sees to its own.
    bool tellsUser = false;
};

// The common base of the two reader objects. Its reader thread is the only one that sends on
// its handle; the sign-in and sign-out use it while no reader thread of the object runs.
class RtConnection {
public:
    // Throws std::runtime_error "aucurl_ curl_easy_init() failed" without a libcurl handle.
    RtConnection();
    virtual ~RtConnection();
    RtConnection(const RtConnection&) = delete;
    RtConnection& operator=(const RtConnection&) = delete;

    // POSTs the form body to the endpoint's path on this object's handle with a fresh
    // connection, the time limits above (kSignOutTimeout_ms for a request no stop aborts) and
    // stopOrClose as an abort; the reply body goes to
    // `reply`. The libcurl result; CURLE_ABORTED_BY_CALLBACK after a stop. Throws
    // std::runtime_error when the handle is missing or an option cannot be set.
    CURLcode post(const RequestKind& kind, const std::string& body, std::string& reply);
    // post() and the checks every reply passes: the reply parsed, or nothing after the line of
    // `texts` for a failed transfer, an empty reply or one that is no JSON. Throws as post().
    std::optional<nlohmann::json> request(const RequestKind& kind, const std::string& body,
                                          std::string& reply, const ReplyTexts& texts);

    // Waits `ms` (in four equal parts and the remainder) through the platform clock; returns
    // as soon as the stop flag, a program stop or a close is seen. Nothing for ms < 1.
    void waitFor(int32_t ms);
    // A plain wait that no stop shortens; through the platform clock.
    static void sleepMs(int32_t ms);

    // Raises the stop flag, wakes the transfer under way so that it aborts. Any thread.
    void requestStop();
    bool stopRequested() const { return stop_; }
    // The reader's stop, a stop of the program or the window's close: what ends a stoppable
    // transfer (within a second) and a wait.
    bool stopOrClose() const;

    std::string guid() const;
    void setGuid(std::string guid);
    int32_t toffset() const { return toffset_; }
    void setToffset(int32_t minutes) { toffset_ = minutes; }
    int32_t rrl() const { return rrl_; }
    int32_t wrrl() const { return wrrl_; }
    void setRrl(int64_t ms) { rrl_ = gf_clampInterval(ms); }
    void setWrrl(int64_t ms) { wrrl_ = gf_clampInterval(ms); }
    bool finished() const { return finished_; }
    void setFinished(bool finished) { finished_ = finished; }

    // Signs out with this object's GUID; only logs failures.
    void deauthenticate();
    // Back to the state after construction for a new start: GUID, handle (replaced), stop
    // flag, toffset, finished mark; rrl and wrrl keep the server's last pacing (rt_run.h).
    void reset();

private:
    CURLcode performInterruptibly(bool stoppable);

    CURL* handle_ = nullptr;  // owned; reader thread, or start-up thread while none runs
    CURLM* multi_ = nullptr;  // owned; drives handle_ so that a stop can wake it
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int32_t> toffset_{0};                 // minutes into the past
    std::atomic<int32_t> rrl_{kDefaultInterval_ms};   // between traffic requests
    std::atomic<int32_t> wrrl_{kDefaultInterval_ms};  // between weather requests
    mutable std::mutex guidMutex_;                    // guards guid_; taken alone
    std::string guid_;
};

}  // namespace qel::rt
