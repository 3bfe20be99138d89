// The window's controls: one for every control-bound setting and push button, created at its id,
// row and size; showing a setting's value in its control; reading a control's text and a
// combo box's new selection; and the groups of controls enabled and disabled together.
//
// Threads: the controls are created on the GUI thread; afterwards any thread may show values
// and enable or disable them (each control guards its own state).
#include "ui/controls.h"

#include <exception>
#include <vector>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/run_state.h"
#include "platform/text.h"
#include "traffic/traffic.h"
#include "ui/ui.h"
#include "ui/ui_run.h"

namespace qel {

namespace {

constexpr int kCheckBoxSize = 12;              // px, square, at row + 2
constexpr int kComboClosedHeight = 21;         // px, at row - 5: a drop-down list's closed part
constexpr int kEditHeight = 16;                // px, at the row
constexpr int kButtonHeight = 20;              // px, at the row
constexpr std::size_t kComboTextBuffer = 256;  // UTF-16 units, the terminator included

// One control of the window, in creation order.
struct ControlLayout {
    platform::ControlKind kind;
    ControlBinding* binding;
    int x;                   // px
    int width;               // px; 0 for a check box
    int dropDownHeight = 0;  // px; combo boxes
};

const std::vector<ControlLayout>& lf_layout()
{
    using K = platform::ControlKind;
    static const std::vector<ControlLayout> layout{
        {K::ComboBox, &SIM_CHOICE, 5, 105, 80},
        {K::Edit, &ALL_INSTALL_PATH, 111, 1200},
        {K::CheckBox, &SCAN_LIVERIES, 5, 0},
        {K::CheckBox, &LIG_AUTOMATIC, 217, 0},
        {K::ComboBox, &AI_PACKAGE_SELECTOR, 323, 175, 300},
        {K::CheckBox, &LIG_PRIORITIZE, 536, 0},
        {K::CheckBox, &ALWAYS_ON_TOP, 748, 0},
        {K::CheckBox, &SCAN_AIRPORTS, 5, 0},
        {K::Button, &g_tbloZipButton, 217, 80},
        {K::CheckBox, &OBJECTID_LIST, 652, 0},
        {K::CheckBox, &NAV_LIGHTS_WHILE_PARKED, 748, 0},
        {K::ComboBox, &MATCHING_DEPTH, 217, 40, 120},
        {K::CheckBox, &LIGHT_AIRCRAFT, 323, 0},
        {K::CheckBox, &HELICOPTERS, 430, 0},
        {K::CheckBox, &HIGH_PERF_AIRCRAFT, 536, 0},
        {K::CheckBox, &GUID_CHANGES, 748, 0},
        {K::ComboBox, &RANGE, 217, 50, 200},
        {K::CheckBox, &AUTO_RANGE, 323, 0},
        {K::ComboBox, &AR_ABOVE_HEIGHT, 455, 70, 230},
        {K::CheckBox, &AIRBORNE_ONLY, 572, 0},
        {K::ComboBox, &TIME_SHIFT_DAYS, 748, 45, 200},
        {K::CheckBox, &COLLISION_USER_GND, 217, 0},
        {K::CheckBox, &COLLISION_USER_AIR, 323, 0},
        {K::CheckBox, &COLLISION_LIVE_PARKED_GND, 430, 0},
        {K::CheckBox, &SIM_TIME, 652, 0},
        {K::ComboBox, &TIME_SHIFT_HOURS, 748, 45, 200},
        {K::Edit, &BLOCK_CALLSIGN, 107, 100},
        {K::Button, &g_unblockButton, 223, 60},
        {K::Button, &g_callsignLookupButton, 305, 60},
        {K::ComboBox, &CALLSIGN_2_OBJECTID, 375, 100, 300},
        {K::Button, &g_blockButton, 576, 60},
        {K::CheckBox, &KEEP_SIM_TIME_PAR, 652, 0},
        {K::ComboBox, &TIME_SHIFT_MINS, 748, 45, 300},
        {K::Button, &g_nowButton, 111, 45},
        {K::ComboBox, &MAX_PARK_SEL, 323, 55, 144},
        {K::ComboBox, &MAX_LIVE_SEL, 536, 55, 144},
        {K::Edit, &DESTINATION, 217, 50},
        {K::ComboBox, &AIRP_RANGE, 353, 45, 144},
        {K::ComboBox, &AIRP_HEIGHT, 566, 70, 230},
        {K::CheckBox, &STRAIGHT_PBS_ONLY, 652, 0},
        {K::CheckBox, &INITIAL_LOAD_ONLY, 5, 0},
        {K::CheckBox, &WEEK, 71, 0},
        {K::CheckBox, &PARK_SOFT, 151, 0},
        {K::ComboBox, &parking_percentage, 323, 50, 200},
        {K::ComboBox, &MAX_FIT_FL, 566, 60, 300},
        {K::CheckBox, &RT_PARKTRAFFIC_ONLY, 667, 0},
        {K::Button, &g_reReadButton, 758, 90},
        {K::Button, &g_flushStaticButton, 758, 90},
    };
    return layout;
}

platform::Window* lf_window() { return g_mainWindowState.window.load(); }

void lf_enable(const ControlBinding& binding, bool on)
{
    if (auto* control = binding.controlWindow.load()) control->setEnabled(on);
}

// Selects the entry of a number combo equal to its value; the selection stays when there is
// none.
void lf_selectChoice(const ComboIntParameter& setting)
{
    auto* control = setting.controlWindow.load();
    if (!control) return;
    const int32_t value = setting.current;
    for (std::size_t i = 0; i < setting.choices.size(); ++i) {
        if (setting.choices[i] == value) {
            control->comboSetSelection(static_cast<int>(i));
            return;
        }
    }
}

void lf_restoreBool(ControlBoolParameter& setting, bool held)
{
    if (setting.current == held) return;
    setting.current = held;
    gf_saveBoolParameter(setting);
    gf_showBoolParameter(setting);
}

}  // namespace

platform::Control& createCheckBox(platform::Window& window, ControlBoolParameter& setting, int x)
{
    const int y = static_cast<int>(setting.rowY) + 2;
    auto& control = window.addControl({platform::ControlKind::CheckBox,
                                       setting.controlId,
                                       {x, y, x + kCheckBoxSize, y + kCheckBoxSize}});
    control.setChecked(setting.current);
    setting.controlWindow = &control;
    return control;
}

platform::Control& createComboBox(platform::Window& window, ControlBinding& binding, int x,
                                  int width, int dropDownHeight)
{
    const int y = static_cast<int>(binding.rowY) - 5;
    auto& control = window.addControl({platform::ControlKind::ComboBox,
                                       binding.controlId,
                                       {x, y, x + width, y + kComboClosedHeight},
                                       {},
                                       dropDownHeight});
    binding.controlWindow = &control;
    return control;
}

platform::Control& createEditBox(platform::Window& window, ControlStringParameter& setting, int x,
                                 int width)
{
    const int y = static_cast<int>(setting.rowY);
    auto& control = window.addControl(
        {platform::ControlKind::Edit, setting.controlId, {x, y, x + width, y + kEditHeight}});
    control.setEnabled(false);
    setting.controlWindow = &control;
    return control;
}

platform::Control& createButton(platform::Window& window, PushButton& button, int x, int width)
{
    const int y = static_cast<int>(button.rowY);
    auto& control = window.addControl({platform::ControlKind::Button,
                                       button.controlId,
                                       {x, y, x + width, y + kButtonHeight},
                                       button.name});
    control.setEnabled(false);
    button.controlWindow = &control;
    return control;
}

void lf_createControls(platform::Window& window)
{
    for (const auto& item : lf_layout()) {
        switch (item.kind) {
        case platform::ControlKind::CheckBox:
            createCheckBox(window, *dynamic_cast<ControlBoolParameter*>(item.binding), item.x);
            break;
        case platform::ControlKind::ComboBox:
            createComboBox(window, *item.binding, item.x, item.width, item.dropDownHeight);
            break;
        case platform::ControlKind::Edit:
            createEditBox(window, *dynamic_cast<ControlStringParameter*>(item.binding), item.x,
                          item.width);
            break;
        case platform::ControlKind::Button:
            createButton(window, *dynamic_cast<PushButton*>(item.binding), item.x, item.width);
            break;
        }
    }
    window.invalidate(gf_areaRect(WindowArea::ControlBand));
}

void lf_forgetControls()
{
    for (const auto& item : lf_layout()) item.binding->controlWindow = nullptr;
}

void gf_enableControlOf(const ControlBinding& binding, bool on)
{
    lf_enable(binding, on);
    gf_invalidateArea(WindowArea::ControlBand);
}

void enableControl(const ControlStringParameter& edit) { gf_enableControlOf(edit, true); }

std::string lf_getTextFromId(uint16_t id)
{
    auto* window = lf_window();
    auto* control = window ? window->control(id) : nullptr;
    if (!control) {
        gf_log(fmt::format("GetDlgItem failed for ID {}", id));
        return {};
    }
    try {
        return wide_to_utf8(control->text());
    } catch (const std::exception& e) {
        gf_logHighlighted(
            fmt::format("{}: UTF-16 UTF-8 failed for id {}: {}", "lf_getTextFromId", id, e.what()));
        return {};
    }
}

std::optional<ComboSelection> lf_getComboSelection(uint16_t id, uint32_t wParam)
{
    if ((wParam & 0xFFFFU) != id || (wParam >> 16U) != platform::kSelectionChanged) return {};
    auto* window = lf_window();
    auto* control = window ? window->control(id) : nullptr;
    if (!control) return {};
    const int index = control->comboSelection();
    const auto items = control->comboItems();
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return {};
    try {
        // The item is read into a buffer of fixed size, as CB_GETLBTEXT into 256 units does.
        const auto& item = items[static_cast<std::size_t>(index)];
        return ComboSelection{index, wide_to_utf8(item.substr(0, kComboTextBuffer - 1))};
    } catch (const std::exception&) {
        return {};
    }
}

void gf_syncSettingControls(const SavedParkSettings& held)
{
    if (MAX_LIVE_SEL.current != held.maxLiveSel) {
        MAX_LIVE_SEL.current = MAX_LIVE_SEL.clamp(held.maxLiveSel);
        gf_saveIntParameter(MAX_LIVE_SEL);
        lf_selectChoice(MAX_LIVE_SEL);
    }
    if (MAX_FIT.current != held.maxFit) {
        MAX_FIT.current = MAX_FIT.clamp(held.maxFit);
        gf_saveIntParameter(MAX_FIT);
        gf_selectMaxFitCombo();
    }
    if (RANGE.current != held.range) {
        RANGE.current = RANGE.clamp(held.range);
        gf_saveIntParameter(RANGE);
        gf_setRange(held.range);
    }
    if (parking_percentage.current != held.parkingPercentage) {
        parking_percentage.current = parking_percentage.clamp(held.parkingPercentage);
        gf_saveIntParameter(parking_percentage);
        lf_selectChoice(parking_percentage);
    }
    if (AUTO_RANGE.current != held.autoRange) {
        lf_restoreBool(AUTO_RANGE, held.autoRange);
        lf_enable(RANGE, !held.autoRange);
        lf_enable(AR_ABOVE_HEIGHT, held.autoRange);
    }
    lf_restoreBool(INITIAL_LOAD_ONLY, held.initialLoadOnly);
    lf_restoreBool(RT_PARKTRAFFIC_ONLY, held.rtParkTrafficOnly);
    lf_restoreBool(PARK_SOFT, held.parkSoft);
    lf_restoreBool(WEEK, held.week);
    gf_invalidateArea(WindowArea::ControlBand);
}

void gf_disableParkingControls()
{
    g_parkingBusy = true;
    for (const ControlBinding* binding : std::initializer_list<const ControlBinding*>{
             &parking_percentage, &WEEK, &PARK_SOFT, &MAX_FIT_FL, &MAX_PARK_SEL, &MAX_LIVE_SEL,
             &g_flushStaticButton, &g_reReadButton, &SIM_TIME, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS,
             &TIME_SHIFT_MINS, &RT_PARKTRAFFIC_ONLY}) {
        lf_enable(*binding, false);
    }
    // With INITIAL_LOAD_ONLY the button belongs to the user's choice, not to the re-plan.
    if (!INITIAL_LOAD_ONLY.current) lf_enable(g_nowButton, false);
    g_trafficWindowStatus.nowAllowed = true;
    gf_invalidateArea(WindowArea::ControlBand);
}

void gf_enableParkingControls()
{
    g_parkingBusy = false;
    g_shownParkingCountdown = 20;
    for (const ControlBinding* binding : std::initializer_list<const ControlBinding*>{
             &MAX_PARK_SEL, &MAX_LIVE_SEL, &SIM_TIME, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS,
             &TIME_SHIFT_MINS, &RT_PARKTRAFFIC_ONLY, &g_flushStaticButton, &g_reReadButton}) {
        lf_enable(*binding, true);
    }
    if (!INITIAL_LOAD_ONLY.current) lf_enable(g_nowButton, true);
    g_trafficWindowStatus.nowAllowed = true;
    gf_enableStandFitControls();
}

void gf_enableStandFitControls()
{
    const bool on = !RT_PARKTRAFFIC_ONLY.current;
    for (const ControlBinding* binding : std::initializer_list<const ControlBinding*>{
             &PARK_SOFT, &WEEK, &parking_percentage, &MAX_FIT_FL}) {
        lf_enable(*binding, on);
    }
    gf_invalidateArea(WindowArea::ControlBand);
}

void lf_enableTimeShiftControls(bool on)
{
    for (const ControlBinding* binding : std::initializer_list<const ControlBinding*>{
             &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME}) {
        lf_enable(*binding, on);
    }
    if (on) return;
    g_uiRun.timeShiftFlag = false;
    gf_invalidateArea(WindowArea::StatusStrip);
    // The time-shift labels stand in the control band: they turn grey only when it repaints.
    gf_invalidateArea(WindowArea::ControlBand);
}

void gf_selectMaxFitCombo()
{
    const float hours = gf_halfHours2Hours(MAX_FIT.current);
    MAX_FIT_FL.current = hours;
    auto* control = MAX_FIT_FL.controlWindow.load();
    if (!control) return;
    const auto entries = control->comboItems().size();
    for (std::size_t i = 0; i < MAX_FIT_FL.choices.size() && i < entries; ++i) {
        if (MAX_FIT_FL.choices[i] == hours) {
            control->comboSetSelection(static_cast<int>(i));
            return;
        }
    }
}

void gf_fillMaxFitCombo()
{
    auto* control = MAX_FIT_FL.controlWindow.load();
    if (!control) return;
    control->comboReset();
    for (float hours : MAX_FIT_FL.choices) {
        control->comboAdd(utf8_to_wide(fmt::format("{:.1f}", hours)));
    }
    gf_selectMaxFitCombo();
}

}  // namespace qel
