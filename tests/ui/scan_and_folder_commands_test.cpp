// The commands that restart the program or reach outside it: the scan check boxes before and
// after the simulator has connected, and the "tblo.zip" button.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/app.h"
#include "foundation/catalogue.h"
#include "simlink/simlink.h"
#include "program_folder.h"
#include "ui/ui.h"
#include "window_fixture.h"

namespace qel {
namespace {

class ScanCommands : public test::WindowTest {
protected:
    void TearDown() override
    {
        g_simNotConnected = true;
        g_restartDelay = 0;
        test::WindowTest::TearDown();
    }
};

TEST_F(ScanCommands, ScanBoxesRestartOnlyWhileWaitingForTheSimulator)
{
    struct Case {
        ControlBoolParameter* box;
        bool simConnected;
        std::string message;
        bool logged;
        bool restarts;
    };
    const Case cases[] = {
        {&SCAN_LIVERIES, false, "Your liveries will be scanned", true, true},
        {&SCAN_LIVERIES, true, "Your liveries will be scanned at the next start of VNTQ", false,
         false},
        {&SCAN_AIRPORTS, false, "Your airports will be scanned", true, true},
        {&SCAN_AIRPORTS, true, "Your airports will be scanned at the next start of VNTQ", false,
         false},
    };
    control(AI_PACKAGE_SELECTOR).setEnabled(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        g_stopRequested = false;
        g_exitReason = ExitReason::NOT_YET_SET;
        g_simNotConnected = !c.simConnected;
        c.box->current = false;
        control(*c.box).setChecked(false);
        window_->click(c.box->controlId);

        EXPECT_TRUE(c.box->current);
        EXPECT_TRUE(control(*c.box).checked());
        EXPECT_EQ(messageText(), c.message);
        EXPECT_EQ(log_.contains(c.message), c.logged);
        EXPECT_EQ(g_stopRequested.load(), c.restarts);
        if (c.restarts) {
            EXPECT_EQ(g_exitReason.load(), ExitReason::NEW_SETTINGS);
            EXPECT_EQ(g_restartDelay.load(), 2);
        }
        if (c.box == &SCAN_LIVERIES) {
            EXPECT_FALSE(control(AI_PACKAGE_SELECTOR).enabled());
        }
    }
    // Switched off, the package choice is back and nothing stops.
    g_stopRequested = false;
    window_->click(SCAN_LIVERIES.controlId);
    EXPECT_FALSE(SCAN_LIVERIES.current);
    EXPECT_TRUE(control(AI_PACKAGE_SELECTOR).enabled());
    EXPECT_EQ(messageText(), "");
    EXPECT_FALSE(g_stopRequested);
}

TEST_F(ScanCommands, TbloButtonOpensTheZipInItsFolder)
{
    const test::ProgramFolder folder;
    std::filesystem::create_directories("tblo");
    test::writeFile("tblo/tblo.zip", "PK");
    control(g_tbloZipButton).setEnabled(true);
    {
        test::RecordedShell shell(true);
        window_->click(g_tbloZipButton.controlId);
        ASSERT_EQ(shell.opened().size(), 1U);
        EXPECT_EQ(shell.opened()[0], std::filesystem::absolute("tblo/tblo.zip"));
        EXPECT_TRUE(platform::takeRecordedMessageBoxes().empty());
    }
    {
        test::RecordedShell shell(false);
        window_->click(g_tbloZipButton.controlId);
        const auto boxes = platform::takeRecordedMessageBoxes();
        ASSERT_EQ(boxes.size(), 1U);
        EXPECT_EQ(boxes[0].text, "Could not open File Explorer at tblo.zip.");
        EXPECT_EQ(boxes[0].caption, "VNTQ");
        EXPECT_EQ(boxes[0].icon, platform::MessageBoxIcon::Warning);
    }
}

}  // namespace
}  // namespace qel
