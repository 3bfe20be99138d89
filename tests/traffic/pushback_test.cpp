// A departure pushed back from its stand and taxiing away, through the real entry points and the
// stand-in simulator: where its own push-back ends, how it follows the reports that fell due
// while it pushed, and that it stays in the simulator while it is reported.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

class PushBack : public MotionRoad {};

// Where a point lies along a reported route: the metres along it to the nearest point of it, and
// how far off it that is.
struct OnRoute {
    double along_m = 0.0;
    double off_m = 0.0;
};

OnRoute lf_onRoute(const std::vector<LatLon>& route, LatLon p)
{
    OnRoute best{0.0, HUGE_VAL};
    double start_m = 0.0;
    for (std::size_t i = 1; i < route.size(); ++i) {
        const LatLon a = route[i - 1];
        const double length_m = gf_distanceNm(a, route[i]) * 1852.0;
        const double d_m = gf_distanceNm(a, p) * 1852.0;
        const double x = lf_wrapPi(gf_bearingRad(a, p) - gf_bearingRad(a, route[i]));
        const double along_m = std::clamp(d_m * std::cos(x), 0.0, length_m);
        const double off_m = std::sqrt(
            std::max(d_m * d_m - 2 * d_m * along_m * std::cos(x) + along_m * along_m, 0.0));
        if (off_m < best.off_m) best = {start_m + along_m, off_m};
        start_m += length_m;
    }
    return best;
}

