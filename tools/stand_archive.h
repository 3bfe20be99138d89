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

// Writes outDir/<CODE>.xml for every <CODE>.parking.xml of parkingDir, named and placed by the
// airportsdata table of dataDir, and copies the licence beside them. Returns one note a file.
std::vector<std::string> buildStandArchive(const std::filesystem::path& parkingDir,
                                           const std::filesystem::path& dataDir,
                                           const std::filesystem::path& outDir);

}  // namespace qel::datafile
