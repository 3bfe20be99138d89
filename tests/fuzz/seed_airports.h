// The airports the BGL seeds name, made known to the airport database so that their records are
// decoded and not only skipped.
#pragma once

#include "foundation/codes.h"
#include "scenery/scenery.h"

namespace qel::fuzz {

inline void knowSeedAirports()
{
    static const bool known = [] {
        for (const char* code : {"EGLL", "EHAM", "KTST"}) {
            g_airportCodeSet.insert(AirportCode(code).word());
        }
        return true;
    }();
    (void)known;
}

}  // namespace qel::fuzz
