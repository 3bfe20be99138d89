// A RealTraffic stand-in on loopback with a small scenario near Düsseldorf, a manual clock at
// the scenario's start, and a plain HTTP client to talk to it.
#pragma once

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "standins/realtraffic/rt_standin.h"

namespace qel::standin::test {

inline constexpr int64_t scenarioStart_s = 1'724'521'800;  // 2024-08-24 17:50:00 UTC

// Four flights in the box around EDDL (ADS-B airborne, ADS-B on the ground, multilateration,
// a FLARM glider), one far away, one that starts later; three parked aircraft; three stations.
inline const char* const testScenario = R"({
  "clock": {"start": 1724521800},
  "user": {"lat": 51.2793, "lon": 6.7635, "alt_ft": 147, "airport": "EDDL", "stand": "EDDL_A02"},
  "flights": [
    {"hex": "4ba976", "callsign": "TKJ3VU", "flight_number": "VF5", "registration": "TC-JKV",
     "type": "B738", "category": "A3", "origin": "ESB", "destination": "DUS", "squawk": "7715",
     "points": [{"t_s": 0, "lat": 51.30, "lon": 6.80, "alt_ft": 4000, "vs_fpm": -768,
                 "heading_deg": 229.5},
                {"t_s": 100, "lat": 51.25, "lon": 6.70, "alt_ft": 3000, "vs_fpm": -768,
                 "heading_deg": 229.5}]},
    {"hex": "4bb84d", "callsign": "PGT31FP", "registration": "TC-NBM", "type": "A20N",
     "category": "A3", "origin": "AYT", "destination": "DUS", "squawk": "6433",
     "points": [{"t_s": -600, "lat": 51.276054, "lon": 6.758448, "alt_ft": 0, "gs_kt": 0,
                 "track_deg": 337.5},
                {"t_s": 600, "lat": 51.276054, "lon": 6.758448, "alt_ft": 0, "gs_kt": 0,
                 "track_deg": 337.5}]},
    {"hex": "3d37cd", "callsign": "DETJP", "flight_number": "DETJP", "registration": "D-ETJP",
     "type": "C172", "category": "A1", "squawk": "6501", "source": "X_mlat",
     "points": [{"t_s": -600, "lat": 51.31, "lon": 6.78, "alt_ft": 1000},
                {"t_s": 600, "lat": 51.21, "lon": 6.86, "alt_ft": 1000}]},
    {"hex": "ff0231", "callsign": "D4492_", "type": "ASW20", "source": "T_flarm",
     "points": [{"t_s": -600, "lat": 51.386, "lon": 6.59, "alt_ft": 141},
                {"t_s": 600, "lat": 51.386, "lon": 6.60, "alt_ft": 141}]},
    {"hex": "896456", "callsign": "UAE31V", "type": "A388", "category": "A5",
     "points": [{"t_s": -600, "lat": 53.0, "lon": 9.0, "alt_ft": 25825},
                {"t_s": 600, "lat": 53.5, "lon": 9.5, "alt_ft": 25825}]},
    {"hex": "3c6469", "callsign": "CFG2PL", "registration": "D-AICI", "type": "A320",
     "category": "A3", "points": [{"t_s": 30, "lat": 51.40, "lon": 7.00, "alt_ft": 9000},
                                  {"t_s": 330, "lat": 51.30, "lon": 6.80, "alt_ft": 4000}]}
  ],
  "parked": [
    {"hex": "3c4b26", "lat": 51.2790, "lon": 6.7628, "stand": "EDDL_A04", "type": "A20N",
     "registration": "D-AINZ", "callsign": "DLH9CV", "seen_s": -600, "track_deg": 320},
    {"hex": "3c4a7e", "lat": 51.2778, "lon": 6.7597, "stand": "EDDL_B12", "type": "A319",
     "registration": "D-AGWE", "seen_s": -9000},
    {"hex": "3c4a93", "lat": 51.2778, "lon": 6.7597, "stand": "EDDL_B12", "type": "A320",
     "registration": "D-AEWS", "callsign": "EWG7LR", "seen_s": 120},
    {"hex": "7c4920", "lat": -33.936407, "lon": 151.169229, "stand": "YSSY_101", "type": "A388",
     "seen_s": -60}
  ],
  "weather": {"stations": [
    {"icao": "EDDL", "lat": 51.2895, "lon": 6.76678, "qnh": 1013.6},
    {"icao": "EDLN", "lat": 51.2303, "lon": 6.5044, "qnh": 1014,
     "metar": "EDLN 241920Z VRB01KT CAVOK 23/20 Q1014"},
    {"icao": "EDDK", "lat": 50.8659, "lon": 7.1427, "qnh_inhg": 29.58}
  ]},
  "simulator": {"anything": "ignored here"}
})";

// The folder of the captured replies of the real service.
inline std::filesystem::path capturesDir() { return VNTQ_SOURCE_DIR "/tests/data/realtraffic"; }

// The box the client asks for around the user at EDDL.
inline const std::string eddlBox = "top=51.60&bottom=50.90&left=6.20&right=7.40";

struct Answer {
    int http = 0;          // HTTP status; 0 when the transfer failed
    std::string body;
    nlohmann::json json;   // discarded when the body is no JSON
};

class StandinTest : public ::testing::Test {
protected:
    explicit StandinTest(const char* scenario = testScenario, RtStandinOptions options = {})
        : clock_(scenarioStart_s),
          scopedClock_(std::make_unique<platform::ManualClock>(clock_)),
          server_(std::make_unique<RtStandin>(parseScenario(scenario, scenarioStart_s),
                                              std::move(options)))
    {
    }

    Answer post(const std::string& path, const std::string& body)
    {
        httplib::Client client("127.0.0.1", server_->port());
        const auto result = client.Post(path.c_str(), body, "application/x-www-form-urlencoded");
        Answer answer;
        if (!result) return answer;
        answer.http = result->status;
        answer.body = result->body;
        answer.json = nlohmann::json::parse(answer.body, nullptr, false);
        return answer;
    }

    // Signs in and returns the GUID; fails the test when there is none.
    std::string signIn(const std::string& license = "standard-license")
    {
        const Answer answer = post("/v4/auth", "license=" + license + "&software=VNTQ_11.14.0");
        EXPECT_EQ(answer.json.value("status", 0), 200) << answer.body;
        return answer.json.value("GUID", std::string());
    }

    Answer traffic(const std::string& guid, const std::string& extra = {})
    {
        return post("/v4/traffic", "GUID=" + guid + "&" + eddlBox +
                                       "&querytype=locationtraffic&toffset=0" + extra);
    }

    platform::ManualClock clock_;  // shares its time with the installed copy
    platform::ScopedClock scopedClock_;
    std::unique_ptr<RtStandin> server_;
};

// The member names of a JSON object.
inline std::set<std::string> keysOf(const nlohmann::json& object)
{
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.insert(key);
    return keys;
}

}  // namespace qel::standin::test
