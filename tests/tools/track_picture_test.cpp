// The track picture's reading of a simulator trace: which motion each stretch shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

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

// A text of the picture and the box it covers, measured as the picture measures its labels.
struct DrawnText {
    std::string text;
    double left, top, right, bottom;
};

std::string lf_attribute(std::string_view element, std::string_view name)
{
    const std::string key = std::string(" ") + std::string(name) + "=\"";
    const auto at = element.find(key);
    if (at == std::string_view::npos) return {};
    const auto from = at + key.size();
    return std::string(element.substr(from, element.find('"', from) - from));
}

// The texts of one view (the group with that id) of the picture.
std::vector<DrawnText> lf_textsOfView(const std::string& svg, const std::string& id)
{
    std::vector<DrawnText> texts;
    const auto begin = svg.find("<g id=\"" + id + "\"");
    if (begin == std::string::npos) return texts;
    const auto end = svg.find("<g id=", begin + 1);
    const std::string_view view = std::string_view(svg).substr(begin, end - begin);
    for (auto at = view.find("<text "); at != std::string_view::npos;
         at = view.find("<text ", at + 1)) {
        const auto close = view.find('>', at);
        const std::string_view element = view.substr(at, close - at);
        DrawnText t;
        t.text = std::string(view.substr(close + 1, view.find("</text>", close) - close - 1));
        const double size = std::stod(lf_attribute(element, "font-size"));
        const double perChar = size >= 13.0 ? 9.5 : (size >= 12.0 ? 7.8 : 7.0);
        const double width = perChar * static_cast<double>(t.text.size());
        const double x = std::stod(lf_attribute(element, "x"));
        const double y = std::stod(lf_attribute(element, "y"));
        t.left = lf_attribute(element, "text-anchor") == "end" ? x - width : x;
        t.right = t.left + width;
        t.top = y - size;
        t.bottom = y + size * 0.25;
        texts.push_back(t);
    }
    return texts;
}

// Ten aircraft side by side at a pier, an arrival taxiing in beside them and a runway far off:
// in the view of the whole airport their names would pile into one block.
TEST(TrackPicture, LabelsNeverCoverOneAnotherAndTheApronViewShowsThePier)
{
    std::string csv = kHeader;
    std::vector<Stand> stands;
    const double lat = 51.28;
    for (int i = 0; i < 10; ++i) {
        const double lon = 6.76 + i * 0.0004;  // 28 m apart
        const std::string name = "A" + std::to_string(i + 1);
        stands.push_back({name, lat, lon, 20.0});
        for (int t = 0; t < 3; ++t) {
            csv += std::to_string(t) + "," + std::to_string(200 + i) + ",ai,KLM" +
                   std::to_string(1000 + i) + "*,B738," + std::to_string(lat) + "," +
                   std::to_string(lon) + ",0,0,90,0,0,0,1,0,\n";
        }
    }
    for (int t = 0; t < 20; ++t) {  // taxis east along the pier, 10 m a second
        csv += std::to_string(t) + ",300,ai,EWG7TX,A320," + std::to_string(lat - 0.0003) + "," +
               std::to_string(6.758 + t * 0.00014) + ",0,0,90,0,0,10,1,0,\n";
    }
    for (int i = 0; i < 3; ++i) {  // free stands across the apron
        stands.push_back({"B" + std::to_string(i + 1), lat - 0.0008, 6.761 + i * 0.0008, 20.0});
    }
    csv += "0,1,user,PH-VNQ,A20N," + std::to_string(lat + 0.0004) + ",6.761,0,0,0,0,0,0,1,0,\n";
    auto tracks = parseTrace(csv);
    for (auto& [id, track] : tracks) classify(track, stands);
    const Runway runway{"05R/23L", 51.262, 6.72, 51.272, 6.80, 45.0};
    const std::string svg = renderSvg(tracks, stands, {runway});

    for (const char* view : {"airport", "apron"}) {
        const auto texts = lf_textsOfView(svg, view);
        ASSERT_FALSE(texts.empty()) << view;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            for (std::size_t j = i + 1; j < texts.size(); ++j) {
                const DrawnText& a = texts[i];
                const DrawnText& b = texts[j];
                const bool overlap =
                    a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
                EXPECT_FALSE(overlap) << view << ": " << a.text << " and " << b.text;
            }
        }
    }
    // Zoomed on the apron every aircraft has room for its name, and the free stands are named.
    const auto apron = lf_textsOfView(svg, "apron");
    auto shown = [&](const std::string& text) {
        return std::any_of(apron.begin(), apron.end(),
                           [&](const DrawnText& t) { return t.text == text; });
    };
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(shown("KLM" + std::to_string(1000 + i) + "*")) << i;
    EXPECT_TRUE(shown("EWG7TX"));
    for (const char* stand : {"B1", "B2", "B3"}) EXPECT_TRUE(shown(stand)) << stand;
    EXPECT_NE(svg.find("<title>A10</title>"), svg.rfind("<title>A10</title>"));  // both views
}

