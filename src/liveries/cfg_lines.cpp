// The line matchers of the aircraft.cfg parsers: one key=value line, a section header, and the
// simulator's base aircraft folders.
#include <algorithm>
#include <cstddef>

#include "foundation/strings.h"
#include "liveries/livery_parsing.h"
#include "liveries/livery_scan.h"

namespace qel {

const std::map<std::string_view, std::string_view> g_baseContainerModels = {
    {"Asobo_FlightDesignCT", "FDCT"},
    {"Asobo_DA40_TDI", "DA40"},
    {"Asobo_Longitude", "C700"},
    {"Asobo_DA40_NG", "DA40"},
    {"Asobo_VL3", "VL3"},
    {"Asobo_Cap10C", "CP10"},
    {"Asobo_Savage_Cub", "SAVG"},
    {"Asobo_CJ4", "C25C"},
    {"Asobo_Savage_ShockUltra", "SAVG"},
    {"Asobo_C152", "C152"},
    {"Asobo_XCub", "CC19"},
    {"Asobo_C152_Aerobat", "C152"},
    {"Asobo_Pitts", "PTS2"},
    {"Asobo_C172sp_AS1000", "C172"},
    {"Asobo_SR22", "SR22"},
    {"Asobo_C172sp_classic", "C172"},
    {"Asobo_Icon", "A5"},
    {"Asobo_Bonanza_G36", "BE36"},
    {"Asobo_TBM930", "TBM9"},
    {"Asobo_Baron_G58", "B58T"},
    {"Asobo_KingAir350", "B350"},
    {"Asobo_B747_8i", "B748"},
    {"Asobo_E330", "E300"},
    {"Asobo_B787_10", "B78X"},
    {"Asobo_DV20", "DV20"},
    {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
    {"Asobo_DR400", "DR40"},
    {"Asobo_A320_NEO", "A20N"},
    {"Asobo_DA62", "DA62"},
    {"FlyByWire_A320_NEO", "A20N"},
};

namespace {

constexpr std::string_view kHeaderOpen = "[fltsim.";
constexpr std::string_view kDamagedHeaderNumber = "10000";

bool lf_isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char lf_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether `text` at `pos` begins with the lower-case `word`, ASCII letters in any case.
bool lf_startsNoCase(std::string_view text, std::size_t pos, std::string_view word)
{
    if (text.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (gf_lowerAscii(text[pos + i]) != word[i]) return false;
    }
    return true;
}

std::size_t lf_skipBlanks(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && lf_isBlank(text[pos])) ++pos;
    return pos;
}

// The raw value of a key=value line: first to last non-blank byte after '='.
std::optional<std::string_view> lf_rawValue(std::string_view line, std::string_view key)
{
    std::size_t pos = lf_skipBlanks(line, 0);
    if (!lf_startsNoCase(line, pos, key)) return std::nullopt;
    pos = lf_skipBlanks(line, pos + key.size());
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    pos = lf_skipBlanks(line, pos + 1);
    std::size_t end = line.size();
    while (end > pos && lf_isBlank(line[end - 1])) --end;
    if (end == pos) return std::nullopt;  // nothing but blanks after '='
    const std::string_view value = line.substr(pos, end - pos);
    // The pattern's "." stops at a line break, so a CR inside the value means no match.
    if (value.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
    return value;
}

std::string lf_upperCased(std::string_view text)
{
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), lf_upper);
    return upper;
}

bool lf_takeNonEmpty(std::string_view line, std::string_view key, std::string& out)
{
    auto value = lf_matchLineValue(line, key);
    if (!value || value->empty()) return false;
    out = std::move(*value);
    return true;
}

}  // namespace

std::optional<std::string> lf_matchLineValue(std::string_view line, std::string_view key)
{
    const auto raw = lf_rawValue(line, key);
    if (!raw) return std::nullopt;
    const std::size_t first = raw->find('"');
    if (first == std::string_view::npos) return std::string(*raw);
    const std::size_t second = raw->find('"', first + 1);
    if (second == std::string_view::npos) return std::string();
    return std::string(raw->substr(first + 1, second - first - 1));
}

std::string lf_matchFltsimHeader(std::string_view line)
{
    if (line.size() >= 2 && line.starts_with("//")) return {};
    std::size_t pos = lf_skipBlanks(line, 0);
    if (lf_startsNoCase(line, pos, kHeaderOpen)) {
        pos += kHeaderOpen.size();
        const std::size_t digits = pos;
        while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') ++pos;
        if (pos > digits && pos < line.size() && line[pos] == ']' &&
            lf_skipBlanks(line, pos + 1) == line.size()) {
            return std::string(line.substr(digits, pos - digits));
        }
    }
    // A damaged header still opens a section, under a number no real one uses.
    if (line.find("[fltsim.") != std::string_view::npos ||
        line.find("[FLTSIM.") != std::string_view::npos) {
        return std::string(kDamagedHeaderNumber);
    }
    return {};
}

bool lf_matchTitle(std::string_view line, std::string& title)
{
    return lf_takeNonEmpty(line, "title", title);
}

bool lf_matchTexture(std::string_view line, std::string& texture)
{
    return lf_takeNonEmpty(line, "texture", texture);
}

bool lf_matchIcaoAirline(std::string_view line, std::string& code)
{
    const auto value = lf_matchLineValue(line, "icao_airline");
    if (!value) return false;
    code = value->empty() || *value == "ZZZZ" ? std::string("ZZZ") : lf_upperCased(*value);
    return true;
}

bool lf_matchAtcParkingTypes(std::string_view line, std::string& types)
{
    return lf_takeNonEmpty(line, "atc_parking_types", types);
}

bool lf_matchAtcId(std::string_view line, std::string& value)
{
    auto found = lf_matchLineValue(line, "atc_id");
    if (!found || found->size() < 5) return false;
    value = std::move(*found);
    return true;
}

std::string lf_matchIcaoTypeDesignator(std::string_view line)
{
    const auto value = lf_matchLineValue(line, "icao_type_designator");
    if (!value) return {};
    return lf_upperCased(std::string_view(*value).substr(0, 4));
}

std::string lf_matchBaseContainer(std::string_view line)
{
    const auto value = lf_matchLineValue(line, "base_container");
    if (!value || value->size() < 4) return {};
    const auto found = g_baseContainerModels.find(std::string_view(*value).substr(3));
    if (found == g_baseContainerModels.end()) return {};
    return lf_upperCased(found->second);
}

bool lf_isAtcIdLine(std::string_view line)
{
    return line.find("atc_id=") != std::string_view::npos;
}

bool lf_isAtcParkingTypesLine(std::string_view line)
{
    return line.find("atc_parking_types") != std::string_view::npos;
}

}  // namespace qel
