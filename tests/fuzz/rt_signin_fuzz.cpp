// RealTraffic sign-in replies through the Weather Reader's handling of a received reply. The
// sign-in's waits run on a manual clock.
#include "weather_reply_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return qel::fuzz::weatherReply(data, size, [](const auto& reply, int& status) {
        (void)qel::rt::g_weatherReader.signInReply(reply, status);
    });
}
