// Static aircraft creation: one planned candidate at a time becomes a static aircraft on its
// stand, with a hex id, a callsign and a livery, and its create request is queued.
//
// Threads: main-loop thread.
#include <algorithm>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/stands.h"
#include "traffic/parked_plan.h"

namespace qel {

namespace {

// A candidate waits for a leaving static this many times (every 500 ms) at most: a removal that
// never completes must not keep the parking busy for ever.
constexpr uint16_t kMaxRetries = 120;

// On the stand, or on a neighbour closer than both half spans: the same test the stand search
// made, so that a candidate it planned beside a narrow aircraft is not dropped here.
bool lf_onOrNextTo(const ParkCandidate& c, const ParkStand* stand, uint32_t other,
                   double otherSpan_nm)
{
    if (other == c.standId) return true;
    if (!stand ||
        std::find(stand->overlaps.begin(), stand->overlaps.end(), other) == stand->overlaps.end()) {
        return false;
    }
    const ParkStand* neighbour = lf_standById(other);
    return !neighbour || gf_distanceNm({stand->latitude, stand->longitude},
                                       {neighbour->latitude, neighbour->longitude}) <
                             gf_wingspan(c.key.model) + otherSpan_nm;
}

bool lf_leaving(const StaticAc& statik)
{
    return statik.state == SimObjectState::removingfromsim || statik.removeWhenCreated ||
           statik.drop || statik.dropWhileQueued;
}

bool lf_liveInTheWay(const ParkCandidate& c, const ParkStand* stand)
{
    // By the flags: of a thousand live records a few stand, and a visit to each record would
    // cost the hand-over a cache miss per record.
    for (std::size_t i = 0; i < g_liveAtStand.size(); ++i) {
        if (g_liveAtStand[i] == 0) continue;
        const LiveAc& live = g_liveAcs[i];
        if (!lf_onOrNextTo(c, stand, live.standId, live.size_nm)) continue;
        if (live.standId == c.standId) {
            gf_log(fmt::format("{:8}: no static parking for {}, live aircraft {} standing here",
                               gf_standNameById(c.standId), c.text, live.callsign));
        } else {
            gf_log(fmt::format(
                "{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly "
                "colliding",
                gf_standNameById(c.standId), c.text, live.callsign,
                gf_standNameById(live.standId)));
        }
        return true;
    }
    return false;
}

enum class StaticBlock { none, leaving, staying };

// After a re-plan the replaced statics are still leaving (removals go out ten a second); a
// candidate that only they block waits for them instead of leaving its stand empty until the
// next refresh.
StaticBlock lf_staticInTheWay(const ParkCandidate& c, const ParkStand* stand)
{
    const StaticAc* leaving = nullptr;
    for (const StaticAc& statik : g_staticAcs) {
        if (!lf_onOrNextTo(c, stand, statik.standId, statik.size_nm)) continue;
        if (lf_leaving(statik)) {
            leaving = &statik;
            continue;
        }
        gf_log(fmt::format(
            "{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly "
            "colliding",
            gf_standNameById(c.standId), c.text, statik.callsign,
            gf_standNameById(statik.standId)));
        return StaticBlock::staying;
    }
    return leaving ? StaticBlock::leaving : StaticBlock::none;
}

std::string lf_callsignOf(const ParkCandidate& c, uint32_t hexId)
{
    if (c.text.empty()) {
        return fmt::format("{}{}{}", g_airlineCodes.text(c.key.airline), hexId, '*');
    }
    const std::string& first = c.stays ? c.text : c.secondCallsign;
    const std::string& other = c.stays ? c.secondCallsign : c.text;
    const std::string& chosen = first.empty() ? other : first;
    if (chosen.empty()) {
        gf_logHighlighted(fmt::format("{} callsign is empty..", "lf_detcs"));
        return {};
    }
    return lf_staticCallsign(chosen);
}

void lf_createStatic(const ParkCandidate& c, const ParkStand& stand)
{
    const uint32_t hexId = gf_nextStaticHexId();
    LiveAircraftRecord image;
    image.key = c.key;
    image.callsign = lf_callsignOf(c, hexId);
    image.secondCallsign = c.text;
    image.thirdText = c.secondCallsign;
    image.registration = c.registration;
    FlightData data = initLiveAc(image);
    data.hexId = hexId;
    g_staticAcs.emplace_back(data, stand.number, stand.latitude, stand.longitude, stand.heading,
                             stand.cargo);
    if (!gf_matchLivery(g_staticAcs.back(), c)) {
        g_staticAcs.pop_back();
        return;
    }
    StaticAc& aircraft = g_staticAcs.back();
    aircraft.placedBy = c.placedBy;
    const DaySlot parked = lf_moveBack(lf_daySlotNow(), c.fitOffset);
    aircraft.parkedWeekday = static_cast<uint32_t>(std::max(parked.day, 0));
    aircraft.parkedSlot = static_cast<uint32_t>(std::max(parked.slot, 0));
    aircraft.partnerHexId = c.partnerHexId;
    aircraft.state = SimObjectState::adding2sim;
    AiPositionBlock at;
    at.latitude = aircraft.standLat;
    at.longitude = aircraft.standLon;
    at.heading_rad = aircraft.standHeading_rad;
    g_staticCreateQueue.push_back(lf_aiCreateRequest(aircraft, at, true));
}

}  // namespace

std::string lf_staticCallsign(std::string name)
{
    while (name.ends_with('_')) name.pop_back();
    if (name.ends_with('*')) return name;
    return name + "*";
}

void lf_detcs()
{
    if (g_staticCandidates.empty() || g_parkStands.empty()) return;
    ParkCandidate c = std::move(g_staticCandidates.back());
    g_staticCandidates.pop_back();
    const ParkStand* stand = c.standId >= 1 ? lf_standById(c.standId) : nullptr;
    if (lf_liveInTheWay(c, stand)) return;
    switch (lf_staticInTheWay(c, stand)) {
    case StaticBlock::staying: return;
    case StaticBlock::leaving:
        if (c.retries < kMaxRetries) {
            ++c.retries;
            // To the front: the others, taken from the back, go first meanwhile.
            g_staticCandidates.insert(g_staticCandidates.begin(), std::move(c));
        }
        return;
    case StaticBlock::none: break;
    }
    if (!stand) {
        gf_logHighlighted(fmt::format("stand with id {} not found", gf_standNameById(c.standId)));
        return;
    }
    lf_createStatic(c, *stand);
}

void lf_dropCandidatesOfStand(uint32_t standId)
{
    std::erase_if(g_staticCandidates,
                  [standId](const ParkCandidate& c) { return c.standId == standId; });
}

}  // namespace qel
