#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/catalogue.h"
#include "foundation/strings.h"

namespace qel {
namespace {

using Pieces = std::vector<std::string>;

TEST(Strings, PluralsAndDecimals)
{
    EXPECT_EQ(gf_pluralS(1), "");
    EXPECT_EQ(gf_pluralS(-3), "");
    EXPECT_EQ(gf_pluralS(0), "s");
    EXPECT_EQ(gf_pluralS(2), "s");
    EXPECT_EQ(gf_plural(int64_t{-1}), "");
    EXPECT_EQ(gf_plural(int64_t{5}), "s");
    EXPECT_EQ(gf_plural(uint64_t{1}), "");
    EXPECT_EQ(gf_plural(uint64_t{0}), "s");
    EXPECT_EQ(gf_formatDecimal(3.0F), "3");
    EXPECT_EQ(gf_formatDecimal(3.5F), "3.5");
    EXPECT_EQ(gf_formatDecimal(-0.5F), "-0.5");
    EXPECT_EQ(gf_formatDecimal(12.0F), "12");
}

TEST(Strings, StarBannerCentresTheTitleOrGivesWayToIt)
{
    const std::string stars20(20, '*');
    EXPECT_EQ(gf_starBanner(20, 21, false, false, "Scan 1"), stars20 + " Scan 1 " + stars20);
    EXPECT_EQ(gf_starBanner(20, 20, true, true, "Scan 1"),
              "\n" + std::string(19, '*') + " Scan 1 " + std::string(19, '*') + "\n");
    EXPECT_EQ(gf_starBanner(3, 4, true, false, ""), "\n********");
    // A title that does not fit replaces the whole line, the leading break included.
    EXPECT_EQ(gf_starBanner(4, 4, true, true, "toolong"), "toolong\n");
}

TEST(Strings, ToHexFollowsTheChosenSimulator)
{
    const std::string chosen = SIM_CHOICE.value();
    SIM_CHOICE.assign("MSFS 2020");
    EXPECT_EQ(gf_toHex(255), "255");
    SIM_CHOICE.assign("MSFS 2024");
    EXPECT_EQ(gf_toHex(255), "ff");
    SIM_CHOICE.assign(chosen);
}

TEST(Strings, TrimSplitAndCommaLists)
{
    EXPECT_EQ(gf_trim(" \t\r\nAB C\n "), "AB C");
    EXPECT_EQ(gf_trim(" \t "), "");
    EXPECT_EQ(gf_split(" A320 ,\tB738\t,, A320\r\n"), (Pieces{"A320", "B738", "", "A320"}));
    EXPECT_EQ(gf_split("one"), (Pieces{"one"}));
    EXPECT_TRUE(gf_split("").empty());
    EXPECT_EQ(gf_splitCommaList("DLH, BAW ,DLH,AFR"), (Pieces{"AFR", "BAW", "DLH"}));
    EXPECT_TRUE(gf_splitCommaList("").empty());

    const std::vector<std::pair<std::string, std::string>> normalised = {
        {"a , b,\tc", "a,b,c"}, {"a,b", "a,b"}, {" ", ""}, {"a, ,b", "a,,b"}, {"", ""}};
    for (const auto& [text, expected] : normalised) {
        std::string value = text;
        gf_normaliseCommaList(value);
        EXPECT_EQ(value, expected) << text;
    }
}

TEST(Strings, Comparisons)
{
    EXPECT_TRUE(gf_equalsWithStar("ABC", "ABC*"));
    EXPECT_FALSE(gf_equalsWithStar("ABC", "ABC"));
    EXPECT_FALSE(gf_equalsWithStar("ABC", "ABD*"));
    EXPECT_FALSE(gf_equalsWithStar("ABC", "ABCD"));
    EXPECT_TRUE(gf_equalsUpperCased(".XML", ".xMl"));
    EXPECT_FALSE(gf_equalsUpperCased(".xml", ".xml"));
}

}  // namespace
}  // namespace qel
