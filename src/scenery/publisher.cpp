// Publisher detection for the add-on airport scan: the simulator's own airports by name, the
// aircraft database's publisher patterns in the path, and the manufacturer or creator of the
// package's manifest.json.
#include "scenery/publisher.h"

#include <stdexcept>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "foundation/globals.h"
#include "foundation/strings.h"
#include "foundation/textfile.h"
#include "scenery/addon_archives.h"

namespace qel {

AddonArchives g_addonArchives;

namespace {

namespace fs = std::filesystem;

constexpr uint64_t lf_maxManifestBytes = 1 << 20;  // manifests are a few hundred bytes
constexpr int lf_maxJsonDepth = 32;                // manifests nest 2 or 3 levels

ScanLine lf_report(std::string text) { return {ScanLine::To::Report, std::move(text)}; }

std::optional<std::string> lf_publisherOf(std::string_view text)
{
    if (!g_addonArchives.publisherOf) return std::nullopt;
    return g_addonArchives.publisherOf(text);
}

// Deeply nested text would make the JSON library recurse once per level; no manifest nests.
void lf_checkDepth(std::string_view text)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > lf_maxJsonDepth) throw std::runtime_error("manifest nests too deep");
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
}

std::string lf_jsonStringValue(const nlohmann::json& object, const char* key)
{
    const auto found = object.find(key);
    if (found == object.end() || found->empty()) return {};
    // JSON may spell a NUL byte ("\u0000"); the stand file's XML would cut the text there.
    auto text = found->get<std::string>();
    std::erase(text, '\0');
    return text;
}

// The folder's manifest.json, found by its name rather than by listing the folder: the search
// also asks the packages folder itself, which holds hundreds of entries.
fs::path lf_findManifestFile(const fs::path& folder)
{
    std::error_code ec;
    fs::path manifest = folder / "manifest.json";
    if (fs::is_regular_file(manifest, ec)) return manifest;
    return {};
}

std::optional<ManifestInfo> lf_readManifest(const fs::path& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec || size > lf_maxManifestBytes) return std::nullopt;
    TextFileLines file{path, {}};
    if (!gf_readFileLines(file, 64).ok() || file.lines.empty()) return std::nullopt;
    std::string text;
    for (const auto& line : file.lines) text += line;
    return lf_parseManifest(text);
}

// The manifest found in the folder, read; its line is reported when there is one.
std::optional<ManifestInfo> lf_manifestIn(const fs::path& folder, std::vector<ScanLine>& lines)
{
    const fs::path manifest = lf_findManifestFile(folder);
    if (manifest.empty()) return std::nullopt;
    lines.push_back(lf_report(gf_pathToUtf8(manifest) + " found"));
    return lf_readManifest(manifest);
}

bool lf_hasCommunityElement(const fs::path& path)
{
    for (const auto& element : path) {
        if (gf_equalsNoCase(gf_pathToUtf8(element), "community")) return true;
    }
    return false;
}

}  // namespace

std::optional<ManifestInfo> lf_parseManifest(std::string_view text)
{
    lf_checkDepth(text);
    try {
        const auto json = nlohmann::json::parse(text);
        if (!json.is_object()) return std::nullopt;
        return ManifestInfo{lf_jsonStringValue(json, "manufacturer"),
                            lf_jsonStringValue(json, "creator"), lf_jsonStringValue(json, "title")};
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(e.what());
    }
}

std::optional<ManifestInfo> gf_searchManifest(const fs::path& path, std::vector<ScanLine>& lines)
{
    try {
        if (lf_hasCommunityElement(path)) {
            const fs::path package = path.parent_path().parent_path().parent_path();
            std::error_code ec;
            if (fs::is_directory(package, ec)) {
                if (auto info = lf_manifestIn(package, lines)) return info;
            }
        }
        for (fs::path folder = path.parent_path(); !folder.empty();) {
            if (auto info = lf_manifestIn(folder, lines)) return info;
            fs::path parent = folder.parent_path();
            if (parent == folder) break;
            folder = std::move(parent);
        }
    } catch (const std::exception& e) {
        lines.push_back(lf_report(fmt::format("exception in gf_searchManifest: {}", e.what())));
    }
    return std::nullopt;
}

PublisherInfo gf_findPublisher(const fs::path& path, std::vector<ScanLine>& lines)
{
    const std::string text = gf_pathToUtf8(path);
    lines.push_back(lf_report(fmt::format("\nTry to find publisher in: {}", text)));
    PublisherInfo info;
    if (gf_containsNoCase(text, "microsoft-airport") || gf_containsNoCase(text, "asobo-airport")) {
        info.publisher = g_simaddonName;
        lines.push_back(lf_report(fmt::format("from filename => publisher {}", info.publisher)));
        return info;
    }
    if (auto publisher = lf_publisherOf(text)) {
        info.publisher = *publisher;
        lines.push_back(lf_report(fmt::format("publisher '{}' found", info.publisher)));
        return info;
    }
    const auto manifest = gf_searchManifest(path, lines);
    if (!manifest) {
        lines.push_back(lf_report(fmt::format("{}No publisher found", "===> ")));
        return info;
    }
    info.manufacturer = manifest->manufacturer;
    info.creator = manifest->creator;
    if (auto publisher =
            info.manufacturer.empty() ? std::nullopt : lf_publisherOf(info.manufacturer)) {
        info.publisher = *publisher;
        lines.push_back(
            lf_report(fmt::format("from manifest.json: manufacturer '{}' => publisher '{}'",
                                  info.manufacturer, info.publisher)));
    } else if (auto byCreator =
                   info.creator.empty() ? std::nullopt : lf_publisherOf(info.creator)) {
        info.publisher = *byCreator;
        lines.push_back(lf_report(fmt::format("from manifest.json: creator '{}' => publisher '{}'",
                                              info.creator, info.publisher)));
    } else {
        lines.push_back(lf_report(fmt::format(
            "no valid info found in manifest about publisher, manufacturer:'{}', creator:'{}' {}",
            info.manufacturer, info.creator, text)));
    }
    return info;
}

}  // namespace qel
