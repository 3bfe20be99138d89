// The "SimClient" thread itself: the wait for the simulator, the open checks that end it, and
// the ends of a connection that the program is told of (a simulator that quits or whose
// dispatch keeps failing, the other simulator), or not (a stop while waiting, a user error).
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "foundation/catalogue.h"
#include "link_fixture.h"

namespace qel::test {
namespace {

using SimClientThread = SimLinkTest;

bool endsWithLine(const std::vector<std::string>& lines, const std::string& end)
{
    for (const auto& line : lines) {
        if (line.ends_with(end)) return true;
    }
    return false;
}

TEST_F(SimClientThread, WaitsForTheSimulatorThenEndsTheRunWhenItQuits)
{
    for (const bool msfs2020 : {true, false}) {
        resetLinkState();
        g_isMsfs2020 = msfs2020;
        world(fmt::format(R"("open_failures": 3, "name": "{}")",
                          msfs2020 ? "KittyHawk" : "SunRise"));
        startThread();
        await([] { return g_flightRunning.load(); });
        const std::string waiting = fmt::format("Waiting for MSFS 20{} ...", msfs2020 ? 20 : 24);
        EXPECT_EQ(count(waiting), 1);
        EXPECT_EQ(simstandin::openAttempts(), 4);
        const auto opens = callsOf("SimConnect_Open");
        ASSERT_EQ(opens.size(), 4u);
        for (size_t i = 1; i < opens.size(); ++i) {
            EXPECT_NEAR(opens[i].time_s - opens[i - 1].time_s, 0.1, 0.01);
        }
        EXPECT_TRUE(g_simWindowStatus.simulatorConnected);
        EXPECT_FALSE(g_simNotConnected);

        simstandin::quit();
        thread_.join();
        EXPECT_FALSE(g_flightRunning);
        EXPECT_FALSE(g_simWindowStatus.simulatorConnected);
        EXPECT_EQ(g_exitReason, ExitReason::SIM_WAS_CLOSED);
        EXPECT_EQ(g_restartDelay, 0);
        EXPECT_TRUE(endsWithLine(log_.lines(),
                                 " Flight Simulator no longer connected, VNTQ will stop ..."));
        EXPECT_EQ(callsOf("SimConnect_Close").size(), 1u);
        {
            std::scoped_lock lock(g_simQueueMutex);
            EXPECT_EQ(g_hSimConnect, nullptr);
        }
    }
    EXPECT_EQ(count("SimConnect closed ok"), 2);
}

TEST_F(SimClientThread, OtherThreadsNeverRequestOnAClosedConnection)
{
    // The connection ends by the simulator quitting, and by the close-down's stop.
    for (const bool quits : {true, false}) {
        resetLinkState();
        world();
        startThread();
        await([] { return g_flightRunning.load(); });
        std::atomic<bool> done{false};
        // The traffic manager's data sets of definition 401 too: they share the handle.
        std::thread requester([&done] {
            while (!done) {
                gf_requestUserAcPosition();
                gf_requestAircraftInRange();
                gf_setAiControls(1, 0.0, 0.0, 0.0);
            }
        });
        await([] { return simstandin::calls().size() > 200; });
        if (quits) {
            simstandin::quit();
        } else {
            thread_.request_stop();
        }
        thread_.join();
        done = true;
        requester.join();
        for (const auto& call : simstandin::calls()) {
            EXPECT_NE(call.note, "no such connection") << call.function << " " << quits;
        }
    }
}

TEST_F(SimClientThread, StopWhileWaitingClosesNothingAndTellsNoOne)
{
    world(R"("open_failures": 1000000)");
    startThread();
    await([] { return simstandin::openAttempts() >= 3; });
    thread_.request_stop();
    thread_.join();
    EXPECT_TRUE(callsOf("SimConnect_Close").empty());
    EXPECT_EQ(g_exitReason, ExitReason::NOT_YET_SET);
    EXPECT_TRUE(g_simNotConnected);
}

TEST_F(SimClientThread, OtherSimulatorSwitchesTheChoiceAndRestarts)
{
    world(R"("name": "SunRise")");
    startThread();
    thread_.join();
    EXPECT_EQ(count("MSFS and VNTQ do not match, restarting ..."), 1);
    EXPECT_EQ(SIM_CHOICE.value(), "MSFS 2024");
    EXPECT_EQ(g_exitReason, ExitReason::NEW_SETTINGS);
    EXPECT_EQ(g_restartDelay, 3);
    EXPECT_FALSE(g_flightRunning);
    EXPECT_EQ(callsOf("SimConnect_Close").size(), 1u);
}

TEST_F(SimClientThread, UserErrorsOfTheConnectionAreShownWithoutStopping)
{
    struct Case {
        std::string members;
        std::optional<simstandin::FailureRule> failure;
        std::string error;
    };
    const Case cases[] = {
        {R"("name": "Prepar3D")", std::nullopt,
         "Error 77: 'Prepar3D' not being MSFS 2020 or MSFS 2024 connects ... ?"},
        {"",
         simstandin::FailureRule{"SimConnect_Open", 0, 1, SIMCONNECT_EXCEPTION_VERSION_MISMATCH},
         "Error 95: SimConnect Version Mismatch, dwIndex: 0"},
    };
    for (const auto& c : cases) {
        resetLinkState();
        world(c.members);
        if (c.failure) simstandin::addFailure(*c.failure);
        startThread();
        thread_.join();
        EXPECT_EQ(count(c.error), 1) << c.error;
        EXPECT_EQ(g_exitReason, ExitReason::NOT_YET_SET) << c.error;
        EXPECT_FALSE(g_stopRequested) << c.error;
        // The connection is gone: no flight runs for the program.
        EXPECT_FALSE(g_flightRunning) << c.error;
        EXPECT_EQ(callsOf("SimConnect_Close").size(), 1u) << c.error;
    }
}

TEST_F(SimClientThread, DispatchThatKeepsFailingIsALostSimulator)
{
    world();
    simstandin::addFailure({"SimConnect_CallDispatch", 5, -1, std::nullopt});
    startThread();
    thread_.join();
    EXPECT_EQ(count("==> SimConnect dispatch keeps failing, the simulator is gone"), 1);
    EXPECT_EQ(g_exitReason, ExitReason::SIM_WAS_CLOSED);
    // It gave up after three seconds of failures, not at the first one.
    std::vector<simstandin::CallRecord> failed;
    for (const auto& call : callsOf("SimConnect_CallDispatch")) {
        if (call.result == E_FAIL) failed.push_back(call);
    }
    ASSERT_FALSE(failed.empty());
    EXPECT_NEAR(failed.back().time_s - failed.front().time_s, 3.0, 0.01);
}

TEST_F(SimClientThread, FlightFileLoadedInTheSimulatorIsANewFlight)
{
    world();
    connect();
    simstandin::loadFlight("flights/EDDL.FLT");
    pump();
    EXPECT_EQ(count("==> SimConnect: New file event"), 1);
    EXPECT_EQ(g_exitReason, ExitReason::NEW_FLIGHT);
    EXPECT_EQ(g_restartDelay, 45);
}

TEST_F(SimClientThread, UserAircraftMovedMoreThanTenMilesIsANewFlight)
{
    world();
    connect();
    userState();
    EXPECT_FALSE(g_stopRequested);
    simstandin::teleportUser(kUserLat + 10.1 / 60.0, kUserLon);
    userState();
    EXPECT_EQ(count("Teleport"), 1);
    EXPECT_EQ(g_exitReason, ExitReason::NEW_FLIGHT);
    EXPECT_EQ(g_restartDelay, 45);
}

}  // namespace
}  // namespace qel::test
