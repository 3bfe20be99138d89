// input/AIG-regcodes.xml once deciphered: the registration-code reader.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "foundation/globals.h"
#include "fuzz_support.h"
#include "liveries/liveries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    (void)qel::fuzz::writeScratch(qel::g_aigRegcodesXml, data, size);
    std::vector<qel::RegcodeRecord> records;
    try {
        (void)qel::gf_readAigRegcodesXml(records);
    } catch (const std::exception&) {
        // Only a file that cannot be removed throws.
    }
    return 0;
}
