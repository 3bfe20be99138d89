// The message line: an ordinary message that expires after 25 simulator seconds, or an error
// that stays and blocks messages until it is emptied. Any thread sets it; the GUI thread paints
// it after the repaint message. A headless window has nobody to look at it: what its line shows
// goes to standard error as well.
#include <algorithm>
#include <mutex>
#include <string>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/window_status.h"
#include "platform/process.h"
#include "platform/terminal.h"

namespace qel {

namespace {

constexpr int32_t kMessageLifetime_s = 25;  // simulator seconds
constexpr std::string_view kErrorPrefix = "Error ";

// Standard error as the program writes it, for the whole process: a restart must not leave a
// countdown's line open. Guarded by g_terminalMutex, taken for one line, before the terminal
// writer's own lock, which only queues it.
struct Terminal {
    std::size_t openWidth = 0;    // characters of a passing line written without its newline
    bool passingWritten = false;  // a row of passing lines has had its first one written
};
std::mutex g_terminalMutex;
Terminal g_terminal;

// A passing line is one the next replaces within a second (a countdown's): a terminal writes
// it over the one before, in place; a file or a pipe gets only the first of a row of them.
void lf_write(std::string_view line, bool passing)
{
    const bool terminal = platform::standardErrorIsTerminal();
    std::scoped_lock lock(g_terminalMutex);
    auto& state = g_terminal;
    std::string out;
    if (passing && terminal) {
        // Blanks cover what a longer line before left standing.
        const std::size_t width = std::max(state.openWidth, line.size());
        out = fmt::format("\r{:<{}}", line, width);
        state.openWidth = line.size();
    } else if (passing) {
        if (state.passingWritten) return;
        state.passingWritten = true;
        out = fmt::format("{}\n", line);
    } else {
        out = fmt::format("{}{}\n", state.openWidth > 0 ? "\n" : "", line);
        state.openWidth = 0;
        state.passingWritten = false;
    }
    // Queued, never waited for: a terminal that takes nothing must not hold the caller, which
    // may be the close-down saying why it closes.
    platform::writeToStandardError(out);
}

// The line as standard error gets it when the window is headless and the line changed since
// the last one written there; empty otherwise. Under g_messageMutex.
std::string lf_lineToEcho(MessageLine& state, std::string_view line)
{
    if (line.empty() || line == state.echoedText || !gf_headlessWindow()) return {};
    state.echoedText = line;
    return state.echoedText;
}

void lf_echo(const std::string& line, bool passing = false)
{
    if (!line.empty()) lf_write(line, passing);
}

void lf_setMessage(std::string_view text, bool log, bool passing)
{
    auto& state = g_messageLine;
    std::string echo;
    {
        std::scoped_lock lock(g_messageMutex);
        if (!state.errorText.empty()) return;
        state.messageText = text;
        state.messageShownAt = text.empty() ? 0 : std::max(1, state.secondCounter.load());
        echo = lf_lineToEcho(state, text);
    }
    lf_echo(echo, passing);
    if (log && !text.empty()) gf_log(text);
    gf_postWindowMessage(WindowMessage::RepaintMessageLine);
}

}  // namespace

void gf_setMessage(std::string_view text, bool log) { lf_setMessage(text, log, false); }

void gf_setPassingMessage(std::string_view text) { lf_setMessage(text, false, true); }

void gf_tellHeadlessUser(std::string_view line)
{
    std::string echo;
    {
        std::scoped_lock lock(g_messageMutex);
        echo = lf_lineToEcho(g_messageLine, line);
    }
    lf_echo(echo);
}

void gf_writeToTerminal(std::string_view line) { lf_write(line, false); }

void gf_clearMessage()
{
    auto& state = g_messageLine;
    {
        std::scoped_lock lock(g_messageMutex);
        if (!state.errorText.empty()) return;
        state.messageText.clear();
        state.messageShownAt = 0;
    }
    gf_postWindowMessage(WindowMessage::RepaintMessageLine);
}

void gf_setErrorMessage(std::string_view text)
{
    // Callers hand over exception texts; one that carries the prefix already must not be
    // logged as "Error Error ...".
    const std::string line =
        text.starts_with(kErrorPrefix) ? std::string(text) : fmt::format("Error {}", text);
    auto& state = g_messageLine;
    std::string echo;
    {
        std::scoped_lock lock(g_messageMutex);
        state.messageText.clear();
        state.messageShownAt = 0;
        state.errorText = text;
        echo = lf_lineToEcho(state, line);
    }
    // The error is what a user mails with a fault report: in the file before this returns, as
    // a highlighted line is, even if the process dies at once after.
    gf_logFlush(line);
    lf_echo(echo);
    gf_postWindowMessage(WindowMessage::RepaintMessageLine);
}

void gf_clearErrorText()
{
    auto& state = g_messageLine;
    std::scoped_lock lock(g_messageMutex);
    state.errorText.clear();
}

void gf_countSimulatorSecond()
{
    auto& state = g_messageLine;
    {
        std::scoped_lock lock(g_messageMutex);
        const int32_t now = ++state.secondCounter;
        // Checked and cleared under one lock, so that a message set in between stays.
        if (state.messageShownAt < 1 || now - state.messageShownAt < kMessageLifetime_s) return;
        if (!state.errorText.empty()) return;
        state.messageText.clear();
        state.messageShownAt = 0;
    }
    gf_postWindowMessage(WindowMessage::RepaintMessageLine);
}

void lf_showAndLog(std::string_view text)
{
    gf_setMessage(text, false);
    gf_log(text);
}

}  // namespace qel
