// Painting the main window: the bands and borders, the title, the status strip with the
// simulator and RealTraffic boxes, and the message line. Every status text is read as a copy,
// every counter and flag atomically, so that other threads may write them while this paints.
#include "ui/paint.h"

#include <algorithm>
#include <array>
#include <exception>
#include <limits>
#include <mutex>
#include <string>

#include <fmt/format.h>

#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/version.h"
#include "liveries/livery_db.h"
#include "platform/text.h"
#include "realtraffic/realtraffic.h"
#include "scenery/scan.h"
#include "simlink/simlink.h"
#include "ui/ui.h"
#include "ui/ui_run.h"

namespace qel {

namespace {

struct Line {
    int x1, y1, x2, y2;  // client px
};
constexpr std::array<Line, 7> kSeparatorLines{{{0, 140, 880, 140},
                                               {0, 168, 642, 168},
                                               {0, 196, 642, 196},
                                               {0, 224, 880, 224},
                                               {0, 252, 642, 252},
                                               {0, 280, 642, 280},
                                               {0, 308, 880, 308}}};

enum class SimState { Green, Yellow, Red };

SimState lf_simState(const SimWindowStatus& sim, const std::string& userTitle)
{
    if (!sim.simulatorConnected) return SimState::Red;
    if (sim.simulationRunning && !userTitle.empty()) return SimState::Green;
    return SimState::Yellow;
}

platform::Colour lf_simColour(SimState simState)
{
    switch (simState) {
    case SimState::Green: return colours::lime;
    case SimState::Yellow: return colours::yellow;
    case SimState::Red: break;
    }
    return colours::red;
}

void lf_paintBands(platform::Canvas& canvas)
{
    canvas.fillRect({0, 0, 880, 28}, colours::black);
    canvas.fillRect({0, 28, 880, 112}, colours::black);
    canvas.fillRect({0, 112, 880, 392}, colours::lightBlue);
    canvas.fillRect({0, 392, 880, 448}, colours::black);
    canvas.fillRect({0, 448, 880, 476}, colours::lime);
    canvas.drawLine(0, 28, 880, 28, colours::white);
    canvas.drawLine(0, 113, 880, 113, colours::white);
    canvas.drawLine(0, 449, 880, 449, colours::white);
    canvas.drawLine(0, 392, 880, 392, colours::white);
}

void lf_paintTitle(platform::Canvas& canvas)
{
    gf_drawText(canvas, 3, 7, fmt::format("Version {}", g_programVersion.text()), colours::lime);
    gf_drawText(canvas, 390, 7, g_shortName, colours::lime);
    gf_drawText(canvas, 632, 7, "for MSFS 2020/2024", colours::lime);
}

void lf_paintSeparators(platform::Canvas& canvas)
{
    for (const auto& line : kSeparatorLines) {
        canvas.drawLine(line.x1, line.y1, line.x2, line.y2, colours::black);
    }
    canvas.drawLine(642, 140, 642, 308, colours::black);
}

void lf_paintReaderTexts(platform::Canvas& canvas)
{
    if (!g_rtWindowStatus.realTrafficSignedIn) return;
    const int32_t weather = g_rtWindowStatus.weatherReaderStatus;
    if ((weather == 1 || weather == 2) && g_rtWindowStatus.qnh >= 1) {
        gf_drawText(canvas, 642, 63, fmt::format("qnh: {:4}", g_rtWindowStatus.qnh.load()),
                    colours::lime);
    }
    const int32_t traffic = g_rtWindowStatus.trafficReaderStatus;
    if (traffic == 1 || traffic == 2) {
        gf_drawText(canvas, 642, 91, fmt::format("live: {:3}", g_uiRun.liveCount.load()),
                    colours::lime);
    }
}

// A count in lime, or "..." in the colour of its absence while it is 0.
void lf_drawCount(platform::Canvas& canvas, int x, std::string_view label, uint64_t count,
                  platform::Colour absent)
{
    if (count == 0) {
        gf_drawText(canvas, x, 91, fmt::format("{}...", label), absent);
    } else {
        gf_drawText(canvas, x, 91, fmt::format("{}{}", label, count), colours::lime);
    }
}

void lf_paintRealTrafficBox(platform::Canvas& canvas)
{
    const bool signedIn = g_rtWindowStatus.realTrafficSignedIn;
    platform::Colour box = signedIn ? colours::lime : colours::red;
    if (g_rtWindowStatus.realTrafficIdle) box = colours::black;
    canvas.fillRect({425, 30, 454, 113}, box);
    gf_drawText(canvas, 430, 63, "RT", colours::lime);
    if (!signedIn) return;
    gf_drawText(canvas, 458, 35, g_rtWindowStatus.realTrafficText.get(), colours::lime);
    const int32_t weather = g_rtWindowStatus.weatherReaderStatus;
    if (weather != 3) {
        gf_drawText(canvas, 458, 63, "Weather", weather == 1 ? colours::lime : colours::yellow);
    }
    const int32_t traffic = g_rtWindowStatus.trafficReaderStatus;
    if (traffic != 3) {
        gf_drawText(canvas, 458, 91, "Traffic", traffic == 1 ? colours::lime : colours::yellow);
    }
}

}  // namespace

void gf_drawText(platform::Canvas& canvas, int x, int y, std::string_view text,
                 platform::Colour colour)
{
    if (text.empty()) return;
    try {
        // The check that the text is UTF-8; the canvas draws UTF-8 itself.
        (void)utf8_to_wide(text);
    } catch (const std::exception& e) {
        lf_logUnlessStopping(
            fmt::format("TextOut utf8  to wide failed for '{}': {}", text, e.what()));
        return;
    }
    constexpr auto kMaxLength = static_cast<std::size_t>(std::numeric_limits<int32_t>::max());
    // Every text of the window is one line: a line end, as the parking message and texts of
    // outside files may carry, would be drawn as a box. Trailing ones go, others become blanks.
    std::string oneLine;
    if (text.find_first_of("\r\n") != std::string_view::npos) {
        oneLine = text.substr(0, text.find_last_not_of("\r\n") + 1);
        std::replace_if(
            oneLine.begin(), oneLine.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        text = oneLine;
    }
    canvas.drawText(x, y, text.substr(0, kMaxLength), colour);
}

void lf_drawLabel(platform::Canvas& canvas, int x, int y, std::string_view text, bool black)
{
    gf_drawText(canvas, x, y, text, black ? colours::black : colours::grey);
}

void lf_paintStatusStrip(platform::Canvas& canvas)
{
    const auto& sim = g_simWindowStatus;
    const std::string userTitle = sim.userAircraftTitle.get();
    const SimState simState = lf_simState(sim, userTitle);
    const platform::Colour simColour = lf_simColour(simState);
    canvas.fillRect({397, 30, 426, 113}, simColour);
    gf_drawText(canvas, 398, 63, "Sim", colours::lime);
    if (sim.simulatorConnected) {
        std::string text = sim.simulatorText.get();
        const std::string stand = sim.userStand.get();
        if (!stand.empty()) text += fmt::format(", user stand {}", stand);
        gf_drawText(canvas, 5, 35, text, simColour);
        gf_drawText(canvas, 5, 63, userTitle, simColour);
    } else {
        gf_drawText(canvas, 5, 35, "MSFS", colours::lime);
    }
    lf_drawCount(canvas, 5, "# liveries: ", g_shownLiveryCount, colours::red);
    lf_drawCount(canvas, 141, "# simaddon: ", g_sceneryWindowCounts.simaddonCount, colours::yellow);
    lf_drawCount(canvas, 278, "# thirdp: ", g_sceneryWindowCounts.thirdpCount, colours::yellow);
    lf_paintRealTrafficBox(canvas);
    canvas.drawLine(425, 29, 425, 112, colours::black);
}

void lf_paintMessageLine(platform::Canvas& canvas)
{
    std::string error;
    std::string message;
    {
        std::scoped_lock lock(g_messageMutex);
        error = g_messageLine.errorText;
        message = g_messageLine.messageText;
    }
    const platform::Rect band{0, 448, 881, 477};
    if (!error.empty()) {
        canvas.fillRect(band, colours::red);
        gf_drawText(canvas, 3, 455, error, colours::yellow);
        return;
    }
    canvas.fillRect(band, colours::lime);
    if (!message.empty()) gf_drawText(canvas, 3, 455, message, colours::yellow);
}

void lf_paintMainWindow(platform::Canvas& canvas)
{
    lf_paintBands(canvas);
    lf_paintTitle(canvas);
    lf_paintSeparators(canvas);
    lf_paintStatusStrip(canvas);
    lf_paintReaderTexts(canvas);
    lf_paintLabels(canvas);
    lf_paintStatistics(canvas);
    lf_paintMessageLine(canvas);
}

}  // namespace qel
