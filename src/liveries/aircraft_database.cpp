// The aircraft and airline database: reading dbase.enc into the process-wide tables and
// interning its airline and model codes.
#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>

#include <fmt/format.h>
#include <gsl/gsl>

#include "foundation/codes.h"
#include "foundation/decrypt.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "foundation/strings.h"
#include "foundation/xml.h"
#include "liveries/liveries.h"
#include "liveries/pieces.h"

namespace qel {

// Every table below: written only by gf_readDbase on the start-up thread before other threads
// start, read-only afterwards (no lock).
CodeSet g_icaoModelCodes;
CodeSet g_icaoAirlineCodes;
std::set<uint16_t> g_heavyModels;
std::set<uint16_t> g_largeModels;
std::set<uint16_t> g_buzjetModels;
std::set<uint16_t> g_highPerformanceModels;
std::set<uint16_t> g_rotorcraftModels;
StringGroups g_similarTypeGroups;
StringGroups g_prefixGroups;
std::unordered_map<std::string, std::vector<std::string>, TransparentStringHash, std::equal_to<>>
    g_similarPrefixes;
StringGroups g_publishers;
std::map<std::string, double, std::less<>> g_wingspans;
std::vector<double> g_halfSpanNm;
double g_maxHalfSpanNm = 0.0;
CodeSet g_simAddonAirports20;
std::vector<PublisherAirports> g_thirdPartyAirports20;
std::vector<PublisherAirports> g_thirdPartyAirports24;
std::vector<RegPrefix> g_registrations;

namespace {

// Half of a span in metres, in nautical miles of 1852 m.
constexpr double lf_halfSpanNmPerMetre = 0.5 * 0.0005399568034557236;

constexpr std::size_t lf_groupReserve = 64;
constexpr std::size_t lf_publisherReserve = 640;
constexpr std::size_t lf_thirdParty20Reserve = 600;
constexpr std::size_t lf_thirdParty24Reserve = 300;
constexpr std::size_t lf_registrationReserve = 60000;

// The tables hold a whole database; kept here, so that whoever empties them lowers it too.
bool lf_dbaseRead = false;  // start-up thread only

pugi::xml_node lf_section(const pugi::xml_document& document, const char* section)
{
    return document.child("root").child(section);
}

// Locale-free; a missing or unreadable number counts as 0.0, as a missing attribute does.
double lf_parseDouble(std::string_view text)
{
    text = gf_trim(text);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc{} ? value : 0.0;
}

void lf_readModelCodes(const pugi::xml_document& document)
{
    CodeSet models;
    gf_readXmlCodeList(document, "aircrafts", models, "aircraft", "types");
    g_icaoModelCodes = std::move(models);
    gf_log(fmt::format("\n{:5} ICAO model codes", g_icaoModelCodes.size()));
    CodeSet cargoTypes;
    gf_readXmlCodeList(document, "cargo_types", cargoTypes, "cargo_type", "types");

    gf_modelIndex("");
    for (const auto& code : g_icaoModelCodes) gf_modelIndex(code);
    g_modelCodeFixActive = true;
    for (const auto& code : cargoTypes) gf_modelIndex(code);
}

void lf_readSizeCategories(const pugi::xml_document& document)
{
    struct Category {
        const char* section;
        const char* element;
        std::set<uint16_t>* ids;
        CodeSet codes;
    };
    std::array<Category, 5> categories{{
        {"heavy", "hvy", &g_heavyModels, {}},
        {"large", "lar", &g_largeModels, {}},
        {"buzjet", "bzj", &g_buzjetModels, {}},
        {"high_performance", "hpf", &g_highPerformanceModels, {}},
        {"rotorcraft", "rot", &g_rotorcraftModels, {}},
    }};
    for (auto& category : categories) {
        gf_readXmlCodeList(document, category.section, category.codes, category.element, "types");
    }
    for (auto& category : categories) {
        category.ids->clear();
        for (const auto& code : category.codes) category.ids->insert(gf_modelIndex(code));
    }
}

void lf_readGroups(const pugi::xml_document& document, const char* section, StringGroups& groups)
{
    groups.reserve(lf_groupReserve);
    for (const auto& similar : lf_section(document, section).children("similar")) {
        auto group = gf_split(gf_attrString(similar, "types"));
        std::sort(group.begin(), group.end());
        groups.push_back(std::move(group));
    }
    groups.shrink_to_fit();
}

// Every member maps to the rest of its group; a prefix in several groups keeps the list whose
// line ("member,other,...") sorts first, so the result does not depend on the file's order.
void lf_buildSimilarPrefixes()
{
    std::set<std::string> lines;
    for (const auto& group : g_prefixGroups) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            std::string line = group[i];
            for (std::size_t j = 0; j < group.size(); ++j) {
                if (j != i) line += "," + group[j];
            }
            if (line.find(',') != std::string::npos) lines.insert(std::move(line));
        }
    }
    for (const auto& line : lines) {
        const auto pieces = gf_splitPieces(line, ',');
        std::vector<std::string> others(pieces.begin() + 1, pieces.end());
        g_similarPrefixes.try_emplace(std::string(pieces.front()), std::move(others));
    }
}

