// The update check at a fresh start: versions.json from the download server is compared with
// the program's version and with the versions of the data the user has. A newer program is
// fetched as an installer into new_version and the program stops with NEW VERSION; newer data
// files and the MSFS 2024 airport pack are fetched; newer scan rules switch the scans on for
// this start.
//
// Threads: the start-up thread only. Files are relative to the program's folder, the working
// folder.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <curl/curl.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/decrypt.h"
#include "foundation/download.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/run_state.h"
#include "foundation/shell.h"
#include "foundation/version.h"
#include "foundation/zip_archive.h"
#include "platform/controls.h"
#include "ui/ui.h"
#include "ui/updater.h"

namespace qel {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kVersionsJson{"versions.json"};
const fs::path kLatestVersionZip{"latest_version.zip"};
const fs::path kSimAddonZip{"my_simaddon2024.zip"};
const fs::path kReadmeTxt{"README.txt"};
constexpr std::size_t kUnzipChunk = 0x80000;  // bytes per read of an archive entry

struct CurlCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// `relative` below the server's downloads folder ("docs/ReleaseNotes.pdf") into `output`.
bool lf_downloadFromServer(const std::string& relative, const fs::path& output, bool binary)
{
    const std::unique_ptr<CURL, CurlCleanup> handle(curl_easy_init());
    return gf_download(handle.get(), gf_downloadBaseUrl() + relative, output, binary);
}

void lf_logUpdated(std::string_view item, const VersionData& version)
{
    gf_log(fmt::format("{} updated to {}", item, version.text()));
}

void lf_logUpToDate(std::string_view item) { gf_log(fmt::format("{} version up-to-date", item)); }

void lf_logVersionNotFound(std::string_view item)
{
    gf_logHighlighted(fmt::format("{} version not found", item));
}

void lf_removeWithWarning(const fs::path& path, std::string_view what)
{
    std::error_code ec;
    fs::remove(path, ec);
    if (ec) gf_logHighlighted(fmt::format("Warning: could not remove {}: {}", what, ec.message()));
}

// The version a setting holds; an empty one (data never fetched) reads as 0.0.0 quietly.
VersionData lf_settingVersion(const StringParameter& setting)
{
    const std::string text = setting.value();
    return text.empty() ? VersionData{} : VersionData(text);
}

std::optional<int32_t> lf_versionNumber(const json& item, const char* key)
{
    const auto found = item.find(key);
    if (found == item.end() || !found->is_number_integer()) return std::nullopt;
    const auto value = found->get<int64_t>();
    if (value < 0 || value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(value);
}

// The server's version of an item; nothing (logged "{} version not found") when the document
// lacks it. An item without three whole numbers counts as missing: comparing a guess could
// fetch a program or data file that is not there.
std::optional<VersionData> lf_serverVersion(const json& document, std::string_view item)
{
    const auto found = document.is_object() ? document.find(item) : document.end();
    if (found != document.end() && found->is_object()) {
        const auto major = lf_versionNumber(*found, "major");
        const auto minor = lf_versionNumber(*found, "minor");
        const auto patch = lf_versionNumber(*found, "patch");
        if (major && minor && patch) return VersionData(*major, *minor, *patch);
    }
    lf_logVersionNotFound(item);
    return std::nullopt;
}

// versions.json as JSON; nothing (logged) when it is unreadable. Every error of the JSON
// library is caught: a proxy's page or a number it cannot hold ("1e400" throws out_of_range)
// must not keep the program from starting, nor leave the file behind.
template <typename Input>
std::optional<json> lf_parseVersions(Input&& in)
{
    try {
        return json::parse(std::forward<Input>(in));
    } catch (const json::exception& e) {
        gf_logHighlighted(fmt::format("{} exception: {}", "gf_checkVersions", e.what()));
    }
    return std::nullopt;
}

// versions.json fetched, read and removed; nothing when it could not be fetched, opened or
// parsed, and the check is then skipped.
std::optional<json> lf_fetchVersions()
{
    if (!lf_downloadFromServer(kVersionsJson.string(), kVersionsJson, false)) {
        gf_logHighlighted("Downloading version info from my web site failed!");
        return std::nullopt;
    }
    std::optional<json> document;
    {
        std::ifstream in(kVersionsJson);
        if (!in) {
            gf_logHighlighted("Cannot open versions.json");
            return std::nullopt;
        }
        document = lf_parseVersions(in);
    }
    fs::remove(kVersionsJson);
    return document;
}

// ---- The program installer ---------------------------------------------------------------

// One entry of the installer archive into install_new_version.exe.
void lf_unpackInstallerEntry(const ZipEntry& entry)
{
    std::error_code ec;
    fs::remove(g_installNewVersionExe, ec);
    if (ec) {
        gf_logHighlighted(fmt::format("Warning: could not remove old installer: {}", ec.message()));
    }
    std::ofstream out(g_installNewVersionExe, std::ios::binary | std::ios::trunc);
    if (!out) {
        gf_logHighlighted(
            fmt::format("Could not create output file {}", g_installNewVersionExe.string()));
        return;
    }
    int result = entry.readContent(out, kUnzipChunk);
    out.close();
    if (result == 0 && !out) result = ZipEntry::kWriteError;
    if (result != 0) {
        gf_logHighlighted(fmt::format("Unzipping error code: {}", result));
        // A half-written installer must not pass for the new version.
        fs::remove(g_installNewVersionExe, ec);
        return;
    }
    gf_log(fmt::format("{} unzipped to {}", kLatestVersionZip.string(),
                       g_installNewVersionExe.string()));
}

}  // namespace

void lf_unpackInstaller()
{
    ZipArchive archive(kLatestVersionZip);
    if (!archive.open(ZipArchive::OpenMode::ReadOnly)) {
        gf_logHighlighted(fmt::format("Could not open {}", kLatestVersionZip.string()));
        return;
    }
    for (const auto& entry : archive.getEntries()) {
        if (entry.isDirectory()) continue;
        // The installer is the archive's one file; a further entry would overwrite it.
        lf_unpackInstallerEntry(entry);
        break;
    }
    archive.close();
}

namespace {

void lf_prepareNewVersionFolder()
{
    if (!fs::exists(g_newVersionDir)) {
        fs::create_directory(g_newVersionDir);
    } else {
        gf_removeFilesFromDirectory(g_newVersionDir);
    }
}

// Moves the installer into new_version by way of a temporary name, so that a torn move never
// leaves a short installer under the final name.
bool lf_moveInstaller()
{
    const fs::path& installer = g_installNewVersionExe;
    const fs::path target = g_newVersionDir / g_installNewVersionExe;
    fs::path part = target;
    part += ".part";
    std::error_code ec;
    fs::remove(part, ec);
    fs::remove(target, ec);
    const auto size = fs::file_size(installer, ec);
    if (ec) {
        gf_log(fmt::format("file_size({}) failed: {}", installer.string(), ec.message()));
        return false;
    }
    fs::rename(installer, part, ec);
    if (ec) {
        gf_log(fmt::format("could not rename {} => {}: {}", installer.string(), part.string(),
                           ec.message()));
        return false;
    }
    const auto partSize = fs::file_size(part, ec);
    if (ec) {
        gf_log(fmt::format("file_size({}) failed: {}", part.string(), ec.message()));
        return false;
    }
    if (partSize != size) {
        gf_log(fmt::format("rename {} => {} suspicious: size {} != {}", installer.string(),
                           part.string(), size, partSize));
        return false;
    }
    fs::rename(part, target, ec);
    if (ec) {
        gf_log(fmt::format("could not finalize rename {} => {}: {}", part.string(), target.string(),
                           ec.message()));
        return false;
    }
    return true;
}

// True when the installer ended up in new_version.
bool lf_downloadInstaller(const VersionData& server)
{
    const std::string relative =
        fmt::format("{}{}/{}", "release/", g_shortName, kLatestVersionZip.string());
    if (lf_downloadFromServer(relative, kLatestVersionZip, true)) {
        gf_log(fmt::format("Downloaded {}", kLatestVersionZip.string()));
        lf_unpackInstaller();
    } else {
        gf_setMessage(
            fmt::format("Downloading program installer file version {} failed", server.text()),
            true);
    }
    lf_prepareNewVersionFolder();
    lf_removeWithWarning(kLatestVersionZip, "downloaded zip");
    if (!fs::exists(g_installNewVersionExe)) {
        gf_logHighlighted(fmt::format("{} does not exists?", g_installNewVersionExe.string()));
        return false;
    }
    if (!lf_moveInstaller()) return false;
    lf_removeWithWarning(g_installNewVersionExe, "extracted");
    return true;
}

// The release notes and the notice beside the installer, then the folder shown to the user.
void lf_presentNewVersion()
{
    const fs::path notes = g_newVersionDir / g_releaseNotesPdf;
    if (!lf_downloadFromServer(fmt::format("docs/{}", g_releaseNotesPdf.string()), notes, true)) {
        gf_logHighlighted(fmt::format("could not download {} to {}", g_releaseNotesPdf.string(),
                                      g_newVersionDir.string()));
    }
    const std::string notice = gf_newVersionNotice(fs::current_path());
    gf_logFlush(notice);
    gf_writeFile(notice, g_newVersionDir / kReadmeTxt, true);
    // The installer is no program of this platform's desktop: its folder is what is shown.
    if (gf_openWithShell(g_newVersionDir)) {
        gf_flushLog();
        return;
    }
    platform::messageBox("Could not open File Explorer at new version", g_shortName,
                         platform::MessageBoxIcon::Warning);
    gf_setMessage(
        "Opening file explorer at the new version failed? Try manually via the "
        "Morvane website.",
        true);
}

// False when a new program version was fetched and the stop requested.
bool lf_checkProgram(const json& document)
{
    const auto server = lf_serverVersion(document, "msfs");
    if (!server) return true;
    gf_log(fmt::format("{} program version at web = {}", "msfs", server->text()));
    if (!(*server > g_programVersion)) {
        lf_logUpToDate("msfs");
        return true;
    }
    if (!lf_downloadInstaller(*server)) {
        throw UserErrorException(112,
                                 "The downloading/unzipping of the new version failed? Try "
                                 "manually via the Morvane website");
    }
    lf_presentNewVersion();
    gf_requestStop(ExitReason::NEW_VERSION, 0);
    return false;
}

// ---- The MSFS 2024 airport pack ----------------------------------------------------------

enum class PackResult { Updated, UpToDate, Failed };

// True when airports/my_simaddon is missing, no folder, or an empty folder.
bool lf_simAddonMissing()
{
    std::error_code ec;
    const fs::file_status status = fs::status(g_mySimaddonDir, ec);
    if (status.type() == fs::file_type::not_found) return true;
    if (ec) throw fs::filesystem_error("status", g_mySimaddonDir, ec);
    if (!fs::is_directory(status)) return true;
    return fs::is_empty(g_mySimaddonDir);
}

// "sub\EGLL.xml" → "EGLL.txt": the redirect file of one entry. The name keeps no folder part,
// so an entry cannot write outside airports/my_simaddon.
std::string lf_redirectFileName(const std::string& entryName)
{
    std::string name = entryName.substr(entryName.find_last_of("\\/") + 1);
    if (name != "." && name != "..") {
        const auto dot = name.rfind('.');
        if (dot != std::string::npos) name.erase(dot);
    }
    return name + ".txt";
}

}  // namespace

std::pair<int, bool> lf_unpackSimAddon(const ZipArchive& archive)
{
    int written = 0;
    bool complete = true;
    for (const auto& entry : archive.getEntries()) {
        if (entry.isDirectory()) continue;
        const fs::path file = g_mySimaddonDir / lf_redirectFileName(entry.getName());
        const auto content = entry.readAsString();
        if (!content || !gf_writeFile(*content, file, false)) {
            gf_logHighlighted(fmt::format("Failed to write file: {}", file.string()));
            complete = false;
            continue;
        }
        ++written;
    }
    return {written, complete};
}

namespace {

PackResult lf_fetchAndUnpackSimAddon(const VersionData& server)
{
    if (!lf_downloadFromServer(fmt::format("diroverazo24/{}", kSimAddonZip.string()), kSimAddonZip,
                               true)) {
        return PackResult::Failed;
    }
    // The archive is opened before the folder is emptied: a broken pack keeps the old one.
    ZipArchive archive(kSimAddonZip);
    if (!archive.open(ZipArchive::OpenMode::ReadOnly) || archive.getEntries().empty()) {
        gf_logHighlighted(fmt::format("Could not open {}", kSimAddonZip.string()));
        return PackResult::Failed;
    }
    if (!fs::exists(g_mySimaddonDir)) {
        std::error_code ec;
        fs::create_directories(g_mySimaddonDir, ec);
        if (ec) {
            gf_logHighlighted(fmt::format("Could not create directory {}: {}",
                                          g_mySimaddonDir.string(), ec.message()));
            return PackResult::Failed;
        }
    } else {
        gf_removeFilesFromDirectory(g_mySimaddonDir);
    }
    const auto [written, complete] = lf_unpackSimAddon(archive);
    archive.close();
    gf_setMessage(fmt::format("{} unzipped {} files", kSimAddonZip.string(), written), true);
    // A pack that was not written whole keeps its old version, so the next start tries again.
    if (!complete) return PackResult::Failed;
    DIROVERAZO24_VERSION.set(server.text());
    return PackResult::Updated;
}

PackResult lf_downloadSimAddon(const VersionData& server)
{
    if (!(server > lf_settingVersion(DIROVERAZO24_VERSION)) && !lf_simAddonMissing()) {
        return PackResult::UpToDate;
    }
    const PackResult result = lf_fetchAndUnpackSimAddon(server);
    lf_removeWithWarning(kSimAddonZip, "downloaded zip");
    return result;
}

void lf_checkSimAddon(const json& document)
{
    // The pack holds redirects for MSFS 2024 scenery only.
    if (g_isMsfs2020) return;
    const auto server = lf_serverVersion(document, "simaddon");
    if (!server) return;
    switch (lf_downloadSimAddon(*server)) {
    case PackResult::Updated: lf_logUpdated("simaddon", *server); break;
    case PackResult::UpToDate: lf_logUpToDate("simaddon"); break;
    case PackResult::Failed: break;  // logged where it failed
    }
}

// ---- Data files and scan rules -----------------------------------------------------------

// Whether a downloaded data file deciphers whole and its XML loads with the section its reader
// needs. Checked before it replaces the file in use: a damaged download written in place made
// every later start fail, and with its version saved no start fetched it again.
bool lf_dataFileReadable(const fs::path& candidate, const char* section)
{
    fs::path xml = candidate;
    xml += ".xml";
    bool readable = false;
    if (gf_streamDecrypt(candidate, xml)) {
        pugi::xml_document document;
        readable = document.load_file(xml.c_str()) && document.child("root").child(section);
    }
    std::error_code ec;
    fs::remove(xml, ec);
    return readable;
}

void lf_checkDataFile(const json& document, std::string_view item, StringParameter& setting,
                      const fs::path& local, const char* section)
{
    const auto server = lf_serverVersion(document, item);
    if (!server) return;
    if (!(*server > lf_settingVersion(setting)) && fs::exists(local)) {
        lf_logUpToDate(item);
        return;
    }
    // A failed download or a damaged file keeps the old file and version, so the next start
    // tries again.
    fs::path candidate = local;
    candidate += ".new";
    if (!gf_downloadFromSite(local.filename(), candidate)) return;
    if (!lf_dataFileReadable(candidate, section)) {
        gf_logHighlighted(
            fmt::format("{} from the download server is damaged, the old file is kept",
                        local.filename().string()));
        std::error_code ec;
        fs::remove(candidate, ec);
        return;
    }
    if (const std::error_code ec = gf_replaceByRename(candidate, local)) {
        gf_logHighlighted(
            fmt::format("{} not replaced: {}", local.filename().string(), ec.message()));
        return;
    }
    setting.set(server->text());
    lf_logUpdated(item, *server);
}

void lf_switchScanOn(ControlBoolParameter& scan)
{
    scan.current = true;
    gf_saveBoolParameter(scan);
    gf_showBoolParameter(scan);
}

void lf_checkScanRule(const json& document, std::string_view item, StringParameter& setting,
                      ControlBoolParameter& scan, bool outputMissing)
{
    const auto server = lf_serverVersion(document, item);
    if (!server) return;
    if (!(*server > lf_settingVersion(setting)) && !outputMissing) {
        lf_logUpToDate(item);
        return;
    }
    lf_switchScanOn(scan);
    setting.set(server->text());
    lf_logUpdated(item, *server);
}

}  // namespace

int gf_readVersionsText(std::string_view text)
{
    const auto document = lf_parseVersions(text);
    if (!document) return -1;
    int usable = 0;
    for (const char* item :
         {"msfs", "simaddon", "airports", "aig", "liveries", "addons", "dbase"}) {
        if (lf_serverVersion(*document, item)) ++usable;
    }
    return usable;
}

bool gf_checkVersions()
{
    const auto document = lf_fetchVersions();
    if (!document) return true;
    if (!lf_checkProgram(*document)) return false;
    lf_checkSimAddon(*document);
    lf_checkDataFile(*document, "airports", AIRPORTS_VERSION, g_airportsEnc, "airports");
    lf_checkDataFile(*document, "aig", AIG_VERSION, g_aigRegcodesEnc, "aig");
    lf_checkScanRule(*document, "liveries", LIV_SCAN_VERSION, SCAN_LIVERIES,
                     !fs::exists(g_liveriesScannedXml));
    lf_checkScanRule(*document, "addons", ADDONS_SCAN_VERSION, SCAN_AIRPORTS, false);
    lf_checkDataFile(*document, "dbase", DBASE_VERSION, g_dbaseEnc, "aircrafts");
    return true;
}

}  // namespace qel
