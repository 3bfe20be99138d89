#include "platform/folders.h"

#include <gtest/gtest.h>

#include "scoped_env.h"

namespace qel::platform {
namespace {

using test::ScopedEnv;
using Path = std::filesystem::path;

TEST(KnownFolders, FollowTheXdgVariablesAndHome)
{
    struct Case {
        const char* name;
        KnownFolder folder;
        std::optional<std::string> xdg;
        std::optional<std::string> home;
        std::optional<Path> expected;
    };
    const Case cases[] = {
        {"config set", KnownFolder::RoamingAppData, "/xdg/config", "/home/u", Path("/xdg/config")},
        {"config relative", KnownFolder::RoamingAppData, "rel/config", "/home/u",
         Path("/home/u/.config")},
        {"config empty", KnownFolder::RoamingAppData, "", "/home/u", Path("/home/u/.config")},
        {"config unset", KnownFolder::RoamingAppData, std::nullopt, "/home/u",
         Path("/home/u/.config")},
        {"config no home", KnownFolder::RoamingAppData, std::nullopt, std::nullopt, std::nullopt},
        {"config without home", KnownFolder::RoamingAppData, "/xdg/c", std::nullopt,
         Path("/xdg/c")},
        {"data set", KnownFolder::LocalAppData, "/xdg/data", "/home/u", Path("/xdg/data")},
        {"data unset", KnownFolder::LocalAppData, std::nullopt, "/home/u",
         Path("/home/u/.local/share")},
        {"data no home", KnownFolder::LocalAppData, std::nullopt, "", std::nullopt},
        {"program files", KnownFolder::ProgramFiles, "/x", "/home/u", std::nullopt},
        {"program files x86", KnownFolder::ProgramFilesX86, "/x", "/home/u", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv config("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv data("XDG_DATA_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(knownFolderPath(c.folder), c.expected);
    }
}

TEST(KnownFolders, OverridesWinUntilCleared)
{
    ScopedEnv config("XDG_CONFIG_HOME", "/xdg/config");
    overrideKnownFolder(KnownFolder::ProgramFiles, Path("/opt/Program Files"));
    overrideKnownFolder(KnownFolder::RoamingAppData, std::nullopt);  // a failing lookup
    EXPECT_EQ(knownFolderPath(KnownFolder::ProgramFiles), Path("/opt/Program Files"));
    EXPECT_EQ(knownFolderPath(KnownFolder::RoamingAppData), std::nullopt);
    EXPECT_EQ(knownFolderPath(KnownFolder::ProgramFilesX86), std::nullopt);

    clearKnownFolderOverrides();
    EXPECT_EQ(knownFolderPath(KnownFolder::ProgramFiles), std::nullopt);
    EXPECT_EQ(knownFolderPath(KnownFolder::RoamingAppData), Path("/xdg/config"));
}

}  // namespace
}  // namespace qel::platform
