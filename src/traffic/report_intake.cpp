// The intake of reports of a known live aircraft, in every phase: whether and how each joins its
// sample queue (held, being born, pushed back or pushing back, parked or leaving its stand,
// taxiing, flying, on its approach or landing roll), the start of a departure from a stand that
// a report shows, and the reports kept while it pushed back, taken once it sets off. It starts no
// leg: the sample stream paces the leg in progress to what it took.
//
// Threads: main-loop thread.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "platform/clock.h"
#include "traffic/motion_math.h"
#include "traffic/curve_geometry.h"
#include "traffic/fleet.h"
#include "traffic/ground_pace.h"
#include "traffic/ground_pace.h"
#include "traffic/live_road.h"
#include "traffic/air_legs.h"
#include "traffic/air_rejoin.h"
#include "traffic/report_intake.h"
#include "traffic/push_way.h"
#include "traffic/pushback.h"
#include "traffic/schedule.h"
#include "traffic/stands.h"

namespace qel {

namespace {

// Near, in both directions (m): 0.00015 degrees of latitude. Taken as degrees of longitude too,
// the box shrank with the meridians toward a pole.
constexpr double kNear_m = 0.00015 * kMetresPerDeg;
// A report near the last one that shows the aircraft rolling at least this fast (kt) shows it
// rolling on, not standing there.
constexpr double kRollingRound_kt = 3.0;
// On its approach an aircraft is lined up with its runway: reports behind it this far aside its
// line show it elsewhere for good (the feed moved it), where no landing can get to. Dropped as
// behind, a touch-and-go landed and rolled out 720 m off its reports.
constexpr double kApproachAside_m = 150.0;
// A report near the last kept that rolls on is dropped for the next, farther on, unless it is
// reported this long after that one.
constexpr int64_t kRollOn_ticks = 500;
// A standstill reported farther than this past the last report kept, which moved, is taken where
// it was reported, not at that report (metres); so is one farther on than that report's speed
// takes to brake off at an airliner's usual 3 kt a second (m/s²), and a few metres at least.
constexpr double kStopOn_m = 15.0;
constexpr double kUsualBrake_mps2 = 3.0 * kMpsPerKt;
constexpr double kStopOnLeast_m = 5.0;
// A report that rolls away from where the aircraft stands, farther than this from it (metres), is
// still where it goes when there is no time to stand first, if it reaches it no later than this
// (ticks): taken as where it stands, the way on from there cuts the corner at that report by up
// to as much.
constexpr double kSetsOffFrom_m = 10.0;
constexpr int64_t kSetsOffLate_ticks = 300;
constexpr double kStandReach_nm = 0.0458963282937365;    // 85 m
constexpr double kStandStep_nm = 0.0016198704103671706;  // 3 m
constexpr double kStandFar_nm = 0.10799136069114472;     // 200 m
// A stationary tail reported for less than this is a creep's, not a stop (ticks).
constexpr int64_t kCreepTail_ticks = 500;

// What a report does in each phase; defined after decodeExisting, which they serve. The bool
// ones are false when the report is not to be appended.
bool checkExtendingSituations(LiveAc& aircraft, QueuedSample& sample);
bool checkNewPosDuringLanding(LiveAc& aircraft, QueuedSample& sample);
bool lf_checkBirthReport(LiveAc& aircraft, QueuedSample& sample);
void lf_startDeparture(LiveAc& aircraft, QueuedSample& sample);

int64_t lf_steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               platform::steadyNow().time_since_epoch())
        .count();
}

void lf_endHold(LiveAc& aircraft)
{
    aircraft.holding = 0;
    aircraft.holdStart = 0;
}

bool lf_airborneActive(const LiveAc& aircraft)
{
    return aircraft.state == SimObjectState::active && !aircraft.onGround;
}

