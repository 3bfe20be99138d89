// The livery titles the stand-in simulator knows from installed packages: every [fltsim.N]
// title of the aircraft.cfg files below a packages folder, as the simulator reads them.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

#include "standins/simulator/sim_config.h"

namespace qel::simstandin {
namespace {

std::string lf_lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string lf_trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

void lf_appendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Package files come as UTF-8 (with or without a byte-order mark) or as UTF-16 with one.
std::string lf_utf8(const std::string& bytes)
{
    const auto byte = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]));
    };
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        return bytes.substr(3);
    }
    const bool little = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
    const bool big = bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
    if (!little && !big) return bytes;
    std::string out;
    uint32_t high = 0;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const uint32_t unit =
            little ? (byte(i) | (byte(i + 1) << 8)) : ((byte(i) << 8) | byte(i + 1));
        if (unit >= 0xD800 && unit < 0xDC00) {
            high = unit;
            continue;
        }
        if (unit >= 0xDC00 && unit < 0xE000) {
            if (high) lf_appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
            high = 0;
            continue;
        }
        high = 0;
        lf_appendUtf8(out, unit);
    }
    return out;
}

// The value of "key = value": a quoted value up to its closing quote, otherwise up to a ';'
// comment, trimmed.
std::string lf_value(const std::string& line)
{
    std::string value = lf_trim(line.substr(line.find('=') + 1));
    if (!value.empty() && value.front() == '"') {
        const auto close = value.find('"', 1);
        return close == std::string::npos ? value.substr(1) : value.substr(1, close - 1);
    }
    return lf_trim(value.substr(0, value.find(';')));
}

std::string lf_key(const std::string& line)
{
    const auto equals = line.find('=');
    return equals == std::string::npos ? std::string() : lf_lower(lf_trim(line.substr(0, equals)));
}

void lf_readAircraftCfg(const std::filesystem::path& file,
                        std::map<std::string, LiveryConfig>& liveries)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::istringstream text(lf_utf8(bytes.str()));
    std::string model;
    bool helicopter = false;
    bool inFltsim = false;
    std::vector<std::string> titles;
    std::string line;
    while (std::getline(text, line)) {
        const std::string trimmed = lf_trim(line);
        if (trimmed.starts_with("[")) {
            inFltsim = lf_lower(trimmed).starts_with("[fltsim.");
            continue;
        }
        const std::string key = lf_key(trimmed);
        if (key.empty() || trimmed.starts_with("//") || trimmed.starts_with(";")) continue;
        if (key == "title" && inFltsim) {
            const std::string title = lf_value(trimmed);
            if (!title.empty()) titles.push_back(title);
        } else if (key == "icao_type_designator" && model.empty()) {
            model = lf_value(trimmed);
        } else if (key == "category") {
            helicopter = lf_lower(lf_value(trimmed)) == "helicopter";
        }
    }
    for (const std::string& title : titles) {
        if (liveries.contains(title)) continue;
        LiveryConfig livery;
        livery.title = title;
        livery.atcModel = model;
        livery.helicopter = helicopter;
        liveries.emplace(title, livery);
    }
}

}  // namespace

void addPackageLiveries(const std::filesystem::path& folder,
                        std::map<std::string, LiveryConfig>& liveries)
{
    std::error_code error;
    std::filesystem::recursive_directory_iterator it(
        folder, std::filesystem::directory_options::skip_permission_denied, error);
    if (error) {
        throw std::runtime_error(
            fmt::format("scenario: simulator.packages_folder: cannot read {}", folder.string()));
    }
    std::vector<std::filesystem::path> files;
    for (; it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (error) break;
        const bool cfg = lf_lower(it->path().filename().string()) == "aircraft.cfg";
        if (cfg && it->is_regular_file(error)) files.push_back(it->path());
    }
    // The same titles win on every machine, whatever order the folder walk takes.
    std::sort(files.begin(), files.end());
    for (const auto& file : files) lf_readAircraftCfg(file, liveries);
}

}  // namespace qel::simstandin
