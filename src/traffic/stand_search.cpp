// Stand search by day and half-hour fit: for every free stand of the park airport one learned
// flight that stood there at this time of the week, going back half hour by half hour until
// enough stands are planned. The planned candidates are made into aircraft by static_creation.
//
// Threads: main-loop thread.
#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "traffic/fleet.h"
#include "traffic/stands.h"
#include "traffic/parked_plan.h"
#include "traffic/traffic.h"
#include "traffic/traffic_run.h"

namespace qel {

int32_t& g_realFitOffset = g_trafficRun.realFitOffset;
int32_t& g_softFitOffset = g_trafficRun.softFitOffset;

namespace {

constexpr int32_t kSlotsPerDay = 48;
constexpr std::array<std::string_view, 7> kDayNames{"Mon", "Tue", "Wed", "Thu",
                                                    "Fri", "Sat", "Sun"};

struct Pass {
    bool real = true;
    bool thisDay = true;
};

std::string_view lf_passName(Pass pass)
{
    if (pass.thisDay) return pass.real ? "real" : "soft";
    return pass.real ? "week/real" : "week/soft";
}

SearchIndex& g_index = g_trafficRun.searchIndex;

// Learned flights found already shown, not offered again until the next re-plan: stand number
// in the high half, the flight's place in the stand's list in the low half. Kept here rather
// than by zeroing the flight's number, which would leave it out of the learned file.
std::unordered_set<uint64_t>& g_withdrawn = g_trafficRun.withdrawn;

uint64_t lf_flightKey(const ParkStand& stand, std::size_t index)
{
    return uint64_t{stand.number} << 32 | static_cast<uint64_t>(index);
}

void lf_buildIndex()
{
    const std::size_t size = g_parkStands.empty() ? 1 : g_parkStands.back().number + 1;
    g_index.activeSpan_nm.assign(size, -1.0);
    g_index.learnedStatics.assign(size, {});
    g_index.neighbours.assign(size, {});
    std::unordered_set<uint32_t> leaving;
    for (const StaticRemoval& removal : g_staticRemovals) leaving.insert(removal.hexId);
    for (const StaticAc& statik : g_staticAcs) {
        if (statik.standId == 0 || statik.standId >= size) continue;
        if (statik.state == SimObjectState::active && !leaving.contains(statik.hexId)) {
            double& span = g_index.activeSpan_nm[statik.standId];
            span = std::max(span, statik.size_nm);
        }
        if (statik.placedBy == 1) g_index.learnedStatics[statik.standId].push_back(&statik);
    }
    g_index.slots.assign(size, {});
    for (const ParkStand& stand : g_parkStands) {
        auto& sets = g_index.slots[stand.number];
        for (const LearnedFlight& flight : stand.learnedFlights) {
            const std::size_t base = flight.real != 0 ? 8 : 0;
            sets[base] |= flight.slots;
            if (flight.day >= 1 && flight.day <= 7) sets[base + flight.day] |= flight.slots;
        }
        auto& list = g_index.neighbours[stand.number];
        for (const uint32_t id : stand.overlaps) {
            const ParkStand* other = lf_standById(id);
            if (!other) continue;
            list.push_back({id, gf_distanceNm({stand.latitude, stand.longitude},
                                              {other->latitude, other->longitude})});
        }
    }
}

bool lf_sameIds(const MatchKey& a, const MatchKey& b)
{
    return a.airline == b.airline && a.operatorId == b.operatorId && a.model == b.model;
}

bool lf_matchLearnedFlight(const LearnedFlight& flight, std::size_t index, Pass pass,
                           DaySlot target, const ParkStand& stand)
{
    // The cheap tests first: this runs for every flight, offset and pass.
    if (flight.number == 0) return false;
    if (pass.thisDay && static_cast<int32_t>(flight.day) != target.day) return false;
    if ((flight.real != 0) != pass.real) return false;
    if (target.slot < 0 || target.slot >= kSlotsPerDay) {
        throw std::out_of_range("half-hour slot out of range");
    }
    if (!flight.slots.test(static_cast<std::size_t>(target.slot))) return false;
    if (!g_withdrawn.empty() && g_withdrawn.contains(lf_flightKey(stand, index))) return false;
    if (stand.helipad && !HELICOPTERS.current) return false;
    if (lf_standUse(stand).blocked) return false;
    const double span = gf_wingspan(flight.codes.model);
    for (const auto& neighbour : g_index.neighbours[stand.number]) {
        const double other = g_index.activeSpan_nm[neighbour.standId];
        if (other >= 0.0 && other + span > neighbour.distance_nm) return false;
    }
    return true;
}

bool lf_showsFlight(const std::string& text, const LearnedFlight& flight)
{
    // An empty text names no flight: two aircraft without registration are not one.
    if (text.empty()) return false;
    return text == flight.callsign || text == flight.callsign2;
}

bool lf_sameRegistration(const std::string& a, const std::string& b)
{
    return !a.empty() && a == b;
}

bool lf_inCandidates(const std::vector<ParkCandidate>& list, const LearnedFlight& flight)
{
    return std::any_of(list.begin(), list.end(), [&](const ParkCandidate& c) {
        return lf_showsFlight(c.text, flight) ||
               lf_sameRegistration(c.registration, flight.registration);
    });
}

// `text` followed by `mark`, without building the longer text.
bool lf_isMarked(const std::string& candidate, const std::string& text, char mark)
{
    return !text.empty() && candidate.size() == text.size() + 1 && candidate.back() == mark &&
           candidate.compare(0, text.size(), text) == 0;
}

bool lf_isCallsignSeen(const std::string& callsign)
{
    if (callsign.empty() || g_rtCallsigns.empty()) return false;
    return g_rtCallsigns.contains(callsign) || g_rtCallsigns.contains(callsign + "_");
}

bool lf_isFlightPresent(const LearnedFlight& flight, const std::vector<ParkCandidate>& local)
{
    if (lf_isCallsignSeen(flight.callsign) || lf_isCallsignSeen(flight.callsign2)) return true;
    // The sweep's own list too: one aircraft learned on two stands is planned on one only.
    if (lf_inCandidates(g_staticCandidates, flight) || lf_inCandidates(local, flight)) {
        return true;
    }
    for (const StaticAc& statik : g_staticAcs) {
        if (lf_showsFlight(statik.secondCallsign, flight) ||
            lf_sameRegistration(statik.registration, flight.registration)) {
            return true;
        }
        if (statik.placedBy != 0 || statik.state != SimObjectState::active) continue;
        if (lf_isMarked(statik.callsign, flight.callsign, '*') ||
            lf_isMarked(statik.callsign, flight.callsign2, '*')) {
            return true;
        }
    }
    return std::any_of(g_liveParkedList.begin(), g_liveParkedList.end(),
                       [&](const LiveParked& p) { return lf_showsFlight(p.callsign, flight); });
}

std::size_t lf_chooseLearnedFlight(const std::vector<std::size_t>& ids, const ParkStand& stand)
{
    for (const StaticAc* statik : g_index.learnedStatics[stand.number]) {
        for (const std::size_t id : ids) {
            const LearnedFlight& flight = stand.learnedFlights[id];
            if (!lf_sameIds(statik->key, flight.codes)) continue;
            if (lf_isMarked(statik->callsign, flight.callsign, '*') ||
                lf_isMarked(statik->callsign, flight.callsign2, '*')) {
                return id;
            }
        }
    }
    return ids[gf_randomBelow(static_cast<uint32_t>(ids.size()))];
}

bool lf_computeStays(const LearnedFlight& flight, DaySlot target, const ParkStand& stand)
{
    if (flight.callsign2.empty()) return true;
    if (target.slot + 1 < kSlotsPerDay) {
        return flight.slots.test(static_cast<std::size_t>(target.slot) + 1);
    }
    const int32_t nextDay = target.day == 7 ? 1 : target.day + 1;
    for (std::size_t i = 0; i < stand.learnedFlights.size(); ++i) {
        const LearnedFlight& other = stand.learnedFlights[i];
        if (other.number == 0 || g_withdrawn.contains(lf_flightKey(stand, i))) continue;
        if (static_cast<int32_t>(other.day) == nextDay && lf_sameIds(other.codes, flight.codes) &&
            other.slots.test(0)) {
            return true;
        }
    }
    return false;
}

ParkCandidate lf_candidateOf(const LearnedFlight& flight, const ParkStand& stand, int32_t offset,
                             bool stays)
{
    ParkCandidate c;
    c.text = flight.callsign;
    c.cargo = (flight.codes.cargo != 0 || stand.cargo) ? 1 : 0;
    c.partnerHexId = 0;
    c.placedBy = 1;
    c.standId = stand.number;
    c.fitOffset = offset;
    c.key = flight.codes;
    c.secondCallsign = flight.callsign2;
    c.registration = flight.registration;
    c.stays = stays ? 1 : 0;
    return c;
}

void lf_searchStand(ParkStand& stand, Pass pass, DaySlot target, int32_t offset,
                    std::vector<ParkCandidate>& list, std::vector<std::size_t>& ids)
{
    const std::size_t set =
        (pass.real ? 8U : 0U) + (pass.thisDay && target.day >= 1 && target.day <= 7
                                     ? static_cast<std::size_t>(target.day)
                                     : 0U);
    if (target.slot >= 0 && target.slot < kSlotsPerDay &&
        !g_index.slots[stand.number][set].test(static_cast<std::size_t>(target.slot))) {
        return;
    }
    ids.clear();
    for (std::size_t i = 0; i < stand.learnedFlights.size(); ++i) {
        if (lf_matchLearnedFlight(stand.learnedFlights[i], i, pass, target, stand)) {
            ids.push_back(i);
        }
    }
    if (ids.empty()) return;
    const std::size_t chosen = ids.size() == 1 ? ids.front() : lf_chooseLearnedFlight(ids, stand);
    const LearnedFlight& flight = stand.learnedFlights[chosen];
    if (lf_isFlightPresent(flight, list)) {
        g_withdrawn.insert(lf_flightKey(stand, chosen));
        return;
    }
    list.push_back(lf_candidateOf(flight, stand, offset, lf_computeStays(flight, target, stand)));
    lf_markStandTaken(stand);
}

void lf_searchStands(DaySlot now, Pass pass, int32_t offset, std::vector<ParkCandidate>& list)
{
    const DaySlot target = lf_moveBack(now, offset);
    std::vector<std::size_t> ids;
    ids.reserve(256);
    try {
        for (ParkStand& stand : g_parkStands) {
            const StandUse& use = lf_standUse(stand);
            if (use.reserved || use.taken) continue;
            lf_searchStand(stand, pass, target, offset, list, ids);
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands",
                                      fmt::format("[{},{}]", target.day, target.slot), offset,
                                      e.what()));
    }
}

int64_t lf_takenStands()
{
    return std::count_if(g_parkStands.begin(), g_parkStands.end(),
                         [](const ParkStand& s) { return lf_standUse(s).taken; });
}

void lf_logPass(Pass pass, int64_t added, DaySlot now, int32_t offset)
{
    const auto count = static_cast<int32_t>(std::min<int64_t>(added, INT32_MAX));
    gf_log(fmt::format("{} {} position{} found, Max fit={:.1F} hours{}{}", added, lf_passName(pass),
                       gf_pluralS(count), MAX_FIT_FL.current.load(),
                       fmt::format(", day {}", now.day),
                       fmt::format(", hh:{} or {:.1F} hrs, fit: {:.1F} hour", now.slot,
                                   gf_halfHours2Hours(now.slot), gf_halfHours2Hours(offset))));
    g_trafficWindowStatus.softApplied = !pass.real;
    g_trafficWindowStatus.weekApplied = !pass.thisDay;
    gf_invalidateArea(WindowArea::Statistics);
}

bool lf_searchDayRange(DaySlot now, Pass pass, int64_t wanted, std::vector<ParkCandidate>& list)
{
    if (wanted == 0) return true;
    const int64_t before = lf_takenStands();
    const int32_t maxFit = std::clamp<int32_t>(MAX_FIT.current, 0, kSlotsPerDay - 1);
    bool result = false;
    int32_t offset = 0;
    int64_t taken = before;
    for (;; ++offset) {
        lf_searchStands(now, pass, offset, list);
        taken = lf_takenStands();
        if (taken >= wanted) {
            result = true;
            break;
        }
        g_staticCandidates.insert(g_staticCandidates.end(), list.begin(), list.end());
        list.clear();
        if (offset >= maxFit) break;
    }
    if (pass.real) g_realFitOffset = offset;
    g_softFitOffset = pass.real ? -1 : offset;
    if (taken > before) lf_logPass(pass, taken - before, now, offset);
    return result;
}

void lf_dropRandomCandidates(int64_t count, std::vector<ParkCandidate>& list)
{
    std::shuffle(list.begin(), list.end(), g_rng);
    const auto keep =
        static_cast<std::size_t>(std::max<int64_t>(static_cast<int64_t>(list.size()) - count, 0));
    list.resize(keep);
}

void lf_searchPass(DaySlot now, int64_t wanted, int64_t base, Pass pass)
{
    std::vector<ParkCandidate> local;
    local.reserve(512);
    if (!lf_searchDayRange(now, pass, wanted, local)) return;
    const int64_t need = wanted - base;
    const int64_t surplus = static_cast<int64_t>(g_staticCandidates.size() + local.size()) - need;
    if (surplus > 0 && !local.empty()) lf_dropRandomCandidates(surplus, local);
    g_staticCandidates.insert(g_staticCandidates.end(), local.begin(), local.end());
    if (static_cast<int64_t>(g_staticCandidates.size()) > need) {
        g_staticCandidates.resize(static_cast<std::size_t>(std::max<int64_t>(need, 0)));
    }
}

}  // namespace

