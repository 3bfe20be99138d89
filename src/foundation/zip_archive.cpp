// Zip archives through libzip: reading entries in chunks, and writing new archives.
#include "foundation/zip_archive.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

#include <zip.h>
#include <zlib.h>

namespace qel {

static_assert(ZipEntry::kWriteError == ZIP_ER_WRITE);

namespace {

struct EntryCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using EntryPtr = std::unique_ptr<zip_file_t, EntryCloser>;

int lf_errorCode(zip_error_t* error)
{
    const int code = zip_error_code_zip(error);
    return code == ZIP_ER_OK ? ZIP_ER_INTERNAL : code;
}

std::string lf_errorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

// A libzip source over bytes deflated ahead: it states the deflate method, both sizes and the
// CRC, so libzip copies the stream into the archive as it is.
class DeflatedSource {
public:
    explicit DeflatedSource(std::shared_ptr<const DeflatedBytes> bytes) : bytes_(std::move(bytes))
    {
        zip_error_init(&error_);
    }
    ~DeflatedSource() { zip_error_fini(&error_); }
    DeflatedSource(const DeflatedSource&) = delete;
    DeflatedSource& operator=(const DeflatedSource&) = delete;

    static zip_int64_t callback(void* state, void* data, zip_uint64_t length,
                                zip_source_cmd_t command)
    {
        auto* self = static_cast<DeflatedSource*>(state);
        switch (command) {
        case ZIP_SOURCE_OPEN: self->position_ = 0; return 0;
        case ZIP_SOURCE_READ: return self->read(data, length);
        case ZIP_SOURCE_CLOSE: return 0;
        case ZIP_SOURCE_STAT: return self->describe(data, length);
        case ZIP_SOURCE_ERROR: return zip_error_to_data(&self->error_, data, length);
        case ZIP_SOURCE_FREE: delete self; return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default: zip_error_set(&self->error_, ZIP_ER_OPNOTSUPP, 0); return -1;
        }
    }

private:
    zip_int64_t read(void* data, zip_uint64_t length)
    {
        const std::string& bytes = bytes_->data;
        const std::size_t count = std::min<std::size_t>(length, bytes.size() - position_);
        std::memcpy(data, bytes.data() + position_, count);
        position_ += count;
        return static_cast<zip_int64_t>(count);
    }

    zip_int64_t describe(void* data, zip_uint64_t length)
    {
        if (length < sizeof(zip_stat_t)) {
            zip_error_set(&error_, ZIP_ER_INVAL, 0);
            return -1;
        }
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        stat->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC |
                      ZIP_STAT_ENCRYPTION_METHOD;
        stat->size = bytes_->size;
        stat->comp_size = bytes_->data.size();
        stat->comp_method = ZIP_CM_DEFLATE;
        stat->crc = bytes_->crc;
        stat->encryption_method = ZIP_EM_NONE;
        return sizeof(zip_stat_t);
    }

    std::shared_ptr<const DeflatedBytes> bytes_;
    std::size_t position_ = 0;
    zip_error_t error_;
};

}  // namespace

std::optional<DeflatedBytes> gf_deflate(std::string_view bytes, int level)
{
    // zlib counts in 32 bits; stand files are far smaller.
    if (bytes.size() > 0x7FFF0000u) return std::nullopt;
    const auto size = static_cast<uInt>(bytes.size());
    z_stream stream{};
    // Negative window bits: the raw stream a zip entry holds, without zlib's header.
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    DeflatedBytes deflated;
    deflated.size = bytes.size();
    deflated.crc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), size));
    deflated.data.resize(deflateBound(&stream, size));
    // zlib's interface takes no const input; it does not write to it.
    stream.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(bytes.data()));
    stream.avail_in = size;
    stream.next_out = reinterpret_cast<Bytef*>(deflated.data.data());
    stream.avail_out = static_cast<uInt>(deflated.data.size());
    const int result = deflate(&stream, Z_FINISH);
    deflated.data.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) return std::nullopt;
    return deflated;
}

bool ZipEntry::isDirectory() const { return !name_.empty() && name_.back() == '/'; }

