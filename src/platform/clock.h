// The one seam for time: the steady clock, sleeping and the wall clock. The program waits
// whole seconds in many places; tests install a faster or a manual clock so those waits cost
// nothing, and every wait in the program goes through here.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

namespace qel::platform {

using SteadyTime = std::chrono::steady_clock::time_point;
using Millis = std::chrono::milliseconds;

class Clock {
public:
    virtual ~Clock() = default;
    virtual SteadyTime steadyNow() = 0;
    virtual void sleepFor(std::chrono::nanoseconds duration) = 0;
    // Seconds since 1970-01-01 UTC.
    virtual int64_t epochSeconds() = 0;
};

// The clock in force; any thread.
Clock& clock();

inline SteadyTime steadyNow() { return clock().steadyNow(); }
inline void sleepFor(std::chrono::nanoseconds duration) { clock().sleepFor(duration); }
inline int64_t epochSeconds() { return clock().epochSeconds(); }

// The processor time the calling thread has used, in nanoseconds: what a piece of work costs
// itself, whatever else the machine runs meanwhile. Outside the clock seam, as no test needs to
// stop it. Any thread.
int64_t threadCpu_ns();

// Replaces the clock until the guard is destroyed; tests only, before threads use the clock.
// Throws std::invalid_argument for a null clock.
class ScopedClock {
public:
    explicit ScopedClock(std::unique_ptr<Clock> replacement);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    std::unique_ptr<Clock> installed_;
    Clock* previous_;
};

// Real time running `factor` times faster: a sleep of 10 s takes 10 s / factor of real time,
// and steadyNow and epochSeconds advance `factor` times faster than real time. Throws
// std::invalid_argument unless `factor` > 0.
std::unique_ptr<Clock> makeScaledClock(double factor);

// Time stands still until advanced; a sleep advances it at once by the slept duration. Steady
// time starts ten days after the steady clock's origin; negative advances are ignored. Any
// thread.
class ManualClock : public Clock {
public:
    explicit ManualClock(int64_t epochSeconds = 1'767'225'600);  // 2026-01-01 00:00:00 UTC
    SteadyTime steadyNow() override;
    void sleepFor(std::chrono::nanoseconds duration) override;
    int64_t epochSeconds() override;
    void advance(std::chrono::nanoseconds duration);
    void setEpochSeconds(int64_t seconds);

private:
    struct State;
    std::shared_ptr<State> state_;
};

// In place of timeBeginPeriod(1)/timeEndPeriod(1): the system timer here already has fine
// resolution, so the guard only marks where the program asks for it.
class TimerResolutionGuard {
public:
    TimerResolutionGuard() = default;
    ~TimerResolutionGuard() = default;
    TimerResolutionGuard(const TimerResolutionGuard&) = delete;
    TimerResolutionGuard& operator=(const TimerResolutionGuard&) = delete;
};

}  // namespace qel::platform
