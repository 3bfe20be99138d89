// The headless window: the same state as the real window in memory, its painting recorded
// instead of shown. It runs the program on a machine without a display, and tests drive it as
// a user would.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/window.h"

namespace qel::platform {

class HeadlessWindow final : public Window {
public:
    HeadlessWindow(const WindowSpec& layout, WindowHandlers handlers);

    Control& addControl(const ControlSpec& layout) override;
    void show() override;
    Rect windowRect() const override;
    Rect normalRect() const override;
    bool minimisedOrMaximised() const override;
    void moveTo(int x, int y) override;
    std::vector<Rect> monitorWorkAreas() const override;
    void setTopmost(bool on) override;
    int run() override;

    Control* control(uint16_t id) const override;
    std::vector<ControlSpec> controlSpecs() const override;
    void post(uint32_t message) override;
    void invalidate(const Rect& area) override;
    void quit(int exitCode) override;
    bool isGuiThread() const override;
    bool headless() const override { return true; }
    uint64_t paintCount() const override;
    bool waitForPaints(uint64_t count, std::chrono::milliseconds timeout) override;
    uint64_t nativeHandle() const override { return 0; }

    // A user's actions, reported to the handlers as the real window reports them; GUI thread.
    // A disabled or missing control ignores them.
    void click(uint16_t id);                      // a push button or check box
    void choose(uint16_t id, int index);          // a combo box entry
    void type(uint16_t id, std::u16string text);  // an edit box's new text
    void pressEnter(uint16_t id);
    void pressClose();

    // Serves the posted messages waiting now, in order, then paints once when a repaint is
    // due; never waits. Returns the number of messages served. GUI thread (tests).
    int pumpPending();
    std::vector<DrawOp> lastPaint() const;
    std::vector<Rect> takeInvalidated();  // the areas invalidated since the last call
    bool shown() const;
    bool topmost() const;
    bool quitRequested() const;

    // Test settings of the simulated desktop.
    void setMonitorWorkAreas(std::vector<Rect> areas);
    void setMinimised(bool minimised);

private:
    void paint();
    bool enabledControl(uint16_t id, ControlKind kind) const;

    const WindowHandlers handlers_;
    const std::thread::id guiThread_;
    const int width_;   // px, client area and window alike
    const int height_;  // px

    mutable std::mutex mutex_;  // guards everything below; a leaf lock taken by any thread
    std::condition_variable wake_;
    std::condition_variable painted_;
    std::map<uint16_t, std::unique_ptr<Control>> controls_;
    std::vector<ControlSpec> specs_;
    std::deque<uint32_t> messages_;
    std::vector<Rect> invalidated_;
    bool repaintDue_ = false;
    bool quit_ = false;
    int exitCode_ = 0;
    std::vector<DrawOp> lastPaint_;
    uint64_t paintCount_ = 0;
    int x_;
    int y_;
    bool shown_ = false;
    bool minimised_ = false;
    bool topmost_ = false;
    std::vector<Rect> workAreas_{{0, 0, 1920, 1040}};  // one full-HD monitor and its task bar
};

}  // namespace qel::platform
