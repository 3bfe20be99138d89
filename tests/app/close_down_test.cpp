#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "app/app.h"
#include "app/core.h"
#include "app_fixture.h"
#include "foundation/catalogue.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "realtraffic/realtraffic.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "traffic/fleet.h"
#include "traffic/park_airports.h"

namespace qel {
namespace {

using namespace std::chrono_literals;

class CloseDown : public test::AppTest {
protected:
    CloseDown()
    {
        gf_readParameters();
        DESTINATION.set("EHAM");
        BLOCK_CALLSIGN.set("KLM1234");
        for (auto* setting : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
            setting->current = true;
            gf_saveBoolParameter(*setting);
        }
    }

    std::string stored(const char* key)
    {
        pugi::xml_document document;
        document.load_file(parametersFile().c_str());
        return gf_readStringParameter(document, key).value_or("<missing>");
    }

    int count(const std::string& line)
    {
        int n = 0;
        for (const auto& l : log_.lines()) n += l == line ? 1 : 0;
        return n;
    }

    // Runs close-down on its own thread, as the start-up thread does, while the test acts as
    // the user; joined on destruction.
    void closeDownInBackground() { closer_ = std::jthread([] { lf_closingDown(); }); }

    // Installs a stepped clock for the rest of the test; the close-down thread must end before
    // the test does.
    test::SteppedClock& steppedClock()
    {
        auto owned = std::make_unique<test::SteppedClock>();
        auto& clock = *owned;
        stepped_ = std::make_unique<platform::ScopedClock>(std::move(owned));
        return clock;
    }

