// The stand check of one queued live aircraft per simulator second: the learned callsigns of
// its flight, then the static aircraft that stood in for it give way.
#include <algorithm>

#include "foundation/run_state.h"
#include "traffic/traffic.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/stands.h"

namespace qel {

void gf_checkNextQueuedStand(int64_t dayAndSlot)
{
    if (g_standCheckQueue.empty()) return;
    const uint32_t hexId = g_standCheckQueue.front();
    g_standCheckQueue.erase(g_standCheckQueue.begin());
    LiveAc* aircraft = lf_findLive(hexId);
    if (!aircraft) return;
    const int32_t day = gf_weekdayOfDayAndSlot(dayAndSlot);
    // Before the first simulator second the weekday is unknown; the check waits for a later
    // queueing rather than matching no weekday at all.
    if (!aircraft->learnedStandChecked && day >= 1) {
        const int32_t slot = std::clamp(gf_slotOfDayAndSlot(dayAndSlot), 0, 47);
        lf_findLearnedStandOption(static_cast<uint32_t>(day), static_cast<uint32_t>(slot),
                                  *aircraft);
        aircraft->learnedStandChecked = 1;
    }
    lf_removeStaticsOfLiveAc(*aircraft);
}

}  // namespace qel
