// The builder's pieces of the dbase document shared between its files.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "tools/datafile_builder.h"

namespace qel::datafile {

using CodeList = std::set<std::string>;

std::string joinCodes(const std::vector<std::string>& pieces);  // "A,B"
// Pieces between separators, blanks and tabs trimmed, empty pieces kept.
std::vector<std::string> splitAt(std::string_view text, char separator);

// simaddons20, thirdparties20 and thirdparties24.
void writeAddonAirports(const CuratedLists& curated, pugi::xml_node root);
// dbase: the VRS registrations and the hyphenated country prefixes ("D-") as fleet records.
void writeFleet(const AircraftSources& sources, const CodeList& models, const CodeList& airlines,
                const CodeList& cargoOperators,
                const std::map<std::string, CodeList>& prefixesByCountry, pugi::xml_node root,
                Notes& notes);

}  // namespace qel::datafile
