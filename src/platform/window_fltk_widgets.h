// The FLTK widgets of the real window: the canvas that paints the client area, the four kinds
// of controls, each mirroring its Control, and the message-box dialog. GUI thread only.
#pragma once

// The program's headers come first: fl_draw.H brings in Xlib, whose macro None would break
// MessageBoxIcon::None.
#include "platform/controls.h"
#include "platform/text.h"
#include "platform/window.h"

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

namespace qel::platform::fltk {

inline constexpr Fl_Font kFont = FL_HELVETICA;
inline constexpr int kPaintFontSize = 13;    // px; the painted labels and status texts
inline constexpr int kControlFontSize = 12;  // px; text inside controls

inline Fl_Color flColour(Colour colour)
{
    return fl_rgb_color(colour.red, colour.green, colour.blue);
}

// FLTK reads '@' as a symbol and '&' as a shortcut mark in labels; a user's text means them
// literally.
inline std::string literalLabel(std::string_view text)
{
    std::string label;
    for (char c : text) {
        if (c == '@' || c == '&') label += c;
        label += c;
    }
    return label;
}

inline std::string utf8Text(const std::u16string& text)
{
    try {
        return wide_to_utf8(text);
    } catch (const std::exception&) {
        return {};  // a control never holds invalid text: every writer converted it first
    }
}

class FltkCanvas final : public Canvas {
public:
    void fillRect(const Rect& area, Colour colour) override
    {
        if (area.width() <= 0 || area.height() <= 0) return;
        fl_rectf(area.left, area.top, area.width(), area.height(), flColour(colour));
    }

    void drawLine(int x1, int y1, int x2, int y2, Colour colour) override
    {
        fl_color(flColour(colour));
        fl_line_style(FL_SOLID, 1);
        if (y1 == y2 && x1 != x2) {
            fl_xyline(std::min(x1, x2), y1, std::max(x1, x2) - 1);
        } else if (x1 == x2 && y1 != y2) {
            fl_yxline(x1, std::min(y1, y2), std::max(y1, y2) - 1);
        } else {
            fl_line(x1, y1, x2, y2);
        }
    }

    void drawText(int x, int y, std::string_view text, Colour colour) override
    {
        fl_font(kFont, kPaintFontSize);
        fl_color(flColour(colour));
        fl_draw(text.data(), static_cast<int>(text.size()), x, y + fl_height() - fl_descent());
    }
};

// Joins a widget to its Control: the GUI thread calls sync after the Control changed.
class Mirror {
public:
    virtual ~Mirror() = default;
    virtual void sync(const Control& control) = 0;
};

inline void syncEnabled(Fl_Widget& widget, const Control& control)
{
    if (control.enabled() == (widget.active() != 0)) return;
    if (control.enabled()) {
        widget.activate();
    } else {
        widget.deactivate();
    }
}

// A plain 12 × 12 check box whose mark only the program sets: a click only reports.
class CheckWidget final : public Fl_Widget, public Mirror {
public:
    explicit CheckWidget(const Rect& r) : Fl_Widget(r.left, r.top, r.width(), r.height()) {}

    void sync(const Control& control) override
    {
        syncEnabled(*this, control);
        if (checked_ != control.checked()) {
            checked_ = control.checked();
            redraw();
        }
    }

    void draw() override
    {
        const bool on = active_r() != 0;
        fl_rectf(x(), y(), w(), h(), on ? FL_WHITE : fl_rgb_color(240, 240, 240));
        fl_color(on ? fl_rgb_color(51, 51, 51) : fl_rgb_color(160, 160, 160));
        fl_line_style(FL_SOLID, 1);
        fl_rect(x(), y(), w(), h());
        if (!checked_) return;
        fl_line_style(FL_SOLID, 2);
        fl_line(x() + 3, y() + h() / 2, x() + w() / 2 - 1, y() + h() - 4);
        fl_line(x() + w() / 2 - 1, y() + h() - 4, x() + w() - 3, y() + 3);
        fl_line_style(0);
    }

    int handle(int event) override
    {
        switch (event) {
        case FL_PUSH: return 1;
        case FL_RELEASE:
            if (Fl::event_inside(this)) do_callback();
            return 1;
        default: return Fl_Widget::handle(event);
        }
    }

private:
    bool checked_ = false;
};

class ComboWidget final : public Fl_Choice, public Mirror {
public:
    explicit ComboWidget(const Rect& r) : Fl_Choice(r.left, r.top, r.width(), r.height())
    {
        textfont(kFont);
        textsize(kControlFontSize);
        color(FL_WHITE);
    }

