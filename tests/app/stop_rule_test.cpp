#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app_fixture.h"
#include "foundation/catalogue.h"
#include "foundation/parameters.h"

namespace qel {
namespace {

TEST(ExitReasons, Texts)
{
    const std::pair<ExitReason, std::string_view> texts[] = {
        {ExitReason::NOT_YET_SET, "NOT YET SET"},
        {ExitReason::SIM_WAS_CLOSED, "SIM WAS CLOSED"},
        {ExitReason::NEW_FLIGHT, "NEW FLIGHT"},
        {ExitReason::NEW_SETTINGS, "NEW SETTINGS"},
        {ExitReason::USER_CLOSED_SIM, "USER CLOSED SIM"},
        {ExitReason::SIMCONNECT_ERROR, "SIMCONNECT ERROR"},
        {ExitReason::READER_ERROR, "READER ERROR"},
        {ExitReason::SYSTEM_ERROR, "SYSTEM ERROR"},
        {ExitReason::NEW_VERSION, "NEW VERSION"},
        {static_cast<ExitReason>(9), "NOT YET SET"},
    };
    for (const auto& [reason, text] : texts) EXPECT_EQ(gf_exitReasonText(reason), text);
}

using StopRule = test::AppTest;

TEST_F(StopRule, FirstSetterWins)
{
    EXPECT_TRUE(gf_requestStop(ExitReason::READER_ERROR, 15));
    EXPECT_FALSE(gf_requestStop(ExitReason::SIMCONNECT_ERROR, 9));
    gf_requestClose();
    EXPECT_EQ(g_exitReason, ExitReason::READER_ERROR);
    EXPECT_EQ(g_restartDelay, 15);
    EXPECT_TRUE(g_stopRequested);
    EXPECT_TRUE(g_closeRequested);
}

TEST_F(StopRule, RacingSettersLeaveTheWinnersReasonAndDelay)
{
    for (int round = 0; round < 20; ++round) {
        test::resetCoreState();
        std::atomic<int> winners{0};
        std::vector<std::thread> setters;
        for (int i = 1; i <= 8; ++i) {
            setters.emplace_back([&, i] {
                if (gf_requestStop(static_cast<ExitReason>(i), i * 10)) ++winners;
            });
        }
        for (auto& t : setters) t.join();
        EXPECT_EQ(winners, 1);
        EXPECT_EQ(g_restartDelay, static_cast<int32_t>(g_exitReason.load()) * 10);
    }
}

TEST_F(StopRule, ClosingRecordsUserClosedOnlyWhenNoReasonYet)
{
    g_restartDelay = 7;
    gf_requestClose();
    EXPECT_EQ(g_exitReason, ExitReason::USER_CLOSED_SIM);
    EXPECT_EQ(g_restartDelay, 7);
    EXPECT_TRUE(g_stopRequested);
    EXPECT_TRUE(g_closeRequested);
}

TEST_F(StopRule, ReaderStoppedRestartsOrIsASystemError)
{
    gf_readerStopped("Traffic Reader", true);
    EXPECT_TRUE(log_.contains("The Traffic Reader has stopped with an error"));
    EXPECT_EQ(g_exitReason, ExitReason::READER_ERROR);
    EXPECT_EQ(g_restartDelay, 15);
    test::resetCoreState();
    gf_readerStopped("Weather Reader", false);
    EXPECT_EQ(g_exitReason, ExitReason::SYSTEM_ERROR);
    EXPECT_EQ(g_restartDelay, 0);
}

TEST_F(StopRule, LostSimulatorStopsOnceWithSimWasClosed)
{
    gf_simDisconnected(false);
    EXPECT_EQ(g_exitReason, ExitReason::SIM_WAS_CLOSED);
    bool logged = false;
    for (const auto& line : log_.lines()) {
        logged |= line.ends_with(" Flight Simulator no longer connected, VNTQ will stop ...");
    }
    EXPECT_TRUE(logged);
    // While a stop is under way nothing changes, not even the simulator choice.
    gf_simDisconnected(true);
    EXPECT_EQ(SIM_CHOICE.value(), "MSFS 2020");
    EXPECT_EQ(g_exitReason, ExitReason::SIM_WAS_CLOSED);
}

TEST_F(StopRule, OtherSimulatorConnectedSwitchesTheChoiceAndRestarts)
{
    gf_readParameters();
    g_isMsfs2020 = true;
    SCAN_LIVERIES.current = false;
    std::filesystem::create_directory("output");
    test::writeFile("output/LiveriesScanned.xml", "<root/>");
    gf_simDisconnected(true);
    EXPECT_EQ(SIM_CHOICE.value(), "MSFS 2024");
    EXPECT_TRUE(SCAN_LIVERIES.current);
    EXPECT_TRUE(SCAN_AIRPORTS.current);
    EXPECT_FALSE(std::filesystem::exists("output/LiveriesScanned.xml"));
    EXPECT_TRUE(log_.contains("Switching MSFS version in VNTQ"));
    EXPECT_EQ(g_exitReason, ExitReason::NEW_SETTINGS);
    EXPECT_EQ(g_restartDelay, 3);
    EXPECT_NE(test::readFile(parametersFile()).find("name=\"SIM_CHOICE\" value=\"MSFS 2024\""),
              std::string::npos);
}

TEST_F(StopRule, SwitchWhileAnErrorIsShownIsStillLogged)
{
    // SIM_CHOICE changed while user error 150 waits for the user.
    gf_readParameters();
    g_isMsfs2020 = false;
    gf_setErrorMessage("150: No install path detected");
    lf_switchSimVersion();
    EXPECT_TRUE(log_.contains("Switching MSFS version in VNTQ"));
    EXPECT_EQ(g_exitReason, ExitReason::NEW_SETTINGS);
    EXPECT_EQ(g_restartDelay, 3);
}

}  // namespace
}  // namespace qel
