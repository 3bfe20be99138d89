// The registration-code table: which installed livery shows which real aircraft, from the
// registrations the liveries carry and from the offline regcode files, which override them.
//
// Threads: the start-up thread builds the table inside the livery database's build; the
// don't-use readers run on the start-up thread before the livery scan reads aircraft.cfg files.
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "foundation/decrypt.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "liveries/flight_data.h"
#include "liveries/livery_db.h"

namespace qel {

RegcodeMap g_regcodes;                                            // start-up thread builds
std::unordered_map<TitleView, std::string> g_titleRegistrations;  // start-up thread builds
std::set<std::string, std::less<>> g_specialRegcodes;             // start-up thread builds
std::set<std::string, std::less<>> g_specialRegistrations;        // start-up thread builds
std::unordered_set<TitleView> g_dontUseTitles;                    // start-up thread builds
std::vector<std::string> g_excludedTitles;                        // start-up thread (scan)
std::vector<std::string> g_regcodeReport;                         // start-up thread

namespace {

constexpr std::size_t lf_dontUseReserve = 7000;
// A function, not a global: g_infoDir belongs to another file's static initialisation.
std::filesystem::path lf_offlineRegcodesTxt() { return g_infoDir / "OfflineRegcodes.txt"; }

std::string_view lf_s(std::size_t count) { return count == 1 ? "" : "s"; }

struct MergeCounts {
    std::size_t added = 0;
    std::size_t replaced = 0;
    std::size_t special = 0;
};

void lf_mergeCode(const std::string& code, TitleView title, MergeCounts& counts)
{
    const auto it = g_regcodes.find(code);
    if (it == g_regcodes.end()) {
        g_regcodes.emplace(code, title);
        ++counts.added;
        return;
    }
    if (it->second == title) return;
    g_regcodeReport.push_back(fmt::format("   regcode {} for '{}', instead of the same for '{}'",
                                          code, title, it->second));
    it->second = title;
    ++counts.replaced;
}

void lf_processAigRegcodeFile()
{
    const std::string path = gf_pathToUtf8(g_aigRegcodesXml);
    g_regcodeReport.push_back(fmt::format("Processing file {}", path));
    std::vector<RegcodeRecord> records;
    // The report points to Log.txt only for what Log.txt names: a file read whole that names
    // no livery has no error line there, and is said here instead.
    if (!gf_readAigRegcodesXml(records)) {
        g_regcodeReport.push_back(
            fmt::format("There were errors processing the AIG-regcode file "
                        "'{}', see the lines marked ==> in Log.txt",
                        path));
    } else if (records.empty()) {
        const std::string text =
            fmt::format("The AIG-regcode file '{}' names no livery: it ties no registration to one",
                        gf_pathToUtf8(g_aigRegcodesEnc));
        gf_logHighlighted(text);
        g_regcodeReport.push_back(text);
    }
    gf_mergeRegcodeRecords(records);
}

void lf_processRegcodeFolder()
{
    if (gf_countFiles(g_myRegcodesDir) == 0) return;
    const std::string path = gf_pathToUtf8(g_myRegcodesDir);
    g_regcodeReport.push_back(fmt::format("Processing files in {}", path));
    std::vector<RegcodeRecord> records;
    if (!gf_readRegcodeFiles(g_myRegcodesDir, records)) {
        const std::string text = fmt::format(
            "There were errors processing the regcode files in folder '{}', see Log.txt", path);
        g_regcodeReport.push_back(text);
        if (g_liveryHooks.showMessage) g_liveryHooks.showMessage(text);
    }
    gf_mergeRegcodeRecords(records);
}

void lf_writeOfflineReport()
{
    const std::filesystem::path path = lf_offlineRegcodesTxt();
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec) throw std::filesystem::filesystem_error("remove", path, ec);
    if (!g_regcodeReport.empty()) {
        gf_writeLines(g_regcodeReport, path);
        gf_log(fmt::format("Offline regcode files processed, results can be found in '{}'",
                           gf_pathToUtf8(path)));
    }
    if (!g_dontUseTitles.empty()) {
        gf_log(fmt::format("{:5} special liveries", g_dontUseTitles.size()));
    }
    if (!g_specialRegistrations.empty()) {
        gf_log(fmt::format("{:5} unique liveries", g_specialRegistrations.size()));
    }
}

// Every record without codes names a title the scan must leave out; counts this call's titles.
std::size_t lf_collectDontUseTitles(const std::vector<RegcodeRecord>& records)
{
    std::size_t added = 0;
    for (const auto& record : records) {
        if (!record.codes.empty()) continue;
        g_excludedTitles.push_back(record.title);
        ++added;
    }
    return added;
}

// One livery's registration into both maps; a clash keeps the first and adds a line.
void lf_addInlineRegcode(const Livery& livery, std::vector<std::string>& clashes)
{
    const TitleView title = gf_findLiveryByTitle(livery.title);
    if (title.empty()) {
        clashes.push_back(
            fmt::format("==> [{}] {} '{}' not available, system error, should not "
                        "happen?",
                        gf_flightLabel(livery.key), livery.registration, livery.title));
        return;
    }
    const auto [code, codeAdded] = g_regcodes.try_emplace(livery.registration, title);
    if (!codeAdded && code->second != title) {
        clashes.push_back(fmt::format("{} '{}' => already in use by '{}'", livery.registration,
                                      title, code->second));
    }
    const auto [reg, titleAdded] = g_titleRegistrations.try_emplace(title, livery.registration);
    if (!titleAdded && reg->second != livery.registration) {
        clashes.push_back(fmt::format("{} '{}' => already in use by '{}'", title,
                                      livery.registration, reg->second));
    }
}

}  // namespace

