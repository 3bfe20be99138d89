#include "platform/process.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "scoped_env.h"
#include "support/test_support.h"

namespace qel::platform {
namespace {

using test::ScopedEnv;
using test::TempDir;

TEST(SingleInstanceLock, SecondHolderSeesItUntilTheFirstIsGone)
{
    TempDir runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());

    auto first = std::make_unique<SingleInstanceLock>("Local\\$VNTQ$");
    EXPECT_EQ(first->path(), runtime / "Local__VNTQ_.lock");
    EXPECT_TRUE(first->created());
    EXPECT_FALSE(first->alreadyExists());

    SingleInstanceLock second("Local\\$VNTQ$");
    EXPECT_TRUE(second.created());
    EXPECT_TRUE(second.alreadyExists());

    SingleInstanceLock other("Local\\$OTHER$");
    EXPECT_FALSE(other.alreadyExists());

    first.reset();
    SingleInstanceLock third("Local\\$VNTQ$");
    EXPECT_TRUE(third.created());
    EXPECT_FALSE(third.alreadyExists());
}

TEST(SingleInstanceLock, WithoutRuntimeFolderALockInTheSharedTempFolderIsIgnored)
{
    TempDir temp;
    TempDir home;
    ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnv tmpdir("TMPDIR", temp.path().string());
    ScopedEnv homeEnv("HOME", home.path().string());
    // Another user's lock file in the shared folder, held for good.
    const int foreign = ::open((temp / "Local__VNTQ_.lock").c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_EQ(::flock(foreign, LOCK_EX), 0);
    const auto own = temp / ("vntq-" + std::to_string(::getuid()));
    {
        SingleInstanceLock lock("Local\\$VNTQ$");
        EXPECT_EQ(lock.path(), own / "Local__VNTQ_.lock");
        EXPECT_TRUE(lock.created());
        EXPECT_FALSE(lock.alreadyExists());
        struct stat info{};
        ASSERT_EQ(::lstat(own.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
    }
    // A folder of that name that others may write to, or a symlink, is not the user's own.
    const auto cache = home / ".cache/vntq/Local__VNTQ_.lock";
    ::chmod(own.c_str(), 0777);
    EXPECT_EQ(SingleInstanceLock("Local\\$VNTQ$").path(), cache);
    std::filesystem::remove_all(own);
    std::filesystem::create_directory_symlink(temp.path(), own);
    EXPECT_EQ(SingleInstanceLock("Local\\$VNTQ$").path(), cache);
    ::close(foreign);
}

TEST(SingleInstanceLock, SeesAHolderInAnotherProcess)
{
    TempDir runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());
    const std::string path = (runtime / "Local__VNTQ_.lock").string();
    int locked[2];
    int release[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(release), 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only async-signal-safe calls in the child. Its copy of the release pipe's write end
        // goes, or it would never see end-of-file.
        ::close(release[1]);
        ::close(locked[0]);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
        const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        const char state = held ? 'y' : 'n';
        (void)!::write(locked[1], &state, 1);
        char ignored = 0;
        (void)!::read(release[0], &ignored, 1);
        ::_exit(held ? 0 : 1);
    }
    ::close(locked[1]);
    ::close(release[0]);
    char state = 0;
    ASSERT_EQ(::read(locked[0], &state, 1), 1);
    EXPECT_EQ(state, 'y');
    {
        SingleInstanceLock lock("Local\\$VNTQ$");
        EXPECT_TRUE(lock.alreadyExists());
    }
    ::close(release[1]);  // the child reads end-of-file and exits, dropping its lock
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(locked[0]);

    SingleInstanceLock after("Local\\$VNTQ$");
    EXPECT_FALSE(after.alreadyExists());
}

// A missing runtime folder passes the lock on; with no folder for it at all, none is made.
TEST(SingleInstanceLock, AMissingRuntimeFolderPassesTheLockOn)
{
    TempDir temp;
    ScopedEnv env("XDG_RUNTIME_DIR", (temp / "missing").string());
    ScopedEnv tmpdir("TMPDIR", temp.path().string());
    {
        SingleInstanceLock lock("Local\\$VNTQ$");
        EXPECT_EQ(lock.path(), temp / ("vntq-" + std::to_string(::getuid())) / "Local__VNTQ_.lock");
        EXPECT_TRUE(lock.created());
        EXPECT_FALSE(lock.alreadyExists());
    }
    ScopedEnv noTemp("TMPDIR", (temp / "missing").string());
    ScopedEnv noHome("HOME", (temp / "missing").string());
    SingleInstanceLock lock("Local\\$VNTQ$");
    EXPECT_FALSE(lock.created());
    EXPECT_FALSE(lock.alreadyExists());
}

TEST(Elevation, FollowsOverrideThenEffectiveUser)
{
    overrideElevated(true);
    EXPECT_TRUE(isElevated());
    overrideElevated(false);
    EXPECT_FALSE(isElevated());
    overrideElevated(std::nullopt);
    EXPECT_EQ(isElevated(), ::geteuid() == 0);
}

TEST(WriteProbe, SucceedsInAWritableFolderAndLeavesNothing)
{
    TempDir dir;
    EXPECT_TRUE(probeWriteAccess(dir.path(), ".write_test.tmp"));
    EXPECT_FALSE(std::filesystem::exists(dir / ".write_test.tmp"));

    test::writeFile(dir / ".write_test.tmp", "left by a crash");
    EXPECT_TRUE(probeWriteAccess(dir.path(), ".write_test.tmp"));
    EXPECT_FALSE(std::filesystem::exists(dir / ".write_test.tmp"));

    EXPECT_FALSE(probeWriteAccess(dir / "missing", ".write_test.tmp"));
}

TEST(WriteProbe, NeverWritesThroughALink)
{
    TempDir dir;
    test::writeFile(dir / "target.txt", "keep");
    std::filesystem::create_symlink(dir / "target.txt", dir / ".write_test.tmp");
    probeWriteAccess(dir.path(), ".write_test.tmp");
    EXPECT_EQ(test::readFile(dir / "target.txt"), "keep");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / ".write_test.tmp"));
}

TEST(WriteProbe, FailsInAReadOnlyFolder)
{
    TempDir dir;
    const auto folder = dir / "readonly";
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_exec);
    const bool writable = probeWriteAccess(folder, ".write_test.tmp");
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_FALSE(std::filesystem::exists(folder / ".write_test.tmp"));
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    EXPECT_FALSE(writable);
}

