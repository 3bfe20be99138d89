// How fast live aircraft on the ground change their speed as the simulator shows it, through
// the stand-in simulator and scripted polls: no taxi turn, line-up or braking changes it by more
// than 10 kt in a second (about half a g).
#include <cmath>

#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

class GroundSpeed : public MotionRoad {
protected:
    // Once a second while `hex` is on the ground, from its sixth second on: the largest change
    // of its shown speed from the second before, and when it was.
    void watchSpeed(uint32_t hex)
    {
        eachTick_ = [this, hex] {
            const LiveAc* aircraft = live(hex);
            const auto object = aircraft && aircraft->objectId
                                    ? simstandin::object(aircraft->objectId)
                                    : std::nullopt;
            if (g_fastTicks % 100 != 0 || !object) return;
            if (!object->onGround) {
                lastShown_kt_.reset();
                return;
            }
            if (lastShown_kt_ && ++seconds_ > 5) {
                const double change = std::abs(object->groundSpeed_kt - *lastShown_kt_);
                if (change > largestChange_kt_) {
                    largestChange_kt_ = change;
                    largestAt_ = fmt::format("{:.1f} kt to {:.1f} kt at tick {}", *lastShown_kt_,
                                             object->groundSpeed_kt, g_fastTicks.load());
                }
            }
            lastShown_kt_ = object->groundSpeed_kt;
        };
    }

    std::optional<double> lastShown_kt_;
    int seconds_ = 0;
    double largestChange_kt_ = 0.0;
    std::string largestAt_;
};

// Where `toAms` lies from `fromAms` at Schiphol, taken from `corner` instead.
LatLon lf_movedOffset(LatLon corner, LatLon fromAms, LatLon toAms)
{
    return gf_destinationPoint(corner, gf_bearingRad(fromAms, toAms),
                               gf_distanceNm(fromAms, toAms) * kFeetPerNm);
}

TEST_F(GroundSpeed, ALineUpOntoTheRunwayTurnsWithoutAJerk)
{
    // The route of a departure at Schiphol, as the RealTraffic feed interpolates it every 2 s:
    // taxiing at 9 to 15 kt to the runway, then turning 136 degrees onto it while its reported
    // speed rises from 15 kt towards 150 kt, the positions running on ahead of those speeds.
    // The corner lies on the taxiway north of Düsseldorf's 23L.
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
    expectNoException();
}

}  // namespace
}  // namespace qel::test
