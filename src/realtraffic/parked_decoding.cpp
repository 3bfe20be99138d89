// Parked traffic record decoding: one member of a parkedtraffic reply into a
// ParkedAircraftRecord, for an aircraft recently seen at a named stand, at a known half hour,
// of a type the aircraft database knows. "Traffic Reader" thread.
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>
#include <gsl/narrow>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "liveries/liveries.h"
#include "realtraffic/decoding.h"

namespace qel::rt {

namespace {

using nlohmann::json;

constexpr uint32_t kHighestStaticId = 10000;

// Types the service reports by family where the aircraft database knows the variant.
std::optional<std::string_view> lf_substituteType(std::string_view type)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> table{
        {{"A380", "A388"}, {"B767", "B763"}, {"B747", "B744"}, {"B757", "B752"}}};
    for (const auto& [reported, used] : table) {
        if (type == reported) return used;
    }
    return std::nullopt;
}

// Seconds since 1970 of the sighting: an integer, or a floating-point value rounded to a whole
// second that must fit 64 bits; any other type throws the JSON library's type error.
int64_t lf_sightingTime(const json& value)
{
    if (value.is_number_float()) {
        const double rounded = std::round(value.get<double>());
        // The conversion of a value beyond int64 would be undefined; refuse it first.
        if (!std::isfinite(rounded) || std::fabs(rounded) >= 9.2e18) {
            throw gsl::narrowing_error{};
        }
        return gsl::narrow<int64_t>(rounded);
    }
    // The JSON library would read a boolean as 0 or 1, a sighting in 1970.
    if (value.is_boolean()) {
        throw json::type_error::create(
            302, fmt::format("type must be number, but is {}", value.type_name()), &value);
    }
    if (value.is_number_unsigned() &&
        value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        throw gsl::narrowing_error{};
    }
    return value.get<int64_t>();
}

std::string lf_cleanCallsign(std::string callsign)
{
    if (callsign == "null" || callsign.find('@') != std::string::npos ||
        (callsign.size() > 4 && callsign.find("00000") != std::string::npos) ||
        callsign.size() > 8 || !gf_isPrintableAscii(callsign)) {
        return {};
    }
    if (!callsign.empty() && callsign.front() == '.') callsign.erase(0, 1);
    return callsign;
}

// A fleet record of the aircraft database for the registration (or, without one, for the
// callsign, which then often is the registration) gives the whole key.
void lf_applyRegistrationPrefix(ParkedAircraftRecord& aircraft)
{
    if (aircraft.registration.empty() && !aircraft.callsign.empty()) {
        const auto match = gf_registrationPrefix(aircraft.callsign);
        if (!match) return;
        aircraft.key = *match;
        aircraft.registration = aircraft.callsign;
        if (!g_airlineCodes.text(aircraft.key.operatorId).empty()) {
            aircraft.key.airline = aircraft.key.operatorId;
        }
    } else if (!aircraft.registration.empty()) {
        const auto match = gf_registrationPrefix(aircraft.registration);
        if (!match) return;
        aircraft.key = *match;
        if (aircraft.callsign.empty()) aircraft.callsign = aircraft.registration;
    }
}

bool lf_sizeKept(int category, const ParkedDecodeContext& context)
{
    switch (static_cast<SizeCategory>(category)) {
    case SizeCategory::Light: return context.lightAircraft;
    case SizeCategory::Buzjets:
    case SizeCategory::Large:
    case SizeCategory::Heavy: return true;
    case SizeCategory::HighPerf: return context.highPerformance;
    case SizeCategory::Rotorcraft: return context.helicopters;
    }
    return false;
}

// Model and size; false: drop.
bool lf_knownType(const json& entry, ParkedAircraftRecord& aircraft)
{
    const std::string type = gf_text(gf_element(entry, 3));
    if (type.empty()) return false;
    if (const auto used = lf_substituteType(type)) {
        aircraft.key.model = gf_modelIndex(*used);
    } else {
        if (!gf_isModelCode(type)) return false;
        aircraft.key.model = gf_modelIndex(type);
    }
    return true;
}

bool lf_keptSize(const ParkedDecodeContext& context, const ParkedAircraftRecord& aircraft)
{
    const std::string model = g_modelCodes.text(aircraft.key.model);
    if (!gf_isModelCode(model)) return false;
    return lf_sizeKept(gf_sizeCategory(gf_modelIndex(model)), context);
}

}  // namespace

void processParkedTrafficLine(std::string_view key, const json& entry,
                              const ParkedDecodeContext& context,
                              std::vector<ParkedAircraftRecord>& records)
{
    try {
        ParkedAircraftRecord aircraft;
        aircraft.hexId = gf_parseHexId(key);
        if (aircraft.hexId <= kHighestStaticId) return;
        aircraft.halfHourSlot = gf_halfHourSlotOf(lf_sightingTime(gf_element(entry, 5)));
        // A time that cannot be broken down has no slot, so no age: such a record is useless.
        if (aircraft.halfHourSlot < 0) return;
        const std::string registration = gf_text(gf_element(entry, 4));
        if (registration.size() <= 12 && registration != "null" &&
            gf_isPrintableAscii(registration)) {
            aircraft.registration = registration;
        }
        if (!lf_knownType(entry, aircraft)) return;
        // Any JSON number: a whole-degree position sent as an integer is still a position.
        aircraft.latitude = gf_number(gf_element(entry, 0));
        aircraft.longitude = gf_number(gf_element(entry, 1));
        if (aircraft.latitude < -90.0 || aircraft.latitude > 90.0 || aircraft.longitude < -180.0 ||
            aircraft.longitude > 180.0 ||
            (std::abs(aircraft.latitude) <= 0.0001 && std::abs(aircraft.longitude) <= 0.0001)) {
            throw std::runtime_error(
                fmt::format("lalo: {}", lf_formatLatLon(aircraft.latitude, aircraft.longitude)));
        }
        aircraft.callsign = lf_cleanCallsign(gf_text(gf_element(entry, 6)));
        lf_applyRegistrationPrefix(aircraft);
        if (!lf_keptSize(context, aircraft)) return;
        aircraft.flag = 0;
        const json& stand = gf_element(entry, 2);
        if (!stand.is_string()) return;
        aircraft.standName = stand.get<std::string>();
        if (aircraft.standName == context.reservedStand ||
            aircraft.standName == context.userStand) {
            return;
        }
        records.push_back(std::move(aircraft));
    } catch (const std::runtime_error&) {
        // A position off the earth: the record is dropped silently.
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "processParkedTrafficLine", e.what()));
    }
}

}  // namespace qel::rt
