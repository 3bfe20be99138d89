// LiveriesScanned.xml: the scanned livery list written at the end of a scan and read back at
// every start, and the list's order.
#include "liveries/scanned_liveries.h"

#include <pugixml.hpp>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/version.h"
#include "foundation/xml.h"

namespace qel {

LiveryList g_liveries;  // start-up thread only

namespace {

// Byte-wise as unsigned characters, a prefix before its longer text: what std::string's
// compare does with char_traits<char>.
int lf_compareTexts(const std::string& a, const std::string& b) { return a.compare(b); }

int lf_compareCodes(const CodeTable& table, uint16_t a, uint16_t b)
{
    return lf_compareTexts(table.text(a), table.text(b));
}

const char* lf_required(const pugi::xml_node& node, const char* name)
{
    const auto attribute = node.attribute(name);
    if (!attribute) {
        throw UserErrorException(
            999, fmt::format("Missing required attribute '{}' in <{}>", name, node.name()));
    }
    return attribute.value();
}

Livery lf_readLivery(const pugi::xml_node& node)
{
    const std::string airline = lf_required(node, "a");
    const std::string model = lf_required(node, "m");
    Livery livery;
    livery.title = lf_required(node, "t");
    livery.registration = node.attribute("r").value();
    // Interned in the file's order of meaning: airline, operator, model.
    livery.key.airline = gf_airlineIndex(airline);
    livery.key.operatorId = gf_airlineIndex(node.attribute("o").value());
    livery.key.model = gf_modelIndex(model);
    livery.key.cargo = node.attribute("c").as_bool(false) ? 1 : 0;
    return livery;
}

}  // namespace

bool lf_compareLiveries(const Livery& x, const Livery& y)
{
    // A later key counts only when the ids of the earlier ones are equal.
    if (x.key.airline != y.key.airline) {
        return lf_compareCodes(g_airlineCodes, x.key.airline, y.key.airline) < 0;
    }
    if (x.key.operatorId != y.key.operatorId) {
        return lf_compareCodes(g_airlineCodes, x.key.operatorId, y.key.operatorId) < 0;
    }
    if (x.key.model != y.key.model) {
        return lf_compareCodes(g_modelCodes, x.key.model, y.key.model) < 0;
    }
    return lf_compareTexts(x.title, y.title) < 0;
}

void gf_sortLiveries(LiveryList& liveries) { liveries.sort(lf_compareLiveries); }

bool gf_writeLiveriesScanned(const LiveryList& liveries, const std::filesystem::path& path,
                             int32_t simNumber)
{
    if (liveries.empty()) return true;
    pugi::xml_document document;
    XmlMetaInfo meta;
    meta.version = g_programVersion.text();
    meta.sim = simNumber;
    gf_writeXmlMeta(document, meta);
    auto root = document.child("root");
    if (!root) return false;
    auto list = root.append_child("liveries");
    for (const Livery& livery : liveries) {
        auto l = list.append_child("l");
        gf_appendAttributeValue(l, "a", g_airlineCodes.text(livery.key.airline));
        if (livery.key.operatorId != 0) {
            gf_appendAttributeValue(l, "o", g_airlineCodes.text(livery.key.operatorId));
        }
        gf_appendAttributeValue(l, "m", g_modelCodes.text(livery.key.model));
        if (livery.key.cargo != 0) gf_appendAttribute(l, "c", "true");
        gf_appendAttributeValue(l, "t", livery.title);
        if (!livery.registration.empty()) gf_appendAttributeValue(l, "r", livery.registration);
    }
    if (!gf_saveXmlFile(document, path)) {
        gf_logHighlighted(fmt::format("{} liveries could not be written to {}", liveries.size(),
                                      gf_pathToUtf8(path)));
        return false;
    }
    gf_log(fmt::format("{} liveries in {}", liveries.size(), gf_pathToUtf8(path)));
    return true;
}

bool gf_writeLiveriesScanned(int32_t simNumber)
{
    return gf_writeLiveriesScanned(g_liveries, g_liveriesScannedXml, simNumber);
}

void gf_readLiveriesScanned(const std::filesystem::path& path, LiveryList& liveries)
{
    liveries.clear();
    const std::string pathText = gf_pathToUtf8(path);
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) {
        throw UserErrorException(51, fmt::format("File {} not found", pathText));
    }
    gf_readXmlMeta(document, true);
    if (const auto root = document.child("root")) {
        const auto list = root.child("liveries");
        if (!list) {
            throw UserErrorException(
                52, fmt::format("{} does not contain a <liveries> section", pathText));
        }
        // Every child counts, whatever its name: a stray node fails at its first attribute.
        for (const auto& node : list.children()) liveries.push_back(lf_readLivery(node));
    }
    if (liveries.empty()) {
        throw UserErrorException(533, fmt::format("{} does not contain liveries", pathText));
    }
    gf_sortLiveries(liveries);
    gf_log(fmt::format("{:5} liveries read from {}", liveries.size(), pathText));
}

void gf_readLiveriesScanned() { gf_readLiveriesScanned(g_liveriesScannedXml, g_liveries); }

}  // namespace qel
