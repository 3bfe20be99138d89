// The few X11 calls the FLTK window needs beside FLTK, kept in their own file so that Xlib's
// macros (None, Status, Bool, ...) stay out of the window code. GUI thread only.
#pragma once

#include <cstdint>

class Fl_Window;

namespace qel::platform {

// Opens the display named by DISPLAY and hands it to FLTK; false when it cannot be opened
// (FLTK itself would end the process).
bool x11OpenDisplayForFltk();
// Returns once the X server has carried out every request sent so far.
void x11Sync();
// The window's X id; 0 while it is not shown.
uint64_t x11WindowId(const Fl_Window* window);
// Asks the window manager to keep the window above others, or to stop doing so.
void x11SetTopmost(uint64_t windowId, bool on);

}  // namespace qel::platform
