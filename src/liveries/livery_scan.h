// The livery scan as the program starts it: which AI packages or folders it walks, the workers
// that parse their aircraft.cfg files, LiveriesScanned.xml and the scan reports.
//
// Threads: gf_scanLiveries runs on the start-up thread and returns after every worker it started
// has ended. The window is reached only through the hooks the caller fills in.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/scanned_liveries.h"

namespace qel {

// What the scan tells the window; any hook may be empty. Called on the start-up thread.
struct LiveryScanHooks {
    std::function<void(bool)> enablePackageSelector;    // AI_PACKAGE_SELECTOR's combo box
    std::function<void(std::string_view)> showMessage;  // message line, not logged
    std::function<void()> clearMessage;
    std::function<void()> scanSettingCleared;      // untick SCAN_LIVERIES, repaint
    std::function<void(uint64_t)> setLiveryCount;  // status strip's livery count
};

// Parses one aircraft.cfg: folder number 1..10, path. Tests put a slow or throwing one in.
using LiveryFileParser = std::function<LiveryList(uint32_t, const std::filesystem::path&)>;

// The time the wait for a file's result is measured by; tests move it by hand.
using ScanClock = std::function<std::chrono::steady_clock::time_point()>;

struct LiveryScanSetup {
    int32_t maxTasks = 2;                         // parser workers, at least 1: g_maxTasks
    std::chrono::milliseconds waitLimit{10'000};  // per awaited file
    ScanClock now;                                // empty: the steady clock
    int32_t simNumber = 1;                        // 1 MSFS 2020, 2 MSFS 2024 (meta block)
    std::filesystem::path communityFolder;        // automatic mode's packages; empty: none
    LiveryScanHooks hooks;
    LiveryFileParser parser;  // empty: lf_parseAircraftCfg
};

enum class LiveryScanResult {
    Done,         // LiveriesScanned.xml and the reports written, SCAN_LIVERIES cleared
    Interrupted,  // a stop or close came first: nothing written, SCAN_LIVERIES kept
};

// The whole scan (automatic: LIG_AUTOMATIC's AI packages in AI_PACKAGE_SELECTOR's order;
// manual: lfolder0..lfolder9). Throws qel::UserErrorException 43, 48, 53, 143, 243 as the user
// must act (no packages, no folders, no liveries, a missing folder), std::runtime_error "{} not
// set" for a selector value outside its choices or "{} could not be written" for a
// LiveriesScanned.xml that could not be saved (SCAN_LIVERIES stays set),
// std::filesystem::filesystem_error for a Community folder that cannot be listed or an output
// folder that cannot be made.
LiveryScanResult gf_scanLiveries(const LiveryScanSetup& setup);

// Walks one folder tree: every aircraft.cfg below it parsed on the workers, the liveries
// appended to g_liveries in the order the files were found. Returns after every worker ended.
void lf_scanFolderTree(uint32_t folderNumber, const std::filesystem::path& root,
                       const LiveryScanSetup& setup);

// The simulator's own base aircraft folders ("Asobo_A320_NEO") and their ICAO model codes
// ("A20N"): a base_container line names one. Built before the entry point, never changed.
extern const std::map<std::string_view, std::string_view> g_baseContainerModels;

// One line per string, "\n" alone; false when the file cannot be opened.
bool gf_writeStringList(const std::list<std::string>& lines, const std::filesystem::path& path);
// The steps around the walk: old files away before, reports after, collections emptied.
void lf_removePreviousScanFiles();
void lf_writeScanReports();
void lf_writeFixesFile();
// Empties every report collection, the taken titles and the excluded titles.
void gf_clearLiveries();

}  // namespace qel
