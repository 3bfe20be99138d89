#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "foundation/log.h"
#include "platform/clock.h"
#include "support/test_support.h"

namespace qel {
namespace {

using test::readFile;
using test::TempDir;

TEST(LogFile, FourStartsKeepThreeGenerationsNewestFirst)
{
    TempDir dir;
    const auto log = dir / "Log.txt";
    for (int run = 1; run <= 4; ++run) {
        gf_openLog(log);
        gf_log("run " + std::to_string(run));
        gf_closeLog();
    }
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"Log.txt", "run 4"}, {"Log0.txt", "run 3"}, {"Log00.txt", "run 2"},
        {"Log000.txt", "run 1"}};
    for (const auto& [name, marker] : expected) {
        const std::string text = readFile(dir / name);
        EXPECT_NE(text.find(std::string(marker) + "\n"), std::string::npos) << name;
        EXPECT_NE(text.find("(utc) VNTQ version 11.14.0 for MSFS 2020/2024\n"), std::string::npos)
            << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "Log0000.txt"));
}

TEST(LogFile, HeaderLineCarriesUtcTimeShortNameAndVersion)
{
    platform::ScopedClock clock(std::make_unique<platform::ManualClock>(1'767'225'600));
    TempDir dir;
    gf_openLog(dir / "Log.txt");
    gf_closeLog();
    EXPECT_EQ(readFile(dir / "Log.txt"),
              "Thu Jan 01 00:00:00 2026 (utc) VNTQ version 11.14.0 for MSFS 2020/2024\n");
}

TEST(LogFile, WritersDecorateTheirLinesAndFlushWhereTheyMust)
{
    test::CapturedLog log;
    gf_log("plain");
    gf_logHighlighted("marked");
    gf_logIndented("continued");
    gf_logFlush("flushed");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"plain", "==> marked",
                                                     "          continued", "flushed"}));
}

TEST(LogFile, ControlBytesFromOutsideAreWrittenEscaped)
{
    test::CapturedLog log;
    const char raw[] = "DLH\0\x1b[2J\x7f" "12\tend";
    gf_log(std::string_view(raw, sizeof raw - 1));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"DLH\\x00\\x1B[2J\\x7F12\tend"}));
}

TEST(LogFile, NothingIsWrittenWhileClosedOrWhileStopping)
{
    TempDir dir;
    gf_log("before open");
    {
        test::CapturedLog log;
        g_stopRequested = true;
        lf_logUnlessStopping("while stopping");
        g_stopRequested = false;
        g_closeRequested = true;
        lf_logUnlessStopping("while closing");
        g_closeRequested = false;
        lf_logUnlessStopping("running");
        EXPECT_EQ(log.lines(), std::vector<std::string>{"running"});
    }
    gf_log("after close");  // must neither crash nor reopen anything
}

// Nobody flushes: the log's own thread writes the line.
TEST(LogFile, AnOrdinaryLineReachesTheFileByItself)
{
    TempDir dir;
    gf_openLog(dir / "Log.txt");
    gf_log("no flush follows");
    EXPECT_TRUE(test::awaitText(dir.path(), "Log.txt", "\nno flush follows\n"));
    gf_closeLog();
}

// Lines wait for the log's thread in a space of fixed size, which they fill many times over; a
// line longer than a good part of it goes to the file past it.
TEST(LogFile, LinesOfAnyLengthComeWholeAndInOrder)
{
    test::CapturedLog log;
    std::vector<std::string> expected;
    for (int i = 0; i < 30'000; ++i) {
        expected.push_back(i == 15'000 ? std::string(100'000, 'x') : "line " + std::to_string(i));
        gf_log(expected.back());
    }
    EXPECT_EQ(log.lines(), expected);
}

