// Text files of any charset: the charset detection, then the reading into UTF-8 lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/textfile.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto path = qel::fuzz::writeScratch("text.txt", data, size);
    const qel::Charset charset = qel::gf_detectCharset(path);
    std::vector<std::string> lines;
    (void)qel::gf_readTextFile(charset, path, lines);
    // Every charset once, as a caller that trusts a stored charset would read the file.
    for (int c = 0; c < static_cast<int>(qel::Charset::none_found); ++c) {
        (void)qel::gf_readTextFile(static_cast<qel::Charset>(c), path, lines);
    }
    return 0;
}
