// The stand-in simulator called from two threads at once, as the program does: the client
// thread dispatches and calls back in from its callback, while another thread sends requests.
#include <atomic>
#include <thread>

#include "sim_fixture.h"

namespace qel::test {
namespace {

using TwoThreads = SimStandinTest;

struct ClientThread {
    HANDLE handle = nullptr;
    int added = 0;
    int replies = 0;
};

void lf_onMessage(SIMCONNECT_RECV* data, DWORD, void* context)
{
    auto* client = static_cast<ClientThread*>(context);
    if (data->dwID == SIMCONNECT_RECV_ID_SIMOBJECT_DATA) ++client->replies;
    if (data->dwID != SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE) return;
    const auto* event = reinterpret_cast<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE*>(data);
    if (event->uEventID != kEventObjectAdded) return;
    ++client->added;
    SimConnect_AIReleaseControl(client->handle, event->dwData, 103);
    SimConnect_TransmitClientEvent(client->handle, event->dwData, 214, 1, kGroup, 0);
}

TEST_F(TwoThreads, DispatchAndRequestsRunSideBySide)
{
    world();
    connect();
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(handle_, 214, "FREEZE_LATITUDE_LONGITUDE_SET"),
              S_OK);
    constexpr int kCreates = 50;
    std::atomic<bool> done{false};
    ClientThread client{handle_};
    std::thread dispatcher([&] {
        // Ends with the other thread's loop. The last ObjectAdded may be handed over before its
        // aircraft's data reply is queued, so the dispatcher does not stop at it: every request
        // is queued before `done` is raised, and one dispatch after seeing it delivers the rest.
        while (!done) {
            SimConnect_CallDispatch(client.handle, &lf_onMessage, &client);
            std::this_thread::yield();
        }
        SimConnect_CallDispatch(client.handle, &lf_onMessage, &client);
    });
    for (int i = 0; i < kCreates; ++i) {
        const std::string tail = "T" + std::to_string(i);
        SimConnect_AICreateNonATCAircraft(handle_, kA320, tail.c_str(), ground(), kReqCreate);
        SimConnect_RequestDataOnSimObject(handle_, kReqUser, kDefUserState,
                                          SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE);
        SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 20000,
                                              SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
        advance(0.01);
    }
    done = true;
    dispatcher.join();
    EXPECT_EQ(client.added, kCreates);
    EXPECT_EQ(client.replies, kCreates);
    int frozen = 0;
    for (const auto& o : simstandin::objects()) frozen += o.frozenLatLon ? 1 : 0;
    EXPECT_EQ(frozen, kCreates);
}

// The simulator runs its frames in a process of its own: a request from the program's main loop
// must not step them on its thread, or its fast tick would be timed with the stand-in's frames.
TEST_F(TwoThreads, ACallBesideTheDispatchingThreadLeavesTheFramesToIt)
{
    world();
    connect();
    std::thread([this] { dispatch(); }).join();
    advance(0.05);
    SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 20000,
                                          SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    const double dispatched_s = simstandin::calls().back().time_s;
    // Left a tenth of a second without a dispatch, the world moves on with any call.
    advance(0.2);
    SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 20000,
                                          SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    const double later_s = simstandin::calls().back().time_s;
    EXPECT_LT(dispatched_s, 0.01);
    EXPECT_NEAR(later_s, 0.25, 0.02);
}

}  // namespace
}  // namespace qel::test
