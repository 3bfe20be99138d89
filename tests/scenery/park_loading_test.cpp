#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fmt/format.h>
#include <optional>
#include <string>
#include <vector>

#include "standins/download/download_standin.h"
#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "platform/scoped_env.h"
#include "scenery/scenery.h"
#include "scenery/stand_overlaps.h"
#include "stand_fixture.h"

namespace qel {
namespace {

using test::readFile;
using test::row;
using test::standFileXml;
using test::StandFileTest;

// Writes the file, its folders made first.
void writeWithFolders(const std::filesystem::path& path, const std::string& text)
{
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    test::writeFile(path, text);
}

const std::filesystem::path g_standData =
    std::filesystem::path(VNTQ_SOURCE_DIR) / "tests/data/stands";

using test::code;

Airport airport(const char* text, double latitude, double longitude, int32_t stands)
{
    Airport a;
    a.code = AirportCode(text);
    a.latitude = latitude;
    a.longitude = longitude;
    a.standCount = stands;
    return a;
}

LearnedFlight learned(const char* reg, uint32_t day, std::initializer_list<int> slots, bool real)
{
    LearnedFlight f;
    f.codes.airline = gf_airlineIndex("KLM");
    f.codes.model = gf_modelIndex("B738");
    f.registration = reg;
    f.callsign = "KLM1";
    for (int s : slots) f.slots.set(static_cast<std::size_t>(s));
    f.day = day;
    f.real = real ? 1 : 0;
    return f;
}

// A fresh program folder whose archived stand files come from the download stand-in.
class ParkLoading : public StandFileTest {
protected:
    ParkLoading()
    {
        std::filesystem::create_directories(served_ / "downloads/MSFS/archive/stock");
        std::filesystem::copy_file(g_standData / "EHAM.xml",
                                   served_ / "downloads/MSFS/archive/stock/EHAM.xml");
        gf_clearAirports();
        g_airports = {airport("EHAM", 52.3086, 4.76389, 2), airport("KLAX", 33.94, -118.41, 5)};
        g_parkWindowHooks.showStandsLoaded = [this](const ParkStandsShown& s) { shown_ = s; };
    }
    ~ParkLoading() override
    {
        gf_resetSceneryRun();
        gf_clearAirports();
        g_parkWindowHooks = {};
    }

    std::string load(const char* airportCode)
    {
        gf_clearParkAirportTable();
        info_ = {};
        shown_.reset();
        return gf_readApf(gf_findArchivedApf(code(airportCode)), info_, code(airportCode));
    }

    BglAirport tableAsAirport() const
    {
        BglAirport a;
        a.code = AirportCode("EHAM");
        a.name = info_.name;
        a.publisher = info_.publisher;
        a.stands = g_parkStands;
        return a;
    }

