// parameters.xml as a damaged or hand-edited file may be: read into every setting (numbers
// clamped, versions parsed), then written back.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "foundation/globals.h"
#include "foundation/parameters.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    qel::g_parametersPath = qel::fuzz::writeScratch("parameters.xml", data, size);
    qel::g_parametersPathUtf8 = qel::g_parametersPath.string();
    try {
        (void)qel::gf_readParameters();
    } catch (const std::exception&) {
        // The start-up reports a file it cannot read or write.
    }
    return 0;
}
