// Version numbers read from "11.14.0" or from a JSON object of versions.json.
#include "foundation/version.h"

#include <charconv>
// gcc 12 warns falsely of an uninitialised value inside <regex> when built with sanitizers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "foundation/log.h"
#include "foundation/strings.h"

namespace qel {

const VersionData g_programVersion{"11.14.0"};

namespace {

int32_t lf_parseGroup(const std::string& digits)
{
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end != digits.data() + digits.size()) {
        throw std::runtime_error("parse error in version string");
    }
    return value;
}

}  // namespace

VersionData::VersionData(std::string_view text)
{
    try {
        static const std::regex dotted(R"((\d+)\.(\d+)\.(\d+))", std::regex::ECMAScript);
        const std::string whole(text);
        std::smatch match;
        if (std::regex_match(whole, match, dotted)) {
            major = lf_parseGroup(match[1].str());
            minor = lf_parseGroup(match[2].str());
            patch = lf_parseGroup(match[3].str());
            return;
        }
        const std::string_view trimmed = gf_trim(text);
        if (trimmed.empty() || trimmed.front() != '{') {
            throw std::runtime_error("invalid version format");
        }
        const auto json = nlohmann::json::parse(trimmed);
        if (!json.is_object()) throw std::runtime_error("invalid version format");
        major = json.at("major").get<int32_t>();
        minor = json.at("minor").get<int32_t>();
        patch = json.at("patch").get<int32_t>();
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception: {}", "VersionData", e.what()));
    }
}

std::string VersionData::text() const { return fmt::format("{}.{}.{}", major, minor, patch); }

}  // namespace qel
