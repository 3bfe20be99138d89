// The whole build: the sources' places under data/, and the three .enc files.
#include <fstream>
#include <iterator>

#include <fmt/format.h>

#include "tools/datafile_builder.h"

namespace qel::datafile {

namespace {

std::filesystem::path lf_vrs(const std::filesystem::path& dataDir, const char* name)
{
    return dataDir / "sources" / "vrs-standing-data" / name;
}

std::vector<std::string> lf_curated(const std::filesystem::path& dataDir, const char* name)
{
    return readListFile(dataDir / "curated" / name);
}

void lf_writeDocument(const pugi::xml_document& document, const std::string& name,
                      const std::filesystem::path& outDir, const std::filesystem::path& xmlDir)
{
    const std::string text = documentText(document);
    if (!xmlDir.empty()) {
        std::filesystem::create_directories(xmlDir);
        std::ofstream plain(xmlDir / (name + ".xml"), std::ios::binary | std::ios::trunc);
        plain << text;
        if (!plain) throw SourceError(fmt::format("cannot write {}.xml", name));
    }
    encipherToFile(text, outDir / (name + ".enc"));
}

}  // namespace

AirportSources loadAirportSources(const std::filesystem::path& dataDir)
{
    return {readCsv(dataDir / "sources" / "airportsdata" / "airports.csv"),
            readCsv(lf_vrs(dataDir, "airports.csv"))};
}

std::map<std::string, int32_t> loadArchivedStandCounts(const std::filesystem::path& folder)
{
    std::map<std::string, int32_t> counts;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::filesystem::path& path = entry.path();
        const std::string code = path.stem().string();
        if (path.extension() != ".xml" || !isAirportCode(code)) continue;
        pugi::xml_document document;
        if (!document.load_file(path.c_str())) continue;
        pugi::xml_node positions = document.child("root").child("parkpositions");
        if (!positions) positions = document.child("parkpositions");
        const auto stands = positions.children("parkpos");
        counts[code] = static_cast<int32_t>(std::distance(stands.begin(), stands.end()));
    }
    return counts;
}

AircraftSources loadAircraftSources(const std::filesystem::path& dataDir)
{
    AircraftSources sources;
    sources.modelTypes = readCsv(lf_vrs(dataDir, "model-types.csv"));
    sources.faaCharacteristics = readCsv(dataDir / "sources" / "faa-acd" / "faa-acd-2023.csv");
    sources.airlines = readCsv(lf_vrs(dataDir, "airlines.csv"));
    sources.regPrefixes = readCsv(lf_vrs(dataDir, "reg-prefixes.csv"));
    sources.aircraft = readCsv(lf_vrs(dataDir, "aircraft.csv"));
    CuratedLists& curated = sources.curated;
    curated.cargoTypes = lf_curated(dataDir, "cargo-types.txt");
    curated.cargoOperators = lf_curated(dataDir, "cargo-operators.txt");
    curated.businessJets = lf_curated(dataDir, "business-jets.txt");
    curated.highPerformance = lf_curated(dataDir, "high-performance.txt");
    curated.similarTypes = lf_curated(dataDir, "similar-types.txt");
    curated.modelFixes = lf_curated(dataDir, "model-fixes.txt");
    curated.publishers = lf_curated(dataDir, "publishers.txt");
    curated.simaddonAirports = lf_curated(dataDir, "simaddon-airports.txt");
    curated.thirdParty2020 = lf_curated(dataDir, "thirdparty-airports-2020.txt");
    curated.thirdParty2024 = lf_curated(dataDir, "thirdparty-airports-2024.txt");
    return sources;
}

std::vector<std::string> loadRegcodeLines(const std::filesystem::path& dataDir)
{
    return lf_curated(dataDir, "aig-regcodes.txt");
}

void buildDataFiles(const std::filesystem::path& dataDir, const std::filesystem::path& outDir,
                    const std::filesystem::path& xmlDir, Notes& notes,
                    const std::filesystem::path& standsDir)
{
    std::filesystem::create_directories(outDir);
    pugi::xml_document document;
    AirportSources airports = loadAirportSources(dataDir);
    if (!standsDir.empty()) airports.archivedStands = loadArchivedStandCounts(standsDir);
    buildAirportsDocument(airports, document, notes);
    lf_writeDocument(document, "airports", outDir, xmlDir);
    buildDbaseDocument(loadAircraftSources(dataDir), document, notes);
    lf_writeDocument(document, "dbase", outDir, xmlDir);
    buildRegcodesDocument(loadRegcodeLines(dataDir), document, notes);
    lf_writeDocument(document, "AIG-regcodes", outDir, xmlDir);
}

}  // namespace qel::datafile
