#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/codes.h"
#include "liveries/liveries.h"
#include "liveries_fixtures.h"
#include "support/test_support.h"

namespace qel {
namespace {

using test::CapturedLog;
using test::DbaseSections;
using test::ScopedWorkDir;
using test::writeEncrypted;

constexpr double halfSpanNmPerMetre = 0.5 / 1852.0;

class AircraftDatabase : public test::LiveriesTest {
protected:
    static void install(const DbaseSections& sections)
    {
        writeEncrypted("input/dbase.enc", sections.xml());
    }
    static uint16_t modelId(const std::string& code) { return g_modelCodes.find(code).value(); }
    static uint16_t airlineId(const std::string& code)
    {
        return g_airlineCodes.find(code).value();
    }

    ScopedWorkDir work_;
};

TEST_F(AircraftDatabase, ReadsEverySectionIntoItsTable)
{
    CapturedLog log;
    install(DbaseSections{});
    ASSERT_TRUE(gf_readDbase());

    EXPECT_EQ(g_icaoModelCodes,
              (CodeSet{"A320", "B738", "B744", "C172", "EC35", "F16", "GLF6"}));
    // The empty code first, then the model codes in ascending order, then the cargo types.
    const std::vector<std::string> models = {"",     "A320", "B738", "B744", "C172",
                                             "EC35", "F16",  "GLF6", "B74F"};
    for (std::size_t id = 0; id < models.size(); ++id) {
        EXPECT_EQ(g_modelCodes.text(static_cast<uint16_t>(id)), models[id]) << id;
    }
    const std::vector<std::string> airlines = {"", "BAW", "DLH", "BOX"};
    for (std::size_t id = 0; id < airlines.size(); ++id) {
        EXPECT_EQ(g_airlineCodes.text(static_cast<uint16_t>(id)), airlines[id]) << id;
    }
    EXPECT_TRUE(g_modelCodeFixActive);
    EXPECT_EQ(g_icaoAirlineCodes, (CodeSet{"BAW", "DLH"}));

    EXPECT_EQ(g_heavyModels, (std::set<uint16_t>{modelId("B744"), modelId("B74F")}));
    EXPECT_EQ(g_largeModels, (std::set<uint16_t>{modelId("A320"), modelId("B738")}));
    EXPECT_EQ(g_buzjetModels, std::set<uint16_t>{modelId("GLF6")});
    EXPECT_EQ(g_highPerformanceModels, std::set<uint16_t>{modelId("F16")});
    EXPECT_EQ(g_rotorcraftModels, std::set<uint16_t>{modelId("EC35")});

    // Group members are trimmed and sorted; a doubled comma leaves an empty member.
    EXPECT_EQ(g_similarTypeGroups, (StringGroups{{"A320", "B738"}, {"", "B744", "B74F"}}));
    EXPECT_EQ(g_prefixGroups, (StringGroups{{"D-A", "D-B"}, {"G-"}}));
    EXPECT_EQ(g_publishers, (StringGroups{{"Aerosoft", "aerosoft-sim"}, {"FlyTampa"}}));

    EXPECT_NEAR(gf_wingspan(modelId("A320")), 35.8 * halfSpanNmPerMetre, 1e-12);
    EXPECT_NEAR(g_maxHalfSpanNm, 35.8 * halfSpanNmPerMetre, 1e-12);
    EXPECT_EQ(gf_wingspan(modelId("B738")), 0.0);
    EXPECT_EQ(g_modelFixes.at("B38M"), "B738");

    EXPECT_EQ(g_simAddonAirports20, (CodeSet{"EDDF", "EGLL"}));
    ASSERT_EQ(g_thirdPartyAirports20.size(), 1u);
    EXPECT_EQ(g_thirdPartyAirports20[0].publisher, "Aerosoft");
    EXPECT_EQ(g_thirdPartyAirports20[0].airports,
              (std::vector<std::string>{"EDDF", "", "LOWW"}));
    ASSERT_EQ(g_thirdPartyAirports24.size(), 1u);
    EXPECT_EQ(g_thirdPartyAirports24[0].airports, std::vector<std::string>{"KBOS"});

    ASSERT_EQ(g_registrations.size(), 2u);
    EXPECT_EQ(g_registrations[0].key, "D-AIAB");
    EXPECT_EQ(g_registrations[0].match, (MatchKey{airlineId("DLH"), 0, modelId("A320"), 0}));
    // "o" and "c" read; the wrong model code of the fleet record goes through the fixes.
    EXPECT_EQ(g_registrations[1].key, "G-");
    EXPECT_EQ(g_registrations[1].match,
              (MatchKey{airlineId("BAW"), airlineId("BOX"), modelId("B738"), 1}));
    EXPECT_FALSE(g_modelCodes.find("B38M"));

    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "", "    7 ICAO model codes", "    2 prefixes",
                               "    2 ICAO airline codes", "    1 cargo operators",
                               "    2 publishers", "    1 fixes", "    2 dbase records read"}));
    EXPECT_FALSE(std::filesystem::exists("input/dbase.xml"));
}

