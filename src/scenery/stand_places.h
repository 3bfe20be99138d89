// Where stand files lie: the folders below "airports", the redirect files, the archive
// locations on the download server and the learned file that belongs to each stand file.
//
// Threads: any thread; the lookups read g_airports (read-only after start-up) and the disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/globals.h"

namespace qel {

// The learned folder of add-on airports whose stand file names no publisher.
extern const std::string g_unnamedPublisherFolder;  // "_unnamed"

// Codes are 32-bit words whose bytes are the four characters in reading order.
std::string gf_apfXmlName(uint32_t code);            // "EHAM.xml"
std::filesystem::path gf_apfXmlPath(uint32_t code);  // "EHAM.xml"
std::filesystem::path gf_apfTxtPath(uint32_t code);  // "EHAM.txt"

// The airport has a stand file: its own in my_thirdparty or my_simaddon (.xml or .txt), or
// archived stands in the airport database. Throws std::filesystem::filesystem_error when a
// status cannot be read for a reason other than absence.
bool gf_hasAirportFile(uint32_t code);
// The first line of a redirect file when it names an .xml file by a safe relative location;
// false (and `text` empty) otherwise. An unsafe one is logged.
bool lf_readRedirect(const std::filesystem::path& path, std::string& text);
// The location of the airport's stand file: a path below "airports", an archive location
// "archive/stock/EHAM.xml" on the download server, or "" when it has none. Throws as
// gf_hasAirportFile.
std::string gf_findArchivedApf(uint32_t code);
// The learned file of the stand file at `source` (a location gf_findArchivedApf gives), for
// reading it and for writing it alike; empty when the source has none, or when a folder or file
// name of it would be longer than 255 (a file system's limit). An add-on stand file
// whose publisher is empty after cleaning gets the fixed folder g_unnamedPublisherFolder.
std::filesystem::path gf_learnedPathFor(std::string_view source, std::string_view publisher);
// The codes of the .xml files named by an airport code in my_thirdparty; a file whose 4-char
// name is no airport code is logged and skipped. Throws when the folder cannot be listed.
std::vector<uint32_t> gf_listMyThirdpartyAirports();

// A local location as a path; redirects may be written with '\' between the folders.
std::filesystem::path gf_localPathOf(std::string_view location);
// A location that stays inside the program's folder: relative, no ".." component, no drive.
bool gf_isSafeRelativeLocation(std::string_view text);

}  // namespace qel
