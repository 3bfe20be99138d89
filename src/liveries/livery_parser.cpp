// The aircraft.cfg parser of ordinary AI packages: the file's model code, its [fltsim.N]
// sections, and one livery per section with its airline, operator, registration and cargo flag.
// Runs on the scan's workers, several files at a time (see livery_parsing.h for what they share).
#include <charconv>
#include <climits>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "liveries/livery_parsing.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

constexpr int64_t kHighestSectionNumber = 10000;

std::string lf_narrow(const fs::path& path) { return path.string(); }

bool lf_contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// What a section's lines have given so far.
struct SectionState {
    std::string title;
    std::string airline;
    std::string parkingTypes;
    std::string registration;
    bool valid = true;
};

// What one section's reading needs to know about its file.
struct SectionSource {
    const std::string& model;
    const fs::path& path;
    const fs::path& folder;
    const std::string& header;
};

// Each line goes through the title, airline, parking-types and registration steps in turn; the
// first step that takes it ends its work, and a Stop ends the section's reading.
enum class LineStep { NotTaken, Taken, Stop };

LineStep lf_titleStep(std::string_view line, SectionState& s, const SectionSource& src)
{
    std::string value;
    if (s.title.empty()) {
        if (!lf_matchTitle(line, value)) return LineStep::NotTaken;
        s.title = std::string(gf_trim(value));
        if (lf_contains(s.title, "FenixA320") || lf_contains(s.title, "PMDG 737")) {
            s.valid = false;
            return LineStep::Stop;
        }
        return LineStep::Taken;
    }
    if (!lf_matchTitle(line, value)) return LineStep::NotTaken;
    lf_addIncompleteSectionLine(
        fmt::format("{} {} has more than one title key", lf_narrow(src.folder), src.header));
    s.valid = false;
    return LineStep::Stop;
}

LineStep lf_airlineStep(std::string_view line, SectionState& s, const SectionSource& src)
{
    if (s.airline.empty()) {
        std::string code;
        if (!lf_matchIcaoAirline(line, code)) return LineStep::NotTaken;
        gf_normaliseCommaList(code);
        // "DLHX" and "DLHC" name the airline's extra and cargo fleets.
        if (code.size() == 4 && (code[3] == 'X' || code[3] == 'C')) code.resize(3);
        if (!code.empty() && g_icaoAirlineCodes.contains(code)) {
            s.airline = std::move(code);
            return LineStep::Taken;
        }
        if (code == "RFO") {
            s.valid = false;
            return LineStep::Stop;
        }
        lf_addInvalidCode(code, src.path, src.header);
        return LineStep::Taken;
    }
    if (!lf_contains(line, "icao_airline")) return LineStep::NotTaken;
    lf_addIncompleteSectionLine(
        fmt::format("{} {} has more than one icao_airline key", lf_narrow(src.folder), src.header));
    s.valid = false;
    return LineStep::Stop;
}

LineStep lf_parkingStep(std::string_view line, SectionState& s, const SectionSource& src)
{
    if (s.parkingTypes.empty()) {
        std::string types;
        if (!lf_matchAtcParkingTypes(line, types)) return LineStep::NotTaken;
        s.parkingTypes = lf_parkingTypesOf(std::move(types));
        return LineStep::Taken;
    }
    if (!lf_isAtcParkingTypesLine(line)) return LineStep::NotTaken;
    lf_addIncompleteSectionLine(fmt::format("{} {} has more than one atc_parking_types key",
                                            lf_narrow(src.folder), src.header));
    s.valid = false;
    return LineStep::Stop;
}

LineStep lf_registrationStep(std::string_view line, SectionState& s, const SectionSource& src)
{
    if (s.registration.empty()) {
        std::string value;
        if (!lf_matchAtcId(line, value)) return LineStep::NotTaken;
        value = value.substr(0, value.find(';'));
        if (auto registration = lf_registrationOf(value)) {
            s.registration = std::move(*registration);
        } else {
            lf_addIncompleteSectionLine(fmt::format("invalid atc_id={} in: {}", value, s.title));
        }
        return LineStep::Taken;
    }
    if (!lf_isAtcIdLine(line)) return LineStep::NotTaken;
    lf_addIncompleteSectionLine(
        fmt::format("{}, {}, has more than one atc_id key", lf_narrow(src.folder), src.header));
    s.valid = false;
    return LineStep::Stop;
}

