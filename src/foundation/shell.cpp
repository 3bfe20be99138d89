// Known folders, opening files and folders with the desktop, and how a new version is installed.
#include "foundation/shell.h"

#include <string_view>
#include <system_error>

#include "foundation/globals.h"
#include "foundation/log.h"
#include "platform/controls.h"
#include "platform/process.h"

namespace qel {

namespace {

constexpr std::string_view lf_writeProbeName = ".write_test.tmp";

void lf_warn(std::string_view text)
{
    platform::messageBox(text, g_shortName, platform::MessageBoxIcon::Warning);
}

// Whether `folder` lies below the known folder `root`, compared as plain text over the length
// of the root's path, case-sensitive.
bool lf_beginsWithKnownFolder(const std::filesystem::path& folder, platform::KnownFolder root)
{
    const auto rootPath = gf_getKnownFolderPath(root);
    if (!rootPath || rootPath->empty()) return false;
    return std::string_view(folder.native()).starts_with(rootPath->native());
}

}  // namespace

std::optional<std::filesystem::path> gf_getKnownFolderPath(platform::KnownFolder folder)
{
    return platform::knownFolderPath(folder);
}

std::filesystem::path gf_getAppDataPath()
{
    if (auto path = gf_getKnownFolderPath(platform::KnownFolder::RoamingAppData)) return *path;
    gf_logHighlighted("Could not find the AppData path");
    return {};
}

std::filesystem::path gf_getLocalAppDataPath()
{
    if (auto path = gf_getKnownFolderPath(platform::KnownFolder::LocalAppData)) return *path;
    gf_logHighlighted("Could not find the Local AppData path");
    return {};
}

bool gf_openWithShell(const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return false;
    const auto absolute = std::filesystem::absolute(path, ec);
    if (ec) return false;
    return platform::shellOpen(absolute);
}

bool gf_openParametersFolder()
{
    if (gf_openWithShell(g_parametersPath)) return true;
    lf_warn("Could not open folder with parameters.xml");
    return false;
}

bool gf_openManual()
{
    if (gf_openWithShell(g_docsDir / "Manual.pdf")) return true;
    lf_warn("Could not open local folder with Manual");
    return false;
}

std::string gf_newVersionNotice(const std::filesystem::path& programFolder)
{
    const bool isProtected =
        lf_beginsWithKnownFolder(programFolder, platform::KnownFolder::ProgramFiles) ||
        lf_beginsWithKnownFolder(programFolder, platform::KnownFolder::ProgramFilesX86);
    if (isProtected && !platform::probeWriteAccess(programFolder, lf_writeProbeName) &&
        !platform::isElevated()) {
        return "A new version is available. Run the installer as Administrator";
    }
    return "A new version is available.\nThe installer can be executed normally "
           "(no Administrator rights required).";
}

}  // namespace qel
