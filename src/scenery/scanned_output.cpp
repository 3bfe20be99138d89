// What the scan makes of each decoded airport: a link file to an archived stand file, its own
// stand file, or both; and the MSFS 2024 airport records that cannot be decoded. The task body
// decides and writes stand files under temporary names (it returns steps); the scanning thread
// carries the steps out in walk order, into the scan's own folders (gf_scanStagingOf).
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <memory>
#include <system_error>

#include <fmt/format.h>

#include "foundation/globals.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/zip_archive.h"
#include "scenery/addon_archives.h"
#include "scenery/bgl_view.h"
#include "scenery/offline_learning.h"
#include "scenery/scan.h"
#include "scenery/scenery.h"
#include "scenery/stand_file.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

constexpr uint64_t lf_maxBglBytes = uint64_t{1} << 30;  // far above any airport's BGL file
// The Windows-1252 dash (0x97) of the exception line, written as UTF-8 into the UTF-8 log.
constexpr std::string_view lf_dash = "\u2014";

ScanLine lf_report(std::string text) { return {ScanLine::To::Report, std::move(text)}; }

// An airport code whose first byte is 0 is printed as four blanks.
std::string lf_codeText(const AirportCode& code)
{
    return code.chars()[0] == '\0' ? std::string(4, ' ') : std::string(code.text());
}

std::string lf_xmlName(const AirportCode& code) { return lf_codeText(code) + ".xml"; }

std::optional<std::vector<uint8_t>> lf_readBytes(const fs::path& path, std::vector<ScanStep>& steps)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const auto end = in.tellg();
    if (end < 0) return std::nullopt;
    if (static_cast<uint64_t>(end) > lf_maxBglBytes) {
        steps.emplace_back(lf_report(fmt::format("{}BGL file of {} bytes skipped: {}", "===> ",
                                                 static_cast<uint64_t>(end), gf_pathToUtf8(path))));
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<std::size_t>(end));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()))) {
        return std::nullopt;
    }
    return bytes;
}

void lf_addLines(std::vector<ScanStep>& steps, std::vector<ScanLine>& lines)
{
    for (auto& line : lines) steps.emplace_back(std::move(line));
    lines.clear();
}

struct LinkResult {
    bool linked = false;
    int32_t archivedStands = 0;
    PublisherInfo publisher;
};

LinkResult lf_linkToArchive(const AirportCode& code, const fs::path& path, bool msfs2020,
                            std::vector<ScanStep>& steps)
{
    LinkResult result;
    std::vector<ScanLine> lines;
    result.publisher = gf_findPublisher(path, lines);
    lf_addLines(steps, lines);
    const std::string& publisher = result.publisher.publisher;
    if (publisher.empty()) return result;
    const std::string codeText = lf_codeText(code);
    if (publisher == g_simaddonName) {
        const std::string location =
            fmt::format("{}/{}/{}", g_archiveName, g_simaddonName, lf_xmlName(code));
        if (g_addonArchives.isSimAddonAirport && g_addonArchives.isSimAddonAirport(codeText)) {
            steps.emplace_back(LinkFileStep{g_mySimaddonDir / (codeText + ".txt"), location});
            steps.emplace_back(lf_report(
                fmt::format("{} airport {} linked to {}", g_simaddonName, codeText, location)));
            result.linked = true;
        } else {
            steps.emplace_back(lf_report(fmt::format("{} does not exist as simaddon", codeText)));
        }
        return result;
    }
    std::string folder = publisher;
    for (std::size_t at = folder.find(' '); at != std::string::npos; at = folder.find(' ', at)) {
        folder.replace(at, 1, "%20");
    }
    const std::string location = fmt::format("archive/thirdparty/{}/{}", folder, lf_xmlName(code));
    const auto count = g_addonArchives.thirdPartyStandCount
                           ? g_addonArchives.thirdPartyStandCount(publisher, codeText, msfs2020)
                           : std::nullopt;
    if (count) {
        result.archivedStands = *count;
        steps.emplace_back(LinkFileStep{g_myThirdpartyDir / (codeText + ".txt"), location});
        steps.emplace_back(
            lf_report(fmt::format("thirdparty airport {} linked to {}", codeText, location)));
        result.linked = true;
    } else {
        steps.emplace_back(
            lf_report(fmt::format("thirdparty {} {} does not exist", publisher, codeText)));
    }
    return result;
}

// The stand file is written here, on the worker, where files are written (and flushed to the
// disk) in parallel; its name is the task's own, so two files of one airport never mix, and only
// the scanning thread's rename, in walk order, decides which of them stands. It lies in the
// scan's own folder, which replaces the generated folder only when the scan is complete. Empty
// when it could not be written.
fs::path lf_writeTemporary(const fs::path& path, const std::string& bytes)
{
    static std::atomic<uint64_t> number{0};
    const fs::path folder = gf_scanStagingOf(path.parent_path());
    fs::path temporary = folder / path.filename();
    temporary += fmt::format(".{}.tmp", ++number);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (gf_writeFile(bytes, temporary, false) && gf_syncFile(temporary)) return temporary;
    fs::remove(temporary, ec);
    return {};
}

