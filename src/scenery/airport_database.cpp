// The airport database: input/airports.enc deciphered into a temporary XML file, read into
// g_airports once at start-up, and the lookups by code, by text and by scenery path.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>
#include <system_error>
#include <type_traits>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/decrypt.h"
#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/xml.h"
#include "scenery/scenery.h"

namespace qel {

std::vector<Airport> g_airports;                // start-up thread writes, then read-only
std::unordered_set<uint32_t> g_airportCodeSet;  // start-up thread writes, then read-only

namespace {

constexpr std::size_t lf_airportReserve = 15000;  // about as many airports as the file holds
constexpr int lf_readErrorCode = 88;

bool lf_airportsRead = false;  // start-up thread only

char lf_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

uint32_t lf_wordOf(const char* chars)
{
    uint32_t word = 0;
    for (int i = 3; i >= 0; --i) {
        word = word << 8 | static_cast<unsigned char>(lf_upper(chars[i]));
    }
    return word;
}

// Locale-free, as the file is written; 0 when the text holds no number (or not a finite one).
template <typename T>
T lf_number(std::string_view text)
{
    text = gf_trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (error != std::errc{}) return T{};
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) return T{};
    }
    return value;
}

void lf_readAirportsXml(const std::filesystem::path& xmlPath)
{
    pugi::xml_document document;
    const pugi::xml_parse_result result = document.load_file(xmlPath.c_str());
    if (!result) {
        throw std::runtime_error(
            fmt::format("{} not loaded: {}", gf_pathToUtf8(xmlPath), result.description()));
    }
    const pugi::xml_node airports = document.child("root").child("airports");
    if (!airports) {
        throw std::runtime_error("Missing <airports> root in: " + gf_pathToUtf8(xmlPath));
    }
    for (const pugi::xml_node& ap : airports.children("ap")) {
        const AirportCode code(gf_attrString(ap, "c"));  // a bad code ends the whole read
        gf_readAirportRecord(ap, code);
    }
    std::stable_sort(g_airports.begin(), g_airports.end(), [](const Airport& a, const Airport& b) {
        return a.code.text() < b.code.text();
    });
    gf_log(fmt::format("{:5} airports read", g_airports.size()));
}

}  // namespace

bool gf_readAirports() { return gf_readAirportsFrom(g_airportsEnc, g_airportsXml); }

bool gf_readAirportsFrom(const std::filesystem::path& encPath, const std::filesystem::path& xmlPath)
{
    if (lf_airportsRead) return !g_airports.empty();
    try {
        // A failed decryption leaves no XML file behind, so the load below reports it.
        gf_streamDecrypt(encPath, xmlPath);
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{} exception : {}", "gf_readAirports", e.what()));
        throw;
    }
    if (g_airports.capacity() < lf_airportReserve) g_airports.reserve(lf_airportReserve);
    try {
        lf_readAirportsXml(xmlPath);
    } catch (const std::exception& e) {
        // A later attempt (an in-process restart after new data) must not find half a table
        // from this one, nor an unsorted one.
        g_airports.clear();
        g_airportCodeSet.clear();
        gf_removeFile(xmlPath);
        throw UserErrorException(lf_readErrorCode, e.what());
    }
    gf_removeFile(xmlPath);
    g_airports.shrink_to_fit();
    lf_airportsRead = true;
    return !g_airports.empty();
}

void gf_readAirportRecord(const pugi::xml_node& ap, const AirportCode& code)
{
    const std::string_view codeText = code.text();
    if (!ap.attribute("la") || !ap.attribute("lo")) {
        gf_logHighlighted(fmt::format("Missing latLons for airport '{}'", codeText));
        return;
    }
    if (!ap.attribute("a")) {
        gf_logHighlighted(fmt::format("Missing alt for airport '{}'", codeText));
        return;
    }
    if (!ap.attribute("s")) {
        gf_logHighlighted(fmt::format("Missing stands for airport '{}'", codeText));
    }
    Airport airport;
    airport.code = code;
    airport.standCount = lf_number<int32_t>(gf_attrString(ap, "s"));
    airport.altitude = lf_number<float>(gf_attrString(ap, "a"));
    airport.latitude = lf_number<double>(gf_attrString(ap, "la"));
    airport.longitude = lf_number<double>(gf_attrString(ap, "lo"));
    airport.name = gf_attrString(ap, "n");  // the name a stand file may lack; optional
    const pugi::xml_attribute second = ap.attribute("i");
    try {
        if (second) airport.secondCode = ShortAirportCode(second.value());
        g_airports.push_back(airport);
        g_airportCodeSet.insert(code.word());
    } catch (const std::exception& e) {
        gf_log(
            fmt::format("Error storing airport '{}' '{}': {}", codeText, second.value(), e.what()));
    }
}

void gf_clearAirports()
{
    g_airports.clear();
    g_airportCodeSet.clear();
    lf_airportsRead = false;
}

bool gf_isKnownAirport(uint32_t code) { return g_airportCodeSet.contains(code); }

std::optional<AirportCode> gf_findAirportByCode(std::string_view text)
{
    if (text.size() < 4) return std::nullopt;
    // Every code in the set is valid, so a hit can be rebuilt as a checked code.
    if (!gf_isKnownAirport(lf_wordOf(text.data()))) return std::nullopt;
    std::string upper(text.substr(0, 4));
    std::transform(upper.begin(), upper.end(), upper.begin(), lf_upper);
    return AirportCode(upper);
}

std::optional<AirportCode> gf_findAirportByName(const std::filesystem::path& path)
{
    const std::string text = gf_pathToUtf8(path);
    std::optional<AirportCode> first;
    // Each "-XXXX-" window of the path is a candidate; of several, g_airports (sorted by code)
    // would meet the smallest first.
    for (std::size_t i = 0; i + 5 < text.size(); ++i) {
        if (text[i] != '-' || text[i + 5] != '-') continue;
        const std::optional<AirportCode> found = gf_findAirportByCode(text.substr(i + 1, 4));
        if (found && (!first || found->text() < first->text())) first = found;
    }
    return first;
}

std::string gf_airportText(const Airport& airport)
{
    const char lead = airport.code.chars()[0];
    std::string text = (lead == ' ' || lead == '\0') ? "?" : std::string(airport.code.text());
    if (airport.secondCode.text() != g_placeholderCode3) {
        text += fmt::format(" ({})", airport.secondCode.text());
    }
    return text;
}

}  // namespace qel
