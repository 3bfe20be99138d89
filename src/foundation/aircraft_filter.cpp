// Which RealTraffic reports are aircraft: gliders, balloons, vehicles, towers and ships are not.
#include "foundation/aircraft_filter.h"

#include <algorithm>
#include <array>
#include <functional>
#include <set>
#include <string>

namespace qel {

namespace {

// ADS-B emitter categories: glider, lighter than air, ultralight, two kinds of surface vehicle.
constexpr std::array<std::string_view, 5> lf_excludedCategories{"B1", "B2", "B4", "C1", "C2"};

const std::set<std::string, std::less<>>& lf_excludedTypes()
{
    static const std::set<std::string, std::less<>> types{"BALL", "EMER", "GLID", "GRND", "GND",
                                                          "PARA", "SERV", "SHIP", "VENT", "TWR"};
    return types;
}

}  // namespace

bool gf_isAircraft(std::string_view type, std::string_view category)
{
    if (type.empty() || type == "null") return false;
    if (std::find(lf_excludedCategories.begin(), lf_excludedCategories.end(), category) !=
        lf_excludedCategories.end()) {
        return false;
    }
    return !gf_isNonAircraftType(type);
}

bool gf_isNonAircraftType(std::string_view type)
{
    // No ICAO type designator is longer than 4 characters.
    if (type.size() > 4) return true;
    return lf_excludedTypes().contains(type);
}

}  // namespace qel