DaySlot lf_daySlotNow()
{
    const int64_t packed = g_dayAndSlot;
    return {gf_weekdayOfDayAndSlot(packed), gf_slotOfDayAndSlot(packed)};
}

DaySlot lf_moveBack(DaySlot at, int32_t offset)
{
    if (at.day < 1 || at.day > 7) return {at.day, ((at.slot - offset) % 48 + 48) % 48};
    // Within the week, so that an offset of more than a day (a static kept since the day
    // before) moves back as far as it says.
    const int32_t week = (((at.day - 1) * kSlotsPerDay + at.slot - offset) % 336 + 336) % 336;
    return {week / kSlotsPerDay + 1, week % kSlotsPerDay};
}

int32_t lf_slotsBetween(DaySlot earlier, DaySlot later)
{
    return (later.day - earlier.day) * kSlotsPerDay + (later.slot - earlier.slot);
}

int32_t lf_slotsAgo(DaySlot at, DaySlot now)
{
    return (lf_slotsBetween(at, now) % 336 + 336) % 336;
}

DaySlot lf_logDayAndTime()
{
    const DaySlot now = lf_daySlotNow();
    const std::string_view name =
        now.day >= 1 && now.day <= 7 ? kDayNames[static_cast<std::size_t>(now.day - 1)] : "???";
    gf_log(fmt::format("\n{} (utc) It is day {} ({}), {:.1F} hours", gf_trafficTimeTag(), now.day,
                       name, gf_halfHours2Hours(now.slot)));
    return now;
}

