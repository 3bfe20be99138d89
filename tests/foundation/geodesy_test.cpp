#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "foundation/geodesy.h"

namespace qel {
namespace {

constexpr double lf_pi = std::numbers::pi;
constexpr double lf_ftPerNm = 1852.0 / 0.3048;

struct DistanceCase {
    const char* name;
    LatLon a;
    LatLon b;
    double nm;           // haversine on the 3437.746770784939 nm sphere, computed independently
    double bearing_deg;  // initial bearing from a to b
};

TEST(Geodesy, DistancesAndBearingsMatchReferenceValues)
{
    const std::vector<DistanceCase> cases = {
        {"EDDL-EGLL", {51.2895, 6.7668}, {51.4700, -0.4543}, 270.5323900447277, 275.1127025948285},
        {"JFK-LAX", {40.6413, -73.7781}, {33.9416, -118.4085}, 2144.5238483020066,
         273.8419612742331},
        {"one degree east", {0, 0}, {0, 1}, 60.0, 90.0},
        {"one degree west", {0, 0}, {0, -1}, 60.0, 270.0},
        {"north", {10, 20}, {11, 20}, 60.0, 0.0},
        {"south", {10, 20}, {9, 20}, 60.0, 180.0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(gf_distanceNm(c.a, c.b), c.nm, 0.1) << c.name;
        EXPECT_NEAR(gf_bearingRad(c.a, c.b), c.bearing_deg * lf_pi / 180, 1e-9) << c.name;
    }
    EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 1}), 60.0, 0.01);
    EXPECT_EQ(gf_distanceNm({51.2895, 6.7668}, {51.2895, 6.7668}), 0.0);
    // Due west is 3π/2, never -π/2.
    EXPECT_GT(gf_bearingRad({0, 0}, {0, -1}), 0.0);
}

TEST(Geodesy, DestinationPoint)
{
    const LatLon start{51.2895, 6.7668};
    const LatLon same = gf_destinationPoint(start, 1.0, 0.0);
    EXPECT_NEAR(same.lat, start.lat, 1e-12);
    EXPECT_NEAR(same.lon, start.lon, 1e-12);

    // 60 nm east from 179.5°E crosses the antimeridian and comes back as 179.5°W.
    const LatLon across = gf_destinationPoint({0, 179.5}, lf_pi / 2, 60 * lf_ftPerNm);
    EXPECT_NEAR(across.lat, 0.0, 1e-9);
    EXPECT_NEAR(across.lon, -179.5, 1e-6);

    // Going out and measuring back gives the distance and bearing that were asked for.
    const LatLon egll{51.4700, -0.4543};
    const double nm = gf_distanceNm(start, egll);
    const LatLon reached = gf_destinationPoint(start, gf_bearingRad(start, egll), nm * lf_ftPerNm);
    EXPECT_NEAR(reached.lat, egll.lat, 1e-6);
    EXPECT_NEAR(reached.lon, egll.lon, 1e-6);
}

}  // namespace
}  // namespace qel
