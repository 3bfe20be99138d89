// Process-level services: single instance through flock, elevation, the write probe, opening
// files with xdg-open, and error texts.
//
// Threads: shellOpen starts one detached "reaper" thread per opener it spawns. It only waits
// for that child with waitpid so no zombie is left, takes no lock, and ends when the child ends.
// Each thread that asks for an alternate signal stack owns it, thread-local, until it ends.
#include "platform/process.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

extern char** environ;

namespace qel::platform {
namespace {

// -1 when not overridden, else 0 or 1; atomic because any thread may ask.
std::atomic<int> g_elevatedOverride{-1};
std::atomic<int> g_terminalOverride{-1};  // as g_elevatedOverride, for standard error

// The crash write's frames and those of the disposition it hands the signal on to (a
// sanitizer's report) fit several times over.
constexpr std::size_t kSignalStackBytes = std::size_t{64} * 1024;

// A thread's alternate signal stack, below a page nobody may touch, so that a handler that
// overran it would fault rather than write over other memory.
class SignalStack {
public:
    SignalStack() = default;
    SignalStack(const SignalStack&) = delete;
    SignalStack& operator=(const SignalStack&) = delete;
    ~SignalStack()
    {
        if (memory_ == nullptr) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        if (::sigaltstack(&off, nullptr) == 0) ::munmap(memory_, bytes_);
    }
    void install()
    {
        stack_t current{};
        if (memory_ != nullptr || ::sigaltstack(nullptr, &current) != 0 ||
            (current.ss_flags & SS_DISABLE) == 0) {
            return;
        }
        const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        const std::size_t bytes = page + kSignalStackBytes;
        void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (memory == MAP_FAILED) return;
        stack_t stack{};
        stack.ss_sp = static_cast<char*>(memory) + page;
        stack.ss_size = kSignalStackBytes;
        if (::mprotect(memory, page, PROT_NONE) != 0 || ::sigaltstack(&stack, nullptr) != 0) {
            ::munmap(memory, bytes);
            return;
        }
        memory_ = memory;
        bytes_ = bytes;
    }

private:
    void* memory_ = nullptr;
    std::size_t bytes_ = 0;
};
thread_local SignalStack t_signalStack;

std::mutex g_shellRecorderMutex;  // guards g_shellRecorder; a leaf lock
std::function<bool(const std::filesystem::path&)> g_shellRecorder;

// Keeps letters, digits, '.', '-' and '_'; everything else (the '\' and '$' of "Local\$VNTQ$"
// above all) would make a path separator or a shell-hostile name.
std::string lf_safeFileName(std::string_view name)
{
    std::string out;
    out.reserve(name.size() + 5);
    for (char c : name) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        out.push_back(safe ? c : '_');
    }
    return out + ".lock";
}

// A folder only this user can write to, made 0700 when missing. Refused when it is a symlink,
// another user's, or open to others: another user could hold the lock file there and keep
// every start from running.
bool lf_privateFolder(const std::filesystem::path& folder)
{
    ::mkdir(folder.c_str(), 0700);  // an existing one is checked like a new one
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// The folders the lock may go in, in their order: $XDG_RUNTIME_DIR (the user's own by
// definition), "vntq-<uid>" in the temp folder, ~/.cache/vntq. Nothing for one that is not set
// or not private; the later ones are made only when asked for.
constexpr int kLockFolderChoices = 3;
std::optional<std::filesystem::path> lf_lockFolder(int choice)
{
    if (choice == 0) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime != nullptr && runtime[0] == '/') return std::filesystem::path(runtime);
        return std::nullopt;
    }
    if (choice == 1) {
        std::error_code ec;
        const auto temp = std::filesystem::temp_directory_path(ec);
        const std::string own = "vntq-" + std::to_string(::getuid());
        if (!ec && lf_privateFolder(temp / own)) return temp / own;
        return std::nullopt;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return std::nullopt;
    const std::filesystem::path cache = std::filesystem::path(home) / ".cache";
    ::mkdir(cache.c_str(), 0700);
    if (lf_privateFolder(cache / "vntq")) return cache / "vntq";
    return std::nullopt;
}

int lf_flockRetrying(int fd, int operation)
{
    int result = 0;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

// Creates the probe file exclusively, so an attacker's symlink is never followed and never
// written through; a stale probe left by a crash is removed once and the creation retried.
int lf_createProbe(const std::filesystem::path& path)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST || attempt > 0) return fd;
        if (::unlink(path.c_str()) != 0) return -1;
    }
    return -1;
}

// Both strerror_r variants: the GNU one returns the text, the POSIX one fills the buffer.
[[maybe_unused]] std::string lf_errorText(char* result, const char* /*buffer*/) { return result; }

[[maybe_unused]] std::string lf_errorText(int result, const char* buffer)
{
    return result == 0 ? std::string(buffer) : std::string();
}