void lf_markStandTaken(ParkStand& stand)
{
    lf_standUse(stand).taken = true;
    for (const uint32_t id : stand.overlaps) {
        if (ParkStand* neighbour = lf_standById(id)) lf_standUse(*neighbour).blocked = true;
    }
}

void lf_clearStandMarks(bool renumber)
{
    for (const ParkStand& stand : g_parkStands) {
        StandUse& use = lf_standUse(stand);
        use.reserved = false;
        use.blocked = false;
        use.taken = false;
    }
    if (renumber) g_withdrawn.clear();
}

void lf_resetStandSearch()
{
    g_withdrawn.clear();
    // The index points into the statics list, which the caller is about to empty or refill.
    g_index = SearchIndex{};
    g_realFitOffset = 0;
    g_softFitOffset = -1;
}

void lf_markUserStands()
{
    if (!g_reservedStandName.empty()) {
        if (ParkStand* stand = lf_standById(lf_standIdByName(g_reservedStandName))) {
            lf_standUse(*stand).reserved = true;
        }
    }
    const std::string user = gf_closestStandName(g_userState.latitude, g_userState.longitude);
    if (!user.empty() && user != g_reservedStandName) {
        if (ParkStand* stand = lf_standById(lf_standIdByName(user))) {
            lf_standUse(*stand).reserved = true;
        }
    }
}

