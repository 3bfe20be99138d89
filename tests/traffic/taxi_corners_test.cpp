// Corners of the reported way on the ground as the simulator shows them, through the stand-in
// simulator and scripted polls: how wide a corner is rounded, how fast, and how close to the
// ways the reports lie on.
#include <algorithm>
#include <cmath>
#include <utility>

#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

class TaxiCorners : public MotionRoad {
protected:
    // Each poll is handed over at its own time, also where the feed skips some.
    void flyInTime(uint32_t hex, const std::vector<Report>& reports, int afterTicks)
    {
        const int32_t start = g_fastTicks;
        for (const auto& poll : pollsOf(reports)) {
            const auto due = std::lround((poll.front().time_s - reports.front().time_s) * 100);
            runTicks(hex, static_cast<int>(due - (g_fastTicks - start)));
            push(poll, 30);
        }
        runTicks(hex, afterTicks);
    }
};

// Metres from `p` to the way in (from `in` to `corner`) and out (from `corner` to `out`), the
// nearer of the two.
double lf_offWay_m(LatLon p, LatLon in, LatLon corner, LatLon out)
{
    const auto offSegment_m = [&](LatLon a, LatLon b) {
        const double perLon_m = std::cos(a.lat * kRadPerDeg) * 111132.95;
        const double bx = (b.lon - a.lon) * perLon_m, by = (b.lat - a.lat) * 111132.95;
        const double px = (p.lon - a.lon) * perLon_m, py = (p.lat - a.lat) * 111132.95;
        const double u = std::clamp((px * bx + py * by) / (bx * bx + by * by), 0.0, 1.0);
        return std::hypot(px - u * bx, py - u * by);
    };
    return std::min(offSegment_m(in, corner), offSegment_m(corner, out));
}

