// The data files' deciphering: a damaged file as it arrives, and well-formed streams with the
// real key and a wrong one, cut or with a byte changed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/decrypt.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const uint8_t mode = data[0] % 4;
    const uint8_t cut = data[1];
    const auto rest = qel::fuzz::asText(data + 2, size - 2);
    static const std::array<unsigned char, qel::g_dataKeyBytes> wrongKey{1, 2, 3};
    std::string file;
    switch (mode) {
    case 0: file = std::string(rest); break;
    case 1: file = qel::fuzz::encrypted(rest, qel::g_dataFileKey.data()); break;
    case 2: file = qel::fuzz::encrypted(rest, wrongKey.data()); break;
    default:
        file = qel::fuzz::encrypted(rest, qel::g_dataFileKey.data());
        if (cut % 2 == 0) {
            file.resize(file.size() * cut / 256);
        } else {
            file[file.size() * cut / 256] ^= 0x20;
        }
        break;
    }
    const auto input = qel::fuzz::writeScratch(
        "data.enc", reinterpret_cast<const uint8_t*>(file.data()), file.size());
    (void)qel::gf_streamDecrypt(input, qel::fuzz::scratchDir() / "data.xml");
    return 0;
}
