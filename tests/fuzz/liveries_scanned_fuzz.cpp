// output/LiveriesScanned.xml: the scanned livery list read back at every start.
#include <cstddef>
#include <cstdint>

#include "foundation/codes.h"
#include "fuzz_support.h"
#include "liveries/scanned_liveries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto path = qel::fuzz::writeScratch("LiveriesScanned.xml", data, size);
    qel::LiveryList liveries;
    try {
        qel::gf_readLiveriesScanned(path, liveries);
        // What was read can be written and read again.
        qel::gf_writeLiveriesScanned(liveries, path, 1);
        qel::gf_readLiveriesScanned(path, liveries);
    } catch (const qel::UserErrorException&) {
        // A missing, damaged or empty list: the start-up shows the error.
    }
    // Every code the input names is interned; the tables would fill up over the runs.
    qel::g_airlineCodes.clear();
    qel::g_modelCodes.clear();
    return 0;
}
