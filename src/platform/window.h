// The window layer in place of the Windows user interface: one top-level window of fixed size
// with child controls addressed by id, painting into a double buffer, private messages posted
// from any thread and a close request that does not destroy the window. Two backends stand
// behind it: FLTK draws a real window; the headless backend keeps the same state in memory,
// records what is painted, and serves tests and machines without a display.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"

namespace qel::platform {

struct Colour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool operator==(const Colour&) const = default;
};

// Screen or client pixels; left and top inside, right and bottom just outside, as Windows
// rectangles are.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const Rect&) const = default;
};

// Where painting goes; the window's one font for text.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fillRect(const Rect& area, Colour colour) = 0;
    // One pixel wide from the first point up to, not including, the second, as LineTo draws.
    virtual void drawLine(int x1, int y1, int x2, int y2, Colour colour) = 0;
    // UTF-8 text with its top-left corner at (x, y) and a transparent background.
    virtual void drawText(int x, int y, std::string_view text, Colour colour) = 0;
};

// One recorded drawing step; a line keeps its two points in `area` (left, top to right,
// bottom).
struct DrawOp {
    enum class Kind { Fill, Line, Text };
    Kind kind = Kind::Fill;
    Rect area;
    std::string text;  // Text only: "# liveries: 1234"
    Colour colour;
};

// Keeps every step instead of drawing; the headless backend and tests.
class RecordingCanvas final : public Canvas {
public:
    void fillRect(const Rect& area, Colour colour) override;
    void drawLine(int x1, int y1, int x2, int y2, Colour colour) override;
    void drawText(int x, int y, std::string_view text, Colour colour) override;

    const std::vector<DrawOp>& ops() const { return ops_; }
    // The last text step with exactly this text, or none.
    std::optional<DrawOp> findText(std::string_view text) const;
    // The last text step whose top-left corner is (x, y), or none.
    std::optional<DrawOp> textAt(int x, int y) const;

private:
    std::vector<DrawOp> ops_;
};

// Private messages are numbered as on Windows: WM_APP + n.
inline constexpr uint32_t kAppMessage = 0x8000;
// A command's notification code: a button or check box was clicked (BN_CLICKED), a combo box's
// selection was changed by the user (CBN_SELCHANGE).
inline constexpr uint16_t kClicked = 0;
inline constexpr uint16_t kSelectionChanged = 1;

// How a window can be taken from under the program: its X server went away (a log-out, a server
// that crashed), or another program destroyed the window.
enum class WindowLoss { Display, Window };

// What the window reports; every handler runs on the GUI thread.
struct WindowHandlers {
    std::function<void(Canvas&)> paint;                       // the whole client area
    std::function<void(uint32_t message)> message;            // a posted message
    std::function<void()> close;                              // the close button; window stays
    std::function<void(uint16_t id, uint16_t code)> command;  // a control was used
    std::function<void(uint16_t id)> enter;                   // Enter in an edit box
    // Nothing shows any more; posted messages are still served, and quit still ends run().
    std::function<void(WindowLoss)> lost;
};

struct ControlSpec {
    ControlKind kind = ControlKind::Button;
    uint16_t id = 0;            // 32771..32862
    Rect bounds;                // client pixels; a combo box's closed part
    std::string caption;        // a push button's label: "Re-read"
    int dropDownHeight_px = 0;  // combo boxes: the height of the open list
};

struct WindowSpec {
    std::string title;  // "VNTQ"
    int x = 0;          // screen px of the window's top-left corner
    int y = 0;
    int clientWidth = 0;   // px
    int clientHeight = 0;  // px
};

class Window {
public:
    virtual ~Window() = default;

    // GUI thread. Controls are added before the window is shown and live as long as it does.
    virtual Control& addControl(const ControlSpec& layout) = 0;
    virtual void show() = 0;
    virtual Rect windowRect() const = 0;  // screen px, the whole window
    virtual Rect normalRect() const = 0;  // the same for the restored window
    virtual bool minimisedOrMaximised() const = 0;
    virtual void moveTo(int x, int y) = 0;  // size, z-order and activation unchanged
    virtual std::vector<Rect> monitorWorkAreas() const = 0;  // screen px
    virtual void setTopmost(bool on) = 0;
    // Serves posted messages, repaints and input until quit; returns the quit's exit code.
    virtual int run() = 0;

    // Any thread.
    virtual Control* control(uint16_t id) const = 0;            // null when no control has the id
    virtual std::vector<ControlSpec> controlSpecs() const = 0;  // in creation order
    virtual void post(uint32_t message) = 0;
    virtual void invalidate(const Rect& area) = 0;  // client px; repainted soon, never at once
    virtual void quit(int exitCode) = 0;
    virtual bool isGuiThread() const = 0;
    virtual bool headless() const = 0;

    // Paints finished and on screen so far, and a wait for the n-th one (false on time-out);
    // tests and screenshots.
    virtual uint64_t paintCount() const = 0;
    virtual bool waitForPaints(uint64_t count, std::chrono::milliseconds timeout) = 0;
    // The X window id, 0 for the headless window.
    virtual uint64_t nativeHandle() const = 0;
};

// The work area that a window at `window` belongs to: the one it overlaps most, else the
// nearest one; `window` itself when there are none.
Rect nearestWorkArea(const Rect& window, const std::vector<Rect>& workAreas);

// What VNTQ_HEADLESS says, in any case: 1, true, yes or on is true (no window), 0, false, no
// or off false; nothing when it is not set or says none of these. Never throws.
std::optional<bool> headlessSetting();
// True when the window must be headless: VNTQ_HEADLESS says so, or there is no DISPLAY.
bool headlessWanted();

// Creates the window on the calling thread, which becomes its GUI thread: the FLTK window when
// a display can be opened and headless is not wanted, else the headless one. Not shown yet.
std::unique_ptr<Window> createWindow(const WindowSpec& layout, WindowHandlers handlers);
std::unique_ptr<Window> createHeadlessWindow(const WindowSpec& layout, WindowHandlers handlers);
// Null when no display can be opened. While it exists, message boxes are shown by it.
std::unique_ptr<Window> createFltkWindow(const WindowSpec& layout, WindowHandlers handlers);

}  // namespace qel::platform
