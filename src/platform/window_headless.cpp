// The headless window: posted messages and repaints served in order on the thread that runs
// the loop, painting recorded by a RecordingCanvas.
#include "platform/window_headless.h"

#include <utility>

namespace qel::platform {

HeadlessWindow::HeadlessWindow(const WindowSpec& layout, WindowHandlers handlers)
    : handlers_(std::move(handlers)),
      guiThread_(std::this_thread::get_id()),
      width_(layout.clientWidth),
      height_(layout.clientHeight),
      x_(layout.x),
      y_(layout.y)
{
}

Control& HeadlessWindow::addControl(const ControlSpec& layout)
{
    std::scoped_lock lock(mutex_);
    auto& slot = controls_[layout.id];
    slot = std::make_unique<Control>(layout.kind, layout.id);
    specs_.push_back(layout);
    return *slot;
}

void HeadlessWindow::show()
{
    std::scoped_lock lock(mutex_);
    shown_ = true;
    repaintDue_ = true;
    wake_.notify_all();
}

Rect HeadlessWindow::windowRect() const
{
    std::scoped_lock lock(mutex_);
    // Where Windows parks a minimised window.
    if (minimised_) return {-32000, -32000, -32000 + 160, -32000 + 28};
    return {x_, y_, x_ + width_, y_ + height_};
}

Rect HeadlessWindow::normalRect() const
{
    std::scoped_lock lock(mutex_);
    return {x_, y_, x_ + width_, y_ + height_};
}

bool HeadlessWindow::minimisedOrMaximised() const
{
    std::scoped_lock lock(mutex_);
    return minimised_;
}

void HeadlessWindow::moveTo(int x, int y)
{
    std::scoped_lock lock(mutex_);
    x_ = x;
    y_ = y;
}

std::vector<Rect> HeadlessWindow::monitorWorkAreas() const
{
    std::scoped_lock lock(mutex_);
    return workAreas_;
}

void HeadlessWindow::setTopmost(bool on)
{
    std::scoped_lock lock(mutex_);
    topmost_ = on;
}

int HeadlessWindow::run()
{
    for (;;) {
        uint32_t message = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock,
                       [this] { return quit_ || !messages_.empty() || (repaintDue_ && shown_); });
            if (quit_) return exitCode_;
            if (messages_.empty()) {
                lock.unlock();
                paint();
                continue;
            }
            message = messages_.front();
            messages_.pop_front();
        }
        if (handlers_.message) handlers_.message(message);
    }
}

Control* HeadlessWindow::control(uint16_t id) const
{
    std::scoped_lock lock(mutex_);
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second.get();
}

std::vector<ControlSpec> HeadlessWindow::controlSpecs() const
{
    std::scoped_lock lock(mutex_);
    return specs_;
}

void HeadlessWindow::post(uint32_t message)
{
    std::scoped_lock lock(mutex_);
    messages_.push_back(message);
    wake_.notify_all();
}

void HeadlessWindow::invalidate(const Rect& area)
{
    std::scoped_lock lock(mutex_);
    invalidated_.push_back(area);
    repaintDue_ = true;
    wake_.notify_all();
}

void HeadlessWindow::quit(int exitCode)
{
    std::scoped_lock lock(mutex_);
    if (quit_) return;
    quit_ = true;
    exitCode_ = exitCode;
    wake_.notify_all();
}

bool HeadlessWindow::isGuiThread() const { return std::this_thread::get_id() == guiThread_; }

uint64_t HeadlessWindow::paintCount() const
{
    std::scoped_lock lock(mutex_);
    return paintCount_;
}

bool HeadlessWindow::waitForPaints(uint64_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return painted_.wait_for(lock, timeout, [&] { return paintCount_ >= count; });
}

bool HeadlessWindow::enabledControl(uint16_t id, ControlKind kind) const
{
    const Control* found = control(id);
    return found && found->kind() == kind && found->enabled();
}

void HeadlessWindow::click(uint16_t id)
{
    const Control* found = control(id);
    if (!found || !found->enabled()) return;
    if (found->kind() != ControlKind::Button && found->kind() != ControlKind::CheckBox) return;
    if (handlers_.command) handlers_.command(id, kClicked);
}

void HeadlessWindow::choose(uint16_t id, int index)
{
    if (!enabledControl(id, ControlKind::ComboBox)) return;
    control(id)->comboSetSelection(index);
    if (handlers_.command) handlers_.command(id, kSelectionChanged);
}

void HeadlessWindow::type(uint16_t id, std::u16string text)
{
    if (enabledControl(id, ControlKind::Edit)) control(id)->setText(std::move(text));
}

void HeadlessWindow::pressEnter(uint16_t id)
{
    if (enabledControl(id, ControlKind::Edit) && handlers_.enter) handlers_.enter(id);
}

void HeadlessWindow::pressClose()
{
    if (handlers_.close) handlers_.close();
}

int HeadlessWindow::pumpPending()
{
    int served = 0;
    for (;;) {
        uint32_t message = 0;
        {
            std::scoped_lock lock(mutex_);
            if (messages_.empty()) break;
            message = messages_.front();
            messages_.pop_front();
        }
        if (handlers_.message) handlers_.message(message);
        ++served;
    }
    bool due = false;
    {
        std::scoped_lock lock(mutex_);
        due = repaintDue_ && shown_;
    }
    if (due) paint();
    return served;
}

void HeadlessWindow::paint()
{
    {
        std::scoped_lock lock(mutex_);
        repaintDue_ = false;
    }
    RecordingCanvas canvas;
    if (handlers_.paint) handlers_.paint(canvas);
    std::scoped_lock lock(mutex_);
    lastPaint_ = canvas.ops();
    ++paintCount_;
    painted_.notify_all();
}

std::vector<DrawOp> HeadlessWindow::lastPaint() const
{
    std::scoped_lock lock(mutex_);
    return lastPaint_;
}

std::vector<Rect> HeadlessWindow::takeInvalidated()
{
    std::scoped_lock lock(mutex_);
    return std::exchange(invalidated_, {});
}

bool HeadlessWindow::shown() const
{
    std::scoped_lock lock(mutex_);
    return shown_;
}

bool HeadlessWindow::topmost() const
{
    std::scoped_lock lock(mutex_);
    return topmost_;
}

bool HeadlessWindow::quitRequested() const
{
    std::scoped_lock lock(mutex_);
    return quit_;
}

void HeadlessWindow::setMonitorWorkAreas(std::vector<Rect> areas)
{
    std::scoped_lock lock(mutex_);
    workAreas_ = std::move(areas);
}

void HeadlessWindow::setMinimised(bool minimised)
{
    std::scoped_lock lock(mutex_);
    minimised_ = minimised;
}

std::unique_ptr<Window> createHeadlessWindow(const WindowSpec& layout, WindowHandlers handlers)
{
    return std::make_unique<HeadlessWindow>(layout, std::move(handlers));
}

}  // namespace qel::platform
