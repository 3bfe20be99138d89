// FlightGear AI parking lists turned into archived stand files for tests and the demo.
#include "tools/stand_archive.h"

#include <algorithm>
#include <array>
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
constexpr std::array<std::string_view, 2> kLicenceFiles = {"COPYING.GPL-2", "debian-copyright.txt"};

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

// Far above the largest groundnet file (about 1 MB); a larger file is no parking list.
constexpr std::uintmax_t kMaxListBytes = 16U << 20U;

std::string lf_readText(const std::filesystem::path& path)
{
    if (std::filesystem::file_size(path) > kMaxListBytes) {
        throw SourceError(fmt::format("larger than {} bytes", kMaxListBytes));
    }
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The four-letter code of a list's name, upper-cased; nothing for a name that is no code.
std::optional<std::string> lf_code(std::string_view name)
{
    if (name.size() != 4) return std::nullopt;
    std::string code;
    for (const char c : name) {
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (!((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9'))) {
            return std::nullopt;
        }
        code.push_back(upper);
    }
    return code;
}

// The parking lists of a folder by airport code, in both layouts: <CODE>.parking.xml, as the
// lists are kept renamed, and <CODE>/parking.xml, as FlightGear's AI/Airports holds them. The
// first one found of a code is kept; a second is noted.
std::map<std::string, std::filesystem::path> lf_parkingLists(const std::filesystem::path& folder,
                                                             std::vector<std::string>& notes)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        throw SourceError(fmt::format("{} is no folder", folder.string()));
    }
    std::set<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(lf_parkingSuffix) && entry.is_regular_file(ec)) {
            found.insert(entry.path());
        } else if (std::filesystem::is_regular_file(entry.path() / "parking.xml", ec)) {
            found.insert(entry.path() / "parking.xml");
        }
    }
    std::map<std::string, std::filesystem::path> lists;
    for (const auto& path : found) {
        std::string name = path.filename().string();
        name = name == "parking.xml" ? path.parent_path().filename().string()
                                     : name.substr(0, name.size() - lf_parkingSuffix.size());
        const auto code = lf_code(name);
        if (!code) continue;
        if (!lists.emplace(*code, path).second) {
            notes.push_back(fmt::format("{}: {} skipped, the airport has a list already", *code,
                                        path.string()));
        }
    }
    return lists;
}

// The folder whose licence files go with the archive: the parking folder or the one above it
// (where the project's source data keeps them) when either holds both files, else
// `fallback`, the licence of FlightGear's data kept with the project's test stands.
std::filesystem::path lf_licenceFolder(const std::filesystem::path& parkingDir,
                                       const std::filesystem::path& fallback)
{
    const auto folder = std::filesystem::absolute(parkingDir / "").parent_path();
    for (const auto& candidate : {folder, folder.parent_path(), fallback}) {
        if (candidate.empty()) continue;
        if (std::all_of(kLicenceFiles.begin(), kLicenceFiles.end(), [&](std::string_view file) {
                std::error_code ec;
                return std::filesystem::is_regular_file(candidate / file, ec);
            })) {
            return candidate;
        }
    }
    throw SourceError(
        fmt::format("no {} and {} beside the parking lists of {}, and no --licence "
                    "folder with them",
                    kLicenceFiles[0], kLicenceFiles[1], parkingDir.string()));
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

std::size_t buildStandArchive(const std::filesystem::path& parkingDir,
                              const std::filesystem::path& dataDir,
                              const std::filesystem::path& outDir,
                              const std::filesystem::path& licenceDir,
                              std::vector<std::string>& notes)
{
    const auto lists = lf_parkingLists(parkingDir, notes);
    if (lists.empty()) return 0;
    const auto licence = lf_licenceFolder(parkingDir, licenceDir);
    const auto facts = lf_airportFacts(dataDir);
    std::filesystem::create_directories(outDir);
    std::size_t written = 0;
    for (const auto& [code, path] : lists) {
        BglAirport airport;
        airport.code = AirportCode(code);
        if (const auto found = facts.find(code); found != facts.end()) {
            airport.name = found->second.name;
            airport.altitude_ft = found->second.elevation_ft;
        }
        airport.publisher = "stock";
        std::size_t skipped = 0;
        try {
            airport.stands = readFlightGearParking(lf_readText(path), skipped);
        } catch (const std::exception& e) {
            notes.push_back(fmt::format("{}: skipped, {}", code, e.what()));
            continue;
        }
        if (airport.stands.empty()) {
            notes.push_back(fmt::format("{}: skipped, no stand with a position", code));
            continue;
        }
        const auto target = outDir / (code + ".xml");
        if (!gf_writeApf(airport, target, ApfScanned, 1)) {
            throw SourceError("could not write " + target.string());
        }
        ++written;
        notes.push_back(fmt::format("{}: {} stands, {} skipped", code, airport.stands.size(),
                                    skipped));
    }
    // GPL-2+ data: the licence and its notice go with every copy.
    if (written > 0) {
        for (const auto& file : kLicenceFiles) {
            std::filesystem::copy_file(licence / file, outDir / file,
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
    return written;
}

}  // namespace qel::datafile
