// The RealTraffic client against the in-process stand-in server: a scenario near Düsseldorf, a
// clock of the test's choice, a per-user folder, Log.txt captured, the client and the core's
// stop state reset around each test, and the reader threads started and stopped on demand.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "liveries/liveries.h"
#include "platform/clock.h"
#include "realtraffic/readers.h"
#include "realtraffic/realtraffic.h"
#include "simlink/simlink.h"
#include "standins/realtraffic/rt_standin.h"
#include "support/test_support.h"

namespace qel::test {

inline constexpr int64_t kScenarioStart_s = 1'724'521'800;  // 2024-08-24 17:50:00 UTC, slot 35
inline constexpr LatLon kEddl{51.2895, 6.76678};

// Two airliners and a glider around EDDL for a day either side of the start; parked aircraft
// at EDDL seen 0 to 40 half hours before the start; one METAR station.
inline const char* const kScenario = R"({
  "clock": {"start": 1724521800},
  "user": {"lat": 51.2895, "lon": 6.76678, "alt_ft": 147},
  "flights": [
    {"hex": "4ba976", "callsign": "TKJ3VU", "registration": "TC-JKV", "type": "B738",
     "category": "A3", "origin": "ESB", "destination": "DUS",
     "points": [{"t_s": -86400, "lat": 51.40, "lon": 6.95, "alt_ft": 9000, "gs_kt": 250},
                {"t_s": 86400, "lat": 51.20, "lon": 6.60, "alt_ft": 9000, "gs_kt": 250}]},
    {"hex": "48548e", "callsign": "KLM56A", "registration": "PH-EXL", "type": "E75L",
     "category": "A3", "origin": "AMS", "destination": "DUS",
     "points": [{"t_s": -86400, "lat": 51.10, "lon": 6.60, "alt_ft": 5000, "gs_kt": 220},
                {"t_s": 86400, "lat": 51.45, "lon": 6.90, "alt_ft": 5000, "gs_kt": 220}]},
    {"hex": "ff0231", "callsign": "D4492_", "type": "ASW20", "source": "T_flarm",
     "points": [{"t_s": -86400, "lat": 51.386, "lon": 6.59, "alt_ft": 2000},
                {"t_s": 86400, "lat": 51.386, "lon": 6.60, "alt_ft": 2000}]}
  ],
  "parked": [
    {"hex": "3c4b26", "lat": 51.2790, "lon": 6.7628, "stand": "EDDL_A04", "type": "A20N",
     "registration": "D-AINZ", "callsign": "DLH9CV", "seen_s": -600},
    {"hex": "3c4a7e", "lat": 51.2778, "lon": 6.7597, "stand": "EDDL_B12", "type": "A319",
     "registration": "D-AGWE", "seen_s": -5400},
    {"hex": "3c4a93", "lat": 51.2790, "lon": 6.7628, "stand": "EDDL_A04", "type": "B738",
     "registration": "D-ABKA", "callsign": "EWG7LR", "seen_s": -3600},
    {"hex": "3c4c01", "lat": 51.2801, "lon": 6.7611, "stand": "EDDL_C01", "type": "A320",
     "registration": "D-AIZB", "callsign": "DLH9CV", "seen_s": -1800},
    {"hex": "3c4c02", "lat": 51.2802, "lon": 6.7612, "stand": "EDDL_C02", "type": "A320",
     "registration": "D-AIZC", "seen_s": -1800},
    {"hex": "3c4c03", "lat": 51.2803, "lon": 6.7613, "stand": "EDDL_C03", "type": "B738",
     "registration": "D-ABKB", "seen_s": -3600},
    {"hex": "3c4c04", "lat": 51.2804, "lon": 6.7614, "stand": "EDDL_C04", "type": "A320",
     "registration": "D-AIZD", "seen_s": -72000},
    {"hex": "3c4c05", "lat": 51.2805, "lon": 6.7615, "stand": "EDDL_C05", "type": "ZZZZ",
     "registration": "D-EZZZ", "seen_s": -600},
    {"hex": "3c4c06", "lat": 51.2806, "lon": 6.7616, "stand": "EDDL_R01", "type": "A320",
     "registration": "D-AIZF", "seen_s": -600},
    {"hex": "2710", "lat": 51.2807, "lon": 6.7617, "stand": "EDDL_C07", "type": "A320",
     "registration": "D-AIZG", "seen_s": -600}
  ],
  "weather": {"stations": [{"icao": "EDDL", "lat": 51.2895, "lon": 6.76678, "qnh": 1013.6}]}
})";

// Real time stretched by `factor` from `epoch_s` on: waits pass quickly but in step with the
// other threads, at a wall time the test chose.
class FastClock : public platform::Clock {
public:
    FastClock(int64_t epoch_s, double factor)
        : epoch_s_(epoch_s), factor_(factor), start_(std::chrono::steady_clock::now())
    {
    }
    platform::SteadyTime steadyNow() override { return start_ + scaled(); }
    void sleepFor(std::chrono::nanoseconds duration) override
    {
        if (duration.count() > 0) std::this_thread::sleep_for(duration / factor_);
    }
    int64_t epochSeconds() override
    {
        return epoch_s_ + std::chrono::duration_cast<std::chrono::seconds>(scaled()).count();
    }

private:
    std::chrono::nanoseconds scaled() const
    {
        const auto real = std::chrono::steady_clock::now() - start_;
        return std::chrono::nanoseconds(static_cast<int64_t>(
            static_cast<double>(std::chrono::nanoseconds(real).count()) * factor_));
    }
    const int64_t epoch_s_;
    const double factor_;
    const platform::SteadyTime start_;
};

