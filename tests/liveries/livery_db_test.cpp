#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/globals.h"
#include "liveries/livery_db.h"
#include "livery_db_fixture.h"
#include "support/test_support.h"

namespace qel {
namespace {

using test::key;
using test::livery;
using test::readFile;

class LiveryDb : public test::LiveryDbTest {
protected:
    // The log from the first line that starts with `from` on.
    std::vector<std::string> linesFrom(std::string_view from)
    {
        auto lines = log.lines();
        const auto first = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(from) != std::string::npos;
        });
        return {first, lines.end()};
    }
    static std::vector<std::string> titlesOf(std::string_view airline, std::string_view model)
    {
        std::vector<std::string> titles;
        const auto a = g_liveryDb.find(gf_airlineIndex(airline));
        if (a == g_liveryDb.end()) return titles;
        const auto m = a->second.find(gf_modelIndex(model));
        if (m == a->second.end()) return titles;
        for (const auto& entry : m->second) titles.push_back(entry.title);
        return titles;
    }
    static std::vector<std::string> codes(const ModelIdList& ids)
    {
        std::vector<std::string> texts;
        for (const uint16_t id : ids) texts.push_back(g_modelCodes.text(id));
        return texts;
    }
};

TEST_F(LiveryDb, BuildFilesIndexesAndReportsTheInstalledLiveries)
{
    gf_buildLiveryDb(world());

    // An operator's livery lives under the combined code only.
    EXPECT_EQ(titlesOf("AALJIA", "CRJ9"), std::vector<std::string>{"CRJ9 American Eagle PSA"});
    EXPECT_EQ(titlesOf("AAL", "CRJ9"), std::vector<std::string>{"CRJ9 American PSA Airlines"});
    EXPECT_EQ(titlesOf("DLH", "A320"),
              (std::vector<std::string>{"A320 Lufthansa D-AIAB", "A320 Lufthansa Retro"}));
    EXPECT_TRUE(gf_hasLivery(gf_airlineIndex("BOX"), gf_modelIndex("B74F")));
    EXPECT_FALSE(gf_hasLivery(gf_airlineIndex("BOX"), gf_modelIndex("B744")));

    // Title lookups give the stored text, not a copy of the question.
    const std::string asked = "B74F Aerologic";
    const TitleView found = gf_findLiveryByTitle(asked);
    EXPECT_EQ(found, asked);
    EXPECT_NE(found.data(), asked.data());
    EXPECT_TRUE(gf_findLiveryByTitle("B74F Aerologi").empty());

    // Cargo titles are indexed apart from passenger titles.
    EXPECT_TRUE(g_airlineModelTitles[1].contains(gf_airlineIndex("BOX")));
    EXPECT_FALSE(g_airlineModelTitles[0].contains(gf_airlineIndex("BOX")));
    EXPECT_EQ(g_modelTitles[0].at(gf_modelIndex("CRJ9")).size(), 4U);

    EXPECT_EQ(codes(g_similarModels.at(gf_modelIndex("B738"))),
              (std::vector<std::string>{"A320", "A321"}));
    EXPECT_FALSE(g_similarModels.contains(gf_modelIndex("CRJ9")));
    const auto& dlh = g_airlineSimilarModels.at(gf_airlineIndex("DLH"));
    EXPECT_EQ(dlh.size(), 2U);
    EXPECT_EQ(codes(dlh.at(gf_modelIndex("B738"))), (std::vector<std::string>{"A320", "A321"}));
    EXPECT_EQ(codes(dlh.at(gf_modelIndex("B74F"))), std::vector<std::string>{"B744"});
    // PVT has a livery of every model its models are similar to: no entry.
    EXPECT_FALSE(g_airlineSimilarModels.contains(gf_airlineIndex("PVT")));

    EXPECT_EQ(codes(g_categoryModels[0]), (std::vector<std::string>{"C172", "PA28"}));
    EXPECT_EQ(codes(g_categoryModels[1]), std::vector<std::string>{"GLF6"});
    EXPECT_TRUE(g_categoryModels[2].empty());
    EXPECT_EQ(gf_randomCategoryModel(5), 0);
    EXPECT_EQ(gf_randomCategoryModel(1), gf_modelIndex("GLF6"));
    EXPECT_EQ(gf_randomCategoryModel(2), 0);

    const std::vector<std::string> expected = {
        "    8 registration codes",
        "    7 airlines, 7 pax aircraft models and 1 cargo aircraft models",
        "    7 similar model definitions",
        " ",
        "Category Light: 4 pax liveries",
        "  C172,PA28",
        "Category Buzjets: 1 pax liverie",
        "  GLF6",
        "Category Large: 8 pax liveries",
        "  A320,A321,CRJ9",
        "Category Heavy: 1 pax liverie and 1 cargo liverie",
        "  B744,B74F",
        "Category HighPerf: No livery found",
        "HIGH_PERF_AIRCRAFT=false",
        "HIGH_PERF_AIRCRAFT temporarily switched off because you do not have High Perf aircraft "
        "installed",
        "Category Rotorcraft: No livery found",
        "HELICOPTERS=false",
        "HELICOPTERS temporarily switched off because you do not have Helicopters installed",
        "2 models have a generic livery",
        "  A320,C172",
    };
    EXPECT_EQ(linesFrom("registration codes"), expected);

    // Missing categories switch their option off and save it; every option's box follows.
    EXPECT_TRUE(LIGHT_AIRCRAFT.current);
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.current);
    EXPECT_FALSE(HELICOPTERS.current);
    EXPECT_EQ(test::savedParameter(g_parametersPath, "HELICOPTERS"), "false");
    const std::vector<std::pair<const ControlBinding*, bool>> boxes = {
        {&LIGHT_AIRCRAFT, true}, {&HIGH_PERF_AIRCRAFT, false}, {&HELICOPTERS, false}};
    EXPECT_EQ(enabled, boxes);
}

