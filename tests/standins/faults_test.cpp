// Faults on demand, replayed captures and the request log of the stand-in, seen by a plain
// HTTP client and by libcurl set up the way the program's client is.
#include <chrono>
#include <string>
#include <thread>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "standin_fixture.h"
#include "support/test_support.h"

namespace qel::standin::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr auto realTimeLimit = 10s;  // only reached when the server is broken

size_t lf_append(char* data, size_t size, size_t count, void* body)
{
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

struct CurlAnswer {
    CURLcode code = CURLE_OK;
    long http = 0;
    std::string body;
};

// A POST as the program sends it: a form body, compressed replies accepted, a fresh
// connection each time.
CurlAnswer lf_curlPost(const std::string& url, const std::string& body)
{
    CurlAnswer answer;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "deflate,gzip");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, lf_append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    answer.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.http);
    curl_easy_cleanup(curl);
    return answer;
}

class RtStandinFaults : public StandinTest {
protected:
    void SetUp() override { guid_ = signIn(); }
    Answer poll()
    {
        clock_.advance(2s);
        return traffic(guid_);
    }
    std::string guid_;
};

TEST_F(RtStandinFaults, EachKindAnswersAsPromised)
{
    server_->addFault("/v4/traffic", Fault::withStatus(500, "Database gone"));
    server_->addFault("/v4/traffic", Fault::emptyBody());
    server_->addFault("/v4/traffic", Fault::invalidJson());
    server_->addFault("/v4/traffic", Fault::gatewayTimeout());
    server_->addFault("/v4/traffic", Fault::withBody("<p>maintenance</p>", 503, "text/html"));
    server_->addFault("/v4/traffic", Fault::withStatus(403));

    const Answer status = poll();
    EXPECT_EQ(status.http, 200);
    EXPECT_EQ(status.json, (json{{"status", 500}, {"message", "Database gone"}}));
    const Answer empty = poll();
    EXPECT_EQ(empty.http, 200);
    EXPECT_TRUE(empty.body.empty());
    const Answer invalid = poll();
    EXPECT_FALSE(invalid.body.empty());
    EXPECT_TRUE(invalid.json.is_discarded());
    const Answer gateway = poll();
    EXPECT_EQ(gateway.http, 504);
    EXPECT_NE(gateway.body.find("504 Gateway Timeout"), std::string::npos);
    EXPECT_TRUE(gateway.json.is_discarded());
    const Answer body = poll();
    EXPECT_EQ(body.http, 503);
    EXPECT_EQ(body.body, "<p>maintenance</p>");
    EXPECT_EQ(poll().json, (json{{"status", 403}, {"message", "Status 403"}}));
    EXPECT_EQ(poll().json["status"], 200);  // all used up
}

TEST_F(RtStandinFaults, CountAndPathSelectTheRequests)
{
    server_->addFault("/v4/weather", Fault::withStatus(406), 5);
    server_->addFault("", Fault::withStatus(400), 2);
    EXPECT_EQ(poll().json["status"], 400);  // any path
    EXPECT_EQ(post("/v4/deauth", "GUID=" + guid_).json["status"], 400);
    EXPECT_EQ(poll().json["status"], 200);
    server_->addFault("/v4/traffic", Fault::withStatus(400), 3);
    server_->clearFaults();
    EXPECT_EQ(poll().json["status"], 200);
}

TEST_F(RtStandinFaults, DroppedConnectionIsATransferError)
{
    server_->addFault("/v4/traffic", Fault::dropConnection(), 2);
    EXPECT_EQ(poll().http, 0);
    const CurlAnswer curl = lf_curlPost(server_->url() + "/v4/traffic", "GUID=" + guid_);
    EXPECT_NE(curl.code, CURLE_OK);
    EXPECT_EQ(poll().json["status"], 200);
}

TEST_F(RtStandinFaults, UnauthorizedEndsTheSessionInTheMiddle)
{
    EXPECT_EQ(poll().json["status"], 200);
    server_->addFault("/v4/traffic", Fault::unauthorized());
    EXPECT_EQ(poll().json["status"], 401);
    EXPECT_EQ(poll().json["status"], 401);  // the session stays ended
    EXPECT_TRUE(server_->activeGuids().empty());
    const std::string again = signIn();
    clock_.advance(2s);
    EXPECT_EQ(traffic(again).json["status"], 200);
}

TEST_F(RtStandinFaults, StalledReplyWaitsUntilReleased)
{
    server_->addFault("/v4/traffic", Fault::stall());
    clock_.advance(2s);
    Answer stalled;
    std::thread client([&] { stalled = traffic(guid_); });
    ASSERT_TRUE(server_->waitForStalled(1, realTimeLimit));
    EXPECT_EQ(server_->stalledCount(), 1u);
    server_->releaseStalls();
    client.join();
    EXPECT_EQ(stalled.json["status"], 200);
    EXPECT_EQ(server_->stalledCount(), 0u);
    const auto log = server_->requests("/v4/traffic");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].status, 200);
    EXPECT_FALSE(log[0].fault);  // answered normally in the end
}

