// The main window as the application core sees it: the window itself, the controls bound to
// settings, and the commands and updater steps the core calls. Its message line and repaint
// requests, which the layers below use, are in foundation/window_status.h; the status fields it
// paints belong to the layers that write them, and the window reads them from there.
//
// Threads: the window, its painting and the command handlers run on the GUI thread (the thread
// that called initInstance). Other threads enable, disable, check and select controls. None of
// them waits for the GUI thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/settings.h"
#include "foundation/window_status.h"
#include "platform/window.h"
#include "scenery/park_loading.h"

namespace qel {

struct Airport;

// ---- Window ---------------------------------------------------------------------------------

// Loads the window's position from parameters.xml and creates and shows the main window with
// its controls: the real window when a display is there, else the headless one (and always
// with VNTQ_HEADLESS=1). The calling thread becomes the GUI thread. False when no window could
// be made; the caller then ends.
bool initInstance(std::string_view title);
// Keeps the window on the work area of its monitor; a corrected position is stored and saved.
// A stored position at its bound is replaced by the fall-back (px). GUI thread.
void gf_keepWindowOnMonitor(int32_t fallbackX, int32_t fallbackY);
// The message loop; GUI thread. Returns the exit code that ends it (-1 without a window).
int gf_runMessageLoop();
// As the window's close button; any thread (the signal handling uses it).
void gf_requestWindowClose();
// Keeps the window above other windows, or not; any thread.
void gf_setWindowTopmost(bool on);
// Destroys the window; its controls are gone from the settings. GUI thread, after the loop.
void gf_closeMainWindow();
// What the window's start-up message (WindowMessage::StartUp) runs: the application core's
// gf_onStartUpMessage, which the program hands over before the message loop runs; until then
// the message does nothing. GUI thread.
void gf_setStartUpHandler(std::function<void()> handler);
// The minutes to the parked traffic's next renewal as the statistics band shows them; the
// window's controls and the core write it. The process's: a restart keeps it (atomic).
extern std::atomic<int32_t> g_shownParkingCountdown;
// A headless run's terminal follows what the window shows beside its message line: the
// sign-in, the aircraft live and parked ("Signed in at RealTraffic, live: 12; park airport EHAM
// (AMS) Amsterdam, parked live: 3, static: 20"). Written at once when more or less of it shows,
// when only its counts change at most once every 10 calls; nothing with a window. Main-loop
// thread, once a simulator second.
void gf_tellHeadlessStatus();
// The window's state of one run back to a fresh one (ui/ui_run.h): the handlers forget the
// manual range. Start-up thread while no worker runs, and tests.
void gf_resetUiRun();
// Whether the window's run state equals a fresh one; tests.
bool gf_uiRunFresh();

// ---- Controls -------------------------------------------------------------------------------

// Enables or disables a setting's control; any thread; nothing when it has none.
void gf_enableControlOf(const ControlBinding& binding, bool on);
void enableControl(const ControlStringParameter& edit);
// The UTF-8 text of the control with the id; empty (and logged) when there is none. Any thread.
std::string lf_getTextFromId(uint16_t id);
struct ComboSelection {
    int index;         // 0-based
    std::string text;  // "MSFS 2024"
};
// The selection of combo `id` when `wParam` (WM_COMMAND: notification << 16 | id) reports that
// its selection changed; nothing otherwise or on any failure. GUI thread.
std::optional<ComboSelection> lf_getComboSelection(uint16_t id, uint32_t wParam);

// Puts each held value that differs from the current one back, saved and shown. Main-loop
// thread.
void gf_syncSettingControls(const SavedParkSettings& held);
// The parking controls while a parked-traffic re-plan runs (g_parkingBusy), and after it.
// Any thread.
void gf_disableParkingControls();
void gf_enableParkingControls();
// WEEK, PARK_SOFT, parking_percentage and MAX_FIT_FL enabled exactly when RT_PARKTRAFFIC_ONLY
// is off; any thread.
void gf_enableStandFitControls();
// The three time-shift combo boxes and SIM_TIME; disabling greys the time-shift labels. Any
// thread.
void lf_enableTimeShiftControls(bool on);
// MAX_FIT_FL := its hours for MAX_FIT, and that entry selected when the list has it; any thread.
void gf_selectMaxFitCombo();
// Fills the MAX_FIT_FL combo with its choices ("{:.1f}") and selects it from MAX_FIT; any
// thread.
void gf_fillMaxFitCombo();

// ---- Commands -------------------------------------------------------------------------------
// The handlers of the controls and the operations behind them that other subsystems call.

// WM_COMMAND: buttons, then check boxes, then combo boxes; false when none took it. GUI thread.
bool lf_HandleWMCOMMAND(uint32_t wParam);
bool lf_handleButtons(uint16_t id);
bool lf_handleCheckBoxes(uint16_t id);
bool lf_handleComboBoxes(uint32_t wParam);
// Enter in one of the three edit boxes; GUI thread.
void lf_editEnter(uint16_t id);
// "Community path found, VNTQ will restart ..." and a stop with NEW SETTINGS in 3 s.
void lf_communityPathFound();
// The live counts of the status strip and statistics band; main-loop thread.
void lf_updateLiveCount();
// Disables the parking controls, announces the re-plan at the next multiple of 15 simulator
// seconds and raises g_parkRefreshDue. Main-loop or GUI thread.
void lf_showParkingCountdown();
// Waits up to 15 s for the first traffic; logs "No traffic in this region?" when none came.
// Start-up thread.
void lf_showNoTraffic();
// The AUTO_RANGE rule; main-loop thread.
void gf_autoRange();
// RANGE := nm clamped, selected; the traffic radius := nm; the simulator's request radius :=
// nm × 1852 + 10000 m, which is returned; nm is also the range that switching AUTO_RANGE off
// returns to. Any thread.
int32_t gf_setRange(int32_t nm);
// AUTO_RANGE switched: on remembers RANGE and applies the rule; off restores RANGE. GUI thread.
void gf_applyAutoRange();
// The time shift in minutes into the past, at most 20160. `quiet`: only the settings, the
// readers and the shown combos change (no message for a shift, no traffic reset); the
// start-up's reset passes true.
void lf_timeShift(int32_t minutes, bool quiet);
// Splits the minutes into TIME_SHIFT_DAYS, _HOURS and _MINS (clamped, saved) and selects them.
void lf_showTimeShift(int32_t minutes);
// SIM_TIME applied: the time shift follows the simulator's clock, or is reset to 0. GUI thread
// (its check box) and start-up thread.
void lf_applySimTime();
// DESTINATION := the code (saved when changed), shown, logged "New destination: {}".
void lf_applyDestination(const std::string& code, const Airport& airport);

// ---- Updater --------------------------------------------------------------------------------

// The start-up's update check against versions.json of the download server
// ($VNTQ_DOWNLOAD_URL): newer data files fetched into input, the MSFS 2024 airport pack into
// airports/my_simaddon, newer scan rules switch SCAN_LIVERIES or SCAN_AIRPORTS on. False when a
// new program version was fetched into new_version (the stop is then requested with NEW
// VERSION); true otherwise, also when the server cannot be reached. Throws
// qel::UserErrorException 112 when the new version could not be fetched or unpacked, and
// std::filesystem::filesystem_error when its files cannot be handled. Start-up thread.
bool gf_checkVersions();
// A versions.json text read as the check reads it: the number of items with a usable server
// version (each unusable one logged "{} version not found"), -1 for a text that is no JSON
// (logged). Never throws; the check's reading and its fuzz target.
int gf_readVersionsText(std::string_view text);

}  // namespace qel
