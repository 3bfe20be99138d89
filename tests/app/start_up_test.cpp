#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/core.h"
#include "app_fixture.h"
#include "foundation/globals.h"

namespace qel {
namespace {

TEST(StartUpInstallPath, OnlyTheTrailingCommunityFolderIsRemoved)
{
    struct Case {
        std::string stored;
        std::string cleaned;
    };
    const Case cases[] = {
        {R"(D:\MSFS\Community)", R"(D:\MSFS)"},
        {"/games/msfs/Community", "/games/msfs"},
        {R"(D:\Community\Packages\Community)", R"(D:\Community\Packages)"},
        {R"(D:\MSFS\Packages)", R"(D:\MSFS\Packages)"},
        {R"(D:\MSFS\MyCommunity)", R"(D:\MSFS\MyCommunity)"},
        {R"(D:\Community\Packages)", R"(D:\Community\Packages)"},
        {R"(\Community)", ""},
        {"Community", "Community"},  // shorter than 10 characters
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(lf_withoutTrailingCommunity(c.stored), c.cleaned);
}

using StartUpFolders = test::AppTest;

TEST_F(StartUpFolders, MissingFoldersAreCreatedAndTheOldTrafficListRemoved)
{
    std::filesystem::create_directories("output/info");
    test::writeFile(g_objectIdListTxt, "1;KLM1234\n");
    lf_prepareFolders();
    for (const char* folder :
         {"output", "output/info", "output/errors", "airports", "airports/learned",
          "airports/learned/stock", "airports/learned/simaddon", "airports/learned/thirdparty",
          "airports/my_simaddon", "airports/my_thirdparty", "input/my_regcodes"}) {
        EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
    }
    EXPECT_FALSE(std::filesystem::exists(g_objectIdListTxt));
}

TEST_F(StartUpFolders, AFileInPlaceOfAFolderFailsWithCreateDirectories)
{
    test::writeFile("airports", "not a folder");
    try {
        lf_prepareFolders();
        FAIL() << "no error";
    } catch (const std::filesystem::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("create_directories"), std::string::npos);
    }
}

}  // namespace
}  // namespace qel
