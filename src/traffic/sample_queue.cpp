// The sample queue's operations that move samples between the record and the spill vector.
//
// Threads: main-loop thread.
#include "traffic/sample_queue.h"

namespace qel {

void SampleQueue::push_back(const QueuedSample& sample)
{
    // A copy first: the sample may be one of this queue's own.
    const QueuedSample copy = sample;
    if (size_ < kInline) {
        inline_[size_] = copy;
    } else {
        spill_.push_back(copy);
    }
    ++size_;
}

void SampleQueue::pop_back()
{
    if (size_ > kInline) spill_.pop_back();
    --size_;
}

void SampleQueue::resize(std::size_t size)
{
    while (size_ > size) pop_back();
    while (size_ < size) push_back(QueuedSample{});
}

void SampleQueue::clear()
{
    size_ = 0;
    spill_.clear();
}

void SampleQueue::assign(std::initializer_list<QueuedSample> samples)
{
    clear();
    for (const QueuedSample& sample : samples) push_back(sample);
}

void SampleQueue::insertAt(std::size_t i, const QueuedSample& sample)
{
    const QueuedSample copy = sample;
    if (i == size_) {
        push_back(copy);
        return;
    }
    // The last sample moves up one place, then each from the back down to i.
    push_back(back());
    for (std::size_t k = size_ - 2; k > i; --k) (*this)[k] = (*this)[k - 1];
    (*this)[i] = copy;
}

void SampleQueue::eraseAt(std::size_t i, std::size_t count)
{
    if (count == 0) return;
    for (std::size_t k = i; k + count < size_; ++k) (*this)[k] = (*this)[k + count];
    const std::size_t kept = size_ - count;
    if (kept < kInline) {
        spill_.clear();
    } else {
        spill_.resize(kept - kInline);
    }
    size_ = kept;
}

}  // namespace qel
