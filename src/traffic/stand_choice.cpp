// Stand choice and parking of live aircraft: the free stand that fits a taxiing aircraft, who
// makes way for it, and what the stand learns about the flights that use it. Also the stand
// table as the traffic manager reads it, and the stand names other threads may look up.
//
// Threads: main-loop thread, except gf_closestStandName (any thread; it reads only the
// published snapshot of stand names).
#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/time.h"
#include "scenery/stand_snapshot.h"
#include "traffic/motion_math.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/motion.h"
#include "traffic/stands.h"
#include "traffic/traffic_run.h"

namespace qel {

namespace {

constexpr double kTooSmallSlack_nm = 0.0009719222462203025;  // 1.8 m
constexpr double kTooSmallReach_nm = 0.010799136069114472;   // 20 m
constexpr double kFallbackReach_nm = 0.0458963282937365;     // 85 m
constexpr double kRelearnMargin_nm = 0.0005399568034557236;  // 1 m
constexpr double kClosestStand_nm = 0.029697624190064796;    // 55 m
constexpr double kTowedSearch_nm = 0.029697624190064796;     // 55 m
constexpr double kTaxiSearch_nm = 0.010799136069114472;      // 20 m
constexpr double kNoBest_nm = 900.0;

std::string lf_withoutGhostMark(std::string text)
{
    if (!text.empty() && text.back() == '_') text.pop_back();
    return text;
}

// The aircraft that holds the stand, when it is another live aircraft that still has it; a
// stale id (its record gone or moved on) holds nothing.
LiveAc* lf_otherHolder(const ParkStand& stand, uint32_t hexId)
{
    const uint32_t occupant = lf_standUse(stand).occupantHexId;
    if (occupant == 0 || occupant == hexId) return nullptr;
    LiveAc* holder = lf_findLive(occupant);
    if (!holder || holder->standId != stand.number ||
        holder->state == SimObjectState::removingfromsim || holder->drop) {
        return nullptr;
    }
    return holder;
}

bool lf_optionKnowsAircraft(const LearnedFlight& option, const LiveAc& aircraft)
{
    if (option.number == 0 || option.real == 0) return false;
    if (!aircraft.callsign.empty() &&
        (option.callsign == aircraft.callsign || option.callsign2 == aircraft.callsign)) {
        return true;
    }
    return option.codes.airline == aircraft.key.airline &&
           option.codes.operatorId == aircraft.key.operatorId &&
           option.codes.model == aircraft.key.model;
}

// The stand learns that the aircraft is bigger than its radius said.
void lf_relearnRadius(ParkStand& stand, const LiveAc& aircraft)
{
    stand.radius = aircraft.size_nm - kRelearnMargin_nm;
    stand.radiusChanged = true;
    lf_countLearnedUpdate();
}

bool lf_conflicts(uint32_t neighbourId, double sizeA_nm, double sizeB_nm, const ParkStand& stand)
{
    if (neighbourId < 1) return false;
    const ParkStand* neighbour = lf_standById(neighbourId);
    if (!neighbour || (neighbour->latitude == 0.0 && neighbour->longitude == 0.0)) return false;
    return (sizeA_nm + sizeB_nm) * 1.1 >= gf_distanceNm({neighbour->latitude, neighbour->longitude},
                                                        {stand.latitude, stand.longitude});
}

LiveAc* lf_firstLiveOnStand(uint32_t standId)
{
    for (LiveAc& other : g_liveAcs) {
        // One on its way out has gone: the aircraft standing there now may come after it.
        if (other.standId == standId && other.state != SimObjectState::removingfromsim &&
            !other.drop && !other.dropWhileQueued) {
            return &other;
        }
    }
    return nullptr;
}

bool lf_parkedOrLeaving(const LiveAc& a)
{
    return (a.phase == FlightPhase::parked || a.phase == FlightPhase::pushing_back) &&
           a.state == SimObjectState::active;
}

void lf_clearAdjacentStand(uint32_t neighbourId, const LiveAc& aircraft, const ParkStand& stand)
{
    LiveAc* other = lf_firstLiveOnStand(neighbourId);
    if (!other || other == &aircraft || !lf_parkedOrLeaving(*other) ||
        !lf_conflicts(neighbourId, aircraft.size_nm, other->size_nm, stand)) {
        return;
    }
    gf_log(
        fmt::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                    gf_standNameById(neighbourId), other->callsign, aircraft.callsign, stand.id));
    removeAircraftFromSim(*other);
}

void lf_clearExcludedStand(const LiveAc& aircraft, uint32_t neighbourId, const ParkStand& stand)
{
    for (StaticAc& statik : g_staticAcs) {
        if (statik.standId != neighbourId || statik.state != SimObjectState::active) continue;
        if (!lf_conflicts(neighbourId, aircraft.size_nm, statik.size_nm, stand)) continue;
        gf_log(fmt::format("{:8}: {:8} makes way for {} parking at excluded stand {}",
                           gf_standNameById(neighbourId), statik.callsign, aircraft.callsign,
                           stand.id));
        removeAircraftFromSim(statik);
        return;
    }
}

ParkStand* lf_takeFreeStand(LiveAc& aircraft, bool towed)
{
    const PosSample& last = aircraft.samples.back();
    if (std::abs(last.latitude - aircraft.triedLat) < kSame_deg &&
        std::abs(lf_lonDelta(last.longitude, aircraft.triedLon)) < kSame_deg) {
        return nullptr;
    }
    aircraft.triedLat = last.latitude;
    aircraft.triedLon = last.longitude;
    const auto found =
        lf_findFreeStand(lf_at(last), aircraft, towed ? kTowedSearch_nm : kTaxiSearch_nm, towed);
    if (!found) return nullptr;
    ParkStand* stand = lf_standById(found->id);
    if (!stand) return nullptr;
    if (!g_reservedStandName.empty() && stand->id == g_reservedStandName) return nullptr;
    // The user's aircraft stands there.
    if (g_userState.onGround &&
        stand->id == gf_closestStandName(g_userState.latitude, g_userState.longitude)) {
        return nullptr;
    }
    return stand;
}

// Learning a stay: `optionId` and (d0, s0) follow the option that is extended.
struct LastStay {
    uint32_t optionId = 0;
    uint32_t day = 0;
    uint32_t slot = 0;
};

std::pair<uint32_t, uint32_t> lf_today()
{
    const int64_t now = gf_trafficTime();
    return {static_cast<uint32_t>(std::max(gf_weekdayOf(now), 0)),
            static_cast<uint32_t>(std::clamp(gf_halfHourSlotOf(now), 0, 47))};
}

bool lf_addOption(ParkStand& stand, const LiveAc& aircraft, const std::string& reg, uint32_t day,
                  uint32_t slot, bool complete)
{
    const auto [id, ok] = gf_addLearnedFlight(stand.learnedFlights, aircraft.key, day, slot,
                                              aircraft.callsign, reg, 0);
    if (ok) {
        lf_countLearnedUpdate();
        if (complete) stand.learnedFlights[id - 1].cpl = 1;
    }
    return ok;
}

int lf_highestSlot(const HalfHourSet& slots)
{
    for (int s = 47; s >= 0; --s) {
        if (slots.test(static_cast<std::size_t>(s))) return s;
    }
    return -1;
}

void lf_addRealStandOptionUnguarded(uint32_t standId, LiveAc& aircraft, int mode, uint32_t day,
                                    uint32_t slot)
{
    const std::string reg = lf_withoutGhostMark(aircraft.registration);
    if (reg.empty()) return;
    const auto prefix = gf_registrationPrefix(reg);
    if (!prefix) return;
    // Field by field: the identity is only the three ids and the cargo flag; the bytes after
    // them hold the route.
    aircraft.key.airline = prefix->airline;
    aircraft.key.operatorId = prefix->operatorId;
    aircraft.key.model = prefix->model;
    aircraft.key.cargo = prefix->cargo;
    ParkStand* stand = standId < 1 ? nullptr : lf_standById(standId);
    if (!stand) return;
    auto& options = stand->learnedFlights;
    auto matches = [&](const LearnedFlight& o, uint32_t on, uint32_t origin) {
        return o.registration == reg && o.number != 0 && o.day == on && o.real == 1 &&
               o.fromStandFile == origin;
    };
    if (std::any_of(options.begin(), options.end(), [&](const LearnedFlight& o) {
            return matches(o, day, 1) && !o.slots.test(slot);
        })) {
        return;
    }
    auto e = std::find_if(options.begin(), options.end(),
                          [&](const LearnedFlight& o) { return matches(o, day, 0); });
    const bool leaving = mode == 2 || mode == 3;
    if (e != options.end() && e->slots.test(slot)) {
        if (leaving) e->cpl = 1;
        return;
    }
    if (e != options.end() && e->cpl) {
        lf_addOption(*stand, aircraft, reg, day, slot, leaving);
        return;
    }
    if (e == options.end()) {
        // A stay across midnight began on the day before: its open option is the one it extends.
        const uint32_t yesterday = day == 1 ? 7 : day - 1;
        e = std::find_if(options.begin(), options.end(), [&](const LearnedFlight& o) {
            return matches(o, yesterday, 0) && !o.cpl;
        });
    }
    if (e == options.end()) {
        lf_addOption(*stand, aircraft, reg, day, slot, leaving);
        return;
    }
    const int s0 = lf_highestSlot(e->slots);
    if (s0 < 0) return;
    LearnedFlight& option = *e;
    LastStay stay{option.number, option.day, static_cast<uint32_t>(s0)};
    if (lf_learnParking(day, slot, *stand, stay.optionId, stay.day, stay.slot, aircraft, reg)) {
        lf_countLearnedUpdate();
    } else {
        lf_addOption(*stand, aircraft, reg, day, slot, false);
    }
    if (leaving) {
        if (LearnedFlight* kept = stay.optionId ? &options[stay.optionId - 1] : nullptr)
            kept->cpl = 1;
    }
}

}  // namespace

