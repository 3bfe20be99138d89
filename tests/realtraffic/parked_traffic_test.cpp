#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "rt_fixture.h"

namespace qel {
namespace {

using standin::Fault;
using namespace std::chrono_literals;

// Time runs 10 times faster than real time from the scenario's start (slot 35), so the main
// loop's 10-second wait for a reply is 1 s long while the reader answers in step.
class ParkedTraffic : public test::RtTest {
protected:
    ParkedTraffic()
        : test::RtTest(std::make_unique<test::FastClock>(test::kScenarioStart_s, 10.0))
    {
        // The helper below asks back to back; the running reader keeps the pace by itself.
        server_->setPacing(0, 0);
        g_reservedStandName = "EDDL_R01";
    }

    // The reader's side alone, without polls in between: faults hit only parked requests.
    void serveParkedRequests()
    {
        serving_ = std::jthread([](std::stop_token stop) {
            while (!stop.stop_requested()) {
                if (!rt::g_trafficReader.serveParkedRequest()) std::this_thread::yield();
            }
        });
    }

    std::vector<std::pair<uint32_t, int32_t>> hexAndAge()
    {
        std::vector<std::pair<uint32_t, int32_t>> found;
        for (const auto& r : records_) found.emplace_back(r.hexId, r.age_halfHours);
        return found;
    }

