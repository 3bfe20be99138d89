// Enter in the three edit boxes: the blocked callsign, the destination and the Community folder,
// each typed text checked before it is stored, saved and shown.
#include <filesystem>
#include <optional>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/app.h"
#include "foundation/catalogue.h"
#include "platform/text.h"
#include "scenery/scenery.h"
#include "ui/ui.h"
#include "window_fixture.h"

namespace qel {
namespace {

class EditBoxes : public test::WindowTest {
protected:
    void SetUp() override
    {
        test::WindowTest::SetUp();
        for (auto* edit : {&BLOCK_CALLSIGN, &DESTINATION, &ALL_INSTALL_PATH}) {
            control(*edit).setEnabled(true);
        }
        g_blockCallsignPending = false;
        g_restartDelay = 0;
    }

    void TearDown() override
    {
        gf_clearErrorText();
        g_blockCallsignPending = false;
        g_isMsfs2020 = true;
        g_restartDelay = 0;
        gf_clearAirports();
        test::WindowTest::TearDown();
    }

    void enter(const ControlStringParameter& edit, const std::string& text)
    {
        window_->type(edit.controlId, utf8_to_wide(text));
        window_->pressEnter(edit.controlId);
    }

    std::string shown(const ControlStringParameter& edit)
    {
        return wide_to_utf8(control(edit).text());
    }

    std::optional<std::string> saved(const std::string& key)
    {
        return test::savedParameter(file(), key);
    }
};

TEST_F(EditBoxes, CallsignIsCheckedUpperCasedBlockedAndUnblocked)
{
    struct Step {
        std::string typed;
        std::string message;  // the message line afterwards, also logged when not empty
        std::string stored;   // BLOCK_CALLSIGN afterwards, shown in the edit box and saved
        bool requested;       // the block request raised
    };
    const Step steps[] = {
        {"klm12", "", "KLM12", true},
        {"KLM12", "callsign 'KLM12' was already set ...", "KLM12", false},
        {"ab1", "callsign 'ab1' is not valid", "KLM12", false},
        {"ABCDEFGHI", "callsign 'ABCDEFGHI' is not valid", "KLM12", false},
        {"dlh4a", "", "DLH4A", true},
        {"", "no more blocking of live aircraft 'DLH4A'", "", true},
        {"", "", "", false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.typed);
        g_blockCallsignPending = false;
        enter(BLOCK_CALLSIGN, step.typed);
        EXPECT_EQ(messageText(), step.message);
        if (!step.message.empty()) {
            EXPECT_TRUE(log_.contains(step.message));
        }
        EXPECT_EQ(BLOCK_CALLSIGN.value(), step.stored);
        EXPECT_EQ(shown(BLOCK_CALLSIGN), step.stored);
        EXPECT_EQ(g_blockCallsignPending, step.requested);
        EXPECT_EQ(control(g_unblockButton).enabled(), !step.stored.empty());
    }
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), "");
}

TEST_F(EditBoxes, BlockAndUnblockButtonsShareTheCallsign)
{
    for (auto* button : {&g_blockButton, &g_unblockButton}) control(*button).setEnabled(true);
    CALLSIGN_2_OBJECTID.assign("EWG9MA");

    window_->click(g_blockButton.controlId);
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "EWG9MA");
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), "EWG9MA");
    EXPECT_TRUE(g_blockCallsignPending);
    EXPECT_FALSE(control(g_blockButton).enabled());
    EXPECT_TRUE(control(g_unblockButton).enabled());

    window_->click(g_unblockButton.controlId);
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "");
    EXPECT_EQ(messageText(), "no more blocking of live aircraft 'EWG9MA'");
    // A callsign is still chosen, so it may be blocked again.
    EXPECT_TRUE(control(g_blockButton).enabled());
    EXPECT_FALSE(control(g_unblockButton).enabled());

    gf_clearMessage();
    control(g_unblockButton).setEnabled(true);
    window_->click(g_unblockButton.controlId);
    EXPECT_EQ(messageText(), "Nothing to block or unblock...");
}

