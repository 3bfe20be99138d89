// The stand-in's pacing: traffic requests rrl apart, weather requests wrrl apart, else 406.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "standin_fixture.h"

namespace qel::standin::test {
namespace {

using namespace std::chrono_literals;

class RtStandinPacing : public StandinTest {
protected:
    RtStandinPacing() : StandinTest(testScenario, strictOptions()) {}

    static RtStandinOptions strictOptions()
    {
        RtStandinOptions options;
        options.pacingTolerance = 0ms;
        return options;
    }

    Answer nearestMetar(const std::string& guid)
    {
        return post("/v4/nearestmetar", "GUID=" + guid + "&toffset=0&lat=51.2793&lon=6.7635");
    }
    Answer weather(const std::string& guid)
    {
        return post("/v4/weather", "GUID=" + guid +
                                       "&querytype=locwx&toffset=0&lat=51.2793&lon=6.7635"
                                       "&alt=147&airports=EDDL");
    }
};

TEST_F(RtStandinPacing, TrafficRequestEarlierThanRrlGets406)
{
    const std::string guid = signIn();
    EXPECT_EQ(traffic(guid).json["status"], 200);
    clock_.advance(1999ms);
    const Answer early = traffic(guid);
    EXPECT_EQ(early.json["status"], 406);
    EXPECT_EQ(early.json["message"],
              "Request rate violation: requests must be at least 2000 ms apart");
    EXPECT_EQ(early.json["rrl"], 2000);
    EXPECT_FALSE(early.json.contains("data"));
    // The refused request does not count: the interval runs from the last one let through.
    clock_.advance(1ms);
    EXPECT_EQ(traffic(guid).json["status"], 200);
    // Parked traffic shares the interval.
    clock_.advance(1500ms);
    EXPECT_EQ(post("/v4/traffic", "GUID=" + guid + "&" + eddlBox +
                                      "&querytype=parkedtraffic&toffset=0")
                  .json["status"],
              406);
}

TEST_F(RtStandinPacing, WeatherRequestsShareWrrlAndLeaveTrafficAlone)
{
    const std::string guid = signIn();
    EXPECT_EQ(nearestMetar(guid).json["status"], 200);
    EXPECT_EQ(traffic(guid).json["status"], 200);  // its own interval
    const Answer early = weather(guid);
    EXPECT_EQ(early.json["status"], 406);
    EXPECT_EQ(early.json["wrrl"], 2000);
    clock_.advance(2000ms);
    EXPECT_EQ(weather(guid).json["status"], 200);
    EXPECT_EQ(nearestMetar(guid).json["status"], 406);
}

TEST_F(RtStandinPacing, SessionsArePacedApart)
{
    const std::string a = signIn();
    const std::string b = signIn("professional-license");
    EXPECT_EQ(traffic(a).json["status"], 200);
    EXPECT_EQ(traffic(b).json["status"], 200);
}

TEST_F(RtStandinPacing, NewIntervalsReachRepliesAndChecks)
{
    const std::string guid = signIn();
    server_->setPacing(500, -1);
    const Answer first = traffic(guid);
    EXPECT_EQ(first.json["rrl"], 500);
    clock_.advance(500ms);
    EXPECT_EQ(traffic(guid).json["status"], 200);
    EXPECT_EQ(weather(guid).json["wrrl"], 2000);  // kept
    const Answer later = post("/v4/auth", "license=standard-license");
    EXPECT_EQ(later.json["rrl"], 500);
    EXPECT_EQ(later.json["wrrl"], 2000);
}

TEST(RtStandinPacingOff, EveryRequestPassesWhenNotEnforced)
{
    platform::ScopedClock clock(std::make_unique<platform::ManualClock>(scenarioStart_s));
    RtStandinOptions options;
    options.enforcePacing = false;
    RtStandin server(parseScenario(testScenario, 0), options);
    httplib::Client client("127.0.0.1", server.port());
    const auto auth = client.Post("/v4/auth", "license=standard-license",
                                  "application/x-www-form-urlencoded");
    ASSERT_TRUE(auth);
    const std::string guid = nlohmann::json::parse(auth->body)["GUID"];
    for (int i = 0; i < 3; ++i) {
        const auto reply = client.Post("/v4/traffic",
                                       "GUID=" + guid + "&" + eddlBox +
                                           "&querytype=locationtraffic",
                                       "application/x-www-form-urlencoded");
        ASSERT_TRUE(reply);
        EXPECT_EQ(nlohmann::json::parse(reply->body)["status"], 200);
    }
}

}  // namespace
}  // namespace qel::standin::test
