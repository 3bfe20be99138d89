// The start-up thread: the program folder, settings, controls, folders, data files and scans,
// the revisit hold of the RealTraffic API, the park airports and the destination; then the
// worker threads, the main loop and close-down.
//
// Thread "start-up" (lf_startUpVNTQ): started by gf_onStartUpMessage on the GUI thread once per
// run, joined by the next gf_onStartUpMessage or at the end of gf_runApp. Runs the main loop
// and close-down too. Takes no lock of its own here (the settings savers take
// g_parametersMutex). Waits through the platform clock; stops at the stop checks between its
// long steps and whenever the main loop ends; close-down runs on every way out.
#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>
#include <thread>

#include <fmt/format.h>

#include "app/app.h"
#include "app/core.h"
#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/strings.h"
#include "foundation/window_status.h"
#include "liveries/liveries.h"
#include "liveries/livery_db.h"
#include "liveries/livery_scan.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "scenery/install.h"
#include "scenery/scan.h"
#include "scenery/scenery.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/ui.h"

namespace qel {

std::atomic<int32_t> g_maxTasks{2};
std::atomic<int32_t> g_runningScanTasks{0};

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int64_t kRevisitHold_s = 2;  // the RealTraffic API refuses a revisit within 2 s

// The program's working folders, created when missing, in this order.
const fs::path kWorkingFolders[] = {
    "output",
    fs::path("output") / "info",
    fs::path("output") / "errors",
    "airports",
    fs::path("airports") / "learned",
    fs::path("airports") / "learned" / "stock",
    fs::path("airports") / "learned" / "simaddon",
    fs::path("airports") / "learned" / "thirdparty",
    fs::path("airports") / "my_simaddon",
    fs::path("airports") / "my_thirdparty",
    fs::path("input") / "my_regcodes",
};

// The status of a path; "not found" is a status, any other error is thrown as `operation`.
fs::file_status lf_status(const fs::path& path, const char* operation)
{
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        throw fs::filesystem_error(operation, path, ec);
    }
    return status;
}

void lf_checkProgramFolder()
{
    if (!fs::is_directory(lf_status(g_docsDir, "status"))) {
        std::error_code ec;
        const fs::path here = fs::current_path(ec);
        throw UserErrorException(
            41, fmt::format("{} must be run from the {} folder! Start it in the folder that "
                            "holds its docs and input folders; {} has no docs folder",
                            g_shortName, g_shortName, gf_pathToUtf8(here)));
    }
}

void lf_cleanInstallPath()
{
    StringParameter& setting = g_isMsfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH;
    const std::string path = setting.value();
    const std::string cleaned = lf_withoutTrailingCommunity(path);
    if (cleaned != path) setting.set(cleaned);
}

void lf_initTimeShift()
{
    for (auto* setting : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        gf_fillIntCombo(*setting);
    }
    gf_enableControlOf(KEEP_SIM_TIME_PAR, true);
    if (SIM_TIME.current) {
        lf_applySimTime();
    } else if (TIME_SHIFT_DAYS.current != 0 || TIME_SHIFT_HOURS.current != 0 ||
               TIME_SHIFT_MINS.current != 0) {
        lf_timeShift((TIME_SHIFT_DAYS.current * 24 + TIME_SHIFT_HOURS.current) * 60 +
                         TIME_SHIFT_MINS.current,
                     true);
    }
    lf_enableTimeShiftControls(true);
}

void lf_readDataFiles()
{
    // Asked of the tables themselves: a run restarted after a failed read, or after the tables
    // were emptied, reads the database again instead of going on without one.
    if (!gf_aircraftDatabaseRead() && !gf_readDbase()) {
        throw std::runtime_error("reading data files failed!");
    }
    if (!gf_readAirports()) {
        throw std::runtime_error(fmt::format("reading '{}' failed!", g_airportsEnc.string()));
    }
}

void lf_findInstall()
{
    ALL_INSTALL_PATH.assign(gf_pathToUtf8(gf_installPath(g_isMsfs2020)));
    gf_enableControlOf(ALL_INSTALL_PATH, true);
    gf_showTextParameter(ALL_INSTALL_PATH);
    if (!ALL_INSTALL_PATH.value().empty()) return;
    if (gf_detectMsfs(g_isMsfs2020)) return;
    if (!gf_headlessWindow()) {
        throw UserErrorException(150,
                                 "No install path detected. Type the full path to your "
                                 "Community folder above, then press Enter");
    }
    // Without a window there is no box to type the path into: parameters.xml takes it.
    throw UserErrorException(
        150, fmt::format("No install path detected. Set {} in {} to the simulator's Packages "
                         "folder (the one that holds Community), then start {} again",
                         (g_isMsfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH).name,
                         g_parametersPathUtf8, g_shortName));
}

