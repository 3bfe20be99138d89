// RealTraffic locationtraffic replies, polled and buffered: the reply parsing and the decoding
// of every record as the Traffic Reader does it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "foundation/codes.h"
#include "fuzz_support.h"
#include "realtraffic/decoding.h"
#include "realtraffic/readers.h"
#include "realtraffic/rt_connection.h"

namespace {

void decodeRecords(const nlohmann::json& data, const qel::rt::LiveDecodeContext& context,
                   qel::rt::LiveDecodeState& state)
{
    if (!qel::rt::gf_hasRecords(data)) return;
    for (const auto& value : data) {
        if (value.is_array() && value.size() == qel::rt::kLiveRecordFields) {
            qel::rt::processLine(value, context, state);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto text = qel::fuzz::asText(data, size);
    const auto reply = qel::rt::gf_parseReply(text);
    // A reply parsed as it came reads the same as its mended copy.
    const auto mended = qel::rt::gf_mendReply(text);
    const auto viaCopy = mended ? nlohmann::json::parse(*mended, nullptr, false)
                                : nlohmann::json(nlohmann::json::value_t::discarded);
    if (reply.is_discarded() != viaCopy.is_discarded()) std::abort();
    if (!reply.is_discarded() && reply != viaCopy) std::abort();
    if (reply.is_discarded() || !reply.is_object() || !reply.contains("data")) return 0;
    (void)qel::rt::gf_jsonInt(reply, "status", 100);
    (void)qel::rt::gf_jsonString(reply, "message", "");
    qel::rt::LiveDecodeContext context;
    context.reference = {51.2895, 6.76678};
    context.parkAirport = qel::ParkAirportReference{51.2895, 6.76678, 147.0F};
    context.collectIds = size % 2 == 0;
    context.blockCallsign = "DLH4AB";
    qel::rt::LiveDecodeState state;
    const auto& records = reply["data"];
    decodeRecords(records, context, state);
    for (int k = 0; k < 5 && records.is_object(); ++k) {
        const std::string key = fmt::format("buffer_{}", k);
        if (records.contains(key)) decodeRecords(records[key], context, state);
    }
    return 0;
}
