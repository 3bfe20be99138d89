// Spawning of live aircraft: whether a buffered flight may enter the simulator now, must wait
// or is dropped, and how it enters (airborne, parked at a stand, or taxiing) with which livery
// and first position.
//
// Threads: main-loop thread.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/log.h"
#include "liveries/liveries.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/stands.h"
#include "traffic/park_airports.h"
#include "traffic/parked_plan.h"
#include "traffic/schedule.h"

namespace qel {

namespace {

// How long a flight with one report waits for the next once that one is due.
constexpr int32_t kSecondReportWait_ticks = 2000;

constexpr double kRadPerDeg = std::numbers::pi / 180.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int32_t kGroundMargin = 300;  // ticks: a moving ground aircraft spawns 3 s early
constexpr int32_t kMargin = 100;
constexpr std::size_t kMaxWaitingCreations = 10;
constexpr double kFarMargin_nm = 0.1;
constexpr double kParkAirportRadius_nm = 5.0;
constexpr double kStandRadius_nm = 0.029697624190064796;  // 55 m
constexpr double kStandDrift_nm = 0.018898488120950324;   // 35 m
constexpr double kOnStand_nm = 1e-9;
constexpr double kUserGroundGap_nm = 0.08099352051835854;  // 150 m
constexpr double kUserSlow_kt = 8.0;
constexpr double kUserFar_nm = 500.0 / 1852.0;
constexpr double kGroundPitch_rad = 0.010471975511965976;  // 0.6°

LatLon lf_at(const PosSample& sample) { return {sample.latitude, sample.longitude}; }
LatLon lf_userPosition() { return {g_userState.latitude, g_userState.longitude}; }

void lf_popOldest(LiveAc& aircraft) { aircraft.samples.pop_front(); }

bool lf_mixedSamples(const LiveAc& aircraft)
{
    bool air = false;
    bool ground = false;
    for (const auto& s : aircraft.samples) (s.airborne ? air : ground) = true;
    return air && ground;
}

bool lf_holdOnGroundUser(LiveAc& aircraft)
{
    const PosSample& first = aircraft.samples.front();
    const double toUser_nm = gf_distanceNm(lf_at(first), lf_userPosition());
    if (aircraft.heldForUser) {
        if (g_userState.groundSpeed_kt > kUserSlow_kt) {
            lf_popOldest(aircraft);
            return true;
        }
        const bool clear =
            first.airborne || (first.groundSpeed_kt <= kUserSlow_kt && toUser_nm >= kUserFar_nm);
        if (!clear) {
            lf_popOldest(aircraft);
            return true;
        }
    }
    if (!first.airborne && COLLISION_USER_GND.current && toUser_nm <= kUserGroundGap_nm) {
        lf_popOldest(aircraft);
        return true;
    }
    return false;
}

bool lf_holdForUser(LiveAc& aircraft)
{
    if (g_userState.onGround) return lf_holdOnGroundUser(aircraft);
    if (!COLLISION_USER_AIR.current) return false;
    const PosSample& first = aircraft.samples.front();
    aircraft.position.latitude = first.latitude;
    aircraft.position.longitude = first.longitude;
    aircraft.position.altitude_ft = first.altitude_ft;
    // Not yet created, the record has no heading of its own: the report's course stands for it.
    // Only a flight in the air can fly ahead of the user; one standing on a stand below the
    // user's climb-out is no threat to it.
    aircraft.position.heading_rad = first.track_deg * kRadPerDeg;
    if (first.airborne && lf_removeIfAheadOfUser(aircraft)) {
        aircraft.heldForUser = 1;
        lf_popOldest(aircraft);
        return true;
    }
    if (aircraft.heldForUser) {
        lf_popOldest(aircraft);
        return true;
    }
    return false;
}

// Every record on its way into the simulator counts, the request queued, handed to the link or
// its object waiting for activation: otherwise the limit lets in one more each time a request
// leaves the queue.
bool lf_slotsTaken(int32_t waiting)
{
    return g_activeLiveCount + g_addingLiveCount + waiting >=
           std::max<int32_t>(MAX_LIVE_SEL.current, 0);
}

bool lf_atLiveLimit() { return lf_slotsTaken(0); }

double lf_toUser_nm(const LiveAc& aircraft)
{
    return gf_distanceNm(lf_userPosition(), lf_at(aircraft.samples.front()));
}

void lf_fixIdentity(LiveAc& aircraft)
{
    if (!aircraft.registration.empty()) {
        if (const auto prefix = gf_registrationPrefix(aircraft.registration)) {
            aircraft.key = *prefix;
            if (!gf_validCallsign(aircraft)) lf_setLiveCallsign(aircraft, aircraft.registration);
        }
    }
    if (aircraft.key.airline == 0) {
        const auto code = gf_airlineFromCallsign(aircraft.callsign);
        aircraft.key.airline = gf_airlineIndex(code ? *code : "PVT");
    }
}

std::optional<SpawnStand> lf_findSpawnStand(LiveAc& aircraft)
{
    const auto park = lf_parkAirportPosition();
    if (!park) return std::nullopt;
    QueuedSample& first = aircraft.samples.front();
    if (gf_distanceNm(lf_at(first), *park) > kParkAirportRadius_nm) return std::nullopt;
    LatLon searched = lf_at(first);
    if (!first.stationary) {
        const PosSample& last = aircraft.samples.back();
        if (aircraft.samples[1].groundSpeed_kt > 5.0 ||
            gf_distanceNm(lf_at(last), lf_at(first)) > kStandDrift_nm) {
            return std::nullopt;
        }
        searched = lf_at(last);
    }
    auto stand = lf_findFreeStand(searched, aircraft, kStandRadius_nm, first.stationary);
    if (!stand) return std::nullopt;
    const std::string name = gf_standNameById(stand->id);
    if (name == g_reservedStandName ||
        name == gf_closestStandName(g_userState.latitude, g_userState.longitude)) {
        return std::nullopt;
    }
    // The neighbours are checked before an occupant is made to give way, so that a refused
    // newcomer never costs the aircraft already standing there.
    const bool neighboursFree =
        std::all_of(stand->neighbours.begin(), stand->neighbours.end(),
                    [&](uint32_t id) { return lf_adjacentStandFree(id, aircraft, stand->id); });
    if (!neighboursFree || !lf_standFreeFor(stand->id, aircraft.callsign)) {
        aircraft.drop = 1;
        return std::nullopt;
    }
    lf_staticMakesWay(aircraft, stand->id);
    first.stationary = 1;
    first.groundSpeed_kt = 0.0;
    return stand;
}

void lf_parkOnStand(LiveAc& aircraft, const SpawnStand& stand)
{
    aircraft.standLat = stand.lat;
    aircraft.standLon = stand.lon;
    aircraft.standHeading_rad = stand.heading_rad;
    aircraft.standId = stand.id;
    lf_takeStand(stand.id, aircraft.hexId);
    aircraft.noCabinLights = stand.noCabinLights ? 1 : 0;
    lf_setLivePhase(aircraft, FlightPhase::parked, PhaseMemory::keep);
    lf_recordParkingTime(aircraft);
    lf_relearnStandCargo(aircraft);
    aircraft.samples.resize(1);
    PosSample& first = aircraft.samples.front();
    // Whether it leaves the stand is judged from where it was reported as it was created here:
    // the reports until it is in the simulator are not read, and it may be on its way by then.
    // (A reference of 0 would be taken for none.)
    aircraft.standDistanceRef_nm = aircraft.standDistanceMax_nm =
        std::max(gf_distanceNm(lf_at(first), {stand.lat, stand.lon}), kOnStand_nm);
    first.latitude = stand.lat;
    first.longitude = stand.lon;
    first.track_deg = stand.heading_rad / kRadPerDeg;
    lf_addRealStandOption(stand.id, aircraft, 1);
    lf_checkMaxPark(true);
}

// Chooses the livery; false when the flight is dropped for want of one.
bool lf_chooseLivery(LiveAc& aircraft)
{
    if (!aircraft.title.empty()) return true;
    if (auto pending = takePendingCreation(aircraft.hexId)) {
        aircraft.title = gf_keepTitle(std::move(*pending));
        return true;
    }
    if (!gf_matchLiveLivery(aircraft) || aircraft.title.empty()) {
        if (!aircraft.registration.empty()) {
            g_noMatchFlights.insert(gf_labelAndRegistration(aircraft));
        }
        aircraft.drop = 1;
        return false;
    }
    g_pendingCreations[aircraft.hexId] = std::string(aircraft.title);
    return true;
}

// False when spawning ends here for this tick.
bool lf_choosePhase(LiveAc& aircraft)
{
    if (aircraft.samples.front().airborne) {
        lf_setLivePhase(aircraft, FlightPhase::flying, PhaseMemory::keep);
        return true;
    }
    if (const auto stand = lf_findSpawnStand(aircraft)) {
        lf_parkOnStand(aircraft, *stand);
        return true;
    }
    if (aircraft.drop) return false;
    if (aircraft.samples.size() > 1 && aircraft.samples[1].stationary) {
        lf_popOldest(aircraft);
        return false;
    }
    lf_setLivePhase(aircraft, FlightPhase::taxi, PhaseMemory::keep);
    return true;
}

double lf_spawnPitch(const PosSample& first)
{
    if (!first.airborne) return kGroundPitch_rad;
    const double vs = first.verticalRate_fpm;
    const double r = vs > 0.0 ? std::min(vs, 2400.0) : std::max(vs, -3000.0) * 0.5;
    return (-3.0 - (r / 600.0) * 2.2) * kRadPerDeg;
}

double lf_spawnHeading(const LiveAc& aircraft)
{
    if (aircraft.hasStoredHeading) return aircraft.storedHeading_rad;
    if (aircraft.phase == FlightPhase::parked) return aircraft.standHeading_rad;
    const PosSample& first = aircraft.samples.front();
    if (aircraft.samples.size() < 2 || aircraft.samples[1].stationary) {
        return first.track_deg * kRadPerDeg;
    }
    return gf_bearingRad(lf_at(first), lf_at(aircraft.samples[1]));
}

// Where a ground aircraft stands, ft: a ground report carries no altitude (0). A sample that has
// one (a respawn, placed where the simulator had it) keeps it; else the park airport's field
// when it is near, else the ground under the user. The simulator would put it under the field
// until the first position batch.
double lf_groundAltitude_ft(const PosSample& first)
{
    if (first.altitude_ft > 0.0) return first.altitude_ft;
    const auto park = lf_parkAirportPosition();
    if (park && gf_distanceNm(lf_at(first), *park) <= kParkAirportRadius_nm) {
        return lf_parkElevation_ft();
    }
    return std::max(g_userState.altitude_ft - g_userState.altAboveGround_ft, 0.0);
}

// The position block from the first sample.
void lf_placeAtFirstSample(LiveAc& aircraft)
{
    const PosSample& first = aircraft.samples.front();
    AiPositionBlock& p = aircraft.position;
    p.latitude = first.latitude;
    p.longitude = first.longitude;
    p.altitude_ft = first.airborne ? first.altitude_ft : lf_groundAltitude_ft(first);
    p.verticalSpeed_fps = first.verticalRate_fpm / 60.0;
    p.airspeed_kt = first.airspeed_kt;
    p.bank_rad = first.bank_rad.value_or(0.0);
    p.pitch_rad = lf_spawnPitch(first);
    double heading = std::fmod(lf_spawnHeading(aircraft), kTwoPi);
    if (heading < 0.0) heading += kTwoPi;
    const bool wrapped = heading > 6.283185307178586;
    if (wrapped) heading = 0.0;
    p.heading_rad = heading;
    aircraft.targetHeading_rad = (first.airborne || wrapped) ? 0.0 : heading;
    aircraft.heldForUser = 0;
}

}  // namespace

void lf_setSpawnPosition(LiveAc& aircraft)
{
    g_standCheckQueue.push_back(aircraft.hexId);
    lf_placeAtFirstSample(aircraft);
}

AiCreateRequest lf_liveCreateRequest(LiveAc& aircraft)
{
    if (lf_catchUpWithSchedule(aircraft)) lf_placeAtFirstSample(aircraft);
    return lf_aiCreateRequest(aircraft, aircraft.position, !aircraft.samples.front().airborne);
}

int32_t lf_wakeTickOf(const QueuedSample& first)
{
    const bool movingOnGround = !first.airborne && first.groundSpeed_kt != 0.0;
    const int64_t wake = int64_t{first.dueTick} - (movingOnGround ? kGroundMargin : kMargin);
    return static_cast<int32_t>(std::max<int64_t>(wake, std::numeric_limits<int32_t>::min()));
}

int32_t lf_bufferedWakeTick(const LiveAc& aircraft)
{
    if (aircraft.samples.empty()) return std::numeric_limits<int32_t>::min();
    return lf_wakeTickOf(aircraft.samples.front());
}

bool lf_noSlotFor(const PosSample& first, int32_t measuredWithin_ticks, int32_t waiting)
{
    if (MAX_LIVE_SEL.current == 0) return true;
    if (!lf_slotsTaken(waiting)) return false;
    const double toUser_nm = gf_distanceNm(lf_userPosition(), lf_at(first));
    return !lf_farthestLiveLiesBeyond(toUser_nm, measuredWithin_ticks);
}

void lf_handleBufferedAc(LiveAc& aircraft)
{
    if (aircraft.samples.empty()) {
        aircraft.drop = 1;
        return;
    }
    if (g_fastTicks < lf_bufferedWakeTick(aircraft)) return;
    if (aircraft.samples.size() == 1) {
        // A report due when it came (its feed lags the traffic around it by the replay delay
        // or more) waits for the next, as long as reports come that often: dropped at once, a
        // flight whose reports all came that late was never shown.
        if (g_fastTicks - aircraft.heardTick < kSecondReportWait_ticks) return;
        aircraft.drop = 1;
        return;
    }
    if (aircraft.callsign.ends_with('_') &&
        std::find(g_ghostCallsigns.begin(), g_ghostCallsigns.end(), aircraft.callsign) !=
            g_ghostCallsigns.end()) {
        aircraft.drop = 1;
        return;
    }
    if (lf_creationHeldBack(aircraft)) {
        aircraft.drop = 1;
        return;
    }
    if (lf_mixedSamples(aircraft)) {
        lf_popOldest(aircraft);
        return;
    }
    if (lf_holdForUser(aircraft)) return;
    if (g_liveCreateQueue.size() > kMaxWaitingCreations && aircraft.phase == FlightPhase::birth) {
        lf_popOldest(aircraft);
        return;
    }
    // At the limit only a newcomer nearer than an active aircraft may come; that one makes
    // room only once the newcomer is sure to be created (spawnLiveAc).
    if (lf_noSlotFor(aircraft.samples.front(), 0, 0)) {
        aircraft.drop = 1;
        return;
    }
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (!blocked.empty() && blocked == aircraft.callsign) {
        aircraft.drop = 1;
        return;
    }
    lf_fixIdentity(aircraft);
    if (!gf_validCallsign(aircraft) ||
        g_noMatchFlights.contains(gf_labelAndRegistration(aircraft)) ||
        (aircraft.callsign.ends_with('_') && lf_hasRealTwin(aircraft.callsign))) {
        aircraft.drop = 1;
        return;
    }
    spawnLiveAc(aircraft);
}

void spawnLiveAc(LiveAc& aircraft)
{
    auto& samples = aircraft.samples;
    if (samples.size() < 2) {
        gf_logHighlighted(fmt::format("{} sz:{}", "spawnLiveAc", samples.size()));
        return;
    }
    if (samples[1].stationary) {
        samples[0].stationary = 1;
        samples[0].groundSpeed_kt = samples[1].groundSpeed_kt = 0.0;
        if (samples.size() >= 3 && samples[2].stationary) samples[2].groundSpeed_kt = 0.0;
    } else {
        samples[0].stationary = 0;
    }
    if (aircraft.phase == FlightPhase::birth) {
        if (!lf_chooseLivery(aircraft)) return;
        if (!lf_choosePhase(aircraft)) return;
    }
    if (aircraft.drop) return;
    // The place at the limit is taken last: a newcomer dropped on the way (no livery, no stand)
    // must not cost an aircraft its place.
    if (lf_atLiveLimit() && !lf_removeFarthestLiveAc(lf_toUser_nm(aircraft))) {
        lf_releaseStand(aircraft.standId, aircraft.hexId);
        aircraft.drop = 1;
        return;
    }
    lf_setSpawnPosition(aircraft);
    lf_setLiveState(aircraft, SimObjectState::adding2sim);
    g_spawnHexids.push_back(aircraft.hexId);
    if (!aircraft.callsign.ends_with('_')) lf_checkGhost(aircraft.callsign);
}

}  // namespace qel
