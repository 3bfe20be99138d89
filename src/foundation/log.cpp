// Log.txt: the writers, the header line and the generations of older files.
//
// Threads: every writer may be called from any thread; each takes g_logMutex (ranked last, so
// no other lock is taken while it is held) and adds its whole line under it. A line goes to the
// file from the log's own writer thread within kWriteEvery: a write to the file can hold its
// caller for hundreds of microseconds on a busy disk, and the main loop logs on its 10 ms tick.
// So the lines of a wait after a stop ("Exiting: ...", the sign-out) are still readable during
// the wait and survive a kill in it. A highlighted line wakes the writer at once: the simulator
// refusing creations gives up several in one tick. gf_logFlush and gf_flushLog write everything
// on the calling thread, under g_logFileMutex, which is taken before g_logMutex.
#include "foundation/log.h"

#include <condition_variable>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include <fmt/format.h>

#include "foundation/time.h"
#include "foundation/version.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace qel {

std::ofstream g_logStream;
std::mutex g_logMutex;
std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_closeRequested{false};

namespace {

constexpr auto kWriteEvery = std::chrono::milliseconds(20);

std::mutex g_logFileMutex;          // guards g_logStream; taken before g_logMutex
std::string g_logPending;           // guarded by g_logMutex: lines not yet in the file
bool g_logOpen = false;             // guarded by g_logMutex: g_logStream is open
std::condition_variable g_logWake;  // with g_logMutex: the writer is to write now, or stop

// The log's writer: started by the first gf_openLog, stopped at process exit. Declared after
// the stream so that it is stopped, and has written its last lines, before the stream goes.
class LogWriter {
public:
    // Under g_logMutex; notify g_logWake after it is released.
    void writeSoon() { soon_ = true; }
    void start()
    {
        std::scoped_lock lock(g_logMutex);
        if (thread_.joinable()) return;
        stopping_ = false;
        thread_ = std::thread([this] { run(); });
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
    bool soon_ = false;      // guarded by g_logMutex
    std::thread thread_;
};
LogWriter g_logWriter;

bool lf_isControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\n' && c != '\r' && c != '\t') || byte == 0x7f;
}

// Text from outside (a reply, a callsign) may hold NUL or terminal escapes: they are written
// as \xNN so that Log.txt stays a readable text file.
void lf_addText(std::string& to, std::string_view text)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!lf_isControl(text[i])) continue;
        to.append(text.substr(start, i - start));
        to.append(fmt::format("\\x{:02X}", static_cast<unsigned char>(text[i])));
        start = i + 1;
    }
    to.append(text.substr(start));
}

// Under g_logFileMutex: the lines added so far go to the file, in the order they were added.
void lf_writePending()
{
    std::string lines;
    {
        std::scoped_lock lock(g_logMutex);
        lines.swap(g_logPending);
    }
    if (lines.empty() || !g_logStream.is_open()) return;
    g_logStream.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    g_logStream.flush();
}

void lf_writeNow()
{
    std::scoped_lock lock(g_logFileMutex);
    lf_writePending();
}

void LogWriter::run()
{
    platform::setThreadName("Log writer");
    std::unique_lock lock(g_logMutex);
    while (!stopping_) {
        g_logWake.wait_for(lock, kWriteEvery, [this] { return stopping_ || soon_; });
        soon_ = false;
        if (g_logPending.empty()) continue;
        lock.unlock();
        lf_writeNow();
        lock.lock();
    }
    lock.unlock();
    lf_writeNow();
}

enum class Write { withTheNext, soon, now };

// A line is added whole under the lock, so that lines from several threads never interleave.
void lf_write(std::string_view prefix, std::string_view text, Write write)
{
    {
        std::scoped_lock lock(g_logMutex);
        if (!g_logOpen) return;
        g_logPending.append(prefix);
        lf_addText(g_logPending, text);
        g_logPending.push_back('\n');
        if (write == Write::soon) g_logWriter.writeSoon();
    }
    if (write == Write::soon) g_logWake.notify_one();
    if (write == Write::now) lf_writeNow();
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

void gf_logHighlighted(std::string_view text) { lf_write("==> ", text, Write::soon); }

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
        if (g_logStream.is_open()) g_logStream.close();
        g_logStream.clear();
        g_logStream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        // Emptied, then written by appending: the line a second start adds while this one
        // runs (gf_appendToLog) stays where it landed instead of being overwritten.
        if (g_logStream.is_open()) {
            g_logStream.close();
            g_logStream.open(path, std::ios::app | std::ios::binary);
        }
        std::scoped_lock lock(g_logMutex);
        g_logOpen = g_logStream.is_open();
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
    if (g_logStream.is_open()) g_logStream.close();
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
