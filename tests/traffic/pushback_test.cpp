// A departure pushed back from its stand and taxiing away, through the real entry points and the
// stand-in simulator: where its own push-back ends, how it follows the reports that fell due
// while it pushed, and that it stays in the simulator while it is reported.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
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
    // Four flights on stands 600 m apart that face 200 degrees, created there either just before
    // their push-backs or 40 s earlier. Each is pushed back 40 m at 3 kt, its tail going straight
    // back or swinging 80 degrees to the right, stands for a pause or not, and taxies at 15 kt at
    // a right angle to its stand, turns right at a right angle and goes on, 390 m in all. It is
    // followed from the end of its push-back up to its last report, on the way the reports show
    // or on the taxilane they leave the push-back's end by, behind that end; from the start of its
    // push-back on it never turns on the spot.
    constexpr double kFaces_deg = 200;
    struct Variant {
        const char* callsign;
        double turn_deg;  // the swing of the tail over the push-back
        double pause_s;   // standing after it
        double stood_s;   // on the stand before it, in reports
    };
    const Variant variants[] = {
        {"KLM56A", 0, 0, 20}, {"KLM57B", 80, 0, 60}, {"KLM58C", 0, 60, 60}, {"KLM59D", 80, 60, 20}};
    struct Flight {
        const char* callsign = "";
        uint32_t hex = 0;
        std::vector<LatLon> route;  // the taxi reports, from the last one where the push ended
        std::vector<double> routeTimes_s;
        double firstMoving_s = 0;
        double pushStart_s = -1;
        double worstOff_m = 0;
        double worstLag_s = 0;
        bool removed = false;
        std::optional<TrackPoint> secondAgo;  // as the simulator showed it
        double worstPivot_deg = 0;  // the heading's turn in a second in which it moved < 0.5 kt
        std::string pivotAt;
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
        double alt = 0;
        for (int i = 0; i < 5; ++i) {
            const double track_deg = kFaces_deg + 180 + v.turn_deg * std::max(i - 0.5, 0.0) / 3.5;
            at = gf_destinationPoint(at, track_deg * kRadPerDeg, 8 / 0.3048);
            own.push_back(reportAt(at, 0, 3, track_deg, t));
            t += 5;
        }
        for (; t < f.firstMoving_s + 25 + v.pause_s; t += 5) {
            own.push_back(reportAt(at, 0, 0, kFaces_deg + v.turn_deg, t));
        }
        // The taxilane the taxi leaves the push-back's end by, 50 m back behind that end: on it
        // the aircraft is no farther on than that end.
        const LatLon lane = gf_destinationPoint(at, (kFaces_deg + 270) * kRadPerDeg, 50 / 0.3048);
        f.route = {lane, at};
        f.routeTimes_s = {t - 5, t - 5};
        t -= 5;
        for (const double course_deg : {kFaces_deg + 90, kFaces_deg + 180}) {
            for (int i = 0; i < 5; ++i) {
                reportLeg(own, at, alt, t, course_deg, 15, 0, 1);
                f.route.push_back(at);
                f.routeTimes_s.push_back(t);
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
    const auto reportedAt_s = [](const Flight& f, double along_m) {
        double from_m = 0;
        for (std::size_t i = 1; i < f.route.size(); ++i) {
            const double length_m = gf_distanceNm(f.route[i - 1], f.route[i]) * 1852;
            if (along_m < from_m + length_m - 2.0) {
                const double share = std::max(along_m - from_m, 0.0) / length_m;
                return f.routeTimes_s[i - 1] + share * (f.routeTimes_s[i] - f.routeTimes_s[i - 1]);
            }
            from_m += length_m;
        }
        return f.routeTimes_s.back();
    };
    // Once a second: a turn of the heading while the aircraft moved less than 0.5 kt is one on
    // the spot.
    const auto notePivot = [](Flight& f, const LiveAc& aircraft) {
        const auto object = simstandin::object(aircraft.objectId);
        if (!object) return;
        const TrackPoint now{{object->latitude, object->longitude}, object->heading_rad};
        if (f.secondAgo) {
            const double moved_m = gf_distanceNm(f.secondAgo->at, now.at) * 1852.0;
            const double turned_deg =
                std::abs(lf_wrapPi(now.heading_rad - f.secondAgo->heading_rad)) / kRadPerDeg;
            if (moved_m < 0.5 * 1852.0 / 3600.0 && turned_deg > f.worstPivot_deg) {
                f.worstPivot_deg = turned_deg;
                f.pivotAt =
                    fmt::format("{:.1f} degrees at tick {}", turned_deg, g_fastTicks.load());
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
            if (f.pushStart_s >= 0 && now_s <= f.routeTimes_s.back() && g_fastTicks % 100 == 0) {
                notePivot(f, *aircraft);
            }
            if (f.pushStart_s < 0 || aircraft->phase == FlightPhase::pushing_back ||
                now_s > f.routeTimes_s.back()) {
                continue;
            }
            const OnRoute on = lf_onRoute(f.route, lf_here(*aircraft));
            f.worstOff_m = std::max(f.worstOff_m, on.off_m);
            f.worstLag_s = std::max(f.worstLag_s, now_s + 30.0 - reportedAt_s(f, on.along_m));
        }
    };
    fly(flights.front().hex, reports, 500);

    // It sets off as its first report off the stand falls due, keeps to its reported way within
    // the 12 m by which corners are rounded and a few metres more, and no farther behind its
    // reports than the replay delay and 15 s.
    for (const Flight& f : flights) {
        SCOPED_TRACE(f.callsign);
        EXPECT_FALSE(f.removed);
        EXPECT_LE(std::abs(f.pushStart_s - f.firstMoving_s), 5.0);
        EXPECT_LE(f.worstOff_m, 15.0);
        EXPECT_LE(f.worstLag_s, 45.0);
        EXPECT_LE(f.worstPivot_deg, 5.0) << f.pivotAt;
    }
    expectNoException();
    expectFacingWhereTheyGo();
}

}  // namespace
}  // namespace qel::test
