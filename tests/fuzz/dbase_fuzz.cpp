// input/dbase.enc: deciphered with the data-file key and read into the aircraft database.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "foundation/decrypt.h"
#include "foundation/globals.h"
#include "fuzz_support.h"
#include "liveries/liveries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file =
        qel::fuzz::encrypted(qel::fuzz::asText(data, size), qel::g_dataFileKey.data());
    // The reader takes the program's relative path; the scratch folder is the working folder.
    (void)qel::fuzz::writeScratch(qel::g_dbaseEnc, reinterpret_cast<const uint8_t*>(file.data()),
                                  file.size());
    try {
        (void)qel::gf_readDbase();
    } catch (const std::exception&) {
        // User error 61 for a missing section; the start-up reports it.
    }
    qel::gf_clearAircraftDatabase();
    return 0;
}
