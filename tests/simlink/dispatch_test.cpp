// The dispatcher, message by message: flight state, new flights, the open checks, SimConnect
// exceptions, added and removed objects, the user aircraft's replies, ground reports and the
// pairing of new objects, and messages that arrive short.
#include <climits>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/codes.h"
#include "foundation/geodesy.h"
#include "foundation/time.h"
#include "link_fixture.h"

namespace qel::test {
namespace {

using Dispatch = SimLinkTest;

template <class Record>
Record make(DWORD id)
{
    Record record{};
    record.dwSize = sizeof record;
    record.dwVersion = 4;
    record.dwID = id;
    return record;
}

// As SimConnect_CallDispatch and the link's loop: the callback, then the failure it kept.
template <class Record>
void deliver(Record record)
{
    lf_dispatch(&record, sizeof record, nullptr);
    lf_rethrowDispatchError();
}

SIMCONNECT_RECV_EVENT event(DWORD eventId, DWORD data)
{
    auto e = make<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
    e.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
    e.uEventID = eventId;
    e.dwData = data;
    return e;
}

SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE addRemove(DWORD eventId, DWORD objectId,
                                                  SIMCONNECT_SIMOBJECT_TYPE type =
                                                      SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT)
{
    using Record = SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE;
    auto e = make<Record>(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    e.uEventID = eventId;
    e.dwData = objectId;
    e.eObjType = type;
    return e;
}

SIMCONNECT_RECV_EXCEPTION exception(DWORD number, DWORD sendId = 0, DWORD index = 0)
{
    auto e = make<SIMCONNECT_RECV_EXCEPTION>(SIMCONNECT_RECV_ID_EXCEPTION);
    e.dwException = number;
    e.dwSendID = sendId;
    e.dwIndex = index;
    return e;
}

SIMCONNECT_RECV_OPEN open(const char* name)
{
    auto o = make<SIMCONNECT_RECV_OPEN>(SIMCONNECT_RECV_ID_OPEN);
    std::strncpy(o.szApplicationName, name, sizeof o.szApplicationName - 1);
    o.dwApplicationVersionMajor = 12;
    o.dwApplicationVersionMinor = 1;
    o.dwApplicationBuildMajor = 282174;
    o.dwApplicationBuildMinor = 999;
    return o;
}

// A data message of a request with its data bytes, as the simulator lays it out.
class DataMessage {
public:
    DataMessage(DWORD recvId, DWORD requestId, DWORD objectId, const std::string& data)
    {
        auto head = make<SIMCONNECT_RECV_SIMOBJECT_DATA>(recvId);
        head.dwRequestID = requestId;
        head.dwObjectID = objectId;
        const size_t headBytes = sizeof head - sizeof(DWORD);
        size_ = static_cast<DWORD>(headBytes + data.size());
        head.dwSize = size_;
        storage_.resize(size_ / sizeof(uint64_t) + 1);
        std::memcpy(storage_.data(), &head, headBytes);
        std::memcpy(reinterpret_cast<char*>(storage_.data()) + headBytes, data.data(),
                    data.size());
    }
    void deliver()
    {
        lf_dispatch(reinterpret_cast<SIMCONNECT_RECV*>(storage_.data()), size_, nullptr);
        lf_rethrowDispatchError();
    }

private:
    std::vector<uint64_t> storage_;
    DWORD size_ = 0;
};

template <class T>
void append(std::string& bytes, const T& value)
{
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string inRangeData(double aboveGround_ft, double ground_ft, int64_t onGround,
                        const std::string& atcId)
{
    std::string bytes;
    append(bytes, aboveGround_ft);
    append(bytes, ground_ft);
    append(bytes, onGround);
    std::string text = atcId;
    text.resize(32, '\0');
    return bytes + text;
}

void inRange(DWORD objectId, double aboveGround_ft, const std::string& atcId,
             int64_t onGround = 1, double ground_ft = 147.0)
{
    DataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, kReqInRange, objectId,
                inRangeData(aboveGround_ft, ground_ft, onGround, atcId))
        .deliver();
}

void userReply(double latitude, double longitude, double altitude_ft = 150.0,
               DWORD objectId = 1, int64_t zuluYear = 2026, int64_t zuluDay = 1,
               int64_t zuluSecond = 3600)
{
    UserStateBlock block;
    block.latitude = latitude;
    block.longitude = longitude;
    block.altitude_ft = altitude_ft;
    block.zuluTime_s = zuluSecond;
    block.zuluDayOfYear = zuluDay;
    block.zuluYear = zuluYear;
    std::string bytes;
    append(bytes, block);
    DataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, kReqUserState, objectId, bytes).deliver();
}

void onGroundReply(int64_t onGround)
{
    std::string bytes;
    append(bytes, onGround);
    DataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, kReqUserOnGround, 1, bytes).deliver();
}

TEST_F(Dispatch, SimEventAndQuitSetWhetherAFlightRuns)
{
    for (const auto& [data, running] : {std::pair{1U, true}, {0U, false}, {2U, false}}) {
        g_flightRunning = !running;
        deliver(event(kEventSim, data));
        EXPECT_EQ(g_flightRunning, running) << data;
        EXPECT_EQ(g_simWindowStatus.simulationRunning, running) << data;
    }
    g_flightRunning = true;
    deliver(make<SIMCONNECT_RECV_QUIT>(SIMCONNECT_RECV_ID_QUIT));
    EXPECT_FALSE(g_flightRunning);
    EXPECT_TRUE(g_simulatorQuit);
}

TEST_F(Dispatch, FlightLoadedEventAndFileEventAreNewFlights)
{
    struct Case {
        std::function<void()> message;
        const char* line;
    };
    const std::vector<Case> cases = {
        {[] { deliver(event(kEventFlightLoaded, 0)); }, "SimConnect: flight loaded event"},
        {[] {
             auto e = make<SIMCONNECT_RECV_EVENT_FILENAME>(SIMCONNECT_RECV_ID_EVENT_FILENAME);
             e.uEventID = kEventFlightLoaded;
             std::strcpy(e.szFileName, "flights/EDDL.FLT");
             deliver(e);
         },
         "==> SimConnect: New file event"},
    };
    for (const auto& c : cases) {
        resetLinkState();
        c.message();
        EXPECT_EQ(count(c.line), 1) << c.line;
        EXPECT_TRUE(g_stopRequested) << c.line;
        EXPECT_EQ(g_exitReason, ExitReason::NEW_FLIGHT) << c.line;
        EXPECT_EQ(g_restartDelay, 45) << c.line;
    }
}

TEST_F(Dispatch, UnknownMessageKindsAreLoggedOthersIgnored)
{
    for (const DWORD id : {12U, 16U, 27U}) deliver(make<SIMCONNECT_RECV>(id));
    deliver(make<SIMCONNECT_RECV>(SIMCONNECT_RECV_ID_WEATHER_OBSERVATION));
    EXPECT_EQ(log_.lines(), std::vector<std::string>{"! Unknown Dispatch dwID 10"});
}

TEST_F(Dispatch, OpenNamesTheSimulatorAndItsVersion)
{
    struct Case {
        const char* name;
        bool msfs2020Chosen;
        const char* connected;  // the log line, or the start of the user error's text
    };
    const Case cases[] = {
        {"KittyHawk", true, "MSFS 2020 (12.1.282174.999) connected"},
        {"SunRise", false, "MSFS 2024 (12.1.282174.999) connected"},
        {"Kitty-Hawk!", true, "MSFS 2020 (12.1.282174.999) connected"},
        {"SunRise", true, "2024"},
        {"KittyHawk", false, "2024"},
        {"Prepar3D v5", true, "77: 'Prepar3D v5' not being MSFS 2020 or MSFS 2024 connects ... ?"},
    };
    for (const auto& c : cases) {
        resetLinkState();
        g_isMsfs2020 = c.msfs2020Chosen;
        g_simWindowStatus.simulatorConnected = false;
        const std::string expected = c.connected;
        if (expected.ends_with("connected")) {
            const int before = count(expected);
            deliver(open(c.name));
            EXPECT_EQ(count(expected), before + 1) << c.name;
            EXPECT_EQ(g_simWindowStatus.simulatorText.get() + " connected", expected) << c.name;
        } else {
            // Nothing crosses SimConnect's frames: the callback keeps the failure for the loop.
            auto record = open(c.name);
            EXPECT_NO_THROW(lf_dispatch(&record, sizeof record, nullptr)) << c.name;
            try {
                lf_rethrowDispatchError();
                ADD_FAILURE() << c.name << " was accepted";
            } catch (const UserErrorException& e) {
                EXPECT_TRUE(std::string(e.what()).starts_with(expected)) << e.what();
                EXPECT_EQ(e.code(), std::stoi(expected)) << e.what();
            }
            EXPECT_NO_THROW(lf_rethrowDispatchError()) << "raised once";
        }
        EXPECT_TRUE(g_simWindowStatus.simulatorConnected) << c.name;
    }
}

TEST_F(Dispatch, OpenWithoutAUsableNameIsOnlyLogged)
{
    g_simWindowStatus.simulatorConnected = false;
    deliver(open("!?-"));
    EXPECT_EQ(count("! Simulator name empty?"), 1);
    EXPECT_FALSE(g_simWindowStatus.simulatorConnected);
}

TEST_F(Dispatch, ExceptionsAreLoggedOrShown)
{
    struct Case {
        DWORD exception;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, {}},  // the user position is not known yet
        {SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, {"SimConnect: too many objects (max 1000)"}},
        {SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, {"SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE"}},
        {SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED,
         {"==> SimConnect exception: load flight plan failed"}},
        {SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE,
         {"SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE"}},
        {SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, {"==> SIMCONNECT_EXCEPTION #31"}},
        {SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, {}},  // no create call with its send id
    };
    for (const auto& c : cases) {
        const auto before = log_.lines().size();
        deliver(exception(c.exception, 17));
        const auto lines = log_.lines();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
                  c.lines)
            << c.exception;
    }
    // A refusal for want of room names none of the program's creations, and still tells the
    // traffic manager that the simulator is full.
    const SimResult full{0, 0, 0, SimResultKind::simulatorFull, 0.0, 0.0};
    EXPECT_EQ(results(), std::vector{full});
    EXPECT_FALSE(g_simConnectFailed);

    userReply(51.2793, 6.7635);
    deliver(exception(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 18));
    EXPECT_EQ(count("==> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"), 1);
    g_stopRequested = true;
    deliver(exception(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 19));
    EXPECT_EQ(count("==> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"), 1);
}

