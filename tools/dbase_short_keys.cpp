// dbase.xml, continued: the fleet table's short keys (5 characters or fewer). The program finds
// the registration of a private livery by searching its title for any short key, the smallest
// in byte order first, so every short key must stand only for the start of a real registration:
// a bare one-character prefix "D-" is also the end of "MD-11", "P-" the middle of "VP-BJX", and a
// military serial "747" a type name.
#include <algorithm>

#include "tools/dbase_parts.h"

namespace qel::datafile {

namespace {

constexpr std::size_t kShortKeyLength = 5;  // the program treats keys up to 5 as prefixes

using CharSet = std::set<char>;

bool lf_isKeyChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

void lf_addRange(CharSet& set, char from, char to)
{
    for (char c = from; c <= to; ++c) {
        if (lf_isKeyChar(c)) set.insert(c);
    }
}

// The characters of a class "[...]" starting at text[pos] ('['); pos ends after ']'.
CharSet lf_class(std::string_view text, std::size_t& pos)
{
    CharSet listed;
    bool negated = false;
    ++pos;
    if (pos < text.size() && text[pos] == '^') {
        negated = true;
        ++pos;
    }
    while (pos < text.size() && text[pos] != ']') {
        if (text[pos] == '\\' && pos + 1 < text.size()) {
            if (text[pos + 1] == 'd') lf_addRange(listed, '0', '9');
            pos += 2;
        } else if (pos + 2 < text.size() && text[pos + 1] == '-' && text[pos + 2] != ']') {
            lf_addRange(listed, text[pos], text[pos + 2]);
            pos += 3;
        } else {
            if (lf_isKeyChar(text[pos])) listed.insert(text[pos]);
            ++pos;
        }
    }
    ++pos;
    if (!negated) return listed;
    CharSet all;
    lf_addRange(all, '0', '9');
    lf_addRange(all, 'A', 'Z');
    for (char c : listed) all.erase(c);
    return all;
}

// The alternatives of a group body at its top level: "[A-Z]{4}|\d{4}" → two.
std::vector<std::string_view> lf_alternatives(std::string_view body)
{
    std::vector<std::string_view> parts;
    int depth = 0;
    bool inClass = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\\') {
            ++i;
        } else if (inClass) {
            inClass = c != ']';
        } else if (c == '[') {
            inClass = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == '|' && depth == 0) {
            parts.push_back(body.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(body.substr(start));
    return parts;
}

// The characters a registration's code part may begin with, from the decoding pattern's
// "(?<code>...)" group: the first atom of each alternative, look-aheads skipped.
CharSet lf_firstCodeChars(std::string_view pattern)
{
    CharSet first;
    const std::size_t open = pattern.find("(?<code>");
    if (open == std::string_view::npos) return first;
    std::size_t end = open + 8;
    for (int depth = 1; end < pattern.size() && depth > 0; ++end) {
        if (pattern[end] == '\\') {
            ++end;
        } else if (pattern[end] == '(') {
            ++depth;
        } else if (pattern[end] == ')') {
            --depth;
        }
    }
    for (std::string_view alternative : lf_alternatives(pattern.substr(open + 8, end - open - 9))) {
        while (alternative.starts_with("(?!")) {
            const std::size_t close = alternative.find(')');
            if (close == std::string_view::npos) break;
            alternative.remove_prefix(close + 1);
        }
        std::size_t pos = 0;
        if (alternative.starts_with("[")) {
            const CharSet set = lf_class(alternative, pos);
            first.insert(set.begin(), set.end());
        } else if (alternative.starts_with("\\d")) {
            lf_addRange(first, '0', '9');
        } else if (!alternative.empty() && lf_isKeyChar(alternative.front())) {
            first.insert(alternative.front());
        }
    }
    return first;
}

}  // namespace

CodeList shortRegistrationKeys(const CsvTable& regPrefixes)
{
    const std::size_t prefixColumn = regPrefixes.column("Prefix");
    const std::size_t hyphenColumn = regPrefixes.column("HasHyphen");
    const std::size_t patternColumn = regPrefixes.column("DecodeFullRegex");
    const std::size_t templateColumn = regPrefixes.column("FormatTemplate");
    CodeList keys;
    for (const auto& row : regPrefixes.rows) {
        const std::string& format = row[templateColumn];
        const std::string literal = format.substr(0, format.find("{code}"));
        if (literal.empty()) continue;
        const bool hyphen = row[hyphenColumn] == "1";
        const bool bare = hyphen ? literal == row[prefixColumn] + "-" : literal == row[prefixColumn];
        if (hyphen && !(bare && row[prefixColumn].size() == 1)) {
            // "PH-", "VP-B": long enough not to stand inside other words.
            if (literal.size() <= kShortKeyLength) keys.insert(literal);
            continue;
        }
        // "D-" or "N" alone would also match inside type names; with the first character of
        // the code it cannot: letters after a one-character prefix and its dash ("D-E", not
        // "D-1" of "MD-11"), digits after a prefix without a dash ("N1", not "NE" of "A320NEO").
        for (const char c : lf_firstCodeChars(row[patternColumn])) {
            const bool digit = c >= '0' && c <= '9';
            if (hyphen != digit && literal.size() < kShortKeyLength) keys.insert(literal + c);
        }
    }
    return keys;
}

bool isShortCivilRegistration(const std::string& key, const CodeList& shortKeys)
{
    if (key.size() > kShortKeyLength) return true;
    return std::any_of(shortKeys.begin(), shortKeys.end(),
                       [&](const std::string& prefix) { return key.starts_with(prefix); });
}

}  // namespace qel::datafile
