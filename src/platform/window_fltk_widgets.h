// The FLTK widgets of the real window: the canvas that paints the client area, the four kinds
// of controls, each mirroring its Control, and the message-box dialog. GUI thread only.
#pragma once

// The program's headers come first: fl_draw.H brings in Xlib, whose macro None would break
// MessageBoxIcon::None.
#include "platform/controls.h"
#include "platform/window.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>
#include <FL/Enumerations.H>

namespace qel::platform::fltk {

inline constexpr Fl_Font kFont = FL_HELVETICA;
inline constexpr int kPaintFontSize = 13;    // px; the painted labels and status texts
inline constexpr int kControlFontSize = 12;  // px; text inside controls

class FltkCanvas final : public Canvas {
public:
    void fillRect(const Rect& area, Colour colour) override;
    void drawLine(int x1, int y1, int x2, int y2, Colour colour) override;
    void drawText(int x, int y, std::string_view text, Colour colour) override;
};

// Joins a widget to its Control: the GUI thread calls sync after the Control changed.
class Mirror {
public:
    virtual ~Mirror() = default;
    virtual void sync(const Control& control) = 0;
};

// A plain 12 × 12 check box whose mark only the program sets: a click only reports.
class CheckWidget final : public Fl_Widget, public Mirror {
public:
    explicit CheckWidget(const Rect& r);
    void sync(const Control& control) override;
    void draw() override;
    int handle(int event) override;

private:
    bool checked_ = false;
};

class ComboWidget final : public Fl_Choice, public Mirror {
public:
    explicit ComboWidget(const Rect& r);
    void sync(const Control& control) override;

private:
    void rebuild(std::vector<std::u16string> items);

    std::vector<std::u16string> shown_;
    std::vector<std::string> labels_;    // the texts entries_ point into
    std::vector<Fl_Menu_Item> entries_;  // ends with the empty entry FLTK looks for
};

class EditWidget final : public Fl_Input, public Mirror {
public:
    EditWidget(const Rect& r, std::function<void()> enter);
    void sync(const Control& control) override;
    int handle(int event) override;

private:
    std::function<void()> enter_;
};

class ButtonWidget final : public Fl_Button, public Mirror {
public:
    ButtonWidget(const Rect& r, const std::string& caption);
    void sync(const Control& control) override;
};

// A message box: the text, an OK button and a warning sign; closing it in any way reports once.
class BoxDialog final : public Fl_Window {
public:
    explicit BoxDialog(const RecordedMessageBox& box);
    void onClosed(std::function<void()> closed);
    // Hides the box, reports it closed and deletes it once FLTK is done with it.
    void finish();

private:
    std::function<void()> closed_;
    bool finished_ = false;
};

}  // namespace qel::platform::fltk
