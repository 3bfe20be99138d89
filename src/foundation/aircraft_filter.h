// Which RealTraffic reports are aircraft that may enter the simulator.
#pragma once

#include <string_view>

namespace qel {

bool gf_isAircraft(std::string_view type, std::string_view category);
bool gf_isNonAircraftType(std::string_view type);

}  // namespace qel
