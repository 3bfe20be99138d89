// AI objects in the stand-in simulator: creation by known livery titles, the add and remove
// events, the aircraft-in-range reply, positions and client events kept per object, and the
// exceptions of refused calls.
#include <cmath>
#include <functional>
#include <numbers>

#include "sim_fixture.h"
#include "support/test_support.h"

namespace qel::test {
namespace {

using AiObjects = SimStandinTest;

// The in-range reply of definition 404 for one object, or none.
std::optional<Received> inRange(const std::vector<Received>& replies, DWORD objectId)
{
    for (const Received& r : replies) {
        if (r.id() == SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE &&
            r.as<SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE>().dwObjectID == objectId) {
            return r;
        }
    }
    return std::nullopt;
}

TEST_F(AiObjects, CreatedObjectIsAddedThenFoundInRangeWithItsAtcId)
{
    world();
    connect();
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle_, kA320, "DLH4TK", ground(), kReqCreate),
              S_OK);
    const auto all = dispatch();
    const auto assigned = only(all, SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    const auto added = only(all, SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(assigned.size(), 1u);
    ASSERT_EQ(added.size(), 1u);
    const auto event = added[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
    EXPECT_EQ(event.uEventID, kEventObjectAdded);
    EXPECT_EQ(event.eObjType, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    EXPECT_EQ(assigned[0].as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>().dwObjectID, event.dwData);
    EXPECT_EQ(assigned[0].as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>().dwRequestID, kReqCreate);
    EXPECT_GT(event.dwData, 1u);

    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 20000,
                                                    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
              S_OK);
    const auto replies = dispatch();
    const auto reply = inRange(replies, event.dwData);
    ASSERT_TRUE(reply);
    EXPECT_DOUBLE_EQ(reply->data<double>(0), 8.0);    // altitude above ground: its CG height
    EXPECT_DOUBLE_EQ(reply->data<double>(8), 147.0);  // ground altitude
    EXPECT_EQ(reply->data<int64_t>(16), 1);           // on the ground
    EXPECT_EQ(reply->text(24), "DLH4TK");
    EXPECT_TRUE(inRange(replies, 1));  // the user's aircraft is one of them
    const auto header = reply->as<SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE>();
    EXPECT_EQ(header.dwoutof, replies.size());
}

TEST_F(AiObjects, HelicoptersAreReportedAsHelicopters)
{
    world();
    connect();
    const DWORD id = create(kR44, "DHELI");
    SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 20000,
                                          SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    EXPECT_FALSE(inRange(dispatch(), id));
    SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 20000,
                                          SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER);
    EXPECT_TRUE(inRange(dispatch(), id));
    EXPECT_EQ(simstandin::object(id)->type, SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER);
}

TEST_F(AiObjects, RefusedTitleSendsCreateObjectFailedWithThePacketId)
{
    world();
    connect();
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle_, "Airbus A320 Nobody", "NOB1", ground(),
                                                kReqCreate),
              S_OK);
    const DWORD packet = lastPacket();
    const auto all = dispatch();
    ASSERT_EQ(all.size(), 1u);
    const auto exception = all[0].as<SIMCONNECT_RECV_EXCEPTION>();
    EXPECT_EQ(all[0].id(), static_cast<DWORD>(SIMCONNECT_RECV_ID_EXCEPTION));
    EXPECT_EQ(exception.dwException, static_cast<DWORD>(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED));
    EXPECT_EQ(exception.dwSendID, packet);
    EXPECT_EQ(simstandin::objects().size(), 1u);  // the user alone
}

