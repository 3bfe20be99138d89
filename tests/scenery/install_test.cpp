// Finding the simulator's packages folder: the Steam default, then the UserCfg.opt candidates,
// each taken only when it holds Community and the official folder of the chosen simulator.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "platform/folders.h"
#include "scenery/install.h"
#include "support/test_support.h"

namespace qel {
namespace {

namespace fs = std::filesystem;
using namespace test;
using platform::KnownFolder;

class Install : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousAppData_ = g_appDataDir;
        gf_setAppDataDir(dir_ / "VNTQ");
        fs::create_directories(dir_ / "VNTQ");
        platform::overrideKnownFolder(KnownFolder::RoamingAppData, dir_ / "roaming");
        platform::overrideKnownFolder(KnownFolder::LocalAppData, dir_ / "local");
        clearSettings();
    }
    void TearDown() override
    {
        clearSettings();
        platform::clearKnownFolderOverrides();
        gf_setAppDataDir(previousAppData_);
    }
    static void clearSettings()
    {
        for (auto* s : {&MSFS_INSTALL_PATH, &MSFS_2024_INSTALL_PATH}) s->assign("");
        ALL_INSTALL_PATH.assign("");
    }
    fs::path packages(const fs::path& at, std::vector<const char*> folders)
    {
        for (const char* f : folders) fs::create_directories(dir_ / at / f);
        fs::create_directories(dir_ / at);
        return dir_ / at;
    }
    void userCfg(const fs::path& at, const std::string& line)
    {
        fs::create_directories(dir_ / at);
        writeFile(dir_ / at / "UserCfg.opt", "Version 71\n" + line + "\nOther 1\n");
    }

    TempDir dir_;
    fs::path previousAppData_;
};

TEST_F(Install, SteamFirstThenUserCfgWithTheOfficialFolderOfTheSimulator)
{
    // A Steam folder without the official folder of the simulator is passed over.
    packages("roaming/Microsoft Flight Simulator/Packages", {"Community", "Official2024"});
    const fs::path store = packages("D:/Store Packages", {"Community", "Official"});
    userCfg("local/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache",
            "InstalledPackagesPath \"" + store.string() + "\"");
    CapturedLog log;

    ASSERT_TRUE(gf_detectMsfs(true));
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), store.string());
    EXPECT_EQ(ALL_INSTALL_PATH.value(), store.string());
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.value(), "");
    EXPECT_EQ(savedParameter(g_parametersPath, "MSFS_INSTALL_PATH"), store.string());
    const auto lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2),
              (std::vector<std::string>{
                  "Steam packages: " + (dir_ / "roaming/Microsoft Flight Simulator/Packages").string(),
                  "UserCfg.opt: InstalledPackagesPath=" + store.string()}));

    // For 2024 the same Steam folder is not one (wrong simulator folder); its own is.
    const fs::path steam2024 =
        packages("roaming/Microsoft Flight Simulator 2024/Packages", {"Community", "Official2024"});
    ASSERT_TRUE(gf_detectMsfs(false));
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.value(), steam2024.string());
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), store.string());
}

TEST_F(Install, UserCfgLinesAndCandidates)
{
    const fs::path found = packages("Pàckages ü", {"Community", "Official"});
    struct Case {
        std::string line;
        bool detected;
    };
    const std::vector<Case> cases = {
        {"InstalledPackagesPath \"" + found.string() + "\"", true},  // UTF-8 kept whole
        {"  InstalledPackagesPath \"\"", false},
        {"InstalledPackagesPath \"" + found.string(), false},  // no closing quote
        {"InstalledPackagesPath " + found.string(), false},    // the whole line is no folder
        {"InstalledPackages \"" + found.string() + "\"", false},
        // Paths whose status cannot be read: too long, and through a link loop.
        {"InstalledPackagesPath \"" + (dir_ / std::string(300, 'p')).string() + "\"", false},
        {"InstalledPackagesPath \"" + (dir_ / "loop" / "Packages").string() + "\"", false},
    };
    fs::create_directory_symlink("loop", dir_ / "loop");
    for (const auto& c : cases) {
        clearSettings();
        userCfg("local/MSFSPackages", c.line);
        EXPECT_EQ(gf_detectMsfs(true), c.detected) << c.line;
        EXPECT_EQ(MSFS_INSTALL_PATH.value(), c.detected ? found.string() : "") << c.line;
    }
    // Only the fourth candidate exists: the three before are logged.
    CapturedLog log;
    EXPECT_EQ(lf_findUserCfg(true), dir_ / "local/MSFSPackages/UserCfg.opt");
    EXPECT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[1], "MSFS detection, not found: " +
                                  (dir_ / "roaming/Microsoft Flight Simulator/UserCfg.opt").string());
    MSFS_INSTALL_PATH.assign(found.string());
    EXPECT_EQ(gf_packagesPath("Community", true), found / "Community");
}

TEST_F(Install, NothingFoundChangesNothing)
{
    MSFS_INSTALL_PATH.assign("kept");
    CapturedLog log;
    EXPECT_FALSE(gf_detectMsfs(true));
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), "kept");
    EXPECT_TRUE(log.contains("No UserCfg.opt found?"));
    EXPECT_FALSE(lf_isPackagesFolder({}, true));
    EXPECT_FALSE(lf_isPackagesFolder(packages("p", {"Official"}), true));
}

}  // namespace
}  // namespace qel
