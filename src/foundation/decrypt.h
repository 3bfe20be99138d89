// The program's encrypted data files (input/*.enc): libsodium secretstream, 4096-byte pieces.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <stdexcept>

namespace qel {

inline constexpr std::size_t g_dataKeyBytes = 32;
inline constexpr std::size_t g_dataChunkPlainBytes = 4096;
// The key every data file is enciphered with; the data-file builder uses it too.
extern const std::array<unsigned char, g_dataKeyBytes> g_dataFileKey;

// The deciphered file cannot be written (a full disk, a folder that may not be written): the
// data file itself is not at fault, and the text says where and why.
class DecipheredFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Deciphers `input` into `output`; true only when the stream ended with its final chunk. On
// failure logs "gf_streamDecrypt exception: ..." and leaves no output file. Throws
// DecipheredFileError when `output` cannot be made or written, after the same line.
bool gf_streamDecrypt(const std::filesystem::path& input, const std::filesystem::path& output);

}  // namespace qel
