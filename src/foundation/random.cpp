// Random numbers from one Mersenne Twister per thread, seeded at the thread's first draw.
#include "foundation/random.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

namespace qel {

namespace {

// FNV-1a 64 over the 4 low bytes of the thread id's hash, lowest byte first, so that two
// threads seeded in the same nanosecond with the same device value still differ.
uint32_t lf_threadIdHash()
{
    const auto id = static_cast<uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    uint64_t hash = 14695981039346656037ULL;
    for (int shift = 0; shift < 32; shift += 8) {
        hash ^= (id >> shift) & 0xFFU;
        hash *= 1099511628211ULL;
    }
    return static_cast<uint32_t>(hash);
}

std::mt19937 lf_seededEngine()
{
    std::random_device device;
    const auto ns = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    std::seed_seq seeds{static_cast<uint32_t>(device()), static_cast<uint32_t>(ns),
                        static_cast<uint32_t>(ns >> 32), lf_threadIdHash()};
    return std::mt19937(seeds);
}

}  // namespace

thread_local std::mt19937 g_rng = lf_seededEngine();

uint32_t gf_randomBelow(uint32_t n)
{
    if (n < 2) return 0;
    return std::uniform_int_distribution<uint32_t>(0, n - 1)(g_rng);
}

void gf_shuffle(std::vector<uint16_t>& values)
{
    if (values.size() < 2) return;
    std::shuffle(values.begin(), values.end(), g_rng);
}

double gf_randomPlusMinusPercent(double v, double percent)
{
    if (percent <= 0) return v;
    const double sign = (g_rng() & 1U) == 0 ? 1.0 : -1.0;
    return v + sign * v * percent / 100;
}

}  // namespace qel