StandUse& lf_standUse(const ParkStand& stand)
{
    const std::less<const ParkStand*> before;
    const ParkStand* first = g_parkStands.data();
    if (before(&stand, first) || !before(&stand, first + g_parkStands.size())) {
        throw std::out_of_range(
            fmt::format("{}: stand {} is not of the table", "lf_standUse", stand.id));
    }
    // The table grows with the stand table; a load or an emptying of it forgets the uses.
    auto& uses = g_trafficRun.standUses;
    if (uses.size() < g_parkStands.size()) uses.resize(g_parkStands.size());
    return uses[static_cast<std::size_t>(&stand - first)];
}

void lf_forgetStandUses() { g_trafficRun.standUses.clear(); }

ParkStand* lf_standById(uint32_t standId)
{
    const auto found =
        std::lower_bound(g_parkStands.begin(), g_parkStands.end(), standId,
                         [](const ParkStand& s, uint32_t id) { return s.number < id; });
    if (found == g_parkStands.end() || found->number != standId) return nullptr;
    return &*found;
}

std::optional<std::string> lf_standName(uint32_t standId)
{
    const ParkStand* stand = lf_standById(standId);
    if (!stand) return std::nullopt;
    return stand->id;
}

uint32_t lf_standIdByName(const std::string& name)
{
    for (const ParkStand& stand : g_parkStands) {
        if (stand.id == name) return stand.number;
    }
    return 0;
}

