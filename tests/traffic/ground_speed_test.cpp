// How fast live aircraft on the ground change their speed as the simulator shows it, through
// the stand-in simulator and scripted polls: no taxi turn, line-up or braking changes it by more
// than 10 kt in a second (about half a g).
#include <cmath>

#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

class GroundSpeed : public MotionRoad {};

// Where `toAms` lies from `fromAms` at Schiphol, taken from `corner` instead.
LatLon lf_movedOffset(LatLon corner, LatLon fromAms, LatLon toAms)
{
    return gf_destinationPoint(corner, gf_bearingRad(fromAms, toAms),
                               gf_distanceNm(fromAms, toAms) * kFeetPerNm);
}

TEST_F(GroundSpeed, ALineUpOntoTheRunwaySlowsForItsCornerAndTurnsWithoutAJerk)
{
    // The route of a departure at Schiphol, as the RealTraffic feed interpolates it every 2 s:
    // taxiing at 9 to 15 kt to the runway, then turning 136 degrees onto it while its reported
    // speed rises from 15 kt towards 150 kt, the positions running on ahead of those speeds.
    // The corner lies on the taxiway north of Düsseldorf's 23L. It turns without a jerk and at
    // most 0.3 g sideways.
    const LatLon corner{51.2960, 6.7790};
    const LatLon taxiFrom = lf_movedOffset(corner, {52.3045, 4.7778}, {52.306, 4.766});
    const LatLon runway = lf_movedOffset(corner, {52.3045, 4.7778}, {52.293806, 4.750201});
    const struct {
        double t_s;
        LatLon at;
        double gs_kt;
    } route[] = {{150, taxiFrom, 9}, {300, corner, 15}, {340, runway, 150}};
    std::vector<Report> reports;
    for (double t = 240; t <= 322; t += 2) {
        const int k = t < 300 ? 0 : 1;
        const double f = (t - route[k].t_s) / (route[k + 1].t_s - route[k].t_s);
        const LatLon at{route[k].at.lat + f * (route[k + 1].at.lat - route[k].at.lat),
                        route[k].at.lon + f * (route[k + 1].at.lon - route[k].at.lon)};
        const double track_deg = gf_bearingRad(route[k].at, route[k + 1].at) / kRadPerDeg;
        reports.push_back(reportAt(at, 0,
                                   route[k].gs_kt + f * (route[k + 1].gs_kt - route[k].gs_kt),
                                   std::fmod(track_deg + 360, 360), t));
    }
    startAt("line-up", {});
    livery(0x48548e);
    watchSpeed(0x48548e);
    for (const auto& poll : pollsOf(reports)) {
        push(poll, 30);
        runTicks(0x48548e, 200);
    }
    runTicks(0x48548e, 3000);

    EXPECT_GT(seconds_, 40);
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    // It slows for the corner: rounded at the speed it came at, the turn pressed it sideways
    // at a whole g.
    EXPECT_LE(turning_[0x48548e].g, 0.3) << turning_[0x48548e].gAt;
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(GroundSpeed, ALandingRollWhoseReportsStopBrakesGently)
{
    // KLM56A's reports end with the first one on the runway, at 120 kt: the landing roll goes on
    // without them, and brakes by itself from the roll's sixth second on.
    LatLon p{};
    double taxi_deg = 0;
    std::vector<Report> reports = arrivalOnto23L(0x48548e, 0, p, taxi_deg);
    reports.resize(12);
    startAt("roll-out", {});
    livery(0x48548e);
    watchSpeed(0x48548e);
    fly(0x48548e, reports, 4000);

    EXPECT_GT(seconds_, 10);
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    // About 3 kt a second, as an airliner brakes, not the firmest rate: never 25 kt within 5 s.
    for (size_t i = 5; i < shown_kt_.size(); ++i) {
        EXPECT_LT(shown_kt_[i - 5] - shown_kt_[i], 25.0) << "second " << i;
    }
    expectNoException();
}

// KLM56A's reports on 23L's taxiway, 5 s apart: 4 legs east at 15 kt, then one leg at each of
// `speeds` on the same course (a take-off roll), `climbLegs` of them in the air at 160 kt.
std::vector<Report> lf_rollEast(std::initializer_list<double> speeds, int climbLegs)
{
    LatLon p{51.2960, 6.7790};
    double alt = 0;
    double t = 0;
    std::vector<Report> reports{reportAt(p, 0, 15, 90, t)};
    reportLeg(reports, p, alt, t, 90, 15, 0, 4);
    for (double v : speeds) reportLeg(reports, p, alt, t, 90, v, 0, 1);
    alt = 50;
    reportLeg(reports, p, alt, t, 90, 160, 1500, climbLegs);
    return reports;
}

TEST_F(GroundSpeed, ATakeOffRollReportedInFortyKnotStepsGathersSpeedSteadily)
{
    startAt("coarse-roll", {});
    livery(0x48548e);
    watchSpeed(0x48548e);
    fly(0x48548e, lf_rollEast({40, 80, 120, 150}, 4), 2000);

    EXPECT_TRUE(went("take_off"));
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    expectNoException();
}

TEST_F(GroundSpeed, ATakeOffRollWhoseReportsStopGathersSpeedSteadily)
{
    // Reported no more after 45 and 60 kt, the roll goes on by itself up to its lift-off.
    startAt("reckoned-roll", {});
    livery(0x48548e);
    watchSpeed(0x48548e);
    fly(0x48548e, lf_rollEast({45, 60}, 0), 6000);

    EXPECT_TRUE(went("take_off"));
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    expectNoException();
}

// KLM56A's reports, 5 s apart, taxiing east at 20 kt for half a minute from `t_s` on; `p` and
// `t_s` end where and when it is then.
std::vector<Report> lf_taxiEastAt20(LatLon& p, double& t_s)
{
    p = {51.2960, 6.7790};
    double alt = 0;
    std::vector<Report> reports{reportAt(p, 0, 20, 90, t_s)};
    reportLeg(reports, p, alt, t_s, 90, 20, 0, 6);
    return reports;
}

TEST_F(GroundSpeed, AnArrivalReportedTurningOffOnlyLateRunsOutToAStopFirst)
{
    // KLM56A's reports pause once it has slowed to 20 kt on the runway and resume, turned off to
    // the left, only when it has rolled on past the last of them: it runs out to a stop before
    // it turns onto the taxiway on the spot.
    LatLon p{};
    double taxi_deg = 0;
    std::vector<Report> rollOut = arrivalOnto23L(0x48548e, 0, p, taxi_deg, 4);
    const std::vector<Report> turnOff(rollOut.begin() + 16, rollOut.end());
    rollOut.resize(16);
    startAt("late-turn-off", {});
    livery(0x48548e);
    watchSpeed(0x48548e);
    fly(0x48548e, rollOut, 3000);
    fly(0x48548e, turnOff, 3000);

    EXPECT_TRUE(went("taxi"));
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(GroundSpeed, ATaxiingAircraftWhoseReportsStopRollsToAStop)
{
    startAt("taxi-silent", {});
    LatLon p{};
    double t = 0;
    const std::vector<Report> reports = lf_taxiEastAt20(p, t);
    livery(0x48548e);
    watchSpeed(0x48548e);
    fly(0x48548e, reports, 3000);

    ASSERT_NE(live(0x48548e), nullptr);
    EXPECT_EQ(live(0x48548e)->holding, 1);
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    expectNoException();
}

TEST_F(GroundSpeed, AnAircraftReportedStandingComesToRestWhereItStands)
{
    // KLM56A taxies east at 20 kt and is reported standing on its last moving report for 10 s;
    // then its transponder is switched off. It stops there, not where it would roll to by itself.
    startAt("taxi-stops", {});
    LatLon p{};
    double t = 0;
    std::vector<Report> reports = lf_taxiEastAt20(p, t);
    for (double after_s : {5.0, 10.0}) reports.push_back(reportAt(p, 0, 0, 90, t + after_s));
    livery(0x48548e);
    fly(0x48548e, reports, 3000);

    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    EXPECT_LT(gf_distanceNm(lf_here(*aircraft), p) * 1852.0, 1.0);
    expectNoException();
}

TEST_F(GroundSpeed, ATaxiingAircraftWhoseReportsResumeAsItRollsToAStopGoesOnFromItsSpeed)
{
    // KLM56A's reports pause while it taxies east and resume, going back west, while it still
    // rolls out to a stop by itself: it follows them to the last one.
    startAt("taxi-resumes", {});
    LatLon p{};
    double t = 0;
    const std::vector<Report> east = lf_taxiEastAt20(p, t);
    std::vector<Report> west;
    double alt = 0;
    reportLeg(west, p, alt, t, 270, 20, 0, 4);
    livery(0x48548e);
    watchSpeed(0x48548e);
    fly(0x48548e, east, 2600);
    fly(0x48548e, west, 3000);

    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    EXPECT_LT(
        gf_distanceNm({aircraft->position.latitude, aircraft->position.longitude}, p) * 1852.0,
        30.0);
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    expectNoException();
}

TEST_F(GroundSpeed, AnArrivalTurningOntoAStandAsItRollsRunsOutToAStopFirst)
{
    // KLM56A's reports end as it turns off the runway: it rolls on by itself and turns for A1,
    // which lies 30 m ahead and faces 90 degrees left of its way, on the spot.
    LatLon p{};
    double taxi_deg = 0;
    const std::vector<Report> reports = arrivalOnto23L(0x48548e, 0, p, taxi_deg, 4);
    const LatLon a1 = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 10 / 0.3048);
    startAt("stand-aside", {ParkStand("A1", {}, a1.lat, a1.lon, (taxi_deg - 90) * kRadPerDeg, 30.0,
                                      false, false, false)});
    livery(0x48548e);
    watchSpeed(0x48548e);
    fly(0x48548e, reports, 6000);

    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    EXPECT_EQ(aircraft->phase, FlightPhase::parked);
    EXPECT_LT(std::abs(lf_wrapPi(aircraft->position.heading_rad - g_parkStands[0].heading)),
              5.0 * kRadPerDeg);
    EXPECT_LE(largestChange_kt_, 10.0) << largestAt_;
    expectNoException();
}

TEST_F(GroundSpeed, AnAircraftThatStoodGathersSpeedForItsReportsAndKeepsUpWithThem)
{
    // KLM56A stands on A1, is pushed back for 45 s at 4 kt, stands for 30 s, gathers speed over
    // 15 s and is then reported taxiing east-north-east at 15 kt. Its push-back ends off its
    // reported path, and its first taxi report is all it knows of the way on when it sets off:
    // it rounds the bend at that report as it rolls, as the reports show it, and does not stop
    // there to turn on the spot. KLM57B, 550 m north, taxies east at 10 kt; its reports pause
    // for 30 s, go on for 40 s, pause for 35 s and go on for 80 s, their places as if it had
    // kept going. Each stands for a few seconds before it is reported moving on, gathers speed
    // up to its reported one at once, and makes up the time it lost: its lag behind its reports
    // comes back to what it was before.
    const LatLon a1{51.2900, 6.7700};
    const LatLon a2 = gf_destinationPoint(a1, 1.5 * kPi, 400 / 0.3048);
    startAt("stood", {ParkStand("A1", {}, a1.lat, a1.lon, 0.0, 30.0, false, false, false),
                      ParkStand("A2", {}, a2.lat, a2.lon, 0.0, 30.0, false, false, false)});
    std::vector<Report> reports;
    standingAt(reports, 0x48548e, "KLM56A", a1, 0);
    LatLon at = a1;
    double alt = 0;
    double t = 20;
    reportLeg(reports, at, alt, t, 180, 4, 0, 9);
    reportLeg(reports, at, alt, t, 60, 0, 0, 6);
    for (const double gs_kt : {3.75, 7.5, 11.25}) reportLeg(reports, at, alt, t, 60, gs_kt, 0, 1);
    const Report gathered = reports.back();
    reportLeg(reports, at, alt, t, 60, 15, 0, 20);
    const double taxiEnd_s = t;
    // KLM58C, pushed back from A2 as KLM56A from A1, rolls forward 39 m at 7.5 kt and stops: it
    // sets off for its last moving report and learns of the stop there only as it rolls.
    std::vector<Report> roll58;
    standingAt(roll58, 0x485490, "KLM58C", a2, 0);
    at = a2;
    t = 20;
    reportLeg(roll58, at, alt, t, 180, 4, 0, 9);
    reportLeg(roll58, at, alt, t, 90, 0, 0, 6);
    reportLeg(roll58, at, alt, t, 90, 7.5, 0, 2);
    for (int i = 0; i < 4; ++i) roll58.push_back(reportAt(at, 0, 0, 0, t += 5));
    for (Report& r : roll58) {
        r.hex = 0x485490;
        r.callsign = "KLM58C";
        reports.push_back(r);
    }
    for (Report& r : reports) r.registration.clear();
    LatLon p = gf_destinationPoint(a1, 0.0, 550 / 0.3048);
    t = 0;
    std::vector<Report> taxi57{reportAt(p, 0, 10, 90, t)};
    reportLeg(taxi57, p, alt, t, 90, 10, 0, 8);
    std::vector<double> beforePauses_s{t};
    for (const auto& [pause_s, legs] : {std::pair{30, 8}, std::pair{35, 16}}) {
        std::vector<Report> more;
        reportLeg(more, p, alt, t, 90, 10, 0, pause_s / 5 + legs);
        taxi57.insert(taxi57.end(), more.begin() + pause_s / 5, more.end());
        beforePauses_s.push_back(t);
    }
    for (Report& r : taxi57) {
        r.hex = 0x48548f;
        r.callsign = "KLM57B";
        r.registration.clear();
        reports.push_back(r);
    }
    livery(0x48548e);
    livery(0x48548f);
    livery(0x485490);
    // The seconds `hex` lies behind its reports along `course_deg` from `from` on at `gs_kt`:
    // each poll is handed over 5 s after the one before, and the replay is 30 s behind it.
    const int32_t start = g_fastTicks;
    const auto lag_s = [&](uint32_t hex, const Report& from, double gs_kt, double course_deg) {
        const LatLon origin{from.lat, from.lon};
        const LiveAc* aircraft = live(hex);
        const LatLon here{aircraft->position.latitude, aircraft->position.longitude};
        const double along_m = gf_distanceNm(origin, here) * 1852.0 *
                               std::cos(gf_bearingRad(origin, here) - course_deg * kRadPerDeg);
        const double reported_s = from.time_s - Report{}.time_s + along_m / (gs_kt / 3600 * 1852);
        return (g_fastTicks - start) / 100.0 - reported_s;
    };
    // KLM57B's lag as the last report before each pause and the last of all fall due; KLM56A's
    // worst lag and slowest shown speed once it has set off after its push-back, up to its last
    // report.
    std::vector<double> lags_s;
    double worstLag56_s = 0.0;
    double slowest56_kt = HUGE_VAL;
    double fastest58_kt = 0.0;
    std::string outOfOrder;  // the first queue seen with a sample due before the one ahead of it
    eachTick_ = [&] {
        for (const LiveAc& aircraft : g_liveAcs) {
            const auto& s = aircraft.samples;
            for (std::size_t k = 1; k < s.size() && outOfOrder.empty(); ++k) {
                if (s[k].dueTick < s[k - 1].dueTick) {
                    outOfOrder = fmt::format("{} at tick {}: sample {} due {} ticks before {}",
                                             aircraft.callsign, g_fastTicks.load(), k,
                                             s[k - 1].dueTick - s[k].dueTick, k - 1);
                }
            }
        }
        if (const LiveAc* roller = live(0x485490); roller && roller->objectId != 0) {
            fastest58_kt =
                std::max(fastest58_kt, simstandin::object(roller->objectId)->groundSpeed_kt);
        }
        for (const double due_s : beforePauses_s) {
            if (g_fastTicks - start == std::lround((due_s + 30) * 100)) {
                lags_s.push_back(lag_s(0x48548f, taxi57.front(), 10, 90));
            }
        }
        const LiveAc* aircraft = live(0x48548e);
        if (!aircraft || aircraft->phase != FlightPhase::taxi ||
            g_fastTicks - start > taxiEnd_s * 100) {
            return;
        }
        const double shown_kt = simstandin::object(aircraft->objectId)->groundSpeed_kt;
        if (slowest56_kt < HUGE_VAL || shown_kt >= 5.0) {
            slowest56_kt = std::min(slowest56_kt, shown_kt);
            worstLag56_s = std::max(worstLag56_s, lag_s(0x48548e, gathered, 15, 60));
        }
    };
    fly(0x48548e, reports, 3100);

    ASSERT_EQ(lags_s.size(), 3u);
    EXPECT_NEAR(lags_s[0], 30.0, 1.0);
    EXPECT_LT(lags_s[1], lags_s[0] + 2.0);
    EXPECT_LT(lags_s[2], lags_s[0] + 2.0);
    EXPECT_TRUE(went("pushed_back"));
    EXPECT_GT(slowest56_kt, 5.0);
    // It brakes for its stop at the usual rate and takes the time that needs, instead of
    // hurrying first to brake within the time it had.
    EXPECT_LE(fastest58_kt, 7.5 + 0.25);
    EXPECT_LT(worstLag56_s, 30.0 + 7.0);
    EXPECT_EQ(outOfOrder, "");
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(GroundSpeed, ACornerBetweenTwoReportsIsRoundedWithoutAStopOrASwingAfterIt)
{
    // KLM56A taxies east at 20 kt and turns 58 degrees left halfway between two of its reports,
    // going on at 15 kt. Wherever its reports happen to fall, it rounds the corner as it rolls,
    // and does not stop at it to turn on the spot. It turns evenly about the corner, from as far
    // before it as its report after the corner lies beyond, so that it slows only a little before
    // the tightest part and not after its heading has come round. Slowed by the corner, it
    // gathers speed up to its reported one after it, and not beyond, to win back the time the
    // corner took.
    const LatLon start{51.2960, 6.7790};
    const LatLon corner = gf_destinationPoint(start, kPi / 2, 20 * 60 / 3600.0 * kFeetPerNm);
    std::vector<Report> reports;
    for (double t = 2.5; t < 120; t += 5) {
        const bool before = t < 60;
        const LatLon at = before ? gf_destinationPoint(start, kPi / 2, 20 * t / 3600 * kFeetPerNm)
                                 : gf_destinationPoint(corner, 32 * kRadPerDeg,
                                                       15 * (t - 60) / 3600 * kFeetPerNm);
        reports.push_back(reportAt(at, 0, before ? 20 : 15, before ? 90 : 32, t));
    }
    startAt("corner-between-reports", {});
    livery(0x48548e);
    double slowest_kt = HUGE_VAL;
    double fastestAfter_kt = 0.0;  // gathering speed once it heads the way out of the corner
    double lastShown_kt = 0.0;
    eachTick_ = [&] {
        const LiveAc* aircraft = live(0x48548e);
        if (!aircraft || g_fastTicks % 100 != 0 || g_fastTicks < 4000 || g_fastTicks > 14000) {
            return;
        }
        const double shown_kt = simstandin::object(aircraft->objectId)->groundSpeed_kt;
        slowest_kt = std::min(slowest_kt, shown_kt);
        if (std::abs(aircraft->position.heading_rad / kRadPerDeg - 32.0) < 3.0 &&
            shown_kt > lastShown_kt + 0.25) {
            fastestAfter_kt = std::max(fastestAfter_kt, shown_kt);
        }
        lastShown_kt = shown_kt;
    };
    fly(0x48548e, reports, 1000);

    EXPECT_GT(slowest_kt, 14.0);
    // At most a tenth faster than reported while it makes up time.
    EXPECT_LE(fastestAfter_kt, 15.0 * 1.1 + 0.25);
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(GroundSpeed, ASlowCornerIsNeitherHurriedToNorHurriedFrom)
{
    // KLM56A taxies east at 18 kt and turns 135 degrees left between two of its reports, the one
    // after the corner 12 m beyond it, and slows to 13 kt for it: within 12 m of its ways no
    // wider way round allows more. It does not speed up on the leg to the corner to win back the
    // time the corner will cost (18.9 kt, held to its time alone), nor after it faster than lost
    // time is made up (a tenth of each leg's time).
    const LatLon start{51.2960, 6.7790};
    constexpr double kIn_m = 300.0;
    constexpr double kOut_rad = kPi / 2 - 135 * kRadPerDeg;
    const LatLon corner = gf_destinationPoint(start, kPi / 2, kIn_m / 0.3048);
    const double mps = 18.0 * 1852.0 / 3600.0;
    std::vector<Report> reports;
    for (double t = std::fmod((kIn_m + 12.0) / mps, 5.0); t * mps < 2 * kIn_m; t += 5) {
        const double along_m = t * mps;
        const bool before = along_m < kIn_m;
        const LatLon at = before
                              ? gf_destinationPoint(start, kPi / 2, along_m / 0.3048)
                              : gf_destinationPoint(corner, kOut_rad, (along_m - kIn_m) / 0.3048);
        reports.push_back(reportAt(at, 0, 18, before ? 90 : 315, t));
    }
    startAt("slow-corner", {});
    livery(0x48548e);
    double fastestBefore_kt = 0.0;  // heading east, towards the corner
    double fastestAfter_kt = 0.0;   // heading north-west, away from it
    double slowest_kt = HUGE_VAL;
    eachTick_ = [&] {
        const LiveAc* aircraft = live(0x48548e);
        if (!aircraft || aircraft->objectId == 0 || g_fastTicks % 100 != 0) return;
        const double shown_kt = simstandin::object(aircraft->objectId)->groundSpeed_kt;
        const double heading_rad = aircraft->position.heading_rad;
        if (std::abs(heading_rad - kPi / 2) < 3.0 * kRadPerDeg) {
            fastestBefore_kt = std::max(fastestBefore_kt, shown_kt);
        }
        if (std::abs(lf_wrapPi(heading_rad - kOut_rad)) < 3.0 * kRadPerDeg) {
            fastestAfter_kt = std::max(fastestAfter_kt, shown_kt);
        }
        if (fastestBefore_kt > 17.5) slowest_kt = std::min(slowest_kt, shown_kt);
    };
    fly(0x48548e, reports, 1000);

    // The corner costs time.
    EXPECT_LT(slowest_kt, 15.0);
    EXPECT_LE(fastestBefore_kt, 18.0 + 0.25);
    EXPECT_LE(fastestAfter_kt, 18.0 / 0.9 + 0.25);
    expectNoException();
    expectFacingWhereTheyGo();
}

}  // namespace
}  // namespace qel::test
