// Downloads from a loopback HTTP server: a good body replaces the file, a failed one keeps it.
#include "foundation/download.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include "foundation/log.h"
#include "support/test_support.h"

namespace qel {
namespace {

const std::string servedBody("line 1\nline 2\r\n\0binary\xff", 24);

// An HTTP server on 127.0.0.1 on a free port, serving on its own thread until destroyed.
class LoopbackServer {
public:
    LoopbackServer()
    {
        server_.Get("/file.bin", [this](const httplib::Request& req, httplib::Response& res) {
            record(req);
            res.set_content(servedBody, "application/octet-stream");
        });
        server_.Get("/downloads/11/versions.json",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        record(req);
                        res.set_content(R"({"major":11,"minor":15,"patch":0})",
                                        "application/json");
                    });
        // Promises 100000 bytes, sends a few and drops the connection.
        server_.Get("/dropped", [this](const httplib::Request& req, httplib::Response& res) {
            record(req);
            res.set_content_provider(100000, "application/octet-stream",
                                     [](size_t, size_t, httplib::DataSink& sink) {
                                         sink.write("partial", 7);
                                         return false;
                                     });
        });
        server_.set_error_handler([this](const httplib::Request& req, httplib::Response& res) {
            record(req);
            res.set_content("not here", "text/plain");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() is only heard once the server runs; the socket already listens, so this
        // wait is short and needs no clock.
        while (!server_.is_running()) std::this_thread::yield();
    }
    ~LoopbackServer()
    {
        server_.stop();
        thread_.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<std::string> userAgents()
    {
        std::scoped_lock lock(mutex_);
        return userAgents_;
    }

private:
    void record(const httplib::Request& req)
    {
        std::scoped_lock lock(mutex_);
        userAgents_.push_back(req.get_header_value("User-Agent"));
    }

    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;  // guards userAgents_
    std::vector<std::string> userAgents_;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv()
    {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class Download : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(handle_, nullptr);
        curl_easy_setopt(handle_, CURLOPT_NOPROXY, "*");
    }
    void TearDown() override { curl_easy_cleanup(handle_); }

    std::vector<std::filesystem::path> filesInDir()
    {
        std::vector<std::filesystem::path> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
            names.push_back(entry.path().filename());
        }
        return names;
    }

    test::CapturedLog log_;
    test::TempDir dir_;
    LoopbackServer server_;
    CURL* handle_ = curl_easy_init();
    std::filesystem::path output_ = dir_ / "file.bin";
    ScopedEnv noProxy_{"no_proxy", "127.0.0.1"};
};

TEST_F(Download, GoodBodyReplacesTheFileInBothModes)
{
    for (const bool binary : {true, false}) {
        SCOPED_TRACE(binary ? "binary" : "text");
        test::writeFile(output_, "an older file");
        EXPECT_TRUE(gf_download(handle_, server_.url("/file.bin"), output_, binary));
        EXPECT_EQ(test::readFile(output_), servedBody);
        EXPECT_EQ(filesInDir(), std::vector<std::filesystem::path>{"file.bin"});
    }
    EXPECT_EQ(server_.userAgents(), (std::vector<std::string>{"VNTQ", "VNTQ"}));
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(Download, FailedTransferKeepsTheOldFile)
{
    const std::string notFound = server_.url("/missing");
    const std::string dropped = server_.url("/dropped");
    for (const auto& url : {notFound, dropped}) {
        SCOPED_TRACE(url);
        test::writeFile(output_, "an older file");
        EXPECT_FALSE(gf_download(handle_, url, output_, true));
        EXPECT_EQ(test::readFile(output_), "an older file");
        EXPECT_EQ(filesInDir(), std::vector<std::filesystem::path>{"file.bin"});
    }
    const auto lines = log_.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Download error: 'HTTP response code said error' for " + notFound);
    EXPECT_TRUE(lines[1].starts_with("Download error: '")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("' for " + dropped)) << lines[1];

    // Without an older file nothing is left behind either.
    std::filesystem::remove(output_);
    EXPECT_FALSE(gf_download(handle_, dropped, output_, true));
    EXPECT_TRUE(filesInDir().empty());
}

// A server that accepts one connection and never answers; once it holds the connection it
// raises the flag, as the window's close or SIGINT would during the transfer.
class StalledServer {
public:
    explicit StalledServer(std::atomic<bool>& flag) : flag_(flag)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            connection_ = ::accept(listener_, nullptr, nullptr);
            flag_ = true;
        });
    }
    ~StalledServer()
    {
        thread_.join();
        ::close(connection_);
        ::close(listener_);
    }
    StalledServer(const StalledServer&) = delete;
    StalledServer& operator=(const StalledServer&) = delete;
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/x"; }

private:
    std::atomic<bool>& flag_;
    int listener_ = -1;
    int connection_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST_F(Download, StopOrCloseAbortsAStalledTransfer)
{
    for (auto* flag : {&g_stopRequested, &g_closeRequested}) {
        test::writeFile(output_, "an older file");
        {
            StalledServer stalled(*flag);
            EXPECT_FALSE(gf_download(handle_, stalled.url(), output_, true));
        }
        *flag = false;
        EXPECT_EQ(test::readFile(output_), "an older file");
        EXPECT_EQ(filesInDir(), std::vector<std::filesystem::path>{"file.bin"});
    }
    EXPECT_TRUE(log_.lines().back().starts_with(
        "Download error: 'Operation was aborted by an application callback' for http://"));
}

TEST_F(Download, UnwritableOutputSendsNoRequest)
{
    const auto unreachable = dir_ / "no such folder" / "file.bin";
    EXPECT_FALSE(gf_download(handle_, server_.url("/file.bin"), unreachable, true));
    EXPECT_FALSE(gf_download(nullptr, server_.url("/file.bin"), output_, true));
    EXPECT_TRUE(server_.userAgents().empty());
    EXPECT_EQ(log_.lines(),
              std::vector<std::string>{"Could not open output file: " + unreachable.string()});
    EXPECT_TRUE(filesInDir().empty());
}

TEST_F(Download, FromSiteFetchesFromTheMajorVersionFolder)
{
    const ScopedEnv base("VNTQ_DOWNLOAD_URL", server_.url("/downloads"));
    EXPECT_EQ(gf_downloadBaseUrl(), server_.url("/downloads/"));
    const auto versions = dir_ / "versions.json";
    EXPECT_TRUE(gf_downloadFromSite("versions.json", versions));
    EXPECT_EQ(test::readFile(versions), R"({"major":11,"minor":15,"patch":0})");

    EXPECT_FALSE(gf_downloadFromSite("nothing.json", dir_ / "nothing.json"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "nothing.json"));

    const std::string good = server_.url("/downloads/11/versions.json");
    const std::string bad = server_.url("/downloads/11/nothing.json");
    const std::vector<std::string> expected = {
        "Downloaded '" + good + "' to '" + versions.string() + "'",
        "Download error: 'HTTP response code said error' for " + bad,
        "==> Downloading '" + bad + "' failed !",
    };
    EXPECT_EQ(log_.lines(), expected);
}

TEST(DownloadBaseUrl, DefaultEndsInTheDownloadsFolder)
{
    const ScopedEnv base("VNTQ_DOWNLOAD_URL", std::nullopt);
    EXPECT_TRUE(gf_downloadBaseUrl().ends_with("/downloads/"));
    const ScopedEnv empty("VNTQ_DOWNLOAD_URL", "");
    EXPECT_TRUE(gf_downloadBaseUrl().ends_with("/downloads/"));
}

}  // namespace
}  // namespace qel