void lf_releaseStand(uint32_t standId, uint32_t hexId)
{
    ParkStand* stand = standId == 0 ? nullptr : lf_standById(standId);
    // An aircraft that left a stand may still name it; the aircraft that took it since keeps it.
    if (!stand) return;
    StandUse& use = lf_standUse(*stand);
    if (use.occupantHexId != hexId) return;
    use.occupantHexId = 0;
}

void lf_takeStand(uint32_t standId, uint32_t hexId)
{
    ParkStand* stand = standId == 0 ? nullptr : lf_standById(standId);
    if (!stand) return;
    StandUse& use = lf_standUse(*stand);
    use.occupantHexId = hexId;
}

void lf_leaveStand(LiveAc& aircraft)
{
    lf_releaseStand(aircraft.standId, aircraft.hexId);
    aircraft.standLat = aircraft.standLon = 0.0;
    aircraft.standId = 0;
    aircraft.noCabinLights = 0;
}

std::optional<SpawnStand> lf_findFreeStand(LatLon position, const LiveAc& aircraft,
                                           double radius_nm, bool fallback)
{
    double best = kNoBest_nm;
    double bestFallback = kNoBest_nm;
    ParkStand* taken = nullptr;
    ParkStand* tooSmall = nullptr;
    ParkStand* candidate = nullptr;
    for (ParkStand& stand : g_parkStands) {
        if (lf_otherHolder(stand, aircraft.hexId)) continue;
        const double d = gf_distanceNm(position, {stand.latitude, stand.longitude});
        const bool small = aircraft.size_nm - stand.radius > kTooSmallSlack_nm;
        if (d <= radius_nm && d < best) {
            if (small && d > kTooSmallReach_nm) continue;
            taken = &stand;
            tooSmall = small ? &stand : tooSmall;
            best = d;
            fallback = false;
            continue;
        }
        if (!fallback || small || d > kFallbackReach_nm || d >= bestFallback) continue;
        const bool known = std::any_of(
            stand.learnedFlights.begin(), stand.learnedFlights.end(),
            [&](const LearnedFlight& o) { return lf_optionKnowsAircraft(o, aircraft); });
        if (known) {
            candidate = &stand;
            bestFallback = d;
        }
    }
    ParkStand* result = taken ? taken : candidate;
    if (!result) return std::nullopt;
    if (result->helipad != (aircraft.weightClass == WeightClass::Rotorcraft)) return std::nullopt;
    if (result == tooSmall) lf_relearnRadius(*result, aircraft);
    return SpawnStand{result->number,  result->latitude, result->longitude,
                      result->heading, result->cargo,    result->overlaps};
}

