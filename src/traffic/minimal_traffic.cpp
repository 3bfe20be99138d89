// The traffic manager until it is built: its lock and intake flag, and work that does nothing,
// so that the application core runs its schedule against it.
#include <stdexcept>

#include "traffic/traffic.h"

namespace qel {

// Guards g_mainLoopRunning and the adding stack; never held with g_simQueueMutex; ranks above
// the log mutex only.
std::mutex g_trafficMutex;
bool g_mainLoopRunning = false;  // g_trafficMutex
std::string g_reservedStandName;  // main-loop thread
TrafficStandIn g_trafficStandIn;

void gf_reserveTrafficContainers() {}
void lf_handleAddingStack() {}
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
void gf_resetTraffic() { g_reservedStandName.clear(); }

void gf_resetTrafficStandIn()
{
    g_trafficStandIn.parkAirportSet = false;
    g_trafficStandIn.saveLearnedFails = false;
}

}  // namespace qel
