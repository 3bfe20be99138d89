// The livery folder walk: every aircraft.cfg below one scanned folder, parsed on a pool of
// workers, the liveries taken in the order the files were found.
//
// Threads "livery parser" (ParserPool::run): at most LiveryScanSetup::maxTasks, started by
// lf_scanFolderTree on the start-up thread and joined before it returns, so no parser outlives
// the walk that started it (a late one would write into report collections already written and
// emptied). Each runs queued files until the queue is closed and empty. Takes ParserPool::mutex_
// alone; the parsers take the report locks (livery_parsing.h). The walking thread waits for one
// file's result at a time, at most the setup's wait limit by the setup's clock (looked at every
// 100 ms, so a test's clock can end the wait); a given-up file's parser still runs to its end,
// its result unused.
// A stop or close drops the files not yet started. Links are followed, each folder entered
// once.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "liveries/livery_parsing.h"
#include "liveries/livery_scan.h"
#include "platform/process.h"

namespace qel {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Scenery, navigation data and converted packages hold no AI liveries; their trees are large.
constexpr std::string_view kSkipWords[] = {"airport",  "lvfr",        "mkstudios",
                                           "simwings", "fsdreamteam", "navigraph",
                                           "flytampa", "inibuilds",   "_CVT_"};
constexpr std::size_t kLongestEnteredPath = 249;  // bytes of UTF-8; Windows' MAX_PATH in mind
constexpr auto kWaitSlice = 100ms;                // how often a wait looks at the scan's clock

// One file's liveries, or the text of what its parser threw.
struct ParsedFile {
    LiveryList liveries;
    std::optional<std::string> failure;  // none when the parser returned
};

class ParserPool {
public:
    ParserPool(int32_t workers, LiveryFileParser parser) : parser_(std::move(parser))
    {
        const int32_t count = std::max<int32_t>(1, workers);
        threads_.reserve(static_cast<std::size_t>(count));
        for (int32_t i = 0; i < count; ++i) threads_.emplace_back([this] { run(); });
    }
    ~ParserPool() { join(); }
    ParserPool(const ParserPool&) = delete;
    ParserPool& operator=(const ParserPool&) = delete;

    std::future<ParsedFile> start(uint32_t folderNumber, fs::path path)
    {
        // The parser's exception stays on its worker: an exception object handed to another
        // thread is freed through a reference count the thread sanitizer cannot see, so only
        // its text crosses.
        std::packaged_task<ParsedFile()> task(
            [this, folderNumber, path = std::move(path)]() -> ParsedFile {
                try {
                    return {parser_(folderNumber, path), {}};
                } catch (const std::exception& e) {
                    return {{}, e.what()};
                } catch (...) {
                    return {{}, "unknown exception"};
                }
            });
        auto future = task.get_future();
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(task));
        }
        wake_.notify_one();
        return future;
    }

    // Files not yet started are not parsed; their futures report a broken promise.
    void dropQueued()
    {
        const std::lock_guard lock(mutex_);
        queue_.clear();
    }

    // Lets the workers finish what is queued, then joins them. Never throws.
    void join() noexcept
    {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        for (auto& thread : threads_) {
            if (thread.joinable()) thread.join();
        }
    }

private:
    void run() noexcept
    {
        platform::useSignalStack();
        for (;;) {
            std::packaged_task<ParsedFile()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
                if (queue_.empty()) return;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();  // noexcept in effect: the parser's exception became the result's failure
        }
    }

    LiveryFileParser parser_;
    std::mutex mutex_;  // guards queue_ and closing_; taken alone
    std::condition_variable wake_;
    std::deque<std::packaged_task<ParsedFile()>> queue_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

bool lf_isAircraftCfg(const fs::path& path)
{
    return gf_equalsNoCase(path.filename().string(), "aircraft.cfg");
}

// The skip words count below the scanned folder only: a livery folder the user keeps in a
// folder named "airport-addons" must still be walked. `rootText` is the root's text, with which
// every path of the walk begins.
bool lf_mayDescend(const fs::path& path, std::string_view rootText)
{
    const std::string text = path.string();
    const std::string_view below = std::string_view(text).starts_with(rootText)
                                       ? std::string_view(text).substr(rootText.size())
                                       : std::string_view(text);
    for (const auto word : kSkipWords) {
        if (below.find(word) != std::string_view::npos) return false;
    }
    return gf_pathToUtf8(path).size() <= kLongestEnteredPath;
}

