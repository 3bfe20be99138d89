#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "app/app.h"
#include "app/core.h"
#include "app_fixture.h"
#include "platform/process.h"
#include "platform/scoped_env.h"
#include "platform/terminal.h"
#include "platform/window.h"
#include "foundation/catalogue.h"
#include "foundation/parameters.h"
#include "foundation/version.h"
#include "liveries/liveries.h"
#include "scenery/scan.h"
#include "realtraffic/realtraffic.h"
#include "simlink/simlink.h"
#include "standins/realtraffic/rt_standin.h"
#include "standins/simulator/sim_standin.h"
#include "traffic/traffic.h"

namespace qel {
namespace {

namespace fs = std::filesystem;

// The RealTraffic service around the user at Schiphol: two airliners and a station.
const char* const kRealTrafficScenario = R"({
  "clock": {"start": "now"},
  "user": {"lat": 52.3086, "lon": 4.76389},
  "flights": [
    {"hex": "484f6b", "callsign": "KLM1234", "registration": "PH-BXA", "type": "B738",
     "category": "A3", "points": [
       {"t_s": -100000, "lat": 52.20, "lon": 4.60, "alt_ft": 6000, "gs_kt": 250},
       {"t_s": 100000, "lat": 52.45, "lon": 4.90, "alt_ft": 6000, "gs_kt": 250}]},
    {"hex": "4ca7b5", "callsign": "RYR2AB", "registration": "EI-DCL", "type": "B738",
     "category": "A3", "points": [
       {"t_s": -100000, "lat": 52.40, "lon": 4.50, "alt_ft": 9000, "gs_kt": 280},
       {"t_s": 100000, "lat": 52.25, "lon": 5.00, "alt_ft": 9000, "gs_kt": 280}]}
  ],
  "weather": {"stations": [{"icao": "EHAM", "lat": 52.3086, "lon": 4.76389, "qnh": 1013}]}
})";

// The program's time-outs that wait on the RealTraffic stand-in (the first traffic within 10 s,
// the readers' end within 10 s) must leave a loaded machine, or one under the thread sanitizer,
// time for the stand-in's real replies: 10 s of this clock are half a second.
constexpr double kRunClockFactor = 20.0;

class Run : public test::AppTest {
protected:
    // The RealTraffic stand-in on the test's clock, and the client pointed at it.
    Run()
        : test::AppTest(kRunClockFactor),
          realTraffic_(std::make_unique<standin::RtStandin>(
              standin::parseScenario(kRealTrafficScenario, platform::epochSeconds())))
    {
        setenv("VNTQ_RT_URL", realTraffic_->url().c_str(), 1);
        setenv("VNTQ_RT_LICENSE", "standard-license", 1);
        gf_keepTrafficBatches(true);
    }
    ~Run() override
    {
        // The run ends before its server goes.
        gf_requestClose();
        gf_joinStartUpThread();
        gf_keepTrafficBatches(false);
        realTraffic_.reset();
        unsetenv("VNTQ_RT_URL");
        unsetenv("VNTQ_RT_LICENSE");
    }

    std::size_t signOuts() const { return realTraffic_->requests("/v4/deauth").size(); }

    int count(const std::string& line)
    {
        int n = 0;
        for (const auto& l : log_.lines()) n += l == line ? 1 : 0;
        return n;
    }

    std::string stored(const char* key)
    {
        pugi::xml_document document;
        document.load_file(parametersFile().c_str());
        return gf_readStringParameter(document, key).value_or("<missing>");
    }

    // The main loop closes the program once it has counted `seconds` simulator seconds and,
    // with `afterFirstQnh`, the weather reader has published its first QNH; the work re-queues
    // itself until then.
    static void closeAfterSimulatorSeconds(int32_t seconds, bool afterFirstQnh = false)
    {
        gf_postToMainLoop([seconds, afterFirstQnh] {
            if (g_secondTicks >= seconds && (!afterFirstQnh || g_qnhReady != 0)) {
                gf_requestClose();
            } else {
                closeAfterSimulatorSeconds(seconds, afterFirstQnh);
            }
        });
    }

    // Blocks until the predicate holds; fails after a minute of real time.
    static void awaitState(const std::function<bool()>& holds)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!holds()) {
            ASSERT_LT(std::chrono::steady_clock::now(), end);
            std::this_thread::yield();
        }
    }

    std::unique_ptr<standin::RtStandin> realTraffic_;
};

