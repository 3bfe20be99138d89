// A pool of joinable workers that runs the add-on airport scan's per-file tasks and hands their
// results back in the order the tasks were given, so that what the scan writes does not depend
// on the number of workers or on which task ends first.
//
// Threads: "scan worker" threads (as many as asked, at least 1) run the tasks; the thread that
// owns the pool submits tasks and takes results. mutex_ guards queue_ and stopping_; it is a
// leaf lock, held only to move a task in or out (tasks run outside it). Workers wait on wake_
// for a task or the stop. The destructor stops them: tasks not yet started are dropped,
// running ones finish, and every worker is joined, so no task outlives the pool.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "foundation/log.h"

namespace qel {

template <typename Result>
class OrderedPool {
public:
    explicit OrderedPool(std::size_t workers)
    {
        if (workers == 0) workers = 1;
        workers_.reserve(workers);
        for (std::size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { run(); });
    }

    ~OrderedPool()
    {
        {
            std::scoped_lock lock(mutex_);
            stopping_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        for (auto& worker : workers_) worker.join();
    }

    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    // Owner thread only.
    void submit(std::function<Result()> task)
    {
        std::packaged_task<Result()> packaged(std::move(task));
        results_.push_back(packaged.get_future());
        {
            std::scoped_lock lock(mutex_);
            queue_.push_back(std::move(packaged));
        }
        wake_.notify_one();
    }

    // Results not yet taken; owner thread only.
    std::size_t pending() const { return results_.size(); }

    // The result of the oldest task not yet taken, waiting for it; rethrows what the task
    // threw. Owner thread only; pending() must not be 0.
    Result takeOldest()
    {
        std::future<Result> oldest = std::move(results_.front());
        results_.pop_front();
        return oldest.get();
    }

private:
    void run()
    {
        for (;;) {
            std::packaged_task<Result()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            // The packaged task stores what the task throws in its future for the owner.
            try {
                task();
            } catch (const std::exception& e) {
                gf_logHighlighted(fmt::format("scan worker: {}", e.what()));
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<Result()>> queue_;  // guarded by mutex_
    bool stopping_ = false;                           // guarded by mutex_
    std::deque<std::future<Result>> results_;         // owner thread only, in submit order
    std::vector<std::thread> workers_;
};

}  // namespace qel
