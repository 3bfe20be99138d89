// The settings catalogue: every setting object and push button, the five registries and the
// values derived from settings.
//
// Everything here that is made from another global (AI_PACKAGE_SELECTOR from
// g_aiPackageOrders, the registries from the settings, the key views and the RANGE values
// from RANGE) stands in this one unit below what it reads, because C++ orders construction
// only inside a unit. The registries take only the addresses of g_mainWindowState's members,
// which is safe before that object is built.
#include "foundation/catalogue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "foundation/globals.h"
#include "foundation/window_status.h"

namespace qel {

namespace {

std::vector<int32_t> lf_steps(int32_t first, int32_t last, int32_t step)
{
    std::vector<int32_t> values;
    for (int32_t v = first; v <= last; v += step) values.push_back(v);
    return values;
}

std::string lf_joinNames(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names) {
        if (!text.empty()) text += ", ";
        text += name;
    }
    return text;
}

// Subsets from all four names down to one; each size's subsets in lexicographic order of the
// package indexes, each subset's orderings in lexicographic order of the permutation.
std::vector<std::string> lf_packageOrders()
{
    const std::array<std::string, 4> packages{"AIG", "FSLTL", "JF", "MTL"};
    std::vector<std::string> orders;
    for (std::size_t size = packages.size(); size > 0; --size) {
        std::vector<bool> chosen(packages.size(), false);
        std::fill(chosen.begin(), chosen.begin() + static_cast<std::ptrdiff_t>(size), true);
        do {
            std::vector<std::size_t> subset;
            for (std::size_t i = 0; i < chosen.size(); ++i) {
                if (chosen[i]) subset.push_back(i);
            }
            do {
                std::vector<std::string> names;
                for (auto index : subset) names.push_back(packages[index]);
                orders.push_back(lf_joinNames(names));
            } while (std::next_permutation(subset.begin(), subset.end()));
        } while (std::prev_permutation(chosen.begin(), chosen.end()));
    }
    return orders;
}

}  // namespace

ControlBoolParameter ALWAYS_ON_TOP{"ALWAYS_ON_TOP", false, 32771, 147};
ControlBoolParameter OBJECTID_LIST{"OBJECTID_LIST", false, 32775, 175};
ControlBoolParameter NAV_LIGHTS_WHILE_PARKED{"NAV_LIGHTS_WHILE_PARKED", true, 32774, 175};
ControlBoolParameter GUID_CHANGES{"GUID_CHANGES", true, 32773, 203};
ControlBoolParameter SIM_TIME{"SIM_TIME", false, 32861, 259};
ControlBoolParameter KEEP_SIM_TIME_PAR{"KEEP_SIM_TIME_PAR", false, 32862, 287};
ControlBoolParameter SCAN_LIVERIES{"SCAN_LIVERIES", true, 32798, 147};
ControlBoolParameter LIG_AUTOMATIC{"LIG_AUTOMATIC", true, 32799, 147};
ControlBoolParameter LIG_PRIORITIZE{"LIG_PRIORITIZE", true, 32800, 147};
ControlBoolParameter SCAN_AIRPORTS{"SCAN_AIRPORTS", true, 32802, 175};
ControlBoolParameter LIGHT_AIRCRAFT{"LIGHT_AIRCRAFT", true, 32809, 203};
ControlBoolParameter HELICOPTERS{"HELICOPTERS", true, 32810, 203};
ControlBoolParameter HIGH_PERF_AIRCRAFT{"HIGH_PERF_AIRCRAFT", true, 32811, 203};
ControlBoolParameter AUTO_RANGE{"AUTO_RANGE", true, 32819, 231};
ControlBoolParameter AIRBORNE_ONLY{"AIRBORNE_ONLY", false, 32821, 231};
ControlBoolParameter COLLISION_USER_GND{"COLLISION_USER_GND", true, 32834, 287};
ControlBoolParameter COLLISION_USER_AIR{"COLLISION_USER_AIR", true, 32833, 287};
ControlBoolParameter COLLISION_LIVE_PARKED_GND{"COLLISION_LIVE_PARKED_GND", false, 32835, 287};
ControlBoolParameter STRAIGHT_PBS_ONLY{"STRAIGHT_PBS_ONLY", false, 32855, 315};
ControlBoolParameter INITIAL_LOAD_ONLY{"INITIAL_LOAD_ONLY", false, 32851, 371};
ControlBoolParameter WEEK{"WEEK", false, 32853, 371};
ControlBoolParameter PARK_SOFT{"PARK_SOFT", false, 32852, 371};
ControlBoolParameter RT_PARKTRAFFIC_ONLY{"RT_PARKTRAFFIC_ONLY", false, 32856, 371};

