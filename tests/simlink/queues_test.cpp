// The outgoing queues on the "Frame" event: the newest position batch only, never to the user or
// object 0, client events in order with FLAPS_SET between two releases, nothing but emptying
// after a failed request, and a busy queue mutex that neither side waits for.
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "link_fixture.h"

namespace qel::test {
namespace {

using Queues = SimLinkTest;

SimPositionRecord position(uint32_t objectId, double latitude)
{
    SimPositionRecord record;
    record.objectId = objectId;
    record.data.latitude = latitude;
    record.data.longitude = 6.7630;
    record.data.altitude_ft = 155.0;
    record.data.heading_rad = 1.0;
    return record;
}

// Holds g_simQueueMutex on another thread until destroyed.
class QueueHolder {
public:
    QueueHolder()
        : thread_([this] {
              std::scoped_lock lock(g_simQueueMutex);
              locked_.set_value();
              release_.get_future().wait();
          })
    {
        locked_.get_future().wait();
    }
    ~QueueHolder()
    {
        release_.set_value();
        thread_.join();
    }
    QueueHolder(const QueueHolder&) = delete;
    QueueHolder& operator=(const QueueHolder&) = delete;

private:
    std::promise<void> locked_;
    std::promise<void> release_;
    std::thread thread_;
};

class QueuesWithAircraft : public Queues {
protected:
    void SetUp() override
    {
        world();
        connect();
        userState();
        objectId_ = createPaired(kA320, "KLM56A", 0x48548e);
        ASSERT_EQ(objectId_, 100u);
        pump(0.05);  // the freeze events
    }

    std::vector<std::string> eventsSent()
    {
        std::vector<std::string> out;
        for (const auto& call : simstandin::calls()) {
            if (call.function == "SimConnect_TransmitClientEvent" ||
                call.function == "SimConnect_AIReleaseControl") {
                out.push_back(call.function.substr(11) + " " + call.arguments);
            }
        }
        return out;
    }

