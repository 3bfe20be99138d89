// FlightGear AI parking lists turned into archived stand files for tests and the demo.
#include "tools/stand_archive.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/codes.h"
#include "foundation/strings.h"
#include "scenery/stand_file.h"
#include "tools/datafile_builder.h"

namespace qel::datafile {

namespace {

constexpr double lf_radPerDegree = 0.017453292519943295;
constexpr std::string_view lf_parkingSuffix = ".parking.xml";

std::optional<double> lf_number(std::string_view text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string lf_standId(const pugi::xml_node& parking, std::set<std::string>& seen)
{
    std::string id = std::string(gf_trim(parking.attribute("name").value())) +
                     std::string(gf_trim(parking.attribute("number").value()));
    if (id.empty()) id = fmt::format("P{}", parking.attribute("index").value());
    std::string unique = id;
    for (int n = 2; !seen.insert(unique).second; ++n) unique = fmt::format("{}-{}", id, n);
    return unique;
}

struct AirportFacts {
    std::string name;
    int32_t elevation_ft = 0;
};

std::map<std::string, AirportFacts> lf_airportFacts(const std::filesystem::path& dataDir)
{
    const CsvTable table = readCsv(dataDir / "sources" / "airportsdata" / "airports.csv");
    const std::size_t code = table.column("icao");
    const std::size_t name = table.column("name");
    const std::size_t elevation = table.column("elevation");
    std::map<std::string, AirportFacts> facts;
    for (const auto& row : table.rows) {
        const auto feet = lf_number(row[elevation]);
        facts[row[code]] = {row[name], feet ? static_cast<int32_t>(std::lround(*feet)) : 0};
    }
    return facts;
}

std::string lf_readText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::optional<double> parseFlightGearAngle(std::string_view text)
{
    text = gf_trim(text);
    if (text.size() < 2) return std::nullopt;
    const char hemisphere = text.front();
    const double sign = (hemisphere == 'S' || hemisphere == 'W') ? -1.0 : 1.0;
    if (hemisphere != 'N' && hemisphere != 'S' && hemisphere != 'E' && hemisphere != 'W') {
        return std::nullopt;
    }
    text.remove_prefix(1);
    const std::size_t blank = text.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const auto degrees = lf_number(text.substr(0, blank));
    const auto minutes = lf_number(gf_trim(text.substr(blank + 1)));
    if (!degrees || !minutes || *degrees < 0.0 || *minutes < 0.0 || *minutes >= 60.0) {
        return std::nullopt;
    }
    const double value = sign * (*degrees + *minutes / 60.0);
    const double limit = (hemisphere == 'N' || hemisphere == 'S') ? 90.0 : 180.0;
    if (std::abs(value) > limit) return std::nullopt;
    return value;
}

std::vector<ParkStand> readFlightGearParking(const std::string& xml, std::size_t& skipped)
{
    pugi::xml_document document;
    if (!document.load_string(xml.c_str())) throw SourceError("groundnet file does not parse");
    std::vector<ParkStand> stands;
    std::set<std::string> seen;
    // Both spellings of the list occur in the FlightGear data.
    pugi::xml_node list = document.child("groundnet").child("parkingList");
    if (!list) list = document.child("groundnet").child("parkinglist");
    for (const auto& parking : list.children("Parking")) {
        const auto latitude = parseFlightGearAngle(parking.attribute("lat").value());
        const auto longitude = parseFlightGearAngle(parking.attribute("lon").value());
        const auto heading = lf_number(gf_trim(parking.attribute("heading").value()));
        const auto radius = lf_number(gf_trim(parking.attribute("radius").value()));
        if (!latitude || !longitude || !heading || !radius || *radius <= 0.0) {
            ++skipped;
            continue;
        }
        const std::string type = parking.attribute("type").value();
        const bool cargo = type == "cargo" || type == "mil-cargo";
        stands.emplace_back(lf_standId(parking, seen), std::vector<LearnedFlight>{}, *latitude,
                            *longitude, *heading * lf_radPerDegree, *radius, cargo,
                            type != "gate", false);
    }
    return stands;
}

std::vector<std::string> buildStandArchive(const std::filesystem::path& parkingDir,
                                           const std::filesystem::path& dataDir,
                                           const std::filesystem::path& outDir)
{
    const auto facts = lf_airportFacts(dataDir);
    std::filesystem::create_directories(outDir);
    std::vector<std::string> notes;
    std::set<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(parkingDir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 4 + lf_parkingSuffix.size() && name.ends_with(lf_parkingSuffix)) {
            files.insert(entry.path());
        }
    }
    for (const auto& path : files) {
        BglAirport airport;
        airport.code = AirportCode(path.filename().string().substr(0, 4));
        const std::string code(airport.code.text());
        if (const auto found = facts.find(code); found != facts.end()) {
            airport.name = found->second.name;
            airport.altitude_ft = found->second.elevation_ft;
        }
        airport.publisher = "stock";
        std::size_t skipped = 0;
        airport.stands = readFlightGearParking(lf_readText(path), skipped);
        const auto target = outDir / (code + ".xml");
        if (!gf_writeApf(airport, target, ApfScanned, 1)) {
            throw SourceError("could not write " + target.string());
        }
        notes.push_back(fmt::format("{}: {} stands, {} skipped", code, airport.stands.size(),
                                    skipped));
    }
    // GPL-2+ data: the licence and its notice go with every copy.
    const auto source = parkingDir.parent_path();
    for (const char* licence : {"COPYING.GPL-2", "debian-copyright.txt"}) {
        std::filesystem::copy_file(source / licence, outDir / licence,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    return notes;
}

}  // namespace qel::datafile
