// Known folders, opening a file with the desktop, and the notice for a new program version.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/folders.h"

namespace qel {

std::optional<std::filesystem::path> gf_getKnownFolderPath(platform::KnownFolder folder);
// The roaming application-data folder; logs "Could not find the AppData path" and returns an
// empty path when there is none.
std::filesystem::path gf_getAppDataPath();
std::filesystem::path gf_getLocalAppDataPath();  // "Could not find the Local AppData path"
bool gf_openWithShell(const std::filesystem::path& path);  // false for a missing path
bool gf_openParametersFolder();  // message box "Could not open folder with parameters.xml"
bool gf_openManual();            // message box "Could not open local folder with Manual"
std::string gf_newVersionNotice(const std::filesystem::path& programFolder);

}  // namespace qel
