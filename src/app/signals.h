// SIGINT, SIGQUIT, SIGTERM and SIGHUP (the terminal closed) as the user closing the program: the
// handlers only hand the signal and its sender to a watcher thread, which calls the close action
// outside signal context.
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace qel {

// A signal as the watcher hands it on: which, and who sent it.
struct ReceivedSignal {
    int number = 0;             // SIGINT
    bool fromTerminal = false;  // sent by the kernel: a key of the terminal, or its hang-up
    std::string sender;         // the process that sent it: "demo (pid 4242)"; empty when none
};

// Thread "signal watcher": started by the constructor, reads the signals the handlers write to
// a pipe and calls `onSignal` with each one; takes no lock itself. Ends when the destructor
// writes its end mark, which also restores the previous handlers. A SIGHUP ignored when the
// program started (nohup) stays ignored.
class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void(const ReceivedSignal&)> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void run();

    std::function<void(const ReceivedSignal&)> onSignal_;
    int readFd_ = -1;
    int writeFd_ = -1;
    std::thread thread_;
};

// A write to a pipe nobody reads any more (`vntq 2>&1 | tee run.log` after Ctrl-C ended tee)
// fails with EPIPE instead of killing the program in its close-down, before the sign-out and
// the saves. Called first thing, before any thread starts.
void gf_ignoreBrokenPipes();

// What the user is told when a signal closes the program: "SIGINT (Ctrl-C) received, closing
// VNTQ ..." for the key, "SIGINT from demo (pid 4242) received, closing VNTQ ..." for a signal
// another program sent; with `closingAlready`, "..., VNTQ is closing already".
std::string gf_closingBySignalText(const ReceivedSignal& signal, bool closingAlready);

}  // namespace qel