TEST_F(AiObjects, RemovalSendsObjectRemovedAndIdsAreNeverReused)
{
    world();
    connect();
    const DWORD first = create(kA320, "DLH1");
    ASSERT_EQ(SimConnect_AIRemoveObject(handle_, first, kReqRemove), S_OK);
    const auto removed = only(dispatch(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().uEventID,
              kEventObjectRemoved);
    EXPECT_EQ(removed[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().dwData, first);
    EXPECT_GT(create(kA320, "DLH2"), first);
}

TEST_F(AiObjects, ObjectsTheSimulatorDropsFreeTheirRoomAndWhenAskedTheirIds)
{
    // A ground vehicle of its own takes one of the two places.
    world(R"("object_limit": 2, "reuse_object_ids": true,
             "own_traffic": [{"lat": 51.2801, "lon": 6.7652, "type": "ground"}])");
    connect();
    const DWORD vehicle = simstandin::objects().at(1).id;
    const DWORD first = create(kA320, "DLH1");
    SimConnect_AICreateNonATCAircraft(handle_, kA320, "DLH2", ground(), kReqCreate);
    EXPECT_EQ(dispatch().at(0).as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS));

    simstandin::dropObject(vehicle);
    const auto removed = only(dispatch(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().eObjType,
              SIMCONNECT_SIMOBJECT_TYPE_GROUND);
    EXPECT_EQ(create(kA320, "DLH2"), vehicle);
    simstandin::dropObject(first);
    EXPECT_EQ(only(dispatch(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)
                  .at(0)
                  .as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>()
                  .dwData,
              first);
    EXPECT_EQ(create(kA320, "DLH3"), first);
}

TEST_F(AiObjects, CallsOnARemovedObjectGiveUnrecognizedId)
{
    world();
    connect();
    const DWORD id = create(kA320, "DLH1");
    SimConnect_AIRemoveObject(handle_, id, kReqRemove);
    dispatch();
    SimPosition position{51.0, 7.0, 0, 0, 0, 1000, 0, 150};
    SIMCONNECT_CLIENT_EVENT_ID nav = 207;
    SimConnect_MapClientEventToSimEvent(handle_, nav, "NAV_LIGHTS_SET");
    dispatch();
    using Call = std::function<HRESULT()>;
    const std::pair<const char*, Call> calls[] = {
        {"set data", [&] { return SimConnect_SetDataOnSimObject(handle_, kDefPosition, id, 0, 0,
                                                                sizeof position, &position); }},
        {"request data", [&] { return SimConnect_RequestDataOnSimObject(
                                   handle_, kReqCg, kDefStaticCg, id, SIMCONNECT_PERIOD_ONCE); }},
        {"client event", [&] { return SimConnect_TransmitClientEvent(handle_, id, nav, 1, kGroup,
                                                                     0); }},
        {"remove", [&] { return SimConnect_AIRemoveObject(handle_, id, kReqRemove); }},
        {"release", [&] { return SimConnect_AIReleaseControl(handle_, id, 103); }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        ASSERT_EQ(call(), S_OK);
        const DWORD packet = lastPacket();
        const auto all = dispatch();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException,
                  static_cast<DWORD>(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID));
        EXPECT_EQ(all[0].as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, packet);
    }
}

TEST_F(AiObjects, ObjectLimitGivesTooManyObjects)
{
    world(R"("object_limit": 2)");
    connect();
    create(kA320, "A1");
    create(kA320, "A2");
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle_, kA320, "A3", ground(), kReqCreate), S_OK);
    const DWORD packet = lastPacket();
    const auto all = dispatch();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS));
    EXPECT_EQ(all[0].as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, packet);
}

TEST_F(AiObjects, InRangeRequestIsAnsweredAtTheNextDispatch)
{
    world();
    connect();
    const DWORD id = create(kA320, "DLH1");
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 20000,
                                                    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
              S_OK);
    // Moved after the request was sent: the reply tells where it is when the answer is made.
    SimPosition position{51.3, 6.8, 0.0, 0.0, 1.5, 2147.0, 0.0, 160.0};
    SimConnect_SetDataOnSimObject(handle_, kDefPosition, id, 0, 0, sizeof position, &position);
    const auto reply = inRange(dispatch(), id);
    ASSERT_TRUE(reply);
    EXPECT_DOUBLE_EQ(reply->data<double>(0), 2000.0);  // altitude above the 147 ft field
}

