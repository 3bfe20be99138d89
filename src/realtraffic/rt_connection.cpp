// The connection to the RealTraffic web API: endpoint, form values, one libcurl handle per
// reader object driven through a multi handle so that a stop wakes a transfer at once, and the
// interruptible wait between requests.
#include "realtraffic/rt_connection.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/window_status.h"
#include "platform/clock.h"

namespace qel::rt {

namespace {

constexpr std::string_view kDefaultEndpoint = "https://rtw.flyrealtraffic.com";
// How long one step of an interruptible wait sleeps at most: the platform clock has no wait
// that another thread can cut short, so the stop flag is looked at this often.
constexpr std::chrono::milliseconds kWaitStep{50};
constexpr std::size_t kLogHead = 256;

// libcurl's progress callback, only where no multi handle drives the transfer: a stop ends it
// with CURLE_ABORTED_BY_CALLBACK.
int lf_abortOnStop(void* connection, curl_off_t /*dltotal*/, curl_off_t /*dlnow*/,
                   curl_off_t /*ultotal*/, curl_off_t /*ulnow*/)
{
    return static_cast<const RtConnection*>(connection)->stopOrClose() ? 1 : 0;
}

void lf_logText(std::string_view text, bool highlighted)
{
    if (highlighted) {
        gf_logHighlighted(text);
    } else {
        gf_log(text);
    }
}

void lf_check(CURLcode code, std::string_view text)
{
    if (code != CURLE_OK) throw std::runtime_error(std::string(text));
}

// The body must stay alive until the transfer is over: the handle keeps a pointer to it.
void lf_setPostOptions(CURL* handle, std::string_view name, const std::string& body,
                       std::string& reply)
{
    lf_check(curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "deflate,gzip"),
             fmt::format("{} failed to set CURLOPT_ACCEPT_ENCODING", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str()),
             fmt::format("{}: failed to set POSTFIELDS", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size())),
             fmt::format("{}: failed to set POSTFIELDSIZE", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &lf_callbackwriter),
             fmt::format("{} failed to set CURLOPT_WRITEFUNCTION", name));
    lf_check(curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply),
             fmt::format("{} failed to set CURLOPT_WRITEDATA", name));
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
}

// A request that no stop aborts (the sign-out) has the short limit.
void lf_setLimits(CURL* handle, bool stoppable)
{
    const long total_ms = stoppable ? kTransferTimeout_ms : kSignOutTimeout_ms;
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, std::min(kConnectTimeout_ms, total_ms));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, total_ms);
}

bool lf_unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string gf_rtEndpoint()
{
    const char* configured = std::getenv("VNTQ_RT_URL");
    std::string endpoint =
        configured != nullptr && *configured != '\0' ? configured : std::string(kDefaultEndpoint);
    while (!endpoint.empty() && endpoint.back() == '/') endpoint.pop_back();
    return endpoint;
}

std::string gf_formValue(std::string_view text)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (lf_unreserved(c)) {
            encoded.push_back(ch);
        } else {
            encoded.push_back('%');
            encoded.push_back(digits[c >> 4]);
            encoded.push_back(digits[c & 0x0F]);
        }
    }
    return encoded;
}

int32_t gf_clampInterval(int64_t ms)
{
    return static_cast<int32_t>(std::clamp<int64_t>(ms, kMinInterval_ms, kMaxInterval_ms));
}

int64_t gf_jsonInt(const nlohmann::json& reply, const char* key, int64_t fallback)
{
    if (!reply.is_object()) return fallback;
    const auto found = reply.find(key);
    if (found == reply.end() || !found->is_number_integer()) return fallback;
    if (found->is_number_unsigned()) {
        const auto value = found->get<uint64_t>();
        return value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                   ? std::numeric_limits<int64_t>::max()
                   : static_cast<int64_t>(value);
    }
    return found->get<int64_t>();
}

std::string gf_jsonString(const nlohmann::json& reply, const char* key, const std::string& fallback)
{
    if (!reply.is_object()) return fallback;
    const auto found = reply.find(key);
    if (found == reply.end() || !found->is_string()) return fallback;
    return found->get<std::string>();
}

std::string_view gf_head(const std::string& body)
{
    return std::string_view(body).substr(0, kLogHead);
}

bool gf_isGatewayTimeout(const std::string& body)
{
    return body.size() >= 19 && body.find("504 Gateway Timeout") != std::string::npos;
}

std::size_t lf_callbackwriter(char* data, std::size_t size, std::size_t count, void* user)
{
    if (user == nullptr) return 0;
    auto* reply = static_cast<std::string*>(user);
    const std::size_t bytes = size * count;
    try {
        if (reply->size() + bytes > kMaxReplyBytes) {
            throw std::length_error(fmt::format("reply larger than {} bytes", kMaxReplyBytes));
        }
        reply->append(data, bytes);
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: append exception: {}", "lf_callbackwriter", e.what()));
        return 0;
    }
    return bytes;
}

