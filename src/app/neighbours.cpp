// The scenery, liveries and window services the application core calls, until their owners
// provide them.
#include "app/neighbours.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string_view>

#include <fmt/format.h>

#include "app/app.h"
#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/shell.h"
#include "foundation/strings.h"
#include "foundation/time.h"
#include "platform/clock.h"
#include "realtraffic/realtraffic.h"
#include "ui/ui.h"

namespace qel::neighbour {

void gf_scanAirports() {}


bool gf_checkVersions() { return qel::gf_checkVersions(); }

void lf_applyDestination(const std::string& text, const Airport& airport)
{
    qel::lf_applyDestination(text, airport);
}

void lf_timeShift(int32_t minutes, bool quiet) { qel::lf_timeShift(minutes, quiet); }
void lf_showTimeShift(int32_t minutes) { qel::lf_showTimeShift(minutes); }
void lf_enableTimeShiftControls(bool on) { qel::lf_enableTimeShiftControls(on); }
void gf_autoRange() { qel::gf_autoRange(); }
void lf_showNoTraffic() { qel::lf_showNoTraffic(); }
void lf_updateLiveCount() { qel::lf_updateLiveCount(); }
void lf_showParkingCountdown() { qel::lf_showParkingCountdown(); }
void gf_disableParkingControls() { qel::gf_disableParkingControls(); }
void gf_enableStandFitControls() { qel::gf_enableStandFitControls(); }
void gf_fillMaxFitCombo() { qel::gf_fillMaxFitCombo(); }
void gf_requestWindowClose() { qel::gf_requestWindowClose(); }
void setTopmost(bool topmost) { gf_setWindowTopmost(topmost); }

void countSecond() { gf_countSimulatorSecond(); }
void clearPendingError() { gf_clearErrorText(); }

void setAddonAirportCounts(std::size_t thirdparty, std::size_t simaddon)
{
    g_mainWindowState.thirdpCount = thirdparty;
    g_mainWindowState.simaddonCount = simaddon;
    gf_invalidateArea(WindowArea::StatusStrip);
}

void setObjectIdText(const std::string& text, std::optional<uint32_t> objectId)
{
    g_selectedObjectId = objectId.value_or(0);
    g_mainWindowState.selectedAircraftText.set(text);
    gf_invalidateArea(WindowArea::ControlBand);
}

void setCountdownDisplay(int32_t minutes)
{
    g_mainWindowState.staticParkingCountdown = minutes;
    gf_invalidateArea(WindowArea::Statistics);
}

void setCandidateCount(std::size_t count)
{
    g_mainWindowState.staticCandidateCount = count;
    gf_invalidateArea(WindowArea::Statistics);
}

void resetWindowState() { gf_resetWindowState(); }

void setReaderStatusesWaiting()
{
    g_mainWindowState.realTrafficIdle = false;
    g_mainWindowState.weatherReaderStatus = 2;
    g_mainWindowState.trafficReaderStatus = 2;
    gf_invalidateArea(WindowArea::StatusStrip);
}

}  // namespace qel::neighbour