TEST_F(AiObjects, RadiusAbove200KmGivesOutOfBounds)
{
    world();
    connect();
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 200000,
                                                    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
              S_OK);
    EXPECT_TRUE(inRange(dispatch(), 1));
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 200001,
                                                    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
              S_OK);
    const DWORD packet = lastPacket();
    const auto all = dispatch();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS));
    EXPECT_EQ(all[0].as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, packet);
    EXPECT_EQ(all[0].as<SIMCONNECT_RECV_EXCEPTION>().dwIndex, 3u);
}

TEST_F(AiObjects, MoveOnlyBySetData)
{
    world();
    connect();
    const DWORD id = create(kA320, "DLH1");
    advance(30.0);
    EXPECT_DOUBLE_EQ(simstandin::object(id)->latitude, 51.2790);
    SimPosition position{51.3, 6.8, -0.05, 0.1, 1.5, 2147.0, 10.0, 160.0};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle_, kDefPosition, id, 0, 0, sizeof position,
                                            &position),
              S_OK);
    const auto o = *simstandin::object(id);
    EXPECT_DOUBLE_EQ(o.latitude, 51.3);
    EXPECT_DOUBLE_EQ(o.longitude, 6.8);
    EXPECT_DOUBLE_EQ(o.pitch_rad, -0.05);
    EXPECT_DOUBLE_EQ(o.heading_rad, 1.5);
    EXPECT_DOUBLE_EQ(o.altitude_ft, 2147.0);
    EXPECT_DOUBLE_EQ(o.altAboveGround_ft, 2000.0);
    EXPECT_NEAR(o.airspeed_kt, 160.0, 1e-9);
    EXPECT_FALSE(o.onGround);
    EXPECT_EQ(o.positionsSet, 1u);
    EXPECT_TRUE(dispatch().empty());  // no exception

    // A block of the wrong size is refused whole.
    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle_, kDefPosition, id, 0, 0, 56, &position), S_OK);
    const auto refused = dispatch();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE));
}

TEST_F(AiObjects, ClientEventsAreKeptPerObject)
{
    world();
    connect();
    const DWORD a = create(kA320, "A1");
    const DWORD b = create(kA320, "A2");
    const std::pair<DWORD, const char*> events[] = {
        {206, "BEACON_LIGHTS_SET"}, {207, "NAV_LIGHTS_SET"}, {211, "CABIN_LIGHTS_SET"},
        {214, "FREEZE_LATITUDE_LONGITUDE_SET"}, {215, "FREEZE_ALTITUDE_SET"},
        {216, "FREEZE_ATTITUDE_SET"}, {217, "FLAPS_SET"}, {219, "GEAR_SET"},
        {220, "ENGINE_AUTO_START"}, {222, "THROTTLE_SET"}};
    for (const auto& [id, name] : events) {
        ASSERT_EQ(SimConnect_MapClientEventToSimEvent(handle_, id, name), S_OK);
    }
    auto send = [&](DWORD object, DWORD event, DWORD data) {
        ASSERT_EQ(SimConnect_TransmitClientEvent(handle_, object, event, data, kGroup, 0), S_OK);
    };
    send(a, 207, 1);
    send(a, 211, 1);
    send(a, 214, 1);
    send(a, 215, 1);
    send(a, 216, 1);
    send(a, 217, 16383);
    send(a, 219, 0);
    send(a, 220, 0);
    send(a, 222, 16383);
    send(b, 206, 1);
    EXPECT_TRUE(dispatch().empty());
    const auto oa = *simstandin::object(a);
    EXPECT_EQ(oa.lightStates, 0x201u);
    EXPECT_TRUE(oa.frozenLatLon && oa.frozenAltitude && oa.frozenAttitude);
    EXPECT_EQ(oa.flaps, 16383u);
    EXPECT_FALSE(oa.gearDown);
    EXPECT_TRUE(oa.enginesRunning);
    EXPECT_DOUBLE_EQ(oa.throttle_pct[0], 100.0);
    const auto ob = *simstandin::object(b);
    EXPECT_EQ(ob.lightStates, 0x2u);
    EXPECT_FALSE(ob.frozenLatLon);
    EXPECT_TRUE(ob.gearDown);

    ASSERT_EQ(SimConnect_AIReleaseControl(handle_, a, 103), S_OK);
    EXPECT_FALSE(simstandin::object(a)->aiControlled);
    EXPECT_TRUE(simstandin::object(b)->aiControlled);
}

