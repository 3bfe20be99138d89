// The aircraft.cfg parser of the IVAO packages (IVAO_MTL, ivao_x-csl): the model code comes from
// the aircraft's folder name IVAO_<code>, each livery's airline from its title behind the model
// code, and every section needs its texture folder. Runs on the scan's workers like the ordinary
// parser and reports into the same collections.
#include <algorithm>
#include <array>
#include <system_error>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "liveries/livery_parsing.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

// Folders whose titles put a "W" between the model code and the airline code.
constexpr std::array<std::string_view, 5> kWingletFolders = {
    "IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM", "IVAO_A320wIAE", "IVAO_A319fIAEw"};

std::string lf_narrow(const fs::path& path) { return path.string(); }

bool lf_isSeparator(char c) { return c == '/' || c == '\\'; }
bool lf_isWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Cuts the last path component off `text`; none when no separator is left.
std::optional<std::string_view> lf_popComponent(std::string_view& text)
{
    const auto separator = std::find_if(text.rbegin(), text.rend(), lf_isSeparator);
    if (separator == text.rend()) return std::nullopt;
    const auto at = static_cast<std::size_t>(text.rend() - separator) - 1;
    const std::string_view component = text.substr(at + 1);
    text = text.substr(0, at);
    return component;
}

// "<anything>\<package>\SimObjects\Airplanes\IVAO_<word>\aircraft.cfg", letters in any case,
// either separator; the "." of "aircraft.cfg" stands for any byte but a line break, as in the
// pattern these paths were first matched with. The word after "IVAO_", or none.
std::optional<std::string_view> lf_ivaoFolderWord(std::string_view path, std::string_view package)
{
    std::string_view rest = path;
    const auto file = lf_popComponent(rest);
    if (!file || file->size() != 12 || !gf_equalsNoCase(file->substr(0, 8), "aircraft") ||
        (*file)[8] == '\n' || (*file)[8] == '\r' || !gf_equalsNoCase(file->substr(9), "cfg")) {
        return std::nullopt;
    }
    const auto aircraft = lf_popComponent(rest);
    if (!aircraft || aircraft->size() < 6 || !gf_equalsNoCase(aircraft->substr(0, 5), "ivao_") ||
        !std::all_of(aircraft->begin() + 5, aircraft->end(), lf_isWordChar)) {
        return std::nullopt;
    }
    for (std::string_view expected : {"Airplanes", "SimObjects"}) {
        const auto component = lf_popComponent(rest);
        if (!component || !gf_equalsNoCase(*component, expected)) return std::nullopt;
    }
    const auto packageName = lf_popComponent(rest);
    if (!packageName || !gf_equalsNoCase(*packageName, package) || rest.empty() ||
        rest.find_first_of("\r\n") != std::string_view::npos) {
        return std::nullopt;
    }
    return aircraft->substr(5);
}

// The airline code of a title "<model>[W]<blanks><3 word characters>...", letters in any case.
std::optional<std::string> lf_airlineOfTitle(const std::string& title, const std::string& model,
                                             bool winglets)
{
    std::string_view rest = title;
    if (rest.size() < model.size() || !gf_equalsNoCase(rest.substr(0, model.size()), model)) {
        return std::nullopt;
    }
    rest.remove_prefix(model.size());
    if (winglets) {
        if (rest.empty() || gf_lowerAscii(rest.front()) != 'w') return std::nullopt;
        rest.remove_prefix(1);
    }
    while (!rest.empty() &&
           std::string_view(" \t\n\v\f\r").find(rest.front()) != std::string_view::npos) {
        rest.remove_prefix(1);
    }
    if (rest.size() < 3 || !std::all_of(rest.begin(), rest.begin() + 3, lf_isWordChar)) {
        return std::nullopt;
    }
    if (rest.find_first_of("\r\n", 3) != std::string_view::npos) return std::nullopt;
    return std::string(rest.substr(0, 3));
}

struct IvaoSection {
    std::string title;
    std::string parkingTypes;
    std::string registration;
    std::string texture;
};

// Reads the section's lines; false when a repeated key drops the section (reported).
bool lf_readIvaoLines(const std::vector<std::string>& section, IvaoSection& s,
                      const std::string& folderText, const std::string& header)
{
    const std::string where = folderText + " " + header;
    for (const auto& line : section) {
        std::string value;
        if (s.title.empty()) {
            if (lf_matchTitle(line, value)) {
                s.title = std::string(gf_trim(value));
                if (s.title.size() < value.size()) {
                    gf_log(
                        fmt::format("removed spaces around title '{}' --> '{}'", value, s.title));
                }
                continue;
            }
        } else if (lf_matchTitle(line, value)) {
            lf_addIncompleteSectionLine(where + " has more than one title key");
            return false;
        }
        if (s.parkingTypes.empty()) {
            if (lf_matchAtcParkingTypes(line, value)) {
                s.parkingTypes = lf_parkingTypesOf(std::move(value));
                continue;
            }
        } else if (lf_isAtcParkingTypesLine(line)) {
            lf_addIncompleteSectionLine(where + " has more than one atc_parking_types key");
            return false;
        }
        if (s.registration.empty()) {
            if (lf_matchAtcId(line, value)) {
                if (auto registration = lf_registrationOf(value)) {
                    s.registration = std::move(*registration);
                } else {
                    lf_addIncompleteSectionLine(
                        fmt::format("invalid atc_id={} in {}", value, s.title));
                }
                continue;
            }
        } else if (lf_isAtcIdLine(line)) {
            lf_addIncompleteSectionLine(
                fmt::format("{}, {}, has more than one atc_id key", folderText, header));
            return false;
        }
        if (s.texture.empty() && lf_matchTexture(line, value)) s.texture = std::move(value);
    }
    return true;
}

