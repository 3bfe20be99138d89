// Writing whole files, removing files and clearing folders of their files.
#include "foundation/files.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "platform/disk.h"

namespace qel {

namespace {

// Closes the stream and tells whether everything written reached the file: a full disk or a
// failing device shows only at flush or close, and must not pass for a saved file.
bool lf_finish(std::ofstream& out)
{
    out.flush();
    out.close();
    return !out.fail();
}

// Removes the regular files directly in `folder` for which `wanted` holds. A file that cannot
// be removed is logged and skipped; nothing is thrown to the caller.
template <typename Wanted>
void lf_removeFilesIf(const std::filesystem::path& folder, std::string_view function, Wanted wanted)
{
    try {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file() || !wanted(entry.path())) continue;
            std::error_code ec;
            std::filesystem::remove(entry.path(), ec);
            if (ec) {
                gf_logHighlighted(fmt::format("Failed to remove {} ({})",
                                              gf_pathToUtf8(entry.path()), ec.message()));
            }
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{} exception: {}", function, e.what()));
    }
}

}  // namespace

bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    for (const auto& line : lines) out << line << '\n';
    return lf_finish(out);
}

bool gf_writeFile(const std::string& text, const std::filesystem::path& path, bool addNewline)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    out << text;
    if (addNewline) out << '\n';
    return lf_finish(out);
}

bool gf_syncFile(const std::filesystem::path& path) { return platform::syncFile(path); }

bool gf_syncFolder(const std::filesystem::path& folder) { return platform::syncFolder(folder); }

std::error_code gf_replaceByRename(const std::filesystem::path& temporary,
                                   const std::filesystem::path& target, ReplaceSync sync)
{
    std::error_code ec;
    // Renamed before its bytes reach the disk, the new name could outlive a power loss that
    // the bytes do not: an empty file in place of the old one.
    if (sync == ReplaceSync::FileAndFolder && !platform::syncFile(temporary)) {
        ec = std::make_error_code(std::errc::io_error);
    }
    if (!ec) std::filesystem::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return ec;
    }
    // The rename itself is made durable; failing that, the new file is in place all the same.
    if (sync == ReplaceSync::FileAndFolder) platform::syncFolder(target.parent_path());
    return ec;
}

void gf_removeFile(const std::filesystem::path& path)
{
    // remove() of a missing path is no error, which is the same as removing only what exists.
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec) {
        gf_logHighlighted(fmt::format("Warning: could not remove {}, errorcode: {}",
                                      gf_pathToUtf8(path), ec.message()));
    }
}

void gf_removeFilesFromDirectory(const std::filesystem::path& folder)
{
    lf_removeFilesIf(folder, "gf_removeFilesFromDirectory",
                     [](const std::filesystem::path&) { return true; });
}

void gf_removeXMLFilesFromDirectory()
{
    // The copies of unrecognised stand files, once zipped; the originals in my_thirdparty stay.
    lf_removeFilesIf(g_tbloDir, "gf_removeXMLFilesFromDirectory",
                     [](const std::filesystem::path& file) {
                         return gf_equalsUpperCased(".XML", file.extension().string());
                     });
}

std::size_t gf_countFiles(const std::filesystem::path& folder)
{
    if (!std::filesystem::exists(folder)) return 0;
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<std::size_t>(std::count_if(
        begin(entries), end(entries),
        [](const std::filesystem::directory_entry& entry) { return entry.is_regular_file(); }));
}

bool EnteredFolders::enter(const std::filesystem::path& folder)
{
    const auto identity = platform::folderIdentity(folder);
    return identity && entered_.insert(*identity).second;
}

}  // namespace qel
