#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "livery_scan_fixtures.h"

namespace qel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::CapturedLog;
using test::LiveryScanTest;
using test::writeCfg;

// A clock that stands still until a test moves it; any thread.
class HandClock {
public:
    std::chrono::steady_clock::time_point now() const
    {
        return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(offset_.load()));
    }
    void advance(std::chrono::nanoseconds by) { offset_ += by.count(); }

private:
    std::atomic<int64_t> offset_{std::chrono::nanoseconds(240h).count()};
};

// A parser standing in for the real one: one livery per file, titled with the file's folder
// name, and a record of which files it was given.
class FakeParser {
public:
    explicit FakeParser(fs::path root) : root_(std::move(root)) {}
    LiveryList parse(uint32_t folder, const fs::path& path)
    {
        const std::string name = fs::relative(path.parent_path(), root_).generic_string();
        {
            const std::lock_guard lock(mutex_);
            seen_.push_back(name);
        }
        return {test::makeLivery(name, "DLH", "A320", "", false, static_cast<uint16_t>(folder))};
    }
    std::vector<std::string> seen()
    {
        const std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    fs::path root_;
    std::mutex mutex_;
    std::vector<std::string> seen_;
};

std::vector<std::string> titles()
{
    std::vector<std::string> out;
    for (const auto& l : g_liveries) out.push_back(l.title);
    return out;
}

class FolderWalk : public LiveryScanTest {
protected:
    LiveryScanSetup setup(int32_t workers, FakeParser& parser)
    {
        LiveryScanSetup s;
        s.maxTasks = workers;
        s.parser = [&parser](uint32_t folder, const fs::path& path) {
            return parser.parse(folder, path);
        };
        return s;
    }
};

TEST_F(FolderWalk, FindsAircraftCfgFilesInNameOrderOutsideSkippedTrees)
{
    const fs::path root = dir_ / "Community";
    const std::string cfg = "[fltsim.0]\n";
    for (const char* file : {"b/AIRCRAFT.CFG", "a/aircraft.cfg", "a/z/aircraft.cfg",
                             "c/aircraft.cfg.bak", "c/my_aircraft.cfg", "d/airport-x/aircraft.cfg",
                             "d/conv_CVT_/aircraft.cfg", "d/inibuilds-a/aircraft.cfg",
                             "e/Navigraph/aircraft.cfg", "aircraft.cfg"}) {
        writeCfg(root / file, cfg);
    }
    // A folder whose own path passes 249 bytes is not entered; one just within is.
    const std::size_t room = 249 - (root / "f" / "").string().size();
    writeCfg(root / "f" / std::string(room, 'x') / "aircraft.cfg", cfg);
    writeCfg(root / "f" / std::string(room + 1, 'y') / "aircraft.cfg", cfg);
    // Links are followed, but a folder met again, by a link back or a second link, is not
    // entered again.
    fs::create_directory_symlink("..", root / "a" / "back");
    fs::create_directory_symlink(root / "b", root / "g");
    FakeParser parser(root);
    lf_scanFolderTree(4, root, setup(2, parser));
    EXPECT_EQ(titles(), (std::vector<std::string>{"a", "a/z", ".", "b", "e/Navigraph",
                                                  "f/" + std::string(room, 'x')}));
    EXPECT_EQ(g_liveries.front().folderNumber, 4);

    // The skip words count below the root only: a root whose own path holds one is walked.
    g_liveries.clear();
    const fs::path scenery = dir_ / "my-airport-sceneries";
    writeCfg(scenery / "aircraft.cfg", cfg);
    writeCfg(scenery / "sub" / "aircraft.cfg", cfg);
    writeCfg(scenery / "airport" / "aircraft.cfg", cfg);
    FakeParser sceneryParser(scenery);
    lf_scanFolderTree(1, scenery, setup(2, sceneryParser));
    EXPECT_EQ(titles(), (std::vector<std::string>{".", "sub"}));

    // A root that does not exist, or holds no aircraft.cfg, adds nothing and logs nothing.
    g_liveries.clear();
    CapturedLog log;
    lf_scanFolderTree(1, dir_ / "none", setup(2, parser));
    lf_scanFolderTree(1, root / "c", setup(2, parser));
    EXPECT_TRUE(g_liveries.empty());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(FolderWalk, TwoWorkersOverFiveFilesKeepFileOrder)
{
    const fs::path root = dir_ / "pkg";
    for (const char* folder : {"e", "d", "c", "b", "a"}) writeCfg(root / folder / "aircraft.cfg", "");
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    std::promise<void> pairMet;
    auto pairMetFuture = pairMet.get_future().share();
    std::atomic<int> arrived{0};
    FakeParser inner(root);
    LiveryScanSetup s;
    s.maxTasks = 2;
    s.parser = [&](uint32_t folder, const fs::path& path) {
        const int now = ++running;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        // The first two files wait for each other: both workers run at once.
        if (++arrived == 2) pairMet.set_value();
        if (arrived <= 2) pairMetFuture.wait_for(30s);
        LiveryList result = inner.parse(folder, path);
        --running;
        return result;
    };
    lf_scanFolderTree(1, root, s);
    EXPECT_EQ(most.load(), 2);
    EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

TEST_F(FolderWalk, SlowAndThrowingFilesAreGivenUpAndTheWalkGoesOn)
{
    const fs::path root = dir_ / "pkg";
    for (const char* folder : {"a", "b", "c", "d", "e"}) writeCfg(root / folder / "aircraft.cfg", "");
    HandClock clock;
    // Only the walk reads the clock, and first when it begins to wait for file a.
    std::atomic<bool> read{false};
    std::promise<void> waiting;
    std::promise<void> dStarted;
    auto waitingFuture = waiting.get_future();
    auto dFuture = dStarted.get_future();
    FakeParser inner(root);
    LiveryScanSetup s;
    s.maxTasks = 2;
    s.now = [&] {
        const auto now = clock.now();  // read before file a may move the clock on
        if (!read.exchange(true)) waiting.set_value();
        return now;
    };
    s.parser = [&](uint32_t folder, const fs::path& path) -> LiveryList {
        const std::string name = path.parent_path().filename().string();
        if (name == "a") {
            // Slow: still busy 11 s after the walk began to wait for it, and until file d,
            // started only after a was given up, is under way.
            waitingFuture.wait_for(30s);
            clock.advance(11s);
            dFuture.wait_for(30s);
        } else if (name == "b" || name == "e") {
            throw std::runtime_error("damaged " + name);
        } else if (name == "d") {
            dStarted.set_value();
        }
        return inner.parse(folder, path);
    };
    CapturedLog log;
    lf_scanFolderTree(1, root, s);
    EXPECT_EQ(titles(), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "==> liveries inner search aborted: Future wait timed out after 10 seconds",
                  "==> liveries inner search aborted: damaged b",
                  "==> liveries search aborted, futs outer, damaged e"}));
    // The given-up parser ran to its end before the walk returned.
    EXPECT_EQ(inner.seen().size(), 3U);
}

}  // namespace
}  // namespace qel
