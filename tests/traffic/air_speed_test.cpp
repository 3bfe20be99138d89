// How fast a live aircraft in the air changes its speed as the simulator shows it, through the
// stand-in simulator and scripted polls: no more than 5 kt in a second where its reports change
// it more slowly, however the windows time its legs and where they repeat its position.
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

class AirSpeed : public MotionRoad {
protected:
    // Once a second in the air, for each watched flight, from 5 s after its object was created
    // (one created in the air waits for its object there first): the largest change of the
    // speed it is shown moving at from the second before, and the least share of the speed its
    // next report gives.
    struct Watch {
        std::optional<LatLon> before;
        std::optional<double> before_kt;
        double largestChange_kt = 0.0;
        std::string largestAt;
        double leastShare = 1.0;
        std::string leastAt;
        int airborneSeconds = 0;
        uint32_t objectId = 0;
        int32_t createdTick = 0;
        // Where it is reported hovering, and in the seconds it stands still, how far from there.
        std::optional<LatLon> hover;
        int stillSeconds = 0;
        double stillOff_m = 0.0;
    };

    void watchAir(std::initializer_list<uint32_t> hexes)
    {
        for (const uint32_t hex : hexes) watches_[hex];
        eachTick_ = [this] {
            if (g_fastTicks % 100 != 0) return;
            for (auto& [hex, watch] : watches_) note(live(hex), watch);
        };
    }

    static void note(const LiveAc* aircraft, Watch& w)
    {
        const auto object =
            aircraft && aircraft->objectId ? simstandin::object(aircraft->objectId) : std::nullopt;
        if (object && aircraft->objectId != w.objectId) {
            w.objectId = aircraft->objectId;
            w.createdTick = g_fastTicks;
        }
        if (!object || object->onGround || g_fastTicks - w.createdTick < 500) {
            w.before.reset();
            w.before_kt.reset();
            return;
        }
        const LatLon here{object->latitude, object->longitude};
        if (w.before) {
            const double kt = gf_distanceNm(*w.before, here) * 3600.0;
            if (w.before_kt && std::abs(kt - *w.before_kt) > w.largestChange_kt) {
                w.largestChange_kt = std::abs(kt - *w.before_kt);
                w.largestAt = fmt::format("{:.1f} kt to {:.1f} kt at tick {}", *w.before_kt, kt,
                                          g_fastTicks.load());
            }
            const double reported_kt = aircraft->samples.front().groundSpeed_kt;
            if (aircraft->syntheticCount == 0 && kt / reported_kt < w.leastShare) {
                w.leastShare = kt / reported_kt;
                w.leastAt = fmt::format("{:.1f} kt where {:.1f} kt are reported at tick {}", kt,
                                        reported_kt, g_fastTicks.load());
            }
            if (w.hover && kt < 0.1) {
                ++w.stillSeconds;
                w.stillOff_m = std::max(w.stillOff_m, gf_distanceNm(*w.hover, here) * kMetresPerNm);
            }
            w.before_kt = kt;
            ++w.airborneSeconds;
        }
        w.before = here;
    }

    std::map<uint32_t, Watch> watches_;  // by hex id
};

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

    watchAir({0x48548e});
    for (const auto& poll : pollsOf(std::move(reports))) {
        push(poll, 30);
        runTicks(0x48548e, 600);
    }
    runTicks(0x48548e, 3000);

    EXPECT_TRUE(went("flying"));
    const Watch& w = watches_[0x48548e];
    EXPECT_GT(w.airborneSeconds, 200);
    EXPECT_LE(w.largestChange_kt, 5.05) << w.largestAt;
    // Held back to its reports' schedule, it flies no slower than its own speed over 1.3.
    EXPECT_GT(w.leastShare, 0.75) << w.leastAt;
    expectNoException();
}

TEST_F(AirSpeed, FlightsWhoseReportsRepeatTheirPositionFlyOnAtTheirSpeed)
{
    // Level at 1500 ft, reported every 5 s; every fourth report repeats the position of the one
    // before with a newer time, as ADS-B feeds send a position again until a new one is decoded.
    // A helicopter hovers where its reports keep it at one place, but not where they say it
    // flies on. One slows into a hover at up to 8 kt a second, its reports placed as it slows.
    struct Case {
        uint32_t hex;
        const char* type;
        double speed_kt;
        double lat;  // where it is first reported, on 6.95 east
        std::vector<double> slowing_kt{};
        double maxChange_kt = 5.05;  // in a second
    };
    const std::vector<Case> cases{{0x48548e, "A320", 250.0, 51.40},
                                  {0x48548f, "R44", 100.0, 51.45},
                                  {0x485490, "R44", 100.0, 51.50, {60, 30, 10, 0}, 8.05}};
    startAt("repeated-positions", {});
    std::vector<Report> reports;
    for (const Case& c : cases) {
        livery(c.hex);
        LatLon p{c.lat, 6.95};
        double alt = 1500;
        double t = 0;
        std::vector<Report> flight{reportAt(p, alt, c.speed_kt, 230, t)};
        reportLeg(flight, p, alt, t, 230, c.speed_kt, 0, 24);
        for (std::size_t i = 3; i < flight.size(); i += 4) {
            flight[i].lat = flight[i - 1].lat;
            flight[i].lon = flight[i - 1].lon;
        }
        double v = c.speed_kt;
        for (const double next : c.slowing_kt) {
            p = gf_destinationPoint(p, 230 * kRadPerDeg, (v + next) / 2 * 5 / 3600 * kFeetPerNm);
            flight.push_back(reportAt(p, alt, v = next, 230, t += 5));
        }
        if (v == 0.0) {
            for (int i = 0; i < 24; ++i) flight.push_back(reportAt(p, alt, 0, 230, t += 5));
            watches_[c.hex].hover = p;
        }
        for (Report& r : flight) {
            r.hex = c.hex;
            r.callsign = fmt::format("KLM{}", c.hex & 0xF);
            r.type = c.type;
            reports.push_back(r);
        }
    }
    watchAir({cases[0].hex, cases[1].hex, cases[2].hex});
    fly(cases[0].hex, std::move(reports), 2000);

    for (const Case& c : cases) {
        const Watch& w = watches_[c.hex];
        EXPECT_GT(w.airborneSeconds, 100) << c.type;
        EXPECT_LE(w.largestChange_kt, c.maxChange_kt) << c.type << ": " << w.largestAt;
        if (w.hover) {
            // Hovering for two minutes, it stands where its reports place it.
            EXPECT_GT(w.stillSeconds, 100) << c.type;
            EXPECT_LT(w.stillOff_m, 3.0) << c.type;
            continue;
        }
        EXPECT_GT(w.leastShare, 0.75) << c.type << ": " << w.leastAt;
    }
    expectNoException();
}

}  // namespace
}  // namespace qel::test
