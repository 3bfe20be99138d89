// After the add-on airport scan: the generated stand files of recognised third-party airports
// that qualify go into the folder tblo and its zip tblo.zip, which the user is asked to send
// in. Scanning thread only.
#pragma once

#include <filesystem>
#include <vector>

#include "foundation/codes.h"

namespace qel {

// The codes of the stand files directly in airports/my_thirdparty; a file whose 4-character
// stem is no code is skipped with a report line.
std::vector<AirportCode> lf_listScannedThirdparty();
// Copies the qualifying stand files into tblo, zips them and sets g_tbloFileCount to the
// number copied in this scan (0 when the zip failed; the copies then stay in tblo).
void lf_prepareOfflineLearning(const std::vector<AirportCode>& codes);
// Zips the regular files directly in tblo into `zip`; true when a non-empty zip was written.
bool lf_zipTbloFolder(const std::filesystem::path& zip);

}  // namespace qel
