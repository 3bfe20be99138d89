// File downloads over HTTP(S) with the libcurl easy interface.
#pragma once

#include <filesystem>
#include <string>

typedef void CURL;

namespace qel {

// Downloads `url` into `output` with the caller's handle; the old file stays until the whole
// body has arrived. A connection not made within 10 s, less than 1 byte/s for 30 s, or a stop
// or close requested (seen within a second) ends it as a failure. Logs and returns false on every failure; never throws. Any thread that owns
// the handle.
bool gf_download(CURL* handle, const std::string& url, const std::filesystem::path& output,
                 bool binary);
// Downloads `name` from the program's folder on the download server: the base URL, the major
// version number, "/" and the name.
bool gf_downloadFromSite(const std::filesystem::path& name, const std::filesystem::path& output);
// The download server's folder of per-version folders: $VNTQ_DOWNLOAD_URL, else the default,
// always ending in "/".
std::string gf_downloadBaseUrl();

}  // namespace qel
