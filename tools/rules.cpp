// The builder's rules: which codes are valid, unit conversion, and the size category of an
// aircraft type from its wake category, species and engines.
#include <algorithm>
#include <charconv>

#include "tools/datafile_builder.h"

namespace qel::datafile {

namespace {

bool lf_upperOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool lf_codeOf(std::string_view code, std::size_t minLength, std::size_t maxLength)
{
    return code.size() >= minLength && code.size() <= maxLength &&
           std::all_of(code.begin(), code.end(), lf_upperOrDigit);
}

// Wake categories from light to heavy; "L/M" lies between.
int lf_wakeRank(std::string_view wake)
{
    if (wake == "L") return 1;
    if (wake == "L/M") return 2;
    if (wake == "M") return 3;
    if (wake == "H") return 4;
    return 0;
}

int lf_engineCount(std::string_view text)
{
    int count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    (void)end;
    return error == std::errc{} ? count : 0;
}

}  // namespace

bool isAirportCode(std::string_view code) { return lf_codeOf(code, 4, 4); }

bool isShortAirportCode(std::string_view code) { return lf_codeOf(code, 3, 3); }

bool isTypeDesignator(std::string_view code) { return lf_codeOf(code, 2, 4); }

bool isAirlineDesignator(std::string_view code)
{
    return code.size() == 3 &&
           std::all_of(code.begin(), code.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

bool isRegistration(std::string_view text)
{
    const auto allowed = [](char c) { return lf_upperOrDigit(c) || c == '-'; };
    return text.size() >= 3 && text.size() <= 12 &&
           std::all_of(text.begin(), text.end(), allowed) &&
           std::any_of(text.begin(), text.end(), lf_upperOrDigit);
}

double feetToMetres(double feet) { return feet * g_metresPerFoot; }

std::map<std::string, ModelType> mergeModelTypes(const CsvTable& modelTypes)
{
    const std::size_t codeColumn = modelTypes.column("ICAO");
    const std::size_t enginesColumn = modelTypes.column("Engines");
    const std::size_t engineTypeColumn = modelTypes.column("EngineTypeCode");
    const std::size_t speciesColumn = modelTypes.column("SpeciesCode");
    const std::size_t wakeColumn = modelTypes.column("WakeTurbulenceCode");
    const std::size_t activeColumn = modelTypes.column("IsActive");
    std::map<std::string, ModelType> types;
    for (const auto& row : modelTypes.rows) {
        const std::string& code = row[codeColumn];
        if (!isTypeDesignator(code)) continue;  // "-GND" and other made-up codes
        ModelType& type = types[code];
        type.code = code;
        type.active = type.active || row[activeColumn] == "1";
        if (lf_wakeRank(row[wakeColumn]) > lf_wakeRank(type.wake)) type.wake = row[wakeColumn];
        // The first row that knows species and engine type speaks for the designator.
        if (type.species == ' ' && row[speciesColumn].size() == 1) {
            type.species = row[speciesColumn][0];
        }
        if (type.engineType == ' ' && row[engineTypeColumn].size() == 1) {
            type.engineType = row[engineTypeColumn][0];
        }
        type.engines = std::max(type.engines, lf_engineCount(row[enginesColumn]));
    }
    return types;
}

TypeCategory categorise(const ModelType& type, const CategoryOverrides& overrides)
{
    if (overrides.highPerformance.contains(type.code)) return TypeCategory::HighPerformance;
    if (overrides.businessJets.contains(type.code)) return TypeCategory::BusinessJet;
    if (type.species == 'H' || type.species == 'G' || type.species == 'T') {
        return TypeCategory::Rotorcraft;
    }
    if (type.wake == "H") return TypeCategory::Heavy;
    if (type.wake == "M") return TypeCategory::Large;
    if (type.wake == "L" && type.species == 'L' && type.engineType == 'J' && type.engines >= 2) {
        return TypeCategory::BusinessJet;
    }
    return TypeCategory::Light;
}

}  // namespace qel::datafile
