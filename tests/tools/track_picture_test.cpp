// The track picture's reading of a simulator trace: which motion each stretch shows.
#include <gtest/gtest.h>

#include <string>

#include "../../tools/track_picture/track_picture.h"

namespace qel::tracks {
namespace {

constexpr const char* kHeader =
    "time_s,object_id,kind,atc_id,title,latitude,longitude,altitude_ft,alt_above_ground_ft,"
    "heading_deg,pitch_deg,bank_deg,ground_speed_kt,on_ground,lights,event\n";

std::string lf_row(double t, double lat, double lon, double heading, bool ground)
{
    return std::to_string(t) + ",101,ai,DLH4AB,\"Airbus, A320\"," + std::to_string(lat) + "," +
           std::to_string(lon) + ",100,0," + std::to_string(heading) + ",0,0,0," +
           (ground ? "1" : "0") + ",0,\n";
}

// An arrival that lands northwards, rolls out, taxis and parks, then pushes back southwards
// with its nose still north, and taxis off.
TEST(TrackPicture, TellsEachMotionFromTheTrace)
{
    std::string csv = kHeader;
    double lat = 51.0;
    double t = 0.0;
    auto add = [&](double dlat_m, double heading, bool ground) {
        lat += dlat_m / 111132.95;
        t += 1.0;
        csv += lf_row(t, lat, 7.0, heading, ground);
    };
    add(0, 0, false);
    add(70, 0, false);   // air, 136 kt
    add(60, 0, true);    // landing roll
    add(5, 0, true);     // taxi, ~10 kt
    add(0, 0, true);     // stands still on the stand
    add(-1.5, 0, true);  // pushed back: moves south, nose north
    add(3, 0, true);     // taxis off north
    csv += "garbage,row\n1,2,3\n";
    auto tracks = parseTrace(csv);
    ASSERT_EQ(tracks.size(), 1u);
    ObjectTrack& track = tracks.begin()->second;
    EXPECT_EQ(track.atcId, "DLH4AB");
    const std::vector<Stand> stands{{"A1", lat + 1.5 / 111132.95, 7.0, 20.0}};
    classify(track, stands);
    const Motion expected[] = {Motion::air,    Motion::air,      Motion::landingRoll,
                               Motion::taxi,   Motion::parked,   Motion::pushBack,
                               Motion::taxi};
    ASSERT_EQ(track.points.size(), std::size(expected));
    for (std::size_t i = 0; i < track.points.size(); ++i) {
        EXPECT_EQ(motionName(track.points[i].motion), motionName(expected[i])) << "row " << i;
    }
    const std::string svg = renderSvg(tracks, stands, {});
    EXPECT_NE(svg.find(">DLH4AB</text>"), std::string::npos);
    EXPECT_NE(svg.find("<title>A1</title>"), std::string::npos);
}

TEST(TrackPicture, RunwayTextsAndBrokenStandFiles)
{
    Runway runway;
    EXPECT_TRUE(parseRunway("05R/23L,51.27,6.74,51.29,6.78", runway));
    EXPECT_EQ(runway.name, "05R/23L");
    EXPECT_FALSE(parseRunway("05R,51.27,6.74,51.29", runway));
    EXPECT_FALSE(parseRunway("05R,91,6.74,51.29,6.78", runway));
    EXPECT_FALSE(parseRunway("05R,nan,6.74,51.29,6.78", runway));
    EXPECT_TRUE(parseStandFile("<root><parkpos id=\"x\" latitude=\"nan\"/>").empty());
    const auto listed = parseScenarioRunways(
        R"({"runways": [{"name": "06/24", "lat1": 52.28, "lon1": 4.73, "lat2": 52.30, "lon2": 4.77},
                        {"name": "bad", "lat1": "x"}, 7]})");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "06/24");
    EXPECT_TRUE(parseScenarioRunways("{not json").empty());
    EXPECT_EQ(parseStandFile("<root><parkpos id=\"B1\" latitude=\"51.9\" longitude=\"4.4\" "
                             "radius=\"23\"/></root>")
                  .size(),
              1u);
}

}  // namespace
}  // namespace qel::tracks
