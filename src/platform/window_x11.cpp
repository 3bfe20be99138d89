// X11 requests of the FLTK window: opening the display safely, syncing with the server and the
// window manager's "above" state.
#include "platform/window_x11.h"

#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace qel::platform {

bool x11OpenDisplayForFltk()
{
    if (fl_display) return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    fl_open_display(display);
    return true;
}

void x11Sync()
{
    if (fl_display) XSync(fl_display, False);
}

uint64_t x11WindowId(const Fl_Window* window)
{
    // FLTK 1.3 asks for a mutable window even to read its id.
    auto* mutableWindow = const_cast<Fl_Window*>(window);
    if (!mutableWindow || !mutableWindow->shown()) return 0;
    return static_cast<uint64_t>(fl_xid(mutableWindow));
}

void x11SetTopmost(uint64_t windowId, bool on)
{
    if (!fl_display || windowId == 0) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<::Window>(windowId);
    event.xclient.message_type = XInternAtom(fl_display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD or _NET_WM_STATE_REMOVE
    event.xclient.data.l[1] =
        static_cast<long>(XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False));
    event.xclient.data.l[3] = 1;  // the request comes from an application
    XSendEvent(fl_display, DefaultRootWindow(fl_display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(fl_display);
}

}  // namespace qel::platform
