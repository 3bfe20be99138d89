// The add-on airport scan: the folders of the chosen simulator, the walk of each with its skip
// rules, the tasks (batches of files) on an ordered pool, and the report AirportsScanLog.txt.
//
// Threads: the scanning thread (the caller, the start-up thread) walks and writes; the pool's
// "scan worker" threads test each file of a batch for an airport section and run
// lf_processBGLfile on those that have one, which writes stand files under temporary names of
// their own for the scanning thread to rename into place. The walk takes no lock of its own;
// report lines go through g_scanMessagesMutex (a leaf lock). It waits only for the oldest
// task's result, and ends early on a stop or close request, still collecting the tasks it
// started. Links are followed (add-on managers link packages into Community), each folder
// entered once.
#include "scenery/scan.h"

#include <algorithm>
#include <iterator>
#include <system_error>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "foundation/window_status.h"
#include "platform/text.h"
#include "scenery/install.h"
#include "scenery/offline_learning.h"
#include "scenery/scan_pool.h"
#include "scenery/stand_places.h"

namespace qel {

std::vector<std::string> g_scanMessages;    // guarded by g_scanMessagesMutex
std::mutex g_scanMessagesMutex;             // guards g_scanMessages only; a leaf lock
SceneryWindowCounts g_sceneryWindowCounts;  // atomic

namespace {

namespace fs = std::filesystem;

constexpr std::size_t lf_reportReserve = 2048;
constexpr std::size_t lf_maxPathUtf16 = 250;  // Windows paths of this length cannot be opened
constexpr std::string_view lf_skipWords[] = {
    "tutorials",  "aircraft",  "bushtrip",        "discovery",           "point-of-interest",
    "simobjects", "vcockpits", "aig-aitraffic",   "justflight-aircraft", "fsltl",
    "gsx-pro",    "gsx-world", "landingchallenge"};
constexpr std::string_view lf_skipFileWords[] = {"statics", "afcad updates", "_heliports"};
constexpr std::size_t lf_batchFiles = 32;  // files per worker task

// A batch of files that may hold an airport, on a worker: the section test, then the task
// body for each file that has one. Its steps in the files' order.
std::vector<ScanStep> lf_processBatch(const std::vector<fs::path>& files, bool msfs2020,
                                      const std::string& folderText)
{
    std::vector<ScanStep> steps;
    for (const auto& path : files) {
        // As the walk does, a stop starts no further file.
        if (gf_stopFlag()) break;
        try {
            if (!lf_hasAirportSection(path)) continue;
        } catch (const std::exception& e) {
            steps.emplace_back(
                ScanLine{ScanLine::To::Report,
                         fmt::format("{} airports search in folder {} aborted, cause: {}", "===> ",
                                     folderText, e.what())});
            continue;
        }
        std::vector<ScanStep> fileSteps = lf_processBGLfile(path, msfs2020);
        steps.insert(steps.end(), std::make_move_iterator(fileSteps.begin()),
                     std::make_move_iterator(fileSteps.end()));
    }
    return steps;
}

// The results of one folder's tasks, taken oldest first and written in that order.
class FolderScan {
public:
    FolderScan(const fs::path& folder, const AirportScanSetup& setup, WrittenStandFiles& written)
        : folder_(folder),
          folderText_(gf_pathToUtf8(folder)),
          prefix_(folderText_.empty() || folderText_.back() == '/' ? folderText_
                                                                   : folderText_ + '/'),
          setup_(setup),
          written_(written),
          pool_(static_cast<std::size_t>(setup.workers > 0 ? setup.workers : 1))
    {
    }

    // Most scenery files hold no airport; opening each to look is itself most of a scan's
    // reading, so the workers do it too, a batch of files per task.
    void add(const fs::path& path)
    {
        batch_.push_back(path);
        if (batch_.size() >= lf_batchFiles) submitBatch();
    }

    // A stop ends the walk: files it found but did not hand on yet are not started.
    void drain()
    {
        if (gf_stopFlag()) batch_.clear();
        submitBatch();
        while (pool_.pending() > 0) takeOldest();
    }

    const std::string& folderText() const { return folderText_; }

    // False for a folder the walk has entered before, by whatever path.
    bool enter(const fs::path& folder) { return entered_.enter(folder); }

