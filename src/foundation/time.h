// UTC time texts, the traffic time (now, or the historic time of a shifted RealTraffic reply)
// and its half-hour slot.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace qel {

// Members of FoundationRun (foundation/run_state.h), atomic.
extern std::atomic<bool>& g_timeShiftActive;  // a time shift of more than 0 minutes is in force
extern std::atomic<bool>& g_rtProfessional;   // the RealTraffic account is "professional"
// The historic time of the latest RealTraffic reply, epoch seconds; 0 until one carried it.
// Written by the Traffic Reader.
extern std::atomic<double>& g_historicTime;

int64_t gf_trafficTime();
std::string gf_timeString(int64_t t);  // "Mon Okt 05 10:29:30 2026" or "Invalid time"
std::string gf_nowTimeOfDay();         // "10:29:30"
std::string gf_todayString();          // "Okt 05, 2026"
std::string gf_trafficTimeTag();       // "10:29:30" or "<<< 10:29:30" for a historic time
int32_t gf_halfHourSlot();             // 0..47 of the traffic time, -1 on failure
int32_t gf_halfHourSlotOf(int64_t t);  // the same for any time
int32_t gf_weekdayOf(int64_t t);       // 1 Monday .. 7 Sunday, -1 on failure

}  // namespace qel
