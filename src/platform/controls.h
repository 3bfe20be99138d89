// The window's standard controls as the rest of the program sees them: check box, drop-down
// combo box, single-line edit box and push button, each addressed by its 16-bit id; and the
// blocking message box. State lives here so that the settings code can fill and read controls
// whether or not a window toolkit draws them.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::platform {

enum class ControlKind { CheckBox, ComboBox, Edit, Button };

// One control. Its fields are guarded by its own mutex, so any thread may call the functions
// below (the Windows calls they replace may be sent from any thread).
class Control {
public:
    Control(ControlKind kind, uint16_t id) : kind_(kind), id_(id) {}
    ControlKind kind() const { return kind_; }
    uint16_t id() const { return id_; }

    void setChecked(bool checked);
    bool checked() const;

    void setText(std::u16string text);
    std::u16string text() const;

    void setEnabled(bool enabled);
    bool enabled() const;

    // Combo box: CB_RESETCONTENT, CB_ADDSTRING, CB_SETCURSEL (-1 or an index out of range
    // clears), CB_GETCURSEL. As with a real combo box, text() follows the selection: the
    // selected item, or empty when nothing is selected.
    void comboReset();
    void comboAdd(std::u16string item);
    void comboSetSelection(int index);
    int comboSelection() const;
    std::vector<std::u16string> comboItems() const;
    // CB_SELECTSTRING from the start: selects the first item that begins with `prefix`, without
    // regard to case; returns its index, or -1 (selection unchanged) when none does.
    int comboSelectPrefix(std::u16string_view prefix);

    // The window that draws the control learns of every change through this function, which
    // runs on the changing thread after the control's lock is released. Set once, before the
    // control is handed to other threads.
    void setChangeListener(std::function<void()> listener);

private:
    void selectLocked(int index);  // mutex_ held
    void changed() const;

    const ControlKind kind_;
    const uint16_t id_;
    mutable std::mutex mutex_;  // guards the fields below; ranks below every program mutex
    bool checked_ = false;
    bool enabled_ = true;
    std::u16string text_;
    std::vector<std::u16string> items_;
    int selection_ = -1;
    std::function<void()> listener_;  // written once before publication, then only read
};

using ControlHandle = Control*;

enum class MessageBoxIcon { None, Warning };

// Shows a message box with an OK button and waits until it is closed; any thread. Without a
// display the text goes to the recorder (tests) or to standard error as "<caption>: <text>".
void messageBox(std::string_view text, std::string_view caption, MessageBoxIcon icon);

struct RecordedMessageBox {
    std::string text;     // "Could not open local folder with Manual"
    std::string caption;  // "VNTQ"
    MessageBoxIcon icon;
};

// The window installs the function that shows a box and returns once it is closed; without one
// the text goes to standard error. An empty function removes it.
void setMessageBoxBackend(std::function<void(const RecordedMessageBox&)> backend);

// Tests: while recording, message boxes are kept instead of shown.
void startRecordingMessageBoxes();
void stopRecordingMessageBoxes();                            // also drops what was kept
std::vector<RecordedMessageBox> takeRecordedMessageBoxes();  // and empties the record

}  // namespace qel::platform
