// The lines logged right before the process ends, for each way it can end: in children, each
// this test program run again for the one test that logs and then ends as it is told.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "foundation/log.h"
#include "foundation/window_status.h"
#include "scenery/scan_pool.h"
#include "support/test_support.h"

namespace qel {
namespace {

constexpr const char* kCrashEndVariable = "VNTQ_CRASH_CHILD_END";
constexpr const char* kCrashFolderVariable = "VNTQ_CRASH_CHILD_FOLDER";
constexpr int kCrashRuns = 20;
// The stack of a child that overflows it: soon full, before the log's writer takes the line
// logged just before.
constexpr rlim_t kOverflowStackBytes = rlim_t{512} << 10;

// Recurses until the stack is gone: each frame keeps a page of its own, and the sum of the
// frames keeps the calls from folding into a loop.
int lf_overflowStack(int depth)
{
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (depth == std::numeric_limits<int>::max()) return frame[0];
    return lf_overflowStack(depth + 1) + frame[0];
}

// Only in a child: the program's log and crash handlers as main sets them up, an error, a line,
// and at once the end it was told.
TEST(CrashChild, LogsAndEnds)
{
    const char* end = std::getenv(kCrashEndVariable);
    const char* folder = std::getenv(kCrashFolderVariable);
    if (end == nullptr || folder == nullptr) GTEST_SKIP() << "only a child of CrashLog ends";
    gf_openLog(std::filesystem::path(folder) / "Log.txt");
    gf_installCrashHandlers();
    gf_logHighlighted("the error just before the end");
    gf_setErrorMessage("41: the error the user sees just before the end");
    gf_log("the line just before the end");
    const std::string how = end;
    if (how == "abort") std::abort();
    if (how == "fault") {
        // A page nobody may touch: a fault of the processor, which no sanitizer sees coming.
        void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        *static_cast<volatile int*>(page) = 1;
    }
    if (how == "overflow") gf_log(std::to_string(lf_overflowStack(0)));
    if (how == "thread overflow") {
        // On a thread the program starts, a worker of the airport scan's: the child's small
        // stack bounds those of its threads as well.
        OrderedPool<int> pool(1);
        pool.submit([] { return lf_overflowStack(0); });
        gf_log(std::to_string(pool.takeOldest()));
    }
    if (how == "throw") std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
    if (how == "exit") std::exit(3);
    if (how == "quick_exit") std::quick_exit(3);
    if (how == "_exit") _exit(3);
}

// The child's output goes to child.txt in `folder`, and no core file is written.
pid_t lf_startEndingChild(const std::string& end, const std::filesystem::path& folder)
{
    // Everything the child needs is made before the fork: after it only exec-safe calls.
    std::vector<std::string> environment = {
        std::string(kCrashEndVariable) + "=" + end,
        std::string(kCrashFolderVariable) + "=" + folder.string()};
    for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const std::string output = (folder / "child.txt").string();
    char program[] = "/proc/self/exe";
    char filter[] = "--gtest_filter=CrashChild.LogsAndEnds";
    char* argv[] = {program, filter, nullptr};
    const bool smallStack = end.ends_with("overflow");
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    rlimit stack{};
    if (smallStack && getrlimit(RLIMIT_STACK, &stack) == 0 &&
        stack.rlim_cur > kOverflowStackBytes) {
        stack.rlim_cur = kOverflowStackBytes;
        setrlimit(RLIMIT_STACK, &stack);
    }
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0 || dup2(fd, STDERR_FILENO) < 0) _exit(127);
    execve(program, argv, envp.data());
    _exit(127);
}

// A crash ends as a crash (the signal, or the sanitizer's report of a fault); an exit with its
// status. _exit cannot be caught, so only the errors, written at once, are sure to be there.
TEST(CrashLog, TheLinesJustBeforeTheEndAreInTheFileEveryTime)
{
    struct Case {
        const char* end;
        int signal;  // 0: the process exits with status 3; -1: not looked at
        bool lineKept;
    };
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr int kFaultSignal = -1;  // the sanitizer reports the fault and exits
#else
    constexpr int kFaultSignal = SIGSEGV;
#endif
    const Case cases[] = {{"abort", SIGABRT, true},         {"fault", kFaultSignal, true},
                          {"overflow", kFaultSignal, true}, {"thread overflow", kFaultSignal, true},
                          {"throw", SIGABRT, true},         {"exit", 0, true},
                          {"quick_exit", 0, true},          {"_exit", 0, false}};
    for (const Case& c : cases) {
        std::vector<std::unique_ptr<test::TempDir>> folders;
        std::vector<pid_t> children;
        for (int run = 0; run < kCrashRuns; ++run) {
            folders.push_back(std::make_unique<test::TempDir>());
            children.push_back(lf_startEndingChild(c.end, folders.back()->path()));
        }
        for (int run = 0; run < kCrashRuns; ++run) {
            int status = 0;
            ASSERT_EQ(waitpid(children[run], &status, 0), children[run]);
            const auto& folder = *folders[run];
            const std::string log = test::readFile(folder / "Log.txt");
            const std::string said = test::readFile(folder / "child.txt");
            if (c.signal > 0) {
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal)
                    << c.end << ": status " << status << "\n"
                    << said;
            } else if (c.signal == 0) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3)
                    << c.end << ": status " << status << "\n"
                    << said;
            }
            EXPECT_NE(log.find("==> the error just before the end\n"), std::string::npos)
                << c.end << ", run " << run << ":\n"
                << log;
            EXPECT_NE(log.find("\nError 41: the error the user sees just before the end\n"),
                      std::string::npos)
                << c.end << ", run " << run << ":\n"
                << log;
            if (c.lineKept) {
                EXPECT_NE(log.find("\nthe line just before the end\n"), std::string::npos)
                    << c.end << ", run " << run << ":\n"
                    << log;
            }
        }
    }
}

}  // namespace
}  // namespace qel
