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

// Files that the offline-learning folder received in the last scan; 0: nothing to send.
extern std::atomic<uint64_t> g_tbloFileCount;

struct AirportScanSetup {
    bool msfs2020 = true;  // the chosen simulator: which folders and archive list
    int32_t workers = 2;   // g_maxTasks: tasks that may run at once
};

// What the window shows after a scan.
struct AirportScanResult {
    bool foundAddons = false;  // airports/my_thirdparty holds a generated file
    uint64_t tbloFiles = 0;    // g_tbloFileCount
};

// The whole scan, with its messages on the message line; clears, saves and shows SCAN_AIRPORTS
// and the window's tblo count when done. Throws
// std::filesystem::filesystem_error when tblo cannot be made or removed, or a listed folder's
// status cannot be read.
AirportScanResult gf_scanAirports(const AirportScanSetup& setup);

// ---- The steps of one file, for the scan and its tests ------------------------------------

// A link file: one line naming an archived stand file.
struct LinkFileStep {
    std::filesystem::path path;  // airports/my_thirdparty/EGLL.txt
    std::string location;        // "archive/thirdparty/My%20Pub/EGLL.xml"
};
// A scanned airport's stand file, written by the task under a name of its own; the scanning
// thread renames it into place.
struct StandFileStep {
    std::filesystem::path path;       // airports/my_thirdparty/EGLL.xml
    std::filesystem::path temporary;  // airports/my_thirdparty/EGLL.xml.17.tmp; empty: failed
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

// The walk's skip tests; `relative` is the path below the scanned folder.
bool lf_isSkippedPackagePath(const std::string& pathText, const std::string& relativeText);

}  // namespace qel