TEST_F(Run, MainLoopRunsUntilClosedAndClosesDownCleanly)
{
    // The start waits only 3 s for the first QNH, and a close aborts the reply under way: the
    // stand-in's replies take real time while the clock runs fast, so the close waits for it.
    closeAfterSimulatorSeconds(3, true);
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    gf_joinStartUpThread();
    EXPECT_EQ(count("Exiting: USER CLOSED SIM"), 1);
    EXPECT_EQ(count("MSFS 2020 (11.0.282174.999) connected"), 1);
    EXPECT_EQ(count("SimConnect closed ok"), 1);
    // Every worker ended, the session was closed, and the run's folder is gone.
    EXPECT_TRUE(gf_weatherReaderFinished());
    EXPECT_TRUE(gf_trafficReaderFinished());
    EXPECT_EQ(signOuts(), 1u);
    EXPECT_TRUE(gf_rtGuid().empty());
    // The readers ran: the first QNH, the first load in five steps, then the polls.
    EXPECT_EQ(g_qnhReady.load(), 1013);
    // A reader that sees the close ends at once instead of retrying aborted transfers until
    // close-down tells it to stop.
    for (const auto& line : log_.lines()) {
        EXPECT_EQ(line.find("Operation was aborted"), std::string::npos) << line;
    }
    const auto batches = gf_keptTrafficBatches();
    ASSERT_GE(batches.size(), 5u);
    EXPECT_EQ(batches[0].delay_s, 0);
    EXPECT_EQ(batches[4].delay_s, 24);
    EXPECT_EQ(batches[4].records.size(), 2u);
    EXPECT_FALSE(fs::exists(user_ / "VNTQ" / "orig_dest"));
    // output/errors too was made, but the livery scan takes it away when it has no error to
    // report; the scan's list is there.
    for (const char* folder : {"output/info", "airports/learned/stock", "airports/my_thirdparty",
                               "input/my_regcodes"}) {
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
    }
    EXPECT_TRUE(fs::exists("output/LiveriesScanned.xml"));
}

TEST_F(Run, LinksBackIntoALiveryPackageEndTheStartUpScanAndTheProgramRuns)
{
    // The simulator's packages below a folder whose name holds a skip word of the livery walk,
    // and two links back to the AI package's own folders inside it, as an add-on manager may
    // leave them.
    const auto packages = user_ / "airport-addons" / "Packages";
    fs::create_directories(packages / "Official");
    const auto package = packages / "Community" / "user-aitraffic-test";
    const auto aircraft = package / "SimObjects" / "Airplanes" / "A320";
    fs::create_directories(aircraft);
    test::writeFile(aircraft / "aircraft.cfg",
                    "[GENERAL]\nicao_type_designator = A320\n[FLTSIM.0]\n"
                    "title = Test A320 Lufthansa\nicao_airline = DLH\n");
    fs::create_directory_symlink("..", package / "SimObjects" / "again");
    fs::create_directory_symlink("../../..", aircraft / "package");
    test::writeFile(user_ / "roaming" / "Microsoft Flight Simulator" / "UserCfg.opt",
                    "InstalledPackagesPath \"" + packages.string() + "\"\n");
    closeAfterSimulatorSeconds(1);
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    EXPECT_EQ(count("Exiting: USER CLOSED SIM"), 1);
    EXPECT_EQ(count("MSFS 2020 (11.0.282174.999) connected"), 1);
    // The package's one livery, found once.
    const std::string scanned = test::readFile("output/LiveriesScanned.xml");
    const std::string title = R"(t="Test A320 Lufthansa")";
    EXPECT_NE(scanned.find(title), std::string::npos) << scanned;
    EXPECT_EQ(scanned.find(title), scanned.rfind(title));
}

// The program's window, headless, made as the entry point makes it; closed at the end.
class HeadlessWindow {
public:
    HeadlessWindow()
    {
        gf_resetTrafficWindowStatus();
        made_ = initInstance("VNTQ");
    }
    ~HeadlessWindow()
    {
        gf_closeMainWindow();
        gf_resetTrafficWindowStatus();
    }
    bool made() const { return made_; }
    static platform::Control* control(const ControlBinding& binding)
    {
        return g_mainWindowState.window.load()->control(binding.controlId);
    }

private:
    test::ScopedEnv headless_{"VNTQ_HEADLESS", "1"};
    bool made_ = false;
};

