// The stand-in simulator's variable and unit tables, and the packing of data blocks.
#include "standins/simulator/simvars.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

namespace qel::simstandin {
namespace {

constexpr double lf_pi = 3.14159265358979323846;
constexpr double lf_fpsPerKnot = 1.6878098571011957;

// A variable's base unit is the first unit of its dimension below.
enum class Dim { angle, length, velocity, percent, time, number, text };

struct VarInfo {
    std::string_view name;
    VarId id;
    Dim dim;
    bool settable;
    bool indexed;
};

constexpr VarInfo lf_vars[] = {
    {"PLANE LATITUDE", VarId::latitude, Dim::angle, true, false},
    {"PLANE LONGITUDE", VarId::longitude, Dim::angle, true, false},
    {"PLANE PITCH DEGREES", VarId::pitch, Dim::angle, true, false},
    {"PLANE BANK DEGREES", VarId::bank, Dim::angle, true, false},
    {"PLANE HEADING DEGREES TRUE", VarId::heading, Dim::angle, true, false},
    {"PLANE ALTITUDE", VarId::altitude, Dim::length, true, false},
    {"VERTICAL SPEED", VarId::verticalSpeed, Dim::velocity, true, false},
    {"AIRSPEED TRUE", VarId::airspeedTrue, Dim::velocity, true, false},
    {"PLANE ALT ABOVE GROUND", VarId::altAboveGround, Dim::length, false, false},
    {"GROUND VELOCITY", VarId::groundVelocity, Dim::velocity, false, false},
    {"GROUND ALTITUDE", VarId::groundAltitude, Dim::length, false, false},
    {"SIM ON GROUND", VarId::simOnGround, Dim::number, false, false},
    {"ZULU TIME", VarId::zuluTime, Dim::time, false, false},
    {"ZULU DAY OF YEAR", VarId::zuluDayOfYear, Dim::number, false, false},
    {"ZULU YEAR", VarId::zuluYear, Dim::number, false, false},
    {"ZULU MONTH OF YEAR", VarId::zuluMonthOfYear, Dim::number, false, false},
    {"ZULU DAY OF MONTH", VarId::zuluDayOfMonth, Dim::number, false, false},
    {"LIGHT STATES", VarId::lightStates, Dim::number, true, false},
    {"STATIC CG TO GROUND", VarId::staticCg, Dim::length, false, false},
    {"STATIC PITCH", VarId::staticPitch, Dim::angle, false, false},
    {"SPOILERS HANDLE POSITION", VarId::spoilersHandle, Dim::percent, true, false},
    {"GENERAL ENG THROTTLE LEVER POSITION", VarId::throttleLever, Dim::percent, true, true},
    {"GEAR HANDLE POSITION", VarId::gearHandle, Dim::number, true, false},
    {"FLAPS HANDLE PERCENT", VarId::flapsHandle, Dim::percent, false, false},
    {"GENERAL ENG COMBUSTION", VarId::engineCombustion, Dim::number, false, true},
    {"TITLE", VarId::title, Dim::text, false, false},
    {"ATC ID", VarId::atcId, Dim::text, false, false},
    {"ATC MODEL", VarId::atcModel, Dim::text, false, false},
};

struct UnitInfo {
    std::string_view name;
    Dim dim;
    double factor;  // value in this unit per value in the base unit
};

constexpr UnitInfo lf_units[] = {
    {"radians", Dim::angle, 1.0},
    {"radian", Dim::angle, 1.0},
    {"degrees", Dim::angle, 180.0 / lf_pi},
    {"degree", Dim::angle, 180.0 / lf_pi},
    {"feet", Dim::length, 1.0},
    {"foot", Dim::length, 1.0},
    {"meters", Dim::length, 0.3048},
    {"meter", Dim::length, 0.3048},
    {"feet per second", Dim::velocity, 1.0},
    {"feet per minute", Dim::velocity, 60.0},
    {"knots", Dim::velocity, 1.0 / lf_fpsPerKnot},
    {"knot", Dim::velocity, 1.0 / lf_fpsPerKnot},
    {"meters per second", Dim::velocity, 0.3048},
    {"percent", Dim::percent, 1.0},
    {"percent over 100", Dim::percent, 0.01},
    {"position", Dim::percent, 0.01},
    {"seconds", Dim::time, 1.0},
    {"second", Dim::time, 1.0},
    {"minutes", Dim::time, 1.0 / 60.0},
    {"hours", Dim::time, 1.0 / 3600.0},
    {"number", Dim::number, 1.0},
    {"bool", Dim::number, 1.0},
    {"boolean", Dim::number, 1.0},
    {"mask", Dim::number, 1.0},
    {"flags", Dim::number, 1.0},
    {"enum", Dim::number, 1.0},
};

std::string lf_normal(const char* text, bool upper)
{
    std::string out;
    bool blank = false;
    for (const char* p = text ? text : ""; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (std::isspace(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
    }
    return out;
}

bool lf_isString(SIMCONNECT_DATATYPE type)
{
    return type >= SIMCONNECT_DATATYPE_STRING8 && type <= SIMCONNECT_DATATYPE_STRINGV;
}

size_t lf_typeSize(SIMCONNECT_DATATYPE type)
{
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
    case SIMCONNECT_DATATYPE_FLOAT32: return 4;
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64: return 8;
    case SIMCONNECT_DATATYPE_STRING8: return 8;
    case SIMCONNECT_DATATYPE_STRING32: return 32;
    case SIMCONNECT_DATATYPE_STRING64: return 64;
    case SIMCONNECT_DATATYPE_STRING128: return 128;
    case SIMCONNECT_DATATYPE_STRING256: return 256;
    case SIMCONNECT_DATATYPE_STRING260: return 260;
    default: return 0;
    }
}

const VarInfo& lf_info(VarId id)
{
    return *std::find_if(std::begin(lf_vars), std::end(lf_vars),
                         [id](const VarInfo& v) { return v.id == id; });
}

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void lf_civil(int64_t days, int64_t& year, int64_t& month, int64_t& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

// Days since 1970-01-01 of a civil date.
int64_t lf_daysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

double lf_zulu(VarId var, ZuluTime zulu)
{
    const int64_t days = static_cast<int64_t>(std::floor(zulu.epoch_s / 86400.0));
    int64_t year = 0, month = 0, day = 0;
    lf_civil(days, year, month, day);
    switch (var) {
    case VarId::zuluTime: return zulu.epoch_s - static_cast<double>(days) * 86400.0;
    case VarId::zuluYear: return static_cast<double>(year);
    case VarId::zuluMonthOfYear: return static_cast<double>(month);
    case VarId::zuluDayOfMonth: return static_cast<double>(day);
    default: return static_cast<double>(days - lf_daysFromCivil(year, 1, 1) + 1);
    }
}

// The variable's value in its base unit.
double lf_get(const Datum& datum, const ObjectState& o, ZuluTime zulu)
{
    const double deg2rad = lf_pi / 180.0;
    const int engine = std::clamp(datum.index, 1, 2) - 1;
    switch (datum.var) {
    case VarId::latitude: return o.latitude * deg2rad;
    case VarId::longitude: return o.longitude * deg2rad;
    case VarId::pitch: return o.pitch_rad;
    case VarId::bank: return o.bank_rad;
    case VarId::heading: return o.heading_rad;
    case VarId::altitude: return o.altitude_ft;
    case VarId::verticalSpeed: return o.verticalSpeed_fps;
    case VarId::airspeedTrue: return o.airspeed_kt * lf_fpsPerKnot;
    case VarId::altAboveGround: return o.altAboveGround_ft;
    case VarId::groundVelocity: return o.groundSpeed_kt * lf_fpsPerKnot;
    case VarId::groundAltitude: return o.groundAltitude_ft;
    case VarId::simOnGround: return o.onGround ? 1.0 : 0.0;
    case VarId::lightStates: return static_cast<double>(o.lightStates);
    case VarId::staticCg: return o.staticCg_ft;
    case VarId::staticPitch: return o.staticPitch_rad;
    case VarId::spoilersHandle: return o.spoilersHandle_pct;
    case VarId::throttleLever: return o.throttle_pct[engine];
    case VarId::gearHandle: return o.gearDown ? 1.0 : 0.0;
    case VarId::flapsHandle: return static_cast<double>(o.flaps) * 100.0 / 16383.0;
    case VarId::engineCombustion: return o.enginesRunning ? 1.0 : 0.0;
    case VarId::zuluTime:
    case VarId::zuluDayOfYear:
    case VarId::zuluYear:
    case VarId::zuluMonthOfYear:
    case VarId::zuluDayOfMonth: return lf_zulu(datum.var, zulu);
    default: return 0.0;
    }
}

const std::string& lf_getText(VarId var, const ObjectState& o)
{
    switch (var) {
    case VarId::title: return o.title;
    case VarId::atcId: return o.atcId;
    default: return o.atcModel;
    }
}

void lf_set(const Datum& datum, double value, ObjectState& o)
{
    const double rad2deg = 180.0 / lf_pi;
    switch (datum.var) {
    case VarId::latitude: o.latitude = value * rad2deg; break;
    case VarId::longitude: o.longitude = value * rad2deg; break;
    case VarId::pitch: o.pitch_rad = value; break;
    case VarId::bank: o.bank_rad = value; break;
    case VarId::heading: o.heading_rad = value; break;
    case VarId::altitude: o.altitude_ft = value; break;
    case VarId::verticalSpeed: o.verticalSpeed_fps = value; break;
    case VarId::airspeedTrue: o.airspeed_kt = value / lf_fpsPerKnot; break;
    case VarId::lightStates: o.lightStates = static_cast<DWORD>(value); break;
    case VarId::spoilersHandle: o.spoilersHandle_pct = value; break;
    case VarId::throttleLever: o.throttle_pct[std::clamp(datum.index, 1, 2) - 1] = value; break;
    case VarId::gearHandle: o.gearDown = value != 0.0; break;
    default: break;
    }
}

template <class T>
void lf_put(std::string& out, T value)
{
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

template <class T>
T lf_clampedCast(double value)
{
    if (std::isnan(value)) return 0;
    const double low = static_cast<double>(std::numeric_limits<T>::lowest());
    const double high = static_cast<double>(std::numeric_limits<T>::max());
    return static_cast<T>(std::clamp(std::trunc(value), low, high));
}

template <class T>
double lf_read(const unsigned char* p)
{
    T value{};
    std::memcpy(&value, p, sizeof(T));
    return static_cast<double>(value);
}

}  // namespace

Datum makeDatum(const char* name, const char* unit, SIMCONNECT_DATATYPE type)
{
    std::string key = lf_normal(name, true);
    int index = 0;
    if (const auto colon = key.rfind(':'); colon != std::string::npos) {
        const std::string digits = key.substr(colon + 1);
        const bool number = !digits.empty() && digits.size() < 3 &&
                            std::all_of(digits.begin(), digits.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
        if (!number) throw DatumError{SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2};
        index = std::stoi(digits);
        key.erase(colon);
        while (!key.empty() && key.back() == ' ') key.pop_back();
    }
    const auto var = std::find_if(std::begin(lf_vars), std::end(lf_vars),
                                  [&](const VarInfo& v) { return v.name == key; });
    if (var == std::end(lf_vars)) throw DatumError{SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2};
    if (var->indexed != (index > 0) || index > 4) {
        throw DatumError{SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2};
    }
    Datum datum;
    datum.var = var->id;
    datum.index = index;
    datum.type = type;
    if (var->dim == Dim::text) {
        if (!lf_isString(type)) throw DatumError{SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, 4};
        datum.size = lf_typeSize(type);
        return datum;
    }
    if (lf_isString(type) || lf_typeSize(type) == 0) {
        throw DatumError{SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, 4};
    }
    datum.size = lf_typeSize(type);
    const std::string unitKey = lf_normal(unit, false);
    if (unitKey.empty()) return datum;  // the base unit
    const auto found = std::find_if(std::begin(lf_units), std::end(lf_units),
                                    [&](const UnitInfo& u) { return u.name == unitKey; });
    if (found == std::end(lf_units) || found->dim != var->dim) {
        throw DatumError{SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 3};
    }
    datum.factor = found->factor;
    return datum;
}

std::optional<size_t> blockSize(const std::vector<Datum>& data)
{
    size_t size = 0;
    for (const Datum& datum : data) {
        if (datum.size == 0) return std::nullopt;
        size += datum.size;
    }
    return size;
}

void packBlock(const std::vector<Datum>& data, const ObjectState& object, ZuluTime zulu,
               std::string& out)
{
    for (const Datum& datum : data) {
        if (lf_isString(datum.type)) {
            std::string text = lf_getText(datum.var, object);
            if (datum.size == 0) {
                out.append(text);
                out.push_back('\0');
                continue;
            }
            text.resize(std::min(text.size(), datum.size - 1));
            text.resize(datum.size, '\0');
            out.append(text);
            continue;
        }
        const double value = lf_get(datum, object, zulu) * datum.factor;
        switch (datum.type) {
        case SIMCONNECT_DATATYPE_INT32: lf_put(out, lf_clampedCast<int32_t>(value)); break;
        case SIMCONNECT_DATATYPE_INT64: lf_put(out, lf_clampedCast<int64_t>(value)); break;
        case SIMCONNECT_DATATYPE_FLOAT32: lf_put(out, static_cast<float>(value)); break;
        default: lf_put(out, value); break;
        }
    }
}

void applyBlock(const std::vector<Datum>& data, const void* block, ObjectState& object)
{
    for (size_t i = 0; i < data.size(); ++i) {
        if (!lf_info(data[i].var).settable) {
            throw DatumError{SIMCONNECT_EXCEPTION_DATA_ERROR, static_cast<DWORD>(i + 1)};
        }
    }
    const auto* p = static_cast<const unsigned char*>(block);
    for (const Datum& datum : data) {
        double value = 0.0;
        switch (datum.type) {
        case SIMCONNECT_DATATYPE_INT32: value = lf_read<int32_t>(p); break;
        case SIMCONNECT_DATATYPE_INT64: value = lf_read<int64_t>(p); break;
        case SIMCONNECT_DATATYPE_FLOAT32: value = lf_read<float>(p); break;
        default: value = lf_read<double>(p); break;
        }
        lf_set(datum, value / datum.factor, object);
        p += datum.size;
    }
}

}  // namespace qel::simstandin
