// dbase.xml, continued: the add-on airport lists and the fleet table (registrations and
// registration prefixes).
#include <charconv>

#include <fmt/format.h>

#include "tools/dbase_parts.h"

namespace qel::datafile {

namespace {

// "EGLC" or "EGLC:57" → "EGLC57": the code, then the stand count of its archived stand file.
std::string lf_archiveEntry(const std::string& entry, const std::string& line)
{
    const auto colon = entry.find(':');
    const std::string code = entry.substr(0, colon);
    int stands = 0;
    if (colon != std::string::npos) {
        const std::string count = entry.substr(colon + 1);
        const char* last = count.data() + count.size();
        const auto [end, error] = std::from_chars(count.data(), last, stands);
        if (error != std::errc{} || end != last || stands < 0) {
            throw SourceError("third-party airports: bad stand count in: " + line);
        }
    }
    if (!isAirportCode(code)) throw SourceError("third-party airports: bad code in: " + line);
    return fmt::format("{}{}", code, stands);
}

void lf_writeThirdParty(const std::vector<std::string>& lines, const char* section,
                        const char* element, pugi::xml_node root)
{
    pugi::xml_node list = root.append_child(section);
    for (const auto& line : lines) {
        const auto parts = splitAt(line, ';');
        if (parts.size() != 2 || parts[0].empty() || parts[1].empty()) {
            throw SourceError("third-party airports: expected \"publisher;codes\": " + line);
        }
        std::vector<std::string> entries;
        for (const auto& entry : splitAt(parts[1], ',')) {
            entries.push_back(lf_archiveEntry(entry, line));
        }
        pugi::xml_node record = list.append_child(element);
        record.append_attribute("pub").set_value(parts[0].c_str());
        record.append_attribute("arpts").set_value(joinCodes(entries).c_str());
    }
}

struct FleetRow {
    std::string airline;  // "KLM", or empty
    std::string model;    // "B738", or empty
    bool cargo = false;
};

void lf_writeFleetRecord(pugi::xml_node section, const std::string& key, const FleetRow& row)
{
    pugi::xml_node record = section.append_child("d");
    record.append_attribute("r").set_value(key.c_str());
    if (!row.airline.empty()) record.append_attribute("a").set_value(row.airline.c_str());
    if (!row.model.empty()) record.append_attribute("m").set_value(row.model.c_str());
    if (row.cargo) record.append_attribute("c").set_value("true");
}

}  // namespace

std::string joinCodes(const std::vector<std::string>& pieces)
{
    std::string text;
    for (const auto& piece : pieces) {
        if (!text.empty()) text += ',';
        text += piece;
    }
    return text;
}

std::vector<std::string> splitAt(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    std::size_t pos = 0;
    while (true) {
        const auto end = text.find(separator, pos);
        std::string_view piece = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        while (!piece.empty() && (piece.front() == ' ' || piece.front() == '\t')) {
            piece.remove_prefix(1);
        }
        while (!piece.empty() && (piece.back() == ' ' || piece.back() == '\t')) {
            piece.remove_suffix(1);
        }
        pieces.emplace_back(piece);
        if (end == std::string_view::npos) return pieces;
        pos = end + 1;
    }
}

void writeAddonAirports(const CuratedLists& curated, pugi::xml_node root)
{
    for (const auto& code : curated.simaddonAirports) {
        if (!isAirportCode(code)) throw SourceError("simulator add-on airports: bad code " + code);
    }
    if (curated.simaddonAirports.empty()) {
        throw SourceError("simulator add-on airports: the reader needs at least one");
    }
    root.append_child("simaddons20")
        .append_child("simaddon20")
        .append_attribute("arpts")
        .set_value(joinCodes(curated.simaddonAirports).c_str());
    lf_writeThirdParty(curated.thirdParty2020, "thirdparties20", "thirdpartie20", root);
    lf_writeThirdParty(curated.thirdParty2024, "thirdparties24", "thirdpartie24", root);
}

void writeFleet(const AircraftSources& sources, const CodeList& models, const CodeList& airlines,
                const CodeList& cargoOperators, const CodeList& shortKeys, pugi::xml_node root,
                Notes& notes)
{
    const CsvTable& aircraft = sources.aircraft;
    const std::size_t registration = aircraft.column("Registration");
    const std::size_t model = aircraft.column("ModelICAO");
    const std::size_t airline = aircraft.column("AirlineCode");
    std::map<std::string, FleetRow> fleet;  // sorted by key, as the reader sorts
    std::size_t badRegistration = 0;
    std::size_t unknownCodes = 0;
    std::size_t repeated = 0;
    for (const auto& row : aircraft.rows) {
        if (!isRegistration(row[registration]) ||
            !isShortCivilRegistration(row[registration], shortKeys)) {
            ++badRegistration;
            continue;
        }
        FleetRow record;
        if (models.contains(row[model])) record.model = row[model];
        if (airlines.contains(row[airline])) record.airline = row[airline];
        record.cargo = cargoOperators.contains(record.airline);
        if (record.model.empty() && record.airline.empty()) {
            ++unknownCodes;
            continue;
        }
        // The first row of a registration stands; the reader keeps one record per key.
        if (!fleet.try_emplace(row[registration], record).second) ++repeated;
    }
    std::size_t prefixes = 0;
    // A prefix record carries no codes: it gives a private livery its country prefix.
    for (const auto& key : shortKeys) {
        if (fleet.try_emplace(key).second) ++prefixes;
    }
    pugi::xml_node section = root.append_child("dbase");
    for (const auto& [key, row] : fleet) lf_writeFleetRecord(section, key, row);
    notes.push_back(fmt::format(
        "dbase.xml: {:5} dbase records ({} prefixes); left out {} bad registrations, {} without "
        "a known type or airline, {} repeated",
        fleet.size(), prefixes, badRegistration, unknownCodes, repeated));
}

}  // namespace qel::datafile
