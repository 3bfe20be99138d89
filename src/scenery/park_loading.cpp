// Loading the park airport's stand table: stand file, learned file, quality factors, park
// settings, stand numbers and overlaps.
#include "scenery/park_loading.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <system_error>

#include <curl/curl.h>
#include <fmt/format.h>
#include <gsl/narrow>

#include "foundation/catalogue.h"
#include "foundation/download.h"
#include "foundation/geodesy.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/strings.h"
#include "foundation/xml.h"
#include "scenery/scenery.h"
#include "scenery/scenery_run.h"
#include "scenery/stand_overlaps.h"
#include "scenery/stand_places.h"
#include "scenery/stand_snapshot.h"

namespace qel {

ParkWindowHooks g_parkWindowHooks;
uint64_t& g_qualityFactors = g_sceneryRun.qualityFactors;
std::atomic<int32_t>& g_rtTrafficWeek = g_sceneryRun.rtTrafficWeek;
std::optional<double>& g_parkElevation = g_sceneryRun.parkElevation;
SavedParkSettings& g_savedParkSettings = g_sceneryRun.savedParkSettings;
ParkFileRead& g_parkFileRead = g_sceneryRun.parkFileRead;

namespace {

constexpr int lf_errorNoParameter = 65;
constexpr std::string_view lf_excludedName = "owner";

struct CurlCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

int32_t lf_low(uint64_t pair) { return static_cast<int32_t>(static_cast<uint32_t>(pair)); }
int32_t lf_high(uint64_t pair) { return static_cast<int32_t>(static_cast<uint32_t>(pair >> 32)); }
uint64_t lf_pair(int32_t low, int32_t high)
{
    return uint64_t{static_cast<uint32_t>(low)} | uint64_t{static_cast<uint32_t>(high)} << 32;
}

template <typename F, typename... Args>
void lf_call(const F& hook, Args&&... args)
{
    if (hook) hook(std::forward<Args>(args)...);
}

void lf_saveParkSettings()
{
    g_savedParkSettings = {
        MAX_LIVE_SEL.current,        MAX_FIT.current,    RANGE.current,
        parking_percentage.current,  AUTO_RANGE.current, INITIAL_LOAD_ONLY.current,
        RT_PARKTRAFFIC_ONLY.current, PARK_SOFT.current,  WEEK.current};
}

void lf_setBool(ControlBoolParameter& setting, bool value)
{
    setting.current = value;
    lf_call(g_parkWindowHooks.showBool, setting);
}

// Without a learned file the archive's quality decides how strictly stands are matched.
void lf_adjustToQuality()
{
    const int32_t real = lf_low(g_qualityFactors);
    const int32_t soft = lf_high(g_qualityFactors);
    if (real <= 2 && soft >= 1) {
        lf_setBool(PARK_SOFT, true);
        lf_setBool(WEEK, true);
        MAX_FIT_FL.current = 24.0f;
        MAX_FIT.current = gf_hoursToMaxFit(24.0f);
        lf_call(g_parkWindowHooks.selectMaxFitCombo);
    } else if (real >= 46) {
        lf_setBool(PARK_SOFT, false);
        lf_setBool(WEEK, false);
    }
}

const Airport* lf_databaseAirport(uint32_t parkCode)
{
    const auto found = std::find_if(g_airports.begin(), g_airports.end(),
                                    [&](const Airport& a) { return a.code.word() == parkCode; });
    return found == g_airports.end() ? nullptr : &*found;
}

void lf_parkingPercentageFromDatabase(uint32_t parkCode)
{
    const Airport* found = lf_databaseAirport(parkCode);
    int32_t percentage = 30;
    if (found && found->standCount == 1) percentage = 100;
    if (found && found->standCount == 2) percentage = 50;
    parking_percentage.current = percentage;
    gf_logIndented(fmt::format("{:24}: {}%", parking_percentage.name, percentage));
    lf_call(g_parkWindowHooks.showInt, parking_percentage);
    lf_call(g_parkWindowHooks.enable, parking_percentage, true);
}

void lf_numberAndOverlap()
{
    for (std::size_t i = 0; i < g_parkStands.size(); ++i) {
        g_parkStands[i].number = static_cast<uint32_t>(i + 1);
    }
    if (const std::size_t capped = lf_findOverlaps(g_parkStands); capped > 0) {
        gf_logHighlighted(fmt::format("{} stand{} overlap {} or more others; {} of them are kept",
                                      capped, gf_plural(static_cast<uint64_t>(capped)),
                                      lf_maxOverlaps, lf_maxOverlaps));
    }
}

// The file's parameters into `info` and the globals; "altitude" is required.
void lf_readFileParameters(const pugi::xml_document& document, ParkAirportInfo& info)
{
    g_rtTrafficWeek = gf_readIntParameter(document, "RT_traffic_week").value_or(0);
    info.publisher = gf_readStringParameter(document, "publisher").value_or("");
    const auto altitude = gf_readIntParameter(document, "altitude");
    if (!altitude) {
        throw UserErrorException(lf_errorNoParameter,
                                 fmt::format("Parameter {} not found", "altitude"));
    }
    info.altitude_ft = *altitude;
    info.name = gf_readStringParameter(document, "airport_name").value_or("");
}

void lf_takeFileQuality(const pugi::xml_document& document)
{
    const auto real = gf_readIntParameter(document, "Qf_real");
    const auto soft = gf_readIntParameter(document, "Qf_soft");
    if (real && soft) g_qualityFactors = lf_pair(*real, *soft);
}

void lf_readLearnedOrAdjust(const std::filesystem::path& learned, ParkAirportInfo& info,
                            uint32_t parkCode)
{
    if (!learned.empty() && std::filesystem::exists(learned)) {
        lf_readLearned(learned, info);
        g_qualityFactors = lf_computeQualityFactor();
        if (g_parkApfHandmade) gf_log("A handmade airport file overruled the archived file!");
        return;
    }
    gf_logFlush("learned does not exist");
    lf_adjustToQuality();
    lf_parkingPercentageFromDatabase(parkCode);
}

void lf_showLoaded(const std::string& path, const ParkAirportInfo& info, uint32_t parkCode)
{
    const std::size_t count = g_parkStands.size();
    const std::string shownPath =
        g_parkApfHandmade ? gf_pathToUtf8(g_parkFileRead.learnedPath) : path;
    // A scanned stand file may have no name; the airport database's names the airport then.
    const Airport* airport = info.name.empty() ? lf_databaseAirport(parkCode) : nullptr;
    gf_log(fmt::format("Airport file read from '{}' for {}", shownPath,
                       airport ? airport->name : info.name));
    gf_logIndented(fmt::format("{:24}: {}", "publisher", info.publisher));
    gf_logIndented(fmt::format("{:24}: {} ft", "altitude", info.altitude_ft));
    gf_logIndented(fmt::format("{:24}: {}", "num_parkpos", count));
    gf_logIndented(fmt::format("{:24}: {}", "quality factor", gf_qualityText()));
    gf_logIndented(fmt::format("{:24}: {}", "RT traffic week", g_rtTrafficWeek.load()));
    if (parkCode != 0) {
        g_parkElevation = static_cast<double>(info.altitude_ft);
    } else {
        g_parkElevation.reset();
    }
    // An empty table is no park airport: the flag that lets the traffic manager save its
    // learned file over the existing one stays down.
    if (count == 0) return;
    lf_call(g_parkWindowHooks.showStandsLoaded,
            ParkStandsShown{count, info.publisher, g_parkApfHandmade.load(), gf_qualityText(),
                            g_rtTrafficWeek.load()});
}

std::string lf_readApf(const std::string& path, ParkAirportInfo& info, uint32_t parkCode)
{
    if (path.empty()) return fmt::format("{}: xml is empty", "gf_readApf");
    if (parkCode == 0) return fmt::format("{}: no park airport set", "gf_readApf");
    if (!gf_isSafeRelativeLocation(path)) {
        return fmt::format("{}: '{}' refused: it leaves the program folder", "gf_readApf", path);
    }
    std::filesystem::path file = gf_localPathOf(path);
    if (!path.starts_with("airports")) {
        file = g_airportsDir / "park_airport.xml";
        std::filesystem::create_directories(g_airportsDir);
        if (auto failed = lf_downloadArchivedAirport(path, file); !failed.empty()) return failed;
    }
    g_parkApfHandmade = false;
    g_parkFileRead = {path, {}};
    // The previous park airport's quality must not steer this airport's settings.
    g_qualityFactors = 0;

    pugi::xml_document document;
    std::string bytes;
    if (!lf_loadStandXml(file, document, bytes)) {
        return fmt::format("{}: could not load file: {}", path, gf_pathToUtf8(file));
    }
    if (std::string refusal; !gf_readXmlMeta(document, true, refusal)) {
        return fmt::format("{}: refused to load: {}", path, refusal);
    }
    lf_readFileParameters(document, info);
    StandSource source;
    source.path = path;
    source.text = bytes;
    gf_readParkPositions(document, source);
    lf_takeFileQuality(document);
    lf_saveParkSettings();

    g_parkFileRead.learnedPath = gf_learnedPathFor(path, info.publisher);
    lf_readLearnedOrAdjust(g_parkFileRead.learnedPath, info, parkCode);
    lf_numberAndOverlap();
    lf_showLoaded(path, info, parkCode);
    return g_parkStands.empty() ? "no stands found" : "";
}

}  // namespace

std::string gf_readApf(const std::string& path, ParkAirportInfo& info, uint32_t parkCode)
{
    // Whatever the outcome, the other threads' stand names follow the table as it now is.
    try {
        std::string result = lf_readApf(path, info, parkCode);
        gf_publishStandSpots();
        return result;
    } catch (const UserErrorException&) {
        gf_publishStandSpots();
        throw;
    } catch (const std::exception& e) {
        gf_publishStandSpots();
        return fmt::format("{}: {}", "gf_readApf", e.what());
    }
}

std::string lf_downloadArchivedAirport(const std::string& location,
                                       const std::filesystem::path& local)
{
    const bool stockOrSimaddon = location.find("simaddon") != std::string::npos ||
                                 location.find("stock") != std::string::npos;
    const bool msfs2020 = SIM_CHOICE.value() == "MSFS 2020";  // what g_isMsfs2020 is set from
    const char* folder = msfs2020 || stockOrSimaddon ? "MSFS/" : "MSFS2024/";
    const std::string url = gf_downloadBaseUrl() + folder + location;
    const std::unique_ptr<CURL, CurlCleanup> handle(curl_easy_init());
    if (gf_download(handle.get(), url, local, false)) return {};
    std::error_code ec;
    std::filesystem::remove(local, ec);
    const std::string message = fmt::format("failed to download: '{}'", url);
    gf_log(message);
    return message;
}

uint64_t lf_computeQualityFactor()
{
    const bool anyFlight =
        std::any_of(g_parkStands.begin(), g_parkStands.end(),
                    [](const ParkStand& s) { return !s.learnedFlights.empty(); });
    if (!anyFlight) return lf_pair(-1, -1);
    double weights = 0.0;
    double sums[2] = {0.0, 0.0};  // real, soft
    for (const ParkStand& stand : g_parkStands) {
        // Radii are nautical miles here, so every ordinary stand weighs 0.3; stored quality
        // figures were computed this way.
        const double w = stand.radius <= 7.0 ? 0.3 : stand.radius <= 10.0 ? 1.5 : 1.0;
        weights += w;
        for (int kind = 0; kind < 2; ++kind) {
            uint32_t n = 0;
            uint32_t days = 0;  // bit d for weekday d
            std::size_t slots = 0;
            for (const LearnedFlight& f : stand.learnedFlights) {
                if (f.number == 0 || (f.real != 0) != (kind == 0)) continue;
                ++n;
                if (f.day >= 1 && f.day <= 7) days |= 1u << f.day;
                slots += f.slots.count();
            }
            if (n == 0) continue;
            const double d = static_cast<double>(std::popcount(days));
            sums[kind] += (std::min(20.0 * n, 4000.0) + 10000.0 + 100.0 * d +
                           2.0 * static_cast<double>(std::min<std::size_t>(slots, 600))) *
                          w;
        }
    }
    auto factor = [&](double sum) {
        return std::clamp(gsl::narrow<int32_t>(std::round(sum / weights * 0.00625)), 0, 100);
    };
    return lf_pair(factor(sums[0]), factor(sums[1]));
}

std::string gf_qualityText()
{
    const int32_t real = lf_low(g_qualityFactors);
    const int32_t soft = lf_high(g_qualityFactors);
    if (real < 0 && soft < 0) return "  ";
    if (real >= 45) return fmt::format("{:2}", real);
    return fmt::format("{:2}/{:2}", real, soft);
}

bool lf_isExcludedName(std::string_view text) { return text == lf_excludedName; }

bool gf_apfNamesPublisher(const std::filesystem::path& path)
{
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) {
        gf_logHighlighted(fmt::format("'{}' not found", gf_pathToUtf8(path)));
        return false;
    }
    if (!gf_readStringParameter(document, "publisher").value_or("").empty()) return true;
    auto names = [](const std::optional<std::string>& text) {
        return text && text->size() >= 4 && !lf_isExcludedName(*text);
    };
    return names(gf_readStringParameter(document, "manufacturer")) ||
           names(gf_readStringParameter(document, "creator"));
}

}  // namespace qel
