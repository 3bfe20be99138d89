#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/app.h"
#include "foundation/catalogue.h"
#include "platform/text.h"
#include "traffic/traffic.h"
#include "ui/ui.h"
#include "window_fixture.h"

namespace qel {
namespace {

using platform::ControlKind;
using platform::Rect;
using ControlCreation = test::WindowTest;
using ComboSelectionRules = test::WindowTest;
using ControlGroups = test::WindowTest;
using ControlValues = test::WindowTest;

bool lf_overlap(const Rect& a, const Rect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST_F(ControlCreation, EveryControlStandsAtItsIdKindAndPlace)
{
    struct Case {
        const ControlBinding* binding;
        ControlKind kind;
        Rect bounds;
    };
    const Case cases[] = {
        {&SIM_CHOICE, ControlKind::ComboBox, {5, 114, 110, 135}},
        {&ALL_INSTALL_PATH, ControlKind::Edit, {111, 119, 1311, 135}},
        {&SCAN_LIVERIES, ControlKind::CheckBox, {5, 149, 17, 161}},
        {&AI_PACKAGE_SELECTOR, ControlKind::ComboBox, {323, 142, 498, 163}},
        {&ALWAYS_ON_TOP, ControlKind::CheckBox, {748, 149, 760, 161}},
        {&g_tbloZipButton, ControlKind::Button, {217, 175, 297, 195}},
        {&MATCHING_DEPTH, ControlKind::ComboBox, {217, 198, 257, 219}},
        {&AR_ABOVE_HEIGHT, ControlKind::ComboBox, {455, 226, 525, 247}},
        {&BLOCK_CALLSIGN, ControlKind::Edit, {107, 259, 207, 275}},
        {&g_unblockButton, ControlKind::Button, {223, 257, 283, 277}},
        {&CALLSIGN_2_OBJECTID, ControlKind::ComboBox, {375, 254, 475, 275}},
        {&g_nowButton, ControlKind::Button, {111, 313, 156, 333}},
        {&DESTINATION, ControlKind::Edit, {217, 343, 267, 359}},
        {&WEEK, ControlKind::CheckBox, {71, 373, 83, 385}},
        {&MAX_FIT_FL, ControlKind::ComboBox, {566, 366, 626, 387}},
        {&RT_PARKTRAFFIC_ONLY, ControlKind::CheckBox, {667, 373, 679, 385}},
        {&g_flushStaticButton, ControlKind::Button, {758, 369, 848, 389}},
    };
    const auto specs = window_->controlSpecs();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.binding->controlId);
        auto* found = window_->control(c.binding->controlId);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found, c.binding->controlWindow.load());
        EXPECT_EQ(found->kind(), c.kind);
        bool placed = false;
        for (const auto& layout : specs) {
            if (layout.id == c.binding->controlId) placed = layout.bounds == c.bounds;
        }
        EXPECT_TRUE(placed);
    }
}

TEST_F(ControlCreation, FortyEightControlsOfFourKindsNoneOnAnother)
{
    const auto specs = window_->controlSpecs();
    ASSERT_EQ(specs.size(), 48u);
    std::set<uint16_t> ids;
    int perKind[4] = {};
    for (const auto& layout : specs) {
        ids.insert(layout.id);
        ++perKind[static_cast<int>(layout.kind)];
        EXPECT_GE(layout.id, 32771);
        EXPECT_LE(layout.id, 32862);
        // Every control lies in the control band, where the window paints no status.
        EXPECT_GE(layout.bounds.top, 112) << layout.id;
        EXPECT_LE(layout.bounds.bottom, 392) << layout.id;
    }
    EXPECT_EQ(ids.size(), 48u);
    EXPECT_EQ(perKind[static_cast<int>(ControlKind::CheckBox)], 23);
    EXPECT_EQ(perKind[static_cast<int>(ControlKind::ComboBox)], 15);
    EXPECT_EQ(perKind[static_cast<int>(ControlKind::Edit)], 3);
    EXPECT_EQ(perKind[static_cast<int>(ControlKind::Button)], 7);
    for (std::size_t i = 0; i < specs.size(); ++i) {
        for (std::size_t j = i + 1; j < specs.size(); ++j) {
            EXPECT_FALSE(lf_overlap(specs[i].bounds, specs[j].bounds))
                << specs[i].id << " and " << specs[j].id;
        }
    }
    EXPECT_EQ(g_tbloZipButton.controlWindow.load()->text(), u"");
    for (const auto& layout : specs) {
        if (layout.id == g_callsignLookupButton.controlId) {
            EXPECT_EQ(layout.caption, "cs->oid:");
        }
    }
}

