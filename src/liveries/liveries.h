// The aircraft and airline database, its model and registration lookups, and the
// registration-code files, as the other subsystems see them.
//
// Threads: gf_readDbase fills every table once on the start-up thread before any other thread
// reads them; afterwards the tables are read-only and are read without locks from any thread.
//
// The library keeps no state of one run, so it has no run struct and the restart's reset does
// not touch it: the tables are read once per process, the livery database lives until a clear
// is asked for (liveries/livery_db.h), a scan's lists are emptied by the scan itself, and the
// match counts add up over the process.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "foundation/codes.h"
#include "foundation/match_key.h"

namespace qel {

// ---- Shared types -------------------------------------------------------------------------

// Size categories, the values of gf_sizeCategory; the same numbers are the traffic manager's
// weight classes and the livery database's categories.
enum class SizeCategory : int {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

// Lets unordered containers keyed by std::string be searched with a std::string_view.
struct TransparentStringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept
    {
        return std::hash<std::string_view>{}(text);
    }
};

using CodeSet = std::set<std::string, std::less<>>;
using StringGroups = std::vector<std::vector<std::string>>;

// The add-on airports of one scenery publisher.
struct PublisherAirports {
    std::string publisher;              // "pub", e.g. "Aerosoft"; empty when absent
    std::vector<std::string> airports;  // "arpts" split at ',' in file order, e.g. {"EDDF"}
};

// One fleet record: a registration, or a registration prefix of up to 5 characters.
struct RegPrefix {
    std::string key;  // e.g. "D-AIAB" or "D-A"
    MatchKey match;   // airline, operator, model and cargo flag of that fleet
};

// One entry of a registration-code file; a record without codes names a don't-use title.
struct RegcodeRecord {
    std::string title;             // livery title, e.g. "Airbus A320 Lufthansa D-AIAB"
    std::list<std::string> codes;  // registrations, e.g. {"D-AIAB"}; may be empty
    bool special = false;          // the record describes special liveries
};

// ---- Aircraft database tables -------------------------------------------------------------
// Filled by gf_readDbase on the start-up thread, read-only afterwards (no lock).

extern CodeSet g_icaoModelCodes;    // known ICAO aircraft type designators
extern CodeSet g_icaoAirlineCodes;  // known ICAO airline designators
// Model ids (g_modelCodes) of each size category.
extern std::set<uint16_t> g_heavyModels;
extern std::set<uint16_t> g_largeModels;
extern std::set<uint16_t> g_buzjetModels;
extern std::set<uint16_t> g_highPerformanceModels;
extern std::set<uint16_t> g_rotorcraftModels;
extern StringGroups g_similarTypeGroups;  // interchangeable model codes, each group sorted
extern StringGroups g_prefixGroups;       // interchangeable registration prefixes, sorted
// A prefix → the other prefixes of its group; read-only once read.
extern std::unordered_map<std::string, std::vector<std::string>, TransparentStringHash,
                          std::equal_to<>>
    g_similarPrefixes;
// Scenery publishers: the first string of a group is the name, every string a path pattern.
extern StringGroups g_publishers;
extern std::map<std::string, double, std::less<>> g_wingspans;  // model code → half span, nm
// Half wingspan in nm by model id, one entry per model interned when the database was read.
extern std::vector<double> g_halfSpanNm;
extern double g_maxHalfSpanNm;        // the largest half wingspan read, nm; 0.0 when none
extern CodeSet g_simAddonAirports20;  // airport codes
extern std::vector<PublisherAirports> g_thirdPartyAirports20;
extern std::vector<PublisherAirports> g_thirdPartyAirports24;
// Fleet table sorted ascending by key (byte-wise), one record per key; binary-searched.
extern std::vector<RegPrefix> g_registrations;

// ---- Aircraft database reading (start-up thread) ------------------------------------------

// Deciphers input/dbase.enc into input/dbase.xml, fills every table above and interns the
// database's codes (empty code first, so that id 0 means none), then removes the XML file on
// every way out. False when the XML does not parse. Throws std::runtime_error when the .enc
// file is missing or cannot be deciphered, qel::UserErrorException 61 for a missing or empty
// required section.
bool gf_readDbase();
// Whether the tables above hold a database: raised when gf_readDbase has read one to the end,
// lowered by gf_clearAircraftDatabase. Start-up thread, or any thread while none runs.
bool gf_aircraftDatabaseRead();
// Empties every table above and lowers g_modelCodeFixActive and the read mark; gf_readDbase and
// tests.
void gf_clearAircraftDatabase();
// Inserts every non-empty comma-separated piece of `attribute` of the `element` children of
// root/`section`. Throws qel::UserErrorException 61 when root or the section is missing or no
// piece was found.
void gf_readXmlCodeList(const pugi::xml_document& document, const char* section, CodeSet& target,
                        const char* element, const char* attribute);
// Appends one PublisherAirports per `element` child of root/`section`; nothing when the
// section is missing. Never throws for document content.
void gf_readPublisherAirports(const pugi::xml_document& document, const char* section,
                              std::vector<PublisherAirports>& target, const char* element);
// The other prefixes of the prefix's group, a copy freshly shuffled with the calling thread's
// engine; an empty list for a prefix in no group. Any thread.
std::vector<std::string> gf_similarPrefixes(std::string_view prefix);

// ---- Model and registration lookups (any thread, never throw) -----------------------------

// gf_modelAlias, gf_addModelFix and the fix map g_modelFixes are the code tables':
// foundation/codes.h.

// 0..5 (SizeCategory): large, heavy, business jet, rotorcraft, high performance tested in
// that order, light when in none.
int gf_sizeCategory(uint16_t modelId);
// gf_sizeCategory of the code's id; interns an unknown code (gf_modelIndex's rules).
int gf_sizeCategoryOfCode(std::string_view code);
bool gf_isModelCode(std::string_view code);    // false for ""
bool gf_isAirlineCode(std::string_view code);  // false for ""
// Half the model's wingspan in nautical miles; 0.0 for a model without a wingspan entry,
// including ids interned after the database was read.
double gf_wingspan(uint16_t modelId);

// The keys to look a registration up under: for 5 or more characters, not starting with 'N'
// and without '-', "DA-IAB" and "D-AIAB" for "DAIAB"; always the registration itself last.
std::vector<std::string> lf_prefixCandidates(const std::string& registration);
// The MatchKey of the first candidate that is a key of g_registrations; none for "".
std::optional<MatchKey> gf_registrationPrefix(const std::string& registration);
// The smallest key of at most 5 characters of g_registrations that begins a registration-like
// word of the text (3 to 12 characters A-Z, 0-9 or '-', between characters that are none of
// these nor a lower-case letter): "HB-" in "Swiss HB-JLT", never "B-J" inside it.
std::optional<std::string> gf_findRegistrationPrefixIn(std::string_view text);
// Rebuilds what gf_findRegistrationPrefixIn searches; gf_readDbase calls it, and so must
// whoever changes g_registrations afterwards.
void gf_indexShortRegistrations();

// Whether the path's UTF-8 text contains the needle, ASCII letters compared without case;
// true for an empty needle.
bool lf_containsNoCase(const std::filesystem::path& haystack, std::string_view needle);
// The name of the first publisher group with an entry found in the path (exactly or without
// case); empty entries are ignored.
std::optional<std::string> gf_publisherOfPath(const std::filesystem::path& path);

// What gf_parseCodeNumber compares and where it stores the number.
struct CodeNumberContext {
    const std::string* label = nullptr;  // for the log line, e.g. the publisher "Aerosoft"
    const char* code = nullptr;          // 4 characters, e.g. "EDDF"; unset: 4 blanks
    int* number = nullptr;               // receives the number after the code
};
// Whether the text begins with the code; the decimal number after it goes to the context, and
// a bad number is logged "{label} {code} {text} invalid number" (still true).
bool gf_parseCodeNumber(const CodeNumberContext& context, const std::string& text);

// ---- Registration-code files (the livery database's thread) -------------------------------

// Reads every *.TXT file directly in the folder (lines "title;reg1,reg2;#"), appending records.
// False when a registration had a wrong length or the folder could not be read (logged);
// never throws.
bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeRecord>& records);
// Reads input/AIG-regcodes.xml (root/aig/l with "t", "r", "s"), appending records; leaves the
// file for the caller. False when it does not load (then removed), has no meta block or no
// aig element, or a title repeats its predecessor. Throws std::filesystem::filesystem_error
// when an unloadable file cannot be removed.
bool gf_readAigRegcodesXml(std::vector<RegcodeRecord>& records);
// Deciphers input/AIG-regcodes.enc into input/AIG-regcodes.xml, reads it with
// gf_readAigRegcodesXml and removes the XML file on every way out. False when deciphering
// fails (logged by gf_streamDecrypt) or the reader reports an error.
bool gf_readAigRegcodes(std::vector<RegcodeRecord>& records);

}  // namespace qel
