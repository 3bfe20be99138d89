// The learned airport file of the park airport: what the live traffic taught its stands (which
// flights stood where, relearned radii and cargo marks) is written when the airport is left.
//
// Threads: main-loop thread, through the leaving of the park airport.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "foundation/time.h"
#include "traffic/stands.h"
#include "traffic/park_airports.h"

namespace qel {

namespace {

// What was learned: options read with the stand file itself, or no longer valid, are not.
bool lf_keepLearned(ParkStand& stand)
{
    std::erase_if(stand.learnedFlights, [](const LearnedFlight& flight) {
        return flight.number == 0 || flight.fromStandFile == 1;
    });
    return stand.manual || !stand.learnedFlights.empty() || stand.radiusChanged ||
           stand.cargoChanged;
}

// The file the stand file's learned copy lives in; by publisher when the reading found none.
std::filesystem::path lf_learnedFile(const std::string& publisher)
{
    if (!g_parkFileRead.learnedPath.empty()) return g_parkFileRead.learnedPath;
    const auto name = gf_apfXmlPath(g_parkAirport.code.word());
    if (publisher == "stock") return g_learnedDir / "stock" / name;
    if (publisher == "simaddon") return g_learnedDir / "simaddon" / name;
    return {};
}

// False when the folder cannot be made (a read-only folder, a file in its place, a name too
// long): that is a failed save like a failed write, not a reason to stop the program.
bool lf_makeFolderOf(const std::filesystem::path& path)
{
    if (!path.has_parent_path()) return true;
    std::error_code ec;
    if (std::filesystem::is_directory(path.parent_path(), ec)) return true;
    ec.clear();
    std::filesystem::create_directories(path.parent_path(), ec);
    return !ec;
}

// What became of the save, as the log line says it after the time of day.
std::string lf_saveOutcome(const BglAirport& record, const std::filesystem::path& path,
                           bool handmade)
{
    // A save left out on purpose is said as such, not as a failure.
    if (path.empty()) {
        return fmt::format(" no learned file for '{}': nothing saved", g_parkFileRead.source);
    }
    const std::string pathText = gf_pathToUtf8(path);
    if (const std::string kept = gf_learnedFileKept(record, path); !kept.empty()) {
        return fmt::format(" '{}' {}", pathText, kept);
    }
    if (!lf_makeFolderOf(path) || !gf_writeApf(record, path, ApfLearned, g_simVersionNumber)) {
        return fmt::format(" saving '{}' did not succeed", pathText);
    }
    return fmt::format("{} '{}' saved with {} update{}", handmade ? " handmade" : "", pathText,
                       g_learnedUpdates, gf_pluralS(g_learnedUpdates));
}

}  // namespace

void lf_saveLearnedAirport()
{
    const bool handmade = g_parkApfHandmade;
    BglAirport record;
    record.code = g_parkAirport.code;
    record.name = g_parkAirportInfo.name;
    record.publisher = g_parkAirportInfo.publisher;
    record.altitude_ft = g_parkAirportInfo.altitude_ft;
    for (ParkStand& stand : g_parkStands) {
        if (handmade || lf_keepLearned(stand)) record.stands.push_back(stand);
    }
    if (handmade) {
        const uint64_t quality = lf_computeQualityFactor();
        record.qfReal = static_cast<int32_t>(static_cast<uint32_t>(quality & 0xFFFFFFFFU));
        record.qfSoft = static_cast<int32_t>(static_cast<uint32_t>(quality >> 32U));
    }
    const std::string timeOfDay = gf_nowTimeOfDay();
    gf_log(timeOfDay + lf_saveOutcome(record, lf_learnedFile(record.publisher), handmade));
    g_learnedUpdates = 0;
}

}  // namespace qel