void lf_pushBackReport(LiveAc& aircraft, const QueuedSample& s)
{
    lf_keepPushReport(aircraft, s);
    if (STRAIGHT_PBS_ONLY.current || aircraft.pushbackCountdown != 2) return;
    double heading = 0.0;
    if (s.trueHeading_rad) {
        heading = *s.trueHeading_rad;
    } else if (s.track_deg != 0.0) {
        heading = s.track_deg * kRadPerDeg;
    } else {
        return;
    }
    aircraft.pushTurnClockwise = lf_wrapPi(heading - aircraft.position.heading_rad) > 0.0 ? 1 : 0;
    aircraft.pushTurnKnown = 1;
}

bool lf_pushedBackReport(LiveAc& aircraft, const QueuedSample& s)
{
    // It is about to set off for the reports kept while it pushed: this one joins them.
    if (!aircraft.pushReports.empty()) {
        lf_keepPushReport(aircraft, s);
        return false;
    }
    const double d =
        gf_distanceNm({aircraft.position.latitude, aircraft.position.longitude}, lf_at(s));
    // One that rolls off the way its nose points sets it off along the reports from there on, as
    // those kept while it pushed do: waiting for one 2.75 half wingspans off, an A320 whose taxi
    // went 13 m from where it stood never left.
    if (s.groundSpeed_kt > 0.0 && d * kMetresPerNm >= kPushStep_m &&
        lf_rolledAlong(s, aircraft.position.heading_rad)) {
        lf_keepPushReport(aircraft, s);
        return false;
    }
    const bool moves = (d > 2.75 * aircraft.size_nm && d > aircraft.pushedBackDistance_nm) ||
                       d > 6.0 * aircraft.size_nm;
    if (!moves) {
        if (!aircraft.holding) aircraft.holdStart = g_fastTicks;
        aircraft.holding = 1;
        aircraft.pushedBackDistance_nm = d;
        return false;
    }
    lf_endSyntheticCount(aircraft);
    aircraft.pushbackCountdown = 0;
    aircraft.pushTurnKnown = aircraft.pushTurnClockwise = 0;
    lf_setLivePhase(aircraft, FlightPhase::taxi, PhaseMemory::always);
    lf_leaveStand(aircraft);
    lf_endHold(aircraft);
    return true;
}

// Report s starts the departure. A parked aircraft keeps it with the reports of its way out,
// which it follows once it has pulled out or once its push-back ends; true when it is to be
// appended.
bool lf_departsWith(LiveAc& aircraft, QueuedSample& s)
{
    const bool parked = aircraft.phase == FlightPhase::parked;
    lf_startDeparture(aircraft, s);
    if (!parked) return true;
    lf_keepPushReport(aircraft, s);
    lf_pushBackWhenDue(aircraft);
    return false;
}

bool lf_parkedReport(LiveAc& aircraft, QueuedSample& s)
{
    aircraft.departing = 1;
    // Its departure is decided and waits for its first report off the stand to fall due: what
    // comes until then is the way it goes.
    if (aircraft.departurePending && aircraft.phase == FlightPhase::parked) {
        lf_keepPushReport(aircraft, s);
        return false;
    }
    const double d = gf_distanceNm(lf_at(s), {aircraft.standLat, aircraft.standLon});
    const double reach =
        aircraft.previousPhase == FlightPhase::parking ? 2.0 * kStandReach_nm : kStandReach_nm;
    if (d <= reach) {
        aircraft.lastReportTime_ms = lf_steadyMs();
        // The reports of a way out are kept from the first that left the stand: they time the
        // departure and lay the push-back.
        if (aircraft.standDistanceMax_nm == 0.0) {
            aircraft.standDistanceRef_nm = aircraft.standDistanceMax_nm = d;
            aircraft.outwardSteps = 0;
            aircraft.pushReports.clear();
            if (d >= kStandStep_nm) lf_keepPushReport(aircraft, s);
        } else if (d >= aircraft.standDistanceMax_nm + kStandStep_nm) {
            aircraft.standDistanceMax_nm = d;
            ++aircraft.outwardSteps;
            const double out = d - aircraft.standDistanceRef_nm;
            if ((aircraft.outwardSteps >= 3 && out >= 0.5 * aircraft.size_nm) ||
                out > aircraft.size_nm) {
                return lf_departsWith(aircraft, s);
            }
            lf_keepPushReport(aircraft, s);
        } else if (aircraft.outwardSteps >= 2 && d > aircraft.standDistanceMax_nm &&
                   d - aircraft.standDistanceRef_nm >=
                       std::max(0.5 * aircraft.size_nm, 3.0 * kStandStep_nm)) {
            // A short push-back ends less than a step beyond its last one: waiting for a third
            // step, a B738 pushed 20 m never left its stand and sat 45 s behind its taxi.
            return lf_departsWith(aircraft, s);
        } else if (d <= aircraft.standDistanceMax_nm - kStandStep_nm) {
            aircraft.outwardSteps = 0;
            aircraft.pushReports.clear();
        }
        aircraft.departurePending = 0;
        return false;
    }
    if (aircraft.phase == FlightPhase::parking) {
        lf_setLivePhase(aircraft, FlightPhase::taxi, PhaseMemory::always);
        return true;
    }
    if (d > kStandFar_nm) {
        lf_addRealStandOption(aircraft.standId, aircraft, 3);
        lf_removeLiveFor(aircraft, fmt::format("reported {:.0f} m from its stand", d * 1852.0));
        return false;
    }
    return lf_departsWith(aircraft, s);
}