// A line too long for the ring is written at once by the thread that logs it. Into a fifo
// nobody reads, that write cannot end: another thread's line goes into the ring all the same.
TEST(LogFile, ALongLineBeingWrittenHoldsUpNoOtherThreadsLine)
{
    TempDir dir;
    const auto path = dir / "Log.txt";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // Its reading end first: the log's own open would wait for one.
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    gf_openLog(path);
    // The header line out of the fifo: the long line then fills it from empty, to its brim.
    gf_flushLog();
    char header[256];
    EXPECT_GT(read(reader, header, sizeof header), 0);
    const int capacity = fcntl(reader, F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    const std::string longLine(
        std::max<std::size_t>(2 * static_cast<std::size_t>(capacity), std::size_t{1} << 17), 'x');
    std::thread longWriter([&] { gf_log(longLine); });
    // A full fifo: the long line's write is under way and waits for a reader.
    const auto bound = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    int queued = 0;
    while (queued < capacity && std::chrono::steady_clock::now() < bound) {
        EXPECT_EQ(ioctl(reader, FIONREAD, &queued), 0);
        std::this_thread::yield();
    }
    EXPECT_EQ(queued, capacity);

    std::promise<void> logged;
    std::thread other([&] {
        gf_log("another thread's line");
        logged.set_value();
    });
    EXPECT_EQ(logged.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the other thread's line waited for the long line's write";

    // Read, the fifo lets the long line through, and the other after it.
    ASSERT_EQ(fcntl(reader, F_SETFL, 0), 0);
    std::string text;
    std::thread drain([&] {
        char buffer[4096];
        for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
    });
    longWriter.join();
    other.join();
    gf_closeLog();
    drain.join();
    close(reader);
    EXPECT_EQ(text, longLine + "\nanother thread's line\n");
}

TEST(LogFile, LinesFromManyThreadsStayWhole)
{
    test::CapturedLog log;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 200; ++i) gf_logIndented("thread " + std::to_string(t));
        });
    }
    for (auto& w : writers) w.join();
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) EXPECT_EQ(line.rfind("          thread ", 0), 0u) << line;
}

TEST(LogGenerations, PathWithoutDotIsReportedAndNotCopied)
{
    test::CapturedLog log;
    TempDir dir;
    const auto file = dir / "noextension";
    test::writeFile(file, "x");
    EXPECT_FALSE(gf_saveUpto3GenerationsOf(file));
    EXPECT_FALSE(gf_save1GenerationOf(file));
    EXPECT_TRUE(log.contains("==> gf_saveUpto3GenerationsOf: no dot in filename: " +
                             file.string()));
    EXPECT_TRUE(log.contains("==> gf_save1GenerationOf: no dot in filename: " + file.string()));
}

TEST(LogGenerations, DotInFolderNameTakesTheZeroWhenTheFileHasNone)
{
    test::CapturedLog log;
    TempDir dir;
    std::filesystem::create_directories(dir / "stands.d");
    std::filesystem::create_directories(dir / "stands0.d");
    test::writeFile(dir / "stands.d" / "EDDL", "stands");
    EXPECT_TRUE(gf_save1GenerationOf(dir / "stands.d" / "EDDL"));
    EXPECT_EQ(readFile(dir / "stands0.d" / "EDDL"), "stands");
}

TEST(LogGenerations, OneGenerationReplacesTheOlderCopyAndNeedsNoFile)
{
    TempDir dir;
    const auto file = dir / "EGLL.xml";
    EXPECT_TRUE(gf_save1GenerationOf(file));  // nothing to copy is no failure
    test::writeFile(dir / "EGLL0.xml", "old");
    test::writeFile(file, "new");
    EXPECT_TRUE(gf_save1GenerationOf(file));
    EXPECT_EQ(readFile(dir / "EGLL0.xml"), "new");
}

TEST(LogGenerations, FailedCopyIsLoggedAndReported)
{
    test::CapturedLog log;
    TempDir dir;
    const auto file = dir / "gone.d" / "Log";  // its generation folder "gone0.d" is missing
    std::filesystem::create_directories(dir / "gone.d");
    test::writeFile(file, "x");
    EXPECT_FALSE(gf_save1GenerationOf(file));
    const auto lines = log.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("==> copy " + file.string() + " -> ", 0), 0u) << lines.back();
}

}  // namespace
}  // namespace qel
