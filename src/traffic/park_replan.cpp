// The re-plan of the parked traffic at every refresh: against the new half-hour slot and
// RealTraffic's parked aircraft, which static aircraft stay, which go and which come, within the
// wanted count.
//
// Threads: main-loop thread.
#include <algorithm>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/window_status.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/stands.h"
#include "traffic/parked_plan.h"
#include "traffic/traffic.h"

namespace qel {

namespace {

constexpr int32_t kSlotsPerWeek = 336;

DaySlot lf_parkedOf(const StaticAc& statik)
{
    return {static_cast<int32_t>(statik.parkedWeekday), static_cast<int32_t>(statik.parkedSlot)};
}

bool lf_sameIds(const MatchKey& a, const MatchKey& b)
{
    return a.airline == b.airline && a.operatorId == b.operatorId && a.model == b.model;
}

bool lf_isActiveLearned(const StaticAc& s)
{
    return s.placedBy == 1 && s.state == SimObjectState::active;
}

KeptStatic lf_keptOf(const StaticAc& s)
{
    return {s.callsign,     s.secondCallsign, s.thirdText, s.registration, s.key,
            lf_parkedOf(s), s.standId,        s.hexId,     false};
}

// The candidate's slot is not later than the aircraft's: it already shows as good a fit.
bool lf_notLater(const ParkCandidate& c, const StaticAc& s, DaySlot now)
{
    return lf_slotsAgo(lf_moveBack(now, c.fitOffset), now) >= lf_slotsAgo(lf_parkedOf(s), now);
}

bool lf_carries(const ParkCandidate& c, const StaticAc& s)
{
    return lf_sameIds(c.key, s.key) &&
           ((!c.text.empty() && c.text + "*" == s.callsign) ||
            (!c.secondCallsign.empty() && c.secondCallsign + "*" == s.callsign));
}

void lf_markStandOf(uint32_t standId)
{
    if (ParkStand* stand = standId >= 1 ? lf_standById(standId) : nullptr) {
        lf_markStandTaken(*stand);
    }
}

void lf_matchLearnedStaticsToCandidates(bool rtOnlyChanged, DaySlot now)
{
    if (rtOnlyChanged) return;
    for (const StaticAc& s : g_staticAcs) {
        if (!lf_isActiveLearned(s)) continue;
        const auto c = std::find_if(g_staticCandidates.begin(), g_staticCandidates.end(),
                                    [&](const ParkCandidate& p) {
                                        return p.standId == s.standId || p.text + "*" == s.callsign;
                                    });
        if (c == g_staticCandidates.end()) continue;
        if (lf_notLater(*c, s, now) || lf_carries(*c, s)) {
            g_staticCandidates.erase(c);
        } else {
            lf_removeStatic(s);
        }
    }
}

bool lf_removalListed(const StaticAc& s)
{
    return std::any_of(g_staticRemovals.begin(), g_staticRemovals.end(),
                       [&](const StaticRemoval& r) { return r.hexId == s.hexId; });
}

void lf_keepOrReplace(std::vector<ParkCandidate>::iterator c, const StaticAc& s, DaySlot now)
{
    if (lf_notLater(*c, s, now)) {
        g_keptStatics.push_back(lf_keptOf(s));
        g_staticCandidates.erase(c);
    } else {
        lf_removeStatic(s);
    }
}

std::vector<ParkCandidate>::iterator lf_conflictingNeighbour(const StaticAc& s)
{
    const ParkStand* stand = s.standId >= 1 ? lf_standById(s.standId) : nullptr;
    if (!stand) return g_staticCandidates.end();
    return std::find_if(
        g_staticCandidates.begin(), g_staticCandidates.end(), [&](const ParkCandidate& c) {
            if (std::find(stand->overlaps.begin(), stand->overlaps.end(), c.standId) ==
                stand->overlaps.end()) {
                return false;
            }
            const ParkStand* other = lf_standById(c.standId);
            return other && gf_distanceNm({stand->latitude, stand->longitude},
                                          {other->latitude, other->longitude}) <
                                s.size_nm + gf_wingspan(c.key.model);
        });
}

void lf_reviewOne(const StaticAc& s, DaySlot now)
{
    if ((!s.secondCallsign.empty() && g_rtCallsigns.contains(s.secondCallsign)) ||
        (!s.thirdText.empty() && g_rtCallsigns.contains(s.thirdText))) {
        lf_removeStatic(s);  // RealTraffic shows that flight now
        return;
    }
    const auto own = std::find_if(g_staticCandidates.begin(), g_staticCandidates.end(),
                                  [&](const ParkCandidate& c) { return c.standId == s.standId; });
    if (own == g_staticCandidates.end()) {
        if (const auto c = lf_conflictingNeighbour(s); c != g_staticCandidates.end()) {
            lf_keepOrReplace(c, s, now);
        } else if (lf_hasLearnedStay(now, s.standId, s)) {
            g_keptStatics.push_back(lf_keptOf(s));
        } else {
            lf_removeStatic(s);
        }
        return;
    }
    if (lf_carries(*own, s)) {
        g_keptStatics.push_back(lf_keptOf(s));
        g_staticCandidates.erase(own);
        return;
    }
    lf_keepOrReplace(own, s, now);
}

// Whether the learned flight this kept static shows stands on into the next half hour.
bool lf_continues(const KeptStatic& k, const ParkStand& stand, DaySlot now)
{
    std::string callsign = k.callsign;
    if (callsign.ends_with('*')) callsign.pop_back();
    const int32_t nextDay = now.day == 7 ? 1 : now.day + 1;
    for (const LearnedFlight& f : stand.learnedFlights) {
        if (f.number < 1 || static_cast<int32_t>(f.day) != now.day || f.callsign != callsign ||
            !lf_sameIds(f.codes, k.key)) {
            continue;
        }
        if (now.slot < 47) return f.slots.test(static_cast<std::size_t>(now.slot) + 1);
        return std::any_of(stand.learnedFlights.begin(), stand.learnedFlights.end(),
                           [&](const LearnedFlight& g) {
                               return static_cast<int32_t>(g.day) == nextDay &&
                                      lf_sameIds(g.codes, k.key) && g.slots.test(0);
                           });
    }
    return true;  // no such learned flight: nothing says it leaves
}

void lf_reviewLearnedStatics(DaySlot now)
{
    for (const StaticAc& s : g_staticAcs) {
        if (lf_isActiveLearned(s) && !lf_removalListed(s)) lf_reviewOne(s, now);
    }
    std::stable_sort(g_keptStatics.begin(), g_keptStatics.end(),
                     [now](const KeptStatic& a, const KeptStatic& b) {
                         return lf_slotsAgo(a.parked, now) < lf_slotsAgo(b.parked, now);
                     });
    for (KeptStatic& k : g_keptStatics) {
        const ParkStand* stand = k.standId >= 1 ? lf_standById(k.standId) : nullptr;
        k.recreate = !k.thirdText.empty() && !k.secondCallsign.empty() &&
                     k.callsign.find(k.secondCallsign) != std::string::npos && stand &&
                     !lf_continues(k, *stand, now);
    }
}

void lf_recreateKept(DaySlot now)
{
    for (const KeptStatic& k : g_keptStatics) {
        if (!k.recreate) continue;
        ParkCandidate c;
        c.text = k.secondCallsign;
        c.placedBy = 1;
        c.standId = k.standId;
        // Keeps the aircraft's parked time: it stood there all along, only its callsign turns.
        const int32_t since = lf_slotsBetween(k.parked, now);
        c.fitOffset = since < 0 ? since + kSlotsPerWeek : since;
        c.key = k.key;
        c.secondCallsign = k.thirdText;
        c.registration = k.registration;
        c.stays = 0;
        g_staticCandidates.push_back(std::move(c));
        g_staticRemovals.push_back({k.callsign, k.standId, k.hexId});
    }
    std::erase_if(g_keptStatics, [](const KeptStatic& k) { return k.recreate; });
}

void lf_trimExcess(int64_t wanted)
{
    int64_t excess = static_cast<int64_t>(g_keptStatics.size() + g_liveParkedList.size() +
                                          g_staticCandidates.size()) -
                     wanted;
    for (; excess > 0; --excess) {
        if (!g_staticCandidates.empty()) {
            g_staticCandidates.pop_back();
        } else if (!g_keptStatics.empty()) {
            const KeptStatic& k = g_keptStatics.back();
            g_staticRemovals.push_back({k.callsign, k.standId, k.hexId});
            g_keptStatics.pop_back();
        } else if (!g_liveParkedList.empty()) {
            const LiveParked& p = g_liveParkedList.back();
            for (LiveAc& live : g_liveAcs) {
                if (live.callsign == p.callsign && live.standId == p.standId &&
                    live.phase == FlightPhase::parked) {
                    lf_removeLiveFor(live, "more aircraft are parked than wanted");
                    break;
                }
            }
            g_liveParkedList.pop_back();
        }
    }
}

void lf_applyStaticRemovals()
{
    for (const StaticRemoval& removal : g_staticRemovals) {
        // By hex id: the aircraft meant, queued once, never a second static on the stand.
        if (StaticAc* s = lf_findStatic(removal.hexId)) removeAircraftFromSim(*s);
    }
    g_staticRemovals.clear();
}

void lf_limitLiveParked(int64_t wanted)
{
    lf_collectLiveParked();
    const int64_t surplus = static_cast<int64_t>(g_liveParkedList.size()) - wanted;
    if (RT_PARKTRAFFIC_ONLY.current || wanted <= 0 || surplus <= 0) return;
    gf_setMessage(fmt::format("Parking adjustments: {} more live ac than wanted", surplus), true);
    lf_removeLiveParkedBeyond(surplus);
    lf_collectLiveParked();
}

void lf_startReplan(DaySlot& now)
{
    now = lf_logDayAndTime();
    lf_takeParkedReply();
    lf_takeOverRtIds();
    g_trafficWindowStatus.softApplied = false;
    g_trafficWindowStatus.weekApplied = false;
    gf_invalidateArea(WindowArea::Statistics);
    g_staticRemovals.clear();
    g_keptStatics.clear();
    g_liveParkedList.clear();
    g_staticCandidates.clear();
    lf_clearStandMarks(true);
    lf_markUserStands();
}

}  // namespace

void lf_updateParkTraffic(bool parkTrafficOnlyChanged)
{
    DaySlot now;
    lf_startReplan(now);
    if (parkTrafficOnlyChanged) {
        for (const StaticAc& s : g_staticAcs) {
            if (lf_isActiveLearned(s)) lf_removeStatic(s);
        }
    }
    const int64_t wanted = lf_calcWantedStatics();
    lf_limitLiveParked(wanted);
    for (const LiveParked& p : g_liveParkedList) lf_markStandOf(p.standId);
    if (g_rtParkedAvailable) lf_refreshRtStatics();
    if (RT_PARKTRAFFIC_ONLY.current) {
        gf_setMessage(fmt::format("ParkTraffic changes: {} to be removed, {} to be added",
                                  g_staticRemovals.size(), g_staticCandidates.size()),
                      true);
    } else {
        lf_matchLearnedStaticsToCandidates(parkTrafficOnlyChanged, now);
        const auto base = static_cast<int64_t>(g_keptStatics.size() + g_liveParkedList.size());
        for (const KeptStatic& k : g_keptStatics) lf_markStandOf(k.standId);
        if (wanted - static_cast<int64_t>(g_staticCandidates.size()) != base) {
            lf_fillCandidates(now, wanted, base);
        }
        lf_reviewLearnedStatics(now);
        lf_recreateKept(now);
        lf_trimExcess(wanted);
    }
    lf_sortBestFitsLast();
    if (!RT_PARKTRAFFIC_ONLY.current) {
        gf_setMessage(fmt::format("Parking adjustments: {} to be removed, {} to be added\n",
                                  g_staticRemovals.size(), g_staticCandidates.size()),
                      true);
    }
    lf_applyStaticRemovals();
}

}  // namespace qel
