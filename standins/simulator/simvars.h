// The simulation variables the stand-in simulator knows, their units, and the data blocks of
// a client's data definitions: packing an object's values into a reply and applying a data set.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "standins/simulator/sim_standin.h"

namespace qel::simstandin {

enum class VarId {
    latitude, longitude, pitch, bank, heading, altitude, verticalSpeed, airspeedTrue,
    altAboveGround, groundVelocity, groundAltitude, simOnGround, zuluTime, zuluDayOfYear,
    zuluYear, zuluMonthOfYear, zuluDayOfMonth, lightStates, staticCg, staticPitch,
    spoilersHandle, throttleLever, gearHandle, flapsHandle, engineCombustion, title, atcId,
    atcModel
};

// One variable of a data definition.
struct Datum {
    VarId var = VarId::latitude;
    int index = 0;        // the ":2" of an indexed variable, else 0
    double factor = 1.0;  // value in the registered unit per value in the variable's base unit
    SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64;
    size_t size = 8;      // bytes in a data block; 0 for STRINGV, whose length varies
};

// A registration or data set the simulator rejects: the exception it sends, and the index of
// the argument (or variable) at fault.
struct DatumError {
    DWORD exception = SIMCONNECT_EXCEPTION_ERROR;
    DWORD index = 0;
};

// The zulu date and time that "ZULU ..." variables read.
struct ZuluTime {
    double epoch_s = 0.0;  // seconds since 1970-01-01 UTC
};

// Checks the variable name (with an optional ":N" index), the unit and the data type. Throws
// DatumError with NAME_UNRECOGNIZED (index 2 for the name, 3 for the unit) or
// INVALID_DATA_TYPE (index 4).
Datum makeDatum(const char* name, const char* unit, SIMCONNECT_DATATYPE type);

// Bytes of a block of these variables; none when one of them is a STRINGV.
std::optional<size_t> blockSize(const std::vector<Datum>& data);

// Appends the variables' values of `object`, laid out in order without padding.
void packBlock(const std::vector<Datum>& data, const ObjectState& object, ZuluTime zulu,
               std::string& out);

// Writes a data set of exactly blockSize bytes into `object`; nothing is written when a
// variable cannot be set (DatumError DATA_ERROR, index of the variable counted from 1).
void applyBlock(const std::vector<Datum>& data, const void* block, ObjectState& object);

}  // namespace qel::simstandin