IntParameter LAST_EPOCH_TIME{"LAST_EPOCH_TIME:", 0, 0, 2147483647};
IntParameter CUSTOM_PARKING_PERCENTAGE{"CUSTOM_PARKING_PERCENTAGE", -1, -1, 100};
IntParameter HOLDING_THRESHOLD_METERS{"HOLDING_THRESHOLD_METERS", 250, 10, 4000};
IntParameter MAX_HOLDING_MINUTES{"MAX_HOLDING_MINUTES", 20, 1, 60};
ComboIntParameter AIRP_HEIGHT{
    "AIRP_HEIGHT",
    18000,
    {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000},
    32841,
    343};
IntParameter MAX_FIT{"MAX_FIT", 47, 0, 47};

ComboIntParameter MATCHING_DEPTH{"MATCHING_DEPTH", 4, {1, 2, 3, 4}, 32808, 203};
ComboIntParameter RANGE{"RANGE",
                        40,
                        {2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 50, 65, 80, 100},
                        32818,
                        231};
ComboIntParameter AR_ABOVE_HEIGHT{"AR_ABOVE_HEIGHT", 48000, lf_steps(18000, 48000, 3000), 32820,
                                  231};
ComboIntParameter MAX_PARK_SEL{"MAX_PARK_SEL", 500, {0, 10, 25, 50, 75, 100, 500}, 32848, 315};
ComboIntParameter MAX_LIVE_SEL{"MAX_LIVE_SEL", 500, {0, 10, 25, 50, 75, 100, 500}, 32849, 315};
ComboIntParameter AIRP_RANGE{"AIRP_RANGE", 20, {5, 10, 15, 20, 25, 30}, 32840, 343};
ComboIntParameter TIME_SHIFT_DAYS{"TIME_SHIFT_DAYS", 0, lf_steps(0, 13, 1), 32858, 231};
ComboIntParameter TIME_SHIFT_HOURS{"TIME_SHIFT_HOURS", 0, lf_steps(0, 23, 1), 32859, 259};
ComboIntParameter TIME_SHIFT_MINS{"TIME_SHIFT_MINS", 0, lf_steps(0, 59, 1), 32860, 287};

const std::vector<std::string> g_aiPackageOrders = lf_packageOrders();

StringParameter PROGRAM_VERSION{"PROGRAM_VERSION", ""};
StringParameter MSFS_INSTALL_PATH{"MSFS_INSTALL_PATH", ""};
StringParameter lfolder0{"lfolder0", ""};
StringParameter lfolder1{"lfolder1", ""};
StringParameter lfolder2{"lfolder2", ""};
StringParameter lfolder3{"lfolder3", ""};
StringParameter lfolder4{"lfolder4", ""};
StringParameter lfolder5{"lfolder5", ""};
StringParameter lfolder6{"lfolder6", ""};
StringParameter lfolder7{"lfolder7", ""};
StringParameter lfolder8{"lfolder8", ""};
StringParameter lfolder9{"lfolder9", ""};
StringParameter AIG_VERSION{"AIG_VERSION", ""};
StringParameter DBASE_VERSION{"DBASE_VERSION", ""};
StringParameter AIRPORTS_VERSION{"AIRPORTS_VERSION", ""};
StringParameter LIV_SCAN_VERSION{"LIV_SCAN_VERSION", ""};
StringParameter ADDONS_SCAN_VERSION{"ADDONS_SCAN_VERSION", ""};
StringParameter DIROVERAZO24_VERSION{"DIROVERAZO24_VERSION", ""};
StringParameter MSFS_2024_INSTALL_PATH{"MSFS_2024_INSTALL_PATH", ""};
ComboStringParameter AI_PACKAGE_SELECTOR{"AI_PACKAGE_SELECTOR", "AIG, FSLTL, JF, MTL",
                                         g_aiPackageOrders, 32790, 147};
ControlStringParameter DESTINATION{"DESTINATION", "", 32839, 343};

ControlStringParameter BLOCK_CALLSIGN{"BLOCK_CALLSIGN", "", 32828, 259};
ComboStringParameter SIM_CHOICE{"SIM_CHOICE", "MSFS 2020", {"MSFS 2020", "MSFS 2024"}, 32789, 119};

ComboFloatParameter MAX_FIT_FL{"MAX_FIT_FL",
                               24.0F,
                               {0.5F, 1.0F, 1.5F, 2.0F, 2.5F,  3.0F,  3.5F,  4.0F,  4.5F,  5.0F,
                                6.0F, 7.0F, 8.0F, 9.0F, 10.0F, 12.0F, 15.0F, 18.0F, 21.0F, 24.0F},
                               32854,
                               371};
ComboIntParameter parking_percentage{"parking_percentage", 30, lf_steps(0, 100, 5), 32850, 371};
ControlStringParameter ALL_INSTALL_PATH{"ALL_INSTALL_PATH", "", 32788, 119};
SharedComboStringParameter CALLSIGN_2_OBJECTID{
    "CALLSIGN_2_OBJECTID", "",
    std::make_shared<const SharedComboStringParameter::Choices>(1, std::string{}), 32831, 259};

