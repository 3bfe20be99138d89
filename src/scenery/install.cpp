// Finding the simulator's packages folder: the default Steam folder first, then the folder that
// the simulator's UserCfg.opt names, each taken only when it holds "Community" and the official
// folder of the chosen simulator.
#include "scenery/install.h"

#include <string>
#include <system_error>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/shell.h"
#include "foundation/strings.h"
#include "foundation/textfile.h"
#include "foundation/window_status.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t lf_userCfgLines = 32;  // UserCfg.opt holds about 20 lines

fs::path lf_fromUtf8(std::string_view text)
{
    // Built from UTF-8 explicitly, so that no character is lost to a narrow code page.
    return fs::path(std::u8string(text.begin(), text.end()));
}

fs::path lf_storePackageName(bool msfs2020)
{
    return msfs2020 ? "Microsoft.FlightSimulator_8wekyb3d8bbwe"
                    : "Microsoft.Limitless_8wekyb3d8bbwe";
}

fs::path lf_simFolderName(bool msfs2020)
{
    return msfs2020 ? "Microsoft Flight Simulator" : "Microsoft Flight Simulator 2024";
}

// Absence is an answer; any other failure to read the status is thrown as "exists".
bool lf_exists(const fs::path& path)
{
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
        throw fs::filesystem_error("exists", path, ec);
    }
    return fs::exists(status);
}

bool lf_isDirectory(const fs::path& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

StringParameter& lf_installSetting(bool msfs2020)
{
    return msfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH;
}

// InstalledPackagesPath "D:\MSFS\Packages" → D:\MSFS\Packages; the whole line without quotes.
std::string lf_quotedValue(const std::string& line)
{
    const auto first = line.find('"');
    if (first == std::string::npos) return line;
    const auto next = line.find('"', first + 1);
    if (next == std::string::npos) return {};
    return line.substr(first + 1, next - first - 1);
}

}  // namespace

std::string_view gf_officialFolderName(bool msfs2020)
{
    return msfs2020 ? g_officialName : g_official2024Name;
}

fs::path gf_installPath(bool msfs2020) { return lf_fromUtf8(lf_installSetting(msfs2020).value()); }

fs::path gf_packagesPath(std::string_view name, bool msfs2020)
{
    const fs::path base = gf_installPath(msfs2020);
    if (base.empty() || name.empty()) return base;
    return base / lf_fromUtf8(name);
}

bool lf_isPackagesFolder(const fs::path& path, bool msfs2020)
{
    if (path.empty()) return false;
    return lf_isDirectory(path) && lf_isDirectory(path / g_communityName) &&
           lf_isDirectory(path / gf_officialFolderName(msfs2020));
}

fs::path lf_findUserCfg(bool msfs2020)
{
    const fs::path local = gf_getKnownFolderPath(platform::KnownFolder::LocalAppData).value_or("");
    const fs::path roaming =
        gf_getKnownFolderPath(platform::KnownFolder::RoamingAppData).value_or("");
    const fs::path candidates[] = {
        local / "Packages" / lf_storePackageName(msfs2020) / "LocalCache" / "UserCfg.opt",
        roaming / lf_simFolderName(msfs2020) / "UserCfg.opt",
        local / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" /
            "UserCfg.opt",
        local / "MSFSPackages" / "UserCfg.opt",
    };
    for (const auto& candidate : candidates) {
        // Without its known folder a candidate would be read relative to the program's folder.
        if (candidate.is_absolute() && lf_exists(candidate)) return candidate;
        gf_log(fmt::format("MSFS detection, not found: {}", gf_pathToUtf8(candidate)));
    }
    return {};
}

fs::path lf_steamPackagesPath(bool msfs2020)
{
    const auto roaming = gf_getKnownFolderPath(platform::KnownFolder::RoamingAppData);
    if (!roaming) return {};
    const fs::path packages = *roaming / lf_simFolderName(msfs2020) / "Packages";
    if (!lf_exists(packages)) return {};
    gf_log(fmt::format("Steam packages: {}", gf_pathToUtf8(packages)));
    return packages;
}

fs::path lf_installedPackagesPath(bool msfs2020)
{
    const fs::path userCfg = lf_findUserCfg(msfs2020);
    if (userCfg.empty()) {
        gf_log("No UserCfg.opt found?");
        return {};
    }
    TextFileLines file{userCfg, {}};
    const auto read = gf_readFileLines(file, lf_userCfgLines);
    const std::string* found = nullptr;
    if (read.ok()) {
        for (const auto& line : file.lines) {
            if (line.find("InstalledPackagesPath") != std::string::npos) {
                found = &line;
                break;
            }
        }
    }
    if (found == nullptr) {
        gf_log("UserCfg.opt: InstalledPackagesPath=???");
        return {};
    }
    const std::string value = lf_quotedValue(*found);
    gf_log(fmt::format("UserCfg.opt: InstalledPackagesPath={}", value));
    if (value.empty()) return {};
    const fs::path path = lf_fromUtf8(value);
    try {
        if (!lf_exists(path)) return {};
    } catch (const fs::filesystem_error& e) {
        // A path too long, a link loop or a folder without rights: no packages folder, which the
        // user is asked to type, rather than an error that ends the start.
        gf_log(fmt::format("UserCfg.opt: InstalledPackagesPath cannot be checked: {}", e.what()));
        return {};
    }
    return path;
}

bool gf_detectMsfs(bool msfs2020)
{
    fs::path found = lf_steamPackagesPath(msfs2020);
    if (!lf_isPackagesFolder(found, msfs2020)) {
        found = lf_installedPackagesPath(msfs2020);
        if (!lf_isPackagesFolder(found, msfs2020)) return false;
    }
    const std::string text = gf_pathToUtf8(found);
    lf_installSetting(msfs2020).set(text);
    ALL_INSTALL_PATH.assign(text);
    gf_showTextParameter(ALL_INSTALL_PATH);
    return true;
}

}  // namespace qel
