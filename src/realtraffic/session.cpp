// The RealTraffic session: the credential, the sign-in on the start-up thread, the sign-out at
// close-down, the reset before an in-process restart, and the two API objects themselves.
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <limits>
#include <mutex>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/run_values.h"
#include "foundation/strings.h"
#include "foundation/time.h"
#include "foundation/version.h"
#include "foundation/window_status.h"
#include "platform/clock.h"
#include "realtraffic/readers.h"
#include "realtraffic/rt_run.h"

namespace qel {

// The run state is built before the reader objects, which refer to their parts of it.
RtRun g_rtRun;

std::atomic<int32_t>& g_qnhReady = g_rtRun.qnhReady;
std::atomic<int32_t>& g_trafficQnh = g_rtRun.trafficQnh;
std::string& g_reservedStandName = g_rtRun.reservedStandName;  // main-loop thread
RtWindowStatus& g_rtWindowStatus = g_rtRun.windowStatus;

namespace rt {

TrafficReaderRun& g_trafficReaderRun = g_rtRun.trafficReader;
WeatherReaderRun& g_weatherReaderRun = g_rtRun.weatherReader;
std::mutex g_trafficReaderMutex;
std::mutex g_metarMutex;
std::mutex g_userPositionMutex;

// The sign-in runs through the Weather Reader's handle and the sign-out through the Traffic
// Reader's, each while that object's reader thread does not run.
TrafficReader g_trafficReader;
WeatherReader g_weatherReader;
std::atomic<bool>& g_rtAuthenticated = g_rtRun.rtAuthenticated;
UserSnapshot g_userSnapshot;

namespace {

constexpr RequestKind kAuth{"/v4/auth", "aucurl_", "TrafficReader failed to set CURLOPT_URL",
                            "aucurl_", false};
constexpr RequestKind kDeauth{"/v4/deauth", "aucurl_", "Failed to set CURLOPT_URL", "aucurl_",
                              false};
// Why a sign-in failed, for Log.txt and for the user of a headless run, whose terminal would
// otherwise say only that the Authenticater stopped.
void lf_signInFailed(std::string_view line)
{
    gf_log(line);
    gf_tellHeadlessUser(line);
}

constexpr ReplyTexts kSignInTexts{
    [](CURLcode code) {
        lf_signInFailed(fmt::format("{} Authentication failed: {}",
                                    gf_timeString(platform::epochSeconds()),
                                    curl_easy_strerror(code)));
    },
    {"Authentication: empty response", false},
    {"authentication, invalid JSON:", false},
    {},
    false,
    true};
constexpr ReplyTexts kSignOutTexts{
    [](CURLcode code) {
        gf_log(fmt::format("{} Deauthentication failed: {}",
                           gf_timeString(platform::epochSeconds()), curl_easy_strerror(code)));
    },
    {"Deauthentication: empty response", false},
    {"deauthentication, invalid JSON:", false}};
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kProfessionalType = 2;

// Whole days from now to the expiry, truncated toward zero; the difference saturates instead of
// overflowing for absurd expiry values.
int64_t lf_daysLeft(int64_t expiry_s, int64_t now_s)
{
    constexpr int64_t lowest = std::numeric_limits<int64_t>::min();
    constexpr int64_t highest = std::numeric_limits<int64_t>::max();
    int64_t difference = 0;
    if (now_s > 0 && expiry_s < lowest + now_s) {
        difference = lowest;
    } else if (now_s < 0 && expiry_s > highest + now_s) {
        difference = highest;
    } else {
        difference = expiry_s - now_s;
    }
    return difference / kSecondsPerDay;
}

void lf_setSignedIn(bool signedIn)
{
    g_rtAuthenticated = signedIn;
    g_rtWindowStatus.realTrafficSignedIn = signedIn;
    gf_invalidateArea(WindowArea::StatusStrip);
}

[[noreturn]] void lf_userError(const std::string& text)
{
    // The error replaces the message on the line at once: shown as both, a headless run's
    // terminal had the text twice.
    gf_log(text);
    throw UserErrorException(10, text);
}

// The reply of a sign-in that went through: true when it is a session.
bool lf_acceptSignIn(const nlohmann::json& reply, int& status)
{
    if (reply.is_object() && reply.contains("status") && reply["status"].is_number_integer()) {
        const int64_t answered = gf_jsonInt(reply, "status", 200);
        // Only 200 opens a session; any other answer is a refusal, whatever it carries.
        if (answered != 200) {
            status = static_cast<int>(std::clamp<int64_t>(answered, -1, 99999));
            // The others have a message of their own.
            if (status != 402 && status != 404 && status != 405 && status != 500) {
                lf_signInFailed(fmt::format("Authentication refused, status: {}", status));
            }
            return false;
        }
    }
    if (gf_jsonString(reply, "GUID", "").empty()) {
        lf_signInFailed("Authentication: reply without a GUID");
        return false;
    }
    return true;
}

}  // namespace

void UserSnapshot::set(const UserPosition& position)
{
    std::scoped_lock lock(g_userPositionMutex);
    g_rtRun.userPosition = position;
}

UserPosition UserSnapshot::get() const
{
    std::scoped_lock lock(g_userPositionMutex);
    return g_rtRun.userPosition;
}

std::optional<std::string> gf_readCredential(const std::filesystem::path& file)
{
    if (const char* value = std::getenv("VNTQ_RT_LICENSE"); value != nullptr) {
        const std::string text(gf_trim(value));
        if (!text.empty()) return text;
    }
    std::ifstream stream(file);
    std::string line;
    if (!stream || !std::getline(stream, line)) return std::nullopt;
    const std::string text(gf_trim(line));
    if (text.empty()) return std::nullopt;
    return text;
}

bool WeatherReader::authenticate(const std::string& credential, int& status)
{
    try {
        const std::string body = fmt::format("license={}&software={}_{}", gf_formValue(credential),
                                             g_shortName, g_programVersion.text());
        const auto reply = request(kAuth, body, run_.buffer, kSignInTexts);
        if (!reply || !signInReply(*reply, status)) return false;
    } catch (const std::exception& e) {
        const std::string line = fmt::format("{}: {}", "authenticate", e.what());
        gf_logHighlighted(line);
        gf_tellHeadlessUser(line);
        waitFor(wrrl());
        return false;
    }
    // The pause the server asks for before the next request; a close ends it at once.
    waitFor(wrrl());
    return true;
}

bool WeatherReader::signInReply(const nlohmann::json& reply, int& status)
{
    if (!lf_acceptSignIn(reply, status)) return false;
    setRrl(gf_jsonInt(reply, "rrl", kDefaultInterval_ms));
    setWrrl(gf_jsonInt(reply, "wrrl", kDefaultInterval_ms));
    gf_log(fmt::format("\nAuthenticated at RT server '{}'", gf_jsonString(reply, "server", "?")));
    const bool professional = gf_jsonInt(reply, "type", 1) == kProfessionalType;
    g_rtProfessional = professional;
    setGuid(gf_jsonString(reply, "GUID", ""));
    lf_setSignedIn(true);
    showAccount(gf_jsonInt(reply, "expiry", 0), professional);
    return true;
}

void WeatherReader::showAccount(int64_t expiry_s, bool professional)
{
    const int64_t days = lf_daysLeft(expiry_s, platform::epochSeconds());
    g_rtWindowStatus.realTrafficText.set(fmt::format("RT {} license, {} day{} left",
                                                     professional ? "professional" : "standard",
                                                     days, gf_plural(days)));
    gf_invalidateArea(WindowArea::StatusStrip);
}

void RtConnection::deauthenticate()
{
    try {
        std::string body;
        const auto reply = request(kDeauth, "GUID=" + gf_formValue(guid()), body, kSignOutTexts);
        if (!reply) return;
        const int64_t status = gf_jsonInt(*reply, "status", 100);
        if (status != 200) {
            gf_logHighlighted(fmt::format("Deauthentication failed, status: {}", status));
            return;
        }
        lf_setSignedIn(false);
        setGuid({});
        gf_log(fmt::format("{} RT server '{}'", gf_jsonString(*reply, "message", ""),
                           gf_jsonString(*reply, "server", "")));
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "deauthenticate", e.what()));
    }
}

}  // namespace rt

