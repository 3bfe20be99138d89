// A bounds-checked, read-only view of a BGL file's bytes: every read is checked against the
// view (the file, or one section, record or entry of it) with 64-bit offsets, and a read that
// would leave it throws BglFormatError instead of reading past the end.
//
// Threads: a view only reads the bytes it was given; any number of threads may read one.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

namespace qel {

// The file breaks the BGL layout; the scan reports it once for the file and goes on.
class BglFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class BglView {
public:
    explicit BglView(std::span<const uint8_t> bytes, uint64_t fileOffset = 0)
        : bytes_(bytes), fileOffset_(fileOffset)
    {
    }

    uint64_t size() const { return bytes_.size(); }
    uint64_t fileOffset() const { return fileOffset_; }  // where the view starts in the file

    uint8_t u8(uint64_t offset) const { return bytes_[check(offset, 1)]; }
    uint16_t u16(uint64_t offset) const { return load<uint16_t>(offset); }
    uint32_t u32(uint64_t offset) const { return load<uint32_t>(offset); }
    int32_t i32(uint64_t offset) const { return static_cast<int32_t>(load<uint32_t>(offset)); }
    float f32(uint64_t offset) const { return std::bit_cast<float>(load<uint32_t>(offset)); }

    // The `length` bytes from `offset`, which must lie inside this view.
    BglView sub(uint64_t offset, uint64_t length, const char* what) const
    {
        if (offset > size() || size() - offset < length) {
            throw BglFormatError(fmt::format("{} of {} bytes at byte {} runs past its end at {}",
                                             what, length, fileOffset_ + offset,
                                             fileOffset_ + size()));
        }
        return BglView(bytes_.subspan(offset, length), fileOffset_ + offset);
    }

private:
    // The index of the first byte; throws when [offset, offset + length) leaves the view.
    std::size_t check(uint64_t offset, uint64_t length) const
    {
        if (offset > size() || size() - offset < length) {
            throw BglFormatError(fmt::format("read of {} bytes at byte {} past the end at {}",
                                             length, fileOffset_ + offset, fileOffset_ + size()));
        }
        return static_cast<std::size_t>(offset);
    }

    // BGL files are little-endian, as is every machine this builds for.
    template <typename T>
    T load(uint64_t offset) const
    {
        static_assert(std::endian::native == std::endian::little);
        T value;
        std::memcpy(&value, bytes_.data() + check(offset, sizeof(T)), sizeof(T));
        return value;
    }

    std::span<const uint8_t> bytes_;
    uint64_t fileOffset_;
};

}  // namespace qel
