// The parts of the traffic manager still to be built: park airports, parked traffic, learned
// stands.
#include <stdexcept>

#include "traffic/traffic_internal.h"

namespace qel {

TrafficStandIn g_trafficStandIn;

// Today there is no list of park airports whose first entry could take the stand.
void gf_rememberUserStand(double /*latitude*/, double /*longitude*/) {}

// Today the park airport's elevation is its stand file's.
float lf_parkElevation_ft() { return static_cast<float>(g_parkAirportInfo.altitude_ft); }
// Today the park airport lies amid its stands.
std::optional<LatLon> lf_parkAirportPosition()
{
    if (!gf_parkAirportSet() || g_parkStands.empty()) return std::nullopt;
    double lat = 0.0;
    double lon = 0.0;
    for (const ParkStand& stand : g_parkStands) {
        lat += stand.latitude;
        lon += stand.longitude;
    }
    const auto n = static_cast<double>(g_parkStands.size());
    return LatLon{lat / n, lon / n};
}
// Today there is no park airport code.
std::string lf_parkAirportCode3() { return {}; }
// Today the user's position drives no park airport.
void lf_checkUserPosition(bool /*atLoopStart*/) {}
// Today there is no parked traffic to re-plan.
void lf_updateParkTraffic(bool /*parkTrafficOnlyChanged*/) {}
bool gf_parkAirportSet() { return g_trafficStandIn.parkAirportSet; }
// Today there is no stand table.
bool gf_hasParkStands() { return gf_parkAirportSet() && !g_parkStands.empty(); }

// Today there is no learned file to save.
void lf_saveLearnedAndClear()
{
    if (g_trafficStandIn.saveLearnedFails) throw std::runtime_error("learned file not saved");
}

// Today there is no park airport list to read.
void lf_readMyParkAirports() {}
// Today there is no park airport list to check.
bool lf_checkParkAirports(bool /*reRead*/, std::string& /*text*/) { return false; }
// Today no sweep around the user aircraft removes anything.
void lf_removeNearUser() {}
void lf_clearPathAheadOfUser() {}

void gf_resetTrafficStandIn()
{
    g_trafficStandIn.parkAirportSet = false;
    g_trafficStandIn.saveLearnedFails = false;
    gf_clearKeptTrafficBatches();
}

}  // namespace qel
