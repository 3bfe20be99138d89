// Nearest METAR and weather of the stand-in: stations by distance, the QNH in the forms the
// real service sends, and the reply members of the captures.
#include <chrono>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "standin_fixture.h"
#include "support/test_support.h"

namespace qel::standin::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

class RtStandinWeather : public StandinTest {
protected:
    explicit RtStandinWeather(const char* scenario = testScenario) : StandinTest(scenario) {}
    void SetUp() override { guid_ = signIn(); }

    // Each request comes one interval after the one before.
    Answer nearestMetar(const std::string& extra = {})
    {
        clock_.advance(2s);
        return post("/v4/nearestmetar",
                    "GUID=" + guid_ + "&toffset=0&lat=51.2793&lon=6.7635" + extra);
    }
    Answer weather(const std::string& airports, const std::string& query = "querytype=locwx&")
    {
        clock_.advance(2s);
        return post("/v4/weather", "GUID=" + guid_ + "&" + query +
                                       "toffset=0&lat=51.2793&lon=6.7635&alt=147&airports=" +
                                       airports);
    }
    std::string guid_;
};

TEST_F(RtStandinWeather, NearestMetarGivesTheClosestStationsInOrder)
{
    const Answer one = nearestMetar();
    ASSERT_EQ(one.json["status"], 200) << one.body;
    EXPECT_EQ(one.json["message"], "OK");
    EXPECT_EQ(one.json["wrrl"], 2000);
    ASSERT_EQ(one.json["data"].size(), 1u);
    const json& eddl = one.json["data"][0];
    EXPECT_EQ(eddl["ICAO"], "EDDL");
    EXPECT_NEAR(eddl["Dist"].get<double>(), 0.6, 0.05);
    EXPECT_NEAR(eddl["BrgTo"].get<double>(), 11.4, 0.5);
    // Made up from the QNH at the time asked: 2024-08-24 17:50:02 UTC.
    EXPECT_EQ(eddl["METAR"], "EDDL 241750Z AUTO 24010KT CAVOK 15/10 Q1014");

    const Answer all = nearestMetar("&maxcount=7");
    ASSERT_EQ(all.json["data"].size(), 3u);
    EXPECT_EQ(all.json["data"][1]["ICAO"], "EDLN");
    EXPECT_EQ(all.json["data"][1]["METAR"], "EDLN 241920Z VRB01KT CAVOK 23/20 Q1014");
    EXPECT_EQ(all.json["data"][2]["ICAO"], "EDDK");
    EXPECT_EQ(all.json["data"][2]["METAR"], "EDDK 241750Z AUTO 24010KT CAVOK 15/10 A2958");
    EXPECT_LT(all.json["data"][1]["Dist"], all.json["data"][2]["Dist"]);

    EXPECT_EQ(nearestMetar("&maxcount=0").json["status"], 400);
    clock_.advance(2s);
    EXPECT_EQ(post("/v4/nearestmetar", "GUID=" + guid_ + "&lat=51.2").json["status"], 400);
}

TEST_F(RtStandinWeather, WeatherOfTheNamedStationElseTheNearest)
{
    const struct {
        const char* airports;
        const char* icao;
        json qnh;
    } cases[] = {
        {"EDDK", "EDDK", 2958},   // inches of mercury × 100
        {"EDLN", "EDLN", 1014},   // whole hectopascal
        {"", "EDDL", 1013.6},     // decimal hectopascal, nearest station
        {"KLAX", "EDDL", 1013.6}, // unknown code: nearest station
    };
    for (const auto& c : cases) {
        const Answer a = weather(c.airports);
        ASSERT_EQ(a.json["status"], 200) << a.body;
        EXPECT_EQ(a.json["source"], "MemoryDB");
        EXPECT_EQ(a.json["wrrl"], 2000);
        const json& data = a.json["data"];
        EXPECT_EQ(data["ICAO"], c.icao) << c.airports;
        EXPECT_EQ(data["QNH"], c.qnh) << c.airports;
        EXPECT_EQ(data["QNH"].is_number_float(), c.qnh.is_number_float()) << c.airports;
        EXPECT_TRUE(data["METAR"].get<std::string>().starts_with(c.icao)) << c.airports;
        EXPECT_TRUE(data["locWX"].is_object());
        EXPECT_TRUE(data["AM"].is_array());
    }
    EXPECT_EQ(weather("EDDL", "").json["status"], 400);  // no querytype
}

TEST_F(RtStandinWeather, RepliesCarryTheMembersOfTheCaptures)
{
    const json metarCapture = json::parse(
        qel::test::readFile(capturesDir() / "v4_nearestmetar_maxcount7_EDDL_2024-07-31.json"));
    const json weatherCapture =
        json::parse(qel::test::readFile(capturesDir() / "v4dev_weather_EDDL_2024-07-09.json"));
    const json metar = nearestMetar().json;
    EXPECT_EQ(keysOf(metar), keysOf(metarCapture));
    EXPECT_EQ(keysOf(metar["data"][0]), keysOf(metarCapture["data"][0]));
    const json weather = this->weather("EDDL").json;
    EXPECT_EQ(keysOf(weather), keysOf(weatherCapture));
    EXPECT_EQ(keysOf(weather["data"]), keysOf(weatherCapture["data"]));
}

const char* const oddWeatherScenario = R"({
  "weather": {"stations": [
    {"icao": "EDDL", "lat": 51.2895, "lon": 6.76678, "qnh": "1009", "taf": "TAF EDDL 241700Z",
     "locwx": {"Info": "error: GFS server down", "SLP": -1}}]}
})";

class RtStandinOddWeather : public RtStandinWeather {
protected:
    RtStandinOddWeather() : RtStandinWeather(oddWeatherScenario) {}
};

TEST_F(RtStandinOddWeather, TextQnhTafAndGivenLocWxAreSentAsTheyAre)
{
    const json data = weather("EDDL").json["data"];
    EXPECT_EQ(data["QNH"], "1009");
    EXPECT_EQ(data["TAF"], "TAF EDDL 241700Z");
    EXPECT_EQ(data["locWX"], (json{{"Info", "error: GFS server down"}, {"SLP", -1}}));
    EXPECT_EQ(data["METAR"], "EDDL 241750Z AUTO 24010KT CAVOK 15/10 Q1009");
}

class RtStandinNoStations : public RtStandinWeather {
protected:
    RtStandinNoStations() : RtStandinWeather("{}") {}
};

TEST_F(RtStandinNoStations, UnknownPlaceGetsTheServicesEmptyAnswer)
{
    EXPECT_TRUE(nearestMetar().json["data"].empty());
    const json data = weather("EDDL").json["data"];
    EXPECT_EQ(data["ICAO"], "UNKN");
    EXPECT_EQ(data["QNH"], 1013);
    EXPECT_EQ(data["METAR"], "UNKN 000000");
    EXPECT_EQ(data["locWX"]["Info"], "TinyDelta");
}

}  // namespace
}  // namespace qel::standin::test
