// The traffic manager's side of the RealTraffic client's hand-over: the adding stack, its lock
// and the intakes the client calls, which the program fills in at start.
#include <cmath>
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

namespace {

// A speed is taken as its size, as the decoder takes it, also of records handed over past it:
// at -250 kt an aircraft was shown at 5003 kt, 2.5 km on in a second.
void lf_unsignSpeeds(std::vector<LiveAircraftRecord>& batch)
{
    for (LiveAircraftRecord& record : batch) {
        record.sample.groundSpeed_kt = std::abs(record.sample.groundSpeed_kt);
    }
}

}  // namespace

bool gf_stackPoll(std::vector<LiveAircraftRecord>& batch, int32_t delay_s)
{
    lf_unsignSpeeds(batch);
    // Timed from the hand-over: the wait for the lock does not put the poll's reports back.
    const int32_t now = g_fastTicks;
    std::scoped_lock lock(g_trafficMutex);
    if (!g_mainLoopRunning || !g_addingStack.empty()) return false;
    g_addingStack = lf_stampDueTicks(batch, delay_s, now);
    return true;
}

void gf_mergeFirstLoad(std::vector<LiveAircraftRecord>& batch, int32_t delay_s)
{
    lf_unsignSpeeds(batch);
    std::vector<StampedRecord> stamped = lf_stampDueTicks(batch, delay_s, g_fastTicks);
    lf_mergeFirstLoad(stamped);
}

}  // namespace qel
