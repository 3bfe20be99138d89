// SIGINT, SIGQUIT, SIGTERM and SIGHUP handed from their handlers to a thread through a pipe,
// with who sent them; the fatal signals' and std::terminate's last write of the log.
#include "app/signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "app/app.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "platform/process.h"

namespace qel {

namespace {

// What a handler writes to the pipe, in one write, which a pipe keeps whole.
struct SignalRecord {
    int32_t number = 0;  // 0: the watcher's end mark
    int32_t code = 0;    // si_code: SI_KERNEL for the terminal's, 0 or below for a process's
    int32_t pid = 0;     // si_pid of a process's
};

constexpr std::array<int, 5> kFatalSignals = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// The longest process name the system keeps is 15 bytes; more is not a name.
constexpr std::size_t kProcessNameBytes = 64;
// A script's path comes second on its shell's command line, well within this.
constexpr std::size_t kCommandLineBytes = 4096;
constexpr std::array<std::string_view, 5> kShells = {"bash", "sh", "dash", "zsh", "ksh"};

// The pipe the handlers write to; -1 while no watcher runs (atomic: read in signal context).
std::atomic<int> g_signalFd{-1};
struct sigaction g_previousInt {};
struct sigaction g_previousQuit {};
struct sigaction g_previousTerm {};
struct sigaction g_previousHup {};
bool g_hupIgnored = false;  // watcher's constructor and destructor: started under nohup
// Written once before the handlers go in, then only read, in signal context.
std::array<struct sigaction, kFatalSignals.size()> g_previousFatal{};
std::terminate_handler g_previousTerminate = nullptr;

// Only async-signal-safe calls here: one write of the record, errno kept.
void lf_onSignal(int signalNumber, siginfo_t* info, void* /*context*/)
{
    const int savedErrno = errno;
    const int fd = g_signalFd.load();
    if (fd >= 0) {
        SignalRecord record;
        record.number = signalNumber;
        record.code = info != nullptr ? info->si_code : SI_USER;
        record.pid = info != nullptr ? info->si_pid : 0;
        [[maybe_unused]] const auto written = ::write(fd, &record, sizeof record);
    }
    errno = savedErrno;
}

// Only async-signal-safe calls here. The signal is blocked while this runs, so the one raised
// again is taken, by the disposition found before, once this returns.
void lf_onFatalSignal(int signalNumber, siginfo_t* info, void* /*context*/)
{
    gf_writeLogInCrash();
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
        if (kFatalSignals[i] == signalNumber) sigaction(signalNumber, &g_previousFatal[i], nullptr);
    }
    // A fault of the processor comes again as the instruction is retried, with its own address
    // for the core and a sanitizer; a signal that was sent (abort, kill) must be sent again.
    if (info == nullptr || info->si_code <= 0) raise(signalNumber);
}

[[noreturn]] void lf_onTerminate()
{
    gf_writeLogInCrash();
    // The library's own handler names the exception on standard error, then aborts.
    if (g_previousTerminate != nullptr) g_previousTerminate();
    std::abort();
}

// Up to `bytes` of a file of the kernel's about a process; empty when it has gone already.
std::string lf_readProcessFile(int32_t pid, std::string_view file, std::size_t bytes)
{
    std::ifstream in(fmt::format("/proc/{}/{}", pid, file), std::ios::binary);
    std::string text(bytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return text;
}

// Its printable characters up to the first line end or NUL.
std::string lf_printable(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\n' || c == '\0') break;
        if (c >= ' ' && c <= '~') out.push_back(c);
    }
    return out;
}

// The name of a process: the one the system keeps ("timeout"), but for a shell running a
// script, whose own name says little, the script's file name ("demo").
std::string lf_processName(int32_t pid)
{
    const std::string name = lf_printable(lf_readProcessFile(pid, "comm", kProcessNameBytes));
    if (std::find(kShells.begin(), kShells.end(), name) == kShells.end()) return name;
    // The command line: its words, each ended by a NUL.
    const std::string line = lf_readProcessFile(pid, "cmdline", kCommandLineBytes);
    const auto first = line.find('\0');
    if (first == std::string::npos) return name;
    const std::string script = lf_printable(std::string_view(line).substr(first + 1));
    if (script.empty() || script.front() == '-') return name;
    const std::string file = std::filesystem::path(script).filename().string();
    return file.empty() ? name : file;
}

// A process sent it (kill, sigqueue): si_code is 0 or below, and si_pid names the sender.
ReceivedSignal lf_received(const SignalRecord& record)
{
    ReceivedSignal received;
    received.number = record.number;
    received.fromTerminal = record.code == SI_KERNEL;
    if (record.code <= 0 && record.pid > 0) {
        const std::string name = lf_processName(record.pid);
        received.sender = name.empty() ? fmt::format("pid {}", record.pid)
                                       : fmt::format("{} (pid {})", name, record.pid);
    }
    return received;
}

}  // namespace

