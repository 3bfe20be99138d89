// Parked traffic of the park airport: RealTraffic's parked aircraft, asked for without waiting
// and placed on their stands first; the first planning after the stands were loaded; and the
// re-plan of every refresh, which decides which static aircraft stay, which go and which come.
//
// Threads: main-loop thread. The parked-traffic reply is taken from the Traffic Reader without
// waiting; a reply that comes too late is thrown away by its request number.
#include <algorithm>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "foundation/window_status.h"
#include "traffic/fleet.h"
#include "traffic/stands.h"
#include "traffic/park_airports.h"
#include "traffic/parked_plan.h"
#include "traffic/traffic.h"
#include "traffic/traffic_run.h"

namespace qel {

ParkedTrafficSource g_parkedTrafficSource{&gf_requestParkedTraffic, &gf_takeParkedTraffic};
std::vector<ParkedAircraftRecord>& g_rtParkedRecords = g_trafficRun.rtParkedRecords;
bool& g_rtParkedAvailable = g_trafficRun.rtParkedAvailable;
std::vector<StaticRemoval>& g_staticRemovals = g_trafficRun.staticRemovals;
std::vector<KeptStatic>& g_keptStatics = g_trafficRun.keptStatics;

namespace {

constexpr int32_t kSlotsPerWeek = 336;
// The load follows the choice of the park airport by one run of the park driver (16 s); the
// initial planning waits for the reply at most that long after the request.
constexpr int32_t kParkedWait_ticks = 1600;
constexpr double kRtStandRadius_nm = 0.05939524838012959;  // 110 m

uint64_t& g_parkedRequest = g_trafficRun.parkedRequest;
int32_t& g_parkedRequestTick = g_trafficRun.parkedRequestTick;
bool& g_initialPlanWaiting = g_trafficRun.initialPlanWaiting;

DaySlot lf_parkedOf(const StaticAc& statik)
{
    return {static_cast<int32_t>(statik.parkedWeekday), static_cast<int32_t>(statik.parkedSlot)};
}

bool lf_sameIds(const MatchKey& a, const MatchKey& b)
{
    return a.airline == b.airline && a.operatorId == b.operatorId && a.model == b.model;
}

// True once the request is answered, failed or given up; the records are then in place.
bool lf_settleParkedTraffic(bool wait)
{
    if (g_parkedRequest == 0) return true;
    std::vector<ParkedAircraftRecord> records;
    ParkedTake take = ParkedTake::failed;
    try {
        take = g_parkedTrafficSource.take(g_parkedRequest, records);
    } catch (...) {
        g_parkedRequest = 0;
        throw;
    }
    if (take == ParkedTake::pending) {
        if (wait && g_fastTicks - g_parkedRequestTick < kParkedWait_ticks) return false;
        gf_log("ParkedTraffic not received in time, planned without it");
    }
    g_parkedRequest = 0;
    g_rtParkedAvailable = take == ParkedTake::ready;
    g_rtParkedRecords = std::move(records);
    return true;
}

bool lf_isLiveTwinOfRecord(const ParkedAircraftRecord& record)
{
    const std::string ghost = record.callsign + "_";
    return std::any_of(g_liveAcs.begin(), g_liveAcs.end(), [&](const LiveAc& live) {
        return live.hexId == record.hexId || live.callsign == record.callsign ||
               live.callsign == ghost ||
               (!record.registration.empty() && live.registration == record.registration);
    });
}

bool lf_skipRecord(const ParkedAircraftRecord& record)
{
    if (record.callsign.empty() || g_rtHexIds.contains(record.hexId)) return true;
    if (g_rtCallsigns.contains(record.callsign) || g_rtCallsigns.contains(record.callsign + "_")) {
        return true;
    }
    return lf_isLiveTwinOfRecord(record);
}

// A planned candidate on a neighbour of `stand` closer than both half spans.
bool lf_neighbourCandidateConflicts(const ParkStand& stand, double span_nm)
{
    for (const ParkCandidate& c : g_staticCandidates) {
        if (std::find(stand.overlaps.begin(), stand.overlaps.end(), c.standId) ==
            stand.overlaps.end()) {
            continue;
        }
        const ParkStand* other = lf_standById(c.standId);
        if (other &&
            gf_distanceNm({stand.latitude, stand.longitude}, {other->latitude, other->longitude}) <
                span_nm + gf_wingspan(c.key.model)) {
            return true;
        }
    }
    return false;
}

ParkCandidate lf_rtCandidate(const ParkedAircraftRecord& record, const FlightData& data,
                             uint32_t standId)
{
    ParkCandidate c;
    c.text = record.callsign;
    c.cargo = data.key.cargo;
    c.partnerHexId = record.hexId;
    c.placedBy = 0;
    c.standId = standId;
    c.fitOffset = record.age_halfHours;
    c.key = data.key;
    c.registration = record.registration;
    c.stays = 1;
    return c;
}

// The static of RealTraffic origin that stands on the stand as another aircraft; the newer
// sighting keeps the stand. True when the record is not to be placed.
bool lf_otherRtStaticWins(const ParkedAircraftRecord& record, uint32_t standId, DaySlot now)
{
    for (const StaticAc& statik : g_staticAcs) {
        if (statik.placedBy != 0 || statik.standId != standId ||
            statik.state != SimObjectState::active || statik.callsign == record.callsign + "*") {
            continue;
        }
        const DaySlot seen = lf_moveBack(now, record.age_halfHours);
        if (lf_slotsAgo(seen, now) < lf_slotsAgo(lf_parkedOf(statik), now)) {
            lf_removeStatic(statik);
            return false;
        }
        ParkCandidate c;
        c.text =
            statik.callsign.substr(0, statik.callsign.empty() ? 0 : statik.callsign.size() - 1);
        c.partnerHexId = statik.partnerHexId;
        c.placedBy = 0;
        c.standId = standId;
        const int32_t since = lf_slotsBetween(lf_parkedOf(statik), now);
        c.fitOffset = since < 0 ? since + kSlotsPerWeek : since;
        c.key = statik.key;
        c.registration = statik.registration;
        c.stays = 1;
        g_staticCandidates.push_back(std::move(c));
        if (ParkStand* stand = lf_standById(standId)) lf_markStandTaken(*stand);
        return true;
    }
    return false;
}

void lf_placeRecord(ParkedAircraftRecord record, DaySlot now)
{
    if (g_airlineCodes.text(record.key.airline).empty()) {
        const auto airline = gf_airlineFromCallsign(record.callsign);
        record.key.airline = gf_airlineIndex(airline ? *airline : std::string("PVT"));
    }
    const FlightData data = initLiveAc(record);
    QueuedSample at;
    at.latitude = record.latitude;
    at.longitude = record.longitude;
    const LiveAc probe(at, data, 0.0);
    const auto spot =
        lf_findFreeStand({record.latitude, record.longitude}, probe, kRtStandRadius_nm, false);
    if (!spot) {
        gf_logIndented(
            fmt::format("[{:10}: {:8x} {:8} {:12}, hh:{} ===> no stand for PT {}", record.standName,
                        record.hexId, record.callsign, record.registration, record.age_halfHours,
                        fmt::format("{:.6f},{:.6f}", record.latitude, record.longitude)));
        return;
    }
    ParkStand* stand = lf_standById(spot->id);
    if (!stand) return;
    const StandUse& use = lf_standUse(*stand);
    if (use.reserved || use.taken) return;
    if (use.blocked && lf_neighbourCandidateConflicts(*stand, data.size_nm)) return;
    if (lf_otherRtStaticWins(record, stand->number, now)) return;
    g_staticCandidates.push_back(lf_rtCandidate(record, data, stand->number));
    lf_markStandTaken(*stand);
}

}  // namespace

void lf_refreshRtStatics()
{
    lf_placeRtParkedAircraft();
    for (const StaticAc& statik : g_staticAcs) {
        if (statik.placedBy != 0 || statik.state != SimObjectState::active) continue;
        const auto carried = std::find_if(
            g_staticCandidates.begin(), g_staticCandidates.end(), [&](const ParkCandidate& c) {
                return c.standId == statik.standId &&
                       (c.text + "*" == statik.callsign || c.text == statik.secondCallsign ||
                        (!c.registration.empty() && c.registration == statik.registration));
            });
        if (carried != g_staticCandidates.end() && !g_rtHexIds.contains(statik.partnerHexId)) {
            g_keptStatics.push_back({statik.callsign, statik.secondCallsign, statik.thirdText,
                                     statik.registration, statik.key, lf_parkedOf(statik),
                                     statik.standId, statik.hexId, false});
            g_staticCandidates.erase(carried);
        } else {
            lf_removeStatic(statik);
        }
    }
    const auto n = static_cast<int32_t>(g_staticCandidates.size());
    gf_log(fmt::format("{} new parking position{} from PT", n, gf_pluralS(n)));
}

namespace {

void lf_finishInitialPlan()
{
    const auto count = static_cast<int64_t>(g_staticCandidates.size());
    if (count == 0) {
        gf_log("no parking positions found");
        lf_enableParkingControls();
        return;
    }
    const auto stands = static_cast<double>(g_parkStands.size());
    const long pct = stands < 1.0 ? 0 : std::lround(static_cast<double>(count) * 100.0 / stands);
    if (RT_PARKTRAFFIC_ONLY.current) {
        gf_log(fmt::format("{} positions from RT parktraffic only\n", count));
    } else {
        gf_log(fmt::format("{} positions ({}% vs wanted {}%, with Max fit={:.1F} hours)\n", count,
                           pct, lf_wantedPercentage(), MAX_FIT_FL.current.load()));
    }
    lf_sortBestFitsLast();
}

void lf_planNow()
{
    const DaySlot now = lf_logDayAndTime();
    lf_disableParkingControls();
    g_staticCandidates.clear();
    g_keptStatics.clear();
    g_liveParkedList.clear();
    g_trafficWindowStatus.staticAverageFit = -1.0F;
    g_trafficWindowStatus.liveAverageFit = -1.0F;
    g_trafficWindowStatus.softApplied = false;
    g_trafficWindowStatus.weekApplied = false;
    gf_invalidateArea(WindowArea::Statistics);
    lf_takeOverRtIds();
    lf_clearStandMarks(false);
    lf_markUserStands();
    if (MAX_PARK_SEL.current > 0 && g_rtParkedAvailable) {
        lf_placeRtParkedAircraft();
        if (!RT_PARKTRAFFIC_ONLY.current) {
            const auto n = static_cast<int32_t>(g_staticCandidates.size());
            gf_log(fmt::format("{} parking position{} from PT", n, gf_pluralS(n)));
        }
    }
    if (!RT_PARKTRAFFIC_ONLY.current) {
        const int64_t wanted = lf_calcWantedStatics();
        if (wanted > static_cast<int64_t>(g_staticCandidates.size())) {
            lf_fillCandidates(now, wanted, 0);
        }
        std::stable_sort(g_staticCandidates.begin(), g_staticCandidates.end(),
                         [](const auto& a, const auto& b) { return a.fitOffset < b.fitOffset; });
        if (static_cast<int64_t>(g_staticCandidates.size()) > wanted) {
            g_staticCandidates.resize(static_cast<std::size_t>(std::max<int64_t>(wanted, 0)));
        }
    }
    lf_finishInitialPlan();
}

}  // namespace

void lf_sortBestFitsLast()
{
    // Taken from the back: RealTraffic's own parked aircraft first (they stand there now),
    // then the learned ones, each the best fits first.
    std::stable_sort(g_staticCandidates.begin(), g_staticCandidates.end(),
                     [](const ParkCandidate& a, const ParkCandidate& b) {
                         if (a.placedBy != b.placedBy) return a.placedBy > b.placedBy;
                         return a.fitOffset > b.fitOffset;
                     });
}

void lf_requestParkedTraffic(bool showMessage)
{
    lf_disableParkingControls();
    const auto position = lf_parkAirportPosition();
    if (!position) return;
    g_parkedRequest = g_parkedTrafficSource.request(*position);
    g_parkedRequestTick = g_fastTicks;
    if (showMessage) gf_setMessage("Requesting the parked traffic ...", true);
}

void lf_startParkRefresh()
{
    if (gf_hasParkStands()) lf_requestParkedTraffic(false);
}

uint64_t lf_openParkedRequest() { return g_parkedRequest; }

void lf_removeStatic(const StaticAc& aircraft)
{
    g_staticRemovals.push_back({aircraft.callsign, aircraft.standId, aircraft.hexId});
}

void lf_takeParkedReply()
{
    g_rtParkedRecords.clear();
    g_rtParkedAvailable = false;
    lf_settleParkedTraffic(false);
}

void lf_planInitialParking()
{
    // Loaded at once (on the ground at the loop's start): nothing was asked for yet.
    if (g_parkedRequest == 0) lf_requestParkedTraffic(false);
    g_initialPlanWaiting = true;
    lf_continueParking();
}

void lf_continueParking()
{
    if (!g_initialPlanWaiting || !lf_settleParkedTraffic(true)) return;
    g_initialPlanWaiting = false;
    lf_planNow();
}

void lf_clearParkedTrafficState()
{
    g_staticCandidates.clear();
    g_staticRemovals.clear();
    g_keptStatics.clear();
    g_liveParkedList.clear();
    g_rtParkedRecords.clear();
    g_rtParkedAvailable = false;
    g_parkedRequest = 0;
    g_parkedRequestTick = 0;
    g_initialPlanWaiting = false;
    lf_resetStandSearch();
    lf_forgetUserPosition();
}

void lf_placeRtParkedAircraft()
{
    const bool rtOnly = RT_PARKTRAFFIC_ONLY.current;
    const int64_t wanted = lf_calcWantedStatics();
    if (wanted == 0 && !rtOnly) return;
    const DaySlot now = lf_daySlotNow();
    for (const ParkedAircraftRecord& record : g_rtParkedRecords) {
        if (!rtOnly && static_cast<int64_t>(g_staticCandidates.size()) >= wanted) break;
        if (lf_skipRecord(record)) continue;
        lf_placeRecord(record, now);
    }
}

bool lf_hasLearnedStay(DaySlot now, uint32_t standId, const StaticAc& aircraft)
{
    const ParkStand* stand = standId >= 1 ? lf_standById(standId) : nullptr;
    if (!stand) return false;
    const int32_t window = std::min(std::max(g_realFitOffset, g_softFitOffset), 47);
    const int32_t previous = now.day == 1 ? 7 : now.day - 1;
    for (const LearnedFlight& flight : stand->learnedFlights) {
        if (flight.registration != aircraft.registration ||
            !lf_sameIds(flight.codes, aircraft.key)) {
            continue;
        }
        const auto day = static_cast<int32_t>(flight.day);
        if (day == now.day) {
            for (int32_t s = now.slot; s >= std::max(now.slot - window, 0); --s) {
                if (flight.slots.test(static_cast<std::size_t>(s))) return true;
            }
        } else if (day == previous && now.slot - window < 0) {
            for (int32_t s = 47; s >= 47 - window; --s) {
                if (flight.slots.test(static_cast<std::size_t>(s))) return true;
            }
        }
    }
    return false;
}

}  // namespace qel
