// Known folders in place of SHGetKnownFolderPath. Roaming application data is
// $XDG_CONFIG_HOME (default ~/.config), local application data $XDG_DATA_HOME (default
// ~/.local/share). The program-files folders do not exist here; tests set them.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace qel::platform {

enum class KnownFolder { RoamingAppData, LocalAppData, ProgramFiles, ProgramFilesX86 };

// Empty when the folder cannot be determined (no HOME and no XDG variable, or a program-files
// folder nobody set). Any thread.
std::optional<std::filesystem::path> knownFolderPath(KnownFolder folder);

// Makes knownFolderPath answer `path` (or fail, for an empty optional) until cleared; tests.
void overrideKnownFolder(KnownFolder folder, std::optional<std::filesystem::path> path);
void clearKnownFolderOverrides();

// A folder as the file system knows it, the same by every path that leads there (a link, a
// junction): the volume serial and file index on Windows, the device and inode here.
struct FolderIdentity {
    uint64_t volume = 0;  // st_dev
    uint64_t index = 0;   // st_ino
    friend auto operator<=>(const FolderIdentity&, const FolderIdentity&) = default;
};

// The identity of what the path leads to, links followed; empty when its status cannot be
// read. Any thread.
std::optional<FolderIdentity> folderIdentity(const std::filesystem::path& path);

}  // namespace qel::platform
