// The drive of a live aircraft onto its stand, through the stand-in simulator and scripted polls:
// how it stands on the stand once it has parked.
#include <cmath>

#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

class StandDrive : public MotionRoad {};

TEST_F(StandDrive, AnAircraftComingAlongItsStandsAxisParksOnTheStandsHeading)
{
    // KLM56A taxies east at 10 kt for a minute and stops 15 m short of A1, whose axis lies 1.4
    // degrees off its way: it drives straight onto the stand, turning to the stand's heading as
    // it goes, and parks on that heading, not on the one it came with.
    LatLon p{51.2960, 6.7790};
    double t = 0;
    double alt = 0;
    std::vector<Report> reports{reportAt(p, 0, 10, 90, t)};
    reportLeg(reports, p, alt, t, 90, 10, 0, 12);
    for (int i = 0; i < 2; ++i) reports.push_back(reportAt(p, 0, 0, 90, t += 20));
    const LatLon a1 = gf_destinationPoint(p, kPi / 2, 15 / 0.3048);
    const double stand_rad = 91.4 * kRadPerDeg;
    startAt("stand-axis",
            {ParkStand("A1", {}, a1.lat, a1.lon, stand_rad, 30.0, false, false, false)});
    livery(0x48548e);
    fly(0x48548e, reports, 4000);

    const LiveAc* aircraft = live(0x48548e);
    ASSERT_NE(aircraft, nullptr);
    EXPECT_EQ(aircraft->phase, FlightPhase::parked);
    EXPECT_LT(gf_distanceNm(lf_here(*aircraft), a1) * 1852, 2.0);
    EXPECT_LT(std::abs(lf_wrapPi(aircraft->position.heading_rad - stand_rad)) / kRadPerDeg, 1.0);
    expectNoException();
    expectFacingWhereTheyGo();
}

}  // namespace
}  // namespace qel::test