    // The text of `path` below the scanned folder; the walk's paths begin with the folder's.
    std::string relativeText(const fs::path& path, const std::string& pathText) const
    {
        if (pathText.size() > prefix_.size() && pathText.compare(0, prefix_.size(), prefix_) == 0) {
            return pathText.substr(prefix_.size());
        }
        return gf_pathToUtf8(path.lexically_relative(folder_));
    }

private:
    void submitBatch()
    {
        if (batch_.empty()) return;
        const bool msfs2020 = setup_.msfs2020;
        pool_.submit([files = std::move(batch_), msfs2020, folderText = folderText_] {
            return lf_processBatch(files, msfs2020, folderText);
        });
        batch_.clear();
        // Tasks differ a lot (most files hold no airport, some a large one): a deep queue keeps
        // the workers busy while the scanning thread waits for the oldest.
        while (pool_.pending() > 8 * static_cast<std::size_t>(setup_.workers)) takeOldest();
    }

    void takeOldest()
    {
        try {
            lf_applyScanSteps(pool_.takeOldest(), written_);
        } catch (const std::exception& e) {
            gf_addScanMessage(fmt::format("{} airports search in {} aborted, futs outer error: {}",
                                          "===> ", folderText_, e.what()));
        }
    }

    fs::path folder_;
    std::string folderText_;
    std::string prefix_;  // folderText_ ending in one '/'
    AirportScanSetup setup_;
    WrittenStandFiles& written_;
    OrderedPool<std::vector<ScanStep>> pool_;
    std::vector<fs::path> batch_;  // not yet submitted, in walk order
    EnteredFolders entered_;
};

bool lf_isBglName(const fs::path& path)
{
    return gf_equalsNoCase(path.extension().string(), ".bgl");
}

// One entry of the walk; false when the walk must not descend into it. Most files of a
// package are textures and models: they are passed over before any skip test.
bool lf_scanEntry(const fs::directory_entry& entry, FolderScan& scan)
{
    const fs::path& path = entry.path();
    std::error_code ec;
    const bool file = entry.is_regular_file(ec);
    if (file && !lf_isBglName(path)) return true;
    const std::string pathText = gf_pathToUtf8(path);
    const std::string relativeText = scan.relativeText(path, pathText);
    if (lf_isSkippedPackagePath(pathText, relativeText)) return false;
    // Anything but a folder that can be entered once (a dangling or looping link) is not
    // descended into, so that the walk never stops at it with an error.
    if (!file) return entry.is_directory(ec) && !ec && scan.enter(path);
    for (const auto word : lf_skipFileWords) {
        if (relativeText.find(word) != std::string::npos) return true;
    }
    scan.add(path);
    return true;
}

void lf_scanFolder(const fs::path& folder, const AirportScanSetup& setup,
                   WrittenStandFiles& written)
{
    FolderScan scan(folder, setup, written);
    gf_addScanMessage(fmt::format("Scanning for {} airports in {}", "addon ", scan.folderText()));
    if (!scan.enter(folder)) return;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder,
                                        fs::directory_options::skip_permission_denied |
                                            fs::directory_options::follow_directory_symlink,
                                        ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        if (gf_stopFlag()) break;
        try {
            if (!lf_scanEntry(*it, scan)) it.disable_recursion_pending();
        } catch (const std::exception& e) {
            gf_addScanMessage(fmt::format("{} airports search in folder {} aborted, cause: {}",
                                          "===> ", scan.folderText(), e.what()));
        }
    }
    if (ec) {
        gf_addScanMessage(fmt::format("{} airports search in folder {} aborted, cause: {}", "===> ",
                                      scan.folderText(), ec.message()));
    }
    scan.drain();
}

fs::file_status lf_status(const fs::path& path)
{
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
        throw fs::filesystem_error("status", path, ec);
    }
    return status;
}

void lf_scanFolderList(const std::vector<fs::path>& folders, const AirportScanSetup& setup,
                       WrittenStandFiles& written)
{
    for (const auto& folder : folders) {
        if (folder.empty()) continue;
        const auto status = lf_status(folder);
        if (!fs::exists(status)) {
            gf_setMessage(gf_pathToUtf8(folder) + " does not exist, skipped!", true);
        } else if (!fs::is_directory(status)) {
            gf_setMessage(gf_pathToUtf8(folder) + " is not a folder name, skipped!", true);
        } else {
            lf_scanFolder(folder, setup, written);
        }
    }
}

