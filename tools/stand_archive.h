// Archived stand files for tests and the demo, built from FlightGear's AI parking lists
// (groundnet files, GPL-2+). They are test and demo data only: they go to the download
// stand-in's folder with the licence beside them, never into input/ or the data files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scenery/stand_file.h"

namespace qel::datafile {

// "N52 17.655" → 52.29425; "W118 24.551" → -118.40918. Nothing for any other form.
std::optional<double> parseFlightGearAngle(std::string_view text);

// The stands of one groundnet document's `parkingList`: id from name and number ("D14"), made
// unique with "-2", "-3" when repeated; cargo for the cargo types, ramp for all but gates.
// Entries without a valid position are skipped and counted in `skipped`.
std::vector<ParkStand> readFlightGearParking(const std::string& xml, std::size_t& skipped);

// Writes outDir/<CODE>.xml for every parking list of parkingDir, kept renamed as
// <CODE>.parking.xml or as FlightGear keeps it, <CODE>/parking.xml; named and placed by the
// airportsdata table of dataDir. A list that does not read or holds no stand is skipped. The
// licence goes beside the files: COPYING.GPL-2 and debian-copyright.txt from parkingDir or its
// parent, else from licenceDir (may be empty); SourceError when none has them. Returns the
// number of files written; one note a list goes to `notes`.
std::size_t buildStandArchive(const std::filesystem::path& parkingDir,
                              const std::filesystem::path& dataDir,
                              const std::filesystem::path& outDir,
                              const std::filesystem::path& licenceDir,
                              std::vector<std::string>& notes);

}  // namespace qel::datafile
