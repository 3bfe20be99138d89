// What the layers below the core call upward, filled in once at start and nowhere else: the
// window's start-up message, the stand lookups of the link and the readers, the park airport's
// and the livery database's window hooks, the fleet lookup of the stand files, the airport
// scan's lookups of publishers and add-on lists, the traffic manager's window hooks and its
// intakes of the RealTraffic client's batches.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/core.h"
#include "foundation/catalogue.h"
#include "foundation/run_state.h"
#include "foundation/window_status.h"
#include "liveries/liveries.h"
#include "liveries/livery_db.h"
#include "realtraffic/realtraffic.h"
#include "scenery/scenery.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/ui.h"

namespace qel {

namespace {

// The scenery library loads the park airport's stands below the window; it shows them here.
void lf_connectParkWindow()
{
    ParkWindowHooks hooks;
    hooks.showStandsLoaded = [](const ParkStandsShown& shown) {
        g_trafficWindowStatus.standCount = shown.standCount;
        g_trafficWindowStatus.standFileKindText.set(shown.publisher);
        g_trafficWindowStatus.handmade = shown.handmade;
        g_trafficWindowStatus.qualityText.set(shown.qualityText);
        g_parkWindowCounts.standFileWeek = shown.trafficWeek;
        g_trafficWindowStatus.standFileLoaded = true;
        g_parkStandsLoaded = true;
        gf_enableControlOf(g_flushStaticButton, true);
        gf_invalidateArea(WindowArea::Statistics);
    };
    hooks.showInt = [](const IntParameter& setting) { gf_showIntParameter(setting); };
    hooks.showBool = [](const ControlBoolParameter& setting) { gf_showBoolParameter(setting); };
    hooks.enable = [](const ControlBinding& control, bool on) { gf_enableControlOf(control, on); };
    hooks.setRange = [](int32_t nm) { gf_setRange(nm); };
    hooks.applyAutoRange = [] { gf_applyAutoRange(); };
    hooks.selectMaxFitCombo = [] { gf_selectMaxFitCombo(); };
    hooks.enableStandFitControls = [] { gf_enableStandFitControls(); };
    hooks.setMessage = [](std::string_view text) { gf_setMessage(text, true); };
    g_parkWindowHooks = std::move(hooks);
}

// The livery database reaches the simulator link's failed titles and the window through these.
void lf_connectLiveryHooks()
{
    g_liveryHooks.titleRefused = [](std::string_view title) {
        return g_failedLiveries.contains(title);
    };
    g_liveryHooks.uncreatedAircraft = [] {
        return std::vector<std::string>(g_failedTypeAirlines.begin(), g_failedTypeAirlines.end());
    };
    g_liveryHooks.enableOption = [](const ControlBinding& option, bool on) {
        gf_enableControlOf(option, on);
    };
    g_liveryHooks.repaint = [] {
        g_shownLiveryCount = g_liveryDbCount.load();
        gf_invalidateArea(WindowArea::StatusStrip);
    };
    g_liveryHooks.showMessage = [](std::string_view text) { gf_setMessage(text, false); };
}

// The traffic manager's callsign list decides which of the window's controls may be used.
void lf_connectTrafficWindow()
{
    g_trafficWindowHooks.refreshAcList = [] {
        gf_enableControlOf(CALLSIGN_2_OBJECTID, false);
        gf_enableControlOf(g_blockButton, false);
    };
    g_trafficWindowHooks.callsignListFilled = [](bool any) {
        const auto* unblock = g_unblockButton.controlWindow.load();
        const bool unblockEnabled = unblock && unblock->enabled();
        gf_enableControlOf(CALLSIGN_2_OBJECTID, any);
        gf_enableControlOf(g_blockButton, any && !unblockEnabled);
    };
    g_trafficWindowHooks.parkingControls = [](bool usable) {
        if (usable) {
            gf_enableParkingControls();
        } else {
            gf_disableParkingControls();
        }
    };
    g_trafficWindowHooks.enableControl = [](const ControlBinding& control, bool on) {
        gf_enableControlOf(control, on);
    };
    g_trafficWindowHooks.syncSettingControls = [](const SavedParkSettings& held) {
        gf_syncSettingControls(held);
    };
}

// Stand files name their flights by registration; the fleet table gives their codes.
void lf_connectRegistrationLookup()
{
    g_registrationKeyLookup = [](const std::string& registration) {
        return gf_registrationPrefix(registration);
    };
}

}  // namespace

void lf_connectLayers()
{
    gf_setStartUpHandler(&gf_onStartUpMessage);
    gf_setStandLookups({&gf_closestStandName, &gf_rememberUserStand});
    lf_connectParkWindow();
    lf_connectLiveryHooks();
    lf_connectRegistrationLookup();
    lf_connectTrafficWindow();
    lf_wireAirportScan();
    gf_setPollIntake(&gf_stackPoll);
    gf_setFirstLoadIntake(&gf_mergeFirstLoad);
}

}  // namespace qel
