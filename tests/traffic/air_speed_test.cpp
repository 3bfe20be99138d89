// How fast a live aircraft in the air changes its speed as the simulator shows it, through the
// stand-in simulator and scripted polls: no more than 5 kt in a second where its reports change
// it more slowly, however the windows time its legs.
#include <algorithm>
#include <cmath>
#include <optional>

#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

class AirSpeed : public MotionRoad {};

TEST_F(AirSpeed, AClimbAheadOfItsReportsWhoseWindowsNarrowSlowsGradually)
{
    // KLM56A takes off east from 23L's taxiway and climbs at 1800 ft/min, reported every 5 s,
    // gathering 0.5 kt a second from 160 kt. The polls that bring the reports come 6 s apart, so
    // that it flies ahead of its schedule by a second a leg until the windows hold it; from
    // 2050 ft on they narrow by a second a leg.
    startAt("climb-ahead", {});
    livery(0x48548e);
    LatLon p{51.2960, 6.7790};
    double alt = 0;
    double t = 0;
    std::vector<Report> reports{reportAt(p, 0, 15, 90, t)};
    reportLeg(reports, p, alt, t, 90, 15, 0, 4);
    for (double v : {40.0, 80.0, 120.0, 150.0}) reportLeg(reports, p, alt, t, 90, v, 0, 1);
    alt = 50;
    for (int i = 0; i < 40; ++i) reportLeg(reports, p, alt, t, 90, 160 + 2.5 * i, 1800, 1);

    // Once a second in the air: the speed shown over it and its change from the second before,
    // and the least share of the speed the aircraft's next report gives.
    std::optional<LatLon> before;
    std::optional<double> before_kt;
    double largestChange_kt = 0.0;
    std::string largestAt;
    double leastShare = 1.0;
    std::string leastAt;
    int airborneSeconds = 0;
    eachTick_ = [&] {
        if (g_fastTicks % 100 != 0) return;
        const LiveAc* aircraft = live(0x48548e);
        const auto object =
            aircraft && aircraft->objectId ? simstandin::object(aircraft->objectId) : std::nullopt;
        if (!object || object->onGround) {
            before.reset();
            before_kt.reset();
            return;
        }
        const LatLon here{object->latitude, object->longitude};
        if (before) {
            const double kt = gf_distanceNm(*before, here) * 3600.0;
            if (before_kt && std::abs(kt - *before_kt) > largestChange_kt) {
                largestChange_kt = std::abs(kt - *before_kt);
                largestAt = fmt::format("{:.1f} kt to {:.1f} kt at tick {}", *before_kt, kt,
                                        g_fastTicks.load());
            }
            const double reported_kt = aircraft->samples.front().groundSpeed_kt;
            if (aircraft->syntheticCount == 0 && kt / reported_kt < leastShare) {
                leastShare = kt / reported_kt;
                leastAt = fmt::format("{:.1f} kt where {:.1f} kt are reported at tick {}", kt,
                                      reported_kt, g_fastTicks.load());
            }
            before_kt = kt;
            ++airborneSeconds;
        }
        before = here;
    };
    for (const auto& poll : pollsOf(std::move(reports))) {
        push(poll, 30);
        runTicks(0x48548e, 600);
    }
    runTicks(0x48548e, 3000);

    EXPECT_TRUE(went("flying"));
    EXPECT_GT(airborneSeconds, 200);
    EXPECT_LE(largestChange_kt, 5.05) << largestAt;
    // Held back to its reports' schedule, it flies no slower than its own speed over 1.3.
    EXPECT_GT(leastShare, 0.75) << leastAt;
    expectNoException();
}

}  // namespace
}  // namespace qel::test