    test::TempDir served_;
    standin::DownloadStandin server_{served_.path()};
    test::ScopedEnv url_{"VNTQ_DOWNLOAD_URL", server_.downloadsUrl()};
    ParkAirportInfo info_;
    std::optional<ParkStandsShown> shown_;
};

TEST_F(ParkLoading, ArchivedStandsLoadNumberedWithOverlapsThenALearnedFileRoundTrips)
{
    ASSERT_EQ(load("EHAM"), "");
    ASSERT_EQ(g_parkStands.size(), 190u);
    EXPECT_EQ(info_.name, "Amsterdam Airport Schiphol");
    EXPECT_EQ(info_.publisher, "stock");
    EXPECT_EQ(info_.altitude_ft, -11);
    EXPECT_EQ(g_parkElevation, -11.0);
    ASSERT_TRUE(shown_);
    EXPECT_EQ(shown_->standCount, 190u);
    EXPECT_EQ(parking_percentage.current, 50);  // the database's stand value 2
    EXPECT_TRUE(log_.contains("learned does not exist"));
    EXPECT_TRUE(log_.contains("Airport file read from 'archive/stock/EHAM.xml' for Amsterdam "
                              "Airport Schiphol"));
    EXPECT_TRUE(log_.contains("          num_parkpos             : 190"));
    EXPECT_EQ(server_.requests().at(0).path, "/downloads/MSFS/archive/stock/EHAM.xml");
    std::size_t overlapping = 0;
    for (const ParkStand& a : g_parkStands) {
        EXPECT_EQ(&a - g_parkStands.data() + 1, a.number);
        for (uint32_t b : a.overlaps) {
            const auto& other = g_parkStands.at(b - 1).overlaps;
            EXPECT_NE(std::find(other.begin(), other.end(), a.number), other.end());
        }
        overlapping += a.overlaps.empty() ? 0 : 1;
    }
    EXPECT_GT(overlapping, 0u);

    // What the traffic manager learns, saved where the next load reads it.
    g_parkStands[0].learnedFlights.push_back(learned("PH-BXA", 1, {10, 11}, true));
    g_parkStands[0].learnedFlights.back().number = 1;
    g_parkStands[0].learnedFlights.push_back(learned("PH-BXB", 7, {47}, false));
    g_parkStands[0].learnedFlights.back().number = 2;
    g_parkStands[5].radius = 20.0 / 1852.0;
    g_parkStands[5].radiusChanged = true;
    g_parkStands.emplace_back("NEW1", std::vector<LearnedFlight>{}, 52.31, 4.75, 0.0, 25.0,
                              false, true, false);
    g_parkStands.back().manual = true;
    PARK_SOFT.current = true;
    RANGE.current = 30;
    const std::vector<ParkStand> saved = g_parkStands;
    ASSERT_EQ(g_parkFileRead.learnedPath, "airports/learned/stock/EHAM.xml");
    ASSERT_TRUE(gf_writeApf(tableAsAirport(), g_parkFileRead.learnedPath, ApfLearned, 1));

    test::resetParkSettings();
    ASSERT_EQ(load("EHAM"), "");
    ASSERT_EQ(g_parkStands.size(), 191u);
    for (std::size_t i = 0; i < saved.size(); ++i) {
        SCOPED_TRACE(saved[i].id);
        EXPECT_EQ(g_parkStands[i].id, saved[i].id);
        EXPECT_NEAR(g_parkStands[i].radius, saved[i].radius, 1e-6);
        ASSERT_EQ(g_parkStands[i].learnedFlights.size(), saved[i].learnedFlights.size());
        for (std::size_t f = 0; f < saved[i].learnedFlights.size(); ++f) {
            const LearnedFlight& a = g_parkStands[i].learnedFlights[f];
            const LearnedFlight& b = saved[i].learnedFlights[f];
            EXPECT_EQ(a.registration, b.registration);
            EXPECT_EQ(a.slots, b.slots);
            EXPECT_EQ(a.day, b.day);
            EXPECT_EQ(a.real, b.real);
            EXPECT_EQ(a.number, b.number);
            EXPECT_EQ(a.fromStandFile, 0u);
        }
    }
    EXPECT_TRUE(g_parkStands.back().manual);
    EXPECT_TRUE(g_parkStands[5].radiusChanged);
    EXPECT_TRUE(PARK_SOFT.current);
    EXPECT_EQ(RANGE.current, 30);
    EXPECT_EQ(g_qualityFactors, lf_computeQualityFactor());
    EXPECT_EQ(gf_qualityText(), " 0/ 0");  // 191 stands, one with flights
    EXPECT_TRUE(log_.contains("Read from learned airport file: 'airports/learned/stock/EHAM.xml'"));
}

// The overlap lists of a loaded airport are those of every pair measured: apron rows of
// overlapping stands, a general-aviation field of small ones, one stand whose circle covers
// the field, and more stands at one spot than a list holds.
TEST_F(ParkLoading, OverlapsAreThoseOfEveryPairAndStopAtTheCap)
{
    std::string stands;
    auto add = [&stands](const std::string& id, double lat, double lon, double radius) {
        stands += fmt::format(
            R"(<parkpos id="{}" latitude="{:.6f}" longitude="{:.6f}" radius="{:.1f}"/>)", id, lat,
            lon, radius);
    };
    for (int i = 0; i < 300; ++i) {
        add(fmt::format("A{}", i), 52.30 + (i / 30) * 0.0009, 4.76 + (i % 30) * 0.0006,
            18.0 + (i % 7) * 3.0);
    }
    for (int i = 0; i < 150; ++i) {
        add(fmt::format("G{}", i), 52.32 + (i / 15) * 0.00012, 4.76 + (i % 15) * 0.0002, 4.5);
    }
    add("BIG", 52.3205, 4.7615, 400.0);
    for (std::size_t i = 0; i < lf_maxOverlaps + 20; ++i)
        add(fmt::format("S{}", i), 52.29, 4.75, 20.0);
    writeWithFolders("airports/my_thirdparty/EHAM.xml",
                     standFileXml(row("altitude", "-11"), stands));
    ASSERT_EQ(load("EHAM"), "");
    ASSERT_EQ(g_parkStands.size(), 451u + lf_maxOverlaps + 20);
    std::size_t capped = 0;
    for (const ParkStand& a : g_parkStands) {
        std::vector<uint32_t> all;
        for (const ParkStand& b : g_parkStands) {
            const double apart =
                gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude});
            if (a.number != b.number && a.radius + b.radius > 1.1 * apart) all.push_back(b.number);
        }
        if (all.size() >= lf_maxOverlaps) {
            ++capped;
            EXPECT_EQ(a.overlaps.size(), lf_maxOverlaps) << a.id;
            EXPECT_TRUE(std::includes(all.begin(), all.end(), a.overlaps.begin(), a.overlaps.end()))
                << a.id;
        } else {
            EXPECT_EQ(a.overlaps, all) << a.id;
        }
    }
    EXPECT_EQ(capped, lf_maxOverlaps + 20 + 1);  // the stands at one spot, and BIG
    EXPECT_TRUE(
        log_.contains(fmt::format("==> {} stands overlap {} or more others; {} of them are kept",
                                  capped, lf_maxOverlaps, lf_maxOverlaps)));
}

