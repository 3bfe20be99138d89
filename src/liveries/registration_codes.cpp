// The offline registration-code files: the user's .TXT files and the shipped AIG file.
#include <system_error>

#include <fmt/format.h>
#include <gsl/gsl>

#include "foundation/decrypt.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/textfile.h"
#include "foundation/xml.h"
#include "liveries/liveries.h"
#include "liveries/pieces.h"

namespace qel {

namespace {

constexpr std::size_t lf_minLineBytes = 6;
constexpr std::size_t lf_minRegcodeLength = 3;
constexpr std::size_t lf_maxRegcodeLength = 12;
constexpr std::size_t lf_linesReserve = 1024;

bool lf_validRegcode(const std::string& code)
{
    return code.size() >= lf_minRegcodeLength && code.size() <= lf_maxRegcodeLength;
}

std::string_view lf_liveryWord(std::size_t count) { return count == 1 ? "livery" : "liveries"; }

void lf_logWrongLength(const std::string& code, const std::string& pathText)
{
    gf_logHighlighted(fmt::format("wrong regcode length '{}' in {}", code, pathText));
}

// One line "title;registrations[;#]"; false when a registration had a wrong length.
bool lf_readRegcodeLine(std::string_view line, const std::string& pathText,
                        std::vector<RegcodeRecord>& records)
{
    const auto fields = gf_splitPieces(line, ';');
    if (fields.size() == 1) {
        if (!fields[0].empty()) records.push_back({std::string(fields[0]), {}, false});
        return true;
    }
    if (fields.size() > 3) return true;

    std::string title(fields[0]);
    const auto codes = gf_splitCommaList(fields[1]);
    if (codes.empty()) {
        records.push_back({std::move(title), {}, false});
        return true;
    }
    if (codes.size() == 1) {
        if (!lf_validRegcode(codes.front())) {
            lf_logWrongLength(codes.front(), pathText);
            return false;
        }
        records.push_back({std::move(title), {codes.front()}, true});
        return true;
    }

    bool ok = true;
    std::list<std::string> kept;
    for (const auto& code : codes) {
        if (lf_validRegcode(code)) {
            kept.push_back(code);
        } else {
            lf_logWrongLength(code, pathText);
            ok = false;
        }
    }
    const bool special = fields.size() == 3 && fields[2] == "#";
    if (kept.empty()) {
        records.push_back({std::move(title), {}, false});
    } else {
        records.push_back({std::move(title), std::move(kept), special});
    }
    return ok;
}

bool lf_readRegcodeFile(const std::filesystem::path& path, std::vector<RegcodeRecord>& records)
{
    const std::string pathText = gf_pathToUtf8(path);
    bool ok = true;
    TextFileLines file{path, {}};
    const auto read = gf_readFileLines(file, lf_linesReserve);
    if (read.ok()) {
        for (const auto& line : read.lines) {
            if (line.size() < lf_minLineBytes) continue;
            if (!lf_readRegcodeLine(line, pathText, records)) ok = false;
        }
    }
    gf_log(fmt::format("{:5} {} read from {}", records.size(), lf_liveryWord(records.size()),
                       pathText));
    return ok;
}

bool lf_isRegcodeFile(const std::filesystem::directory_entry& entry)
{
    std::error_code error;
    const auto status = entry.status(error);
    if (error) {
        // An entry that vanished or cannot be typed (a dangling link) is no regcode file; any
        // other failure means the folder cannot be read reliably.
        const auto type = status.type();
        if (type == std::filesystem::file_type::not_found ||
            type == std::filesystem::file_type::unknown) {
            return false;
        }
        throw std::filesystem::filesystem_error("status", entry.path(), error);
    }
    return std::filesystem::is_regular_file(status) &&
           gf_equalsUpperCased(".TXT", entry.path().extension().string());
}

}  // namespace

bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeRecord>& records)
{
    bool result = true;
    try {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!lf_isRegcodeFile(entry)) continue;
            if (!lf_readRegcodeFile(entry.path(), records)) result = false;
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("Error reading regcode files in {}, what: {}",
                                      gf_pathToUtf8(folder), e.what()));
        return false;
    }
    return result;
}

bool gf_readAigRegcodesXml(std::vector<RegcodeRecord>& records)
{
    const auto& path = g_aigRegcodesXml;
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) {
        gf_logHighlighted(fmt::format("Failed to load {}", gf_pathToUtf8(path)));
        std::filesystem::remove(path);  // a failure throws filesystem_error to the caller
        return false;
    }
    // The AIG file serves both simulators, so it needs no "sim" item.
    if (std::string refusal; !gf_readXmlMeta(document, true, refusal)) {
        gf_logHighlighted(fmt::format("{} not read: {}", gf_pathToUtf8(path), refusal));
        return false;
    }
    const auto aig = document.child("root").child("aig");
    if (!aig) {
        gf_logHighlighted("No <aig> node found in XML.");
        return false;
    }

    bool result = true;
    std::string previous;
    for (const auto& l : aig.children("l")) {
        std::string title = gf_attrString(l, "t");
        if (title.empty()) continue;
        if (title == previous) {
            gf_logHighlighted(fmt::format("Duplicate title '{}' (same as previous)", title));
            result = false;
            continue;
        }
        previous = title;
        const auto codes = gf_splitCommaList(gf_attrString(l, "r"));
        records.push_back(
            {std::move(title), {codes.begin(), codes.end()}, l.attribute("s").as_bool(false)});
    }
    gf_log(fmt::format("{:5} {} read from {}", records.size(), lf_liveryWord(records.size()),
                       gf_pathToUtf8(path.filename())));
    return result;
}

bool gf_readAigRegcodes(std::vector<RegcodeRecord>& records)
{
    // The deciphered file must not stay on disk, whichever way the read ends.
    const auto removeXml = gsl::finally([] { gf_removeFile(g_aigRegcodesXml); });
    if (!gf_streamDecrypt(g_aigRegcodesEnc, g_aigRegcodesXml)) return false;
    return gf_readAigRegcodesXml(records);
}

}  // namespace qel
