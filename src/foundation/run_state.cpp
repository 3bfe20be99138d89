// The stop rule, the exit reasons, the flags of one run and the queue of work for the main-loop
// thread.
#include "foundation/run_state.h"

#include <array>
#include <mutex>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/time.h"
#include "foundation/window_status.h"

namespace qel {

std::atomic<ExitReason> g_exitReason{ExitReason::NOT_YET_SET};
std::atomic<int32_t> g_restartDelay{0};
std::atomic<int32_t> g_exitCode{0};
std::atomic<bool> g_restartPending{false};

std::atomic<bool> g_isMsfs2020{true};
std::atomic<int32_t> g_simVersionNumber{1};

// The run's state; its parts are guarded as their comments say.
FoundationRun g_foundationRun;

std::atomic<bool>& g_reReadRequested = g_foundationRun.reReadRequested;
std::atomic<bool>& g_flushStaticRequested = g_foundationRun.flushStaticRequested;
std::atomic<bool>& g_callsignLookupRequested = g_foundationRun.callsignLookupRequested;
std::atomic<bool>& g_callsignLookupPending = g_foundationRun.callsignLookupPending;
std::atomic<bool>& g_blockCallsignPending = g_foundationRun.blockCallsignPending;
std::atomic<bool>& g_matchingLevelRaised = g_foundationRun.matchingLevelRaised;
std::atomic<int32_t>& g_secondTicks = g_foundationRun.secondTicks;
std::atomic<int64_t>& g_dayAndSlot = g_foundationRun.dayAndSlot;
std::atomic<int64_t>& g_lastSimZuluTime = g_foundationRun.lastSimZuluTime;
std::atomic<bool>& g_timeShiftActive = g_foundationRun.timeShiftActive;
std::atomic<bool>& g_rtProfessional = g_foundationRun.rtProfessional;
std::atomic<double>& g_historicTime = g_foundationRun.historicTime;
MessageLine& g_messageLine = g_foundationRun.messageLine;

namespace {

// Makes recording the reason and raising the flag one step, so that a thread that sees
// g_stopRequested never reads the reason of the run before. Taken alone.
std::mutex g_stopMutex;

std::mutex g_mainLoopWorkMutex;  // guards the main-loop work; taken alone
auto& g_mainLoopWork = g_foundationRun.mainLoopWork.items;

}  // namespace

std::string_view gf_exitReasonText(ExitReason reason)
{
    static constexpr std::array<std::string_view, 9> texts = {
        "NOT YET SET",      "SIM WAS CLOSED", "NEW FLIGHT",   "NEW SETTINGS", "USER CLOSED SIM",
        "SIMCONNECT ERROR", "READER ERROR",   "SYSTEM ERROR", "NEW VERSION"};
    const auto index = static_cast<std::size_t>(reason);
    return index < texts.size() ? texts[index] : "NOT YET SET";
}

bool gf_requestStop(ExitReason reason, int32_t restartDelay_s)
{
    std::scoped_lock lock(g_stopMutex);
    if (g_stopRequested) return false;
    g_exitReason = reason;
    g_restartDelay = restartDelay_s;
    g_stopRequested = true;
    return true;
}

void gf_requestClose()
{
    std::scoped_lock lock(g_stopMutex);
    auto expected = ExitReason::NOT_YET_SET;
    g_exitReason.compare_exchange_strong(expected, ExitReason::USER_CLOSED_SIM);
    g_closeRequested = true;
    g_stopRequested = true;
}

bool gf_stopFlag() { return g_stopRequested || g_closeRequested; }

bool lf_clearStop()
{
    std::scoped_lock lock(g_stopMutex);
    if (g_closeRequested) return false;
    g_exitReason = ExitReason::NOT_YET_SET;
    g_stopRequested = false;
    return true;
}

void gf_readerStopped(std::string_view name, bool restart)
{
    lf_showAndLog(fmt::format("The {} has stopped with an error", name));
    if (restart) {
        gf_requestStop(ExitReason::READER_ERROR, 15);
    } else {
        gf_requestStop(ExitReason::SYSTEM_ERROR, 0);
    }
}

int64_t gf_packDayAndSlot(int32_t weekday, int32_t slot)
{
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(slot)) << 32 |
                                static_cast<uint32_t>(weekday));
}

int32_t gf_weekdayOfDayAndSlot(int64_t dayAndSlot)
{
    return static_cast<int32_t>(static_cast<uint32_t>(dayAndSlot & 0xFFFFFFFF));
}

int32_t gf_slotOfDayAndSlot(int64_t dayAndSlot)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(dayAndSlot) >> 32));
}

void gf_writeDayAndSlot()
{
    const int64_t t = gf_trafficTime();
    g_dayAndSlot = gf_packDayAndSlot(gf_weekdayOf(t), gf_halfHourSlotOf(t));
}

void gf_postToMainLoop(std::function<void()> work)
{
    std::scoped_lock lock(g_mainLoopWorkMutex);
    g_mainLoopWork.push_back(std::move(work));
}

std::deque<std::function<void()>> gf_takeMainLoopWork()
{
    std::deque<std::function<void()>> work;
    std::unique_lock lock(g_mainLoopWorkMutex, std::try_to_lock);
    if (lock) work.swap(g_mainLoopWork);
    return work;
}

void lf_clearMainLoopWork()
{
    std::deque<std::function<void()>> dropped;
    std::scoped_lock lock(g_mainLoopWorkMutex);
    dropped.swap(g_mainLoopWork);
}

void gf_resetFoundationRun()
{
    // Other threads may still post work or set a message meanwhile.
    gf_resetRun(g_foundationRun, g_messageMutex, g_mainLoopWorkMutex);
    gf_invalidateArea(WindowArea::Whole);
}

bool gf_foundationRunFresh()
{
    return gf_runFresh(g_foundationRun, g_messageMutex, g_mainLoopWorkMutex);
}

}  // namespace qel
