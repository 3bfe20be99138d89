// A registration-code text file of the user's (input/my_regcodes): title; registrations; "#".
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "fuzz_support.h"
#include "liveries/liveries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::filesystem::path folder = qel::fuzz::scratchDir() / "my_regcodes";
    static const bool ready = std::filesystem::create_directories(folder);
    (void)ready;
    (void)qel::fuzz::writeScratch(folder / "codes.TXT", data, size);
    std::vector<qel::RegcodeRecord> records;
    (void)qel::gf_readRegcodeFiles(folder, records);
    return 0;
}
