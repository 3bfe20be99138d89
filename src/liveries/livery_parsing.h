// The aircraft.cfg parsers of the livery scan: the line matchers, the file tasks of ordinary and
// IVAO packages, and the report collections they fill. Inside the liveries subsystem only (the
// scan and its tests); other subsystems see the scan through livery_scan.h.
//
// Threads: the file tasks run on the scan's workers, several at a time. They share only the
// report collections and the title set below, each behind its own mutex (taken alone, never
// nested, ranked just above the log mutex), and the code tables, which lock themselves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "liveries/scanned_liveries.h"

namespace qel {

// ---- Line matchers ----------------------------------------------------------------------------
// Each matches one whole line "<blanks>key<blanks>=<blanks>value<blanks>" with the key in any
// letter case; blanks are the six characters " \t\n\v\f\r". The value runs from its first to
// its last non-blank character and holds no line break (a CR inside it means no match). Quote
// rule: when the value holds a '"', only the text between the first and the next '"' counts,
// empty when there is no second quote. Hand-written, not std::regex: a regex engine that
// recurses per character overflows the stack on one long line of a damaged file.

// The text after '=' with the quote rule applied; none when the line is no such line.
std::optional<std::string> lf_matchLineValue(std::string_view line, std::string_view key);
// "[fltsim.N]" alone on its line (any case) gives "N"; a line holding "[fltsim." or "[FLTSIM."
// anywhere gives "10000"; a "//" comment or any other line gives "".
std::string lf_matchFltsimHeader(std::string_view line);
bool lf_matchTitle(std::string_view line, std::string& title);      // non-empty value
bool lf_matchTexture(std::string_view line, std::string& texture);  // non-empty value
// True for every icao_airline line: "" and "ZZZZ" give "ZZZ", anything else upper-cased.
bool lf_matchIcaoAirline(std::string_view line, std::string& code);
bool lf_matchAtcParkingTypes(std::string_view line, std::string& types);  // non-empty value
bool lf_matchAtcId(std::string_view line, std::string& value);  // value of 5 or more bytes
// The first 4 bytes of the value upper-cased; "" for another line.
std::string lf_matchIcaoTypeDesignator(std::string_view line);
// The model of a simulator base aircraft named by the value after its first 3 bytes ("..\"),
// upper-cased; "" for an unknown name or another line.
std::string lf_matchBaseContainer(std::string_view line);
bool lf_isAtcIdLine(std::string_view line);            // holds "atc_id=" (exact case)
bool lf_isAtcParkingTypesLine(std::string_view line);  // holds "atc_parking_types"

// ---- Report collections -------------------------------------------------------------------
// Filled by the file tasks, written and emptied by the scan after every task has ended.

// One list of report lines behind its own mutex.
template <typename Container>
struct ReportLines {
    mutable std::mutex mutex;  // guards lines; taken alone
    Container lines;

    void add(std::string line)
    {
        const std::lock_guard lock(mutex);
        lines.push_back(std::move(line));
    }
    Container copy() const
    {
        const std::lock_guard lock(mutex);
        return lines;
    }
    void clear()
    {
        const std::lock_guard lock(mutex);
        lines.clear();
    }
};

extern ReportLines<std::list<std::string>> g_invalidAirlineLines;     // "{:12} in {} <header>"
extern ReportLines<std::list<std::string>> g_invalidModelLines;       // "{:16} in {}"
extern ReportLines<std::vector<std::string>> g_fixesLines;            // "Model fix: ..."
extern ReportLines<std::list<std::string>> g_invalidCfgLines;         // damaged files
extern ReportLines<std::list<std::string>> g_incompleteSectionLines;  // sections left out
extern ReportLines<std::list<std::string>> g_emptyCfgLines;           // files without sections

// Every title that received a livery in the running scan: the first task to reach a title
// gets it.
extern std::set<std::string> g_scannedTitles;  // guarded by g_scannedTitlesMutex
extern std::mutex g_scannedTitlesMutex;        // taken alone
// Titles the scan leaves out (the regcode files' don't-use titles), as a set for the tasks;
// filled before the walk, read-only while it runs.
extern std::unordered_set<std::string> g_excludedTitleSet;

void lf_addInvalidCode(std::string_view code, const std::filesystem::path& path,
                       std::string_view header);
void lf_addInvalidModelCode(std::string_view code, const std::filesystem::path& path);
void lf_addModelFix(std::string_view code, const std::filesystem::path& path,
                    std::string_view corrected);
void lf_addInvalidCfgLine(std::string text);
void lf_addIncompleteSectionLine(std::string text);

// ---- Shared steps of the two parsers -------------------------------------------------------

// The file's lines in its detected encoding, NUL bytes dropped; none when the encoding or the
// reading fails (logged).
std::optional<std::vector<std::string>> lf_readCfgLines(const std::filesystem::path& path);
// Hands each [fltsim.N] section (header first, trailing blank and "//" lines dropped) to
// `onSection`, which may change it; a line for which `endsSection` holds ends the running one.
void lf_forEachFltsimSection(const std::vector<std::string>& lines,
                             const std::function<bool(const std::string&)>& endsSection,
                             const std::function<void(std::vector<std::string>&)>& onSection);
// A model code read from a file: known, fixed (reported), or invalid (reported, "").
std::string lf_checkedModel(const std::string& code, const std::filesystem::path& path);
// An atc_parking_types value as the matching compares it: comma list normalised, upper case.
std::string lf_parkingTypesOf(std::string value);
// The registration of an atc_id value: one, or "" for a list of several; none when an item is
// empty, longer than 12 bytes or holds '*'.
std::optional<std::string> lf_registrationOf(std::string_view value);

// ---- File tasks ---------------------------------------------------------------------------

// One aircraft.cfg of an ordinary package: its liveries in section order. The file's faults go
// to the collections or Log.txt; an exception is logged and passed on.
LiveryList lf_searchLiveriesinFile(uint32_t folderNumber, const std::filesystem::path& path);
// The same for a file of an IVAO package (model from the folder name, airline from the title).
LiveryList lf_searchLiveriesinIVAOFile(uint32_t folderNumber, const std::filesystem::path& path);
// The parser the folder walk gives a file: IVAO for a path holding "IVAO_MTL" or "ivao_x-csl".
LiveryList lf_parseAircraftCfg(uint32_t folderNumber, const std::filesystem::path& path);

// False when the file must be skipped (a section number beyond 32 bits or above 10000); a file
// without any section header goes to g_emptyCfgLines and gives true.
bool lf_checkFltsimNumbers(const std::vector<std::string>& lines,
                           const std::filesystem::path& path);
// The file's model code from icao_type_designator, else base_container; "" when none (reported).
std::string lf_modelOfAircraftCfg(const std::filesystem::path& path,
                                  const std::vector<std::string>& lines);
LiveryList lf_splitFltSimSections(uint32_t folderNumber, const std::vector<std::string>& lines,
                                  const std::string& model, const std::filesystem::path& path,
                                  const std::filesystem::path& folder);
// The model code of an IVAO aircraft from its folder name IVAO_<code>; "" when none (reported).
std::string lf_ivaoModelFromPath(const std::filesystem::path& path);
// Takes the title for the running scan: the livery, or no livery when the title is taken.
Livery lf_makeLivery(uint16_t folderNumber, MatchKey key, const std::string& title,
                     const std::string& registration);
bool lf_liveryLacksCodes(const Livery& livery);

}  // namespace qel
