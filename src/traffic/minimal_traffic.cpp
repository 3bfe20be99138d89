// The traffic manager until it is built: it drains the adding stack, and its other work does
// nothing, so that the application core runs its schedule against it.
#include <stdexcept>

#include "traffic/traffic.h"

namespace qel {

TrafficStandIn g_trafficStandIn;

std::string gf_closestStandName(double /*latitude*/, double /*longitude*/) { return {}; }

// Until the park airports are built there is no list whose first entry could take the stand.
void gf_rememberUserStand(double /*latitude*/, double /*longitude*/) {}

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
    gf_clearKeptTrafficBatches();
}

}  // namespace qel
