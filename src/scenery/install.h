// The simulator's packages folder (the one holding "Community" and the official folder): found
// at start-up in the default Steam folder or through the simulator's UserCfg.opt, and kept as
// UTF-8 text in the install-path setting of each simulator.
//
// Threads: gf_detectMsfs runs on the start-up thread; the others on any thread (a text setting
// is read as a copy under its own lock).
#pragma once

#include <filesystem>
#include <string_view>

namespace qel {

// "Official" for MSFS 2020, "Official2024" for MSFS 2024.
std::string_view gf_officialFolderName(bool msfs2020);

// The install-path setting of the simulator as a path (the setting holds UTF-8); empty when
// the setting is.
std::filesystem::path gf_installPath(bool msfs2020);
// gf_installPath joined with `name` ("Community", "Official"); empty when the setting is.
std::filesystem::path gf_packagesPath(std::string_view name, bool msfs2020);

// Finds the packages folder; on success stores it as UTF-8 in the simulator's install-path
// setting (saved at once) and in ALL_INSTALL_PATH (shown in its control) and returns true; false
// leaves both settings as they were. Throws std::filesystem::filesystem_error ("exists") when
// a UserCfg.opt candidate's status cannot be read for a reason other than its absence.
bool gf_detectMsfs(bool msfs2020);

// The steps of gf_detectMsfs, for tests.
// The folder and its "Community" and official folders are directories; false for an empty
// path and for a status that cannot be read.
bool lf_isPackagesFolder(const std::filesystem::path& path, bool msfs2020);
// The first UserCfg.opt candidate that exists; logs each one that does not.
std::filesystem::path lf_findUserCfg(bool msfs2020);
// RoamingAppData/<simulator folder>/Packages when it exists, else empty.
std::filesystem::path lf_steamPackagesPath(bool msfs2020);
// UserCfg.opt's InstalledPackagesPath when that folder exists, else empty (also when its
// status cannot be read).
std::filesystem::path lf_installedPackagesPath(bool msfs2020);

}  // namespace qel
