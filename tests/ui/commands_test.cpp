#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/app.h"
#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/time.h"
#include "traffic/traffic.h"
#include "ui/ui.h"
#include "window_fixture.h"

namespace qel {
namespace {

using Commands = test::WindowTest;

TEST_F(Commands, CheckBoxClickTogglesStoresAndSaves)
{
    struct Case {
        ControlBoolParameter* setting;
        std::string messageWhenOff;
    };
    const Case cases[] = {
        {&COLLISION_USER_AIR,
         "Be aware, user aircraft may collide with (run through) live aircraft in the air"},
        {&GUID_CHANGES,
         "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!"},
        {&HELICOPTERS, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting->name);
        ASSERT_TRUE(c.setting->current);
        window_->click(c.setting->controlId);
        EXPECT_FALSE(c.setting->current);
        EXPECT_FALSE(control(*c.setting).checked());
        EXPECT_EQ(messageText(), c.messageWhenOff);
        EXPECT_NE(test::readFile(file()).find(
                      fmt::format("name=\"{}\" value=\"false\"", c.setting->name)),
                  std::string::npos);
        window_->click(c.setting->controlId);
        EXPECT_TRUE(c.setting->current);
        EXPECT_EQ(messageText(), "");
    }
}

TEST_F(Commands, ComboChoicesAreClampedStoredAndSaved)
{
    gf_fillIntCombo(RANGE);
    gf_fillIntCombo(MATCHING_DEPTH);
    gf_fillMaxFitCombo();
    control(RANGE).setEnabled(true);
    window_->choose(RANGE.controlId, 6);
    EXPECT_EQ(RANGE.current, 10);
    EXPECT_EQ(g_range_m, 10 * 1852 + 10000);
    EXPECT_EQ(g_rangeNm, 10.0);

    g_matchingLevelRaised = false;
    window_->choose(MATCHING_DEPTH.controlId, 1);  // 4 → 2: lowered
    EXPECT_EQ(MATCHING_DEPTH.current, 2);
    EXPECT_FALSE(g_matchingLevelRaised);
    window_->choose(MATCHING_DEPTH.controlId, 2);  // 2 → 3: raised
    EXPECT_TRUE(g_matchingLevelRaised);

    struct Case {
        int index;
        float hours;
        int32_t maxFit;  // half hours
    };
    for (const Case& c : {Case{2, 1.5F, 2}, Case{19, 24.0F, 47}, Case{0, 0.5F, 0}}) {
        window_->choose(MAX_FIT_FL.controlId, c.index);
        EXPECT_EQ(MAX_FIT_FL.current, c.hours);
        EXPECT_EQ(MAX_FIT.current, c.maxFit);
    }
    const std::string saved = test::readFile(file());
    for (const char* row : {"name=\"RANGE\" value=\"10\"", "name=\"MATCHING_DEPTH\" value=\"3\"",
                            "name=\"MAX_FIT\" value=\"0\""}) {
        EXPECT_NE(saved.find(row), std::string::npos) << row;
    }
    g_matchingLevelRaised = false;
    gf_setRange(RANGE.defaultValue);
}

TEST_F(Commands, TimeShiftSplitsIntoItsCombosAndIsCutAtTwoWeeks)
{
    for (auto* combo : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        gf_fillIntCombo(*combo);
    }
    struct Case {
        int32_t minutes;
        int32_t days, hours, mins;
        bool limited;
    };
    for (const Case& c : {Case{3064, 2, 3, 4, false}, Case{0, 0, 0, 0, false},
                          Case{30000, 13, 23, 0, true}}) {
        SCOPED_TRACE(c.minutes);
        lf_timeShift(c.minutes, true);
        EXPECT_EQ(g_timeShiftActive, c.minutes > 0);
        EXPECT_EQ(TIME_SHIFT_DAYS.current, c.days);
        EXPECT_EQ(TIME_SHIFT_HOURS.current, c.hours);
        EXPECT_EQ(TIME_SHIFT_MINS.current, c.mins);
        EXPECT_EQ(control(TIME_SHIFT_DAYS).comboSelection(), c.days);
        EXPECT_EQ(control(TIME_SHIFT_MINS).comboSelection(), c.mins);
        EXPECT_EQ(log_.contains("Time shifting is limited to 2 weeks"), c.limited);
    }
    g_timeShiftActive = false;
}

TEST_F(Commands, ParkingCountdownAnnouncesTheNextQuarterMinute)
{
    struct Case {
        int32_t secondTicks;
        std::string message;
    };
    for (const Case& c :
         {Case{0, "VNTQ will update static parking in 15 seconds ..."},
          Case{29, "VNTQ will update static parking in 1 second ..."},
          Case{31, "VNTQ will update static parking in 14 seconds ..."}}) {
        g_secondTicks = c.secondTicks;
        g_parkRefreshDue = false;
        lf_showParkingCountdown();
        EXPECT_EQ(messageText(), c.message);
        EXPECT_TRUE(g_parkRefreshDue);
        EXPECT_TRUE(g_parkingBusy);
        EXPECT_FALSE(control(MAX_PARK_SEL).enabled());
    }
    g_secondTicks = 0;
    g_parkRefreshDue = false;
    g_parkingBusy = false;
}

}  // namespace
}  // namespace qel