    void sync(const Control& control) override
    {
        syncEnabled(*this, control);
        auto items = control.comboItems();
        if (items != shown_) rebuild(std::move(items));
        const int selection = control.comboSelection();
        if (value() != selection) {
            value(selection);
            redraw();
        }
    }

private:
    void rebuild(std::vector<std::u16string> items)
    {
        value(-1);
        labels_.clear();
        for (const auto& item : items) labels_.push_back(literalLabel(utf8Text(item)));
        entries_.assign(labels_.size() + 1, Fl_Menu_Item{});
        for (std::size_t i = 0; i < labels_.size(); ++i) {
            entries_[i].text = labels_[i].c_str();
            entries_[i].labelfont_ = kFont;
            entries_[i].labelsize_ = kControlFontSize;
        }
        menu(entries_.data());
        value(-1);
        shown_ = std::move(items);
        redraw();
    }

    std::vector<std::u16string> shown_;
    std::vector<std::string> labels_;    // the texts entries_ point into
    std::vector<Fl_Menu_Item> entries_;  // ends with the empty entry FLTK looks for
};

class EditWidget final : public Fl_Input, public Mirror {
public:
    EditWidget(const Rect& r, std::function<void()> enter)
        : Fl_Input(r.left, r.top, r.width(), r.height()), enter_(std::move(enter))
    {
        box(FL_BORDER_BOX);
        textfont(kFont);
        textsize(kControlFontSize);
        when(FL_WHEN_CHANGED);
    }

    void sync(const Control& control) override
    {
        syncEnabled(*this, control);
        // Only a different text is written back, so that typing keeps its cursor.
        const std::string text = utf8Text(control.text());
        if (text != (Fl_Input::value() ? Fl_Input::value() : "")) Fl_Input::value(text.c_str());
    }

    int handle(int event) override
    {
        if (event == FL_KEYBOARD &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            if (enter_) enter_();
            return 1;
        }
        return Fl_Input::handle(event);
    }

private:
    std::function<void()> enter_;
};

class ButtonWidget final : public Fl_Button, public Mirror {
public:
    ButtonWidget(const Rect& r, const std::string& caption)
        : Fl_Button(r.left, r.top, r.width(), r.height())
    {
        copy_label(literalLabel(caption).c_str());
        labelfont(kFont);
        labelsize(kControlFontSize);
    }

    void sync(const Control& control) override { syncEnabled(*this, control); }
};

// A message box: the text, an OK button and a warning sign; closing it in any way reports once.
class BoxDialog final : public Fl_Window {
public:
    explicit BoxDialog(const RecordedMessageBox& box) : Fl_Window(360, 120)
    {
        copy_label(box.caption.c_str());
        fl_font(kFont, kPaintFontSize);
        const std::string text = literalLabel(box.text);
        int textW = 280;
        int textH = 0;
        fl_measure(text.c_str(), textW, textH);
        textW = std::max(textW, 200);
        const int width = 70 + textW + 20;
        const int height = std::max(textH, 32) + 70;
        size(width, height);
        begin();
        if (box.icon == MessageBoxIcon::Warning) {
            auto* sign = new Fl_Box(16, 16, 36, 32, "!");
            sign->box(FL_FLAT_BOX);
            sign->color(fl_rgb_color(255, 204, 0));
            sign->labelfont(FL_HELVETICA_BOLD);
            sign->labelsize(24);
        }
        auto* message = new Fl_Box(70, 16, textW, std::max(textH, 32));
        message->copy_label(text.c_str());
        message->labelfont(kFont);
        message->labelsize(kPaintFontSize);
        message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        auto* ok = new Fl_Button(width - 90, height - 40, 75, 26, "OK");
        ok->callback([](Fl_Widget* w, void*) { static_cast<BoxDialog*>(w->window())->finish(); });
        end();
        callback([](Fl_Widget* w, void*) { static_cast<BoxDialog*>(w)->finish(); });
    }

    void onClosed(std::function<void()> closed) { closed_ = std::move(closed); }

    // Hides the box, reports it closed and deletes it once FLTK is done with it.
    void finish()
    {
        if (finished_) return;
        finished_ = true;
        hide();
        if (closed_) closed_();
        Fl::delete_widget(this);
    }

private:
    std::function<void()> closed_;
    bool finished_ = false;
};

}  // namespace qel::platform::fltk
