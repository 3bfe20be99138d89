// Random numbers from one engine per thread, so that no draw needs a lock.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace qel {

// The calling thread's engine, seeded at that thread's first use.
extern thread_local std::mt19937 g_rng;

uint32_t gf_randomBelow(uint32_t n);  // 0 when n < 2, else uniform in [0, n - 1]
void gf_shuffle(std::vector<uint16_t>& values);
// v ± v·p/100 with equal chance; v when p <= 0.
double gf_randomPlusMinusPercent(double v, double percent);

}  // namespace qel