bool lf_movingReport(LiveAc& aircraft, QueuedSample& s)
{
    if (aircraft.approach || aircraft.landingRoll) return checkNewPosDuringLanding(aircraft, s);
    if (!lf_checkBirthReport(aircraft, s)) return false;
    if (aircraft.syntheticCount <= 0) {
        aircraft.reckonToHover = 0;
        return true;
    }
    if (aircraft.samples.empty()) {
        gf_logHighlighted(fmt::format("{} empty sz?", "checkExtendingSituations"));
        return false;
    }
    // Its reports are behind where it reckoned its way to: it goes on reckoning (they keep it
    // from running out) until they show it a place ahead. Where they lie well off the line it
    // reckoned along (it flew straight on while they turned), it cannot rejoin them: it is taken
    // out, and they make it anew where they are.
    const double off_deg = lf_offHeading_deg(aircraft, aircraft.samples.back(), s);
    if (!aircraft.onGround && off_deg >= 100.0) {
        const double aside_m = gf_distanceNm(lf_here(aircraft), lf_at(s)) * kMetresPerNm *
                               std::abs(std::sin(off_deg * kRadPerDeg));
        // Hovering where it is, it has no way ahead for reports that set off to be behind: kept
        // on hovering, an R44 258 m off its reported hover watched them leave it, for good.
        const bool leavesHover = aircraft.reckonToHover && s.groundSpeed_kt > kHoverDrift_kt;
        if (leavesHover && lf_headsForHover(aircraft, s)) {
            lf_reckonAtReportedHeight(aircraft, s);
        } else if (leavesHover) {
            lf_removeLiveFor(aircraft, "reported setting off from aside where it hovers");
        } else if (aside_m > kRejoinAside_m) {
            lf_removeLiveFor(aircraft, fmt::format("reported {:.1f} km aside the way it reckoned "
                                                   "while its reports paused",
                                                   aside_m / 1000.0));
        } else {
            lf_reckonAtReportedHeight(aircraft, s);
        }
        return false;
    }
    aircraft.reckonToHover = 0;
    // Reported again while it rolls out or holds by itself: the stop it laid out for itself
    // goes, so that it leaves the roll-out at the speed it has toward the report instead of
    // heading for that stop and dropping to 0 at once.
    if (aircraft.holding && aircraft.onGround) aircraft.samples.resize(1);
    lf_endSyntheticCount(aircraft);
    lf_endHold(aircraft);
    return true;
}

