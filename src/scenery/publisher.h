// Who published the scenery of a BGL file: from its path, from the aircraft database's
// publisher groups, and from the package's manifest.json.
//
// Threads: the scan tasks call these in parallel; they read files and g_addonArchives, and
// write only the lines they are given.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scenery/bgl.h"

namespace qel {

struct PublisherInfo {
    std::string publisher;     // "Aerosoft", "simaddon" for the simulator's own; "" unknown
    std::string manufacturer;  // from the manifest, "Aerosoft GmbH"
    std::string creator;       // from the manifest, "Jane Doe"
};

struct ManifestInfo {
    std::string manufacturer;  // "manufacturer" of the manifest's top-level object
    std::string creator;       // "creator"
    std::string title;         // "title", "London Heathrow"
};

// Every step adds its report line to `lines`.
PublisherInfo gf_findPublisher(const std::filesystem::path& path, std::vector<ScanLine>& lines);
// The manifest.json of the file's package: the package folder below "Community", else the
// first folder on the way up that holds one that reads. Never throws.
std::optional<ManifestInfo> gf_searchManifest(const std::filesystem::path& path,
                                              std::vector<ScanLine>& lines);
// A manifest's text: nothing when its top level is not an object. Throws std::runtime_error
// for text that is not JSON, nests deeper than the manifest's layout could, or has a key whose
// value is not a text.
std::optional<ManifestInfo> lf_parseManifest(std::string_view text);

}  // namespace qel
