#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/codes.h"
#include "liveries/liveries.h"
#include "liveries_fixtures.h"
#include "support/test_support.h"

namespace qel {
namespace {

using test::CapturedLog;

class ModelHelpers : public test::LiveriesTest {
protected:
    static void setRegistrations(const std::vector<std::pair<std::string, MatchKey>>& records)
    {
        g_registrations.clear();
        for (const auto& [key, match] : records) g_registrations.push_back({key, match});
        std::sort(g_registrations.begin(), g_registrations.end(),
                  [](const RegPrefix& a, const RegPrefix& b) { return a.key < b.key; });
        gf_indexShortRegistrations();
    }
};

TEST_F(ModelHelpers, SizeCategoryTestsTheSetsInFixedOrder)
{
    struct Case {
        std::vector<std::set<uint16_t>*> sets;
        SizeCategory expected;
    };
    const std::vector<Case> cases = {
        {{}, SizeCategory::Light},
        {{&g_buzjetModels}, SizeCategory::Buzjets},
        {{&g_largeModels}, SizeCategory::Large},
        {{&g_heavyModels}, SizeCategory::Heavy},
        {{&g_highPerformanceModels}, SizeCategory::HighPerf},
        {{&g_rotorcraftModels}, SizeCategory::Rotorcraft},
        {{&g_largeModels, &g_heavyModels}, SizeCategory::Large},
        {{&g_heavyModels, &g_buzjetModels}, SizeCategory::Heavy},
        {{&g_buzjetModels, &g_rotorcraftModels}, SizeCategory::Buzjets},
        {{&g_rotorcraftModels, &g_highPerformanceModels}, SizeCategory::Rotorcraft},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        reset();
        const uint16_t id = gf_modelIndex("TYPE");
        for (auto* set : cases[i].sets) set->insert(id);
        EXPECT_EQ(gf_sizeCategory(id), static_cast<int>(cases[i].expected)) << i;
        EXPECT_EQ(gf_sizeCategoryOfCode("TYPE"), static_cast<int>(cases[i].expected)) << i;
    }
    // An unknown code is interned and is light.
    EXPECT_EQ(gf_sizeCategoryOfCode("NEWT"), static_cast<int>(SizeCategory::Light));
    EXPECT_TRUE(g_modelCodes.find("NEWT"));
}

TEST(RegistrationCandidates, AddDashedFormsOnlyWhereADashIsMissing)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"DAIAB", {"DA-IAB", "D-AIAB", "DAIAB"}},
        {"GEUPAB", {"GE-UPAB", "G-EUPAB", "GEUPAB"}},
        {"D-AIAB", {"D-AIAB"}},
        {"N123AB", {"N123AB"}},
        {"GABC", {"GABC"}},
        {"", {""}},
    };
    for (const auto& [registration, expected] : cases) {
        EXPECT_EQ(lf_prefixCandidates(registration), expected) << registration;
    }
}

TEST_F(ModelHelpers, RegistrationPrefixTakesTheFirstCandidateFound)
{
    const MatchKey lufthansa{1, 0, 1, 0};
    const MatchKey swiss{2, 0, 2, 0};
    const MatchKey plain{3, 0, 3, 0};
    const MatchKey empty{4, 0, 4, 0};
    setRegistrations({{"D-AIAB", lufthansa},
                      {"HB-JAB", swiss},
                      {"HBJABC", plain},
                      {"N123AB", plain},
                      {"", empty}});
    const std::vector<std::pair<std::string, std::optional<MatchKey>>> cases = {
        {"DAIAB", lufthansa},   // found as D-AIAB, the second candidate
        {"D-AIAB", lufthansa},  // already dashed
        {"HBJAB", swiss},       // HB-JAB, the first candidate
        {"HBJABC", plain},      // no dashed form known: the registration itself
        {"N123AB", plain},
        {"D-AIAC", std::nullopt},
        {"", std::nullopt},  // even with an empty key in the table
    };
    for (const auto& [registration, expected] : cases) {
        EXPECT_EQ(gf_registrationPrefix(registration), expected) << registration;
    }
}

TEST_F(ModelHelpers, RegistrationPrefixInTitleIsTheSmallestShortKeyFound)
{
    setRegistrations({{"D-A", {}},
                      {"EI-", {}},
                      {"G-", {}},
                      {"9H-", {}},
                      {"D-AIAB", {}},  // longer than 5 characters: never searched for
                      {"OE-LB", {}},
                      {"B-J", {}},
                      {"C-M", {}},
                      {"HB-", {}},
                      {"N1", {}}});
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"Airbus A320 Lufthansa D-AIAB", "D-A"},
        {"Ryanair EI-DCL G-RUKA", "EI-"},
        {"Air Malta 9H-NEB G-", "9H-"},  // "G-" alone is no registration
        {"Austrian OE-LBA", "OE-LB"},
        {"Delta N301DN", std::nullopt},
        {"", std::nullopt},
        // A key counts only where a registration-like word begins.
        {"Swiss HB-JLT", "HB-"},
        {"Swiss_HB-JLT_(2019)", "HB-"},
        {"Iberia EC-MAH", std::nullopt},
        {"Cessna 172 N12345", "N1"},
        {"Ryanair EI-D-Aviation", std::nullopt},    // a lower-case letter: no registration
        {"Private D-AIABCDEFGHIJK", std::nullopt},  // 14 characters: too long
    };
    for (const auto& [title, expected] : cases) {
        EXPECT_EQ(gf_findRegistrationPrefixIn(title), expected) << title;
    }
    setRegistrations({{"", {}}, {"D-A", {}}});
    EXPECT_EQ(gf_findRegistrationPrefixIn("no prefix here"), std::string());
}

