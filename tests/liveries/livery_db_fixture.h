// A small installed-livery world for the livery database and matcher tests: an aircraft
// database with size categories, similar types and prefix groups, a scanned livery list built
// in the test, a working folder, a temporary per-user folder and a captured log.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/globals.h"
#include "foundation/parameters.h"
#include "foundation/random.h"
#include "liveries/flight_data.h"
#include "liveries/livery_db.h"
#include "liveries/scanned_liveries.h"
#include "liveries_fixtures.h"
#include "support/test_support.h"

namespace qel::test {

inline Livery livery(std::string_view airline, std::string_view op, std::string_view model,
                     std::string title, std::string registration = {}, bool cargo = false)
{
    Livery l;
    l.title = std::move(title);
    l.registration = std::move(registration);
    l.key.airline = gf_airlineIndex(airline);
    l.key.operatorId = gf_airlineIndex(op);
    l.key.model = gf_modelIndex(model);
    l.key.cargo = cargo ? 1 : 0;
    return l;
}

inline MatchKey key(std::string_view airline, std::string_view op, std::string_view model,
                    bool cargo = false)
{
    return {gf_airlineIndex(airline), gf_airlineIndex(op), gf_modelIndex(model),
            static_cast<uint8_t>(cargo ? 1 : 0), 0};
}

inline FlightData flight(const MatchKey& k, std::string registration, std::string callsign = "TST1")
{
    FlightData f;
    f.key = k;
    f.registration = std::move(registration);
    f.callsign = std::move(callsign);
    f.weightClass = static_cast<WeightClass>(gf_sizeCategory(k.model));
    return f;
}

class LiveryDbTest : public LiveriesTest {
protected:
    LiveryDbTest() : previousAppData_(g_appDataDir) { gf_setAppDataDir(appData_.path()); }
    ~LiveryDbTest() override { gf_setAppDataDir(previousAppData_); }

    void SetUp() override
    {
        LiveriesTest::SetUp();
        resetLiveries();
        gf_airlineIndex("");
        gf_modelIndex("");
        for (const char* code : {"A320", "A321", "B738", "CRJ9"}) {
            g_largeModels.insert(gf_modelIndex(code));
        }
        for (const char* code : {"B744", "B74F"}) g_heavyModels.insert(gf_modelIndex(code));
        g_buzjetModels.insert(gf_modelIndex("GLF6"));
        g_rotorcraftModels.insert(gf_modelIndex("EC35"));
        g_highPerformanceModels.insert(gf_modelIndex("F16"));
        g_similarTypeGroups = {{"A320", "A321", "B738"}, {"B744", "B74F"}, {"C172", "PA28"}};
        g_similarPrefixes = {{"D-", {"OE-"}}, {"OE-", {"D-"}}};
        for (auto* option : {&LIGHT_AIRCRAFT, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) {
            option->current = true;
        }
        MATCHING_DEPTH.current = 4;
        // The folders the start-up makes, and a settings file to save options into.
        std::filesystem::create_directories(g_infoDir);
        gf_saveParameters(false);
        g_rng.seed(7);
        g_liveryHooks.titleRefused = [this](std::string_view title) {
            return refused.contains(std::string(title));
        };
        g_liveryHooks.enableOption = [this](const ControlBinding& option, bool on) {
            enabled.push_back({&option, on});
        };
        g_liveryHooks.uncreatedAircraft = [this] { return uncreated; };
    }
    void TearDown() override
    {
        resetLiveries();
        LiveriesTest::TearDown();
    }
    static void resetLiveries()
    {
        gf_clearLiveryDb();
        g_liveries.clear();
        g_excludedTitles.clear();
        g_regcodeReport.clear();
        g_matchCounts = {};
        g_liveryHooks = {};
        MATCHING_DEPTH.current = MATCHING_DEPTH.defaultValue;
        for (auto* option : {&LIGHT_AIRCRAFT, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) {
            option->current = option->defaultValue;
        }
    }

    // The demo world: a bit of every rule.
    static LiveryList world()
    {
        return {
            livery("DLH", "", "A320", "A320 Lufthansa D-AIAB", "D-AIAB"),
            livery("DLH", "", "A320", "A320 Lufthansa Retro", "D-AIRE"),
            livery("DLH", "", "A321", "A321 Lufthansa D-AISA", "D-AISA"),
            livery("DLH", "", "B744", "B744 Lufthansa"),
            livery("BOX", "", "B74F", "B74F Aerologic", "D-AALA", true),
            livery("AAL", "JIA", "CRJ9", "CRJ9 American Eagle PSA"),
            livery("JIA", "", "CRJ9", "CRJ9 PSA Airlines American"),
            livery("JIA", "", "CRJ9", "CRJ9 PSA Airlines"),
            livery("AAL", "", "CRJ9", "CRJ9 American PSA Airlines"),
            livery("ZZZ", "", "A320", "A320 Airbus House"),
            livery("ZZZ", "", "C172", "C172 Generic"),
            livery("PVT", "", "C172", "C172 D-EFGH", "D-EFGH"),
            livery("PVT", "", "C172", "C172 N123AB", "N123AB"),
            livery("PVT", "", "PA28", "PA28 OE-KAB", "OE-KAB"),
            livery("PVT", "", "GLF6", "GLF6 FSLTL_ N650GA", "N650GA"),
        };
    }

    ScopedWorkDir work_;
    CapturedLog log;
    std::set<std::string> refused;
    std::vector<std::string> uncreated;
    std::vector<std::pair<const ControlBinding*, bool>> enabled;

private:
    TempDir appData_;
    std::filesystem::path previousAppData_;
};

}  // namespace qel::test
