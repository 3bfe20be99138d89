// The services of the scenery, liveries and window subsystems that the application core calls,
// in one place. The window's forward to it; those of the scenery and liveries subsystems, until
// they provide them, do the least the core relies on (noted at each).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "scenery/scenery.h"

namespace qel::neighbour {

// ---- Scenery (airports, install detection, scan) ----------------------------------------------

void gf_scanAirports();  // the add-on airport scan; nothing yet


// ---- Window and updater ---------------------------------------------------------------------

bool gf_checkVersions();  // true: no new program version was fetched
void lf_applyDestination(const std::string& text, const Airport& airport);
// The time shift in minutes; `quiet`: no message for a shift and no traffic reset.
void lf_timeShift(int32_t minutes, bool quiet);
void lf_showTimeShift(int32_t minutes);
void lf_enableTimeShiftControls(bool on);
void gf_autoRange();
void lf_showNoTraffic();  // waits up to 15 s for the first traffic
void lf_updateLiveCount();
void lf_showParkingCountdown();  // ends by raising g_parkRefreshDue
void gf_disableParkingControls();  // raises g_parkingBusy
void gf_enableStandFitControls();
void gf_fillMaxFitCombo();  // MAX_FIT_FL filled "{:.1f}" and selected from MAX_FIT
void gf_requestWindowClose();  // as the window's close button; any thread
void setTopmost(bool topmost);

// The window's state: second counter and message expiry, error text, status fields.
void countSecond();        // the window's second counter; a message is cleared after 25
void clearPendingError();  // empties a pending error text
void setAddonAirportCounts(std::size_t thirdparty, std::size_t simaddon);
void setObjectIdText(const std::string& text, std::optional<uint32_t> objectId);
void setCountdownDisplay(int32_t minutes);
void setCandidateCount(std::size_t count);
void resetWindowState();
void setReaderStatusesWaiting();  // the RealTraffic box lit, both readers "no data"

}  // namespace qel::neighbour
