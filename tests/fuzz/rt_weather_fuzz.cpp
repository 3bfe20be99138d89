// RealTraffic weather, nearest-METAR and sign-in replies through the Weather Reader's handling
// of a received reply. The sign-in's and the readers' waits run on a manual clock.
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
    if (size == 0) return 0;
    // The first byte picks the request the reply answers.
    const char kind = static_cast<char>(data[0] % 3);
    const std::string body(qel::fuzz::asText(data + 1, size - 1));
    auto& reader = qel::rt::g_weatherReader;
    int status = 0;
    try {
        if (kind == 0) {
            (void)reader.signInReply(body, status);
            return 0;
        }
        const auto reply = qel::rt::gf_parseReply(body);
        if (reply.is_discarded()) return 0;
        if (kind == 1) {
            (void)reader.metarReply(reply, status);
        } else {
            (void)reader.weatherReply(reply, status);
        }
    } catch (const std::exception&) {
        // The reader's request catches and logs as well.
    }
    return 0;
}
