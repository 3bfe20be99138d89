// The offline-learning package: which generated stand files qualify, their copies in tblo, and
// tblo.zip.
#include "scenery/offline_learning.h"

#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/strings.h"
#include "foundation/zip_archive.h"
#include "scenery/scan.h"
#include "scenery/scenery.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view lf_supportAddress = "scenery@vanteloq.org";
// Files of the simulator maker's own authoring teach nothing new.
constexpr std::string_view lf_excludedAuthor = "Asobo Studio";
constexpr std::string_view lf_droppedPublisherAirport = "KMCI";
constexpr std::string_view lf_droppedPublisher = "TropicalSim";

std::optional<pugi::xml_document> lf_load(const fs::path& path)
{
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) return std::nullopt;
    return document;
}

std::string lf_parameter(const pugi::xml_document& document, std::string_view key)
{
    return gf_readStringParameter(document, key).value_or("");
}

// The makers as this scan wrote them; a file that an earlier scan left (one that could not be
// removed) is read.
std::optional<ApfMakers> lf_makers(const fs::path& xml, const WrittenStandFiles& written)
{
    if (const auto found = written.find(xml); found != written.end()) return found->second.makers;
    const auto document = lf_load(xml);
    if (!document) return std::nullopt;
    return ApfMakers{lf_parameter(*document, "publisher"), lf_parameter(*document, "manufacturer"),
                     lf_parameter(*document, "creator")};
}

}  // namespace

bool lf_qualifiesForLearning(const ApfMakers& makers)
{
    if (!makers.publisher.empty()) return true;
    for (const std::string* value : {&makers.manufacturer, &makers.creator}) {
        if (value->size() >= 4 && *value != lf_excludedAuthor) return true;
    }
    return false;
}

namespace {

// The copy is a second name of the file just written, so no byte is read or written again; a
// real copy where the file system has no links. Either appears whole under the target's name.
bool lf_placeCopy(const fs::path& xml, const fs::path& target, std::error_code& ec)
{
    fs::path temporary = target;
    temporary += ".tmp";
    std::error_code ignored;
    fs::remove(temporary, ignored);
    fs::create_hard_link(xml, temporary, ec);
    if (ec) {
        ec.clear();
        fs::copy_file(xml, temporary, fs::copy_options::overwrite_existing, ec);
    }
    if (!ec) fs::rename(temporary, target, ec);
    // Also after a rename onto a link of the same file, which leaves both names.
    fs::remove(temporary, ignored);
    return !ec;
}

// True when the copy lies in tblo.
bool lf_copyToTblo(std::string_view code, const fs::path& xml)
{
    const fs::path target = g_tbloDir / xml.filename();
    std::error_code ec;
    if (!lf_placeCopy(xml, target, ec)) {
        gf_logHighlighted(fmt::format("'{}' failed to copy '{}': {}", gf_pathToUtf8(xml),
                                      gf_pathToUtf8(target), ec.message()));
        return false;
    }
    gf_log(fmt::format("{} copied to {}", code, gf_pathToUtf8(target)));
    const fs::path link = g_myThirdpartyDir / (std::string(code) + ".txt");
    const bool linked = fs::exists(link, ec);
    if (ec) {
        gf_logHighlighted(fmt::format("exists({}) failed: {}", gf_pathToUtf8(link), ec.message()));
    } else if (linked && !fs::remove(xml, ec) && ec) {
        gf_logHighlighted(fmt::format("remove({}) failed: {}", gf_pathToUtf8(xml), ec.message()));
    }
    return true;
}

std::optional<std::string> lf_readWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const auto size = in.tellg();
    if (size < 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) return std::nullopt;
    return bytes;
}

bool lf_closeZipAndReport(ZipArchive& archive, const fs::path& zip, int added)
{
    const bool closed = archive.close();
    std::error_code ec;
    const bool exists = fs::exists(zip, ec);
    uintmax_t size = 0;
    if (exists) {
        size = fs::file_size(zip, ec);
        if (ec) size = static_cast<uintmax_t>(-1);
    }
    gf_log(fmt::format("[zip] Added {} files, ok_close={}, exists={}, size={} bytes", added, closed,
                       exists, size));
    return added > 0 && exists && size != 0 && size != static_cast<uintmax_t>(-1);
}

}  // namespace

