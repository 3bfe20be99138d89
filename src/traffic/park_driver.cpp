// The park airport: chosen from the user aircraft's position (on the ground, or in sight within
// AIRP_RANGE and below AIRP_HEIGHT), its stands loaded 16 s later, the user's stand kept free,
// and left again with its aircraft removed and what its stands learned saved.
//
// Threads: main-loop thread (the park driver runs on the schedule of simulator seconds). The
// window is reached through g_trafficWindowHooks and its status record.
#include <algorithm>
#include <cmath>
#include <exception>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/stands.h"
#include "traffic/park_airports.h"
#include "traffic/parked_plan.h"
#include "traffic/traffic.h"
#include "traffic/traffic_run.h"

namespace qel {

Airport& g_parkAirport = g_trafficRun.parkAirport;
bool& g_parkAirportPending = g_trafficRun.parkAirportPending;
bool& g_parkPlanPending = g_trafficRun.parkPlanPending;

namespace {

constexpr double kNoPosition_deg = 0.0001;

uint32_t lf_parkCode() { return gf_parkAirportSet() ? g_parkAirport.code.word() : 0; }

LatLon lf_userPosition() { return {g_userState.latitude, g_userState.longitude}; }

void lf_enableControl(const ControlBinding& control, bool on)
{
    if (g_trafficWindowHooks.enableControl) g_trafficWindowHooks.enableControl(control, on);
}

// Both limits hold at their exact value: the airport is still in sight there.
bool lf_inSight(double distance_nm)
{
    return distance_nm <= static_cast<double>(AIRP_RANGE.current.load()) &&
           g_userState.altAboveGround_ft <= static_cast<double>(AIRP_HEIGHT.current.load());
}

void lf_showReservedStand(const std::string& name)
{
    g_trafficWindowStatus.reservedStandText.set(name);
    g_parkWindowCounts.reservedStandOk = !name.empty();
    gf_invalidateArea(WindowArea::Statistics);
}

// Step 4 of the load: the front entry of the list names the stand the user stands on.
void lf_rememberStandOfLoad()
{
    if (!gf_userOnGroundValid()) return;
    const std::string stand = gf_closestStandName(g_userState.latitude, g_userState.longitude);
    const uint32_t code = lf_parkCode();
    if (!g_parkAirports.empty() && g_parkAirports.front().code == code) {
        ParkAirport& front = g_parkAirports.front();
        if (stand.empty() || stand == front.standName) return;
        front.standName = stand;
    } else {
        g_parkAirports.push_front(
            {stand, g_parkAirport.latitude, g_parkAirport.longitude, 0.0, code});
    }
    lf_writeMyParkAirports();
}

void lf_takeReservedStandOfList()
{
    const bool named = !g_parkAirports.empty() && g_parkAirports.front().code == lf_parkCode() &&
                       !g_parkAirports.front().standName.empty();
    const std::string name = named ? g_parkAirports.front().standName : std::string();
    if (!name.empty() && lf_standIdByName(name) != 0) {
        g_reservedStandName = name;
    } else {
        g_reservedStandName.clear();
    }
    lf_showReservedStand(g_reservedStandName);
}

void lf_publishParkReference()
{
    gf_setParkAirportReference(ParkAirportReference{g_parkAirport.latitude, g_parkAirport.longitude,
                                                    lf_parkElevation_ft()});
}

// The live aircraft at the airport being left give up their stands, and those in the
// simulator leave it. One driving onto its stand too: its stand id would otherwise name a stand
// of the next park airport's table, on which it would park and be learned.
void lf_releaseLiveStands()
{
    for (LiveAc& aircraft : g_liveAcs) {
        const FlightPhase phase = aircraft.phase;
        if (phase != FlightPhase::parked && phase != FlightPhase::parking &&
            phase != FlightPhase::pushing_back && phase != FlightPhase::pushed_back &&
            phase != FlightPhase::taxi && phase != FlightPhase::take_off) {
            continue;
        }
        aircraft.standLat = aircraft.standLon = aircraft.standHeading_rad = 0.0;
        aircraft.standId = 0;
        aircraft.noCabinLights = 0;
        if (aircraft.state == SimObjectState::active ||
            aircraft.state == SimObjectState::adding2sim) {
            removeAircraftFromSim(aircraft);
        }
    }
    lf_compactLiveAcs();
}

void lf_clearParkWindow()
{
    if (!INITIAL_LOAD_ONLY.current) lf_enableControl(g_nowButton, false);
    g_trafficWindowStatus.nowAllowed = true;
    g_rtTrafficWeek = 0;
    g_parkWindowCounts.standFileWeek = 0;
    lf_enableControl(g_flushStaticButton, false);
    g_trafficWindowStatus.parkAirportText.set({});
    if (g_trafficWindowStatus.updateCount != 0) g_trafficWindowStatus.updateCount = 0;
    g_trafficWindowStatus.standFileNameText.set({});
    g_trafficWindowStatus.standFileKindText.set({});
    g_trafficWindowStatus.standFileLoaded = false;
    g_trafficWindowStatus.standCount = 0;
    lf_showReservedStand({});
    gf_invalidateArea(WindowArea::Whole);
}

}  // namespace

bool gf_parkAirportSet() { return g_parkAirport.code.text() != AirportCode().text(); }
bool gf_hasParkStands() { return gf_parkAirportSet() && !g_parkStands.empty(); }

float lf_parkElevation_ft() { return g_parkAirport.altitude; }

std::optional<LatLon> lf_parkAirportPosition()
{
    if (!gf_parkAirportSet()) return std::nullopt;
    return LatLon{g_parkAirport.latitude, g_parkAirport.longitude};
}

std::string lf_parkAirportCode3()
{
    if (!gf_parkAirportSet() || g_parkAirport.secondCode.text() == "XXX") return {};
    return std::string(g_parkAirport.secondCode.text());
}

void lf_enableParkingControls()
{
    g_parkingBusy = false;
    if (g_trafficWindowHooks.parkingControls) g_trafficWindowHooks.parkingControls(true);
}

void lf_disableParkingControls()
{
    g_parkingBusy = true;
    if (g_trafficWindowHooks.parkingControls) g_trafficWindowHooks.parkingControls(false);
}

void lf_checkUserPosition(bool now)
{
    if (g_parkingBusy && g_staticCandidates.empty()) {
        lf_enableParkingControls();
        gf_clearMessage();
        lf_countStaticParked(true);
        lf_countLiveParked();
    }
    if (g_parkAirportPending) {
        gf_clearMessage();
        g_parkAirportPending = false;
        lf_loadParkAirport(true);
        return;
    }
    if (g_parkPlanPending) {
        g_parkPlanPending = false;
        lf_planInitialParking();
        return;
    }
    const LatLon position = lf_userPosition();
    if (std::abs(position.lat) <= kNoPosition_deg && std::abs(position.lon) <= kNoPosition_deg) {
        return;  // no position has arrived yet
    }
    lf_sortParkAirports(position);
    if (gf_parkAirportSet()) {
        lf_checkParkAirportInSight(position);
    } else {
        lf_findParkAirport(position, now);
    }
}

void lf_findParkAirport(LatLon position, bool now)
{
    if (g_userState.onGround) {
        const auto airport = gf_closestAirport(position);
        if (!airport) {
            gf_setMessage("User aircraft on the ground, no RT supported airport in sight", true);
            return;
        }
        const std::string code(airport->code.text());
        if (!gf_hasAirportFile(airport->code.word())) {
            gf_setMessage(
                fmt::format("User aircraft on the ground at {}, no airport file found", code),
                true);
            return;
        }
        gf_log(fmt::format("User aircraft on the ground at {}", code));
        if (!lf_setParkAirport(airport->code.word())) return;
        if (now) {
            // The stands are wanted at once (the first traffic spawns on them); the planning
            // waits one run for the parked traffic, which is never waited for.
            g_parkAirportPending = false;
            lf_requestParkedTraffic(false);
            lf_loadParkAirport(false);
            return;
        }
    } else {
        lf_enableControl(DESTINATION, true);
        if (g_parkAirports.empty()) return;
        const ParkAirport& front = g_parkAirports.front();
        const double distance_nm = gf_distanceNm(position, {front.latitude, front.longitude});
        if (!lf_inSight(distance_nm) || !lf_setParkAirport(front.code)) return;
        gf_setMessage(fmt::format("{} in sight at {:.1F} nm", gf_codeText(front.code), distance_nm),
                      true);
    }
    g_parkAirportPending = true;
    lf_requestParkedTraffic(false);
}

void lf_checkParkAirportInSight(LatLon position)
{
    if (g_userState.onGround) return;
    const double d = gf_distanceNm({g_parkAirport.latitude, g_parkAirport.longitude}, position);
    if (lf_inSight(d)) {
        if (g_parkAirports.empty() || g_parkAirports.front().code == lf_parkCode()) return;
        const ParkAirport& front = g_parkAirports.front();
        const double e = gf_distanceNm({front.latitude, front.longitude}, position);
        if (!lf_inSight(e) || d < e) return;
        gf_log(fmt::format(
            "\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be "
            "removed first",
            gf_trafficTimeTag(), gf_codeText(front.code), e, gf_airportText(g_parkAirport)));
    } else {
        gf_log(fmt::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed",
                           gf_trafficTimeTag(), gf_airportText(g_parkAirport), d));
    }
    lf_saveLearnedAndClear();
}

