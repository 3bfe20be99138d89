// AI aircraft from the create queue to the simulator and back: the create call with its packet
// id, ObjectAdded, pairing by the aircraft-in-range reply, release and freeze, the result; a
// refused livery and the books on it; removal and its result.
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/codes.h"
#include "link_fixture.h"

namespace qel::test {
namespace {

using Creation = SimLinkTest;

TEST_F(Creation, CreatedAircraftIsPairedReleasedFrozenAndReported)
{
    world();
    connect();
    userState();
    gf_queueCreateAc(AiCreateRequest{ground(), "KLM56A", kA320, 0x48548e});
    pump(0.05);
    // The packet id is asked right after the create call, with nothing in between.
    const auto all = simstandin::calls();
    size_t create = 0;
    while (create < all.size() && all[create].function != "SimConnect_AICreateNonATCAircraft") {
        ++create;
    }
    ASSERT_LT(create + 1, all.size());
    EXPECT_EQ(all[create + 1].function, "SimConnect_GetLastSentPacketID");
    EXPECT_EQ(all[create + 1].note, std::to_string(all[create].packetId));
    ASSERT_EQ(g_packetIds.size(), 1u);
    EXPECT_EQ(g_packetIds[0].packetId, all[create].packetId);
    EXPECT_EQ(g_addedObjects, std::vector<uint32_t>{100});

    ASSERT_TRUE(gf_requestAircraftInRange());
    pump();
    const auto posted = results();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].kind, SimResultKind::liveCreated);
    EXPECT_EQ(posted[0].objectId, 100u);
    EXPECT_EQ(posted[0].hexId, 0x48548eu);
    EXPECT_DOUBLE_EQ(posted[0].value2, 8.0);  // on the ground: its CG height above it
    EXPECT_TRUE(g_packetIds.empty());
    EXPECT_FALSE(simstandin::object(100)->aiControlled);

    pump(0.05);  // the freeze events go out with the next frame
    const auto object = simstandin::object(100);
    EXPECT_TRUE(object->frozenLatLon);
    EXPECT_TRUE(object->frozenAltitude);
    EXPECT_TRUE(object->frozenAttitude);
    EXPECT_EQ(object->atcId, "KLM56A");

    // Its static centre of gravity, asked once it was created.
    ASSERT_TRUE(gf_requestStaticCg(100));
    pump();
    const auto cg = results();
    ASSERT_EQ(cg.size(), 1u);
    EXPECT_EQ(cg[0].kind, SimResultKind::staticCg);
    EXPECT_EQ(cg[0].objectId, 100u);
    EXPECT_DOUBLE_EQ(cg[0].value1, 8.0);                           // feet
    EXPECT_NEAR(cg[0].value2, 0.5 * 3.14159265358979 / 180, 1e-9);  // radians
}

TEST_F(Creation, StaticAircraftAndHelicoptersArePairedToo)
{
    world();
    connect();
    userState();
    const uint32_t plane = createPaired(kA320, "DLH9CV*", 17);
    const uint32_t helicopter = createPaired(kR44, "DHEPL", 0x3d1234);
    EXPECT_EQ(plane, 100u);
    EXPECT_EQ(helicopter, 101u);
    EXPECT_EQ(simstandin::object(helicopter)->type, SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER);
    EXPECT_TRUE(g_addedObjects.empty());
}

TEST_F(Creation, RefusedLiveryFailsTheAircraftAndJoinsTheFailedLiveries)
{
    world();
    connect();
    userState();
    gf_queueCreateAc(AiCreateRequest{ground(), "EXS93G", "Boeing 757-200 Jet2", 0x400e4e});
    pump(0.05);
    const auto posted = results();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].kind, SimResultKind::creationFailed);
    EXPECT_EQ(posted[0].hexId, 0x400e4eu);
    EXPECT_TRUE(g_packetIds.empty());

    // What the traffic manager does with it.
    g_pendingCreations[0x400e4e] = "Boeing 757-200 Jet2";
    g_pendingCreations[0x48548e] = kA320;
    onCreationFailed({"EXS93G", "Boeing 757-200 Jet2", gf_modelIndex("B752"),
                      gf_airlineIndex("EXS")});
    EXPECT_EQ(count("EXS93G 'Boeing 757-200 Jet2' could not be created by your Sim!"), 1);
    EXPECT_TRUE(g_failedLiveries.contains(std::string_view("Boeing 757-200 Jet2")));
    EXPECT_EQ(g_failedTypeAirlines, std::set<std::string>{"B752 EXS"});
    EXPECT_EQ(takePendingCreation(0x400e4e), std::nullopt);
    EXPECT_FALSE(g_pendingCreations.contains(0x400e4e));
    EXPECT_EQ(takePendingCreation(0x48548e), std::string(kA320));
    EXPECT_EQ(takePendingCreation(0x48548e), std::string(kA320));  // the entry stays
    EXPECT_EQ(takePendingCreation(1), std::nullopt);

    clearFailedLiveries();
    EXPECT_TRUE(g_failedLiveries.empty());
    EXPECT_TRUE(g_failedTypeAirlines.empty());
}

TEST_F(Creation, TwentiethFailedLiveryIsUserError81)
{
    g_stopRequested = true;  // no messages while stopping
    for (int i = 1; i < 20; ++i) {
        const std::string title = fmt::format("Livery {}", i);
        EXPECT_NO_THROW(onCreationFailed({"ABC1", title, 0, 0})) << i;
    }
    // A title that failed before does not count again.
    EXPECT_NO_THROW(onCreationFailed({"ABC1", "Livery 3", 0, 0}));
    EXPECT_EQ(count("ABC1 'Livery 3' could not be created by your Sim!"), 0);
    try {
        onCreationFailed({"ABC1", "Livery 20", 0, 0});
        ADD_FAILURE() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(),
                     "81: There are too many liveries that could not be created!, see Log.txt");
    }
    EXPECT_EQ(count("===> Error 81, There are too many liveries that could not be created!"), 1);
}