// A stationary tail that a creeping aircraft has left behind is dropped: a few seconds of it. A
// longer one is a stop its reports show, however near the report after it lies: dropped when it
// was shorter than 15 s or within 22 m of that report, a B738 braking to a stop of 8.5 s and an
// A320 to one of 10 s never stopped and rolled through at 9 and 13 kt where 1 to 4 kt was
// reported.
void lf_trimStationaryTail(LiveAc& aircraft, const QueuedSample& s)
{
    auto& q = aircraft.samples;
    if (s.airborne || q.empty() || !q.back().stationary) return;
    if (s.stationary) {
        if (std::all_of(q.begin(), q.end(), [](const QueuedSample& x) { return x.stationary; })) {
            q.resize(1);
        }
        return;
    }
    if (q.size() < 3) return;
    const std::size_t lowest = q.size() >= 7 ? q.size() - 6 : 1;
    for (std::size_t i = q.size() - 2; i >= lowest; --i) {
        if (q[i].stationary) continue;
        if (lf_reportedDue(q.back()) - lf_reportedDue(q[i]) < kCreepTail_ticks) {
            q.erase(q.begin() + static_cast<std::ptrdiff_t>(i) + 1, q.end());
        }
        return;
    }
}

}  // namespace

void lf_liftsOffAgain(LiveAc& aircraft)
{
    lf_setLivePhase(aircraft, FlightPhase::taxi, PhaseMemory::always);
    aircraft.takeOff = 1;
    gf_setThrottle(aircraft, 3);
    gf_setSpoilers(aircraft, true);
    gf_setFlaps(aircraft, 1);
    aircraft.approach = aircraft.touchdown = 0;
    aircraft.climbConfig = 0;
    gf_queueLightEvents(aircraft.objectId, {1U, 1U, 1U, 1U, 1U, 1U, 0U});
    lf_openWindows(aircraft);
}

namespace {

void lf_appendReport(LiveAc& aircraft, QueuedSample s)
{
    auto& q = aircraft.samples;
    lf_trimStationaryTail(aircraft, s);
    lf_dueAfterNewestReport(q, s);
    if (!q.empty() && aircraft.onGround && aircraft.state == SimObjectState::active &&
        !aircraft.takeOff) {
        const QueuedSample& last = q.back();
        if (!aircraft.landingRoll) {
            if (aircraft.phase == FlightPhase::taxi &&
                (s.airborne || (s.groundSpeed_kt >= 43.0 && last.groundSpeed_kt >= 43.0))) {
                lf_startTakeOff(aircraft);
            }
        } else if (last.airborne && s.airborne) {
            lf_liftsOffAgain(aircraft);
        }
    }
    q.push_back(s);
    if (q.size() == 2 && q[0].stationary && q[1].stationary) {
        lf_dueIn(q[0], 1);
        q[0].groundSpeed_kt = q[1].groundSpeed_kt;
    }
}

}  // namespace

namespace {

// A report that comes in just after the aircraft set out on a reckoned step in the air, ahead of
// where it is but short of the step's end (a feed that lags hands each over shortly before it
// falls due), is no report behind it: it flies from where it is to the report. Taken as behind
// the end of the step, 8 s on, the reports of an airliner descending near the field whose feed
// lagged 21 s were each dropped as they came, and it went straight on through the turn they
// made, 72 m off it. Only on an approach, where such a report is dropped: elsewhere the
// reckoning goes on from it (lf_reckonsFromReport), and an airliner in a turn of 2 to 3 degrees
// a second whose feed fell behind, flown to one instead, came out 3 km off its reports. Low on
// its approach the landing's own checks take each report.
bool lf_rejoinsAhead(LiveAc& aircraft, const QueuedSample& s)
{
    constexpr double kRejoinOnApproach_ft = 1000.0;
    auto& q = aircraft.samples;
    if (aircraft.onGround || aircraft.syntheticCount <= 0 || aircraft.reckonToHover ||
        !aircraft.approach || aircraft.heightAboveGround_ft <= kRejoinOnApproach_ft ||
        q.size() != 1 || !q.front().reckoned || !q.front().airborne || !s.airborne ||
        !(s.groundSpeed_kt > kHoverDrift_kt) || lf_ticksToDue(q.front()) < kMinLegTicks) {
        return false;
    }
    QueuedSample here = lf_sampleHere(aircraft);
    here.altitude_ft = aircraft.position.altitude_ft;
    if (lf_offHeading_deg(aircraft, q.back(), s) < 100.0 ||
        lf_offHeading_deg(aircraft, here, s) >= 90.0) {
        return false;
    }
    lf_endSyntheticCount(aircraft);
    q.clear();
    q.push_back(here);
    lf_appendReport(aircraft, s);
    return true;
}

}  // namespace

