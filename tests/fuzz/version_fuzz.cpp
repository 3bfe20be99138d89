// Version texts as parameters.xml and versions.json hold them: "11.14.0" or a JSON object.
#include <cstddef>
#include <cstdint>

#include "foundation/version.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const qel::VersionData version(qel::fuzz::asText(data, size));
    (void)version.text();
    return 0;
}