void gf_authenticater()
{
    using namespace rt;
    lf_setSignedIn(false);
    gf_setMessage("Waiting for authentication at RT server ...", true);
    gf_log(" ");
    const std::filesystem::path file = g_appDataDir / "RealTraffic.license";
    const auto credential = gf_readCredential(file);
    if (!credential) {
        lf_userError(fmt::format("No RT license: set VNTQ_RT_LICENSE or write it into {}",
                                 gf_pathToUtf8(file)));
    }
    int status = 0;
    if (g_weatherReader.authenticate(*credential, status)) {
        gf_clearMessage();
        g_trafficReader.setGuid(g_weatherReader.guid());
        return;
    }
    switch (status) {
    case 402: lf_userError("Your RT license is expired");
    case 404: lf_userError("RT did not recognize your license");
    case 405:
        lf_userError(
            "More than one RealTraffic session is not possible, do not run the "
            "RealTraffic app");
    case 500: throw std::runtime_error("No RT database connection");
    default: break;
    }
    gf_readerStopped("Authenticater", true);
    gf_clearMessage();
    g_trafficReader.setGuid(g_weatherReader.guid());
}

std::string gf_rtGuid() { return rt::g_weatherReader.guid(); }

bool gf_rtSignedIn() { return rt::g_rtAuthenticated; }

void gf_deauthenticate()
{
    rt::g_trafficReader.deauthenticate();
    if (rt::g_trafficReader.guid().empty()) rt::g_weatherReader.setGuid({});
}

void gf_resetRtRun()
{
    rt::g_trafficReader.reset();
    rt::g_weatherReader.reset();
    gf_resetRun(g_rtRun, rt::g_trafficReaderMutex, rt::g_metarMutex, rt::g_userPositionMutex);
    gf_invalidateArea(WindowArea::StatusStrip);
}

bool gf_rtRunFresh()
{
    return gf_runFresh(g_rtRun, rt::g_trafficReaderMutex, rt::g_metarMutex,
                       rt::g_userPositionMutex);
}

void gf_setRtTimeOffset(int32_t minutes)
{
    const int32_t offset = std::clamp(minutes, 0, 20160);
    rt::g_trafficReader.setToffset(offset);
    rt::g_weatherReader.setToffset(offset);
}

}  // namespace qel
