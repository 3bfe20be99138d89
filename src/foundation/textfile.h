// Text files of any charset read into UTF-8 lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qel {

enum class Charset : int32_t {
    ANSI = 0,
    Unicode = 1,             // UTF-16 little endian
    Unicode_big_endian = 2,  // UTF-16 big endian
    UTF8_with_BOM = 3,
    UTF8_without_BOM = 4,  // also an empty file
    none_found = 5,        // the file cannot be opened
};

// "ANSI", "Unicode", ...; throws std::out_of_range "invalid map<K, T> key" outside 0..5.
const std::string& gf_charsetName(Charset charset);
// From the first bytes, then a UTF-8 test of the first 4096 bytes (a character that the 4096th
// byte cuts is checked whole). Never throws.
Charset gf_detectCharset(const std::filesystem::path& path);
// Lines cleared first; true when the file was opened and read. UTF-16 without a byte-order
// mark is taken in the order the charset names. A read or conversion error is shown on the
// message line as "Read failed for '{}': {}" and gives false. Throws std::runtime_error
// "file {} has unknown charset: {}" for none_found (before opening the file).
bool gf_readTextFile(Charset charset, const std::filesystem::path& path,
                     std::vector<std::string>& lines);
// The whole stream split into lines and appended; an empty stream appends nothing.
void gf_readLines(std::istream& in, std::vector<std::string>& lines);
// Cut at "\n", one trailing "\r" removed per piece, the piece after the last "\n" kept (so
// "a\n" gives "a" and ""); a leading UTF-8 byte-order mark is dropped; "" gives no lines.
void gf_splitLines(std::string_view text, std::vector<std::string>& lines);

// A file's path and the lines read from it.
struct TextFileLines {
    std::filesystem::path path;
    std::vector<std::string> lines;
};
struct FileLinesResult {
    std::span<const std::string> lines;  // valid while the TextFileLines lives unchanged
    std::string error;                   // "open_failed", or empty
    bool ok() const { return error.empty(); }
};
// The file's UTF-8 lines into file.lines (cleared, then reserved to `reserve`).
FileLinesResult gf_readFileLines(TextFileLines& file, std::size_t reserve);

}  // namespace qel
