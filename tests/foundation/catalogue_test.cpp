// The catalogue: registries, keys, the package orderings, MAX_FIT in hours and the per-user
// paths.
#include <algorithm>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/window_status.h"
#include "platform/folders.h"

namespace qel {
namespace {

TEST(SettingsCatalogue, RegistriesHoldEveryKeyInFileOrder)
{
    EXPECT_EQ(g_boolParams.size(), 23U);
    EXPECT_EQ(g_numParams.size(), 8U);
    EXPECT_EQ(g_comboParams.size(), 10U);
    EXPECT_EQ(g_stringParams.size(), 21U);
    EXPECT_EQ(g_editParams.size(), 2U);

    EXPECT_EQ(g_numParams[0], &g_mainWindowState.MAIN_WINDOW_X);
    EXPECT_EQ(g_numParams[1], &g_mainWindowState.MAIN_WINDOW_Y);
    EXPECT_EQ(g_numParams[6], &AIRP_HEIGHT);
    EXPECT_EQ(g_comboParams[6], &AIRP_HEIGHT);

    std::set<std::string> keys;
    auto add = [&keys](const auto& registry) {
        for (const auto* s : registry) {
            ASSERT_NE(s, nullptr);
            keys.insert(s->name);
        }
    };
    add(g_boolParams);
    add(g_numParams);
    add(g_comboParams);
    add(g_stringParams);
    add(g_editParams);
    EXPECT_EQ(keys.size(), 63U);
    for (const char* key : {"LAST_EPOCH_TIME:", "lfolder0", "lfolder9", "SIM_CHOICE",
                            "RT_PARKTRAFFIC_ONLY", "DIROVERAZO24_VERSION"}) {
        EXPECT_EQ(keys.count(key), 1U) << key;
    }
    for (const char* key : {"MAX_FIT_FL", "parking_percentage", "ALL_INSTALL_PATH",
                            "CALLSIGN_2_OBJECTID"}) {
        EXPECT_EQ(keys.count(key), 0U) << key;
    }
}

TEST(SettingsCatalogue, ComboBoundsAreTheFirstAndLastChoice)
{
    struct Row {
        const ComboIntParameter* setting;
        std::size_t count;
        int32_t minimum;
        int32_t maximum;
        int32_t defaultValue;
    };
    for (const auto& row : {Row{&RANGE, 20, 2, 100, 40},
                            Row{&AR_ABOVE_HEIGHT, 11, 18000, 48000, 48000},
                            Row{&AIRP_HEIGHT, 11, 2000, 48000, 18000},
                            Row{&parking_percentage, 21, 0, 100, 30},
                            Row{&TIME_SHIFT_MINS, 60, 0, 59, 0}}) {
        SCOPED_TRACE(row.setting->name);
        EXPECT_EQ(row.setting->choices.size(), row.count);
        EXPECT_EQ(row.setting->minimum, row.minimum);
        EXPECT_EQ(row.setting->maximum, row.maximum);
        EXPECT_EQ(row.setting->defaultValue, row.defaultValue);
        EXPECT_TRUE(std::is_sorted(row.setting->choices.begin(), row.setting->choices.end()));
    }
    EXPECT_EQ(MAX_FIT_FL.minimum, 0.5F);
    EXPECT_EQ(MAX_FIT_FL.maximum, 24.0F);
}

TEST(SettingsCatalogue, PackageOrdersComeInTheFixedOrder)
{
    ASSERT_EQ(g_aiPackageOrders.size(), 64U);
    EXPECT_EQ(std::set<std::string>(g_aiPackageOrders.begin(), g_aiPackageOrders.end()).size(),
              64U);
    const std::vector<std::pair<std::size_t, std::string>> expected{
        {0, "AIG, FSLTL, JF, MTL"}, {1, "AIG, FSLTL, MTL, JF"},  {2, "AIG, JF, FSLTL, MTL"},
        {23, "MTL, JF, FSLTL, AIG"}, {24, "AIG, FSLTL, JF"},     {29, "JF, FSLTL, AIG"},
        {30, "AIG, FSLTL, MTL"},    {47, "MTL, JF, FSLTL"},      {48, "AIG, FSLTL"},
        {49, "FSLTL, AIG"},         {50, "AIG, JF"},             {59, "MTL, JF"},
        {60, "AIG"},                {61, "FSLTL"},               {62, "JF"},
        {63, "MTL"}};
    for (const auto& [index, text] : expected) EXPECT_EQ(g_aiPackageOrders[index], text) << index;
    EXPECT_EQ(AI_PACKAGE_SELECTOR.choices, g_aiPackageOrders);
    EXPECT_EQ(AI_PACKAGE_SELECTOR.value(), g_aiPackageOrders.front());
}

TEST(SettingsCatalogue, MaxFitConvertsToHoursAndBack)
{
    const std::vector<std::pair<int32_t, float>> toHours{
        {47, 24.0F}, {44, 24.0F}, {43, 21.0F}, {38, 21.0F}, {31, 15.0F}, {21, 11.0F},
        {20, 11.0F}, {19, 10.0F}, {10, 6.0F},  {9, 5.0F},   {8, 4.5F},   {2, 1.5F},
        {1, 1.0F},   {0, 0.5F},   {-4, 0.5F}};
    for (const auto& [halfHours, hours] : toHours) {
        EXPECT_EQ(gf_halfHours2Hours(halfHours), hours) << halfHours;
    }
    const std::vector<std::pair<float, int32_t>> toMaxFit{
        {0.5F, 0}, {1.0F, 1}, {4.5F, 8}, {12.0F, 23}, {24.0F, 47}, {0.0F, 0}, {300.0F, 47}};
    for (const auto& [hours, maxFit] : toMaxFit) {
        EXPECT_EQ(gf_hoursToMaxFit(hours), maxFit) << hours;
    }
    // Every hours choice survives the way to MAX_FIT and back, so the box shows what was picked.
    for (float hours : MAX_FIT_FL.choices) {
        EXPECT_EQ(gf_halfHours2Hours(gf_hoursToMaxFit(hours)), hours) << hours;
    }
    EXPECT_EQ(gf_halfHours2Hours(MAX_FIT.defaultValue), MAX_FIT_FL.defaultValue);
}

TEST(GlobalDefinitions, PerUserFolderFollowsTheKnownFolder)
{
    platform::overrideKnownFolder(platform::KnownFolder::RoamingAppData, std::nullopt);
    EXPECT_EQ(gf_defaultAppDataDir(), std::filesystem::path("VNTQ"));
    platform::overrideKnownFolder(platform::KnownFolder::RoamingAppData, "/home/u/.config");
    EXPECT_EQ(gf_defaultAppDataDir(), std::filesystem::path("/home/u/.config/VNTQ"));
    platform::clearKnownFolderOverrides();

    const auto previous = g_appDataDir;
    gf_setAppDataDir("VNTQ");
    EXPECT_EQ(g_parametersPath, std::filesystem::path("VNTQ/parameters.xml"));
    EXPECT_EQ(g_parametersPathUtf8, "VNTQ/parameters.xml");
    gf_setAppDataDir(previous);
    EXPECT_EQ(g_parametersPath, previous / "parameters.xml");
}

TEST(GlobalDefinitions, DerivedValuesReadTheBuiltSettings)
{
    const std::vector<std::string_view> keys{"RANGE", "AUTO_RANGE", "INITIAL_LOAD_ONLY",
                                             "PARK_SOFT", "parking_percentage", "MAX_FIT",
                                             "WEEK", "RT_PARKTRAFFIC_ONLY", "MAX_LIVE_SEL"};
    EXPECT_EQ(g_apfParameterKeys, keys);
    EXPECT_EQ(g_apfParameterKeys[0].data(), RANGE.name.data());
    EXPECT_EQ(g_rangeNm.load(), 40.0);
    EXPECT_EQ(g_range_m.load(), 40 * 1852);
    EXPECT_EQ(g_learnedStockDir, std::filesystem::path("airports/learned/stock"));
    EXPECT_EQ(g_objectIdListTxt, std::filesystem::path("output/info/ObjectIdList.txt"));
}

}  // namespace
}  // namespace qel
