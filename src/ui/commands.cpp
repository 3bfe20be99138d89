// What happens when a control is used: the push buttons, the check boxes and the combo boxes,
// each changed setting stored and saved at once. Work that belongs to the main-loop thread is
// raised as a request flag or handed over with gf_postToMainLoop, never done here.
//
// Threads: GUI thread.
#include <string>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/run_state.h"
#include "foundation/shell.h"
#include "liveries/livery_db.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/commands.h"
#include "ui/ui.h"

namespace qel {

namespace {

constexpr int32_t kScanRestartDelay_s = 2;

platform::Control* lf_control(const ControlBinding& binding)
{
    return binding.controlWindow.load();
}

bool lf_isEnabled(const ControlBinding& binding)
{
    const auto* control = lf_control(binding);
    return control && control->enabled();
}

// True when the shell opened the file.
bool lf_openTbloZip()
{
    if (gf_openWithShell(g_tbloDir / g_tbloZip)) return true;
    platform::messageBox("Could not open File Explorer at tblo.zip.", g_shortName,
                         platform::MessageBoxIcon::Warning);
    return false;
}

void lf_pressNow()
{
    if (!g_parkStandsLoaded) return;
    if (INITIAL_LOAD_ONLY.current) {
        gf_clearMessage();
        return;
    }
    lf_showParkingCountdown();
    g_staticParkingCountdown = 20;
    g_shownParkingCountdown = 20;
    gf_invalidateArea(WindowArea::ControlBand);
}

// The message of a check box: `on` shown when the box is on, `off` when off; an empty text
// clears the line.
void lf_checkMessage(bool value, std::string_view on, std::string_view off)
{
    const std::string_view text = value ? on : off;
    if (text.empty()) {
        gf_clearMessage();
    } else {
        gf_setMessage(text, false);
    }
}

// SCAN_AIRPORTS and SCAN_LIVERIES: before the simulator is connected the scan starts at once
// with a restart; afterwards it waits for the next start.
void lf_scanChecked(bool value, bool liveries)
{
    const std::string_view what = liveries ? "liveries" : "airports";
    if (!value) {
        gf_clearMessage();
        return;
    }
    if (g_simNotConnected) {
        // The restart scans and rebuilds the database. It is emptied on the start-up thread
        // after close-down: the running start-up may be building it and aircraft hold views
        // of its titles.
        if (liveries) gf_requestLiveryDbClear();
        gf_setMessage(fmt::format("Your {} will be scanned", what), true);
        gf_requestStop(ExitReason::NEW_SETTINGS, kScanRestartDelay_s);
        return;
    }
    gf_setMessage(fmt::format("Your {} will be scanned at the next start of {}", what, g_shortName),
                  false);
}

void lf_afterCheck(const ControlBoolParameter& setting, bool value)
{
    if (&setting == &LIG_AUTOMATIC) {
        lf_checkMessage(value, "",
                        "The liveries defined by your lfolder parameters will be scanned");
        gf_enableControlOf(AI_PACKAGE_SELECTOR, value);
    } else if (&setting == &LIG_PRIORITIZE) {
        lf_checkMessage(value,
                        "Liveries, for airl+model, in lower lfolders that are already available "
                        "will be skipped",
                        "");
    } else if (&setting == &COLLISION_LIVE_PARKED_GND) {
        lf_checkMessage(value, "",
                        "Be aware, live aircraft may collide with (run through) static parked on "
                        "the ground");
    } else if (&setting == &COLLISION_USER_GND) {
        lf_checkMessage(value, "",
                        "Be aware, user aircraft may collide with (run through) live aircraft and "
                        "static parked on the ground");
    } else if (&setting == &COLLISION_USER_AIR) {
        lf_checkMessage(value, "",
                        "Be aware, user aircraft may collide with (run through) live aircraft in "
                        "the air");
    } else if (&setting == &INITIAL_LOAD_ONLY) {
        lf_checkMessage(value,
                        fmt::format("Initial Load Only: static parked aircraft are generated "
                                    "once, no renewal every {} minutes",
                                    20),
                        "");
        gf_enableControlOf(g_nowButton, !value && g_trafficWindowStatus.nowAllowed);
    } else if (&setting == &RT_PARKTRAFFIC_ONLY) {
        gf_enableStandFitControls();
        g_parkTrafficOnlyChanged = value;
        gf_invalidateArea(WindowArea::Statistics);
    } else if (&setting == &ALWAYS_ON_TOP) {
        lf_checkMessage(value, fmt::format("{}'s window will remain visible", g_shortName), "");
        gf_setWindowTopmost(value);
    } else if (&setting == &GUID_CHANGES) {
        lf_checkMessage(value, "",
                        "Be aware, no more livery updates: you miss correct data for Learn, "
                        "LittleNavMap, etc!");
    } else if (&setting == &SIM_TIME) {
        lf_applySimTime();
    } else if (&setting == &AUTO_RANGE) {
        gf_enableControlOf(AR_ABOVE_HEIGHT, value);
        gf_applyAutoRange();
    } else if (&setting == &SCAN_AIRPORTS) {
        lf_scanChecked(value, false);
    } else if (&setting == &SCAN_LIVERIES) {
        gf_enableControlOf(AI_PACKAGE_SELECTOR, !value);
        lf_scanChecked(value, true);
    } else if (&setting == &NAV_LIGHTS_WHILE_PARKED) {
        // The aircraft belong to the main-loop thread.
        gf_postToMainLoop([] { gf_applyNavLightsWhileParked(); });
    } else if (&setting == &OBJECTID_LIST) {
        lf_checkMessage(value,
                        fmt::format("Every minute info about all active live aircraft is written "
                                    "to the file {}",
                                    g_objectIdListTxt.string()),
                        "");
    } else if (&setting == &AIRBORNE_ONLY) {
        lf_checkMessage(value,
                        "Be aware, airborne live traffic only!  (greater than 300 ft above "
                        "ground ...)",
                        "");
    }
    gf_invalidateArea(WindowArea::ControlBand);
}

// A number combo's new value: the chosen entry, clamped; stored and saved. The old value.
int32_t lf_storeChoice(ComboIntParameter& setting, int index)
{
    const int32_t old = setting.current;
    const auto i = static_cast<std::size_t>(index);
    if (i >= setting.choices.size()) return old;
    setting.current = setting.clamp(setting.choices[i]);
    gf_saveIntParameter(setting);
    return old;
}

bool lf_handleStringCombo(ControlStringParameter& setting, const ComboSelection& chosen)
{
    if (setting.value() == chosen.text) return true;
    if (&setting == &SIM_CHOICE) {
        SIM_CHOICE.set(chosen.text);
        gf_showTextParameter(SIM_CHOICE);
        lf_switchSimVersion();
    } else if (&setting == &AI_PACKAGE_SELECTOR) {
        AI_PACKAGE_SELECTOR.set(chosen.text);
        gf_setMessage(
            "If you want to make this choice effective, you must start a Scan for "
            "liveries",
            true);
    } else {
        // CALLSIGN_2_OBJECTID lives only in memory.
        CALLSIGN_2_OBJECTID.assign(chosen.text);
        g_trafficWindowStatus.selectedAircraftText.set({});
        gf_invalidateArea(WindowArea::ControlBand);
        g_callsignLookupPending = true;
        gf_enableControlOf(g_blockButton, !lf_isEnabled(g_unblockButton));
    }
    return true;
}

void lf_handleNumberCombo(ComboIntParameter& setting, int index)
{
    const int32_t old = lf_storeChoice(setting, index);
    if (&setting == &MATCHING_DEPTH && setting.current > old) g_matchingLevelRaised = true;
    if (&setting == &RANGE) gf_setRange(setting.current);
    // Below the active live aircraft the farthest go, on the main-loop thread.
    if (&setting == &MAX_LIVE_SEL) gf_postToMainLoop([] { gf_applyMaxLiveSel(); });
}

void lf_handleTimeShiftCombo(ComboIntParameter& setting, int index)
{
    const auto i = static_cast<std::size_t>(index);
    if (i < setting.choices.size()) setting.current = setting.clamp(setting.choices[i]);
    lf_timeShift(
        (TIME_SHIFT_HOURS.current + TIME_SHIFT_DAYS.current * 24) * 60 + TIME_SHIFT_MINS.current,
        false);
}

void lf_handleMaxFitCombo(int index)
{
    const auto i = static_cast<std::size_t>(index);
    if (i >= MAX_FIT_FL.choices.size()) return;
    MAX_FIT_FL.current = MAX_FIT_FL.choices[i];
    MAX_FIT.current = gf_hoursToMaxFit(MAX_FIT_FL.current);
    gf_saveIntParameter(MAX_FIT);
}

}  // namespace

bool lf_HandleWMCOMMAND(uint32_t wParam)
{
    const auto id = static_cast<uint16_t>(wParam & 0xFFFFU);
    const auto code = static_cast<uint16_t>(wParam >> 16U);
    try {
        if (code == platform::kClicked && (lf_handleButtons(id) || lf_handleCheckBoxes(id))) {
            return true;
        }
        if (lf_handleComboBoxes(wParam)) return true;
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
    }
    gf_invalidateArea(WindowArea::ControlBand);
    return false;
}

bool lf_handleButtons(uint16_t id)
{
    if (id == g_unblockButton.controlId) {
        if (BLOCK_CALLSIGN.value().empty()) {
            gf_setMessage("Nothing to block or unblock...", false);
        } else {
            lf_unblockCallsign();
        }
        gf_enableControlOf(g_blockButton, !CALLSIGN_2_OBJECTID.value().empty());
    } else if (id == g_callsignLookupButton.controlId) {
        g_callsignLookupRequested = true;
        gf_enableControlOf(g_blockButton, false);
    } else if (id == g_blockButton.controlId) {
        // The list's empty first entry is no callsign: blocking it would only mark "Unblock".
        const std::string callsign = CALLSIGN_2_OBJECTID.value();
        if (!callsign.empty()) lf_blockCallsign(callsign);
        gf_postToMainLoop([] { gf_refreshAcList(); });
        gf_enableControlOf(g_blockButton, false);
    } else if (id == g_reReadButton.controlId) {
        g_reReadRequested = true;
        gf_enableControlOf(g_reReadButton, false);
        gf_enableControlOf(DESTINATION, false);
    } else if (id == g_flushStaticButton.controlId) {
        gf_setMessage("All static parked aircraft will be removed ...", false);
        g_flushStaticRequested = true;
        gf_enableControlOf(g_flushStaticButton, false);
    } else if (id == g_tbloZipButton.controlId) {
        return lf_openTbloZip();
    } else if (id == g_nowButton.controlId) {
        lf_pressNow();
    } else {
        return false;
    }
    return true;
}

bool lf_handleCheckBoxes(uint16_t id)
{
    for (auto* setting : g_boolParams) {
        if (setting->controlId != id) continue;
        auto* control = lf_control(*setting);
        // The box is not automatic: its mark changes only here.
        const bool value = control ? !control->checked() : !setting->current;
        if (control) control->setChecked(value);
        setting->current = value;
        gf_saveBoolParameter(*setting);
        lf_afterCheck(*setting, value);
        return true;
    }
    return false;
}

bool lf_handleComboBoxes(uint32_t wParam)
{
    for (ControlStringParameter* setting :
         {static_cast<ControlStringParameter*>(&SIM_CHOICE),
          static_cast<ControlStringParameter*>(&AI_PACKAGE_SELECTOR),
          static_cast<ControlStringParameter*>(&CALLSIGN_2_OBJECTID)}) {
        if (const auto chosen = lf_getComboSelection(setting->controlId, wParam)) {
            return lf_handleStringCombo(*setting, *chosen);
        }
    }
    for (ComboIntParameter* setting : {&MATCHING_DEPTH, &MAX_PARK_SEL, &parking_percentage, &RANGE,
                                       &AIRP_RANGE, &AR_ABOVE_HEIGHT, &AIRP_HEIGHT}) {
        if (const auto chosen = lf_getComboSelection(setting->controlId, wParam)) {
            lf_handleNumberCombo(*setting, chosen->index);
            return true;
        }
    }
    if (const auto chosen = lf_getComboSelection(MAX_FIT_FL.controlId, wParam)) {
        lf_handleMaxFitCombo(chosen->index);
        return true;
    }
    if (const auto chosen = lf_getComboSelection(MAX_LIVE_SEL.controlId, wParam)) {
        lf_handleNumberCombo(MAX_LIVE_SEL, chosen->index);
        return true;
    }
    for (ComboIntParameter* setting : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        if (const auto chosen = lf_getComboSelection(setting->controlId, wParam)) {
            lf_handleTimeShiftCombo(*setting, chosen->index);
            return true;
        }
    }
    return false;
}

}  // namespace qel
