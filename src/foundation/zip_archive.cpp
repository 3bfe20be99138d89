// Zip archives through libzip: reading entries in chunks, and writing new archives.
#include "foundation/zip_archive.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

#include <zip.h>

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

}  // namespace

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
