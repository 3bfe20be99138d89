// Known folders in place of SHGetKnownFolderPath. Roaming application data is
// $XDG_CONFIG_HOME (default ~/.config), local application data $XDG_DATA_HOME (default
// ~/.local/share). The program-files folders do not exist here; tests set them.
#pragma once

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

}  // namespace qel::platform
