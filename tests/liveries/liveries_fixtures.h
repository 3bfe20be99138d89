// Shared pieces of the liveries tests: a working folder with an input folder, the data-file
// encryptor, a small aircraft database and the reset of every table between tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/decrypt.h"
#include "liveries/liveries.h"
#include "liveries/scanned_liveries.h"
#include "support/test_support.h"

namespace qel {

// A livery in a failure message: title, registration, codes and folder.
inline void PrintTo(const Livery& l, std::ostream* out)
{
    *out << fmt::format("{{'{}' '{}' {}/{}/{}/{} #{}}}", l.title, l.registration,
                        g_airlineCodes.text(l.key.airline), g_airlineCodes.text(l.key.operatorId),
                        g_modelCodes.text(l.key.model), l.key.cargo, l.folderNumber);
}

namespace test {

// A database document as named sections in file order; tests change or drop sections.
struct DbaseSections {
    std::vector<std::pair<std::string, std::string>> sections = {
        {"aircrafts",
         R"(<aircraft types="A320,B738,B744"/><aircraft types="C172,EC35,GLF6,F16"/>)"},
        {"cargo_types", R"(<cargo_type types="B74F"/>)"},
        {"heavy", R"(<hvy types="B744,B74F"/>)"},
        {"large", R"(<lar types="A320,B738"/>)"},
        {"buzjet", R"(<bzj types="GLF6"/>)"},
        {"high_performance", R"(<hpf types="F16"/>)"},
        {"rotorcraft", R"(<rot types="EC35"/>)"},
        {"similar_types", R"(<similar types="B738, A320"/><similar types="B744,,B74F"/>)"},
        {"prefixes", R"(<similar types="D-A,D-B"/><similar types="G-"/>)"},
        {"ICAO_airlines", R"(<ICAO codes="DLH,BAW"/>)"},
        {"cargo_operators", R"(<ICAO codes="BOX"/>)"},
        {"publishers", R"(<pub names="FlyTampa"/><pub names="Aerosoft, aerosoft-sim"/>)"},
        {"wingspans", R"(<wingspan type="A320" meters="35.8"/>)"},
        {"fixes", R"(<fx wro="B38M" cor="B738"/>)"},
        {"simaddons20", R"(<simaddon20 arpts="EDDF,EGLL"/>)"},
        {"thirdparties20", R"(<thirdpartie20 pub="Aerosoft" arpts="EDDF,,LOWW"/>)"},
        {"thirdparties24", R"(<thirdpartie24 pub="FlyTampa" arpts="KBOS"/>)"},
        {"dbase",
         R"(<d r="D-AIAB" a="DLH" m="A320"/><d r="G-" a="BAW" o="BOX" m="B38M" c="true"/>)"},
    };

    void set(const std::string& name, const std::string& body)
    {
        for (auto& [section, text] : sections) {
            if (section == name) {
                text = body;
                return;
            }
        }
        sections.emplace_back(name, body);
    }
    void drop(const std::string& name)
    {
        std::erase_if(sections, [&](const auto& section) { return section.first == name; });
    }
    std::string xml() const
    {
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n";
        for (const auto& [name, body] : sections) {
            text += "<" + name + ">" + body + "</" + name + ">\n";
        }
        return text + "</root>\n";
    }
};

// Empties the code tables and the aircraft database before and after each test.
class LiveriesTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        gf_clearAircraftDatabase();
        g_airlineCodes.clear();
        g_modelCodes.clear();
    }
};

}  // namespace test
}  // namespace qel
