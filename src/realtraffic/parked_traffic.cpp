// Parked traffic: the main loop asks for the aircraft parked around the park airport and takes
// the reply later without waiting (or, for the tests' blocking form, waits for it); the Traffic
// Reader serves the request between two polls. Every request has a number, so that
// a reply arriving after the main loop gave up is never taken for the answer to a later one.
//
// The request and the take run on the main-loop thread; gf_getParkedTraffic waits there in 100 ms
// steps of the platform clock, at most 10 s; TrafficReader::parkedtraffic runs on the "Traffic Reader" thread. They
// meet only under g_trafficReaderMutex and through the request flag.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <numbers>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/time.h"
#include "platform/clock.h"
#include "realtraffic/readers.h"
#include "simlink/simlink.h"

namespace qel {

namespace rt {

namespace {

using nlohmann::json;
using namespace std::chrono_literals;

constexpr RequestKind kParked{"/v4/traffic", "ptcurl_", "ptcurl_: failed to set URL", "ptcurl_"};
constexpr ReplyTexts kParkedTexts{
    [](CURLcode code) {
        gf_logHighlighted(fmt::format("{} curl parkedtraffic code: {}",
                                      gf_timeString(platform::epochSeconds()),
                                      curl_easy_strerror(code)));
    },
    {"parkedtraffic: empty content", false},
    {"parkedtraffic invalid JSON:"}};
constexpr double kParkedBoxDeg = 0.04996402877697842;  // 3 nm: 3 × 1.852 / 111.2
constexpr double kParkedBox_ft = 18228.34647;          // 3 nm: 3 × 6076.11549
constexpr auto kParkedTimeout = 10s;
constexpr int32_t kPending = -1;
constexpr int32_t kDone = 0;
constexpr int32_t kFailedHere = 1;
constexpr int32_t kSlotsPerDay = 48;

// Youngest sighting first, none older than MAX_FIT (unless only RealTraffic's parked traffic is
// used), one aircraft per stand and per callsign.
void lf_ageSortAndDeduplicate(std::vector<ParkedAircraftRecord>& records)
{
    const int32_t now = gf_halfHourSlot();
    for (auto& record : records) {
        record.age_halfHours =
            ((now - record.halfHourSlot) % kSlotsPerDay + kSlotsPerDay) % kSlotsPerDay;
    }
    if (!RT_PARKTRAFFIC_ONLY.current) {
        const int32_t maxFit = MAX_FIT.current;
        std::erase_if(records, [maxFit](const auto& r) { return r.age_halfHours > maxFit; });
    }
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a.age_halfHours < b.age_halfHours;
    });
    std::unordered_set<std::string> stands;
    std::unordered_set<std::string> callsigns;
    std::vector<ParkedAircraftRecord> kept;
    kept.reserve(records.size());
    for (auto& record : records) {
        if (stands.contains(record.standName)) continue;
        if (!record.callsign.empty() && callsigns.contains(record.callsign)) continue;
        stands.insert(record.standName);
        if (!record.callsign.empty()) callsigns.insert(record.callsign);
        kept.push_back(std::move(record));
    }
    records = std::move(kept);
}

}  // namespace

bool TrafficReader::parkedReply(const json& reply, const ParkedDecodeContext& context,
                                std::vector<ParkedAircraftRecord>& records, int32_t& status)
{
    const int64_t answered = gf_jsonInt(reply, "status", 100);
    if (answered == 406) {
        gf_logHighlighted(
            fmt::format("parkedtraffic msg: {}", gf_jsonString(reply, "message", "")));
        status = kDone;
        return true;
    }
    if (answered != 200) {
        status = static_cast<int32_t>(std::clamp<int64_t>(answered, -99999, 99999));
        return false;
    }
    setRrl(gf_jsonInt(reply, "rrl", kDefaultInterval_ms));
    if (reply.is_object() && reply.contains("data") && gf_hasRecords(reply["data"])) {
        const json& data = reply["data"];
        if (data.is_object()) {
            for (const auto& [key, value] : data.items()) {
                if (gf_hasRecords(value)) processParkedTrafficLine(key, value, context, records);
            }
        } else if (data.is_array()) {
            for (std::size_t i = 0; i < data.size(); ++i) {
                if (gf_hasRecords(data[i])) {
                    processParkedTrafficLine(std::to_string(i), data[i], context, records);
                }
            }
        }
    }
    status = kDone;
    return true;
}

