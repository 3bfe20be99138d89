// Air motion of live aircraft: new reports into the sample queue, the air leg and the vertical
// and attitude step of each tick.
//
// Threads: main-loop thread.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "traffic/traffic_internal.h"

namespace qel {

namespace {

constexpr double kSame_deg = 1e-8;
constexpr int32_t kReportWindow = 3000;  // ticks a fresh report's due tick may move
constexpr int32_t kTakeOffLateWindow = 5000;

double lf_wrapPi(double angle)
{
    while (angle > std::numbers::pi) angle -= 2.0 * std::numbers::pi;
    while (angle < -std::numbers::pi) angle += 2.0 * std::numbers::pi;
    return angle;
}

}  // namespace

// Today a report is appended (stationary when it repeats the last position) and replaces any
// synthetic samples, which start over from the front sample.
void decodeExisting(LiveAc& aircraft, const PosSample& sample)
{
    auto& samples = aircraft.samples;
    if (aircraft.syntheticCount != 0 && !samples.empty()) {
        samples.resize(1);
        samples.front().dueTick = g_fastTicks + 1;
    }
    aircraft.syntheticCount = 0;
    aircraft.earlyWindow = kReportWindow;
    aircraft.lateWindow = aircraft.takeOff ? kTakeOffLateWindow : kReportWindow;
    PosSample next = sample;
    if (!samples.empty()) {
        const PosSample& last = samples.back();
        next.stationary = std::abs(last.latitude - next.latitude) < kSame_deg &&
                          std::abs(last.longitude - next.longitude) < kSame_deg;
    }
    samples.push_back(next);
}

// Today an air leg is straight: altitude and heading change linearly to the next sample.
void lf_startAirLeg(LiveAc& aircraft)
{
    const PosSample& b = aircraft.samples[1];
    const int64_t ahead = int64_t{b.dueTick} - g_fastTicks;
    const double dt = std::max(static_cast<double>(ahead), 25.0);
    aircraft.altRate = (b.altitude_ft - aircraft.position.altitude_ft) / dt;
    aircraft.headingRate = lf_wrapPi(aircraft.targetBearing_rad - aircraft.position.heading_rad) / dt;
    aircraft.legVerticalSpeed_fpm = b.verticalRate_fpm;
    aircraft.legAirspeed_kt = b.airspeed_kt > 0.0 ? b.airspeed_kt : b.groundSpeed_kt;
    aircraft.pitchRate = 0.0;
    aircraft.bankRate = 0.0;
}

// Today the step adds the leg's altitude, pitch and bank rates.
void lf_verticalStep(LiveAc& aircraft)
{
    aircraft.position.altitude_ft = std::max(aircraft.position.altitude_ft + aircraft.altRate, 0.0);
    aircraft.position.pitch_rad += aircraft.pitchRate;
    aircraft.position.bank_rad += aircraft.bankRate;
}

}  // namespace qel