// The livery of a section that was read whole: texture folder, title, airline from the title or
// the fleet record of the registration. The all-empty livery when there is none.
Livery lf_ivaoLivery(uint32_t folderNumber, IvaoSection& s, const std::string& model,
                     const fs::path& path, const fs::path& folder, const std::string& header)
{
    const std::string folderText = lf_narrow(folder);
    const fs::path textureFolder = folder / ("texture." + s.texture);
    std::error_code ec;
    const auto status = fs::status(textureFolder, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        throw fs::filesystem_error("status", textureFolder, ec);
    }
    if (!fs::is_directory(status)) {
        lf_addIncompleteSectionLine(lf_narrow(textureFolder) + " " + header + " does not exist");
        return {};
    }
    if (s.title.empty()) {
        lf_addIncompleteSectionLine(folderText + " " + header + " misses title");
        return {};
    }
    if (g_excludedTitleSet.contains(s.title)) return {};
    const bool winglets = std::any_of(
        kWingletFolders.begin(), kWingletFolders.end(),
        [&](std::string_view name) { return folderText.find(name) != std::string::npos; });
    Livery livery;
    if (auto airline = lf_airlineOfTitle(s.title, model, winglets)) {
        if (!gf_isAirlineCode(*airline)) {
            lf_addInvalidCode(*airline, path, header);
            return {};
        }
        if (*airline == "ZZZ") s.registration.clear();
        MatchKey key;
        key.airline = gf_airlineIndex(*airline);
        key.model = gf_modelIndex(model);
        livery = lf_makeLivery(static_cast<uint16_t>(folderNumber), key, s.title, s.registration);
    } else if (s.registration.empty()) {
        lf_addIncompleteSectionLine(folderText + " " + header + " misses airlinecode in title: " +
                                    s.title + ", and no regcode");
        return {};
    } else if (const auto fleet = gf_registrationPrefix(s.registration)) {
        livery =
            lf_makeLivery(static_cast<uint16_t>(folderNumber), *fleet, s.title, s.registration);
    } else {
        lf_addIncompleteSectionLine(folderText + " " + header + " misses airlinecode in title: " +
                                    s.title + ", and regcode unknown " + s.registration);
        return {};
    }
    if (livery.isEmpty()) {
        lf_addIncompleteSectionLine(folderText + " " + header +
                                    " title already exists: " + s.title);
    }
    return livery;
}

Livery lf_procesIvaoFltSimSection(uint32_t folderNumber, const std::vector<std::string>& section,
                                  const std::string& model, const fs::path& path,
                                  const fs::path& folder)
{
    const std::string& header = section.front();
    IvaoSection state;
    if (!lf_readIvaoLines(section, state, lf_narrow(folder), header)) return {};
    return lf_ivaoLivery(folderNumber, state, model, path, folder, header);
}

LiveryList lf_splitIvaoSections(uint32_t folderNumber, const std::vector<std::string>& lines,
                                const std::string& model, const fs::path& path,
                                const fs::path& folder)
{
    LiveryList result;
    lf_forEachFltsimSection(
        lines, [](const std::string& line) { return line.find('[') != std::string::npos; },
        [&](std::vector<std::string>& section) {
            Livery livery = lf_procesIvaoFltSimSection(folderNumber, section, model, path, folder);
            if (!lf_liveryLacksCodes(livery)) result.push_back(std::move(livery));
        });
    return result;
}

}  // namespace

std::string lf_ivaoModelFromPath(const fs::path& path)
{
    const std::string text = lf_narrow(path);
    auto word = lf_ivaoFolderWord(text, "IVAO_MTL");
    if (!word) word = lf_ivaoFolderWord(text, "ivao_x-csl");
    if (!word) {
        lf_addInvalidModelCode("  ", path);
        return {};
    }
    return lf_checkedModel(std::string(word->substr(0, 4)), path);
}

LiveryList lf_searchLiveriesinIVAOFile(uint32_t folderNumber, const fs::path& path)
{
    try {
        const std::string model = lf_ivaoModelFromPath(path);
        if (model.empty()) return {};
        const auto lines = lf_readCfgLines(path);
        if (!lines || !lf_checkFltsimNumbers(*lines, path)) return {};
        return lf_splitIvaoSections(folderNumber, *lines, model, path, path.parent_path());
    } catch (const std::exception& e) {
        gf_log(fmt::format("! Exception in lf_searchLiveriesinIVAOFile {}: {}", gf_pathToUtf8(path),
                           e.what()));
        throw;
    } catch (...) {
        gf_log(fmt::format("! Unknown exception in lf_searchLiveriesinIVAOFile {}",
                           gf_pathToUtf8(path)));
        throw;
    }
}

Livery lf_makeLivery(uint16_t folderNumber, MatchKey key, const std::string& title,
                     const std::string& registration)
{
    {
        const std::lock_guard lock(g_scannedTitlesMutex);
        if (!g_scannedTitles.insert(title).second) return {};
    }
    return Livery{title, registration, key, folderNumber};
}

bool lf_liveryLacksCodes(const Livery& livery)
{
    return livery.key.airline == 0 || livery.key.model == 0;
}

}  // namespace qel
