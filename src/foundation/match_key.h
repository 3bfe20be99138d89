// The code group that flights, liveries, fleet records and learned stand options share.
#pragma once

#include <compare>
#include <cstdint>

namespace qel {

// The code group of a flight, a livery, a fleet record or a learned flight. Ids are those of
// g_airlineCodes and g_modelCodes, in which id 0 is the empty code.
struct MatchKey {
    uint16_t airline = 0;     // airline id, e.g. the id of "DLH"
    uint16_t operatorId = 0;  // operator id, 0 when no operator other than the airline
    uint16_t model = 0;       // model id, e.g. the id of "A320"
    uint8_t cargo = 0;        // 1 for a freighter
    uint8_t spare = 0;        // unused, 0

    // The key as one number: airline bits 0-15, operator 16-31, model 32-47, cargo 48-55.
    constexpr uint64_t value() const
    {
        return uint64_t{airline} | uint64_t{operatorId} << 16 | uint64_t{model} << 32 |
               uint64_t{cargo} << 48;
    }
    friend constexpr bool operator==(const MatchKey& a, const MatchKey& b)
    {
        return a.value() == b.value();
    }
    friend constexpr std::strong_ordering operator<=>(const MatchKey& a, const MatchKey& b)
    {
        return a.value() <=> b.value();
    }
};

}  // namespace qel
