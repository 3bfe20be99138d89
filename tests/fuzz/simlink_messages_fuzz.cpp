// Messages from the simulator as the dispatch callback receives them: any id, any size, any
// contents. The input is copied into an aligned buffer, as the simulator's own buffer is.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "foundation/log.h"
#include "foundation/time.h"
#include "fuzz_support.h"
#include "simlink/link_internal.h"
#include "simlink/simlink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 16) return 0;
    std::vector<uint64_t> aligned((size + 7) / 8 + 1, 0);
    std::memcpy(aligned.data(), data, size);
    qel::g_rtProfessional = size % 2 == 0;
    try {
        qel::lf_dispatch(reinterpret_cast<SIMCONNECT_RECV*>(aligned.data()),
                         static_cast<DWORD>(size), nullptr);
    } catch (const std::exception&) {
        // The simulator checks of the OPEN message end the connection with a user error.
    }
    // One message per run: what it left behind must not pile up over millions of runs.
    std::vector<qel::SimResult> results;
    qel::gf_takeSimResults(results);
    qel::gf_resetSimLinkRun();
    qel::g_stopRequested = false;
    qel::g_closeRequested = false;
    return 0;
}
