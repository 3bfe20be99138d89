// The places of stand files: local folders, redirect files, archive locations and the learned
// file of each stand file.
#include "scenery/stand_places.h"

#include <algorithm>
#include <array>
#include <fstream>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "scenery/scenery.h"

namespace qel {

const std::string g_unnamedPublisherFolder{"_unnamed"};

namespace {

constexpr std::size_t lf_redirectReadLimit = 4096;  // a redirect is one short line
constexpr std::size_t lf_listReserve = 512;
constexpr std::size_t lf_nameLimit = 255;  // bytes (UTF-16 units on Windows) per folder name

std::string lf_codeText(uint32_t code)
{
    std::string text(4, ' ');
    for (std::size_t i = 0; i < 4; ++i) text[i] = static_cast<char>((code >> (8 * i)) & 0xFFu);
    return text;
}

const Airport* lf_findAirport(uint32_t code)
{
    const auto found = std::find_if(g_airports.begin(), g_airports.end(),
                                    [code](const Airport& a) { return a.code.word() == code; });
    return found == g_airports.end() ? nullptr : &*found;
}

bool lf_hasArchivedStands(uint32_t code)
{
    const Airport* airport = lf_findAirport(code);
    return airport != nullptr && airport->standCount >= 1;
}

bool lf_exists(const std::filesystem::path& path)
{
    return std::filesystem::exists(path);  // throws for anything but absence
}

bool lf_endsWithXml(std::string_view text)
{
    if (text.size() < 4) return false;
    const std::string_view tail = text.substr(text.size() - 4);
    return gf_equalsUpperCased(".XML", std::string(tail));
}

// Publisher texts become one folder name: no separators, no "..", never empty.
std::string lf_cleanPublisher(std::string_view publisher, bool decodeSpaces)
{
    std::string text(publisher);
    if (decodeSpaces) {
        for (std::size_t at = text.find("%20"); at != std::string::npos;
             at = text.find("%20", at)) {
            text.replace(at, 3, " ");
        }
    }
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 ||
            std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
            c = ' ';
        }
    }
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (text.find_first_not_of('.') == std::string::npos) return {};  // "." or ".."
    return text;
}

// learned / the pieces of `rest` between '\'; empty when a piece would leave the folder.
std::filesystem::path lf_learnedBelow(std::string_view rest)
{
    std::filesystem::path result = g_learnedDir;
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t end = std::min(rest.find('\\', start), rest.size());
        const std::string_view piece = rest.substr(start, end - start);
        if (piece.empty() || piece == "." || piece == "..") return {};
        result /= std::filesystem::path(std::string(piece));
        start = end + 1;
    }
    return result;
}

std::string_view lf_fileName(std::string_view text)
{
    const std::size_t slash = text.rfind('\\');
    return slash == std::string_view::npos ? text : text.substr(slash + 1);
}

std::filesystem::path lf_publisherPath(std::string_view publisher, std::string_view fileName)
{
    if (fileName.empty() || fileName == "..") return {};
    const std::string folder =
        publisher.empty() ? g_unnamedPublisherFolder : std::string(publisher);
    return g_learnedDir / "thirdparty" / folder / std::string(fileName);
}

}  // namespace

bool gf_isSafeRelativeLocation(std::string_view text)
{
    if (text.empty() || text.front() == '/' || text.front() == '\\') return false;
    if (text.size() >= 2 && text[1] == ':') return false;  // "C:..."
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = text.size();
        if (gf_trim(text.substr(start, end - start)) == "..") return false;
        start = end + 1;
    }
    return true;
}

std::filesystem::path gf_localPathOf(std::string_view location)
{
    std::string text(location);
    std::replace(text.begin(), text.end(), '\\', '/');
    return std::filesystem::path(text);
}

std::string gf_apfXmlName(uint32_t code) { return lf_codeText(code) + ".xml"; }
std::filesystem::path gf_apfXmlPath(uint32_t code) { return gf_apfXmlName(code); }
std::filesystem::path gf_apfTxtPath(uint32_t code) { return lf_codeText(code) + ".txt"; }

bool gf_hasAirportFile(uint32_t code)
{
    const auto xml = gf_apfXmlPath(code);
    const auto txt = gf_apfTxtPath(code);
    return lf_exists(g_myThirdpartyDir / xml) || lf_exists(g_myThirdpartyDir / txt) ||
           lf_exists(g_mySimaddonDir / xml) || lf_exists(g_mySimaddonDir / txt) ||
           lf_hasArchivedStands(code);
}

