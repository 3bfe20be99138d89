// The hand-over of the Traffic Reader's batches to the traffic manager: polls enter the adding
// stack by its rule; every batch is kept for inspection.
#include <deque>
#include <utility>

#include "foundation/time.h"
#include "realtraffic/realtraffic.h"

namespace qel {

// Guards g_mainLoopRunning and the adding stack; never held with g_simQueueMutex; ranks above
// the log mutex only.
std::mutex g_trafficMutex;
bool g_mainLoopRunning = false;                 // g_trafficMutex
std::vector<LiveAircraftRecord> g_addingStack;  // g_trafficMutex
std::atomic<int32_t> g_trafficQnh{1013};

namespace {

constexpr std::size_t kKeptBatches = 256;  // enough for a test; a long demo run stays bounded
constexpr int32_t kPollDelay_s = 30;

std::mutex g_keptMutex;  // guards g_keptBatches; taken alone
std::deque<KeptTrafficBatch> g_keptBatches;

void lf_keep(KeptTrafficBatch batch)
{
    std::scoped_lock lock(g_keptMutex);
    g_keptBatches.push_back(std::move(batch));
    if (g_keptBatches.size() > kKeptBatches) g_keptBatches.pop_front();
}

}  // namespace

void gf_pushAddingStack(std::vector<LiveAircraftRecord>& batch, int32_t delay_s)
{
    if (batch.empty()) {
        g_historicTime = 0.0;
        lf_keep({delay_s, {}, false});
        return;
    }
    KeptTrafficBatch kept{delay_s, batch, false};
    if (delay_s == kPollDelay_s) {
        // A poll enters only an empty stack of a running main loop; otherwise it is dropped.
        std::scoped_lock lock(g_trafficMutex);
        if (g_mainLoopRunning && g_addingStack.empty()) {
            g_addingStack = std::move(batch);
            kept.stacked = true;
        }
    }
    batch.clear();
    lf_keep(std::move(kept));
}

std::vector<KeptTrafficBatch> gf_keptTrafficBatches()
{
    std::scoped_lock lock(g_keptMutex);
    return {g_keptBatches.begin(), g_keptBatches.end()};
}

void gf_clearKeptTrafficBatches()
{
    std::scoped_lock lock(g_keptMutex);
    g_keptBatches.clear();
}

}  // namespace qel
