// Helpers for the fuzz targets: a scratch folder for parsers that read files, and the input as
// text.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace qel::fuzz {

// A folder of this process under the system's temp folder, made on first use and removed at
// exit. It holds an empty "input" folder, and becomes the working folder, so that parsers
// reading paths relative to the working folder never touch the repository.
const std::filesystem::path& scratchDir();

// The bytes written to scratchDir()/name (replacing it); the file's path.
std::filesystem::path writeScratch(const std::filesystem::path& name, const uint8_t* data,
                                   size_t size);

// The bytes enciphered as the program's data files are (secretstream, 4096-byte pieces, the
// last tagged final) with `key`: the data-file key, or a wrong one.
std::string encrypted(std::string_view plain, const unsigned char* key);

// Headings compare in degrees, within the files' decimals.
constexpr double kDegreesPerRad = 57.29577951308232;

// A finding: the input broke what the target checks.
inline void require(bool condition)
{
    if (!condition) std::abort();
}

// Equal within `tolerance`, and within a hair of large values' own size.
inline bool near(double a, double b, double tolerance)
{
    return std::abs(a - b) <= tolerance + 1e-9 * std::abs(a);
}

inline std::string_view asText(const uint8_t* data, size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace qel::fuzz
