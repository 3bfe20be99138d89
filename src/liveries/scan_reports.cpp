// The livery scan's report collections: filled by the file tasks, written to output/errors and
// output/info with their summary in Log.txt once every task has ended, then emptied.
#include <algorithm>
#include <fstream>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "liveries/livery_db.h"
#include "liveries/livery_parsing.h"
#include "liveries/livery_scan.h"

namespace qel {

ReportLines<std::list<std::string>> g_invalidAirlineLines;
ReportLines<std::list<std::string>> g_invalidModelLines;
ReportLines<std::vector<std::string>> g_fixesLines;
ReportLines<std::list<std::string>> g_invalidCfgLines;
ReportLines<std::list<std::string>> g_incompleteSectionLines;
ReportLines<std::list<std::string>> g_emptyCfgLines;
std::set<std::string> g_scannedTitles;  // guarded by g_scannedTitlesMutex
std::mutex g_scannedTitlesMutex;
std::unordered_set<std::string> g_excludedTitleSet;  // start-up thread; read-only in the walk

namespace {

namespace fs = std::filesystem;

std::string lf_narrow(const fs::path& path) { return path.string(); }

void lf_createErrorsFolder()
{
    std::error_code ec;
    if (fs::is_directory(g_errorsDir, ec)) return;
    fs::create_directory(g_errorsDir);  // throws filesystem_error "create_directory"
}

// Sorted, written to output/errors, and one log line "{:5} <what>, see <path>".
template <typename Lines>
void lf_writeErrorReport(Lines lines, const fs::path& path, const std::string& logLine)
{
    lf_createErrorsFolder();
    gf_writeStringList(std::list<std::string>(lines.begin(), lines.end()), path);
    gf_log(logLine);
}

std::string lf_countLine(std::size_t count, std::string_view what, const fs::path& path)
{
    return fmt::format("{:5} {}{}, see {}", count, what, gf_plural(static_cast<uint64_t>(count)),
                       gf_pathToUtf8(path));
}

}  // namespace

void lf_addInvalidCode(std::string_view code, const fs::path& path, std::string_view header)
{
    g_invalidAirlineLines.add(fmt::format("{:12} in {} ", code, lf_narrow(path)) +
                              std::string(header));
}

void lf_addInvalidModelCode(std::string_view code, const fs::path& path)
{
    g_invalidModelLines.add(fmt::format("{:16} in {}", code, lf_narrow(path)));
}

void lf_addModelFix(std::string_view code, const fs::path& path, std::string_view corrected)
{
    g_fixesLines.add(
        fmt::format("Model fix: {} found in {} changed into {}", code, lf_narrow(path), corrected));
}

void lf_addInvalidCfgLine(std::string text) { g_invalidCfgLines.add(std::move(text)); }
void lf_addIncompleteSectionLine(std::string text)
{
    g_incompleteSectionLines.add(std::move(text));
}

bool gf_writeStringList(const std::list<std::string>& lines, const fs::path& path)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    for (const auto& line : lines) file << line << '\n';
    file.flush();
    return static_cast<bool>(file);
}

void lf_removePreviousScanFiles()
{
    const fs::path files[] = {g_aircraftCfgWithNoFltsimSectionTxt,
                              g_liveriesScannedXml,
                              g_inlineRegcodesTxt,
                              g_invalidAirlineCodesTxt,
                              g_invalidAircraftCodesTxt,
                              g_fixesTxt,
                              g_invalidAircraftCfgFilesTxt,
                              g_incompleFltsimSectionsTxt,
                              g_errorsDir};
    try {
        for (const auto& file : files) fs::remove(file);
    } catch (const std::exception& e) {
        gf_log(fmt::format("problems with removing previous files: {}", e.what()));
    }
}

void lf_writeFixesFile()
{
    try {
        fs::create_directories(g_fixesTxt.parent_path());
        gf_writeLines(g_fixesLines.copy(), g_fixesTxt);
    } catch (const std::exception& e) {
        gf_log(fmt::format("Error writing file {}: {}", gf_pathToUtf8(g_fixesTxt), e.what()));
    }
}

void lf_writeScanReports()
{
    auto airlines = g_invalidAirlineLines.copy();
    auto models = g_invalidModelLines.copy();
    const auto fixes = g_fixesLines.copy();
    auto cfgs = g_invalidCfgLines.copy();
    auto sections = g_incompleteSectionLines.copy();
    const bool errors = !airlines.empty() || !models.empty() || !fixes.empty() || !cfgs.empty() ||
                        !sections.empty();
    gf_log(errors ? "\nErrors:" : "\nNo errors");
    if (!airlines.empty()) {
        airlines.sort();
        lf_writeErrorReport(
            airlines, g_invalidAirlineCodesTxt,
            lf_countLine(airlines.size(), "invalid airline code", g_invalidAirlineCodesTxt));
    }
    if (!models.empty()) {
        models.sort();
        lf_writeErrorReport(
            models, g_invalidAircraftCodesTxt,
            lf_countLine(models.size(), "invalid model code", g_invalidAircraftCodesTxt));
    }
    if (!fixes.empty()) {
        lf_writeFixesFile();
        gf_log(fmt::format("{:5} fixes, see {}", fixes.size(), gf_pathToUtf8(g_fixesTxt)));
    }
    if (!cfgs.empty()) {
        cfgs.sort();
        lf_writeErrorReport(cfgs, g_invalidAircraftCfgFilesTxt,
                            fmt::format("{:5} invalid aircraft.cfg files, see {}", cfgs.size(),
                                        gf_pathToUtf8(g_invalidAircraftCfgFilesTxt)));
    }
    if (!sections.empty()) {
        const std::size_t collected = sections.size();
        sections.sort();
        sections.unique();
        lf_writeErrorReport(sections, g_incompleFltsimSectionsTxt,
                            fmt::format("{:5} incomplete [fltsim.x] sections, see {}", collected,
                                        gf_pathToUtf8(g_incompleFltsimSectionsTxt)));
    }
    gf_log("\nInformation:");
    auto empty = g_emptyCfgLines.copy();
    if (!empty.empty()) {
        empty.sort();
        gf_writeStringList(empty, g_aircraftCfgWithNoFltsimSectionTxt);
        gf_log(fmt::format("{:5} empty aircraft.cfg files, see {}", empty.size(),
                           gf_pathToUtf8(g_aircraftCfgWithNoFltsimSectionTxt)));
    }
}

void gf_clearLiveries()
{
    g_invalidAirlineLines.clear();
    g_invalidModelLines.clear();
    // Emptied with the others: a second scan in the same process must not report the first
    // scan's fixes again.
    g_fixesLines.clear();
    g_invalidCfgLines.clear();
    g_incompleteSectionLines.clear();
    g_emptyCfgLines.clear();
    {
        const std::lock_guard lock(g_scannedTitlesMutex);
        g_scannedTitles.clear();
    }
    g_excludedTitleSet.clear();
    g_excludedTitles.clear();
}

}  // namespace qel
