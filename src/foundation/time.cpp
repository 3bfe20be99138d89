// UTC time texts and the traffic time with its half-hour slot and weekday.
#include "foundation/time.h"

#include <cmath>
#include <ctime>
#include <optional>

#include <fmt/format.h>
#include <gsl/narrow>

#include "platform/clock.h"

namespace qel {

namespace {

std::optional<std::tm> lf_utc(int64_t t)
{
    const std::time_t seconds = static_cast<std::time_t>(t);
    std::tm broken{};
    if (gmtime_r(&seconds, &broken) == nullptr) return std::nullopt;
    return broken;
}

std::string_view lf_monthName(int month)
{
    static constexpr std::string_view names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Okt", "Nov", "Dec"};
    if (month < 1 || month > 12) return "???";
    return names[month - 1];
}

std::string_view lf_weekdayName(int weekday)
{
    static constexpr std::string_view names[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    if (weekday < 1 || weekday > 7) return "???";
    return names[weekday - 1];
}

// The historic time when a shifted professional account has one, else nothing.
std::optional<int64_t> lf_historicTrafficTime()
{
    if (!g_rtProfessional || !g_timeShiftActive) return std::nullopt;
    const double rounded = std::round(g_historicTime.load());
    // llround would turn NaN or a time beyond int64 into an arbitrary number; refuse those.
    if (!std::isfinite(rounded) || std::fabs(rounded) > 9.2e18) throw gsl::narrowing_error{};
    const int64_t historic = gsl::narrow<int64_t>(rounded);
    if (historic == 0) return std::nullopt;
    return historic;
}

// The 8 characters hh:mm:ss that begin 13 characters before the end of a gf_timeString text.
std::string lf_timeOfDay(const std::string& timeText)
{
    return timeText.substr(timeText.size() - 13, 8);
}

}  // namespace

int64_t gf_trafficTime()
{
    if (auto historic = lf_historicTrafficTime()) return *historic;
    return platform::epochSeconds();
}

std::string gf_timeString(int64_t t)
{
    const auto broken = lf_utc(t);
    if (!broken) return "Invalid time";
    const int weekday = broken->tm_wday == 0 ? 7 : broken->tm_wday;
    return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", lf_weekdayName(weekday),
                       lf_monthName(broken->tm_mon + 1), broken->tm_mday, broken->tm_hour,
                       broken->tm_min, broken->tm_sec, broken->tm_year + 1900);
}

std::string gf_nowTimeOfDay() { return lf_timeOfDay(gf_timeString(platform::epochSeconds())); }

std::string gf_todayString()
{
    const std::string text = gf_timeString(platform::epochSeconds());
    return fmt::format("{}, {}", text.substr(4, 6), text.substr(20, 4));
}

std::string gf_trafficTimeTag()
{
    if (auto historic = lf_historicTrafficTime()) {
        return "<<< " + lf_timeOfDay(gf_timeString(*historic));
    }
    return lf_timeOfDay(gf_timeString(platform::epochSeconds()));
}

int32_t gf_halfHourSlotOf(int64_t t)
{
    const auto broken = lf_utc(t);
    if (!broken) return -1;
    int32_t slot = 2 * broken->tm_hour;
    // The half-hour boundary lies 30 seconds early (hh:29:30); the full hour does not.
    if (broken->tm_min > 29 || (broken->tm_min == 29 && broken->tm_sec >= 30)) ++slot;
    return slot % 48;
}

int32_t gf_halfHourSlot() { return gf_halfHourSlotOf(gf_trafficTime()); }

int32_t gf_weekdayOf(int64_t t)
{
    const auto broken = lf_utc(t);
    if (!broken) return -1;
    return broken->tm_wday == 0 ? 7 : broken->tm_wday;
}

}  // namespace qel
