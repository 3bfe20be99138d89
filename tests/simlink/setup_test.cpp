// The registrations of a new connection: system events, data definitions, client events and
// the group, each in its order, all of them accepted by the simulator.
#include <string>
#include <vector>

#include "link_fixture.h"

namespace qel::test {
namespace {

using ConnectionSetUp = SimLinkTest;

std::vector<std::string> argumentsOf(const std::vector<simstandin::CallRecord>& calls)
{
    std::vector<std::string> out;
    for (const auto& call : calls) out.push_back(call.arguments);
    return out;
}

// The definition ids of the AddToDataDefinition calls, one per variable.
std::vector<std::string> definitionIds(const std::vector<simstandin::CallRecord>& calls)
{
    std::vector<std::string> out;
    for (const auto& call : calls) out.push_back(call.arguments.substr(0, 3));
    return out;
}

TEST_F(ConnectionSetUp, RegistersEventsDefinitionsAndGroupInOrder)
{
    world();
    connect();
    EXPECT_EQ(argumentsOf(callsOf("SimConnect_SubscribeToSystemEvent")),
              (std::vector<std::string>{"201, 'Sim'", "202, 'ObjectAdded'",
                                        "203, 'ObjectRemoved'", "205, 'FlightLoaded'",
                                        "204, 'Frame'"}));

    const auto variables = callsOf("SimConnect_AddToDataDefinition");
    std::vector<std::string> expected;
    for (const auto& [id, n] : std::vector<std::pair<std::string, int>>{
             {"407", 1}, {"408", 1}, {"409", 1}, {"402", 8}, {"403", 12}, {"405", 2},
             {"404", 4}, {"401", 3}}) {
        expected.insert(expected.end(), static_cast<size_t>(n), id);
    }
    EXPECT_EQ(definitionIds(variables), expected);
    // The user state block begins with the whole layout of a position block.
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(variables[3 + i].arguments.substr(3), variables[11 + i].arguments.substr(3));
    }
    EXPECT_EQ(variables[28].arguments, "404, 'ATC ID', '(null)', 6");
    EXPECT_EQ(variables[29].arguments, "401, 'SPOILERS HANDLE POSITION', 'percent', 4");

    EXPECT_EQ(argumentsOf(callsOf("SimConnect_MapClientEventToSimEvent")),
              (std::vector<std::string>{
                  "219, 'GEAR_SET'", "220, 'ENGINE_AUTO_START'", "221, 'ENGINE_AUTO_SHUTDOWN'",
                  "222, 'THROTTLE_SET'", "217, 'FLAPS_SET'", "218, 'SPOILERS_SET'",
                  "207, 'NAV_LIGHTS_SET'", "206, 'BEACON_LIGHTS_SET'",
                  "210, 'LANDING_LIGHTS_SET'", "208, 'TAXI_LIGHTS_SET'", "209, 'STROBES_SET'",
                  "212, 'LOGO_LIGHTS_SET'", "211, 'CABIN_LIGHTS_SET'",
                  "213, 'ALL_LIGHTS_TOGGLE'", "214, 'FREEZE_LATITUDE_LONGITUDE_SET'",
                  "215, 'FREEZE_ALTITUDE_SET'", "216, 'FREEZE_ATTITUDE_SET'"}));
    std::vector<std::string> members;
    for (const int id : {207, 206, 210, 208, 209, 212, 211, 213, 217, 218, 219, 221, 222, 214,
                         215, 216}) {
        members.push_back(std::to_string(kGroupAi) + ", " + std::to_string(id) + ", 1");
    }
    EXPECT_EQ(argumentsOf(callsOf("SimConnect_AddClientEventToNotificationGroup")), members);
    EXPECT_EQ(argumentsOf(callsOf("SimConnect_SetNotificationGroupPriority")),
              std::vector<std::string>{"301, 1"});