// Nothing when a stop or close request ended the scan: what it wrote is discarded, the report
// and the offline-learning package of the last complete scan stay. Otherwise whether
// airports/my_thirdparty holds a generated file, and `tbloFiles` the files sent to tblo.
std::optional<bool> lf_scanAndWriteReport(const std::vector<fs::path>& folders,
                                          const AirportScanSetup& setup, uint64_t& tbloFiles)
{
    gf_logFlush(fmt::format("The scan will search {} folder{}", folders.size(),
                            gf_plural(static_cast<uint64_t>(folders.size()))));
    {
        std::scoped_lock lock(g_scanMessagesMutex);
        g_scanMessages.reserve(lf_reportReserve);
    }
    lf_prepareScanFolders();
    WrittenStandFiles written;
    lf_scanFolderList(folders, setup, written);
    std::vector<std::string> report;
    {
        std::scoped_lock lock(g_scanMessagesMutex);
        report.swap(g_scanMessages);
    }
    if (gf_stopFlag()) {
        lf_discardScanFolders();
        gf_clearMessage();
        return std::nullopt;
    }
    lf_commitScanFolders(setup.msfs2020);
    std::error_code ec;
    fs::remove(g_airportsScanLogTxt, ec);
    if (ec) {
        gf_log("problems with removing previous files (maybe still open?): " + ec.message());
    }
    fs::create_directories(g_airportsScanLogTxt.parent_path(), ec);
    gf_writeLines(report, g_airportsScanLogTxt);
    gf_log(gf_pathToUtf8(g_airportsScanLogTxt) + " written");
    gf_clearMessage();
    tbloFiles = lf_prepareOfflineLearning(gf_listMyThirdpartyAirports(), written);
    return gf_countFiles(g_myThirdpartyDir) > 0;
}

// Nothing when the scan was interrupted; then SCAN_AIRPORTS stays set, so the next start
// scans again.
std::optional<bool> lf_runAirportScan(const std::vector<fs::path>& folders,
                                      const AirportScanSetup& setup, uint64_t& tbloFiles)
{
    const std::optional<bool> found = lf_scanAndWriteReport(folders, setup, tbloFiles);
    if (!found) return std::nullopt;
    if (!*found) gf_setMessage("Warning: Scan has not found any add-on airports", true);
    SCAN_AIRPORTS.current = false;
    gf_saveBoolParameter(SCAN_AIRPORTS);
    gf_showBoolParameter(SCAN_AIRPORTS);
    gf_invalidateArea(WindowArea::ControlBand);
    return found;
}

}  // namespace

void gf_addScanMessage(std::string text)
{
    std::scoped_lock lock(g_scanMessagesMutex);
    g_scanMessages.push_back(std::move(text));
}

bool lf_isSkippedPackagePath(const std::string& pathText, const std::string& relativeText)
{
    // In UTF-16 units, as Windows counts; ASCII text has one per byte.
    const bool ascii = std::all_of(pathText.begin(), pathText.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const std::size_t units = ascii ? pathText.size() : utf8_to_wide(pathText).size();
    if (units >= lf_maxPathUtf16) return true;
    // Only the part below the scanned folder counts: a packages folder that lies below a
    // folder named "Aircraft" must still be scanned.
    const std::string lowered = gf_loweredAscii(relativeText);
    if (lowered.find(g_fsBaseName) != std::string::npos) return true;
    for (const auto word : lf_skipWords) {
        if (lowered.find(word) != std::string::npos) return true;
    }
    return false;
}

AirportScanResult gf_scanAirports(const AirportScanSetup& setup)
{
    gf_setMessage("Scanning for addon airports ...", false);
    gf_logFlush(
        fmt::format("\n++++++++++++++++++++++++ airports scan {} starts "
                    "+++++++++++++++++++++++++++++",
                    "automatic "));
    fs::create_directories(g_tbloDir);
    std::vector<fs::path> folders;
    folders.reserve(10);
    if (setup.msfs2020) folders.push_back(gf_packagesPath(g_officialName, true));
    folders.push_back(gf_packagesPath(g_communityName, setup.msfs2020));
    std::erase_if(folders, [](const fs::path& p) { return p.empty(); });
    AirportScanResult result;
    // Kept by a scan that is interrupted.
    result.tbloFiles = g_sceneryWindowCounts.tbloFileCount;
    const std::optional<bool> found = lf_runAirportScan(folders, setup, result.tbloFiles);
    if (!found) {
        result.interrupted = true;
        gf_logFlush("airports scan interrupted");
        return result;
    }
    result.foundAddons = *found;
    g_sceneryWindowCounts.tbloFileCount = result.tbloFiles;
    if (result.tbloFiles == 0) fs::remove_all(g_tbloDir);
    gf_invalidateArea(WindowArea::StatusStrip);
    gf_logFlush("-------------------------- airports scan ends    ----------------------------\n");
    return result;
}

}  // namespace qel