RtConnection::RtConnection() : handle_(curl_easy_init()), multi_(curl_multi_init())
{
    if (handle_ == nullptr) {
        if (multi_ != nullptr) curl_multi_cleanup(multi_);
        throw std::runtime_error("aucurl_ curl_easy_init() failed");
    }
}

RtConnection::~RtConnection()
{
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
}

CURLcode RtConnection::post(const RequestKind& kind, const std::string& body, std::string& reply)
{
    reply.clear();
    if (handle_ == nullptr) {
        throw std::runtime_error(fmt::format("{} curl_easy_init() failed", kind.handleName));
    }
    curl_easy_reset(handle_);
    const std::string url = gf_rtEndpoint() + std::string(kind.path);
    lf_check(curl_easy_setopt(handle_, CURLOPT_URL, url.c_str()), kind.urlError);
    lf_setPostOptions(handle_, kind.optionsName, body, reply);
    lf_setLimits(handle_, kind.stoppable);
    if (kind.stoppable && stopOrClose()) return CURLE_ABORTED_BY_CALLBACK;
    return performInterruptibly(kind.stoppable);
}

std::optional<nlohmann::json> RtConnection::request(const RequestKind& kind,
                                                    const std::string& body, std::string& reply,
                                                    const ReplyTexts& texts)
{
    const CURLcode code = post(kind, body, reply);
    if (code != CURLE_OK) {
        if (!texts.quietOnStop || !stopOrClose()) texts.logFailure(code);
        return std::nullopt;
    }
    if (reply.empty()) {
        lf_logText(texts.empty.text, texts.empty.highlighted);
        if (texts.tellsUser) gf_tellHeadlessUser(texts.empty.text);
        return std::nullopt;
    }
    nlohmann::json parsed = gf_parseReply(reply);
    if (!parsed.is_discarded()) return parsed;
    if (!texts.gatewayTimeout.empty() && gf_isGatewayTimeout(reply)) {
        lf_logText(texts.gatewayTimeout, texts.invalid.highlighted);
    } else {
        lf_logText(fmt::format("{}\n{}\n", texts.invalid.text, gf_head(reply)),
                   texts.invalid.highlighted);
    }
    // Not the reply's head: the service's bytes stay out of the user's terminal.
    if (texts.tellsUser) gf_tellHeadlessUser(texts.invalid.text);
    return std::nullopt;
}

CURLcode RtConnection::performInterruptibly(bool stoppable)
{
    if (multi_ == nullptr || curl_multi_add_handle(multi_, handle_) != CURLM_OK) {
        if (stoppable) {
            curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &lf_abortOnStop);
            curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, this);
            curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
        }
        return curl_easy_perform(handle_);
    }
    // The stop is looked at here between steps, not through libcurl's progress callback: an
    // abort from that callback once the reply has fully arrived makes libcurl skip the end of
    // the transfer, and the reply's gzip decoder is never freed.
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi_, &running) != CURLM_OK) {
            result = CURLE_SEND_ERROR;
            break;
        }
        bool done = false;
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            result = message->data.result;
            done = true;
        }
        if (done) break;
        if (stoppable && stopOrClose()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        // requestStop wakes this poll, so a stop ends the transfer at once.
        curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
    }
    curl_multi_remove_handle(multi_, handle_);
    return result;
}

bool RtConnection::stopOrClose() const { return stop_ || g_stopRequested || g_closeRequested; }

void RtConnection::waitFor(int32_t ms)
{
    if (ms < 1) return;
    const auto waitPart = [this](int32_t part) {
        const auto deadline = platform::steadyNow() + std::chrono::milliseconds(part);
        for (auto now = platform::steadyNow(); now < deadline && !stopOrClose();
             now = platform::steadyNow()) {
            platform::sleepFor(std::min<std::chrono::nanoseconds>(deadline - now, kWaitStep));
        }
    };
    for (int i = 0; i < 4; ++i) {
        if (stopOrClose()) return;
        waitPart(ms / 4);
    }
    if (stopOrClose()) return;
    if (ms % 4 > 0) waitPart(ms % 4);
}

void RtConnection::sleepMs(int32_t ms)
{
    if (ms > 0) platform::sleepFor(std::chrono::milliseconds(ms));
}

void RtConnection::requestStop()
{
    stop_ = true;
    if (multi_ != nullptr) curl_multi_wakeup(multi_);
}

std::string RtConnection::guid() const
{
    std::scoped_lock lock(guidMutex_);
    return guid_;
}

void RtConnection::setGuid(std::string guid)
{
    std::scoped_lock lock(guidMutex_);
    guid_ = std::move(guid);
}

void RtConnection::reset()
{
    setGuid({});
    CURL* fresh = curl_easy_init();
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
    handle_ = fresh;
    stop_ = false;
    toffset_ = 0;
    finished_ = false;
}

}  // namespace qel::rt
