// SIGINT, SIGTERM and SIGHUP handed from their handlers to a thread through a pipe; the fatal
// signals' and std::terminate's last write of the log.
#include "app/signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "app/app.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "platform/process.h"

namespace qel {

namespace {

constexpr unsigned char kEndMark = 0;

constexpr std::array<int, 5> kFatalSignals = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// The pipe the handlers write to; -1 while no watcher runs (atomic: read in signal context).
std::atomic<int> g_signalFd{-1};
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};
struct sigaction g_previousHup {};
bool g_hupIgnored = false;  // watcher's constructor and destructor: started under nohup
// Written once before the handlers go in, then only read, in signal context.
std::array<struct sigaction, kFatalSignals.size()> g_previousFatal{};
std::terminate_handler g_previousTerminate = nullptr;

// Only async-signal-safe calls here: one write of the signal number, errno kept.
void lf_onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = g_signalFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
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

}  // namespace

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal))
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        gf_log("SignalWatcher: no pipe, SIGINT, SIGTERM and SIGHUP end the program at once");
        return;
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    g_signalFd = writeFd_;
    thread_ = std::thread(&SignalWatcher::run, this);
    struct sigaction action {};
    action.sa_handler = &lf_onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_previousInt);
    sigaction(SIGTERM, &action, &g_previousTerm);
    sigaction(SIGHUP, nullptr, &g_previousHup);
    g_hupIgnored = g_previousHup.sa_handler == SIG_IGN;
    if (!g_hupIgnored) sigaction(SIGHUP, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    if (writeFd_ < 0) return;
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
    if (!g_hupIgnored) sigaction(SIGHUP, &g_previousHup, nullptr);
    g_signalFd = -1;
    const auto end = kEndMark;
    [[maybe_unused]] const auto written = ::write(writeFd_, &end, 1);
    if (thread_.joinable()) thread_.join();
    ::close(readFd_);
    ::close(writeFd_);
}

void SignalWatcher::run()
{
    platform::setThreadName("Signals");
    platform::useSignalStack();
    for (;;) {
        unsigned char byte = kEndMark;
        const auto count = ::read(readFd_, &byte, 1);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0 || byte == kEndMark) return;
        try {
            onSignal_(byte);
        } catch (const std::exception& e) {
            gf_log(fmt::format("SignalWatcher exception: {}", e.what()));
        }
    }
}

std::string gf_closingBySignalText(int signalNumber)
{
    std::string_view name = "a signal";
    switch (signalNumber) {
    case SIGINT: name = "SIGINT (Ctrl-C)"; break;
    case SIGTERM: name = "SIGTERM"; break;
    case SIGHUP: name = "SIGHUP (the terminal closed)"; break;
    default: break;
    }
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