void lf_fillCandidates(DaySlot now, int64_t wanted, int64_t base)
{
    g_realFitOffset = 0;
    g_softFitOffset = -1;
    lf_buildIndex();
    const auto short_ = [&] {
        return static_cast<int64_t>(g_staticCandidates.size()) < wanted - base;
    };
    const bool week = WEEK.current;
    const bool soft = PARK_SOFT.current;
    if (short_()) lf_searchPass(now, wanted, base, {true, true});
    if (week && short_()) lf_searchPass(now, wanted, base, {true, false});
    if (soft && short_()) lf_searchPass(now, wanted, base, {false, true});
    if (soft && week && short_()) lf_searchPass(now, wanted, base, {false, false});
}

uint64_t lf_countStaticParked(bool withAverage)
{
    uint64_t count = 0;
    int64_t sum = 0;
    const DaySlot now = lf_daySlotNow();
    for (const StaticAc& statik : g_staticAcs) {
        if (statik.state != SimObjectState::active &&
            statik.state != SimObjectState::removingfromsim) {
            continue;
        }
        ++count;
        const DaySlot parked{static_cast<int32_t>(statik.parkedWeekday),
                             static_cast<int32_t>(statik.parkedSlot)};
        if (const int32_t since = lf_slotsBetween(parked, now); since >= 0) sum += since;
    }
    if (withAverage && !g_trafficWindowStatus.weekApplied) {
        const float average =
            count == 0 ? 0.0F
                       : static_cast<float>(
                             static_cast<double>(sum) / (2.0 * static_cast<double>(count)) + 0.5);
        if (g_trafficWindowStatus.staticAverageFit.exchange(average) != average) {
            gf_invalidateArea(WindowArea::Statistics);
        }
    }
    return count;
}

}  // namespace qel
