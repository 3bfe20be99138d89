// Builds scenery BGL files from the record layout the scan reads: a header, a section table,
// subsection tables and airport records with name, runway, helipad and parking-list
// sub-records. Used by the scenery tests, the scan benchmark and the demo's add-on airport;
// damaged variants are made by editing the bytes it returns (see the helpers at the end).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qel::test {

using Bytes = std::vector<uint8_t>;

struct BglParkingSpec {
    uint32_t nameCode = 10;   // 10 "g", 14 "C", 0 none
    uint32_t type = 1;        // 5 cargo, 0/12/13 unused
    uint32_t number = 1;      // 0..4095
    float radius_m = 20.0f;   // stands with 1 < r < 200 are used
    float heading_deg = 90.0f;
    double latitude = 51.47;
    double longitude = -0.45;
    std::vector<uint32_t> airlineCodes;  // one word each after the entry
};

struct BglHelipadSpec {
    double latitude = 51.48;
    double longitude = -0.46;
    float size_m = 20.0f;  // the stand radius is half of it
};

struct BglAirportPlan {
    std::string ident = "EGLL";       // packed base 38
    int32_t altitude_mm = 25000;      // 82 ft
    std::string name = "Heathrow";    // name record of 6 + length bytes: unaligned when odd
    int runways = 1;                  // runway sub-records the decoder steps over
    std::vector<BglHelipadSpec> helipads;  // before the parking list
    std::vector<BglParkingSpec> parkings;  // one parking list, last sub-record
    bool parkingList = true;          // write the parking list even when empty
};

// A record: id, size (6 + payload) and payload.
Bytes bglRecord(uint16_t id, const Bytes& payload);
Bytes bglAirportRecord(const BglAirportPlan& airport);
uint32_t bglPackIdent(const std::string& ident);
uint32_t bglPackLatitude(double latitude);
uint32_t bglPackLongitude(double longitude);

struct BglSectionSpec {
    uint32_t type = 3;                // 3: airport
    uint32_t flags = 1;               // bit 16 set: 20-byte subsection entries
    std::vector<Bytes> subsections;   // each the concatenated records of one subsection
};

// The whole file: header, section table, subsection tables, then the records.
Bytes bglFile(const std::vector<BglSectionSpec>& sections);
// A file with one airport section holding one subsection per airport.
Bytes bglAirportFile(const std::vector<BglAirportPlan>& airports);

void bglWrite(const std::filesystem::path& path, const Bytes& bytes);

// Byte edits for damaged variants.
void bglPutU16(Bytes& bytes, std::size_t offset, uint16_t value);
void bglPutU32(Bytes& bytes, std::size_t offset, uint32_t value);
void bglPutF32(Bytes& bytes, std::size_t offset, float value);
uint32_t bglGetU32(const Bytes& bytes, std::size_t offset);
// Where the first subsection's records start (bglFile's layout).
std::size_t bglFirstRecordOffset(const Bytes& file);

}  // namespace qel::test
