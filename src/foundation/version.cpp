// Version numbers read from "11.14.0" or from a JSON object of versions.json.
#include "foundation/version.h"

#include <charconv>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "foundation/log.h"
#include "foundation/strings.h"

namespace qel {

const VersionData g_programVersion{"11.14.0"};

namespace {

bool lf_isDigits(std::string_view text)
{
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

int32_t lf_parseGroup(std::string_view digits)
{
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end != digits.data() + digits.size()) {
        throw std::runtime_error("parse error in version string");
    }
    return value;
}

// The three digit groups of "11.14.0"; false when the text has another shape. Split by hand:
// std::regex recurses per character and a damaged file of digits overflowed the stack.
bool lf_splitDotted(std::string_view text, std::string_view (&groups)[3])
{
    for (int i = 0; i < 2; ++i) {
        const auto dot = text.find('.');
        if (dot == std::string_view::npos) return false;
        groups[i] = text.substr(0, dot);
        text.remove_prefix(dot + 1);
    }
    groups[2] = text;
    return lf_isDigits(groups[0]) && lf_isDigits(groups[1]) && lf_isDigits(groups[2]);
}

// A whole number of the object within int32; a fraction or a number out of range is rejected
// before conversion, which would be undefined for 1e20.
int32_t lf_jsonGroup(const nlohmann::json& object, const char* key)
{
    const auto& value = object.at(key);
    if (value.is_number_unsigned()) {
        const auto number = value.get<uint64_t>();
        if (number <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
            return static_cast<int32_t>(number);
        }
    } else if (value.is_number_integer()) {
        const auto number = value.get<int64_t>();
        if (number >= std::numeric_limits<int32_t>::min() &&
            number <= std::numeric_limits<int32_t>::max()) {
            return static_cast<int32_t>(number);
        }
    } else if (!value.is_number()) {
        return value.get<int32_t>();  // throws the library's type error
    }
    throw std::runtime_error("parse error in version string");
}

}  // namespace

VersionData::VersionData(std::string_view text)
{
    try {
        std::string_view groups[3];
        if (lf_splitDotted(text, groups)) {
            major = lf_parseGroup(groups[0]);
            minor = lf_parseGroup(groups[1]);
            patch = lf_parseGroup(groups[2]);
            return;
        }
        const std::string_view trimmed = gf_trim(text);
        if (trimmed.empty() || trimmed.front() != '{') {
            throw std::runtime_error("invalid version format");
        }
        const auto json = nlohmann::json::parse(trimmed);
        if (!json.is_object()) throw std::runtime_error("invalid version format");
        major = lf_jsonGroup(json, "major");
        minor = lf_jsonGroup(json, "minor");
        patch = lf_jsonGroup(json, "patch");
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception: {}", "VersionData", e.what()));
    }
}

std::string VersionData::text() const { return fmt::format("{}.{}.{}", major, minor, patch); }

}  // namespace qel