// The livery scan with the window's hooks; Interrupted when a stop or close came first.
LiveryScanResult lf_scanLiveries()
{
    LiveryScanSetup setup;
    setup.maxTasks = g_maxTasks;
    setup.simNumber = g_isMsfs2020 ? 1 : 2;
    setup.communityFolder = gf_packagesPath(g_communityName, g_isMsfs2020);
    setup.hooks.enablePackageSelector = [](bool on) {
        gf_enableControlOf(AI_PACKAGE_SELECTOR, on);
    };
    setup.hooks.showMessage = [](std::string_view text) { gf_setMessage(text, false); };
    setup.hooks.clearMessage = [] { gf_clearMessage(); };
    setup.hooks.scanSettingCleared = [] {
        gf_showBoolParameter(SCAN_LIVERIES);
        gf_invalidateArea(WindowArea::ControlBand);
        gf_invalidateArea(WindowArea::StatusStrip);
    };
    setup.hooks.setLiveryCount = [](uint64_t count) {
        g_shownLiveryCount = count;
        gf_invalidateArea(WindowArea::StatusStrip);
    };
    return gf_scanLiveries(setup);
}

void lf_runScansWhenDue()
{
    // A clear asked for before this run began; this run's scan and build come after it.
    gf_serveLiveryDbClear();
    const unsigned hardware = std::thread::hardware_concurrency();
    g_maxTasks = hardware == 0 ? 2 : static_cast<int32_t>(hardware);
    g_runningScanTasks = 0;
    if (SCAN_LIVERIES.current || !fs::exists(lf_status(g_liveriesScannedXml, "exists"))) {
        // An interrupted scan wrote nothing: there is no list to build the database from.
        if (lf_scanLiveries() == LiveryScanResult::Interrupted) return;
    }
    lf_processScannedLiveries();
    if (!g_stopRequested && !g_closeRequested && SCAN_AIRPORTS.current) {
        setAddonAirportCounts(0, 0);
        lf_scanAirports();
    } else {
        gf_finishInterruptedScanSwap();
    }
}

void lf_applyStoredDestination()
{
    const std::string text = DESTINATION.value();
    if (text.empty()) return;
    const AirportCode code(text);
    const auto found =
        std::find_if(g_airports.begin(), g_airports.end(),
                     [&](const Airport& airport) { return airport.code.chars() == code.chars(); });
    if (found != g_airports.end()) lf_applyDestination(text, *found);
}

// Everything after lf_initialise up to the end of the main loop.
void lf_startUpRun()
{
    lf_runScansWhenDue();
    if (lf_stopSeen()) return;
    lf_revisitHold();
    if (lf_stopSeen()) return;
    setAddonAirportCounts(gf_countFiles(g_myThirdpartyDir), gf_countFiles(g_mySimaddonDir));
    if (lf_stopSeen()) return;
    gf_createFlightPlanFolder();
    lf_readMyParkAirports();
    gf_enableControlOf(g_reReadButton, true);
    lf_applyStoredDestination();
    gf_setWindowTopmost(ALWAYS_ON_TOP.current);
    if (!lf_startThreads()) {
        lf_stopSeen();
        return;
    }
    lf_mainLoop();
}

// A user error waits for the user with its text on screen: the reason is recorded but the stop
// flag stays clear, so that a stop requested later (the Community path typed in) still counts.
void lf_recordSystemError(std::string_view text)
{
    gf_setErrorMessage(text);
    g_exitReason = ExitReason::SYSTEM_ERROR;
}

void lf_stopWithSystemError(std::string_view text)
{
    gf_setErrorMessage(text);
    gf_requestStop(ExitReason::SYSTEM_ERROR, 0);
}

}  // namespace

bool gf_inProgramFolder()
{
    std::error_code ec;
    return fs::is_directory(g_docsDir, ec);
}

std::string lf_withoutTrailingCommunity(const std::string& path)
{
    // Only the trailing folder goes: a path that holds "Community" twice keeps its first one.
    constexpr std::string_view kCommunity = "Community";
    if (path.size() < 10 || !std::string_view(path).ends_with(kCommunity)) return path;
    const char separator = path[path.size() - kCommunity.size() - 1];
    if (separator != '\\' && separator != '/') return path;
    return path.substr(0, path.size() - kCommunity.size() - 1);
}

void lf_revisitHold()
{
    const int64_t elapsed =
        std::max<int64_t>(0, platform::epochSeconds() - LAST_EPOCH_TIME.current);
    if (elapsed >= kRevisitHold_s) return;
    const int64_t hold = kRevisitHold_s - elapsed;
    gf_setMessage(fmt::format("Holding for {} seconds... (RT API cannot be revisited within {} "
                              "seconds)",
                              hold, kRevisitHold_s),
                  true);
    for (int64_t i = 0; i < hold && !g_stopRequested && !g_closeRequested; ++i) {
        platform::sleepFor(1s);
    }
}

