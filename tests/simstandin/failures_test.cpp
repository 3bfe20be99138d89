// Failures on demand in the stand-in simulator, and what it lets a person see afterwards: the
// call log and the CSV trace of every object's position.
#include <fstream>
#include <functional>
#include <sstream>

#include "sim_fixture.h"
#include "support/test_support.h"

namespace qel::test {
namespace {

using FailuresOnDemand = SimStandinTest;
using Observation = SimStandinTest;

TEST_F(FailuresOnDemand, EveryCallCanFail)
{
    world();
    connect();
    const DWORD id = create(kA320, "DLH1");
    SimPosition position{51.0, 7.0, 0, 0, 0, 1000, 0, 150};
    SimConnect_MapClientEventToSimEvent(handle_, 207, "NAV_LIGHTS_SET");
    dispatch();
    DWORD packet = 0;
    DWORD eventId = 230;
    using Call = std::function<HRESULT()>;
    const std::pair<const char*, Call> calls[] = {
        {"SimConnect_SubscribeToSystemEvent",
         [&] { return SimConnect_SubscribeToSystemEvent(handle_, 250, "Pause"); }},
        {"SimConnect_AddToDataDefinition",
         [&] { return SimConnect_AddToDataDefinition(handle_, 499, "TITLE", nullptr,
                                                     SIMCONNECT_DATATYPE_STRINGV); }},
        {"SimConnect_RequestDataOnSimObject",
         [&] { return SimConnect_RequestDataOnSimObject(handle_, kReqUser, kDefUserState, 0,
                                                        SIMCONNECT_PERIOD_ONCE); }},
        {"SimConnect_RequestDataOnSimObjectType",
         [&] {
             return SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 1000,
                                                          SIMCONNECT_SIMOBJECT_TYPE_ALL);
         }},
        {"SimConnect_SetDataOnSimObject",
         [&] { return SimConnect_SetDataOnSimObject(handle_, kDefPosition, id, 0, 0,
                                                    sizeof position, &position); }},
        {"SimConnect_TransmitClientEvent",
         [&] { return SimConnect_TransmitClientEvent(handle_, id, 207, 1, kGroup, 0); }},
        {"SimConnect_AICreateNonATCAircraft",
         [&] { return SimConnect_AICreateNonATCAircraft(handle_, kA320, "X", ground(), 104); }},
        {"SimConnect_AIReleaseControl",
         [&] { return SimConnect_AIReleaseControl(handle_, id, 103); }},
        {"SimConnect_AIRemoveObject", [&] { return SimConnect_AIRemoveObject(handle_, id, 105); }},
        {"SimConnect_GetLastSentPacketID",
         [&] { return SimConnect_GetLastSentPacketID(handle_, &packet); }},
        {"SimConnect_MapClientEventToSimEvent",
         [&] { return SimConnect_MapClientEventToSimEvent(handle_, ++eventId, "GEAR_SET"); }},
        {"SimConnect_AddClientEventToNotificationGroup",
         [&] { return SimConnect_AddClientEventToNotificationGroup(handle_, kGroup, 207, 1); }},
        {"SimConnect_SetNotificationGroupPriority",
         [&] { return SimConnect_SetNotificationGroupPriority(handle_, kGroup, 1); }},
        {"SimConnect_AISetAircraftFlightPlan",
         [&] { return SimConnect_AISetAircraftFlightPlan(handle_, id, "none.pln", 110); }},
    };
    for (const auto& [function, call] : calls) {
        SCOPED_TRACE(function);
        simstandin::addFailure({function, 0, 1, std::nullopt});
        const size_t objects = simstandin::objects().size();
        EXPECT_EQ(call(), E_FAIL);
        EXPECT_TRUE(dispatch().empty());  // it did nothing
        EXPECT_EQ(simstandin::objects().size(), objects);
        EXPECT_EQ(call(), S_OK);  // count 1: the next call passes
        dispatch();
    }
}

TEST_F(FailuresOnDemand, RuleCountsCallsBeforeAndDuringTheFailure)
{
    world(R"("failures": [{"call": "SimConnect_AIRemoveObject", "after": 1, "count": 2}])");
    connect();
    std::vector<HRESULT> results;
    for (int i = 0; i < 4; ++i) {
        const DWORD id = create(kA320, "A");
        results.push_back(SimConnect_AIRemoveObject(handle_, id, kReqRemove));
    }
    EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, E_FAIL, E_FAIL, S_OK}));
}

