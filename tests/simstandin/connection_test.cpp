// The stand-in simulator's connection: opens that fail while it "is not running", the open
// reply, the simulator's states as system events, and quitting.
#include "platform/scoped_env.h"
#include "sim_fixture.h"
#include "support/test_support.h"

namespace qel::test {
namespace {

using Connection = SimStandinTest;

TEST_F(Connection, OpenFailsUntilTheSimulatorRuns)
{
    world(R"("open_failures": 3)");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(SimConnect_Open(&handle_, "VNTQ", nullptr, 0, nullptr, 0), E_FAIL);
        EXPECT_EQ(handle_, nullptr);
    }
    openOrFail();
    EXPECT_EQ(simstandin::openAttempts(), 4);
    EXPECT_EQ(only(dispatch(), SIMCONNECT_RECV_ID_OPEN).size(), 1u);
}

TEST_F(Connection, OpenReplyNamesTheSimulatorAndItsVersions)
{
    struct Case {
        const char* members;
        const char* name;
        DWORD version[4];
    };
    const Case cases[] = {
        {"", "KittyHawk", {11, 0, 282174, 999}},
        {R"("name": "SunRise", "version": "12.1.5.7")", "SunRise", {12, 1, 5, 7}},
        {R"("name": "Sun Rise!", "version": [1, 2, 3, 4])", "Sun Rise!", {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        world(c.members);
        openOrFail();
        const auto opens = only(dispatch(), SIMCONNECT_RECV_ID_OPEN);
        ASSERT_EQ(opens.size(), 1u);
        const auto open = opens[0].as<SIMCONNECT_RECV_OPEN>();
        EXPECT_STREQ(open.szApplicationName, c.name);
        EXPECT_EQ(open.dwApplicationVersionMajor, c.version[0]);
        EXPECT_EQ(open.dwApplicationVersionMinor, c.version[1]);
        EXPECT_EQ(open.dwApplicationBuildMajor, c.version[2]);
        EXPECT_EQ(open.dwApplicationBuildMinor, c.version[3]);
        EXPECT_EQ(opens[0].bytes.size(), sizeof(SIMCONNECT_RECV_OPEN));
        SimConnect_Close(handle_);
        handle_ = nullptr;
    }
}

TEST_F(Connection, DefaultScenarioPlaysTheDemoWorld)
{
    TempDir output;
    ScopedEnv scenario("VNTQ_SIM_SCENARIO", std::nullopt);
    ScopedEnv folder("VNTQ_SIM_OUTPUT", output.path().string());
    simstandin::reset();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(SimConnect_Open(&handle_, "VNTQ", nullptr, 0, nullptr, 0), E_FAIL);
    }
    connect();
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle_, "Boeing 737-800 Ryanair", "RYR75ZZ",
                                                ground(), kReqCreate),
              S_OK);
    EXPECT_TRUE(only(dispatch(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE).empty());
    advance(0.25);  // the demo's simulator takes 0.2 s to create an aircraft
    const auto added = only(dispatch(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(added.size(), 1u);
    const DWORD id = added[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().dwData;
    EXPECT_EQ(simstandin::object(id)->atcModel, "B738");
    EXPECT_EQ(simstandin::tracePath(), output / "simulator-trace.csv");
}

TEST_F(Connection, ABadScenarioKeepsTheSimulatorFromStarting)
{
    simstandin::resetFromText(R"({"simulator": {"frame_rate_hz": 0}})");
    EXPECT_EQ(SimConnect_Open(&handle_, "VNTQ", nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(simstandin::lastError(),
              "scenario: simulator: \"frame_rate_hz\" must lie within 1 to 1000");
}

TEST_F(Connection, SimStateIsToldOnSubscriptionAndOnChange)
{
    world(R"("flight_running": false)");
    openOrFail();
    SimConnect_SubscribeToSystemEvent(handle_, kEventSim, "Sim");
    SimConnect_SubscribeToSystemEvent(handle_, 210, "Pause");
    auto events = only(dispatch(), SIMCONNECT_RECV_ID_EVENT);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].as<SIMCONNECT_RECV_EVENT>().uEventID, kEventSim);
    EXPECT_EQ(events[0].as<SIMCONNECT_RECV_EVENT>().dwData, 0u);
    EXPECT_EQ(events[1].as<SIMCONNECT_RECV_EVENT>().uEventID, 210u);

    simstandin::setFlightRunning(true);
    simstandin::setFlightRunning(true);  // no change, no event
    simstandin::setPaused(true);
    events = only(dispatch(), SIMCONNECT_RECV_ID_EVENT);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].as<SIMCONNECT_RECV_EVENT>().dwData, 1u);
    EXPECT_EQ(events[1].as<SIMCONNECT_RECV_EVENT>().uEventID, 210u);
    EXPECT_EQ(events[1].as<SIMCONNECT_RECV_EVENT>().dwData, 1u);
}

TEST_F(Connection, FlightLoadedComesAsAFileNameEvent)
{
    world();
    connect();
    simstandin::loadFlight("C:\\Users\\me\\flights\\EDDL.FLT");
    const auto all = dispatch();
    const auto files = only(all, SIMCONNECT_RECV_ID_EVENT_FILENAME);
    ASSERT_EQ(files.size(), 1u);
    const auto file = files[0].as<SIMCONNECT_RECV_EVENT_FILENAME>();
    EXPECT_EQ(file.uEventID, kEventFlightLoaded);
    EXPECT_STREQ(file.szFileName, "C:\\Users\\me\\flights\\EDDL.FLT");
    // The flight stops for the load and runs again after it.
    const auto sim = only(all, SIMCONNECT_RECV_ID_EVENT);
    ASSERT_EQ(sim.size(), 2u);
    EXPECT_EQ(sim[0].as<SIMCONNECT_RECV_EVENT>().dwData, 0u);
    EXPECT_EQ(sim[1].as<SIMCONNECT_RECV_EVENT>().dwData, 1u);
}

TEST_F(Connection, QuitEndsTheConnectionAndTheSimulator)
{
    world(R"("timeline": [{"at_s": 5, "action": "quit"}])");
    connect();
    advance(4.9);
    EXPECT_TRUE(only(dispatch(), SIMCONNECT_RECV_ID_QUIT).empty());
    advance(0.2);
    const auto all = dispatch();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().id(), static_cast<DWORD>(SIMCONNECT_RECV_ID_QUIT));
    dispatch(E_FAIL);
    EXPECT_EQ(SimConnect_RequestDataOnSimObject(handle_, kReqUser, kDefUserState,
                                                SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
              E_FAIL);
    EXPECT_EQ(SimConnect_Close(handle_), S_OK);
    handle_ = nullptr;
    EXPECT_EQ(SimConnect_Open(&handle_, "VNTQ", nullptr, 0, nullptr, 0), E_FAIL);
}

TEST_F(Connection, ACallbackThatThrowsLeavesTheRestForTheNextDispatch)
{
    world();
    openOrFail();
    SimConnect_SubscribeToSystemEvent(handle_, kEventSim, "Sim");
    SimConnect_SubscribeToSystemEvent(handle_, 210, "Pause");
    auto throwing = [](SIMCONNECT_RECV* data, DWORD, void*) {
        if (data->dwID == SIMCONNECT_RECV_ID_OPEN) throw std::runtime_error("wrong simulator");
    };
    EXPECT_THROW(SimConnect_CallDispatch(handle_, throwing, nullptr), std::runtime_error);
    const auto rest = dispatch();
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0].as<SIMCONNECT_RECV_EVENT>().uEventID, kEventSim);
}

TEST_F(Connection, CloseTakesTheClientsObjectsAway)
{
    world();
    connect();
    const DWORD id = create(kA320, "DLH4TK");
    HANDLE other = nullptr;
    ASSERT_EQ(SimConnect_Open(&other, "other", nullptr, 0, nullptr, 0), S_OK);
    SimConnect_SubscribeToSystemEvent(other, kEventObjectRemoved, "ObjectRemoved");
    ASSERT_EQ(SimConnect_Close(handle_), S_OK);
    handle_ = other;
    const auto removed = only(dispatch(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().dwData, id);
    EXPECT_FALSE(simstandin::object(id));
}

}  // namespace
}  // namespace qel::test
