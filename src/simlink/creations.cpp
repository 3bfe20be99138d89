// The books on AI creations: the livery of each creation under way, the liveries the simulator
// refused and their type-airline pairs, the flights that found no livery; and the flight-plan
// folder with the AceXML flight plan every created live aircraft gets.
//
// Threads: the start-up/main-loop thread (traffic manager, start-up and close-down) only,
// except the flight-plan folder's path, which g_flightPlanFolderMutex (a leaf lock) guards.
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/window_status.h"
#include "simlink/link_run.h"
#include "simlink/simlink.h"

namespace qel {

std::unordered_map<uint32_t, std::string>& g_pendingCreations = g_simLinkRun.pendingCreations;
std::set<std::string>& g_noMatchFlights = g_simLinkRun.noMatchFlights;
// The process keeps these two: a livery the simulator refused stays refused.
TextSet g_failedLiveries;                    // main-loop thread
std::set<std::string> g_failedTypeAirlines;  // main-loop thread
std::mutex g_flightPlanFolderMutex;

namespace {

constexpr size_t kFailedLiveryLimit = 20;
constexpr std::string_view kTooManyFailed =
    "There are too many liveries that could not be created!";

std::filesystem::path& g_flightPlanFolder = g_simLinkRun.flightPlanFolder;

// Three characters of an airport code field, or three spaces for an empty one. A byte that
// would break the XML (or is no printable ASCII) becomes a space.
std::string lf_codeField(const std::array<char, 3>& code)
{
    if (code[0] == '\0') return "   ";
    std::string text(code.begin(), code.end());
    for (char& c : text) {
        const bool printable = c >= 0x20 && c < 0x7F && c != '<' && c != '>' && c != '&';
        if (!printable) c = ' ';
    }
    return text;
}

}  // namespace

std::optional<std::string> takePendingCreation(uint32_t hexId)
{
    const auto it = g_pendingCreations.find(hexId);
    if (it == g_pendingCreations.end()) return std::nullopt;
    if (g_failedLiveries.contains(it->second)) {
        g_pendingCreations.erase(it);
        return std::nullopt;
    }
    return it->second;
}

void onCreationFailed(const CreationFailure& aircraft)
{
    if (!g_stopRequested && !g_closeRequested) {
        gf_setMessage(fmt::format("{} '{}' could not be created by your Sim!", aircraft.callsign,
                                  aircraft.liveryTitle),
                      true);
    }
    g_failedLiveries.emplace(aircraft.liveryTitle);
    g_failedTypeAirlines.insert(fmt::format("{} {}", g_modelCodes.text(aircraft.modelId),
                                            g_airlineCodes.text(aircraft.airlineId)));
    if (g_failedLiveries.size() < kFailedLiveryLimit) return;
    gf_log(fmt::format("\n{}Error 81, {}\n", "===> ", kTooManyFailed));
    throw UserErrorException(81, fmt::format("{}, see Log.txt", kTooManyFailed));
}

void clearFailedLiveries()
{
    g_failedLiveries.clear();
    g_failedTypeAirlines.clear();
}

void gf_clearPendingCreations() { g_pendingCreations.clear(); }

void gf_logNoMatch()
{
    if (g_noMatchFlights.empty()) return;
    gf_log("\nNo match found for:");
    for (const auto& flight : g_noMatchFlights) gf_log(flight);
    gf_log("");
}

bool gf_createFlightPlanFolder()
{
    const std::filesystem::path folder = g_appDataDir / "orig_dest";
    {
        std::scoped_lock lock(g_flightPlanFolderMutex);
        g_flightPlanFolder = folder;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) gf_log(fmt::format("gf_createFlightPlanFolder: {}", ec.message()));
    return std::filesystem::is_directory(folder, ec);
}

std::filesystem::path gf_flightPlanFolder()
{
    std::scoped_lock lock(g_flightPlanFolderMutex);
    return g_flightPlanFolder;
}

std::filesystem::path gf_flightPlanPath(uint32_t objectId)
{
    return gf_flightPlanFolder() / fmt::format("{}.pln", objectId);
}

bool gf_writeFlightPlan(const std::filesystem::path& path, const FlightPlanData& aircraft)
{
    // Buzjets, Large and Heavy fly by instruments; Light, HighPerf and Rotorcraft by sight.
    const bool ifr = aircraft.weightClass >= 1 && aircraft.weightClass <= 3;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
        << "<FlightPlan.FlightPlan>\n"
        << "<FPType>" << (ifr ? "IFR" : "VFR") << "</FPType>\n"
        << "<DepartureID>" << lf_codeField(aircraft.origin) << "</DepartureID>\n"
        << "<DestinationID>" << lf_codeField(aircraft.destination) << "</DestinationID>\n"
        << "</FlightPlan.FlightPlan>\n"
        << "</SimBase.Document>\n"
        << "\n";
    out.close();
    return static_cast<bool>(out);
}

}  // namespace qel
