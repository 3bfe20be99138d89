// The real window, drawn by FLTK on X11: the client area painted into FLTK's off-screen buffer
// and copied in one block, the controls as FLTK widgets mirroring their Control state, and
// message boxes as FLTK dialogs.
//
// Threads: the thread that creates the window is its GUI thread and owns every FLTK object.
// Other threads never touch FLTK except through Fl::awake: they queue posted messages, repaint
// requests, control changes and message boxes under queueMutex_ and wake the GUI thread, which
// drains the queue. A thread that shows a message box waits for its box to close; the GUI
// thread never waits for another thread. Locks: queueMutex_ is a leaf; a Control's own lock is
// never held while it is taken. Stops when quit() is called, from any thread.
//
// A window can be taken from under the program. When the X server goes away, the loop is left
// from wherever the break struck (x11Run), and the GUI thread asks FLTK and X for nothing more:
// it reports the loss and serves the posted messages from its queue alone until quit, message
// boxes going to standard error, and the widgets are left to the process end. A window destroyed by another program is hidden by FLTK, which reports it as a
// close; it is reported as lost instead, and the loop runs on.

// The program's headers come first: fl_draw.H brings in Xlib, whose macro None would break
// MessageBoxIcon::None.
#include "platform/text.h"
#include "platform/terminal.h"
#include "platform/window.h"
#include "platform/window_fltk_widgets.h"
#include "platform/window_x11.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>
#include <fmt/format.h>

namespace qel::platform {

namespace {

using namespace fltk;

struct BoxRequest {
    RecordedMessageBox box;
    std::promise<void> closed;
    bool answered = false;  // guarded by queueMutex_
};

class FltkWindow;
FltkWindow* g_liveWindow = nullptr;  // GUI thread only: the one window that awake serves

class FltkWindow final : public Window {
public:
    FltkWindow(const WindowSpec& layout, WindowHandlers handlers);
    ~FltkWindow() override;

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
    bool isGuiThread() const override { return std::this_thread::get_id() == guiThread_; }
    bool headless() const override { return false; }
    uint64_t paintCount() const override;
    bool waitForPaints(uint64_t count, std::chrono::milliseconds timeout) override;
    uint64_t nativeHandle() const override;

    void paintClient();   // GUI thread, inside the main widget's draw
    void closeClicked();  // also a window destroyed from outside

private:
    class MainWidget;
    struct Entry {
        std::unique_ptr<Control> control;
        Fl_Widget* widget = nullptr;  // owned by the main widget
        Mirror* mirror = nullptr;
    };

    static void onAwake(void*);
    // A user's click, choice or typing in a control's widget; `data` is its Control.
    static void onWidgetUsed(Fl_Widget* widget, void* data);
    void wake();
    void drain();
    void serveWithDisplay();
    void serveWithoutDisplay();
    void printBox(const RecordedMessageBox& box);
    void showBox(const std::shared_ptr<BoxRequest>& request, bool waitHere);
    void answer(const std::shared_ptr<BoxRequest>& request);
    void answerAll();
    void messageBoxFromAnyThread(const RecordedMessageBox& box);
    void rememberNormalPosition();
    int decoratedWidth() const;
    int decoratedHeight() const;

    const WindowHandlers handlers_;
    const std::thread::id guiThread_;
    std::unique_ptr<MainWidget> main_;
    std::map<uint16_t, Entry> controls_;  // built before show, then only read
    std::vector<ControlSpec> specs_;
    bool topmost_ = false;  // GUI thread
    uint64_t shownId_ = 0;  // GUI thread: the X id the window got when shown
    int normalX_;           // GUI thread: the last position while restored
    int normalY_;
    bool drawn_ = false;            // GUI thread: a paint since the last sync with the server
    std::set<BoxDialog*> dialogs_;  // GUI thread: the message boxes on screen

    mutable std::mutex queueMutex_;  // guards the fields below; a leaf lock
    std::condition_variable painted_;
    std::deque<uint32_t> messages_;
    std::set<uint16_t> changedControls_;
    bool repaintDue_ = false;
    std::deque<std::shared_ptr<BoxRequest>> boxes_;
    std::set<std::shared_ptr<BoxRequest>> openBoxes_;
    bool loopEnded_ = false;
    uint64_t paintCount_ = 0;

    std::condition_variable queueChanged_;  // with queueMutex_: served without a display