    uint32_t objectId_ = 0;
};

TEST_F(QueuesWithAircraft, OnlyTheNewestBatchIsSentAndNeverToTheUser)
{
    const auto before = callsOf("SimConnect_SetDataOnSimObject").size();
    gf_positionFillBatch().push_back(position(objectId_, 51.2800));
    gf_publishPositionBatch();
    gf_positionFillBatch() = {position(objectId_, 51.2810), position(0, 51.0),
                              position(1, 51.0)};
    gf_publishPositionBatch();
    EXPECT_TRUE(gf_positionFillBatch().empty());
    pump(0.02);
    const auto sets = callsOf("SimConnect_SetDataOnSimObject");
    ASSERT_EQ(sets.size(), before + 1);
    EXPECT_EQ(sets.back().arguments, "402, 100, flags 0, count 0, size 64");
    EXPECT_DOUBLE_EQ(simstandin::object(objectId_)->latitude, 51.2810);
    // Each batch is sent once.
    pump(0.1);
    EXPECT_EQ(callsOf("SimConnect_SetDataOnSimObject").size(), before + 1);
}

TEST_F(QueuesWithAircraft, BusyQueueDropsTheTicksPositionsAndDelaysTheFrame)
{
    gf_queueRemoveAc(objectId_);
    {
        const QueueHolder holder;
        gf_positionFillBatch().push_back(position(objectId_, 51.2820));
        gf_publishPositionBatch();
        EXPECT_TRUE(gf_positionFillBatch().empty());
        // The frames do not wait either: the removal waits for a frame with the mutex free.
        pump(0.1);
        EXPECT_TRUE(simstandin::object(objectId_));
    }
    EXPECT_DOUBLE_EQ(simstandin::object(objectId_)->latitude, 51.2790);
    pump(0.05);
    EXPECT_FALSE(simstandin::object(objectId_));
    EXPECT_TRUE(callsOf("SimConnect_SetDataOnSimObject").empty());
}

TEST_F(QueuesWithAircraft, ClientEventsGoOutInOrderWithFlapsBetweenTwoReleases)
{
    const auto before = eventsSent().size();
    gf_queueLightEvents(objectId_, {1, 1, 0, 1, 0, 1, 1});
    gf_queueClientEvent(objectId_, kEventFlaps, 8191);
    gf_queueEngineAutoStart(objectId_);
    gf_queueNavLights(objectId_, 0);
    gf_queueCabinLights(objectId_, 0);
    gf_queueEngineAutoShutdown(objectId_);
    pump(0.02);
    const auto sent = eventsSent();
    const std::vector<std::string> expected = {
        "TransmitClientEvent 100, 207, 1, group 301, flags 0",
        "TransmitClientEvent 100, 206, 1, group 301, flags 0",
        "TransmitClientEvent 100, 210, 0, group 301, flags 0",
        "TransmitClientEvent 100, 208, 1, group 301, flags 0",
        "TransmitClientEvent 100, 209, 0, group 301, flags 0",
        "TransmitClientEvent 100, 212, 1, group 301, flags 0",
        "TransmitClientEvent 100, 211, 1, group 301, flags 0",
        "AIReleaseControl 100, request 103",
        "TransmitClientEvent 100, 217, 8191, group 301, flags 0",
        "AIReleaseControl 100, request 103",
        "TransmitClientEvent 100, 220, 0, group 301, flags 0",
        "TransmitClientEvent 100, 207, 0, group 301, flags 0",
        "TransmitClientEvent 100, 211, 0, group 301, flags 0",
        "TransmitClientEvent 100, 221, 0, group 301, flags 0",
    };
    EXPECT_EQ(std::vector<std::string>(sent.begin() + static_cast<long>(before), sent.end()),
              expected);
    const auto object = simstandin::object(objectId_);
    EXPECT_EQ(object->flaps, 8191u);
    EXPECT_FALSE(object->enginesRunning);
    EXPECT_EQ(object->lightStates & 0x10Fu, 0x10Au);  // beacon, taxi, logo; nav off again
}

TEST_F(QueuesWithAircraft, FailedFlapsEventIsShownWithoutFailingTheRun)
{
    simstandin::addFailure({"SimConnect_TransmitClientEvent", 0, 1, std::nullopt});
    const auto before = eventsSent().size();
    gf_queueClientEvent(objectId_, kEventFlaps, 16383);
    gf_queueClientEvent(objectId_, kEventGear, 0);
    pump(0.02);
    const auto sent = eventsSent();
    EXPECT_EQ(std::vector<std::string>(sent.begin() + static_cast<long>(before), sent.end()),
              (std::vector<std::string>{"AIReleaseControl 100, request 103",
                                        "TransmitClientEvent 100, 217, 16383, group 301, flags 0",
                                        "TransmitClientEvent 100, 219, 0, group 301, flags 0"}));
    EXPECT_EQ(count("SimConnect TransmitClientEvent: 217 fails"), 1);
    EXPECT_FALSE(g_simConnectFailed);
    EXPECT_FALSE(simstandin::object(objectId_)->gearDown);
}

TEST_F(QueuesWithAircraft, AfterAFailedRequestFramesOnlyEmptyTheQueues)
{
    const auto before = simstandin::calls().size();
    g_simConnectFailed = true;
    gf_queueCreateAc(AiCreateRequest{ground(), "DLH4TK", kA320, 0x3c6752});
    gf_queueRemoveAc(objectId_);
    gf_queueNavLights(objectId_, 0);
    gf_positionFillBatch().push_back(position(objectId_, 51.2830));
    gf_publishPositionBatch();
    pump(0.05);
    g_simConnectFailed = false;
    pump(0.05);
    for (auto calls = simstandin::calls(); before < calls.size(); calls.pop_back()) {
        EXPECT_EQ(calls.back().function, "SimConnect_CallDispatch");
    }
    EXPECT_TRUE(simstandin::object(objectId_));
}

TEST_F(Queues, SetDataOfTheControlsIsOneBlockOfThreePercentages)
{
    world();
    connect();
    userState();
    const uint32_t objectId = createPaired(kA320, "KLM56A", 0x48548e);
    ASSERT_TRUE(gf_setAiControls(objectId, 100.0, -100.0, -100.0));
    const auto object = simstandin::object(objectId);
    EXPECT_DOUBLE_EQ(object->spoilersHandle_pct, 100.0);
    EXPECT_DOUBLE_EQ(object->throttle_pct[0], -100.0);
    EXPECT_DOUBLE_EQ(object->throttle_pct[1], -100.0);
    pump();
    EXPECT_EQ(count("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE"), 0);
}

}  // namespace
}  // namespace qel::test
