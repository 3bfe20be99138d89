// Log.txt: the writers, the header line and the generations of older files.
//
// Threads: every writer may be called from any thread; each takes g_logMutex (ranked last, so
// no other lock is taken while it is held) and adds its whole line under it to a ring of fixed
// size. The log's own thread "Log writer" writes the ring to the file every kWriteEvery, under
// g_logFileMutex, which is taken before g_logMutex: a write to the file can hold its caller for
// hundreds of microseconds on a busy disk, and the main loop logs on its 10 ms tick. So the
// lines of a wait after a stop ("Exiting: ...", the sign-out) are still readable during the wait
// and survive a kill in it. A highlighted line, gf_logFlush and gf_flushLog write everything on
// the calling thread: an error the user must see is in the file whatever comes next. The writer
// stops at process exit, after which every line is written by the thread that logs it.
//
// A fatal signal or std::terminate may strike a thread that holds either mutex, half-way
// through a line: the ring never moves, and the positions of what is whole, taken and written
// are atomics, so that gf_writeLogInCrash reads what is whole without a lock.
#include "foundation/log.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include <fmt/format.h>

#include "foundation/time.h"
#include "foundation/version.h"
#include "platform/clock.h"
#include "platform/disk.h"
#include "platform/process.h"

namespace qel {

platform::AppendFile g_logStream;
std::mutex g_logMutex;
std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_closeRequested{false};

namespace {

constexpr auto kWriteEvery = std::chrono::milliseconds(20);
// Some 2,500 lines of 100 bytes, far more than the 20 ms between two writes gather; when it is
// full all the same, the thread that logs writes it to make room.
constexpr std::size_t kRingBytes = std::size_t{1} << 18;
// A longer line goes to the file at once, past the ring, which it would hold up.
constexpr std::size_t kLongLineBytes = kRingBytes / 4;
constexpr int kCrashWaitRounds = 100;  // of 1 ms: a write under way on another thread, in a crash

std::mutex g_logFileMutex;     // serialises the ordinary writes to g_logStream; before g_logMutex
bool g_logOpen = false;        // guarded by g_logMutex: g_logStream is open
bool g_logWriterGone = false;  // guarded by g_logMutex: process exit stopped the writer
std::condition_variable g_logWake;  // with g_logMutex: the writer is to stop

// The lines not yet in the file. A position counts the bytes added since the process began and
// only grows; its byte lies at the position modulo kRingBytes. Lines are copied in under
// g_logMutex behind g_logAdded; a write takes [g_logTaken, g_logAdded) and, once it is in the
// file, moves g_logWritten up to its end. Only room behind g_logWritten is filled again, so a
// write, or a crash's, reads bytes that nobody changes.
char g_logRing[kRingBytes];
std::atomic<uint64_t> g_logAdded{0};    // end of the last whole line
std::atomic<uint64_t> g_logTaken{0};    // end of what a write has taken
std::atomic<uint64_t> g_logWritten{0};  // end of what is in the file (or failed to go there)
static_assert(std::atomic<uint64_t>::is_always_lock_free, "read in signal context");

// The log's writer: started by the first gf_openLog, stopped at process exit. Declared after
// the stream so that it is stopped, and has written its last lines, before the stream goes.
class LogWriter {
public:
    void start()
    {
        std::scoped_lock lock(g_logMutex);
        if (thread_.joinable()) return;
        stopping_ = false;
        thread_ = std::thread([this] { run(); });
        // quick_exit runs no destructor, so the writer's last write would not come.
        std::at_quick_exit([] { gf_writeLogInCrash(); });
    }
    ~LogWriter()
    {
        {
            std::scoped_lock lock(g_logMutex);
            stopping_ = true;
        }
        g_logWake.notify_all();
        if (thread_.joinable()) thread_.join();
    }

private:
    void run();
    bool stopping_ = false;  // guarded by g_logMutex
    std::thread thread_;
};
LogWriter g_logWriter;

bool lf_isControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\n' && c != '\r' && c != '\t') || byte == 0x7f;
}

std::size_t lf_escapedSize(std::string_view text)
{
    return text.size() +
           3 * static_cast<std::size_t>(std::count_if(text.begin(), text.end(), &lf_isControl));
}

// Text from outside (a reply, a callsign) may hold NUL or terminal escapes: they are written
// as \xNN so that Log.txt stays a readable text file. `put` takes the text in parts.
template <class Put>
void lf_escape(std::string_view text, Put put)
{
    constexpr char digits[] = "0123456789ABCDEF";
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!lf_isControl(text[i])) continue;
        put(text.substr(start, i - start));
        const auto byte = static_cast<unsigned char>(text[i]);
        const char escaped[] = {'\\', 'x', digits[byte >> 4], digits[byte & 15]};
        put(std::string_view(escaped, sizeof escaped));
        start = i + 1;
    }
    put(text.substr(start));
}