TEST_F(ParkLoading, AFailedDownloadLoadsNothingAndKeepsTheLearnedFile)
{
    writeWithFolders("airports/learned/stock/KLAX.xml", "what was learned");
    const std::string message = load("KLAX");
    EXPECT_EQ(message, "failed to download: '" + server_.downloadsUrl() +
                           "MSFS/archive/stock/KLAX.xml'");
    EXPECT_FALSE(shown_);  // no "stands loaded" flag
    EXPECT_TRUE(g_parkStands.empty());
    EXPECT_FALSE(std::filesystem::exists("airports/park_airport.xml"));
    EXPECT_FALSE(std::filesystem::exists("airports/park_airport.xml.part"));
    BglAirport nothing;
    EXPECT_FALSE(gf_writeApf(nothing, "airports/learned/stock/KLAX.xml", ApfLearned, 1));
    EXPECT_EQ(readFile("airports/learned/stock/KLAX.xml"), "what was learned");

    // A redirect written with backslashes leads to a local file.
    writeWithFolders("airports/my_thirdparty/KLAX.txt", "airports\\my_simaddon\\X\\KLAX.xml\r\n");
    writeWithFolders(
        "airports/my_simaddon/X/KLAX.xml",
        standFileXml(row("altitude", "125"),
                     R"(<parkpos id="H3" latitude="33.94" longitude="-118.4" radius="20"/>)"));
    EXPECT_EQ(load("KLAX"), "");
    EXPECT_EQ(g_parkFileRead.learnedPath, "airports/learned/my_simaddon/X/KLAX.xml");

    EXPECT_EQ(gf_readApf("", info_, code("KLAX")), "gf_readApf: xml is empty");
    EXPECT_EQ(gf_readApf("archive/stock/KLAX.xml", info_, 0), "gf_readApf: no park airport set");
}

