// Decoding of a scenery BGL file's airport records: the header and section table, every
// subsection of each airport section, the airport records with their helipads and parking
// lists. All reads go through BglView, so a damaged file ends in one BglFormatError.
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <unordered_set>
#include <string_view>

#include <fmt/format.h>

#include "scenery/bgl.h"
#include "scenery/bgl_view.h"
#include "scenery/scenery.h"
#include "scenery/stand_file.h"

namespace qel {

namespace {

constexpr uint64_t lf_headerSize = 56;        // bytes; also the header's own size field
constexpr uint64_t lf_sectionEntrySize = 20;  // bytes
constexpr uint64_t lf_subsectionEntrySize = 16;
constexpr uint64_t lf_recordHeaderSize = 6;  // id (2) and size (4)
constexpr uint32_t lf_airportSection = 3;
constexpr uint32_t lf_wideSubsectionFlag = 0x10000;  // 20-byte subsection entries
constexpr uint16_t lf_airportRecord = 0x56;
constexpr uint16_t lf_airport2024Record = 0x113;
constexpr uint16_t lf_helipadRecord = 0x26;
constexpr uint16_t lf_parkingListRecord = 0xE7;
constexpr uint64_t lf_airportHeaderSize = 68;     // sub-records start here
constexpr uint64_t lf_parkingEntrySize = 56;      // bytes before the airline codes
constexpr int lf_maxSteps = 9000;                 // a corrupt size chain cannot loop for long
constexpr uint32_t lf_usedParkingTypes = 0xCFFE;  // types 1-11, 14, 15
constexpr uint32_t lf_rampParkingTypes = 0x40FE;  // types 1-7, 14
constexpr uint32_t lf_cargoParkingType = 5;
constexpr double lf_latitudeStep = 3.3527612686157227e-7;  // 180 / 2^29 degrees
constexpr double lf_longitudeStep = 4.470348358154297e-7;  // 360 / (3 * 2^28) degrees
constexpr double lf_feetPerMetre = 3.2808399;
constexpr double lf_radiansPerDegree = 0.017453292519943295;
constexpr double lf_fullCircle_rad = 6.283185307179586;
constexpr float lf_maxHelipadSize_m = 400.0f;  // larger than any helipad; beyond is garbage
constexpr double lf_nmPerMetre = 0.0005399568034557236;
// Far above the largest real airport (about 1,500 stands); a parking list may hold 65,535,
// all at one spot, whose overlaps the park-airport loading would have to hold.
constexpr std::size_t lf_maxStandsPerAirport = 10000;
// The Windows-1252 dash (0x97) of these texts, written as UTF-8 into the UTF-8 log.
constexpr std::string_view lf_dash = "\u2014";

ScanLine lf_report(std::string text) { return {ScanLine::To::Report, std::move(text)}; }
ScanLine lf_log(std::string text) { return {ScanLine::To::Log, std::move(text)}; }
ScanLine lf_highlighted(std::string text)
{
    return {ScanLine::To::LogHighlighted, std::move(text)};
}

std::string_view lf_namePrefix(uint32_t code)
{
    static constexpr std::array<std::string_view, 11> prefixes = {
        "", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g"};
    static constexpr std::string_view letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (code < prefixes.size()) return prefixes[code];
    if (code >= 12 && code <= 37) return letters.substr(code - 12, 1);
    return {};
}

double lf_latitude(uint32_t raw) { return 90.0 - raw * lf_latitudeStep; }
double lf_longitude(uint32_t raw) { return raw * lf_longitudeStep - 180.0; }

bool lf_validPosition(double lat, double lon)
{
    if (lat < -90.0 || lat > 90.0 || lon < -180.0 || lon > 180.0) return false;
    return !(std::abs(lat) <= 0.0001 && std::abs(lon) <= 0.0001);
}

// Degrees of any finite size into (0, 2π]; exactly north is 2π, as stored files have it.
double lf_headingRadians(float degrees)
{
    double normal = std::fmod(static_cast<double>(degrees), 360.0);
    if (normal < 0.0) normal += 360.0;
    if (normal == 0.0) return lf_fullCircle_rad;
    return normal * lf_radiansPerDegree;
}

// The per-airport state of the sub-record walk.
struct AirportWalk {
    ScannedAirport& airport;
    const std::string& pathText;
    // Positions seen, as their raw words: two positions within 1e-8 degrees (far below one
    // step of either word) are the same words.
    std::unordered_set<uint64_t> helipads;
    std::unordered_set<std::string> usedIds;
    bool capReported = false;
};

// A stand more is allowed; the first one beyond the cap leaves one report line.
bool lf_roomForStand(AirportWalk& walk)
{
    if (walk.airport.stands.size() < lf_maxStandsPerAirport) return true;
    if (!walk.capReported) {
        walk.capReported = true;
        walk.airport.lines.push_back(lf_report(
            fmt::format("{}{} has more than {} stands, the others skipped in {}", "===> ",
                        walk.airport.code.text(), lf_maxStandsPerAirport, walk.pathText)));
    }
    return false;
}

// The id itself, else the id with "a" to "j"; empty when all are taken.
std::string lf_uniqueStandId(const std::string& id, AirportWalk& walk)
{
    if (walk.usedIds.insert(id).second) return id;
    for (const char letter : std::string_view("abcdefghij")) {
        std::string candidate = id + letter;
        if (walk.usedIds.insert(candidate).second) return candidate;
    }
    walk.airport.lines.push_back(lf_report(
        fmt::format("{}Warning: more than 10 duplicate IDs {} in {}", "===> ", id, walk.pathText)));
    return {};
}

void lf_decodeHelipad(const BglView& record, AirportWalk& walk)
{
    const uint32_t rawLat = record.u32(16);
    const uint32_t rawLon = record.u32(12);
    const double lat = lf_latitude(rawLat);
    const double lon = lf_longitude(rawLon);
    const float size_m = record.f32(28);
    auto& lines = walk.airport.lines;
    if (!lf_validPosition(lat, lon)) {
        lines.push_back(
            lf_report(fmt::format("lat/lon helipad incorrect (skipped): {:.6f},{:.6f}", lat, lon)));
        return;
    }
    const uint64_t position = uint64_t{rawLat} << 32 | rawLon;
    if (walk.helipads.contains(position)) {
        lines.push_back(
            lf_report(fmt::format("double helipad {} (skipped) {:.6f},{:.6f}", "", lat, lon)));
        return;
    }
    // Written so that NaN fails too: a stand file must never carry a NaN or negative radius,
    // nor one it writes as 0.0, which no reader takes back.
    if (!(size_m > 0.0f && size_m <= lf_maxHelipadSize_m) ||
        !gf_radiusWritable(size_m * 0.5 * lf_nmPerMetre)) {
        lines.push_back(lf_report(
            fmt::format("Skipped helipad with size {:.1F} m in {}", size_m, walk.pathText)));
        return;
    }
    if (!lf_roomForStand(walk)) return;
    walk.helipads.insert(position);
    BglStand stand;
    stand.id = fmt::format("helipad{}", walk.airport.helipadNumber++);
    stand.latitude = lat;
    stand.longitude = lon;
    stand.radius_m = size_m * 0.5;
    stand.helipad = true;
    walk.airport.stands.push_back(std::move(stand));
}

// One parking entry of 56 bytes; its airline codes follow and are not read.
void lf_decodeParkingEntry(const BglView& entry, AirportWalk& walk)
{
    auto& lines = walk.airport.lines;
    const float radius_m = entry.f32(4);
    if (!(radius_m > 1.0f && radius_m < 200.0f)) {
        lines.push_back(lf_report(
            fmt::format("Skipped position with radius {:.1F} m in {}", radius_m, walk.pathText)));
        return;
    }
    const uint32_t nameCode = entry.u8(0) & 0x3Fu;
    const uint32_t type = entry.u8(1) & 0x0Fu;
    const uint32_t number = entry.u16(1) >> 4;
    const std::string id = fmt::format("{}{}", lf_namePrefix(nameCode), number);
    if ((lf_usedParkingTypes >> type & 1u) == 0) return;
    const double lat = lf_latitude(entry.u32(32));
    const double lon = lf_longitude(entry.u32(28));
    if (!lf_validPosition(lat, lon)) {
        lines.push_back(lf_report(fmt::format("LatLon {:.6f},{:.6f} invalid (skipped)", lat, lon)));
        return;
    }
    const float heading_deg = entry.f32(8);
    if (!std::isfinite(heading_deg)) {
        lines.push_back(lf_report(
            fmt::format("Skipped position with heading {} in {}", heading_deg, walk.pathText)));
        return;
    }
    if (!lf_roomForStand(walk)) return;
    std::string unique = lf_uniqueStandId(id, walk);
    if (unique.empty()) return;
    BglStand stand;
    stand.id = std::move(unique);
    stand.latitude = lat;
    stand.longitude = lon;
    stand.heading_rad = lf_headingRadians(heading_deg);
    stand.radius_m = radius_m;
    stand.cargo = type == lf_cargoParkingType;
    stand.ramp = (lf_rampParkingTypes >> type & 1u) != 0;
    walk.airport.stands.push_back(std::move(stand));
}

void lf_decodeParkingList(const BglView& record, AirportWalk& walk)
{
    const uint32_t count = record.u16(6);
    uint64_t offset = 8;
    for (uint32_t i = 0; i < count; ++i) {
        const BglView entry = record.sub(offset, lf_parkingEntrySize, "parking entry");
        const uint64_t airlineCodes = entry.u8(3);
        // The entry and its airline codes must lie inside the parking list.
        record.sub(offset, lf_parkingEntrySize + 4 * airlineCodes, "parking entry");
        lf_decodeParkingEntry(entry, walk);
        offset += lf_parkingEntrySize + 4 * airlineCodes;
    }
}

// The record's header (id and size) after checking that it fits; size 0 is returned as it is.
std::pair<uint16_t, uint32_t> lf_recordHeader(const BglView& area, uint64_t offset)
{
    const BglView header = area.sub(offset, lf_recordHeaderSize, "record header");
    const uint32_t size = header.u32(2);
    if (size != 0 && size < lf_recordHeaderSize) {
        throw BglFormatError(
            fmt::format("record of {} bytes at byte {}", size, header.fileOffset()));
    }
    return {header.u16(0), size};
}

int32_t lf_bglAirportAltitude(const BglView& record)
{
    const double feet = std::round(record.i32(20) * lf_feetPerMetre / 1000.0);
    // Any 32-bit number of millimetres fits 32 bits in feet.
    const auto altitude = static_cast<int32_t>(feet);
    return altitude >= -20 && altitude <= 10000 ? altitude : 0;
}

ScannedAirport lf_decodeAirport(const BglView& record, const AirportCode& code,
                                const std::string& pathText)
{
    ScannedAirport airport;
    airport.code = code;
    airport.altitude_ft = lf_bglAirportAltitude(record);
    AirportWalk walk{airport, pathText, {}, {}, false};
    bool afterHelipad = false;
    uint64_t offset = lf_airportHeaderSize;
    for (int step = 0; offset < record.size(); ++step) {
        if (step == lf_maxSteps) {
            airport.lines.push_back(lf_highlighted(
                fmt::format("Error: Maximum loop iterations reached (1) {} possible corrupt SIA "
                            "or malformed input",
                            lf_dash)));
            break;
        }
        const auto [id, size] = lf_recordHeader(record, offset);
        if (size == 0) {
            std::string text = fmt::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}",
                                           (record.fileOffset() + offset) / 4);
            airport.lines.push_back(afterHelipad ? lf_highlighted(std::move(text))
                                                 : lf_log(std::move(text)));
            break;
        }
        const BglView sub = record.sub(offset, size, "airport sub-record");
        afterHelipad = id == lf_helipadRecord;
        if (id == lf_helipadRecord) lf_decodeHelipad(sub, walk);
        if (id == lf_parkingListRecord) {
            lf_decodeParkingList(sub, walk);
            break;
        }
        offset += size;
    }
    return airport;
}

// The records of one subsection, walked by their sizes up to the subsection's end.
void lf_walkRecords(const BglView& records, const std::string& pathText, bool msfs2020,
                    std::vector<BglEntry>& out)
{
    uint64_t offset = 0;
    for (int step = 0; offset < records.size(); ++step) {
        if (step == lf_maxSteps) {
            out.emplace_back(lf_highlighted(
                fmt::format("Error: Maximum loop iterations reached (2) {} possible corrupt BGL "
                            "or malformed input.",
                            lf_dash)));
            return;
        }
        const auto [id, size] = lf_recordHeader(records, offset);
        if (size == 0) {
            if (id == lf_airportRecord) {
                out.emplace_back(lf_highlighted(
                    fmt::format("   Warning: decodeSizeAtBoundary returned {} at o2 = {}", 0,
                                (records.fileOffset() + offset) / 4)));
            }
            return;
        }
        const BglView record = records.sub(offset, size, "record");
        if (!msfs2020 && id == lf_airport2024Record) out.emplace_back(UnrecognisedAirport{});
        if (id == lf_airportRecord) {
            std::string line;
            const auto [ident, valid] = lf_decodeBglIcao(record.u32(40), line);
            if (!line.empty()) out.emplace_back(lf_report(std::move(line)));
            if (valid) out.emplace_back(lf_decodeAirport(record, AirportCode(ident), pathText));
        }
        offset += size;
    }
}

}  // namespace