void lf_readAirlineCodes(const pugi::xml_document& document)
{
    CodeSet airlines;
    gf_readXmlCodeList(document, "ICAO_airlines", airlines, "ICAO", "codes");
    g_icaoAirlineCodes = std::move(airlines);
    gf_log(fmt::format("{:5} ICAO airline codes", g_icaoAirlineCodes.size()));
    CodeSet cargoOperators;
    gf_readXmlCodeList(document, "cargo_operators", cargoOperators, "ICAO", "codes");
    gf_log(fmt::format("{:5} cargo operators", cargoOperators.size()));

    gf_airlineIndex("");
    for (const auto& code : g_icaoAirlineCodes) gf_airlineIndex(code);
    for (const auto& code : cargoOperators) gf_airlineIndex(code);
}

void lf_readPublishers(const pugi::xml_document& document)
{
    g_publishers.reserve(lf_publisherReserve);
    std::vector<std::string> values;
    for (const auto& pub : lf_section(document, "publishers").children("pub")) {
        values.push_back(gf_attrString(pub, "names"));
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    for (const auto& value : values) {
        std::vector<std::string> group;
        for (const auto piece : gf_splitPieces(value, ',')) group.emplace_back(gf_trim(piece));
        // A group without a name would match every scenery path (an empty pattern matches all)
        // and report the empty name as its publisher.
        if (group.front().empty()) continue;
        group.shrink_to_fit();
        g_publishers.push_back(std::move(group));
    }
    g_publishers.shrink_to_fit();
    gf_log(fmt::format("{:5} publishers", g_publishers.size()));
}

void lf_readWingspans(const pugi::xml_document& document)
{
    for (const auto& wingspan : lf_section(document, "wingspans").children("wingspan")) {
        const std::string type = gf_attrString(wingspan, "type");
        if (type.empty() || !g_icaoModelCodes.contains(type)) {
            gf_logHighlighted(fmt::format("wingspan model {} is not valid, skipped", type));
            continue;
        }
        const double half =
            lf_parseDouble(gf_attrString(wingspan, "meters")) * lf_halfSpanNmPerMetre;
        g_wingspans.try_emplace(type, half);
        g_maxHalfSpanNm = std::max(g_maxHalfSpanNm, half);
    }
    // One entry per model known now; ids interned later have no span and read as 0.0.
    g_halfSpanNm.assign(g_modelCodes.size(), 0.0);
    for (const auto& [type, half] : g_wingspans) {
        const uint16_t id = gf_modelIndex(type);
        if (id >= g_halfSpanNm.size()) g_halfSpanNm.resize(std::size_t{id} + 1, 0.0);
        g_halfSpanNm[id] = half;
    }
}

void lf_readFixes(const pugi::xml_document& document)
{
    const auto section = lf_section(document, "fixes");
    if (!section) return;
    for (const auto& fix : section.children("fx")) {
        std::string wrong = gf_attrString(fix, "wro");
        std::string correct = gf_attrString(fix, "cor");
        if (correct.empty() || !g_icaoModelCodes.contains(correct)) {
            gf_logHighlighted(
                fmt::format("wrong fix {} -> {}, the latter is not valid", wrong, correct));
            continue;
        }
        if (!g_modelFixes.try_emplace(wrong, std::move(correct)).second) {
            gf_logHighlighted(
                fmt::format("wrong part of fix: '{}', already exists, skipped", wrong));
        }
    }
    gf_log(fmt::format("{:5} fixes", g_modelFixes.size()));
}

void lf_readAddonAirports(const pugi::xml_document& document)
{
    gf_readXmlCodeList(document, "simaddons20", g_simAddonAirports20, "simaddon20", "arpts");
    g_thirdPartyAirports20.reserve(lf_thirdParty20Reserve);
    gf_readPublisherAirports(document, "thirdparties20", g_thirdPartyAirports20, "thirdpartie20");
    g_thirdPartyAirports24.reserve(lf_thirdParty24Reserve);
    gf_readPublisherAirports(document, "thirdparties24", g_thirdPartyAirports24, "thirdpartie24");
}

void lf_readFleet(const pugi::xml_document& document)
{
    g_registrations.reserve(lf_registrationReserve);
    for (const auto& d : lf_section(document, "dbase").children("d")) {
        RegPrefix record;
        record.key = gf_attrString(d, "r");
        record.match.airline = gf_airlineIndex(gf_attrString(d, "a"));
        record.match.operatorId = gf_airlineIndex(gf_attrString(d, "o"));
        record.match.model = gf_modelIndex(gf_attrString(d, "m"));
        record.match.cargo = d.attribute("c").as_bool(false) ? 1 : 0;
        g_registrations.push_back(std::move(record));
    }
    // Stable, so that of several records with one key the first in the file survives.
    const auto byKey = [](const RegPrefix& a, const RegPrefix& b) { return a.key < b.key; };
    std::stable_sort(g_registrations.begin(), g_registrations.end(), byKey);
    const auto sameKey = [](const RegPrefix& a, const RegPrefix& b) { return a.key == b.key; };
    g_registrations.erase(std::unique(g_registrations.begin(), g_registrations.end(), sameKey),
                          g_registrations.end());
    g_registrations.shrink_to_fit();
    gf_indexShortRegistrations();
    gf_logFlush(fmt::format("{:5} dbase records read", g_registrations.size()));
}

}  // namespace

