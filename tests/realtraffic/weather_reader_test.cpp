#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <gsl/narrow>
#include <nlohmann/json.hpp>

#include "rt_fixture.h"

namespace qel {
namespace {

using nlohmann::json;
using standin::Fault;
using namespace std::chrono_literals;

std::string lf_readCapture(const std::string& name)
{
    return test::readFile(test::capture(name));
}

class WeatherReaderTest : public test::RtTest {
protected:
    // Runs the Weather Reader until it published a QNH (or ended); the QNH, 0 when none.
    int32_t firstQnh()
    {
        startWeather();
        EXPECT_TRUE(test::awaitTrue([] { return g_qnhReady != 0 || gf_weatherReaderFinished(); }));
        stopReaders();
        return g_qnhReady;
    }
    std::string joinedLog()
    {
        std::string text;
        for (const auto& line : log_.lines()) text += line + "\n";
        return text;
    }
};

TEST(ExtractQnh, EveryFormTheServiceSends)
{
    test::CapturedLog log;
    struct Case {
        json data;
        int32_t qnh;
        std::string logged;  // "" for none
    };
    const Case cases[] = {
        {{{"QNH", 1013.6}}, 1014, ""},
        {{{"QNH", 1012.5}}, 1013, ""},   // halves away from zero
        {{{"QNH", 1012}}, 1012, ""},
        {{{"QNH", "1009"}}, 1009, ""},
        {{{"QNH", "1009.8 hPa"}}, 1009, ""},
        {{{"QNH", "Q1009"}}, 1013, "==> extractQNH: Q1009"},
        {{{"QNH", 2992}}, 1013, ""},     // inches of mercury × 100
        {{{"QNH", 3100}}, 1050, ""},
        {{{"QNH", 1100}}, 1100, ""},
        {{{"QNH", 1101}}, 373, ""},
        {{{"QNH", -5}}, -5, ""},
        {{{"QNH", nullptr}}, 1013, "==> No QNH found in data"},
        {{{"QNH", true}}, 1013, "==> No QNH found in data"},
        {{{"SLP", 1011.6}}, 1013, "==> No QNH found in data"},
        {json::object(), 1013, "==> No QNH found in data"},
        {json(), 1013, "==> No QNH found in data"},
        {json::array({1013}), 1013, "==> No QNH found in data"},
    };
    for (const auto& c : cases) {
        const auto before = log.lines().size();
        EXPECT_EQ(rt::extractQNH(c.data), c.qnh) << c.data;
        const auto lines = log.lines();
        if (c.logged.empty()) {
            EXPECT_EQ(lines.size(), before) << c.data;
        } else {
            ASSERT_EQ(lines.size(), before + 1) << c.data;
            EXPECT_EQ(lines.back(), c.logged);
        }
    }
    // The documented body (its "data" member unwrapped): inches of mercury, 2958 → 1001.7 hPa.
    EXPECT_EQ(rt::extractQNH(json::parse(lf_readCapture("doc_v5_weather_KLBX_inHg_reply.json"))),
              1002);
    EXPECT_THROW(rt::extractQNH({{"QNH", 1.0e40}}), gsl::narrowing_error);
    EXPECT_THROW(rt::extractQNH({{"QNH", int64_t{10'000'000'000'000}}}), gsl::narrowing_error);
}

TEST_F(WeatherReaderTest, QnhIsClampedAndReachesTheTrafficSide)
{
    struct Case {
        std::string reply;  // the body of /v4/weather
        int32_t published;
    };
    const auto withQnh = [](const std::string& qnh) {
        return R"({"status": 200, "wrrl": 2000, "data": {"ICAO": "EDDL", "QNH": )" + qnh + "}}";
    };
    const Case cases[] = {
        {withQnh("870"), 900},
        {withQnh("1090"), 1090},
        {withQnh("1100"), 1100},
        {withQnh("3300"), 1100},  // 1117.55 hPa
        {withQnh("2992"), 1013},
        {withQnh("1013.6"), 1014},
        {withQnh("\"1009\""), 1009},
        {lf_readCapture("v4dev_weather_EDDL_2024-07-09.json"), 1012},
        {lf_readCapture("v4_weather_info_error_gfs_down_2024-08-25.json"), 1022},
        {lf_readCapture("api_tester_weather_YSSY_2024-07-21.json"), 1025},
        {lf_readCapture("v3_weather_error_file_requested_2024-02-11.json"), 1013},
    };
    for (const auto& c : cases) {
        test::resetClientState();
        gf_setTrafficReference(test::kEddl.lat, test::kEddl.lon, 147.0);
        server_->serveBody("/v4/weather", c.reply);
        ASSERT_TRUE(signIn());
        EXPECT_EQ(firstQnh(), c.published) << c.reply.substr(0, 80);
        EXPECT_EQ(g_trafficQnh.load(), c.published);
        EXPECT_EQ(rt::g_trafficReader.qnh(), c.published);
        EXPECT_EQ(g_rtWindowStatus.qnh.load(), c.published);
        EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
    }
    server_->clearReplays();
}

TEST_F(WeatherReaderTest, SameQnhIsPublishedOnceButTheStandardValueEveryTime)
{
    auto& status = g_rtWindowStatus.weatherReaderStatus;
    status = 2;
    rt::g_weatherReader.publishQnh(1012);
    EXPECT_EQ(status.load(), 1);
    EXPECT_EQ(g_qnhReady.load(), 1012);
    status = 2;
    rt::g_weatherReader.publishQnh(1012);
    EXPECT_EQ(status.load(), 2);
    rt::g_weatherReader.publishQnh(1013);
    EXPECT_EQ(status.load(), 1);
    status = 2;
    rt::g_weatherReader.publishQnh(1013);
    EXPECT_EQ(status.load(), 1);
    EXPECT_EQ(g_qnhReady.load(), 1013);
}

TEST_F(WeatherReaderTest, TheServicesStandInReplyKeepsTheLastRealQnh)
{
    // For a place it has nothing for, the service answers station UNKN with 1013, also where a
    // real station answered a minute before.
    const std::string unknown =
        R"({"status": 200, "wrrl": 2000, "data": {"ICAO": "UNKN", "QNH": 1013,
            "METAR": "UNKN 000000", "locWX": {"Info": "TinyDelta", "SLP": -1}}})";
    const auto published = [] {
        return std::vector<int32_t>{g_qnhReady, g_trafficQnh, rt::g_trafficReader.qnh(),
                                    g_rtWindowStatus.qnh};
    };
    ASSERT_TRUE(signIn());
    // No real station yet: 1013 is the value.
    server_->addFault("/v4/weather", Fault::withBody(unknown));
    server_->addFault("/v4/weather", Fault::stall());
    startWeather();
    ASSERT_TRUE(server_->waitForStalled(1, 30s));
    EXPECT_EQ(published(), std::vector<int32_t>(4, 1013));
    // Sydney at 1034 hPa, then twice the stand-in reply.
    server_->addFault("/v4/weather", Fault::withBody(R"({"status": 200, "data": {"ICAO":
        "YSSY", "QNH": 1034, "METAR": "YSSY 212200Z 29008KT CAVOK 10/05 Q1034"}})"));
    server_->addFault("/v4/weather", Fault::withBody(unknown), 2);
    server_->addFault("/v4/weather", Fault::stall());
    server_->releaseStalls();
    ASSERT_TRUE(test::awaitTrue([this] { return requests("/v4/weather").size() >= 6; }));
    ASSERT_TRUE(server_->waitForStalled(1, 30s));
    EXPECT_EQ(published(), std::vector<int32_t>(4, 1034));
    stopReaders();
    server_->releaseStalls();
    EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
}

