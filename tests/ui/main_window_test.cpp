#include <string>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "app/app.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "platform/clock.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/ui.h"
#include "ui/ui_run.h"
#include "window_fixture.h"

namespace qel {
namespace {

using platform::Rect;
using MainWindow = test::WindowTest;

std::string lf_positionFile(int x, int y)
{
    return fmt::format("<?xml version=\"1.0\"?>\n<root><parameters>"
                       "<parameter name=\"MAIN_WINDOW_X\" value=\"{}\" />"
                       "<parameter name=\"MAIN_WINDOW_Y\" value=\"{}\" />"
                       "</parameters></root>\n",
                       x, y);
}

std::optional<int32_t> lf_saved(const std::filesystem::path& file, const char* key)
{
    pugi::xml_document document;
    if (!document.load_file(file.c_str())) return std::nullopt;
    return gf_readIntParameter(document, key);
}

TEST_F(MainWindow, KeepsTheWindowOnItsMonitor)
{
    struct Case {
        int x, y;  // stored
        std::vector<Rect> workAreas;
        int expectedX, expectedY;
    };
    const std::vector<Rect> one{{0, 0, 1920, 1040}};
    const std::vector<Rect> two{{0, 0, 1920, 1040}, {1920, 0, 3840, 1040}};
    const Case cases[] = {
        {400, 20, one, 400, 20},
        {-30000, 20, one, 400, 20},        // a position at its bound is replaced
        {500, 30000, one, 500, 20},        // the fall-back for y alone
        {-870, 100, one, -832, 100},       // 10 px left visible: right edge 48 px inside
        {1900, 1030, one, 1872, 992},
        {2500, 300, two, 2500, 300},       // on the second monitor
        {5000, 300, two, 3792, 300},       // nearest to the second monitor
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{},{}", c.x, c.y));
        window_->setMonitorWorkAreas(c.workAreas);
        window_->moveTo(c.x, c.y);
        g_mainWindowState.MAIN_WINDOW_X.current = c.x;
        g_mainWindowState.MAIN_WINDOW_Y.current = c.y;
        gf_keepWindowOnMonitor(400, 20);
        EXPECT_EQ(g_mainWindowState.MAIN_WINDOW_X.current, c.expectedX);
        EXPECT_EQ(g_mainWindowState.MAIN_WINDOW_Y.current, c.expectedY);
        EXPECT_EQ(window_->windowRect().left, c.expectedX);
        EXPECT_EQ(window_->windowRect().top, c.expectedY);
        if (c.expectedX != c.x) {
            EXPECT_EQ(lf_saved(file(), "MAIN_WINDOW_X"), c.expectedX);
        }
        if (c.expectedY != c.y) {
            EXPECT_EQ(lf_saved(file(), "MAIN_WINDOW_Y"), c.expectedY);
        }
    }
}

TEST_F(MainWindow, WithoutAWindowOnlyABoundPositionIsReplaced)
{
    gf_closeMainWindow();
    struct Case {
        int x, y;
        int expectedX, expectedY;
    };
    for (const Case& c : {Case{500, 300, 500, 300}, Case{-30000, 300, 400, 300}}) {
        SCOPED_TRACE(c.x);
        g_mainWindowState.MAIN_WINDOW_X.current = c.x;
        g_mainWindowState.MAIN_WINDOW_Y.current = c.y;
        gf_keepWindowOnMonitor(400, 20);
        EXPECT_EQ(g_mainWindowState.MAIN_WINDOW_X.current, c.expectedX);
        EXPECT_EQ(g_mainWindowState.MAIN_WINDOW_Y.current, c.expectedY);
    }
}

TEST_F(MainWindow, OpensAtTheSavedPositionOrTheDefault)
{
    struct Case {
        int x, y;
        int expectedX, expectedY;
    };
    for (const Case& c : {Case{300, 200, 300, 200}, Case{30000, -30000, 400, 20},
                          Case{-40000, 99999, 400, 20}}) {
        SCOPED_TRACE(c.x);
        gf_closeMainWindow();
        test::writeFile(file(), lf_positionFile(c.x, c.y));
        ASSERT_TRUE(initInstance("VNTQ"));
        window_ = dynamic_cast<platform::HeadlessWindow*>(g_mainWindowState.window.load());
        EXPECT_EQ(window_->windowRect().left, c.expectedX);
        EXPECT_EQ(window_->windowRect().top, c.expectedY);
    }
}

TEST_F(MainWindow, DamagedSettingsFileIsSetAsideAndTheDefaultPositionUsed)
{
    gf_closeMainWindow();
    const std::string damaged = "<root><parameters><parameter name=\"MAIN_WINDOW_X\"";
    test::writeFile(file(), damaged);
    pugi::xml_document document;
    const std::string description = document.load_string(damaged.c_str()).description();
    g_mainWindowState.MAIN_WINDOW_X.current = 400;
    ASSERT_TRUE(initInstance("VNTQ"));
    window_ = dynamic_cast<platform::HeadlessWindow*>(g_mainWindowState.window.load());
    EXPECT_TRUE(log_.contains(fmt::format(
        "==> {} failed to load ({}). Saved as 0.xml and removed.", g_parametersPathUtf8,
        description)));
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(test::readFile(dir_ / "parameters0.xml"), damaged);
    EXPECT_EQ(window_->windowRect().left, 400);
    EXPECT_EQ(window_->windowRect().top, 20);
}

TEST_F(MainWindow, QuitSavesTheRestoredPositionAndEndsWithTheExitCode)
{
    platform::ScopedClock clock(std::make_unique<platform::ManualClock>(1'767'225'600));
    window_->moveTo(640, 300);
    window_->setMinimised(true);
    ASSERT_EQ(window_->windowRect().left, -32000);
    g_exitCode = 7;
    gf_postWindowMessage(WindowMessage::Quit);
    EXPECT_EQ(gf_runMessageLoop(), 7);
    EXPECT_EQ(g_mainWindowState.MAIN_WINDOW_X.current, 640);
    EXPECT_EQ(g_mainWindowState.MAIN_WINDOW_Y.current, 300);
    EXPECT_EQ(lf_saved(file(), "MAIN_WINDOW_X"), 640);
    EXPECT_EQ(lf_saved(file(), "MAIN_WINDOW_Y"), 300);
    EXPECT_EQ(log_.lines().back(), gf_timeString(1'767'225'600));
}

TEST_F(MainWindow, CloseStopsTheProgramButKeepsTheWindow)
{
    struct Case {
        bool stopBefore;
        ExitReason expected;
    };
    for (const Case& c : {Case{false, ExitReason::USER_CLOSED_SIM},
                          Case{true, ExitReason::READER_ERROR}}) {
        g_stopRequested = false;
        g_closeRequested = false;
        g_exitReason = ExitReason::NOT_YET_SET;
        if (c.stopBefore) gf_requestStop(ExitReason::READER_ERROR, 15);
        window_->pressClose();
        EXPECT_TRUE(g_closeRequested);
        EXPECT_TRUE(g_stopRequested);
        EXPECT_EQ(g_exitReason, c.expected);
        EXPECT_EQ(messageText(), "Close window button clicked, closing VNTQ ...");
        EXPECT_TRUE(window_->shown());
        EXPECT_FALSE(window_->quitRequested());
    }
    EXPECT_FALSE(log_.contains("Close window button clicked, closing VNTQ ..."));
}

TEST_F(MainWindow, RequestsFromOtherThreadsAreServedOnTheGuiThread)
{
    std::thread other([] {
        gf_setWindowTopmost(true);
        gf_requestWindowClose();
        gf_invalidateArea(WindowArea::Statistics);
        gf_postWindowMessage(WindowMessage::Quit);
    });
    other.join();
    EXPECT_FALSE(window_->topmost());  // nothing happens off the GUI thread
    EXPECT_FALSE(g_closeRequested);
    EXPECT_EQ(gf_runMessageLoop(), 0);
    EXPECT_TRUE(window_->topmost());
    EXPECT_TRUE(g_closeRequested);
    EXPECT_EQ(g_exitReason, ExitReason::USER_CLOSED_SIM);
    bool statistics = false;
    for (const auto& area : window_->takeInvalidated()) {
        statistics |= area == gf_areaRect(WindowArea::Statistics);
    }
    EXPECT_TRUE(statistics);
}

TEST_F(MainWindow, RestartResetBringsTheStatusBack)
{
    auto& state = g_trafficWindowStatus;
    gf_setErrorMessage("SimConnect request error");
    g_simWindowStatus.simulatorConnected = true;
    g_simWindowStatus.simulatorText.set("MSFS 2024");
    state.liveAverageFit = 3.0F;
    g_rtWindowStatus.realTrafficIdle = false;
    g_uiRun.timeShiftFlag = false;
    g_rtWindowStatus.trafficReaderStatus = 1;
    g_messageLine.secondCounter = 99;
    gf_resetTrafficWindowStatus();
    gf_resetUiRun();
    gf_resetFoundationRun();
    gf_resetSimLinkRun();
    gf_resetRtRun();
    EXPECT_EQ(errorText(), "");
    EXPECT_FALSE(g_simWindowStatus.simulatorConnected);
    EXPECT_EQ(g_simWindowStatus.simulatorText.get(), "");
    EXPECT_EQ(state.liveAverageFit, -1.0F);
    EXPECT_TRUE(g_rtWindowStatus.realTrafficIdle);
    EXPECT_TRUE(g_uiRun.timeShiftFlag);
    EXPECT_EQ(g_rtWindowStatus.trafficReaderStatus, 3);
    EXPECT_EQ(g_messageLine.secondCounter, 0);
}

}  // namespace
}  // namespace qel
