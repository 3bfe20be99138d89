// input/airports.enc: deciphered with the data-file key and read into the airport table.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "foundation/decrypt.h"
#include "fuzz_support.h"
#include "scenery/scenery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file =
        qel::fuzz::encrypted(qel::fuzz::asText(data, size), qel::g_dataFileKey.data());
    const auto enc = qel::fuzz::writeScratch(
        "input/airports.enc", reinterpret_cast<const uint8_t*>(file.data()), file.size());
    try {
        (void)qel::gf_readAirportsFrom(enc, qel::fuzz::scratchDir() / "input/airports.xml");
    } catch (const std::exception&) {
        // User error 88 for a file that does not load; the start-up reports it.
    }
    qel::gf_clearAirports();
    return 0;
}
