// Opening the manual and parameters.xml with the desktop, and the new-version notice.
#include "foundation/shell.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/globals.h"
#include "foundation/log.h"
#include "platform/controls.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace qel {
namespace {

using platform::KnownFolder;

// Records shell calls and message boxes, and works in a folder of its own.
class Shell : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        platform::setShellRecorder([this](const std::filesystem::path& path) {
            opened_.push_back(path);
            return shellResult_;
        });
        platform::startRecordingMessageBoxes();
    }
    void TearDown() override
    {
        platform::stopRecordingMessageBoxes();
        platform::setShellRecorder(nullptr);
        platform::overrideElevated(std::nullopt);
        platform::clearKnownFolderOverrides();
        std::filesystem::current_path(previousDir_);
    }

    std::vector<std::string> boxTexts()
    {
        std::vector<std::string> texts;
        for (const auto& box : platform::takeRecordedMessageBoxes()) {
            EXPECT_EQ(box.caption, "VNTQ");
            EXPECT_EQ(box.icon, platform::MessageBoxIcon::Warning);
            texts.push_back(box.text);
        }
        return texts;
    }

    test::TempDir dir_;
    std::filesystem::path previousDir_;
    std::vector<std::filesystem::path> opened_;
    bool shellResult_ = true;
};

TEST_F(Shell, MissingManualMakesNoShellCall)
{
    EXPECT_FALSE(gf_openManual());
    EXPECT_TRUE(opened_.empty());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Could not open local folder with Manual"});
}

TEST_F(Shell, ManualIsOpenedByItsAbsolutePath)
{
    std::filesystem::create_directory("docs");
    test::writeFile("docs/Manual.pdf", "%PDF");
    EXPECT_TRUE(gf_openManual());
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_TRUE(opened_[0].is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(opened_[0], dir_ / "docs" / "Manual.pdf"));
    EXPECT_TRUE(boxTexts().empty());

    // The opener could not be started.
    shellResult_ = false;
    EXPECT_FALSE(gf_openManual());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Could not open local folder with Manual"});
}

TEST_F(Shell, ParametersFileOpensOrWarns)
{
    const auto previousAppData = g_appDataDir;
    gf_setAppDataDir(dir_ / "VNTQ");
    EXPECT_FALSE(gf_openParametersFolder());
    EXPECT_TRUE(opened_.empty());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Could not open folder with parameters.xml"});

    std::filesystem::create_directory(dir_ / "VNTQ");
    test::writeFile(g_parametersPath, "<root/>");
    EXPECT_TRUE(gf_openParametersFolder());
    EXPECT_EQ(opened_, std::vector<std::filesystem::path>{dir_ / "VNTQ" / "parameters.xml"});
    gf_setAppDataDir(previousAppData);
}

TEST_F(Shell, NewVersionNoticeAsksForAdministratorOnlyWhenNeeded)
{
    const std::string admin = "A new version is available. Run the installer as Administrator";
    const std::string normal = "A new version is available.\nThe installer can be executed "
                               "normally (no Administrator rights required).";
    const auto programFiles = dir_ / "Program Files";
    const auto programFilesX86 = dir_ / "Program Files (x86)";
    std::filesystem::create_directories(programFiles / "VNTQ");
    platform::overrideKnownFolder(KnownFolder::ProgramFiles, programFiles);
    platform::overrideKnownFolder(KnownFolder::ProgramFilesX86, programFilesX86);

    // A folder that does not exist cannot be written, even by root.
    const struct {
        std::string name;
        std::filesystem::path folder;
        bool elevated;
        std::string notice;
    } cases[] = {
        {"protected, read-only", programFiles / "gone", false, admin},
        {"protected x86, read-only", programFilesX86 / "gone", false, admin},
        {"protected, read-only, elevated", programFiles / "gone", true, normal},
        {"protected, writable", programFiles / "VNTQ", false, normal},
        {"outside, read-only", dir_ / "elsewhere" / "gone", false, normal},
        {"case differs, read-only", dir_ / "program files" / "gone", false, normal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::overrideElevated(c.elevated);
        EXPECT_EQ(gf_newVersionNotice(c.folder), c.notice);
    }
    EXPECT_FALSE(std::filesystem::exists(programFiles / "VNTQ" / ".write_test.tmp"));

    // With no program-files folder known, nothing is protected.
    platform::overrideKnownFolder(KnownFolder::ProgramFiles, std::nullopt);
    platform::overrideKnownFolder(KnownFolder::ProgramFilesX86, std::nullopt);
    platform::overrideElevated(false);
    EXPECT_EQ(gf_newVersionNotice(programFiles / "gone"), normal);
}

TEST_F(Shell, MissingAppDataFolderIsLogged)
{
    test::CapturedLog log;
    platform::overrideKnownFolder(KnownFolder::RoamingAppData, std::nullopt);
    platform::overrideKnownFolder(KnownFolder::LocalAppData, std::nullopt);
    EXPECT_TRUE(gf_getAppDataPath().empty());
    EXPECT_TRUE(gf_getLocalAppDataPath().empty());
    platform::overrideKnownFolder(KnownFolder::LocalAppData, dir_ / "local");
    EXPECT_EQ(gf_getLocalAppDataPath(), dir_ / "local");
    const std::vector<std::string> expected = {"==> Could not find the AppData path",
                                               "==> Could not find the Local AppData path"};
    EXPECT_EQ(log.lines(), expected);
}

}  // namespace
}  // namespace qel
