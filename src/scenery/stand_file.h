// Airport stand files: the stand and learned-flight records, the park airport's stand table, and
// the reader and writer of the XML format that archived, handmade, scanned and learned files
// share.
//
// Threads: g_parkStands, g_parkAirportInfo and g_qualityFactors belong to the thread that runs
// the main loop (the start-up thread); they have no lock. gf_writeApf keeps its state in its own
// document, so scan tasks may write several files at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "foundation/codes.h"
#include "foundation/halfhours.h"
#include "foundation/match_key.h"

namespace qel {

// A flight remembered at a stand: an "opt" element of the file.
struct LearnedFlight {
    MatchKey codes;              // airline, operator, model, cargo of the flight
    std::string registration;    // "D-AIBA"
    std::string callsign;        // part of "cs" before its first ':', "DLH4AB"
    std::string callsign2;       // part of "cs" after its first ':', usually ""
    HalfHourSet slots;           // bit n = UTC half hour n of the day
    uint32_t number = 0;         // 1-based place among the stand's options; 0: not written back
    uint32_t day = 0;            // weekday 1 Monday .. 7 Sunday
    uint32_t fromStandFile = 0;  // 1: read with its whole stand file; 0: from a learned file
    uint32_t real = 1;           // 1 real, 0 soft (the file's "soft" negated)
    uint8_t cpl = 0;             // 1 once the aircraft has left the stand
    bool operator==(const LearnedFlight&) const = default;
};

// One stand of an airport.
struct ParkStand {
    // `radius_m` in metres as the file holds it; held in nautical miles.
    ParkStand(std::string standId, std::vector<LearnedFlight> flights, double latitude_deg,
              double longitude_deg, double heading_rad, double radius_m, bool isCargo, bool isRamp,
              bool isHelipad);

