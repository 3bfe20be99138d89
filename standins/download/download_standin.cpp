// The download server stand-in: cpp-httplib serving a folder on loopback.
//
// Threads: "listen" runs the server's accept loop; httplib's worker threads answer requests
// and append to the request log under Impl::mutex (a leaf lock). The destructor stops the
// server and joins "listen".
#include "standins/download/download_standin.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <fmt/format.h>
#include <httplib.h>

#include "standins/port_options.h"

namespace qel::standin {

namespace {

// The file below `root` that `requestPath` names; nothing for a path that climbs out of the
// root or names no regular file.
std::optional<std::filesystem::path> lf_servedFile(const std::filesystem::path& root,
                                                   const std::string& requestPath)
{
    const std::filesystem::path relative = std::filesystem::path(requestPath).relative_path();
    if (relative.empty()) return std::nullopt;
    for (const auto& part : relative) {
        if (part == "..") return std::nullopt;
    }
    const std::filesystem::path file = root / relative;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    return file;
}

std::optional<std::string> lf_readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return bytes;
}

}  // namespace

struct DownloadStandin::Impl {
    Impl(std::filesystem::path folder, RequestListener requestListener)
        : root(std::move(folder)), onRequest(std::move(requestListener))
    {
    }

    void answer(const httplib::Request& request, httplib::Response& response)
    {
        const auto file = lf_servedFile(root, request.path);
        const auto bytes = file ? lf_readBytes(*file) : std::nullopt;
        if (bytes) {
            const bool json = file->extension() == ".json";
            response.set_content(*bytes, json ? "application/json" : "application/octet-stream");
            response.status = 200;
        } else {
            response.set_content("not found", "text/plain");
            response.status = 404;
        }
        const DownloadRequest logged{request.path, response.status};
        {
            std::scoped_lock lock(mutex);
            log.push_back(logged);
        }
        if (onRequest) onRequest(logged);
    }

    const std::filesystem::path root;
    const RequestListener onRequest;
    httplib::Server server;
    std::thread listener;
    int port = 0;
    mutable std::mutex mutex;  // guards log
    std::vector<DownloadRequest> log;
};

DownloadStandin::DownloadStandin(std::filesystem::path root, int port,
                                 RequestListener onRequest)
    : impl_(std::make_unique<Impl>(std::move(root), std::move(onRequest)))
{
    auto& server = impl_->server;
    server.Get(R"(/.*)", [impl = impl_.get()](const httplib::Request& request,
                                             httplib::Response& response) {
        impl->answer(request, response);
    });
    server.set_socket_options(exclusivePortOptions);
    errno = 0;
    if (port == 0) {
        impl_->port = server.bind_to_any_port("127.0.0.1");
    } else if (server.bind_to_port("127.0.0.1", port)) {
        impl_->port = port;
    } else {
        impl_->port = -1;
    }
    if (impl_->port <= 0) {
        throw std::runtime_error(
            fmt::format("download stand-in: cannot listen on 127.0.0.1:{}{}", port, bindFailure()));
    }
    impl_->listener = std::thread([impl = impl_.get()] { impl->server.listen_after_bind(); });
    // stop() is only heard once the server runs; the socket already listens, so the wait is
    // short.
    while (!server.is_running()) std::this_thread::yield();
}

DownloadStandin::~DownloadStandin()
{
    impl_->server.stop();
    if (impl_->listener.joinable()) impl_->listener.join();
}

int DownloadStandin::port() const { return impl_->port; }

std::string DownloadStandin::url() const { return fmt::format("http://127.0.0.1:{}", port()); }

std::string DownloadStandin::downloadsUrl() const { return url() + "/downloads/"; }

const std::filesystem::path& DownloadStandin::root() const { return impl_->root; }

std::vector<DownloadRequest> DownloadStandin::requests() const
{
    std::scoped_lock lock(impl_->mutex);
    return impl_->log;
}

void DownloadStandin::clearRequests()
{
    std::scoped_lock lock(impl_->mutex);
    impl_->log.clear();
}

}  // namespace qel::standin
