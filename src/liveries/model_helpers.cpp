// Queries over the aircraft database: model fixes, size categories, wingspans, fleet records
// by registration, scenery publishers and codes followed by a number.
#include <algorithm>
#include <charconv>
#include <unordered_set>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "liveries/liveries.h"

namespace qel {

namespace {

constexpr std::size_t lf_shortKeyMaxLength = 5;
constexpr std::size_t lf_shortestRegistration = 3;
constexpr std::size_t lf_longestRegistration = 12;

// The keys of g_registrations of at most 5 characters, so that a title is searched by its own
// substrings instead of walking the whole fleet table on every call. Written with
// g_registrations (start-up thread), read-only afterwards.
std::unordered_set<std::string, TransparentStringHash, std::equal_to<>> shortKeys;
bool hasEmptyKey = false;

bool lf_isRegistrationChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// A registration ends where its word does; a lower-case letter makes the word no registration.
bool lf_isWordChar(char c) { return lf_isRegistrationChar(c) || (c >= 'a' && c <= 'z'); }

}  // namespace

int gf_sizeCategory(uint16_t modelId)
{
    // The order decides for a model listed in several sets.
    if (g_largeModels.contains(modelId)) return static_cast<int>(SizeCategory::Large);
    if (g_heavyModels.contains(modelId)) return static_cast<int>(SizeCategory::Heavy);
    if (g_buzjetModels.contains(modelId)) return static_cast<int>(SizeCategory::Buzjets);
    if (g_rotorcraftModels.contains(modelId)) return static_cast<int>(SizeCategory::Rotorcraft);
    if (g_highPerformanceModels.contains(modelId)) {
        return static_cast<int>(SizeCategory::HighPerf);
    }
    return static_cast<int>(SizeCategory::Light);
}

int gf_sizeCategoryOfCode(std::string_view code) { return gf_sizeCategory(gf_modelIndex(code)); }

bool gf_isModelCode(std::string_view code)
{
    return !code.empty() && g_icaoModelCodes.contains(code);
}

bool gf_isAirlineCode(std::string_view code)
{
    return !code.empty() && g_icaoAirlineCodes.contains(code);
}

double gf_wingspan(uint16_t modelId)
{
    // Models interned after the database was read have no span, like a model without entry.
    return modelId < g_halfSpanNm.size() ? g_halfSpanNm[modelId] : 0.0;
}

std::vector<std::string> lf_prefixCandidates(const std::string& registration)
{
    std::vector<std::string> candidates;
    candidates.reserve(3);
    // US registrations (N...) carry no dash after their prefix; others may be written without.
    if (registration.size() >= 5 && registration.front() != 'N' &&
        registration.find('-') == std::string::npos) {
        candidates.push_back(registration.substr(0, 2) + "-" + registration.substr(2));
        candidates.push_back(registration.substr(0, 1) + "-" + registration.substr(1));
    }
    candidates.push_back(registration);
    return candidates;
}

std::optional<MatchKey> gf_registrationPrefix(const std::string& registration)
{
    if (registration.empty()) return std::nullopt;
    for (const auto& candidate : lf_prefixCandidates(registration)) {
        const auto it = std::lower_bound(
            g_registrations.begin(), g_registrations.end(), candidate,
            [](const RegPrefix& record, const std::string& key) { return record.key < key; });
        if (it != g_registrations.end() && it->key == candidate) return it->match;
    }
    return std::nullopt;
}

void gf_indexShortRegistrations()
{
    shortKeys.clear();
    hasEmptyKey = false;
    for (const auto& record : g_registrations) {
        if (record.key.empty()) hasEmptyKey = true;
        if (record.key.size() <= lf_shortKeyMaxLength) shortKeys.insert(record.key);
    }
}

std::optional<std::string> gf_findRegistrationPrefixIn(std::string_view text)
{
    // The table is in key order, so the key the table walk would meet first is the smallest
    // key that counts; an empty key occurs everywhere and is the smallest of all.
    if (hasEmptyKey) return std::string();
    std::optional<std::string_view> best;
    std::size_t start = 0;
    while (start < text.size()) {
        if (!lf_isWordChar(text[start])) {
            ++start;
            continue;
        }
        std::size_t end = start;
        while (end < text.size() && lf_isWordChar(text[end])) ++end;
        const std::string_view word = text.substr(start, end - start);
        start = end;
        // Only at the start of the word: "B-J" (China) inside "HB-JLT" (Switzerland), or "C-M"
        // (Canada) inside "EC-MAH", is the end of a longer prefix.
        if (word.size() < lf_shortestRegistration || word.size() > lf_longestRegistration ||
            !std::all_of(word.begin(), word.end(), lf_isRegistrationChar)) {
            continue;
        }
        for (std::size_t length = 1; length <= std::min(word.size(), lf_shortKeyMaxLength);
             ++length) {
            const std::string_view piece = word.substr(0, length);
            if ((!best || piece < *best) && shortKeys.contains(piece)) best = piece;
        }
    }
    if (!best) return std::nullopt;
    return std::string(*best);
}

bool lf_containsNoCase(const std::filesystem::path& haystack, std::string_view needle)
{
    if (needle.empty()) return true;
    return gf_containsNoCase(gf_pathToUtf8(haystack), needle);
}

std::optional<std::string> gf_publisherOfPath(const std::filesystem::path& path)
{
    const std::string text = gf_pathToUtf8(path);
    for (const auto& group : g_publishers) {
        for (const auto& entry : group) {
            // An empty pattern (a stray comma in the list) would claim every scenery.
            if (entry.empty()) continue;
            if (text.find(entry) != std::string::npos || gf_containsNoCase(text, entry)) {
                return group.front();
            }
        }
    }
    return std::nullopt;
}

bool gf_parseCodeNumber(const CodeNumberContext& context, const std::string& text)
{
    // An unset code (null, or starting with a NUL) reads as 4 blanks, also in the log line.
    const bool noCode = context.code == nullptr || context.code[0] == '\0';
    const std::string code = noCode ? std::string(4, ' ') : std::string(context.code, 4);
    if (!text.starts_with(code)) return false;
    int number = 0;
    const auto result =
        std::from_chars(text.data() + code.size(), text.data() + text.size(), number);
    if (result.ec != std::errc{}) {
        const std::string label = context.label != nullptr ? *context.label : std::string();
        gf_logHighlighted(fmt::format("{} {} {} {}", label, code, text, "invalid number"));
    } else if (context.number != nullptr) {
        *context.number = number;
    }
    return true;
}

}  // namespace qel