TEST_F(ControlCreation, StartsFromTheSettingsEditsAndButtonsDisabled)
{
    gf_closeMainWindow();
    SCAN_LIVERIES.current = false;
    WEEK.current = true;
    ASSERT_TRUE(initInstance("VNTQ"));
    window_ = dynamic_cast<platform::HeadlessWindow*>(g_mainWindowState.window.load());
    ASSERT_NE(window_, nullptr);
    for (auto* setting : g_boolParams) {
        SCOPED_TRACE(setting->name);
        EXPECT_EQ(control(*setting).checked(), setting->current.load());
        EXPECT_TRUE(control(*setting).enabled());
    }
    for (const auto& layout : window_->controlSpecs()) {
        const auto& found = *window_->control(layout.id);
        const bool disabled = layout.kind == ControlKind::Edit || layout.kind == ControlKind::Button;
        EXPECT_EQ(found.enabled(), !disabled) << layout.id;
        // Combo boxes wait for the start-up to fill them.
        if (layout.kind == ControlKind::ComboBox) {
            EXPECT_TRUE(found.comboItems().empty());
        }
    }
    EXPECT_TRUE(window_->shown());
}

TEST_F(ComboSelectionRules, NumberBetweenTwoChoicesSelectsNothing)
{
    struct Case {
        int32_t range;  // nm
        int selected;
    };
    for (const Case& c : {Case{40, 15}, Case{41, -1}, Case{2, 0}, Case{100, 19}, Case{1, -1}}) {
        SCOPED_TRACE(c.range);
        RANGE.current = c.range;
        gf_fillIntCombo(RANGE);
        EXPECT_EQ(control(RANGE).comboSelection(), c.selected);
        control(RANGE).comboSetSelection(3);
        gf_showIntParameter(RANGE);
        EXPECT_EQ(control(RANGE).comboSelection(), c.selected);
        EXPECT_EQ(RANGE.current, c.range);  // the value itself is kept
    }
}

TEST_F(ComboSelectionRules, TextSelectsTheFirstEntryItBeginsWithIgnoringCase)
{
    gf_fillStringCombo(SIM_CHOICE);
    ASSERT_EQ(control(SIM_CHOICE).comboSelection(), 0);
    struct Case {
        std::string value;
        int selected;  // the previous selection stays when nothing begins with the value
    };
    for (const Case& c : {Case{"msfs 2024", 1}, Case{"MSFS", 0}, Case{"MSFS 2", 0},
                          Case{"MSFS 2024", 1}, Case{"XP12", 1}}) {
        SCOPED_TRACE(c.value);
        SIM_CHOICE.assign(c.value);
        gf_showTextParameter(SIM_CHOICE);
        EXPECT_EQ(control(SIM_CHOICE).comboSelection(), c.selected);
    }
}

TEST_F(ComboSelectionRules, MaxFitShowsItsHoursAndElevenSelectsNothing)
{
    gf_fillMaxFitCombo();
    ASSERT_EQ(control(MAX_FIT_FL).comboItems().size(), 20u);
    EXPECT_EQ(control(MAX_FIT_FL).comboItems()[0], u"0.5");
    struct Case {
        int32_t maxFit;  // half hours
        float hours;
        int selected;  // -2: the previous selection stays
    };
    const Case cases[] = {{0, 0.5F, 0}, {47, 24.0F, 19}, {43, 21.0F, 18},
                          {20, 11.0F, -2}, {21, 11.0F, -2}, {2, 1.5F, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxFit);
        MAX_FIT.current = 47;
        gf_selectMaxFitCombo();
        MAX_FIT.current = c.maxFit;
        gf_selectMaxFitCombo();
        EXPECT_EQ(MAX_FIT_FL.current, c.hours);
        EXPECT_EQ(control(MAX_FIT_FL).comboSelection(), c.selected == -2 ? 19 : c.selected);
    }
}

