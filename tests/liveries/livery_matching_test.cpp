#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/random.h"
#include "liveries/flight_data.h"
#include "liveries/livery_db.h"
#include "livery_db_fixture.h"

namespace qel {
namespace {

using test::flight;
using test::key;
using test::livery;

class LiveryMatching : public test::LiveryDbTest {
protected:
    void SetUp() override
    {
        LiveryDbTest::SetUp();
        g_buzjetModels.insert(gf_modelIndex("GLF5"));
        gf_buildLiveryDb(world());
        logLinesBefore_ = log.lines().size();
    }
    // The log lines written since the database was built.
    std::vector<std::string> newLines()
    {
        auto lines = log.lines();
        std::vector<std::string> fresh(lines.begin() + static_cast<long>(logLinesBefore_),
                                       lines.end());
        logLinesBefore_ = lines.size();
        return fresh;
    }
    static std::string accepted(const FlightData& f, int step)
    {
        return fmt::format("          {} ={}= {}", gf_flightDescription(f), step, f.title);
    }

private:
    std::size_t logLinesBefore_ = 0;
};

struct LadderCase {
    const char* what;
    MatchKey key;
    std::string registration;
    int level;
    int step;  // -1: no match
    std::string title;
};

TEST_F(LiveryMatching, EachStepOfTheLadderAsDeepAsTheLevelAllows)
{
    g_specialRegistrations.insert("D-AIRE");
    const std::vector<LadderCase> cases = {
        {"special regcode", key("DLH", "", "A320"), "D-AIRE", 1, 0, "A320 Lufthansa Retro"},
        {"regcode", key("DLH", "", "A320"), "D-AIAB", 1, 1, "A320 Lufthansa D-AIAB"},
        {"airline and model, level 1", key("DLH", "", "A321"), "D-AIZZ", 1, -1, ""},
        {"airline and model", key("DLH", "", "A321"), "D-AIZZ", 2, 2, "A321 Lufthansa D-AISA"},
        {"cargo retries as passenger", key("DLH", "", "B744", true), "", 2, 2, "B744 Lufthansa"},
        {"similar model, level 2", key("DLH", "", "B74F"), "", 2, -1, ""},
        {"similar model", key("DLH", "", "B74F"), "", 3, 3, "B744 Lufthansa"},
        {"PVT takes a generic livery first", key("PVT", "", "C172"), "D-EXXX", 2, 4,
         "C172 Generic"},
        {"generic fall-back, level 3", key("KLM", "", "A320"), "PH-BXA", 3, -1, ""},
        {"generic fall-back", key("KLM", "", "A320"), "PH-BXA", 4, 4, "A320 Airbus House"},
        {"model by prefix group", key("XXX", "", "PA28"), "D-EXYZ", 4, 5, "PA28 OE-KAB"},
        {"random model of the category", key("XXX", "", "GLF5"), "N1", 4, 6,
         "GLF6 FSLTL_ N650GA"},
        {"heavy stops after the generic step", key("XXX", "", "B744"), "N1", 4, -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MATCHING_DEPTH.current = c.level;
        const std::array<int, 7> countsBefore = g_matchCounts;
        FlightData live = flight(c.key, c.registration);
        EXPECT_EQ(gf_matchLiveLivery(live), c.step >= 0);
        EXPECT_EQ(live.title, c.title);
        EXPECT_EQ(live.fsltl, c.title.find("FSLTL_") != std::string::npos ? 1 : 0);
        std::array<int, 7> counts = countsBefore;
        if (c.step >= 0) ++counts.at(static_cast<std::size_t>(c.step));
        EXPECT_EQ(g_matchCounts, counts);
        const auto expectedLive =
            c.step >= 0 ? std::vector<std::string>{accepted(live, c.step)}
                        : std::vector<std::string>{};
        EXPECT_EQ(newLines(), expectedLive);

        FlightData parked = flight(c.key, c.registration);
        EXPECT_EQ(gf_matchLivery(parked, {"PARK1", 0}), c.step >= 0);
        EXPECT_EQ(parked.title, c.title);
        EXPECT_EQ(g_matchCounts, counts);  // only live matches are counted
        const std::string expectedStatic =
            c.step >= 0 ? accepted(parked, c.step)
                        : fmt::format("PARK1   : {} no livery match ...",
                                      gf_flightShortDescription(parked));
        EXPECT_EQ(newLines(), std::vector<std::string>{expectedStatic});
    }
}

TEST_F(LiveryMatching, OperatorFlyingForAnAirline)
{
    struct Case {
        std::vector<Livery> installed;
        std::string title;
    };
    const Livery combined = livery("AAL", "JIA", "CRJ9", "CRJ9 Eagle");
    const Livery operatorWithWord = livery("JIA", "", "CRJ9", "CRJ9 PSA American");
    const Livery operatorPlain = livery("JIA", "", "CRJ9", "CRJ9 PSA");
    const Livery airlineWithWord = livery("AAL", "", "CRJ9", "CRJ9 AA PSA Airlines");
    const Livery airlinePlain = livery("AAL", "", "CRJ9", "CRJ9 AA");
    const std::vector<Case> cases = {
        {{combined, operatorWithWord, airlineWithWord}, "CRJ9 Eagle"},
        {{operatorPlain, operatorWithWord, airlineWithWord}, "CRJ9 PSA American"},
        {{operatorPlain, airlinePlain, airlineWithWord}, "CRJ9 AA PSA Airlines"},
        {{operatorPlain, airlinePlain}, "CRJ9 PSA"},
        {{airlinePlain}, "CRJ9 AA"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        gf_clearLiveryDb();
        gf_buildLiveryDb(LiveryList(cases[i].installed.begin(), cases[i].installed.end()));
        FlightData f = flight(key("AAL", "JIA", "CRJ9"), "N501AE");
        ASSERT_TRUE(gf_matchLiveLivery(f));
        EXPECT_EQ(f.title, cases[i].title);
    }
}

TEST_F(LiveryMatching, RefusedAndDontUseTitles)
{
    g_dontUseTitles.insert(gf_findLiveryByTitle("A320 Lufthansa Retro"));
    // A don't-use title is not picked while another title is left.
    for (uint32_t seed = 0; seed < 20; ++seed) {
        g_rng.seed(seed);
        FlightData f = flight(key("DLH", "", "A320"), "");
        ASSERT_TRUE(gf_matchLiveLivery(f));
        EXPECT_EQ(f.title, "A320 Lufthansa D-AIAB");
    }
    // When every title of the list is one, one of them is taken all the same.
    g_dontUseTitles.insert(gf_findLiveryByTitle("A321 Lufthansa D-AISA"));
    FlightData onlyDontUse = flight(key("DLH", "", "A321"), "");
    ASSERT_TRUE(gf_matchLiveLivery(onlyDontUse));
    EXPECT_EQ(onlyDontUse.title, "A321 Lufthansa D-AISA");

    // A title the simulator refused is dropped at the step that found it; the ladder goes on.
    refused = {"A320 Lufthansa D-AIAB"};
    FlightData live = flight(key("DLH", "", "A320"), "D-AIAB");
    ASSERT_TRUE(gf_matchLiveLivery(live));
    EXPECT_EQ(live.title, "A320 Airbus House");
    EXPECT_EQ(g_matchCounts[4], 1);

    // A static aircraft that already has a title keeps it, refused or not.
    FlightData parked = flight(key("DLH", "", "A320"), "D-AIAB");
    parked.title = gf_findLiveryByTitle("A320 Lufthansa D-AIAB");
    newLines();
    EXPECT_TRUE(gf_matchLivery(parked, {"PARK1", 0}));
    EXPECT_EQ(newLines(), std::vector<std::string>{fmt::format(
                              "          {} =s= A320 Lufthansa D-AIAB",
                              gf_flightDescription(parked))});

    // Nothing left: no match, and no title.
    refused.insert("A320 Airbus House");
    FlightData none = flight(key("DLH", "", "A320"), "D-AIAB");
    EXPECT_FALSE(gf_matchLiveLivery(none));
    EXPECT_TRUE(none.title.empty());
}

TEST_F(LiveryMatching, SummaryListsTheStepsAndTheAircraftNotCreated)
{
    gf_writeMatchSummary();
    EXPECT_TRUE(newLines().empty());

    g_matchCounts = {0, 3, 12, 0, 1, 0, 2};
    uncreated = {"A320 DLH", "B738 RYR"};
    gf_writeMatchSummary();
    const std::vector<std::string> expected = {
        std::string(31, '*') + " live traffic livery matching summary " + std::string(31, '*'),
        "Matches at step: ",
        "  0: 0",
        "  1: 3",
        "  2: 12",
        "  3: 0",
        "  4: 1",
        "  5: 0",
        "  6: 2",
        "",
        "Could not be created",
        "  A320 DLH",
        "  B738 RYR",
        std::string(100, '*'),
    };
    EXPECT_EQ(newLines(), expected);
}

}  // namespace
}  // namespace qel
