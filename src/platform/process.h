// Process-level services: the single-instance lock, elevation, the write-access probe, the
// shell's "open" and the system's text for an error code.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::platform {

// In place of the named mutex: an flock'ed file named after `name` in $XDG_RUNTIME_DIR; when
// that is not set, or the file cannot be made or locked there, in a folder of the user's own
// ("vntq-<uid>" in the temp folder, else ~/.cache/vntq; made 0700, refused when another user
// owns it or others may write to it). Every character other than letters, digits, '.', '-'
// and '_' is replaced by '_', and ".lock" appended ("Local\$VNTQ$" gives "Local__VNTQ_.lock").
// Held until destroyed; two objects in one process exclude each other as two processes do.
// Never throws.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(std::string_view name);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when another holder had the lock first (the named mutex "already exists").
    bool alreadyExists() const { return alreadyExists_; }
    // False when no folder could take the lock file; the program then does not start.
    bool created() const { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int fd_ = -1;
    bool alreadyExists_ = false;
};

// Names the calling thread, so that a debugger and `top -H` show it ("Traffic Reader"). The
// system keeps at most 15 bytes; a longer name is cut. Never throws.
void setThreadName(std::string_view name);
// The calling thread's name as the system keeps it; "" when it cannot be read.
std::string threadName();
// Gives the calling thread a stack of its own for signal handlers, so that a handler installed
// with SA_ONSTACK still runs when the thread has overflowed its stack; it goes with the thread.
// A thread that has one (a sanitizer gives its threads one) keeps it. Every thread the program
// starts calls it first. Never throws.
void useSignalStack();

// Whether the process runs with administrator rights: effective uid 0 here.
bool isElevated();
void overrideElevated(std::optional<bool> elevated);  // tests

// Creates (exclusively, so no link is followed), writes one byte to and deletes
// `folder`/`probeName`; true when all of it worked. A probe file left by an earlier crash is
// removed first, as the always-create of the Windows call would replace it.
bool probeWriteAccess(const std::filesystem::path& folder, std::string_view probeName);

// Opens a file or folder with the desktop's associated program (xdg-open), not waiting for it.
// True when the opener could be started. Any thread.
bool shellOpen(const std::filesystem::path& absolutePath);

// Tests record instead of running xdg-open: while a recorder is set, shellOpen calls it and
// returns its result.
void setShellRecorder(std::function<bool(const std::filesystem::path&)> recorder);

// The operating system's message text for an error number (strerror_r).
std::string systemErrorText(int errorNumber);

// True when standard error is a terminal, which can write a line over in place; false for a
// file or a pipe. Any thread.
bool standardErrorIsTerminal();
void overrideStandardErrorIsTerminal(std::optional<bool> terminal);  // tests

}  // namespace qel::platform