// The model codes the aircraft database would give, with their size categories.
inline void installAircraftTypes()
{
    gf_clearAircraftDatabase();
    // As the database does: the empty code first, so that id 0 means none.
    gf_airlineIndex("");
    gf_modelIndex("");
    for (const char* code : {"A20N", "A319", "A320", "B738", "E75L", "A388", "A333", "B744",
                             "B763", "B752", "GLEX", "GLF5", "C172", "EC35", "F16"}) {
        g_icaoModelCodes.insert(code);
    }
    for (const char* code : {"A20N", "A319", "A320", "B738", "E75L", "B752"}) {
        g_largeModels.insert(gf_modelIndex(code));
    }
    for (const char* code : {"A388", "A333", "B744", "B763"}) {
        g_heavyModels.insert(gf_modelIndex(code));
    }
    for (const char* code : {"GLEX", "GLF5"}) g_buzjetModels.insert(gf_modelIndex(code));
    g_rotorcraftModels.insert(gf_modelIndex("EC35"));
    g_highPerformanceModels.insert(gf_modelIndex("F16"));
}

// The core's stop state by hand (a process keeps it across runs), the run state of the client
// and of the layers below through their own resets, and the settings the client reads.
inline void resetClientState()
{
    g_stopRequested = false;
    g_closeRequested = false;
    g_exitReason = ExitReason::NOT_YET_SET;
    g_restartDelay = 0;
    gf_resetFoundationRun();
    gf_resetSimLinkRun();
    gf_resetRtRun();
    gf_clearKeptTrafficBatches();
    RANGE.current = 40;
    AIRBORNE_ONLY.current = false;
    BLOCK_CALLSIGN.assign("");
    MAX_FIT.current = 12;
    RT_PARKTRAFFIC_ONLY.current = false;
    LIGHT_AIRCRAFT.current = false;
    HIGH_PERF_AIRCRAFT.current = false;
    HELICOPTERS.current = false;
}

// Blocks until the predicate holds; false after 30 s of real time.
inline bool awaitTrue(const std::function<bool()>& holds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!holds()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

class RtTest : public ::testing::Test {
protected:
    explicit RtTest(std::unique_ptr<platform::Clock> clock =
                        std::make_unique<platform::ManualClock>(kScenarioStart_s),
                    const char* scenario = kScenario)
        : clock_(std::move(clock)),
          previousAppDataDir_(g_appDataDir),
          server_(std::make_unique<standin::RtStandin>(
              standin::parseScenario(scenario, platform::epochSeconds())))
    {
        gf_setAppDataDir(user_.path());
        setenv("VNTQ_RT_URL", server_->url().c_str(), 1);
        setenv("VNTQ_RT_LICENSE", "standard-license", 1);
        installAircraftTypes();
        resetClientState();
        gf_setTrafficReference(kEddl.lat, kEddl.lon, 147.0);
        gf_updateTrafficBox();
    }

    ~RtTest() override
    {
        stopReaders();
        resetClientState();
        gf_clearAircraftDatabase();
        unsetenv("VNTQ_RT_URL");
        unsetenv("VNTQ_RT_LICENSE");
        gf_setAppDataDir(previousAppDataDir_);
    }

    // Signs in with the credential; true when a session was opened.
    bool signIn(const std::string& license = "standard-license")
    {
        setenv("VNTQ_RT_LICENSE", license.c_str(), 1);
        gf_authenticater();
        return !gf_rtGuid().empty();
    }

    void startTraffic() { traffic_ = std::jthread(gf_trafficReader); }
    void startWeather() { weather_ = std::jthread(gf_weatherReader); }
    // As close-down: both stop flags, then both threads joined.
    void stopReaders()
    {
        gf_stopWeatherReader();
        gf_stopTrafficReader();
        if (weather_.joinable()) weather_.join();
        if (traffic_.joinable()) traffic_.join();
    }

    // The requests on the path whose form field `querytype` is `querytype` ("" for any).
    std::vector<standin::LoggedRequest> requests(const std::string& path,
                                                 const std::string& querytype = "")
    {
        std::vector<standin::LoggedRequest> found;
        for (auto& request : server_->requests(path)) {
            if (querytype.empty() || request.field("querytype") == querytype) {
                found.push_back(std::move(request));
            }
        }
        return found;
    }

    // The requests on the path made in the current session. A reader stopped in the middle of
    // a transfer abandons its request, which the server may still log after the test cleared
    // the log for its next case; that request carries the earlier session's GUID.
    std::vector<standin::LoggedRequest> sessionRequests(const std::string& path)
    {
        std::vector<standin::LoggedRequest> found = requests(path);
        std::erase_if(found, [](const standin::LoggedRequest& request) {
            return request.field("GUID") != gf_rtGuid();
        });
        return found;
    }

    int countLines(const std::string& line)
    {
        int n = 0;
        for (const auto& l : log_.lines()) n += l == line ? 1 : 0;
        return n;
    }

    bool hasLineStartingWith(const std::string& start)
    {
        for (const auto& l : log_.lines()) {
            if (l.starts_with(start)) return true;
        }
        return false;
    }

    platform::ScopedClock clock_;
    TempDir user_;
    CapturedLog log_;
    std::filesystem::path previousAppDataDir_;
    std::unique_ptr<standin::RtStandin> server_;
    std::jthread traffic_;
    std::jthread weather_;
};

// A captured reply of the real service, in tests/data/realtraffic. A missing file fails the
// test by its name, not later as a JSON error about an empty text.
inline std::filesystem::path capture(const std::string& name)
{
    auto path = std::filesystem::path(VNTQ_SOURCE_DIR "/tests/data/realtraffic") / name;
    if (!std::filesystem::is_regular_file(path)) {
        throw std::runtime_error("captured reply missing: " + path.string());
    }
    return path;
}

}  // namespace qel::test
