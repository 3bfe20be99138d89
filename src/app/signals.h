// SIGINT, SIGTERM and SIGHUP (the terminal closed) as the user closing the program: the handlers
// only hand the signal to a watcher thread, which calls the close action outside signal context.
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace qel {

// Thread "signal watcher": started by the constructor, reads the signals the handlers write to
// a pipe and calls `onSignal` with each one's number; takes no lock itself. Ends when the destructor writes
// its end mark, which also restores the previous handlers. A SIGHUP ignored when the program
// started (nohup) stays ignored.
class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void(int signalNumber)> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void run();

    std::function<void(int signalNumber)> onSignal_;
    int readFd_ = -1;
    int writeFd_ = -1;
    std::thread thread_;
};

// A write to a pipe nobody reads any more (`vntq 2>&1 | tee run.log` after Ctrl-C ended tee)
// fails with EPIPE instead of killing the program in its close-down, before the sign-out and
// the saves. Called first thing, before any thread starts.
void gf_ignoreBrokenPipes();

// What the user is told when a signal closes the program: "SIGINT (Ctrl-C) received, closing
// VNTQ ...".
std::string gf_closingBySignalText(int signalNumber);

}  // namespace qel