void lf_readSectionLines(const std::vector<std::string>& section, SectionState& s,
                         const SectionSource& src)
{
    for (const auto& line : section) {
        LineStep step = lf_titleStep(line, s, src);
        if (step == LineStep::NotTaken) step = lf_airlineStep(line, s, src);
        if (step == LineStep::NotTaken) step = lf_parkingStep(line, s, src);
        if (step == LineStep::NotTaken) step = lf_registrationStep(line, s, src);
        if (step == LineStep::Stop) return;
    }
}

// The fleet record of a registration, when it names an airline.
std::optional<MatchKey> lf_fleetKey(const std::string& registration)
{
    if (registration.empty()) return std::nullopt;
    const auto key = gf_registrationPrefix(registration);
    if (!key || key->airline == 0) return std::nullopt;
    return key;
}

// A section without an airline: the fleet record of its registration, else a private livery,
// except for heavy models (no airline flies them privately). False: no livery.
bool lf_settleMissingAirline(SectionState& s, std::optional<MatchKey>& fleet,
                             const SectionSource& src)
{
    const bool heavy = gf_sizeCategoryOfCode(src.model) == static_cast<int>(SizeCategory::Heavy);
    if (!s.registration.empty()) {
        if (fleet) return true;
        if (heavy) {
            lf_addIncompleteSectionLine(
                fmt::format("'{}' '{}' has no airline and regcode not in "
                            "dbase",
                            lf_narrow(src.folder), src.header));
            return false;
        }
        s.airline = "PVT";
        return true;
    }
    if (heavy) {
        lf_addIncompleteSectionLine(fmt::format("'{}' '{}' has no airline and no regcode info",
                                                lf_narrow(src.folder), src.header));
        return false;
    }
    s.airline = "PVT";
    s.registration = gf_findRegistrationPrefixIn(s.title).value_or(std::string());
    fleet = lf_fleetKey(s.registration);
    return true;
}

LiveryList lf_liveryOfSection(uint32_t folderNumber, SectionState& s, const SectionSource& src)
{
    if (s.airline.empty()) {
        lf_addIncompleteSectionLine(
            fmt::format("{} {} icao_airline is missing, or it has "
                        "invalid info ",
                        lf_narrow(src.path), src.header));
    }
    if (!s.valid) return {};
    if (s.title.empty()) {
        lf_addIncompleteSectionLine(
            fmt::format("{} {} misses title", lf_narrow(src.folder), src.header));
        return {};
    }
    if (lf_contains(s.title, "Fictional")) return {};
    if (s.title.ends_with("-STUB") || lf_contains(s.title, "Generic")) s.airline = "ZZZ";
    if (g_excludedTitleSet.contains(s.title)) return {};
    if (s.airline == "ZZZ") s.registration.clear();
    std::optional<MatchKey> fleet = lf_fleetKey(s.registration);
    if (s.airline.empty() && !lf_settleMissingAirline(s, fleet, src)) return {};
    const bool cargo = lf_contains(s.parkingTypes, "CARGO") && !lf_contains(s.parkingTypes, "GATE");
    MatchKey key;
    if (fleet) {
        key = *fleet;
    } else {
        key.airline = gf_airlineIndex(s.airline);
        key.model = gf_modelIndex(src.model);
        key.cargo = cargo ? 1 : 0;
    }
    bool taken = false;
    {
        const std::lock_guard lock(g_scannedTitlesMutex);
        taken = !g_scannedTitles.insert(s.title).second;
    }
    // Reported outside the title lock: each collection's mutex is taken alone.
    if (taken) {
        lf_addIncompleteSectionLine(fmt::format("{} {} title '{}' already exists",
                                                lf_narrow(src.folder), src.header, s.title));
        return {};
    }
    // A fleet record without airline or model codes gives no usable key.
    if (key.airline == 0 || key.model == 0) return {};
    return {Livery{s.title, s.registration, key, static_cast<uint16_t>(folderNumber)}};
}

