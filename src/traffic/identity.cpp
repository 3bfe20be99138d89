// Identity changes of live flights: a callsign first reported or changed, a registration that
// becomes known, a route filled in or turned round. When the aircraft in the simulator no longer
// shows a fitting livery it is respawned with another one (GUID_CHANGES).
//
// Threads: main-loop thread.
#include <cmath>
#include <exception>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/log.h"
#include "liveries/livery_db.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/motion_math.h"
#include "traffic/stands.h"
#include "traffic/park_airports.h"
#include "traffic/schedule.h"

namespace qel {

namespace {

bool lf_has(const std::array<char, 3>& code) { return code[0] != 0; }

std::array<char, 3> lf_code(const std::optional<ShortAirportCode>& code)
{
    std::array<char, 3> out{};
    if (!code) return out;
    const std::string_view text = code->text();
    for (std::size_t i = 0; i < out.size() && i < text.size(); ++i) out[i] = text[i];
    return out;
}

bool lf_sameTriple(const MatchKey& a, const MatchKey& b)
{
    return a.airline == b.airline && a.operatorId == b.operatorId && a.model == b.model;
}

void lf_takeIdentity(LiveAc& aircraft, const MatchKey& key)
{
    aircraft.key.airline = key.airline;
    aircraft.key.operatorId = key.operatorId;
    aircraft.key.model = key.model;
    aircraft.key.cargo = key.cargo;
}

std::string lf_parkCode3() { return lf_parkAirportCode3(); }

std::optional<std::string_view> lf_regcodeTitle(const std::string& registration)
{
    const auto found = g_regcodes.find(registration);
    if (found == g_regcodes.end()) return std::nullopt;
    return std::string_view(found->second);
}

std::string lf_text(const std::array<char, 3>& code)
{
    return lf_has(code) ? std::string(code.begin(), code.end()) : std::string();
}

// The report names the aircraft a ghost of a flight that flies: it is refused whole.
bool lf_ghostOfFlyingTwin(const LiveAc& aircraft, const LiveAircraftRecord& report)
{
    const std::string& c = report.callsign;
    // The registration the aircraft has once the report's is taken over.
    const std::string& registration =
        report.registration.empty() ? aircraft.registration : report.registration;
    return !c.empty() && c != aircraft.callsign && c != registration && c.ends_with('_') &&
           lf_hasRealTwin(c);
}

// Whether the respawn follows from here: the livery is reset only then, so that an aircraft
// that is not respawned (GUID_CHANGES off, or a refused ghost) keeps flying with a title and a
// phase.
bool lf_respawnFollows(const LiveAc& aircraft, const LiveAircraftRecord& report)
{
    return GUID_CHANGES.current && !lf_ghostOfFlyingTwin(aircraft, report);
}

}  // namespace

FlightPhase lf_resetLivery(LiveAc& aircraft)
{
    // Erased, not just read: a title still waiting there would be chosen again at the respawn.
    g_pendingCreations.erase(aircraft.hexId);
    aircraft.title = {};
    const FlightPhase old = aircraft.phase;
    lf_setLivePhase(aircraft, FlightPhase::birth, PhaseMemory::onChange);
    return old;
}

void lf_copyIdentity(LiveAc& aircraft, const LiveAircraftRecord& report)
{
    const auto destination = lf_code(report.destination);
    const auto origin = lf_code(report.origin);
    if (lf_has(destination) && destination != aircraft.destination)
        aircraft.destination = destination;
    if (lf_has(origin) && origin != aircraft.origin) aircraft.origin = origin;
    if (!report.callsign.empty() && report.callsign != aircraft.callsign) {
        lf_setLiveCallsign(aircraft, report.callsign);
    }
    if (!report.registration.empty() && report.registration != aircraft.registration) {
        aircraft.registration = report.registration;
    }
}

bool lf_routeUnchanged(LiveAc& aircraft, const LiveAircraftRecord& report)
{
    const auto destination = lf_code(report.destination);
    const auto origin = lf_code(report.origin);
    bool filled = false;
    if (lf_has(destination) && !lf_has(aircraft.destination)) {
        aircraft.destination = destination;
        filled = true;
    }
    if (lf_has(origin) && !lf_has(aircraft.origin)) {
        aircraft.origin = origin;
        filled = true;
    }
    const bool bothPresent = lf_has(destination) && lf_has(origin) &&
                             lf_has(aircraft.destination) && lf_has(aircraft.origin);
    if (!bothPresent || destination == aircraft.destination || origin == aircraft.origin) {
        return !filled;
    }
    const std::string park = lf_parkCode3();
    if (!park.empty() && lf_text(aircraft.origin) == park && destination == aircraft.origin) {
        return !filled;
    }
    aircraft.origin = origin;
    aircraft.destination = destination;
    if (aircraft.onGround && aircraft.phase != FlightPhase::parking &&
        aircraft.phase != FlightPhase::parked) {
        lf_setLivePhase(aircraft, FlightPhase::taxi, PhaseMemory::onChange);
        aircraft.targetHeading_rad = aircraft.position.heading_rad;
    }
    return false;
}

bool lf_regcodeChanged(LiveAc& aircraft, const LiveAircraftRecord& report, bool reset)
{
    const auto title = lf_regcodeTitle(report.registration);
    if (title && !title->empty()) {
        if (*title == aircraft.title) return false;
        if (const auto prefix = gf_registrationPrefix(report.registration)) {
            lf_takeIdentity(aircraft, *prefix);
        }
        if (reset) lf_resetLivery(aircraft);
        return true;
    }
    if (report.registration == aircraft.registration) return false;
    const auto prefix = gf_registrationPrefix(report.registration);
    if (!prefix || lf_sameTriple(*prefix, aircraft.key)) return false;
    lf_takeIdentity(aircraft, *prefix);
    if (reset) lf_resetLivery(aircraft);
    return true;
}

bool lf_registrationUnchanged(LiveAc& aircraft, const LiveAircraftRecord& report, bool reset)
{
    if (report.registration.empty()) return true;
    bool result = true;
    if (aircraft.registration.empty() || (aircraft.registration == aircraft.callsign &&
                                          aircraft.registration != report.registration)) {
        result = !lf_regcodeChanged(aircraft, report, reset);
    } else if (aircraft.registration != report.registration) {
        if (const auto prefix = gf_registrationPrefix(report.registration)) {
            if (!lf_sameTriple(*prefix, aircraft.key)) {
                const auto code = gf_airlineFromCallsign(report.callsign);
                const uint16_t airline = code ? gf_airlineIndex(*code) : 0;
                if (code && (airline == prefix->airline || airline == prefix->operatorId)) {
                    lf_takeIdentity(aircraft, *prefix);
                    if (aircraft.phase == FlightPhase::parked && aircraft.standId > 0) {
                        lf_addRealStandOption(aircraft.standId, aircraft, 0);
                    }
                    if (reset) lf_resetLivery(aircraft);
                    result = false;
                }
            }
        }
    }
    aircraft.registration = report.registration;
    return result;
}

bool lf_acceptReport(LiveAc& aircraft, const LiveAircraftRecord& report)
{
    if (aircraft.takeOff || aircraft.landingRoll || aircraft.landing) return true;
    if (aircraft.state == SimObjectState::buffer) {
        lf_copyIdentity(aircraft, report);
        return true;
    }
    if (aircraft.state != SimObjectState::active || aircraft.phase == FlightPhase::pushing_back ||
        aircraft.syntheticCount >= 1) {
        return true;
    }
    const bool respawn = lf_respawnFollows(aircraft, report);
    const bool route = lf_routeUnchanged(aircraft, report);
    const bool registration = lf_registrationUnchanged(aircraft, report, respawn);
    const std::string& c = report.callsign;
    if (!c.empty() && c != aircraft.callsign && c != aircraft.registration) {
        if (!c.ends_with('_')) {
            lf_checkGhost(c);
        } else if (lf_hasRealTwin(c)) {
            return false;
        }
        lf_setLiveCallsign(aircraft, c);
        aircraft.secondCallsign = c;
        aircraft.thirdText.clear();
    } else if (route && registration) {
        return true;
    }
    if (!respawn) return true;
    gf_log(fmt::format("          {} respawns", gf_flightIdentity(aircraft)));
    liveryRespawn(aircraft);
    return false;
}

void liveryRespawn(LiveAc& aircraft)
{
    try {
        auto& s = aircraft.samples;
        if (s.empty()) return;
        QueuedSample first = s.front();
        const AiPositionBlock& p = aircraft.position;
        if (aircraft.phase != FlightPhase::parked) {
            first.latitude = p.latitude;
            first.longitude = p.longitude;
            first.altitude_ft = p.altitude_ft;
            first.bank_rad = p.bank_rad;
            if (std::abs(s.front().latitude - p.latitude) < kSame_deg &&
                std::abs(lf_lonDelta(s.front().longitude, p.longitude)) < kSame_deg) {
                s.front().stationary = true;
            }
        } else {
            s.resize(1);
            s.front().stationary = true;
            s.front().track_deg = p.heading_rad * 180.0 / kPi;
            first = s.front();
            first.stationary = true;
        }
        lf_dueIn(first, 1);
        s.push_front(first);
        lf_keepInTimeOrder(s);
        lf_setLiveState(aircraft, SimObjectState::liveryrespawn);
        aircraft.storedHeading_rad = p.heading_rad;
        aircraft.hasStoredHeading = 1;
        if (aircraft.objectId != 0 && g_selectedObjectId == aircraft.objectId) {
            gf_refreshAcList();
        }
        if (aircraft.objectId != 0) {
            g_removeIdQueue.push_back(aircraft.objectId);
            return;
        }
        gf_logHighlighted(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn",
                                      gf_flightDescription(aircraft)));
        // Nothing in the simulator will report a removal: the record goes back to the buffer
        // now, as that report would have put it, or it would wait in liveryrespawn for good.
        lf_setLiveState(aircraft, SimObjectState::buffer);
        aircraft.throttleLevel = 5;
        aircraft.flapsIndex = 4;
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "liveryRespawn", e.what()));
    }
}

}  // namespace qel
