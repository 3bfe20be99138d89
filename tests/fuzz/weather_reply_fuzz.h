// The body the RealTraffic weather-side targets share (sign-in, nearest METAR, weather): a reply
// parsed as the reader parses it, then handed to one of the Weather Reader's reply handlers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "fuzz_support.h"
#include "platform/clock.h"
#include "realtraffic/readers.h"
#include "realtraffic/rt_connection.h"

namespace qel::fuzz {

template <typename Handler>
int weatherReply(const uint8_t* data, size_t size, Handler handler)
{
    static platform::ScopedClock clock(std::make_unique<platform::ManualClock>());
    const auto reply = rt::gf_parseReply(asText(data, size));
    if (reply.is_discarded()) return 0;
    int status = 0;
    try {
        handler(reply, status);
    } catch (const std::exception&) {
        // The reader's request catches and logs as well.
    }
    return 0;
}

}  // namespace qel::fuzz
