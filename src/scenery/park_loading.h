// Loading the park airport's stands: the stand file (fetched from the download server when it
// is archived), its learned file, the quality factors, the park settings it adjusts, the stand
// numbers and overlaps; and the nearest stand of another airport for the closest-airport rule.
//
// Threads: everything runs on the main-loop (start-up) thread; the globals below have no lock.
// The window is reached only through g_parkWindowHooks, which the program fills at start.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/settings.h"
#include "scenery/stand_file.h"

namespace qel {

// The values nine settings had before a park airport's stand file overrode them.
struct SavedParkSettings {
    int32_t maxLiveSel = 0;
    int32_t maxFit = 0;             // half hours
    int32_t range = 0;              // nm
    int32_t parkingPercentage = 0;  // per cent
    bool autoRange = false;
    bool initialLoadOnly = false;
    bool rtParkTrafficOnly = false;
    bool parkSoft = false;
    bool week = false;
    bool operator==(const SavedParkSettings&) const = default;
};

// What the window shows once a park airport's stands are loaded.
struct ParkStandsShown {
    std::size_t standCount = 0;  // 190
    std::string publisher;       // "stock"
    bool handmade = false;
    std::string qualityText;  // "66/ 0"
    int32_t trafficWeek = 0;  // "RT_traffic_week"
};

// The window's side of loading; each hook may be empty (tests, production runs).
struct ParkWindowHooks {
    // Stand count, kind, quality and week shown, the stand-file-loaded flags raised and "Flush
    // static" enabled. Called only when at least one stand was loaded.
    std::function<void(const ParkStandsShown&)> showStandsLoaded;
    std::function<void(const IntParameter&)> showInt;  // a combo selects the value if listed
    std::function<void(const ControlBoolParameter&)> showBool;
    std::function<void(const ControlBinding&, bool)> enable;
    std::function<void(int32_t)> setRange;  // nm
    std::function<void()> applyAutoRange;
    std::function<void()> selectMaxFitCombo;  // MAX_FIT_FL from MAX_FIT, selected
    std::function<void()> enableStandFitControls;
    std::function<void(std::string_view)> setMessage;  // shown and logged
};
extern ParkWindowHooks g_parkWindowHooks;  // set once at start, before traffic runs

// Qf_real in the low 32 bits, Qf_soft in the high 32 bits; both -1 without learned flights.
// Members of the scenery library's run state (scenery/scenery_run.h).
extern uint64_t& g_qualityFactors;              // main-loop thread
extern std::atomic<int32_t>& g_rtTrafficWeek;   // "RT_traffic_week", 0 when absent
extern std::optional<double>& g_parkElevation;  // feet; empty without a park airport
extern SavedParkSettings& g_savedParkSettings;  // main-loop thread

// The park airport's stand file and learned file, read by gf_readApf.
struct ParkFileRead {
    std::string source;                 // what gf_findArchivedApf gave: "archive/stock/EHAM.xml"
    std::filesystem::path learnedPath;  // where its learned file is read and written; may be empty
    std::filesystem::path learnedKept;  // a learned file that did not read whole; never written
    bool operator==(const ParkFileRead&) const = default;
};
extern ParkFileRead& g_parkFileRead;  // main-loop thread

// Loads the stand file at `path` (a location of gf_findArchivedApf) for the park airport
// `parkCode` (0: none) into g_parkStands and `info`: "" when stands were loaded, "no stands
// found", or the message for the log. UserErrorException (65 no altitude, 93, 94) passes
// through; every other exception becomes "gf_readApf: <what>". Main-loop thread.
std::string gf_readApf(const std::string& path, ParkAirportInfo& info, uint32_t parkCode);
// "" when the archive location was fetched into `local`, else "failed to download: '<url>'";
// no partial file is left.
std::string lf_downloadArchivedAirport(const std::string& location,
                                       const std::filesystem::path& local);
// The quality pair of g_parkStands (see g_qualityFactors).
uint64_t lf_computeQualityFactor();
// "  ", "66", or "44/ 7" for g_qualityFactors.
std::string gf_qualityText();
// The stand file names its publisher, manufacturer or creator.
bool gf_apfNamesPublisher(const std::filesystem::path& path);
bool lf_isExcludedName(std::string_view text);
// Reads the learned file at `path` on top of g_parkStands. A file that does not read whole (no
// meta block, a stand id twice in a handmade file, a stand, radius change or option refused) is
// copied to *.0.xml and kept from being written over. Never throws.
void lf_readLearned(const std::filesystem::path& path, ParkAirportInfo& info);
// Why `airport` must not be saved as the learned file at `path` now ("kept: ..."), or "" when it
// may: the file did not read whole, or the table is empty and the file holds stands. Main-loop
// thread.
std::string gf_learnedFileKept(const BglAirport& airport, const std::filesystem::path& path);
// The file at `path` holds stands, or cannot be read (which must not count as empty).
bool lf_holdsStands(const std::filesystem::path& path);

}  // namespace qel
