// The traffic manager's run state, its reset and the containers' reservation.
#include "traffic/traffic_run.h"

#include <mutex>
#include <utility>

#include "foundation/window_status.h"
#include "traffic/live_road.h"
#include "traffic/stands.h"
#include "traffic/traffic.h"

namespace qel {

TrafficRun g_trafficRun;

std::atomic<bool>& g_parkRefreshDue = g_trafficRun.parking.parkRefreshDue;
std::atomic<bool>& g_parkStandsLoaded = g_trafficRun.parking.parkStandsLoaded;
std::atomic<bool>& g_parkingBusy = g_trafficRun.parking.parkingBusy;
std::atomic<int32_t>& g_staticParkingCountdown = g_trafficRun.parking.staticParkingCountdown;
std::atomic<bool>& g_parkTrafficOnlyChanged = g_trafficRun.parking.parkTrafficOnlyChanged;
// Texts under their own locks, the rest atomic.
TrafficWindowStatus& g_trafficWindowStatus = g_trafficRun.windowStatus;
std::atomic<uint32_t>& g_selectedObjectId = g_trafficRun.windowStatus.selectedObjectId;
// Atomic.
ParkWindowCounts g_parkWindowCounts;

namespace {

// The process reserves the containers once; a fresh run takes the reservation again.
bool g_reserved = false;  // start-up/main-loop thread

void lf_reserve()
{
    g_trafficRun.liveAcs.reserve(512);
    g_trafficRun.staticAcs.reserve(256);
    g_trafficRun.staticCandidates.reserve(512);
    g_trafficRun.createdObjects.reserve(128);
    g_trafficRun.spawnHexids.reserve(64);
    g_trafficRun.ghostCallsigns.reserve(64);
    g_trafficRun.standCheckQueue.reserve(64);
}

}  // namespace

void gf_reserveTrafficContainers()
{
    if (g_reserved) return;
    g_reserved = true;
    lf_reserve();
}

void gf_resetTrafficRun()
{
    TrafficRun old;  // the records and their titles end outside the lock
    {
        std::scoped_lock lock(g_trafficMutex, g_rememberedMutex);
        old = std::exchange(g_trafficRun, TrafficRun{});
    }
    if (g_reserved) lf_reserve();
    lf_showLearnedCounts();
    gf_invalidateArea(WindowArea::Statistics);
}

void gf_resetTrafficWindowStatus() { g_trafficRun.windowStatus = TrafficWindowStatus{}; }

bool gf_trafficRunFresh()
{
    std::scoped_lock lock(g_trafficMutex, g_rememberedMutex);
    return g_trafficRun == TrafficRun{};
}

}  // namespace qel
