// The traffic intake: each record of a poll (taken from the adding stack by the fast tick) or
// of the first load is merged into the live aircraft with its hex id or becomes a new one in
// state buffer.
//
// Threads: main-loop thread; the first load is merged on the "Traffic Reader" thread while the
// main loop does not run yet, so nothing else touches the traffic then.
#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "liveries/liveries.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/motion.h"
#include "traffic/motion_math.h"
#include "traffic/park_airports.h"

namespace qel {

namespace {

constexpr double kMinNewer_s = 1.0;
// A hovering helicopter drifts at a few knots at most.
constexpr double kHoverDrift_kt = 10.0;
// The hardest an aircraft in the air slows to a stop (kt a second), as the air legs change speed.
constexpr double kHardestStop_ktps = 5.0;
// A report that jumped is taken as where the aircraft is when the next comes this soon after.
constexpr double kJumpConfirm_s = 60.0;
// Reports of one speed spread by a few knots (kt); braking, an aircraft still this fast is not
// yet near a stop or a crawl, which the reports after say where it comes to (kt).
constexpr double kSpeedSpread_kt = 5.0;
constexpr double kFarFromStop_kt = 6.0;
// A straight, steady path gains nothing from a report closer than this to the last.
constexpr double kAirStep_nm = 0.2429805615550756;       // 450 m
constexpr double kGroundStep_nm = 0.010799136069114472;  // 20 m
constexpr double kMaxGroundWait_s = 15.0;
constexpr double kNearField_ft = 108.0;
constexpr double kNoField_ft = -1000.0;
// A newcomer waits thirty seconds for its first report to fall due; the distances of the active
// aircraft its slot is judged by may be a second old.
constexpr int32_t kSlotDistancesAge_ticks = 100;

// Near the park airport's field and not yet in the simulator: a record that the simulator
// would put into the ground.
bool lf_nearFieldElevation(double altitude_ft)
{
    const double field = gf_parkAirportSet() ? lf_parkElevation_ft() : kNoField_ft;
    return altitude_ft > 0.0 && altitude_ft < 10000.0 &&
           std::abs(altitude_ft - field) <= kNearField_ft;
}

// Whether the newest sample says the aircraft was moving: by its speed, or by its place, which
// it moved to from the sample or the leg before it (a first report says neither).
bool lf_newestMoved(const LiveAc& aircraft)
{
    const QueuedSample& last = aircraft.samples.back();
    if (last.groundSpeed_kt > 0.0) return true;
    const bool first = aircraft.samples.size() == 1 && aircraft.state == SimObjectState::buffer;
    return !first && !last.stationary;
}

// The fastest an aircraft goes from one report to the next (kt): half as fast again as the
// faster of the speeds they report, and a margin for a speed the feed has not caught up with,
// wider in the air, where it lags a dive or a turn more.
double lf_reachable_kt(double v0_kt, double v1_kt, bool airborne)
{
    return std::max(std::abs(v0_kt), std::abs(v1_kt)) * 1.5 + (airborne ? 120.0 : 60.0);
}

bool lf_reaches(LatLon from, double from_s, double from_kt, const LiveAircraftRecord& record)
{
    const double dt_s = record.reportTime_s - from_s;
    const LatLon to{record.sample.latitude, record.sample.longitude};
    const double limit_kt =
        lf_reachable_kt(from_kt, record.sample.groundSpeed_kt, record.sample.airborne);
    return gf_distanceNm(from, to) <= limit_kt * std::max(dt_s, kMinNewer_s) / 3600.0;
}

// Where flying on from `from` along the track at the speed for `span_s` puts an aircraft.
LatLon lf_flownOn(LatLon from, double track_deg, double speed_kt, double span_s)
{
    const double ft = std::max(speed_kt, 0.0) * std::max(span_s, 0.0) / 3600.0 * kFeetPerNm;
    return gf_destinationPoint(from, track_deg * kRadPerDeg, ft);
}

bool lf_addsNothing(const LiveAc& aircraft, const LiveAircraftRecord& record)
{
    const QueuedSample& last = aircraft.samples.back();
    const double dt = record.reportTime_s - aircraft.reportTime_s;
    const double v = record.sample.groundSpeed_kt;
    const double w = last.groundSpeed_kt;
    if (dt <= kMinNewer_s) return true;
    // A speed ten times another is a slip of the feed between two reports; not where the aircraft
    // waits by itself at 0 kt through a pause in them: every report of the take-off roll it made
    // meanwhile was dropped, and it stood at its line-up while they climbed away.
    const bool waits = last.reckoned && !last.airborne && w == 0.0;
    if (!waits && ((w > 5.0 && v >= 10.0 * w) || (v > 5.0 && w >= 10.0 * v))) return true;
    if (!waits && ((w <= 5.0 && v >= 80.0) || (v <= 5.0 && w >= 80.0))) return true;
    if (aircraft.syntheticCount >= 1) return false;
    const double dh = std::abs(record.sample.track_deg - last.track_deg);
    // Not a place it cannot have got to, which lf_canGetThere holds as a jump: thinned out as
    // well, the first of the reports of a flight moved 830 m back along its way was dropped, the
    // second came within reach of the last kept, and an aircraft at 126 kt turned round to fly
    // back to it.
    if (record.sample.airborne && v > 120.0 && dh <= 1.0) {
        return dt <= kAirStep_nm / (v / 3600.0) &&
               lf_reaches(aircraft.reportedAt, aircraft.reportTime_s, w, record);
    }
    // A standstill after a sample that moved says where the aircraft stopped: dropped, it would
    // roll on past that place when no report follows.
    if (v == 0.0 && lf_newestMoved(aircraft)) return false;
    // Nor is a path steady where the aircraft brakes and rolls on: a report slower than the last
    // kept by more than the spread of one speed says where it slowed. Measured by the new speed
    // alone, the 20 m a report adds thinned out every report of a C172 braking from 19 to 3 kt,
    // 0.3 s apart: back from a pause, it made up time on the one leg left, to the crawl, and ran
    // onto it at 12.5 kt where 3.6 kt was reported. Nearer a stop, the stop's rules say where it
    // stands: taken as standing at a report of 5 kt kept 4 s before it, a B738 stopped short,
    // then ran on past it.
    const bool brakes = v >= kFarFromStop_kt && v < w - kSpeedSpread_kt;
    if (!record.sample.airborne && v <= 30.0 && dh <= 2.0 && !brakes) {
        const double limit =
            v > 0.0 ? std::min(kGroundStep_nm / (v / 3600.0), kMaxGroundWait_s) : kMaxGroundWait_s;
        return dt <= limit;
    }
    return false;
}

// In the air, a report within reach of both the place held as a jump and the one before it goes
// on from the jump where it lies behind the one before, against its track, and far nearer where
// flying on from the jump puts it: the reports of one flight moved 830 m back along its way, and
// one of them 230 m behind the last before the move, and so within reach of it, turned an
// aircraft at 126 kt round to fly back to it. One ahead of it goes on from there: the one before
// may be a place the feed repeated.
bool lf_followsJump(const LiveAc& aircraft, const LiveAircraftRecord& record)
{
    const PosSample& s = record.sample;
    if (!s.airborne || aircraft.samples.empty() || !aircraft.samples.back().airborne) return false;
    const QueuedSample& last = aircraft.samples.back();
    const LatLon to{s.latitude, s.longitude};
    const double off_rad = gf_bearingRad(aircraft.reportedAt, to) - last.track_deg * kRadPerDeg;
    if (std::cos(off_rad) >= 0.0) return false;
    const LatLon onFromJump = lf_flownOn(aircraft.jumpTo, s.track_deg, s.groundSpeed_kt,
                                         record.reportTime_s - aircraft.jumpTo_s);
    const LatLon onFromLast = lf_flownOn(aircraft.reportedAt, last.track_deg, last.groundSpeed_kt,
                                         record.reportTime_s - aircraft.reportTime_s);
    return 2.0 * gf_distanceNm(to, onFromJump) < gf_distanceNm(to, onFromLast);
}

// Whether the report puts the aircraft where it can have got to since the newest merged. A place
// it cannot have got to is never flown (an 8.3 km step between two standing reports was flown at
// 64,500 kt): it is held, and dropped when the next report goes on from where the aircraft was,
// as a slip of the feed. Where the next goes on from there instead, the aircraft is there now:
// it is taken out with a line saying so, and the reports after make it anew where they put it.
bool lf_canGetThere(LiveAc& aircraft, const LiveAircraftRecord& record)
{
    const double last_kt = aircraft.samples.empty() ? 0.0 : aircraft.samples.back().groundSpeed_kt;
    const bool goesOnFromJump =
        aircraft.jumpHeld && record.reportTime_s - aircraft.jumpTo_s <= kJumpConfirm_s &&
        lf_reaches(aircraft.jumpTo, aircraft.jumpTo_s, record.sample.groundSpeed_kt, record);
    if (lf_reaches(aircraft.reportedAt, aircraft.reportTime_s, last_kt, record) &&
        !(goesOnFromJump && lf_followsJump(aircraft, record))) {
        aircraft.jumpHeld = 0;
        return true;
    }
    if (goesOnFromJump) {
        aircraft.jumpHeld = 0;
        lf_removeLiveFor(aircraft,
                         fmt::format("reported {:.1f} km from where it was {:.0f} s before, "
                                     "farther than it can go",
                                     gf_distanceNm(aircraft.reportedAt, aircraft.jumpTo) * 1.852,
                                     aircraft.jumpTo_s - aircraft.reportTime_s));
        return false;
    }
    aircraft.jumpHeld = 1;
    aircraft.jumpTo = {record.sample.latitude, record.sample.longitude};
    aircraft.jumpTo_s = record.reportTime_s;
    return false;
}

// A report in the air without its speed (0 kt) whose place moved on from the one before faster
// than a hovering helicopter drifts: its speed is the one its places give. Taken as 0 kt, a
// helicopter at 40 kt flew that leg at 20 kt, or slowed as if into a hover. Unless it can have
// come to a stop there from the speed before, slowing no harder than kHardestStop_ktps: that is
// a hover its reports paused before. Given the 27 kt its places made over the 42 s pause, a
// helicopter reported at 40 kt before it flew into that hover at 24 kt and stopped dead.
void lf_mendLostSpeed(const LiveAc& aircraft, LiveAircraftRecord& record)
{
    PosSample& s = record.sample;
    const double span_s = record.reportTime_s - aircraft.reportTime_s;
    if (!s.airborne || s.groundSpeed_kt != 0.0 || !(span_s > 0.0)) return;
    const double moved_nm = gf_distanceNm(aircraft.reportedAt, {s.latitude, s.longitude});
    if (!(moved_nm * 3600.0 / span_s > kHoverDrift_kt)) return;
    double before_kt = aircraft.samples.empty() ? 0.0 : aircraft.samples.back().groundSpeed_kt;
    if (!aircraft.samples.empty() && aircraft.samples.back().reckoned) {
        before_kt = std::max(before_kt, aircraft.reckonFrom_kt);
    }
    // Flying on at that speed and braking at the last moment, it stops this far on at the most.
    const double farthestStop_nm =
        (before_kt * span_s - before_kt * before_kt / (2.0 * kHardestStop_ktps)) / 3600.0;
    if (moved_nm <= farthestStop_nm) return;
    s.groundSpeed_kt = s.airspeed_kt = moved_nm * 3600.0 / span_s;
}

// The track of a report in the air, and how fast the reports turn: measured over two seconds at
// the least, as a track is rounded and a report a fraction of a second after the one before
// says little of a turn, and over half a minute at the most, as a longer span is no turn of
// now. A reckoning that sets out from the report goes on turning so (lf_addSyntheticSample).
void lf_noteTrack(LiveAc& aircraft, const LiveAircraftRecord& record)
{
    constexpr double kShortestSpan_s = 2.0;
    constexpr double kLongestSpan_s = 30.0;
    constexpr double kMostTurn_degPerS = 3.0;
    const PosSample& s = record.sample;
    // A hovering helicopter's drift and a report without its speed say nothing of its track.
    if (!s.airborne || !(s.groundSpeed_kt > kHoverDrift_kt)) {
        aircraft.trackNewest_s = aircraft.trackFrom_s = 0.0;
        aircraft.trackTurn_degPerS = 0.0;
        return;
    }
    aircraft.trackNewest_deg = s.track_deg;
    aircraft.trackNewest_s = record.reportTime_s;
    const double span_s = record.reportTime_s - aircraft.trackFrom_s;
    if (aircraft.trackFrom_s > 0.0 && span_s < kShortestSpan_s) return;
    aircraft.trackTurn_degPerS = 0.0;
    if (aircraft.trackFrom_s > 0.0 && span_s <= kLongestSpan_s) {
        const double turn_deg =
            lf_wrapPi((s.track_deg - aircraft.trackFrom_deg) * kRadPerDeg) / kRadPerDeg;
        aircraft.trackTurn_degPerS =
            std::clamp(turn_deg / span_s, -kMostTurn_degPerS, kMostTurn_degPerS);
    }
    aircraft.trackFrom_deg = s.track_deg;
    aircraft.trackFrom_s = record.reportTime_s;
}

// A second report of the newest one's time (two sources of the feed mixed up) whose place lies
// nearer where the report before puts the aircraft is its place: it takes the other's place in
// the queue while that is not yet flown. Dropped instead, the first of them stayed: a twin 20 m
// aside a touch-and-go's landing roll, taken as a jog of 10 degrees, braked it from 145 kt to
// 52 kt, and it gathered speed again at 8 kt a second into its climb; one 29 m from a hover
// flew a helicopter there and back at 30 kt.
bool lf_takesTwin(LiveAc& aircraft, const LiveAircraftRecord& record)
{
    auto& q = aircraft.samples;
    if (record.reportTime_s != aircraft.reportTime_s || q.size() < 3) return false;
    QueuedSample& twin = q.back();
    const QueuedSample& before = q[q.size() - 2];
    if (twin.reckoned || before.reckoned) return false;
    // A hover's place is where it hovers; a flight's lies on the line its track points along.
    const bool hovers = before.stationary || !(before.groundSpeed_kt > kHoverDrift_kt);
    const auto off_nm = [&before, hovers](LatLon at) {
        const double d_nm = gf_distanceNm(lf_at(before), at);
        if (hovers) return d_nm;
        const double off_rad = gf_bearingRad(lf_at(before), at) - before.track_deg * kRadPerDeg;
        return d_nm * std::abs(std::sin(off_rad));
    };
    const LatLon to{record.sample.latitude, record.sample.longitude};
    if (!(off_nm(to) < off_nm(lf_at(twin)))) return false;
    const int32_t putBack = twin.putBack_ticks;
    twin = QueuedSample(record.sample, twin.dueTick);
    twin.putBack_ticks = putBack;
    aircraft.reportedAt = to;
    return true;
}

bool lf_classWanted(int category)
{
    switch (category) {
    case 0: return LIGHT_AIRCRAFT.current;
    case 1:
    case 2:
    case 3: return true;
    case 4: return HIGH_PERF_AIRCRAFT.current;
    case 5: return HELICOPTERS.current;
    default: return false;
    }
}

void lf_newLiveAc(StampedRecord& stamped)
{
    LiveAircraftRecord& record = stamped.record;
    const int category = gf_sizeCategory(record.key.model);
    if (!lf_classWanted(category)) return;
    if (lf_nearFieldElevation(record.sample.altitude_ft)) return;
    const QueuedSample first(record.sample, stamped.dueTick);
    // A newcomer that no slot can take would only wait for its first report to fall due, to be
    // dropped then and built again from the next poll: in a full sky hundreds of them cost every
    // tick their merges and one tick their drop. The free slots are taken first by the records
    // already waiting for one; one short of the limit a whole poll would be built otherwise.
    if (lf_noSlotFor(record.sample, kSlotDistancesAge_ticks, g_bufferedLiveCount)) {
        lf_holdOut(record, lf_wakeTickOf(first));
        return;
    }
    record.secondCallsign = record.callsign;
    record.thirdText.clear();
    record.flag = 0;
    FlightData data = initLiveAc(record);
    data.hexId = record.hexId;
    data.currentTurnRate_rad = data.groundTurnRate_rad;
    data.maxClimbRate_ft = gf_maxClimbRate_ftPerTick(data.weightClass);
    data.standTaxiSpeed_kt = gf_standTaxiSpeed_kt(data.weightClass);
    lf_appendLive(LiveAc(first, data, record.reportTime_s)).heardTick = g_fastTicks;
}

void lf_addNewAircraft(StampedRecord& stamped)
{
    LiveAircraftRecord& record = stamped.record;
    if (const auto prefix = gf_registrationPrefix(record.registration); prefix && prefix->model) {
        record.key.model = prefix->model;
    }
    if (!gf_isModelCode(g_modelCodes.text(record.key.model))) return;
    lf_newLiveAc(stamped);
}

bool lf_sameFlightElsewhere(const LiveAircraftRecord& record)
{
    const auto sameModel = [&record](const LiveAc& a) { return a.key.model == record.key.model; };
    return lf_findLiveByCallsign(record.callsign, sameModel) != nullptr ||
           lf_heldOutElsewhere(record);
}

void lf_merge(StampedRecord& stamped)
{
    LiveAircraftRecord& record = stamped.record;
    LiveAc* aircraft = lf_findLive(record.hexId);
    if (!aircraft) {
        // It would only have joined its flight's waiting record, which no slot takes either.
        if (lf_heldOutHex(record.hexId)) return;
        if (!record.callsign.empty() && !g_liveAcs.empty() && lf_sameFlightElsewhere(record)) {
            return;
        }
        lf_addNewAircraft(stamped);
        return;
    }
    if (aircraft->state == SimObjectState::liveryrespawn ||
        aircraft->state == SimObjectState::removingfromsim) {
        return;
    }
    aircraft->heardTick = g_fastTicks;
    if (lf_takesTwin(*aircraft, record)) return;
    if (!aircraft->samples.empty() && lf_addsNothing(*aircraft, record)) {
        if (record.reportTime_s > aircraft->reportTime_s) {
            aircraft->thinned = QueuedSample(record.sample, stamped.dueTick);
        }
        return;
    }
    if (aircraft->state == SimObjectState::buffer &&
        lf_nearFieldElevation(record.sample.altitude_ft)) {
        return;
    }
    if (!lf_acceptReport(*aircraft, record)) return;
    if (!lf_canGetThere(*aircraft, record)) return;
    lf_noteTrack(*aircraft, record);
    lf_mendLostSpeed(*aircraft, record);
    aircraft->reportTime_s = record.reportTime_s;
    aircraft->reportedAt = {record.sample.latitude, record.sample.longitude};
    aircraft->thinned.reset();
    decodeExisting(*aircraft, QueuedSample(record.sample, stamped.dueTick));
    lf_refreshWake(*aircraft);
}

}  // namespace

void lf_mergeFirstLoad(std::vector<StampedRecord>& batch)
{
    for (auto& stamped : batch) lf_mergeReport(stamped);
}

void lf_mergeReport(StampedRecord& stamped)
{
    const LiveAircraftRecord& record = stamped.record;
    try {
        lf_merge(stamped);
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        // A fault in one report costs its aircraft, not the tick and the program; left in the
        // traffic the aircraft would meet the same fault with its next report.
        gf_logHighlighted(fmt::format("{}: {} hexid: {}, cs:{}", "lf_mergeReport", e.what(),
                                      record.hexId, record.callsign));
        if (LiveAc* aircraft = lf_findLive(record.hexId)) removeAircraftFromSim(*aircraft);
    }
}

}  // namespace qel