PushButton g_flushStaticButton{"Flush static", 32857, 369};
PushButton g_tbloZipButton{"tblo.zip", 32804, 175};
PushButton g_unblockButton{"Unblock", 32829, 257};
PushButton g_callsignLookupButton{"cs->oid:", 32830, 257};
PushButton g_blockButton{"Block", 32832, 257};
PushButton g_nowButton{"Now", 32847, 313};
PushButton g_reReadButton{"Re-read", 32838, 341};

const std::vector<ControlBoolParameter*> g_boolParams{
    &ALWAYS_ON_TOP,
    &OBJECTID_LIST,
    &NAV_LIGHTS_WHILE_PARKED,
    &GUID_CHANGES,
    &SIM_TIME,
    &KEEP_SIM_TIME_PAR,
    &SCAN_LIVERIES,
    &LIG_AUTOMATIC,
    &LIG_PRIORITIZE,
    &SCAN_AIRPORTS,
    &LIGHT_AIRCRAFT,
    &HELICOPTERS,
    &HIGH_PERF_AIRCRAFT,
    &AUTO_RANGE,
    &AIRBORNE_ONLY,
    &COLLISION_USER_GND,
    &COLLISION_USER_AIR,
    &COLLISION_LIVE_PARKED_GND,
    &STRAIGHT_PBS_ONLY,
    &INITIAL_LOAD_ONLY,
    &WEEK,
    &PARK_SOFT,
    &RT_PARKTRAFFIC_ONLY,
};

const std::vector<IntParameter*> g_numParams{
    &g_mainWindowState.MAIN_WINDOW_X,
    &g_mainWindowState.MAIN_WINDOW_Y,
    &LAST_EPOCH_TIME,
    &CUSTOM_PARKING_PERCENTAGE,
    &HOLDING_THRESHOLD_METERS,
    &MAX_HOLDING_MINUTES,
    &AIRP_HEIGHT,
    &MAX_FIT,
};

const std::vector<ComboIntParameter*> g_comboParams{
    &MATCHING_DEPTH, &RANGE,       &AR_ABOVE_HEIGHT, &MAX_PARK_SEL,     &MAX_LIVE_SEL,
    &AIRP_RANGE,     &AIRP_HEIGHT, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS,
};

const std::vector<StringParameter*> g_stringParams{
    &PROGRAM_VERSION,
    &MSFS_INSTALL_PATH,
    &lfolder0,
    &lfolder1,
    &lfolder2,
    &lfolder3,
    &lfolder4,
    &lfolder5,
    &lfolder6,
    &lfolder7,
    &lfolder8,
    &lfolder9,
    &AIG_VERSION,
    &DBASE_VERSION,
    &AIRPORTS_VERSION,
    &LIV_SCAN_VERSION,
    &ADDONS_SCAN_VERSION,
    &DIROVERAZO24_VERSION,
    &MSFS_2024_INSTALL_PATH,
    &AI_PACKAGE_SELECTOR,
    &DESTINATION,
};

const std::vector<ControlStringParameter*> g_editParams{&BLOCK_CALLSIGN, &SIM_CHOICE};

// Views of the settings' own names, which live as long as the settings.
const std::vector<std::string_view> g_apfParameterKeys{
    RANGE.name,     AUTO_RANGE.name,          INITIAL_LOAD_ONLY.name,
    PARK_SOFT.name, parking_percentage.name,  MAX_FIT.name,
    WEEK.name,      RT_PARKTRAFFIC_ONLY.name, MAX_LIVE_SEL.name,
};

std::atomic<double> g_rangeNm{static_cast<double>(RANGE.defaultValue)};
std::atomic<int32_t> g_range_m{RANGE.defaultValue * 1852};

float gf_halfHours2Hours(int32_t halfHours)
{
    struct Step {
        int32_t atLeast;  // half-hour slots
        float hours;
    };
    static constexpr std::array<Step, 11> steps{{{44, 24.0F},
                                                 {38, 21.0F},
                                                 {32, 18.0F},
                                                 {26, 15.0F},
                                                 {22, 12.0F},
                                                 {20, 11.0F},
                                                 {18, 10.0F},
                                                 {16, 9.0F},
                                                 {14, 8.0F},
                                                 {12, 7.0F},
                                                 {10, 6.0F}}};
    for (const auto& step : steps) {
        if (halfHours >= step.atLeast) return step.hours;
    }
    // 9 → 5.0 down to 1 → 1.0 in half-hour steps.
    if (halfHours >= 1) return 0.5F + 0.5F * static_cast<float>(halfHours);
    return 0.5F;
}

int32_t gf_hoursToMaxFit(float hours)
{
    // Guards the rounding against values it cannot convert (NaN, huge numbers).
    if (!(hours > 0.0F)) return MAX_FIT.minimum;
    if (hours > 24.0F) return MAX_FIT.maximum;
    const auto slots = static_cast<int32_t>(std::lround(2.0F * hours)) - 1;
    return MAX_FIT.clamp(slots);
}

}  // namespace qel
