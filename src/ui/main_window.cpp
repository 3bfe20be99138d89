// The main window: its creation at the saved position kept on a monitor, its window procedure
// (close, start-up, quit, repaints, commands) and the message loop.
//
// Threads: initInstance makes the calling thread the GUI thread, which runs every handler here.
// Other threads reach the window only by posting messages and invalidating areas.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/run_state.h"
#include "foundation/time.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "traffic/traffic.h"
#include "ui/controls.h"
#include "ui/paint.h"
#include "ui/ui.h"

namespace qel {

namespace {

constexpr int kKeepVisible_px = 48;  // of the window inside the work area, at least
constexpr int32_t kFallbackX = 400;  // px, MAIN_WINDOW_X's default
constexpr int32_t kFallbackY = 20;   // px, MAIN_WINDOW_Y's default

// Owns the main window; g_mainWindowState.window points to it while it exists. GUI thread.
// At process exit the pointer goes before the window, so that a late message finds none.
struct WindowOwner {
    std::unique_ptr<platform::Window> window;
    ~WindowOwner() { g_mainWindowState.window = nullptr; }
};
WindowOwner g_owner;

platform::Window* lf_window() { return g_mainWindowState.window.load(); }

bool lf_waitUntilStateReady()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (g_mainWindowState.ready) return true;
        platform::sleepFor(std::chrono::milliseconds(50));
    }
    return g_mainWindowState.ready;
}

// Reads the window's position from parameters.xml; a file that does not load is kept as its
// 0 generation and removed. True when the file loaded.
bool lf_loadWindowPosition()
{
    std::scoped_lock lock(g_parametersMutex);
    std::error_code ec;
    if (!std::filesystem::exists(g_parametersPath, ec)) return false;
    pugi::xml_document document;
    const auto result = document.load_file(g_parametersPath.c_str());
    if (!result) {
        gf_logHighlighted(fmt::format("{} failed to load ({}). Saved as 0.xml and removed.",
                                      g_parametersPathUtf8, result.description()));
        gf_save1GenerationOf(g_parametersPath);
        std::filesystem::remove(g_parametersPath, ec);
        return false;
    }
    for (auto* setting : {&g_mainWindowState.MAIN_WINDOW_X, &g_mainWindowState.MAIN_WINDOW_Y}) {
        if (const auto value = gf_readIntParameter(document, setting->name)) {
            setting->current = setting->clamp(*value);
        }
    }
    return true;
}

struct Position {
    int x;
    int y;
};

// Where a window of rectangle `window` stands so that at least 48 px of it lie inside `work`.
Position lf_placeOnWorkArea(platform::Rect window, const platform::Rect& work)
{
    const int width = window.width();
    const int height = window.height();
    if (width > work.width()) window.left = work.left;
    if (height > work.height()) window.top = work.top;
    window.right = window.left + width;
    window.bottom = window.top + height;
    int x = window.left;
    if (window.right < work.left + kKeepVisible_px) x = work.left + kKeepVisible_px - width;
    x = std::min(x, work.right - kKeepVisible_px);
    int y = window.top;
    if (window.bottom < work.top + kKeepVisible_px) y = work.top + kKeepVisible_px - height;
    y = std::min(y, work.bottom - kKeepVisible_px);
    return {x, y};
}

// True when the stored position stood at a bound and was replaced.
bool lf_replaceBound(IntParameter& setting, int32_t fallback)
{
    if (setting.current != setting.minimum && setting.current != setting.maximum) return false;
    setting.current = setting.clamp(fallback);
    gf_saveIntParameter(setting);
    return true;
}

// Guards g_startUpHandler; taken alone, only to copy it.
std::mutex g_startUpHandlerMutex;
std::function<void()> g_startUpHandler;

void lf_onClose()
{
    gf_setMessage(fmt::format("Close window button clicked, closing {} ...", g_shortName), false);
    gf_requestClose();
}

// Nobody can use a window whose X server went away (a log-out, a server that crashed) or that
// another program destroyed: the program closes as on the close button, and Log.txt says why.
void lf_onLost(platform::WindowLoss loss)
{
    gf_log(loss == platform::WindowLoss::Display
               ? fmt::format("The display was lost, closing {} ...", g_shortName)
               : fmt::format("The window was destroyed, closing {} ...", g_shortName));
    gf_requestClose();
}

// WM_APP+2: the position of the restored window is kept for the next start.
void lf_onQuit(platform::Window& window)
{
    auto& x = g_mainWindowState.MAIN_WINDOW_X;
    auto& y = g_mainWindowState.MAIN_WINDOW_Y;
    const int32_t previousX = x.current;
    const int32_t previousY = y.current;
    const platform::Rect rect =
        window.minimisedOrMaximised() ? window.normalRect() : window.windowRect();
    x.current = x.clamp(rect.left);
    gf_saveIntParameter(x);
    y.current = y.clamp(rect.top);
    gf_saveIntParameter(y);
    gf_keepWindowOnMonitor(previousX, previousY);
    gf_log(gf_timeString(platform::epochSeconds()));
    window.quit(g_exitCode);
}

void lf_onMessage(uint32_t message)
{
    auto* window = lf_window();
    if (!window) return;
    switch (static_cast<WindowMessage>(message)) {
    case WindowMessage::Close: lf_onClose(); break;
    case WindowMessage::StartUp: {
        std::function<void()> handler;
        {
            std::scoped_lock lock(g_startUpHandlerMutex);
            handler = g_startUpHandler;
        }
        if (handler) handler();
        break;
    }
    case WindowMessage::Quit: lf_onQuit(*window); break;
    case WindowMessage::RepaintMessageLine:
        window->invalidate(gf_areaRect(WindowArea::MessageBand));
        break;
    case WindowMessage::TopmostOn: window->setTopmost(true); break;
    case WindowMessage::TopmostOff: window->setTopmost(false); break;
    }
}