TEST_F(PushBack, ThePushBackEndsWhereItsReportsGoOnAndTheAircraftFollowsThem)
{
    // Five flights on stands 600 m apart that face 200 degrees, created there either just before
    // their push-backs or 40 s earlier. Four are pushed back 40 m at 3 kt, the tail going straight
    // back or swinging 80 degrees to the right, stand for a pause or not, and taxi at 15 kt at a
    // right angle to the stand, turn right at a right angle and go on, 390 m in all. The fifth is
    // pushed straight back 72 m at 4 kt, speeding up and slowing down at 0.4 kt a second, stands
    // 30 s and taxies off 57 degrees from straight back. Each is followed from the end of its
    // push-back up to its last report, on the way the reports show or on the taxilane they leave
    // the push-back's end by, behind that end; from the start of its push-back on it never turns
    // on the spot.
    constexpr double kFaces_deg = 200;
    struct Variant {
        const char* callsign;
        double turn_deg;      // the swing of the tail over the push-back
        double pause_s;       // standing after it
        double stood_s;       // on the stand before it, in reports
        double push_s = 25;   // from leaving the stand to the last report of the push-back
        double push_kt = 0;   // speeding up to this and slowing down to a stop; 0: 8 m each 5 s
        double way_deg = 90;  // the taxi's way out from the stand's heading
    };
    const Variant variants[] = {{"KLM56A", 0, 0, 20},
                                {"KLM57B", 80, 0, 60},
                                {"KLM58C", 0, 60, 60},
                                {"KLM59D", 80, 60, 20},
                                {"KLM60E", 0, 30, 60, 45, 4, 123}};
    // How far back the push of `v` has come `s` seconds after it left the stand, and how fast.
    const auto pushedBy = [](const Variant& v, double s) {
        if (v.push_kt == 0) return std::pair{8.0 * s / 5.0, 3.0};
        const auto kt = [&v](double u) {
            return std::max(std::min({0.4 * u, v.push_kt, 0.4 * (v.push_s - u)}), 0.0);
        };
        double back_m = 0;
        for (double u = 0.05; u < s; u += 0.1) back_m += kt(u) * 1852.0 / 36000.0;
        return std::pair{back_m, kt(s)};
    };
    struct Reported {
        std::vector<LatLon> route;
        std::vector<double> times_s;
        void add(LatLon at, double t_s)
        {
            route.push_back(at);
            times_s.push_back(t_s);
        }
    };
    struct Flight {
        const char* callsign = "";
        uint32_t hex = 0;
        Reported push;  // the push-back's reports, from the stand
        Reported taxi;  // the taxi reports, from the last one where the push ended
        double firstMoving_s = 0;
        double pushStart_s = -1;
        double worstOff_m = 0;
        double worstLag_s = 0;
        bool removed = false;
        std::optional<TrackPoint> secondAgo;  // as the simulator showed it
        double worstPivot_deg = 0;  // the heading's turn in a second in which it moved < 0.5 kt
        std::string pivotAt;
        double stoodPushed_s = 0;  // pushing back, it stood behind its reports as they went back
    };
    std::vector<Flight> flights;
    std::vector<ParkStand> stands;
    std::vector<Report> reports;
    for (const Variant& v : variants) {
        Flight f;
        f.callsign = v.callsign;
        f.hex = 0x48548e + static_cast<uint32_t>(flights.size());
        const double apart_ft = 600 * static_cast<double>(flights.size()) / 0.3048;
        const LatLon stand = gf_destinationPoint({51.2930, 6.7750}, kPi / 2, apart_ft);
        stands.emplace_back(fmt::format("A{}", flights.size() + 1), std::vector<LearnedFlight>{},
                            stand.lat, stand.lon, kFaces_deg * kRadPerDeg, 30.0, false, false,
                            false);
        std::vector<Report> own;
        double t = 0;
        for (; t < v.stood_s; t += 5) own.push_back(reportAt(stand, 0, 0, kFaces_deg, t));
        f.firstMoving_s = t;
        LatLon at = stand;
        f.push.add(at, t - 5);
        double alt = 0;
        const int steps = static_cast<int>(v.push_s / 5);
        for (int i = 0; i < steps; ++i) {
            const double track_deg =
                kFaces_deg + 180 + v.turn_deg * std::max(i - 0.5, 0.0) / (steps - 1.5);
            const double from_m = pushedBy(v, 5.0 * i).first;
            const auto [to_m, kt] = pushedBy(v, 5.0 * (i + 1));
            at = gf_destinationPoint(at, track_deg * kRadPerDeg, (to_m - from_m) / 0.3048);
            own.push_back(reportAt(at, 0, kt, track_deg, t));
            f.push.add(at, t);
            t += 5;
        }
        for (; t < f.firstMoving_s + v.push_s + v.pause_s; t += 5) {
            own.push_back(reportAt(at, 0, 0, kFaces_deg + v.turn_deg, t));
        }
        // The taxilane the taxi leaves the push-back's end by, 50 m back behind that end: on it
        // the aircraft is no farther on than that end.
        const LatLon lane =
            gf_destinationPoint(at, (kFaces_deg + v.way_deg + 180) * kRadPerDeg, 50 / 0.3048);
        f.taxi.add(lane, t - 5);
        f.taxi.add(at, t - 5);
        t -= 5;
        for (const double course_deg : {kFaces_deg + v.way_deg, kFaces_deg + v.way_deg + 90}) {
            for (int i = 0; i < 5; ++i) {
                reportLeg(own, at, alt, t, course_deg, 15, 0, 1);
                f.taxi.add(at, t);
            }
        }
        for (Report& r : own) {
            r.hex = f.hex;
            r.callsign = v.callsign;
            r.registration.clear();
            reports.push_back(r);
        }
        livery(f.hex);
        flights.push_back(f);
    }
    startAt("push-back", stands);

    // In report time: the replay runs 30 s behind the polls, one every 5 s.
    const int32_t start = g_fastTicks;
    const auto reportTime_s = [&] { return (g_fastTicks - start) / 100.0 - 30.0; };
    // The latest report time at which the reports had not yet gone past `along_m`.
    const auto reportedAt_s = [](const Reported& r, double along_m) {
        double from_m = 0;
        for (std::size_t i = 1; i < r.route.size(); ++i) {
            const double length_m = gf_distanceNm(r.route[i - 1], r.route[i]) * 1852;
            if (along_m < from_m + length_m - 2.0) {
                const double share = std::max(along_m - from_m, 0.0) / length_m;
                return r.times_s[i - 1] + share * (r.times_s[i] - r.times_s[i - 1]);
            }
            from_m += length_m;
        }
        return r.times_s.back();
    };
    // Once a second: a turn of the heading while the aircraft moved less than 0.5 kt is one on
    // the spot; standing so in its push-back while its reports, gone past it 2 s or more before,
    // still went back, the tug stood for nothing.
    const auto noteSecond = [&](Flight& f, const LiveAc& aircraft, double now_s) {
        const auto object = simstandin::object(aircraft.objectId);
        if (!object) return;
        const TrackPoint now{{object->latitude, object->longitude}, object->heading_rad};
        if (f.secondAgo) {
            const double moved_m = gf_distanceNm(f.secondAgo->at, now.at) * 1852.0;
            const double turned_deg =
                std::abs(lf_wrapPi(now.heading_rad - f.secondAgo->heading_rad)) / kRadPerDeg;
            const bool stood = moved_m < 0.5 * 1852.0 / 3600.0;
            if (stood && turned_deg > f.worstPivot_deg) {
                f.worstPivot_deg = turned_deg;
                f.pivotAt =
                    fmt::format("{:.1f} degrees at tick {}", turned_deg, g_fastTicks.load());
            }
            if (stood && aircraft.phase == FlightPhase::pushing_back &&
                now_s < f.push.times_s.back() &&
                reportedAt_s(f.push, lf_onRoute(f.push.route, now.at).along_m) < now_s - 2) {
                ++f.stoodPushed_s;
            }
        }
        f.secondAgo = now;
    };
    eachTick_ = [&] {
        const double now_s = reportTime_s();
        for (Flight& f : flights) {
            const LiveAc* aircraft = live(f.hex);
            if (!aircraft || aircraft->state == SimObjectState::removingfromsim) {
                f.removed = f.removed || f.pushStart_s >= 0;
                continue;
            }
            if (aircraft->phase == FlightPhase::pushing_back && f.pushStart_s < 0) {
                f.pushStart_s = now_s;
            }
            if (f.pushStart_s >= 0 && now_s <= f.taxi.times_s.back() && g_fastTicks % 100 == 0) {
                noteSecond(f, *aircraft, now_s);
            }
            if (f.pushStart_s < 0 || aircraft->phase == FlightPhase::pushing_back ||
                now_s > f.taxi.times_s.back()) {
                continue;
            }
            const OnRoute on = lf_onRoute(f.taxi.route, lf_here(*aircraft));
            f.worstOff_m = std::max(f.worstOff_m, on.off_m);
            f.worstLag_s = std::max(f.worstLag_s, now_s + 30.0 - reportedAt_s(f.taxi, on.along_m));
        }
    };
    fly(flights.front().hex, reports, 500);

    // It sets off as its first report off the stand falls due, keeps to its reported way within
    // the 12 m by which corners are rounded and a few metres more, and no farther behind its
    // reports than the replay delay and 15 s; while they still go back, it is pushed with them.
    for (const Flight& f : flights) {
        SCOPED_TRACE(f.callsign);
        EXPECT_FALSE(f.removed);
        EXPECT_LE(std::abs(f.pushStart_s - f.firstMoving_s), 5.0);
        EXPECT_LE(f.worstOff_m, 15.0);
        EXPECT_LE(f.worstLag_s, 45.0);
        EXPECT_LE(f.worstPivot_deg, 5.0) << f.pivotAt;
        EXPECT_EQ(f.stoodPushed_s, 0);
    }
    expectNoException();
    expectFacingWhereTheyGo();
}

}  // namespace
}  // namespace qel::test
