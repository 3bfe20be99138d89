// The stand-in simulator's view of a scenario: the shared keys it uses (clock, user position)
// and its own "simulator" object, with every default filled in (README.md here).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "standins/simulator/sim_standin.h"

namespace qel::simstandin {

struct PathPoint {
    double t_s = 0.0;                  // scenario seconds: 60.0
    double lat = 0.0;                  // degrees
    double lon = 0.0;                  // degrees
    std::optional<double> alt_ft;      // feet; none: on the ground
};

struct UserConfig {
    std::string title = "Airbus A320 Neo Asobo";  // "TITLE"
    std::string atcModel = "A20N";                // "ATC MODEL" as the aircraft reports it
    std::string atcId = "ASXGS";                  // "ATC ID"
    bool helicopter = false;
    double lat = 0.0;          // degrees, where the user stands when there is no path
    double lon = 0.0;          // degrees
    double heading_deg = 0.0;  // degrees true
    std::optional<double> alt_ft;  // none: on the ground
    std::vector<PathPoint> path;   // ascending t_s; the user stands at its ends outside it
    DWORD lightStates = 0x3;       // nav and beacon
    double staticCg_ft = 6.0;
};

struct LiveryConfig {
    std::string title;     // "Airbus A320 Lufthansa"
    std::string atcModel;  // "A320"; empty when unknown
    bool helicopter = false;
    std::optional<double> staticCg_ft;
    std::optional<double> staticPitch_deg;
};

struct OwnTrafficConfig {
    std::string title = "Asobo Generic Airliner";
    std::string atcId = "AS-GEN";
    std::string atcModel = "A320";
    // A ground vehicle or a boat takes room in the simulator like an aircraft, but a client
    // that watches aircraft never hears of it.
    SIMCONNECT_SIMOBJECT_TYPE type = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
    double lat = 0.0;                // degrees at appearAt_s
    double lon = 0.0;                // degrees
    std::optional<double> alt_ft;    // none: on the ground
    double heading_deg = 0.0;        // degrees true, also its course
    double speed_kt = 0.0;           // ground speed along the heading
    double appearAt_s = 0.0;         // scenario seconds
    std::optional<double> leaveAt_s; // scenario seconds; none: stays
};

// One scripted change of the simulator's mood at a scenario time.
struct TimelineEntry {
    double at_s = 0.0;     // scenario seconds
    std::string action;    // "quit", "pause", "unpause", "sim_stop", "sim_start", "flight_loaded",
                           // "teleport"
    std::string file;      // flightLoaded: the flight file's name
    double lat = 0.0;      // teleport
    double lon = 0.0;
    std::optional<double> alt_ft;
};

struct SimConfig {
    std::string simName = "KittyHawk";                       // "KittyHawk" or "SunRise"
    std::array<DWORD, 4> appVersion{11, 0, 282174, 999};     // major, minor, build major/minor
    std::array<DWORD, 4> simConnectVersion{11, 0, 62651, 3};
    int openFailures = 0;         // opens answered "not running" before the first success
    double frameRate_hz = 30.0;
    bool flightRunning = true;    // a flight is loaded when the simulator starts
    double fieldElevation_ft = 0.0;
    double staticCg_ft = 8.0;     // for liveries that name none
    double staticPitch_deg = 0.5;
    int objectLimit = 1000;       // AI objects at once, own traffic included
    double createDelay_s = 0.0;   // from SimConnect_AICreateNonATCAircraft to the new object
    double byTypeRadiusLimit_m = 200000.0;  // the most a request by type reaches, whatever it asks
    int lostObjectAdded = 0;  // the first objects to appear whose ObjectAdded never comes
    DWORD firstObjectId = 100;
    bool reuseObjectIds = false;  // a removed object's id goes to a later object, oldest first
    int64_t clockStart = 0;       // epoch seconds of scenario time 0
    UserConfig user;
    std::map<std::string, LiveryConfig> liveries;  // known livery titles
    std::optional<std::filesystem::path> packagesFolder;  // aircraft.cfg files below it
    std::vector<OwnTrafficConfig> ownTraffic;
    std::vector<FailureRule> failures;
    std::vector<TimelineEntry> timeline;  // ascending at_s
    std::optional<std::filesystem::path> outputFolder;  // call log, trace, object states
    double traceInterval_s = 1.0;
    bool callLog = true;
};

// Reads the scenario file, or the text; relative paths are taken from the file's folder, or
// from `baseFolder`. Throws std::runtime_error naming what is wrong.
SimConfig loadSimConfig(const std::filesystem::path& scenario, int64_t now_s);
SimConfig parseSimConfig(const std::string& text, const std::filesystem::path& baseFolder,
                         int64_t now_s);

// Adds the liveries of every aircraft.cfg below `folder` (its [fltsim.N] titles, the file's
// icao_type_designator, helicopters by their category); entries already known stay.
void addPackageLiveries(const std::filesystem::path& folder,
                        std::map<std::string, LiveryConfig>& liveries);

}  // namespace qel::simstandin
