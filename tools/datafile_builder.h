// The data-file builder: turns the public source data in data/ into the XML documents the
// program reads (dbase.xml, airports.xml, AIG-regcodes.xml) and enciphers each into its .enc
// container with the program's data-file key. Single-threaded; every function throws
// SourceError for source data that would not make a valid document.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "foundation/decrypt.h"

namespace qel::datafile {

class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- Reading the sources ------------------------------------------------------------------

// A CSV file (RFC 4180 quoting) with its header row.
struct CsvTable {
    std::string name;                             // file name for messages, "airports.csv"
    std::vector<std::string> header;              // column names of the first row
    std::vector<std::vector<std::string>> rows;   // every later row, as many cells as header

    // The index of the named column; throws SourceError when the table has none.
    std::size_t column(std::string_view columnName) const;
};

CsvTable parseCsv(std::string_view text, const std::string& name);
CsvTable readCsv(const std::filesystem::path& path);

// The entries of a curated list: '#' at the start of a line or after a blank starts a comment;
// blanks around an entry and blank lines are dropped.
std::vector<std::string> parseListText(std::string_view text);
std::vector<std::string> readListFile(const std::filesystem::path& path);

// ---- Rules --------------------------------------------------------------------------------

bool isAirportCode(std::string_view code);        // exactly 4 characters A-Z or 0-9
bool isShortAirportCode(std::string_view code);   // exactly 3 characters A-Z or 0-9
bool isTypeDesignator(std::string_view code);     // 2 to 4 characters A-Z or 0-9
bool isAirlineDesignator(std::string_view code);  // exactly 3 letters A-Z
bool isRegistration(std::string_view text);       // 3 to 12 characters A-Z, 0-9 or '-'

inline constexpr double g_metresPerFoot = 0.3048;
double feetToMetres(double feet);
// The reader keeps half spans in a table of this many model ids; id 0 is the empty code and
// the aircraft codes follow in ascending order, so the n-th code (from 0) has id n + 1.
inline constexpr std::size_t g_halfSpanTableSize = 2700;

// One ICAO type designator, its rows of the VRS model types merged.
struct ModelType {
    std::string code;        // "B738"
    std::string wake;        // heaviest wake category of its rows: "H", "M", "L/M", "L" or ""
    char species = ' ';      // L landplane, A amphibian, S seaplane, H helicopter, G gyro, T tilt
    char engineType = ' ';   // J jet, T turboprop, P piston, E electric, R rocket
    int engines = 0;         // most engines of its rows; 0 when unknown
    bool active = false;     // some row marks the designator as in use
};

// The designators of the VRS model types (fake codes and bad codes dropped), merged per code.
std::map<std::string, ModelType> mergeModelTypes(const CsvTable& modelTypes);

// The program's size categories, numbered as it numbers them.
enum class TypeCategory : int {
    Light = 0,
    BusinessJet = 1,
    Large = 2,
    Heavy = 3,
    HighPerformance = 4,
    Rotorcraft = 5,
};

// Designators whose category the rules cannot tell (medium-wake business jets look like
// airliners, light-wake jet trainers like business jets).
struct CategoryOverrides {
    std::set<std::string> businessJets;
    std::set<std::string> highPerformance;
};

// Overrides first, then: helicopter, gyroplane or tilt-rotor → rotorcraft; heavy wake →
// heavy; medium wake → large; a light-wake landplane jet with two or more engines → business
// jet; anything else → light.
TypeCategory categorise(const ModelType& type, const CategoryOverrides& overrides);

// ---- The documents ------------------------------------------------------------------------

struct AirportSources {
    CsvTable airportsdata;  // icao, iata, elevation (ft), lat, lon
    CsvTable vrsAirports;   // ICAO, IATA, Latitude, Longitude, AltitudeFeet
    // Stands of the archived stand file of an airport ("EHAM" -> 184); none for a shipped build.
    std::map<std::string, int32_t> archivedStands;
};

// The curated lists of data/curated, one entry a line (formats in data/README.md).
struct CuratedLists {
    std::vector<std::string> cargoTypes;       // "A124"
    std::vector<std::string> cargoOperators;   // "FDX"
    std::vector<std::string> businessJets;     // "GLF5"
    std::vector<std::string> highPerformance;  // "F16"
    std::vector<std::string> similarTypes;     // "A318,A319,A320,A321"
    std::vector<std::string> modelFixes;       // "738 B738" (wrong, correct)
    std::vector<std::string> publishers;       // "Orbx,orbx" (name, then path patterns)
    std::vector<std::string> simaddonAirports; // "LOWI"
    std::vector<std::string> thirdParty2020;   // "Orbx;EGLC,YMML:12" (code[:stand count])
    std::vector<std::string> thirdParty2024;   // as thirdParty2020
};

struct AircraftSources {
    CsvTable modelTypes;          // VRS model types
    CsvTable faaCharacteristics;  // FAA Aircraft Characteristics Database
    CsvTable airlines;            // VRS airlines
    CsvTable regPrefixes;         // VRS registration prefixes
    CsvTable aircraft;            // VRS aircraft (registrations)
    CuratedLists curated;
};

// What a build dropped or noticed, one line each, for the builder's output.
using Notes = std::vector<std::string>;

// root/airports/ap with c, i, la, lo, a, s; airportsdata first, the VRS airports for codes it
// lacks.
void buildAirportsDocument(const AirportSources& sources, pugi::xml_document& document,
                           Notes& notes);
// root with every section the aircraft database reader takes.
void buildDbaseDocument(const AircraftSources& sources, pugi::xml_document& document,
                        Notes& notes);
// root with the meta block (version "{}.{}.{}", sim 1) and aig/l with t, r, s; the lines are
// "title;reg1,reg2" with an optional ";#" for a special livery.
void buildRegcodesDocument(const std::vector<std::string>& lines, pugi::xml_document& document,
                           Notes& notes);

// The document as UTF-8 with an XML declaration, indented two blanks per level.
std::string documentText(const pugi::xml_document& document);

// Enciphers the text into the .enc container: a secretstream header, then pieces of 4096
// plain bytes, the last (possibly shorter or empty) tagged final. Writes a temporary file
// beside `path` and renames it, so a failed build leaves no half file.
void encipherToFile(std::string_view plain, const std::filesystem::path& path,
                    const std::array<unsigned char, g_dataKeyBytes>& key = g_dataFileKey);

// ---- The whole build ----------------------------------------------------------------------

AirportSources loadAirportSources(const std::filesystem::path& dataDir);
// The stand counts of the archived stand files <ICAO>.xml directly in `folder` (as
// vntq_stand_archive writes them); a file that cannot be read counts no stands.
std::map<std::string, int32_t> loadArchivedStandCounts(const std::filesystem::path& folder);
AircraftSources loadAircraftSources(const std::filesystem::path& dataDir);
std::vector<std::string> loadRegcodeLines(const std::filesystem::path& dataDir);

// Builds dbase.enc, airports.enc and AIG-regcodes.enc from dataDir into outDir (created when
// missing); writes the plain documents into xmlDir too when it is not empty. The airports get
// the stand counts of the archived stand files in standsDir when it is not empty.
void buildDataFiles(const std::filesystem::path& dataDir, const std::filesystem::path& outDir,
                    const std::filesystem::path& xmlDir, Notes& notes,
                    const std::filesystem::path& standsDir = {});

}  // namespace qel::datafile