bool lf_stopSeen()
{
    if (!g_stopRequested && !g_closeRequested) return false;
    if (g_exitReason == ExitReason::NOT_YET_SET) gf_requestClose();
    return true;
}

void lf_prepareFolders()
{
    for (const auto& folder : kWorkingFolders) {
        if (fs::is_directory(lf_status(folder, "status"))) continue;
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) throw fs::filesystem_error("create_directories", folder, ec);
    }
    if (fs::exists(lf_status(g_objectIdListTxt, "exists"))) {
        std::error_code ec;
        fs::remove(g_objectIdListTxt, ec);
        if (ec) throw fs::filesystem_error("remove", g_objectIdListTxt, ec);
    }
}

void lf_initControls()
{
    for (auto* box :
         {&ALWAYS_ON_TOP, &NAV_LIGHTS_WHILE_PARKED, &OBJECTID_LIST, &GUID_CHANGES, &SCAN_LIVERIES,
          &LIG_AUTOMATIC, &LIG_PRIORITIZE, &SCAN_AIRPORTS, &LIGHT_AIRCRAFT, &HELICOPTERS,
          &HIGH_PERF_AIRCRAFT, &AUTO_RANGE, &AIRBORNE_ONLY, &COLLISION_USER_GND,
          &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND, &STRAIGHT_PBS_ONLY, &RT_PARKTRAFFIC_ONLY,
          &INITIAL_LOAD_ONLY}) {
        gf_enableControlOf(*box, true);
    }
    for (auto* combo : {&MATCHING_DEPTH, &MAX_PARK_SEL, &MAX_LIVE_SEL, &AIRP_RANGE, &AIRP_HEIGHT}) {
        gf_enableControlOf(*combo, true);
    }
    gf_enableControlOf(SIM_CHOICE, true);
    gf_enableControlOf(BLOCK_CALLSIGN, true);
    for (auto* button : {&g_tbloZipButton, &g_blockButton, &g_callsignLookupButton, &g_reReadButton,
                         &g_flushStaticButton}) {
        gf_enableControlOf(*button, false);
    }
    gf_enableControlOf(CALLSIGN_2_OBJECTID, false);
    gf_enableControlOf(DESTINATION, false);
    if (!INITIAL_LOAD_ONLY.current) gf_enableControlOf(g_nowButton, false);

    gf_enableControlOf(RANGE, !AUTO_RANGE.current);
    gf_enableControlOf(AR_ABOVE_HEIGHT, AUTO_RANGE.current);
    gf_enableControlOf(g_unblockButton, !BLOCK_CALLSIGN.value().empty());
    gf_enableControlOf(AI_PACKAGE_SELECTOR, LIG_AUTOMATIC.current);
    gf_enableStandFitControls();

    parking_percentage.current = 30;
    for (auto* combo : g_comboParams) {
        if (combo) gf_fillIntCombo(*combo);
    }
    gf_fillIntCombo(parking_percentage);
    gf_fillStringCombo(AI_PACKAGE_SELECTOR);
    gf_fillStringCombo(SIM_CHOICE);
    gf_fillMaxFitCombo();

    g_isMsfs2020 = SIM_CHOICE.value() == "MSFS 2020";
    g_simVersionNumber = g_isMsfs2020 ? 1 : 2;
}

bool lf_initialise()
{
    lf_convertParameters();
    gf_invalidateArea(WindowArea::StatusStrip);
    gf_flushLog();
    lf_initControls();
    lf_cleanInstallPath();
    lf_prepareFolders();
    if (!g_restartPending && !gf_checkVersions()) return false;
    lf_initTimeShift();
    gf_writeDayAndSlot();
    lf_readDataFiles();
    lf_findInstall();
    gf_invalidateArea(WindowArea::Whole);
    if (g_productionMode) {
        lf_productionStop();
        return false;
    }
    gf_flushLog();
    return true;
}

void lf_startUpVNTQ()
{
    platform::setThreadName("start-up");
    platform::useSignalStack();
    try {
        lf_checkProgramFolder();
        if (lf_initialise()) lf_startUpRun();
    } catch (const UserErrorException& e) {
        lf_recordSystemError(e.what());
    } catch (const fmt::format_error& e) {
        lf_stopWithSystemError(fmt::format("std::format error: {}", e.what()));
    } catch (const std::bad_alloc& e) {
        lf_stopWithSystemError(e.what());
    } catch (const std::exception& e) {
        lf_stopWithSystemError(e.what());
    } catch (...) {
        lf_recordSystemError("Unknown exception");
    }
    lf_flushAndCloseDown();
}

}  // namespace qel