// The folder's entries in name order, so that every walk of the same tree finds the files in
// the same order whatever the file system lists first; none when it cannot be opened.
std::vector<fs::directory_entry> lf_sortedEntries(const fs::path& folder)
{
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) entries.push_back(*it);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    return entries;
}

// Waits for the file's result at most `limit` by the scan's clock; false on time-out.
bool lf_awaitResult(std::future<ParsedFile>& future, std::chrono::milliseconds limit,
                    const ScanClock& clock)
{
    const auto deadline = clock() + limit;
    for (;;) {
        const auto now = clock();
        if (now >= deadline) return future.wait_for(0s) == std::future_status::ready;
        const auto slice = std::min<std::chrono::nanoseconds>(deadline - now, kWaitSlice);
        if (future.wait_for(slice) == std::future_status::ready) return true;
    }
}

class FolderWalk {
    enum class Phase { Walking, Draining };

public:
    FolderWalk(uint32_t folderNumber, const fs::path& root, const LiveryScanSetup& setup)
        : folderNumber_(folderNumber),
          rootText_(root.string()),
          setup_(setup),
          maxPending_(static_cast<std::size_t>(std::max<int32_t>(1, setup.maxTasks))),
          clock_(setup.now ? setup.now : ScanClock(std::chrono::steady_clock::now)),
          pool_(setup.maxTasks, setup.parser ? setup.parser : LiveryFileParser(lf_parseAircraftCfg))
    {
    }

    void walk(const fs::path& folder)
    {
        if (!entered_.enter(folder)) return;
        for (const auto& entry : lf_sortedEntries(folder)) {
            if (stopped_ || gf_stopFlag()) {
                stopped_ = true;
                return;
            }
            try {
                visit(entry);
            } catch (const std::exception& e) {
                gf_logHighlighted(fmt::format("liveries search in {} aborted, cause: {}",
                                              gf_pathToUtf8(entry.path()), e.what()));
            }
        }
    }

    // Takes every pending result in order; on a stop only joins the workers.
    void finish()
    {
        if (stopped_ || gf_stopFlag()) {
            pool_.dropQueued();
            pending_.clear();
        }
        while (!pending_.empty()) takeFront(Phase::Draining);
        pool_.join();
    }

private:
    void visit(const fs::directory_entry& entry)
    {
        std::error_code ec;
        const auto status = entry.status(ec);
        if (ec) return;
        const fs::path& path = entry.path();
        const bool descend = lf_mayDescend(path, rootText_);
        if (fs::is_regular_file(status) && lf_isAircraftCfg(path)) {
            if (gf_stopFlag()) {
                stopped_ = true;
                return;
            }
            pending_.push_back(pool_.start(folderNumber_, path));
            if (pending_.size() > maxPending_) takeFront(Phase::Walking);
        } else if (fs::is_directory(status) && descend) {
            walk(path);
        }
    }

    // The oldest file's liveries onto g_liveries; a time-out or the parser's exception loses
    // them, logged, and the walk goes on.
    void takeFront(Phase phase)
    {
        try {
            if (!lf_awaitResult(pending_.front(), setup_.waitLimit, clock_)) {
                throw std::runtime_error(fmt::format("Future wait timed out after {} seconds",
                                                     setup_.waitLimit.count() / 1000));
            }
            ParsedFile parsed = pending_.front().get();
            if (parsed.failure) throw std::runtime_error(*parsed.failure);
            g_liveries.splice(g_liveries.end(), parsed.liveries);
        } catch (const std::exception& e) {
            gf_logHighlighted(
                phase == Phase::Walking
                    ? fmt::format("liveries inner search aborted: {}", e.what())
                    : fmt::format("liveries search aborted, futs outer, {}", e.what()));
        }
        pending_.pop_front();
    }

    uint32_t folderNumber_;
    std::string rootText_;
    EnteredFolders entered_;
    const LiveryScanSetup& setup_;
    std::size_t maxPending_;
    ScanClock clock_;
    std::deque<std::future<ParsedFile>> pending_;  // oldest first
    bool stopped_ = false;
    ParserPool pool_;  // last: joined before the pending results go
};

}  // namespace

void lf_scanFolderTree(uint32_t folderNumber, const fs::path& root, const LiveryScanSetup& setup)
{
    FolderWalk walk(folderNumber, root, setup);
    walk.walk(root);
    walk.finish();
}

}  // namespace qel
