// Small text helpers: plurals, number formats, log banners, trimming and comma lists.
#include "foundation/strings.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "foundation/catalogue.h"

namespace qel {

namespace {

// Constant-initialised, so that trimming works even for globals built before g_whitespace.
constexpr std::string_view lf_whitespace = " \t\n\r";

}  // namespace

const std::string g_whitespace{lf_whitespace};
const std::string g_pluralSuffix{"s"};

std::string gf_pathToUtf8(const std::filesystem::path& path)
{
    // The native name is UTF-8 already on this platform.
    return path.string();
}

std::string_view gf_pluralS(int32_t count)
{
    return count == 1 || count < 0 ? std::string_view{} : std::string_view{g_pluralSuffix};
}

std::string_view gf_plural(int64_t count)
{
    return count == 1 || count < 0 ? std::string_view{} : std::string_view{g_pluralSuffix};
}

std::string_view gf_plural(uint64_t count)
{
    return count == 1 ? std::string_view{} : std::string_view{g_pluralSuffix};
}

std::string gf_formatDecimal(float x)
{
    if (std::fmod(static_cast<double>(x), 1.0) != 0.0) return fmt::format("{:.1f}", x);
    return fmt::format("{:.0f}", x);
}

std::string gf_toHex(uint32_t objectId)
{
    if (SIM_CHOICE.value() == "MSFS 2020") return fmt::format("{}", objectId);
    return fmt::format("{:x}", objectId);
}

std::string gf_starBanner(int a, int b, bool leadingBreak, bool trailingBreak,
                          std::string_view title)
{
    std::string line = leadingBreak ? "\n" : "";
    int width = a + b;
    if (width % 2 != 0) ++width;
    if (title.empty()) {
        line.append(static_cast<std::size_t>(std::max(width, 0)), '*');
    } else if (static_cast<int64_t>(title.size()) + 2 < width) {
        const auto stars = static_cast<std::size_t>(width / 2 - 1);
        line.append(stars, '*');
        line += ' ';
        line += title;
        line += ' ';
        line.append(stars, '*');
    } else {
        line = title;
    }
    if (trailingBreak) line += '\n';
    return line;
}

bool gf_equalsUpperCased(std::string_view a, std::string b)
{
    for (char& c : b) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return a == b;
}

char gf_lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string gf_loweredAscii(std::string text)
{
    for (char& c : text) c = gf_lowerAscii(c);
    return text;
}

bool gf_equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return gf_lowerAscii(x) == gf_lowerAscii(y);
           });
}

bool gf_containsNoCase(std::string_view haystack, std::string_view needle)
{
    const auto found =
        std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                    [](char a, char b) { return gf_lowerAscii(a) == gf_lowerAscii(b); });
    return needle.empty() || found != haystack.end();
}

bool gf_equalsWithStar(std::string_view a, std::string_view b)
{
    return b.size() == a.size() + 1 && b.starts_with(a) && b.back() == '*';
}

std::string_view gf_trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(lf_whitespace);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(lf_whitespace);
    return text.substr(first, last - first + 1);
}

std::vector<std::string> gf_split(std::string_view text)
{
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::size_t length =
            comma == std::string_view::npos ? std::string_view::npos : comma - start;
        pieces.emplace_back(gf_trim(text.substr(start, length)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return pieces;
}

std::vector<std::string> gf_splitCommaList(std::string_view text)
{
    std::vector<std::string> pieces = gf_split(text);
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    return pieces;
}

void gf_normaliseCommaList(std::string& text)
{
    if (text.find_first_of(lf_whitespace) == std::string::npos) return;
    text = fmt::format("{}", fmt::join(gf_split(text), ","));
}

}  // namespace qel
