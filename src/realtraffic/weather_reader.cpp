// The Weather Reader: the nearest METAR station and the weather at the user's position, paced
// by the server's wrrl, and the QNH it publishes to the Traffic Reader, the traffic manager and
// the start-up.
//
// Thread "Weather Reader" (gf_weatherReader), started by the start-up thread once per run before
// the Traffic Reader and ended by its stop flag (close-down, the Traffic Reader's exit guard, the
// thread's stop token) or by a status that ends the loop. Takes only its station lock and the
// user snapshot's lock, each alone. Waits through the platform clock; a stop ends a wait and a
// transfer at once.
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <stop_token>

#include <fmt/format.h>
#include <gsl/narrow>

#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "platform/clock.h"
#include "realtraffic/readers.h"

namespace qel {

namespace rt {

namespace {

using nlohmann::json;

constexpr RequestKind kNearestMetar{"/v4/nearestmetar", "nmcurl_", "nmcurl_: failed to set URL",
                                    "aucurl_"};
constexpr RequestKind kWeather{"/v4/weather", "wrcurl_", "wrcurl_: failed to set URL", "aucurl_"};
constexpr int32_t kLowestQnh_hPa = 900;
constexpr int32_t kHighestQnh_hPa = 1100;
constexpr int64_t kFirstInchValue = 1101;  // from here a QNH is inches of mercury × 100
constexpr double kHpaPerHundredthInch = 0.33865307;

void lf_setWeatherStatus(int32_t status)
{
    g_rtWindowStatus.weatherReaderStatus = status;
    gf_invalidateArea(WindowArea::StatusStrip);
}

std::string lf_now() { return gf_timeString(platform::epochSeconds()); }

constexpr ReplyTexts kNearestMetarTexts{
    [](CURLcode code) {
        gf_logHighlighted(
            fmt::format("{} nearestmetar code: {}", lf_now(), curl_easy_strerror(code)));
    },
    {"nearest metar: empty content"},
    {"nearest metar: invalid JSON:"},
    "nearest metar: invalid JSON 504 Gateway Timeout",
    true};
constexpr ReplyTexts kWeatherTexts{
    [](CURLcode code) {
        gf_logHighlighted(fmt::format("{} weather code: {}", lf_now(), curl_easy_strerror(code)));
    },
    {"Empty content?, no QNH to be found"},
    {"weather receive invalid JSON:"},
    "weather receive invalid JSON 504 Gateway Timeout",
    true};

// A double rounded to an int64 that holds it exactly, else gsl::narrowing_error.
int64_t lf_roundExactly(double value)
{
    const double rounded = std::round(value);
    if (!std::isfinite(rounded) || std::fabs(rounded) >= 9.2e18) throw gsl::narrowing_error{};
    return gsl::narrow<int64_t>(rounded);
}

std::string lf_position(const UserPosition& user)
{
    return fmt::format("lat={:.4F}&lon={:.4F}", user.latitude, user.longitude);
}

// The altitude the weather request sends: whole feet, 0 below 1 ft.
int64_t lf_altitudeFeet(double altitude_ft)
{
    if (!(altitude_ft >= 1.0)) return 0;
    return static_cast<int64_t>(std::min(altitude_ft, 1.0e9));
}

// The service answers with station "UNKN" (METAR "UNKN 000000", QNH 1013) when it has nothing
// for the place, also for one where a real station answered before.
bool lf_placeholderWeather(const json& data)
{
    return data.is_object() && data.contains("ICAO") && data["ICAO"].is_string() &&
           data["ICAO"].get_ref<const std::string&>() == "UNKN";
}

}  // namespace

int32_t extractQNH(const json& data)
{
    if (!data.is_object() || !data.contains("QNH")) {
        gf_logHighlighted("No QNH found in data");
        return kStandardQnh_hPa;
    }
    const json& qnh = data["QNH"];
    int64_t value = 0;
    if (qnh.is_number_integer()) {
        value = gf_jsonInt(data, "QNH", kStandardQnh_hPa);
    } else if (qnh.is_number_float()) {
        const double raw = qnh.get<double>();
        // A double beyond float's range has no float value to convert to.
        if (std::fabs(raw) > std::numeric_limits<float>::max()) throw gsl::narrowing_error{};
        value = lf_roundExactly(static_cast<float>(raw));
    } else if (qnh.is_string()) {
        const std::string text = qnh.get<std::string>();
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc()) {
            gf_logHighlighted(fmt::format("{}: {}", "extractQNH", text));
            return kStandardQnh_hPa;
        }
    } else {
        gf_logHighlighted("No QNH found in data");
        return kStandardQnh_hPa;
    }
    if (value >= kFirstInchValue) {
        value = lf_roundExactly(static_cast<double>(value) * kHpaPerHundredthInch);
    }
    return gsl::narrow<int32_t>(value);
}

std::string WeatherReader::metarCode() const
{
    std::scoped_lock lock(g_metarMutex);
    return run_.metarCode;
}

bool WeatherReader::nearestmetar(int& status)
{
    if (guid().empty()) {
        waitFor(wrrl());
        return false;
    }
    try {
        const std::string body = fmt::format("GUID={}&toffset={}&{}", gf_formValue(guid()),
                                             toffset(), lf_position(g_userSnapshot.get()));
        const auto reply = request(kNearestMetar, body, run_.buffer, kNearestMetarTexts);
        if (!reply) {
            waitFor(wrrl());
            return false;
        }
        const bool found = metarReply(*reply, status);
        waitFor(wrrl());
        return found;
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "nearestmetar", e.what()));
    }
    waitFor(wrrl());
    return false;
}