ReportTaken lf_decodeExisting(LiveAc& aircraft, QueuedSample s)
{
    auto& q = aircraft.samples;
    if (q.size() > kMaxQueued) {
        lf_removeLiveFor(aircraft, fmt::format("more than {} samples queued", kMaxQueued));
        return ReportTaken::dropped;
    }
    const bool held = aircraft.holding && !q.empty();
    const double fromHold_m = held ? gf_distanceNm(lf_at(s), lf_at(q.front())) * 1852.0 : 0.0;
    if (held && fromHold_m > HOLDING_THRESHOLD_METERS.current) {
        lf_endHold(aircraft);
        // Gone: nothing more is to be appended to a record on its way out.
        lf_removeLiveFor(aircraft, fmt::format("reported {:.0f} m from where it held", fromHold_m));
        return ReportTaken::dropped;
    }
    if (aircraft.phase == FlightPhase::birth) {
        if (q.empty() || !lf_checkBirthReport(aircraft, s)) return ReportTaken::dropped;
        lf_dueAfterNewest(q, s);
        q.push_back(s);
        return ReportTaken::dropped;
    }
    if (lf_hoversWhereItIs(aircraft, s)) {
        return aircraft.state == SimObjectState::removingfromsim ? ReportTaken::dropped
                                                                 : ReportTaken::relaid;
    }
    if (lf_rejoinsAhead(aircraft, s)) return ReportTaken::relaid;
    if (lf_reckonsFromReport(aircraft, s)) return ReportTaken::relaid;
    if (!checkExtendingSituations(aircraft, s)) return ReportTaken::dropped;
    if (aircraft.state == SimObjectState::removingfromsim) return ReportTaken::dropped;
    lf_appendReport(aircraft, s);
    return ReportTaken::appended;
}

