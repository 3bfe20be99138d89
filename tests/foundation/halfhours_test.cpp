#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/halfhours.h"
#include "support/test_support.h"

namespace qel {
namespace {

using Lines = std::vector<std::string>;

// "first,first+1,...,last".
std::string lf_slotRange(int first, int last)
{
    std::string list;
    for (int slot = first; slot <= last; ++slot) {
        list += (list.empty() ? "" : ",") + std::to_string(slot);
    }
    return list;
}

struct HoursCase {
    std::string text;
    std::string slots;  // as gf_bitsetToList gives them
    Lines log;
};

TEST(HalfHours, TextFormsGiveTheirSlotsAndLogEveryBadPiece)
{
    const std::vector<HoursCase> cases = {
        {"5:9", "5,6,7,8,9", {}},
        {"0:47", lf_slotRange(0, 47), {}},
        {"7", "7", {}},
        {"9:5", "", {"==> gf_hours2bitset descending range not allowed (9:5 in 9:5)"}},
        {"3,7,47", "3,7,47", {}},
        {"3,48,7", "3,7", {"==> operator () invalid hour '48' in 3,48,7"}},
        {"1:3,5:7", "", {"==> gf_hours2bitset more than one colon char in: 1:3,5:7"}},
        {"12 : 14", "12,13,14", {}},
        {" 4\t:\t4 ", "4", {}},
        {"5:", "", {"==> operator () invalid hour '' in 5:"}},
        {"x:50", "",
         {"==> operator () invalid hour 'x' in x:50", "==> operator () invalid hour '50' in x:50"}},
        {"1, 2,", "1,2", {"==> operator () invalid hour '' in 1, 2,"}},
        {"-1,2", "2", {"==> operator () invalid hour '-1' in -1,2"}},
        {"12abc", "12", {}},
        {"", "", {}},
    };
    for (const auto& c : cases) {
        test::CapturedLog log;
        const HalfHourSet set = gf_hours2bitset(c.text);
        EXPECT_EQ(gf_bitsetToList(set), c.slots) << c.text;
        EXPECT_EQ(log.lines(), c.log) << c.text;
    }
}

TEST(HalfHours, SetsBackToTextForms)
{
    struct Case {
        std::vector<std::size_t> slots;
        std::string list;
        std::optional<std::string> hours;
    };
    const std::vector<Case> cases = {
        {{0, 1, 47}, "0,1,47", std::nullopt},
        {{10, 11, 12, 13}, "10,11,12,13", "10:13"},
        {{10}, "10", "10"},
        {{47}, "47", "47"},
        {{10, 12}, "10,12", std::nullopt},
        {{}, "", std::nullopt},
    };
    for (const auto& c : cases) {
        HalfHourSet set;
        for (const auto slot : c.slots) set.set(slot);
        EXPECT_EQ(gf_bitsetToList(set), c.list);
        EXPECT_EQ(gf_bitset2hours(set), c.hours) << c.list;
        if (c.hours) {
            EXPECT_EQ(gf_hours2bitset(*c.hours), set) << *c.hours;
        }
    }
}

}  // namespace
}  // namespace qel