int lf_occurrences(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The error that stops the run replaces the message on the line: a headless run says it once.
TEST_F(Run, AHeadlessRunSaysALicenseErrorOnce)
{
    HeadlessWindow window;
    ASSERT_TRUE(window.made());
    setenv("VNTQ_RT_LICENSE", "expired-license", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    gf_joinStartUpThread();
    platform::flushStandardError(std::chrono::minutes(1));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(lf_occurrences(said, "Your RT license is expired"), 1) << said;
    EXPECT_EQ(lf_occurrences(said, "Error 10: Your RT license is expired\n"), 1) << said;
    EXPECT_EQ(g_exitCode, 1);
}

// A sign-in that cannot reach the service: a headless run's terminal says why, and counts down
// to the restart on one line, written over in place on a terminal, given once elsewhere.
TEST_F(Run, AHeadlessSignInThatCannotConnectSaysWhyAndCountsDownOnOneLine)
{
    HeadlessWindow window;
    ASSERT_TRUE(window.made());
    setenv("VNTQ_RT_URL", "http://127.0.0.1:1", 1);
    for (const bool terminal : {false, true}) {
        platform::overrideStandardErrorIsTerminal(terminal);
        testing::internal::CaptureStderr();
        const auto message = runOnce();
        gf_joinStartUpThread();
        platform::flushStandardError(std::chrono::minutes(1));
        const std::string said = testing::internal::GetCapturedStderr();
        platform::overrideStandardErrorIsTerminal(std::nullopt);
        ASSERT_EQ(message, WindowMessage::StartUp) << said;
        EXPECT_EQ(lf_occurrences(said, " Authentication failed: Couldn't connect to server\n"), 1)
            << said;
        EXPECT_EQ(lf_occurrences(said, "The Authenticater has stopped with an error\n"), 1) << said;
        if (terminal) {
            EXPECT_NE(said.find("\rRestarting after 15 seconds\rRestarting after 14 seconds\r"),
                      std::string::npos)
                << said;
            // The last second, shorter, blanks out what the one before left.
            EXPECT_NE(said.find("seconds\rRestarting after 1 second "), std::string::npos) << said;
            EXPECT_EQ(said.find("seconds\n"), std::string::npos) << said;
        } else {
            EXPECT_EQ(lf_occurrences(said, "Restarting after"), 1) << said;
            EXPECT_NE(said.find("\nRestarting after 15 seconds\n"), std::string::npos) << said;
        }
    }
}

TEST_F(Run, TheQueryBoxAndTheWeatherPointFollowAUserWhoMoves)
{
    // The user goes 0.12 degrees north in two minutes (the query box is sent with two
    // decimals).
    test::resetSimulator(R"("user": {"path": [{"t_s": 0, "lat": 52.3086, "lon": 4.76389},
                                              {"t_s": 120, "lat": 52.4286, "lon": 4.76389}]})");
    closeAfterSimulatorSeconds(40, true);
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    const auto moved = [this](const std::string& path, const std::string& field) {
        const auto requests = realTraffic_->requests(path);
        if (requests.size() < 2) return 0.0;
        return std::stod(requests.back().field(field)) - std::stod(requests.front().field(field));
    };
    EXPECT_GT(moved("/v4/weather", "lat"), 0.02);
    EXPECT_GT(moved("/v4/traffic", "top"), 0.02);
}

TEST_F(Run, ReaderErrorRestartsTwiceInTheSameProcess)
{
    HeadlessWindow window;
    ASSERT_TRUE(window.made());
    // A 401 for the first load and the first poll of two runs: the session is lost.
    realTraffic_->addFault("/v4/traffic", standin::Fault::withStatus(401, "Unknown GUID"), 4);
    SCAN_LIVERIES.current = true;
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(runOnce(), WindowMessage::StartUp) << run;
        EXPECT_TRUE(g_restartPending);
        EXPECT_FALSE(g_stopRequested);
        // No light aircraft, helicopter or fast jet is installed: each start, the first and the
        // restart that keeps the livery database alike, greys their options.
        for (const ControlBoolParameter* option :
             {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}) {
            EXPECT_FALSE(option->current) << option->name << " run " << run;
            EXPECT_FALSE(HeadlessWindow::control(*option)->enabled())
                << option->name << " run " << run;
        }
    }
    closeAfterSimulatorSeconds(2);
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    gf_joinStartUpThread();

    EXPECT_EQ(count("The Traffic Reader has stopped with an error"), 2);
    EXPECT_EQ(count("Exiting: READER ERROR"), 2);
    EXPECT_EQ(count("Restarting after 15 seconds"), 2);
    EXPECT_EQ(count("Restart countdown finished"), 2);
    EXPECT_EQ(count("Exiting: USER CLOSED SIM"), 1);
    EXPECT_EQ(stored("SCAN_LIVERIES"), "false");
    EXPECT_EQ(stored("SCAN_AIRPORTS"), "false");
    EXPECT_EQ(signOuts(), 3u);
    EXPECT_EQ(realTraffic_->requests("/v4/auth").size(), 3u);
}