namespace {

// Whether `s` lies behind `last` for an aircraft on its approach or landing roll: 90 degrees or
// more off its heading from there, and not reported going on away from it. The reports of a
// right-angle turn-off lie square to the runway from the one at the corner, and go on: dropped
// as lying behind, the exit was cut from the runway straight across to its last report.
bool lf_liesBehind(const LiveAc& aircraft, const QueuedSample& last, const QueuedSample& s)
{
    const double away_deg = std::abs(
        std::remainder(s.track_deg - gf_bearingRad(lf_at(last), lf_at(s)) / kRadPerDeg, 360.0));
    return lf_offHeading_deg(aircraft, last, s) >= 90.0 && !(away_deg < 90.0);
}

// Whether `s` shows an aircraft on its approach or landing roll going faster again than the
// slowest it is still to fly: a touch-and-go gathering speed on the runway, or a go-around. Less
// is the spread of reported speeds, which the landing holds down to the last one's. Held down
// too, a touch-and-go rolled and climbed out at the speed it touched down at, 50 kt slower than
// reported and 45 s behind.
bool lf_gathersSpeedAgain(const SampleQueue& q, const QueuedSample& s)
{
    const auto slowest = std::min_element(q.begin(), q.end(), [](const auto& a, const auto& b) {
        return a.groundSpeed_kt < b.groundSpeed_kt;
    });
    return slowest != q.end() && s.groundSpeed_kt > slowest->groundSpeed_kt + kSpeedSpread_kt;
}

// Whether the queue ends in a stop it stands on until `s` rolls away: every sample of it
// stands, or it ends standing at 0 kt for long enough before `s` to be no creep's.
bool lf_endsInStop(const SampleQueue& q, const QueuedSample& s)
{
    if (std::all_of(q.begin(), q.end(), [](const QueuedSample& x) { return x.stationary != 0; }))
        return true;
    std::size_t first = q.size();
    while (first > 0 && q[first - 1].groundSpeed_kt == 0.0) --first;
    return first < q.size() && lf_reportedDue(s) - lf_reportedDue(q[first]) >= kCreepTail_ticks;
}

// Whether the aircraft, standing on `last` (or to stand there) with nothing else ahead, is to
// set off for `s`, which rolls away: it stands until it sets off to reach `s` as that falls due,
// gathering speed to the one reported there, where that leaves it time to stand.
bool lf_setsOffFor(LiveAc& aircraft, const QueuedSample& last, const QueuedSample& s)
{
    auto& q = aircraft.samples;
    // Rolling still to a stop of 10 s when the report that set off from it came in, an A320
    // was taken as standing there until that report fell due; its reports paused after it, and
    // it stood 2 m short of it 45 s after it came in.
    if (last.groundSpeed_kt != 0.0 || s.groundSpeed_kt < kRollingRound_kt ||
        aircraft.state != SimObjectState::active || !lf_endsInStop(q, s)) {
        return false;
    }
    // Gathering speed evenly from a standstill, it covers the way at half the speed it reaches.
    const double apart_nm = gf_distanceNm(lf_at(last), lf_at(s));
    const int64_t setOff =
        lf_reportedDue(s) - std::llround(2.0 * apart_nm / s.groundSpeed_kt * kTicksPerHour);
    if (setOff <= int64_t{g_fastTicks}) return false;
    // With no time in hand to stand first, it sets off as it is due to leave, where it reaches
    // `s` a little late: taken as where it stands, a report 15 m on at a corner, 0.6 s short of
    // the time to set off for it after one that crept 0.2 m at 0.9 kt, had a C172 cut the corner
    // by 16.9 m.
    if (setOff <= lf_reportedDue(last)) {
        return apart_nm * kMetresPerNm > kSetsOffFrom_m &&
               lf_reportedDue(last) - setOff <= kSetsOffLate_ticks;
    }
    QueuedSample wait = last;
    wait.groundSpeed_kt = 0.0;
    wait.stationary = 1;
    lf_layDue(wait, setOff);
    q.push_back(wait);
    return true;
}

// Whether `s`, reported near `last`, shows an aircraft rolling on from there, round a bend or
// straight on at a crawl.
bool lf_rollsOn(const QueuedSample& last, const QueuedSample& s)
{
    return !last.stationary && last.groundSpeed_kt > 0.0 && s.groundSpeed_kt >= kRollingRound_kt;
}

}  // namespace

void lf_takeReports(LiveAc& aircraft, const std::vector<QueuedSample>& reports)
{
    auto& q = aircraft.samples;
    for (QueuedSample s : reports) {
        if (!checkExtendingSituations(aircraft, s)) continue;
        if (aircraft.state == SimObjectState::removingfromsim) return;
        lf_trimStationaryTail(aircraft, s);
        q.push_back(s);
    }
    // Each keeps the due tick it was reported for, put back behind where the aircraft is.
    lf_keepInTimeOrder(q);
}