TEST_F(LiveryDb, ModelCodesAreLoggedTwentyToALine)
{
    LiveryList liveries;
    std::vector<std::string> models;
    for (int i = 0; i < 41; ++i) models.push_back(fmt::format("L{:03}", i));
    for (const auto& model : models) liveries.push_back(livery("PVT", "", model, "T " + model));
    gf_buildLiveryDb(liveries);

    const auto lines = linesFrom("Category Light");
    ASSERT_GE(lines.size(), 4U);
    EXPECT_EQ(lines[0], "Category Light: 41 pax liveries");
    const auto line = [&](std::size_t first, std::size_t last) {
        return fmt::format("  {}", fmt::join(models.begin() + static_cast<long>(first),
                                             models.begin() + static_cast<long>(last), ","));
    };
    EXPECT_EQ(lines[1], line(0, 20));
    EXPECT_EQ(lines[2], line(20, 40));
    EXPECT_EQ(lines[3], "  L040");
    EXPECT_EQ(lines.back(), "No generic liveries");
}

TEST_F(LiveryDb, CargoOnlyCategoryReportsNoPassengerTitles)
{
    gf_buildLiveryDb({livery("BOX", "", "B74F", "B74F Aerologic", "", true),
                      livery("BOX", "", "B74F", "B74F Aerologic 2", "", true)});
    EXPECT_FALSE(linesFrom("Category Heavy: 0 pax liveries and 2 cargo liveries").empty());
}

TEST_F(LiveryDb, InlineRegistrationClashesKeepTheFirstAndAreReported)
{
    gf_buildLiveryDb({
        livery("DLH", "", "A320", "A320 Lufthansa One", "D-AIAB"),
        livery("DLH", "", "A320", "A320 Lufthansa Two", "D-AIAB"),
        livery("DLH", "", "A321", "A321 Lufthansa", "D-AISA"),
        livery("DLH", "", "A321", "A321 Lufthansa", "D-AISB"),
    });
    EXPECT_EQ(g_regcodes.at("D-AIAB"), "A320 Lufthansa One");
    EXPECT_EQ(g_regcodes.at("D-AISB"), "A321 Lufthansa");
    EXPECT_EQ(g_titleRegistrations.at("A321 Lufthansa"), "D-AISA");
    EXPECT_EQ(readFile(g_inlineRegcodesTxt),
              "D-AIAB 'A320 Lufthansa Two' => already in use by 'A320 Lufthansa One'\n"
              "A321 Lufthansa 'D-AISB' => already in use by 'D-AISA'\n");
    EXPECT_TRUE(log.contains(fmt::format("    2 in-line regcode clashes, see '{}'",
                                         g_inlineRegcodesTxt.string())));
}

