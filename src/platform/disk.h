// Flushing written files and folder entries to the disk, in place of FlushFileBuffers, and
// removing folders with their content.
#pragma once

#include <filesystem>
#include <functional>
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

}  // namespace qel::platform