bool lf_readRedirect(const std::filesystem::path& path, std::string& text)
{
    text.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::array<char, lf_redirectReadLimit> buffer{};
    file.read(buffer.data(), buffer.size());
    std::string_view line(buffer.data(), static_cast<std::size_t>(file.gcount()));
    if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    line = line.substr(0, line.find('\n'));
    const std::size_t last = line.find_last_not_of(g_whitespace);
    if (last == std::string_view::npos) return false;
    line = line.substr(0, last + 1);
    if (!lf_endsWithXml(line)) return false;
    // A redirect names a stand file to read or fetch; it must not reach outside the folder.
    if (!gf_isSafeRelativeLocation(line)) {
        gf_logHighlighted(fmt::format("redirect '{}' in {} refused", line, gf_pathToUtf8(path)));
        return false;
    }
    text = std::string(line);
    return true;
}

std::string gf_findArchivedApf(uint32_t code)
{
    const auto xml = gf_apfXmlPath(code);
    const auto txt = gf_apfTxtPath(code);
    std::string redirect;
    if (lf_readRedirect(g_myThirdpartyDir / txt, redirect)) return redirect;
    if (lf_exists(g_myThirdpartyDir / xml)) return gf_pathToUtf8(g_myThirdpartyDir / xml);
    if (lf_readRedirect(g_mySimaddonDir / txt, redirect)) return redirect;
    if (lf_exists(g_mySimaddonDir / xml)) return gf_pathToUtf8(g_mySimaddonDir / xml);
    if (lf_hasArchivedStands(code)) return "archive/stock/" + gf_apfXmlName(code);
    return {};
}

namespace {

std::filesystem::path lf_learnedPathOf(std::string_view source, std::string_view publisher)
{
    if (source.empty()) return {};
    std::string text(source);
    std::replace(text.begin(), text.end(), '/', '\\');
    if (!lf_endsWithXml(text) || !gf_isSafeRelativeLocation(text)) return {};
    const std::string_view view = text;
    if (view.starts_with("archive\\stock\\")) {
        return g_learnedDir / "stock" / std::string(lf_fileName(view));
    }
    if (view.starts_with("archive\\simaddon\\")) {
        return g_learnedDir / "simaddon" / std::string(lf_fileName(view));
    }
    constexpr std::string_view thirdparty = "archive\\thirdparty\\";
    if (const auto at = view.find(thirdparty); at != std::string_view::npos) {
        const std::string_view after = view.substr(at + thirdparty.size());
        const std::size_t slash = after.find('\\');
        if (slash == std::string_view::npos) return {};
        const std::string folder = lf_cleanPublisher(after.substr(0, slash), true);
        if (folder.empty()) return {};
        return lf_publisherPath(folder, lf_fileName(view));
    }
    constexpr std::string_view airports = "airports\\";
    if (!view.starts_with(airports)) return {};
    const std::string_view rest = view.substr(airports.size());
    if (rest.starts_with("my_thirdparty2024\\") || rest.starts_with("my_thirdparty\\")) {
        return lf_publisherPath(lf_cleanPublisher(publisher, false), lf_fileName(view));
    }
    return lf_learnedBelow(rest);
}

}  // namespace

std::filesystem::path gf_learnedPathFor(std::string_view source, std::string_view publisher)
{
    std::filesystem::path learned = lf_learnedPathOf(source, publisher);
    // A name longer than a folder can hold (a publisher of 300 characters) is no file to read
    // or write: without a path the airport loads as one not learned yet, and no save is tried.
    for (const std::filesystem::path& part : learned) {
        if (part.native().size() > lf_nameLimit) return {};
    }
    return learned;
}

std::vector<uint32_t> gf_listMyThirdpartyAirports()
{
    std::vector<uint32_t> codes;
    if (!std::filesystem::exists(g_myThirdpartyDir)) return codes;
    codes.reserve(lf_listReserve);
    for (const auto& entry : std::filesystem::directory_iterator(g_myThirdpartyDir)) {
        if (!entry.is_regular_file()) continue;
        const auto& path = entry.path();
        if (!gf_equalsUpperCased(".XML", path.extension().string())) continue;
        const std::string stem = path.stem().string();
        if (stem.size() != 4) continue;
        try {
            codes.push_back(AirportCode(stem).word());
        } catch (const std::invalid_argument&) {
            // One badly named file must not stop the scan, nor every later start.
            gf_logHighlighted(fmt::format("===> {} is not named by an airport code, skipped",
                                          gf_pathToUtf8(path)));
        }
    }
    return codes;
}

}  // namespace qel
