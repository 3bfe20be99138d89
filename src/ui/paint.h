// The main window's painting: the bands, the status strip, the labels beside the controls, the
// statistics and the message line. The window procedure paints through it, and tests check what
// it draws on a recording canvas.
#pragma once

#include <string_view>

#include "platform/window.h"

namespace qel {

namespace colours {
inline constexpr platform::Colour black{0, 0, 0};
inline constexpr platform::Colour white{255, 255, 255};
inline constexpr platform::Colour lime{50, 205, 50};
inline constexpr platform::Colour yellow{255, 255, 0};
inline constexpr platform::Colour red{255, 0, 0};
inline constexpr platform::Colour grey{160, 160, 160};
inline constexpr platform::Colour lightBlue{153, 204, 255};
}  // namespace colours

// The whole client area, in order: bands, borders, title, separators, status strip, reader
// texts, labels, statistics, message line. GUI thread (tests: any thread, own canvas).
void lf_paintMainWindow(platform::Canvas& canvas);
void lf_paintStatusStrip(platform::Canvas& canvas);
void lf_paintLabels(platform::Canvas& canvas);
void lf_paintStatistics(platform::Canvas& canvas);
void lf_paintMessageLine(platform::Canvas& canvas);
// Black when `black`, else grey.
void lf_drawLabel(platform::Canvas& canvas, int x, int y, std::string_view text, bool black);
// Draws UTF-8 text with its top-left corner at (x, y); a text that is not UTF-8 is logged
// (unless a stop is under way) and not drawn.
void gf_drawText(platform::Canvas& canvas, int x, int y, std::string_view text,
                 platform::Colour colour);

}  // namespace qel
