// The main window's record, its repaint areas, the window's messages and a setting shown in its
// control.
#include "foundation/window_status.h"

#include <exception>
#include <mutex>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "foundation/log.h"
#include "platform/text.h"

namespace qel {

// The window pointer and the ready flag are atomic; its settings are guarded as every setting.
MainWindowState g_mainWindowState;
std::mutex g_messageMutex;

SharedText& SharedText::operator=(const SharedText& other)
{
    if (this != &other) set(other.get());
    return *this;
}

void SharedText::set(std::string text)
{
    std::scoped_lock lock(mutex_);
    text_ = std::move(text);
}

std::string SharedText::get() const
{
    std::scoped_lock lock(mutex_);
    return text_;
}

bool SharedText::empty() const
{
    std::scoped_lock lock(mutex_);
    return text_.empty();
}

MainWindowState::MainWindowState()
{
    // Last, so that initInstance sees every member built.
    ready = true;
}

MainWindowState::~MainWindowState() = default;

platform::Rect gf_areaRect(WindowArea area)
{
    switch (area) {
    case WindowArea::StatusStrip: return {0, 28, 880, 112};
    case WindowArea::ControlBand: return {0, 112, 880, 392};
    case WindowArea::Statistics: return {0, 392, 880, 448};
    case WindowArea::MessageBand: return {0, 448, 880, 476};
    case WindowArea::Whole: break;
    }
    return {0, 0, kClientWidth, kClientHeight};
}

void gf_invalidateArea(WindowArea area)
{
    if (auto* window = g_mainWindowState.window.load()) window->invalidate(gf_areaRect(area));
}

bool gf_headlessWindow()
{
    const auto* window = g_mainWindowState.window.load();
    return window != nullptr && window->headless();
}

void gf_postWindowMessage(WindowMessage message)
{
    if (auto* window = g_mainWindowState.window.load()) {
        window->post(static_cast<uint32_t>(message));
    }
}

namespace {

// The setting's control: the one stored in it, else the one with its id in the main window, as
// GetDlgItem finds it. Nothing, and nothing logged, before the window exists.
platform::Control* lf_findControl(const ControlBinding& binding)
{
    if (auto* control = binding.controlWindow.load()) return control;
    auto* window = g_mainWindowState.window.load();
    if (!window) return nullptr;
    auto* control = window->control(binding.controlId);
    if (!control) gf_log(fmt::format("GetDlgItem failed for ID {}", binding.controlId));
    return control;
}

}  // namespace

void gf_showIntParameter(const IntParameter& setting)
{
    const auto* binding = dynamic_cast<const ControlBinding*>(&setting);
    if (!binding) return;
    auto* control = lf_findControl(*binding);
    if (!control) return;
    const std::u16string text = utf8_to_wide(std::to_string(setting.current.load()));
    if (control->kind() == platform::ControlKind::ComboBox) {
        // A drop-down list shows only its entries: a value between two choices shows none.
        const auto items = control->comboItems();
        int index = -1;
        for (std::size_t i = 0; i < items.size() && index < 0; ++i) {
            if (items[i] == text) index = static_cast<int>(i);
        }
        control->comboSetSelection(index);
    } else {
        control->setText(text);
    }
    gf_invalidateArea(WindowArea::ControlBand);
}

void gf_showTextParameter(const StringParameter& setting)
{
    const auto* binding = dynamic_cast<const ControlBinding*>(&setting);
    if (!binding) return;
    auto* control = lf_findControl(*binding);
    if (!control) return;
    const std::string text = setting.value();
    try {
        if (control->kind() == platform::ControlKind::ComboBox) {
            control->comboSelectPrefix(utf8_to_wide(text));
        } else {
            control->setText(utf8_to_wide(text));
        }
    } catch (const std::exception& e) {
        // A hand-edited parameters.xml may hold any bytes; the control then stays as it was.
        gf_log(fmt::format("utf8_to_wide failed for '{}': {}", text, e.what()));
        return;
    }
    gf_invalidateArea(WindowArea::ControlBand);
}

void gf_showBoolParameter(const ControlBoolParameter& setting)
{
    if (auto* control = setting.controlWindow.load()) control->setChecked(setting.current);
    gf_invalidateArea(WindowArea::ControlBand);
}

}  // namespace qel
