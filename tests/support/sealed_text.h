// The program's data-file container written by the tests and the fuzz targets: a text sealed as
// the data files are, so that the reader can be fed both good and damaged containers.
#pragma once

#include <string>
#include <string_view>

namespace qel::test {

// The bytes enciphered as the program's data files are (secretstream, 4096-byte pieces, the
// last tagged final, an empty text as one empty final piece) with `key`, which holds
// crypto_secretstream_xchacha20poly1305_KEYBYTES bytes. Throws std::runtime_error when libsodium
// cannot start.
std::string sealedText(std::string_view plain, const unsigned char* key);

}  // namespace qel::test
