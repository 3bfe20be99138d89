#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "foundation/decrypt.h"
#include "foundation/log.h"
#include "support/sealed_text.h"

namespace qel::test {

TempDir::TempDir()
{
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("vntq-test-" + std::to_string(device()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("TempDir: no free name");
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

CapturedLog::CapturedLog() : path_(dir_ / "Log.txt") { gf_openLog(path_); }

CapturedLog::~CapturedLog() { gf_closeLog(); }

std::vector<std::string> CapturedLog::lines()
{
    gf_flushLog();
    std::ifstream in(path_, std::ios::binary);
    std::vector<std::string> result;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (header) {
            header = false;
            continue;
        }
        result.push_back(line);
    }
    return result;
}

bool CapturedLog::contains(const std::string& line)
{
    for (const auto& l : lines()) {
        if (l == line) return true;
    }
    return false;
}

ScopedWorkDir::ScopedWorkDir() : previous_(std::filesystem::current_path())
{
    std::filesystem::current_path(dir_.path());
    std::filesystem::create_directory("input");
}

ScopedWorkDir::~ScopedWorkDir() { std::filesystem::current_path(previous_); }

void writeEncrypted(const std::filesystem::path& path, const std::string& plain)
{
    writeFile(path, sealedText(plain, g_dataFileKey.data()));
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool awaitText(const std::filesystem::path& folder, const std::string& file,
               const std::string& text)
{
    const int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0) return false;
    inotify_add_watch(fd, folder.c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE);
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    bool found = false;
    while (!(found = readFile(folder / file).find(text) != std::string::npos)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd watched{fd, POLLIN, 0};
        if (poll(&watched, 1, static_cast<int>(left.count())) <= 0) break;
        char events[4096];
        while (read(fd, events, sizeof events) > 0) {
        }
    }
    close(fd);
    return found;
}

std::optional<std::string> savedParameter(const std::filesystem::path& file,
                                          const std::string& key)
{
    const std::string text = readFile(file);
    const std::string start = "name=\"" + key + "\" value=\"";
    const auto at = text.find(start);
    if (at == std::string::npos) return std::nullopt;
    const auto from = at + start.size();
    return text.substr(from, text.find('"', from) - from);
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

VirtualDisplay::VirtualDisplay()
{
    const std::string server = "/usr/bin/Xvfb";
    int fds[2];
    if (!std::filesystem::exists(server) || pipe2(fds, O_CLOEXEC) != 0) return;
    const std::string fdText = std::to_string(fds[1]);
    pid_ = fork();
    if (pid_ == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet < 0 || dup2(quiet, STDOUT_FILENO) < 0 || dup2(quiet, STDERR_FILENO) < 0 ||
            fcntl(fds[1], F_SETFD, 0) != 0) {
            _exit(127);
        }
        execl(server.c_str(), "Xvfb", "-displayfd", fdText.c_str(), "-screen", "0", "1280x800x24",
              "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // The server writes its display's number once it takes clients; it ends the line.
    std::string number;
    char c = 0;
    pollfd written{fds[0], POLLIN, 0};
    while (poll(&written, 1, 60'000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
        number.push_back(c);
    }
    close(fds[0]);
    if (!number.empty() && c == '\n') name_ = ":" + number;
}

void VirtualDisplay::stop()
{
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace qel::test