void gf_readXmlCodeList(const pugi::xml_document& document, const char* section, CodeSet& target,
                        const char* element, const char* attribute)
{
    const auto root = document.child("root");
    if (!root) throw UserErrorException(61, "XML root missing: root");
    const auto node = root.child(section);
    if (!node) throw UserErrorException(61, fmt::format("Missing section: {}", section));
    bool found = false;
    for (const auto& child : node.children(element)) {
        const std::string_view value = child.attribute(attribute).as_string();
        if (value.empty()) continue;
        for (const auto piece : gf_splitPieces(value, ',')) {
            if (piece.empty()) continue;
            target.emplace(piece);
            found = true;
        }
    }
    if (!found) {
        throw UserErrorException(
            61, fmt::format("In XML file section [{}], element [{}], attribute [{}] is empty.",
                            section, element, attribute));
    }
}

void gf_readPublisherAirports(const pugi::xml_document& document, const char* section,
                              std::vector<PublisherAirports>& target, const char* element)
{
    const auto node = lf_section(document, section);
    if (!node) return;
    for (const auto& child : node.children(element)) {
        PublisherAirports entry;
        entry.publisher = gf_attrString(child, "pub");
        const std::string airports = gf_attrString(child, "arpts");
        if (!airports.empty()) {
            for (const auto piece : gf_splitPieces(airports, ',')) {
                entry.airports.emplace_back(piece);
            }
        }
        target.push_back(std::move(entry));
    }
}

bool gf_aircraftDatabaseRead() { return lf_dbaseRead; }

void gf_clearAircraftDatabase()
{
    lf_dbaseRead = false;
    g_modelCodeFixActive = false;
    g_icaoModelCodes.clear();
    g_icaoAirlineCodes.clear();
    for (auto* ids : {&g_heavyModels, &g_largeModels, &g_buzjetModels, &g_highPerformanceModels,
                      &g_rotorcraftModels}) {
        ids->clear();
    }
    g_similarTypeGroups.clear();
    g_prefixGroups.clear();
    g_similarPrefixes.clear();
    g_publishers.clear();
    g_wingspans.clear();
    g_halfSpanNm.clear();
    g_maxHalfSpanNm = 0.0;
    g_modelFixes.clear();
    g_simAddonAirports20.clear();
    g_thirdPartyAirports20.clear();
    g_thirdPartyAirports24.clear();
    g_registrations.clear();
    gf_indexShortRegistrations();
}

bool gf_readDbase()
{
    if (!std::filesystem::exists(g_dbaseEnc)) {
        throw std::runtime_error(fmt::format("{} not available", gf_pathToUtf8(g_dbaseEnc)));
    }
    // The deciphered database must not stay on disk, whichever way this read ends.
    const auto removeXml = gsl::finally([] { gf_removeFile(g_dbaseXml); });
    if (!gf_streamDecrypt(g_dbaseEnc, g_dbaseXml)) {
        throw std::runtime_error(
            fmt::format("{} stream decrypt failed", gf_pathToUtf8(g_dbaseEnc)));
    }
    pugi::xml_document document;
    const auto parsed =
        document.load_file(g_dbaseXml.c_str(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed) {
        gf_logHighlighted(fmt::format("'{}' not read because of {}", gf_pathToUtf8(g_dbaseXml),
                                      parsed.description()));
        return false;
    }

    gf_clearAircraftDatabase();
    lf_readModelCodes(document);
    lf_readSizeCategories(document);
    lf_readGroups(document, "similar_types", g_similarTypeGroups);
    lf_readGroups(document, "prefixes", g_prefixGroups);
    gf_logFlush(fmt::format("{:5} prefixes", g_prefixGroups.size()));
    lf_buildSimilarPrefixes();
    lf_readAirlineCodes(document);
    lf_readPublishers(document);
    lf_readWingspans(document);
    lf_readFixes(document);
    lf_readAddonAirports(document);
    lf_readFleet(document);
    lf_dbaseRead = true;
    return true;
}

std::vector<std::string> gf_similarPrefixes(std::string_view prefix)
{
    const auto it = g_similarPrefixes.find(prefix);
    if (it == g_similarPrefixes.end()) return {};
    // A copy is shuffled: the table stays as read, so any thread may read it without a lock.
    std::vector<std::string> others = it->second;
    if (others.size() >= 2) std::shuffle(others.begin(), others.end(), g_rng);
    return others;
}

}  // namespace qel
