// The main window as the other subsystems see it: its state, the window's messages, the message
// line, the controls bound to settings, and the commands and updater steps that other
// subsystems call.
//
// Threads: the window, its painting and the command handlers run on the GUI thread (the thread
// that called initInstance). Other threads write the status fields of g_mainWindowState (texts
// through their own locks, counters and flags atomic), use the message line and enable,
// disable, check and select controls; a repaint is requested with gf_invalidateArea. None of
// them waits for the GUI thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/settings.h"
#include "platform/window.h"
#include "scenery/park_loading.h"

namespace qel {

struct Airport;

// A status text that other threads write while the painter reads it: every access is a copy
// under the text's own lock, a leaf lock.
class SharedText {
public:
    void set(std::string text);
    std::string get() const;
    bool empty() const;

private:
    mutable std::mutex mutex_;
    std::string text_;
};

// The client area's fixed repaint areas (client px).
enum class WindowArea { StatusStrip, ControlBand, Statistics, MessageBand, Whole };
platform::Rect gf_areaRect(WindowArea area);

inline constexpr int kClientWidth = 880;   // px; what the window paints
inline constexpr int kClientHeight = 477;  // px; down to the message band's last row

struct MainWindowState {
    MainWindowState();
    virtual ~MainWindowState();
    MainWindowState(const MainWindowState&) = delete;
    MainWindowState& operator=(const MainWindowState&) = delete;

    IntParameter MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};  // px, saved at quit
    IntParameter MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};   // px, saved at quit

    // Brushes and pens.
    const platform::Colour redBrush{255, 0, 0};          // an error, not connected
    const platform::Colour lightBlueBrush{153, 204, 255};  // control band
    const platform::Colour blackBrush{0, 0, 0};          // title band, status strip, statistics
    const platform::Colour limeBrush{50, 205, 50};       // message band, connected
    const platform::Colour yellowBrush{255, 255, 0};     // connected but not ready
    const platform::Colour blackPen{0, 0, 0};            // the control band's separators
    const platform::Colour whitePen{255, 255, 255};      // band borders
    struct Line {
        int x1, y1, x2, y2;  // client px
    };
    const std::array<Line, 7> separatorLines{{{0, 140, 880, 140},
                                              {0, 168, 642, 168},
                                              {0, 196, 642, 196},
                                              {0, 224, 880, 224},
                                              {0, 252, 642, 252},
                                              {0, 280, 642, 280},
                                              {0, 308, 880, 308}}};

    // Guards messageText, errorText and messageShownAt. Held only to copy them, except around
    // the "Error {}" log line, so it ranks just above the log mutex.
    std::mutex messageMutex;
    std::string messageText;     // messageMutex; "Your liveries will be scanned"
    std::string errorText;       // messageMutex; "99: ..." while an error is pending
    int32_t messageShownAt = 0;  // messageMutex; second counter when shown, 0 = none

    std::atomic<platform::Window*> window{nullptr};  // set by initInstance

    SharedText userAircraftTitle;     // "Airbus A320 Neo Asobo"
    SharedText parkAirportText;       // "EHAM (AMS) Amsterdam"
    SharedText standFileNameText;     // first field of the park airport details
    SharedText standFileKindText;     // second field: "learned"
    SharedText qualityText;           // the stand file's quality factor: "0.82"
    SharedText simulatorText;         // "MSFS 2020 (11.0.282174.999)"
    SharedText realTrafficText;       // "RT Professional license, 30 days left"
    SharedText userStand;             // "GATE E 24"
    SharedText selectedAircraftText;  // beside CALLSIGN_2_OBJECTID
    // The park airport's reserved stand as the statistics band shows it; the traffic manager
    // writes it beside g_reservedStandName, which the painter must not read across threads.
    SharedText reservedStandText;

    std::atomic<float> staticAverageFit{-1.0F};  // drawn only above 0
    std::atomic<float> liveAverageFit{-1.0F};    // drawn only above 0
    std::atomic<uint64_t> liveCount{0};          // active live aircraft not parked
    std::atomic<uint64_t> simaddonCount{0};      // simaddon airport files
    std::atomic<uint64_t> thirdpCount{0};        // third-party airport files
    std::atomic<uint64_t> liveryCount{0};        // liveries known
    std::atomic<uint64_t> parkedLiveCount{0};
    std::atomic<uint64_t> staticCount{0};
    std::atomic<uint64_t> standCount{0};         // stands of the park airport
    std::atomic<int32_t> statisticsRow{399};     // y of the first statistics row, px
    std::atomic<int32_t> maxParkPercentage{0};   // per cent
    std::atomic<int32_t> qnh{0};                 // hPa; 0 = none
    std::atomic<int32_t> wantedStaticCount{0};   // 0 = none
    std::atomic<int32_t> staticParkingCountdown{0};  // minutes to the next renewal
    std::atomic<int32_t> secondCounter{0};       // simulator seconds; the message line's clock
    std::atomic<int32_t> updateCount{0};         // stand updates
    std::atomic<uint64_t> staticCandidateCount{0};
    std::atomic<int32_t> standFileWeek{0};       // the loaded stand file's "RT_traffic_week"
    std::atomic<uint64_t> tbloFileCount{0};      // files in tblo after the last airport scan
    std::atomic<bool> handmade{false};           // " (h)"
    std::atomic<bool> realTrafficIdle{true};     // the RealTraffic box is black
    std::atomic<bool> realTrafficSignedIn{false};
    std::atomic<bool> standFileLoaded{false};    // park airport details are shown
    std::atomic<bool> simulatorConnected{false};
    std::atomic<bool> simulationRunning{false};
    std::atomic<bool> userSizeKnown{false};      // the user aircraft's wing span is known
    std::atomic<bool> softApplied{false};        // "*S*"
    std::atomic<bool> weekApplied{false};        // "*W*"
    std::atomic<bool> reservedStandOk{false};    // lime when set, red when clear
    std::atomic<bool> timeShiftFlag{true};       // time-shift labels black, else grey
    std::atomic<bool> nowAllowed{false};         // "Now" may be enabled: a re-plan was announced
    std::atomic<int32_t> trafficReaderStatus{3};  // 1 receiving, 2 no data, 3 stopped
    std::atomic<int32_t> weatherReaderStatus{3};  // the same for the weather reader
    std::atomic<bool> ready{false};              // set last by the constructor
};