void lf_processInlineRegcodes(const LiveryList& liveries)
{
    std::vector<std::string> clashes;
    for (const auto& livery : liveries) {
        if (!livery.registration.empty()) lf_addInlineRegcode(livery, clashes);
    }
    if (clashes.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(g_errorsDir, ec);
    if (ec) throw std::filesystem::filesystem_error("create_directories", g_errorsDir, ec);
    gf_writeLines(clashes, g_inlineRegcodesTxt);
    gf_log(fmt::format("{:5} in-line regcode clashes, see '{}'", clashes.size(),
                       gf_pathToUtf8(g_inlineRegcodesTxt)));
}

void gf_mergeRegcodeRecords(const std::vector<RegcodeRecord>& records)
{
    MergeCounts counts;
    for (const auto& record : records) {
        const TitleView title = gf_findLiveryByTitle(record.title);
        if (title.empty()) continue;
        const bool single = record.codes.size() == 1;
        for (const auto& code : record.codes) {
            lf_mergeCode(code, title, counts);
            if (!record.special) continue;
            g_specialRegcodes.insert(code);
            if (single) g_specialRegistrations.insert(code);
        }
        if (record.special) {
            g_dontUseTitles.insert(title);
            ++counts.special;
        }
    }
    std::string line = fmt::format("{} new regcode{} added", counts.added, lf_s(counts.added));
    if (counts.replaced != 0) {
        line += fmt::format(", {} regcode{} replaced", counts.replaced, lf_s(counts.replaced));
    }
    if (counts.special != 0) {
        line +=
            fmt::format(", {} regcode{} defined as special", counts.special, lf_s(counts.special));
    }
    g_regcodeReport.push_back(std::move(line));
}

void lf_processOfflineRegcodes()
{
    try {
        g_regcodeReport.clear();
        if (!gf_streamDecrypt(g_aigRegcodesEnc, g_aigRegcodesXml)) return;
        lf_processAigRegcodeFile();
        gf_removeFile(g_aigRegcodesXml);
        lf_processRegcodeFolder();
        lf_writeOfflineReport();
    } catch (const std::exception& e) {
        // The deciphered file must not stay behind when the read failed half-way.
        gf_removeFile(g_aigRegcodesXml);
        gf_log(fmt::format("exception: {}", e.what()));
    }
}

void lf_readDontUseTitlesAig()
{
    std::vector<RegcodeRecord> records;
    records.reserve(lf_dontUseReserve);
    if (!gf_readAigRegcodes(records)) {
        g_regcodeReport.push_back(
            fmt::format("There were errors in processing the file '{}', see the Log.txt",
                        gf_pathToUtf8(g_aigRegcodesXml)));
    }
    const std::size_t added = lf_collectDontUseTitles(records);
    gf_log(fmt::format("{:5} don't use title{} read", added, lf_s(added)));
}

void lf_readDontUseTitlesFolder()
{
    std::vector<RegcodeRecord> records;
    records.reserve(lf_dontUseReserve);
    const std::string path = gf_pathToUtf8(g_myRegcodesDir);
    // A user without a my_regcodes folder has no titles to leave out, which is no error.
    std::error_code ec;
    const bool present = std::filesystem::exists(g_myRegcodesDir, ec);
    if (present && !gf_readRegcodeFiles(g_myRegcodesDir, records)) {
        g_regcodeReport.push_back(fmt::format(
            "There were errors in processing the regcode files in folder '{}', see the Log.txt",
            path));
    }
    const std::size_t added = lf_collectDontUseTitles(records);
    gf_log(fmt::format("{:5} don't use title{} read from files in {}", added, lf_s(added), path));
}

}  // namespace qel