TEST_F(TaxiCorners, ACornerIsTakenAtItsReportedSpeedWhereverItsReportsFall)
{
    // Aircraft a kilometre apart taxi east and turn left onto a way reported for 300 m, the
    // first report after the corner some metres beyond it.
    // - Right angles at 18 kt, that report 4, 20 and 45 m beyond the corner, 5 s between
    //   reports, and 4 m beyond it with 2.2 s (20 m) between them. Each rounds the corner wide
    //   enough to take it at its reported speed (0.3 g at 18 kt: about 29 m), as the ways in
    //   and out allow, not as tight as its reports fall (2 kt where the curve reached only as
    //   far as the next report, 16 kt where it began at the report before the corner): it keeps
    //   within a knot of that speed, never goes faster than a tenth off each leg's time allows
    //   while it makes up time, and stays within 15 m of its way.
    // - A right angle at 8 kt, reports 10 s apart, rounded as far as the report 40 m beyond it,
    //   wider than its speed needs: timed along the curve's chord, it went round at 9.1 kt.
    // - Right angles at 5 kt, rolled round as the reports show and not stopped at to turn on
    //   the spot: with reports 5 s apart, of which the intake keeps every other one, the curve
    //   laid before the report after the corner came ended across the way out (it stood 3 s and
    //   turned 60 degrees there); with reports 0.4 s apart, those round the corner lie within
    //   the near-report distance of the last one kept and stood it there for 11 s.
    // - 135 degrees at 10, 14 and 18 kt, above half that speed: the 12 m bound allows one
    //   curve no more than 8 kt, a chain of curves about an arc of 19 m radius 13 kt. The
    //   corner lies farther from the report before it than the report after it does; taken at
    //   that report before, the corner held it to 1.6 to 5.4 kt.
    // - 150 degrees at 5 and 10 kt, which a chain of curves within the 12 m bound allows: within
    //   a knot of that speed, the report after the corner 4, 20 or 45 m beyond it. The chain is
    //   shorter than the reported way round it, by 14 s at 10 kt; held to the reports' timing,
    //   the aircraft waited for them at 2.3 and 3.5 kt. Laid a leg later than the one it begins
    //   in, 31 m from the corner instead of 55 m, the chain was too tight for 10 kt: 4.8 kt;
    //   begun 2.6 m short of its arc, its first curve was: 8.8 kt. At 5 kt the report that
    //   shows the way out comes as the leg to the curve laid for the corner without it begins;
    //   rounded from that leg's end, 21 m before the corner, it went round at 1.1 kt.
    struct Case {
        double turn_deg;
        double after_m;
        double every_s;
        double kt;
        double least_kt;
        uint32_t hex;
        LatLon start;
        LatLon corner;
        LatLon out;
        bool rolling = false;
        double slowest_kt = HUGE_VAL;
        double fastest_kt = 0.0;
        double farthestOff_m = 0.0;
    };
    std::vector<Case> cases;
    std::vector<Report> reports;
    const struct {
        double turn_deg;
        double after_m;
        double every_s;
        double kt;
    } rows[] = {{90, 4, 5, 18},  {90, 20, 5, 18},  {90, 45, 5, 18},  {90, 4, 2.2, 18},
                {90, 40, 10, 8}, {90, 4, 5, 5},    {90, 4, 0.4, 5},  {135, 4, 5, 10},
                {135, 4, 5, 14}, {135, 20, 5, 18}, {135, 45, 5, 18}, {150, 4, 5, 5},
                {150, 20, 5, 5}, {150, 4, 5, 10},  {150, 20, 5, 10}, {150, 45, 5, 10}};
    for (const auto& [turn_deg, after_m, every_s, kt] : rows) {
        const double mps = kt * 1852.0 / 3600.0;
        const auto k = static_cast<uint32_t>(cases.size());
        // The first report beyond 300 m lies `after_m` beyond the corner.
        const double in_m = std::ceil(300 / (every_s * mps)) * every_s * mps - after_m;
        const double out_deg = 90 - turn_deg;
        const LatLon start{51.2960 + 0.01 * k, 6.7790};
        const LatLon corner = gf_destinationPoint(start, kPi / 2, in_m / 0.3048);
        const double least_kt = turn_deg > 90 && turn_deg <= 135 ? kt / 2 : kt - 1.0;
        cases.push_back({turn_deg, after_m, every_s, kt, least_kt, 0x48548e + k, start, corner,
                         gf_destinationPoint(corner, out_deg * kRadPerDeg, 400 / 0.3048)});
        for (double t = 0; t * mps < in_m + 300; t += every_s) {
            const double along_m = t * mps;
            const bool before = along_m < in_m;
            const LatLon at = before ? gf_destinationPoint(start, kPi / 2, along_m / 0.3048)
                                     : gf_destinationPoint(corner, out_deg * kRadPerDeg,
                                                           (along_m - in_m) / 0.3048);
            reports.push_back(reportAt(at, 0, kt, before ? 90 : std::fmod(out_deg + 360, 360), t));
            reports.back().hex = 0x48548e + k;
            reports.back().callsign = fmt::format("KLM5{}A", 6 + k);
            reports.back().registration.clear();
        }
    }
    startAt("corners", {});
    for (const Case& c : cases) livery(c.hex);
    eachTick_ = [&] {
        for (Case& c : cases) {
            const LiveAc* aircraft = live(c.hex);
            if (!aircraft || aircraft->objectId == 0) continue;
            const auto object = simstandin::object(aircraft->objectId);
            const LatLon here{object->latitude, object->longitude};
            c.farthestOff_m =
                std::max(c.farthestOff_m, lf_offWay_m(here, c.start, c.corner, c.out));
            // Once it rolls at its reported speed, up to 250 m up the way out, where its reports
            // soon end.
            const double up_m =
                gf_distanceNm(c.corner, here) * 1852.0 *
                std::cos(gf_bearingRad(c.corner, here) - gf_bearingRad(c.corner, c.out));
            c.rolling = c.rolling || object->groundSpeed_kt > c.kt - 1.0;
            if (g_fastTicks % 100 != 0 || !c.rolling || up_m > 250.0) continue;
            c.slowest_kt = std::min(c.slowest_kt, object->groundSpeed_kt);
            c.fastest_kt = std::max(c.fastest_kt, object->groundSpeed_kt);
        }
    };
    flyInTime(0x48548e, reports, 1000);

    for (const Case& c : cases) {
        SCOPED_TRACE(
            fmt::format("{} degrees, the report {} m after the corner, {} s apart, at {} kt",
                        c.turn_deg, c.after_m, c.every_s, c.kt));
        EXPECT_GT(c.slowest_kt, c.least_kt);
        EXPECT_LE(c.fastest_kt, c.kt / 0.9 + 0.1);
        EXPECT_LE(c.farthestOff_m, 15.0);
    }
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(TaxiCorners, ARunwayExitIsTakenAlongTheReportedWays)
{
    // Aircraft land on parallel runways a kilometre apart, roll out to 25 kt and turn off at a
    // right angle onto an exit at 20 kt, the first two 20 m on.
    // - KLM56A's feed drops its reports until it is 230 m up the exit. It rounds the corner
    //   within 15 m of the runway's and the exit's centre lines, not from where it learns of the
    //   exit straight across to that report.
    // - KLM57B is reported every 2.5 s. Each report up the exit lies square to the runway from
    //   the one before it; taken for reports lying behind, they were dropped but the last, and
    //   the aircraft cut across to that one, 23 m off the exit.
    // - KLM58C, reported every 2.5 s, brakes at 7.5 kt a second from 120 kt to 25 kt at the
    //   corner. Held at the roll's speed from its touchdown to the first leg laid on the ground,
    //   it braked too late to slow down for the exit: 0.30 g at 28 kt as its curve began.
    // All turn at 0.3 g at the most and come to rest where they are reported standing, 20 m
    // on: the leg to a report at 0 kt that none followed yet ended at 7.5 kt, and KLM57B came to
    // rest 2.8 m past.
    const double runway_rad = gf_bearingRad(kThreshold23L, kEnd05R);
    const double runway_deg = runway_rad / kRadPerDeg;
    const double exit_deg = runway_deg - 90;
    struct Case {
        uint32_t hex;
        LatLon from;
        LatLon corner;
        LatLon last;
        double farthestOff_m = 0.0;
    };
    std::vector<Case> cases;
    std::vector<Report> reports;
    for (const auto& [every_s, brake_ktPerS] : {std::pair{5.0, 0.0}, {2.5, 0.0}, {2.5, 7.5}}) {
        const auto k = static_cast<uint32_t>(cases.size());
        const LatLon threshold =
            gf_destinationPoint(kThreshold23L, runway_rad - kPi / 2, k * 1000 / 0.3048);
        const LatLon from = gf_destinationPoint(threshold, runway_rad + kPi, 2 * kFeetPerNm);
        LatLon p = from;
        double alt = 147 + 640;
        double t = 0;
        std::vector<Report> own{reportAt(p, alt, 140, runway_deg, t)};
        reportLeg(own, p, alt, t, runway_deg, 140, -740, 10);
        alt = 0;
        // A report every `every_s` along the way at `kt`, `count` of them.
        const auto along = [&](double course_deg, double kt, int count) {
            for (int i = 0; i < count; ++i) {
                p = gf_destinationPoint(p, course_deg * kRadPerDeg,
                                        kt * every_s / 3600 * kFeetPerNm);
                own.push_back(reportAt(p, 0, kt, course_deg, t += every_s));
            }
        };
        LatLon corner{};
        double up_m = every_s * 22.5 * 1852 / 3600 - 20;  // to the first report up the exit
        if (brake_ktPerS > 0.0) {
            along(runway_deg, 120, 2);
            const LatLon braking = p;
            const double brake_s = (120 - 25) / brake_ktPerS;
            const auto rolled = [&](double s) {
                const double m = (120 * s - brake_ktPerS * s * s / 2) * 1852 / 3600;
                return gf_destinationPoint(braking, runway_rad, m / 0.3048);
            };
            double s = every_s;
            for (; s < brake_s; s += every_s) {
                p = rolled(s);
                own.push_back(reportAt(p, 0, 120 - brake_ktPerS * s, runway_deg, t += every_s));
            }
            corner = rolled(brake_s);
            up_m = (s - brake_s) * 22.5 * 1852 / 3600;
        } else {
            for (const double v : {120.0, 90.0, 60.0, 40.0, 25.0}) {
                along(runway_deg, v, static_cast<int>(5 / every_s));
            }
            corner = gf_destinationPoint(p, runway_rad, 20 / 0.3048);
        }
        const bool dropped = every_s == 5.0;
        p = gf_destinationPoint(corner, exit_deg * kRadPerDeg, (dropped ? 230 : up_m) / 0.3048);
        own.push_back(reportAt(p, 0, 20, exit_deg, t += dropped ? 20 : every_s));
        along(exit_deg, 20, static_cast<int>(20 / every_s));
        p = gf_destinationPoint(p, exit_deg * kRadPerDeg, 20 / 0.3048);
        for (const double at_s : {t + 5, t + 10}) own.push_back(reportAt(p, 0, 0, exit_deg, at_s));
        for (Report& r : own) {
            r.hex = 0x48548e + k;
            r.callsign = fmt::format("KLM5{}{}", 6 + k, static_cast<char>('A' + k));
            if (k > 0) r.registration.clear();
            reports.push_back(r);
        }
        cases.push_back({0x48548e + k, from, corner, p});
    }
    startAt("runway-exit", {});
    for (const Case& c : cases) livery(c.hex);
    eachTick_ = [&] {
        for (Case& c : cases) {
            const LiveAc* aircraft = live(c.hex);
            if (!aircraft || aircraft->objectId == 0) continue;
            const auto object = simstandin::object(aircraft->objectId);
            c.farthestOff_m = std::max(
                c.farthestOff_m,
                lf_offWay_m({object->latitude, object->longitude}, c.from, c.corner, c.last));
        }
    };
    flyInTime(0x48548e, reports, 6000);

    EXPECT_TRUE(went("taxi"));
    for (const Case& c : cases) {
        SCOPED_TRACE(fmt::format("KLM5{}{}", 6 + c.hex - 0x48548e,
                                 static_cast<char>('A' + c.hex - 0x48548e)));
        const LiveAc* aircraft = live(c.hex);
        ASSERT_NE(aircraft, nullptr);
        EXPECT_LT(gf_distanceNm(lf_here(*aircraft), c.last) * 1852.0, 2.0);
        EXPECT_LE(c.farthestOff_m, 15.0);
        EXPECT_LE(turning_[c.hex].g, 0.3) << turning_[c.hex].gAt;
    }
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(TaxiCorners, ATightJogIsRoundedAsItRollsAndLeftAtTheUsualRate)
{
    // KLM56A taxies east at 18 kt, 2 s between its reports, and jogs 18.5 m north between two
    // right angles, a report on each: the ways allow it no more than a few knots round them. It
    // rounds each on half the way between them as it rolls (with the first curve reaching up
    // to the second corner, it stopped there to turn on the spot). Out of the second it gathers
    // speed at 3 kt a second up to its reported speed, and no faster than a tenth off each
    // leg's time allows while it makes up the time it lost; laid out anew from its slow speed,
    // the leg after made it up at 7 kt a second.
    const double leg_m = 2 * 18.0 * 1852.0 / 3600.0;
    const LatLon start{51.2960, 6.7790};
    const LatLon jog = gf_destinationPoint(start, kPi / 2, 16 * leg_m / 0.3048);
    std::vector<Report> reports;
    for (int k = 0; k <= 40; ++k) {
        const LatLon at = k <= 16
                              ? gf_destinationPoint(start, kPi / 2, k * leg_m / 0.3048)
                              : gf_destinationPoint(gf_destinationPoint(jog, 0.0, leg_m / 0.3048),
                                                    kPi / 2, (k - 17) * leg_m / 0.3048);
        reports.push_back(reportAt(at, 0, 18, k == 16 ? 0 : 90, 2.0 * k));
    }
    startAt("jog", {});
    livery(0x48548e);
    watchSpeed(0x48548e);
    flyInTime(0x48548e, reports, 1000);

    // Its slowest once it rolled at its reported speed, and every second after.
    const auto rolling =
        std::find_if(shown_kt_.begin(), shown_kt_.end(), [](double kt) { return kt > 17.5; });
    const auto slowest = std::min_element(rolling, shown_kt_.end());
    ASSERT_NE(slowest, shown_kt_.end());
    EXPECT_GT(*slowest, 3.0);
    double fastestGain_kt = 0.0;
    for (auto it = slowest + 1; it != shown_kt_.end(); ++it) {
        fastestGain_kt = std::max(fastestGain_kt, *it - *(it - 1));
    }
    EXPECT_LE(fastestGain_kt, 3.0 + 0.25);
    EXPECT_LE(*std::max_element(slowest, shown_kt_.end()), 18.0 / 0.9 + 0.25);
    expectNoException();
    expectFacingWhereTheyGo();
}

TEST_F(TaxiCorners, ALineUpIsRoundedAsWideAsItsWaysAllowAndNotRunUpTo)
{
    // KLM56A, a 737, taxies east-south-east at 15 kt, a report every second, and turns 128
    // degrees onto the runway, its reported speed rising by 2.6 kt a second from the corner on
    // (the demo's TRA5671). Its curve is laid from as far back as keeps it within 12 m of the
    // ways, where the turn rate allows about 9 kt; split in two as a long leg to a sharp corner
    // is, that way in halved, it crawled round at 5 kt. Nor does it run up to the speed the
    // runway's reports give before the tightest point of the turn, to brake again for it (from
    // 15 kt up to 20 kt and down to 9 kt).
    const LatLon corner{51.2960, 6.7790};
    std::vector<Report> reports;
    for (int k = -60; k <= 25; ++k) {
        const double track_deg = k <= 0 ? 109.6 : 237.6;
        // Metres from the corner: 2.6 kt faster each second after it.
        const double from_m = k <= 0 ? -k * 15.0 : (15.0 + 1.3 * (k + 1)) * k;
        const LatLon at =
            gf_destinationPoint(corner, (k <= 0 ? track_deg + 180 : track_deg) * kRadPerDeg,
                                from_m * 1852.0 / 3600.0 / 0.3048);
        reports.push_back(reportAt(at, 0, k <= 0 ? 15.0 : 15.0 + 2.6 * k, track_deg, k));
        reports.back().type = "B738";
    }
    startAt("line-up-wide", {});
    livery(0x48548e);
    std::vector<double> shown_kt;  // every second within 80 m of the corner
    eachTick_ = [&] {
        const LiveAc* aircraft = live(0x48548e);
        if (!aircraft || aircraft->objectId == 0 || g_fastTicks % 100 != 0) return;
        const auto object = simstandin::object(aircraft->objectId);
        if (gf_distanceNm(corner, {object->latitude, object->longitude}) * 1852.0 < 80.0) {
            shown_kt.push_back(object->groundSpeed_kt);
        }
    };
    flyInTime(0x48548e, reports, 1000);

    const auto slowest = std::min_element(shown_kt.begin(), shown_kt.end());
    ASSERT_NE(slowest, shown_kt.end());
    EXPECT_GT(*slowest, 8.0);
    EXPECT_LE(*std::max_element(shown_kt.begin(), slowest), 15.0 + 0.25);
    expectNoException();
    expectFacingWhereTheyGo();
}

}  // namespace
}  // namespace qel::test
