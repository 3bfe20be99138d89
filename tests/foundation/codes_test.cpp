// Fixed codes, the code tables with their type-code fixes, and the user error.
#include "foundation/codes.h"

#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "liveries/liveries.h"

namespace qel {
namespace {

struct CodeCase {
    std::string text;
    bool valid;
    std::string stored;  // upper-cased text when valid
};

template <std::size_t N>
void expectCodes(const std::vector<CodeCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE("'" + c.text + "'");
        if (c.valid) {
            EXPECT_EQ(FixedCode<N>(c.text).text(), c.stored);
            continue;
        }
        try {
            FixedCode<N> code(c.text);
            ADD_FAILURE() << "no exception, stored " << code.text();
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "FixedCode: invalid string (length/charset)");
        }
    }
}

TEST(FixedCode, FourCharacterCodesAreCheckedAndUpperCased)
{
    expectCodes<4>({
        {"egll", true, "EGLL"},
        {"EgLl", true, "EGLL"},
        {"K1A2", true, "K1A2"},
        {"0000", true, "0000"},
        {"EG-L", false, ""},
        {"EGL", false, ""},
        {"EGLLX", false, ""},
        {"", false, ""},
        {"EG L", false, ""},
        {"EGL\xc3", false, ""},
        {std::string("EG\0L", 4), false, ""},
    });
}

TEST(FixedCode, ThreeCharacterCodesAreCheckedAndUpperCased)
{
    expectCodes<3>({
        {"lhr", true, "LHR"},
        {"J9z", true, "J9Z"},
        {"LH", false, ""},
        {"LHRX", false, ""},
        {"L_R", false, ""},
        {"{HR", false, ""},
    });
}

TEST(FixedCode, WordHoldsTheCharactersInReadingOrder)
{
    EXPECT_EQ(AirportCode("ABCD").word(), 0x44434241u);
    EXPECT_EQ(AirportCode("egll").word(), AirportCode("EGLL").word());
    EXPECT_NE(AirportCode("EGLL").word(), AirportCode("LLGE").word());
    EXPECT_EQ(std::hash<AirportCode>{}(AirportCode("eddf")),
              std::hash<AirportCode>{}(AirportCode("EDDF")));
}

TEST(UserErrorException, MessageCarriesTheCodeExceptFor99)
{
    EXPECT_STREQ(UserErrorException(99, "Just the text").what(), "Just the text");
    EXPECT_STREQ(UserErrorException(41, "VNTQ must be run from the docs folder!").what(),
                 "41: VNTQ must be run from the docs folder!");
    EXPECT_STREQ(UserErrorException(2024, "").what(), "2024: ");
    try {
        throw UserErrorException(405, "More than one RealTraffic session is not possible");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "405: More than one RealTraffic session is not possible");
    }
}

class CodeTables : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        g_airlineCodes.clear();
        g_modelCodes.clear();
        gf_clearModelFixes();
        g_modelCodeFixActive = false;
    }
};

TEST_F(CodeTables, SameTextSameIdNewTextNextIndex)
{
    EXPECT_EQ(gf_airlineIndex(""), 0);
    EXPECT_EQ(gf_airlineIndex("BAW"), 1);
    EXPECT_EQ(gf_airlineIndex("DLH"), 2);
    EXPECT_EQ(gf_airlineIndex("BAW"), 1);
    EXPECT_EQ(gf_airlineIndex("baw"), 3);  // texts are not case-folded
    EXPECT_EQ(g_airlineCodes.text(2), "DLH");
    EXPECT_EQ(g_airlineCodes.text(4), "");
    EXPECT_EQ(g_airlineCodes.size(), 4u);
    // The tables are separate.
    EXPECT_EQ(gf_modelIndex("A320"), 0);
    EXPECT_EQ(gf_modelIndex("B738"), 1);
    EXPECT_EQ(gf_modelIndex("A320"), 0);
}

TEST_F(CodeTables, CodeFixesApplyOnlyWhenActiveAndCorrectCodeKnown)
{
    gf_addModelFix("B38M", "B738");
    gf_addModelFix("A20N", "A320");
    EXPECT_EQ(gf_modelIndex("B738"), 0);

    // Flag down: every text is its own code.
    EXPECT_EQ(gf_modelIndex("B38M"), 1);
    g_modelCodes.clear();
    EXPECT_EQ(gf_modelIndex("B738"), 0);

    g_modelCodeFixActive = true;
    // Correct spelling interned: the wrong one maps to it and is not interned.
    EXPECT_EQ(gf_modelIndex("B38M"), 0);
    EXPECT_FALSE(g_modelCodes.find("B38M").has_value());
    EXPECT_EQ(g_modelCodes.size(), 1u);
    // Correct spelling not yet interned: the wrong text is interned as given.
    EXPECT_EQ(gf_modelIndex("A20N"), 1);
    EXPECT_EQ(g_modelCodes.text(1), "A20N");
    EXPECT_FALSE(g_modelCodes.find("A320").has_value());
    // Once interned, the wrong text keeps its own id; a later correct text gets a new one.
    EXPECT_EQ(gf_modelIndex("A320"), 2);
    EXPECT_EQ(gf_modelIndex("A20N"), 1);
    // Airline codes never pass through the model fixes.
    gf_addModelFix("XXX", "B738");
    EXPECT_EQ(gf_airlineIndex("B738"), 0);
    EXPECT_EQ(gf_airlineIndex("XXX"), 1);
}

TEST_F(CodeTables, ConcurrentInterningGivesOneIdPerText)
{
    constexpr int textCount = 2000;
    std::vector<std::string> texts;
    for (int i = 0; i < textCount; ++i) texts.push_back(fmt::format("C{}", i));
    gf_addModelFix("WRONG", "C7");
    g_modelCodeFixActive = true;

    std::vector<std::vector<uint16_t>> seen(4, std::vector<uint16_t>(textCount));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            // Each thread walks the texts in its own order so that they race on new texts.
            for (int k = 0; k < textCount; ++k) {
                const int i = (t % 2 == 0) ? k : textCount - 1 - k;
                seen[t][i] = gf_modelIndex(texts[i]);
                gf_airlineIndex(texts[i]);
                EXPECT_EQ(g_modelCodes.text(seen[t][i]), texts[i]);
            }
        });
    }
    for (auto& thread : threads) thread.join();

    ASSERT_EQ(g_modelCodes.size(), static_cast<std::size_t>(textCount));
    ASSERT_EQ(g_airlineCodes.size(), static_cast<std::size_t>(textCount));
    for (int i = 0; i < textCount; ++i) {
        for (int t = 1; t < 4; ++t) EXPECT_EQ(seen[t][i], seen[0][i]) << texts[i];
        EXPECT_EQ(g_modelCodes.text(seen[0][i]), texts[i]);
    }
    EXPECT_EQ(gf_modelIndex("WRONG"), *g_modelCodes.find("C7"));
}

TEST_F(CodeTables, RefusesToWrapPastTheLastId)
{
    for (int i = 0; i < 65536; ++i) {
        ASSERT_EQ(gf_airlineIndex(std::to_string(i)), static_cast<uint16_t>(i));
    }
    EXPECT_EQ(gf_airlineIndex("65535"), 65535);
    EXPECT_THROW(gf_airlineIndex("one too many"), std::length_error);
    EXPECT_EQ(g_airlineCodes.size(), 65536u);
    EXPECT_EQ(gf_airlineIndex("0"), 0);
    EXPECT_FALSE(g_airlineCodes.find("one too many").has_value());
}

}  // namespace
}  // namespace qel
