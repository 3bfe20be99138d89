#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <fmt/format.h>

#include "platform/process.h"
#include "support/test_support.h"

namespace qel {
namespace {

using test::readFile;
using test::TempDir;

// Runs vntq in `folder` with its per-user and runtime folders inside `home`; the exit status.
int lf_runProgram(const std::filesystem::path& folder, const std::filesystem::path& home)
{
    const std::string command = fmt::format(
        "cd '{}' && XDG_CONFIG_HOME='{}/config' XDG_DATA_HOME='{}/data' XDG_RUNTIME_DIR='{}' "
        "'{}' >'{}/stdout' 2>'{}/stderr'",
        folder.string(), home.string(), home.string(), home.string(), VNTQ_EXECUTABLE,
        home.string(), home.string());
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}

TEST(Program, FourRunsLeaveFourLogGenerationsAndTheSettingsFile)
{
    TempDir folder;
    TempDir home;
    for (int run = 0; run < 4; ++run) ASSERT_EQ(lf_runProgram(folder.path(), home.path()), 0);

    for (const char* name : {"Log.txt", "Log0.txt", "Log00.txt", "Log000.txt"}) {
        const std::string text = readFile(folder / name);
        EXPECT_NE(text.find(" (utc) VNTQ version 11.14.0 for MSFS 2020/2024\n"),
                  std::string::npos)
            << name;
        EXPECT_EQ(text.find("(utc)"), 25u) << name << " must start with its header line";
    }
    const auto parameters = home / "config" / "VNTQ" / "parameters.xml";
    ASSERT_TRUE(std::filesystem::exists(parameters));
    EXPECT_NE(readFile(parameters).find("name=\"RANGE\" value=\"40\""), std::string::npos);
    // The first run created the file; later runs read it and log every setting.
    EXPECT_NE(readFile(folder / "Log000.txt").find("not found, creating new with default values:"),
              std::string::npos);
    EXPECT_NE(readFile(folder / "Log.txt").find("RANGE=40"), std::string::npos);
}

TEST(Program, SecondInstanceLeavesAtOnceSayingNothing)
{
    TempDir folder;
    TempDir home;
    ASSERT_EQ(setenv("XDG_RUNTIME_DIR", home.path().c_str(), 1), 0);
    platform::SingleInstanceLock first("Local\\$VNTQ$");
    ASSERT_FALSE(first.alreadyExists());

    EXPECT_EQ(lf_runProgram(folder.path(), home.path()), 255);  // -1 as an exit status
    EXPECT_FALSE(std::filesystem::exists(folder / "Log.txt"));
    EXPECT_EQ(readFile(home / "stdout"), "");
    EXPECT_EQ(readFile(home / "stderr"), "");
}

}  // namespace
}  // namespace qel
