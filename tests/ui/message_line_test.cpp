#include <string>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "ui/ui.h"
#include "window_fixture.h"

namespace qel {
namespace {

using MessageLine = test::WindowTest;

void lf_countSeconds(int n)
{
    for (int i = 0; i < n; ++i) gf_countSimulatorSecond();
}

TEST_F(MessageLine, ExpiresAfterTwentyFiveCountedSeconds)
{
    struct Case {
        int32_t counterWhenSet;
        int32_t shownAt;
        int secondsStillShown;  // counted seconds after which it is still there
    };
    // Set at 0 it is stamped 1, so that it still expires: at counter 26.
    for (const Case& c : {Case{0, 1, 25}, Case{100, 100, 24}, Case{7, 7, 24}}) {
        SCOPED_TRACE(c.counterWhenSet);
        gf_resetTrafficWindowStatus();
        gf_resetFoundationRun();
        lf_countSeconds(c.counterWhenSet);
        gf_setMessage("Your liveries will be scanned", false);
        {
            std::scoped_lock lock(g_messageMutex);
            EXPECT_EQ(g_messageLine.messageShownAt, c.shownAt);
        }
        lf_countSeconds(c.secondsStillShown);
        EXPECT_EQ(messageText(), "Your liveries will be scanned");
        gf_countSimulatorSecond();
        EXPECT_EQ(messageText(), "");
        EXPECT_EQ(g_messageLine.secondCounter, c.shownAt + 25);
    }
}

TEST_F(MessageLine, EmptyTextClearsAndIsNeverLogged)
{
    gf_setMessage("Time shift = 0", true);
    gf_setMessage("", true);
    EXPECT_EQ(messageText(), "");
    {
        std::scoped_lock lock(g_messageMutex);
        EXPECT_EQ(g_messageLine.messageShownAt, 0);
    }
    EXPECT_EQ(log_.lines(), std::vector<std::string>{"Time shift = 0"});
}

TEST_F(MessageLine, ErrorBlocksMessagesUntilEmptied)
{
    gf_setMessage("Holding for 10 seconds", false);
    gf_setErrorMessage("99: The Community folder was not found");
    EXPECT_EQ(messageText(), "");
    EXPECT_EQ(errorText(), "99: The Community folder was not found");
    window_->pumpPending();

    gf_setMessage("Your airports will be scanned", true);
    gf_clearMessage();
    EXPECT_EQ(window_->pumpPending(), 0);  // nothing changed, nothing to repaint
    EXPECT_EQ(errorText(), "99: The Community folder was not found");
    auto canvas = paint();
    ASSERT_TRUE(canvas.findText("99: The Community folder was not found"));
    EXPECT_EQ(canvas.findText("99: The Community folder was not found")->colour,
              colours::yellow);

    gf_clearErrorText();
    gf_clearMessage();
    canvas = paint();
    EXPECT_FALSE(canvas.textAt(3, 455));
    bool limeBand = false;
    for (const auto& op : canvas.ops()) {
        if (op.kind == platform::DrawOp::Kind::Fill && op.area == platform::Rect{0, 448, 881, 477})
            limeBand = op.colour == colours::lime;
    }
    EXPECT_TRUE(limeBand);
    gf_setMessage("Your airports will be scanned", true);
    EXPECT_EQ(messageText(), "Your airports will be scanned");
    EXPECT_EQ(log_.lines(),
              (std::vector<std::string>{"Error 99: The Community folder was not found",
                                        "Your airports will be scanned"}));
}

TEST_F(MessageLine, ErrorIsPrefixedOnceInTheLog)
{
    struct Case {
        std::string text;
        std::string logged;
    };
    const Case cases[] = {{"SimConnect request error", "Error SimConnect request error"},
                          {"Error 5: no stands", "Error 5: no stands"},
                          {"Errors in 3 files", "Error Errors in 3 files"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        gf_setErrorMessage(c.text);
        EXPECT_EQ(errorText(), c.text);
        EXPECT_EQ(log_.lines().back(), c.logged);
    }
}

TEST_F(MessageLine, OtherThreadsPostAndTheGuiThreadRepaints)
{
    const uint64_t paintsBefore = window_->paintCount();
    std::thread other([] {
        for (int i = 0; i < 200; ++i) gf_setMessage(fmt::format("message {}", i), false);
        g_exitCode = 3;
        gf_postWindowMessage(WindowMessage::Quit);
    });
    const int exitCode = gf_runMessageLoop();
    other.join();
    EXPECT_EQ(exitCode, 3);
    window_->pumpPending();
    EXPECT_GT(window_->paintCount(), paintsBefore);
    bool newest = false;
    for (const auto& op : window_->lastPaint()) {
        newest |= op.kind == platform::DrawOp::Kind::Text && op.text == "message 199";
    }
    EXPECT_TRUE(newest);
}

}  // namespace
}  // namespace qel
