// The aircraft records: constructors, enumeration names, the per-class tables and the labels
// of log lines.
#include "traffic/aircraft.h"

#include <cctype>
#include <numbers>
#include <unordered_map>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/random.h"
#include "liveries/liveries.h"

namespace qel {

namespace {

constexpr double kRadPerDeg = std::numbers::pi / 180.0;

// One row of the per-class table; angles in degrees.
struct ClassConstants {
    double rotationPitch_deg;
    double climbPitch_deg;
    double groundTurnRate_deg;  // per tick
    double maxClimb_ftPerTick;
    double standTaxiSpeed_kt;
    int32_t flareTicks;
    int32_t deRotationTicks;
    int32_t rotationTicks;
    int32_t climbTransitionTicks;
};

const std::unordered_map<uint32_t, ClassConstants>& lf_classTable()
{
    static const std::unordered_map<uint32_t, ClassConstants> table = {
        {0, {-9.0, -15.0, 0.15, 0.5, 5.0, 250, 250, 100, 200}},
        {1, {-8.0, -18.0, 0.1, 0.75, 4.5, 300, 300, 200, 250}},
        {2, {-6.0, -16.5, 0.07, 0.6, 4.0, 400, 350, 200, 300}},
        {3, {-5.0, -12.5, 0.05, 0.5, 3.0, 450, 450, 250, 400}},
        {4, {-6.0, -20.0, 0.1, 1.0, 4.5, 150, 150, 100, 200}},
        {5, {-20.0, -30.0, 0.2, 0.75, 5.0, 100, 100, 100, 100}},
    };
    return table;
}

const ClassConstants& lf_constants(WeightClass weightClass)
{
    return lf_classTable().at(static_cast<uint32_t>(weightClass));
}

template <class Record>
FlightData lf_initFrom(const Record& record)
{
    FlightData data;
    data.key = record.key;
    if (record.origin) std::copy_n(record.origin->chars().begin(), 3, data.origin.begin());
    if (record.destination) {
        std::copy_n(record.destination->chars().begin(), 3, data.destination.begin());
    }
    data.flag = record.flag;
    data.callsign = record.callsign;
    data.secondCallsign = record.secondCallsign;
    data.thirdText = record.thirdText;
    data.registration = record.registration;
    data.size_nm = gf_wingspan(record.key.model);
    // Through the model table again, so that a similar-type alias applies.
    const int category = gf_sizeCategory(gf_modelIndex(g_modelCodes.text(record.key.model)));
    data.weightClass = static_cast<WeightClass>(category);
    const ClassConstants& c = lf_constants(data.weightClass);
    data.flareTicks = c.flareTicks;
    data.deRotationTicks = c.deRotationTicks;
    data.rotationTicks = c.rotationTicks;
    data.climbTransitionTicks = c.climbTransitionTicks;
    data.rotationPitch_rad = gf_randomPlusMinusPercent(c.rotationPitch_deg, 2.5) * kRadPerDeg;
    data.climbPitch_rad = gf_randomPlusMinusPercent(c.climbPitch_deg, 5.0) * kRadPerDeg;
    data.groundTurnRate_rad = c.groundTurnRate_deg * kRadPerDeg;
    return data;
}

}  // namespace

StaticAc::StaticAc(const FlightData& data, uint32_t stand, double lat, double lon,
                   double heading_rad, bool noCabin)
    : FlightData(data),
      standLat(lat),
      standLon(lon),
      standHeading_rad(heading_rad),
      standId(stand),
      noCabinLights(noCabin ? 1 : 0)
{
}

LiveAc::LiveAc(const QueuedSample& first, const FlightData& data, double reportTime)
    : reportTime_s(reportTime), reportedAt{first.latitude, first.longitude}
{
    static_cast<FlightData&>(*this) = data;
    samples.push_back(first);
}

std::string_view weightClassName(WeightClass weightClass)
{
    static const std::unordered_map<uint32_t, std::string_view> names = {
        {0, "Light"}, {1, "Buzjets"},  {2, "Large"},
        {3, "Heavy"}, {4, "HighPerf"}, {5, "Rotorcraft"}};
    return names.at(static_cast<uint32_t>(weightClass));
}

std::string_view flightPhaseName(FlightPhase phase)
{
    static const std::unordered_map<uint32_t, std::string_view> names = {
        {0, "pushing_back"}, {1, "pushed_back"}, {2, "taxi"},   {3, "take_off"},
        {4, "flying"},       {5, "parking"},     {6, "parked"}, {7, "birth"}};
    return names.at(static_cast<uint32_t>(phase));
}

std::string_view simObjectStateName(SimObjectState state)
{
    static const std::unordered_map<uint32_t, std::string_view> names = {{0, "buffer"},
                                                                         {1, "adding2sim"},
                                                                         {2, "active"},
                                                                         {3, "liveryrespawn"},
                                                                         {4, "removingfromsim"}};
    return names.at(static_cast<uint32_t>(state));
}

FlightData initLiveAc(const LiveAircraftRecord& record) { return lf_initFrom(record); }
FlightData initLiveAc(const ParkedAircraftRecord& record) { return lf_initFrom(record); }

double gf_maxClimbRate_ftPerTick(WeightClass weightClass)
{
    return lf_constants(weightClass).maxClimb_ftPerTick;
}

double gf_standTaxiSpeed_kt(WeightClass weightClass)
{
    return lf_constants(weightClass).standTaxiSpeed_kt;
}

bool gf_validCallsign(const FlightData& data)
{
    return !data.callsign.empty() && data.callsign != "@@@@@@@@" && data.callsign.size() < 9;
}

std::optional<std::string> gf_airlineFromCallsign(std::string_view callsign)
{
    if (callsign.size() < 4) return std::nullopt;
    std::string code;
    for (std::size_t i = 0; i < 3; ++i) {
        const auto c = static_cast<unsigned char>(callsign[i]);
        if (!std::isalpha(c)) return std::nullopt;
        code += static_cast<char>(std::toupper(c));
    }
    if (!std::isdigit(static_cast<unsigned char>(callsign[3]))) return std::nullopt;
    return code;
}

}  // namespace qel
