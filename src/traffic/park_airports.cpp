// The list of candidate park airports: airports\my_park_airports.txt, the handmade stand files of
// airports\my_thirdparty and the destination; its order by distance from the user aircraft; and
// the line of the user's stand that the file keeps for each airport.
//
// Threads: main-loop thread. The window's destination and the simulator link's user-stand
// memory come from other threads and are handed to the main loop's queue, so the list needs
// no lock; the remembered position alone sits under g_rememberedMutex (a leaf lock), because
// the link remembers it also as the run ends, when the queue is no longer served.
#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "foundation/textfile.h"
#include "foundation/window_status.h"
#include "traffic/park_airports.h"
#include "traffic/traffic_run.h"
#include "traffic/traffic.h"

namespace qel {

std::list<ParkAirport>& g_parkAirports = g_trafficRun.parkAirports;
std::mutex g_rememberedMutex;

namespace {

constexpr std::string_view kFileName = "my_park_airports.txt";
constexpr std::size_t kManyAirports = 3000;
constexpr double kSamePosition_deg = 1e-8;
// A list of park airports is a few kilobytes; a file far larger is no such list and is not
// read into memory whole.
constexpr std::uintmax_t kMaxFileBytes = 16U << 20U;

// The simulator link remembers the user's stand as the run ends, when the main loop may run
// no more: the position waits here for the main loop or for the leaving of the park airport.
std::optional<LatLon>& g_rememberedPosition = g_trafficRun.rememberedPosition;

LatLon& g_lastSortPosition = g_trafficRun.lastSortPosition;
bool& g_sortedOnce = g_trafficRun.sortedOnce;

std::vector<std::string> lf_splitFields(std::string_view line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        fields.emplace_back(line.substr(start, comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

// The file's lines; none when it cannot be opened (or is too large to be the list).
std::optional<std::vector<std::string>> lf_readFileLines(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxFileBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return std::nullopt;
    std::vector<std::string> lines;
    gf_readLines(in, lines);
    return lines;
}

// One line of the file; false when the line named an airport the database does not know.
bool lf_takeLine(const std::string& line, std::unordered_set<std::string>& taken)
{
    if (line.empty()) return true;
    const auto fields = lf_splitFields(line);
    if (fields.size() >= 3) {
        gf_logHighlighted(fmt::format("{}:{} wrong syntax, skipped", kFileName, line));
        return true;
    }
    if (taken.contains(fields[0])) {
        gf_logHighlighted(fmt::format("{}:{} double, skipped", kFileName, fields[0]));
        return true;
    }
    const AirportCode code(fields[0]);  // a bad code ends the reading
    const Airport* airport = gf_airportOfCode(code.word());
    if (!airport) {
        gf_setMessage(fmt::format("airport {} is unknown", fields[0]), true);
        return false;
    }
    g_parkAirports.push_back({fields.size() > 1 ? fields[1] : std::string(), airport->latitude,
                              airport->longitude, 0.0, code.word()});
    taken.insert(fields[0]);
    return true;
}

// Written beside the file and renamed over it, so that a failed write leaves the old list.
void lf_saveLines(const std::vector<std::string>& lines)
{
    auto temporary = g_myParkAirportsTxt;
    temporary += ".tmp";
    std::error_code ec;
    if (gf_writeLines(lines, temporary)) {
        ec = gf_replaceByRename(temporary, g_myParkAirportsTxt);
        if (!ec) return;
    } else {
        ec = std::make_error_code(std::errc::io_error);
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
    gf_logHighlighted(fmt::format("{} could not be written: {}", gf_pathToUtf8(g_myParkAirportsTxt),
                                  ec.message()));
}

void lf_rememberUserStandNow(double latitude, double longitude)
{
    const std::string stand = gf_closestStandName(latitude, longitude);
    if (stand.empty() || g_parkAirports.empty() || !gf_parkAirportSet()) return;
    ParkAirport& front = g_parkAirports.front();
    if (front.code != g_parkAirport.code.word() || front.standName == stand) return;
    front.standName = stand;
    lf_writeMyParkAirports();
}

}  // namespace

std::string gf_codeText(uint32_t code)
{
    if (code == 0) return "    ";
    std::string text(4, ' ');
    for (std::size_t i = 0; i < 4; ++i) text[i] = static_cast<char>((code >> (8U * i)) & 0xFFU);
    return text;
}

const Airport* gf_airportOfCode(uint32_t code)
{
    const auto found = std::find_if(g_airports.begin(), g_airports.end(),
                                    [code](const Airport& a) { return a.code.word() == code; });
    return found == g_airports.end() ? nullptr : &*found;
}

bool lf_readMyParkAirports()
{
    g_parkAirports.clear();
    bool allTaken = true;
    try {
        const auto lines = lf_readFileLines(g_myParkAirportsTxt);
        if (!lines) {
            gf_log(fmt::format("{} not found", gf_pathToUtf8(g_myParkAirportsTxt)));
        } else {
            std::unordered_set<std::string> taken;
            for (const std::string& line : *lines) allTaken &= lf_takeLine(line, taken);
            const std::size_t count = g_parkAirports.size();
            if (count > 0) {
                gf_log(fmt::format("\n{:5} park airport{} read from '{}'", count,
                                   count == 1 ? "" : "s", kFileName));
            }
            if (count > kManyAirports) {
                gf_setMessage(fmt::format("Warning: There are a lot of airports ({}), that will "
                                          "cost VNTQ much cpu time and may cause stutters",
                                          count),
                              true);
            }
        }
        lf_addMyThirdpartyAirports();
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", "lf_readMyParkAirports", e.what()));
        return false;
    }
    return allTaken;
}

void lf_addMyThirdpartyAirports()
{
    std::error_code ec;
    if (!std::filesystem::is_directory(g_myThirdpartyDir, ec)) return;
    for (const auto& entry : std::filesystem::directory_iterator(g_myThirdpartyDir)) {
        if (!entry.is_regular_file()) continue;
        const std::string stem = gf_pathToUtf8(entry.path().stem());
        uint32_t code = 0;
        try {
            code = AirportCode(stem).word();
        } catch (const std::invalid_argument&) {
            // A readme or a copy beside the stand files must not cost the whole list.
            gf_log(fmt::format("{} is not named by an airport code, skipped",
                               gf_pathToUtf8(entry.path())));
            continue;
        }
        const bool listed = std::any_of(g_parkAirports.begin(), g_parkAirports.end(),
                                        [code](const ParkAirport& p) { return p.code == code; });
        const Airport* airport = gf_airportOfCode(code);
        if (listed || !airport) continue;
        g_parkAirports.push_back({{}, airport->latitude, airport->longitude, 0.0, code});
    }
}

bool lf_replaceParkAirportLine(const std::string& newLine, const std::string& fileLine)
{
    const std::string_view first = std::string_view(fileLine).substr(0, fileLine.find(','));
    return first.size() == 4 && newLine.compare(0, 4, first) == 0;
}

void lf_writeMyParkAirports()
{
    if (g_parkAirports.empty()) return;
    const ParkAirport& front = g_parkAirports.front();
    std::string newLine = gf_codeText(front.code);
    if (!front.standName.empty()) newLine += fmt::format(",{}", front.standName);
    std::vector<std::string> lines;
    if (auto read = lf_readFileLines(g_myParkAirportsTxt)) {
        lines = std::move(*read);
        const auto found = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return lf_replaceParkAirportLine(newLine, l);
        });
        if (found != lines.end()) {
            *found = newLine;
            gf_log(fmt::format("{}:{} updated stand", kFileName, newLine));
        } else {
            lines.push_back(newLine);
            gf_log(fmt::format("{}:{} new entry", kFileName, newLine));
        }
    } else {
        // A list that is there but cannot be read is not replaced by one line.
        std::error_code ec;
        if (std::filesystem::exists(g_myParkAirportsTxt, ec) || ec) {
            gf_logHighlighted(
                fmt::format("{} could not be read, {} not written", kFileName, newLine));
            return;
        }
        lines.push_back(newLine);
        gf_log(fmt::format("{} created with {}", kFileName, newLine));
    }
    // The file ends in "\n", which reads back as one empty last line: no line of its own.
    std::erase(lines, std::string());
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    lf_saveLines(lines);
}

void lf_addParkAirport(uint32_t code, LatLon position)
{
    const auto found = std::find_if(g_parkAirports.begin(), g_parkAirports.end(),
                                    [code](const ParkAirport& p) { return p.code == code; });
    if (found != g_parkAirports.end()) {
        g_parkAirports.splice(g_parkAirports.begin(), g_parkAirports, found);
        return;
    }
    g_parkAirports.push_front({{}, position.lat, position.lon, 0.0, code});
    lf_writeMyParkAirports();
}

void gf_postParkAirport(const std::string& code, double latitude, double longitude)
{
    const uint32_t word = AirportCode(code).word();
    gf_postToMainLoop([word, latitude, longitude] {
        lf_addParkAirport(word, {latitude, longitude});
    });
}

void gf_rememberUserStand(double latitude, double longitude)
{
    {
        std::scoped_lock lock(g_rememberedMutex);
        g_rememberedPosition = LatLon{latitude, longitude};
    }
    gf_postToMainLoop([] { lf_applyRememberedStand(); });
}

void lf_applyRememberedStand()
{
    std::optional<LatLon> position;
    {
        std::scoped_lock lock(g_rememberedMutex);
        position.swap(g_rememberedPosition);
    }
    if (position) lf_rememberUserStandNow(position->lat, position->lon);
}

void lf_sortParkAirports(LatLon position)
{
    if (g_parkAirports.empty()) return;
    if (g_sortedOnce && std::abs(position.lat - g_lastSortPosition.lat) <= kSamePosition_deg &&
        std::abs(position.lon - g_lastSortPosition.lon) <= kSamePosition_deg) {
        ParkAirport& front = g_parkAirports.front();
        front.distance_nm = gf_distanceNm({front.latitude, front.longitude}, position);
        return;
    }
    g_lastSortPosition = position;
    g_sortedOnce = true;
    // A destination stays first wherever the user flies.
    if (!DESTINATION.value().empty()) return;
    for (ParkAirport& entry : g_parkAirports) {
        entry.distance_nm = gf_distanceNm({entry.latitude, entry.longitude}, position);
    }
    g_parkAirports.sort(
        [](const ParkAirport& a, const ParkAirport& b) { return a.distance_nm < b.distance_nm; });
}

}  // namespace qel