TEST_F(EditBoxes, DestinationIsCheckedAgainstTheAirportDatabase)
{
    g_airports.push_back(Airport{AirportCode("AB12")});
    g_airports.push_back(Airport{AirportCode("EDDL")});
    control(g_reReadButton).setEnabled(true);
    struct Step {
        std::string typed;
        std::string message;
        bool logged;
        std::string stored;  // DESTINATION afterwards, and what the edit box shows
        bool reReadEnabled;
    };
    const Step steps[] = {
        {"ab12", "New destination: AB12", true, "AB12", false},
        {"AB12", "destination 'AB12' was already set ...", true, "AB12", false},
        {"ab1", "destination 'ab1' is not valid", true, "AB12", false},
        {"ed-l", "destination 'ED-L' is not valid", false, "AB12", false},
        {"zz99", "destination 'ZZ99' is unknown ...", true, "AB12", false},
        {"eddl", "New destination: EDDL", true, "EDDL", false},
        {"", "destination set to empty", true, "", true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.typed);
        enter(DESTINATION, step.typed);
        EXPECT_EQ(messageText(), step.message);
        EXPECT_EQ(log_.contains(step.message), step.logged);
        EXPECT_EQ(DESTINATION.value(), step.stored);
        EXPECT_EQ(shown(DESTINATION), step.stored);
        EXPECT_EQ(control(g_reReadButton).enabled(), step.reReadEnabled);
    }
    // An emptied destination reaches the file only at close-down.
    EXPECT_EQ(saved("DESTINATION"), "EDDL");
}

TEST_F(EditBoxes, CommunityPathStoresThePackagesFolderAndRestarts)
{
    const test::TempDir root;
    const auto packages = root / "Packages";
    std::filesystem::create_directories(packages / "Community");
    std::filesystem::create_directories(root / "Other");
    test::writeFile(root / "file.txt", "x");
    struct Case {
        std::string typed;
        bool msfs2020;
        std::string message;
        std::string stored;  // in the chosen simulator's install path setting
    };
    const std::string found = "Community path found, VNTQ will restart ...";
    const Case cases[] = {
        {(packages / "Community").string() + "\\", true, found, packages.string()},
        {(packages / "Community").string() + "/", false, found, packages.string()},
        {packages.string(), true, found, packages.string()},
        {(root / "Other").string(), true, "This path exists but is not a path to Community ...",
         ""},
        {(root / "missing").string(), true,
         fmt::format("This install path does not exist: {}", (root / "missing").string()), ""},
        {(root / "file.txt" / "Community").string(), true,
         fmt::format("This install path does not exist: {}",
                     (root / "file.txt" / "Community").string()),
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        MSFS_INSTALL_PATH.assign("");
        MSFS_2024_INSTALL_PATH.assign("");
        g_stopRequested = false;
        g_exitReason = ExitReason::NOT_YET_SET;
        g_isMsfs2020 = c.msfs2020;
        // A pending error (the start-up's "No install path detected") gives way to the check.
        gf_setErrorMessage("150: No install path detected.");
        enter(ALL_INSTALL_PATH, c.typed);
        EXPECT_EQ(errorText(), "");
        EXPECT_EQ(messageText(), c.message);
        EXPECT_TRUE(log_.contains(c.message));
        const auto& setting = c.msfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH;
        const auto& other = c.msfs2020 ? MSFS_2024_INSTALL_PATH : MSFS_INSTALL_PATH;
        EXPECT_EQ(setting.value(), c.stored);
        EXPECT_EQ(other.value(), "");
        const bool restarts = c.message == found;
        EXPECT_EQ(g_stopRequested.load(), restarts);
        if (restarts) {
            EXPECT_EQ(saved(setting.name), c.stored);
            EXPECT_EQ(g_exitReason.load(), ExitReason::NEW_SETTINGS);
            EXPECT_EQ(g_restartDelay.load(), 3);
        }
    }
    // An empty text forgets the path.
    g_stopRequested = false;
    g_isMsfs2020 = true;
    MSFS_INSTALL_PATH.set(packages.string());
    enter(ALL_INSTALL_PATH, "");
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), "");
    EXPECT_EQ(saved("MSFS_INSTALL_PATH"), "");
    EXPECT_FALSE(g_stopRequested);
}

}  // namespace
}  // namespace qel