TEST_F(Dispatch, VersionMismatchIsUserError95)
{
    try {
        deliver(exception(SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 1, 7));
        ADD_FAILURE() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "95: SimConnect Version Mismatch, dwIndex: 7");
    }
}

TEST_F(Dispatch, RefusedCreationFailsItsAircraftWhateverItsHexId)
{
    g_packetIds = {{5, 0, "STAT0*"}, {6, 0x3c6469, "CFG2PL"}, {0, 77, "NOPKT"}};
    deliver(exception(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 5));
    deliver(exception(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 99));
    // Send id 0 means unknown; it must not fail the record whose packet id was not returned.
    deliver(exception(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 0));
    deliver(exception(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 6));
    const auto posted = results();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].kind, SimResultKind::creationFailed);
    EXPECT_EQ(posted[0].hexId, 0u);  // a static aircraft with hex id 0 leaves adding2sim too
    EXPECT_EQ(posted[1].hexId, 0x3c6469u);
    ASSERT_EQ(g_packetIds.size(), 1u);
    EXPECT_EQ(g_packetIds[0].callsign, "NOPKT");
}

TEST_F(Dispatch, AddedObjectsAreKeptUntilPairedOrRemoved)
{
    // Two creations: one assigned its object, one still waiting for its id.
    g_packetIds = {{5, 0x3c6469, "CFG2PL", 0x10003, 150}, {6, 0x3c646a, "CFG3PL", 0x10004, 0}};
    deliver(addRemove(kEventObjectAdded, 150));
    deliver(addRemove(kEventObjectAdded, 151, SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER));
    deliver(addRemove(kEventObjectAdded, 152, SIMCONNECT_SIMOBJECT_TYPE_BOAT));
    deliver(addRemove(kEventObjectAdded, 2));  // not above the user's id
    EXPECT_EQ(g_addedObjects, (std::vector<uint32_t>{150, 151}));

    deliver(addRemove(kEventObjectRemoved, 150));
    deliver(addRemove(kEventObjectRemoved, 2));
    deliver(addRemove(kEventObjectRemoved, 0));
    EXPECT_EQ(g_addedObjects, std::vector<uint32_t>{151});
    // The removed object's creation goes with it; the one waiting stays.
    ASSERT_EQ(g_packetIds.size(), 1u);
    EXPECT_EQ(g_packetIds[0].callsign, "CFG3PL");
    const auto posted = results();
    ASSERT_EQ(posted.size(), 3u);
    for (const auto& r : posted) EXPECT_EQ(r.kind, SimResultKind::removed);
    EXPECT_EQ(posted[0].objectId, 150u);
    EXPECT_EQ(posted[1].objectId, 2u);
}

