// RealTraffic parkedtraffic replies: the reply parsing and the Traffic Reader's handling of a
// received reply, records decoded.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "realtraffic/readers.h"
#include "realtraffic/rt_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto reply = qel::rt::gf_parseReply(qel::fuzz::asText(data, size));
    if (reply.is_discarded()) return 0;
    qel::rt::ParkedDecodeContext context;
    context.reservedStand = "A12";
    context.lightAircraft = size % 2 == 0;
    context.helicopters = size % 3 == 0;
    std::vector<qel::ParkedAircraftRecord> records;
    int32_t status = 0;
    try {
        (void)qel::rt::g_trafficReader.parkedReply(reply, context, records, status);
    } catch (const std::exception&) {
        // The reader's request catches and logs as well.
    }
    return 0;
}
