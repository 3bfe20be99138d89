#include <gtest/gtest.h>

#include <vector>

#include "foundation/aircraft_filter.h"

namespace qel {
namespace {

TEST(AircraftFilter, KeepsAircraftAndDropsEverythingElse)
{
    struct Case {
        std::string_view type;
        std::string_view category;
        bool aircraft;
    };
    const std::vector<Case> cases = {
        {"B738", "", true},       {"B738", "A3", true},      {"B738", "B3", true},
        {"B738", "C1", false},    {"B738", "B1", false},     {"B738", "B2", false},
        {"B738", "B4", false},    {"B738", "C2", false},     {"B738", "c1", true},
        {"GND", "", false},       {"TWR", "", false},        {"GRND", "", false},
        {"BALL", "", false},      {"GLID", "A1", false},     {"SHIP", "", false},
        {"EMER", "", false},      {"PARA", "", false},       {"SERV", "", false},
        {"VENT", "", false},      {"ball", "", true},        {"B7378", "", false},
        {"null", "A3", false},    {"", "A3", false},         {"C172", "A1", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_isAircraft(c.type, c.category), c.aircraft) << c.type << " " << c.category;
    }
    EXPECT_TRUE(gf_isNonAircraftType("ABCDE"));
    EXPECT_FALSE(gf_isNonAircraftType(""));
}

}  // namespace
}  // namespace qel
