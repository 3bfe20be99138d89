// dbase.xml: aircraft types and their size categories, wing spans, airlines, registrations and
// registration prefixes from the VRS standing data (CC0) and the FAA Aircraft Characteristics
// Database (public domain), plus the curated lists of data/curated.
#include <algorithm>
#include <charconv>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include <fmt/format.h>

#include "tools/dbase_parts.h"

namespace qel::datafile {

namespace {

void lf_appendList(pugi::xml_node section, const char* element, const char* attribute,
                   const std::vector<std::string>& codes)
{
    section.append_child(element).append_attribute(attribute).set_value(joinCodes(codes).c_str());
}

// A long code list as one element per leading character, so that the file stays readable.
void lf_appendListByLetter(pugi::xml_node section, const char* element, const char* attribute,
                           const CodeList& codes)
{
    std::vector<std::string> run;
    for (const auto& code : codes) {
        if (!run.empty() && run.front()[0] != code[0]) {
            lf_appendList(section, element, attribute, run);
            run.clear();
        }
        run.push_back(code);
    }
    if (!run.empty()) lf_appendList(section, element, attribute, run);
}

// Every entry of a curated list must name a code the database knows; a typo would otherwise
// ship silently.
CodeList lf_knownCodes(const std::vector<std::string>& entries, const CodeList& known,
                       std::string_view listName)
{
    CodeList codes;
    for (const auto& entry : entries) {
        if (!known.contains(entry)) {
            throw SourceError(fmt::format("{}: {} is not a known code", listName, entry));
        }
        codes.insert(entry);
    }
    return codes;
}

struct Tables {
    std::map<std::string, ModelType> types;  // active designators
    CodeList models;                         // their codes
    CodeList airlines;                       // ICAO airline designators
    CodeList cargoOperators;
};

Tables lf_tables(const AircraftSources& sources)
{
    Tables tables;
    for (auto& [code, type] : mergeModelTypes(sources.modelTypes)) {
        // A designator no row marks as in use has been withdrawn or replaced.
        if (!type.active) continue;
        tables.models.insert(code);
        tables.types.emplace(code, type);
    }
    const std::size_t icao = sources.airlines.column("ICAO");
    for (const auto& row : sources.airlines.rows) {
        if (isAirlineDesignator(row[icao])) tables.airlines.insert(row[icao]);
    }
    // The code of the unknown airline: generic and house liveries carry it (icao_airline "ZZZZ"
    // or empty reads as "ZZZ"), and the livery matcher picks them for flights of any airline.
    tables.airlines.insert("ZZZ");
    tables.cargoOperators =
        lf_knownCodes(sources.curated.cargoOperators, tables.airlines, "cargo operators");
    return tables;
}

void lf_writeCategories(const Tables& tables, const CuratedLists& curated, pugi::xml_node root,
                        Notes& notes)
{
    CategoryOverrides overrides;
    overrides.businessJets = lf_knownCodes(curated.businessJets, tables.models, "business jets");
    overrides.highPerformance =
        lf_knownCodes(curated.highPerformance, tables.models, "high performance");
    for (const auto& code : overrides.businessJets) {
        if (overrides.highPerformance.contains(code)) {
            throw SourceError(fmt::format("{} is both a business jet and high performance", code));
        }
    }
    std::map<TypeCategory, std::vector<std::string>> byCategory;
    for (const auto& [code, type] : tables.types) {
        byCategory[categorise(type, overrides)].push_back(code);
    }
    struct Section {
        TypeCategory category;
        const char* section;
        const char* element;
    };
    const Section sections[] = {
        {TypeCategory::Heavy, "heavy", "hvy"},
        {TypeCategory::Large, "large", "lar"},
        {TypeCategory::BusinessJet, "buzjet", "bzj"},
        {TypeCategory::HighPerformance, "high_performance", "hpf"},
        {TypeCategory::Rotorcraft, "rotorcraft", "rot"},
    };
    for (const auto& [category, section, element] : sections) {
        const auto& codes = byCategory[category];
        // The reader refuses a file in which a category section holds no type.
        if (codes.empty()) throw SourceError(fmt::format("no type falls into {}", section));
        lf_appendList(root.append_child(section), element, "types", codes);
        notes.push_back(fmt::format("dbase.xml: {:5} {} types", codes.size(), section));
    }
}

void lf_writeSimilarTypes(const Tables& tables, const CuratedLists& curated, pugi::xml_node root)
{
    pugi::xml_node section = root.append_child("similar_types");
    for (const auto& line : curated.similarTypes) {
        const auto codes = splitAt(line, ',');
        if (codes.size() < 2) throw SourceError("similar types: a group needs two types: " + line);
        lf_knownCodes(codes, tables.models, "similar types");
        lf_appendList(section, "similar", "types", codes);
    }
}

// Registration prefixes as a registration begins with them ("RA-"): the hyphenated prefixes of
// the VRS table, grouped by country.
std::map<std::string, CodeList> lf_prefixesByCountry(const CsvTable& regPrefixes)
{
    const std::size_t prefix = regPrefixes.column("Prefix");
    const std::size_t country = regPrefixes.column("CountryISO2");
    const std::size_t hyphen = regPrefixes.column("HasHyphen");
    std::map<std::string, CodeList> byCountry;
    for (const auto& row : regPrefixes.rows) {
        // Without a hyphen a registration shows no prefix of its own ("N123AB", "JA8089").
        if (row[hyphen] != "1" || row[prefix].empty()) continue;
        std::string key = row[prefix] + "-";
        if (key.size() > 5) continue;  // the program takes prefixes of up to 5 characters
        byCountry[row[country]].insert(std::move(key));
    }
    return byCountry;
}

void lf_writePrefixGroups(const std::map<std::string, CodeList>& byCountry, pugi::xml_node root)
{
    pugi::xml_node section = root.append_child("prefixes");
    std::map<std::string, std::set<CodeList>> listsOfPrefix;
    for (const auto& [country, prefixes] : byCountry) {
        for (const auto& prefix : prefixes) listsOfPrefix[prefix].insert(prefixes);
    }
    std::set<CodeList> groups;  // two countries may share one set of prefixes (VP-, VQ-)
    for (const auto& [country, prefixes] : byCountry) {
        // A prefix that countries list with different partners belongs to none of them alone
        // (SU- is Egypt's; Palestine has only the block SU-Y of it).
        CodeList own;
        for (const auto& prefix : prefixes) {
            if (listsOfPrefix[prefix].size() == 1) own.insert(prefix);
        }
        if (own.size() >= 2) groups.insert(own);
    }
    for (const auto& group : groups) {
        lf_appendList(section, "similar", "types", {group.begin(), group.end()});
    }
}

void lf_writeAirlines(const Tables& tables, pugi::xml_node root)
{
    lf_appendListByLetter(root.append_child("ICAO_airlines"), "ICAO", "codes", tables.airlines);
    const std::vector<std::string> cargo(tables.cargoOperators.begin(),
                                         tables.cargoOperators.end());
    if (cargo.empty()) throw SourceError("cargo operators: the reader needs at least one");
    lf_appendList(root.append_child("cargo_operators"), "ICAO", "codes", cargo);
}

void lf_writePublishers(const CuratedLists& curated, pugi::xml_node root)
{
    pugi::xml_node section = root.append_child("publishers");
    for (const auto& line : curated.publishers) {
        const auto pieces = splitAt(line, ',');
        // An empty pattern would make the publisher match every scenery path.
        if (std::find(pieces.begin(), pieces.end(), "") != pieces.end()) {
            throw SourceError("publishers: empty name or pattern in: " + line);
        }
        section.append_child("pub").append_attribute("names").set_value(joinCodes(pieces).c_str());
    }
}

std::optional<double> lf_feet(const std::string& text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !(value > 0.0)) {
        return std::nullopt;
    }
    return value;
}

// The span of a type with winglets where it has them, else without: the larger one keeps
// aircraft apart.
std::optional<double> lf_spanFeet(const std::vector<std::string>& row, std::size_t without,
                                  std::size_t with)
{
    const auto plain = lf_feet(row[without]);
    const auto winglets = lf_feet(row[with]);
    if (plain && winglets) return std::max(*plain, *winglets);
    return plain ? plain : winglets;
}

void lf_writeWingspans(const Tables& tables, const CsvTable& faa, pugi::xml_node root,
                       Notes& notes)
{
    const std::size_t code = faa.column("ICAO_Code");
    const std::size_t without = faa.column("Wingspan_ft_without_winglets_sharklets");
    const std::size_t with = faa.column("Wingspan_ft_with_winglets_sharklets");
    pugi::xml_node section = root.append_child("wingspans");
    std::set<std::string> written;
    std::size_t beyondTable = 0;
    for (const auto& row : faa.rows) {
        const auto type = tables.models.find(row[code]);
        const auto span = lf_spanFeet(row, without, with);
        if (type == tables.models.end() || !span || written.contains(*type)) continue;
        // Ids follow the sorted codes after the empty code's 0; the reader's half-span table
        // ends at g_halfSpanTableSize and a type beyond it would end the whole read.
        const auto id = static_cast<std::size_t>(std::distance(tables.models.begin(), type)) + 1;
        if (id >= g_halfSpanTableSize) {
            ++beyondTable;
            continue;
        }
        pugi::xml_node entry = section.append_child("wingspan");
        entry.append_attribute("type").set_value(type->c_str());
        entry.append_attribute("meters").set_value(
            fmt::format("{:.2f}", feetToMetres(*span)).c_str());
        written.insert(*type);
    }
    notes.push_back(fmt::format("dbase.xml: {:5} wingspans, {} left out beyond model id {}",
                                written.size(), beyondTable, g_halfSpanTableSize - 1));
}

void lf_writeFixes(const Tables& tables, const CuratedLists& curated, pugi::xml_node root)
{
    pugi::xml_node section = root.append_child("fixes");
    std::set<std::string> wrongCodes;
    for (const auto& line : curated.modelFixes) {
        const auto pieces = splitAt(line, ' ');
        if (pieces.size() != 2 || pieces[0].empty()) {
            throw SourceError("model fixes: expected \"wrong correct\": " + line);
        }
        const std::string& wrong = pieces[0];
        const std::string& correct = pieces[1];
        if (!tables.models.contains(correct)) {
            throw SourceError(fmt::format("model fixes: {} is not a known code", correct));
        }
        // A known code is interned as itself before any fix is looked at.
        if (tables.models.contains(wrong) || !wrongCodes.insert(wrong).second) {
            throw SourceError(fmt::format("model fixes: {} is known or repeated", wrong));
        }
        pugi::xml_node fix = section.append_child("fx");
        fix.append_attribute("wro").set_value(wrong.c_str());
        fix.append_attribute("cor").set_value(correct.c_str());
    }
}

}  // namespace

