// std::regex only checks the hand-written matchers here; g++ 12 with the sanitizers warns inside
// its std::function members, so that warning is silenced for this file alone.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "livery_scan_fixtures.h"

namespace qel {
namespace {

using test::LiveryScanTest;
using test::makeLivery;
using test::writeCfg;

// The line patterns as first written with std::regex (ECMAScript, case-insensitive, whole
// line); the hand-written matchers must agree with them on every line here. Only short test
// lines ever meet std::regex.
std::optional<std::string> regexValue(const std::string& line, const std::string& key)
{
    const std::regex pattern("\\s*(" + key + ")\\s*=\\s*(.*\\S)\\s*", std::regex::icase);
    std::smatch match;
    if (!std::regex_match(line, match, pattern)) return std::nullopt;
    return match[2].str();
}

TEST(LiveryLines, KeyValueLinesAgreeWithTheirPatterns)
{
    struct Case {
        std::string line;
        std::optional<std::string> raw;    // what the pattern's group 2 holds
        std::optional<std::string> value;  // after the quote rule
    };
    const std::vector<Case> cases = {
        {"title=A320 Lufthansa", "A320 Lufthansa", "A320 Lufthansa"},
        {"  TITLE \t=  A320 Lufthansa  \t", "A320 Lufthansa", "A320 Lufthansa"},
        {"Title = \"  FSLTL A320 DLH  \" ; comment", "\"  FSLTL A320 DLH  \" ; comment",
         "  FSLTL A320 DLH  "},
        {"title = A320 ; not a comment // nor this", "A320 ; not a comment // nor this",
         "A320 ; not a comment // nor this"},
        {"title = \"unterminated", "\"unterminated", ""},
        {"title = \"\" rest", "\"\" rest", ""},
        {"title = pre \"in\" post \"x\"", "pre \"in\" post \"x\"", "in"},
        {"title =", std::nullopt, std::nullopt},
        {"title =   \t ", std::nullopt, std::nullopt},
        {"title = a\rb", std::nullopt, std::nullopt},
        {"title = ab\r", "ab", "ab"},
        {"\vtitle\f=\fx\v", "x", "x"},
        {"titlex = y", std::nullopt, std::nullopt},
        {"ui_title = y", std::nullopt, std::nullopt},
        {"title : y", std::nullopt, std::nullopt},
        {"title == y", "= y", "= y"},
        {"title = Ä \xC3\xA9t\xC3\xA9", "Ä \xC3\xA9t\xC3\xA9", "Ä \xC3\xA9t\xC3\xA9"},
        {"// title = x", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(regexValue(c.line, "title"), c.raw);
        EXPECT_EQ(lf_matchLineValue(c.line, "title"), c.value);
    }
    // A line no regex should meet: the hand-written matcher takes it in one pass.
    const std::string longLine = "title = " + std::string(2'000'000, 'x');
    EXPECT_EQ(lf_matchLineValue(longLine, "title")->size(), 2'000'000U);
}

TEST(LiveryLines, EachKeyHasItsValueRule)
{
    std::string out = "before";
    EXPECT_FALSE(lf_matchTitle("title = \"\"", out));
    EXPECT_EQ(out, "before");
    EXPECT_TRUE(lf_matchTexture("texture = \"DLH\"", out));
    EXPECT_EQ(out, "DLH");
    struct Airline {
        std::string line;
        std::string code;
    };
    for (const auto& c : std::vector<Airline>{{"icao_airline = dlh", "DLH"},
                                              {"icao_airline = \"\"", "ZZZ"},
                                              {"icao_airline = ZZZZ", "ZZZ"},
                                              {"icao_airline = zzzz", "ZZZZ"},
                                              {"ICAO_Airline = DLH ; x", "DLH ; X"}}) {
        EXPECT_TRUE(lf_matchIcaoAirline(c.line, out)) << c.line;
        EXPECT_EQ(out, c.code) << c.line;
    }
    EXPECT_FALSE(lf_matchIcaoAirline("icao_airline =", out));
    EXPECT_TRUE(lf_matchAtcId("atc_id = D-AIAB", out));
    EXPECT_EQ(out, "D-AIAB");
    EXPECT_TRUE(lf_matchAtcId("atc_id = ABCDE", out));
    EXPECT_FALSE(lf_matchAtcId("atc_id = ABCD", out));
    EXPECT_EQ(lf_matchIcaoTypeDesignator("icao_type_designator = \"a20nx\""), "A20N");
    EXPECT_EQ(lf_matchIcaoTypeDesignator("icao_type_designator = b7"), "B7");
    EXPECT_EQ(lf_matchBaseContainer("base_container = \"..\\Asobo_A320_NEO\""), "A20N");
    EXPECT_EQ(lf_matchBaseContainer("base_container = \"..\\asobo_A320_NEO\""), "");
    EXPECT_EQ(lf_matchBaseContainer("base_container = \"..\\Base\""), "");
    EXPECT_EQ(lf_matchBaseContainer("base_container = ..\\"), "");
    EXPECT_TRUE(lf_isAtcIdLine("x atc_id=1"));
    EXPECT_FALSE(lf_isAtcIdLine("atc_id = 1"));
    EXPECT_TRUE(lf_isAtcParkingTypesLine("//atc_parking_types"));
}

TEST(LiveryLines, SectionHeaders)
{
    const std::regex pattern("\\s*(\\[fltsim\\.)(\\d+)\\]\\s*", std::regex::icase);
    struct Case {
        std::string line;
        std::string number;
    };
    const std::vector<Case> cases = {
        {"[fltsim.0]", "0"},          {" [FLTSIM.12] \t", "12"},   {"[FltSim.3]", "3"},
        {"[fltsim.0] ; x", "10000"},  {"[fltsim.x]", "10000"},     {"[FltSim.3", ""},
        {"//[fltsim.0]", ""},         {"[fltsim.]", "10000"},      {"[fltsim.12345]", "12345"},
        {"[general]", ""},            {"x[FLTSIM.1]", "10000"},    {"[fltsim.99999999999]",
                                                                    "99999999999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(lf_matchFltsimHeader(c.line), c.number);
        std::smatch match;
        const bool matched = std::regex_match(c.line, match, pattern);
        EXPECT_EQ(matched, c.number != "10000" && !c.number.empty());
    }
}

TEST_F(LiveryScanTest, EveryCharsetGivesTheSameLiveries)
{
    const std::string text =
        "[General]\r\nicao_type_designator = A320\r\n\r\n[FLTSIM.0]\r\n"
        "title = \"A320 Condor Fl\xC3\xBCgdienst \xC3\x84\"\r\nicao_airline = DLH\r\n"
        "atc_id = D-AIAB\r\n[fltsim.1]\r\ntitle = A320 second\r\nicao_airline=dlh\r\n";
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"UTF-8", text},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + text},
        {"UTF-16 LE", test::utf16(text, false)},
        {"UTF-16 BE", test::utf16(text, true)},
        {"Windows-1252", test::latin1(text)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gf_clearLiveries();
        const auto path = dir_ / c.name / "aircraft.cfg";
        writeCfg(path, c.bytes);
        EXPECT_EQ(parse(path, 3),
                  (std::vector<Livery>{
                      makeLivery("A320 Condor Fl\xC3\xBCgdienst \xC3\x84", "DLH", "A320",
                                 "D-AIAB", false, 3),
                      makeLivery("A320 second", "DLH", "A320", "", false, 3)}));
        EXPECT_TRUE(g_incompleteSectionLines.copy().empty());
    }
}

struct SectionCase {
    const char* name;
    std::string body;                    // after "[General] icao_type_designator=..."
    std::string model = "A320";
    std::vector<Livery> liveries;
    std::vector<std::string> incomplete;  // g_incompleteSectionLines, {} for the folder
    std::vector<std::string> invalidAirlines;
};

TEST_F(LiveryScanTest, SectionRules)
{
    const auto folder = dir_ / "pkg";
    const auto path = folder / "aircraft.cfg";
    const std::string f = folder.string();
    const std::string p = path.string();
    auto L = [](auto... args) { return makeLivery(args...); };
    const auto noAirline = [&p](int section) {
        return fmt::format("{} [fltsim.{}] icao_airline is missing, or it has invalid info ", p,
                           section);
    };
    const std::vector<SectionCase> cases = {
        {"AIG style",
         "[fltsim.0]\ntitle=AIG A320 DLH\natc_id=D-AIXX\natc_parking_types=CARGO,RAMP"
         "\nicao_airline=DLH\n",
         "A320",
         {L("AIG A320 DLH", "DLH", "A320", "D-AIXX", true)}},
        {"gate and cargo is passenger",
         "[fltsim.0]\ntitle=T\nicao_airline=DLH\natc_parking_types=GATE, cargo\n",
         "A320",
         {L("T", "DLH", "A320")}},
        {"X and C suffix",
         "[fltsim.0]\ntitle=T1\nicao_airline=DLHX\n[fltsim.1]\ntitle=T2\n"
         "icao_airline=BAWC\n",
         "A320",
         {L("T1", "DLH", "A320"), L("T2", "BAW", "A320")}},
        {"fleet record wins",
         "[fltsim.0]\ntitle=T\nicao_airline=KLM\natc_id=G-EUPA\n",
         "A320",
         {L("T", "BAW", "B744", "G-EUPA", true, 1, "BOX")}},
        {"registration without dash",
         "[fltsim.0]\ntitle=T\natc_id=DAIAB\n",
         "A320",
         {L("T", "DLH", "A320", "DAIAB")},
         {noAirline(0)}},
        {"PVT with a prefix from the title",
         "[fltsim.0]\ntitle=C172 D-EABC private\n",
         "C172",
         {L("C172 D-EABC private", "PVT", "C172", "D-")},
         {noAirline(0)}},
        {"PVT keeps an unknown registration",
         "[fltsim.0]\ntitle=T\natc_id=OE-ABC\n",
         "C172",
         {L("T", "PVT", "C172", "OE-ABC")},
         {noAirline(0)}},
        {"heavy without airline",
         "[fltsim.0]\ntitle=T\n",
         "B744",
         {},
         {noAirline(0), fmt::format("'{}' '[fltsim.0]' has no airline and no regcode info", f)}},
        {"heavy with unknown registration",
         "[fltsim.0]\ntitle=T\natc_id=OE-ABC\n",
         "B744",
         {},
         {noAirline(0),
          fmt::format("'{}' '[fltsim.0]' has no airline and regcode not in dbase", f)}},
        {"ZZZ for generic and stub",
         "[fltsim.0]\ntitle=A320 Generic\nicao_airline=DLH\n"
         "atc_id=D-AIAB\n[fltsim.1]\ntitle=X-STUB\nicao_airline=\"\"\n",
         "A320",
         {L("A320 Generic", "ZZZ", "A320"), L("X-STUB", "ZZZ", "A320")}},
        {"unknown airline, unquoted comment kept",
         "[fltsim.0]\ntitle=T\nicao_airline = EWG ; Eurowings\n",
         "A320",
         {L("T", "PVT", "A320")},
         {noAirline(0)},
         {fmt::format("{:12} in {} [fltsim.0]", "EWG ; EUROWINGS", p)}},
        {"RFO and fictional",
         "[fltsim.0]\ntitle=T\nicao_airline=RFO\n[fltsim.1]\n"
         "title=T Fictional\nicao_airline=DLH\n",
         "A320",
         {},
         {noAirline(0)}},
        {"Fenix before airline",
         "[fltsim.0]\ntitle=FenixA320 x\nicao_airline=DLH\n",
         "A320",
         {},
         {noAirline(0)}},
        {"repeated keys",
         "[fltsim.0]\ntitle=T\ntitle=U\nicao_airline=DLH\n[fltsim.1]\ntitle=V\n"
         "icao_airline=DLH\nicao_airline=BAW\n[fltsim.2]\ntitle=W\n"
         "icao_airline=DLH\natc_parking_types=GATE\natc_parking_types=RAMP\n"
         "[fltsim.3]\ntitle=Y\nicao_airline=DLH\natc_id=D-AIAB\natc_id=D-AIAC\n",
         "A320",
         {},
         {fmt::format("{} [fltsim.0] has more than one title key", f), noAirline(0),
          fmt::format("{} [fltsim.1] has more than one icao_airline key", f),
          fmt::format("{} [fltsim.2] has more than one atc_parking_types key", f),
          fmt::format("{}, [fltsim.3], has more than one atc_id key", f)}},
        {"atc_id values",
         "[fltsim.0]\ntitle=T0\nicao_airline=DLH\natc_id=D-AIAB ; mine\n"
         "[fltsim.1]\ntitle=T1\nicao_airline=DLH\natc_id=D-AIAB,D-AIAC\n"
         "[fltsim.2]\ntitle=T2\nicao_airline=DLH\natc_id=D-AI*\n"
         "[fltsim.3]\ntitle=T3\nicao_airline=DLH\natc_id=ABCD\natc_id=D-AIAC\n",
         "A320",
         {L("T0", "DLH", "A320", "D-AIAB"), L("T1", "DLH", "A320"), L("T2", "DLH", "A320"),
          L("T3", "DLH", "A320", "D-AIAC")},
         {"invalid atc_id=D-AI* in: T2"}},
        {"title taken",
         "[fltsim.0]\ntitle=T\nicao_airline=DLH\n[fltsim.1]\ntitle=T\n"
         "icao_airline=BAW\n",
         "A320",
         {L("T", "DLH", "A320")},
         {fmt::format("{} [fltsim.1] title 'T' already exists", f)}},
        // XML cannot hold them, so they are no part of a title or registration.
        {"NUL bytes dropped",
         std::string("[fltsim.0]\ntitle=AI\0\0\nicao_airline=DLH\natc_id=D-AI\0AB\n"
                     "[fltsim.1]\ntitle=AI\nicao_airline=BAW\n",
                     91),
         "A320",
         {L("AI", "DLH", "A320", "D-AIAB")},
         {fmt::format("{} [fltsim.1] title 'AI' already exists", f)}},
        {"missing title",
         "[fltsim.0]\nicao_airline=DLH\n",
         "A320",
         {},
         {fmt::format("{} [fltsim.0] misses title", f)}},
        {"sections cut by other headers and comments",
         "[fltsim.0]\ntitle=T0\n[General]\nicao_airline=BAW\n[fltsim.1]\ntitle=T1\n"
         "//[fltsim.2]\ntitle=T2\nicao_airline=BAW\n  [x]\n[fltsim.3] ; damaged\ntitle=T3\n"
         "icao_airline=KLM\n\n// trailing\n",
         "A320",
         {L("T0", "PVT", "A320"), L("T1", "PVT", "A320"), L("T3", "KLM", "A320")},
         {noAirline(0), noAirline(1)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gf_clearLiveries();
        writeCfg(path, "[General]\nicao_type_designator=" + c.model + "\n" + c.body);
        EXPECT_EQ(parse(path), c.liveries);
        const auto incomplete = g_incompleteSectionLines.copy();
        EXPECT_EQ(std::vector<std::string>(incomplete.begin(), incomplete.end()), c.incomplete);
        const auto airlines = g_invalidAirlineLines.copy();
        EXPECT_EQ(std::vector<std::string>(airlines.begin(), airlines.end()), c.invalidAirlines);
    }
}

TEST_F(LiveryScanTest, FileFaults)
{
    struct Case {
        const char* name;
        std::string text;
        std::string folder = "pkg";
        std::vector<std::string> invalidCfg;
        std::vector<std::string> invalidModel;
        std::vector<std::string> fixes;
        bool empty = false;
        std::size_t liveries = 0;
    };
    const std::vector<Case> cases = {
        {"no header", "[General]\nicao_type_designator=A320\n", "a", {}, {}, {}, true},
        {"number above 10000", "[General]\nicao_type_designator=A320\n[fltsim.12345]\ntitle=T\n",
         "b", {"{} contains a [fltsim.x] section with a number < 0 or > 10000"}},
        {"10000 is allowed", "icao_type_designator=A320\n[fltsim.10000]\ntitle=T\nicao_airline=DLH\n",
         "c", {}, {}, {}, false, 1},
        {"unknown model", "icao_type_designator=X99\n[fltsim.0]\ntitle=T\n", "d", {},
         {fmt::format("{:16} in {{}}", "X99")}},
        {"fixed model", "icao_type_designator=B38M\n[fltsim.0]\ntitle=T\nicao_airline=DLH\n", "e",
         {}, {}, {"Model fix: B38M found in {} changed into B738"}, false, 1},
        {"no model line", "[fltsim.0]\ntitle=T\n", "f",
         {"Line icao_type_designator= is missing in [General] section of {}"}},
        {"base container", "[VARIATION]\nbase_container = \"..\\Asobo_A320_NEO\"\n[fltsim.0]\n"
                           "title=T\nicao_airline=DLH\n",
         "g", {}, {}, {}, false, 1},
        {"Fenix package", "[fltsim.0]\ntitle=T\n", "fnx-aircraft-320"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gf_clearLiveries();
        const auto path = dir_ / c.folder / "aircraft.cfg";
        writeCfg(path, c.text);
        EXPECT_EQ(parse(path).size(), c.liveries);
        auto filled = [&](const std::vector<std::string>& lines) {
            std::vector<std::string> out;
            for (const auto& line : lines) out.push_back(fmt::format(fmt::runtime(line), path.string()));
            return out;
        };
        const auto cfg = g_invalidCfgLines.copy();
        EXPECT_EQ(std::vector<std::string>(cfg.begin(), cfg.end()), filled(c.invalidCfg));
        const auto models = g_invalidModelLines.copy();
        EXPECT_EQ(std::vector<std::string>(models.begin(), models.end()), filled(c.invalidModel));
        EXPECT_EQ(g_fixesLines.copy(), filled(c.fixes));
        EXPECT_EQ(g_emptyCfgLines.copy().size(), c.empty ? 1U : 0U);
    }
    // "fnx-aircraft-3..." keeps its type elsewhere: no report for the missing line.
    EXPECT_TRUE(g_invalidCfgLines.copy().empty());
    const auto missing = dir_ / "missing" / "aircraft.cfg";
    EXPECT_TRUE(parse(missing).empty());
}

TEST_F(LiveryScanTest, IvaoPackages)
{
    const auto planes = dir_ / "Community" / "IVAO_MTL" / "SimObjects" / "Airplanes";
    auto ivao = [&](const std::string& folder, const std::string& sections,
                    const std::vector<std::string>& textures) {
        for (const auto& texture : textures) {
            std::filesystem::create_directories(planes / folder / ("texture." + texture));
        }
        const auto path = planes / folder / "aircraft.cfg";
        writeCfg(path, sections);
        return path;
    };
    const auto winglets = ivao("IVAO_A320wCFM",
                               "[fltsim.0]\ntitle = \" A320W DLH one \"\ntexture=DLH\n"
                               "icao_airline=KLM\n[fltsim.1]\ntitle=A320W  ZZZ\ntexture=Z\n"
                               "atc_id=D-AIAB\n[fltsim.2]\ntitle=A320W ewg\ntexture=E\n"
                               "[fltsim.3]\ntitle=Other livery\ntexture=O\natc_id=D-AIAB\n"
                               "[fltsim.4]\ntitle=A320W BAW\ntexture=missing\n",
                               {"DLH", "Z", "E", "O"});
    const std::string f = winglets.parent_path().string();
    EXPECT_EQ(parse(winglets),
              (std::vector<Livery>{test::makeLivery("A320W DLH one", "DLH", "A320"),
                                   test::makeLivery("A320W  ZZZ", "ZZZ", "A320"),
                                   test::makeLivery("Other livery", "DLH", "A320", "D-AIAB")}));
    const auto airlines = g_invalidAirlineLines.copy();
    EXPECT_EQ(std::vector<std::string>(airlines.begin(), airlines.end()),
              std::vector<std::string>{fmt::format("{:12} in {} [fltsim.2]", "ewg",
                                                   winglets.string())});
    const auto incomplete = g_incompleteSectionLines.copy();
    EXPECT_EQ(std::vector<std::string>(incomplete.begin(), incomplete.end()),
              std::vector<std::string>{
                  (winglets.parent_path() / "texture.missing").string() + " [fltsim.4] does not exist"});

    gf_clearLiveries();
    const auto lower = ivao("IVAO_b7", "[fltsim.0]\ntitle=b7 DLH\ntexture=A\n", {"A"});
    const auto noTexture = ivao("IVAO_B738", "[fltsim.0]\ntitle=B738 KLM\n[fltsim.1]\n"
                                             "title=x\ntexture=A\n",
                                {"A"});
    EXPECT_TRUE(parse(lower).empty());
    EXPECT_TRUE(parse(noTexture).empty());
    const auto models = g_invalidModelLines.copy();
    EXPECT_EQ(std::vector<std::string>(models.begin(), models.end()),
              std::vector<std::string>{fmt::format("{:16} in {}", "b7", lower.string())});
    const auto sections = g_incompleteSectionLines.copy();
    const std::string b738 = noTexture.parent_path().string();
    EXPECT_EQ(std::vector<std::string>(sections.begin(), sections.end()),
              (std::vector<std::string>{
                  (noTexture.parent_path() / "texture.").string() + " [fltsim.0] does not exist",
                  b738 + " [fltsim.1] misses airlinecode in title: x, and no regcode"}));

    // Only the package folder names send a file to this parser; the model must follow IVAO_.
    EXPECT_EQ(lf_ivaoModelFromPath(dir_ / "IVAO_MTL" / "SimObjects" / "Airplanes" / "B738" /
                                   "aircraft.cfg"),
              "");
    EXPECT_EQ(lf_ivaoModelFromPath(dir_ / "x" / "ivao_x-csl" / "SimObjects" / "airplanes" /
                                   "IVAO_E75LwX" / "AIRCRAFT.CFG"),
              "E75L");
}

}  // namespace
}  // namespace qel
