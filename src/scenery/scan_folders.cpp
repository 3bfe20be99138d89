// The generated stand-file folders of the add-on airport scan: a scan writes into folders of its
// own beside them, which take their place only when the scan is complete, so that a scan stopped
// half-way leaves the stand files of the last complete one.
//
// Threads: the scanning thread only.
#include <system_error>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "scenery/scan.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

fs::path lf_suffixed(const fs::path& live, std::string_view suffix)
{
    return live.parent_path() / (live.filename().string() + std::string(suffix));
}

// The folder a swap moved aside; it exists only between the two renames of a swap.
fs::path lf_previousOf(const fs::path& live) { return lf_suffixed(live, ".old"); }

// What a scan does not make (sub-folders the user keeps there) goes back into the live folder;
// the rest of the previous folder, the stand files of the scan before, goes.
void lf_carryOver(const fs::path& previous, const fs::path& live)
{
    std::error_code ec;
    for (fs::directory_iterator it(previous, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (it->is_regular_file(entryError)) continue;
        const fs::path target = live / it->path().filename();
        if (!fs::exists(target, entryError)) fs::rename(it->path(), target, entryError);
    }
    fs::remove_all(previous, ec);
    if (ec) {
        gf_logHighlighted(
            fmt::format("Failed to remove {} ({})", gf_pathToUtf8(previous), ec.message()));
    }
}

// The previous folder back in the live one's place. Whatever the live folder got since (the
// start makes it anew, empty) joins it where it has no namesake.
void lf_putBack(const fs::path& previous, const fs::path& live)
{
    std::error_code ec;
    for (fs::directory_iterator it(live, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        const fs::path target = previous / it->path().filename();
        if (!fs::exists(target, entryError)) fs::rename(it->path(), target, entryError);
    }
    fs::remove_all(live);
    fs::rename(previous, live);
}

// A crash between the two renames of a swap, or a failed second one, left the previous folder
// aside. While the scan's folder is still there the swap did not finish, and the live folder is
// no scan's output: the previous one is the last complete scan.
void lf_recover(const fs::path& live)
{
    const fs::path previous = lf_previousOf(live);
    if (!fs::exists(previous)) return;
    if (fs::exists(gf_scanStagingOf(live))) {
        lf_putBack(previous, live);
        return;
    }
    if (!fs::exists(live)) {
        fs::rename(previous, live);
        return;
    }
    lf_carryOver(previous, live);
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

// The scan's folder in the place of the live one, whole: two renames.
void lf_swapIn(const fs::path& live)
{
    const fs::path staged = gf_scanStagingOf(live);
    lf_removeTemporaries(staged);
    gf_syncFolder(staged);
    const fs::path previous = lf_previousOf(live);
    const bool hadLive = fs::exists(live);
    if (hadLive) fs::rename(live, previous);
    fs::rename(staged, live);
    gf_syncFolder(live.parent_path());
    if (hadLive) lf_carryOver(previous, live);
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
    fs::remove_all(staged, ec);
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
        fs::remove_all(staged);
        fs::create_directories(staged);
    }
}

void lf_discardScanFolders()
{
    for (const fs::path& live : {g_myThirdpartyDir, g_mySimaddonDir}) {
        std::error_code ec;
        fs::remove_all(gf_scanStagingOf(live), ec);
    }
}

void lf_commitScanFolders(bool msfs2020)
{
    for (const fs::path& live : {g_myThirdpartyDir, g_mySimaddonDir}) {
        if (lf_regenerates(live, msfs2020)) {
            lf_swapIn(live);
        } else {
            lf_mergeIn(live);
        }
    }
}

}  // namespace qel
