// Setting objects and the filling of their combo boxes.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "foundation/catalogue.h"
#include "foundation/parameters.h"
#include "foundation/settings.h"
#include "platform/controls.h"
#include "settings_fixture.h"

namespace qel {
namespace {

using platform::Control;
using platform::ControlKind;

class SettingObjects : public test::SettingsTest {};

TEST_F(SettingObjects, ConstructorsDoNotClamp)
{
    const IntParameter number("N", 500, 0, 10);
    EXPECT_EQ(number.current, 500);
    EXPECT_EQ(number.clamp(500), 10);
    EXPECT_EQ(number.clamp(-3), 0);
    const ComboIntParameter combo("C", 7, {5, 10}, 1, 2);
    EXPECT_EQ(combo.current, 7);
    EXPECT_EQ(combo.minimum, 5);
    EXPECT_EQ(combo.maximum, 10);
}

TEST_F(SettingObjects, IntComboSelectsOnlyAnExactChoice)
{
    Control control(ControlKind::ComboBox, RANGE.controlId);
    RANGE.controlWindow = &control;
    struct Row {
        int32_t value;
        int selection;
    };
    for (const auto& row : {Row{40, 15}, Row{2, 0}, Row{100, 19}, Row{7, -1}, Row{1000, -1}}) {
        RANGE.current = row.value;
        gf_fillIntCombo(RANGE);
        const auto items = control.comboItems();
        ASSERT_EQ(items.size(), 20U);
        EXPECT_EQ(items[16], u"50");
        EXPECT_EQ(control.comboSelection(), row.selection) << row.value;
        // A value between two choices is kept as it is.
        EXPECT_EQ(RANGE.current, row.value);
    }
}

TEST_F(SettingObjects, StringComboSelectsByPrefixIgnoringCase)
{
    Control control(ControlKind::ComboBox, SIM_CHOICE.controlId);
    SIM_CHOICE.controlWindow = &control;
    struct Row {
        const char* value;
        int selection;
    };
    for (const auto& row : {Row{"MSFS 2024", 1}, Row{"msfs 2024", 1}, Row{"MSFS", 0},
                            Row{"X-Plane", -1}, Row{"MSFS 2024 beta", -1}}) {
        SIM_CHOICE.assign(row.value);
        gf_fillStringCombo(SIM_CHOICE);
        EXPECT_EQ(control.comboItems(), (std::vector<std::u16string>{u"MSFS 2020", u"MSFS 2024"}));
        EXPECT_EQ(control.comboSelection(), row.selection) << row.value;
    }
}

TEST_F(SettingObjects, StringComboWithInvalidTextSelectsNothing)
{
    Control control(ControlKind::ComboBox, SIM_CHOICE.controlId);
    SIM_CHOICE.controlWindow = &control;
    SIM_CHOICE.assign("MSFS \xff");
    gf_fillStringCombo(SIM_CHOICE);
    EXPECT_EQ(control.comboSelection(), -1);
    EXPECT_EQ(control.comboItems().size(), 2U);
    EXPECT_TRUE(log_.contains("utf8_to_wide failed for 'MSFS \xff': utf8_to_wide: invalid UTF-8"));
}

TEST_F(SettingObjects, CallsignListStartsWithOneEmptyEntry)
{
    ASSERT_NE(CALLSIGN_2_OBJECTID.choices(), nullptr);
    EXPECT_EQ(*CALLSIGN_2_OBJECTID.choices(), std::vector<std::string>{""});

    gf_fillCallsignCombo();  // no control yet: nothing to fill
    Control control(ControlKind::ComboBox, CALLSIGN_2_OBJECTID.controlId);
    CALLSIGN_2_OBJECTID.controlWindow = &control;
    gf_fillCallsignCombo();
    EXPECT_EQ(control.comboItems(), std::vector<std::u16string>{u""});

    CALLSIGN_2_OBJECTID.replaceChoices(
        std::make_shared<const std::vector<std::string>>(std::vector<std::string>{"BAW12",
                                                                                  "DLH4"}));
    CALLSIGN_2_OBJECTID.assign("DLH4");
    gf_fillCallsignCombo();
    EXPECT_EQ(control.comboItems(), (std::vector<std::u16string>{u"BAW12", u"DLH4"}));
    EXPECT_EQ(control.comboSelection(), 1);
}

TEST_F(SettingObjects, ChoiceIndexNeedsAnEqualText)
{
    struct Row {
        const char* value;
        std::optional<std::size_t> index;
    };
    for (const auto& row : {Row{"AIG, FSLTL, JF, MTL", 0}, Row{"JF, MTL", 58}, Row{"MTL", 63},
                            Row{"AIG, FSLTL, JF", 24}, Row{"AIG, FSLTL, JF, MTL ", std::nullopt},
                            Row{"aig", std::nullopt}, Row{"", std::nullopt}}) {
        AI_PACKAGE_SELECTOR.assign(row.value);
        EXPECT_EQ(gf_findChoiceIndex(AI_PACKAGE_SELECTOR), row.index) << row.value;
    }
    const ComboStringParameter empty("E", "", {}, 1, 2);
    EXPECT_EQ(gf_findChoiceIndex(empty), std::nullopt);
}

TEST_F(SettingObjects, SetSavesTheTextAtOnce)
{
    gf_saveParameters(false);
    DESTINATION.set("EDDF");
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(file().c_str()));
    EXPECT_EQ(gf_readStringParameter(document, "DESTINATION"), "EDDF");
    EXPECT_TRUE(log_.contains("DESTINATION=\"EDDF\""));
}

}  // namespace
}  // namespace qel
