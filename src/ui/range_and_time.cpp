// The operations behind the controls that other subsystems call as well: the traffic range and
// its automatic rule, the time shift, the static-parking countdown, the destination, the live
// counts and the wait for the first traffic.
#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "foundation/time.h"
#include "platform/clock.h"
#include "realtraffic/realtraffic.h"
#include "scenery/scenery.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/ui.h"
#include "ui/ui_run.h"

namespace qel {

UiRun g_uiRun;

void gf_resetUiRun() { g_uiRun = UiRun{}; }

bool gf_uiRunFresh() { return g_uiRun == UiRun{}; }

namespace {

constexpr int32_t kMaxTimeShift_min = 20160;  // two weeks
constexpr int32_t kMetresPerNm = 1852;
constexpr int32_t kRequestMargin_m = 10000;  // beyond RANGE for the aircraft-in-range request
constexpr double kNoParkAirport_nm = 10000.0;

std::atomic<int32_t>& g_manualRange_nm = g_uiRun.manualRange_nm;  // atomic

void lf_selectChoice(const ComboIntParameter& setting)
{
    auto* control = setting.controlWindow.load();
    if (!control) return;
    for (std::size_t i = 0; i < setting.choices.size(); ++i) {
        if (setting.choices[i] == setting.current) {
            control->comboSetSelection(static_cast<int>(i));
            return;
        }
    }
}

void lf_storeTimePart(ComboIntParameter& setting, int32_t value)
{
    setting.current = setting.clamp(value);
    gf_saveIntParameter(setting);
    lf_selectChoice(setting);
}

// The range for a user aircraft low above ground, by its distance to the park airport.
int32_t lf_rangeForDistance(double distance_nm)
{
    if (distance_nm <= 7.0) return 10;
    if (distance_nm >= 37.0) return 40;
    const auto n = static_cast<int32_t>(std::lround(distance_nm));
    struct Step {
        int32_t atLeast;  // nm
        int32_t range;    // nm
    };
    static constexpr Step steps[] = {{33, 35}, {28, 30}, {23, 25}, {19, 20}, {17, 18},
                                     {15, 16}, {13, 14}, {11, 12}, {9, 10}};
    for (const auto& step : steps) {
        if (n >= step.atLeast) return step.range;
    }
    return 8;
}

// Stores the counts that changed and repaints only the areas that show them.
void lf_showCounts(const TrafficCounts& counts)
{
    auto& state = g_uiRun;
    if (state.liveCount.exchange(counts.live) != counts.live) {
        gf_invalidateArea(WindowArea::StatusStrip);
    }
    if (state.parkedLiveCount != counts.parkedLive || state.staticCount != counts.statics) {
        state.parkedLiveCount = counts.parkedLive;
        state.staticCount = counts.statics;
        gf_invalidateArea(WindowArea::Statistics);
    }
}

}  // namespace

namespace {

int32_t lf_applyRange(int32_t nm)
{
    RANGE.current = RANGE.clamp(nm);
    lf_selectChoice(RANGE);
    g_rangeNm = static_cast<double>(nm);
    g_range_m = nm * kMetresPerNm + kRequestMargin_m;
    return g_range_m;
}

}  // namespace

int32_t gf_setRange(int32_t nm)
{
    // A range chosen by the user, a stand file or the stored setting is the one that switching
    // the automatic range off returns to; otherwise a stand file's "AUTO_RANGE false" would
    // put the range back to 40 nm whatever it or the user had set.
    g_manualRange_nm = RANGE.clamp(nm);
    return lf_applyRange(nm);
}

void gf_autoRange()
{
    const int32_t before = RANGE.current;
    const UserAircraftState user = gf_requestUserAcPosition();
    int32_t range = 0;
    if (user.onGround) {
        range = 10;
    } else if (user.altitude_ft > AR_ABOVE_HEIGHT.current) {
        range = 100;
    } else if (user.altitude_ft > AIRP_HEIGHT.current) {
        range = 40;
    } else {
        // Waits for the traffic manager's park airport list: the distance to its first airport.
        range = lf_rangeForDistance(kNoParkAirport_nm);
    }
    lf_applyRange(range);
    // The query box belongs to the main-loop thread, whichever thread changed the range.
    if (RANGE.current != before) gf_postToMainLoop([] { gf_updateTrafficBox(); });
}

void gf_applyAutoRange()
{
    if (AUTO_RANGE.current) {
        g_manualRange_nm = RANGE.current.load();
        gf_autoRange();
    } else {
        gf_setRange(g_manualRange_nm);
        gf_clearMessage();
    }
    gf_enableControlOf(RANGE, !AUTO_RANGE.current);
}

void lf_showTimeShift(int32_t minutes)
{
    lf_storeTimePart(TIME_SHIFT_DAYS, minutes / 1440);
    lf_storeTimePart(TIME_SHIFT_HOURS, (minutes - TIME_SHIFT_DAYS.current * 1440) / 60);
    lf_storeTimePart(TIME_SHIFT_MINS, minutes % 60);
    gf_invalidateArea(WindowArea::ControlBand);
}

void lf_timeShift(int32_t minutes, bool quiet)
{
    // Traffic from the future does not exist: a negative shift is none.
    minutes = std::max(minutes, 0);
    g_timeShiftActive = minutes > 0;
    if (minutes > kMaxTimeShift_min) {
        gf_log("Time shifting is limited to 2 weeks");
        minutes = kMaxTimeShift_min;
    }
    lf_showTimeShift(minutes);
    gf_setRtTimeOffset(minutes);
    if (minutes <= 0) {
        gf_setMessage("Time shift = 0", true);
        if (quiet) return;
    } else {
        if (quiet) return;
        gf_setMessage(fmt::format("Time shifted {} minute{}", minutes, gf_pluralS(minutes)), true);
    }
    // The traffic of the old time goes; the containers belong to the main-loop thread.
    gf_postToMainLoop([] {
        gf_removeLiveAircraft();
        lf_removeAllStatics();
    });
    lf_showParkingCountdown();
}

void lf_showParkingCountdown()
{
    gf_disableParkingControls();
    const int32_t s = g_secondTicks;
    const int32_t r = (s / 15 + 1) * 15 - s;
    gf_setMessage(fmt::format("{} will update static parking in {} second{} ...", g_shortName, r,
                              gf_pluralS(r)),
                  false);
    g_parkRefreshDue = true;
}

void lf_updateLiveCount() { lf_showCounts(gf_trafficCounts()); }

void lf_showNoTraffic()
{
    // A stop ends the wait at once, so closing the window here does not take 15 s.
    for (int i = 0; i < 150 && gf_trafficDataTime() == 0; ++i) {
        if (gf_stopFlag()) return;
        platform::sleepFor(std::chrono::milliseconds(100));
    }
    if (gf_trafficDataTime() == 0) gf_log("No traffic in this region?");
}

void lf_applyDestination(const std::string& code, const Airport& airport)
{
    if (DESTINATION.value() != code) DESTINATION.set(code);
    gf_showTextParameter(DESTINATION);
    gf_setMessage(fmt::format("New destination: {}", code), true);
    gf_postParkAirport(code, airport.latitude, airport.longitude);
    gf_enableControlOf(g_reReadButton, false);
}

void lf_applySimTime()
{
    if (!SIM_TIME.current) {
        lf_showTimeShift(0);
        lf_timeShift(0, false);
        g_lastSimZuluTime = g_simZuluTime.load();
    } else {
        g_lastSimZuluTime = 0;
    }
    const bool manual = !SIM_TIME.current;
    for (auto* combo : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        gf_enableControlOf(*combo, manual);
    }
}

}  // namespace qel
