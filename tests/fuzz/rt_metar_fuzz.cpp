// RealTraffic nearest-METAR replies through the Weather Reader's handling of a received reply.
#include "weather_reply_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return qel::fuzz::weatherReply(data, size, [](const auto& reply, int& status) {
        (void)qel::rt::g_weatherReader.metarReply(reply, status);
    });
}
