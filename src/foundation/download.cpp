// File downloads with libcurl: into a file beside the target that replaces it only once the
// whole body has arrived, and from the program's folder on the download server.
#include "foundation/download.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <system_error>

#include <curl/curl.h>
#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/version.h"

namespace qel {

namespace {

constexpr std::string_view lf_defaultBaseUrl = "https://downloads.vanteloq.invalid/downloads/";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct CurlCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// No answer within this long ends a download: a server that accepts and stalls must not hold
// the start-up for good.
constexpr long kConnectTimeout_ms = 10000;
constexpr long kLowSpeed_bytesPerSecond = 1;
constexpr long kLowSpeedTime_s = 30;

// libcurl's progress callback, called at least once a second even while nothing arrives: a
// stop or a close ends the transfer with CURLE_ABORTED_BY_CALLBACK.
int lf_abortOnStop(void* /*user*/, curl_off_t /*dltotal*/, curl_off_t /*dlnow*/,
                   curl_off_t /*ultotal*/, curl_off_t /*ulnow*/)
{
    return g_stopRequested || g_closeRequested ? 1 : 0;
}

size_t lf_fwriteCallback(char* data, size_t size, size_t count, void* stream)
{
    return std::fwrite(data, size, count, static_cast<std::FILE*>(stream));
}

// The body goes here first, so that a failed transfer never destroys a good file of the
// output's name.
std::filesystem::path lf_partPath(const std::filesystem::path& output)
{
    std::filesystem::path part = output;
    part += ".part";
    return part;
}

void lf_removeQuietly(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// The transfer into the open file; false after logging a libcurl failure.
bool lf_transfer(CURL* handle, const std::string& url, std::FILE* file)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "VNTQ");
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, lf_fwriteCallback);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, file);
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeout_ms);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kLowSpeed_bytesPerSecond);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kLowSpeedTime_s);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, lf_abortOnStop);
    const CURLcode result = curl_easy_perform(handle);
    if (result == CURLE_OK) return true;
    gf_log(fmt::format("Download error: '{}' for {}", curl_easy_strerror(result), url));
    return false;
}

}  // namespace

std::string gf_downloadBaseUrl()
{
    const char* configured = std::getenv("VNTQ_DOWNLOAD_URL");
    std::string base = configured != nullptr && *configured != '\0'
                           ? std::string(configured)
                           : std::string(lf_defaultBaseUrl);
    if (base.back() != '/') base.push_back('/');
    return base;
}

bool gf_download(CURL* handle, const std::string& url, const std::filesystem::path& output,
                 bool binary)
{
    if (handle == nullptr) return false;
    const std::filesystem::path part = lf_partPath(output);
    try {
        // Linux writes no carriage returns in either mode; the flag keeps the callers' intent.
        FilePtr file(std::fopen(part.c_str(), binary ? "wb" : "w"));
        if (!file) {
            gf_log(fmt::format("Could not open output file: {}", output.string()));
            return false;
        }
        bool ok = lf_transfer(handle, url, file.get());
        // A failed close loses buffered bytes: the file is then incomplete.
        if (std::fclose(file.release()) != 0 && ok) {
            gf_log(fmt::format("Download error: '{}' for {}", "could not write the file", url));
            ok = false;
        }
        if (!ok) {
            lf_removeQuietly(part);
            return false;
        }
        if (const std::error_code ec = gf_replaceByRename(part, output)) {
            throw std::filesystem::filesystem_error("rename", part, output, ec);
        }
        return true;
    } catch (const std::exception& e) {
        gf_log(fmt::format("Downloader exception: '{}', {} => {}", e.what(), url, output.string()));
        lf_removeQuietly(part);
        return false;
    }
}

bool gf_downloadFromSite(const std::filesystem::path& name, const std::filesystem::path& output)
{
    const std::string url =
        fmt::format("{}{}/{}", gf_downloadBaseUrl(), g_programVersion.major, name.string());
    const std::unique_ptr<CURL, CurlCleanup> handle(curl_easy_init());
    if (gf_download(handle.get(), url, output, true)) {
        gf_log(fmt::format("Downloaded '{}' to '{}'", url, output.string()));
        return true;
    }
    gf_logHighlighted(fmt::format("Downloading '{}' failed !", url));
    return false;
}

}  // namespace qel
