// Text files of any charset read into UTF-8 lines: detection of the charset of a package file
// and conversion of UTF-16 and the ANSI code page.
#include "foundation/textfile.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/strings.h"
#include "foundation/window_status.h"
#include "platform/text.h"

namespace qel {

namespace {

constexpr std::string_view lf_utf8Bom = "\xEF\xBB\xBF";
// Only the start of a file is examined for UTF-8 validity.
constexpr std::size_t lf_detectionWindow = 4096;

unsigned char lf_byte(std::string_view bytes, std::size_t i)
{
    return static_cast<unsigned char>(bytes[i]);
}

// The length of the UTF-8 sequence that `lead` starts, and the range its second byte must lie
// in (which rules out overlong forms, surrogates and values above U+10FFFF); 0 for a byte that
// cannot start a sequence.
struct Utf8Lead {
    std::size_t length;
    unsigned char secondMin;
    unsigned char secondMax;
};

Utf8Lead lf_utf8Lead(unsigned char lead)
{
    if (lead < 0x80) return {1, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// Whether the sequences that start within the first `window` bytes are valid UTF-8. A sequence
// that begins inside the window and is completed by the bytes after it is checked with those
// bytes: cutting the file at an arbitrary byte count must not make a valid file look like ANSI.
// A sequence cut by the end of the data itself is invalid.
bool lf_isValidUtf8Start(std::string_view bytes, std::size_t window)
{
    const std::size_t end = std::min(window, bytes.size());
    std::size_t i = 0;
    while (i < end) {
        const Utf8Lead lead = lf_utf8Lead(lf_byte(bytes, i));
        if (lead.length == 0) return false;
        if (i + lead.length > bytes.size()) return false;
        for (std::size_t k = 1; k < lead.length; ++k) {
            const unsigned char b = lf_byte(bytes, i + k);
            const unsigned char lo = k == 1 ? lead.secondMin : 0x80;
            const unsigned char hi = k == 1 ? lead.secondMax : 0xBF;
            if (b < lo || b > hi) return false;
        }
        i += lead.length;
    }
    return true;
}

// Decodes UTF-16 (after an optional byte-order mark, which wins over `bigEndian`) into lines.
// An odd last byte cannot be part of a unit and is ignored, so that the rest is not lost.
void lf_readUtf16Lines(std::istream& in, std::vector<std::string>& lines, bool bigEndian)
{
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < 2) return;
    std::size_t start = 0;
    if (lf_byte(bytes, 0) == 0xFF && lf_byte(bytes, 1) == 0xFE) {
        bigEndian = false;
        start = 2;
    } else if (lf_byte(bytes, 0) == 0xFE && lf_byte(bytes, 1) == 0xFF) {
        bigEndian = true;
        start = 2;
    }
    std::u16string wide;
    wide.reserve((bytes.size() - start) / 2);
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<char16_t>(lf_byte(bytes, i));
        const auto second = static_cast<char16_t>(lf_byte(bytes, i + 1));
        wide.push_back(bigEndian ? static_cast<char16_t>(first << 8 | second)
                                 : static_cast<char16_t>(second << 8 | first));
    }
    gf_splitLines(wide_to_utf8(wide), lines);
}

// The ANSI code page (Windows-1252) to UTF-8. Its lenient conversion maps every byte, so this
// never fails and never loses a line.
std::string lf_ansiToUtf8(std::string_view text)
{
    if (text.empty()) return {};
    return wide_to_utf8(platform::ansiToWide(text));
}

void lf_readAnsiLines(std::istream& in, std::vector<std::string>& lines)
{
    std::vector<std::string> raw;
    raw.reserve(2048);
    gf_readLines(in, raw);
    lines.reserve(raw.size());
    for (const auto& line : raw) lines.push_back(lf_ansiToUtf8(line));
}

bool lf_isReadable(Charset charset)
{
    switch (charset) {
    case Charset::ANSI:
    case Charset::Unicode:
    case Charset::Unicode_big_endian:
    case Charset::UTF8_with_BOM:
    case Charset::UTF8_without_BOM: return true;
    default: return false;
    }
}

std::string lf_charsetText(Charset charset)
{
    const auto value = static_cast<int32_t>(charset);
    if (value < 0 || value > 5) return fmt::format("{}", value);
    return gf_charsetName(charset);
}

void lf_readInCharset(Charset charset, std::istream& in, std::vector<std::string>& lines)
{
    switch (charset) {
    case Charset::Unicode: lf_readUtf16Lines(in, lines, false); break;
    case Charset::Unicode_big_endian: lf_readUtf16Lines(in, lines, true); break;
    case Charset::UTF8_with_BOM:
        gf_readLines(in, lines);
        if (!lines.empty() && lines.front().size() > 2 && lines.front().starts_with(lf_utf8Bom)) {
            lines.front().erase(0, lf_utf8Bom.size());
        }
        break;
    case Charset::UTF8_without_BOM: gf_readLines(in, lines); break;
    default: lf_readAnsiLines(in, lines); break;
    }
}

}  // namespace

const std::string& gf_charsetName(Charset charset)
{
    static const std::map<Charset, std::string> names{
        {Charset::ANSI, "ANSI"},
        {Charset::Unicode, "Unicode"},
        {Charset::Unicode_big_endian, "Unicode_big_endian"},
        {Charset::UTF8_with_BOM, "UTF8_with_BOM"},
        {Charset::UTF8_without_BOM, "UTF8_without_BOM"},
        {Charset::none_found, "none_found"},
    };
    const auto it = names.find(charset);
    if (it == names.end()) throw std::out_of_range("invalid map<K, T> key");
    return it->second;
}

Charset gf_detectCharset(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return Charset::none_found;

    // The window plus the 3 bytes that may complete a sequence begun at its end.
    std::string bytes(lf_detectionWindow + 3, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));

