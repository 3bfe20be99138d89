// versions.json from the download server, read as the update check reads it.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "ui/ui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    (void)qel::gf_readVersionsText(qel::fuzz::asText(data, size));
    return 0;
}
