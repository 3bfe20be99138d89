// The hand-over of the Traffic Reader's batches to the traffic manager: polls go to the traffic
// manager's poll intake, the steps of the first load to its first-load intake, each with the
// delay after which its records are to be flown; a test may ask for every batch to be kept.
#include <atomic>
#include <deque>
#include <utility>

#include "foundation/time.h"
#include "realtraffic/realtraffic.h"

namespace qel {

std::atomic<int32_t> g_fastTicks{0};

namespace {

constexpr std::size_t kKeptBatches = 256;  // enough for a test; a long run stays bounded

// Off unless a test asks: copies of the polls would cost a running program tens of megabytes.
std::atomic<bool> g_keepBatches{false};
std::mutex g_keptMutex;  // guards g_keptBatches; taken alone
std::deque<KeptTrafficBatch> g_keptBatches;
std::mutex g_intakeMutex;  // guards the two intakes; held only to copy them, taken alone
FirstLoadIntake g_firstLoadIntake;
PollIntake g_pollIntake;

void lf_keep(KeptTrafficBatch batch)
{
    if (!g_keepBatches) return;
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
    KeptTrafficBatch kept{delay_s, {}, false};
    if (g_keepBatches) kept.records = batch;
    if (delay_s != kPollDelay_s) {
        FirstLoadIntake intake;
        {
            std::scoped_lock lock(g_intakeMutex);
            intake = g_firstLoadIntake;
        }
        if (intake) intake(batch, delay_s);
    } else {
        PollIntake intake;
        {
            std::scoped_lock lock(g_intakeMutex);
            intake = g_pollIntake;
        }
        if (intake) kept.stacked = intake(batch, delay_s);
    }
    batch.clear();
    lf_keep(std::move(kept));
}

void gf_keepTrafficBatches(bool keep) { g_keepBatches = keep; }

void gf_setFirstLoadIntake(FirstLoadIntake intake)
{
    std::scoped_lock lock(g_intakeMutex);
    g_firstLoadIntake = std::move(intake);
}

void gf_setPollIntake(PollIntake intake)
{
    std::scoped_lock lock(g_intakeMutex);
    g_pollIntake = std::move(intake);
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