TEST_F(AircraftDatabase, RequiredSectionMissingOrEmptyIsUserError61)
{
    struct Required {
        const char* section;
        const char* element;
        const char* attribute;
    };
    const std::vector<Required> required = {
        {"aircrafts", "aircraft", "types"},     {"cargo_types", "cargo_type", "types"},
        {"heavy", "hvy", "types"},              {"large", "lar", "types"},
        {"buzjet", "bzj", "types"},             {"high_performance", "hpf", "types"},
        {"rotorcraft", "rot", "types"},         {"ICAO_airlines", "ICAO", "codes"},
        {"cargo_operators", "ICAO", "codes"},   {"simaddons20", "simaddon20", "arpts"},
    };
    struct Case {
        std::string xml;
        std::string message;
    };
    std::vector<Case> cases;
    for (const auto& r : required) {
        DbaseSections missing;
        missing.drop(r.section);
        cases.push_back({missing.xml(), fmt::format("61: Missing section: {}", r.section)});
        // Elements whose values hold no code at all, and one without the attribute.
        DbaseSections empty;
        empty.set(r.section, fmt::format(R"(<{0} {1}=",,"/><{0} {1}=""/><{0}/>)", r.element,
                                         r.attribute));
        cases.push_back(
            {empty.xml(),
             fmt::format("61: In XML file section [{}], element [{}], attribute [{}] is empty.",
                         r.section, r.element, r.attribute)});
    }
    cases.push_back({"<data><aircrafts/></data>", "61: XML root missing: root"});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        reset();
        writeEncrypted("input/dbase.enc", c.xml);
        try {
            gf_readDbase();
            ADD_FAILURE() << "no user error";
        } catch (const UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        // The deciphered database does not outlive a failed read.
        EXPECT_FALSE(std::filesystem::exists("input/dbase.xml"));
    }
}

TEST_F(AircraftDatabase, OptionalSectionsMayBeMissing)
{
    DbaseSections sections;
    for (const char* name : {"similar_types", "prefixes", "publishers", "wingspans",
                             "thirdparties20", "thirdparties24", "dbase"}) {
        sections.drop(name);
    }
    sections.set("fixes", "");
    CapturedLog log;
    install(sections);
    ASSERT_TRUE(gf_readDbase());
    EXPECT_TRUE(g_similarTypeGroups.empty());
    EXPECT_TRUE(g_prefixGroups.empty());
    EXPECT_TRUE(g_similarPrefixes.empty());
    EXPECT_TRUE(g_publishers.empty());
    EXPECT_TRUE(g_wingspans.empty());
    EXPECT_EQ(g_maxHalfSpanNm, 0.0);
    EXPECT_TRUE(g_modelFixes.empty());
    EXPECT_TRUE(g_thirdPartyAirports20.empty());
    EXPECT_TRUE(g_thirdPartyAirports24.empty());
    EXPECT_TRUE(g_registrations.empty());
    // A fixes section without entries still reports its count.
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "", "    7 ICAO model codes", "    0 prefixes",
                               "    2 ICAO airline codes", "    1 cargo operators",
                               "    0 publishers", "    0 fixes", "    0 dbase records read"}));
}