    const std::size_t n = std::min<std::size_t>(bytes.size(), 4);
    const auto b = [&bytes](std::size_t i) { return lf_byte(bytes, i); };
    if (n >= 3 && bytes.starts_with(lf_utf8Bom)) return Charset::UTF8_with_BOM;
    if (n >= 2) {
        if (b(0) == 0xFF && b(1) == 0xFE) return Charset::Unicode;
        if (b(1) == 0x00 && (n < 4 || b(3) == 0x00)) return Charset::Unicode;
        if (b(0) == 0xFE && b(1) == 0xFF) return Charset::Unicode_big_endian;
        if (b(0) == 0x00 && (n < 4 || b(2) == 0x00)) return Charset::Unicode_big_endian;
    }
    return lf_isValidUtf8Start(bytes, lf_detectionWindow) ? Charset::UTF8_without_BOM
                                                          : Charset::ANSI;
}

bool gf_readTextFile(Charset charset, const std::filesystem::path& path,
                     std::vector<std::string>& lines)
{
    lines.clear();
    if (!lf_isReadable(charset)) {
        throw std::runtime_error(fmt::format("file {} has unknown charset: {}", gf_pathToUtf8(path),
                                             lf_charsetText(charset)));
    }
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    try {
        lf_readInCharset(charset, in, lines);
    } catch (const std::exception& e) {
        gf_setMessage(fmt::format("Read failed for '{}': {}", gf_pathToUtf8(path), e.what()), true);
        return false;
    }
    return true;
}

void gf_readLines(std::istream& in, std::vector<std::string>& lines)
{
    if (!in.good()) return;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size > 0) {
        std::string text(static_cast<std::size_t>(size), '\0');
        in.seekg(0, std::ios::beg);
        in.read(text.data(), size);
        text.resize(static_cast<std::size_t>(in.gcount()));
        gf_splitLines(text, lines);
        return;
    }
    in.clear();
    in.seekg(0, std::ios::beg);
}

void gf_splitLines(std::string_view text, std::vector<std::string>& lines)
{
    if (text.starts_with(lf_utf8Bom)) text.remove_prefix(lf_utf8Bom.size());
    if (text.empty()) return;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        const std::size_t length = end == std::string_view::npos ? end : end - start;
        std::string_view piece = text.substr(start, length);
        if (piece.ends_with('\r')) piece.remove_suffix(1);
        lines.emplace_back(piece);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
}

FileLinesResult gf_readFileLines(TextFileLines& file, std::size_t reserve)
{
    file.lines.clear();
    file.lines.reserve(reserve);
    std::ifstream in(file.path, std::ios::binary);
    if (!in.is_open()) return {{}, "open_failed"};
    gf_readLines(in, file.lines);
    return {std::span<const std::string>(file.lines), {}};
}

}  // namespace qel
