// Known folders from the XDG base-directory variables, with overrides for tests.
#include "platform/folders.h"

#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>

namespace qel::platform {
namespace {

std::mutex g_overridesMutex;  // guards lf_overrides(); a leaf lock

// Built on first use: the per-user folder is computed from here before main, while globals of
// other files may not be built yet.
std::map<KnownFolder, std::optional<std::filesystem::path>>& lf_overrides()
{
    static std::map<KnownFolder, std::optional<std::filesystem::path>> overrides;
    return overrides;
}

// An absolute path from the environment variable `name`; the XDG rules ignore relative values.
std::optional<std::filesystem::path> lf_absoluteFromEnv(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    std::filesystem::path path(value);
    if (!path.is_absolute()) return std::nullopt;
    return path;
}

std::optional<std::filesystem::path> lf_xdgFolder(const char* variable, std::string_view fallback)
{
    if (auto path = lf_absoluteFromEnv(variable)) return path;
    if (auto home = lf_absoluteFromEnv("HOME")) return *home / fallback;
    return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> knownFolderPath(KnownFolder folder)
{
    {
        std::scoped_lock lock(g_overridesMutex);
        auto& overrides = lf_overrides();
        if (auto it = overrides.find(folder); it != overrides.end()) return it->second;
    }
    switch (folder) {
    case KnownFolder::RoamingAppData: return lf_xdgFolder("XDG_CONFIG_HOME", ".config");
    case KnownFolder::LocalAppData: return lf_xdgFolder("XDG_DATA_HOME", ".local/share");
    case KnownFolder::ProgramFiles:
    case KnownFolder::ProgramFilesX86: return std::nullopt;
    }
    return std::nullopt;
}

void overrideKnownFolder(KnownFolder folder, std::optional<std::filesystem::path> path)
{
    std::scoped_lock lock(g_overridesMutex);
    lf_overrides()[folder] = std::move(path);
}

void clearKnownFolderOverrides()
{
    std::scoped_lock lock(g_overridesMutex);
    lf_overrides().clear();
}

std::optional<FolderIdentity> folderIdentity(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return FolderIdentity{static_cast<uint64_t>(status.st_dev),
                          static_cast<uint64_t>(status.st_ino)};
}

}  // namespace qel::platform
