// RealTraffic weather replies through the Weather Reader's handling of a received reply; the
// QNH it publishes goes to the traffic side's atomics only.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "platform/clock.h"
#include "realtraffic/readers.h"
#include "realtraffic/rt_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static qel::platform::ScopedClock clock(std::make_unique<qel::platform::ManualClock>());
    const auto reply = qel::rt::gf_parseReply(qel::fuzz::asText(data, size));
    if (reply.is_discarded()) return 0;
    int status = 0;
    try {
        (void)qel::rt::g_weatherReader.weatherReply(reply, status);
    } catch (const std::exception&) {
        // The reader's request catches and logs as well.
    }
    return 0;
}
