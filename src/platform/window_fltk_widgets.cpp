// The FLTK widgets of the real window: how each paints, mirrors its Control and reports a click
// or an Enter. GUI thread only.

// The program's headers come first: fl_draw.H brings in Xlib, whose macro None would break
// MessageBoxIcon::None.
#include "platform/window_fltk_widgets.h"

#include "platform/text.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/fl_draw.H>

namespace qel::platform::fltk {

namespace {

Fl_Color lf_flColour(Colour colour) { return fl_rgb_color(colour.red, colour.green, colour.blue); }

// FLTK reads '@' as a symbol and '&' as a shortcut mark in labels; a user's text means them
// literally.
std::string lf_literalLabel(std::string_view text)
{
    std::string label;
    for (char c : text) {
        if (c == '@' || c == '&') label += c;
        label += c;
    }
    return label;
}

std::string lf_utf8Text(const std::u16string& text)
{
    try {
        return wide_to_utf8(text);
    } catch (const std::exception&) {
        return {};  // a control never holds invalid text: every writer converted it first
    }
}

void lf_syncEnabled(Fl_Widget& widget, const Control& control)
{
    if (control.enabled() == (widget.active() != 0)) return;
    if (control.enabled()) {
        widget.activate();
    } else {
        widget.deactivate();
    }
}

}  // namespace

void FltkCanvas::fillRect(const Rect& area, Colour colour)
{
    if (area.width() <= 0 || area.height() <= 0) return;
    fl_rectf(area.left, area.top, area.width(), area.height(), lf_flColour(colour));
}

void FltkCanvas::drawLine(int x1, int y1, int x2, int y2, Colour colour)
{
    fl_color(lf_flColour(colour));
    fl_line_style(FL_SOLID, 1);
    if (y1 == y2 && x1 != x2) {
        fl_xyline(std::min(x1, x2), y1, std::max(x1, x2) - 1);
    } else if (x1 == x2 && y1 != y2) {
        fl_yxline(x1, std::min(y1, y2), std::max(y1, y2) - 1);
    } else {
        fl_line(x1, y1, x2, y2);
    }
}

void FltkCanvas::drawText(int x, int y, std::string_view text, Colour colour)
{
    fl_font(kFont, kPaintFontSize);
    fl_color(lf_flColour(colour));
    fl_draw(text.data(), static_cast<int>(text.size()), x, y + fl_height() - fl_descent());
}

CheckWidget::CheckWidget(const Rect& r) : Fl_Widget(r.left, r.top, r.width(), r.height()) {}

void CheckWidget::sync(const Control& control)
{
    lf_syncEnabled(*this, control);
    if (checked_ != control.checked()) {
        checked_ = control.checked();
        redraw();
    }
}

void CheckWidget::draw()
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

int CheckWidget::handle(int event)
{
    switch (event) {
    case FL_PUSH: return 1;
    case FL_RELEASE:
        if (Fl::event_inside(this)) do_callback();
        return 1;
    default: return Fl_Widget::handle(event);
    }
}

ComboWidget::ComboWidget(const Rect& r) : Fl_Choice(r.left, r.top, r.width(), r.height())
{
    textfont(kFont);
    textsize(kControlFontSize);
    color(FL_WHITE);
}

void ComboWidget::sync(const Control& control)
{
    lf_syncEnabled(*this, control);
    auto items = control.comboItems();
    if (items != shown_) rebuild(std::move(items));
    const int selection = control.comboSelection();
    if (value() != selection) {
        value(selection);
        redraw();
    }
}

void ComboWidget::rebuild(std::vector<std::u16string> items)
{
    value(-1);
    labels_.clear();
    for (const auto& item : items) labels_.push_back(lf_literalLabel(lf_utf8Text(item)));
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

EditWidget::EditWidget(const Rect& r, std::function<void()> enter)
    : Fl_Input(r.left, r.top, r.width(), r.height()), enter_(std::move(enter))
{
    box(FL_BORDER_BOX);
    textfont(kFont);
    textsize(kControlFontSize);
    when(FL_WHEN_CHANGED);
}

void EditWidget::sync(const Control& control)
{
    lf_syncEnabled(*this, control);
    // Only a different text is written back, so that typing keeps its cursor.
    const std::string text = lf_utf8Text(control.text());
    if (text != (Fl_Input::value() ? Fl_Input::value() : "")) Fl_Input::value(text.c_str());
}

int EditWidget::handle(int event)
{
    if (event == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
        if (enter_) enter_();
        return 1;
    }
    return Fl_Input::handle(event);
}

ButtonWidget::ButtonWidget(const Rect& r, const std::string& caption)
    : Fl_Button(r.left, r.top, r.width(), r.height())
{
    copy_label(lf_literalLabel(caption).c_str());
    labelfont(kFont);
    labelsize(kControlFontSize);
}

void ButtonWidget::sync(const Control& control) { lf_syncEnabled(*this, control); }

BoxDialog::BoxDialog(const RecordedMessageBox& box) : Fl_Window(360, 120)
{
    copy_label(box.caption.c_str());
    fl_font(kFont, kPaintFontSize);
    const std::string text = lf_literalLabel(box.text);
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

void BoxDialog::onClosed(std::function<void()> closed) { closed_ = std::move(closed); }

void BoxDialog::finish()
{
    if (finished_) return;
    finished_ = true;
    hide();
    if (closed_) closed_();
    Fl::delete_widget(this);
}

}  // namespace qel::platform::fltk
