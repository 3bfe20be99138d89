// Control state and the message box, drawn by whatever backend the window installs.
#include "platform/controls.h"

#include <fmt/format.h>

#include <utility>

#include "platform/terminal.h"

namespace qel::platform {
namespace {

std::mutex g_messageBoxMutex;  // guards the three fields below; a leaf lock
bool g_recordingMessageBoxes = false;
std::vector<RecordedMessageBox> g_recordedMessageBoxes;
std::function<void(const RecordedMessageBox&)> g_messageBoxBackend;

// Simple case folding for the combo search: ASCII, Latin-1 and the one Latin-1 lower-case
// letter whose capital lies outside it (ÿ, Ÿ = U+0178). Enough for the program's item lists,
// which are numbers, simulator names and airport codes.
char16_t lf_foldCase(char16_t c)
{
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return static_cast<char16_t>(c + 0x20);
    if (c == 0x0178) return 0x00FF;
    return c;
}

bool lf_startsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix)
{
    if (prefix.size() > text.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (lf_foldCase(text[i]) != lf_foldCase(prefix[i])) return false;
    }
    return true;
}

}  // namespace

void Control::setChecked(bool checked)
{
    {
        std::scoped_lock lock(mutex_);
        checked_ = checked;
    }
    changed();
}

bool Control::checked() const
{
    std::scoped_lock lock(mutex_);
    return checked_;
}

void Control::setText(std::u16string text)
{
    {
        std::scoped_lock lock(mutex_);
        text_ = std::move(text);
    }
    changed();
}

std::u16string Control::text() const
{
    std::scoped_lock lock(mutex_);
    return text_;
}

void Control::setEnabled(bool enabled)
{
    {
        std::scoped_lock lock(mutex_);
        enabled_ = enabled;
    }
    changed();
}

bool Control::enabled() const
{
    std::scoped_lock lock(mutex_);
    return enabled_;
}

void Control::comboReset()
{
    {
        std::scoped_lock lock(mutex_);
        items_.clear();
        selection_ = -1;
        text_.clear();
    }
    changed();
}

void Control::comboAdd(std::u16string item)
{
    {
        std::scoped_lock lock(mutex_);
        items_.push_back(std::move(item));
    }
    changed();
}

void Control::comboSetSelection(int index)
{
    {
        std::scoped_lock lock(mutex_);
        selectLocked(index);
    }
    changed();
}

int Control::comboSelection() const
{
    std::scoped_lock lock(mutex_);
    return selection_;
}

std::vector<std::u16string> Control::comboItems() const
{
    std::scoped_lock lock(mutex_);
    return items_;
}

int Control::comboSelectPrefix(std::u16string_view prefix)
{
    int found = -1;
    {
        std::scoped_lock lock(mutex_);
        for (size_t i = 0; i < items_.size(); ++i) {
            if (lf_startsWithIgnoringCase(items_[i], prefix)) {
                selectLocked(static_cast<int>(i));
                found = selection_;
                break;
            }
        }
    }
    if (found >= 0) changed();
    return found;
}

void Control::setChangeListener(std::function<void()> listener) { listener_ = std::move(listener); }

void Control::changed() const
{
    if (listener_) listener_();
}

void Control::selectLocked(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) {
        selection_ = -1;
        text_.clear();
        return;
    }
    selection_ = index;
    text_ = items_[static_cast<size_t>(index)];
}

void messageBox(std::string_view text, std::string_view caption, MessageBoxIcon icon)
{
    RecordedMessageBox box{std::string(text), std::string(caption), icon};
    std::function<void(const RecordedMessageBox&)> backend;
    {
        std::scoped_lock lock(g_messageBoxMutex);
        if (g_recordingMessageBoxes) {
            g_recordedMessageBoxes.push_back(std::move(box));
            return;
        }
        backend = g_messageBoxBackend;
    }
    // The backend blocks until the box is closed, so it runs outside the lock.
    if (backend) {
        backend(box);
        return;
    }
    // Queued: a terminal that takes nothing must not hold the thread that says it.
    writeToStandardError(fmt::format("{}: {}\n", box.caption, box.text));
}

void setMessageBoxBackend(std::function<void(const RecordedMessageBox&)> backend)
{
    std::scoped_lock lock(g_messageBoxMutex);
    g_messageBoxBackend = std::move(backend);
}

void startRecordingMessageBoxes()
{
    std::scoped_lock lock(g_messageBoxMutex);
    g_recordingMessageBoxes = true;
}

void stopRecordingMessageBoxes()
{
    std::scoped_lock lock(g_messageBoxMutex);
    g_recordingMessageBoxes = false;
    g_recordedMessageBoxes.clear();
}

std::vector<RecordedMessageBox> takeRecordedMessageBoxes()
{
    std::scoped_lock lock(g_messageBoxMutex);
    return std::exchange(g_recordedMessageBoxes, {});
}

}  // namespace qel::platform