    std::unique_ptr<platform::ScopedClock> stepped_;
    std::jthread closer_;
};

TEST_F(CloseDown, EachReasonRestartsOrQuitsAndClearsTheRunsSettings)
{
    struct Case {
        ExitReason reason;
        int32_t delay_s;
        WindowMessage message;
        bool scansOff;
    };
    const Case cases[] = {
        {ExitReason::SIM_WAS_CLOSED, 0, WindowMessage::Quit, false},
        {ExitReason::NEW_FLIGHT, 45, WindowMessage::Quit, false},
        {ExitReason::NEW_SETTINGS, 3, WindowMessage::StartUp, false},
        {ExitReason::USER_CLOSED_SIM, 0, WindowMessage::Quit, false},
        {ExitReason::SIMCONNECT_ERROR, 9, WindowMessage::StartUp, true},
        {ExitReason::READER_ERROR, 15, WindowMessage::StartUp, true},
        {ExitReason::NEW_VERSION, 0, WindowMessage::Quit, false},
    };
    for (const auto& c : cases) {
        const std::string name(gf_exitReasonText(c.reason));
        test::resetCoreState();
        DESTINATION.set("EHAM");
        BLOCK_CALLSIGN.set("KLM1234");
        for (auto* setting : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
            setting->current = true;
            gf_saveBoolParameter(*setting);
        }
        gf_requestStop(c.reason, c.delay_s);
        const int exitingBefore = count("Exiting: " + name);
        const std::string countdown = fmt::format("Restarting after {} seconds", c.delay_s);
        const int countdownBefore = count(countdown);

        lf_closingDown();

        EXPECT_EQ(messages_.next(), c.message) << name;
        EXPECT_EQ(count("Exiting: " + name), exitingBefore + 1) << name;
        EXPECT_EQ(DESTINATION.value(), "") << name;
        EXPECT_EQ(BLOCK_CALLSIGN.value(), "") << name;
        EXPECT_EQ(stored("DESTINATION"), "") << name;
        EXPECT_EQ(stored("BLOCK_CALLSIGN"), "") << name;
        EXPECT_EQ(stored("SCAN_LIVERIES"), c.scansOff ? "false" : "true") << name;
        EXPECT_EQ(stored("SCAN_AIRPORTS"), c.scansOff ? "false" : "true") << name;
        const bool restart = c.message == WindowMessage::StartUp;
        EXPECT_EQ(g_restartPending, restart) << name;
        if (restart) {
            // The next run starts from a clean stop state.
            EXPECT_FALSE(g_stopRequested) << name;
            EXPECT_EQ(g_exitReason, ExitReason::NOT_YET_SET) << name;
            EXPECT_EQ(count(countdown), countdownBefore + 1) << name;
        } else {
            EXPECT_TRUE(g_stopRequested) << name;
        }
    }
}

TEST_F(CloseDown, RestartStartsTheNextRunFromTheSameCleanStateAsATest)
{
    // State of every layer that one run leaves behind; the restart's reset is the tests' reset.
    g_parkingBusy = true;
    g_parkStandsLoaded = true;
    g_staticParkingCountdown = 3;
    g_reReadRequested = true;
    g_secondTicks = 77;
    g_rtProfessional = true;
    g_secondPassed = true;
    g_userState.latitude = 52.3;
    g_rtWindowStatus.qnh = 1020;
    g_parkRefreshPhase = true;
    // The user's position the static-collision check saw: it looks again only once the user
    // moved, and a new run must look at once.
    g_userState.longitude = 4.76389;
    g_userState.onGround = true;
    lf_removeNearUser();
    bool staleWorkRan = false;
    gf_postToMainLoop([&staleWorkRan] { staleWorkRan = true; });
    gf_requestStop(ExitReason::NEW_SETTINGS, 3);

    lf_closingDown();

    ASSERT_EQ(messages_.next(), WindowMessage::StartUp);
    EXPECT_FALSE(g_parkingBusy);
    EXPECT_FALSE(g_parkStandsLoaded);
    EXPECT_EQ(g_staticParkingCountdown, 20);
    EXPECT_FALSE(g_reReadRequested);
    EXPECT_EQ(g_secondTicks, 0);
    EXPECT_FALSE(g_rtProfessional);
    EXPECT_FALSE(g_secondPassed);
    EXPECT_EQ(g_userState.latitude, 0.0);
    EXPECT_EQ(g_rtWindowStatus.qnh, 0);
    EXPECT_FALSE(g_parkRefreshPhase);
    for (auto& work : gf_takeMainLoopWork()) work();
    EXPECT_FALSE(staleWorkRan);
    // The next run's first look finds a static created where the user stands.
    StaticAc statik;
    statik.hexId = 1;
    statik.callsign = "KLM1*";
    statik.state = SimObjectState::active;
    statik.objectId = 301;
    statik.size_nm = 0.0097;
    statik.standLat = 52.3;
    statik.standLon = 4.76389;
    g_staticAcs.push_back(statik);
    g_userState.latitude = 52.3;
    g_userState.longitude = 4.76389;
    g_userState.onGround = true;
    lf_removeNearUser();
    EXPECT_EQ(g_staticAcs.back().state, SimObjectState::removingfromsim);
}

TEST_F(CloseDown, RestartCountdownIsLogged)
{
    gf_requestStop(ExitReason::READER_ERROR, 15);
    lf_closingDown();
    ASSERT_EQ(messages_.next(), WindowMessage::StartUp);
    const auto lines = log_.lines();
    const auto exiting = std::find(lines.begin(), lines.end(), "Exiting: READER ERROR");
    ASSERT_NE(exiting, lines.end());
    const std::vector<std::string> tail(exiting, lines.end());
    const std::vector<std::string> expected = {
        "Prepare for a restart ...", "Restarting after 15 seconds", std::string(48, '-'),
        "Restart countdown finished"};
    auto at = tail.begin();
    for (const auto& line : expected) {
        at = std::find(at, tail.end(), line);
        EXPECT_NE(at, tail.end()) << line;
    }
}

TEST_F(CloseDown, NewFlightShowsItsMessageAndQuitsWithoutRestart)
{
    gf_requestStop(ExitReason::NEW_FLIGHT, 45);
    lf_closingDown();
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    EXPECT_TRUE(log_.contains("New flight detected, VNTQ will close, please restart manually ..."));
    EXPECT_FALSE(g_restartPending);
}

TEST_F(CloseDown, TimeShiftIsKeptOnlyWhenManualAndKeepIsOn)
{
    struct Case {
        bool keep;
        bool simTime;
        bool shiftKept;
        bool simTimeAfter;
    };
    const Case cases[] = {{false, false, false, false},
                          {false, true, false, false},
                          {true, false, true, false},
                          {true, true, false, true}};
    for (const auto& c : cases) {
        test::resetCoreState();
        KEEP_SIM_TIME_PAR.current = c.keep;
        SIM_TIME.current = c.simTime;
        TIME_SHIFT_DAYS.current = 2;
        TIME_SHIFT_HOURS.current = 3;
        gf_saveParameters(false);
        gf_requestStop(ExitReason::USER_CLOSED_SIM, 0);
        lf_closingDown();
        ASSERT_EQ(messages_.next(), WindowMessage::Quit);
        const std::string shown = fmt::format("keep {} sim time {}", c.keep, c.simTime);
        EXPECT_EQ(TIME_SHIFT_DAYS.current, c.shiftKept ? 2 : 0) << shown;
        EXPECT_EQ(TIME_SHIFT_HOURS.current, c.shiftKept ? 3 : 0) << shown;
        EXPECT_EQ(stored("TIME_SHIFT_DAYS"), c.shiftKept ? "2" : "0") << shown;
        EXPECT_EQ(SIM_TIME.current, c.simTimeAfter) << shown;
        EXPECT_EQ(stored("SIM_TIME"), c.simTimeAfter ? "true" : "false") << shown;
    }
}

TEST_F(CloseDown, SettingsThatWereNeverReadAreLeftAlone)
{
    // The user's file keeps a manual shift; this run failed before reading it (user error 41)
    // and holds the built-in defaults.
    KEEP_SIM_TIME_PAR.current = true;
    SIM_TIME.current = true;
    TIME_SHIFT_DAYS.current = 2;
    gf_saveParameters(false);
    const std::string before = test::readFile(parametersFile());
    KEEP_SIM_TIME_PAR.current = false;
    SIM_TIME.current = false;
    TIME_SHIFT_DAYS.current = 0;
    g_parametersRead = false;
    gf_requestStop(ExitReason::USER_CLOSED_SIM, 0);
    lf_closingDown();
    ASSERT_EQ(messages_.next(), WindowMessage::Quit);
    EXPECT_EQ(test::readFile(parametersFile()), before);
    EXPECT_EQ(stored("SIM_TIME"), "true");
    EXPECT_EQ(stored("TIME_SHIFT_DAYS"), "2");
}

TEST_F(CloseDown, SystemErrorWaitsUntilTheUserCloses)
{
    auto& clock = steppedClock();
    // A user error: the reason is recorded, the stop flag stays clear.
    gf_setErrorMessage("41: VNTQ must be run from the VNTQ folder!");
    g_exitReason = ExitReason::SYSTEM_ERROR;
    closeDownInBackground();
    clock.awaitSleeps(1);
    clock.advance(500ms);
    clock.awaitSleeps(2);  // a turn later it still waits
    EXPECT_EQ(messages_.pending(), 0u);
    gf_requestClose();
    clock.advance(500ms);
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    closer_.join();
    EXPECT_TRUE(log_.contains("User closed VNTQ"));
    EXPECT_TRUE(log_.contains("Exiting: SYSTEM ERROR"));
}

TEST_F(CloseDown, StopRequestedDuringSystemErrorWaitIsFollowed)
{
    // User error 150: the user types the Community path and presses Enter, which stops with
    // NEW SETTINGS; the wait ends and the program restarts instead of waiting for a close.
    auto& clock = steppedClock();
    gf_setErrorMessage("150: No install path detected. Type the full path to your Community "
                       "folder above, then press Enter");
    g_exitReason = ExitReason::SYSTEM_ERROR;
    closeDownInBackground();
    clock.awaitSleeps(1);
    gf_requestStop(ExitReason::NEW_SETTINGS, 3);
    clock.advance(500ms);
    for (int second = 0; second < 3; ++second) {  // the restart countdown
        clock.awaitSleeps(2 + second);
        clock.advance(1s);
    }
    EXPECT_EQ(messages_.next(), WindowMessage::StartUp);
    closer_.join();
    EXPECT_FALSE(log_.contains("User closed VNTQ"));
    EXPECT_EQ(stored("SCAN_LIVERIES"), "true");
}

TEST_F(CloseDown, SystemErrorFromAnExceptionIgnoresLaterStops)
{
    auto& clock = steppedClock();
    gf_requestStop(ExitReason::SYSTEM_ERROR, 0);
    closeDownInBackground();
    clock.awaitSleeps(1);
    gf_requestStop(ExitReason::NEW_SETTINGS, 3);
    clock.advance(500ms);
    clock.awaitSleeps(2);
    EXPECT_EQ(messages_.pending(), 0u);
    gf_requestClose();
    clock.advance(500ms);
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    closer_.join();
}

TEST_F(CloseDown, CloseDuringRestartCountdownQuits)
{
    auto& clock = steppedClock();
    gf_requestStop(ExitReason::READER_ERROR, 15);
    closeDownInBackground();
    clock.awaitSleeps(1);
    clock.advance(1s);
    clock.awaitSleeps(2);
    gf_requestClose();
    clock.advance(1s);
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    closer_.join();
    EXPECT_FALSE(g_restartPending);
    EXPECT_TRUE(g_stopRequested);
    EXPECT_TRUE(log_.contains("User closed VNTQ"));
}

TEST_F(CloseDown, FailureStillEndsTheRunByItsReason)
{
    struct Case {
        ExitReason reason;
        WindowMessage message;
    };
    for (const auto& c : {Case{ExitReason::READER_ERROR, WindowMessage::StartUp},
                          Case{ExitReason::USER_CLOSED_SIM, WindowMessage::Quit}}) {
        test::resetCoreState();
        // A flight-plan folder that cannot even be looked at: a file stands in its path.
        test::writeFile("blocked", "not a folder");
        const std::filesystem::path appData = g_appDataDir;
        gf_setAppDataDir(std::filesystem::path("blocked") / "VNTQ");
        gf_createFlightPlanFolder();
        gf_setAppDataDir(appData);
        gf_requestStop(c.reason, 15);
        lf_closingDown();
        EXPECT_EQ(messages_.next(), c.message) << gf_exitReasonText(c.reason);
        const auto lines = log_.lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.starts_with("lf_closingDown exception") &&
                   line.find("orig_dest") != std::string::npos;
        }));
        // A restart still begins from a clean stop state.
        EXPECT_EQ(g_stopRequested, c.message == WindowMessage::Quit);
    }
    gf_createFlightPlanFolder();  // the run's own again, for the tests after this one
}

// A learned file whose folder cannot be made is a failed save like a failed write: the rest of
// the close-down runs and the run ends by its reason.
TEST_F(CloseDown, ALearnedFileThatCannotBeSavedLeavesTheRestOfCloseDownToRun)
{
    g_parkAirport.code = AirportCode("EHAM");
    g_parkStandsLoaded = true;
    g_parkFileRead.learnedPath = std::filesystem::path("airports") / "blocked" / "EHAM.xml";
    std::filesystem::create_directories("airports");
    test::writeFile(std::filesystem::path("airports") / "blocked", "not a folder");
    gf_requestStop(ExitReason::USER_CLOSED_SIM, 0);
    lf_closingDown();
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    const auto lines = log_.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.ends_with(" saving 'airports/blocked/EHAM.xml' did not succeed");
    }));
    EXPECT_FALSE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("lf_closingDown exception");
    }));
    EXPECT_FALSE(gf_parkAirportSet());
    // The run's settings, cleared after the park airport, are cleared.
    EXPECT_EQ(stored("DESTINATION"), "");
    EXPECT_EQ(stored("BLOCK_CALLSIGN"), "");
}

}  // namespace
}  // namespace qel