TEST_F(Creation, QueuedLiveryTitleOutlivesTheLiveryDatabase)
{
    world();
    connect();
    userState();
    {
        // The title's text dies before the frame, as when a simulator switch rebuilds the
        // livery database while a creation is queued.
        std::string title = kA320;
        gf_queueCreateAc(AiCreateRequest{ground(), "DLH4TK", title, 0x3c6752});
        title.assign(title.size(), '#');
    }
    pump(0.05);
    const auto creates = callsOf("SimConnect_AICreateNonATCAircraft");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_TRUE(creates[0].arguments.starts_with(fmt::format("'{}', 'DLH4TK'", kA320)));
}

TEST_F(Creation, RemovalGoesOutOnTheNextFrameAndComesBackAsAResult)
{
    world();
    connect();
    userState();
    const uint32_t objectId = createPaired(kA320, "KLM56A", 0x48548e);
    ASSERT_EQ(objectId, 100u);
    gf_queueRemoveAc(objectId);
    gf_queueRemoveAc(1);  // the user aircraft: never removed
    pump(0.05);
    EXPECT_FALSE(simstandin::object(objectId));
    EXPECT_EQ(callsOf("SimConnect_AIRemoveObject").size(), 1u);
    EXPECT_EQ(count("==> SimConnect call to remove ac with objectid 1"), 1);
    const auto posted = results();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].kind, SimResultKind::removed);
    EXPECT_EQ(posted[0].objectId, objectId);
}

TEST_F(Creation, FailedCreateOrRemoveCallIsAFailedRequest)
{
    struct Case {
        const char* function;
        std::string lineEnd;
    };
    const Case cases[] = {
        {"SimConnect_AICreateNonATCAircraft",
         "==> ! Simcon call to create ac in sim failed, hexid:4216974, liv: 'Airbus A320 "
         "Lufthansa', callsign: KLM56A)"},
        {"SimConnect_AIRemoveObject", " !SimConnect call to remove AI ac from sim failed, id 64?"},
    };
    for (const auto& c : cases) {
        resetLinkState();
        world();
        connect();
        userState();
        simstandin::addFailure({c.function, 0, 1, std::nullopt});
        gf_queueCreateAc(AiCreateRequest{ground(), "KLM56A", kA320, 4216974});
        gf_queueRemoveAc(100);
        pump(0.05);
        const auto lines = log_.lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& l) { return l.ends_with(c.lineEnd); }),
                  1)
            << c.function;
        EXPECT_TRUE(g_simConnectFailed) << c.function;
        EXPECT_EQ(g_exitReason, ExitReason::SIMCONNECT_ERROR) << c.function;
        std::scoped_lock lock(g_simQueueMutex);
        g_hSimConnect = nullptr;
        gf_closeSimConnect(handle_);
    }
}

TEST_F(Creation, CreationWithoutAPacketIdIsStillPairedByItsCallsign)
{
    world();
    connect();
    userState();
    simstandin::addFailure({"SimConnect_GetLastSentPacketID", 0, 1, std::nullopt});
    gf_queueCreateAc(AiCreateRequest{ground(), "KLM56A", kA320, 0x48548e});
    pump(0.05);
    EXPECT_EQ(count("==> GetLastSentPacketID"), 1);
    EXPECT_FALSE(g_simConnectFailed);  // the creation went out; only its packet id is unknown
    ASSERT_EQ(g_packetIds.size(), 1u);
    EXPECT_EQ(g_packetIds[0].packetId, 0u);

    ASSERT_TRUE(gf_requestAircraftInRange());
    pump();
    const auto posted = results();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].kind, SimResultKind::liveCreated);
    EXPECT_EQ(posted[0].hexId, 0x48548eu);
    EXPECT_TRUE(g_packetIds.empty());
}

TEST_F(Creation, DemoScenarioKnowsTheDemoLiveries)
{
    const std::filesystem::path file =
        std::filesystem::path(VNTQ_SOURCE_DIR) / "standins" / "scenario" / "eddl_demo.json";
    auto scenario = nlohmann::json::parse(readFile(file));
    scenario["simulator"].erase("output_folder");  // nothing written into the build tree
    simstandin::resetFromText(scenario.dump(), file.parent_path());
    int refused = 0;
    while (!lf_openConnection(handle_)) ASSERT_LT(++refused, 10) << simstandin::lastError();
    EXPECT_EQ(refused, 3);
    lf_simConnectSetup(handle_);
    pump();
    EXPECT_EQ(count("MSFS 2020 (11.0.282174.999) connected"), 1);
    const auto user = userState();
    EXPECT_NEAR(user.latitude, 51.2793, 1e-9);
    EXPECT_NEAR(user.longitude, 6.7635, 1e-9);
    uint32_t hexId = 0x400000;
    for (const auto& livery : scenario["simulator"]["liveries"]) {
        const auto title = livery["title"].get<std::string>();
        ++hexId;
        const double delay_s = scenario["simulator"]["create_delay_s"].get<double>();
        EXPECT_NE(createPaired(title.c_str(), fmt::format("DEMO{}", hexId % 100), hexId, delay_s),
                  0u)
            << title;
    }
}

}  // namespace
}  // namespace qel::test