TEST_F(ControlGroups, ParkingControlsFollowTheReplanAndLeaveNowToInitialLoadOnly)
{
    const std::vector<const ControlBinding*> parking{
        &parking_percentage, &WEEK,         &PARK_SOFT,           &MAX_FIT_FL,
        &MAX_PARK_SEL,       &MAX_LIVE_SEL, &g_flushStaticButton, &g_reReadButton,
        &SIM_TIME,           &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS,
        &RT_PARKTRAFFIC_ONLY};
    for (bool initialLoadOnly : {false, true}) {
        SCOPED_TRACE(initialLoadOnly);
        INITIAL_LOAD_ONLY.current = initialLoadOnly;
        control(g_nowButton).setEnabled(true);
        gf_disableParkingControls();
        EXPECT_TRUE(g_parkingBusy);
        for (const auto* binding : parking) EXPECT_FALSE(control(*binding).enabled());
        EXPECT_TRUE(control(MATCHING_DEPTH).enabled());
        EXPECT_EQ(control(g_nowButton).enabled(), initialLoadOnly);

        control(g_nowButton).setEnabled(false);
        RT_PARKTRAFFIC_ONLY.current = true;
        gf_enableParkingControls();
        EXPECT_FALSE(g_parkingBusy);
        EXPECT_EQ(g_shownParkingCountdown, 20);
        EXPECT_EQ(control(g_nowButton).enabled(), !initialLoadOnly);
        for (const ControlBinding* binding :
             std::vector<const ControlBinding*>{&MAX_PARK_SEL, &MAX_LIVE_SEL,
                                                &RT_PARKTRAFFIC_ONLY}) {
            EXPECT_TRUE(control(*binding).enabled());
        }
        // With parked traffic from RealTraffic only, the stand-fit settings stay off.
        for (const ControlBinding* binding : std::vector<const ControlBinding*>{
                 &WEEK, &PARK_SOFT, &parking_percentage, &MAX_FIT_FL}) {
            EXPECT_FALSE(control(*binding).enabled());
        }
        RT_PARKTRAFFIC_ONLY.current = false;
        gf_enableStandFitControls();
        EXPECT_TRUE(control(MAX_FIT_FL).enabled());
    }
    g_parkingBusy = false;
}

TEST_F(ControlGroups, TimeShiftOffGreysItsLabels)
{
    ASSERT_EQ(paint().findText("Time shift:")->colour, colours::black);
    lf_enableTimeShiftControls(false);
    for (const ControlBinding* binding : std::vector<const ControlBinding*>{
             &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME}) {
        EXPECT_FALSE(control(*binding).enabled());
    }
    const auto canvas = paint();
    for (const char* label : {"Time shift:", "Keep", "Sim Time", "days", "hours", "minutes"}) {
        ASSERT_TRUE(canvas.findText(label)) << label;
        EXPECT_EQ(canvas.findText(label)->colour, colours::grey) << label;
    }
    // The labels stand in the control band, which must be repainted for them to turn grey.
    bool controlBand = false;
    for (const auto& area : window_->takeInvalidated()) {
        controlBand |= area == gf_areaRect(WindowArea::ControlBand);
    }
    EXPECT_TRUE(controlBand);
    lf_enableTimeShiftControls(true);
    EXPECT_TRUE(control(SIM_TIME).enabled());
}

