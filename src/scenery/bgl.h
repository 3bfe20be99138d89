// The airports and stands of one scenery BGL file: the decoding of its airport records into
// stands, and the quick test of its section table that decides whether a file is decoded.
//
// Threads: every function here works on its arguments alone and reads the airport database
// (read-only once the start-up has read it), so the scan tasks call them in parallel.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "foundation/codes.h"

namespace qel {

// A line the decoding leaves, in the order the file is read; the scanning thread writes it.
struct ScanLine {
    enum class To { Report, Log, LogHighlighted };
    To to = To::Report;
    std::string text;  // "Skipped position with radius 0.5 m in C:\\a.bgl"
};

// One usable parking spot or helipad of a scanned airport.
struct BglStand {
    std::string id;            // "g12", "C3a", "helipad1"
    double latitude = 0.0;     // degrees, 51.47
    double longitude = 0.0;    // degrees, -0.45
    double heading_rad = 0.0;  // (0, 2π]; 0 for a helipad
    double radius_m = 0.0;     // metres, 18.5
    bool cargo = false;
    bool ramp = false;
    bool helipad = false;
};

// One decoded airport record (id 0x56).
struct ScannedAirport {
    AirportCode code;              // "EGLL"
    int32_t altitude_ft = 0;       // feet, 0 outside -20..10000
    std::vector<BglStand> stands;  // in file order
    int32_t helipadNumber = 1;     // the next helipad's number: 1 + helipads added
    std::vector<ScanLine> lines;   // what decoding its stands reported
};

// An airport record of MSFS 2024 (id 0x113) whose content is not decoded.
struct UnrecognisedAirport {};

// What a BGL file holds, in file order.
using BglEntry = std::variant<ScanLine, ScannedAirport, UnrecognisedAirport>;

// Decodes every airport of the file's bytes into `out`. `pathText` (UTF-8) goes into report
// lines; `msfs2020` is the chosen simulator. A file that is not a BGL file, or has no airport
// section, adds nothing. Throws BglFormatError when the file breaks the layout; the entries of
// the airports completed before stay in `out`.
void gf_decodeBgl(std::span<const uint8_t> bytes, const std::string& pathText, bool msfs2020,
                  std::vector<BglEntry>& out);

// The section table names an airport section (type 3). Reads only the file's head.
bool lf_hasAirportSection(const std::filesystem::path& path);

// The ident of an airport record: its text, and whether it is an airport of the database.
// Sets `line` when the ident is a 4-character code the database does not know.
std::pair<std::string, bool> lf_decodeBglIcao(uint32_t packed, std::string& line);

}  // namespace qel
