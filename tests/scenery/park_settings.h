// The park settings back at their start values; without a test framework, so that the fuzz
// targets share it.
#pragma once

#include "foundation/catalogue.h"
#include "scenery/scenery.h"

namespace qel::test {

inline void resetParkSettings()
{
    for (auto* s : g_boolParams) s->current = s->defaultValue;
    for (auto* s : g_numParams) s->current = s->defaultValue;
    for (auto* s : g_comboParams) s->current = s->defaultValue;
    MAX_FIT_FL.current = MAX_FIT_FL.defaultValue;
    parking_percentage.current = parking_percentage.defaultValue;
}

}  // namespace qel::test
