// Flushing to the disk through fsync on a descriptor opened for the purpose; removing through
// std::filesystem; appending through write(2).
#include "platform/disk.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace qel::platform {
namespace {

std::mutex g_syncObserverMutex;  // guards g_syncObserver; a leaf lock
std::function<void(const std::filesystem::path&, bool)> g_syncObserver;
std::mutex g_removalHookMutex;  // guards g_removalHook; a leaf lock
std::function<std::error_code(const std::filesystem::path&)> g_removalHook;

void lf_observe(const std::filesystem::path& path, bool folder)
{
    std::function<void(const std::filesystem::path&, bool)> observer;
    {
        std::scoped_lock lock(g_syncObserverMutex);
        observer = g_syncObserver;
    }
    if (observer) observer(path, folder);
}

bool lf_sync(const std::filesystem::path& path, int flags)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    int result = -1;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    const bool closed = ::close(fd) == 0;
    return result == 0 && closed;
}

}  // namespace

bool syncFile(const std::filesystem::path& path)
{
    lf_observe(path, false);
    return lf_sync(path, 0);
}

bool syncFolder(const std::filesystem::path& folder)
{
    lf_observe(folder, true);
    return lf_sync(folder.empty() ? std::filesystem::path(".") : folder, O_DIRECTORY);
}

void observeSyncs(std::function<void(const std::filesystem::path&, bool folder)> observer)
{
    std::scoped_lock lock(g_syncObserverMutex);
    g_syncObserver = std::move(observer);
}

std::error_code removeAll(const std::filesystem::path& path)
{
    std::function<std::error_code(const std::filesystem::path&)> hook;
    {
        std::scoped_lock lock(g_removalHookMutex);
        hook = g_removalHook;
    }
    std::error_code ec;
    if (hook) ec = hook(path);
    if (!ec) std::filesystem::remove_all(path, ec);
    return ec;
}

void failRemovals(std::function<std::error_code(const std::filesystem::path&)> hook)
{
    std::scoped_lock lock(g_removalHookMutex);
    g_removalHook = std::move(hook);
}

bool AppendFile::open(const std::filesystem::path& path)
{
    close();
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    fd_ = fd;
    return fd >= 0;
}

void AppendFile::close()
{
    const int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
}

bool AppendFile::write(std::string_view bytes) const noexcept
{
    const int fd = fd_.load();
    if (fd < 0) return false;
    const int savedErrno = errno;
    bool ok = true;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            ok = false;
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    errno = savedErrno;
    return ok;
}

void pauseInSignalHandler(int milliseconds) noexcept
{
    const int savedErrno = errno;
    ::poll(nullptr, 0, milliseconds);
    errno = savedErrno;
}

}  // namespace qel::platform
