// The BGL layout written out: little-endian numbers, 56-byte header, 20-byte section entries,
// 16-byte subsection entries, records with a 6-byte header.
#include "support/bgl_builder.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace qel::test {

namespace {

constexpr double kLatitudeStep = 180.0 / 536870912.0;          // 2^29
constexpr double kLongitudeStep = 360.0 / (3.0 * 268435456.0);  // 3 * 2^28

void append(Bytes& bytes, const Bytes& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }

void appendU16(Bytes& bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void appendU32(Bytes& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes helipadRecord(const BglHelipadSpec& helipad)
{
    Bytes payload(26, 0);  // record bytes 6..31
    bglPutU32(payload, 12 - 6, bglPackLongitude(helipad.longitude));
    bglPutU32(payload, 16 - 6, bglPackLatitude(helipad.latitude));
    bglPutF32(payload, 28 - 6, helipad.size_m);
    return bglRecord(0x26, payload);
}

Bytes parkingListRecord(const std::vector<BglParkingSpec>& parkings)
{
    Bytes payload;
    appendU16(payload, static_cast<uint16_t>(parkings.size()));
    for (const auto& p : parkings) {
        Bytes entry(56, 0);
        entry[0] = static_cast<uint8_t>(p.nameCode & 0x3F);
        const uint16_t typeAndNumber = static_cast<uint16_t>((p.type & 0x0F) | (p.number << 4));
        bglPutU16(entry, 1, typeAndNumber);
        entry[3] = static_cast<uint8_t>(p.airlineCodes.size());
        bglPutF32(entry, 4, p.radius_m);
        bglPutF32(entry, 8, p.heading_deg);
        bglPutU32(entry, 28, bglPackLongitude(p.longitude));
        bglPutU32(entry, 32, bglPackLatitude(p.latitude));
        append(payload, entry);
        for (uint32_t code : p.airlineCodes) appendU32(payload, code);
    }
    return bglRecord(0xE7, payload);
}

}  // namespace

Bytes bglRecord(uint16_t id, const Bytes& payload)
{
    Bytes bytes;
    appendU16(bytes, id);
    appendU32(bytes, static_cast<uint32_t>(6 + payload.size()));
    append(bytes, payload);
    return bytes;
}

uint32_t bglPackIdent(const std::string& ident)
{
    uint32_t value = 0;
    for (char c : ident) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0') + 2;
        else if (c >= 'A' && c <= 'Z') digit = static_cast<uint32_t>(c - 'A') + 12;
        else if (c == '?') digit = 1;
        value = value * 38 + digit;
    }
    return value << 5;
}

uint32_t bglPackLatitude(double latitude)
{
    return static_cast<uint32_t>(std::llround((90.0 - latitude) / kLatitudeStep));
}

uint32_t bglPackLongitude(double longitude)
{
    return static_cast<uint32_t>(std::llround((longitude + 180.0) / kLongitudeStep));
}

Bytes bglAirportRecord(const BglAirportPlan& airport)
{
    Bytes payload(62, 0);  // record bytes 6..67
    bglPutU32(payload, 20 - 6, static_cast<uint32_t>(airport.altitude_mm));
    bglPutU32(payload, 40 - 6, bglPackIdent(airport.ident));
    if (!airport.name.empty()) {
        append(payload, bglRecord(0x19, Bytes(airport.name.begin(), airport.name.end())));
    }
    for (int i = 0; i < airport.runways; ++i) append(payload, bglRecord(0xCE, Bytes(46, 0)));
    for (const auto& helipad : airport.helipads) append(payload, helipadRecord(helipad));
    if (airport.parkingList || !airport.parkings.empty()) {
        append(payload, parkingListRecord(airport.parkings));
    }
    return bglRecord(0x56, payload);
}

Bytes bglFile(const std::vector<BglSectionSpec>& sections)
{
    std::size_t subsectionCount = 0;
    for (const auto& s : sections) subsectionCount += s.subsections.size();
    const std::size_t tables = 56 + 20 * sections.size();
    std::size_t data = tables + 16 * subsectionCount;
    Bytes bytes;
    appendU32(bytes, 0x19920201);  // the magic number BGL files begin with
    appendU32(bytes, 56);
    bytes.resize(20, 0);
    appendU32(bytes, static_cast<uint32_t>(sections.size()));
    bytes.resize(56, 0);
    std::size_t table = tables;
    for (const auto& s : sections) {
        appendU32(bytes, s.type);
        appendU32(bytes, s.flags);
        appendU32(bytes, static_cast<uint32_t>(s.subsections.size()));
        appendU32(bytes, static_cast<uint32_t>(table));
        appendU32(bytes, static_cast<uint32_t>(16 * s.subsections.size()));
        table += 16 * s.subsections.size();
    }
    for (const auto& s : sections) {
        for (const auto& records : s.subsections) {
            appendU32(bytes, 0);  // subsection id: not read
            appendU32(bytes, 1);  // record count: not read
            appendU32(bytes, static_cast<uint32_t>(data));
            appendU32(bytes, static_cast<uint32_t>(records.size()));
            data += records.size();
        }
    }
    for (const auto& s : sections) {
        for (const auto& records : s.subsections) append(bytes, records);
    }
    return bytes;
}

Bytes bglAirportFile(const std::vector<BglAirportPlan>& airports)
{
    BglSectionSpec section;
    for (const auto& airport : airports) section.subsections.push_back(bglAirportRecord(airport));
    return bglFile({section});
}

void bglWrite(const std::filesystem::path& path, const Bytes& bytes)
{
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void bglPutU16(Bytes& bytes, std::size_t offset, uint16_t value)
{
    bytes.at(offset + 1);
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void bglPutU32(Bytes& bytes, std::size_t offset, uint32_t value)
{
    bytes.at(offset + 3);
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void bglPutF32(Bytes& bytes, std::size_t offset, float value)
{
    uint32_t word = 0;
    std::memcpy(&word, &value, 4);
    bglPutU32(bytes, offset, word);
}

uint32_t bglGetU32(const Bytes& bytes, std::size_t offset)
{
    bytes.at(offset + 3);
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | bytes[offset + i];
    return value;
}

std::size_t bglFirstRecordOffset(const Bytes& file)
{
    const uint32_t table = bglGetU32(file, 56 + 12);
    return bglGetU32(file, table + 8);
}

}  // namespace qel::test
