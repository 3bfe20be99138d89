// A stand-in for the product's download server on loopback: the files of a folder served at
// their relative paths, with a log of every request.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qel::standin {

// One request as the server saw it.
struct DownloadRequest {
    std::string path;  // "/downloads/versions.json"
    int status = 0;    // 200, 404, ...
};

// Serves GET /<relative path> from the folder `root` on 127.0.0.1, from construction to
// destruction: /downloads/11/airports.enc is root/downloads/11/airports.enc. A missing file, a
// folder and a path that leaves the root ("..") get 404. Every member may be called from any
// thread; the accessors copy.
class DownloadStandin {
public:
    using RequestListener = std::function<void(const DownloadRequest&)>;
    // `port` 0 takes any free port; `onRequest` runs on a server thread after each request.
    // Throws std::runtime_error when the port cannot be bound.
    explicit DownloadStandin(std::filesystem::path root, int port = 0,
                             RequestListener onRequest = {});
    ~DownloadStandin();
    DownloadStandin(const DownloadStandin&) = delete;
    DownloadStandin& operator=(const DownloadStandin&) = delete;

    int port() const;
    std::string url() const;           // "http://127.0.0.1:<port>"
    std::string downloadsUrl() const;  // url() + "/downloads/", what VNTQ_DOWNLOAD_URL takes
    const std::filesystem::path& root() const;

    std::vector<DownloadRequest> requests() const;
    void clearRequests();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qel::standin
