// The program's encrypted data files (input/*.enc): libsodium secretstream, 4096-byte pieces.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>

namespace qel {

inline constexpr std::size_t g_dataKeyBytes = 32;
inline constexpr std::size_t g_dataChunkPlainBytes = 4096;
// The key every data file is enciphered with; the data-file builder uses it too.
extern const std::array<unsigned char, g_dataKeyBytes> g_dataFileKey;

// Deciphers `input` into `output`; true only when the stream ended with its final chunk. On
// failure logs "gf_streamDecrypt exception: ..." and leaves no output file.
bool gf_streamDecrypt(const std::filesystem::path& input, const std::filesystem::path& output);

}  // namespace qel
