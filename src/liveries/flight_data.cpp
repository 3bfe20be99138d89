// The labels of a flight that log lines about one aircraft begin with.
#include "liveries/flight_data.h"

#include <fmt/format.h>

#include "foundation/codes.h"

namespace qel {

namespace {

std::string_view lf_code(const std::array<char, 3>& code)
{
    return code[0] == '\0' ? std::string_view() : std::string_view(code.data(), code.size());
}

}  // namespace

std::string gf_flightLabel(const MatchKey& key)
{
    const std::string second =
        key.operatorId == 0 ? std::string() : "," + g_airlineCodes.text(key.operatorId);
    return fmt::format("{:3}{:4} {:4}{:3}", g_airlineCodes.text(key.airline), second,
                       g_modelCodes.text(key.model), key.cargo != 0 ? "(C)" : "");
}

std::string gf_flightLabel(const FlightData& aircraft) { return gf_flightLabel(aircraft.key); }

std::string gf_routeText(const FlightData& aircraft)
{
    const auto origin = lf_code(aircraft.origin);
    const auto destination = lf_code(aircraft.destination);
    if (origin.empty() && destination.empty()) return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", origin, destination);
}

std::string gf_flightShortDescription(const FlightData& aircraft)
{
    return fmt::format("{:8} {} {}", aircraft.callsign, aircraft.registration,
                       gf_flightLabel(aircraft));
}

std::string gf_flightIdentity(const FlightData& aircraft)
{
    return fmt::format("{:8} {:12} {}", aircraft.callsign, aircraft.registration,
                       gf_routeText(aircraft));
}

std::string gf_flightDescription(const FlightData& aircraft)
{
    return fmt::format("{} {}", gf_flightIdentity(aircraft), gf_flightLabel(aircraft));
}

std::string gf_labelAndRegistration(const FlightData& aircraft)
{
    return fmt::format("{} {}", gf_flightLabel(aircraft), aircraft.registration);
}

}  // namespace qel
