// A fixture for the main window: every setting at its default, parameters.xml in a temporary
// per-user folder, Log.txt captured, and the window created headless by initInstance as the
// program creates it; the test's thread is the GUI thread.
#pragma once

#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "app/app.h"
#include "foundation/settings_fixture.h"
#include "liveries/livery_db.h"
#include "platform/scoped_env.h"
#include "platform/window_headless.h"
#include "realtraffic/realtraffic.h"
#include "scenery/scan.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/paint.h"
#include "ui/ui.h"

namespace qel::test {

class WindowTest : public SettingsTest {
protected:
    void SetUp() override
    {
        g_exitReason = ExitReason::NOT_YET_SET;
        g_exitCode = 0;
        gf_resetTrafficWindowStatus();
        gf_resetUiRun();
        gf_resetFoundationRun();
        gf_resetSimLinkRun();
        gf_resetRtRun();
        ASSERT_TRUE(initInstance("VNTQ"));
        window_ = dynamic_cast<platform::HeadlessWindow*>(g_mainWindowState.window.load());
        ASSERT_NE(window_, nullptr);
        window_->pumpPending();
        window_->takeInvalidated();
    }

    void TearDown() override
    {
        gf_closeMainWindow();
        gf_resetTrafficWindowStatus();
        gf_resetUiRun();
        gf_resetFoundationRun();
        gf_resetSimLinkRun();
        gf_resetRtRun();
        g_exitReason = ExitReason::NOT_YET_SET;
    }

    platform::Control& control(const ControlBinding& binding)
    {
        auto* found = window_->control(binding.controlId);
        EXPECT_NE(found, nullptr) << binding.controlId;
        return *found;
    }

    static std::string messageText()
    {
        std::scoped_lock lock(g_messageMutex);
        return g_messageLine.messageText;
    }

    static std::string errorText()
    {
        std::scoped_lock lock(g_messageMutex);
        return g_messageLine.errorText;
    }

    static platform::RecordingCanvas paint()
    {
        platform::RecordingCanvas canvas;
        lf_paintMainWindow(canvas);
        return canvas;
    }

    ScopedEnv headless_{"VNTQ_HEADLESS", "1"};
    platform::HeadlessWindow* window_ = nullptr;
};

}  // namespace qel::test
