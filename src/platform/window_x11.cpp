// X11 requests of the FLTK window: opening the display safely, the handlers of failed requests
// and of a broken connection, syncing with the server and the window manager's "above" state.
#include "platform/window_x11.h"

#include <atomic>
#include <cstdio>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace qel::platform {

namespace {

std::atomic<bool> g_displayLost{false};             // atomic: set by Xlib's handler, GUI thread
std::atomic<bool> g_failedRequestsExpected{false};  // atomic
::Window g_lastDestroyed = 0;                       // GUI thread: the last DestroyNotify's window
thread_local bool t_inX11Run = false;

// Thrown through Xlib and FLTK to x11Run; no std::exception, which a caller on the way might
// take for its own.
struct ConnectionBroke {};

int lf_onFailedRequest(Display* display, XErrorEvent* error)
{
    if (g_failedRequestsExpected) return 0;
    char text[160] = "";
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "X request %u.%u failed: %s (resource 0x%lx)\n", error->request_code,
                 error->minor_code, text, error->resourceid);
    return 0;
}

int lf_onConnectionLost(Display* /*display*/)
{
    g_displayLost = true;
    if (t_inX11Run) throw ConnectionBroke{};
    return 0;
}

// In place of Xlib's exit(), for a break outside x11Run: the Xlib call that met it returns.
void lf_afterConnectionLost(Display* /*display*/, void* /*data*/) {}

// Sees every event before FLTK does, which turns a DestroyNotify into a close request.
int lf_noteDestroyed(void* event, void* /*data*/)
{
    const auto* xevent = static_cast<const XEvent*>(event);
    if (xevent->type == DestroyNotify) g_lastDestroyed = xevent->xdestroywindow.window;
    return 0;
}

}  // namespace

bool x11OpenDisplayForFltk()
{
    if (fl_display) return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    fl_open_display(display);
    XSetErrorHandler(&lf_onFailedRequest);
    XSetIOErrorHandler(&lf_onConnectionLost);
    XSetIOErrorExitHandler(display, &lf_afterConnectionLost, nullptr);
    Fl::add_system_handler(&lf_noteDestroyed, nullptr);
    return true;
}

bool x11Run(const std::function<void()>& work)
{
    t_inX11Run = true;
    try {
        work();
    } catch (const ConnectionBroke&) {
        t_inX11Run = false;
        return false;
    } catch (...) {
        t_inX11Run = false;
        throw;
    }
    t_inX11Run = false;
    return true;
}

bool x11DisplayLost() { return g_displayLost; }

bool x11Destroyed(uint64_t windowId)
{
    return windowId != 0 && g_lastDestroyed == static_cast<::Window>(windowId);
}

void x11ExpectFailedRequests() { g_failedRequestsExpected = true; }

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
