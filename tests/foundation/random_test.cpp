#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include "foundation/random.h"

namespace qel {
namespace {

TEST(Random, DrawsStayInTheirRanges)
{
    std::set<uint32_t> below3;
    std::set<double> plusMinus;
    for (int i = 0; i < 400; ++i) {
        EXPECT_EQ(gf_randomBelow(0), 0U);
        EXPECT_EQ(gf_randomBelow(1), 0U);
        const uint32_t r = gf_randomBelow(3);
        EXPECT_LT(r, 3U);
        below3.insert(r);
        plusMinus.insert(gf_randomPlusMinusPercent(100, 5));
    }
    EXPECT_EQ(below3, (std::set<uint32_t>{0, 1, 2}));
    EXPECT_EQ(plusMinus, (std::set<double>{95, 105}));
    EXPECT_EQ(gf_randomPlusMinusPercent(100, 0), 100);
    EXPECT_EQ(gf_randomPlusMinusPercent(100, -5), 100);
}

TEST(Random, ShuffleKeepsTheValues)
{
    std::vector<uint16_t> values(50);
    for (uint16_t i = 0; i < values.size(); ++i) values[i] = i;
    std::vector<uint16_t> shuffled = values;
    gf_shuffle(shuffled);
    EXPECT_NE(shuffled, values);  // one chance in 50! to fail
    std::sort(shuffled.begin(), shuffled.end());
    EXPECT_EQ(shuffled, values);
    std::vector<uint16_t> one{7};
    gf_shuffle(one);
    EXPECT_EQ(one, std::vector<uint16_t>{7});
}

TEST(Random, TwoThreadsStartedTogetherDrawDifferentSequences)
{
    std::vector<uint32_t> first(8);
    std::vector<uint32_t> second(8);
    const auto draw = [](std::vector<uint32_t>& out) {
        for (auto& value : out) value = g_rng();
    };
    std::thread a(draw, std::ref(first));
    std::thread b(draw, std::ref(second));
    a.join();
    b.join();
    EXPECT_NE(first, second);
}

}  // namespace
}  // namespace qel
