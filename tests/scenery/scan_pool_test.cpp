// The scan's worker pool: results come back in the order the tasks were given, whichever ends
// first, and a task's exception comes back as its text on the owner's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "scenery/scan_pool.h"

namespace qel {
namespace {

using namespace std::chrono_literals;

TEST(ScanPool, ResultsInSubmitOrderAndFailuresAsText)
{
    OrderedPool<std::string> pool(4);
    for (int i = 0; i < 12; ++i) {
        pool.submit([i] {
            // Early tasks end last.
            std::this_thread::sleep_for(std::chrono::milliseconds(2 * (12 - i)));
            if (i % 5 == 3) throw std::runtime_error("damaged " + std::to_string(i));
            return std::to_string(i);
        });
    }
    std::vector<std::string> taken;
    while (pool.pending() > 0) {
        try {
            taken.push_back(pool.takeOldest());
        } catch (const std::runtime_error& e) {
            taken.push_back(std::string("!") + e.what());
        }
    }
    EXPECT_EQ(taken, (std::vector<std::string>{"0", "1", "2", "!damaged 3", "4", "5", "6", "7",
                                               "!damaged 8", "9", "10", "11"}));
}

// A task that does not end in time is given up and reported; the results after it still come.
TEST(ScanPool, AWaitThatRunsOutIsReportedAndTheNextResultsStillCome)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    OrderedPool<int> pool(2);
    pool.submit([released] {
        released.wait();
        return 1;
    });
    pool.submit([] { return 2; });
    try {
        pool.takeOldest(0s);
        ADD_FAILURE() << "no time-out";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Future wait timed out after 0 seconds");
    }
    EXPECT_EQ(pool.pending(), 1u);
    EXPECT_EQ(pool.takeOldest(), 2);
    release.set_value();  // the hung task ends before the pool does
}

TEST(ScanPool, UntakenTasksAreDroppedOrFinishedBeforeThePoolGoes)
{
    std::atomic<int> ran{0};
    {
        OrderedPool<int> pool(1);
        for (int i = 0; i < 50; ++i) {
            pool.submit([&ran] {
                std::this_thread::sleep_for(5ms);
                return ++ran;
            });
        }
    }
    const int atEnd = ran.load();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ran.load(), atEnd);  // nothing ran after the pool was gone
    EXPECT_LT(atEnd, 50);
}

}  // namespace
}  // namespace qel