// Built before the entry point; its two settings stand first in g_numParams.
extern MainWindowState g_mainWindowState;
// The object id of the aircraft selected in the window (0 for none); cleared when that aircraft
// is removed or respawned (atomic).
extern std::atomic<uint32_t> g_selectedObjectId;

// The window's messages: WM_CLOSE and the private ones (WM_APP + n).
enum class WindowMessage : uint32_t {
    Close = 0x0010,               // WM_CLOSE: the close button, SIGINT, SIGTERM
    StartUp = 0x8001,             // WM_APP+1: start (or restart) the start-up thread
    Quit = 0x8002,                // WM_APP+2: save the position and end the loop with g_exitCode
    RepaintMessageLine = 0x8060,  // WM_APP+0x60
    TopmostOn = 0x8061,           // WM_APP+0x61: keep the window above others
    TopmostOff = 0x8062,          // WM_APP+0x62
};

// ---- Window ---------------------------------------------------------------------------------

// Loads the window's position from parameters.xml and creates and shows the main window with
// its controls: the real window when a display is there, else the headless one (and always
// with VNTQ_HEADLESS=1). The calling thread becomes the GUI thread. False when no window could
// be made; the caller then ends.
bool initInstance(std::string_view title);
// Keeps the window on the work area of its monitor; a corrected position is stored and saved.
// A stored position at its bound is replaced by the fall-back (px). GUI thread.
void gf_keepWindowOnMonitor(int32_t fallbackX, int32_t fallbackY);
// Posts a message to the main window; any thread; nothing when there is no window.
void gf_postWindowMessage(WindowMessage message);
// The message loop; GUI thread. Returns the exit code that ends it (-1 without a window).
int gf_runMessageLoop();
// As the window's close button; any thread (the signal handling uses it).
void gf_requestWindowClose();
// Repaints an area soon; any thread.
void gf_invalidateArea(WindowArea area);
// Keeps the window above other windows, or not; any thread.
void gf_setWindowTopmost(bool on);
// The window's state back to its start values for an in-process restart: message and error
// texts, status texts, counters and indicators; repaints. Any thread.
void gf_resetWindowState();
// Destroys the window; its controls are gone from the settings. GUI thread, after the loop.
void gf_closeMainWindow();

// ---- Message line ---------------------------------------------------------------------------

// Shows a message that expires after 25 simulator seconds; logged when `log`. An empty text
// clears. Nothing while an error is pending. Any thread.
void gf_setMessage(std::string_view text, bool log);
// Removes the message; nothing while an error is pending. Any thread.
void gf_clearMessage();
// Shows the text in red until the error is emptied, hiding any message, and logs it as
// "Error {}". This is the one place that prefix is added: callers pass the bare text, and a
// text that already starts with "Error " is logged as it is. Any thread.
void gf_setErrorMessage(std::string_view text);
// Empties a pending error; the caller then calls gf_clearMessage. Any thread.
void gf_clearErrorText();
// One simulator second: the window's second counter goes up, and a message shown 25 counted
// seconds ago is cleared. Main-loop thread.
void gf_countSimulatorSecond();

// ---- Controls -------------------------------------------------------------------------------

// Show a setting's current value in its control and repaint the control band; any thread. A
// missing control is logged "GetDlgItem failed for ID {}"; before the window exists nothing
// happens.
void gf_showIntParameter(const IntParameter& setting);
void gf_showTextParameter(const StringParameter& setting);
void gf_showBoolParameter(const ControlBoolParameter& setting);  // the check mark
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
// nm × 1852 + 10000 m, which is returned. Any thread.
int32_t gf_setRange(int32_t nm);
// AUTO_RANGE switched: on remembers RANGE and applies the rule; off restores RANGE. GUI thread.
void gf_applyAutoRange();
// The time shift in minutes into the past, at most 20160. `quiet`: only the settings, the
// readers and the shown combos change (no message for a shift, no traffic reset); the
// start-up's reset passes true.
void lf_timeShift(int32_t minutes, bool quiet);
// Splits the minutes into TIME_SHIFT_DAYS, _HOURS and _MINS (clamped, saved) and selects them.
void lf_showTimeShift(int32_t minutes);
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

}  // namespace qel