TEST_F(Run, OptionsWithoutLiveriesShowUntickedAtTheFirstStart)
{
    HeadlessWindow window;
    ASSERT_TRUE(window.made());
    closeAfterSimulatorSeconds(1);
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    for (const ControlBoolParameter* option :
         {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}) {
        EXPECT_FALSE(HeadlessWindow::control(*option)->checked()) << option->name;
    }
}

TEST_F(Run, NoFirstTrafficIsAReaderError)
{
    // The first load never comes back; close-down ends the transfer. The reader might still
    // merge it, without a lock, while the run gives up: no tick may touch the traffic then.
    realTraffic_->addFault("/v4/traffic", standin::Fault::stall());
    const int32_t ticks = g_fastTicks;
    EXPECT_EQ(runOnce(), WindowMessage::StartUp);
    EXPECT_EQ(g_fastTicks.load(), ticks);
    const auto lines = log_.lines();
    const auto noTraffic = std::find(lines.begin(), lines.end(), "No traffic in this region?");
    const auto timedOut = std::find(lines.begin(), lines.end(),
                                    "TrafficReader receiving timed out after 10 seconds?");
    EXPECT_NE(noTraffic, lines.end());
    EXPECT_NE(timedOut, lines.end());
    EXPECT_LT(noTraffic, timedOut);
    EXPECT_EQ(count("Exiting: READER ERROR"), 1);
}

TEST_F(Run, FailedOnGroundRequestRestartsAfterNineSeconds)
{
    // The first request on the user aircraft is the once-per-second on-ground request.
    simstandin::addFailure({"SimConnect_RequestDataOnSimObject", 0, 1, std::nullopt});
    EXPECT_EQ(runOnce(), WindowMessage::StartUp);
    EXPECT_EQ(count("==> SimConnect request ac gnd/air fails"), 1);
    EXPECT_EQ(count("SimConnect request error"), 1);
    EXPECT_EQ(count("Exiting: SIMCONNECT ERROR"), 1);
    EXPECT_EQ(count("Restarting after 9 seconds"), 1);
    // The restart reset the link: the next run starts without the failed-request flag.
    EXPECT_FALSE(g_simConnectFailed);
}

TEST_F(Run, SignInWithoutSessionRestartsWithoutReadersAndSignsNoOneOut)
{
    setenv("VNTQ_RT_LICENSE", "no-guid-license", 1);
    EXPECT_EQ(runOnce(), WindowMessage::StartUp);
    gf_joinStartUpThread();
    EXPECT_EQ(count("The Authenticater has stopped with an error"), 1);
    EXPECT_EQ(count("Exiting: READER ERROR"), 1);
    EXPECT_TRUE(realTraffic_->requests("/v4/traffic").empty());
    EXPECT_EQ(signOuts(), 0u);
}

TEST_F(Run, ExpiredLicenseIsShownUntilTheUserCloses)
{
    setenv("VNTQ_RT_LICENSE", "expired-license", 1);
    gf_onStartUpMessage();
    awaitState([] { return g_exitReason == ExitReason::SYSTEM_ERROR; });
    gf_requestClose();
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    EXPECT_EQ(count("Error 10: Your RT license is expired"), 1);
    EXPECT_EQ(signOuts(), 0u);
}

TEST_F(Run, CloseWhileAReplyStallsDoesNotWaitForIt)
{
    // No first QNH: the start goes on after 3 s, and the weather request is held open.
    realTraffic_->addFault("/v4/nearestmetar", standin::Fault::stall());
    closeAfterSimulatorSeconds(1);
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    gf_joinStartUpThread();
    EXPECT_EQ(count("The Weather Reader did not finish within 10 seconds"), 0);
    EXPECT_TRUE(gf_weatherReaderFinished());
    EXPECT_TRUE(gf_trafficReaderFinished());
    EXPECT_EQ(signOuts(), 1u);
}

