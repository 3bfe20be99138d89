// Writing whole files and clearing folders.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qel {

// Each line followed by "\n", binary. False when the file cannot be opened or written.
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);
// The text, and "\n" when asked. False when the file cannot be opened or written.
bool gf_writeFile(const std::string& text, const std::filesystem::path& path, bool addNewline);
// Removes the file when it exists; a failure is logged, never thrown.
void gf_removeFile(const std::filesystem::path& path);
// Removes the regular files directly in the folder; logs failures, never throws.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
// The same for the .xml files of "tblo", the zipped copies of unrecognised add-on airports.
void gf_removeXMLFilesFromDirectory();
// Regular files directly in the folder; 0 when it does not exist. Throws
// std::filesystem::filesystem_error when it exists but cannot be listed.
std::size_t gf_countFiles(const std::filesystem::path& folder);

}  // namespace qel
