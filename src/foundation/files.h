// Writing whole files and clearing folders, and the folders a walk has entered.
#pragma once

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "platform/folders.h"

namespace qel {

// Each line followed by "\n", binary. False when the file cannot be opened or written.
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);
// The text, and "\n" when asked. False when the file cannot be opened or written.
bool gf_writeFile(const std::string& text, const std::filesystem::path& path, bool addNewline);
// How much of a replacement gf_replaceByRename flushes to the disk itself.
enum class ReplaceSync {
    FileAndFolder,  // the new file's bytes before the rename, the folder's entry after it
    FolderLater,    // the caller synced the file (gf_syncFile) and syncs the folder later
};
// Puts the finished file `temporary` in the place of `target` (the same folder) by rename, the
// new bytes flushed to the disk first, so that a crash or power loss leaves the old file or the
// new one whole, never an empty or torn one. Every file the program replaces goes through it.
// On failure the temporary file is removed, `target` is as it was, and the error is returned.
// Any thread; never throws.
std::error_code gf_replaceByRename(const std::filesystem::path& temporary,
                                   const std::filesystem::path& target,
                                   ReplaceSync sync = ReplaceSync::FileAndFolder);
// Flushes a written file's bytes to the disk; false when that failed. Any thread.
bool gf_syncFile(const std::filesystem::path& path);
// Flushes a folder's entries (renames in it) to the disk; false when that failed.
bool gf_syncFolder(const std::filesystem::path& folder);
// Removes the file when it exists; a failure is logged, never thrown.
void gf_removeFile(const std::filesystem::path& path);
// Removes the regular files directly in the folder; logs failures, never throws.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
// The same for the .xml files of "tblo", the zipped copies of unrecognised add-on airports.
void gf_removeXMLFilesFromDirectory();
// Regular files directly in the folder; 0 when it does not exist. Throws
// std::filesystem::filesystem_error when it exists but cannot be listed.
std::size_t gf_countFiles(const std::filesystem::path& folder);

// The folders a walk that follows links has entered, by the file system's identity: a link back
// to a folder above, or two links to one package, would otherwise be walked again and again
// (two links back to their own folder keep a walk going for ever). One walk, one thread.
class EnteredFolders {
public:
    // True the first time the folder is met; false after that, and for a folder whose identity
    // cannot be read (nor then its entries).
    bool enter(const std::filesystem::path& folder);

private:
    std::set<platform::FolderIdentity> entered_;
};

}  // namespace qel
