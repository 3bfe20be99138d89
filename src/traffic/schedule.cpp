// The schedule of a live flight's samples. A sample's due tick is the fast tick at which the
// aircraft is to stand on it; this file owns every due tick from the moment a report is handed
// over until the aircraft leaves, and the motion code moves one only through it:
// - the first due tick: the replay delay from now, at the report's place in its batch;
// - the due tick of each leg, from the time the motion code gives it at the aircraft's own
//   speed, held within the lateness windows around the tick it was reported for (save where the
//   leg's pace needs longer or shorter, or makes up lag: lf_setDueTick says when);
// - the lateness windows (below, with the reasons for their widths);
// - time order: a sample never falls due before the one ahead of it; one that would is put
//   back, and the ticks it was put back by (putBack_ticks) keep the tick it was reported for;
// - the making-up of lag: an aircraft held back (by a bend, a hold, a turn on the spot) makes
//   it up over the taxi legs after, each a tenth shorter at the most; one that a corner rounded
//   shorter than its reported way brought ahead gives that back as gently; and where the windows
//   pull a leg's end forward it still flies no faster than 1.3 times its own speed (1.5 in the
//   air, where it hurries once past the narrowest late window; where they push it back, no
//   slower than its own speed over 1.3); a creation that waited for
//   its turn starts where its schedule has got to;
// - the due ticks of the samples the traffic manager lays itself: dead-reckoned ones when the
//   reports stop, a hold's, the points between two samples.
//
// Threads: main-loop thread; lf_stampDueTicks runs on the "Traffic Reader" thread, on a batch
// that no other thread sees yet.
#include "traffic/schedule.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "realtraffic/realtraffic.h"
#include "traffic/motion_math.h"