TEST_F(FailuresOnDemand, ExceptionRuleAnswersWithTheExceptionAndItsPacketId)
{
    world();
    connect();
    simstandin::addFailure(
        {"SimConnect_AICreateNonATCAircraft", 0, 1, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED});
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle_, kA320, "DLH1", ground(), kReqCreate),
              S_OK);
    const DWORD packet = lastPacket();
    const auto all = dispatch();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED));
    EXPECT_EQ(all[0].as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, packet);
}

TEST_F(FailuresOnDemand, OpenWithVersionMismatchConnectsThenSendsTheException)
{
    world(R"("failures": [{"call": "SimConnect_Open", "exception": "VERSION_MISMATCH"}])");
    openOrFail();
    const auto all = dispatch();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].id(), static_cast<DWORD>(SIMCONNECT_RECV_ID_OPEN));
    EXPECT_EQ(all[1].as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_VERSION_MISMATCH));
}

TEST_F(FailuresOnDemand, DispatchThatKeepsFailing)
{
    world();
    connect();
    simstandin::addFailure({"SimConnect_CallDispatch", 0, -1, std::nullopt});
    for (int i = 0; i < 5; ++i) dispatch(E_FAIL);
    simstandin::clearFailures();
    dispatch(S_OK);
}

TEST_F(FailuresOnDemand, CloseCanFailAndBeRetried)
{
    world();
    openOrFail();
    simstandin::addFailure({"SimConnect_Close", 0, 1, std::nullopt});
    EXPECT_EQ(SimConnect_Close(handle_), E_FAIL);
    EXPECT_EQ(SimConnect_Close(handle_), S_OK);
    EXPECT_EQ(SimConnect_Close(handle_), E_FAIL);  // no such connection any more
    handle_ = nullptr;
}

TEST_F(Observation, CallLogNamesEachCallItsArgumentsAndPacket)
{
    world();
    connect();
    SimConnect_AICreateNonATCAircraft(handle_, "Unknown Livery", "NOB1", ground(), kReqCreate);
    const DWORD packet = lastPacket();
    const auto calls = simstandin::calls();
    ASSERT_GE(calls.size(), 2u);
    const simstandin::CallRecord& create = calls[calls.size() - 2];
    EXPECT_EQ(create.function, "SimConnect_AICreateNonATCAircraft");
    EXPECT_EQ(create.arguments, "'Unknown Livery', 'NOB1', 51.279000, 6.763000, 0 ft, hdg 320, "
                                "on ground 1, 0 kt, request 104");
    EXPECT_EQ(create.note, "unknown title");
    EXPECT_EQ(create.result, S_OK);
    EXPECT_EQ(create.packetId, packet);
    EXPECT_EQ(calls.front().function, "SimConnect_Open");
}

TEST_F(Observation, TraceHasEveryObjectsPositionOverTime)
{
    TempDir output;
    world(R"("output_folder": ")" + output.path().string() + R"(", "frame_rate_hz": 10)");
    connect();
    const DWORD id = create(kA320, "DLH,1");
    SimPosition position{51.5, 7.25, 0, 0, 0, 3147.0, 0, 200};
    advance(2.0);
    SimConnect_SetDataOnSimObject(handle_, kDefPosition, id, 0, 0, sizeof position, &position);
    advance(2.0);
    dispatch();
    ASSERT_EQ(simstandin::tracePath(), output / "simulator-trace.csv");
    std::istringstream csv(readFile(output / "simulator-trace.csv"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(csv, line);) lines.push_back(line);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "time_s,object_id,kind,atc_id,title,latitude,longitude,altitude_ft,"
                        "alt_above_ground_ft,heading_deg,pitch_deg,bank_deg,ground_speed_kt,"
                        "on_ground,lights,event");
    EXPECT_EQ(lines[1], "0.000,1,user,ASXGS,Airbus A320 Neo Asobo,51.2793000,6.7635000,153.0,"
                        "6.0,320.0,0.00,0.00,0.0,1,3,");
    const std::string object = std::to_string(id) + ",ai,\"DLH,1\",Airbus A320 Lufthansa,";
    EXPECT_EQ(lines[2], "0.000," + object + "51.2790000,6.7630000,155.0,8.0,320.0,0.00,0.00,0.0,1,"
                        "0,added");
    EXPECT_EQ(lines.back(), "4.000," + object + "51.5000000,7.2500000,3147.0,3000.0,0.0,0.00,"
                            "0.00,0.0,0,0,");
    EXPECT_TRUE(std::filesystem::exists(output / "simulator-calls.log"));
    EXPECT_TRUE(std::filesystem::exists(output / "simulator-objects.txt"));
}

}  // namespace
}  // namespace qel::test