std::string gf_closestStandName(double latitude, double longitude)
{
    // Per thread, so the "SimClient" and reader threads never share the remembered answer.
    thread_local std::shared_ptr<const StandSpots> lastSpots;
    thread_local double lastLat = 1000.0;
    thread_local double lastLon = 1000.0;
    thread_local std::string lastName;
    const std::shared_ptr<const StandSpots> spots = gf_standSpots();
    // An aircraft in the air stands on no stand, however low it flies over one.
    if (spots->empty() || !gf_userOnGround()) return {};
    if (spots == lastSpots && std::abs(latitude - lastLat) < kSame_deg &&
        std::abs(lf_lonDelta(longitude, lastLon)) < kSame_deg) {
        return lastName;
    }
    double best = kClosestStand_nm;
    std::string name;
    for (const StandSpot& spot : *spots) {
        const double d = gf_distanceNm({latitude, longitude}, {spot.latitude, spot.longitude});
        if (d <= best) {
            best = d;
            name = spot.name;
        }
    }
    lastSpots = spots;
    lastLat = latitude;
    lastLon = longitude;
    lastName = name;
    return name;
}

void try2Park(LiveAc& aircraft, bool towed)
{
    if (aircraft.samples.empty()) {
        gf_logHighlighted(fmt::format("{} empty sz?", "try2Park"));
        return;
    }
    ParkStand* stand = lf_takeFreeStand(aircraft, towed);
    if (!stand) return;
    const uint32_t standId = stand->number;
    for (LiveAc& other : g_liveAcs) {
        if (&other == &aircraft || other.standId != standId || other.phase != FlightPhase::parked ||
            other.state != SimObjectState::active) {
            continue;
        }
        gf_log(fmt::format("{:8}: {:8} removed, {} wants to park there", stand->id, other.callsign,
                           aircraft.callsign));
        removeAircraftFromSim(other);
    }
    const std::vector<uint32_t> neighbours = stand->overlaps;
    for (uint32_t id : neighbours) lf_clearAdjacentStand(id, aircraft, *stand);
    lf_staticMakesWay(aircraft, standId);
    aircraft.standLat = stand->latitude;
    aircraft.standLon = stand->longitude;
    aircraft.standHeading_rad = stand->heading;
    aircraft.standId = standId;
    aircraft.noCabinLights = stand->cargo ? 1 : 0;
    lf_takeStand(standId, aircraft.hexId);
    aircraft.samples.resize(1);
    lf_setLivePhase(aircraft, FlightPhase::parking, PhaseMemory::onChange);
    drive2Stand(aircraft, stand->latitude, stand->longitude, stand->heading);
}

bool lf_adjacentStandFree(uint32_t neighbourId, const LiveAc& aircraft, uint32_t standId)
{
    const ParkStand* stand = lf_standById(standId);
    const LiveAc* other = lf_firstLiveOnStand(neighbourId);
    if (!stand || !other || !lf_parkedOrLeaving(*other) || other->callsign == aircraft.callsign) {
        return true;
    }
    return !lf_conflicts(neighbourId, aircraft.size_nm, other->size_nm, *stand);
}

