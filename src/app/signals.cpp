// SIGINT and SIGTERM handed from their handlers to a thread through a pipe.
#include "app/signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <exception>

#include <fmt/format.h>

#include "foundation/log.h"
#include "platform/process.h"

namespace qel {

namespace {

constexpr unsigned char kEndMark = 0;

// The pipe the handlers write to; -1 while no watcher runs (atomic: read in signal context).
std::atomic<int> g_signalFd{-1};
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};

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

}  // namespace

SignalWatcher::SignalWatcher(std::function<void()> onSignal) : onSignal_(std::move(onSignal))
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        gf_log("SignalWatcher: no pipe, SIGINT and SIGTERM end the program at once");
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
}

SignalWatcher::~SignalWatcher()
{
    if (writeFd_ < 0) return;
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
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
    for (;;) {
        unsigned char byte = kEndMark;
        const auto count = ::read(readFd_, &byte, 1);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0 || byte == kEndMark) return;
        try {
            onSignal_();
        } catch (const std::exception& e) {
            gf_log(fmt::format("SignalWatcher exception: {}", e.what()));
        }
    }
}

}  // namespace qel
