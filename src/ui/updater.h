// The updater's unpacking of the archives it downloads, apart from the downloads so that they
// can be tried with any archive. Start-up thread; paths are relative to the program's folder,
// the working folder.
#pragma once

#include <utility>

#include "foundation/zip_archive.h"

namespace qel {

// The one file of latest_version.zip into install_new_version.exe; a damaged entry leaves no
// installer. Logs what fails, never throws for the archive.
void lf_unpackInstaller();
// Every file entry of the MSFS 2024 airport pack as a redirect file ("sub/EGLL.xml" gives
// EGLL.txt) in airports/my_simaddon, never outside it; the number written, and whether all
// were.
std::pair<int, bool> lf_unpackSimAddon(const ZipArchive& archive);

}  // namespace qel
