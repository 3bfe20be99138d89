// Half-hour sets of the stand files: the text forms "5:9" and "3,7,47" and back.
#include "foundation/halfhours.h"

#include <cctype>
#include <charconv>
#include <vector>

#include <fmt/format.h>

#include "foundation/log.h"

namespace qel {

namespace {

constexpr int lf_slotsPerDay = 48;

std::string_view lf_trimBlanks(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::string_view> lf_splitAt(std::string_view text, char separator)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        const std::size_t length = end == std::string_view::npos ? end : end - start;
        pieces.push_back(lf_trimBlanks(text.substr(start, length)));
        if (end == std::string_view::npos) return pieces;
        start = end + 1;
    }
}

// The slot number at the start of `piece` ("12abc" is 12); logged and empty when there is
// none or it lies outside 0..47.
std::optional<int> lf_readSlot(std::string_view piece, std::string_view whole)
{
    piece = lf_trimBlanks(piece);
    int value = -1;
    const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (ec == std::errc{} && value >= 0 && value < lf_slotsPerDay) return value;
    gf_logHighlighted(fmt::format("{} invalid hour '{}' in {}", "operator ()", piece, whole));
    return std::nullopt;
}

HalfHourSet lf_readRange(std::string_view text)
{
    const std::vector<std::string_view> pieces = lf_splitAt(text, ':');
    if (pieces.size() > 2) {
        gf_logHighlighted(
            fmt::format("{} more than one colon char in: {}", "gf_hours2bitset", text));
        return {};
    }
    // Both ends are read, so that each bad one gets its own log line.
    const std::optional<int> first = lf_readSlot(pieces[0], text);
    const std::optional<int> last = lf_readSlot(pieces[1], text);
    if (!first || !last) return {};
    if (*last < *first) {
        gf_logHighlighted(fmt::format("{} descending range not allowed ({}:{} in {})",
                                      "gf_hours2bitset", *first, *last, text));
        return {};
    }
    HalfHourSet set;
    for (int slot = *first; slot <= *last; ++slot) set.set(static_cast<std::size_t>(slot));
    return set;
}

}  // namespace

HalfHourSet gf_hours2bitset(std::string_view text)
{
    if (text.empty()) return {};
    if (text.find(':') != std::string_view::npos) return lf_readRange(text);
    HalfHourSet set;
    for (const std::string_view piece : lf_splitAt(text, ',')) {
        if (const auto slot = lf_readSlot(piece, text)) set.set(static_cast<std::size_t>(*slot));
    }
    return set;
}

std::string gf_bitsetToList(const HalfHourSet& set)
{
    std::string list;
    for (std::size_t slot = 0; slot < set.size(); ++slot) {
        if (!set.test(slot)) continue;
        if (!list.empty()) list += ',';
        list += fmt::format("{}", slot);
    }
    return list;
}

std::optional<std::string> gf_bitset2hours(const HalfHourSet& set)
{
    if (set.none()) return std::nullopt;
    std::size_t first = 0;
    while (!set.test(first)) ++first;
    std::size_t last = set.size() - 1;
    while (!set.test(last)) --last;
    if (set.count() != last - first + 1) return std::nullopt;
    if (first == last) return fmt::format("{}", first);
    return fmt::format("{}:{}", first, last);
}

}  // namespace qel
