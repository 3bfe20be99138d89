// Saving XML documents, the writers' attribute helpers and the meta block of the program's own
// data files.
#include "foundation/xml.h"

#include <cstring>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/time.h"

namespace qel {

const std::string g_copyrightLine{"Copyright (c) 2026 Vanteloq"};

namespace {

pugi::xml_node lf_declaration(pugi::xml_document& document)
{
    for (auto node : document.children()) {
        if (node.type() == pugi::node_declaration) return node;
    }
    return document.prepend_child(pugi::node_declaration);
}

// "version" must stand first in a declaration, so a missing one is put in front of whatever the
// declaration already holds.
bool lf_fixDeclaration(pugi::xml_node declaration)
{
    if (!declaration) return false;
    auto version = declaration.attribute("version");
    if (!version) version = declaration.prepend_attribute("version");
    auto encoding = declaration.attribute("encoding");
    if (!encoding) encoding = declaration.insert_attribute_after("encoding", version);
    return version && encoding && version.set_value("1.0") && encoding.set_value("UTF-8");
}

bool lf_appendInfo(pugi::xml_node meta, const char* name, const std::string& value)
{
    auto info = meta.append_child("info");
    return info && gf_appendAttribute(info, "name", name) &&
           gf_appendAttributeValue(info, "value", value);
}

}  // namespace

bool gf_saveXmlFile(pugi::xml_document& document, const std::filesystem::path& path)
{
    if (!lf_fixDeclaration(lf_declaration(document))) return false;
    // Written beside the target and renamed over it, so that readers and a crash in the middle
    // only ever see the old or the new file, never a torn one.
    auto temporary = path;
    temporary += ".tmp";
    if (!document.save_file(temporary.c_str(), "  ", pugi::format_indent, pugi::encoding_utf8)) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    return !gf_replaceByRename(temporary, path);
}

std::optional<std::string> gf_xmlText(pugi::xml_document& document)
{
    if (!lf_fixDeclaration(lf_declaration(document))) return std::nullopt;
    struct StringWriter : pugi::xml_writer {
        std::string text;
        void write(const void* data, std::size_t size) override
        {
            text.append(static_cast<const char*>(data), size);
        }
    } writer;
    document.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
    return std::move(writer.text);
}

bool gf_writeXmlMeta(pugi::xml_document& document, const XmlMetaInfo& meta)
{
    auto root = document.child("root");
    if (!root) root = document.append_child("root");
    if (!root) return false;
    auto block = root.append_child("meta");
    if (!block) return false;

    bool ok = lf_appendInfo(block, "author", std::string(g_shortName));
    ok = lf_appendInfo(block, "version", meta.version) && ok;
    ok = lf_appendInfo(block, "date", gf_todayString()) && ok;
    ok = lf_appendInfo(block, "copyright", g_copyrightLine) && ok;
    if (!lf_appendInfo(block, "sim", std::to_string(meta.sim))) return false;
    return ok;
}

std::optional<XmlMetaInfo> gf_readXmlMeta(const pugi::xml_node& node, bool acceptWithoutSim)
{
    std::string refusal;
    return gf_readXmlMeta(node, acceptWithoutSim, refusal);
}

std::optional<XmlMetaInfo> gf_readXmlMeta(const pugi::xml_node& node, bool acceptWithoutSim,
                                          std::string& refusal)
{
    const auto root = node.child("root");
    const auto block = (root ? root : node).child("meta");
    refusal = "no meta block";
    if (!block) return std::nullopt;

    XmlMetaInfo meta;
    // Each item counts at its first row only.
    bool copyright = false;
    bool author = false;
    bool version = false;
    bool date = false;
    bool p3d = false;
    bool msfs = false;
    bool sim = false;
    auto takeText = [](bool& seen, std::string& field, const pugi::xml_node& info) {
        if (seen) return;
        seen = true;
        field = info.attribute("value").value();
    };
    for (const auto& info : block.children("info")) {
        const std::string_view name = info.attribute("name").value();
        if (name == "copyright") {
            if (copyright) continue;
            if (std::strlen(info.attribute("value").value()) == 0) {
                gf_logHighlighted("no copyright info in the file?");
                refusal = "an empty copyright row in its meta block";
                return std::nullopt;
            }
            copyright = true;
        } else if (name == "author") {
            takeText(author, meta.author, info);
        } else if (name == "version") {
            takeText(version, meta.version, info);
        } else if (name == "date") {
            takeText(date, meta.date, info);
        } else if (name == "P3D") {
            takeText(p3d, meta.p3d, info);
        } else if (name == "MSFS") {
            takeText(msfs, meta.msfs, info);
        } else if (name == "sim" && !sim) {
            sim = true;
            meta.sim = info.attribute("value").as_int();
        }
    }
    if (!copyright) {
        refusal = "no copyright row in its meta block";
        return std::nullopt;
    }
    if (!acceptWithoutSim && !sim && !p3d && !msfs) {
        refusal = "no sim, P3D or MSFS row in its meta block";
        return std::nullopt;
    }
    refusal.clear();
    return meta;
}

bool gf_appendAttribute(pugi::xml_node node, const char* name, const char* value)
{
    auto attribute = node.append_attribute(name);
    return attribute && attribute.set_value(value);
}

bool gf_appendAttributeValue(pugi::xml_node node, const char* name, const std::string& value)
{
    return gf_appendAttribute(node, name, value.c_str());
}

bool gf_setOrAppendAttribute(pugi::xml_node node, const char* name, const char* value)
{
    auto attribute = node.attribute(name);
    if (!attribute) attribute = node.append_attribute(name);
    return attribute && attribute.set_value(value);
}

std::string gf_attrString(const pugi::xml_node& node, const char* name)
{
    return node.attribute(name).value();
}

}  // namespace qel