    std::vector<ParkedAircraftRecord> records_;
    std::jthread serving_;
};

using Ages = std::vector<std::pair<uint32_t, int32_t>>;

TEST_F(ParkedTraffic, YoungestFirstWithinMaxFitOnePerStandAndCallsign)
{
    ASSERT_TRUE(signIn());
    serveParkedRequests();
    ASSERT_TRUE(gf_getParkedTraffic(test::kEddl, records_));
    // Dropped: age 40 (over MAX_FIT 12), an unknown type, the reserved stand, hex id 10000, a
    // second aircraft on EDDL_A04 and a second DLH9CV; the empty callsigns do not collide.
    EXPECT_EQ(hexAndAge(), (Ages{{0x3c4b26, 0}, {0x3c4c02, 1}, {0x3c4c03, 2}, {0x3c4a7e, 3}}));
    EXPECT_EQ(records_[0].standName, "EDDL_A04");
    EXPECT_EQ(records_[0].callsign, "DLH9CV");

    const auto parked = requests("/v4/traffic", "parkedtraffic");
    ASSERT_EQ(parked.size(), 1u);
    EXPECT_EQ(parked[0].body, "GUID=" + gf_rtGuid() +
                                  "&top=51.34&bottom=51.24&left=6.69&right=6.85"
                                  "&querytype=parkedtraffic&toffset=0");

    // Only RealTraffic's parked traffic: no age limit.
    RT_PARKTRAFFIC_ONLY.current = true;
    ASSERT_TRUE(gf_getParkedTraffic(test::kEddl, records_));
    EXPECT_EQ(hexAndAge(), (Ages{{0x3c4b26, 0}, {0x3c4c02, 1}, {0x3c4c03, 2}, {0x3c4a7e, 3},
                                 {0x3c4c04, 40}}));
    RT_PARKTRAFFIC_ONLY.current = false;
    MAX_FIT.current = 1;
    ASSERT_TRUE(gf_getParkedTraffic(test::kEddl, records_));
    EXPECT_EQ(hexAndAge(), (Ages{{0x3c4b26, 0}, {0x3c4c02, 1}}));
}

TEST_F(ParkedTraffic, NoReplyWithinTenSecondsAndTheLateReplyIsNotTakenLater)
{
    ASSERT_TRUE(signIn());
    server_->addFault("/v4/traffic", Fault::stall());
    server_->addFault("/v4/traffic", Fault::withStatus(406, "too early"));
    serveParkedRequests();
    EXPECT_FALSE(gf_getParkedTraffic(test::kEddl, records_));
    EXPECT_EQ(countLines("ParkedTraffic receiving timed out after 10 seconds"), 1);
    EXPECT_TRUE(records_.empty());
    // The first reply arrives while the second request is waiting; it must not answer it.
    server_->releaseStalls();
    EXPECT_TRUE(gf_getParkedTraffic(test::kEddl, records_));
    EXPECT_TRUE(records_.empty());
    EXPECT_EQ(countLines("==> parkedtraffic msg: too early"), 1);
    EXPECT_EQ(requests("/v4/traffic", "parkedtraffic").size(), 2u);
}

TEST_F(ParkedTraffic, StatusesOfTheReply)
{
    struct Case {
        Fault fault;
        std::string thrown;  // "" when it returns
        bool result;
        std::string line;    // a line it logs, "" for none
    };
    const Case cases[] = {
        {Fault::withStatus(400, "Parameter fault"), "RT API parameter fault", false, ""},
        {Fault::withStatus(403, "No data"), "No data for this license type", false, ""},
        {Fault::withStatus(401, "Unknown GUID"), "", false,
         "==> RT Parkedtraffic: re-authentication to RT API is needed VNTQ"},
        {Fault::withStatus(500, "Database"), "", false, "==> RT Parkedtraffic error status: 500"},
        {Fault::withStatus(406, "too early"), "", true, "==> parkedtraffic msg: too early"},
        {Fault::emptyBody(), "", false, "parkedtraffic: empty content"},
        {Fault::invalidJson(), "", false, "==> parkedtraffic invalid JSON:"},
        {Fault::gatewayTimeout(), "", false, "==> parkedtraffic invalid JSON:"},
    };
    ASSERT_TRUE(signIn());
    serveParkedRequests();
    for (const auto& c : cases) {
        server_->addFault("/v4/traffic", c.fault);
        const auto before = log_.lines().size();
        std::string thrown;
        bool result = false;
        try {
            result = gf_getParkedTraffic(test::kEddl, records_);
        } catch (const std::runtime_error& e) {
            thrown = e.what();
        }
        EXPECT_EQ(thrown, c.thrown) << c.fault.status;
        EXPECT_EQ(result, c.result) << c.fault.status;
        EXPECT_TRUE(records_.empty());
        if (c.line.empty()) continue;
        const auto lines = log_.lines();
        bool found = false;
        for (auto i = before; i < lines.size(); ++i) found = found || lines[i] == c.line;
        EXPECT_TRUE(found) << c.line;
    }
    // Nothing here ends the reader or the program.
    EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
}

TEST_F(ParkedTraffic, RunningReaderServesTheRequestBetweenItsPolls)
{
    server_->setPacing(500, 500);
    ASSERT_TRUE(signIn());
    startTraffic();
    ASSERT_TRUE(test::awaitTrue([] { return gf_trafficReceiving(); }));
    ASSERT_TRUE(gf_getParkedTraffic(test::kEddl, records_));
    EXPECT_EQ(records_.size(), 4u);
    const auto polls = requests("/v4/traffic", "locationtraffic").size();
    ASSERT_TRUE(test::awaitTrue(
        [&] { return requests("/v4/traffic", "locationtraffic").size() > polls + 1; }));
    stopReaders();
    // Parked requests count against the same interval as the polls.
    for (const auto& request : requests("/v4/traffic")) EXPECT_EQ(request.status, 200);
}

TEST_F(ParkedTraffic, WithoutAReaderTheRequestTimesOut)
{
    EXPECT_FALSE(gf_getParkedTraffic(test::kEddl, records_));
    EXPECT_EQ(countLines("ParkedTraffic receiving timed out after 10 seconds"), 1);
}

TEST_F(ParkedTraffic, TakenWithoutWaitingAndOnlyForTheOpenRequest)
{
    ASSERT_TRUE(signIn());
    // Nobody serves yet: the take finds the request pending and leaves it open.
    const uint64_t first = gf_requestParkedTraffic(test::kEddl);
    EXPECT_EQ(gf_takeParkedTraffic(first, records_), ParkedTake::pending);
    // A newer request replaces it; the older number is answered by nobody.
    const uint64_t second = gf_requestParkedTraffic(test::kEddl);
    EXPECT_GT(second, first);
    ASSERT_TRUE(rt::g_trafficReader.serveParkedRequest());
    EXPECT_EQ(gf_takeParkedTraffic(first, records_), ParkedTake::failed);
    EXPECT_EQ(gf_takeParkedTraffic(second, records_), ParkedTake::ready);
    EXPECT_EQ(records_.size(), 4u);
    // Taken once: the same number again is no open request.
    EXPECT_EQ(gf_takeParkedTraffic(second, records_), ParkedTake::failed);
    EXPECT_TRUE(records_.empty());
    EXPECT_EQ(requests("/v4/traffic", "parkedtraffic").size(), 1u);
}

}  // namespace
}  // namespace qel