void lf_staticMakesWay(const LiveAc& aircraft, uint32_t standId)
{
    const ParkStand* stand = lf_standById(standId);
    if (!stand) return;
    const std::string name = stand->id;
    for (StaticAc& statik : g_staticAcs) {
        if (statik.standId != standId) continue;
        const bool same =
            statik.secondCallsign == aircraft.callsign ||
            (!aircraft.registration.empty() && statik.registration == aircraft.registration);
        const std::string note = same ? " the same live version" : "";
        if (statik.state == SimObjectState::active) {
            gf_log(fmt::format("{:8}: {:8} {} makes way for{} {} {}", name, statik.callsign,
                               statik.registration, note, aircraft.callsign,
                               aircraft.registration));
            removeAircraftFromSim(statik);
        } else if (statik.state == SimObjectState::adding2sim) {
            if (lf_isQueuedForCreation(g_staticCreateQueue, statik.hexId)) {
                statik.dropWhileQueued = 1;
                gf_log(fmt::format("queued {:8}: {:8} {} makes way for{} {} {}", name,
                                   statik.callsign, statik.registration, note, aircraft.callsign,
                                   aircraft.registration));
            } else {
                statik.removeWhenCreated = 1;
            }
        }
        break;
    }
    lf_compactStaticAcs();
    const std::vector<uint32_t> neighbours = stand->overlaps;
    for (uint32_t id : neighbours) {
        if (const ParkStand* s = lf_standById(standId)) lf_clearExcludedStand(aircraft, id, *s);
    }
}

void lf_findLearnedStandOption(uint32_t day, uint32_t slot, LiveAc& aircraft)
{
    const int w = aircraft.weightClass == WeightClass::Heavy ? 14 : 10;
    HalfHourSet window;
    for (int s = std::max(static_cast<int>(slot) - w, 0);
         s <= std::min(static_cast<int>(slot) + w, 47); ++s) {
        window.set(static_cast<std::size_t>(s));
    }
    const std::string& c = aircraft.callsign;
    const std::string plain = lf_withoutGhostMark(c);
    if (plain.empty()) return;
    for (const ParkStand& stand : g_parkStands) {
        for (const LearnedFlight& o : stand.learnedFlights) {
            if (o.number == 0 || o.day != day || o.codes.airline != aircraft.key.airline ||
                (o.slots & window).none()) {
                continue;
            }
            if (o.callsign != c && o.callsign != plain && o.callsign2 != c &&
                o.callsign2 != plain) {
                continue;
            }
            aircraft.secondCallsign = o.callsign;
            aircraft.thirdText = o.callsign2;
            return;
        }
    }
}

void lf_addRealStandOption(uint32_t standId, LiveAc& aircraft, int mode)
{
    const auto [day, slot] = lf_today();
    try {
        lf_addRealStandOptionUnguarded(standId, aircraft, mode, day, slot);
    } catch (const std::exception& e) {
        gf_logHighlighted(
            fmt::format("{}: hh_now: {}, {}", "lf_addRealStandOption", slot, e.what()));
    }
}

bool lf_learnParking(uint32_t day, uint32_t slot, ParkStand& stand, uint32_t& optionId,
                     uint32_t& d0, uint32_t& s0, const LiveAc& aircraft, const std::string& reg)
{
    if (optionId == 0 || (day == d0 && slot == s0)) return true;
    const int64_t longest = aircraft.key.cargo                           ? 12
                            : aircraft.weightClass == WeightClass::Heavy ? 8
                                                                         : 6;
    int64_t n = (int64_t{day} - d0) * 48 - s0 + slot;
    if (n < 0) n += 336;
    if (n < 1 || n >= longest) return false;
    auto& options = stand.learnedFlights;
    if (day == d0) {
        std::vector<uint32_t> slots = gf_slotsBack(slot, static_cast<uint32_t>(n));
        if (updateOptions(options, slots, optionId)) {
            gf_addLearnedCallsign(options, optionId, aircraft.callsign);
        }
    } else {
        const auto [newId, ok] =
            gf_addLearnedFlight(options, aircraft.key, day, slot, aircraft.callsign, reg, 0);
        if (!ok) return false;
        std::vector<uint32_t> slots = gf_slotsBack(slot, static_cast<uint32_t>(n));
        updateOptionsWrapped(options, slots, optionId, newId);
        gf_addLearnedCallsign(options, optionId, aircraft.callsign);
        gf_addLearnedCallsign(options, newId, aircraft.callsign);
        optionId = newId;
    }
    d0 = day;
    s0 = slot;
    return true;
}

void lf_relearnStandCargo(LiveAc& aircraft)
{
    if (aircraft.noCabinLights || !aircraft.key.cargo) return;
    ParkStand* stand = lf_standById(aircraft.standId);
    if (!stand || !stand->cargo) return;
    stand->cargo = false;
    stand->cargoChanged = true;
    lf_countLearnedUpdate();
}

}  // namespace qel