TEST_F(LiveryDb, OfflineRegcodesOverrideInlineCodesAndNameSpecialLiveries)
{
    test::writeEncrypted(g_aigRegcodesEnc,
                         R"(<?xml version="1.0"?><root><meta><info name="author" value="VNTQ"/>)"
                         R"(<info name="copyright" value="(c) VNTQ"/></meta><aig>)"
                         R"(<l t="A320 Lufthansa Retro" r="D-AIRE" s="true"/>)"
                         R"(<l t="B744 Lufthansa" r="D-ABVA,D-ABVB" s="true"/>)"
                         R"(<l t="A320 Lufthansa D-AIAB" r="D-AISA"/>)"
                         R"(<l t="Not Installed" r="D-XXXX"/>)"
                         R"(</aig></root>)");
    std::filesystem::create_directories(g_myRegcodesDir);
    test::writeFile(g_myRegcodesDir / "mine.TXT", "A321 Lufthansa D-AISA;D-AISA\r\n");
    gf_buildLiveryDb(world());

    // The user's file comes last and wins; the AIG file had replaced the in-line code before.
    EXPECT_EQ(g_regcodes.at("D-AISA"), "A321 Lufthansa D-AISA");
    EXPECT_EQ(g_regcodes.at("D-ABVB"), "B744 Lufthansa");
    EXPECT_FALSE(g_regcodes.contains("D-XXXX"));
    EXPECT_EQ(g_specialRegcodes, (std::set<std::string, std::less<>>{"D-ABVA", "D-ABVB", "D-AIRE",
                                                                     "D-AISA"}));
    EXPECT_EQ(g_specialRegistrations, (std::set<std::string, std::less<>>{"D-AIRE", "D-AISA"}));
    EXPECT_EQ(g_dontUseTitles.size(), 3U);
    EXPECT_TRUE(g_dontUseTitles.contains("B744 Lufthansa"));
    EXPECT_FALSE(std::filesystem::exists(g_aigRegcodesXml));

    const auto report = readFile(g_infoDir / "OfflineRegcodes.txt");
    EXPECT_EQ(report,
              fmt::format("Processing file {}\n"
                          "   regcode D-AISA for 'A320 Lufthansa D-AIAB', instead of the same for "
                          "'A321 Lufthansa D-AISA'\n"
                          "2 new regcodes added, 1 regcode replaced, 2 regcodes defined as "
                          "special\n"
                          "Processing files in {}\n"
                          "   regcode D-AISA for 'A321 Lufthansa D-AISA', instead of the same for "
                          "'A320 Lufthansa D-AIAB'\n"
                          "0 new regcodes added, 1 regcode replaced, 1 regcode defined as "
                          "special\n",
                          g_aigRegcodesXml.string(), g_myRegcodesDir.string()));
    EXPECT_TRUE(log.contains("    3 special liveries"));
    EXPECT_TRUE(log.contains("    2 unique liveries"));
    EXPECT_TRUE(log.contains("   10 registration codes"));
}

// The report sent the user to Log.txt for an AIG file that names no livery, which Log.txt never
// called an error; what it points to there is marked.
TEST_F(LiveryDb, OfflineRegcodeReportSaysWhatLogTxtDoesNot)
{
    const std::string meta = R"(<?xml version="1.0"?><root><meta><info name="author" )"
                             R"(value="VNTQ"/><info name="copyright" value="(c) VNTQ"/></meta>)";
    const struct {
        std::string file;
        std::string said;  // in the report's second line and, marked, in Log.txt
        std::string logged;
    } cases[] = {
        {meta + "<aig></aig></root>",
         fmt::format("The AIG-regcode file '{}' names no livery: it ties no registration to one",
                     g_aigRegcodesEnc.string()),
         ""},
        {"<root><aig/></root>",
         fmt::format("There were errors processing the AIG-regcode file '{}', see the lines "
                     "marked ==> in Log.txt",
                     g_aigRegcodesXml.string()),
         fmt::format("==> {} not read: no meta block", g_aigRegcodesXml.string())},
    };
    for (const auto& c : cases) {
        test::writeEncrypted(g_aigRegcodesEnc, c.file);
        gf_buildLiveryDb(world());
        const auto report = readFile(g_infoDir / "OfflineRegcodes.txt");
        EXPECT_NE(report.find("\n" + c.said + "\n"), std::string::npos) << report;
        EXPECT_TRUE(log.contains(c.logged.empty() ? "==> " + c.said : c.logged)) << c.said;
        gf_clearLiveryDb();
    }
}