TEST(ShellOpen, GoesToTheRecorderWhileOneIsSet)
{
    std::vector<std::filesystem::path> opened;
    bool answer = true;
    setShellRecorder([&](const std::filesystem::path& path) {
        opened.push_back(path);
        return answer;
    });
    EXPECT_TRUE(shellOpen("/data/docs/Manual.pdf"));
    answer = false;
    EXPECT_FALSE(shellOpen("/data/VNTQ"));
    setShellRecorder(nullptr);
    EXPECT_EQ(opened, (std::vector<std::filesystem::path>{"/data/docs/Manual.pdf", "/data/VNTQ"}));
}

TEST(ShellOpen, FailsWhenNoOpenerIsInstalled)
{
    TempDir emptyBin;
    ScopedEnv path("PATH", emptyBin.path().string());
    EXPECT_FALSE(shellOpen(emptyBin.path()));
}

TEST(ThreadName, IsWhatTopShowsCutToFifteenBytes)
{
    struct Case {
        const char* name;
        const char* shown;
    };
    const Case cases[] = {
        {"Traffic Reader", "Traffic Reader"},
        {"SimClient", "SimClient"},
        {"A name longer than fifteen bytes", "A name longer t"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string shown = "<unset>";
        std::thread([&] {
            setThreadName(c.name);
            shown = threadName();
        }).join();
        EXPECT_EQ(shown, c.shown) << c.name;
    }
}

TEST(SystemErrorText, GivesTheSystemMessage)
{
    EXPECT_EQ(systemErrorText(ENOENT), "No such file or directory");
    EXPECT_EQ(systemErrorText(EACCES), "Permission denied");
}

}  // namespace
}  // namespace qel::platform
