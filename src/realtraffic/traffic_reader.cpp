// The Traffic Reader: the buffered first load, the poll loop at the server's pace, the hand-over
// of every batch to the traffic manager, the query box around the user and the status strip.
//
// Thread "Traffic Reader" (gf_trafficReader), started by the start-up thread once per run and
// ended by its stop flag (close-down, the Weather Reader's exit guard, the thread's stop token)
// or by a server status that ends the loop. Takes g_trafficReaderMutex alone (never while
// waiting or sending); the traffic manager's intakes, called from gf_pushAddingStack, take the
// traffic manager's own lock. Waits between requests through the platform clock; a stop ends a
// wait and a transfer at once.
#include <cmath>
#include <exception>
#include <numbers>
#include <stop_token>
#include <string>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
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

constexpr RequestKind kTraffic{"/v4/traffic", "trcurl_", "trcurl_: failed to set URL", "trcurl_"};
constexpr int kBufferCount = 5;
constexpr int kBufferTime_s = 6;
constexpr double kKmPerNm = 1.852;
constexpr double kKmPerDegreeLatitude = 111.2;
constexpr double kFeetPerNm = 6076.11549;
constexpr double kNoPositionDeg = 0.0001;
constexpr double kBoxMoveDeg = 0.00015;

void lf_setTrafficStatus(int32_t status)
{
    g_rtWindowStatus.trafficReaderStatus = status;
    gf_invalidateArea(WindowArea::StatusStrip);
}

std::string lf_now() { return gf_timeString(platform::epochSeconds()); }

int lf_statusOf(int64_t status)
{
    return static_cast<int>(std::clamp<int64_t>(status, -99999, 99999));
}

constexpr ReplyTexts kBufferTexts{
    [](CURLcode code) {
        gf_logHighlighted(
            fmt::format("{} buffer traffic code: {}", lf_now(), curl_easy_strerror(code)));
    },
    {"buffer traffic: empty content"},
    {"buffer invalid JSON:"},
    {},
    true};
constexpr ReplyTexts kPollTexts{
    [](CURLcode code) {
        gf_logHighlighted(fmt::format("curl traffic code:{} = {}", static_cast<int>(code),
                                      curl_easy_strerror(code)));
    },
    {"traffic receive: empty content"},
    {"traffic receive invalid JSON:"},
    "traffic receive, invalid json 504 Gateway Timeout",
    true};

}  // namespace

void gf_logReaderEnd(std::string_view reader, int status)
{
    switch (status) {
    case 401:
        gf_logHighlighted(
            fmt::format("re-authentication to RT API is needed, restart {}", g_shortName));
        break;
    case 400: gf_logHighlighted(fmt::format("{} RT API: parameter fault", reader)); break;
    case 403:
        gf_logHighlighted(fmt::format("{} RT API: No data for this license type", reader));
        break;
    default: gf_logHighlighted(fmt::format("{} RT API error: {}", reader, status)); break;
    }
}

bool gf_hasRecords(const json& data)
{
    return !data.is_null() && !((data.is_object() || data.is_array()) && data.empty());
}

std::string TrafficReader::boxBody(const Box& box, std::string_view querytype) const
{
    return fmt::format(
        "GUID={}&top={:.2F}&bottom={:.2F}&left={:.2F}&right={:.2F}"
        "&querytype={}&toffset={}",
        gf_formValue(guid()), box.top, box.bottom, box.left, box.right, querytype, toffset());
}

LiveDecodeContext TrafficReader::decodeContext() const
{
    LiveDecodeContext context;
    const UserPosition user = g_userSnapshot.get();
    context.reference = {user.latitude, user.longitude};
    context.range_nm = static_cast<double>(RANGE.current.load());
    context.qnh_hPa = run_.qnh;
    {
        std::scoped_lock lock(g_trafficReaderMutex);
        context.parkAirport = run_.parkAirport;
    }
    context.airborneOnly = AIRBORNE_ONLY.current;
    context.blockCallsign = BLOCK_CALLSIGN.value();
    context.collectIds = run_.collecting;
    return context;
}

void TrafficReader::decodeRecords(const json& data, const LiveDecodeContext& context)
{
    if (!gf_hasRecords(data)) return;
    for (const auto& value : data) {
        if (value.is_array() && value.size() == kLiveRecordFields) {
            processLine(value, context, run_.state);
        }
    }
}

