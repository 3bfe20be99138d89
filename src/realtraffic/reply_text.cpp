// A reply body made fit for the JSON parser: byte sequences that are not UTF-8 and raw control
// bytes inside strings are mended, and nesting beyond any real reply is refused before parsing.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "realtraffic/rt_connection.h"

namespace qel::rt {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at text[i] (overlong forms, surrogates and code
// points above U+10FFFF excluded, as the parser excludes them); 0 when there is none.
std::size_t lf_utf8Length(std::string_view text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second < low || second > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

enum class ReplyScan { clean, mend, tooDeep };

// The bytes the scan must look at: quotes, backslashes, brackets, control bytes and every byte
// of a multi-byte sequence. The others (digits, letters, commas, blanks) are passed over.
constexpr std::array<bool, 256> kMarked = [] {
    std::array<bool, 256> marked{};
    for (std::size_t byte = 0; byte < marked.size(); ++byte) {
        marked[byte] = byte < 0x20 || byte >= 0x80;
    }
    for (const char c : std::string_view("\"\\[]{}")) marked[static_cast<unsigned char>(c)] = true;
    return marked;
}();

// Whether the body parses as it is, needs gf_mendReply's copy, or nests too deep: the same
// walk as the mending, without writing anything. A mended reply is rare; copying every reply
// cost an eighth of its parse.
ReplyScan lf_scanReply(std::string_view body)
{
    int depth = 0;
    bool inString = false;
    const std::size_t size = body.size();
    for (std::size_t i = 0; i < size;) {
        const auto byte = static_cast<unsigned char>(body[i]);
        if (!kMarked[byte]) {
            ++i;
            continue;
        }
        if (byte >= 0x80) {
            const std::size_t length = lf_utf8Length(body, i);
            if (length == 0) return ReplyScan::mend;
            i += length;
            continue;
        }
        ++i;
        if (inString) {
            if (byte == '\\') {
                // The escaped byte is taken as it is, unless it starts a multi-byte sequence.
                if (i < size && static_cast<unsigned char>(body[i]) < 0x80) ++i;
            } else if (byte == '"') {
                inString = false;
            } else if (byte < 0x20) {
                return ReplyScan::mend;
            }
        } else if (byte == '"') {
            inString = true;
        } else if (byte == '[' || byte == '{') {
            if (++depth > kMaxReplyDepth) return ReplyScan::tooDeep;
        } else if (byte == ']' || byte == '}') {
            --depth;
        }
    }
    return ReplyScan::clean;
}

}  // namespace

std::optional<std::string> gf_mendReply(std::string_view body)
{
    std::string mended;
    mended.reserve(body.size());
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (std::size_t i = 0; i < body.size();) {
        const char c = body[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            const std::size_t length = lf_utf8Length(body, i);
            mended.append(length == 0 ? kReplacement : body.substr(i, length));
            i += length == 0 ? 1 : length;
            escaped = false;
            continue;
        }
        ++i;
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            } else if (byte < 0x20) {
                // Kept as its escape: the value still holds the byte, and the record check
                // drops a callsign with a control character, not the whole reply.
                mended.append(fmt::format("\\u{:04x}", byte));
                continue;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxReplyDepth) return std::nullopt;
        } else if (c == ']' || c == '}') {
            --depth;
        }
        mended.push_back(c);
    }
    return mended;
}

nlohmann::json gf_parseReply(std::string_view body)
{
    const nlohmann::json discarded(nlohmann::json::value_t::discarded);
    switch (lf_scanReply(body)) {
    case ReplyScan::clean: return nlohmann::json::parse(body, nullptr, false);
    case ReplyScan::tooDeep: return discarded;
    case ReplyScan::mend: break;
    }
    const auto mended = gf_mendReply(body);
    if (!mended) return discarded;
    return nlohmann::json::parse(*mended, nullptr, false);
}

}  // namespace qel::rt