TEST_F(RtStandinFaults, StoppingTheServerReleasesAStall)
{
    server_->addFault("", Fault::stall());
    // The client must not touch server_, which goes away while it waits.
    std::thread client([port = server_->port(), body = "GUID=" + guid_ + "&" + eddlBox] {
        httplib::Client http("127.0.0.1", port);
        http.Post("/v4/traffic", body, "application/x-www-form-urlencoded");
    });
    ASSERT_TRUE(server_->waitForStalled(1, realTimeLimit));
    server_->clearRequests();  // the stalled request's log slot goes away under it
    server_.reset();
    client.join();
    SUCCEED();  // no hang, no crash; the reply may or may not have made it out
}

TEST_F(RtStandinFaults, ReplayServesACaptureAsItIs)
{
    const auto file = capturesDir() / "v4_traffic_buffered_EDDL_2024-08-24.json";
    server_->serveFile("/v4/traffic", file);
    const Answer replayed = post("/v4/traffic", "GUID=nobody");  // no session check
    EXPECT_EQ(replayed.body, qel::test::readFile(file));
    const CurlAnswer compressed = lf_curlPost(server_->url() + "/v4/traffic", "GUID=x");
    EXPECT_EQ(compressed.code, CURLE_OK);
    EXPECT_EQ(compressed.body, qel::test::readFile(file));
    const auto log = server_->requests("/v4/traffic");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].fault);
    EXPECT_EQ(log[0].status, 200);
    server_->clearReplays();
    EXPECT_EQ(post("/v4/traffic", "GUID=nobody").json["status"], 401);

    // A parked capture beside live traffic: only the parked queries get it, the live ones go on
    // to the scenario, or to a replay of the bare path when there is one.
    const auto parked = capturesDir() / "doc_v4_parkedtraffic_YSSY_8fields_reply.json";
    server_->serveFile("/v4/traffic?parkedtraffic", parked);
    const std::string parkedQuery = "GUID=nobody&querytype=parkedtraffic";
    EXPECT_EQ(post("/v4/traffic", parkedQuery).body, qel::test::readFile(parked));
    EXPECT_EQ(post("/v4/traffic", "GUID=nobody&querytype=locationtraffic").json["status"], 401);
    server_->serveFile("/v4/traffic", file);
    EXPECT_EQ(post("/v4/traffic", "GUID=nobody&querytype=locationtraffic").body,
              qel::test::readFile(file));
    EXPECT_EQ(post("/v4/traffic", parkedQuery).body, qel::test::readFile(parked));
    server_->clearReplays();
    EXPECT_THROW(server_->serveFile("/v4/traffic", capturesDir() / "missing.json"),
                 std::runtime_error);
}

using RtStandinRequestLog = RtStandinFaults;

TEST_F(RtStandinRequestLog, HoldsPathFieldsTimeAndStatus)
{
    clock_.advance(7s);
    poll();
    poll();
    server_->addFault("/v4/traffic", Fault::emptyBody());
    poll();
    post("/v4/nowhere", "a=1");
    const auto log = server_->requests();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].path, "/v4/auth");
    EXPECT_EQ(log[0].field("license"), "standard-license");
    EXPECT_EQ(log[0].field("software"), "VNTQ_11.14.0");
    EXPECT_EQ(log[0].epoch_s, scenarioStart_s);
    EXPECT_EQ(log[0].status, 200);
    EXPECT_EQ(log[1].path, "/v4/traffic");
    EXPECT_EQ(log[1].field("GUID"), guid_);
    EXPECT_EQ(log[1].field("querytype"), "locationtraffic");
    EXPECT_EQ(log[1].field("top"), "51.60");
    EXPECT_EQ(log[1].field("toffset"), "0");
    EXPECT_EQ(log[1].field("buffercount"), "");
    EXPECT_EQ(log[1].body,
              "GUID=" + guid_ + "&" + eddlBox + "&querytype=locationtraffic&toffset=0");
    EXPECT_EQ(log[1].epoch_s, scenarioStart_s + 9);
    EXPECT_EQ(log[2].steady - log[1].steady, 2s);
    EXPECT_EQ(log[3].status, 0);
    EXPECT_TRUE(log[3].fault);
    EXPECT_EQ(log[4].status, 404);
    EXPECT_EQ(server_->requests("/v4/traffic").size(), 3u);
    server_->clearRequests();
    EXPECT_TRUE(server_->requests().empty());
    EXPECT_FALSE(server_->waitForRequests(1, 1ms));
}

TEST_F(RtStandinFaults, ProgramStyleClientGetsCompressedRecords)
{
    clock_.advance(50s);
    const CurlAnswer a = lf_curlPost(server_->url() + "/v4/traffic",
                                     "GUID=" + guid_ + "&" + eddlBox +
                                         "&querytype=locationtraffic&toffset=0&buffercount=5"
                                         "&buffertime=6");
    ASSERT_EQ(a.code, CURLE_OK);
    const json reply = json::parse(a.body, nullptr, false);
    ASSERT_TRUE(reply.is_object()) << a.body.substr(0, 200);
    EXPECT_EQ(reply["data"]["buffer_4"]["4ba976"].size(), 48u);
}

}  // namespace
}  // namespace qel::standin::test
