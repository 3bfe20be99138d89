// The add-on airport scan: walks the simulator's package folders, decodes every scenery BGL
// file with an airport section on a pool of workers, and writes link files, stand files, the
// report AirportsScanLog.txt and the offline-learning package tblo/tblo.zip.
//
// Threads: gf_scanAirports runs on the calling thread (the start-up thread), which alone adds
// report and log lines and puts every file in place, in the order the files were found; the
// workers of its pool read (BGL files, manifests, the airport database and g_addonArchives) and
// write stand files under temporary names no other task uses, which the scanning thread renames
// into place.
// g_scanMessages is guarded by g_scanMessagesMutex (a leaf lock).
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "scenery/bgl.h"
#include "scenery/publisher.h"
#include "scenery/stand_file.h"

namespace qel {

struct DeflatedBytes;

// The report lines of the running scan; written to AirportsScanLog.txt at its end.
extern std::vector<std::string> g_scanMessages;  // guarded by g_scanMessagesMutex
extern std::mutex g_scanMessagesMutex;
void gf_addScanMessage(std::string text);  // any thread

// What the window's status strip and statistics band show of the scenery: the addon airport
// files the core counted at start-up and the files in tblo after the last airport scan. The
// process's, not the run's: a restart keeps them until they are counted again (atomic).
struct SceneryWindowCounts {
    std::atomic<uint64_t> simaddonCount{0};  // simaddon airport files
    std::atomic<uint64_t> thirdpCount{0};    // third-party airport files
    std::atomic<uint64_t> tbloFileCount{0};  // files in tblo after the last airport scan
};
extern SceneryWindowCounts g_sceneryWindowCounts;

struct AirportScanSetup {
    bool msfs2020 = true;  // the chosen simulator: which folders and archive list
    int32_t workers = 2;   // g_maxTasks: tasks that may run at once
};

// What the window shows after a scan.
struct AirportScanResult {
    bool interrupted = false;  // a stop or close came first: nothing was replaced or cleared
    bool foundAddons = false;  // airports/my_thirdparty holds a generated file
    uint64_t tbloFiles = 0;    // files in tblo after the last complete scan; 0: nothing to send
};

// The whole scan, with its messages on the message line; clears, saves and shows SCAN_AIRPORTS
// and the window's tblo count when done. A scan that a stop or close request ends early is
// interrupted: the stand files, tblo and SCAN_AIRPORTS stay as they were. Throws
// std::filesystem::filesystem_error when tblo cannot be made or removed, or a listed folder's
// status cannot be read.
AirportScanResult gf_scanAirports(const AirportScanSetup& setup);

// ---- The steps of one file, for the scan and its tests ------------------------------------

// Where a scan writes what belongs in the generated folder `live` (airports/my_thirdparty): a
// folder of its own beside it ("my_thirdparty.new"), put in the place of `live` only when the
// scan is complete, so that a stopped scan leaves the stand files of the last complete one.
std::filesystem::path gf_scanStagingOf(const std::filesystem::path& live);

// A link file: one line naming an archived stand file.
struct LinkFileStep {
    std::filesystem::path path;  // airports/my_thirdparty/EGLL.txt
    std::string location;        // "archive/thirdparty/My%20Pub/EGLL.xml"
};
// A scanned airport's stand file, written by the task under a name of its own; the scanning
// thread renames it into place.
struct StandFileStep {
    std::filesystem::path path;       // airports/my_thirdparty/EGLL.xml, once the scan is done
    std::filesystem::path temporary;  // airports/my_thirdparty.new/EGLL.xml.17.tmp; empty: failed
    ApfMakers makers;                 // as the file's rows hold them
    // The file's bytes deflated for tblo.zip; null when the makers do not qualify for offline
    // learning (or deflating failed: the zip then deflates the file itself).
    std::shared_ptr<const DeflatedBytes> deflated;
};
using ScanStep = std::variant<ScanLine, LinkFileStep, StandFileStep>;

// The task body: reads and decodes one BGL file and decides what is written for it. It writes
// only the stand files' temporary files, whose names no other task uses. Never throws for the
// file's content.
std::vector<ScanStep> lf_processBGLfile(const std::filesystem::path& path, bool msfs2020);
// A stand file written in this scan, for the offline-learning step.
struct WrittenStandFile {
    ApfMakers makers;
    std::shared_ptr<const DeflatedBytes> deflated;  // as in StandFileStep
};
using WrittenStandFiles = std::map<std::filesystem::path, WrittenStandFile>;
// Carries the steps out on the scanning thread, in order (a stand file by renaming its
// temporary file, so the last one found of an airport wins); adds each stand file to `written`.
void lf_applyScanSteps(const std::vector<ScanStep>& steps, WrittenStandFiles& written);

// The scan's own folders beside the generated ones, made empty. First what a crash, a kill or a
// failed removal left: a complete scan not yet in place goes there, a scan's folder that is not
// complete and the folders earlier swaps moved aside go. Throws
// std::filesystem::filesystem_error.
void lf_prepareScanFolders();
// A start without a scan: what a crash in a complete scan's swap left is put right as a scan
// puts it right first, so that the add-on stands are used before the next scan. A failure is
// logged; those stands then stay aside until the next start or scan puts them in place.
// Start-up thread; never throws.
void gf_finishInterruptedScanSwap();
// A stopped scan's folders, removed; the generated folders stay as they are. Never throws.
void lf_discardScanFolders();
// A complete scan's folders, marked complete, in the place of the generated ones (for MSFS 2024
// my_simaddon only receives their files); what else the generated folders held goes, but for
// their sub-folders. What cannot be removed is logged and left for a later scan. Throws
// std::filesystem::filesystem_error when the scan's folders cannot be marked or put in place.
void lf_commitScanFolders(bool msfs2020);

// The walk's skip tests; `relative` is the path below the scanned folder.
bool lf_isSkippedPackagePath(const std::string& pathText, const std::string& relativeText);

}  // namespace qel