// Under g_logMutex.
std::size_t lf_roomInRing()
{
    return kRingBytes - static_cast<std::size_t>(g_logAdded.load(std::memory_order_relaxed) -
                                                 g_logWritten.load(std::memory_order_acquire));
}

// Under g_logMutex, with room for the line: it becomes whole, and visible to a write, at once.
void lf_addToRing(std::string_view prefix, std::string_view text)
{
    uint64_t at = g_logAdded.load(std::memory_order_relaxed);
    const auto put = [&at](std::string_view bytes) {
        const std::size_t place = at % kRingBytes;
        const std::size_t first = std::min(bytes.size(), kRingBytes - place);
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(first),
                  g_logRing + place);
        std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(first), bytes.end(), g_logRing);
        at += bytes.size();
    };
    put(prefix);
    lf_escape(text, put);
    put("\n");
    g_logAdded.store(at, std::memory_order_release);
}

// Async-signal-safe: the ring's bytes [from, to) to the file.
void lf_writeRing(uint64_t from, uint64_t to) noexcept
{
    const std::size_t place = from % kRingBytes;
    const auto size = static_cast<std::size_t>(to - from);
    const std::size_t first = std::min(size, kRingBytes - place);
    g_logStream.write({g_logRing + place, first});
    if (size > first) g_logStream.write({g_logRing, size - first});
}

// Async-signal-safe. Only ever up: a crash that gave up waiting for a write may have passed it.
void lf_markWritten(uint64_t end) noexcept
{
    uint64_t written = g_logWritten.load(std::memory_order_relaxed);
    while (written < end &&
           !g_logWritten.compare_exchange_weak(written, end, std::memory_order_release)) {
    }
}

// Under g_logFileMutex: the lines added so far go to the file, in the order they were added.
// A line that cannot be written is dropped, as a failing stream drops it: the ring must not
// fill up for good.
void lf_writePending()
{
    const uint64_t end = g_logAdded.load(std::memory_order_acquire);
    uint64_t start = g_logTaken.load(std::memory_order_relaxed);
    // A crash on another thread that took them writes them itself.
    if (start == end || !g_logTaken.compare_exchange_strong(start, end)) return;
    // A crash writes what it took before these: they follow it in the file.
    while (g_logWritten.load(std::memory_order_acquire) < start) std::this_thread::yield();
    lf_writeRing(start, end);
    lf_markWritten(end);
}

void lf_writeNow()
{
    std::scoped_lock lock(g_logFileMutex);
    lf_writePending();
}

void LogWriter::run()
{
    platform::setThreadName("Log writer");
    platform::useSignalStack();
    std::unique_lock lock(g_logMutex);
    while (!stopping_) {
        g_logWake.wait_for(lock, kWriteEvery, [this] { return stopping_; });
        if (g_logAdded.load(std::memory_order_relaxed) ==
            g_logTaken.load(std::memory_order_relaxed)) {
            continue;
        }
        lock.unlock();
        lf_writeNow();
        lock.lock();
    }
    g_logWriterGone = true;
    lock.unlock();
    lf_writeNow();
}

// A line too long for the ring: the lines before it, then the line, with no other in between.
void lf_writeLongLine(std::string_view prefix, std::string_view text)
{
    std::string line(prefix);
    lf_escape(text, [&line](std::string_view part) { line.append(part); });
    line.push_back('\n');
    // g_logFileMutex alone keeps the order in the file (every write takes it) and the file open
    // (the close takes it too): the loggers, which take g_logMutex, never wait for this disk.
    std::scoped_lock fileLock(g_logFileMutex);
    {
        std::scoped_lock lock(g_logMutex);
        if (!g_logOpen) return;
    }
    lf_writePending();
    g_logStream.write(line);
}

enum class Write { withTheNext, now };

// A line is added whole under the lock, so that lines from several threads never interleave.
void lf_write(std::string_view prefix, std::string_view text, Write write)
{
    const std::size_t size = prefix.size() + lf_escapedSize(text) + 1;
    if (size > kLongLineBytes) {
        lf_writeLongLine(prefix, text);
        return;
    }
    bool now = write == Write::now;
    for (;;) {
        {
            std::scoped_lock lock(g_logMutex);
            if (!g_logOpen) return;
            if (lf_roomInRing() >= size) {
                lf_addToRing(prefix, text);
                now = now || g_logWriterGone;
                break;
            }
        }
        // The writer is behind, held up by the disk: this line waits for the disk too.
        lf_writeNow();
    }
    if (now) lf_writeNow();
}