uint64_t lf_prepareOfflineLearning(const std::vector<uint32_t>& codes,
                                   const WrittenStandFiles& written)
{
    // Copies of an earlier scan (kept after a failed zip) would be sent again.
    gf_removeXMLFilesFromDirectory();
    uint64_t copied = 0;
    DeflatedFiles deflated;
    for (const uint32_t code : codes) {
        std::string text(4, ' ');
        for (std::size_t i = 0; i < 4; ++i) text[i] = static_cast<char>(code >> (8 * i) & 0xFFu);
        const fs::path xml = g_myThirdpartyDir / (text + ".xml");
        std::optional<ApfMakers> makers;
        if (text == lf_droppedPublisherAirport) {
            makers = lf_makers(xml, written);
            if (makers && makers->publisher == lf_droppedPublisher) {
                fs::remove(xml);
                continue;
            }
        }
        if (!gf_isKnownAirport(code)) continue;
        if (!makers) makers = lf_makers(xml, written);
        if (!makers) {
            gf_logHighlighted(fmt::format("'{}' not found", gf_pathToUtf8(xml)));
            continue;
        }
        if (!lf_qualifiesForLearning(*makers)) continue;
        if (!lf_copyToTblo(text, xml)) continue;
        ++copied;
        // Only a file written in this scan is the copy's content for sure.
        if (const auto found = written.find(xml);
            found != written.end() && found->second.deflated) {
            deflated[xml.filename()] = found->second.deflated;
        }
    }
    if (copied == 0) {
        gf_log("All your third party airports are recognised, no off line learning needed.");
        return 0;
    }
    const fs::path zip = g_tbloDir / g_tbloZip;
    if (!lf_zipTbloFolder(zip, deflated)) {
        // Nothing to send: keep the copies for the next try, and ask for nothing.
        gf_logHighlighted("Zippen TBLO folder failed");
        return 0;
    }
    gf_removeXMLFilesFromDirectory();
    gf_log(fmt::format("\n! Mail {} to {}\n", gf_pathToUtf8(zip), lf_supportAddress));
    return copied;
}

bool lf_zipTbloFolder(const fs::path& zip, const DeflatedFiles& deflated)
{
    std::error_code ec;
    if (!fs::is_directory(g_tbloDir, ec)) {
        gf_log(fmt::format("[zip] Not a directory: {}", gf_pathToUtf8(g_tbloDir)));
        return false;
    }
    if (zip.has_parent_path()) fs::create_directories(zip.parent_path());
    const fs::path target = fs::absolute(zip);
    const fs::path source = fs::absolute(g_tbloDir);
    gf_log(fmt::format("[zip] Target file: {}", gf_pathToUtf8(target)));
    gf_log(fmt::format("[zip] Source dir : {}", gf_pathToUtf8(source)));
    if (fs::exists(target)) {
        gf_log(fmt::format("[zip] Removing old zip {}", gf_pathToUtf8(target)));
        // One that cannot be removed fails this zip; thrown, it would end the scan before the
        // scan request is cleared, and every start would scan again.
        if (!fs::remove(target, ec) && ec) {
            gf_log(fmt::format("[zip] Could not remove old zip: {}", ec.message()));
            return false;
        }
    }
    ZipArchive archive(target);
    if (!archive.open(ZipArchive::OpenMode::New)) {
        gf_log("[zip] Could not open archive for writing");
        return false;
    }
    int added = 0;
    for (fs::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileError;
        if (!it->is_regular_file(fileError) || it->path() == target) continue;
        const std::string name = gf_pathToUtf8(it->path().filename());
        if (const auto ahead = deflated.find(it->path().filename()); ahead != deflated.end()) {
            gf_log(fmt::format("[zip] Adding (deflated) {} -> {} ({} bytes)",
                               gf_pathToUtf8(it->path()), name, ahead->second->size));
            if (!archive.addDeflated(name, ahead->second)) {
                gf_log(fmt::format("[zip] ERROR addDeflated({})", name));
                break;
            }
            ++added;
            continue;
        }
        const auto bytes = lf_readWholeFile(it->path());
        if (!bytes) {
            gf_log(fmt::format("[zip] READ FAIL: {}", gf_pathToUtf8(it->path())));
            continue;
        }
        gf_log(fmt::format("[zip] Adding (data) {} -> {} ({} bytes)", gf_pathToUtf8(it->path()),
                           name, bytes->size()));
        if (!archive.addData(name, *bytes, lf_tbloZipLevel)) {
            gf_log(fmt::format("[zip] ERROR addData({})", name));
            break;
        }
        ++added;
    }
    return lf_closeZipAndReport(archive, target, added);
}

}  // namespace qel
