// RealTraffic weather replies through the Weather Reader's handling of a received reply; the
// QNH it publishes goes to the traffic side's atomics only.
#include "weather_reply_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return qel::fuzz::weatherReply(data, size, [](const auto& reply, int& status) {
        (void)qel::rt::g_weatherReader.weatherReply(reply, status);
    });
}
