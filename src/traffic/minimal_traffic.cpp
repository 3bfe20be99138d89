// The traffic manager until it is built: its lock and intake flag, the intake of the Traffic
// Reader's batches (kept for inspection, polls moved into the adding stack by its rule), and
// work that does nothing, so that the application core runs its schedule against it.
#include <deque>
#include <stdexcept>
#include <utility>

#include "foundation/time.h"
#include "traffic/traffic.h"

namespace qel {

// Guards g_mainLoopRunning and the adding stack; never held with g_simQueueMutex; ranks above
// the log mutex only.
std::mutex g_trafficMutex;
bool g_mainLoopRunning = false;  // g_trafficMutex
std::string g_reservedStandName;  // main-loop thread
TrafficStandIn g_trafficStandIn;
std::atomic<int32_t> g_trafficQnh{1013};

namespace {

constexpr std::size_t kKeptBatches = 256;  // enough for a test; a long demo run stays bounded
constexpr int32_t kPollDelay_s = 30;

std::vector<LiveAircraftRecord> g_addingStack;  // g_trafficMutex

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

std::string gf_closestStandName(double /*latitude*/, double /*longitude*/) { return {}; }

// Until the park airports are built there is no list whose first entry could take the stand.
void gf_rememberUserStand(double /*latitude*/, double /*longitude*/) {}

std::vector<KeptTrafficBatch> gf_keptTrafficBatches()
{
    std::scoped_lock lock(g_keptMutex);
    return {g_keptBatches.begin(), g_keptBatches.end()};
}

void gf_reserveTrafficContainers() {}
void lf_handleAddingStack()
{
    // Two records a tick leave the stack, as the fast tick takes them, so later polls find it
    // empty again; the tick never waits for the lock.
    std::unique_lock lock(g_trafficMutex, std::try_to_lock);
    if (!lock) return;
    for (int i = 0; i < 2 && !g_addingStack.empty(); ++i) g_addingStack.pop_back();
}
void lf_handleSimConnectResults() {}
void lf_checkUserPosition(bool /*atLoopStart*/) {}
void lf_removeDuplicateRegs() {}
void lf_clearReservedStand(const std::string& /*standName*/) {}
void lf_removeAllStatics() {}
void lf_updateParkTraffic(bool /*parkTrafficOnlyChanged*/) {}
bool gf_parkAirportSet() { return g_trafficStandIn.parkAirportSet; }
bool gf_hasParkStands() { return false; }

void lf_saveLearnedAndClear()
{
    if (g_trafficStandIn.saveLearnedFails) throw std::runtime_error("learned file not saved");
}

void lf_writeTrafficCsv() {}
void lf_readMyParkAirports() {}
bool lf_checkParkAirports(bool /*reRead*/, std::string& /*text*/) { return false; }
void lf_fillCallsignCombo() {}
void gf_checkNextQueuedStand(int64_t /*dayAndSlot*/) {}
std::optional<uint32_t> gf_objectIdOfCallsign(const std::string& /*callsign*/) { return {}; }
void gf_removeLiveByCallsign(const std::string& /*callsign*/) {}
void lf_removeNearUser() {}
void lf_clearPathAheadOfUser() {}
void lf_checkMovedOnGround() {}
std::size_t gf_staticCandidateCount() { return 0; }
void gf_clearNoMatchFlights() {}
void gf_clearGhostCallsigns() {}
void gf_resetTraffic()
{
    g_reservedStandName.clear();
    g_trafficQnh = 1013;
    std::scoped_lock lock(g_trafficMutex);
    g_addingStack.clear();
}

void gf_resetTrafficStandIn()
{
    g_trafficStandIn.parkAirportSet = false;
    g_trafficStandIn.saveLearnedFails = false;
    std::scoped_lock lock(g_keptMutex);
    g_keptBatches.clear();
}

}  // namespace qel
