// Strict UTF-8 / UTF-16 conversion and the Windows-1252 ANSI code page. Invalid input is never
// repaired: a replacement character would silently change names and paths.
#include "platform/text.h"

#include <array>
#include <stdexcept>

namespace qel {
namespace {

bool lf_isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool lf_isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void lf_appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void lf_appendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

[[noreturn]] void lf_invalidUtf8() { throw std::runtime_error("utf8_to_wide: invalid UTF-8"); }

// The allowed range of the second byte depends on the lead byte: this is what rejects overlong
// forms (E0 80.., F0 80..), UTF-8-encoded surrogates (ED A0..) and code points past U+10FFFF
// (F4 90..); every later continuation byte is 80..BF.
struct LeadInfo {
    int length;          // bytes in the sequence, 0 when the byte cannot start one
    unsigned char low;   // smallest allowed second byte
    unsigned char high;  // largest allowed second byte
};

LeadInfo lf_leadInfo(unsigned char lead)
{
    if (lead < 0x80) return {1, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// Windows-1252 bytes 80..9F; the five bytes the code page leaves undefined keep their C1 value.
constexpr std::array<char16_t, 32> kCp1252High = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

bool lf_isUndefinedAnsi(unsigned char byte)
{
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

}  // namespace

std::string wide_to_utf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (lf_isLowSurrogate(unit)) throw std::runtime_error("wide_to_utf8: invalid UTF-16");
        if (lf_isHighSurrogate(unit)) {
            if (i + 1 >= text.size() || !lf_isLowSurrogate(text[i + 1])) {
                throw std::runtime_error("wide_to_utf8: invalid UTF-16");
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        lf_appendUtf8(out, unit);
    }
    return out;
}

std::u16string utf8_to_wide(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const LeadInfo info = lf_leadInfo(lead);
        if (info.length == 0) lf_invalidUtf8();
        if (info.length == 1) {
            out.push_back(lead);
            ++i;
            continue;
        }
        if (text.size() - i < static_cast<size_t>(info.length)) lf_invalidUtf8();
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (second < info.low || second > info.high) lf_invalidUtf8();
        char32_t cp = lead & (0x7F >> info.length);
        for (int k = 1; k < info.length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) lf_invalidUtf8();
            cp = (cp << 6) | (next & 0x3F);
        }
        lf_appendUtf16(out, cp);
        i += static_cast<size_t>(info.length);
    }
    return out;
}

namespace platform {

std::u16string ansiToWide(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte <= 0x9F) {
            out.push_back(kCp1252High[byte - 0x80]);
        } else {
            out.push_back(byte);  // ASCII and A0..FF coincide with U+0000..U+00FF
        }
    }
    return out;
}

bool ansiIsStrictlyValid(std::string_view bytes)
{
    for (char c : bytes) {
        if (lf_isUndefinedAnsi(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace platform
}  // namespace qel
