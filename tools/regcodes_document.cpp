// AIG-regcodes.xml: the meta block and one "l" per livery title with its registrations, from
// the curated lines of data/curated/aig-regcodes.txt.
#include <algorithm>
#include <set>

#include <fmt/format.h>

#include "foundation/version.h"
#include "foundation/xml.h"
#include "tools/dbase_parts.h"

namespace qel::datafile {

namespace {

constexpr int32_t lf_simNumber = 1;  // the meta block's simulator: MSFS 2020, read by both

struct RegcodeLine {
    std::string title;                       // "Boeing 737-800 KLM"
    std::vector<std::string> registrations;  // sorted, without duplicates
    bool special = false;                    // ";#" at the end of the line
};

RegcodeLine lf_parseLine(const std::string& line)
{
    const auto fields = splitAt(line, ';');
    if (fields.size() < 2 || fields.size() > 3 || fields[0].empty()) {
        throw SourceError("registration codes: expected \"title;regs[;#]\": " + line);
    }
    if (fields.size() == 3 && fields[2] != "#") {
        throw SourceError("registration codes: the third field may only be #: " + line);
    }
    RegcodeLine parsed{fields[0], {}, fields.size() == 3};
    if (!fields[1].empty()) {
        for (const auto& registration : splitAt(fields[1], ',')) {
            // The program takes registrations of 3 to 12 characters only.
            if (registration.size() < 3 || registration.size() > 12) {
                throw SourceError("registration codes: bad registration in: " + line);
            }
            parsed.registrations.push_back(registration);
        }
    }
    std::sort(parsed.registrations.begin(), parsed.registrations.end());
    parsed.registrations.erase(
        std::unique(parsed.registrations.begin(), parsed.registrations.end()),
        parsed.registrations.end());
    return parsed;
}

}  // namespace

void buildRegcodesDocument(const std::vector<std::string>& lines, pugi::xml_document& document,
                           Notes& notes)
{
    document.reset();
    XmlMetaInfo meta;
    meta.version = g_programVersion.text();
    meta.sim = lf_simNumber;
    if (!gf_writeXmlMeta(document, meta)) throw SourceError("the meta block could not be written");
    pugi::xml_node aig = document.child("root").append_child("aig");
    std::set<std::string> titles;
    for (const auto& line : lines) {
        const RegcodeLine parsed = lf_parseLine(line);
        // The reader rejects a title that repeats; a repeat further apart is a data error too.
        if (!titles.insert(parsed.title).second) {
            throw SourceError("registration codes: repeated title " + parsed.title);
        }
        pugi::xml_node entry = aig.append_child("l");
        entry.append_attribute("t").set_value(parsed.title.c_str());
        entry.append_attribute("r").set_value(joinCodes(parsed.registrations).c_str());
        if (parsed.special) entry.append_attribute("s").set_value("true");
    }
    notes.push_back(fmt::format("AIG-regcodes.xml: {:5} liveries", titles.size()));
}

}  // namespace qel::datafile