TEST_F(Run, SimulatorClosedQuits)
{
    gf_postToMainLoop([] { simstandin::quit(); });
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    EXPECT_EQ(count("Exiting: SIM WAS CLOSED"), 1);
    EXPECT_EQ(count("SimConnect closed ok"), 1);
}

TEST_F(Run, ClosingWhileWaitingForTheSimulatorEndsTheRun)
{
    test::resetSimulator(R"("flight_running": false)");
    gf_onStartUpMessage();
    awaitState([] { return fs::exists(g_appDataDir / "orig_dest"); });
    gf_requestClose();
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    EXPECT_EQ(count("Exiting: USER CLOSED SIM"), 1);
    // The once-per-second request waits for a flight.
    for (const auto& call : simstandin::calls()) {
        EXPECT_FALSE(call.function == "SimConnect_RequestDataOnSimObject" &&
                     call.arguments.starts_with("108,"))
            << call.arguments;
    }
}

TEST_F(Run, ProductionModeStopsAfterTheDataFiles)
{
    g_productionMode = true;
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    EXPECT_EQ(count("Exiting: USER CLOSED SIM"), 1);
    EXPECT_EQ(g_exitCode, 0);
    EXPECT_TRUE(fs::exists(parametersFile()));
    EXPECT_TRUE(fs::is_directory("airports/learned/thirdparty"));
    // No worker thread was started and no scan ran.
    EXPECT_FALSE(fs::exists(user_ / "VNTQ" / "orig_dest"));
    EXPECT_TRUE(gf_rtGuid().empty());
    EXPECT_EQ(stored("SCAN_LIVERIES"), "true");
}

TEST_F(Run, AnAircraftDatabaseEmptiedBetweenRunsIsReadAgain)
{
    // As a test of another library leaves the process: the tables emptied after a run read them.
    g_productionMode = true;
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    gf_joinStartUpThread();
    gf_clearAircraftDatabase();
    test::resetCoreState();
    g_productionMode = true;
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    EXPECT_TRUE(gf_isModelCode("B738"));
}

TEST_F(Run, AWaitForTheEndOfARunThatWaitsForTheUserFailsAndClosesIt)
{
    fs::remove("docs");
    gf_onStartUpMessage();
    EXPECT_NONFATAL_FAILURE(messages_.next(std::chrono::milliseconds(100)), "no window message");
    // The close lets the join below end.
    ASSERT_TRUE(g_closeRequested);
    gf_joinStartUpThread();
}

TEST_F(Run, WithoutDocsFolderUserError41WaitsForTheUser)
{
    fs::remove("docs");
    gf_onStartUpMessage();
    awaitState([] { return g_exitReason == ExitReason::SYSTEM_ERROR; });
    gf_requestClose();
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    EXPECT_EQ(count("Error 41: VNTQ must be run from the VNTQ folder! Start it in the folder that "
                    "holds its docs and input folders; " +
                    fs::current_path().string() + " has no docs folder"),
              1);
    EXPECT_EQ(count("Exiting: SYSTEM ERROR"), 1);
    EXPECT_EQ(count("User closed VNTQ"), 1);
}

TEST_F(Run, NoInstallIsUserError150)
{
    platform::clearKnownFolderOverrides();
    platform::overrideKnownFolder(platform::KnownFolder::RoamingAppData, user_ / "empty");
    platform::overrideKnownFolder(platform::KnownFolder::LocalAppData, user_ / "empty");
    // The only UserCfg.opt names a folder whose status cannot be read.
    const auto simulator = user_ / "empty" / "Microsoft Flight Simulator";
    fs::create_directories(simulator);
    test::writeFile(simulator / "UserCfg.opt",
                    "InstalledPackagesPath \"" + (user_ / std::string(300, 'p')).string() + "\"\n");
    gf_onStartUpMessage();
    awaitState([] { return g_exitReason == ExitReason::SYSTEM_ERROR; });
    gf_requestClose();
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    EXPECT_EQ(count("Error 150: No install path detected. Type the full path to your Community "
                    "folder above, then press Enter"),
              1);
}