TEST_F(LiveryDb, DontUseTitlesComeFromRecordsWithoutCodes)
{
    std::filesystem::create_directories(g_myRegcodesDir);
    test::writeFile(g_myRegcodesDir / "a.TXT", "Ugly Livery One\r\nGood One;D-ABCD\r\n");
    test::writeFile(g_myRegcodesDir / "b.TXT", "Ugly Livery Two;\r\n");
    lf_readDontUseTitlesFolder();
    std::sort(g_excludedTitles.begin(), g_excludedTitles.end());
    EXPECT_EQ(g_excludedTitles, (std::vector<std::string>{"Ugly Livery One", "Ugly Livery Two"}));
    EXPECT_TRUE(log.contains(fmt::format("    2 don't use titles read from files in {}",
                                         g_myRegcodesDir.string())));

    // No AIG file: its reader's failure is reported, nothing is added.
    lf_readDontUseTitlesAig();
    EXPECT_EQ(g_excludedTitles.size(), 2U);
    EXPECT_TRUE(log.contains("    0 don't use titles read"));
    EXPECT_EQ(g_regcodeReport.back(),
              fmt::format("There were errors in processing the file '{}', see the Log.txt",
                          g_aigRegcodesXml.string()));
}

TEST_F(LiveryDb, StartUpsBuildOnceAndRebuildOnlyAfterARequestedClear)
{
    gf_writeLiveriesScanned(world(), g_liveriesScannedXml, 1);
    lf_processScannedLiveries();
    EXPECT_TRUE(g_liveriesProcessed);
    EXPECT_TRUE(g_liveries.empty());
    EXPECT_EQ(g_liveryDbCount, 15U);
    EXPECT_EQ(codes(g_similarModels.at(gf_modelIndex("B738"))),
              (std::vector<std::string>{"A320", "A321"}));
    EXPECT_EQ(gf_findLiveryByTitle("A321 Lufthansa D-AISA"), "A321 Lufthansa D-AISA");

    // The next start skips the build and only frees the scanned list.
    g_liveries = world();
    lf_processScannedLiveries();
    EXPECT_TRUE(g_liveries.empty());
    EXPECT_TRUE(log.contains("Processing scanned liveries skipped; already done in previous "
                             "start-up"));

    // A clear requested from the window, here while the database stands and is used, changes
    // nothing until the next start-up, which empties it and builds from the new scan.
    FlightData parked = test::flight(key("DLH", "", "A321"), "");
    ASSERT_TRUE(gf_matchLivery(parked, {"PARK1", 0}));
    gf_requestLiveryDbClear();
    EXPECT_TRUE(g_liveriesProcessed);
    EXPECT_EQ(parked.title, "A321 Lufthansa D-AISA");
    gf_serveLiveryDbClear();  // close-down, after the traffic reset
    LiveryList rescanned = world();
    rescanned.remove_if([](const Livery& l) { return l.title.starts_with("A321"); });
    rescanned.push_back(livery("DLH", "", "B738", "B738 Lufthansa"));
    gf_writeLiveriesScanned(rescanned, g_liveriesScannedXml, 1);
    lf_processScannedLiveries();
    EXPECT_TRUE(gf_findLiveryByTitle("A321 Lufthansa D-AISA").empty());
    EXPECT_FALSE(g_regcodes.contains("D-AISA"));
    // The similar models are those of the new installation, not of the first build.
    EXPECT_EQ(codes(g_similarModels.at(gf_modelIndex("A321"))),
              (std::vector<std::string>{"A320", "B738"}));
    EXPECT_EQ(codes(g_similarModels.at(gf_modelIndex("B738"))),
              std::vector<std::string>{"A320"});
    EXPECT_FALSE(
        g_airlineSimilarModels.at(gf_airlineIndex("DLH")).contains(gf_modelIndex("B738")));
}

// The window asks for a clear while the start-up thread builds: the build finishes on its own
// data, and the request is served after the run instead of being lost or taken by that build.
TEST_F(LiveryDb, ClearRequestedDuringABuildIsServedByTheNextStart)
{
    gf_writeLiveriesScanned(world(), g_liveriesScannedXml, 1);
    std::thread startUp([] { lf_processScannedLiveries(); });
    std::thread window([] { gf_requestLiveryDbClear(); });
    window.join();
    startUp.join();
    EXPECT_TRUE(g_liveriesProcessed);
    EXPECT_EQ(g_liveryDb.size(), 7U);

    gf_serveLiveryDbClear();
    gf_writeLiveriesScanned({livery("KLM", "", "B738", "B738 KLM")}, g_liveriesScannedXml, 1);
    lf_processScannedLiveries();
    EXPECT_EQ(g_liveryDb.size(), 1U);
    EXPECT_EQ(gf_findLiveryByTitle("B738 KLM"), "B738 KLM");
}

}  // namespace
}  // namespace qel