TEST_F(ModelHelpers, RegistrationPrefixInTitleAgreesWithAWalkOfTheTable)
{
    // The lookup answers from an index; the table walk in key order, over the words of the
    // text, is the reference.
    std::mt19937 engine(7);
    const std::string alphabet = "AB-9 a";
    const auto randomText = [&](std::size_t length) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += alphabet[engine() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 20; ++round) {
        std::vector<std::pair<std::string, MatchKey>> records;
        for (int i = 0; i < 30; ++i) records.emplace_back(randomText(1 + engine() % 7), MatchKey{});
        setRegistrations(records);
        for (int probe = 0; probe < 50; ++probe) {
            const std::string text = randomText(engine() % 16);
            std::vector<std::string> registrations;
            std::istringstream words(text);
            for (std::string word; words >> word;) {
                if (word.size() >= 3 && word.size() <= 12 && word.find('a') == std::string::npos) {
                    registrations.push_back(word);
                }
            }
            std::optional<std::string> walked;
            for (const auto& record : g_registrations) {
                if (record.key.size() <= 5 &&
                    std::any_of(registrations.begin(), registrations.end(),
                                [&](const std::string& r) { return r.starts_with(record.key); })) {
                    walked = record.key;
                    break;
                }
            }
            ASSERT_EQ(gf_findRegistrationPrefixIn(text), walked) << text;
        }
    }
}

TEST(ContainsNoCase, ComparesAsciiLettersWithoutCase)
{
    const std::vector<std::tuple<std::filesystem::path, std::string, bool>> cases = {
        {"/Community/aerosoft-eddf/scenery", "Aerosoft", true},
        {"/Community/AEROSOFT-eddf", "aerosoft", true},
        {"/Community/flytampa-kbos", "Aerosoft", false},
        {"/Community/x", "", true},
        {"/Community/ÄRO", "äro", false},  // only ASCII letters are folded
        {"/Community/ÄRO", "ÄRO", true},
    };
    for (const auto& [path, needle, expected] : cases) {
        EXPECT_EQ(lf_containsNoCase(path, needle), expected) << path << " " << needle;
    }
}

TEST_F(ModelHelpers, PublisherOfPathIsTheFirstGroupWithAMatchingEntry)
{
    g_publishers = {{"Aerosoft", "aerosoft-sim"}, {"FlyTampa", "ftx"}, {"Orbx", "orbx", "Aero"}};
    const std::vector<std::pair<std::filesystem::path, std::optional<std::string>>> cases = {
        {"/Community/aerosoft-eddf", "Aerosoft"},
        {"/Community/AEROSOFT-SIM-lowi", "Aerosoft"},
        {"/Community/FTX-KBOS", "FlyTampa"},
        {"/Community/orbx-ybbn", "Orbx"},
        {"/Community/aeroport-lfpg", "Orbx"},  // "Aero" of the third group, without case
        {"/Community/fsdt-kclt", std::nullopt},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(gf_publisherOfPath(path), expected) << path;
    }
    // An empty pattern (a stray comma) matches no path.
    g_publishers = {{"Aerosoft"}, {"Anyone", ""}};
    EXPECT_EQ(gf_publisherOfPath("/Community/fsdt-kclt"), std::nullopt);
}

TEST(ParseCodeNumber, ReadsTheNumberAfterTheCode)
{
    const std::string label = "Aerosoft";
    struct Case {
        const char* code;
        std::string text;
        bool begins;
        int number;  // -1: left unchanged
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {"EDDF", "EDDF12", true, 12, {}},
        {"EDDF", "EDDF", true, -1, {"==> Aerosoft EDDF EDDF invalid number"}},
        {"EDDF", "EDDFx", true, -1, {"==> Aerosoft EDDF EDDFx invalid number"}},
        {"EDDF", "EGLL3", false, -1, {}},
        {"EDDF", "EDD", false, -1, {}},
        {nullptr, "    7", true, 7, {}},
        {"\0\0\0\0", "EDDF1", false, -1, {}},
    };
    for (const auto& c : cases) {
        CapturedLog log;
        int number = -1;
        const CodeNumberContext context{&label, c.code, &number};
        EXPECT_EQ(gf_parseCodeNumber(context, c.text), c.begins) << c.text;
        EXPECT_EQ(number, c.number) << c.text;
        EXPECT_EQ(log.lines(), c.log) << c.text;
    }
}

}  // namespace
}  // namespace qel