void TrafficReader::handOver(int32_t delay_s)
{
    run_.recordCount = static_cast<int64_t>(run_.state.records.size());
    if (!run_.state.ids.callsigns.empty() || !run_.state.ids.hexIds.empty()) {
        std::scoped_lock lock(g_trafficReaderMutex);
        // Ids of a batch decoded while phase B took the sets over belong to no refresh.
        if (run_.collecting) {
            run_.ids.callsigns.merge(run_.state.ids.callsigns);
            run_.ids.hexIds.merge(run_.state.ids.hexIds);
        }
    }
    run_.state.ids = {};
    gf_pushAddingStack(run_.state.records, delay_s);
    run_.state.records.clear();
}

bool TrafficReader::bufferedReply(const json& reply, int& status)
{
    const int64_t answered = gf_jsonInt(reply, "status", 100);
    if (answered == 406) {
        status = 406;
        gf_logHighlighted(
            fmt::format(" buffer traffic msg {}", gf_jsonString(reply, "message", "")));
        return false;
    }
    if (answered != 200) {
        status = lf_statusOf(answered);
        return false;
    }
    setRrl(gf_jsonInt(reply, "rrl", kDefaultInterval_ms));
    run_.collecting = true;
    if (!reply.is_object() || !reply.contains("data") || !gf_hasRecords(reply["data"])) {
        return false;
    }
    const json& data = reply["data"];
    const LiveDecodeContext context = decodeContext();
    // The oldest step first: it is due at once, the newest 24 seconds later.
    for (int k = 0; k < kBufferCount; ++k) {
        const std::string key = fmt::format("buffer_{}", kBufferCount - 1 - k);
        if (data.is_object() && data.contains(key)) decodeRecords(data[key], context);
        handOver(kBufferTime_s * k);
    }
    return true;
}

bool TrafficReader::buffer(int& status)
{
    if (guid().empty()) return false;
    bool result = false;
    try {
        const std::string body =
            boxBody(box(), "locationtraffic") +
            fmt::format("&buffercount={}&buffertime={}", kBufferCount, kBufferTime_s);
        if (const auto reply = request(kTraffic, body, run_.buffer, kBufferTexts)) {
            result = bufferedReply(*reply, status);
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "buffer", e.what()));
    }
    waitFor(rrl());
    if (stopOrClose()) {
        status = kStoppedOnRequest;
        return false;
    }
    return result;
}

bool TrafficReader::poll(int& status)
{
    const auto received =
        request(kTraffic, boxBody(box(), "locationtraffic"), run_.buffer, kPollTexts);
    if (!received) {
        waitFor(rrl());
        return true;
    }
    const json& reply = *received;
    const int64_t answered = gf_jsonInt(reply, "status", 100);
    if (answered == 406) {
        gf_logHighlighted(
            fmt::format("{} curl traffic msg: {}", lf_now(), gf_jsonString(reply, "message", "")));
        waitFor(rrl());
        return true;
    }
    if (answered != 200) {
        status = lf_statusOf(answered);
        return false;
    }
    setRrl(gf_jsonInt(reply, "rrl", kDefaultInterval_ms));
    if (reply.is_object() && reply.contains("data")) decodeRecords(reply["data"], decodeContext());
    handOver(kPollDelay_s);
    waitFor(rrl());
    return true;
}

bool TrafficReader::receive(int& status)
{
    if (guid().empty()) return false;
    if (!buffer(status) && !stopOrClose()) {
        gf_logHighlighted(fmt::format("buffer failed {}", status));
    }
    bool result = true;
    if (!stopOrClose()) run_.receiving = true;
    while (!stopOrClose()) {
        try {
            if (serveParkedRequest()) {
                waitFor(rrl());
                continue;
            }
            if (!poll(status)) {
                result = false;
                break;
            }
        } catch (const std::exception& e) {
            gf_logHighlighted(fmt::format("{}: {}\n{}", "receive", e.what(), gf_head(run_.buffer)));
            waitFor(rrl());
        }
    }
    run_.receiving = false;
    setFinished(true);
    if (stopOrClose()) {
        status = kStoppedOnRequest;
        return false;
    }
    return result;
}

bool TrafficReader::serveParkedRequest()
{
    if (!run_.parkedRequested.exchange(false)) return false;
    parkedtraffic();
    return true;
}

