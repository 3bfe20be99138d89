// Park airports: the list of candidate airports (my_park_airports.txt and the third-party
// airports), the choice of the park airport as the user moves, the loading of its stands and
// the saving of what they learned. What it offers the other rooms: the park airport with its
// code, elevation and position, and its loading and clearing.
//
// Threads: main-loop thread.
#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/geodesy.h"
#include "scenery/scenery.h"

namespace qel {

// The park airport's three-letter code; empty without one.
std::string lf_parkAirportCode3();
// The park airport's field elevation, ft; read only while gf_parkAirportSet (park_airports).
float lf_parkElevation_ft();
// Its position; none without a park airport.
std::optional<LatLon> lf_parkAirportPosition();

// One line of airports/my_park_airports.txt, or an airport of airports/my_thirdparty.
struct ParkAirport {
    std::string standName;     // the user's stand at this airport, kept free: "D16"; may be ""
    double latitude = 0.0;     // degrees, from the airport database: 52.3086
    double longitude = 0.0;    // degrees: 4.76389
    double distance_nm = 0.0;  // from the user aircraft at the last sort; 0 for a new entry
    uint32_t code = 0;         // AirportCode::word() of "EHAM"
    bool operator==(const ParkAirport&) const = default;
};
// The candidates, nearest (or the destination) first.
extern std::list<ParkAirport>& g_parkAirports;
// Guards the user's stand that the simulator link remembered (the run's rememberedPosition); a
// leaf lock above the log mutex. The process's: the run's reset takes it.
extern std::mutex g_rememberedMutex;
// The park airport, a copy of its database record; code word 0 = none.
extern Airport& g_parkAirport;
// Chosen; its stands are loaded at the next run of the park driver.
extern bool& g_parkAirportPending;
// Its stands were loaded at once (on the ground at the loop's start); the first planning runs
// at the next run of the park driver, when the parked traffic asked for has had time to come.
extern bool& g_parkPlanPending;

// "EHAM"; four blanks for 0.
std::string gf_codeText(uint32_t code);
// The database's airport of that code word; none when it has none.
const Airport* gf_airportOfCode(uint32_t code);
// Writes the front entry's line into my_park_airports.txt (temporary file and rename).
void lf_writeMyParkAirports();
// The airport becomes the front entry (a new DESTINATION).
void lf_addParkAirport(uint32_t code, LatLon position);
void lf_sortParkAirports(LatLon position);
// The user's stand that the simulator link remembered reaches the list's front entry.
void lf_applyRememberedStand();
void lf_addMyThirdpartyAirports();
// The line of the file belongs to the airport of `newLine` (its first field, byte for byte).
bool lf_replaceParkAirportLine(const std::string& newLine, const std::string& fileLine);
bool lf_setParkAirport(uint32_t code);
// Loads the park airport's stands: "" on success, else the text for the message line.
std::string lf_readParkedFile();
// `planNow`: the first planning follows at once, else at the next run of the park driver.
void lf_loadParkAirport(bool planNow);
void lf_findParkAirport(LatLon position, bool now);
void lf_checkParkAirportInSight(LatLon position);
// Drops the park airport: the learned file is saved, the stand table emptied.
void lf_clearParkAirport();
// Writes the learned airport file of the park airport (only while its stands are loaded).
void lf_saveLearnedAirport();
// The window's parking controls; they also raise and clear g_parkingBusy.
void lf_enableParkingControls();
void lf_disableParkingControls();

}  // namespace qel
