// Zip archives through libzip: the entries of a downloaded archive and their contents, and new
// archives written from files or bytes.
//
// Threads: an archive and its entries belong to the thread that opened it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct zip zip_t;

namespace qel {

class ZipArchive;

// Bytes deflated ahead of the archive, on any thread, which an archive takes as they are: many
// entries are then compressed in parallel and the archive only copies them.
struct DeflatedBytes {
    std::string data;   // a raw deflate stream
    uint32_t crc = 0;   // CRC-32 of the plain bytes
    uint64_t size = 0;  // of the plain bytes
};
// `bytes` deflated at `level` (1 fastest to 9 smallest); nothing when zlib fails. Any thread.
std::optional<DeflatedBytes> gf_deflate(std::string_view bytes, int level);

// One entry of an open archive; valid while the archive stays open.
class ZipEntry {
public:
    static constexpr int kWriteError = 6;  // libzip's ZIP_ER_WRITE: the output failed

    const std::string& getName() const { return name_; }  // "sub/LFPG.xml", UTF-8
    bool isDirectory() const;                             // the name ends in '/'
    bool isFile() const { return !isDirectory(); }
    uint64_t getSize() const { return size_; }  // bytes once unpacked

    // Writes the unpacked content into `out` in chunks of `chunkSize` bytes. 0 on success, else
    // a libzip error code: the archive's own (a damaged entry, a CRC mismatch) or kWriteError
    // when `out` failed.
    int readContent(std::ostream& out, std::size_t chunkSize = 0x80000) const;
    // The whole content; nothing when it cannot be read.
    std::optional<std::string> readAsString() const;

private:
    friend class ZipArchive;
    ZipEntry(zip_t* archive, uint64_t index, std::string name, uint64_t size)
        : archive_(archive), index_(index), name_(std::move(name)), size_(size)
    {
    }

    zip_t* archive_;
    uint64_t index_;
    std::string name_;
    uint64_t size_;
};

class ZipArchive {
public:
    enum class OpenMode {
        ReadOnly,  // an existing archive
        New,       // a new archive replacing any file of the name, written by close()
    };

    explicit ZipArchive(std::filesystem::path path);
    ~ZipArchive();  // discards what close() did not write
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // False when the file cannot be opened as an archive (or created, for New).
    bool open(OpenMode mode);
    bool isOpen() const { return archive_ != nullptr; }
    const std::filesystem::path& getPath() const { return path_; }
    // The libzip text of the last failure of open, add or close: "Not a zip archive".
    const std::string& lastError() const { return lastError_; }

    // The entries in the archive's order; empty when it is not open.
    std::vector<ZipEntry> getEntries() const;

    // New archives: an entry named `name` (forward slashes) with the file's or the bytes'
    // content, replacing one of that name. The file is read when the archive is closed.
    bool addFile(const std::string& name, const std::filesystem::path& source);
    bool addData(const std::string& name, const std::string& bytes);
    // The same, deflated at `level` (1 fastest to 9 smallest) instead of libzip's default.
    bool addData(const std::string& name, const std::string& bytes, int level);

    // New archives: an entry named `name` holding the bytes `deflated` was made from, copied
    // into the archive without compressing them again. The archive keeps `deflated` until
    // it is closed.
    bool addDeflated(const std::string& name, std::shared_ptr<const DeflatedBytes> deflated);

    // Writes a new archive and closes; false when writing failed, which leaves no archive.
    bool close();

private:
    bool fail(const std::string& text);

    std::filesystem::path path_;
    zip_t* archive_ = nullptr;
    std::string lastError_;
};

}  // namespace qel
