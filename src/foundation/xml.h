// The one way every XML document is saved, the writers' attribute helpers, and the meta block
// of the program's own data files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <pugixml.hpp>

namespace qel {

extern const std::string g_copyrightLine;  // "Copyright (c) 2026 Vanteloq"

struct XmlMetaInfo {
    std::string author;   // "VNTQ"
    std::string version;  // "11.14.0"
    std::string date;     // "Okt 05, 2026"
    std::string p3d;      // value of a "P3D" item, written by older tools only
    std::string msfs;     // value of an "MSFS" item, written by older tools only
    int32_t sim = -1;     // 1 MSFS 2020, 2 MSFS 2024, -1 when the file has no "sim" item
};

// UTF-8 without byte-order mark, with declaration version "1.0" encoding "UTF-8" (fixed or
// added in the document), indented two blanks per level. Written to "<path>.tmp" and put in
// place by gf_replaceByRename, so the target is replaced whole or not at all. Never throws.
bool gf_saveXmlFile(pugi::xml_document& document, const std::filesystem::path& path);
// The bytes gf_saveXmlFile writes for the document (its declaration fixed the same way);
// nothing when the declaration cannot be added.
std::optional<std::string> gf_xmlText(pugi::xml_document& document);
// Appends the meta block to `root` (added when missing): author "VNTQ", the record's version,
// today's date, the copyright line and the record's sim. True when all five items were added.
bool gf_writeXmlMeta(pugi::xml_document& document, const XmlMetaInfo& meta);
// The meta block under the node's `root` (or the node itself); empty without a non-empty
// copyright item (an empty one logs "no copyright info in the file?"), and without a "sim",
// "P3D" or "MSFS" item unless `acceptWithoutSim`. Each item counts at its first row only.
std::optional<XmlMetaInfo> gf_readXmlMeta(const pugi::xml_node& node, bool acceptWithoutSim);
// The same, with why there is no record in `refusal` ("no copyright row in its meta block"),
// "" when there is one.
std::optional<XmlMetaInfo> gf_readXmlMeta(const pugi::xml_node& node, bool acceptWithoutSim,
                                          std::string& refusal);

bool gf_appendAttribute(pugi::xml_node node, const char* name, const char* value);
bool gf_appendAttributeValue(pugi::xml_node node, const char* name, const std::string& value);
bool gf_setOrAppendAttribute(pugi::xml_node node, const char* name, const char* value);
std::string gf_attrString(const pugi::xml_node& node, const char* name);

}  // namespace qel