void buildDbaseDocument(const AircraftSources& sources, pugi::xml_document& document,
                        Notes& notes)
{
    const Tables tables = lf_tables(sources);
    const CuratedLists& curated = sources.curated;
    document.reset();
    pugi::xml_node root = document.append_child("root");

    lf_appendListByLetter(root.append_child("aircrafts"), "aircraft", "types", tables.models);
    notes.push_back(fmt::format("dbase.xml: {:5} ICAO model codes", tables.models.size()));
    const CodeList cargoTypes = lf_knownCodes(curated.cargoTypes, tables.models, "cargo types");
    if (cargoTypes.empty()) throw SourceError("cargo types: the reader needs at least one");
    lf_appendList(root.append_child("cargo_types"), "cargo_type", "types",
                  {cargoTypes.begin(), cargoTypes.end()});
    lf_writeCategories(tables, curated, root, notes);
    lf_writeSimilarTypes(tables, curated, root);
    const auto prefixesByCountry = lf_prefixesByCountry(sources.regPrefixes);
    lf_writePrefixGroups(prefixesByCountry, root);
    lf_writeAirlines(tables, root);
    notes.push_back(fmt::format("dbase.xml: {:5} ICAO airline codes", tables.airlines.size()));
    lf_writePublishers(curated, root);
    lf_writeWingspans(tables, sources.faaCharacteristics, root, notes);
    lf_writeFixes(tables, curated, root);
    writeAddonAirports(curated, root);
    writeFleet(sources, tables.models, tables.airlines, tables.cargoOperators,
               shortRegistrationKeys(sources.regPrefixes), root, notes);
}

}  // namespace qel::datafile
