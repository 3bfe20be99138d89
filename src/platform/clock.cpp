// The real clock, the faster clock and the manual clock behind platform::clock(), which tests
// swap with ScopedClock.
#include "platform/clock.h"

#include <time.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace qel::platform {
namespace {

using std::chrono::duration_cast;
using std::chrono::nanoseconds;
using std::chrono::seconds;
using std::chrono::system_clock;

class RealClock final : public Clock {
public:
    SteadyTime steadyNow() override { return std::chrono::steady_clock::now(); }
    void sleepFor(nanoseconds duration) override { std::this_thread::sleep_for(duration); }
    int64_t epochSeconds() override
    {
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    }
};

// Elapsed real time is stretched by `factor` from the moment of creation, so steady time and
// wall time stay consistent with each other and with shortened sleeps.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(double factor)
        : factor_(factor),
          steadyStart_(std::chrono::steady_clock::now()),
          wallStart_(system_clock::now().time_since_epoch())
    {
    }

    SteadyTime steadyNow() override { return steadyStart_ + scaledElapsed(); }

    void sleepFor(nanoseconds duration) override
    {
        if (duration <= nanoseconds::zero()) return;
        std::this_thread::sleep_for(
            nanoseconds(static_cast<int64_t>(static_cast<double>(duration.count()) / factor_)));
    }

    int64_t epochSeconds() override
    {
        return duration_cast<seconds>(wallStart_ + scaledElapsed()).count();
    }

private:
    nanoseconds scaledElapsed() const
    {
        const auto real = std::chrono::steady_clock::now() - steadyStart_;
        return nanoseconds(static_cast<int64_t>(
            static_cast<double>(duration_cast<nanoseconds>(real).count()) * factor_));
    }

    const double factor_;
    const SteadyTime steadyStart_;
    const nanoseconds wallStart_;  // wall time at creation, since 1970
};

RealClock g_realClock;
// The clock in force; atomic because any thread reads it while a test may swap it.
std::atomic<Clock*> g_currentClock{&g_realClock};

}  // namespace

Clock& clock() { return *g_currentClock.load(std::memory_order_acquire); }

ScopedClock::ScopedClock(std::unique_ptr<Clock> replacement) : installed_(std::move(replacement))
{
    if (!installed_) throw std::invalid_argument("ScopedClock: no clock");
    previous_ = g_currentClock.exchange(installed_.get(), std::memory_order_acq_rel);
}

ScopedClock::~ScopedClock() { g_currentClock.store(previous_, std::memory_order_release); }

std::unique_ptr<Clock> makeScaledClock(double factor)
{
    if (!(factor > 0.0)) throw std::invalid_argument("makeScaledClock: factor must be positive");
    return std::make_unique<ScaledClock>(factor);
}

struct ManualClock::State {
    std::mutex mutex;  // guards the fields below; a leaf lock
    // Starts well past the steady clock's origin, as on a machine that has been up for a while,
    // so that "now minus some interval" stays after a default-constructed time point.
    SteadyTime steady{std::chrono::hours(24 * 10)};
    nanoseconds epoch{0};  // wall time since 1970; sub-second advances accumulate here
};

ManualClock::ManualClock(int64_t epochSeconds) : state_(std::make_shared<State>())
{
    state_->epoch = seconds(epochSeconds);
}

SteadyTime ManualClock::steadyNow()
{
    std::scoped_lock lock(state_->mutex);
    return state_->steady;
}

void ManualClock::sleepFor(nanoseconds duration)
{
    advance(duration);
    // A loop that sleeps on this clock would otherwise spin without giving other threads a turn.
    std::this_thread::yield();
}

int64_t ManualClock::epochSeconds()
{
    std::scoped_lock lock(state_->mutex);
    return std::chrono::floor<seconds>(state_->epoch).count();
}

void ManualClock::advance(nanoseconds duration)
{
    if (duration <= nanoseconds::zero()) return;  // time never runs backwards
    std::scoped_lock lock(state_->mutex);
    state_->steady += duration_cast<SteadyTime::duration>(duration);
    state_->epoch += duration;
}

void ManualClock::setEpochSeconds(int64_t seconds)
{
    std::scoped_lock lock(state_->mutex);
    state_->epoch = std::chrono::seconds(seconds);
}

int64_t threadCpu_ns()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

}  // namespace qel::platform