    std::atomic<bool> drainScheduled_{false};
    std::atomic<bool> quitRequested_{false};
    std::atomic<int> exitCode_{0};
    std::atomic<bool> displayGone_{false};  // set by the GUI thread; nothing asked of X since
};

class FltkWindow::MainWidget final : public Fl_Double_Window {
public:
    MainWidget(FltkWindow& owner, const WindowSpec& layout)
        : Fl_Double_Window(layout.x, layout.y, layout.clientWidth, layout.clientHeight),
          owner_(owner),
          title_(layout.title)
    {
        label(title_.c_str());
        xclass(title_.c_str());
        box(FL_NO_BOX);
        size_range(layout.clientWidth, layout.clientHeight, layout.clientWidth,
                   layout.clientHeight);
        callback([](Fl_Widget* w, void*) { static_cast<MainWidget*>(w)->owner_.closeClicked(); });
        end();
    }

    void draw() override
    {
        // Damage of a child alone (a key typed, a focus gained) is drawn by that child over the
        // buffer's last picture; painting the bands would cover the other children, which FLTK
        // then does not draw again, and the parts of this one it leaves as they were.
        if ((damage() & ~FL_DAMAGE_CHILD) != 0) owner_.paintClient();
        draw_children();
    }

private:
    FltkWindow& owner_;
    const std::string title_;
};

FltkWindow::FltkWindow(const WindowSpec& layout, WindowHandlers handlers)
    : handlers_(std::move(handlers)),
      guiThread_(std::this_thread::get_id()),
      main_(std::make_unique<MainWidget>(*this, layout)),
      normalX_(layout.x),
      normalY_(layout.y)
{
    g_liveWindow = this;
    setMessageBoxBackend([this](const RecordedMessageBox& box) { messageBoxFromAnyThread(box); });
}

FltkWindow::~FltkWindow()
{
    setMessageBoxBackend({});
    answerAll();
    g_liveWindow = nullptr;
    if (displayGone_) {
        // Taking the widgets down would talk to the server that is gone; the process ends.
        static_cast<void>(main_.release());
        return;
    }
    for (auto* dialog : std::set<BoxDialog*>(dialogs_)) dialog->finish();
    main_->hide();
    main_.reset();
    Fl::flush();
}

Control& FltkWindow::addControl(const ControlSpec& layout)
{
    Entry entry;
    entry.control = std::make_unique<Control>(layout.kind, layout.id);
    const uint16_t id = layout.id;
    main_->begin();
    switch (layout.kind) {
    case ControlKind::CheckBox: {
        auto* widget = new CheckWidget(layout.bounds);
        entry.widget = widget;
        entry.mirror = widget;
        break;
    }
    case ControlKind::ComboBox: {
        auto* widget = new ComboWidget(layout.bounds);
        entry.widget = widget;
        entry.mirror = widget;
        break;
    }
    case ControlKind::Edit: {
        auto* widget = new EditWidget(layout.bounds, [this, id] {
            if (handlers_.enter) handlers_.enter(id);
        });
        entry.widget = widget;
        entry.mirror = widget;
        break;
    }
    case ControlKind::Button: {
        auto* widget = new ButtonWidget(layout.bounds, layout.caption);
        entry.widget = widget;
        entry.mirror = widget;
        break;
    }
    }
    main_->end();
    Control* control = entry.control.get();
    entry.widget->callback(&FltkWindow::onWidgetUsed, control);
    control->setChangeListener([this, id] {
        {
            std::scoped_lock lock(queueMutex_);
            changedControls_.insert(id);
        }
        wake();
    });
    entry.mirror->sync(*control);
    controls_.emplace(id, std::move(entry));
    specs_.push_back(layout);
    return *control;
}

void FltkWindow::show()
{
    main_->show();
    shownId_ = nativeHandle();
    if (topmost_) setTopmost(true);
}

Rect FltkWindow::windowRect() const
{
    return {main_->x(), main_->y(), main_->x() + decoratedWidth(), main_->y() + decoratedHeight()};
}

Rect FltkWindow::normalRect() const
{
    return {normalX_, normalY_, normalX_ + decoratedWidth(), normalY_ + decoratedHeight()};
}

// The frame's size is asked of the server; without one the client area is all that is known.
int FltkWindow::decoratedWidth() const { return displayGone_ ? main_->w() : main_->decorated_w(); }

int FltkWindow::decoratedHeight() const { return displayGone_ ? main_->h() : main_->decorated_h(); }

bool FltkWindow::minimisedOrMaximised() const { return main_->shown() && !main_->visible(); }

void FltkWindow::moveTo(int x, int y)
{
    if (displayGone_) {
        normalX_ = x;
        normalY_ = y;
        return;
    }
    main_->position(x, y);
    rememberNormalPosition();
}

std::vector<Rect> FltkWindow::monitorWorkAreas() const
{
    std::vector<Rect> areas;
    if (displayGone_) return areas;
    for (int n = 0; n < Fl::screen_count(); ++n) {
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;
        Fl::screen_work_area(x, y, w, h, n);
        areas.push_back({x, y, x + w, y + h});
    }
    return areas;
}

void FltkWindow::setTopmost(bool on)
{
    topmost_ = on;
    if (main_->shown() && !displayGone_) x11SetTopmost(nativeHandle(), on);
}

void FltkWindow::rememberNormalPosition()
{
    if (main_->shown() && !main_->visible()) return;
    normalX_ = main_->x();
    normalY_ = main_->y();
}

int FltkWindow::run()
{
    // A break of the connection ends the loop from wherever it struck it, a paint's middle too.
    if (x11DisplayLost() || !x11Run([this] { serveWithDisplay(); })) serveWithoutDisplay();
    answerAll();
    return exitCode_;
}

void FltkWindow::serveWithDisplay()
{
    while (!quitRequested_) {
        Fl::wait(0.5);
        drain();
        Fl::flush();
        rememberNormalPosition();
        if (!drawn_) continue;
        drawn_ = false;
        // The picture is on the server before anyone is told it was painted.
        x11Sync();
        std::scoped_lock lock(queueMutex_);
        ++paintCount_;
        painted_.notify_all();
    }
    // A child's own drawing is not counted as a paint; it too is on the server once the loop
    // has ended.
    x11Sync();
}

void FltkWindow::serveWithoutDisplay()
{
    displayGone_ = true;
    // Nobody can see or close a box any more: those waiting are let go, later ones printed.
    answerAll();
    if (handlers_.lost) handlers_.lost(WindowLoss::Display);
    while (!quitRequested_) {
        std::deque<uint32_t> messages;
        {
            std::unique_lock lock(queueMutex_);
            // Bounded: a wake that went to FLTK just before the loss reaches nobody.
            queueChanged_.wait_for(lock, std::chrono::milliseconds(500),
                                   [this] { return !messages_.empty() || quitRequested_; });
            messages.swap(messages_);
            changedControls_.clear();
            repaintDue_ = false;
        }
        for (uint32_t message : messages) {
            if (handlers_.message) handlers_.message(message);
        }
    }
}

Control* FltkWindow::control(uint16_t id) const
{
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second.control.get();
}

std::vector<ControlSpec> FltkWindow::controlSpecs() const { return specs_; }

void FltkWindow::post(uint32_t message)
{
    {
        std::scoped_lock lock(queueMutex_);
        messages_.push_back(message);
    }
    wake();
}

void FltkWindow::invalidate(const Rect& /*area*/)
{
    // The whole client area is painted at once: it costs little and keeps the bands whole.
    {
        std::scoped_lock lock(queueMutex_);
        repaintDue_ = true;
    }
    wake();
}

void FltkWindow::quit(int exitCode)
{
    if (quitRequested_.exchange(true)) return;
    exitCode_ = exitCode;
    wake();
}

uint64_t FltkWindow::paintCount() const
{
    std::scoped_lock lock(queueMutex_);
    return paintCount_;
}

bool FltkWindow::waitForPaints(uint64_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(queueMutex_);
    return painted_.wait_for(lock, timeout, [&] { return paintCount_ >= count; });
}

uint64_t FltkWindow::nativeHandle() const { return x11WindowId(main_.get()); }

void FltkWindow::paintClient()
{
    FltkCanvas canvas;
    fl_font(kFont, kPaintFontSize);
    if (handlers_.paint) handlers_.paint(canvas);
    drawn_ = true;
}

void FltkWindow::closeClicked()
{
    // FLTK closes a window on Escape as well; only the close button is a close request.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    if (x11Destroyed(shownId_)) {
        // FLTK hides what is left of it, with requests on the destroyed window that must fail.
        x11ExpectFailedRequests();
        if (handlers_.lost) handlers_.lost(WindowLoss::Window);
        return;
    }
    if (handlers_.close) handlers_.close();
}

void FltkWindow::onWidgetUsed(Fl_Widget* widget, void* data)
{
    auto* window = g_liveWindow;
    auto* control = static_cast<Control*>(data);
    if (!window) return;
    const auto& command = window->handlers_.command;
    switch (control->kind()) {
    case ControlKind::ComboBox:
        control->comboSetSelection(static_cast<Fl_Choice*>(widget)->value());
        if (command) command(control->id(), kSelectionChanged);
        break;
    case ControlKind::Edit: {
        const char* text = static_cast<Fl_Input*>(widget)->value();
        try {
            control->setText(utf8_to_wide(text ? text : ""));
        } catch (const std::exception&) {
            // FLTK hands out UTF-8; a broken sequence keeps the previous text.
        }
        break;
    }
    case ControlKind::CheckBox:
    case ControlKind::Button:
        if (command) command(control->id(), kClicked);
        break;
    }
}

void FltkWindow::onAwake(void*)
{
    if (g_liveWindow) g_liveWindow->drain();
}

void FltkWindow::wake()
{
    if (displayGone_) {
        // Under the lock, so that a quit set just now does not fall between the GUI thread's
        // look at it and its wait.
        std::scoped_lock lock(queueMutex_);
        queueChanged_.notify_all();
        return;
    }
    if (!drainScheduled_.exchange(true)) Fl::awake(&FltkWindow::onAwake, nullptr);
}

void FltkWindow::drain()
{
    // Cleared before taking the queue, so that anything queued later schedules a new drain.
    drainScheduled_ = false;
    std::deque<uint32_t> messages;
    std::set<uint16_t> changed;
    std::deque<std::shared_ptr<BoxRequest>> boxes;
    bool repaint = false;
    {
        std::scoped_lock lock(queueMutex_);
        messages.swap(messages_);
        changed.swap(changedControls_);
        boxes.swap(boxes_);
        repaint = std::exchange(repaintDue_, false);
    }
    for (uint16_t id : changed) {
        const auto found = controls_.find(id);
        if (found != controls_.end()) found->second.mirror->sync(*found->second.control);
    }
    if (repaint) main_->redraw();
    for (const auto& request : boxes) showBox(request, false);
    for (uint32_t message : messages) {
        if (handlers_.message) handlers_.message(message);
    }
}

void FltkWindow::messageBoxFromAnyThread(const RecordedMessageBox& box)
{
    auto request = std::make_shared<BoxRequest>();
    request->box = box;
    if (isGuiThread()) {
        if (displayGone_) {
            printBox(box);
            return;
        }
        showBox(request, true);
        return;
    }
    auto closed = request->closed.get_future();
    {
        std::scoped_lock lock(queueMutex_);
        if (loopEnded_) {
            printBox(box);
            return;
        }
        boxes_.push_back(request);
    }
    wake();
    closed.wait();
}

void FltkWindow::printBox(const RecordedMessageBox& box)
{
    // Queued: a terminal that takes nothing must not hold the thread that says it.
    writeToStandardError(fmt::format("{}: {}\n", box.caption, box.text));
}

void FltkWindow::showBox(const std::shared_ptr<BoxRequest>& request, bool waitHere)
{
    {
        std::scoped_lock lock(queueMutex_);
        openBoxes_.insert(request);
    }
    auto* dialog = new BoxDialog(request->box);
    dialogs_.insert(dialog);
    dialog->onClosed([this, request, dialog] {
        dialogs_.erase(dialog);
        answer(request);
    });
    dialog->set_modal();
    dialog->show();
    if (!waitHere) return;
    // The caller is the GUI thread itself: it serves the window until the box is closed, as
    // Windows runs a message box's own loop.
    bool open = true;
    while (open && !quitRequested_) {
        Fl::wait(0.5);
        std::scoped_lock lock(queueMutex_);
        open = !request->answered;
    }
    if (open) dialog->finish();
}

void FltkWindow::answer(const std::shared_ptr<BoxRequest>& request)
{
    std::scoped_lock lock(queueMutex_);
    if (request->answered) return;
    request->answered = true;
    request->closed.set_value();
    openBoxes_.erase(request);
}

void FltkWindow::answerAll()
{
    // No caller may wait for a box that will never be shown or closed.
    std::scoped_lock lock(queueMutex_);
    loopEnded_ = true;
    for (const auto& request : boxes_) openBoxes_.insert(request);
    boxes_.clear();
    for (const auto& request : openBoxes_) {
        if (!request->answered) {
            request->answered = true;
            request->closed.set_value();
        }
    }
    openBoxes_.clear();
}

}  // namespace

std::unique_ptr<Window> createFltkWindow(const WindowSpec& layout, WindowHandlers handlers)
{
    if (!x11OpenDisplayForFltk()) return nullptr;
    // Enables Fl::awake from other threads; the GUI thread holds the lock outside Fl::wait.
    Fl::lock();
    Fl::scheme("gtk+");
    return std::make_unique<FltkWindow>(layout, std::move(handlers));
}

}  // namespace qel::platform
