// The livery matchers. Until the livery database is built they find nothing, so the traffic
// manager drops a flight it cannot dress rather than create it without a livery.
#include "liveries/flight_data.h"

namespace qel {

bool gf_matchLiveLivery(FlightData& aircraft)
{
    aircraft.title = {};
    return false;
}

bool gf_matchLivery(FlightData& aircraft, const ParkCandidate& /*candidate*/)
{
    aircraft.title = {};
    return false;
}

}  // namespace qel
