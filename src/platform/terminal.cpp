// The writer of standard error: callers queue their text, and one thread writes it.
//
// Thread "Terminal": started by the first text handed over, detached; it takes the oldest text
// under the queue's mutex and writes it outside it, with write(2) rather than stdio, whose lock
// it would hold while a write blocks. It waits on `wake` for text, and never ends: the process
// ends it, also while a write blocks. The queue's mutex is a leaf lock, held only to move a
// text in or out; flushStandardError waits on `progress` under it.
#include "platform/terminal.h"

#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "platform/process.h"

namespace qel::platform {
namespace {

// Some 700 lines of the message line: far more than a close-down writes, so that only a
// terminal that has taken nothing for a long while loses lines.
constexpr std::size_t kBacklogBytes = std::size_t{64} * 1024;

struct TerminalQueue {
    std::mutex mutex;  // guards all below; a leaf lock
    std::condition_variable wake;
    std::condition_variable progress;
    std::deque<std::string> texts;
    std::size_t bytes = 0;    // of texts
    std::size_t dropped = 0;  // lines dropped since the last one queued
    uint64_t written = 0;     // texts written (or given up) so far
    bool writing = false;     // the writer holds a text it took out
    bool started = false;     // the writer runs
};

// Never destroyed: at exit the writer may still be blocked in a write that uses it.
TerminalQueue& lf_queue()
{
    static auto* queue = new TerminalQueue;
    return *queue;
}

// The whole text, unless standard error fails (a pipe nobody reads any more): then it is lost.
void lf_writeAll(std::string_view text)
{
    while (!text.empty()) {
        const ssize_t count = ::write(STDERR_FILENO, text.data(), text.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(count));
    }
}

void lf_writeQueued()
{
    setThreadName("Terminal");
    useSignalStack();
    auto& queue = lf_queue();
    for (;;) {
        std::string text;
        {
            std::unique_lock lock(queue.mutex);
            queue.wake.wait(lock, [&] { return !queue.texts.empty(); });
            text = std::move(queue.texts.front());
            queue.texts.pop_front();
            queue.bytes -= text.size();
            queue.writing = true;
        }
        lf_writeAll(text);
        {
            std::scoped_lock lock(queue.mutex);
            queue.writing = false;
            ++queue.written;
        }
        queue.progress.notify_all();
    }
}

std::size_t lf_lineCount(std::string_view text)
{
    std::size_t lines = 0;
    for (const char c : text) lines += c == '\n' ? 1 : 0;
    return lines > 0 ? lines : 1;
}

// Under the queue's mutex. False when there is no writer: the caller writes itself.
bool lf_startWriter(TerminalQueue& queue)
{
    if (queue.started) return true;
    queue.started = true;
    try {
        std::thread(lf_writeQueued).detach();
        return true;
    } catch (const std::system_error&) {
        queue.started = false;
        return false;
    }
}

// Under the queue's mutex: where lines were dropped, the terminal's reader learns how many.
void lf_queueDroppedNote(TerminalQueue& queue)
{
    if (queue.dropped == 0) return;
    queue.texts.push_back("(" + std::to_string(queue.dropped) +
                          " lines not written: the terminal took none)\n");
    queue.bytes += queue.texts.back().size();
    queue.dropped = 0;
    queue.wake.notify_one();
}

}  // namespace

void writeToStandardError(std::string_view text)
{
    if (text.empty()) return;
    auto& queue = lf_queue();
    {
        std::scoped_lock lock(queue.mutex);
        try {
            if (lf_startWriter(queue)) {
                if (queue.bytes + text.size() > kBacklogBytes) {
                    queue.dropped += lf_lineCount(text);
                    return;
                }
                lf_queueDroppedNote(queue);
                queue.texts.emplace_back(text);
                queue.bytes += text.size();
                queue.wake.notify_one();
                return;
            }
        } catch (const std::bad_alloc&) {
            return;
        }
    }
    // No thread could be had: written here, as before there was a writer.
    lf_writeAll(text);
}

bool flushStandardError(std::chrono::milliseconds idleBound)
{
    auto& queue = lf_queue();
    std::unique_lock lock(queue.mutex);
    try {
        lf_queueDroppedNote(queue);
    } catch (const std::bad_alloc&) {
        queue.dropped = 0;
    }
    for (;;) {
        if (queue.texts.empty() && !queue.writing) return true;
        const uint64_t before = queue.written;
        if (!queue.progress.wait_for(lock, idleBound, [&] { return queue.written != before; })) {
            return false;
        }
    }
}

}  // namespace qel::platform
