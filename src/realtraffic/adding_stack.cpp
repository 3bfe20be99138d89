// The hand-over of the Traffic Reader's batches to the traffic manager: every record gets the
// fast tick at which its position is flown, polls go to the traffic manager's poll intake, the
// steps of the first load to its first-load intake; a test may ask for every batch to be kept.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <limits>
#include <utility>

#include "foundation/time.h"
#include "realtraffic/realtraffic.h"

namespace qel {

std::atomic<int32_t> g_fastTicks{0};

namespace {

constexpr std::size_t kKeptBatches = 256;  // enough for a test; a long run stays bounded
constexpr int32_t kPollDelay_s = 30;

// Off unless a test asks: copies of the polls would cost a running program tens of megabytes.
std::atomic<bool> g_keepBatches{false};
std::mutex g_keptMutex;  // guards g_keptBatches; taken alone
std::deque<KeptTrafficBatch> g_keptBatches;
std::mutex g_intakeMutex;  // guards the two intakes; held only to copy them, taken alone
FirstLoadIntake g_firstLoadIntake;
PollIntake g_pollIntake;

// now + 100 × delay + 10 × the report's offset from the median in whole tenths of a second,
// saturated into 32 bits so that an absurd report time cannot overflow.
int32_t lf_dueTick(int32_t now, int32_t delay_s, double offset_s)
{
    const double tenths = std::clamp(std::round(10.0 * offset_s), -1e12, 1e12);
    const int64_t due = int64_t{now} + 100 * int64_t{delay_s} + 10 * std::llround(tenths);
    return static_cast<int32_t>(std::clamp<int64_t>(due, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The element of index n / 2 after a partial sort: the upper middle for an even count.
double lf_medianReportTime(const std::vector<LiveAircraftRecord>& batch)
{
    std::vector<double> times;
    times.reserve(batch.size());
    for (const auto& record : batch) times.push_back(record.reportTime_s);
    const auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
    std::nth_element(times.begin(), middle, times.end());
    return *middle;
}

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
    const double median = lf_medianReportTime(batch);
    const int32_t now = g_fastTicks;
    for (auto& record : batch) {
        record.sample.dueTick = lf_dueTick(now, delay_s, record.reportTime_s - median);
    }
    KeptTrafficBatch kept{delay_s, {}, false};
    if (g_keepBatches) kept.records = batch;
    if (delay_s != kPollDelay_s) {
        FirstLoadIntake intake;
        {
            std::scoped_lock lock(g_intakeMutex);
            intake = g_firstLoadIntake;
        }
        if (intake) intake(batch);
    } else {
        PollIntake intake;
        {
            std::scoped_lock lock(g_intakeMutex);
            intake = g_pollIntake;
        }
        if (intake) kept.stacked = intake(batch);
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