TEST_F(WeatherReaderTest, RequestsCarryThePositionTheAltitudeAndTheStation)
{
    struct Case {
        double altitude_ft;
        std::string sent;
    };
    for (const auto& c : {Case{35000.9, "35000"}, Case{0.7, "0"}, Case{-40.0, "0"}}) {
        test::resetClientState();
        server_->clearRequests();
        gf_setTrafficReference(51.27931, 6.76349, c.altitude_ft);
        ASSERT_TRUE(signIn());
        EXPECT_EQ(firstQnh(), 1014);
        const auto metar = sessionRequests("/v4/nearestmetar");
        const auto weather = sessionRequests("/v4/weather");
        ASSERT_FALSE(metar.empty());
        ASSERT_FALSE(weather.empty());
        EXPECT_EQ(metar[0].body, "GUID=" + gf_rtGuid() + "&toffset=0&lat=51.2793&lon=6.7635");
        EXPECT_EQ(weather[0].body, "GUID=" + gf_rtGuid() +
                                       "&querytype=locwx&toffset=0&lat=51.2793&lon=6.7635&alt=" +
                                       c.sent + "&airports=EDDL");
        // The two requests of a pass keep the weather interval between them.
        EXPECT_GE(weather[0].steady - metar[0].steady, 2000ms);
        EXPECT_EQ(weather[0].status, 200);
    }
}