TEST_F(ControlValues, MissingControlsAndBrokenTextsAreLoggedAndSkipped)
{
    EXPECT_EQ(lf_getTextFromId(1234), "");
    EXPECT_TRUE(log_.contains("GetDlgItem failed for ID 1234"));

    control(DESTINATION).setText(u"EDDF");
    DESTINATION.assign("ED\xff");
    gf_showTextParameter(DESTINATION);
    EXPECT_EQ(lf_getTextFromId(DESTINATION.controlId), "EDDF");
    EXPECT_TRUE(log_.contains("utf8_to_wide failed for 'ED\xff': utf8_to_wide: invalid UTF-8"));

    control(BLOCK_CALLSIGN).setText(std::u16string{u'A', u'B', char16_t{0xD800}});
    EXPECT_EQ(lf_getTextFromId(BLOCK_CALLSIGN.controlId), "");
    EXPECT_TRUE(log_.contains(
        "==> lf_getTextFromId: UTF-16 UTF-8 failed for id 32828: wide_to_utf8: invalid UTF-16"));
}

TEST_F(ControlValues, ComboSelectionIsReadOnlyForItsOwnChangeNotification)
{
    gf_fillStringCombo(SIM_CHOICE);
    control(SIM_CHOICE).comboSetSelection(1);
    const uint32_t id = SIM_CHOICE.controlId;
    const auto chosen = lf_getComboSelection(SIM_CHOICE.controlId, 1U << 16U | id);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->index, 1);
    EXPECT_EQ(chosen->text, "MSFS 2024");
    EXPECT_FALSE(lf_getComboSelection(SIM_CHOICE.controlId, id));  // a click, not a change
    EXPECT_FALSE(lf_getComboSelection(RANGE.controlId, 1U << 16U | id));
    control(SIM_CHOICE).comboSetSelection(-1);
    EXPECT_FALSE(lf_getComboSelection(SIM_CHOICE.controlId, 1U << 16U | id));
}

TEST_F(ControlValues, RestoringEqualSettingsChangesAndSavesNothing)
{
    SavedParkSettings held{MAX_LIVE_SEL.current, MAX_FIT.current,         RANGE.current,
                           parking_percentage.current, AUTO_RANGE.current,
                           INITIAL_LOAD_ONLY.current,  RT_PARKTRAFFIC_ONLY.current,
                           PARK_SOFT.current,          WEEK.current};
    gf_syncSettingControls(held);
    EXPECT_FALSE(std::filesystem::exists(file()));

    for (auto* combo : {&RANGE, &MAX_LIVE_SEL, &parking_percentage}) gf_fillIntCombo(*combo);
    held.range = 10;
    held.autoRange = false;
    held.week = true;
    held.maxLiveSel = 25;
    gf_syncSettingControls(held);
    EXPECT_EQ(RANGE.current, 10);
    EXPECT_EQ(g_range_m, 10 * 1852 + 10000);
    EXPECT_EQ(control(RANGE).comboSelection(), 6);
    EXPECT_EQ(control(MAX_LIVE_SEL).comboSelection(), 2);
    EXPECT_FALSE(AUTO_RANGE.current);
    EXPECT_FALSE(control(AUTO_RANGE).checked());
    EXPECT_TRUE(control(RANGE).enabled());
    EXPECT_FALSE(control(AR_ABOVE_HEIGHT).enabled());
    EXPECT_TRUE(control(WEEK).checked());
    const std::string saved = test::readFile(file());
    for (const char* row : {"name=\"RANGE\" value=\"10\"", "name=\"AUTO_RANGE\" value=\"false\"",
                            "name=\"WEEK\" value=\"true\"", "name=\"MAX_LIVE_SEL\" value=\"25\""}) {
        EXPECT_NE(saved.find(row), std::string::npos) << row;
    }
    gf_setRange(RANGE.defaultValue);
}

TEST_F(ControlValues, AStandFileSwitchingTheAutomaticRangeOffKeepsTheRangeLastSet)
{
    // Started with AUTO_RANGE off and RANGE 100; a stand file says AUTO_RANGE false, then one
    // says RANGE 80 and AUTO_RANGE false, each as the file reader applies them.
    AUTO_RANGE.current = false;
    gf_setRange(100);
    gf_applyAutoRange();
    EXPECT_EQ(RANGE.current, 100);
    gf_setRange(80);
    gf_applyAutoRange();
    EXPECT_EQ(RANGE.current, 80);
    EXPECT_EQ(g_range_m, 80 * 1852 + 10000);
    gf_setRange(RANGE.defaultValue);
}

}  // namespace
}  // namespace qel
