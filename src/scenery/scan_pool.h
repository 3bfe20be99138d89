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

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"

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
        // What the task throws stays on its worker and only its text crosses: an exception
        // object handed to another thread is freed through a reference count the thread
        // sanitizer cannot see.
        std::packaged_task<Outcome()> packaged([task = std::move(task)]() -> Outcome {
            try {
                return {task(), {}};
            } catch (const std::exception& e) {
                return {std::nullopt, e.what()};
            } catch (...) {
                return {std::nullopt, "unknown exception"};
            }
        });
        results_.push_back(packaged.get_future());
        {
            std::scoped_lock lock(mutex_);
            queue_.push_back(std::move(packaged));
        }
        wake_.notify_one();
    }

    // Results not yet taken; owner thread only.
    std::size_t pending() const { return results_.size(); }

    // The result of the oldest task not yet taken, waiting for it at most `wait`; what the task
    // threw comes as a std::runtime_error with its text, and so does a wait that ran out ("Future
    // wait timed out after 10 seconds"): the task then finishes on its worker and its result is
    // dropped, so that one hung file cannot stall the scan. Owner thread only; pending() must
    // not be 0.
    Result takeOldest(std::chrono::seconds wait = std::chrono::seconds(10))
    {
        std::future<Outcome> oldest = std::move(results_.front());
        results_.pop_front();
        if (oldest.wait_for(wait) != std::future_status::ready) {
            throw std::runtime_error("Future wait timed out after " + std::to_string(wait.count()) +
                                     " seconds");
        }
        Outcome outcome = oldest.get();
        if (!outcome.value) throw std::runtime_error(outcome.failure);
        return std::move(*outcome.value);
    }

private:
    struct Outcome {
        std::optional<Result> value;  // none when the task threw
        std::string failure;
    };

    void run()
    {
        platform::useSignalStack();
        for (;;) {
            std::packaged_task<Outcome()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();  // throws nothing: the task's exception became its outcome
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<Outcome()>> queue_;  // guarded by mutex_
    bool stopping_ = false;                            // guarded by mutex_
    std::deque<std::future<Outcome>> results_;         // owner thread only, in submit order
    std::vector<std::thread> workers_;
};

}  // namespace qel