void TrafficReader::parkedtraffic()
{
    ParkedRequest asked;
    {
        std::scoped_lock lock(g_trafficReaderMutex);
        if (run_.parked.number == 0) return;  // given up before it was served
        asked.number = run_.parked.number;
        asked.box = run_.parked.box;
        asked.context = run_.parked.context;
    }
    int32_t status = kFailedHere;
    std::vector<ParkedAircraftRecord> records;
    try {
        if (!guid().empty()) {
            if (const auto reply = request(kParked, boxBody(asked.box, "parkedtraffic"),
                                           run_.buffer, kParkedTexts)) {
                parkedReply(*reply, asked.context, records, status);
            }
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "parkedtraffic", e.what()));
        status = kFailedHere;
        records.clear();
    }
    std::scoped_lock lock(g_trafficReaderMutex);
    if (run_.parked.number != asked.number) return;  // a late reply: nobody waits for it
    run_.parked.status = status;
    run_.parked.records = std::move(records);
}

int32_t TrafficReader::awaitParked(uint64_t number)
{
    const auto giveUp = [this, number] {
        std::scoped_lock lock(g_trafficReaderMutex);
        if (run_.parked.number != number) return;
        run_.parked.number = 0;
        run_.parked.records.clear();
    };
    sleepMs(100);
    const auto start = platform::steadyNow();
    for (;;) {
        {
            std::scoped_lock lock(g_trafficReaderMutex);
            if (run_.parked.number == number && run_.parked.status != kPending)
                return run_.parked.status;
        }
        if (gf_stopFlag()) {
            giveUp();
            return kFailedHere;
        }
        sleepMs(100);
        if (platform::steadyNow() - start > kParkedTimeout) {
            giveUp();
            gf_log("ParkedTraffic receiving timed out after 10 seconds");
            return kPending;
        }
    }
}

uint64_t TrafficReader::requestParked(LatLon parkAirport)
{
    Box box;
    box.top = parkAirport.lat + kParkedBoxDeg;
    box.bottom = parkAirport.lat - kParkedBoxDeg;
    box.left = gf_destinationPoint(parkAirport, -std::numbers::pi / 2, kParkedBox_ft).lon;
    box.right = gf_destinationPoint(parkAirport, std::numbers::pi / 2, kParkedBox_ft).lon;
    // The names the decoding compares with are copied here, on their owner's thread.
    const UserPosition user = g_userSnapshot.get();
    ParkedDecodeContext context{
        g_reservedStandName, gf_lookUpClosestStand(user.latitude, user.longitude),
        LIGHT_AIRCRAFT.current, HIGH_PERF_AIRCRAFT.current, HELICOPTERS.current};
    uint64_t number = 0;
    {
        std::scoped_lock lock(g_trafficReaderMutex);
        number = ++run_.parkedCounter;
        run_.parked = ParkedRequest{number, box, std::move(context), kPending, {}};
    }
    run_.parkedRequested = true;
    return number;
}

ParkedTake TrafficReader::takeParked(uint64_t number, std::vector<ParkedAircraftRecord>& records)
{
    records.clear();
    int32_t status = kPending;
    {
        std::scoped_lock lock(g_trafficReaderMutex);
        // An older request's number: its reply, if it ever comes, answers nobody.
        if (number == 0 || run_.parked.number != number) return ParkedTake::failed;
        status = run_.parked.status;
        if (status == kPending) return ParkedTake::pending;
        if (status == kDone) records = std::move(run_.parked.records);
        run_.parked.records.clear();
        run_.parked.number = 0;
    }
    switch (status) {
    case kDone: break;
    case 400: throw std::runtime_error("RT API parameter fault");
    case 403: throw std::runtime_error("No data for this license type");
    case 401:
        gf_logHighlighted(
            fmt::format("RT Parkedtraffic: re-authentication to RT API is needed {}", g_shortName));
        return ParkedTake::failed;
    case kFailedHere: return ParkedTake::failed;
    default:
        gf_logHighlighted(fmt::format("RT Parkedtraffic error status: {}", status));
        return ParkedTake::failed;
    }
    lf_ageSortAndDeduplicate(records);
    return ParkedTake::ready;
}

bool TrafficReader::getParkedTraffic(LatLon parkAirport, std::vector<ParkedAircraftRecord>& records)
{
    records.clear();
    const uint64_t number = requestParked(parkAirport);
    if (awaitParked(number) == kPending) return false;
    return takeParked(number, records) == ParkedTake::ready;
}

}  // namespace rt

bool gf_getParkedTraffic(LatLon parkAirport, std::vector<ParkedAircraftRecord>& records)
{
    return rt::g_trafficReader.getParkedTraffic(parkAirport, records);
}

uint64_t gf_requestParkedTraffic(LatLon parkAirport)
{
    return rt::g_trafficReader.requestParked(parkAirport);
}

ParkedTake gf_takeParkedTraffic(uint64_t number, std::vector<ParkedAircraftRecord>& records)
{
    return rt::g_trafficReader.takeParked(number, records);
}

}  // namespace qel