    // The simulator took every registration: no exception came back.
    for (const auto& line : log_.lines()) EXPECT_EQ(line.find("EXCEPTION"), std::string::npos);
    EXPECT_TRUE(g_flightRunning);
    EXPECT_FALSE(g_simNotConnected);
}

TEST_F(ConnectionSetUp, RequestsGoOutWithTheirIdsAndPeriods)
{
    world();
    connect();
    {
        std::scoped_lock lock(g_simQueueMutex);
        ASSERT_TRUE(gf_requestUserOnGroundEverySecond());
    }
    gf_requestUserAcPosition();
    gf_requestUserAcTitleModel();
    ASSERT_TRUE(gf_requestAircraftInRange());
    EXPECT_EQ(argumentsOf(callsOf("SimConnect_RequestDataOnSimObject")),
              (std::vector<std::string>{"108, 409, 0, period 4, flags 0",
                                        "109, 403, 0, period 1, flags 0",
                                        "106, 407, 0, period 1, flags 0",
                                        "107, 408, 0, period 1, flags 0"}));
    const std::string radius = std::to_string(g_range_m.load());
    EXPECT_EQ(argumentsOf(callsOf("SimConnect_RequestDataOnSimObjectType")),
              (std::vector<std::string>{"101, 404, " + radius + " m, type 2",
                                        "101, 404, " + radius + " m, type 3"}));
}

TEST_F(ConnectionSetUp, NoRequestWhileARequestHasFailed)
{
    world();
    connect();
    userState();
    const auto before = callsOf("SimConnect_RequestDataOnSimObject").size();
    const auto kept = gf_requestUserAcPosition();
    g_simConnectFailed = true;
    const auto state = gf_requestUserAcPosition();
    EXPECT_FALSE(gf_requestAircraftInRange());
    EXPECT_FALSE(gf_requestStaticCg(100));
    EXPECT_EQ(callsOf("SimConnect_RequestDataOnSimObject").size(), before + 1);
    EXPECT_TRUE(callsOf("SimConnect_RequestDataOnSimObjectType").empty());
    EXPECT_DOUBLE_EQ(state.latitude, kept.latitude);
    EXPECT_DOUBLE_EQ(state.longitude, kept.longitude);
}

TEST_F(ConnectionSetUp, FailedRequestsReportTheirLinesAndStopWithSimConnectError)
{
    struct Case {
        std::function<void()> request;
        const char* line;
    };
    const std::vector<Case> cases = {
        {[] { gf_requestUserAcPosition(); }, "==> SimConnect request user ac position fails"},
        {[] { gf_requestAircraftInRange(); }, "==> SimConnect request ac within range fails"},
        {[] { gf_requestStaticCg(100); }, "==> SimConnect request StaticCG fails"},
    };
    for (const auto& c : cases) {
        world();
        connect();
        simstandin::addFailure({"SimConnect_RequestDataOnSimObject", 0, -1, std::nullopt});
        simstandin::addFailure({"SimConnect_RequestDataOnSimObjectType", 0, -1, std::nullopt});
        c.request();
        EXPECT_EQ(count(c.line), 1) << c.line;
        EXPECT_TRUE(g_simConnectFailed) << c.line;
        EXPECT_EQ(g_exitReason, ExitReason::SIMCONNECT_ERROR) << c.line;
        EXPECT_EQ(g_restartDelay, 9) << c.line;
        {
            std::scoped_lock lock(g_simQueueMutex);
            g_hSimConnect = nullptr;
            gf_closeSimConnect(handle_);
        }
        resetLinkState();
    }
    EXPECT_EQ(count("SimConnect request error"), 3);
}

TEST_F(ConnectionSetUp, TitleAndModelAreBothAskedWhenTheFirstFails)
{
    world();
    connect();
    simstandin::addFailure({"SimConnect_RequestDataOnSimObject", 0, 1, std::nullopt});
    gf_requestUserAcTitleModel();
    EXPECT_EQ(count("==> SimConnect request user ac title fails"), 1);
    EXPECT_EQ(count("==> SimConnect reques user ac model fails"), 0);
    const auto calls = callsOf("SimConnect_RequestDataOnSimObject");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].result, S_OK);
    EXPECT_TRUE(g_simConnectFailed);
}

}  // namespace
}  // namespace qel::test
