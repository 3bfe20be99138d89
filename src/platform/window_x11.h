// The few X11 calls the FLTK window needs beside FLTK, kept in their own file so that Xlib's
// macros (None, Status, Bool, ...) stay out of the window code. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>

class Fl_Window;

namespace qel::platform {

// Opens the display named by DISPLAY and hands it to FLTK; false when it cannot be opened
// (FLTK itself would end the process). Neither a failed request nor a broken connection ends
// the process, as Xlib's own handlers would, with exit() from the GUI thread while the others
// run on: a failed request is written to standard error, and a broken connection is noted
// (x11DisplayLost) and ends x11Run.
bool x11OpenDisplayForFltk();
// Runs `work`, which talks to the X server through FLTK; false when the connection broke during
// it. Xlib cannot go on once its connection has broken: the drawing calls that follow write
// past its request buffer. So the break leaves `work` at once, unwound from inside Xlib back to
// here (Xlib, xcb and FLTK have unwind tables), and the caller asks nothing more of X. A break
// outside it is only noted. GUI thread; not nested.
bool x11Run(const std::function<void()>& work);
// The connection to the X server broke: the server ended or dropped this client. Any thread.
bool x11DisplayLost();
// True once the X server has said that the window of this id was destroyed, until another is.
bool x11Destroyed(uint64_t windowId);
// Requests that fail from now on are expected (they name a window that is gone) and not shown.
void x11ExpectFailedRequests();
// Returns once the X server has carried out every request sent so far.
void x11Sync();
// The window's X id; 0 while it is not shown.
uint64_t x11WindowId(const Fl_Window* window);
// Asks the window manager to keep the window above others, or to stop doing so.
void x11SetTopmost(uint64_t windowId, bool on);

}  // namespace qel::platform
