// Live, buffered, historic and parked traffic of the stand-in, record by record, held against
// the layout of the captured replies.
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

json lf_capture(const std::string& name)
{
    return json::parse(qel::test::readFile(capturesDir() / name));
}

char lf_kind(const json& value)
{
    if (value.is_string()) return 's';
    if (value.is_number()) return 'n';
    if (value.is_null()) return '-';
    return '?';
}

class RtStandinTraffic : public StandinTest {
protected:
    void SetUp() override
    {
        guid_ = signIn();
        clock_.advance(50s);  // scenario second 50
    }
    std::string guid_;
};

TEST_F(RtStandinTraffic, PollAnswersTheFlightsInTheBoxNow)
{
    const Answer a = traffic(guid_);
    ASSERT_EQ(a.json["status"], 200) << a.body;
    EXPECT_EQ(a.json["rrl"], 2000);
    EXPECT_EQ(a.json["source"], "MemoryDB");
    EXPECT_EQ(a.json["dataepoch"], scenarioStart_s + 50);
    EXPECT_EQ(a.json["full_count"], 6);  // the far-away flight counts, but is not sent
    EXPECT_EQ(keysOf(a.json["data"]),
              (std::set<std::string>{"4ba976", "4bb84d", "3d37cd", "ff0231", "3c6469"}));
    for (const auto& [hex, record] : a.json["data"].items()) {
        ASSERT_EQ(record.size(), 48u) << hex;
        EXPECT_EQ(record[0], hex);
        EXPECT_EQ(record[10], scenarioStart_s + 50) << hex;
        EXPECT_EQ(record[47], 1) << hex;
    }

    const json& r = a.json["data"]["4ba976"];  // halfway along its track
    EXPECT_DOUBLE_EQ(r[1].get<double>(), 51.275);
    EXPECT_DOUBLE_EQ(r[2].get<double>(), 6.75);
    EXPECT_NEAR(r[3].get<double>(), 231.4, 0.1);  // south-west, along the great circle
    EXPECT_EQ(r[4], 3500);
    EXPECT_EQ(r[6], "7715");
    EXPECT_EQ(r[7], "X");
    EXPECT_EQ(r[8], "B738");
    EXPECT_EQ(r[9], "TC-JKV");
    EXPECT_EQ(r[11], "ESB");
    EXPECT_EQ(r[12], "DUS");
    EXPECT_EQ(r[13], "TKJ3VU");
    EXPECT_EQ(r[14], 0);
    EXPECT_EQ(r[15], -768);
    EXPECT_EQ(r[16], "VF5");
    EXPECT_EQ(r[17], "X_adsb_icao");
    EXPECT_DOUBLE_EQ(r[25].get<double>(), 229.5);
    EXPECT_EQ(r[28], "A3");

    const json& ground = a.json["data"]["4bb84d"];
    EXPECT_EQ(ground[4], 0);
    EXPECT_EQ(ground[14], 1);
    EXPECT_DOUBLE_EQ(ground[3].get<double>(), 337.5);
    EXPECT_DOUBLE_EQ(ground[25].get<double>(), 337.5);  // the heading follows the track
    EXPECT_EQ(ground[16], "null");                      // no flight number
    EXPECT_EQ(a.json["data"]["ff0231"][9], "null");     // no registration
}

// Every element the program decodes has the JSON type of the same element in a captured
// record of the same kind: airborne ADS-B, ADS-B on the ground, multilateration, FLARM.
TEST_F(RtStandinTraffic, RecordsHaveTheCapturedLayout)
{
    const json captured = lf_capture("v4_traffic_locationtraffic_EDDL_2024-08-24.json")["data"];
    const json ours = traffic(guid_).json["data"];
    for (const char* hex : {"4ba976", "4bb84d", "3d37cd", "ff0231"}) {
        ASSERT_EQ(captured[hex].size(), 48u);
        ASSERT_EQ(ours[hex].size(), 48u);
        for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 20, 23, 25, 28,
                      47}) {
            EXPECT_EQ(lf_kind(ours[hex][i]), lf_kind(captured[hex][i]))
                << hex << " element " << i << ": " << ours[hex][i] << " vs " << captured[hex][i];
        }
    }
    EXPECT_EQ(ours["4bb84d"][1], captured["4bb84d"][1]);
    EXPECT_EQ(ours["4bb84d"][2], captured["4bb84d"][2]);
}

TEST_F(RtStandinTraffic, BufferedLoadHasOneStepPerBufferCount)
{
    const Answer a = traffic(guid_, "&buffercount=5&buffertime=6");
    ASSERT_EQ(a.json["status"], 200) << a.body;
    const json& data = a.json["data"];
    EXPECT_EQ(keysOf(data),
              (std::set<std::string>{"buffer_0", "buffer_1", "buffer_2", "buffer_3", "buffer_4"}));
    EXPECT_EQ(a.json["dataepoch"], scenarioStart_s + 50);
    EXPECT_EQ(a.json["endepoch"], scenarioStart_s + 50 - 24);
    for (int k = 0; k < 5; ++k) {
        const json& step = data["buffer_" + std::to_string(k)];
        // The late starter (second 30) is missing from the step at second 26 only.
        EXPECT_EQ(step.size(), k == 4 ? 4u : 5u) << k;
        EXPECT_EQ(step["4ba976"][10], scenarioStart_s + 50 - 6 * k) << k;
        EXPECT_EQ(step["4ba976"].size(), 48u);
    }
    EXPECT_LT(data["buffer_1"]["4ba976"][1].get<double>(),
              data["buffer_2"]["4ba976"][1].get<double>());  // flying south
}

