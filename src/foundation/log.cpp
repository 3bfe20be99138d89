// Log.txt: the writers, the header line and the generations of older files.
//
// Threads: every writer may be called from any thread; each takes g_logMutex (ranked last, so
// no other lock is taken while it is held) and writes its whole line under it.
#include "foundation/log.h"

#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

#include "foundation/time.h"
#include "foundation/version.h"
#include "platform/clock.h"

namespace qel {

std::ofstream g_logStream;
std::mutex g_logMutex;
std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_closeRequested{false};

namespace {

bool lf_isControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\n' && c != '\r' && c != '\t') || byte == 0x7f;
}

// Text from outside (a reply, a callsign) may hold NUL or terminal escapes: they are written
// as \xNN so that Log.txt stays a readable text file.
void lf_writeText(std::string_view text)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!lf_isControl(text[i])) continue;
        g_logStream << text.substr(start, i - start)
                    << fmt::format("\\x{:02X}", static_cast<unsigned char>(text[i]));
        start = i + 1;
    }
    g_logStream << text.substr(start);
}

// Every line goes to the file at once: the lines of a wait after a stop ("Exiting: ...", the
// sign-out) must be readable during the wait and survive a kill in it.
void lf_write(std::string_view prefix, std::string_view text)
{
    std::scoped_lock lock(g_logMutex);
    if (!g_logStream.is_open()) return;
    g_logStream << prefix;
    lf_writeText(text);
    g_logStream << '\n';
    g_logStream.flush();
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

void gf_log(std::string_view text) { lf_write({}, text); }

void gf_logHighlighted(std::string_view text) { lf_write("==> ", text); }

void gf_logIndented(std::string_view text) { lf_write("          ", text); }

void gf_logFlush(std::string_view text) { lf_write({}, text); }

void gf_flushLog()
{
    std::scoped_lock lock(g_logMutex);
    if (g_logStream.is_open()) g_logStream.flush();
}

void lf_logUnlessStopping(std::string_view text)
{
    if (!g_stopRequested && !g_closeRequested) gf_log(text);
}

void gf_openLog(const std::filesystem::path& path)
{
    gf_saveUpto3GenerationsOf(path);
    {
        std::scoped_lock lock(g_logMutex);
        if (g_logStream.is_open()) g_logStream.close();
        g_logStream.clear();
        g_logStream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        // Emptied, then written by appending: the line a second start adds while this one
        // runs (gf_appendToLog) stays where it landed instead of being overwritten.
        if (g_logStream.is_open()) {
            g_logStream.close();
            g_logStream.open(path, std::ios::app | std::ios::binary);
        }
        if (!g_logStream.is_open()) {
            throw std::runtime_error("Failed to write file " + path.string());
        }
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
    std::scoped_lock lock(g_logMutex);
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
