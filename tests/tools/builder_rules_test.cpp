#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/datafile_builder.h"

namespace qel::datafile {
namespace {

TEST(BuilderRules, CodeFiltersAcceptOnlyTheirShapes)
{
    struct Case {
        std::function<bool(std::string_view)> test;
        const char* name;
        std::vector<std::string> accepted;
        std::vector<std::string> rejected;
    };
    const std::vector<Case> cases = {
        {isAirportCode, "airport", {"EHAM", "00AK", "K2A0"},
         {"EHA", "EHAMX", "eham", "_AYM", "EH-M", "", "EH M"}},
        {isShortAirportCode, "short airport", {"AMS", "2A0"}, {"AM", "AMSX", "ams", "A-S"}},
        {isTypeDesignator, "type", {"A1", "F16", "B738"}, {"A", "B7380", "-GND", "b738"}},
        {isAirlineDesignator, "airline", {"KLM"}, {"KL", "KLMX", "K1M", "klm"}},
        {isRegistration, "registration", {"PH-BXA", "N123AB", "ABC", "A1234567890B"},
         {"AB", "A1234567890BC", "T.18-1", "55+03", "---", "ph-bxa"}},
    };
    for (const auto& [test, name, accepted, rejected] : cases) {
        for (const auto& code : accepted) EXPECT_TRUE(test(code)) << name << ' ' << code;
        for (const auto& code : rejected) EXPECT_FALSE(test(code)) << name << ' ' << code;
    }
}

TEST(BuilderRules, WingspanFeetBecomeMetres)
{
    EXPECT_DOUBLE_EQ(feetToMetres(117.4), 35.78352);
    EXPECT_DOUBLE_EQ(feetToMetres(36.1), 11.00328);
    EXPECT_DOUBLE_EQ(feetToMetres(0.0), 0.0);
}

TEST(BuilderRules, ModelTypeRowsMergePerDesignator)
{
    const CsvTable table = parseCsv(
        "ICAO,Manufacturer,Model,Engines,EngineTypeCode,EnginePlacementCode,SpeciesCode,"
        "WakeTurbulenceCode,IsActive\n"
        "-GND,,Ground Vehicle,,,,,,1\n"
        "H25B,Hawker,800,2,J,,L,L,1\n"
        "H25B,British Aerospace,BAe-125-800,2,J,,L,M,0\n"
        "HAWK,BAE,Hawk,1,J,,L,L/M,1\n"
        "HAWK,BAE,Hawk 200,1,J,,L,L,0\n"
        "CONC,Aerospatiale,Concorde,4,J,,L,H,0\n"
        "P28U,Piper,Cherokee,,,,,,1\n"
        "P28U,Piper,Cherokee Six,1,P,,L,L,0\n",
        "model-types.csv");
    const auto types = mergeModelTypes(table);
    ASSERT_EQ(types.size(), 4u);  // "-GND" is no designator
    const ModelType& h25b = types.at("H25B");
    EXPECT_EQ(h25b.wake, "M");  // the heaviest of its rows
    EXPECT_TRUE(h25b.active);   // one row in use is enough
    EXPECT_EQ(h25b.engines, 2);
    EXPECT_EQ(types.at("HAWK").wake, "L/M");
    EXPECT_FALSE(types.at("CONC").active);
    const ModelType& p28u = types.at("P28U");  // the first row that knows speaks
    EXPECT_EQ(p28u.species, 'L');
    EXPECT_EQ(p28u.engineType, 'P');
    EXPECT_EQ(p28u.engines, 1);
}

TEST(BuilderRules, SizeCategoryComesFromOverridesThenWakeSpeciesAndEngines)
{
    const CategoryOverrides overrides{{"GLF5", "SF50"}, {"F16", "L39"}};
    struct Case {
        ModelType type;
        TypeCategory expected;
    };
    const std::vector<Case> cases = {
        {{"A388", "H", 'L', 'J', 4, true}, TypeCategory::Heavy},
        {{"B738", "M", 'L', 'J', 2, true}, TypeCategory::Large},
        {{"AT72", "M", 'L', 'T', 2, true}, TypeCategory::Large},
        {{"CL41", "M", 'A', 'P', 2, true}, TypeCategory::Large},
        {{"C172", "L", 'L', 'P', 1, true}, TypeCategory::Light},
        {{"BE20", "L/M", 'L', 'T', 2, true}, TypeCategory::Light},
        {{"C525", "L", 'L', 'J', 2, true}, TypeCategory::BusinessJet},
        {{"BD5J", "L", 'L', 'J', 1, true}, TypeCategory::Light},
        {{"JETS", "L", 'S', 'J', 2, true}, TypeCategory::Light},
        {{"EC35", "L", 'H', 'T', 2, true}, TypeCategory::Rotorcraft},
        {{"MI26", "H", 'H', 'T', 2, true}, TypeCategory::Rotorcraft},
        {{"V22", "M", 'T', 'T', 2, true}, TypeCategory::Rotorcraft},
        {{"GYRO", "L", 'G', 'P', 1, true}, TypeCategory::Rotorcraft},
        {{"GLF5", "M", 'L', 'J', 2, true}, TypeCategory::BusinessJet},
        {{"SF50", "L", 'L', 'J', 1, true}, TypeCategory::BusinessJet},
        {{"F16", "M", 'L', 'J', 1, true}, TypeCategory::HighPerformance},
        {{"L39", "L", 'L', 'J', 1, true}, TypeCategory::HighPerformance},
    };
    for (const auto& [type, expected] : cases) {
        EXPECT_EQ(categorise(type, overrides), expected) << type.code;
    }
}

TEST(BuilderSources, CsvCellsMayBeQuotedAndRowsMustBeWhole)
{
    const CsvTable table = parseCsv("\xEF\xBB\xBF\"a\",b\r\n\"x, y\",\"say \"\"hi\"\"\"\n"
                                    "\"two\nlines\",2\n\n",
                                    "t.csv");
    EXPECT_EQ(table.header, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(table.rows, (std::vector<std::vector<std::string>>{{"x, y", "say \"hi\""},
                                                                 {"two\nlines", "2"}}));
    EXPECT_EQ(table.column("b"), 1u);
    EXPECT_THROW(table.column("c"), SourceError);
    EXPECT_THROW(parseCsv("a,b\n1,2,3\n", "t.csv"), SourceError);
    EXPECT_THROW(parseCsv("a,b\n\"1,2\n", "t.csv"), SourceError);
}

TEST(BuilderSources, ListCommentsStartAtLineStartOrAfterABlank)
{
    EXPECT_EQ(parseListText("# heading\n\nA124  # Antonov\n  B738\t\r\n"
                            "Title #1;PH-BXA;#\n#   Orbx;EGLC\nDrzewiecki Design,drzewiecki"),
              (std::vector<std::string>{"A124", "B738", "Title", "Drzewiecki Design,drzewiecki"}));
    EXPECT_EQ(parseListText("Boeing 737;PH-BXA;#"),
              (std::vector<std::string>{"Boeing 737;PH-BXA;#"}));
}

}  // namespace
}  // namespace qel::datafile