SignalWatcher::SignalWatcher(std::function<void(const ReceivedSignal&)> onSignal)
    : onSignal_(std::move(onSignal))
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        gf_log(
            "SignalWatcher: no pipe, SIGINT, SIGQUIT, SIGTERM and SIGHUP end the program at "
            "once");
        return;
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    g_signalFd = writeFd_;
    thread_ = std::thread(&SignalWatcher::run, this);
    struct sigaction action {};
    action.sa_sigaction = &lf_onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    sigaction(SIGINT, &action, &g_previousInt);
    // Ctrl-\ would end the program with a core and no close-down: no sign-out, no save.
    sigaction(SIGQUIT, &action, &g_previousQuit);
    sigaction(SIGTERM, &action, &g_previousTerm);
    sigaction(SIGHUP, nullptr, &g_previousHup);
    g_hupIgnored = g_previousHup.sa_handler == SIG_IGN;
    if (!g_hupIgnored) sigaction(SIGHUP, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    if (writeFd_ < 0) return;
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGQUIT, &g_previousQuit, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
    if (!g_hupIgnored) sigaction(SIGHUP, &g_previousHup, nullptr);
    g_signalFd = -1;
    const SignalRecord end;
    [[maybe_unused]] const auto written = ::write(writeFd_, &end, sizeof end);
    if (thread_.joinable()) thread_.join();
    ::close(readFd_);
    ::close(writeFd_);
}

void SignalWatcher::run()
{
    platform::setThreadName("Signals");
    platform::useSignalStack();
    for (;;) {
        SignalRecord record;
        const auto count = ::read(readFd_, &record, sizeof record);
        if (count < 0 && errno == EINTR) continue;
        if (count != static_cast<ssize_t>(sizeof record) || record.number == 0) return;
        try {
            onSignal_(lf_received(record));
        } catch (const std::exception& e) {
            gf_log(fmt::format("SignalWatcher exception: {}", e.what()));
        }
    }
}

std::string gf_closingBySignalText(const ReceivedSignal& signal, bool closingAlready)
{
    std::string name = "a signal";
    std::string_view key;  // what the terminal sends it for
    switch (signal.number) {
    case SIGINT:
        name = "SIGINT";
        key = " (Ctrl-C)";
        break;
    case SIGQUIT:
        name = "SIGQUIT";
        key = " (Ctrl-\\)";
        break;
    case SIGTERM: name = "SIGTERM"; break;
    case SIGHUP: name = "SIGHUP (the terminal closed)"; break;
    default: break;
    }
    // Only the terminal's key is the user's Ctrl-C; the same signal from a program (a script's
    // timer, kill) names that program instead.
    if (signal.number != SIGHUP && !signal.sender.empty()) {
        name += " from " + signal.sender;
    } else if (signal.fromTerminal) {
        name += key;
    }
    if (closingAlready) return fmt::format("{} received, {} is closing already", name, g_shortName);
    return fmt::format("{} received, closing {} ...", name, g_shortName);
}

void gf_ignoreBrokenPipes()
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

void gf_installCrashHandlers()
{
    // A stack overflow leaves the thread no room for a handler: it runs on a stack of its own.
    platform::useSignalStack();
    struct sigaction action {};
    action.sa_sigaction = &lf_onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
        sigaction(kFatalSignals[i], &action, &g_previousFatal[i]);
    }
    g_previousTerminate = std::set_terminate(&lf_onTerminate);
}

}  // namespace qel
