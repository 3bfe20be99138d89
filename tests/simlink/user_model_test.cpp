// The user aircraft's title and model: the 48-byte title, the repair rules of the "ATC MODEL"
// text, the half wing span with its fallback, and the size category.
#include <string>
#include <vector>

#include "link_fixture.h"

namespace qel::test {
namespace {

class UserModel : public SimLinkTest {
protected:
    UserModel()
    {
        span("A20N", 0.0097);
        span("B738", 0.0097);
        span("CRJ7", 0.0063);
        span("E190", 0.0078);
        span("A320", 0.0097);
        span("A5", 0.0028);
        span("A388", 0.0215);  // the largest: the fallback span
        span("ZZZ", 0.0);      // a type of the database without a span
        g_largeModels = {gf_modelIndex("A20N"), gf_modelIndex("B738"), gf_modelIndex("A320")};
        g_heavyModels = {gf_modelIndex("A388")};
        g_simWindowStatus.userAircraftTitle.set("");
    }

    std::optional<std::string> lastIndented()
    {
        const auto lines = log_.lines();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            if (it->starts_with("          ")) return it->substr(10);
        }
        return std::nullopt;
    }
};

TEST_F(UserModel, ModelIsRepairedAndSized)
{
    struct Case {
        const char* title;
        const char* raw;
        const char* summary;
        bool spanKnown;
        uint32_t category;
    };
    const Case cases[] = {
        {"", "TT:ATCCOM.AC_MODEL A20N.0.text", "SimConnect: User aircraft model: A20N, half "
                                               "wing span: 18.0 meter, category: Large", true, 2},
        {"", "TT:ATCCOM.AC_MODEL_A5.0.text", "SimConnect: User aircraft model: A5, half wing "
                                             "span: 5.2 meter, category: Light", true, 0},
        {"", "$$:B738", "SimConnect: User aircraft model: B738, half wing span: 18.0 meter, "
                        "category: Large", true, 2},
        {"", "$$:A", "SimConnect: User aircraft model: $$:A, category: Light", false, 0},
        {"PMDG DG 737-800 Ryanair", "737", "SimConnect: User aircraft model: B738, half wing "
                                           "span: 18.0 meter, category: Large", true, 2},
        {"Some 737", "737", "SimConnect: User aircraft model: 737, category: Light", false, 0},
        {"", "Unknown Jet", "SimConnect: User aircraft model: Unknown Jet, category: Light",
         false, 0},
        {"Aerosoft A320 IAE Lufthansa", "Airbus A320 IAE",
         "SimConnect: User aircraft model deduced from title: A320, half wing span: 18.0 meter, "
         "category: Large", true, 2},
        // A type the database knows without a span has none: 0 is no span.
        {"", "ZZZ", "SimConnect: User aircraft model: ZZZ, category: Light", false, 0},
        // The largest type of the database has the fallback's span, yet it is known.
        {"", "A388", "SimConnect: User aircraft model: A388, half wing span: 39.8 meter, "
                     "category: Heavy", true, 3},
        {"", "camerapod", "SimConnect: User aircraft model: camerapod", true, 0},
    };
    for (const auto& c : cases) {
        resetLinkState();
        if (*c.title) lf_onUserTitle(c.title);
        const auto warnings = count("User aircraft wing span unknown, max is taken instead, "
                                    "please report in my Forum!");
        lf_onUserModel(c.raw);
        EXPECT_EQ(lastIndented(), c.summary) << c.raw;
        EXPECT_EQ(count(fmt::format("          model raw: {}", c.raw)) > 0, true) << c.raw;
        const auto span = gf_userHalfSpan();
        ASSERT_TRUE(span) << c.raw;
        if (std::string_view(c.raw) == "camerapod") {
            EXPECT_DOUBLE_EQ(*span, 0.0078);
        } else if (!c.spanKnown) {
            EXPECT_DOUBLE_EQ(*span, 0.0215) << c.raw;
        }
        EXPECT_EQ(count("User aircraft wing span unknown, max is taken instead, please report in "
                        "my Forum!") - warnings,
                  c.spanKnown ? 0 : 1)
            << c.raw;
        EXPECT_EQ(g_userCategory, c.category) << c.raw;
        EXPECT_EQ(g_simWindowStatus.userSizeKnown.load(), c.spanKnown) << c.raw;
    }
}

TEST_F(UserModel, NoModelTakesTheCrj7AndKeepsTheCategory)
{
    g_userCategory = 3;
    lf_onUserModel("");
    EXPECT_EQ(g_simWindowStatus.userAircraftTitle.get(), "Unknown (encrypted?) aircraft");
    EXPECT_EQ(count("171: No model info from your user aircraft received in SimConnect, CRJ7 is "
                    "taken instead"),
              1);
    EXPECT_DOUBLE_EQ(gf_userHalfSpan().value_or(0.0), 0.0063);
    EXPECT_EQ(g_userCategory, 3u);
}

TEST_F(UserModel, TitleIsCutAt48BytesOnACharacterBoundary)
{
    struct Case {
        std::string title;
        std::string stored;
    };
    const std::string x48(48, 'x');
    const Case cases[] = {
        {x48, x48},
        {x48 + "y", x48},
        // "é" is two bytes; the 48th byte would be its first half.
        {std::string(47, 'x') + "\xC3\xA9" + "z", std::string(47, 'x')},
        {std::string(46, 'x') + "\xC3\xA9" + "z", std::string(46, 'x') + "\xC3\xA9"},
    };
    for (const auto& c : cases) {
        resetLinkState();
        const std::string line = "          SimConnect: User aircraft title: " + c.stored;
        const int before = count(line);
        lf_onUserTitle(c.title);
        EXPECT_EQ(gf_userTitle(), c.stored);
        EXPECT_EQ(g_simWindowStatus.userAircraftTitle.get(), c.stored);
        // The same title again changes nothing and logs nothing.
        lf_onUserTitle(c.title);
        EXPECT_EQ(count(line), before + 1);
        lf_onUserTitle("");
        EXPECT_EQ(gf_userTitle(), c.stored);
    }
    EXPECT_EQ(count("! Title of your aircraft is empty?"), 4);
}

TEST_F(UserModel, TitleAndModelComeFromTheSimulator)
{
    world(R"("user": {"title": "Aerosoft A321 Lufthansa D-AISQ", "atc_model": "A321-200"})");
    span("A321", 0.0097);
    connect();
    userState();
    gf_requestUserAcTitleModel();
    pump();
    EXPECT_EQ(gf_userTitle(), "Aerosoft A321 Lufthansa D-AISQ");
    EXPECT_EQ(lastIndented(), "SimConnect: User aircraft model deduced from title: A321, half "
                              "wing span: 18.0 meter, category: Light");
}

}  // namespace
}  // namespace qel::test
