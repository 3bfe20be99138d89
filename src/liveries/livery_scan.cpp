// The livery scan: the folders to search (the AI packages in the Community folder, or the
// lfolder settings), the walk of each, prioritizing by folder, LiveriesScanned.xml and the
// reports. Runs on the start-up thread; the parsing runs on the walk's workers (folder_walk.cpp).
#include <algorithm>
#include <array>
#include <unordered_map>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/run_state.h"
#include "foundation/settings.h"
#include "foundation/shell.h"
#include "foundation/strings.h"
#include "liveries/livery_db.h"
#include "liveries/livery_parsing.h"
#include "liveries/livery_scan.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

using FolderList = std::vector<fs::path>;

enum class WalkResult { Found, NoneFound, Interrupted };

template <typename Hook, typename... Args>
void lf_call(const Hook& hook, Args&&... args)
{
    if (hook) hook(std::forward<Args>(args)...);
}

// A package finder: the folder-name texts it looks for and its log line's name.
struct PackageFinder {
    std::string_view name;  // as AI_PACKAGE_SELECTOR names it
    std::vector<std::string_view> texts;
    std::string_view logName;
};

const std::array<PackageFinder, 5> kFinders = {{
    {"AIG", {"aig-aitraffic-oci"}, "AIG"},
    {"FSLTL", {"fsltl-traffic-base"}, "FSLTL"},
    {"JF", {"justflight-aircraft-traffic-fleet", "justflight-fstraffic-module"}, "JF"},
    {"MTL", {"IVAO_MTL"}, "IVAO_MTL"},
    {"user", {"user-aitraffic"}, "user-aitraffic"},
}};

// The first Community entry whose name holds one of the finder's texts (converted packages
// never); appended and logged.
void lf_findPackage(const PackageFinder& finder, const std::vector<fs::path>& entries,
                    FolderList& folders)
{
    for (const auto& entry : entries) {
        const std::string name = entry.filename().string();
        if (name.find("_CVT_") != std::string::npos) continue;
        const bool found = std::any_of(finder.texts.begin(), finder.texts.end(), [&](auto text) {
            return name.find(text) != std::string::npos;
        });
        if (!found) continue;
        gf_logFlush(fmt::format("Automatic {} scan found folder: '{}'", finder.logName,
                                gf_pathToUtf8(entry)));
        folders.push_back(entry);
        return;
    }
}

// The Community folder's entries in name order; throws when it cannot be listed.
std::vector<fs::path> lf_communityEntries(const fs::path& community)
{
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(community)) entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    return entries;
}

void lf_scanAiPackages(const fs::path& community, FolderList& folders)
{
    const auto index = gf_findChoiceIndex(AI_PACKAGE_SELECTOR);
    if (!index) throw std::runtime_error(fmt::format("{} not set", AI_PACKAGE_SELECTOR.name));
    const auto entries = lf_communityEntries(community);
    for (const auto& name : gf_split(AI_PACKAGE_SELECTOR.choices.at(*index))) {
        for (const auto& finder : kFinders) {
            if (finder.name == name) lf_findPackage(finder, entries, folders);
        }
    }
    lf_findPackage(kFinders.back(), entries, folders);
}

void lf_checkLiveryFolders(FolderList& folders)
{
    const StringParameter* settings[] = {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                                         &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};
    for (const auto* setting : settings) {
        const std::string value = setting->value();
        if (value.empty()) continue;
        const fs::path path(value);
        std::error_code ec;
        if (!fs::exists(path, ec)) {
            gf_logHighlighted(fmt::format("{}: '{}' does not exist", setting->name, value));
            throw UserErrorException(
                243, fmt::format("the path pointed to by parameter '{}' does not exist, see "
                                 "Log.txt!",
                                 setting->name));
        }
        folders.push_back(path);
    }
}

void lf_loadDontUseTitles()
{
    g_excludedTitles.clear();
    try {
        if (fs::exists(g_aigRegcodesEnc)) lf_readDontUseTitlesAig();
        if (gf_countFiles(g_myRegcodesDir) > 0) lf_readDontUseTitlesFolder();
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("exception: {}", e.what()));
    }
    g_excludedTitleSet = {g_excludedTitles.begin(), g_excludedTitles.end()};
}

// Keeps, per airline, operator and model, only the liveries of the lowest folder number.
void lf_prioritize(LiveryList& liveries)
{
    auto triple = [](const Livery& l) { return l.key.value() & 0xFFFF'FFFF'FFFFULL; };
    std::unordered_map<uint64_t, uint16_t> lowest;
    for (const auto& livery : liveries) {
        auto [it, added] = lowest.try_emplace(triple(livery), livery.folderNumber);
        if (!added) it->second = std::min(it->second, livery.folderNumber);
    }
    liveries.remove_if([&](const Livery& l) { return l.folderNumber > lowest.at(triple(l)); });
}