namespace {

bool checkExtendingSituations(LiveAc& aircraft, QueuedSample& s)
{
    switch (aircraft.phase) {
    case FlightPhase::pushing_back: lf_pushBackReport(aircraft, s); return false;
    case FlightPhase::pushed_back: return lf_pushedBackReport(aircraft, s);
    case FlightPhase::parking:
    case FlightPhase::parked:
        if (aircraft.state == SimObjectState::buffer ||
            aircraft.state == SimObjectState::adding2sim) {
            return false;
        }
        return lf_parkedReport(aircraft, s);
    case FlightPhase::taxi:
    case FlightPhase::take_off:
    case FlightPhase::flying: return lf_movingReport(aircraft, s);
    case FlightPhase::birth: return lf_checkBirthReport(aircraft, s);
    }
    return false;
}

bool checkNewPosDuringLanding(LiveAc& aircraft, QueuedSample& s)
{
    auto& q = aircraft.samples;
    if (q.empty()) {
        gf_logHighlighted(fmt::format("{} empty sz?", "checkNewPosDuringLanding"));
        return false;
    }
    if (lf_samePlace(q.back(), s)) return false;
    const std::size_t size = q.size();
    if (size >= 2 && lf_liesBehind(aircraft, q.back(), s)) {
        q.pop_back();
        if (size >= 3 && lf_liesBehind(aircraft, q.back(), s)) q.pop_back();
    }
    if (q.size() == 1) {
        const double off = lf_offHeading_deg(aircraft, q.front(), s);
        if (aircraft.approach && off >= 90.0) {
            const double d_m = gf_distanceNm(lf_here(aircraft), lf_at(s)) * kMetresPerNm;
            const double aside_m =
                d_m * std::abs(std::sin(gf_bearingRad(lf_here(aircraft), lf_at(s)) -
                                        aircraft.position.heading_rad));
            if (aside_m > kApproachAside_m) {
                lf_removeLiveFor(aircraft,
                                 fmt::format("reported {:.0f} m aside its approach", aside_m));
            }
            return false;
        }
        if (aircraft.landingRoll && off >= 150.0) {
            if (aircraft.syntheticCount > 0) return false;
            QueuedSample& f = q.front();
            f.latitude = aircraft.position.latitude;
            f.longitude = aircraft.position.longitude;
            lf_dueIn(f, 1);
        }
    }
    lf_endSyntheticCount(aircraft);
    const QueuedSample& last = q.back();
    if (lf_samePlace(last, s)) {
        s.stationary = true;
    } else if (s.groundSpeed_kt > last.groundSpeed_kt && s.groundSpeed_kt > 40.0 &&
               !lf_gathersSpeedAgain(q, s)) {
        s.groundSpeed_kt = last.groundSpeed_kt;
    }
    return true;
}

bool lf_checkBirthReport(LiveAc& aircraft, QueuedSample& s)
{
    if (aircraft.samples.empty()) return true;
    const QueuedSample& last = aircraft.samples.back();
    s.stationary = lf_samePlace(last, s);
    if (aircraft.weightClass == WeightClass::Rotorcraft) {
        // A helicopter hovers where its reports repeat its place, unless they say it flies on:
        // that is its last position sent again. Hovered on, one at 100 kt stopped dead in a
        // tick and left at 5 kt a second, far behind its reports.
        return !(s.stationary && (s.airborne || lf_airborneActive(aircraft)) &&
                 s.groundSpeed_kt > kHoverDrift_kt);
    }
    if (!s.stationary) {
        // Near a place it reckoned or rolled out to by itself, a report is where the aircraft
        // is: taken as that place, a stop reported 18 m beyond where it ran out left it standing
        // short of it for good.
        const double perLon = lf_metresPerLonDeg(last.latitude);
        const bool near = std::abs(s.latitude - last.latitude) * kMetresPerDeg < kNear_m &&
                          std::abs(lf_lonDelta(s.longitude, last.longitude)) * perLon < kNear_m &&
                          !last.reckoned;
        if (near) {
            if (s.airborne || lf_airborneActive(aircraft)) return false;
            if (aircraft.takeOff && s.groundSpeed_kt > 0.0 && last.groundSpeed_kt >= 50.0) {
                return false;
            }
            // Stood still, it sets off for one that rolls away, timed to reach it as it falls
            // due, where it has the time in hand: taken as standing there until then, an A320
            // whose first report after a stop lay 5 m on stood 32 s more, then cut the bend
            // after it by 15 m to catch up. Where it has none, one a few metres on is taken as
            // where it stands, and the way on is rounded from there; one farther on that it
            // reaches at most 3 s late is set off for as it is due to leave.
            if (lf_setsOffFor(aircraft, last, s)) return true;
            // Rolling on it does not stand: the next report, farther on, shows the way on. Stood
            // on the last one, a right angle at 5 kt with reports a second apart stopped the
            // aircraft there for 11 s to turn on the spot.
            // Where the reports that roll on stay near it for long (a crawl, reports that pause
            // after), the one that comes then is taken as it is: dropped, a taxi at 3 kt whose
            // reports then paused stood 13 s short of the last of them.
            // Dropped, it is still where the aircraft went should its reports pause after it, as
            // one thinned out is: a taxi whose reports paused for 55 s stopped 3 m short of the
            // last of them, and stood there 56 s behind it once they came again.
            if (lf_rollsOn(last, s)) {
                if (lf_reportedDue(s) - lf_reportedDue(last) >= kRollOn_ticks) return true;
                if (!s.airborne) aircraft.thinned = s;
                return false;
            }
            // Nor does it stop well short of where a standstill after a report that moved says it
            // stopped: the reports it rolled on by since were thinned out, and taken at the last
            // one kept, a stop 20 m on was never reached. A few metres on, it is taken there: a
            // leg that short would have it brake from its speed at once.
            // Nor short of one farther on than it brakes in from that report's speed: a stop
            // 15 m on, after 6 s of reports of its braking from 6 kt thinned out, was taken there
            // and a departure stood short of its line-up, then rolled through it at 8 kt. So too
            // before it is put into the simulator: a B738 whose first reports rolled round a bend
            // to a stop 21 m past the last one kept stood there, 54 s behind them.
            const double brakesIn_m = std::clamp(
                std::pow(last.groundSpeed_kt * kMpsPerKt, 2.0) / (2.0 * kUsualBrake_mps2),
                kStopOnLeast_m, kStopOn_m);
            if (s.groundSpeed_kt == 0.0 && !last.stationary && last.groundSpeed_kt > 0.0 &&
                gf_distanceNm(lf_at(last), lf_at(s)) * kMetresPerNm > brakesIn_m) {
                return true;
            }
            // Taken as standing, one that rolls away is still where the aircraft went should
            // its reports pause after it, as one thinned out is: a taxi whose first report after
            // a stop lay 10 m on stood at the stop through a pause of 55 s, 66 s behind it.
            if (s.groundSpeed_kt >= kRollingRound_kt && !s.airborne) aircraft.thinned = s;
            const int32_t due = s.dueTick;
            s = last;
            lf_layDue(s, due);
            s.groundSpeed_kt = 0.0;
            s.stationary = true;
            return true;
        }
        if (s.groundSpeed_kt != 0.0) return true;
        if (!aircraft.takeOff && !s.airborne) return true;
        return last.groundSpeed_kt < 50.0;
    }
    if (s.airborne || lf_airborneActive(aircraft)) return false;
    if (aircraft.takeOff && s.groundSpeed_kt > 0.0 && last.groundSpeed_kt >= 30.0) return false;
    s.groundSpeed_kt = 0.0;
    return true;
}

void lf_startDeparture(LiveAc& aircraft, QueuedSample& s)
{
    s.stationary = false;
    aircraft.departurePending = 1;
    if (aircraft.previousPhase == FlightPhase::parked) return;
    if (aircraft.syntheticCount > 0) {
        if (aircraft.phase == FlightPhase::parked && !aircraft.samples.empty()) {
            if (aircraft.touchdown) {
                // The dead-reckoned front fell due a parked step after the sample it stood on.
                const int64_t stood =
                    g_fastTicks - lf_reportedDue(aircraft.samples.front()) + kParkedStep_ticks;
                int64_t limit = 0;
                if (aircraft.weightClass == WeightClass::Heavy) limit = 360000;
                if (aircraft.weightClass == WeightClass::Large) limit = 150000;
                if (aircraft.weightClass == WeightClass::Buzjets) limit = 90000;
                if (stood < limit) aircraft.towed = 1;
                aircraft.touchdown = 0;
            }
        }
        lf_endSyntheticCount(aircraft);
    }
    lf_addRealStandOption(aircraft.standId, aircraft, 2);
    lf_releaseStand(aircraft.standId, aircraft.hexId);
    lf_setLivePhase(aircraft, FlightPhase::parked, PhaseMemory::always);
}

}  // namespace

}  // namespace qel