// A link file of this scan, into the scan's own folder.
void lf_writeLinkFile(const LinkFileStep& link)
{
    const fs::path target = gf_scanStagingOf(link.path.parent_path()) / link.path.filename();
    fs::path temporary = target;
    temporary += ".tmp";
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    // A link that cannot be written leaves the airport without one; nothing else.
    if (gf_writeFile(link.location, temporary, true) && gf_syncFile(temporary)) {
        gf_replaceByRename(temporary, target, ReplaceSync::FolderLater);
    } else {
        fs::remove(temporary, ec);
    }
}

BglAirport lf_standFileAirport(const ScannedAirport& scanned, const PublisherInfo& publisher,
                               const std::string& bglPath)
{
    BglAirport airport;
    airport.code = scanned.code;
    airport.bglPath = bglPath;
    airport.publisher = publisher.publisher;
    airport.manufacturer = publisher.manufacturer;
    airport.creator = publisher.creator;
    airport.altitude_ft = scanned.altitude_ft;
    // In the order of their ids; sorting pointers moves far less than sorting the stands.
    std::vector<const BglStand*> sorted;
    sorted.reserve(scanned.stands.size());
    for (const BglStand& s : scanned.stands) sorted.push_back(&s);
    std::sort(sorted.begin(), sorted.end(),
              [](const BglStand* a, const BglStand* b) { return a->id < b->id; });
    airport.stands.reserve(sorted.size());
    for (const BglStand* s : sorted) {
        airport.stands.emplace_back(s->id, std::vector<LearnedFlight>{}, s->latitude, s->longitude,
                                    s->heading_rad, s->radius_m, s->cargo, s->ramp, s->helipad);
    }
    return airport;
}

void lf_writeScannedAirport(const ScannedAirport& airport, const LinkResult& link,
                            const std::string& bglPath, bool msfs2020, std::vector<ScanStep>& steps)
{
    if (airport.stands.empty()) return;
    const fs::path folder =
        link.publisher.publisher == g_simaddonName ? g_mySimaddonDir : g_myThirdpartyDir;
    const std::size_t n = airport.stands.size();
    const int32_t helipads = airport.helipadNumber - 1;
    const std::string helipadText =
        helipads > 0 ? fmt::format(", of which {} helipad{}", helipads, gf_pluralS(helipads))
                     : std::string();
    steps.emplace_back(
        lf_report(fmt::format("Generated {}: {} position{}{}", lf_xmlName(airport.code), n,
                              gf_plural(static_cast<uint64_t>(n)), helipadText)));
    const auto file = gf_apfText(lf_standFileAirport(airport, link.publisher, bglPath), ApfScanned,
                                 msfs2020 ? 1 : 2);
    StandFileStep step{folder / lf_xmlName(airport.code), {}, {}};
    if (file) {
        step.temporary = lf_writeTemporary(step.path, file->bytes);
        step.makers = file->makers;
        // Deflated here, in parallel, for tblo.zip, which then only copies the bytes.
        if (!step.temporary.empty() && folder == g_myThirdpartyDir &&
            lf_qualifiesForLearning(step.makers)) {
            if (auto deflated = gf_deflate(file->bytes, lf_tbloZipLevel)) {
                step.deflated = std::make_shared<const DeflatedBytes>(std::move(*deflated));
            }
        }
    }
    steps.emplace_back(std::move(step));
}

void lf_handOnAirport(ScannedAirport& airport, const fs::path& path, bool msfs2020,
                      std::vector<ScanStep>& steps)
{
    const std::string bglPath = gf_pathToUtf8(path);
    const LinkResult link = lf_linkToArchive(airport.code, path, msfs2020, steps);
    // MSFS 2024 trusts a linked archived file wholly.
    if (!msfs2020 && link.linked) return;
    lf_addLines(steps, airport.lines);
    const auto n = static_cast<int64_t>(airport.stands.size());
    const bool simaddon = link.publisher.publisher == g_simaddonName;
    const bool moreThanArchived = n > link.archivedStands && !simaddon;
    if (moreThanArchived) {
        steps.emplace_back(
            lf_report(fmt::format("{}{} has {} parkpos while archived one has {}", "===> ",
                                  lf_codeText(airport.code), n, link.archivedStands)));
    }
    if (!link.linked || moreThanArchived) {
        lf_writeScannedAirport(airport, link, bglPath, msfs2020, steps);
    }
}

