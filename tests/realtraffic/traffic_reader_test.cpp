#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "rt_fixture.h"

namespace qel {
namespace {

using standin::Fault;
using namespace std::chrono_literals;

class TrafficReaderTest : public test::RtTest {
protected:
    explicit TrafficReaderTest(std::unique_ptr<platform::Clock> clock =
                                   std::make_unique<platform::ManualClock>(test::kScenarioStart_s))
        : test::RtTest(std::move(clock))
    {
        gf_keepTrafficBatches(true);
    }
    ~TrafficReaderTest() override { gf_keepTrafficBatches(false); }

    static std::vector<KeptTrafficBatch> batches() { return gf_keptTrafficBatches(); }
    // Waits until `count` batches were handed over (or the reader ended).
    bool awaitBatches(std::size_t count)
    {
        return test::awaitTrue(
            [count] { return batches().size() >= count || gf_trafficReaderFinished(); });
    }
    static std::set<uint32_t> hexIds(const KeptTrafficBatch& batch)
    {
        std::set<uint32_t> ids;
        for (const auto& r : batch.records) ids.insert(r.hexId);
        return ids;
    }
};

TEST(TrafficHandOver, ARunningProgramKeepsNoCopyOfItsPolls)
{
    // Only a test that asks sees the batches: a copy of every poll would cost a running program
    // tens of megabytes.
    gf_clearKeptTrafficBatches();
    std::vector<LiveAircraftRecord> poll(3);
    gf_pushAddingStack(poll, 30);
    EXPECT_TRUE(poll.empty());
    EXPECT_TRUE(gf_keptTrafficBatches().empty());
}

TEST_F(TrafficReaderTest, FirstLoadIsHandedOverInFiveStepsThenEveryPoll)
{
    ASSERT_TRUE(signIn());
    gf_setRtTimeOffset(90);
    startTraffic();
    ASSERT_TRUE(awaitBatches(8));
    EXPECT_TRUE(gf_trafficReceiving());
    stopReaders();
    EXPECT_FALSE(gf_trafficReceiving());
    EXPECT_TRUE(gf_trafficReaderFinished());

    const auto handed = batches();
    const std::vector<int32_t> firstDelays{0, 6, 12, 18, 24, 30, 30, 30};
    for (std::size_t i = 0; i < firstDelays.size(); ++i) {
        EXPECT_EQ(handed[i].delay_s, firstDelays[i]) << i;
        // The two airliners; the glider never reaches the traffic manager.
        EXPECT_EQ(hexIds(handed[i]), (std::set<uint32_t>{0x4ba976, 0x48548e})) << i;
    }
    // Six seconds between the steps of the first load, oldest first.
    ASSERT_FALSE(handed[0].records.empty());
    ASSERT_FALSE(handed[1].records.empty());
    EXPECT_DOUBLE_EQ(handed[1].records[0].reportTime_s - handed[0].records[0].reportTime_s, 6.0);
    EXPECT_GT(gf_trafficDataTime(), 0);

    const auto traffic = requests("/v4/traffic");
    ASSERT_GE(traffic.size(), 4u);
    const std::string box = "top=51.96&bottom=50.62&left=5.70&right=7.83";
    EXPECT_EQ(traffic[0].body, "GUID=" + gf_rtGuid() + "&" + box +
                                   "&querytype=locationtraffic&toffset=90&buffercount=5"
                                   "&buffertime=6");
    EXPECT_EQ(traffic[1].body,
              "GUID=" + gf_rtGuid() + "&" + box + "&querytype=locationtraffic&toffset=90");
    EXPECT_EQ(countLines("          Traffic Reader connected"), 1);
    EXPECT_EQ(g_rtWindowStatus.trafficReaderStatus.load(), 3);
    EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
}

TEST_F(TrafficReaderTest, CapturedFirstLoadWithoutItsOldestStepStillGivesFiveHandOvers)
{
    server_->serveFile("/v4/traffic", test::capture("v4_traffic_buffered_EDDL_2024-08-24.json"));
    ASSERT_TRUE(signIn());
    startTraffic();
    ASSERT_TRUE(awaitBatches(6));
    stopReaders();
    const auto handed = batches();
    // buffer_4 is missing; each step loses the aircraft on the ground (no park airport) and
    // the glider.
    const std::vector<std::pair<int32_t, std::size_t>> expected{
        {0, 0}, {6, 6}, {12, 6}, {18, 6}, {24, 6}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(handed[i].delay_s, expected[i].first) << i;
        EXPECT_EQ(handed[i].records.size(), expected[i].second) << i;
    }
    server_->clearReplays();
}

TEST_F(TrafficReaderTest, FirstLoadWithoutDataHandsNothingOverAndPollingStarts)
{
    server_->addFault("/v4/traffic", Fault::withBody(R"({"status": 200, "rrl": 2000})"));
    ASSERT_TRUE(signIn());
    startTraffic();
    ASSERT_TRUE(awaitBatches(1));
    stopReaders();
    EXPECT_EQ(countLines("==> buffer failed 0"), 1);
    EXPECT_EQ(batches().front().delay_s, 30);
}

TEST_F(TrafficReaderTest, NoRequestComesBeforeItsInterval)
{
    server_->setPacing(3000, -1);
    ASSERT_TRUE(signIn());
    startTraffic();
    ASSERT_TRUE(awaitBatches(9));
    stopReaders();
    const auto traffic = requests("/v4/traffic");
    ASSERT_GE(traffic.size(), 5u);
    for (std::size_t i = 0; i < traffic.size(); ++i) {
        EXPECT_EQ(traffic[i].status, 200) << i;
        if (i > 0) {
            EXPECT_GE(traffic[i].steady - traffic[i - 1].steady, 3000ms) << i;
        }
    }
}

TEST_F(TrafficReaderTest, BadRepliesAreLoggedAndPollingGoesOn)
{
    server_->addFault("/v4/traffic", Fault::withStatus(406, "Request rate violation"));
    for (auto fault : {Fault::gatewayTimeout(), Fault::emptyBody(), Fault::invalidJson(),
                       Fault::dropConnection(), Fault::withStatus(406, "slow down")}) {
        server_->addFault("/v4/traffic", fault);
    }
    ASSERT_TRUE(signIn());
    startTraffic();
    ASSERT_TRUE(test::awaitTrue([] {
        for (const auto& b : batches()) {
            if (!b.records.empty()) return true;
        }
        return gf_trafficReaderFinished();
    }));
    stopReaders();
    // The 406 of the first load is logged twice, and no step was handed over.
    EXPECT_EQ(countLines("==>  buffer traffic msg Request rate violation"), 1);
    EXPECT_EQ(countLines("==> buffer failed 406"), 1);
    EXPECT_EQ(batches().front().delay_s, 30);
    EXPECT_EQ(countLines("==> traffic receive, invalid json 504 Gateway Timeout"), 1);
    EXPECT_EQ(countLines("==> traffic receive: empty content"), 1);
    EXPECT_TRUE(hasLineStartingWith("==> traffic receive invalid JSON:"));
    EXPECT_TRUE(hasLineStartingWith("==> curl traffic code:"));
    bool slowDown = false;
    for (const auto& line : log_.lines()) {
        slowDown = slowDown || line.ends_with(" curl traffic msg: slow down");
    }
    EXPECT_TRUE(slowDown);
    EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
}

TEST_F(TrafficReaderTest, EndingStatusesStopBothReadersAndTheProgram)
{
    struct Case {
        Fault fault;
        int count;
        std::string line;
        ExitReason reason;
    };
    const Case cases[] = {
        {Fault::withStatus(400, "Parameter fault"), 2, "==> Traffic RT API: parameter fault",
         ExitReason::SYSTEM_ERROR},
        {Fault::withStatus(403, "No data"), 2, "==> Traffic RT API: No data for this license type",
         ExitReason::SYSTEM_ERROR},
        {Fault::withStatus(500, "Database"), 2, "==> Traffic RT API error: 500",
         ExitReason::SYSTEM_ERROR},
        {Fault::unauthorized(), 1, "==> re-authentication to RT API is needed, restart VNTQ",
         ExitReason::READER_ERROR},
    };
    for (const auto& c : cases) {
        test::resetClientState();
        server_->clearFaults();
        ASSERT_TRUE(signIn());
        server_->addFault("/v4/traffic", c.fault, c.count);
        const auto before = log_.lines().size();
        startTraffic();
        traffic_.join();  // the reader ends by itself
        EXPECT_TRUE(gf_trafficReaderFinished());
        EXPECT_TRUE(rt::g_weatherReader.stopRequested());
        EXPECT_EQ(g_exitReason.load(), c.reason) << c.line;
        EXPECT_EQ(g_rtWindowStatus.trafficReaderStatus.load(), 3);
        const auto lines = log_.lines();
        const std::vector<std::string> tail(lines.begin() + static_cast<long>(before), lines.end());
        const int status = c.count == 2 ? c.fault.status : 401;
        EXPECT_NE(std::find(tail.begin(), tail.end(), fmt::format("==> buffer failed {}", status)),
                  tail.end());
        EXPECT_NE(std::find(tail.begin(), tail.end(), c.line), tail.end()) << c.line;
        EXPECT_EQ(std::count(tail.begin(), tail.end(),
                             "The Traffic Reader has stopped with an error"),
                  1);
    }
}

TEST_F(TrafficReaderTest, ReaderWithoutSessionEndsAtOnceAndSaysItFinished)
{
    // Close-down waits for the finished mark; a reader that never signed in must set it too.
    startTraffic();
    traffic_.join();
    EXPECT_TRUE(gf_trafficReaderFinished());
    EXPECT_TRUE(requests("/v4/traffic").empty());
}

TEST_F(TrafficReaderTest, StopEndsAStalledTransferAtOnce)
{
    server_->addFault("/v4/traffic", Fault::stall());
    ASSERT_TRUE(signIn());
    startTraffic();
    ASSERT_TRUE(server_->waitForStalled(1, 30s));
    const auto start = std::chrono::steady_clock::now();
    stopReaders();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(gf_trafficReaderFinished());
    EXPECT_FALSE(gf_trafficReceiving());
    // A stop is no error: nothing logged, nothing reported.
    EXPECT_FALSE(hasLineStartingWith("==>"));
    EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
    server_->releaseStalls();
}

TEST_F(TrafficReaderTest, LiveIdsAreCollectedUntilTakenOver)
{
    ASSERT_TRUE(signIn());
    startTraffic();
    ASSERT_TRUE(awaitBatches(6));
    // The first load collects: the parked-traffic plan at the start needs the flights.
    const LiveIds first = gf_takeLiveIds();
    EXPECT_EQ(first.callsigns, (std::unordered_set<std::string, Fnv1aHash>{"TKJ3VU", "KLM56A"}));
    EXPECT_EQ(first.hexIds, (std::unordered_set<uint32_t, Fnv1aHash>{0x4ba976, 0x48548e}));
    const auto seen = batches().size();
    ASSERT_TRUE(awaitBatches(seen + 2));
    EXPECT_TRUE(gf_takeLiveIds().hexIds.empty());
    gf_startLiveIdCollection();
    const auto started = batches().size();
    ASSERT_TRUE(awaitBatches(started + 2));
    EXPECT_EQ(gf_takeLiveIds().hexIds.size(), 2u);
    stopReaders();
}

TEST_F(TrafficReaderTest, EmptyPollsShowTheTrafficAsWaiting)
{
    ASSERT_TRUE(signIn());
    // Both readers are shown waiting after a start, until data arrives.
    gf_updateReaderStatus();
    EXPECT_EQ(g_rtWindowStatus.trafficReaderStatus.load(), 2);
    EXPECT_EQ(g_rtWindowStatus.weatherReaderStatus.load(), 2);
    startTraffic();
    ASSERT_TRUE(awaitBatches(6));
    gf_updateReaderStatus();
    EXPECT_EQ(g_rtWindowStatus.trafficReaderStatus.load(), 1);
    server_->addFault("/v4/traffic",
                      Fault::withBody(R"({"status": 200, "rrl": 2000, "data": {}})"), 1000);
    ASSERT_TRUE(test::awaitTrue([] {
        const auto handed = batches();
        return handed.back().records.empty() && handed.back().delay_s == 30;
    }));
    gf_updateReaderStatus();
    EXPECT_EQ(g_rtWindowStatus.trafficReaderStatus.load(), 2);
    EXPECT_EQ(gf_trafficDataTime(), 0);
    stopReaders();
}

TEST_F(TrafficReaderTest, QueryBoxFollowsTheUserAndTheRange)
{
    gf_resetRtRun();
    // No position yet: the box stays the one the reader was built with.
    gf_setTrafficReference(0.00005, -0.00008, 0.0);
    gf_updateTrafficBox();
    EXPECT_DOUBLE_EQ(rt::g_trafficReader.box().top, 52.44);
    EXPECT_DOUBLE_EQ(rt::g_trafficReader.box().left, 4.54);

    RANGE.current = 10;
    gf_setTrafficReference(52.0, 5.0, 0.0);
    gf_updateTrafficBox();
    auto box = rt::g_trafficReader.box();
    EXPECT_NEAR(box.top, 52.16654676258993, 1e-12);
    EXPECT_NEAR(box.bottom, 51.83345323741007, 1e-12);
    EXPECT_NEAR(box.right - 5.0, 5.0 - box.left, 1e-9);
    EXPECT_NEAR(box.right - 5.0, 10.0 / (60.0 * std::cos(52.0 * 3.141592653589793 / 180.0)),
                1e-3);
    // A move below 0.00015 degrees with the same range changes nothing; a new range does.
    gf_setTrafficReference(52.0001, 5.0001, 0.0);
    gf_updateTrafficBox();
    EXPECT_DOUBLE_EQ(rt::g_trafficReader.box().top, box.top);
    RANGE.current = 20;
    gf_updateTrafficBox();
    EXPECT_NEAR(rt::g_trafficReader.box().top, 52.0001 + 20 * 1.852 / 111.2, 1e-12);
}

// The real clock: the reader really waits the interval the server asked for.
class TrafficReaderWaiting : public TrafficReaderTest {
protected:
    TrafficReaderWaiting()
        : TrafficReaderTest(std::make_unique<test::FastClock>(test::kScenarioStart_s, 1.0))
    {
    }
};

TEST_F(TrafficReaderWaiting, StopEndsTheWaitBetweenRequestsAtOnce)
{
    server_->setPacing(60000, 500);
    ASSERT_TRUE(signIn());
    startTraffic();
    // The first load is in; the reader now waits a minute before it polls.
    ASSERT_TRUE(awaitBatches(5));
    const auto start = std::chrono::steady_clock::now();
    stopReaders();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(requests("/v4/traffic").size(), 1u);
    EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
}

}  // namespace
}  // namespace qel
