// Reports that come in behind where an aircraft in the air reckoned its way to: the reckoning
// laid anew from where it is, at the height and along the way they show.
//
// Threads: main-loop thread.
#include "traffic/air_rejoin.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "traffic/curve_geometry.h"
#include "traffic/ground_pace.h"
#include "traffic/live_road.h"
#include "traffic/motion_math.h"
#include "traffic/schedule.h"

namespace qel {

namespace {

// Reports that set off toward where a helicopter hovers pass it within this of it (metres): a
// few seconds' rounding of a corner.
constexpr double kHoverMeetAside_m = 25.0;

// Whether reports that set off from the hover a helicopter came to late fly on along their track
// toward where it hovers: it hovers on until they come up to it, and flies on with them from
// there. Taken out as the first came in, an R44 73 m past its hover, on the line they set off
// along, was made anew behind itself while its reports went on coming.
bool lf_onTrackAhead(const QueuedSample& s, LatLon at)
{
    const double d_m = gf_distanceNm(lf_at(s), at) * kMetresPerNm;
    const double off_rad = lf_wrapPi(gf_bearingRad(lf_at(s), at) - s.track_deg * kRadPerDeg);
    return std::cos(off_rad) > 0.0 && d_m * std::abs(std::sin(off_rad)) <= kHoverMeetAside_m;
}

bool lf_slowsToHover(const LiveAc& aircraft, const QueuedSample& s)
{
    return aircraft.weightClass == WeightClass::Rotorcraft &&
           s.groundSpeed_kt < aircraft.reckonFrom_kt - kSpeedSpread_kt;
}

// Where a report that falls behind the aircraft, flown on along its track and turning as the
// reports before it turned, puts it `ahead_s` after it was made.
LatLon lf_reckonedFrom(LiveAc& aircraft, const QueuedSample& s, double ahead_s)
{
    constexpr double kMostTurn_degPerS = 3.0;
    constexpr int kSteps = 8;
    const double since_s = aircraft.reportTime_s - aircraft.behindTrack_s;
    double turn_degPerS = 0.0;
    // A helicopter slowing down may be slowing into a hover round its turn: turned on at the rate
    // its slowed reports turned, on the tight circle their speed makes, one reckoned 70 degrees
    // round past them and came to its hover 160 m aside theirs.
    if (since_s >= 1.0 && since_s <= 30.0 && !lf_slowsToHover(aircraft, s)) {
        turn_degPerS = std::clamp(
            lf_wrapPi((s.track_deg - aircraft.behindTrack_deg) * kRadPerDeg) / kRadPerDeg / since_s,
            -kMostTurn_degPerS, kMostTurn_degPerS);
    }
    aircraft.behindTrack_deg = s.track_deg;
    aircraft.behindTrack_s = aircraft.reportTime_s;
    LatLon at = lf_at(s);
    const double step_s = ahead_s / kSteps;
    const double step_ft = s.groundSpeed_kt * step_s / 3600.0 * kFeetPerNm;
    for (int i = 0; i < kSteps; ++i) {
        const double track_deg = s.track_deg + turn_degPerS * step_s * (i + 0.5);
        at = gf_destinationPoint(at, track_deg * kRadPerDeg, step_ft);
    }
    // The reckoning on from there goes straight on, as this turn guesses ahead already.
    aircraft.reckonTurns = 0;
    return at;
}

}  // namespace

double lf_offHeading_deg(const LiveAc& aircraft, const QueuedSample& from, const QueuedSample& to)
{
    return std::abs(
               lf_wrapPi(gf_bearingRad(lf_at(from), lf_at(to)) - aircraft.position.heading_rad)) /
           kRadPerDeg;
}

// Reports that fall behind where the aircraft reckoned its way to still say how high it flies:
// the leg in progress ends where the newest one's altitude and vertical speed put it then, and
// the reckoning goes on level from there. Reckoning on level at the height it set out at, an
// airliner whose feed fell behind as it descended at 2,600 ft a minute flew 340 ft above the
// reports of where it was, and more.
void lf_reckonAtReportedHeight(LiveAc& aircraft, const QueuedSample& s)
{
    auto& q = aircraft.samples;
    if (!s.airborne || aircraft.approach || q.empty() || !q.front().reckoned ||
        !q.front().airborne) {
        return;
    }
    // The time from the report's place to the end of the leg, at the speed reported there: its
    // due tick says none, as one that came in after it fell due is laid a little after now.
    const double since = s.groundSpeed_kt > 0.0 ? gf_distanceNm(lf_at(s), lf_at(q.front())) *
                                                      kTicksPerHour / s.groundSpeed_kt
                                                : 0.0;
    const double then_ft = std::max(s.altitude_ft + s.verticalRate_fpm * since / 6000.0, 0.0);
    for (QueuedSample& x : q) {
        if (x.reckoned && x.airborne) x.altitude_ft = then_ft;
    }
    const auto left = static_cast<double>(std::max<int64_t>(lf_ticksToDue(q.front()), 25));
    aircraft.altRate =
        std::min((then_ft - aircraft.position.altitude_ft) / left, aircraft.maxClimbRate_ft);
}

bool lf_headsForHover(const LiveAc& aircraft, const QueuedSample& s)
{
    return lf_onTrackAhead(s, lf_here(aircraft));
}

// A helicopter that has reckoned its way past the hover its reports now show, late: it comes to
// its hover where it is, as gently as it may, and hovers there while the reports of that hover
// come (lf_movingReport drops them). Reckoning on at its speed, one drifted 131 m past its
// hover, and dropped 28 kt in a second when the reckoning ran out. It stands in for that hover
// only where it stops by it, or on the line the reports flew into it along, ahead of it and
// within the reach of a reckoning that rejoins its reports: reckoned round its turn through a
// pause, one came to its hover 206 m from the one reported, 122 m aside their line, and hovered
// 92 m off the reports of it until they set off and took it out. Farther it is taken out at
// once, to be made anew on them. True when the queue is laid anew from where it is to where it
// stops, or it is taken out.
bool lf_hoversWhereItIs(LiveAc& aircraft, const QueuedSample& s)
{
    auto& q = aircraft.samples;
    if (aircraft.weightClass != WeightClass::Rotorcraft || aircraft.onGround ||
        aircraft.syntheticCount <= 0 || aircraft.reckonToHover || q.empty() ||
        aircraft.phase != FlightPhase::flying || !(s.groundSpeed_kt <= kHoverDrift_kt) ||
        lf_offHeading_deg(aircraft, q.back(), s) < 100.0) {
        return false;
    }
    const QueuedSample here = lf_sampleHere(aircraft);
    QueuedSample stop = lf_runOutStop(here, lf_here(aircraft), aircraft.position.heading_rad,
                                      here.groundSpeed_kt, g_fastTicks);
    stop.altitude_ft = aircraft.position.altitude_ft;
    const double fromHover_m = gf_distanceNm(lf_at(s), lf_at(stop)) * kMetresPerNm;
    const bool near = fromHover_m <= kHoverMeetAside_m;
    if ((!near && !lf_onTrackAhead(s, lf_at(stop))) || fromHover_m > kRejoinAside_m) {
        lf_removeLiveFor(aircraft, fmt::format("reported hovering {:.0f} m from where it would "
                                               "come to its hover",
                                               fromHover_m));
        return true;
    }
    aircraft.reckonToHover = 1;
    q.clear();
    q.push_back(here);
    q.push_back(stop);
    return true;
}

// Reports that fall behind where the aircraft reckoned its way to still say which way it flies:
// its reckoning goes on from the newest, flown on along its track as the reports turn, to where
// that puts it as the leg in progress ends. Reckoned on along its own heading, a departure whose
// feed fell 38 s behind in a climbing turn of 2 degrees a second flew straight on, 1 km aside
// its reports, and was taken out as they came. True when the queue is laid anew from where it is.
bool lf_reckonsFromReport(LiveAc& aircraft, const QueuedSample& s)
{
    auto& q = aircraft.samples;
    if (aircraft.onGround || aircraft.approach || aircraft.syntheticCount <= 0 ||
        aircraft.reckonToHover || q.empty() || !q.front().reckoned || !q.front().airborne ||
        !s.airborne || !(s.groundSpeed_kt > kHoverDrift_kt)) {
        return false;
    }
    // Far aside the way it reckoned (it flew straight on through a pause while they turned), it
    // cannot rejoin them: lf_movingReport takes it out.
    const double off_deg = lf_offHeading_deg(aircraft, q.back(), s);
    const double aside_m = gf_distanceNm(lf_here(aircraft), lf_at(s)) * kMetresPerNm *
                           std::abs(std::sin(off_deg * kRadPerDeg));
    if (off_deg < 100.0 || aside_m > kRejoinAside_m) return false;
    // Its due tick says nothing of when it was where it was reported: one that came in after it
    // fell due is laid a little after now. The way from it to the end of the leg, at the speed
    // reported there, does.
    if (lf_ticksToDue(q.front()) < kMinLegTicks) return false;
    const double ahead_s = gf_distanceNm(lf_at(s), lf_at(q.front())) * 3600.0 / s.groundSpeed_kt;
    QueuedSample to = q.front();
    const LatLon at = lf_reckonedFrom(aircraft, s, ahead_s);
    to.latitude = at.lat;
    to.longitude = at.lon;
    const QueuedSample here = lf_sampleHere(aircraft);
    q.clear();
    q.push_back(here);
    q.push_back(to);
    // Slowing down, it comes onto the line its reports fly along and goes on along it, not across
    // it: gone on along the way it came onto it, one crossed it at 30 degrees and came to its
    // hover 58 m aside theirs. Not where it cannot come onto it in the leg's time at up to twice
    // its speed (far off after a pause): held to that line, one hurried on to 184 kt.
    const double leg_nm = gf_distanceNm(lf_at(here), lf_at(to));
    const double reach_nm =
        2.0 * here.groundSpeed_kt * static_cast<double>(lf_ticksToDue(to)) / kTicksPerHour;
    if (lf_slowsToHover(aircraft, s) && leg_nm <= reach_nm) {
        constexpr double kAlong_s = 3.0;
        QueuedSample on = to;
        const LatLon next = gf_destinationPoint(at, s.track_deg * kRadPerDeg,
                                                to.groundSpeed_kt * kAlong_s / 3600.0 * kFeetPerNm);
        on.latitude = next.lat;
        on.longitude = next.lon;
        lf_layDue(on, int64_t{to.dueTick} + std::llround(kAlong_s * 100.0));
        q.push_back(on);
    }
    lf_reckonAtReportedHeight(aircraft, s);
    return true;
}

}  // namespace qel
