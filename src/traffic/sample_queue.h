// The timed samples of one live flight, oldest first, as a double-ended queue of the few
// operations the motion code uses. The first samples lie inside the aircraft record, the front
// always in the first slot: the 10 ms step reads the front's due tick on every tick, and so
// finds it beside the record's other hot fields at a fixed place, with no second memory access
// to learn where it is. The samples beyond them wait in a spill vector, read only when a leg
// starts or a report is appended. Nothing is ever dropped for room: the queue holds as many
// samples as it is given, as the deque before it did.
//
// Threads: main-loop thread, as the records.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <type_traits>
#include <vector>

#include "realtraffic/realtraffic.h"

namespace qel {

// One sample of a live flight's queue: the reported position and its due tick, with the marks
// the traffic manager puts on it. A reported one enters the queue unmarked.
struct QueuedSample : PosSample {
    QueuedSample() = default;
    QueuedSample(const PosSample& reported, int32_t due) : PosSample(reported), dueTick(due) {}
    // Fast tick at which the aircraft is to stand on it: the intake stamps a report's from its
    // report time, and the schedule moves it from then on: 51230.
    int32_t dueTick = 0;
    // Ticks the schedule put the due tick back by, so that it falls no earlier than the
    // sample's before it in the queue; it was reported due that much earlier: 120.
    int32_t putBack_ticks = 0;
    bool stationary = false;  // repeats the position before it: the aircraft stands still
    bool reckoned = false;    // laid by dead reckoning, not reported
    bool operator==(const QueuedSample&) const = default;
};

// The most samples the intake lets one flight queue: more, and its aircraft is removed, as its
// legs no longer keep up with its reports. The reports a push-back keeps aside are bounded alike.
inline constexpr std::size_t kMaxQueued = 200;

class SampleQueue {
    template <bool Const>
    class Iterator;

public:
    // The per-tick step reads the front alone and a leg start the first three; the later ones
    // are read only when a report is appended to them.
    static constexpr std::size_t kInline = 4;

    using value_type = QueuedSample;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    using reference = QueuedSample&;
    using const_reference = const QueuedSample&;
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    SampleQueue() = default;
    SampleQueue(std::initializer_list<QueuedSample> samples) { assign(samples); }
    SampleQueue& operator=(std::initializer_list<QueuedSample> samples)
    {
        assign(samples);
        return *this;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    QueuedSample& operator[](std::size_t i)
    {
        return i < kInline ? inline_[i] : spill_[i - kInline];
    }
    const QueuedSample& operator[](std::size_t i) const
    {
        return i < kInline ? inline_[i] : spill_[i - kInline];
    }
    QueuedSample& front() { return inline_[0]; }
    const QueuedSample& front() const { return inline_[0]; }
    QueuedSample& back() { return (*this)[size_ - 1]; }
    const QueuedSample& back() const { return (*this)[size_ - 1]; }

    iterator begin() { return {this, 0}; }
    iterator end() { return {this, size_}; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size_}; }
    friend bool operator==(const SampleQueue& a, const SampleQueue& b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }

    void push_back(const QueuedSample& sample);
    void push_front(const QueuedSample& sample) { insertAt(0, sample); }
    void pop_front() { eraseAt(0, 1); }
    void pop_back();
    iterator insert(const_iterator at, const QueuedSample& sample)
    {
        insertAt(at.index_, sample);
        return {this, at.index_};
    }
    iterator erase(const_iterator at) { return erase(at, at + 1); }
    iterator erase(const_iterator first, const_iterator last)
    {
        eraseAt(first.index_, last.index_ - first.index_);
        return {this, first.index_};
    }
    // Shrinks from the back, or grows with default samples.
    void resize(std::size_t size);
    void clear();

private:
    void assign(std::initializer_list<QueuedSample> samples);
    void insertAt(std::size_t i, const QueuedSample& sample);
    void eraseAt(std::size_t i, std::size_t count);

    // Random access by index, so that an iterator stays valid across the spill's growth as
    // long as its element exists.
    template <bool Const>
    class Iterator {
        using Queue = std::conditional_t<Const, const SampleQueue, SampleQueue>;

    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = QueuedSample;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<Const, const QueuedSample*, QueuedSample*>;
        using reference = std::conditional_t<Const, const QueuedSample&, QueuedSample&>;

        Iterator() = default;
        Iterator(Queue* queue, std::size_t index) : queue_(queue), index_(index) {}
        // An iterator converts to its const form.
        operator Iterator<true>() const  // NOLINT(google-explicit-constructor)
            requires(!Const)
        {
            return {queue_, index_};
        }

        reference operator*() const { return (*queue_)[index_]; }
        pointer operator->() const { return &(*queue_)[index_]; }
        reference operator[](difference_type n) const { return *(*this + n); }
        Iterator& operator++()
        {
            ++index_;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator was = *this;
            ++index_;
            return was;
        }
        Iterator& operator--()
        {
            --index_;
            return *this;
        }
        Iterator operator--(int)
        {
            Iterator was = *this;
            --index_;
            return was;
        }
        Iterator& operator+=(difference_type n)
        {
            index_ = static_cast<std::size_t>(static_cast<difference_type>(index_) + n);
            return *this;
        }
        Iterator& operator-=(difference_type n) { return *this += -n; }
        friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
        friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
        friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const Iterator& a, const Iterator& b)
        {
            return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
        }
        friend bool operator==(const Iterator& a, const Iterator& b)
        {
            return a.index_ == b.index_;
        }
        friend auto operator<=>(const Iterator& a, const Iterator& b)
        {
            return a.index_ <=> b.index_;
        }

    private:
        friend class SampleQueue;
        Queue* queue_ = nullptr;
        std::size_t index_ = 0;
    };

    // The size first: the step asks whether the queue is empty right before it reads the front.
    std::size_t size_ = 0;
    std::array<QueuedSample, kInline> inline_{};
    std::vector<QueuedSample> spill_;  // samples kInline and later
};

}  // namespace qel