// A local stand file, its learned file, and what each kind of learned content does.
TEST_F(ParkLoading, LearnedFilesMergeByTheirRules)
{
    const std::string stands =
        R"(<parkpos id="A1" latitude="52.30" longitude="4.76" radius="30" heading="90"/>)"
        R"(<parkpos id="A2" latitude="52.301" longitude="4.76" radius="30">)"
        R"(<opt reg="PH-AAA" airl="KLM" type="B738" day="3" hh="4:6"/></parkpos>)";
    writeWithFolders("airports/my_thirdparty/EHAM.xml",
                     standFileXml(row("altitude", "-11") + row("publisher", "Orbx") +
                                      row("airport_name", "Schiphol"),
                                  stands));
    const std::string learnedPath = "airports/learned/thirdparty/Orbx/EHAM.xml";
    struct Case {
        std::string name;
        std::string version;
        std::string rows;
        std::string parkpos;
        std::size_t stands;
        std::size_t flightsOfA2;
        std::string log;
    };
    const std::string opts = R"(<parkpos id="A2"><opt reg="PH-AAA" airl="KLM" type="B738" day="3" hh="6:7"/>)"
                             R"(<opt reg="PH-AAA" airl="KLM" type="B738" day="3" hh="7:8"/>)"
                             R"(<opt reg="PH-BBB" day="9" hh="7"/><opt reg="PH-CCC" day="2" hh="60"/>)"
                             R"(<opt reg="PH-DDD" day="2" hh="20"/></parkpos>)";
    const std::vector<Case> cases{
        {"current", "11.10.0", row("airport_name", "Schiphol"), opts, 2, 3,
         "==> learned A2: day:3 6,7 KLM     B738    cs: reg:PH-AAA already in airport file"},
        {"older", "11.9.9", row("airport_name", "Schiphol"),
         opts + R"(<parkpos id="A1" radius_change="true" radius="40"/>)", 2, 1,
         "All flights will be cleared, except for a handmade file"},
        {"empty slots", "11.14.0", row("airport_name", "Schiphol"), opts, 2, 3,
         "==> airports/learned/thirdparty/Orbx/EHAM.xml line 1: option of stand A2 refused: "
         "hh '60' holds no half hour"},
        {"manual", "11.14.0", row("airport_name", "Other"),
         R"(<parkpos id="M1" manual="true" latitude="52.302" longitude="4.76" radius="20"/>)"
         R"(<parkpos id="M2" manual="true" latitude="0.00005" longitude="0.00005" radius="20"/>)"
         R"(<parkpos id="A1" manual="true" latitude="52.3" longitude="4.7" radius="20"/>)"
         R"(<parkpos id="Z9"/>)",
         3, 1, "learned stand Z9 in airports/learned/thirdparty/Orbx/EHAM.xml not found?"},
        {"handmade", "11.14.0", row("airport_name", "Schiphol") + row("handmade", "false"),
         R"(<parkpos id="H1" latitude="52.31" longitude="4.7" radius="20"/>)", 1, 0,
         "          handmade                : false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeWithFolders(learnedPath, standFileXml(c.rows, c.parkpos, c.version));
        ASSERT_EQ(load("EHAM"), "");
        EXPECT_EQ(g_parkFileRead.learnedPath, learnedPath);
        EXPECT_EQ(g_parkStands.size(), c.stands);
        const auto a2 = std::find_if(g_parkStands.begin(), g_parkStands.end(),
                                     [](const ParkStand& s) { return s.id == "A2"; });
        EXPECT_EQ(a2 == g_parkStands.end() ? 0u : a2->learnedFlights.size(), c.flightsOfA2);
        EXPECT_TRUE(log_.contains(c.log));
    }
    EXPECT_TRUE(g_parkApfHandmade);
    EXPECT_EQ(parking_percentage.current, 30);  // learned file without the row
    EXPECT_TRUE(log_.contains("Warning: learned file airport name: 'Other' differs from archived "
                              "file airport name: 'Schiphol'"));
    const std::string orbx = "airports/learned/thirdparty/Orbx/EHAM.xml";
    const std::string m2Misses =
        " line 1: manually created standid M2 misses correct attributes in ";
    EXPECT_TRUE(log_.contains("==> " + orbx + m2Misses + orbx));
    const std::string a1Exists = " line 1: manually created standid A1 already exists in ";
    EXPECT_TRUE(log_.contains("==> " + learnedPath + a1Exists + learnedPath));

    // A file set aside says where and why.
    writeWithFolders(learnedPath, "<root>\n<unclosed>\n");
    ASSERT_EQ(load("EHAM"), "");
    EXPECT_EQ(g_parkStands.size(), 2u);
    EXPECT_EQ(readFile("airports/learned/thirdparty/Orbx/EHAM0.xml"), "<root>\n<unclosed>\n");
    EXPECT_TRUE(log_.contains("==> " + learnedPath + " line 2: " + learnedPath +
                              " found, but could not be loaded, saved as *.0.xml: "
                              "Start-end tags mismatch"));
    const std::string noCopyright =
        "<root>\n<meta><info name=\"version\" value=\"11.14.0\"/></meta><parkpositions/></root>";
    writeWithFolders(learnedPath, noCopyright);
    ASSERT_EQ(load("EHAM"), "");
    EXPECT_TRUE(
        log_.contains("==> " + learnedPath +
                      " line 2: learned file not read: no copyright row in its meta block"));
    EXPECT_FALSE(gf_writeApf(tableAsAirport(), learnedPath, ApfLearned, 1));
    EXPECT_EQ(readFile("airports/learned/thirdparty/Orbx/EHAM0.xml"), noCopyright);

    // A handmade file that holds one stand id twice loads only the stands before it: it is kept
    // aside and never written over by that part of it.
    const std::string handmade =
        standFileXml(row("airport_name", "Schiphol") + row("handmade", "true"),
                     R"(<parkpos id="H1" latitude="52.31" longitude="4.7" radius="20"/>)"
                     "\n"
                     R"(<parkpos id="H1" latitude="52.32" longitude="4.7" radius="20"/>)"
                     R"(<parkpos id="H2" latitude="52.33" longitude="4.7" radius="20"/>)"
                     R"(<parkpos id="H3" latitude="52.34" longitude="4.7" radius="20"/>)");
    writeWithFolders(learnedPath, handmade);
    ASSERT_EQ(load("EHAM"), "");
    EXPECT_EQ(g_parkStands.size(), 1u);
    EXPECT_TRUE(log_.contains("lf_readLearned: 94: " + learnedPath +
                              " line 2: Stand 'H1' appears more than once."));
    EXPECT_FALSE(gf_writeApf(tableAsAirport(), learnedPath, ApfLearned, 1));
    EXPECT_EQ(readFile(learnedPath), handmade);
    EXPECT_EQ(readFile("airports/learned/thirdparty/Orbx/EHAM0.xml"), handmade);
    EXPECT_TRUE(log_.contains("==> '" + learnedPath +
                              "' kept: it did not read whole (a copy is in *.0.xml)"));
    // A radius a learned file cannot mean is not taken over, nor the file written over.
    writeWithFolders(learnedPath,
                     standFileXml(row("airport_name", "Schiphol"),
                                  R"(<parkpos id="A1" radius_change="true" radius="0"/>)"));
    ASSERT_EQ(load("EHAM"), "");
    EXPECT_NEAR(g_parkStands.at(0).radius * 1852.0, 30.0, 1e-9);
    EXPECT_FALSE(g_parkStands[0].radiusChanged);
    EXPECT_FALSE(gf_writeApf(tableAsAirport(), learnedPath, ApfLearned, 1));
    // A fresh load of a file read whole saves again.
    writeWithFolders(learnedPath,
                     standFileXml(row("airport_name", "Schiphol"),
                                  R"(<parkpos id="A1" radius_change="true" radius="25"/>)"));
    ASSERT_EQ(load("EHAM"), "");
    EXPECT_TRUE(gf_writeApf(tableAsAirport(), learnedPath, ApfLearned, 1));
}

TEST_F(ParkLoading, QualityDecidesTheSettingsWithoutALearnedFile)
{
    struct Case {
        int real, soft;
        bool parkSoft, week;
        float maxFitHours;
    };
    const std::vector<Case> cases{{2, 1, true, true, 24.0f}, {3, 1, false, false, 2.0f},
                                  {46, 0, false, false, 2.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.real);
        test::resetParkSettings();
        PARK_SOFT.current = c.real == 46;
        WEEK.current = c.real == 46;
        MAX_FIT_FL.current = 2.0f;
        writeWithFolders(
            "airports/my_thirdparty/EHAM.xml",
            standFileXml(row("altitude", "1") + row("Qf_real", std::to_string(c.real)) +
                             row("Qf_soft", std::to_string(c.soft)),
                         R"(<parkpos id="A1" latitude="52.30" longitude="4.76" radius="20"/>)"));
        ASSERT_EQ(load("EHAM"), "");
        EXPECT_EQ(PARK_SOFT.current, c.parkSoft);
        EXPECT_EQ(WEEK.current, c.week);
        EXPECT_EQ(MAX_FIT_FL.current, c.maxFitHours);
    }
    writeWithFolders("airports/my_thirdparty/EHAM.xml", standFileXml(row("altitude", "1"), ""));
    EXPECT_EQ(load("EHAM"), "no stands found");
    EXPECT_FALSE(shown_);
    writeWithFolders("airports/my_thirdparty/EHAM.xml", standFileXml("", ""));
    EXPECT_THROW(load("EHAM"), UserErrorException);
    writeWithFolders("airports/my_thirdparty/EHAM.xml", "<root><parkpositions/></root>");
    EXPECT_EQ(load("EHAM"), "airports/my_thirdparty/EHAM.xml: refused to load: no meta block");
}

TEST(QualityFactor, WorkedExampleAndTexts)
{
    gf_clearParkAirportTable();
    EXPECT_EQ(lf_computeQualityFactor(), ~uint64_t{0});
    g_parkStands.emplace_back("A", std::vector<LearnedFlight>{}, 1.0, 1.0, 0.0, 30.0, false,
                              false, false);
    for (int i = 0; i < 10; ++i) {
        g_parkStands[0].learnedFlights.push_back(learned("R", 1 + i % 2, {1, 2, 3, 4}, true));
        g_parkStands[0].learnedFlights.back().number = static_cast<uint32_t>(i + 1);
    }
    EXPECT_EQ(lf_computeQualityFactor(), uint64_t{66});  // 65.5 rounded, Qf_soft 0
    gf_clearParkAirportTable();
    const std::vector<std::pair<uint64_t, std::string>> texts{
        {~uint64_t{0}, "  "}, {44 | uint64_t{7} << 32, "44/ 7"}, {45 | uint64_t{7} << 32, "45"}};
    for (const auto& [pair, text] : texts) {
        g_qualityFactors = pair;
        EXPECT_EQ(gf_qualityText(), text);
    }
    g_qualityFactors = 0;
}

// Airports placed north of a point at given distances; local stand files decide.
TEST_F(ParkLoading, ClosestAirportKeepsTheTrueRunnerUpAndLetsStandsDecide)
{
    const LatLon user{50.0, 8.0};
    auto north = [&](const char* c, double nm) { return airport(c, 50.0 + nm / 60.0, 8.0, 0); };
    struct Case {
        std::vector<Airport> airports;
        std::string chosen;  // "" none
        std::string neighbourLog;
    };
    const std::vector<Case> cases{
        {{north("AAAA", 2.0), north("BBBB", 1.0)}, "BBBB", "Airport BBBB is closest, neighbour is AAAA"},
        {{north("BBBB", 1.0), north("AAAA", 2.0)}, "BBBB", "Airport BBBB is closest, neighbour is AAAA"},
        {{north("CCCC", 4.999)}, "CCCC", ""},
        {{north("CCCC", 5.01)}, "", ""},
        {{north("DDDD", 0.5), north("EEEE", 1.0), north("FFFF", 1.5)}, "EEEE",
         "Airport DDDD is closest, but stand S1 at neighbouring airport EEEE is closer at 92 meters ..."},
    };
    // EEEE's stand file keeps its stands under root, as the program writes them.
    writeWithFolders("airports/my_thirdparty/EEEE.xml",
                     standFileXml(row("altitude", "1"),
                                  R"(<parkpos id="S1" latitude="50.00083" longitude="8.0"/>)"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        g_airports = c.airports;
        const auto found = gf_closestAirport(user);
        EXPECT_EQ(found ? std::string(found->code.text()) : "", c.chosen);
        if (!c.neighbourLog.empty()) {
            EXPECT_TRUE(log_.contains(c.neighbourLog));
        }
    }
    std::string id = "unchanged";
    EXPECT_EQ(gf_readDestApfForClosestStand(code("AAAA"), user, id), 100.0);
    EXPECT_EQ(id, "unchanged");
    g_airports = {airport("EHAM", 52.3086, 4.76389, 2)};
    EXPECT_LT(gf_readDestApfForClosestStand(code("EHAM"), {52.3086, 4.76389}, id), 1.0);
    EXPECT_FALSE(std::filesystem::exists("airport.xml"));
}

// The traffic manager checks the closest airport every 16 s: Schiphol's archived stands are
// downloaded once, and read again only after a stand file was written, the run was reset, or a
// local file changed.
TEST_F(ParkLoading, ClosestAirportChecksDownloadTheStandsOnceUntilTheyChange)
{
    const LatLon user{52.3086, 4.76389};
    g_airports = {airport("EHAM", user.lat, user.lon, 2),
                  airport("EH99", user.lat + 1.0 / 60.0, user.lon, 0)};
    auto closest = [&] {
        const auto found = gf_closestAirport(user);
        return found ? std::string(found->code.text()) : std::string();
    };
    for (int check = 0; check < 3; ++check) EXPECT_EQ(closest(), "EHAM") << check;
    EXPECT_EQ(server_.requests().size(), 1u);

    // Elsewhere the kept stands measure as a fresh download does.
    const LatLon elsewhere{52.2950, 4.7800};
    std::string kept;
    std::string fresh;
    const double kept_nm = gf_readDestApfForClosestStand(code("EHAM"), elsewhere, kept);
    gf_forgetClosestStands();
    EXPECT_EQ(gf_readDestApfForClosestStand(code("EHAM"), elsewhere, fresh), kept_nm);
    EXPECT_EQ(kept, fresh);
    EXPECT_EQ(server_.requests().size(), 2u);

    ASSERT_EQ(load("EHAM"), "");
    EXPECT_TRUE(gf_writeApf(tableAsAirport(), g_parkFileRead.learnedPath, ApfLearned, 1));
    EXPECT_EQ(closest(), "EHAM");
    EXPECT_EQ(server_.requests().size(), 4u);  // the load's and the check's after the save

    // A local stand file edited between two checks.
    writeWithFolders("airports/my_thirdparty/EH99.xml",
                     standFileXml(row("altitude", "1"),
                                  R"(<parkpos id="S1" latitude="52.3086" longitude="4.76389"/>)"));
    EXPECT_EQ(closest(), "EH99");
    writeWithFolders(
        "airports/my_thirdparty/EH99.xml",
        standFileXml(row("altitude", "1"),
                     R"(<parkpos id="FAR22" latitude="52.4086" longitude="4.76389"/>)"));
    EXPECT_EQ(closest(), "EHAM");
    EXPECT_EQ(server_.requests().size(), 4u);
    EXPECT_FALSE(std::filesystem::exists("airport.xml"));
}

}  // namespace
}  // namespace qel