TEST_F(Dispatch, OnGroundReplyCountsTheSecondAndOnceThePositionIsKnownTheFlag)
{
    onGroundReply(1);
    EXPECT_TRUE(g_secondPassed.exchange(false));
    EXPECT_FALSE(gf_userOnGroundValid());
    userReply(51.2793, 6.7635);
    onGroundReply(1);
    EXPECT_TRUE(g_secondPassed.exchange(false));
    EXPECT_TRUE(gf_userOnGroundValid());
    EXPECT_TRUE(gf_requestUserAcPosition().onGround);
    onGroundReply(0);
    EXPECT_FALSE(gf_requestUserAcPosition().onGround);
}

TEST_F(Dispatch, UserStateIsStoredWithItsObjectIdAndNoAltitudeBelowZero)
{
    userReply(51.2793, 6.7635, -12.0, 1);
    const auto state = gf_requestUserAcPosition();
    EXPECT_DOUBLE_EQ(state.latitude, 51.2793);
    EXPECT_DOUBLE_EQ(state.longitude, 6.7635);
    EXPECT_DOUBLE_EQ(state.altitude_ft, 0.0);
    EXPECT_EQ(g_userObjectId, 1u);
    EXPECT_EQ(g_simZuluTime, 0);  // only a professional account follows the simulator's time
    g_rtProfessional = true;
    userReply(51.2793, 6.7635);
    EXPECT_EQ(g_simZuluTime, 1'767'225'600 + 3600);  // 2026-01-01 01:00 UTC
}

TEST_F(Dispatch, AbsurdZuluDatesAreIgnoredWithOneLogLine)
{
    g_rtProfessional = true;
    userReply(51.2793, 6.7635);
    const struct {
        int64_t year, day, second;
    } absurd[] = {{INT64_MAX, 1, 0},  {2026, INT64_MAX, 0}, {2026, 1, INT64_MAX},
                  {2026, 1, INT64_MIN}, {0, 1, 0},          {2026, 367, 0}};
    for (const auto& d : absurd) userReply(51.2793, 6.7635, 150.0, 1, d.year, d.day, d.second);
    EXPECT_EQ(g_simZuluTime, 1'767'225'600 + 3600);
    EXPECT_EQ(log_.lines(), std::vector<std::string>{
                                "Simulator zulu date ignored: year 9223372036854775807, day 1, "
                                "second 0"});
}

TEST_F(Dispatch, ObjectTypesOutsideTheEnumerationAreNotPaired)
{
    auto e = addRemove(kEventObjectAdded, 160);
    const uint32_t unknownType = 77;
    std::memcpy(&e.eObjType, &unknownType, sizeof unknownType);
    deliver(e);
    EXPECT_TRUE(g_addedObjects.empty());
}

TEST_F(Dispatch, JumpOfMoreThanTenMilesIsANewFlight)
{
    // The largest northward step that is still 10.0 nm, and one of 10.1 nm.
    double tenMiles = 10.0 / 60.0;
    while (gf_distanceNm({50.0, 7.0}, {50.0 + tenMiles, 7.0}) > 10.0) {
        tenMiles = std::nextafter(tenMiles, 0.0);
    }
    userReply(50.0, 7.0);
    userReply(50.0 + tenMiles, 7.0);
    EXPECT_FALSE(g_stopRequested);
    userReply(50.0 + tenMiles + 10.1 / 60.0, 7.0);
    EXPECT_EQ(count("Teleport"), 1);
    EXPECT_EQ(g_exitReason, ExitReason::NEW_FLIGHT);
    EXPECT_EQ(g_restartDelay, 45);
}

TEST_F(Dispatch, FirstPositionAfterARestartIsNoJump)
{
    userReply(50.0, 7.0);
    gf_resetSimLinkRun();
    userReply(52.3086, 4.76389);
    EXPECT_EQ(count("Teleport"), 0);
    EXPECT_FALSE(g_stopRequested);
}

TEST_F(Dispatch, GroundReportsOfAircraftSeenBefore)
{
    struct Case {
        DWORD objectId;
        double aboveGround_ft;
        const char* atcId;
        bool reported;
    };
    const Case cases[] = {
        {300, 2600.0, "DLH4TK", false}, {301, 2500.0, "DLH4TK", true},
        {302, 0.0, "STAT1*", false},    {303, 0.0, "", false},
        {2, 0.0, "DLH4TK", false},  // the user, or anything older
    };
    for (const auto& c : cases) {
        inRange(c.objectId, c.aboveGround_ft, c.atcId, 0, 150.0);
        const auto posted = results();
        ASSERT_EQ(posted.size(), c.reported ? 1u : 0u) << c.objectId;
        if (!c.reported) continue;
        EXPECT_EQ(posted[0].kind, SimResultKind::groundReport);
        EXPECT_EQ(posted[0].objectId, c.objectId);
        EXPECT_EQ(posted[0].hexId, 0u);  // "SIM ON GROUND"
        EXPECT_DOUBLE_EQ(posted[0].value1, 150.0);
        EXPECT_DOUBLE_EQ(posted[0].value2, c.aboveGround_ft);
    }
}

TEST_F(Dispatch, NewObjectsArePairedByTheirAtcIdInAnyOrder)
{
    g_packetIds = {{7, 0x48548e, "KLM56A"}, {8, 42, "STAT42*"}};
    deliver(addRemove(kEventObjectAdded, 200));
    deliver(addRemove(kEventObjectAdded, 201));
    inRange(201, 0.0, "STAT42*");
    inRange(200, 8.5, "KLM56A");
    const auto posted = results();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].kind, SimResultKind::staticCreated);
    EXPECT_EQ(posted[0].objectId, 201u);
    EXPECT_EQ(posted[0].hexId, 42u);
    EXPECT_DOUBLE_EQ(posted[0].value2, 0.0);
    EXPECT_EQ(posted[1].kind, SimResultKind::liveCreated);
    EXPECT_EQ(posted[1].objectId, 200u);
    EXPECT_EQ(posted[1].hexId, 0x48548eu);
    EXPECT_DOUBLE_EQ(posted[1].value2, 8.5);
    EXPECT_TRUE(g_packetIds.empty());
    EXPECT_TRUE(g_addedObjects.empty());
}

