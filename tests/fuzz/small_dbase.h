// The small aircraft database the livery scan's fuzz targets parse against: a few models (one
// heavy, one fixed), airlines, and fleet records with and without codes.
#pragma once

#include "foundation/codes.h"
#include "liveries/liveries.h"

namespace qel::fuzz {

inline void fillSmallDatabase()
{
    gf_airlineIndex("");
    gf_modelIndex("");
    for (const char* model : {"A320", "B738", "B744", "C172"}) {
        g_icaoModelCodes.insert(model);
        gf_modelIndex(model);
    }
    for (const char* airline : {"DLH", "KLM", "ZZZ"}) g_icaoAirlineCodes.insert(airline);
    g_heavyModels.insert(gf_modelIndex("B744"));
    gf_addModelFix("B38M", "B738");
    g_registrations = {
        {"D-", MatchKey{}},
        {"D-AIAB", MatchKey{gf_airlineIndex("DLH"), 0, gf_modelIndex("A320"), 0, 0}}};
    gf_indexShortRegistrations();
}

}  // namespace qel::fuzz
