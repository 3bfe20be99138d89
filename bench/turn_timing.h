// What the benchmarks of the fast tick time a turn with: the thread's processor time, and a walk
// over twice the last-level cache between timed turns, so that the next one finds none of its
// data cached, as the other threads' 10 ms leave a fast tick's.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <vector>

namespace qel::bench {

// This thread's processor time: the turn's own cost, which the other programs of a busy machine
// do not lengthen by taking the processor away in the middle of it.
inline double lf_threadCpu_us()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// The kernel's figure first: glibc's sysconf reads the processor's own report, which some
// virtual machines inflate tenfold (320 MiB for a 32 MiB cache), and the walk then costs minutes.
inline std::size_t lf_lastLevelCacheBytes()
{
    std::ifstream in("/sys/devices/system/cpu/cpu0/cache/index3/size");
    std::size_t amount = 0;
    char unit = 0;
    if (in >> amount >> unit && amount > 0) {
        if (unit == 'K') return amount << 10;
        if (unit == 'M') return amount << 20;
    }
    const long l3 = sysconf(_SC_LEVEL3_CACHE_SIZE);
    return static_cast<std::size_t>(l3 > 0 ? l3 : 32L << 20);
}

// Walks twice the last-level cache, so that the next turn finds none of its data cached.
class CacheEvictor {
public:
    CacheEvictor()
    {
        const std::size_t size = 2 * lf_lastLevelCacheBytes();
        buffer_.assign(size, 1);
    }

    void evict()
    {
        uint64_t sum = 0;
        for (std::size_t i = 0; i < buffer_.size(); i += 64) sum += buffer_[i];
        benchmark::DoNotOptimize(sum);
    }

private:
    std::vector<uint8_t> buffer_;
};

}  // namespace qel::bench