// Walks each folder of the list; Interrupted as soon as a stop or close is seen.
WalkResult lf_walkFolders(const FolderList& folders, const LiveryScanSetup& setup)
{
    uint32_t folderNumber = 0;
    std::size_t total = 0;
    for (const auto& folder : folders) {
        if (folder.empty()) continue;
        const std::string text = gf_pathToUtf8(folder);
        const auto status = fs::status(folder);  // throws for anything but "not found"
        if (!fs::exists(status)) {
            gf_log(text + " does not exist, skipped!");
            continue;
        }
        if (!fs::is_directory(status)) {
            gf_log(text + " is not a folder name, skipped!");
            continue;
        }
        folderNumber = std::min<uint32_t>(folderNumber + 1, 10);
        if (gf_stopFlag()) return WalkResult::Interrupted;
        const std::size_t before = g_liveries.size();
        lf_scanFolderTree(folderNumber, folder, setup);
        const std::size_t found = g_liveries.size() - before;
        const std::string where = fmt::format("found in {}", text);
        if (found < 1) {
            gf_log(fmt::format("No liveries {}", where));
        } else {
            gf_log(fmt::format("{} liverie{} {}", found, gf_plural(static_cast<uint64_t>(found)),
                               where));
        }
        total += found;
    }
    if (gf_stopFlag()) return WalkResult::Interrupted;
    if (g_liveries.empty()) {
        lf_call(setup.hooks.setLiveryCount, uint64_t{0});
        return WalkResult::NoneFound;
    }
    if (folders.size() > 1) gf_log(fmt::format("{} in total", total));
    return WalkResult::Found;
}

WalkResult lf_scanLiveryFolders(const FolderList& folders, const LiveryScanSetup& setup)
{
    g_liveries.clear();
    // A scan interrupted or without liveries leaves its collections; the titles it took would
    // otherwise count as taken in the next scan of this process.
    gf_clearLiveries();
    lf_removePreviousScanFiles();
    lf_loadDontUseTitles();
    const WalkResult result = lf_walkFolders(folders, setup);
    if (result != WalkResult::Found) {
        g_liveries.clear();
        return result;
    }
    if (LIG_PRIORITIZE.current) lf_prioritize(g_liveries);
    gf_sortLiveries(g_liveries);
    if (!gf_writeLiveriesScanned(setup.simNumber)) {
        // Not a scan done: it stays due, and the start goes no further than a database built
        // from a list that is not there.
        g_liveries.clear();
        gf_clearLiveries();
        throw std::runtime_error(
            fmt::format("{} could not be written", gf_pathToUtf8(g_liveriesScannedXml)));
    }
    g_liveries.clear();
    lf_writeScanReports();
    gf_clearLiveries();
    lf_call(setup.hooks.clearMessage);
    return WalkResult::Found;
}

FolderList lf_scanFolders(const LiveryScanSetup& setup)
{
    FolderList folders;
    folders.reserve(10);
    if (LIG_AUTOMATIC.current) {
        if (!setup.communityFolder.empty()) lf_scanAiPackages(setup.communityFolder, folders);
        if (folders.empty()) {
            lf_call(setup.hooks.enablePackageSelector, true);
            throw UserErrorException(43,
                                     "Automatic scan has not found any AI packages, choose a "
                                     "different selection (or go to Manual mode, see Manual "
                                     "5.2)");
        }
        return folders;
    }
    lf_checkLiveryFolders(folders);
    if (folders.empty()) {
        gf_openManual();
        gf_openParametersFolder();
        throw UserErrorException(48, fmt::format("Exit {} first!   Then set one or more lfolder "
                                                 "parameters to your liveries, see Manual 5.2",
                                                 g_shortName));
    }
    return folders;
}

}  // namespace

LiveryScanResult gf_scanLiveries(const LiveryScanSetup& setup)
{
    const auto& hooks = setup.hooks;
    lf_call(hooks.enablePackageSelector, false);
    lf_call(hooks.showMessage, fmt::format("Scanning {}for liveries ...",
                                           LIG_PRIORITIZE.current ? "prioritized " : ""));
    gf_log(
        fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts "
                    "++++++++++++++++++++++++++++++++",
                    LIG_AUTOMATIC.current ? "automatic" : "manual"));
    const FolderList folders = lf_scanFolders(setup);
    switch (lf_scanLiveryFolders(folders, setup)) {
    case WalkResult::Interrupted:
        // Nothing was written: the scan stays due and the database is not built from an old
        // or missing list.
        gf_clearLiveries();
        lf_call(hooks.enablePackageSelector, true);
        gf_logFlush("liveries scan interrupted");
        return LiveryScanResult::Interrupted;
    case WalkResult::NoneFound:
        if (!LIG_AUTOMATIC.current) throw UserErrorException(53, "no liveries found");
        lf_call(hooks.enablePackageSelector, true);
        throw UserErrorException(143,
                                 "Automatic scan has not found any liveries, choose a "
                                 "different selection, or switch off automatic and set "
                                 "lfolder parameter(-s)");
    case WalkResult::Found: break;
    }
    SCAN_LIVERIES.current = false;
    gf_saveBoolParameter(SCAN_LIVERIES);
    lf_call(hooks.scanSettingCleared);
    lf_call(hooks.enablePackageSelector, true);
    gf_logFlush(
        "\n++++++++++++++++++++++++ liveries scan ends "
        "++++++++++++++++++++++++++++++++\n");
    return LiveryScanResult::Done;
}

}  // namespace qel
