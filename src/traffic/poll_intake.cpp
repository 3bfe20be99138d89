// The traffic manager's side of the RealTraffic client's hand-over: the adding stack, its lock
// and the intakes the client calls, which the program fills in at start.
#include <mutex>
#include <utility>
#include <vector>

#include "traffic/live_road.h"
#include "traffic/schedule.h"
#include "traffic/traffic.h"
#include "traffic/traffic_run.h"

namespace qel {

std::mutex g_trafficMutex;
bool g_mainLoopRunning = false;  // g_trafficMutex
std::vector<StampedRecord>& g_addingStack = g_trafficRun.addingStack;

bool gf_stackPoll(std::vector<LiveAircraftRecord>& batch, int32_t delay_s)
{
    // Timed from the hand-over: the wait for the lock does not put the poll's reports back.
    const int32_t now = g_fastTicks;
    std::scoped_lock lock(g_trafficMutex);
    if (!g_mainLoopRunning || !g_addingStack.empty()) return false;
    g_addingStack = lf_stampDueTicks(batch, delay_s, now);
    return true;
}

void gf_mergeFirstLoad(std::vector<LiveAircraftRecord>& batch, int32_t delay_s)
{
    std::vector<StampedRecord> stamped = lf_stampDueTicks(batch, delay_s, g_fastTicks);
    lf_mergeFirstLoad(stamped);
}

}  // namespace qel
