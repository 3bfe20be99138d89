// Values that a library's run struct holds besides plain ones. Each library keeps the state of
// one run in one struct and resets it by assigning a freshly built one, so a field added later
// is reset without anyone remembering it; a test compares the struct with a fresh one through
// its defaulted comparison. Atomics and locked texts cannot be copied or compared, so these
// wrappers copy and compare the value they hold.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

namespace qel {

// An atomic that copies and compares by its value. Every access stays atomic; a copy of a whole
// struct is not one atomic step, which is why a run struct is reset only while the threads that
// use it are stopped, or under the locks that guard it.
template <class T>
class RunAtomic : public std::atomic<T> {
public:
    constexpr RunAtomic() noexcept : std::atomic<T>(T{}) {}
    constexpr RunAtomic(T value) noexcept : std::atomic<T>(value) {}  // implicit, as atomic
    RunAtomic(const RunAtomic& other) noexcept : std::atomic<T>(other.load()) {}
    RunAtomic& operator=(const RunAtomic& other) noexcept
    {
        this->store(other.load());
        return *this;
    }
    using std::atomic<T>::operator=;
    bool operator==(const RunAtomic& other) const noexcept { return this->load() == other.load(); }
    bool operator==(const T& value) const noexcept { return this->load() == value; }
};

// A status text that other threads write while the painter reads it: every access is a copy
// under the text's own lock, a leaf lock. A copy gets a lock of its own.
class SharedText {
public:
    SharedText() = default;
    SharedText(const SharedText& other) : text_(other.get()) {}
    SharedText& operator=(const SharedText& other);
    bool operator==(const SharedText& other) const { return get() == other.get(); }

    void set(std::string text);
    std::string get() const;
    bool empty() const;

private:
    mutable std::mutex mutex_;
    std::string text_;
};

// A library's run back to a fresh one under every lock that guards a part of it. What the run
// held is destroyed after the locks are released: its containers may hold functions and large
// tables whose ends need not keep other threads waiting.
template <class Run, class... Mutexes>
void gf_resetRun(Run& run, Mutexes&... mutexes)
{
    Run old;
    {
        std::scoped_lock lock(mutexes...);
        old = std::exchange(run, Run{});
    }
}

// Whether the run equals a fresh one, read under the same locks as gf_resetRun; tests.
template <class Run, class... Mutexes>
bool gf_runFresh(const Run& run, Mutexes&... mutexes)
{
    std::scoped_lock lock(mutexes...);
    return run == Run{};
}

}  // namespace qel