TEST_F(WeatherReaderTest, StationOfTheNearestMetarReplies)
{
    struct Case {
        std::string reply;
        std::string station;  // "" when no weather request follows
    };
    const Case cases[] = {
        {lf_readCapture("v4_nearestmetar_maxcount7_EDDL_2024-07-31.json"), "EDDL"},
        {lf_readCapture("api_tester_nearestmetar_YSSY_2024-07-21.json"), "YSSY"},
        {lf_readCapture("doc_v6_nearestmetar_single_reply.json"), "KNSI"},
        // No status member: 100, no station; the reader goes on.
        {lf_readCapture("doc_v5_nearestmetar_list_reply.json"), ""},
        {R"({"status": 200, "data": [{"Dist": 1.0}]})", ""},
        {R"({"status": 200, "data": []})", ""},
    };
    for (const auto& c : cases) {
        test::resetClientState();
        server_->clearRequests();
        server_->serveBody("/v4/nearestmetar", c.reply);
        ASSERT_TRUE(signIn());
        startWeather();
        ASSERT_TRUE(
            test::awaitTrue([this] { return sessionRequests("/v4/nearestmetar").size() >= 3; }));
        stopReaders();
        const auto weather = sessionRequests("/v4/weather");
        if (c.station.empty()) {
            EXPECT_TRUE(weather.empty()) << c.reply;
            EXPECT_EQ(g_qnhReady.load(), 0);
        } else {
            ASSERT_FALSE(weather.empty()) << c.station;
            EXPECT_EQ(weather[0].field("airports"), c.station);
        }
        EXPECT_EQ(rt::g_weatherReader.metarCode(), c.station);
        EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
    }
    server_->clearReplays();
}

TEST_F(WeatherReaderTest, BadRepliesAreLoggedAndTheLoopGoesOn)
{
    for (auto fault : {Fault::gatewayTimeout(), Fault::emptyBody(), Fault::invalidJson(),
                       Fault::withStatus(406, "too early"), Fault::withStatus(500, "no db"),
                       Fault::withBody(R"({"status": 200, "data": {"ICAO": "EDDL"}})")}) {
        server_->addFault("/v4/nearestmetar", fault);
    }
    for (auto fault : {Fault::gatewayTimeout(), Fault::emptyBody(), Fault::invalidJson(),
                       Fault::withStatus(406, "too early"), Fault::withStatus(500, "no db")}) {
        server_->addFault("/v4/weather", fault);
    }
    ASSERT_TRUE(signIn());
    EXPECT_EQ(firstQnh(), 1014);
    const std::string text = joinedLog();
    for (const char* line :
         {"==> nearest metar: invalid JSON 504 Gateway Timeout\n",
          "==> nearest metar: empty content\n",
          "==> nearest metar: invalid JSON:\n", "==> 406 json nearestmetar too early\n",
          "==> 500 json nearestmetar no db\n",
          "==> nearestmetar: [json.exception.type_error.304] cannot use at() with object\n",
          "==> weather receive invalid JSON 504 Gateway Timeout\n",
          "==> Empty content?, no QNH to be found\n", "==> weather receive invalid JSON:\n",
          "==> 406 json weather too early\n", "==> 500 json weather no db\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
}

TEST_F(WeatherReaderTest, EndingStatusesStopBothReadersAndTheProgram)
{
    struct Case {
        std::string path;
        Fault fault;
        std::string line;
        ExitReason reason;
    };
    const Case cases[] = {
        {"/v4/nearestmetar", Fault::withStatus(400, "Parameter fault"),
         "==> Weather RT API: parameter fault", ExitReason::SYSTEM_ERROR},
        {"/v4/nearestmetar", Fault::unauthorized(),
         "==> re-authentication to RT API is needed, restart VNTQ", ExitReason::READER_ERROR},
        {"/v4/weather", Fault::withStatus(403, "No data"),
         "==> Weather RT API: No data for this license type", ExitReason::SYSTEM_ERROR},
        {"/v4/weather", Fault::withStatus(402, "Expired"), "==> Weather RT API error: 402",
         ExitReason::SYSTEM_ERROR},
    };
    for (const auto& c : cases) {
        test::resetClientState();
        server_->clearFaults();
        ASSERT_TRUE(signIn());
        server_->addFault(c.path, c.fault);
        startWeather();
        weather_.join();  // the reader ends by itself
        EXPECT_TRUE(gf_weatherReaderFinished());
        EXPECT_TRUE(rt::g_trafficReader.stopRequested());
        EXPECT_EQ(g_exitReason.load(), c.reason) << c.line;
        EXPECT_EQ(countLines(c.line), 1) << c.line;
        EXPECT_EQ(g_rtWindowStatus.weatherReaderStatus.load(), 3);
    }
    EXPECT_EQ(countLines("The Weather Reader has stopped with an error"), 4);
}

TEST_F(WeatherReaderTest, StopEndsAStalledTransferAtOnce)
{
    server_->addFault("/v4/nearestmetar", Fault::stall());
    ASSERT_TRUE(signIn());
    startWeather();
    ASSERT_TRUE(server_->waitForStalled(1, 30s));
    const auto start = std::chrono::steady_clock::now();
    stopReaders();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(gf_weatherReaderFinished());
    EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
    server_->releaseStalls();
}

}  // namespace
}  // namespace qel
