// The window's status fields that the application core writes, each with its repaint.
#include <mutex>

#include "app/core.h"
#include "foundation/window_status.h"
#include "realtraffic/realtraffic.h"
#include "scenery/scan.h"
#include "traffic/traffic.h"
#include "ui/ui.h"

namespace qel {

void setAddonAirportCounts(std::size_t thirdparty, std::size_t simaddon)
{
    g_sceneryWindowCounts.thirdpCount = thirdparty;
    g_sceneryWindowCounts.simaddonCount = simaddon;
    gf_invalidateArea(WindowArea::StatusStrip);
}

void setObjectIdText(const std::string& text, std::optional<uint32_t> objectId)
{
    g_selectedObjectId = objectId.value_or(0);
    g_trafficWindowStatus.selectedAircraftText.set(text);
    gf_invalidateArea(WindowArea::ControlBand);
}

void setCountdownDisplay(int32_t minutes)
{
    g_shownParkingCountdown = minutes;
    gf_invalidateArea(WindowArea::Statistics);
}

void setCandidateCount(std::size_t count)
{
    g_trafficWindowStatus.staticCandidateCount = count;
    gf_invalidateArea(WindowArea::Statistics);
}

void setReaderStatusesWaiting()
{
    g_rtWindowStatus.realTrafficIdle = false;
    g_rtWindowStatus.weatherReaderStatus = 2;
    g_rtWindowStatus.trafficReaderStatus = 2;
    gf_invalidateArea(WindowArea::StatusStrip);
}

}  // namespace qel