void lf_onCommand(uint16_t id, uint16_t code)
{
    lf_HandleWMCOMMAND(static_cast<uint32_t>(code) << 16U | id);
}

platform::WindowHandlers lf_handlers()
{
    platform::WindowHandlers handlers;
    handlers.paint = [](platform::Canvas& canvas) { lf_paintMainWindow(canvas); };
    handlers.message = lf_onMessage;
    handlers.close = lf_onClose;
    handlers.lost = lf_onLost;
    handlers.command = lf_onCommand;
    handlers.enter = lf_editEnter;
    return handlers;
}

// A window was asked for, by VNTQ_HEADLESS saying no or by a display named, and none could be
// had: the program runs headless all the same, and says so, rather than leave the user waiting
// for a window that never comes.
void lf_sayWhyNoWindow()
{
    const auto headless = platform::headlessSetting();
    const char* display = std::getenv("DISPLAY");
    const bool displayNamed = display != nullptr && *display != '\0';
    if (headless == true) return;
    std::string line;
    if (displayNamed) {
        line = fmt::format("The display {} cannot be opened: {} runs without a window", display,
                           g_shortName);
    } else if (headless == false) {
        line = fmt::format(
            "VNTQ_HEADLESS={} asks for a window, but DISPLAY is not set: {} runs without one",
            std::getenv("VNTQ_HEADLESS"), g_shortName);
    } else {
        return;
    }
    gf_log(line);
    gf_writeToTerminal(line);
}

// A value of VNTQ_HEADLESS that is neither yes nor no is said, rather than taken either way.
void lf_sayUnreadHeadlessSetting()
{
    const char* value = std::getenv("VNTQ_HEADLESS");
    if (value == nullptr || *value == '\0' || platform::headlessSetting()) return;
    const std::string line = fmt::format(
        "VNTQ_HEADLESS={} is neither yes nor no (1, true, yes, on or 0, false, no, off): {} "
        "shows a window when DISPLAY is set",
        value, g_shortName);
    gf_log(line);
    gf_writeToTerminal(line);
}

}  // namespace

void gf_setStartUpHandler(std::function<void()> handler)
{
    std::scoped_lock lock(g_startUpHandlerMutex);
    g_startUpHandler = std::move(handler);
}

bool initInstance(std::string_view title)
{
    if (!lf_waitUntilStateReady()) return false;
    const bool loaded = lf_loadWindowPosition();
    auto& state = g_mainWindowState;
    const platform::WindowSpec layout{std::string(title), state.MAIN_WINDOW_X.current,
                                      state.MAIN_WINDOW_Y.current, kClientWidth, kClientHeight};
    lf_sayUnreadHeadlessSetting();
    g_owner.window = platform::createWindow(layout, lf_handlers());
    if (!g_owner.window) return false;
    auto& window = *g_owner.window;
    if (window.headless()) lf_sayWhyNoWindow();
    lf_createControls(window);
    state.window = &window;
    // The window exists but is not shown yet, so its real size decides the placement.
    if (loaded) gf_keepWindowOnMonitor(kFallbackX, kFallbackY);
    window.show();
    window.invalidate(gf_areaRect(WindowArea::Whole));
    return true;
}

void gf_keepWindowOnMonitor(int32_t fallbackX, int32_t fallbackY)
{
    auto& settingX = g_mainWindowState.MAIN_WINDOW_X;
    auto& settingY = g_mainWindowState.MAIN_WINDOW_Y;
    bool replaced = lf_replaceBound(settingX, fallbackX);
    replaced |= lf_replaceBound(settingY, fallbackY);
    auto* window = lf_window();
    // Without a window there is neither a size nor a monitor to measure against: an empty
    // rectangle taken as its own work area would move the position 48 px up and left.
    if (!window) return;
    platform::Rect rect = window->windowRect();
    rect = {settingX.current, settingY.current, settingX.current + rect.width(),
            settingY.current + rect.height()};
    const auto work = platform::nearestWorkArea(rect, window->monitorWorkAreas());
    const auto place = lf_placeOnWorkArea(rect, work);
    if (place.x == settingX.current && place.y == settingY.current) {
        // The window itself still stands at the replaced position.
        if (replaced) window->moveTo(settingX.current, settingY.current);
        return;
    }
    settingX.current = settingX.clamp(place.x);
    settingY.current = settingY.clamp(place.y);
    gf_saveIntParameter(settingX);
    gf_saveIntParameter(settingY);
    window->moveTo(settingX.current, settingY.current);
}

int gf_runMessageLoop()
{
    auto* window = lf_window();
    return window ? window->run() : -1;
}

void gf_requestWindowClose()
{
    if (auto* window = lf_window()) {
        window->post(static_cast<uint32_t>(WindowMessage::Close));
        return;
    }
    // Without a window nobody would serve the message; the close itself is safe anywhere.
    lf_onClose();
}

void gf_setWindowTopmost(bool on)
{
    auto* window = lf_window();
    if (!window) return;
    if (window->isGuiThread()) {
        window->setTopmost(on);
        return;
    }
    window->post(static_cast<uint32_t>(on ? WindowMessage::TopmostOn : WindowMessage::TopmostOff));
}

void gf_closeMainWindow()
{
    g_mainWindowState.window = nullptr;
    lf_forgetControls();
    g_owner.window.reset();
}

}  // namespace qel