bool lf_setParkAirport(uint32_t code)
{
    const Airport* airport = gf_airportOfCode(code);
    if (!airport) {
        g_trafficWindowStatus.parkAirportText.set({});
        return false;
    }
    g_parkAirport = *airport;
    const std::string text = gf_airportText(g_parkAirport);
    gf_log(fmt::format("\nThe park airport is {}", text));
    g_trafficWindowStatus.parkAirportText.set(text);
    gf_invalidateArea(WindowArea::Statistics);
    lf_publishParkReference();
    return true;
}

void lf_loadParkAirport(bool planNow)
{
    const std::string text = lf_readParkedFile();
    if (!text.empty()) {
        lf_enableParkingControls();
        gf_setMessage(text, true);
        lf_clearParkAirport();
    } else {
        g_staticParkingCountdown = 20;
        if (planNow) {
            lf_planInitialParking();
        } else {
            g_parkPlanPending = true;
        }
    }
    lf_enableControl(DESTINATION, true);
    gf_flushLog();
}

std::string lf_readParkedFile()
{
    gf_clearParkAirportTable();
    lf_forgetStandUses();
    const uint32_t code = lf_parkCode();
    const std::string path = gf_findArchivedApf(code);
    if (path.empty()) return fmt::format("{} {} not found", "lf_readParkedFile", gf_codeText(code));
    g_parkAirportInfo = {};
    std::string error;
    try {
        error = gf_readApf(path, g_parkAirportInfo, code);
    } catch (const UserErrorException& e) {
        // A stand file the user must mend drops this airport, not the whole traffic.
        error = e.what();
    }
    if (error.empty()) {
        // What the learned file is saved from at the leaving, with or without a window.
        g_parkStandsLoaded = true;
        g_parkAirport.altitude = static_cast<float>(g_parkAirportInfo.altitude_ft);
        lf_publishParkReference();
        lf_rememberStandOfLoad();
        g_parkStands.shrink_to_fit();
        lf_takeReservedStandOfList();
    }
    // A scanned stand file may have no name; the airport database's names the airport then.
    g_trafficWindowStatus.standFileNameText.set(
        g_parkAirportInfo.name.empty() ? g_parkAirport.name : g_parkAirportInfo.name);
    g_trafficWindowStatus.standFileLoaded = error.empty();
    gf_invalidateArea(WindowArea::Statistics);
    return error;
}