TEST_F(AircraftDatabase, FixesAreCheckedAndApplyToCodesInternedLater)
{
    DbaseSections sections;
    sections.set("fixes", R"(<fx wro="B38M" cor="B738"/><fx wro="A20N" cor="XXXX"/>)"
                          R"(<fx wro="A21N"/><fx wro="B38M" cor="A320"/>)"
                          R"(<fx wro="A320" cor="B738"/>)");
    sections.set("dbase", R"(<d r="D-AIAB" m="A320"/><d r="EI-ABC" m="B38M"/>)");
    CapturedLog log;
    install(sections);
    ASSERT_TRUE(gf_readDbase());

    EXPECT_EQ(g_modelFixes, (std::map<std::string, std::string, std::less<>>{
                                {"A320", "B738"}, {"B38M", "B738"}}));
    EXPECT_TRUE(log.contains("==> wrong fix A20N -> XXXX, the latter is not valid"));
    EXPECT_TRUE(log.contains("==> wrong fix A21N -> , the latter is not valid"));
    EXPECT_TRUE(log.contains("==> wrong part of fix: 'B38M', already exists, skipped"));
    EXPECT_TRUE(log.contains("    2 fixes"));
    // A fix of a known code changes nothing: the code has its own id before fixes are asked.
    EXPECT_EQ(gf_registrationPrefix("D-AIAB")->model, modelId("A320"));
    EXPECT_EQ(gf_registrationPrefix("EI-ABC")->model, modelId("B738"));
    EXPECT_EQ(gf_modelIndex("B38M"), modelId("B738"));
    EXPECT_EQ(gf_modelAlias("B38M"), "B738");
    EXPECT_EQ(gf_modelAlias("B739"), std::nullopt);
}

TEST_F(AircraftDatabase, WingspansSkipUnknownTypesAndKeepTheFirstEntry)
{
    DbaseSections sections;
    sections.set("wingspans", R"(<wingspan type="A320" meters="35.8"/>)"
                              R"(<wingspan type="A320" meters="80"/>)"
                              R"(<wingspan type="ZZZZ" meters="20"/><wingspan meters="20"/>)"
                              R"(<wingspan type="B738"/><wingspan type="B744" meters="64.4"/>)");
    CapturedLog log;
    install(sections);
    ASSERT_TRUE(gf_readDbase());

    EXPECT_NEAR(gf_wingspan(modelId("A320")), 35.8 * halfSpanNmPerMetre, 1e-12);
    EXPECT_EQ(gf_wingspan(modelId("B738")), 0.0);  // entry without "meters"
    EXPECT_NEAR(gf_wingspan(modelId("B744")), 64.4 * halfSpanNmPerMetre, 1e-12);
    EXPECT_EQ(gf_wingspan(modelId("C172")), 0.0);  // no entry at all
    // A repeated type still raises the largest span.
    EXPECT_NEAR(g_maxHalfSpanNm, 80.0 * halfSpanNmPerMetre, 1e-12);
    EXPECT_FALSE(g_wingspans.contains("ZZZZ"));
    EXPECT_TRUE(log.contains("==> wingspan model ZZZZ is not valid, skipped"));
    EXPECT_TRUE(log.contains("==> wingspan model  is not valid, skipped"));
}

TEST_F(AircraftDatabase, WingspanOfAModelIdBeyond2700IsKept)
{
    // 3000 model codes push the last one's id past any fixed table of 2700 entries.
    std::string types;
    for (int i = 0; i < 3000; ++i) types += fmt::format("{}M{:04}", i == 0 ? "" : ",", i);
    DbaseSections sections;
    sections.set("aircrafts", R"(<aircraft types="A320,B738,B744,C172,EC35,GLF6,F16"/>)"
                              R"(<aircraft types=")" + types + R"("/>)");
    sections.set("wingspans", R"(<wingspan type="M2999" meters="40"/>)");
    install(sections);
    ASSERT_TRUE(gf_readDbase());

    const uint16_t id = modelId("M2999");
    ASSERT_GE(id, 2700);
    EXPECT_NEAR(gf_wingspan(id), 40.0 * halfSpanNmPerMetre, 1e-12);
    // Models interned after the read have no span, like a model without entry.
    EXPECT_EQ(gf_wingspan(gf_modelIndex("NEW1")), 0.0);
    EXPECT_EQ(gf_wingspan(65535), 0.0);
}

TEST_F(AircraftDatabase, DuplicateRegistrationKeysLeaveOneRecordInKeyOrder)
{
    DbaseSections sections;
    sections.set("dbase", R"(<d r="G-EUPA" a="BAW" m="A320"/><d r="D-AIAB" a="DLH" m="A320"/>)"
                          R"(<d r="G-EUPA" a="DLH" m="B744"/><d r="9H-" a="DLH"/>)"
                          R"(<d r="D-AIAB" a="BAW" m="B738"/>)");
    CapturedLog log;
    install(sections);
    ASSERT_TRUE(gf_readDbase());

    std::vector<std::string> keys;
    for (const auto& record : g_registrations) keys.push_back(record.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"9H-", "D-AIAB", "G-EUPA"}));
    // The first record of a key in the file is the one kept.
    EXPECT_EQ(gf_registrationPrefix("G-EUPA")->airline, airlineId("BAW"));
    EXPECT_EQ(gf_registrationPrefix("D-AIAB")->model, modelId("A320"));
    EXPECT_EQ(gf_registrationPrefix("9H-")->model, 0);  // no "m": the empty code
    EXPECT_TRUE(log.contains("    3 dbase records read"));
}