TEST_F(AiObjects, OwnTrafficAppearsInRangeWithoutACreator)
{
    world(R"("own_traffic": [{"lat": 51.2801, "lon": 6.7652, "heading_deg": 140},
                            {"lat": 51.26, "lon": 6.80, "alt_ft": 4000, "heading_deg": 90,
                             "speed_kt": 360, "appear_at_s": 10, "leave_at_s": 20}])");
    connect();
    SimConnect_RequestDataOnSimObjectType(handle_, kReqInRange, kDefInRange, 50000,
                                          SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    auto replies = only(dispatch(), SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
    ASSERT_EQ(replies.size(), 2u);  // the user and the parked one
    EXPECT_EQ(replies[1].text(24), "AS-GEN");

    advance(10.0);
    const auto added = only(dispatch(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(added.size(), 1u);
    const DWORD mover = added[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().dwData;
    advance(5.0);
    // 360 kt for 5 s is half a nautical mile east.
    EXPECT_NEAR(simstandin::object(mover)->longitude, 6.80 + 0.5 / 60.0 / std::cos(51.26 *
                                                                     std::numbers::pi / 180.0),
                1e-4);
    advance(5.1);
    const auto removed = only(dispatch(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().uEventID,
              kEventObjectRemoved);
    // A client cannot remove the simulator's own traffic.
    SimConnect_AIRemoveObject(handle_, replies[1].as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwObjectID,
                              kReqRemove);
    EXPECT_EQ(dispatch().at(0).as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_ILLEGAL_OPERATION));
}

TEST_F(AiObjects, TitlesComeFromAircraftCfgFilesUnderThePackagesFolder)
{
    TempDir packages;
    const auto folder = packages / "Community" / "ai-pack" / "SimObjects" / "Airplanes" / "B738";
    std::filesystem::create_directories(folder);
    writeFile(folder / "aircraft.cfg",
              "[GENERAL]\nicao_type_designator = \"B738\"\ncategory = airplane\n"
              "[FLTSIM.0]\ntitle = \"Boeing 737-800 Ryanair\" ; main\natc_id = EI-DCL\n"
              "[fltsim.1]\n  title=Boeing 737-800 Turkish ; comment\n"
              "[FLTSIM.2]\n// title = Commented Out\n");
    world(R"("packages_folder": ")" + packages.path().string() + R"(")");
    connect();
    const DWORD ryanair = create("Boeing 737-800 Ryanair", "RYR1");
    EXPECT_EQ(simstandin::object(ryanair)->atcModel, "B738");
    create("Boeing 737-800 Turkish", "THY1");
    SimConnect_AICreateNonATCAircraft(handle_, "Commented Out", "X1", ground(), kReqCreate);
    EXPECT_EQ(dispatch().at(0).as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED));
}

TEST_F(AiObjects, FlightPlanFileIsReadIntoTheObject)
{
    TempDir dir;
    writeFile(dir / "4711.pln",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n<FlightPlan.FlightPlan>\n"
              "<FPType>IFR</FPType>\n<DepartureID>FRA</DepartureID>\n"
              "<DestinationID>DUS</DestinationID>\n</FlightPlan.FlightPlan>\n"
              "</SimBase.Document>\n\n");
    world();
    connect();
    const DWORD id = create(kA320, "DLH1");
    const std::string file = (dir / "4711.pln").string();
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(handle_, id, file.c_str(), 110), S_OK);
    const auto o = *simstandin::object(id);
    EXPECT_EQ(o.flightPlanType, "IFR");
    EXPECT_EQ(o.departure, "FRA");
    EXPECT_EQ(o.destination, "DUS");
    EXPECT_TRUE(dispatch().empty());
    SimConnect_AISetAircraftFlightPlan(handle_, id, (dir / "missing.pln").string().c_str(), 110);
    EXPECT_EQ(dispatch().at(0).as<SIMCONNECT_RECV_EXCEPTION>().dwException,
              static_cast<DWORD>(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED));
}

}  // namespace
}  // namespace qel::test
