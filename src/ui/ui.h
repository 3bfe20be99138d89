// The main window as the other subsystems see it: its state, the message line and the helpers
// that show a setting in its control.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/settings.h"

namespace qel {

struct MainWindowState {
    IntParameter MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};  // px, saved at quit
    IntParameter MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};   // px, saved at quit
};

// Built before the entry point; its two settings stand first in g_numParams.
extern MainWindowState g_mainWindowState;

// The window's private messages (WM_APP + n).
enum class WindowMessage : uint32_t {
    StartUp = 0x8001,             // WM_APP+1: start (or restart) the start-up thread
    Quit = 0x8002,                // WM_APP+2: save the position and end the loop with g_exitCode
    RepaintMessageLine = 0x8060,  // WM_APP+0x60
};

// Loads the window's settings (parameters.xml) and creates and shows the main window with its
// controls; on a machine without a display the window is headless. GUI thread. False ends the
// process.
bool initInstance(std::string_view title);
// Posts a private message to the main window; any thread.
void gf_postWindowMessage(WindowMessage message);
// The message loop; GUI thread. Returns the exit code that ends it.
int gf_runMessageLoop();

// The message line; any thread.
void gf_setMessage(std::string_view text, bool log);
void gf_clearMessage();
void gf_setErrorMessage(std::string_view text);  // shows and logs "Error {}"

// Show a setting's current value in its control; any thread.
void gf_showIntParameter(const IntParameter& setting);
void gf_showTextParameter(const StringParameter& setting);
void gf_showBoolParameter(const ControlBoolParameter& setting);  // the check mark

}  // namespace qel