std::optional<AirportCode> lf_findNonComplyingIcao(const fs::path& path,
                                                   std::vector<ScanStep>& steps)
{
    const std::string stem = gf_pathToUtf8(path.stem());
    const bool codeLike =
        stem.size() == 4 && std::all_of(stem.begin(), stem.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        });
    if (!codeLike) return std::nullopt;
    const AirportCode code(stem);
    if (gf_isKnownAirport(code.word())) {
        steps.emplace_back(lf_report(
            fmt::format("Non complying airport has ICAO code '{}' as BGL stem", code.text())));
        return code;
    }
    std::vector<ScanLine> lines;
    const auto manifest = gf_searchManifest(path, lines);
    lf_addLines(steps, lines);
    const std::string pathText = gf_pathToUtf8(path);
    if (manifest) {
        if (const auto byTitle = gf_findAirportByCode(manifest->title)) {
            steps.emplace_back(lf_report(
                fmt::format("Non complying airport has ICAO '{}' in title '{}' of manifest",
                            byTitle->text(), manifest->title)));
            return byTitle;
        }
        if (const auto byPath = gf_findAirportByName(path)) {
            steps.emplace_back(lf_report(fmt::format(
                "Non complying airport has ICAO '{}' in BGL path '{}'", byPath->text(), pathText)));
            return byPath;
        }
    }
    steps.emplace_back(lf_report(
        fmt::format("==================> Non complying airport lost ... '{}'", pathText)));
    return std::nullopt;
}

void lf_handleUnrecognisedAirport(const fs::path& path, bool msfs2020, std::vector<ScanStep>& steps)
{
    steps.emplace_back(
        lf_report(fmt::format("\n==> Not recognised airport {}", gf_pathToUtf8(path))));
    const auto code = lf_findNonComplyingIcao(path, steps);
    if (code) lf_linkToArchive(*code, path, msfs2020, steps);
}

}  // namespace

std::vector<ScanStep> lf_processBGLfile(const fs::path& path, bool msfs2020)
{
    std::vector<ScanStep> steps;
    const std::string pathText = gf_pathToUtf8(path);
    try {
        const auto bytes = lf_readBytes(path, steps);
        if (!bytes) return steps;
        std::vector<BglEntry> entries;
        std::string formatError;
        try {
            gf_decodeBgl(*bytes, pathText, msfs2020, entries);
        } catch (const BglFormatError& e) {
            formatError = e.what();
        }
        for (auto& entry : entries) {
            if (auto* line = std::get_if<ScanLine>(&entry)) {
                steps.emplace_back(std::move(*line));
            } else if (auto* airport = std::get_if<ScannedAirport>(&entry)) {
                lf_handOnAirport(*airport, path, msfs2020, steps);
            } else {
                lf_handleUnrecognisedAirport(path, msfs2020, steps);
            }
        }
        if (!formatError.empty()) {
            steps.emplace_back(
                ScanLine{ScanLine::To::LogHighlighted,
                         fmt::format("Exception in lf_processBGLfile (std::ex): {} {} {}", pathText,
                                     lf_dash, formatError)});
            steps.emplace_back(lf_report(
                fmt::format("{}BGL format error in {}: {}", "===> ", pathText, formatError)));
        }
    } catch (const std::exception& e) {
        // A fault of this file (a file-system error, memory) is reported; the scan goes on.
        steps.emplace_back(
            ScanLine{ScanLine::To::LogHighlighted,
                     fmt::format("Exception in lf_processBGLfile (std::ex): {} {} {}", pathText,
                                 lf_dash, e.what())});
        steps.emplace_back(lf_report(fmt::format("{} airports search aborted, futs inner,\n{}\n{}",
                                                 "===> ", e.what(), pathText)));
    }
    return steps;
}

void lf_applyScanSteps(const std::vector<ScanStep>& steps, WrittenStandFiles& written)
{
    for (const ScanStep& step : steps) {
        if (const auto* line = std::get_if<ScanLine>(&step)) {
            switch (line->to) {
            case ScanLine::To::Report: gf_addScanMessage(line->text); break;
            case ScanLine::To::Log: gf_log(line->text); break;
            case ScanLine::To::LogHighlighted: gf_logHighlighted(line->text); break;
            }
        } else if (const auto* link = std::get_if<LinkFileStep>(&step)) {
            lf_writeLinkFile(*link);
        } else if (const auto* stands = std::get_if<StandFileStep>(&step)) {
            const fs::path staged =
                gf_scanStagingOf(stands->path.parent_path()) / stands->path.filename();
            // Flushed by its worker; the folder is flushed once, before it is put in place.
            if (!stands->temporary.empty() &&
                !gf_replaceByRename(stands->temporary, staged, ReplaceSync::FolderLater)) {
                written[stands->path] = {stands->makers, stands->deflated};
            } else {
                gf_addScanMessage(fmt::format("{}Generating {} did not succeed", "===> ",
                                              gf_pathToUtf8(stands->path)));
            }
        }
    }
}

}  // namespace qel