    std::vector<LearnedFlight> learnedFlights;
    std::string id;                  // the file's name of the stand, trimmed: "D14"
    std::vector<uint32_t> overlaps;  // numbers of the stands whose circles overlap this one
    double latitude = 0.0;           // degrees, 52.308412
    double longitude = 0.0;          // degrees, 4.761231
    double heading = 0.0;            // radians, the file's degrees × π/180
    double radius = 0.0;             // nautical miles, the file's metres / 1852
    uint32_t number = 0;             // 1..N in table order once loaded; the binary-search key
    bool manual = false;             // written in full into a learned file
    bool radiusChanged = false;      // a learned file overrides the archived radius
    bool cargoChanged = false;       // a learned file overrides the archived cargo flag
    bool cargo = false;
    bool ramp = false;
    bool helipad = false;
    bool operator==(const ParkStand&) const = default;
};

// One airport as the scan decodes it and as the writer takes it.
struct BglAirport {
    AirportCode code;       // "EHAM"
    std::string name;       // airport name, empty for a scanned airport
    std::string bglPath;    // the BGL file's path, UTF-8
    std::string publisher;  // "stock", "simaddon" or an add-on publisher
    std::string manufacturer;
    std::string creator;
    int32_t qfReal = 0;  // quality factors 0..100, written for a handmade file only
    int32_t qfSoft = 0;
    int32_t altitude_ft = 0;  // 56
    std::vector<ParkStand> stands;
};

// The stand-file details of the current park airport.
struct ParkAirportInfo {
    std::string name;         // "airport_name": "Amsterdam Schiphol"
    std::string publisher;    // "publisher": "stock"
    int32_t altitude_ft = 0;  // "altitude": -11
    bool operator==(const ParkAirportInfo&) const = default;
};

// A learned or scanned file's kind of write.
enum ApfMode : int { ApfLearned = 0, ApfScanned = 1 };

// The identity of one "opt" element.
struct OptIdentity {
    std::string callsign;   // before the first ':' of "cs"
    std::string callsign2;  // after it
    MatchKey codes;
};

// Members of the scenery library's run state (scenery/scenery_run.h).
extern std::vector<ParkStand>& g_parkStands;  // main-loop thread, no lock
extern ParkAirportInfo& g_parkAirportInfo;    // main-loop thread, no lock
extern std::atomic<bool>& g_parkApfHandmade;  // atomic: the window reads it

// How an option's registration becomes its codes: the aircraft database's fleet lookup, set by
// the program at start before any stand file is read. Unset: codes from "airl" and "type".
extern std::function<std::optional<MatchKey>(const std::string&)> g_registrationKeyLookup;

// Writes the airport's stands to `path` (folders made as needed) by temporary file and rename.
// `mode` ApfLearned: settings rows and options, unchanged stands reduced to their id; refused
// (false, logged) when the airport has no stand and the file at `path` holds stands (or cannot be
// read), so an empty table never replaces what was learned. ApfScanned: every stand in full, no options. `sim` 1
// MSFS 2020, 2 MSFS 2024. False when the save fails. Throws gsl::narrowing_error only for an
// absurd MAX_FIT_FL. Any thread.
bool gf_writeApf(const BglAirport& airport, const std::filesystem::path& path, int mode, int sim);

// Who made a stand file's scenery, as its parameter rows hold it ("" for a missing row).
struct ApfMakers {
    std::string publisher;     // "Aerosoft"
    std::string manufacturer;  // "Jane Doe"
    std::string creator;       // "FlyTampa"
};
// A stand file built in memory.
struct ApfText {
    std::string bytes;  // what gf_writeApf saves, UTF-8
    ApfMakers makers;
};
// What gf_writeApf(airport, path, mode, sim) saves, built without touching the disk (and so
// without its guard for learned files); nothing when building failed. Any thread.
std::optional<ApfText> gf_apfText(const BglAirport& airport, int mode, int sim);

// Where a document's stands come from, for the log lines that say what was refused and where.
struct StandSource {
    std::string path;             // "airports/learned/thirdparty/Orbx/EHAM.xml"; "" unnamed
    std::string_view text;        // the bytes the document was parsed from; empty: no lines
    std::size_t countedTo = 0;    // byte offset up to which the lines are counted
    std::size_t linesBefore = 0;  // line breaks before countedTo
};
// Loads the file at `path` into `document`, its bytes kept in `text` for the line numbers of
// log lines. Files above 256 MiB are refused (status_io_error); no stand file comes near.
pugi::xml_parse_result lf_loadStandXml(const std::filesystem::path& path,
                                       pugi::xml_document& document, std::string& text);
// "<path> line <n>: " for a node of the source's document, or for a byte offset into its text;
// parts that are unknown are left out.
std::string lf_whereIn(StandSource& source, const pugi::xml_node& node);
std::string lf_whereAt(StandSource& source, std::ptrdiff_t offset);

// Appends the stands of a loaded stand file (the document or its `root`) to g_parkStands and
// gives the number of stands and options refused (each logged with its place and reason).
// Throws UserErrorException 93 (a stand without id) and 94 (an id twice), its text led by the
// place in a named source, leaving the stands read before it. Main-loop thread.
std::size_t gf_readParkPositions(const pugi::xml_node& node, StandSource& source);
std::size_t gf_readParkPositions(const pugi::xml_node& node);
// Appends one stand read from a `parkpos` element; each option gets `fromStandFile`. A stand
// without a valid position, heading or radius, and an option without a weekday 1-7 or a half
// hour, is logged and left out; gives the number of them.
std::size_t lf_readParkStand(const pugi::xml_node& parkpos, const std::string& id,
                             uint32_t fromStandFile, StandSource& source);
// One `opt` element of the stand `standId` as a learned flight, its number and origin left to
// the caller; nothing when it has no weekday 1-7 written in decimal digits or no half hour
// (logged with its place and reason).
std::optional<LearnedFlight> lf_readOption(const pugi::xml_node& opt, const std::string& standId,
                                           StandSource& source);
// Why the `parkpos` element's "radius" (metres) is no radius a stand can keep ("no radius",
// "radius '30m' is no number"); "" and the value in `radius_m` when it is one.
std::string lf_radiusRefusal(const pugi::xml_node& parkpos, double& radius_m);
OptIdentity lf_readOptIdentity(const pugi::xml_node& opt);
MatchKey lf_readAirlineAndType(const pugi::xml_node& opt);

// Within the scenery library: a number attribute read locale-free; 0 when missing, nothing
// when it is not a finite number.
std::optional<double> lf_readNumber(const pugi::xml_node& node, const char* name);
// A stand's latitude and longitude (degrees), or nothing when it has no usable place: missing
// or written as 0/0, not a finite number, or off the globe.
std::optional<std::pair<double, double>> lf_readStandPlace(const pugi::xml_node& parkpos);
// Whether the writer's text of `value` with `decimals` places shows no digit but 0 ("0.000000",
// "-0.0"): a latitude and longitude both written so, or such a radius, are refused when read.
bool lf_writtenAsZero(double value, int decimals);
// A radius (nautical miles) that the writer writes above 0.0 metres. Any thread.
bool gf_radiusWritable(double radius_nm);
// "KLM,MP  B738(C)": an option's codes as log lines show them.
std::string lf_flightLabel(const MatchKey& codes);

// Empties g_parkStands. Main-loop thread.
void gf_clearParkAirportTable();

}  // namespace qel
