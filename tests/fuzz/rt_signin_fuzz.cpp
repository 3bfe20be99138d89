// RealTraffic sign-in replies through the Weather Reader's handling of a received reply. The
// sign-in's waits run on a manual clock.
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
    int status = 0;
    try {
        (void)qel::rt::g_weatherReader.signInReply(std::string(qel::fuzz::asText(data, size)),
                                                   status);
    } catch (const std::exception&) {
        // The sign-in's request catches and logs as well.
    }
    return 0;
}
