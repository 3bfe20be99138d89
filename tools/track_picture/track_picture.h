// A top view of what the stand-in simulator saw: every AI object's track from its trace file,
// coloured by what the aircraft was doing (in the air, landing or take-off roll, taxiing,
// pushed back, parked), drawn over the airport's runways and stands as an SVG picture: once for
// the sky around the airport, once for the whole airport and once zoomed on its apron.
//
// Threads: none of its own; any thread.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qel::tracks {

// What an object was doing at one trace row, told from its motion alone.
enum class Motion { air, landingRoll, takeOffRoll, taxi, pushBack, parked };
std::string_view motionName(Motion motion);

struct TracePoint {
    double time_s = 0.0;     // simulator seconds: 12.500
    double lat = 0.0;        // degrees: 51.2793
    double lon = 0.0;        // degrees: 6.7635
    double heading_deg = 0.0;
    bool onGround = false;
    Motion motion = Motion::air;
};

struct ObjectTrack {
    std::string atcId;       // the callsign the object shows: "DLH4AB"
    std::string kind;        // "ai", "user" or "own"
    std::vector<TracePoint> points;
};

struct Stand {
    std::string name;        // "A02"
    double lat = 0.0;
    double lon = 0.0;
    double radius_m = 0.0;
};

struct Runway {
    std::string name;        // "05R/23L"
    double lat1 = 0.0, lon1 = 0.0, lat2 = 0.0, lon2 = 0.0;
    double width_m = 45.0;
};

// The tracks of a simulator-trace.csv text, by object id, each in time order with its motion
// classified. Rows that do not parse are skipped; at most `maxRows` rows are read, so a huge or
// hostile file cannot exhaust memory.
std::map<long long, ObjectTrack> parseTrace(std::string_view csv, std::size_t maxRows = 2'000'000);

// Marks every point's motion from its neighbours: ground speed from positions, push-back when the
// movement runs against the heading, parked when it stands still within a stand's radius (or
// for a minute without stands), a fast ground run after air is a landing roll, before it a
// take-off roll.
void classify(ObjectTrack& track, const std::vector<Stand>& stands);

// The parkpos elements of a stand file; nothing when the text is no such file.
std::vector<Stand> parseStandFile(std::string_view xml);

// "name,lat1,lon1,lat2,lon2"; false when the text is not of that form.
bool parseRunway(std::string_view text, Runway& runway);
// The "runways" of a scenario file: [{"name", "lat1", "lon1", "lat2", "lon2"}]; entries that
// are not of that form, and a text that is no JSON, give nothing.
std::vector<Runway> parseScenarioRunways(std::string_view json);

// The picture, under a legend of the motions, three views one above the other: the sky, all
// that flew, where every aircraft is named; the airport, whose ground tracks, stands and
// runways decide the view (air tracks are clipped to it); the park airport's apron, zoomed on
// where aircraft stood and the user is, with the names of the stands that have room for them.
// Each view names every aircraft where it was last seen in it, beside that place or further out
// with a leader line; none covers another, nor an aircraft, and one without room is left out.
// What stood is drawn first, what moved over it, each track and motion as one path.
std::string renderSvg(const std::map<long long, ObjectTrack>& tracks,
                      const std::vector<Stand>& stands, const std::vector<Runway>& runways);

}  // namespace qel::tracks
