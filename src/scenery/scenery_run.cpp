// The scenery library's run state and its reset.
#include "scenery/scenery_run.h"

#include <utility>

#include "scenery/scenery.h"

namespace qel {

SceneryRun g_sceneryRun;

void gf_resetSceneryRun()
{
    SceneryRun old;  // the stands and snapshots end outside the locks
    {
        std::scoped_lock lock(g_standSpotsMutex, g_standCacheMutex);
        old = std::exchange(g_sceneryRun, SceneryRun{});
    }
}

bool gf_sceneryRunFresh()
{
    std::scoped_lock lock(g_standSpotsMutex, g_standCacheMutex);
    return g_sceneryRun == SceneryRun{};
}

}  // namespace qel
