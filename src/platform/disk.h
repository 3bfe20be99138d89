// Flushing written files and folder entries to the disk, in place of FlushFileBuffers.
#pragma once

#include <filesystem>
#include <functional>

namespace qel::platform {

// Writes the file's data held by the system to the disk. False when it cannot be opened or
// flushed. Any thread; never throws.
bool syncFile(const std::filesystem::path& path);
// The same for a folder's entries, so that a rename in it survives a power loss. Any thread;
// never throws.
bool syncFolder(const std::filesystem::path& folder);

// Tests see each sync before it is made: the path and whether it is a folder. Empty: none.
void observeSyncs(std::function<void(const std::filesystem::path&, bool folder)> observer);

}  // namespace qel::platform
