// Data definitions in the stand-in simulator: units and types of the variables, registrations
// it refuses, and the options of periodic requests.
#include "sim_fixture.h"

namespace qel::test {
namespace {

using DataDefinitions = SimStandinTest;

TEST_F(DataDefinitions, ValuesComeInTheRegisteredUnit)
{
    struct Case {
        const char* name;
        const char* unit;
        SIMCONNECT_DATATYPE type;
        double expected;
    };
    const Case cases[] = {
        {"PLANE LATITUDE", "radians", SIMCONNECT_DATATYPE_FLOAT64, 51.2793 * 0.017453292519943295},
        {"Plane Altitude", "meters", SIMCONNECT_DATATYPE_FLOAT64, 153.0 * 0.3048},
        {"plane heading degrees true", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 320.0},
        {"LIGHT STATES", "mask", SIMCONNECT_DATATYPE_INT32, 3.0},
        {"PLANE ALT ABOVE GROUND", "feet", SIMCONNECT_DATATYPE_FLOAT32, 6.0},
        {"GENERAL ENG THROTTLE LEVER POSITION:2", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64,
         0.0},
        {"ZULU TIME", "hours", SIMCONNECT_DATATYPE_FLOAT64, 0.5},
    };
    world();
    connect();
    advance(1800.0);
    DWORD id = 600;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        define(++id, c.name, c.unit, c.type);
        SimConnect_RequestDataOnSimObject(handle_, id, id, SIMCONNECT_OBJECT_ID_USER,
                                          SIMCONNECT_PERIOD_ONCE);
        const auto replies = dispatch();
        ASSERT_EQ(replies.size(), 1u);
        ASSERT_EQ(replies[0].id(), static_cast<DWORD>(SIMCONNECT_RECV_ID_SIMOBJECT_DATA));
        double value = 0.0;
        switch (c.type) {
        case SIMCONNECT_DATATYPE_INT32: value = replies[0].data<int32_t>(); break;
        case SIMCONNECT_DATATYPE_FLOAT32: value = replies[0].data<float>(); break;
        default: value = replies[0].data<double>(); break;
        }
        EXPECT_NEAR(value, c.expected, 1e-4);
    }
}

TEST_F(DataDefinitions, RefusedRegistrationsNameTheArgument)
{
    struct Case {
        const char* name;
        const char* unit;
        SIMCONNECT_DATATYPE type;
        DWORD exception;
        DWORD index;
    };
    const Case cases[] = {
        {"PLANE LATITUDES", "degrees", SIMCONNECT_DATATYPE_FLOAT64,
         SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2},
        {"PLANE LATITUDE:1", "degrees", SIMCONNECT_DATATYPE_FLOAT64,
         SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2},
        {"PLANE LATITUDE", "feet", SIMCONNECT_DATATYPE_FLOAT64,
         SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 3},
        {"PLANE LATITUDE", "furlongs", SIMCONNECT_DATATYPE_FLOAT64,
         SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 3},
        {"TITLE", nullptr, SIMCONNECT_DATATYPE_FLOAT64, SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, 4},
        {"PLANE ALTITUDE", "feet", SIMCONNECT_DATATYPE_STRING32,
         SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, 4},
    };
    world();
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        define(700, c.name, c.unit, c.type);
        const DWORD packet = lastPacket();
        const auto replies = dispatch();
        ASSERT_EQ(replies.size(), 1u);
        const auto exception = replies[0].as<SIMCONNECT_RECV_EXCEPTION>();
        EXPECT_EQ(exception.dwException, c.exception);
        EXPECT_EQ(exception.dwIndex, c.index);
        EXPECT_EQ(exception.dwSendID, packet);
    }
}

TEST_F(DataDefinitions, ReadOnlyVariableRefusesTheWholeDataSet)
{
    world();
    connect();
    const DWORD id = create(kA320, "DLH1");
    const double block[2] = {3000.0, 500.0};  // altitude, then altitude above ground
    define(710, "PLANE ALTITUDE", "feet");
    define(710, "PLANE ALT ABOVE GROUND", "feet");
    SimConnect_SetDataOnSimObject(handle_, 710, id, 0, 0, sizeof block, const_cast<double*>(block));
    const auto replies = dispatch();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_DATA_ERROR));
    EXPECT_EQ(replies[0].as<SIMCONNECT_RECV_EXCEPTION>().dwIndex, 2u);
    EXPECT_DOUBLE_EQ(simstandin::object(id)->altitude_ft, 155.0);
}

TEST_F(DataDefinitions, PeriodicRequestHonoursOriginIntervalLimitAndChanged)
{
    struct Case {
        const char* what;
        SIMCONNECT_PERIOD period;
        DWORD flags, origin, interval, limit;
        size_t repliesIn10s;
    };
    const Case cases[] = {
        {"every second", SIMCONNECT_PERIOD_SECOND, 0, 0, 0, 0, 10},
        {"origin 4", SIMCONNECT_PERIOD_SECOND, 0, 4, 0, 0, 6},
        {"every other", SIMCONNECT_PERIOD_SECOND, 0, 0, 1, 0, 5},
        {"limit 3", SIMCONNECT_PERIOD_SECOND, 0, 0, 0, 3, 3},
        {"changed only", SIMCONNECT_PERIOD_SECOND, SIMCONNECT_DATA_REQUEST_FLAG_CHANGED, 0, 0, 0,
         1},
        {"every frame", SIMCONNECT_PERIOD_SIM_FRAME, 0, 0, 0, 0, 299},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        world();
        connect();
        SimConnect_RequestDataOnSimObject(handle_, kReqOnGround, kDefOnGround,
                                          SIMCONNECT_OBJECT_ID_USER, c.period, c.flags, c.origin,
                                          c.interval, c.limit);
        advance(9.99);
        EXPECT_EQ(only(dispatch(), SIMCONNECT_RECV_ID_SIMOBJECT_DATA).size(), c.repliesIn10s);
        SimConnect_Close(handle_);
        handle_ = nullptr;
    }
}

TEST_F(DataDefinitions, ScenarioErrorsNameTheKey)
{
    const std::pair<const char*, const char*> cases[] = {
        {R"("version": "11.0")", "scenario: simulator: a version is four numbers"},
        {R"("liveries": [""])", "scenario: simulator.liveries[0]: the title is empty"},
        {R"("timeline": [{"at_s": 1, "action": "explode"}])",
         "scenario: simulator.timeline[0]: unknown action \"explode\""},
        {R"("failures": [{"call": "Open"}])",
         "scenario: simulator.failures[0]: \"call\" must name a SimConnect function"},
        {R"("failures": [{"call": "SimConnect_Open", "exception": "BAD"}])",
         "scenario: simulator.failures[0]: \"exception\" must be a number or a SIMCONNECT_EXCEPTION"
         " name"},
        {R"("user": {"path": [{"t_s": 5, "lat": 1, "lon": 1}, {"t_s": 5, "lat": 2, "lon": 2}]})",
         "scenario: simulator.user.path[1]: \"t_s\" must ascend"},
    };
    for (const auto& [members, message] : cases) {
        SCOPED_TRACE(members);
        world(members);
        EXPECT_EQ(SimConnect_Open(&handle_, "VNTQ", nullptr, 0, nullptr, 0), E_FAIL);
        EXPECT_EQ(simstandin::lastError(), message);
    }
}

}  // namespace
}  // namespace qel::test
