// What both window backends share: the recording canvas, the choice of a monitor's work area
// and the choice of the backend.
#include "platform/window.h"

#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace qel::platform {

namespace {

int lf_overlap(int low1, int high1, int low2, int high2)
{
    const int low = low1 > low2 ? low1 : low2;
    const int high = high1 < high2 ? high1 : high2;
    return high > low ? high - low : 0;
}

// Distance along one axis between two spans; 0 when they touch or overlap.
int64_t lf_gap(int low1, int high1, int low2, int high2)
{
    if (high1 <= low2) return int64_t{low2} - high1;
    if (high2 <= low1) return int64_t{low1} - high2;
    return 0;
}

}  // namespace

void RecordingCanvas::fillRect(const Rect& area, Colour colour)
{
    ops_.push_back({DrawOp::Kind::Fill, area, {}, colour});
}

void RecordingCanvas::drawLine(int x1, int y1, int x2, int y2, Colour colour)
{
    ops_.push_back({DrawOp::Kind::Line, {x1, y1, x2, y2}, {}, colour});
}

void RecordingCanvas::drawText(int x, int y, std::string_view text, Colour colour)
{
    ops_.push_back({DrawOp::Kind::Text, {x, y, x, y}, std::string(text), colour});
}

std::optional<DrawOp> RecordingCanvas::findText(std::string_view text) const
{
    for (auto op = ops_.rbegin(); op != ops_.rend(); ++op) {
        if (op->kind == DrawOp::Kind::Text && op->text == text) return *op;
    }
    return std::nullopt;
}

std::optional<DrawOp> RecordingCanvas::textAt(int x, int y) const
{
    for (auto op = ops_.rbegin(); op != ops_.rend(); ++op) {
        if (op->kind == DrawOp::Kind::Text && op->area.left == x && op->area.top == y) return *op;
    }
    return std::nullopt;
}

Rect nearestWorkArea(const Rect& window, const std::vector<Rect>& workAreas)
{
    if (workAreas.empty()) return window;
    const Rect* best = nullptr;
    int64_t bestOverlap = 0;
    for (const auto& area : workAreas) {
        const int64_t overlap =
            int64_t{lf_overlap(window.left, window.right, area.left, area.right)} *
            lf_overlap(window.top, window.bottom, area.top, area.bottom);
        if (overlap > bestOverlap) {
            bestOverlap = overlap;
            best = &area;
        }
    }
    if (best) return *best;
    int64_t bestDistance = std::numeric_limits<int64_t>::max();
    for (const auto& area : workAreas) {
        const int64_t dx = lf_gap(window.left, window.right, area.left, area.right);
        const int64_t dy = lf_gap(window.top, window.bottom, area.top, area.bottom);
        const int64_t distance = dx * dx + dy * dy;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = &area;
        }
    }
    return *best;
}

std::optional<bool> headlessSetting()
{
    const char* value = std::getenv("VNTQ_HEADLESS");
    if (value == nullptr) return std::nullopt;
    std::string lower;
    // Longer than any spelling below: nothing to compare.
    for (const char* c = value; *c != '\0' && lower.size() <= 5; ++c) {
        lower.push_back(*c >= 'A' && *c <= 'Z' ? static_cast<char>(*c - 'A' + 'a') : *c);
    }
    for (const char* yes : {"1", "true", "yes", "on"}) {
        if (lower == yes) return true;
    }
    for (const char* no : {"0", "false", "no", "off"}) {
        if (lower == no) return false;
    }
    return std::nullopt;
}

bool headlessWanted()
{
    // VNTQ_HEADLESS=true asked for a window when only "1" was read as yes.
    if (headlessSetting() == true) return true;
    const char* display = std::getenv("DISPLAY");
    return display == nullptr || *display == '\0';
}

std::unique_ptr<Window> createWindow(const WindowSpec& layout, WindowHandlers handlers)
{
    if (!headlessWanted()) {
        if (auto window = createFltkWindow(layout, handlers)) return window;
    }
    return createHeadlessWindow(layout, std::move(handlers));
}

}  // namespace qel::platform
