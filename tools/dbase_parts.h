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
// dbase: the VRS registrations of civil aircraft and the short registration keys as fleet
// records.
void writeFleet(const AircraftSources& sources, const CodeList& models, const CodeList& airlines,
                const CodeList& cargoOperators, const CodeList& shortKeys, pugi::xml_node root,
                Notes& notes);
// The keys of 5 characters or fewer that begin a registration and nothing else: "PH-",
// "VP-B", a one-character prefix with the first letter of the code ("D-E"), a prefix without a
// dash with the first digit ("N1").
CodeList shortRegistrationKeys(const CsvTable& regPrefixes);
// A registration longer than 5 characters, or one that begins with a short key; military
// serials such as "747" are not.
bool isShortCivilRegistration(const std::string& key, const CodeList& shortKeys);

}  // namespace qel::datafile
