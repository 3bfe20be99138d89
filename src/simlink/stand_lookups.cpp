// The traffic manager's stand lookups as the layers below it reach them.
#include <memory>
#include <mutex>

#include "simlink/simlink.h"

namespace qel {

namespace {

// Guards g_standLookups, which is only replaced, never changed: callers copy the pointer under
// the lock and call outside it, so a lookup may take other locks. Taken alone.
std::mutex g_standLookupsMutex;
std::shared_ptr<const StandLookups> g_standLookups = std::make_shared<StandLookups>();

std::shared_ptr<const StandLookups> lf_lookups()
{
    std::scoped_lock lock(g_standLookupsMutex);
    return g_standLookups;
}

}  // namespace

void gf_setStandLookups(StandLookups lookups)
{
    auto installed = std::make_shared<const StandLookups>(std::move(lookups));
    std::scoped_lock lock(g_standLookupsMutex);
    g_standLookups = std::move(installed);
}

std::string gf_lookUpClosestStand(double latitude, double longitude)
{
    const auto lookups = lf_lookups();
    return lookups->closestStandName ? lookups->closestStandName(latitude, longitude)
                                     : std::string();
}

void gf_lookUpRememberUserStand(double latitude, double longitude)
{
    const auto lookups = lf_lookups();
    if (lookups->rememberUserStand) lookups->rememberUserStand(latitude, longitude);
}

}  // namespace qel