TEST_F(RtStandinTraffic, BufferCountIsCutAndBadValuesAreAParameterFault)
{
    clock_.advance(2s);
    const Answer a = traffic(guid_, "&buffercount=100&buffertime=1");
    EXPECT_EQ(a.json["data"].size(), 30u);
    EXPECT_EQ(a.json["endepoch"], scenarioStart_s + 52 - 29);
    const struct {
        const char* body;
    } cases[] = {
        {"&buffercount=0&buffertime=6"},
        {"&buffercount=5&buffertime=x"},
        {"&buffercount=5&buffertime=0"},
    };
    for (const auto& c : cases) {
        clock_.advance(2s);
        EXPECT_EQ(traffic(guid_, c.body).json["status"], 400) << c.body;
    }
    for (const char* body : {"top=x&bottom=50.9&left=6.2&right=7.4&querytype=locationtraffic",
                             "top=51.6&bottom=50.9&left=6.2&querytype=locationtraffic",
                             "top=51.6&bottom=50.9&left=6.2&right=7.4&querytype=everything",
                             "top=51.6&bottom=50.9&left=6.2&right=7.4&querytype=locationtraffic"
                             "&toffset=-5"}) {
        clock_.advance(2s);
        const Answer fault = post("/v4/traffic", "GUID=" + guid_ + "&" + body);
        EXPECT_EQ(fault.json["status"], 400) << body;
        EXPECT_EQ(fault.json["message"], "Parameter fault") << body;
    }
}

TEST_F(RtStandinTraffic, ProfessionalAccountGoesBackInTimeStandardDoesNot)
{
    const std::string pro = signIn("professional-license");
    const Answer historic = post("/v4/traffic", "GUID=" + pro + "&" + eddlBox +
                                                    "&querytype=locationtraffic&toffset=1");
    EXPECT_EQ(historic.json["dataepoch"], scenarioStart_s + 50 - 60);
    EXPECT_EQ(historic.json["source"], "DiskDB");
    // Second -10: neither the descending flight (from 0) nor the late starter is there yet.
    EXPECT_EQ(keysOf(historic.json["data"]), (std::set<std::string>{"4bb84d", "3d37cd", "ff0231"}));
    EXPECT_EQ(historic.json["data"]["3d37cd"][10], scenarioStart_s - 10);

    const Answer live = post("/v4/traffic", "GUID=" + guid_ + "&" + eddlBox +
                                                "&querytype=locationtraffic&toffset=1");
    EXPECT_EQ(live.json["dataepoch"], scenarioStart_s + 50);
    EXPECT_EQ(live.json["source"], "MemoryDB");
}

TEST_F(RtStandinTraffic, ParkedTrafficListsAircraftSeenInTheBox)
{
    const std::string body = "GUID=" + guid_ + "&top=51.33&bottom=51.23&left=6.69&right=6.84" +
                             "&querytype=parkedtraffic&toffset=0";
    const Answer a = post("/v4/traffic", body);
    ASSERT_EQ(a.json["status"], 200) << a.body;
    EXPECT_EQ(a.json["source"], "DiskDB");
    EXPECT_EQ(a.json["full_count"], 4);
    EXPECT_EQ(a.json["dataepoch"], scenarioStart_s + 50);
    // 3c4a93 is seen only at second 120; the Sydney one lies outside the box.
    ASSERT_EQ(keysOf(a.json["data"]), (std::set<std::string>{"3c4b26", "3c4a7e"}));
    const json& r = a.json["data"]["3c4b26"];
    ASSERT_EQ(r.size(), 8u);
    EXPECT_TRUE(r[0].is_number_float());  // the program reads only floating-point positions
    EXPECT_TRUE(r[1].is_number_float());
    EXPECT_DOUBLE_EQ(r[0].get<double>(), 51.279);
    EXPECT_EQ(r[2], "EDDL_A04");
    EXPECT_EQ(r[3], "A20N");
    EXPECT_EQ(r[4], "D-AINZ");
    EXPECT_EQ(r[5], scenarioStart_s - 600);
    EXPECT_EQ(r[6], "DLH9CV");
    EXPECT_EQ(r[7], 320);
    const json& noCallsign = a.json["data"]["3c4a7e"];
    EXPECT_EQ(noCallsign[5], scenarioStart_s - 9000);
    EXPECT_EQ(noCallsign[6], "null");
    EXPECT_TRUE(noCallsign[7].is_null());

    clock_.advance(80s);  // second 130
    const Answer later = post("/v4/traffic", body);
    EXPECT_EQ(later.json["data"].size(), 3u);
    EXPECT_EQ(later.json["data"]["3c4a93"][5], scenarioStart_s + 120);
    EXPECT_EQ(later.json["data"]["3c4a93"][2], "EDDL_B12");
}

TEST_F(RtStandinTraffic, FlightsComeAndGoWithTheirTracks)
{
    clock_.advance(600s);  // second 650: every track has ended
    // The first session lapsed while nobody asked; a new one sees the same world.
    const Answer a = traffic(signIn());
    EXPECT_EQ(a.json["full_count"], 0);
    EXPECT_TRUE(a.json["data"].empty());
    EXPECT_TRUE(a.json["data"].is_object());
}

}  // namespace
}  // namespace qel::standin::test
