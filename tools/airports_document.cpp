// airports.xml: one "ap" per airport with a four-character code, from airportsdata (MIT) and,
// for the codes it lacks, the VRS standing data (CC0).
#include <charconv>
#include <cmath>
#include <algorithm>
#include <map>
#include <optional>

#include <fmt/format.h>

#include "foundation/geodesy.h"
#include "tools/datafile_builder.h"

namespace qel::datafile {

namespace {

struct AirportRow {
    std::string iata;          // "AMS", or empty
    double latitude = 0.0;     // degrees
    double longitude = 0.0;    // degrees
    double elevation_ft = 0.0; // feet
    std::string name;          // "Amsterdam Airport Schiphol", or empty
};

struct Columns {
    std::size_t code, iata, latitude, longitude, elevation, name;
};

std::optional<double> lf_number(const std::string& text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// The row's airport, or nothing when its position or elevation is missing or out of range.
std::optional<AirportRow> lf_airportOf(const std::vector<std::string>& row, const Columns& at)
{
    const auto latitude = lf_number(row[at.latitude]);
    const auto longitude = lf_number(row[at.longitude]);
    const auto elevation = lf_number(row[at.elevation]);
    if (!latitude || !longitude || !elevation) return std::nullopt;
    if (std::abs(*latitude) > 90.0 || std::abs(*longitude) > 180.0) return std::nullopt;
    AirportRow airport;
    if (isShortAirportCode(row[at.iata])) airport.iata = row[at.iata];
    airport.latitude = *latitude;
    airport.longitude = *longitude;
    airport.elevation_ft = *elevation;
    airport.name = row[at.name];
    return airport;
}

struct Tally {
    std::size_t badCode = 0;
    std::size_t badValues = 0;
    std::size_t added = 0;
};

// Adds the table's airports whose codes are not in `airports` yet; a known code may still
// take its IATA code and name from here when the earlier source had none.
void lf_addAirports(const CsvTable& table, const Columns& at,
                    std::map<std::string, AirportRow>& airports, Tally& tally)
{
    for (const auto& row : table.rows) {
        const std::string& code = row[at.code];
        if (!isAirportCode(code)) {
            ++tally.badCode;
            continue;
        }
        const auto airport = lf_airportOf(row, at);
        if (!airport) {
            ++tally.badValues;
            continue;
        }
        const auto [known, inserted] = airports.try_emplace(code, *airport);
        if (inserted) {
            ++tally.added;
        } else {
            if (known->second.iata.empty()) known->second.iata = airport->iata;
            if (known->second.name.empty()) known->second.name = airport->name;
        }
    }
}

// The program takes the nearest airport within 5 nm of the user as the park airport, with the
// second nearest as the only alternative. The local codes of heliports and private strips
// (with a digit, not ICAO) crowd the surroundings of large airports: KLAX has three within
// 1.3 nm, so on a remote stand the airport itself can be third. Such entries within that
// reach of an airport with an IATA code are left out.
constexpr double lf_parkAirportReach_nm = 5.0;
constexpr double lf_reachLatitude_deg = lf_parkAirportReach_nm / 60.0 + 0.001;

bool lf_isLocalCode(const std::string& code)
{
    return std::any_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::size_t lf_dropLocalCodesNearAirports(std::map<std::string, AirportRow>& airports)
{
    std::vector<const AirportRow*> commercial;  // sorted by latitude
    for (const auto& [code, row] : airports) {
        if (!row.iata.empty() && !lf_isLocalCode(code)) commercial.push_back(&row);
    }
    std::sort(commercial.begin(), commercial.end(),
              [](const AirportRow* a, const AirportRow* b) { return a->latitude < b->latitude; });
    auto nearCommercial = [&](const AirportRow& row) {
        auto it = std::lower_bound(commercial.begin(), commercial.end(),
                                   row.latitude - lf_reachLatitude_deg,
                                   [](const AirportRow* a, double lat) { return a->latitude < lat; });
        for (; it != commercial.end() && (*it)->latitude <= row.latitude + lf_reachLatitude_deg;
             ++it) {
            if (gf_distanceNm({row.latitude, row.longitude}, {(*it)->latitude, (*it)->longitude}) <=
                lf_parkAirportReach_nm) {
                return true;
            }
        }
        return false;
    };
    return std::erase_if(airports, [&](const auto& entry) {
        return lf_isLocalCode(entry.first) && nearCommercial(entry.second);
    });
}

void lf_writeAirport(pugi::xml_node airports, const std::string& code, const AirportRow& row,
                     int32_t archivedStands)
{
    pugi::xml_node ap = airports.append_child("ap");
    ap.append_attribute("c").set_value(code.c_str());
    if (!row.iata.empty()) ap.append_attribute("i").set_value(row.iata.c_str());
    ap.append_attribute("la").set_value(fmt::format("{}", row.latitude).c_str());
    ap.append_attribute("lo").set_value(fmt::format("{}", row.longitude).c_str());
    ap.append_attribute("a").set_value(fmt::format("{}", row.elevation_ft).c_str());
    // The shipped archive holds no stand files yet; a demo's archive gives its counts.
    ap.append_attribute("s").set_value(fmt::format("{}", archivedStands).c_str());
    // Shown for a park airport whose stand file names none.
    if (!row.name.empty()) ap.append_attribute("n").set_value(row.name.c_str());
}

}  // namespace

void buildAirportsDocument(const AirportSources& sources, pugi::xml_document& document,
                           Notes& notes)
{
    const CsvTable& primary = sources.airportsdata;
    const Columns primaryColumns{primary.column("icao"),      primary.column("iata"),
                                 primary.column("lat"),       primary.column("lon"),
                                 primary.column("elevation"), primary.column("name")};
    const CsvTable& vrs = sources.vrsAirports;
    const Columns vrsColumns{vrs.column("ICAO"),         vrs.column("IATA"),
                             vrs.column("Latitude"),     vrs.column("Longitude"),
                             vrs.column("AltitudeFeet"), vrs.column("Name")};

    std::map<std::string, AirportRow> airports;  // sorted by code, as the reader sorts
    Tally fromPrimary;
    lf_addAirports(primary, primaryColumns, airports, fromPrimary);
    Tally fromVrs;
    lf_addAirports(vrs, vrsColumns, airports, fromVrs);

    const std::size_t crowding = lf_dropLocalCodesNearAirports(airports);

    document.reset();
    pugi::xml_node list = document.append_child("root").append_child("airports");
    std::size_t withStands = 0;
    for (const auto& [code, row] : airports) {
        const auto archived = sources.archivedStands.find(code);
        const bool found = archived != sources.archivedStands.end();
        withStands += found ? 1 : 0;
        lf_writeAirport(list, code, row, found ? archived->second : 0);
    }

    notes.push_back(fmt::format("airports.xml: {} airports, {} from {} and {} more from {}",
                                airports.size(), fromPrimary.added, primary.name, fromVrs.added,
                                vrs.name));
    notes.push_back(fmt::format("airports.xml: left out {} local-code airports within {} nm of "
                                "an airport with an IATA code",
                                crowding, lf_parkAirportReach_nm));
    notes.push_back(fmt::format(
        "airports.xml: dropped {} rows whose code is not four characters A-Z/0-9 and {} rows "
        "without a valid position or elevation",
        fromPrimary.badCode + fromVrs.badCode, fromPrimary.badValues + fromVrs.badValues));
    if (!sources.archivedStands.empty()) {
        notes.push_back(
            fmt::format("airports.xml: {} of {} archived stand files give their "
                        "airport's stand count",
                        withStands, sources.archivedStands.size()));
    }
}

}  // namespace qel::datafile
