// Painting the labels beside the controls, each at its control's row and in the colour the
// control's state gives it, and the two rows of the statistics band.
#include <atomic>
#include <cstdint>
#include <string>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "scenery/scan.h"
#include "traffic/traffic.h"
#include "ui/paint.h"
#include "ui/ui.h"
#include "ui/ui_run.h"

namespace qel {

// atomic; 0 until the window or the core first shows a countdown
std::atomic<int32_t> g_shownParkingCountdown{0};

namespace {

constexpr int kStatisticsRow = 399;  // y of the first statistics row, px

int lf_row(const ControlBinding& binding) { return static_cast<int>(binding.rowY); }

bool lf_enabled(const ControlBinding& binding)
{
    const auto* control = binding.controlWindow.load();
    return control && control->enabled();
}

platform::Colour lf_blackOr(bool black, platform::Colour other)
{
    return black ? colours::black : other;
}

// The right-hand column: window, lights, livery updates and the time shift.
void lf_paintMetaLabels(platform::Canvas& canvas)
{
    const bool timeShift = g_uiRun.timeShiftFlag;
    gf_drawText(canvas, 652, lf_row(ALWAYS_ON_TOP), "Meta:", colours::black);
    gf_drawText(canvas, 768, lf_row(ALWAYS_ON_TOP), "Stay on top", colours::black);
    gf_drawText(canvas, 672, lf_row(OBJECTID_LIST), "Oid list", colours::black);
    gf_drawText(canvas, 768, lf_row(NAV_LIGHTS_WHILE_PARKED), "Nav lights", colours::black);
    gf_drawText(canvas, 768, lf_row(GUID_CHANGES), "GUID changes",
                lf_blackOr(GUID_CHANGES.current, colours::yellow));
    lf_drawLabel(canvas, 652, lf_row(TIME_SHIFT_DAYS), "Time shift:", timeShift);
    lf_drawLabel(canvas, 672, lf_row(KEEP_SIM_TIME_PAR), "Keep", timeShift);
    lf_drawLabel(canvas, 672, lf_row(TIME_SHIFT_HOURS), "Sim Time", timeShift);
    lf_drawLabel(canvas, 798, lf_row(TIME_SHIFT_DAYS),
                 fmt::format("day{}", gf_pluralS(TIME_SHIFT_DAYS.current)), timeShift);
    lf_drawLabel(canvas, 798, lf_row(TIME_SHIFT_HOURS),
                 fmt::format("hour{}", gf_pluralS(TIME_SHIFT_HOURS.current)), timeShift);
    lf_drawLabel(canvas, 798, lf_row(TIME_SHIFT_MINS),
                 fmt::format("minute{}", gf_pluralS(TIME_SHIFT_MINS.current)), timeShift);
}

void lf_paintScanLabels(platform::Canvas& canvas)
{
    gf_drawText(canvas, 25, lf_row(SCAN_LIVERIES), "Scan for liveries",
                SCAN_LIVERIES.current ? colours::yellow : colours::black);
    gf_drawText(canvas, 237, lf_row(LIG_AUTOMATIC), "Automatic:", colours::black);
    gf_drawText(canvas, 556, lf_row(LIG_PRIORITIZE), "Prioritize", colours::black);
    gf_drawText(canvas, 25, lf_row(SCAN_AIRPORTS), "Scan for addon airports",
                SCAN_AIRPORTS.current ? colours::yellow : colours::black);
    if (g_sceneryWindowCounts.tbloFileCount > 0) {
        gf_drawText(canvas, 303, lf_row(SCAN_AIRPORTS), "Please mail tblo.zip to the makers",
                    colours::red);
    }
    gf_drawText(canvas, 5, lf_row(MATCHING_DEPTH), "Max aircraft matching depth", colours::black);
    gf_drawText(canvas, 258, lf_row(LIGHT_AIRCRAFT), "Optional:", colours::black);
    lf_drawLabel(canvas, 343, lf_row(LIGHT_AIRCRAFT), "Light aircraft", lf_enabled(LIGHT_AIRCRAFT));
    lf_drawLabel(canvas, 450, lf_row(HELICOPTERS), "Helicopters", lf_enabled(HELICOPTERS));
    lf_drawLabel(canvas, 556, lf_row(HIGH_PERF_AIRCRAFT), "FighterJets",
                 lf_enabled(HIGH_PERF_AIRCRAFT));
}

void lf_paintTrafficLabels(platform::Canvas& canvas)
{
    gf_drawText(canvas, 5, lf_row(RANGE), "Traffic injection", colours::black);
    gf_drawText(canvas, 163, lf_row(RANGE), "Radius:", colours::black);
    gf_drawText(canvas, 270, lf_row(RANGE), "nm, or", colours::black);
    gf_drawText(canvas, 343, lf_row(AUTO_RANGE), "Auto radius", colours::black);
    lf_drawLabel(canvas, 430, lf_row(AR_ABOVE_HEIGHT), "Ah:", AUTO_RANGE.current);
    lf_drawLabel(canvas, 536, lf_row(AR_ABOVE_HEIGHT), "ft", AUTO_RANGE.current);
    gf_drawText(canvas, 592, lf_row(AIRBORNE_ONLY), "AirOnly",
                AIRBORNE_ONLY.current ? colours::yellow : colours::black);
    gf_drawText(canvas, 5, lf_row(BLOCK_CALLSIGN), "Block callsign:", colours::black);
    gf_drawText(canvas, 476, lf_row(CALLSIGN_2_OBJECTID),
                g_trafficWindowStatus.selectedAircraftText.get(), colours::black);
    gf_drawText(canvas, 5, lf_row(COLLISION_USER_GND), "Collision avoidance", colours::black);
    gf_drawText(canvas, 237, lf_row(COLLISION_USER_GND), "User ground", colours::black);
    gf_drawText(canvas, 343, lf_row(COLLISION_USER_AIR), "User air", colours::black);
    gf_drawText(canvas, 450, lf_row(COLLISION_LIVE_PARKED_GND), "Live X parked", colours::black);
}

// "(no next ... )" or "(next in {} min)" while the park airport's stands are loaded and no
// re-plan runs; empty otherwise.
std::string lf_countdownText()
{
    if (!g_parkStandsLoaded || g_parkingBusy) return {};
    if (INITIAL_LOAD_ONLY.current) return "(no next ... )";
    const int32_t minutes = g_shownParkingCountdown;
    if (minutes >= 1 && minutes <= 19) return fmt::format("(next in {} min)", minutes);
    return {};
}

void lf_paintParkingLabels(platform::Canvas& canvas)
{
    const bool parkZero = MAX_PARK_SEL.current == 0;
    const bool liveZero = MAX_LIVE_SEL.current == 0;
    gf_drawText(canvas, 5, lf_row(MAX_PARK_SEL), "Airport parking",
                g_parkingBusy ? colours::yellow : colours::black);
    gf_drawText(
        canvas, 171, lf_row(MAX_PARK_SEL), "Max park (static+live):",
        parkZero && liveZero ? colours::red : (parkZero ? colours::yellow : colours::black));
    gf_drawText(
        canvas, 401, lf_row(MAX_LIVE_SEL), "Max live (park incl):",
        parkZero && liveZero ? colours::red : (liveZero ? colours::yellow : colours::black));
    lf_drawLabel(canvas, 672, lf_row(STRAIGHT_PBS_ONLY), "Straight push backs only",
                 STRAIGHT_PBS_ONLY.current);
    gf_drawText(canvas, 137, lf_row(DESTINATION), "Destination:", colours::black);
    gf_drawText(canvas, 303, lf_row(AIRP_RANGE), "Range:", colours::black);
    gf_drawText(canvas, 403, lf_row(AIRP_RANGE), "nm", colours::black);
    gf_drawText(canvas, 440, lf_row(AIRP_HEIGHT), "Height above gnd:", colours::black);
    gf_drawText(canvas, 646, lf_row(AIRP_HEIGHT), "ft", colours::black);
    gf_drawText(canvas, 5, lf_row(AIRP_RANGE), lf_countdownText(), colours::black);

    const bool standFit = !RT_PARKTRAFFIC_ONLY.current;
    gf_drawText(canvas, 25, lf_row(INITIAL_LOAD_ONLY), "ILO",
                INITIAL_LOAD_ONLY.current ? colours::yellow : colours::black);
    lf_drawLabel(canvas, 91, lf_row(WEEK), "Week", standFit);
    lf_drawLabel(canvas, 171, lf_row(PARK_SOFT), "Soft", standFit);
    lf_drawLabel(canvas, 264, lf_row(parking_percentage), "Target: ", standFit);
    lf_drawLabel(canvas, 378, lf_row(parking_percentage), "%", standFit);
    lf_drawLabel(canvas, 506, lf_row(MAX_FIT_FL), "Max fit:", standFit);
    gf_drawText(canvas, 632, lf_row(MAX_FIT_FL), "hrs", colours::black);
    gf_drawText(canvas, 687, lf_row(RT_PARKTRAFFIC_ONLY), "PT only", colours::black);
}

std::string_view lf_appliedMark(bool soft, bool week)
{
    if (soft && week) return "*WS*";
    if (soft) return "*S*";
    if (week) return "*W*";
    return "";
}

void lf_paintStatisticsRow1(platform::Canvas& canvas, int y)
{
    const auto& state = g_trafficWindowStatus;
    // A scanned stand file may name no publisher: its field is left out with its comma.
    const std::string kind = state.standFileKindText.get();
    gf_drawText(
        canvas, 90, y,
        fmt::format(" {}{}{}{}, wk={}", state.standFileNameText.get(), kind.empty() ? "" : ", ",
                    kind, state.handmade ? " (h)" : "", g_parkWindowCounts.standFileWeek.load()),
        colours::lime);
    gf_drawText(canvas, 370, y, lf_appliedMark(state.softApplied, state.weekApplied),
                colours::lime);
    if (!RT_PARKTRAFFIC_ONLY.current) {
        gf_drawText(canvas, 430, y, fmt::format("qf: {}", state.qualityText.get()), colours::lime);
    }
    const std::string reserved = state.reservedStandText.get();
    if (!reserved.empty()) {
        gf_drawText(canvas, 571, y, fmt::format("reserved stand: {}", reserved),
                    g_parkWindowCounts.reservedStandOk ? colours::lime : colours::red);
    }
    gf_drawText(canvas, 748, y, fmt::format("# updates: {:4}", state.updateCount.load()),
                colours::lime);
}

void lf_paintStatisticsRow2(platform::Canvas& canvas, int y)
{
    const auto& state = g_trafficWindowStatus;
    gf_drawText(canvas, 5, y, fmt::format("# stands: {:3}", state.standCount.load()),
                colours::lime);
    gf_drawText(canvas, 111, y, fmt::format("parked live: {:3}", g_uiRun.parkedLiveCount.load()),
                colours::lime);
    if (const float fit = state.liveAverageFit; fit > 0) {
        gf_drawText(canvas, 249, y, fmt::format("average fit: {}", gf_formatDecimal(fit)),
                    colours::lime);
    }
    const int32_t wanted = g_parkWindowCounts.wantedStaticCount;
    if (wanted > 0) {
        gf_drawText(canvas, 430, y, fmt::format("static: {:3}", g_uiRun.staticCount.load()),
                    colours::lime);
        if (const uint64_t candidates = state.staticCandidateCount; candidates != 0) {
            gf_drawText(canvas, 500, y, fmt::format(" ({})", candidates), colours::yellow);
        }
        if (const float fit = state.staticAverageFit; !state.weekApplied && fit > 0) {
            gf_drawText(canvas, 571, y, fmt::format("average fit: {}", gf_formatDecimal(fit)),
                        colours::lime);
        }
    }
    if (RT_PARKTRAFFIC_ONLY.current) return;
    const std::string maxPark = wanted != 0
                                    ? fmt::format("max park: {:3} (={} %)", wanted,
                                                  g_parkWindowCounts.maxParkPercentage.load())
                                    : std::string("no max park live");
    gf_drawText(canvas, 708, y, maxPark, colours::lime);
}

}  // namespace

void lf_paintLabels(platform::Canvas& canvas)
{
    lf_paintMetaLabels(canvas);
    lf_paintScanLabels(canvas);
    lf_paintTrafficLabels(canvas);
    lf_paintParkingLabels(canvas);
}

void lf_paintStatistics(platform::Canvas& canvas)
{
    const auto& state = g_trafficWindowStatus;
    const std::string parkAirport = state.parkAirportText.get();
    if (parkAirport.empty()) return;
    const int row1 = kStatisticsRow;
    const bool loaded = state.standFileLoaded;
    gf_drawText(canvas, 5, row1, parkAirport, loaded ? colours::lime : colours::yellow);
    if (!loaded) return;
    lf_paintStatisticsRow1(canvas, row1);
    lf_paintStatisticsRow2(canvas, row1 + 28);
}

}  // namespace qel