// Starts xdg-open with standard input from /dev/null, an empty signal mask (the calling
// thread may block signals the opener needs) and SIGPIPE's default action, which exec keeps
// ignored otherwise: the opener's shell pipelines end their writers by it. Returns the
// child's id, or -1.
pid_t lf_spawnOpener(const std::string& path)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    sigset_t emptyMask;
    sigemptyset(&emptyMask);
    posix_spawnattr_setsigmask(&attributes, &emptyMask);
    sigset_t defaulted;
    sigemptyset(&defaulted);
    sigaddset(&defaulted, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaulted);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string program = "xdg-open";
    std::string argument = path;
    std::array<char*, 3> argv{program.data(), argument.data(), nullptr};
    pid_t pid = -1;
    const int error =
        posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

void lf_reap(pid_t pid)
{
    useSignalStack();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

SingleInstanceLock::SingleInstanceLock(std::string_view name)
{
    // A runtime folder that is gone or not writable (after `su` or `sudo -E` it is often
    // another user's) passes the lock on to the next folder: skipped, it let a second start run
    // in the same program folder and write over the first one's files.
    for (int choice = 0; choice < kLockFolderChoices; ++choice) {
        const auto folder = lf_lockFolder(choice);
        if (!folder) continue;
        path_ = *folder / lf_safeFileName(name);
        // O_CLOEXEC keeps the lock out of children such as xdg-open, which would otherwise hold
        // it after this process ends and block the next start; O_NOFOLLOW refuses a symlink
        // planted in a shared temp folder.
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) continue;
        if (lf_flockRetrying(fd_, LOCK_EX | LOCK_NB) == 0) return;
        if (errno == EWOULDBLOCK) {
            alreadyExists_ = true;
            return;
        }
        ::close(fd_);
        fd_ = -1;
    }
    path_.clear();
}

SingleInstanceLock::~SingleInstanceLock()
{
    // The file stays: removing it would let a third process lock a new file while a second
    // still holds the old one.
    if (fd_ >= 0) ::close(fd_);
}

bool isElevated()
{
    const int forced = g_elevatedOverride.load();
    if (forced >= 0) return forced == 1;
    return ::geteuid() == 0;
}

void overrideElevated(std::optional<bool> elevated)
{
    g_elevatedOverride.store(elevated ? (*elevated ? 1 : 0) : -1);
}

bool probeWriteAccess(const std::filesystem::path& folder, std::string_view probeName)
{
    const auto path = folder / probeName;
    const int fd = lf_createProbe(path);
    if (fd < 0) return false;
    const char byte = 0;
    ssize_t written = -1;
    do {
        written = ::write(fd, &byte, 1);
    } while (written < 0 && errno == EINTR);
    const bool closed = ::close(fd) == 0;
    const bool removed = ::unlink(path.c_str()) == 0;
    return written == 1 && closed && removed;
}

bool shellOpen(const std::filesystem::path& absolutePath)
{
    std::function<bool(const std::filesystem::path&)> recorder;
    {
        std::scoped_lock lock(g_shellRecorderMutex);
        recorder = g_shellRecorder;
    }
    if (recorder) return recorder(absolutePath);

    // A relative name starting with '-' would be read as an option by xdg-open.
    std::error_code ec;
    auto path = std::filesystem::absolute(absolutePath, ec);
    if (ec) return false;
    const pid_t pid = lf_spawnOpener(path.string());
    if (pid < 0) return false;
    try {
        std::thread(lf_reap, pid).detach();
    } catch (const std::system_error&) {
        // Without a thread the child stays a zombie until this process ends; it was started.
    }
    return true;
}

void setShellRecorder(std::function<bool(const std::filesystem::path&)> recorder)
{
    std::scoped_lock lock(g_shellRecorderMutex);
    g_shellRecorder = std::move(recorder);
}

std::string systemErrorText(int errorNumber)
{
    std::array<char, 256> buffer{};
    return lf_errorText(strerror_r(errorNumber, buffer.data(), buffer.size()), buffer.data());
}

bool standardErrorIsTerminal()
{
    const int forced = g_terminalOverride.load();
    if (forced >= 0) return forced == 1;
    return ::isatty(STDERR_FILENO) == 1;
}

void overrideStandardErrorIsTerminal(std::optional<bool> terminal)
{
    g_terminalOverride.store(terminal ? (*terminal ? 1 : 0) : -1);
}

void setThreadName(std::string_view name)
{
    constexpr std::size_t kMaxName = 15;  // bytes, without the terminator
    const std::string kept(name.substr(0, kMaxName));
    pthread_setname_np(pthread_self(), kept.c_str());
}

void useSignalStack() { t_signalStack.install(); }

std::string threadName()
{
    std::array<char, 16> name{};
    if (pthread_getname_np(pthread_self(), name.data(), name.size()) != 0) return {};
    return name.data();
}

}  // namespace qel::platform
