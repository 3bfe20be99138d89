// UTC time texts, the traffic time and its half-hour slot, on a manual clock.
#include "foundation/time.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include <gsl/narrow>
#include <gtest/gtest.h>

#include "platform/clock.h"

namespace qel {
namespace {

constexpr int64_t jan1st2026 = 1'767'225'600;   // Thursday 2026-01-01 00:00:00 UTC
constexpr int64_t oct5th2025 = 1'759'622'400;   // Sunday 2025-10-05 00:00:00 UTC

constexpr int64_t at(int64_t day, int hour, int minute, int second)
{
    return day + hour * 3600 + minute * 60 + second;
}

class TrafficTime : public ::testing::Test {
protected:
    void TearDown() override
    {
        g_rtProfessional = false;
        g_timeShiftActive = false;
        g_historicTime = 0.0;
    }
    void setNow(int64_t t) { clock_->setEpochSeconds(t); }

    platform::ManualClock* clock_ = new platform::ManualClock(jan1st2026);
    platform::ScopedClock guard_{std::unique_ptr<platform::Clock>(clock_)};
};

TEST_F(TrafficTime, HalfHourSlotBoundaryLiesThirtySecondsEarly)
{
    const struct {
        int hour, minute, second;
        int32_t slot;
    } cases[] = {
        {0, 0, 0, 0},     {0, 29, 29, 0},   {0, 29, 30, 1},   {10, 29, 29, 20},
        {10, 29, 30, 21}, {10, 30, 0, 21},  {10, 59, 59, 21}, {11, 0, 0, 22},
        {23, 29, 30, 47}, {23, 45, 0, 47},  {23, 59, 59, 47},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hour << ":" << c.minute << ":" << c.second);
        setNow(at(jan1st2026, c.hour, c.minute, c.second));
        EXPECT_EQ(gf_halfHourSlot(), c.slot);
    }
    EXPECT_EQ(gf_halfHourSlotOf(std::numeric_limits<int64_t>::max()), -1);
}

TEST_F(TrafficTime, TextsHaveTheFixedWidthForm)
{
    const int64_t sunday = at(oct5th2025, 10, 29, 30);
    EXPECT_EQ(gf_timeString(sunday), "Sun Okt 05 10:29:30 2025");
    EXPECT_EQ(gf_weekdayOf(sunday), 7);
    EXPECT_EQ(gf_weekdayOf(jan1st2026), 4);
    EXPECT_EQ(gf_timeString(jan1st2026), "Thu Jan 01 00:00:00 2026");
    EXPECT_EQ(gf_timeString(at(jan1st2026 + 39 * 86400, 7, 5, 9)), "Mon Feb 09 07:05:09 2026");
    EXPECT_EQ(gf_timeString(0), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(gf_timeString(std::numeric_limits<int64_t>::max()), "Invalid time");
    EXPECT_EQ(gf_weekdayOf(std::numeric_limits<int64_t>::max()), -1);

    setNow(sunday);
    EXPECT_EQ(gf_nowTimeOfDay(), "10:29:30");
    EXPECT_EQ(gf_todayString(), "Okt 05, 2025");
    EXPECT_EQ(gf_trafficTimeTag(), "10:29:30");
}

TEST_F(TrafficTime, HistoricTimeOnlyForShiftedProfessionalAccounts)
{
    const int64_t now = at(jan1st2026, 12, 0, 0);
    const double historic = static_cast<double>(at(oct5th2025, 10, 29, 29)) + 0.6;
    setNow(now);
    const struct {
        bool professional, shifted;
        double historic;
        int64_t expected;
        std::string tag;
    } cases[] = {
        {true, true, 0.0, now, "12:00:00"},
        {true, true, historic, at(oct5th2025, 10, 29, 30), "<<< 10:29:30"},
        {false, true, historic, now, "12:00:00"},
        {true, false, historic, now, "12:00:00"},
        {true, true, 0.4, now, "12:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.professional << c.shifted << " " << c.historic);
        g_rtProfessional = c.professional;
        g_timeShiftActive = c.shifted;
        g_historicTime = c.historic;
        EXPECT_EQ(gf_trafficTime(), c.expected);
        EXPECT_EQ(gf_trafficTimeTag(), c.tag);
    }
    g_historicTime = historic;
    EXPECT_EQ(gf_halfHourSlot(), 21);
}

TEST_F(TrafficTime, UnusableHistoricTimeIsANarrowingError)
{
    g_rtProfessional = true;
    g_timeShiftActive = true;
    for (const double bad : {std::nan(""), 1e300, -std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(bad);
        g_historicTime = bad;
        EXPECT_THROW(gf_trafficTime(), gsl::narrowing_error);
    }
}

}  // namespace
}  // namespace qel
