// Airports, stands and scenery scanning as the other subsystems see them: the airport database
// read from input/airports.enc and its lookups.
//
// Threads: gf_readAirports fills g_airports and g_airportCodeSet once on the start-up thread
// before the worker threads start; afterwards both are read-only and read without a lock from
// the start-up/main thread and the scan tasks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <pugixml.hpp>

#include "foundation/codes.h"
#include "scenery/park_loading.h"
#include "scenery/stand_file.h"
#include "scenery/stand_places.h"

namespace qel {

// One airport of the database, held by value.
struct Airport {
    AirportCode code;                    // "EHAM"; four blanks when empty
    ShortAirportCode secondCode{"XXX"};  // IATA code "AMS"; "XXX" when none
    double latitude = 0.0;               // degrees, 52.3086
    double longitude = 0.0;              // degrees, 4.76389
    float altitude = 0.0f;               // as the file gives it (feet), -11
    int32_t standCount = 0;              // stands of the archived stand file, 0
    std::string name;                    // "Amsterdam Airport Schiphol"; empty when none given
    bool operator==(const Airport&) const = default;
};

// Sorted by code text after reading (start-up thread only, then read-only).
extern std::vector<Airport> g_airports;
// The 32-bit codes (AirportCode::word) of g_airports.
extern std::unordered_set<uint32_t> g_airportCodeSet;

// Deciphers input/airports.enc into input/airports.xml, reads it into g_airports once and
// removes the XML file. True when g_airports is not empty; a second call returns at once.
// Throws qel::UserErrorException 88 when the XML does not load, has no root/airports or holds
// a bad "c" code; the partial table is then emptied. Start-up thread.
bool gf_readAirports();
// gf_readAirports with other files: tests, and a program folder elsewhere.
bool gf_readAirportsFrom(const std::filesystem::path& encPath,
                         const std::filesystem::path& xmlPath);
// Checks one "ap" element and appends it, logging and skipping a record that lacks its
// position or altitude or has a bad "i" code. Start-up thread.
void gf_readAirportRecord(const pugi::xml_node& ap, const AirportCode& code);
// Empties the tables and clears the read flag; tests only.
void gf_clearAirports();

// The library's state of one run back to a fresh one (scenery/scenery_run.h): no park airport,
// no stands, an empty snapshot, no kept stands of other airports. Start-up thread while no
// worker runs (restart, failed close-down), and test fixtures.
void gf_resetSceneryRun();
// Whether that state equals a fresh one; tests.
bool gf_sceneryRunFresh();

// Any thread once read; none of them throws.
bool gf_isKnownAirport(uint32_t code);
// The airport whose code is the first four characters of the text, upper-cased.
std::optional<AirportCode> gf_findAirportByCode(std::string_view text);
// The first airport whose code stands between two hyphens in the path, without regard to case.
std::optional<AirportCode> gf_findAirportByName(const std::filesystem::path& path);
// "EHAM (AMS)", "EHAM" when the second code is XXX, "?" for an empty code.
std::string gf_airportText(const Airport& airport);

}  // namespace qel

#include "scenery/closest_airport.h"  // needs Airport above
