// The plan of a leg's speed: see pace_plan.h.
#include "traffic/pace_plan.h"

#include <algorithm>
#include <cmath>

namespace qel {

namespace {

enum class Fit { fits, tooFar, tooShort };

// kt·ticks covered in n ticks going from v0 to hold at the rate, holding, then going to end.
double lf_paceDistance(double v0, double hold, double end, double rate, double n)
{
    const double up = std::abs(hold - v0) / rate;
    const double down = std::abs(hold - end) / rate;
    return (v0 + hold) / 2.0 * up + hold * (n - up - down) + (hold + end) / 2.0 * down;
}

// The hold speed that covers `length` (kt·ticks) in n ticks, ending at `end` or at the hold
// speed itself. Where both ramps fit into the time the distance grows with the hold speed, so
// halving finds it.
Fit lf_fitHold(double v0, std::optional<double> end, double rate, int32_t n, double length,
               double& hold)
{
    const double reach = rate * n;
    double lo = std::max(v0 - reach, 0.0);
    double hi = v0 + reach;
    if (end) {
        if (std::abs(v0 - *end) > reach) return Fit::tooFar;
        lo = std::max((v0 + *end - reach) / 2.0, 0.0);
        hi = (v0 + *end + reach) / 2.0;
    }
    const auto distance = [&](double h) {
        return lf_paceDistance(v0, h, end.value_or(h), rate, n);
    };
    if (distance(hi) < length) return Fit::tooFar;
    if (distance(lo) > length) return Fit::tooShort;
    for (int i = 0; i < 50; ++i) {
        const double mid = (lo + hi) / 2.0;
        (distance(mid) < length ? lo : hi) = mid;
    }
    hold = (lo + hi) / 2.0;
    return Fit::fits;
}

// The fewest ticks, from n on, in which the firm rate covers `length`.
int32_t lf_stretchedTicks(double v0, std::optional<double> end, double length, int32_t n,
                          double firm)
{
    double hold = 0.0;
    const auto far = [&](int32_t t) {
        return lf_fitHold(v0, end, firm, t, length, hold) == Fit::tooFar;
    };
    int32_t lo = n;
    int32_t hi = n;
    while (far(hi)) {
        if (hi >= kLongestTicks) return kLongestTicks;
        lo = hi;
        hi = std::min(hi * 2, kLongestTicks);
    }
    while (hi - lo > 1) {
        const int32_t mid = lo + (hi - lo) / 2;
        (far(mid) ? lo : hi) = mid;
    }
    return hi;
}

}  // namespace

PacePlan lf_planPace(double v0, std::optional<double> end, double length, int32_t n, double firm)
{
    double hold = 0.0;
    for (const double rate : {std::min(kGentle_ktPerTick, firm), firm}) {
        if (lf_fitHold(v0, end, rate, n, length, hold) == Fit::fits) {
            return {hold, end.value_or(hold), rate, n};
        }
    }
    // Too far for the time: the leg takes longer and the aircraft falls behind its reports.
    if (lf_fitHold(v0, end, firm, n, length, hold) == Fit::tooFar) {
        n = lf_stretchedTicks(v0, end, length, n, firm);
        if (lf_fitHold(v0, end, firm, n, length, hold) == Fit::fits) {
            return {hold, end.value_or(hold), firm, n};
        }
    }
    // Too short to slow down in: it passes its sample still braking, early, and brakes on in
    // the next leg; one that cannot stop there stops at the next leg's start.
    if (lf_fitHold(v0, std::nullopt, firm, n, length, hold) == Fit::fits) {
        return {hold, hold, firm, n};
    }
    const double root = std::sqrt(std::max(v0 * v0 - 2.0 * firm * length, 0.0));
    const auto ticks = static_cast<int32_t>(
        std::clamp(std::ceil((v0 - root) / firm), 1.0, static_cast<double>(n)));
    hold = std::max(v0 - firm * ticks, 0.0);
    return {hold, hold, firm, ticks};
}

}  // namespace qel