Box TrafficReader::box() const
{
    std::scoped_lock lock(g_trafficReaderMutex);
    return run_.box;
}

void TrafficReader::updateBox(const UserPosition& user, double range_nm)
{
    if (std::abs(user.latitude) <= kNoPositionDeg && std::abs(user.longitude) <= kNoPositionDeg) {
        return;
    }
    const LatLon centre{user.latitude, user.longitude};
    std::scoped_lock lock(g_trafficReaderMutex);
    if (std::abs(centre.lat - run_.lastCentre.lat) < kBoxMoveDeg &&
        std::abs(centre.lon - run_.lastCentre.lon) < kBoxMoveDeg && range_nm == run_.lastRange_nm) {
        return;
    }
    run_.lastRange_nm = range_nm;
    run_.lastCentre = centre;
    const double d = range_nm * kKmPerNm / kKmPerDegreeLatitude;
    run_.box.top = centre.lat + d;
    run_.box.bottom = centre.lat - d;
    run_.box.left = gf_destinationPoint(centre, -std::numbers::pi / 2, range_nm * kFeetPerNm).lon;
    run_.box.right = gf_destinationPoint(centre, std::numbers::pi / 2, range_nm * kFeetPerNm).lon;
}

void TrafficReader::setParkAirport(std::optional<ParkAirportReference> airport)
{
    std::scoped_lock lock(g_trafficReaderMutex);
    run_.parkAirport = airport;
}

void TrafficReader::startIdCollection()
{
    std::scoped_lock lock(g_trafficReaderMutex);
    run_.collecting = true;
}

LiveIds TrafficReader::takeIds()
{
    std::scoped_lock lock(g_trafficReaderMutex);
    run_.collecting = false;
    LiveIds taken = std::move(run_.ids);
    run_.ids = {};
    return taken;
}

void TrafficReader::updateStatus()
{
    if (run_.recordCount < 1) {
        if (run_.hasTrafficShown) lf_setTrafficStatus(2);
        run_.hasTrafficShown = false;
    } else if (!run_.hasTrafficShown) {
        run_.hasTrafficShown = true;
        lf_setTrafficStatus(1);
    }
}

}  // namespace rt

std::size_t Fnv1aHash::operator()(std::string_view text) const noexcept
{
    uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return static_cast<std::size_t>(hash);
}

std::size_t Fnv1aHash::operator()(uint32_t value) const noexcept
{
    uint64_t hash = 14695981039346656037ULL;
    for (int i = 0; i < 4; ++i) {
        hash ^= (value >> (8 * i)) & 0xFFU;
        hash *= 1099511628211ULL;
    }
    return static_cast<std::size_t>(hash);
}

void gf_trafficReader(std::stop_token stop)
{
    using namespace rt;
    gf_runReaderThread(stop, {"Traffic Reader", "Traffic", "gf_trafficReader", g_trafficReader,
                              g_weatherReader, g_rtWindowStatus.trafficReaderStatus,
                              [](int& status) { return g_trafficReader.receive(status); }});
}

void gf_stopTrafficReader() { rt::g_trafficReader.requestStop(); }
bool gf_trafficReaderFinished() { return rt::g_trafficReader.finished(); }
bool gf_trafficReceiving() { return rt::g_trafficReader.receiving(); }

int64_t gf_trafficDataTime()
{
    const double time = g_historicTime;
    // A report time beyond any calendar means no usable time.
    return time > 0.0 && time < 9.0e15 ? static_cast<int64_t>(time) : 0;
}

void gf_setTrafficReference(double latitude, double longitude, double altitude_ft)
{
    rt::g_userSnapshot.set({latitude, longitude, altitude_ft});
}

void gf_updateTrafficBox()
{
    rt::g_trafficReader.updateBox(rt::g_userSnapshot.get(),
                                  static_cast<double>(RANGE.current.load()));
}

void gf_updateReaderStatus()
{
    if (!rt::g_rtAuthenticated) return;
    rt::g_weatherReader.updateStatus();
    rt::g_trafficReader.updateStatus();
}

void gf_setParkAirportReference(std::optional<ParkAirportReference> airport)
{
    rt::g_trafficReader.setParkAirport(airport);
}

void gf_startLiveIdCollection() { rt::g_trafficReader.startIdCollection(); }
LiveIds gf_takeLiveIds() { return rt::g_trafficReader.takeIds(); }

}  // namespace qel
