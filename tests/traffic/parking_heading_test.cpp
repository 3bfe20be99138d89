// The heading a live aircraft parks on, through the stand-in simulator and scripted polls:
// whichever way it comes and wherever its last report lies, it stands on its stand's heading.
#include <cmath>
#include <map>

#include "foundation/catalogue.h"
#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

class ParkingHeading : public MotionRoad {};

TEST_F(ParkingHeading, AnArrivalParksOnItsStandsHeadingWhereverItsLastReportLies)
{
    // Five A320s taxi at 10 kt for a minute, each to its own stand of heading 3.8 degrees, and
    // stand there for 40 s. A stand file built from parked reports puts the stand point exactly
    // on the last report: so it lies for four of them, which come nearly along the stand's axis
    // (3.8 and 2.9 degrees off it), across it and against it; the fifth stops 1 m short of its
    // stand. Each turns on the spot where it must, and parks on the stand's heading.
    struct Case {
        double approach_deg;
        double short_m;  // the last report lies this far short of the stand along the way in
    };
    constexpr double kStand_deg = 3.8;
    const Case cases[] = {{0.0, 0.0}, {0.9, 0.0}, {273.8, 0.0}, {183.8, 0.0}, {273.8, 1.0}};
    const auto hexOf = [](std::size_t i) { return 0x48548e + static_cast<uint32_t>(i); };
    std::vector<Report> reports;
    std::vector<ParkStand> stands;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case c = cases[i];
        LatLon p{51.2960, 6.7790 + 0.01 * static_cast<double>(i)};
        double t = 0;
        double alt = 0;
        std::vector<Report> own{reportAt(p, 0, 10, c.approach_deg, t)};
        reportLeg(own, p, alt, t, c.approach_deg, 10, 0, 12);
        for (int k = 0; k < 2; ++k) own.push_back(reportAt(p, 0, 0, c.approach_deg, t += 20));
        for (Report& r : own) {
            r.hex = hexOf(i);
            r.callsign = fmt::format("KLM56{}", i);
            r.registration = fmt::format("PH-EX{}", i);
        }
        reports.insert(reports.end(), own.begin(), own.end());
        const LatLon at = gf_destinationPoint(p, c.approach_deg * kRadPerDeg, c.short_m / 0.3048);
        stands.emplace_back(fmt::format("A{}", i + 1), std::vector<LearnedFlight>{}, at.lat, at.lon,
                            kStand_deg * kRadPerDeg, 30.0, false, false, false);
    }
    startAt("parking-heading", stands);
    // Every stand may take a live aircraft.
    CUSTOM_PARKING_PERCENTAGE.current = 100;
    MAX_PARK_SEL.current = 5;
    // Once a second, the most each one's shown heading turned in a second, moving or not.
    std::map<uint32_t, double> shown_rad;
    std::map<uint32_t, double> swing_deg;
    eachTick_ = [&] {
        if (g_fastTicks % 100 != 0) return;
        for (const LiveAc& aircraft : g_liveAcs) {
            const auto object =
                aircraft.objectId ? simstandin::object(aircraft.objectId) : std::nullopt;
            if (!object) continue;
            if (const auto was = shown_rad.find(aircraft.hexId); was != shown_rad.end()) {
                const double turn_deg =
                    std::abs(lf_wrapPi(object->heading_rad - was->second)) / kRadPerDeg;
                swing_deg[aircraft.hexId] = std::max(swing_deg[aircraft.hexId], turn_deg);
            }
            shown_rad[aircraft.hexId] = object->heading_rad;
        }
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) livery(hexOf(i));
    fly(hexOf(0), reports, 4000);

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(
            fmt::format("from {} degrees, {} m short", cases[i].approach_deg, cases[i].short_m));
        const LiveAc* aircraft = live(hexOf(i));
        ASSERT_NE(aircraft, nullptr);
        const auto object = simstandin::object(aircraft->objectId);
        ASSERT_TRUE(object.has_value());
        EXPECT_EQ(aircraft->phase, FlightPhase::parked);
        EXPECT_EQ(aircraft->standId, i + 1);
        const LatLon stand{g_parkStands[i].latitude, g_parkStands[i].longitude};
        EXPECT_LT(gf_distanceNm({object->latitude, object->longitude}, stand) * 1852, 0.5);
        EXPECT_LT(std::abs(lf_wrapPi(object->heading_rad - kStand_deg * kRadPerDeg)) / kRadPerDeg,
                  1.0)
            << object->heading_rad / kRadPerDeg;
        // Turned on the spot, not spun round: an A320 turns on the spot at up to 21 degrees a
        // second.
        EXPECT_LE(swing_deg[hexOf(i)], 22.0);
    }
    expectNoException();
    expectFacingWhereTheyGo();
}

}  // namespace
}  // namespace qel::test