TEST_F(Run, InvalidDestinationIsASystemError)
{
    gf_readParameters();
    DESTINATION.set("EH-1");
    gf_onStartUpMessage();
    awaitState([] { return g_exitReason == ExitReason::SYSTEM_ERROR && g_stopRequested; });
    gf_requestClose();
    EXPECT_EQ(messages_.next(), WindowMessage::Quit);
    EXPECT_EQ(count("Error FixedCode: invalid string (length/charset)"), 1);
}

TEST_F(Run, AStoredRangeIsThePairingRadiusFromTheStart)
{
    PROGRAM_VERSION.assign(g_programVersion.text());
    RANGE.current = 100;
    AUTO_RANGE.current = false;
    gf_saveParameters(false);
    test::resetAllSettings();
    closeAfterSimulatorSeconds(3);
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    int requests = 0;
    for (const auto& call : simstandin::calls()) {
        if (call.function != "SimConnect_RequestDataOnSimObjectType") continue;
        ++requests;
        // 100 nm and the request's margin, for aeroplanes and helicopters alike.
        EXPECT_TRUE(call.arguments.starts_with("101, 404, 195200 m, ")) << call.arguments;
    }
    EXPECT_GT(requests, 0);
}

TEST_F(Run, StoredDestinationIsApplied)
{
    gf_readParameters();
    DESTINATION.set("EHAM");
    closeAfterSimulatorSeconds(1);
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    EXPECT_EQ(count("New destination: EHAM"), 1);
    // Close-down forgets it for the next start.
    EXPECT_EQ(stored("DESTINATION"), "");
}

// The program died between the renames that put a complete airport scan in place, and the user
// then unticked the scan: the start puts that scan in place all the same, and the park airport
// gets the add-on airport's stands.
TEST_F(Run, AScanSwapACrashCutShortIsFinishedByAStartWithoutAScan)
{
    const fs::path staged = gf_scanStagingOf(g_myThirdpartyDir);
    fs::create_directories(fs::path(g_myThirdpartyDir) += ".old");
    fs::create_directories(staged);
    fs::copy_file(fs::path(VNTQ_SOURCE_DIR) / "tests" / "data" / "stands" / "EHAM.xml",
                  staged / "EHAM.xml");
    test::writeFile(staged / ".scan-complete", "");
    PROGRAM_VERSION.assign(g_programVersion.text());
    SCAN_AIRPORTS.current = false;
    gf_saveParameters(false);
    test::resetAllSettings();
    closeAfterSimulatorSeconds(3);
    EXPECT_EQ(runOnce(), WindowMessage::Quit);
    EXPECT_EQ(count("The last complete airport scan is now in place in airports/my_thirdparty"), 1);
    EXPECT_EQ(count("Airport file read from 'airports/my_thirdparty/EHAM.xml' for Amsterdam "
                    "Airport Schiphol"),
              1);
}

TEST_F(Run, RevisitHoldWaitsOutTheLastVisit)
{
    struct Case {
        int64_t offset_s;  // LAST_EPOCH_TIME minus now
        int hold_s;        // 0: no hold
    };
    auto owned = std::make_unique<platform::ManualClock>();
    const platform::ScopedClock manual(std::move(owned));
    for (const auto& c : {Case{0, 2}, Case{-1, 1}, Case{-2, 0}, Case{100, 2}, Case{-3600, 0}}) {
        LAST_EPOCH_TIME.current = static_cast<int32_t>(platform::epochSeconds() + c.offset_s);
        const auto before = log_.lines().size();
        const auto start = platform::steadyNow();
        lf_revisitHold();
        EXPECT_EQ(platform::steadyNow() - start, std::chrono::seconds(c.hold_s)) << c.offset_s;
        const auto lines = log_.lines();
        int holds = 0;
        for (auto i = before; i < lines.size(); ++i) {
            if (!lines[i].starts_with("Holding for ")) continue;
            ++holds;
            EXPECT_EQ(lines[i], fmt::format("Holding for {} seconds... (RT API cannot be "
                                            "revisited within 2 seconds)",
                                            c.hold_s));
        }
        EXPECT_EQ(holds, c.hold_s > 0 ? 1 : 0) << c.offset_s;
    }
    // Default 0: no hold at all.
    LAST_EPOCH_TIME.current = 0;
    const auto start = platform::steadyNow();
    lf_revisitHold();
    EXPECT_EQ(platform::steadyNow(), start);
}

}  // namespace
}  // namespace qel
