// After the add-on airport scan: the generated stand files of recognised third-party airports
// that qualify go into the folder tblo and its zip tblo.zip, which the user is asked to send
// in. Scanning thread only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "scenery/scan.h"

namespace qel {

// Deflating at the default level took a third of a large collection's scan; the fastest level
// is about three times as fast on stand files, for a zip about a quarter larger.
constexpr int lf_tbloZipLevel = 1;

// Copies the qualifying stand files into tblo and zips them; the number copied in this scan
// (0 when the zip failed; the copies then stay in tblo).
// `codes`: the 32-bit codes of the stand files in airports/my_thirdparty; `written`: the files
// this scan wrote there, whose makers need not be read back.
uint64_t lf_prepareOfflineLearning(const std::vector<uint32_t>& codes,
                                   const WrittenStandFiles& written);
// Zips the regular files directly in tblo into `zip`; true when a non-empty zip was written.
// A file named in `deflated` goes in as those bytes, deflated ahead, instead of being read.
using DeflatedFiles = std::map<std::filesystem::path, std::shared_ptr<const DeflatedBytes>>;
bool lf_zipTbloFolder(const std::filesystem::path& zip, const DeflatedFiles& deflated = {});
// Whether a stand file of these makers is one the offline learning asks for (besides being a
// known airport). Any thread.
bool lf_qualifiesForLearning(const ApfMakers& makers);

}  // namespace qel