bool lf_checkParkAirports(bool checkReserved, std::string& message)
{
    if (!lf_readMyParkAirports()) return false;
    const bool movable = checkReserved && gf_userOnGroundValid() && !g_parkingBusy &&
                         !g_parkAirports.empty() && gf_parkAirportSet() &&
                         g_parkAirports.front().code == lf_parkCode() &&
                         gf_closestStandName(g_userState.latitude, g_userState.longitude).empty();
    if (movable) {
        const std::string wanted = g_parkAirports.front().standName;
        if (!wanted.empty() && wanted != g_reservedStandName) {
            message = fmt::format("reserved stand changed from '{}' to '{}'", g_reservedStandName,
                                  wanted);
            g_reservedStandName = wanted;
            lf_clearReservedStand(wanted);
            lf_showReservedStand(wanted);
        }
    }
    if (message.empty()) message = "park airports and stands are okay";
    return true;
}

void lf_saveLearnedAndClear()
{
    lf_applyRememberedStand();
    g_staticCandidates.clear();
    lf_removeAllStatics();
    lf_releaseLiveStands();
    lf_clearParkAirport();
}

void lf_clearParkAirport()
{
    // A fault while saving the learned file must not leave the airport half dropped: the
    // clearing runs to its end and the fault goes to the caller afterwards.
    std::exception_ptr failure;
    if (g_parkStandsLoaded) {
        try {
            lf_saveLearnedAirport();
        } catch (...) {
            failure = std::current_exception();
        }
        if (g_trafficWindowHooks.syncSettingControls) {
            g_trafficWindowHooks.syncSettingControls(g_savedParkSettings);
        }
        g_parkApfHandmade = false;
        g_parkStandsLoaded = false;
    }
    g_parkAirport = Airport{};
    g_parkAirportPending = false;
    g_parkPlanPending = false;
    g_parkElevation.reset();
    gf_setParkAirportReference(std::nullopt);
    lf_clearParkedTrafficState();
    g_staticCandidates.clear();
    gf_clearParkAirportTable();
    lf_forgetStandUses();
    g_reservedStandName.clear();
    lf_clearParkWindow();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace qel