bool WeatherReader::metarReply(const json& reply, int& status)
{
    const int64_t answered = gf_jsonInt(reply, "status", 100);
    if (answered == 200) {
        std::string station;
        if (reply.is_object() && reply.contains("data") && gf_hasRecords(reply["data"])) {
            // The service sends an array; anything else is reported as the exception.
            station = reply["data"].at(0).value("ICAO", std::string());
        }
        {
            std::scoped_lock lock(g_metarMutex);
            run_.metarCode = station;
        }
        if (!station.empty()) run_.weatherOk = true;
        return !station.empty();
    }
    status = static_cast<int>(std::clamp<int64_t>(answered, -99999, 99999));
    if (answered == 406 || answered == 500) {
        gf_logHighlighted(
            fmt::format("{} json nearestmetar {}", status, gf_jsonString(reply, "message", "")));
    }
    return false;
}

void WeatherReader::publishQnh(int32_t qnh_hPa)
{
    // The same value twice is published once; the standard value every time, so that a reader
    // restarted with 1013 still sees it arrive.
    if (qnh_hPa == run_.lastQnh && qnh_hPa != kStandardQnh_hPa) return;
    run_.lastQnh = qnh_hPa;
    g_trafficReader.setQnh(qnh_hPa);
    g_trafficQnh = qnh_hPa;
    g_qnhReady = qnh_hPa;
    g_rtWindowStatus.qnh = qnh_hPa;
    if (g_rtWindowStatus.weatherReaderStatus == 2) g_rtWindowStatus.weatherReaderStatus = 1;
    gf_invalidateArea(WindowArea::StatusStrip);
}

bool WeatherReader::weather(int& status)
{
    const UserPosition user = g_userSnapshot.get();
    const std::string body = fmt::format(
        "GUID={}&querytype=locwx&toffset={}&{}&alt={}&airports={}", gf_formValue(guid()), toffset(),
        lf_position(user), lf_altitudeFeet(user.altitude_ft), gf_formValue(metarCode()));
    const auto reply = request(kWeather, body, run_.buffer, kWeatherTexts);
    if (reply && !weatherReply(*reply, status)) return false;
    waitFor(wrrl());
    return true;
}

bool WeatherReader::weatherReply(const json& reply, int& status)
{
    const int64_t answered = gf_jsonInt(reply, "status", 100);
    if (answered != 200 && answered != 406 && answered != 500) {
        status = static_cast<int>(std::clamp<int64_t>(answered, -99999, 99999));
        return false;
    }
    if (answered == 200) {
        setWrrl(gf_jsonInt(reply, "wrrl", kDefaultInterval_ms));
        static const json none;
        const json& data = reply.is_object() && reply.contains("data") ? reply["data"] : none;
        const int32_t qnh = std::clamp(extractQNH(data), kLowestQnh_hPa, kHighestQnh_hPa);
        // A stand-in reply would replace a real QNH by 1013 for the rest of the session: 20 hPa
        // are 540 ft of altitude on the approach. Until a real station answers, 1013 stands.
        if (!lf_placeholderWeather(data)) {
            run_.realQnh = true;
            publishQnh(qnh);
        } else if (!run_.realQnh) {
            publishQnh(kStandardQnh_hPa);
        }
        run_.weatherOk = true;
    } else {
        status = static_cast<int>(answered);
        gf_logHighlighted(
            fmt::format("{} json weather {}", status, gf_jsonString(reply, "message", "")));
        run_.weatherOk = false;
    }
    return true;
}

bool WeatherReader::receive(int& status)
{
    if (guid().empty()) return false;
    bool result = true;
    while (!stopOrClose()) {
        try {
            if (!nearestmetar(status)) {
                if (status == 400 || status == 401) {
                    result = false;
                    break;
                }
                waitFor(wrrl());
                continue;
            }
            if (!weather(status)) {
                result = false;
                break;
            }
        } catch (const std::exception& e) {
            gf_logHighlighted(fmt::format("{}: {}\n{}", "receive", e.what(), gf_head(run_.buffer)));
            waitFor(wrrl());
        }
    }
    setFinished(true);
    if (stopOrClose()) {
        status = kStoppedOnRequest;
        return false;
    }
    return result;
}

void WeatherReader::updateStatus()
{
    if (!run_.weatherOk) {
        if (run_.weatherOkShown) lf_setWeatherStatus(2);
        run_.weatherOkShown = false;
    } else if (!run_.weatherOkShown) {
        run_.weatherOkShown = true;
        lf_setWeatherStatus(1);
    }
}

}  // namespace rt

void gf_weatherReader(std::stop_token stop)
{
    using namespace rt;
    gf_runReaderThread(stop, {"Weather Reader", "Weather", "gf_weatherReader", g_weatherReader,
                              g_trafficReader, g_rtWindowStatus.weatherReaderStatus,
                              [](int& status) { return g_weatherReader.receive(status); }});
}

void gf_stopWeatherReader() { rt::g_weatherReader.requestStop(); }
bool gf_weatherReaderFinished() { return rt::g_weatherReader.finished(); }

}  // namespace qel