int ZipEntry::readContent(std::ostream& out, std::size_t chunkSize) const
{
    if (chunkSize == 0) chunkSize = 0x80000;
    const EntryPtr file(zip_fopen_index(archive_, index_, 0));
    if (!file) return lf_errorCode(zip_get_error(archive_));
    std::vector<char> buffer(chunkSize);
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), buffer.data(), buffer.size());
        // libzip checks the CRC when the last byte has been read, so a damaged entry fails here
        // rather than passing as a shorter file.
        if (got < 0) return lf_errorCode(zip_file_get_error(file.get()));
        if (got == 0) break;
        out.write(buffer.data(), static_cast<std::streamsize>(got));
        if (!out) return ZIP_ER_WRITE;
    }
    out.flush();
    return out ? ZIP_ER_OK : ZIP_ER_WRITE;
}

std::optional<std::string> ZipEntry::readAsString() const
{
    std::ostringstream out;
    if (readContent(out) != ZIP_ER_OK) return std::nullopt;
    return std::move(out).str();
}

ZipArchive::ZipArchive(std::filesystem::path path) : path_(std::move(path)) {}

ZipArchive::~ZipArchive()
{
    if (archive_) zip_discard(archive_);
}

bool ZipArchive::fail(const std::string& text)
{
    lastError_ = text;
    return false;
}

bool ZipArchive::open(OpenMode mode)
{
    if (archive_) return true;
    int code = ZIP_ER_OK;
    const int flags = mode == OpenMode::ReadOnly ? ZIP_RDONLY : ZIP_CREATE | ZIP_TRUNCATE;
    archive_ = zip_open(path_.c_str(), flags, &code);
    if (!archive_) return fail(lf_errorText(code));
    return true;
}

std::vector<ZipEntry> ZipArchive::getEntries() const
{
    std::vector<ZipEntry> entries;
    if (!archive_) return entries;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        zip_stat_init(&stat);
        // An entry deleted in this session has no stat; it is not part of the archive.
        if (zip_stat_index(archive_, index, 0, &stat) != 0) continue;
        const bool named = (stat.valid & ZIP_STAT_NAME) != 0 && stat.name != nullptr;
        const bool sized = (stat.valid & ZIP_STAT_SIZE) != 0;
        entries.push_back(ZipEntry(archive_, index, named ? std::string(stat.name) : std::string(),
                                   sized ? stat.size : 0));
    }
    return entries;
}

bool ZipArchive::addFile(const std::string& name, const std::filesystem::path& source)
{
    if (!archive_) return fail("archive not open");
    zip_source_t* data = zip_source_file(archive_, source.c_str(), 0, -1);
    if (!data) return fail(zip_strerror(archive_));
    if (zip_file_add(archive_, name.c_str(), data, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(data);
        return fail(zip_strerror(archive_));
    }
    return true;
}

bool ZipArchive::addData(const std::string& name, const std::string& bytes)
{
    return addData(name, bytes, 0);
}

bool ZipArchive::addData(const std::string& name, const std::string& bytes, int level)
{
    if (!archive_) return fail("archive not open");
    // libzip reads the bytes only when the archive is written, so it gets a copy it frees. An
    // empty entry (a folder) has no bytes to hand over: libzip would not free them.
    void* copy = nullptr;
    if (!bytes.empty()) {
        copy = std::malloc(bytes.size());
        if (!copy) return fail("out of memory");
        std::memcpy(copy, bytes.data(), bytes.size());
    }
    zip_source_t* data = zip_source_buffer(archive_, copy, bytes.size(), copy ? 1 : 0);
    if (!data) {
        std::free(copy);
        return fail(zip_strerror(archive_));
    }
    const zip_int64_t index =
        zip_file_add(archive_, name.c_str(), data, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(data);
        return fail(zip_strerror(archive_));
    }
    if (level != 0 &&
        zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                 static_cast<zip_uint32_t>(level)) < 0) {
        return fail(zip_strerror(archive_));
    }
    return true;
}

bool ZipArchive::addDeflated(const std::string& name, std::shared_ptr<const DeflatedBytes> deflated)
{
    if (!archive_) return fail("archive not open");
    if (!deflated) return fail("no data");
    auto* state = new DeflatedSource(std::move(deflated));
    zip_source_t* data = zip_source_function(archive_, &DeflatedSource::callback, state);
    if (!data) {
        delete state;
        return fail(zip_strerror(archive_));
    }
    if (zip_file_add(archive_, name.c_str(), data, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(data);  // frees the state too
        return fail(zip_strerror(archive_));
    }
    return true;
}

bool ZipArchive::close()
{
    if (!archive_) return true;
    if (zip_close(archive_) == 0) {
        archive_ = nullptr;
        return true;
    }
    lastError_ = zip_strerror(archive_);
    zip_discard(archive_);
    archive_ = nullptr;
    return false;
}

}  // namespace qel