// The path's text with `zeros` inserted before its last dot; empty when there is no dot.
std::string lf_generationName(const std::string& text, std::string_view zeros)
{
    const auto dot = text.rfind('.');
    if (dot == std::string::npos) return {};
    std::string name = text;
    name.insert(dot, zeros);
    return name;
}

void lf_copyIfExists(bool& ok, const std::filesystem::path& from, const std::filesystem::path& to)
{
    std::error_code ec;
    const bool exists = std::filesystem::exists(from, ec);
    if (ec) {
        gf_logHighlighted(fmt::format("exists({}): {}", from.string(), ec.message()));
        ok = false;
        return;
    }
    if (!exists) return;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        gf_logHighlighted(
            fmt::format("copy {} -> {} failed: {}", from.string(), to.string(), ec.message()));
        ok = false;
    }
}

}  // namespace

void gf_log(std::string_view text) { lf_write({}, text, Write::withTheNext); }

void gf_logHighlighted(std::string_view text) { lf_write("==> ", text, Write::now); }

void gf_logIndented(std::string_view text) { lf_write("          ", text, Write::withTheNext); }

void gf_logFlush(std::string_view text) { lf_write({}, text, Write::now); }

void gf_flushLog() { lf_writeNow(); }

void lf_logUnlessStopping(std::string_view text)
{
    if (!g_stopRequested && !g_closeRequested) gf_log(text);
}

void gf_openLog(const std::filesystem::path& path)
{
    gf_saveUpto3GenerationsOf(path);
    g_logWriter.start();
    {
        std::scoped_lock fileLock(g_logFileMutex);
        lf_writePending();  // the lines of the file before belong to it
        // Written by appending: the line a second start adds while this one runs
        // (gf_appendToLog) stays where it landed instead of being overwritten.
        const bool opened = g_logStream.open(path);
        std::scoped_lock lock(g_logMutex);
        g_logOpen = opened;
        if (!g_logOpen) throw std::runtime_error("Failed to write file " + path.string());
    }
    gf_log(fmt::format("{} (utc) {} version {} for {}", gf_timeString(platform::epochSeconds()),
                       "VNTQ", g_programVersion.text(), "MSFS 2020/2024"));
}

void gf_appendToLog(const std::filesystem::path& path, std::string_view text)
{
    std::ofstream file(path, std::ios::app | std::ios::binary);
    file << gf_timeString(platform::epochSeconds()) << " (utc) " << text << '\n';
}

void gf_closeLog()
{
    std::scoped_lock fileLock(g_logFileMutex);
    lf_writePending();
    std::scoped_lock lock(g_logMutex);
    g_logOpen = false;
    g_logStream.close();
}

void gf_writeLogInCrash() noexcept
{
    const uint64_t end = g_logAdded.load(std::memory_order_acquire);
    uint64_t taken = g_logTaken.load(std::memory_order_relaxed);
    while (taken < end && !g_logTaken.compare_exchange_weak(taken, end)) {
    }
    // What lies before `ours` is another write's: under way on another thread, or interrupted
    // by the crash on this one. That one never ends, and its lines are written again here.
    const uint64_t ours = std::min(taken, end);
    for (int round = 0; round < kCrashWaitRounds; ++round) {
        if (g_logWritten.load(std::memory_order_acquire) >= ours) break;
        platform::pauseInSignalHandler(1);
    }
    const uint64_t from = std::min(ours, g_logWritten.load(std::memory_order_acquire));
    if (from >= end) return;
    lf_writeRing(from, end);
    lf_markWritten(end);
}

bool gf_saveUpto3GenerationsOf(const std::filesystem::path& path)
{
    const std::string text = path.string();
    const std::string name0 = lf_generationName(text, "0");
    if (name0.empty()) {
        gf_logHighlighted(fmt::format("gf_saveUpto3GenerationsOf: no dot in filename: {}", text));
        return false;
    }
    bool ok = true;
    lf_copyIfExists(ok, lf_generationName(text, "00"), lf_generationName(text, "000"));
    lf_copyIfExists(ok, name0, lf_generationName(text, "00"));
    lf_copyIfExists(ok, path, name0);
    return ok;
}

bool gf_save1GenerationOf(const std::filesystem::path& path)
{
    const std::string text = path.string();
    const std::string name0 = lf_generationName(text, "0");
    if (name0.empty()) {
        gf_logHighlighted(fmt::format("gf_save1GenerationOf: no dot in filename: {}", text));
        return false;
    }
    bool ok = true;
    lf_copyIfExists(ok, path, name0);
    return ok;
}

}  // namespace qel