namespace qel {

namespace {

// The windows never narrow below kWindowFloor_ticks (aircraft.h), at which they start.
// Each leg narrows the windows by a second, back to the floor in twenty legs.
constexpr int32_t kWindowStep = 100;
// Where the aircraft may have run out of step with its reports (it dead-reckoned through a
// pause, leaves its stand, begins its approach or its take-off): the replay delay, in ticks of
// 10 ms, so that it rejoins them over the legs after instead of being hurried to them.
constexpr int32_t kOpenWindow = kPollDelay_s * 100;
// The take-off roll gathers speed from a standstill at a bounded rate and falls behind its
// reports further than it runs ahead of them.
constexpr int32_t kOpenTakeOffLateWindow = 5000;
// A turn of 90 degrees or more is taken slower than the reports show.
constexpr int32_t kSharpTurnWindow = 2000;
constexpr double kSharpTurn_deg = 90.0;
// An aircraft behind its reports catches up at no more than this times its own speed: the
// windows alone would make it fly a leg in 250 ms. In the air one ahead of them falls back to
// them at no less than its own speed over this: as the windows narrow a second a leg, they would
// slow it to half its speed and less.
constexpr double kMaxCatchUp = 1.3;
// Such a feed catches up by half a second a second: at 1.3 times its speed an aircraft still fell
// behind by 0.35 s a second of it, 49 s behind after two minutes; at 1.5, by a quarter less.
// That is well within the twice its reported speed a watcher takes for plausible.
constexpr double kMaxAirCatchUp = 1.5;
// A polled report is due the replay delay after it comes in, and the windows open that wide as
// an approach begins: a landing roll held by them came to its reports up to a minute after they
// came in (an A320 that reckoned its roll through a pause fell 48 s behind them). The roll falls
// no further behind a report than this (ticks); it hurries within kMaxCatchUp instead.
constexpr int64_t kLandingLate_ticks = 500;
// The least a polled report is due after it is handed over (ticks).
constexpr int64_t kLateFeedLead_ticks = 1000;
// The step of a hold (the steps of dead-reckoned samples are in schedule.h).
constexpr int32_t kHoldStep_ticks = 300;

constexpr int64_t kLastTick = std::numeric_limits<int32_t>::max();

// now + 100 × delay + 10 × the report's offset from the median in whole tenths of a second,
// saturated into 32 bits so that an absurd report time cannot overflow.
int32_t lf_dueTick(int32_t now, int32_t delay_s, double offset_s)
{
    const double tenths = std::clamp(std::round(10.0 * offset_s), -1e12, 1e12);
    const int64_t due = int64_t{now} + 100 * int64_t{delay_s} + 10 * std::llround(tenths);
    return static_cast<int32_t>(std::clamp<int64_t>(due, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The element of index n / 2 after a partial sort: the upper middle for an even count.
double lf_medianReportTime(const std::vector<LiveAircraftRecord>& batch)
{
    std::vector<double> times;
    times.reserve(batch.size());
    for (const auto& record : batch) times.push_back(record.reportTime_s);
    const auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
    std::nth_element(times.begin(), middle, times.end());
    return *middle;
}

// A corner's lead lasts as long as the aircraft is on the ground.
int64_t lf_earlyReach(const LiveAc& aircraft)
{
    return int64_t{aircraft.earlyWindow} + (aircraft.onGround ? aircraft.cornerLead_ticks : 0);
}

// A taxi, or a landing roll, reaches the newest report it has no sooner than a late feed's report
// falls due after it came in, nor later than the report itself is due: a feed that falls behind
// hands its reports over as little as kLateFeedLead_ticks before they fall due, and the early
// window let a taxi reach each as it came in. It stood there until the next came and set off
// again, from 12 kt to 0 in a second and back, over and over; a roll came to its runway exit
// before the report beyond it, braked to a stop there and turned off on the spot.
bool lf_towardNewest(const LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    return aircraft.phase == FlightPhase::taxi && aircraft.onGround && !aircraft.takeOff &&
           s.size() == 2 && !s[1].reckoned;
}

int64_t lf_withinWindows(const LiveAc& aircraft, int64_t t, int64_t reportedDue)
{
    int64_t low = reportedDue - lf_earlyReach(aircraft);
    if (lf_towardNewest(aircraft)) {
        low =
            std::max(low, std::min(int64_t{aircraft.heardTick} + kLateFeedLead_ticks, reportedDue));
    }
    const int64_t high = reportedDue + aircraft.lateWindow;
    return t > high ? high : std::max(t, low);
}

// Not on an approach whose touchdown is queued: from half as fast again, at the 5 kt a second an
// air leg's speed changes by, it takes 15 s to slow to its own, and the touchdown leg slows in
// one. Hurried to its touchdown, a B738 came onto its runway from 220 kt, 73 kt in two seconds.
// Held back on any approach below 1,000 ft instead, an A320 flown low past a field at 271 kt
// while its feed caught up from 42 s behind fell 53.6 s behind its reports.
bool lf_hurriesInTheAir(const LiveAc& aircraft)
{
    const auto& s = aircraft.samples;
    const bool landing = std::any_of(s.begin(), s.end(), [](const auto& x) { return !x.airborne; });
    return !aircraft.onGround && !(aircraft.approach && landing);
}

// `legTicks`: the leg at the aircraft's own speed.
int32_t lf_clampDue(const LiveAc& aircraft, int64_t legTicks, int64_t reportedDue)
{
    int64_t t = int64_t{g_fastTicks} + legTicks;
    if (aircraft.syntheticCount < 1) {
        t = lf_withinWindows(aircraft, t, reportedDue);
        if (aircraft.landingRoll) t = std::min(t, reportedDue + kLandingLate_ticks);
        // In the air a feed that catches up brings its reports due up to twice as fast as they
        // were reported: let lag past the floor stand while the windows narrow, and an A320
        // reported at 271 kt by a feed 60 s behind held that speed and fell 49 s behind them.
        // It catches up as fast as it may instead.
        const bool hurries = lf_hurriesInTheAir(aircraft);
        if (hurries) t = std::min(t, reportedDue + kWindowFloor_ticks);
        const double catchUp = hurries ? kMaxAirCatchUp : kMaxCatchUp;
        const auto fastest =
            static_cast<int64_t>(std::ceil(static_cast<double>(legTicks) / catchUp));
        t = std::max(t, int64_t{g_fastTicks} + fastest);
        if (!aircraft.onGround) {
            const auto slowest =
                static_cast<int64_t>(std::floor(static_cast<double>(legTicks) * kMaxCatchUp));
            t = std::min(t, int64_t{g_fastTicks} + slowest);
        }
    }
    return static_cast<int32_t>(std::clamp<int64_t>(std::max<int64_t>(t, g_fastTicks),
                                                    std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

std::vector<StampedRecord> lf_stampDueTicks(std::vector<LiveAircraftRecord>& batch, int32_t delay_s,
                                            int32_t now)
{
    std::vector<StampedRecord> stamped;
    if (batch.empty()) return stamped;
    const double median = lf_medianReportTime(batch);
    stamped.reserve(batch.size());
    // A record that its poll's median would make due already, or nearly (its feed lags the
    // traffic around it by the replay delay or more), is due a little after now: in the past, it
    // could be flown only in a rush, and a flight whose every report came so late was dropped as
    // soon as it was made, or caught up with each report and stood until the next came.
    const int64_t earliest = delay_s >= kPollDelay_s ? int64_t{now} + kLateFeedLead_ticks
                                                     : std::numeric_limits<int32_t>::min();
    for (auto& record : batch) {
        const int32_t due = lf_dueTick(now, delay_s, record.reportTime_s - median);
        stamped.push_back(
            {std::move(record), static_cast<int32_t>(std::max<int64_t>(due, earliest))});
    }
    return stamped;
}

void lf_layDue(QueuedSample& s, int64_t tick)
{
    s.dueTick = static_cast<int32_t>(std::clamp<int64_t>(tick, std::numeric_limits<int32_t>::min(),
                                                         std::numeric_limits<int32_t>::max()));
    s.putBack_ticks = 0;
}

void lf_dueIn(QueuedSample& s, int64_t ticks) { lf_layDue(s, int64_t{g_fastTicks} + ticks); }

void lf_dueAfter(QueuedSample& s, int32_t before, int64_t ticks)
{
    s.dueTick = static_cast<int32_t>(std::min<int64_t>(int64_t{before} + ticks, kLastTick));
}

void lf_dueBetween(QueuedSample& x, const QueuedSample& a, const QueuedSample& b, double share)
{
    const auto due = static_cast<double>(lf_reportedDue(a));
    lf_layDue(x, std::llround(due + (static_cast<double>(lf_reportedDue(b)) - due) * share));
}

void lf_syntheticDue(const LiveAc& aircraft, QueuedSample& s)
{
    const int64_t step = aircraft.phase == FlightPhase::parked ? kParkedStep_ticks
                                                               : 100 * lf_reckonStep_s(s.airborne);
    lf_dueAfter(s, s.dueTick, step);
}

void lf_holdDue(QueuedSample& copy) { lf_dueAfter(copy, copy.dueTick, kHoldStep_ticks); }

void lf_setDueTick(LiveAc& aircraft, int32_t legTicks)
{
    QueuedSample& b = aircraft.samples[1];
    lf_layDue(b, lf_clampDue(aircraft, legTicks, lf_reportedDue(b)));
}

void lf_setGroundDueTick(LiveAc& aircraft, int32_t legTicks)
{
    aircraft.pace.reportedDue = lf_reportedDue(aircraft.samples[1]);
    aircraft.cornerLead_ticks = std::max(aircraft.cornerLead_ticks - legTicks / 10, 0);
    lf_setDueTick(aircraft, legTicks);
}

void lf_setStandstillDue(LiveAc& aircraft)
{
    const QueuedSample& a = aircraft.samples[0];
    QueuedSample& b = aircraft.samples[1];
    const int64_t reported = lf_reportedDue(b);
    int64_t span = reported - lf_reportedDue(a);
    span = span < 0 ? kMinLegTicks : std::max<int64_t>(span, kMinLegTicks);
    const int64_t now = g_fastTicks;
    int64_t t = now + std::max<int64_t>(lf_reportedDue(a) - now + span, kMinLegTicks);
    if (aircraft.syntheticCount < 1) t = lf_withinWindows(aircraft, t, reported);
    lf_layDue(b, std::max<int64_t>(std::max(t, now), 0));
}

void lf_openWindows(LiveAc& aircraft)
{
    aircraft.earlyWindow = kOpenWindow;
    aircraft.lateWindow = aircraft.takeOff ? kOpenTakeOffLateWindow : kOpenWindow;
}

void lf_narrowWindows(LiveAc& aircraft)
{
    aircraft.earlyWindow = std::max(kWindowFloor_ticks, aircraft.earlyWindow - kWindowStep);
    aircraft.lateWindow = std::max(kWindowFloor_ticks, aircraft.lateWindow - kWindowStep);
}

void lf_legNarrowsWindows(LiveAc& aircraft)
{
    if (!aircraft.takeOff && !aircraft.landingRoll) lf_narrowWindows(aircraft);
}

void lf_widenWindowsForTurn(LiveAc& aircraft, double turn_deg)
{
    if (!(turn_deg >= kSharpTurn_deg)) return;
    aircraft.earlyWindow = std::max(aircraft.earlyWindow, kSharpTurnWindow);
    aircraft.lateWindow = std::max(aircraft.lateWindow, kSharpTurnWindow);
}

// The lead is taken up where a watcher does not see it: rounding the corner at its reported
// speed and giving the time back a tenth of a leg at a time, as lateness is made up. Held to the
// reports through the corner instead, an aircraft slowed to a crawl round it (150 degrees at
// 10 kt came out 14 s ahead at its own speed: it went round at 3.5 kt). The lead a corner gives
// is at most the replay delay; it would show the aircraft where its reports are yet to put it.
void lf_takeCornerLead(LiveAc& aircraft, int64_t ticks)
{
    if (!(ticks > 0)) return;
    aircraft.cornerLead_ticks = static_cast<int32_t>(
        std::min<int64_t>(int64_t{aircraft.cornerLead_ticks} + ticks, kOpenWindow));
}

LatenessWindows lf_windowsOf(const LiveAc& aircraft)
{
    return {aircraft.earlyWindow, aircraft.lateWindow};
}

void lf_undoNarrowing(LiveAc& aircraft, const LatenessWindows& before)
{
    aircraft.earlyWindow = std::max(aircraft.earlyWindow, before.early_ticks);
    aircraft.lateWindow = std::max(aircraft.lateWindow, before.late_ticks);
}

void lf_keepInTimeOrder(SampleQueue& samples)
{
    for (std::size_t k = 1; k < samples.size(); ++k) {
        QueuedSample& x = samples[k];
        const int64_t reported = lf_reportedDue(x);
        const int64_t due = std::max(reported, int64_t{samples[k - 1].dueTick});
        x.dueTick = static_cast<int32_t>(due);
        // Between due ticks saturated at either end of their range the gap exceeds 32 bits.
        x.putBack_ticks = static_cast<int32_t>(std::min(due - reported, kLastTick));
    }
}

void lf_frontDueLater(SampleQueue& samples)
{
    int32_t& due = samples.front().dueTick;
    if (due == std::numeric_limits<int32_t>::max()) return;
    ++due;
    if (samples.size() > 1 && samples[1].dueTick < due) lf_keepInTimeOrder(samples);
}

void lf_dueAfterNewest(const SampleQueue& samples, QueuedSample& s)
{
    if (s.dueTick <= samples.back().dueTick) lf_dueAfter(s, samples.back().dueTick, 1);
}

void lf_dueAfterNewestReport(const SampleQueue& samples, QueuedSample& s)
{
    if (!samples.empty() && lf_reportedDue(samples.back()) >= s.dueTick) {
        lf_layDue(s, lf_reportedDue(samples.back()) + 1);
    }
}

void lf_endSyntheticCount(LiveAc& aircraft)
{
    // Only a running extension moves the front: reported samples keep their due ticks.
    if (aircraft.syntheticCount != 0 && !aircraft.samples.empty()) {
        lf_dueIn(aircraft.samples.front(), 1);
    }
    aircraft.syntheticCount = 0;
    lf_openWindows(aircraft);
}

void lf_endSyntheticSamples(LiveAc& aircraft)
{
    if (aircraft.syntheticCount == 0) return;
    aircraft.syntheticCount = 0;
    lf_openWindows(aircraft);
}

// Time the aircraft lost behind its reports (held back by a bend, a hold while its reports
// paused, the wait for its first report after a push-back) is made up over the taxi legs after
// it, a tenth of each leg's time at the most: a tenth faster than reported, it is not seen to
// hurry. Its lateness is measured, as the windows measure it, from its sample's reported due
// tick, and it never arrives before that. A leg that ends in a stop waits there for its next
// report anyway, one that sets off with a turn on the spot gathers speed up to its reported one
// only (the caller leaves it out), the take-off and landing rolls keep to their own schedules,
// a lateness the windows already cut back is theirs to make up, and dead-reckoned samples are
// due by no report.
void lf_makeUpLateness(LiveAc& aircraft, int32_t& n)
{
    const LegPace& pace = aircraft.pace;
    if (!pace.reportedDue || pace.stops || aircraft.takeOff || aircraft.landingRoll ||
        aircraft.syntheticCount > 0 || aircraft.phase != FlightPhase::taxi) {
        return;
    }
    const int64_t late = int64_t{g_fastTicks} + n - *pace.reportedDue;
    if (late >= aircraft.lateWindow) return;
    const auto pay = static_cast<int32_t>(std::min<int64_t>(late, n / 10));
    if (pay <= 0) return;
    n -= pay;
    lf_dueIn(aircraft.samples[1], n);
}

bool lf_catchUpWithSchedule(LiveAc& aircraft)
{
    auto& s = aircraft.samples;
    const int32_t now = g_fastTicks;
    if (aircraft.phase == FlightPhase::parked || s.size() < 2 || s.front().dueTick >= now) {
        return false;
    }
    while (s.size() > 2 && s[1].dueTick <= now) s.pop_front();
    if (s[1].dueTick <= now) {
        // Its newest report is due already (its feed lags the traffic around it): it starts
        // there and reckons its way on. Started at the sample before, moved onto that report's
        // place, it stood on it and had no leg to fly.
        s.pop_front();
        lf_dueAfter(s.front(), now, 0);
        return true;
    }
    QueuedSample& a = s[0];
    const QueuedSample& b = s[1];
    const double span = static_cast<double>(int64_t{b.dueTick} - a.dueTick);
    const auto since = static_cast<double>(int64_t{now} - a.dueTick);
    const double f = span > 0.0 ? std::clamp(since / span, 0.0, 1.0) : 1.0;
    const auto between = [f](double x, double y) { return x + f * (y - x); };
    if (!b.stationary) {
        a.latitude = between(a.latitude, b.latitude);
        a.longitude = lf_wrapLon(a.longitude + f * lf_lonDelta(b.longitude, a.longitude));
        a.altitude_ft = between(a.altitude_ft, b.altitude_ft);
        a.groundSpeed_kt = between(a.groundSpeed_kt, b.groundSpeed_kt);
        a.airspeed_kt = between(a.airspeed_kt, b.airspeed_kt);
        a.verticalRate_fpm = between(a.verticalRate_fpm, b.verticalRate_fpm);
    }
    // Due now, and put back as far behind its report as the sample it was laid from.
    lf_dueAfter(a, now, 0);
    return true;
}

}  // namespace qel