TEST_F(AircraftDatabase, PrefixGroupsMapEachMemberToTheOthers)
{
    DbaseSections sections;
    sections.set("prefixes", R"(<similar types="D-A,D-B,D-C"/><similar types="G-"/>)"
                             R"(<similar types="D-A, EI-"/>)");
    install(sections);
    ASSERT_TRUE(gf_readDbase());

    EXPECT_EQ(g_similarPrefixes.size(), 4u);  // D-A, D-B, D-C, EI-; the lone G- has none
    EXPECT_TRUE(gf_similarPrefixes("G-").empty());
    EXPECT_TRUE(gf_similarPrefixes("XX-").empty());
    // D-A stands in two groups: the list of the smaller line "D-A,D-B,D-C" wins.
    auto others = gf_similarPrefixes("D-A");
    std::sort(others.begin(), others.end());
    EXPECT_EQ(others, (std::vector<std::string>{"D-B", "D-C"}));
    EXPECT_EQ(gf_similarPrefixes("EI-"), std::vector<std::string>{"D-A"});

    // Every call hands out a permutation of the same members; over many calls more than one.
    std::set<std::vector<std::string>> orders;
    for (int i = 0; i < 50; ++i) {
        const auto& list = gf_similarPrefixes("D-B");
        std::vector<std::string> sorted = list;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, (std::vector<std::string>{"D-A", "D-C"}));
        orders.insert(list);
    }
    EXPECT_EQ(orders.size(), 2u);

    // Shuffled copies: threads ask at once while the table stays as read.
    const auto ask = [] {
        for (int i = 0; i < 200; ++i) EXPECT_EQ(gf_similarPrefixes("D-A").size(), 2u);
    };
    std::thread other(ask);
    ask();
    other.join();
    EXPECT_EQ(g_similarPrefixes.at("D-A"), (std::vector<std::string>{"D-B", "D-C"}));
}

TEST_F(AircraftDatabase, PublisherGroupsAreDeduplicatedAndNeedAName)
{
    DbaseSections sections;
    sections.set("publishers", R"(<pub names="FlyTampa"/><pub names="FlyTampa"/><pub names=""/>)"
                               R"(<pub/><pub names=" ,FSDT"/><pub names="Orbx , orbx-, "/>)");
    CapturedLog log;
    install(sections);
    ASSERT_TRUE(gf_readDbase());
    // A group without a name would claim every path for the empty publisher.
    EXPECT_EQ(g_publishers, (StringGroups{{"FlyTampa"}, {"Orbx", "orbx-", ""}}));
    EXPECT_TRUE(log.contains("    2 publishers"));
    EXPECT_EQ(gf_publisherOfPath("/Community/flytampa-kbos"), "FlyTampa");
    EXPECT_EQ(gf_publisherOfPath("/Community/fsdt-kclt"), std::nullopt);  // not its empty one
}

TEST_F(AircraftDatabase, UnreadableFilesFailAndLeaveNoPlainText)
{
    EXPECT_THROW(
        {
            try {
                gf_readDbase();
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "input/dbase.enc not available");
                throw;
            }
        },
        std::runtime_error);

    test::writeFile("input/dbase.enc", std::string(200, 'x'));
    try {
        gf_readDbase();
        ADD_FAILURE() << "no error for a damaged file";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "input/dbase.enc stream decrypt failed");
    }
    EXPECT_FALSE(std::filesystem::exists("input/dbase.xml"));

    const std::string broken = "<root><aircrafts></root>";
    pugi::xml_document probe;
    const std::string description = probe.load_string(broken.c_str()).description();
    CapturedLog log;
    writeEncrypted("input/dbase.enc", broken);
    EXPECT_FALSE(gf_readDbase());
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "==> 'input/dbase.xml' not read because of " + description});
    EXPECT_FALSE(std::filesystem::exists("input/dbase.xml"));
    EXPECT_TRUE(g_icaoModelCodes.empty());
}

}  // namespace
}  // namespace qel
