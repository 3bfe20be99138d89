// The control endpoint: faults, stalls, pacing and sessions switched by HTTP requests from
// outside the process while the stand-in serves a client.
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "standin_fixture.h"

namespace qel::standin::test {
namespace {

using namespace std::chrono_literals;

RtStandinOptions lf_withControl()
{
    RtStandinOptions options;
    options.controlEndpoint = true;
    return options;
}

class RtStandinControl : public StandinTest {
protected:
    RtStandinControl() : StandinTest(testScenario, lf_withControl()) {}
    void SetUp() override { guid_ = signIn(); }
    Answer poll()
    {
        clock_.advance(2s);
        return traffic(guid_);
    }
    std::string guid_;
};

TEST_F(RtStandinControl, FaultsAreSwitchedWhileTheServerRuns)
{
    struct Refused {
        const char* path;
        const char* body;
        int http;
        const char* message;
    };
    const Refused refused[] = {
        {"/control/fault", "kind=gold", 400,
         "unknown kind \"gold\": status, empty_body, invalid_json, gateway_timeout, "
         "drop_connection, stall, unauthorized or body"},
        {"/control/fault", "kind=status&status=5xx", 400, "kind=status needs status=<number>"},
        {"/control/fault", "kind=stall&count=0", 400,
         "count must be a number from 1 to 1000000, or always"},
        {"/control/fault", "kind=body&http=99", 400, "http must be an HTTP status from 100 to 599"},
        {"/control/pacing", "rrl_ms=-5", 400, "rrl_ms and wrrl_ms must be 0 to 3600000"},
        {"/control/faults", "", 404,
         "unknown control: /control/fault, clear, release, end_sessions, pacing or state"},
    };
    for (const auto& r : refused) {
        const Answer answer = post(r.path, r.body);
        EXPECT_EQ(answer.http, r.http) << r.body;
        EXPECT_EQ(answer.json["message"], r.message) << r.body;
    }
    EXPECT_EQ(poll().json["status"], 200);  // none of them queued anything

    // Two server errors on the traffic path, then the normal replies again.
    const Answer queued =
        post("/control/fault", "kind=status&status=500&message=no+db&path=/v4/traffic&count=2");
    EXPECT_EQ(queued.json["message"], "fault status queued for /v4/traffic");
    EXPECT_EQ(poll().json["message"], "no db");
    EXPECT_EQ(poll().json["status"], 500);
    EXPECT_EQ(poll().json["status"], 200);

    // "always" lasts until cleared.
    EXPECT_EQ(post("/control/fault", "kind=gateway_timeout&count=always").http, 200);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(poll().http, 504);
    EXPECT_EQ(post("/control/clear", "").http, 200);
    EXPECT_EQ(poll().http, 200);

    // A stalled reply waits until released from outside.
    post("/control/fault", "kind=stall&path=/v4/traffic");
    clock_.advance(2s);
    Answer late;
    std::thread client([&] { late = traffic(guid_); });
    ASSERT_TRUE(server_->waitForStalled(1, 30s));
    EXPECT_EQ(post("/control/state", "").json["stalled"], 1);
    EXPECT_EQ(post("/control/release", "").http, 200);
    client.join();
    EXPECT_EQ(late.json["status"], 200);

    // Slower pacing for the running session, then every session ended.
    EXPECT_EQ(post("/control/pacing", "rrl_ms=10000").http, 200);
    EXPECT_EQ(poll().json["status"], 406);
    EXPECT_EQ(post("/control/state", "").json["sessions"], 1);
    EXPECT_EQ(post("/control/end_sessions", "").http, 200);
    EXPECT_EQ(poll().json["status"], 401);

    // The control requests steer the log; they are not in it.
    for (const auto& request : server_->requests()) {
        EXPECT_FALSE(request.path.starts_with("/control/")) << request.path;
    }
}

using RtStandinWithoutControl = StandinTest;

TEST_F(RtStandinWithoutControl, ControlPathsAreUnknownUnlessSwitchedOn)
{
    const std::string guid = signIn();
    EXPECT_EQ(post("/control/fault", "kind=stall").http, 404);
    EXPECT_EQ(traffic(guid).json["status"], 200);
}

}  // namespace
}  // namespace qel::standin::test