// Parses one section (its header first).
LiveryList lf_procesFltSimSection(uint32_t folderNumber, const std::vector<std::string>& section,
                                  const std::string& model, const fs::path& path,
                                  const fs::path& folder)
{
    try {
        const SectionSource source{model, path, folder, section.front()};
        SectionState state;
        lf_readSectionLines(section, state, source);
        return lf_liveryOfSection(folderNumber, state, source);
    } catch (const std::exception& e) {
        gf_log(fmt::format("Exception in lf_procesFltSimSection: {}, file: {}", e.what(),
                           lf_narrow(path)));
        throw;
    }
}

std::string lf_modelFromBaseContainer(const fs::path& path, const std::vector<std::string>& lines)
{
    for (const auto& line : lines) {
        const std::string code = lf_matchBaseContainer(line);
        if (!code.empty()) return lf_checkedModel(code, path);
    }
    const std::string text = lf_narrow(path);
    // These two study-level airliners keep their type elsewhere; they are not AI liveries.
    if (lf_contains(text, "pmdg-aircraft-7") || lf_contains(text, "fnx-aircraft-3")) return {};
    lf_addInvalidCfgLine("Line icao_type_designator= is missing in [General] section of " + text);
    return {};
}

}  // namespace

bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const fs::path& path)
{
    bool anyHeader = false;
    bool tooHigh = false;
    for (const auto& line : lines) {
        const std::string number = lf_matchFltsimHeader(line);
        if (number.empty()) continue;
        anyHeader = true;
        int32_t value = 0;
        const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
        if (result.ec != std::errc{}) {
            gf_logHighlighted(fmt::format("fltsim num {} incorrect", line));
            return false;
        }
        if (value > kHighestSectionNumber) tooHigh = true;
    }
    if (!anyHeader) {
        g_emptyCfgLines.add(lf_narrow(path));
        return true;
    }
    if (tooHigh) {
        lf_addInvalidCfgLine(lf_narrow(path) +
                             " contains a [fltsim.x] section with a number < 0 or > " +
                             std::to_string(kHighestSectionNumber));
        return false;
    }
    return true;
}

std::string lf_modelOfAircraftCfg(const fs::path& path, const std::vector<std::string>& lines)
{
    for (const auto& line : lines) {
        const std::string code = lf_matchIcaoTypeDesignator(line);
        if (!code.empty()) return lf_checkedModel(code, path);
    }
    return lf_modelFromBaseContainer(path, lines);
}

LiveryList lf_splitFltSimSections(uint32_t folderNumber, const std::vector<std::string>& lines,
                                  const std::string& model, const fs::path& path,
                                  const fs::path& folder)
{
    LiveryList result;
    lf_forEachFltsimSection(
        lines,
        // Another section, or a header commented out, ends the running one.
        [](const std::string& line) { return !line.empty() && line.find('[') < 6; },
        [&](std::vector<std::string>& section) {
            result.splice(result.end(),
                          lf_procesFltSimSection(folderNumber, section, model, path, folder));
        });
    return result;
}

LiveryList lf_searchLiveriesinFile(uint32_t folderNumber, const fs::path& path)
{
    try {
        std::error_code ec;
        const auto status = fs::status(path, ec);
        if (!fs::exists(status)) return {};
        const auto lines = lf_readCfgLines(path);
        if (!lines || !lf_checkFltsimNumbers(*lines, path)) return {};
        const std::string model = lf_modelOfAircraftCfg(path, *lines);
        if (model.empty()) return {};
        return lf_splitFltSimSections(folderNumber, *lines, model, path, path.parent_path());
    } catch (const std::exception& e) {
        gf_log(fmt::format("! Exception in lf_searchLiveriesinFile {}: {}", gf_pathToUtf8(path),
                           e.what()));
        throw;
    }
}

LiveryList lf_parseAircraftCfg(uint32_t folderNumber, const fs::path& path)
{
    const std::string text = lf_narrow(path);
    if (lf_contains(text, "ivao_x-csl") || lf_contains(text, "IVAO_MTL")) {
        return lf_searchLiveriesinIVAOFile(folderNumber, path);
    }
    return lf_searchLiveriesinFile(folderNumber, path);
}

}  // namespace qel
