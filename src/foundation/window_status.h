// The main window as every layer reaches it: the platform window, its position settings, the
// message line, the repaint requests and the display of a setting in its control. The status
// fields the painter shows belong to the layers that write them (traffic, scenery, liveries,
// simlink, realtraffic); the window (ui) creates the platform window, stores it in
// g_mainWindowState.window and paints from those owners' records.
//
// Threads: the window, its painting and the command handlers run on the GUI thread. Other
// threads use the message line and show settings; a repaint is requested with
// gf_invalidateArea. None of them waits for the GUI thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "foundation/run_state.h"
#include "foundation/run_values.h"
#include "foundation/settings.h"
#include "platform/window.h"

namespace qel {

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

    std::atomic<platform::Window*> window{nullptr};  // set by initInstance
    std::atomic<bool> ready{false};                  // set last by the constructor
};

// Built before the entry point; its two settings stand first in g_numParams.
extern MainWindowState g_mainWindowState;

// The message line's texts (FoundationRun). g_messageMutex guards them; it is held only to copy
// them, except around the "Error {}" log line, so it ranks just above the log mutex.
extern std::mutex g_messageMutex;
extern MessageLine& g_messageLine;

// The window's messages: WM_CLOSE and the private ones (WM_APP + n).
enum class WindowMessage : uint32_t {
    Close = 0x0010,               // WM_CLOSE: the close button, SIGINT, SIGTERM, SIGHUP
    StartUp = 0x8001,             // WM_APP+1: start (or restart) the start-up thread
    Quit = 0x8002,                // WM_APP+2: save the position and end the loop with g_exitCode
    RepaintMessageLine = 0x8060,  // WM_APP+0x60
    TopmostOn = 0x8061,           // WM_APP+0x61: keep the window above others
    TopmostOff = 0x8062,          // WM_APP+0x62
};

// Posts a message to the main window; any thread; nothing when there is no window.
void gf_postWindowMessage(WindowMessage message);
// True while the window is the headless one: nobody sees it, and nobody can close it but by a
// signal. Any thread.
bool gf_headlessWindow();
// Repaints an area soon; any thread.
void gf_invalidateArea(WindowArea area);

// ---- Message line ---------------------------------------------------------------------------

// Shows a message that expires after 25 simulator seconds; logged when `log`. An empty text
// clears. Nothing while an error is pending. Any thread.
void gf_setMessage(std::string_view text, bool log);
// A message that the next replaces within a second, such as a countdown's, not logged. A
// headless run's terminal writes it over the one before, in place; where standard error is a
// file or a pipe, only the first of a row of them is written there. Any thread.
void gf_setPassingMessage(std::string_view text);
// A line the message line does not show but a headless run's user needs, who reads no Log.txt
// (why the sign-in failed): written to standard error when the window is headless. Any thread.
void gf_tellHeadlessUser(std::string_view line);
// A line to standard error whatever the window, for what the user started the program with
// (its options, its environment). Any thread.
void gf_writeToTerminal(std::string_view line);
// Removes the message; nothing while an error is pending. Any thread.
void gf_clearMessage();
// Shows the text in red until the error is emptied, hiding any message, and logs it as
// "Error {}", in the file before it returns. This is the one place that prefix is added: callers pass the bare text, and a
// text that already starts with "Error " is logged as it is. Any thread.
void gf_setErrorMessage(std::string_view text);
// Empties a pending error; the caller then calls gf_clearMessage. Any thread.
void gf_clearErrorText();
// One simulator second: the window's second counter goes up, and a message shown 25 counted
// seconds ago is cleared. Main-loop thread.
void gf_countSimulatorSecond();
// Shows the text on the message line and logs it, also while an error text blocks the line.
void lf_showAndLog(std::string_view text);

// ---- Settings in their controls -------------------------------------------------------------

// Show a setting's current value in its control and repaint the control band; any thread. A
// missing control is logged "GetDlgItem failed for ID {}"; before the window exists nothing
// happens.
void gf_showIntParameter(const IntParameter& setting);
void gf_showTextParameter(const StringParameter& setting);
void gf_showBoolParameter(const ControlBoolParameter& setting);  // the check mark

}  // namespace qel