std::pair<std::string, bool> lf_decodeBglIcao(uint32_t packed, std::string& line)
{
    uint32_t value = packed >> 5;
    std::string reversed;
    bool valid = true;
    do {
        const uint32_t digit = value % 38;
        value /= 38;
        if (digit < 2) {
            valid = false;
            reversed.push_back(digit == 0 ? ' ' : '?');
        } else if (digit < 12) {
            reversed.push_back(static_cast<char>('0' + digit - 2));
        } else {
            reversed.push_back(static_cast<char>('A' + digit - 12));
        }
    } while (value != 0);
    std::string text(reversed.rbegin(), reversed.rend());
    if (!valid || text.size() > 10) return {text, false};
    if (text.size() != 4) return {text, false};
    if (!gf_isKnownAirport(AirportCode(text).word())) {
        line = fmt::format("{} is not an airport supported by RealTraffic ", text);
        return {text, false};
    }
    return {text, true};
}

void gf_decodeBgl(std::span<const uint8_t> bytes, const std::string& pathText, bool msfs2020,
                  std::vector<BglEntry>& out)
{
    const BglView file(bytes);
    // Not a BGL file, or one without sections: nothing to say about it.
    if (file.size() <= lf_headerSize || file.u32(4) != lf_headerSize) return;
    const uint64_t sections = file.u32(20);
    if (sections == 0 || sections * lf_sectionEntrySize > file.size() - lf_headerSize) return;
    uint64_t walked = 0;  // bytes of subsections walked: overlapping ones would repeat work
    for (uint64_t i = 0; i < sections; ++i) {
        const BglView section =
            file.sub(lf_headerSize + i * lf_sectionEntrySize, lf_sectionEntrySize, "section");
        if (section.u32(0) != lf_airportSection || (section.u32(4) & lf_wideSubsectionFlag)) {
            continue;
        }
        const uint64_t count = section.u32(8);
        const uint64_t table = section.u32(12);
        for (uint64_t j = 0; j < count; ++j) {
            const BglView entry = file.sub(table + j * lf_subsectionEntrySize,
                                           lf_subsectionEntrySize, "subsection entry");
            const BglView records = file.sub(entry.u32(8), entry.u32(12), "subsection");
            walked += records.size();
            if (walked > file.size()) throw BglFormatError("subsections overlap");
            lf_walkRecords(records, pathText, msfs2020, out);
        }
    }
}

bool lf_hasAirportSection(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const auto end = in.tellg();
    if (end < 0) return false;
    const auto size = static_cast<uint64_t>(end);
    if (size < lf_headerSize + 1) return false;
    // The header and the section table are read front to back, without a seek between them:
    // this runs for every scenery file of the simulator, most of which hold no airport.
    in.seekg(0);
    std::array<char, lf_headerSize> header{};
    if (!in.read(header.data(), header.size())) return false;
    uint32_t count = 0;
    std::memcpy(&count, header.data() + 20, sizeof count);
    if (count == 0 || count > (size - lf_headerSize) / lf_sectionEntrySize) return false;
    std::array<char, lf_sectionEntrySize> entry{};
    for (uint64_t i = 0; i < count; ++i) {
        if (!in.read(entry.data(), entry.size())) return false;
        uint32_t type = 0;
        std::memcpy(&type, entry.data(), sizeof type);
        if (type == lf_airportSection) return true;
    }
    return false;
}

}  // namespace qel
