// Shared pieces of the livery scan tests: a small aircraft database put straight into the
// tables, aircraft.cfg files written in any charset, and the scan's collections emptied around
// each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "liveries/livery_parsing.h"
#include "liveries/livery_scan.h"
#include "liveries_fixtures.h"
#include "support/test_support.h"

namespace qel {

namespace test {

// A livery as a test writes it: codes as text.
inline Livery makeLivery(const std::string& title, const std::string& airline,
                         const std::string& model, const std::string& registration = "",
                         bool cargo = false, uint16_t folder = 1,
                         const std::string& operatorCode = "")
{
    Livery l;
    l.title = title;
    l.registration = registration;
    l.key.airline = gf_airlineIndex(airline);
    l.key.operatorId = gf_airlineIndex(operatorCode);
    l.key.model = gf_modelIndex(model);
    l.key.cargo = cargo ? 1 : 0;
    l.folderNumber = folder;
    return l;
}

// The database the scan tests read: a few models (B744 heavy), airlines, one fix, fleet
// records and country prefixes.
class LiveryScanTest : public LiveriesTest {
protected:
    void SetUp() override
    {
        LiveriesTest::SetUp();
        gf_clearLiveries();
        g_liveries.clear();
        gf_airlineIndex("");
        gf_modelIndex("");
        for (const char* model : {"A320", "A20N", "B738", "B744", "C172", "E75L", "PC12"}) {
            g_icaoModelCodes.insert(model);
            gf_modelIndex(model);
        }
        for (const char* airline : {"DLH", "BAW", "KLM", "ZZZ", "EWG", "BOX", "AAL"}) {
            g_icaoAirlineCodes.insert(airline);
            gf_airlineIndex(airline);
        }
        g_heavyModels.insert(gf_modelIndex("B744"));
        gf_addModelFix("B38M", "B738");
        g_modelCodeFixActive = true;
        auto key = [](const char* airline, const char* model, const char* op = "",
                      bool cargo = false) {
            return MatchKey{gf_airlineIndex(airline), gf_airlineIndex(op), gf_modelIndex(model),
                            static_cast<uint8_t>(cargo ? 1 : 0), 0};
        };
        g_registrations = {
            {"D-", MatchKey{}},
            {"D-AIAB", key("DLH", "A320")},
            {"G-", MatchKey{}},
            {"G-EUPA", key("BAW", "B744", "BOX", true)},
            {"N", MatchKey{}},
            {"VP-B", MatchKey{}},
        };
        gf_indexShortRegistrations();
    }
    void TearDown() override
    {
        gf_clearLiveries();
        g_liveries.clear();
        g_modelCodeFixActive = false;
        LiveriesTest::TearDown();
    }

    static std::vector<Livery> parse(const std::filesystem::path& path, uint32_t folder = 1)
    {
        const LiveryList list = lf_parseAircraftCfg(folder, path);
        return {list.begin(), list.end()};
    }

    TempDir dir_;
};

// The text as UTF-16 with a byte-order mark, little or big endian; the text is ASCII or
// Latin-1 characters written as UTF-8.
inline std::string utf16(const std::string& utf8, bool bigEndian)
{
    std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned code = static_cast<unsigned char>(utf8[i]);
        if (code >= 0xC0 && i + 1 < utf8.size()) {
            code = ((code & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
        }
        const char high = static_cast<char>(code >> 8);
        const char low = static_cast<char>(code & 0xFF);
        out += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return out;
}

// Latin-1 characters written as UTF-8, as Windows-1252 bytes.
inline std::string latin1(const std::string& utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0xC0 && i + 1 < utf8.size()) {
            out += static_cast<char>(((c & 0x1F) << 6) |
                                     (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

inline void writeCfg(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    writeFile(path, bytes);
}

}  // namespace test
}  // namespace qel