TEST_F(Dispatch, ObjectsSpawnedByOthersAreLogged)
{
    for (const DWORD id : {202U, 203U, 204U}) deliver(addRemove(kEventObjectAdded, id));
    inRange(202, 8.0, "N123AB");
    inRange(203, 8.0, "AS-GEN");
    inRange(204, 3000.0, "AS-GEN", 0, 147.0);
    EXPECT_TRUE(results().empty());
    EXPECT_EQ(count("just spawned, but not by VNTQ, oid: ca, callsign 'N123AB', altaboveGnd:8 "
                    "ft, onground:1, gnd_alt:147 ft"),
              1);
    EXPECT_EQ(count("Spawned by Asobo, oid: cb, callsign AS-GEN, altaboveGnd:8 ft, onground:1, "
                    "gnd_alt:147 ft"),
              1);
    EXPECT_EQ(count("This message will be logged only once..."), 1);
}

TEST_F(Dispatch, ShortMessagesAreReadOnlyAsFarAsTheyGo)
{
    // A user state reply cut short changes nothing.
    DataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, kReqUserState, 1, std::string(40, '\x7f'))
        .deliver();
    EXPECT_DOUBLE_EQ(gf_requestUserAcPosition().latitude, 0.0);
    // Records shorter than their kind are dropped.
    auto shortOpen = make<SIMCONNECT_RECV_OPEN>(SIMCONNECT_RECV_ID_OPEN);
    std::strcpy(shortOpen.szApplicationName, "KittyHawk");
    lf_dispatch(&shortOpen, sizeof(SIMCONNECT_RECV) + 4, nullptr);
    lf_dispatch(&shortOpen, 4, nullptr);
    EXPECT_FALSE(g_simWindowStatus.simulatorConnected);
    // An ATC ID filling all 32 bytes without its terminator is read as those 32 bytes.
    const std::string tail(32, 'X');
    deliver(addRemove(kEventObjectAdded, 210));
    DataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, kReqInRange, 210,
                inRangeData(5.0, 147.0, 1, tail))
        .deliver();
    EXPECT_EQ(count(fmt::format("just spawned, but not by VNTQ, oid: d2, callsign '{}', "
                                "altaboveGnd:5 ft, onground:1, gnd_alt:147 ft",
                                tail)),
              1);
    EXPECT_TRUE(log_.lines().size() == 1u);
}

}  // namespace
}  // namespace qel::test