// On an east-west runway: ARR1 lands eastwards, rolls out and parks at S2; DEP1 stands at S1,
// pushes back, taxis to the east end, takes off westwards along the same runway and climbs out
// far beyond the airport. A row a second, as the stand-in simulator traces.
std::string lf_arrivalAndDeparture()
{
    std::string csv = kHeader;
    auto add = [&](int id, double t, double lat, double lon, double heading, bool ground) {
        csv += fmt::format("{},{},ai,{},B738,{:.6f},{:.6f},0,0,{},0,0,0,{},0,\n", t, id,
                           id == 1 ? "ARR1" : "DEP1", lat, lon, heading, ground ? 1 : 0);
    };
    for (int t = 0; t < 20; ++t) add(1, t, 51.0, 6.97 + t * 0.0015, 90, false);
    for (int t = 20; t < 40; ++t) add(1, t, 51.0, 7.0 + (t - 20) * 0.0008, 90, true);
    for (int t = 40; t < 70; ++t) add(1, t, 51.0 + std::min(t - 40, 15) * 0.0002, 7.016, 0, true);
    for (int t = 0; t < 30; ++t) add(2, t, 51.003, 7.025, 180, true);
    for (int t = 30; t < 40; ++t) add(2, t, 51.003 - (t - 29) * 0.00003, 7.025, 0, true);
    for (int t = 40; t < 80; ++t)
        add(2, t, 51.0027 - (t - 40) * 0.00007, 7.025 + (t - 40) * 0.0004, 90, true);
    for (int t = 80; t < 110; ++t) add(2, t, 51.0, 7.04 - (t - 80) * 0.0009, 270, true);
    for (int t = 110; t < 200; ++t) add(2, t, 51.0, 7.013 - (t - 110) * 0.002, 270, false);
    return csv;
}

std::string lf_arrivalAndDeparturePicture()
{
    const std::vector<Stand> stands{{"S1", 51.003, 7.025, 20.0}, {"S2", 51.003, 7.016, 20.0}};
    auto tracks = parseTrace(lf_arrivalAndDeparture());
    for (auto& [id, track] : tracks) classify(track, stands);
    return renderSvg(tracks, stands, {{"06/24", 51.0, 7.0, 51.0, 7.04, 45.0}});
}

TEST(TrackPicture, ADepartureIsNamedWhereItLeftTheAirportAndAmongEveryFlight)
{
    const std::string svg = lf_arrivalAndDeparturePicture();
    for (const char* view : {"sky", "airport"}) {
        const auto texts = lf_textsOfView(svg, view);
        EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const DrawnText& t) {
            return t.text == "DEP1";
        })) << view;
    }
    // The legend, above the views, names every kind of mark they hold.
    const auto legend = svg.find("<g id=\"legend\">");
    const std::string keys = svg.substr(legend, svg.find("</g>", legend) - legend);
    for (const char* key : {">user</text>", ">stand</text>", ">runway</text>"}) {
        EXPECT_NE(keys.find(key), std::string::npos) << key;
    }
}

TEST(TrackPicture, WhatMovedIsDrawnOverWhatStoodAndEachTrackOnce)
{
    const std::string svg = lf_arrivalAndDeparturePicture();
    const std::string dot = "fill=\"#111111\"/>";
    const auto airport = svg.find("<g id=\"airport\""), apron = svg.find("<g id=\"apron\"");
    // One dot for each aircraft's stand, under every track; no stand name on it.
    const auto texts = lf_textsOfView(svg, "apron");
    std::size_t dots = 0;
    for (auto at = svg.find(dot, apron); at != std::string::npos; at = svg.find(dot, at + 1)) {
        ++dots;
        const std::string circle = svg.substr(svg.rfind("<circle", at));
        const double x = std::stod(lf_attribute(circle, "cx"));
        const double y = std::stod(lf_attribute(circle, "cy"));
        for (const DrawnText& t : texts) {
            EXPECT_FALSE(t.left < x && x < t.right && t.top < y && y < t.bottom) << t.text;
        }
    }
    EXPECT_EQ(dots, 2u);
    EXPECT_LT(svg.find(dot, airport), svg.find("<path", airport));
    // The landing roll on top of the take-off roll along the same runway.
    EXPECT_LT(svg.find("stroke=\"#ff7f0e\"", airport), svg.find("stroke=\"#d62728\"", airport));
    // A path for each track and motion, not a line for each of the 270 rows.
    std::size_t paths = 0;
    for (auto at = svg.find("<path", airport); at < apron; at = svg.find("<path", at + 1)) ++paths;
    EXPECT_LE(paths, 2u * 5u);  // two tracks, five motions that move
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
