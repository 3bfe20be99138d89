// What the two aircraft.cfg parsers share: reading the file's lines, cutting them into
// [fltsim.N] sections, and the checks of a model code, a parking-types list and an atc_id.
// Runs on the scan's workers; touches only the report collections, which lock themselves.
#include <algorithm>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/textfile.h"
#include "liveries/livery_parsing.h"

namespace qel {

namespace {

constexpr std::size_t kFileLinesReserve = 4096;
constexpr std::size_t kSectionLinesReserve = 48;

}  // namespace

std::optional<std::vector<std::string>> lf_readCfgLines(const std::filesystem::path& path)
{
    const Charset charset = gf_detectCharset(path);
    if (charset == Charset::none_found) {
        gf_log(fmt::format("! No text encoding detected for {}", gf_pathToUtf8(path)));
        return std::nullopt;
    }
    std::vector<std::string> lines;
    lines.reserve(kFileLinesReserve);
    if (!gf_readTextFile(charset, path, lines)) {
        gf_log(fmt::format("! Failed reading {}", gf_pathToUtf8(path)));
        return std::nullopt;
    }
    // LiveriesScanned.xml cannot hold a NUL byte: a title would be cut there and two titles
    // equal up to it would become one. No key of the file means one.
    for (auto& line : lines) std::erase(line, '\0');
    return lines;
}

void lf_forEachFltsimSection(const std::vector<std::string>& lines,
                             const std::function<bool(const std::string&)>& endsSection,
                             const std::function<void(std::vector<std::string>&)>& onSection)
{
    std::vector<std::string> section;
    section.reserve(kSectionLinesReserve);
    bool inSection = false;
    const auto flush = [&] {
        if (section.empty()) return;
        // Trailing blank and comment lines belong to no key of the section.
        while (section.size() > 1 && (section.back().empty() || section.back().starts_with("//"))) {
            section.pop_back();
        }
        onSection(section);
        section.clear();
    };
    for (const auto& line : lines) {
        if (!lf_matchFltsimHeader(line).empty()) {
            flush();
            inSection = true;
            section.push_back(line);
        } else if (endsSection(line)) {
            if (inSection) flush();
            inSection = false;
        } else if (inSection) {
            section.push_back(line);
        }
    }
    if (inSection) flush();
}

std::string lf_checkedModel(const std::string& code, const std::filesystem::path& path)
{
    if (g_icaoModelCodes.contains(code)) return code;
    if (const auto corrected = gf_modelAlias(code)) {
        lf_addModelFix(code, path, *corrected);
        return *corrected;
    }
    lf_addInvalidModelCode(code, path);
    return {};
}

std::string lf_parkingTypesOf(std::string value)
{
    gf_normaliseCommaList(value);
    for (char& c : value) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return value;
}

std::optional<std::string> lf_registrationOf(std::string_view value)
{
    const std::vector<std::string> items = gf_split(value);
    if (items.empty()) return std::nullopt;
    const bool invalid = std::any_of(items.begin(), items.end(), [](const std::string& item) {
        return item.empty() || item.size() > 12 || item.find('*') != std::string::npos;
    });
    if (invalid) return std::nullopt;
    return items.size() == 1 ? items.front() : std::string();
}

}  // namespace qel
