// The generated stand-file folders of the add-on airport scan: a scan writes into folders of its
// own beside them, marks them complete as its last step, and only then puts them in their place,
// so that a scan stopped or killed half-way leaves the stand files of the last complete one.
//
// Threads: the scanning thread only.
#include <algorithm>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "platform/disk.h"
#include "scenery/scan.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

// Written into the scan's own folder as the scan's last step: only a folder that holds it is a
// complete scan. A scan killed or stopped half-way leaves its folder without it.
constexpr std::string_view lf_completeMark = ".scan-complete";

fs::path lf_suffixed(const fs::path& live, std::string_view suffix)
{
    return live.parent_path() / (live.filename().string() + std::string(suffix));
}

// "my_thirdparty.old", or "my_thirdparty.old.1" and on while folders that could not be removed
// (on Windows a file in them held open) keep the names before.
fs::path lf_freeAsideName(const fs::path& live)
{
    fs::path aside = lf_suffixed(live, ".old");
    for (int n = 1; fs::exists(aside); ++n) aside = lf_suffixed(live, fmt::format(".old.{}", n));
    return aside;
}

// The folders swaps moved the live one to, in name order; none when they cannot be listed.
std::vector<fs::path> lf_asideFolders(const fs::path& live)
{
    const std::string name = live.filename().string() + ".old";
    std::vector<fs::path> folders;
    std::error_code ec;
    for (fs::directory_iterator it(live.parent_path(), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (entry.starts_with(name) && (entry.size() == name.size() || entry[name.size()] == '.')) {
            folders.push_back(it->path());
        }
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

// What a scan does not make (sub-folders the user keeps there) goes on into the live folder; the
// rest of the folder moved aside, the stand files of an earlier scan, goes. What cannot be
// removed stays aside for a later scan to remove: a complete scan is in place all the same.
void lf_clearAsideFolders(const fs::path& live)
{
    // Without the live folder the sub-folders would have nowhere to go.
    if (!fs::exists(live)) return;
    for (const fs::path& previous : lf_asideFolders(live)) {
        std::error_code ec;
        for (fs::directory_iterator it(previous, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code entryError;
            if (it->is_regular_file(entryError)) continue;
            const fs::path target = live / it->path().filename();
            if (!fs::exists(target, entryError)) fs::rename(it->path(), target, entryError);
        }
        if (const std::error_code failed = platform::removeAll(previous)) {
            gf_logHighlighted(fmt::format("Failed to remove {} ({}), a later scan will",
                                          gf_pathToUtf8(previous), failed.message()));
        }
    }
}

// The scan's folder in the place of the live one, whole: two renames. The live folder moves
// to a name no folder has, so that one an earlier swap could not remove never stands in the way.
void lf_swapIn(const fs::path& live)
{
    const fs::path previous = lf_freeAsideName(live);
    if (fs::exists(live)) fs::rename(live, previous);
    fs::rename(gf_scanStagingOf(live), live);
    std::error_code ec;
    fs::remove(live / lf_completeMark, ec);
    gf_syncFolder(live.parent_path());
    lf_clearAsideFolders(live);
}

// What a crash, a kill or a failed step left beside the live folder. A complete scan that was
// not yet in place is the newest one: its swap is finished (true). A scan's folder without the
// mark is no scan's output, and a folder moved aside is older than the live one, whatever else
// lies there.
bool lf_recover(const fs::path& live)
{
    if (fs::exists(gf_scanStagingOf(live) / lf_completeMark)) {
        lf_swapIn(live);
        return true;
    }
    // A crash right after the second rename leaves the mark in the live folder.
    std::error_code ec;
    fs::remove(live / lf_completeMark, ec);
    // Without a live folder (earlier versions could leave this) the last one moved aside is it.
    const fs::path previous = lf_suffixed(live, ".old");
    if (!fs::exists(live) && fs::exists(previous)) fs::rename(previous, live);
    lf_clearAsideFolders(live);
    return false;
}

// Tasks that were given up (a wait that ran out) may have left their temporary files.
void lf_removeTemporaries(const fs::path& folder)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (it->path().extension() == ".tmp") fs::remove(it->path(), entryError);
    }
}

// The scan's last step, before its folders take the place of the live ones.
void lf_markComplete(const fs::path& live)
{
    const fs::path staged = gf_scanStagingOf(live);
    lf_removeTemporaries(staged);
    const fs::path mark = staged / lf_completeMark;
    if (!gf_writeFile("", mark, false) || !gf_syncFile(mark)) {
        throw fs::filesystem_error("write", mark, std::make_error_code(std::errc::io_error));
    }
    gf_syncFolder(staged);
}

// The scan's files added to the live folder, each replacing its namesake; for a simulator whose
// scan does not regenerate that folder.
void lf_mergeIn(const fs::path& live)
{
    const fs::path staged = gf_scanStagingOf(live);
    lf_removeTemporaries(staged);
    fs::create_directories(live);
    std::error_code ec;
    for (fs::directory_iterator it(staged, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path target = live / it->path().filename();
        if (const std::error_code failed =
                gf_replaceByRename(it->path(), target, ReplaceSync::FolderLater)) {
            gf_logHighlighted(
                fmt::format("'{}' not replaced: {}", gf_pathToUtf8(target), failed.message()));
        }
    }
    gf_syncFolder(live);
    platform::removeAll(staged);
}

// MSFS 2024's scan leaves my_simaddon as it is but for the links it writes.
bool lf_regenerates(const fs::path& live, bool msfs2020)
{
    return msfs2020 || live != g_mySimaddonDir;
}

}  // namespace

fs::path gf_scanStagingOf(const fs::path& live) { return lf_suffixed(live, ".new"); }

void lf_prepareScanFolders()
{
    for (const fs::path& live : {g_myThirdpartyDir, g_mySimaddonDir}) {
        lf_recover(live);
        const fs::path staged = gf_scanStagingOf(live);
        if (const std::error_code ec = platform::removeAll(staged)) {
            throw fs::filesystem_error("remove_all", staged, ec);
        }
        fs::create_directories(staged);
    }
}

void gf_finishInterruptedScanSwap()
{
    for (const fs::path& live : {g_myThirdpartyDir, g_mySimaddonDir}) {
        try {
            if (lf_recover(live)) {
                gf_log(fmt::format("The last complete airport scan is now in place in {}",
                                   gf_pathToUtf8(live)));
            }
        } catch (const fs::filesystem_error& e) {
            gf_logHighlighted(fmt::format(
                "The add-on airport stands in {} are set aside until the next start or airport "
                "scan puts them in place: {}",
                gf_pathToUtf8(gf_scanStagingOf(live)), e.what()));
        }
    }
}

void lf_discardScanFolders()
{
    for (const fs::path& live : {g_myThirdpartyDir, g_mySimaddonDir}) {
        platform::removeAll(gf_scanStagingOf(live));
    }
}

void lf_commitScanFolders(bool msfs2020)
{
    // Both marked before either swap: a crash between the swaps finishes both at the next start.
    for (const fs::path& live : {g_myThirdpartyDir, g_mySimaddonDir}) {
        if (lf_regenerates(live, msfs2020)) lf_markComplete(live);
    }
    for (const fs::path& live : {g_myThirdpartyDir, g_mySimaddonDir}) {
        if (lf_regenerates(live, msfs2020)) {
            lf_swapIn(live);
        } else {
            lf_mergeIn(live);
        }
    }
}

}  // namespace qel
