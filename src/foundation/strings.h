// Small text helpers: plurals, number formats, log banners, trimming and comma lists.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace qel {

extern const std::string g_whitespace;    // " \t\n\r"
extern const std::string g_pluralSuffix;  // "s"

// A path's native name as UTF-8; throws as wide_to_utf8 does.
std::string gf_pathToUtf8(const std::filesystem::path& path);

std::string_view gf_pluralS(int32_t count);  // "" for 1 and negatives, else "s"
std::string_view gf_plural(int64_t count);   // "" for 1 and negatives, else "s"
std::string_view gf_plural(uint64_t count);  // "" for 1, else "s"
std::string gf_formatDecimal(float x);       // "3" or "3.5"
// A simulator object id as the chosen simulator shows it: decimal for MSFS 2020, hex for 2024.
std::string gf_toHex(uint32_t objectId);

// A log banner of about a + b characters, the title centred between stars.
std::string gf_starBanner(int a, int b, bool leadingBreak, bool trailingBreak,
                          std::string_view title);

bool gf_equalsUpperCased(std::string_view a, std::string b);
// ASCII letters only, whatever the locale: names in simulator packages and command-line
// switches compare without regard to case, as Windows compares them.
char gf_lowerAscii(char c);
std::string gf_loweredAscii(std::string text);
bool gf_equalsNoCase(std::string_view a, std::string_view b);
bool gf_containsNoCase(std::string_view haystack, std::string_view needle);  // "" is contained
bool gf_equalsWithStar(std::string_view a, std::string_view b);              // b == a + "*"
std::string_view gf_trim(std::string_view text);
// Pieces between commas, each trimmed; empty pieces kept; "" gives no pieces.
std::vector<std::string> gf_split(std::string_view text);
// Pieces between commas, each trimmed, sorted ascending without duplicates.
std::vector<std::string> gf_splitCommaList(std::string_view text);
void gf_normaliseCommaList(std::string& text);

}  // namespace qel
