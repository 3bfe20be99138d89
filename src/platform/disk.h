// Flushing written files and folder entries to the disk, in place of FlushFileBuffers,
// removing folders with their content, and a file written by plain appends.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>

namespace qel::platform {

// Writes the file's data held by the system to the disk. False when it cannot be opened or
// flushed. Any thread; never throws.
bool syncFile(const std::filesystem::path& path);
// The same for a folder's entries, so that a rename in it survives a power loss. Any thread;
// never throws.
bool syncFolder(const std::filesystem::path& folder);

// Tests see each sync before it is made: the path and whether it is a folder. Empty: none.
void observeSyncs(std::function<void(const std::filesystem::path&, bool folder)> observer);

// Removes the file or folder with everything in it; one that is not there is no error. On
// Windows a file another program holds open makes this fail, part-way. Any thread; never throws.
std::error_code removeAll(const std::filesystem::path& path);
// Tests make removals fail as such a file does: the hook sees each removeAll first, and one for
// which it returns an error removes nothing and ends in that error. Empty: none.
void failRemovals(std::function<std::error_code(const std::filesystem::path&)> hook);

// A file written at its end by plain system calls, with nothing held in the process: a signal
// handler may write it too, where a C++ stream may not be used, and what a write handed over
// survives the process.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile() { close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Closes what was open, then creates or empties `path` for appending: a line another
    // process appends meanwhile stays where it landed. False when it cannot be opened. Never
    // throws.
    bool open(const std::filesystem::path& path);
    void close();
    // All of `bytes`, across short writes and interruptions; false when the file is not open or
    // the system refuses. Async-signal-safe; never throws.
    bool write(std::string_view bytes) const noexcept;

private:
    std::atomic<int> fd_{-1};  // -1 while closed; atomic: read in signal context
};

// Waits `milliseconds` with an async-signal-safe call (poll), for a signal handler that gives
// another thread's write time to end. Never throws.
void pauseInSignalHandler(int milliseconds) noexcept;

}  // namespace qel::platform
