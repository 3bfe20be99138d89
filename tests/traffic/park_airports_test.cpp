// Park airports through the park driver: the list file and the handmade stand files that feed
// it, the choice of the park airport at the edge of AIRP_RANGE and AIRP_HEIGHT, the loading of
// its real stands, and the learned file written when the user leaves it.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <thread>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

namespace fs = std::filesystem;

class ParkAirports : public TrafficTest {
protected:
    ParkAirports()
    {
        gf_clearAirports();
        airport("EHAM", "AMS", 52.3086, 4.76389);
        airport("EGLL", "LHR", 51.4706, -0.461941);
        airport("EDDL", "DUS", 51.2895, 6.76678);
        airport("KLAX", "LAX", 33.9425, -118.408);
        fs::create_directories(g_myThirdpartyDir);
        g_parkingBusy = false;
    }

    ~ParkAirports() override
    {
        lf_clearParkAirport();
        g_parkingBusy = false;
        g_parkStandsLoaded = false;
        gf_clearAirports();
    }

    static void airport(const char* code, const char* second, double lat, double lon)
    {
        Airport a;
        a.code = AirportCode(code);
        a.secondCode = ShortAirportCode(second);
        a.latitude = lat;
        a.longitude = lon;
        g_airports.push_back(a);
        g_airportCodeSet.insert(a.code.word());
    }

    static std::vector<std::string> listed()
    {
        std::vector<std::string> out;
        for (const ParkAirport& p : g_parkAirports) {
            out.push_back(gf_codeText(p.code) + "," + p.standName);
        }
        return out;
    }

    // The user aircraft in the air at the position and height above ground.
    static void airborne(double lat, double lon, double height_ft)
    {
        g_userState.latitude = lat;
        g_userState.longitude = lon;
        g_userState.altAboveGround_ft = height_ft;
        g_userState.onGround = false;
    }

    // A simulator whose user aircraft stands at Schiphol's D16, connected and reporting.
    void parkedAtD16()
    {
        placeUser(kD16Lat, kD16Lon, -11, true, fmt::format(R"("liveries": ["{}"])", kA320));
    }

    ScopedWorkDir work_;
};

TEST_F(ParkAirports, ListIsReadByItsRulesAndAStrayFileIsSkipped)
{
    writeFile(g_myParkAirportsTxt,
              "EGLL,A12\negll\nEGLL,B1\n\nEDDL, B 7\nEHAM,x,y\nZZZZ\nKLAX,\n");
    writeFile(g_myThirdpartyDir / "EHAM.xml", "<root/>");
    writeFile(g_myThirdpartyDir / "readme.txt", "handmade stand files");
    writeFile(g_myThirdpartyDir / "KLAX.xml", "<root/>");

    EXPECT_FALSE(lf_readMyParkAirports());  // ZZZZ is unknown
    EXPECT_EQ(listed(), (std::vector<std::string>{"EGLL,A12", "EGLL,", "EDDL, B 7", "KLAX,",
                                                  "EHAM,"}));
    EXPECT_TRUE(log_.contains("==> my_park_airports.txt:EGLL double, skipped"));
    EXPECT_TRUE(log_.contains("==> my_park_airports.txt:EHAM,x,y wrong syntax, skipped"));
    EXPECT_TRUE(log_.contains("airport ZZZZ is unknown"));
    EXPECT_TRUE(log_.contains("    4 park airports read from 'my_park_airports.txt'"));
    EXPECT_TRUE(log_.contains(
        fmt::format("{} is not named by an airport code, skipped",
                    gf_pathToUtf8(g_myThirdpartyDir / "readme.txt"))));

    // A code of three characters ends the reading: what came before stays, my_thirdparty is
    // not looked at.
    writeFile(g_myParkAirportsTxt, "EDDL\nEHA\nEGLL\n");
    EXPECT_FALSE(lf_readMyParkAirports());
    EXPECT_EQ(listed(), std::vector<std::string>{"EDDL,"});
    EXPECT_TRUE(log_.contains(
        "==> lf_readMyParkAirports: FixedCode: invalid string (length/charset)"));

    // No file at all is no fault.
    fs::remove(g_myParkAirportsTxt);
    EXPECT_TRUE(lf_readMyParkAirports());
    auto fromFolder = listed();
    std::sort(fromFolder.begin(), fromFolder.end());  // in the folder's order
    EXPECT_EQ(fromFolder, (std::vector<std::string>{"EHAM,", "KLAX,"}));
}

TEST_F(ParkAirports, FrontEntryIsWrittenThroughTheMainLoopAndNeverHalfWritten)
{
    writeFile(g_myParkAirportsTxt, "ZZZZ\nEGLL\n");
    EXPECT_FALSE(lf_readMyParkAirports());  // ZZZZ is unknown, EGLL is taken

    // The window's thread hands the destination over; the list changes only on the main loop.
    std::thread([] { gf_postParkAirport("EDDL", 51.2895, 6.76678); }).join();
    EXPECT_EQ(listed(), std::vector<std::string>{"EGLL,"});
    for (auto& work : gf_takeMainLoopWork()) work();
    EXPECT_EQ(listed(), (std::vector<std::string>{"EDDL,", "EGLL,"}));
    EXPECT_EQ(readFile(g_myParkAirportsTxt), "EDDL\nEGLL\nZZZZ\n");
    EXPECT_TRUE(log_.contains("my_park_airports.txt:EDDL new entry"));
    // The destination stays first wherever the user is; without one the nearest comes first.
    DESTINATION.assign("EDDL");
    lf_sortParkAirports({51.47, -0.46});
    EXPECT_EQ(listed().front(), "EDDL,");
    DESTINATION.assign({});
    lf_sortParkAirports({51.47, -0.45});
    EXPECT_EQ(listed().front(), "EGLL,");

    // An airport already listed moves to the front and the file stays as it is.
    lf_addParkAirport(AirportCode("EGLL").word(), {51.4706, -0.461941});
    g_parkAirports.front().standName = "A12";
    lf_writeMyParkAirports();
    EXPECT_EQ(readFile(g_myParkAirportsTxt), "EDDL\nEGLL,A12\nZZZZ\n");
    EXPECT_TRUE(log_.contains("my_park_airports.txt:EGLL,A12 updated stand"));

    // A failed write leaves the file as it was, and the failure is logged.
    const auto temporary = fs::path(g_myParkAirportsTxt) += ".tmp";
    fs::create_directories(temporary / "blocked");
    g_parkAirports.front().standName = "B1";
    lf_writeMyParkAirports();
    EXPECT_EQ(readFile(g_myParkAirportsTxt), "EDDL\nEGLL,A12\nZZZZ\n");
    const auto lines = log_.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with(
            fmt::format("==> {} could not be written: ", gf_pathToUtf8(g_myParkAirportsTxt)));
    }));
    // A list that is there but cannot be read is not replaced by one line.
    fs::remove_all(temporary);
    fs::remove(g_myParkAirportsTxt);
    fs::create_directories(g_myParkAirportsTxt / "blocked");
    lf_writeMyParkAirports();
    EXPECT_TRUE(fs::is_directory(g_myParkAirportsTxt / "blocked"));
    EXPECT_TRUE(log_.contains("==> my_park_airports.txt could not be read, EGLL,B1 not written"));
}

// The latitude north of the airport at which the distance is the largest one not above
// `range_nm`; the next double lies beyond it.
double lf_edgeLatitude(const Airport& a, double range_nm)
{
    double inside = a.latitude;
    double outside = a.latitude + 1.0;
    while (std::nextafter(inside, outside) != outside) {
        const double mid = inside + (outside - inside) / 2.0;
        if (mid == inside || mid == outside) break;
        (gf_distanceNm({mid, a.longitude}, {a.latitude, a.longitude}) <= range_nm ? inside
                                                                                   : outside) =
            mid;
    }
    return inside;
}

TEST_F(ParkAirports, InSightAtExactlyAirpRangeAndAirpHeight)
{
    writeFile(g_myParkAirportsTxt, "EHAM\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    const Airport eham = g_airports.front();
    AIRP_RANGE.current = 20;
    AIRP_HEIGHT.current = 18000;
    const double edge = lf_edgeLatitude(eham, 20.0);
    const double beyond = std::nextafter(edge, 90.0);
    const double tooHigh = std::nextafter(18000.0, 1e9);
    struct Case {
        double lat;
        double height_ft;
        bool chosen;
    };
    for (const auto& c : {Case{edge, 18000.0, true}, Case{beyond, 18000.0, false},
                          Case{edge, tooHigh, false}}) {
        const std::string name = fmt::format("{:.17g} {:.17g}", c.lat, c.height_ft);
        airborne(c.lat, eham.longitude, c.height_ft);
        lf_checkUserPosition(false);
        EXPECT_EQ(gf_parkAirportSet(), c.chosen) << name;
        EXPECT_EQ(g_parkAirportPending, c.chosen) << name;
        if (!c.chosen) continue;
        EXPECT_TRUE(log_.contains("EHAM in sight at 20.0 nm")) << name;
        EXPECT_TRUE(g_parkingBusy) << name;  // the parked traffic is asked for

        // Watched from the same edge it stays; one step further it is left.
        g_parkAirportPending = false;
        lf_checkUserPosition(false);
        EXPECT_TRUE(gf_parkAirportSet()) << name;
        airborne(beyond, eham.longitude, c.height_ft);
        lf_checkUserPosition(false);
        EXPECT_FALSE(gf_parkAirportSet()) << name;
        const auto lines = log_.lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.ends_with("EHAM (AMS) is out of sight (20.0 nm), parked aircraft will "
                                  "be removed");
        })) << name;
    }
}

TEST_F(ParkAirports, OnTheGroundItsStandsLoadAndLeavingSavesWhatTheyLearned)
{
    fs::copy_file(fs::path(VNTQ_SOURCE_DIR) / "tests" / "data" / "stands" / "EHAM.xml",
                  g_myThirdpartyDir / "EHAM.xml");
    writeFile(g_myParkAirportsTxt, "EGLL\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    parkedAtD16();
    lf_checkUserPosition(true);

    EXPECT_TRUE(log_.contains("User aircraft on the ground at EHAM"));
    EXPECT_TRUE(log_.contains("The park airport is EHAM (AMS)"));
    EXPECT_TRUE(log_.contains("Airport file read from 'airports/my_thirdparty/EHAM.xml' for "
                              "Amsterdam Airport Schiphol"));
    EXPECT_TRUE(log_.contains(fmt::format("{:10}{:24}: {}", "", "num_parkpos", 190)));
    ASSERT_EQ(g_parkStands.size(), 190u);
    EXPECT_FLOAT_EQ(lf_parkElevation_ft(), -11.0F);
    // The stand the user stands on is remembered and kept free.
    EXPECT_EQ(readFile(g_myParkAirportsTxt), "EGLL\nEHAM,D16\n");
    EXPECT_EQ(g_reservedStandName, "D16");
    EXPECT_NE(lf_standIdByName(g_reservedStandName), 0u);

    // The first planning waits one run of the park driver for the parked traffic asked for.
    EXPECT_TRUE(g_parkPlanPending);
    EXPECT_TRUE(g_parkingBusy);
    lf_checkUserPosition(false);
    EXPECT_FALSE(g_parkPlanPending);

    // Re-read while the user stands on a stand: the reserved stand stays.
    writeFile(g_myParkAirportsTxt, "EHAM,D14\n");
    std::string text;
    ASSERT_TRUE(lf_checkParkAirports(true, text));
    EXPECT_EQ(text, "park airports and stands are okay");
    EXPECT_EQ(g_reservedStandName, "D16");
    // Off the stands, 100 m from the nearest, it moves to the stand the list names.
    g_userState.latitude = 52.3100;
    g_userState.longitude = 4.7750;
    text.clear();
    ASSERT_TRUE(lf_checkParkAirports(true, text));
    EXPECT_EQ(text, "reserved stand changed from 'D16' to 'D14'");
    EXPECT_EQ(g_reservedStandName, "D14");

    // What the stands learned: a flight seen at D14, E20's radius relearned; D10 holds only an
    // option of the stand file itself and B13 nothing, so neither is written.
    auto stand = [](const char* id) -> ParkStand& {
        const uint32_t number = lf_standIdByName(id);
        EXPECT_NE(number, 0u) << id;
        return g_parkStands.at(number - 1);
    };
    MatchKey key;
    key.airline = gf_airlineIndex("KLM");
    key.model = gf_modelIndex("B738");
    gf_addLearnedFlight(stand("D14").learnedFlights, key, 1, 20, "KLM1234", "PH-BXA", 0);
    stand("E20").radiusChanged = true;
    LearnedFlight archived;
    archived.registration = "PH-BXB";
    archived.number = 1;
    archived.fromStandFile = 1;
    archived.slots.set(3);
    archived.day = 2;
    stand("D10").learnedFlights.push_back(archived);
    EXPECT_EQ(g_reservedStandName, "D14");
    g_learnedUpdates = 1;

    // The simulator link remembers the user standing at D18 as its run ends; the main loop no
    // longer serves its queue, the leaving still writes it.
    std::thread([] { gf_rememberUserStand(52.307133, 4.770617); }).join();

    // A live aircraft holds B13 as the airport is left.
    lf_takeStand(lf_standIdByName("B13"), 0x485000);
    ASSERT_EQ(lf_standUse(stand("B13")).occupantHexId, 0x485000u);

    // Taking off and flying away.
    airborne(kD16Lat + 0.5, kD16Lon, 4000.0);
    lf_checkUserPosition(false);
    EXPECT_FALSE(gf_parkAirportSet());
    EXPECT_TRUE(g_parkStands.empty());
    EXPECT_EQ(readFile(g_myParkAirportsTxt), "EHAM,D18\n");
    const fs::path learned = g_learnedDir / "thirdparty" / "stock" / "EHAM.xml";
    const auto lines = log_.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.ends_with(fmt::format(" '{}' saved with 1 update", gf_pathToUtf8(learned)));
    }));
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(learned.c_str()));
    std::vector<std::string> written;
    for (const auto& parkpos : document.child("root").child("parkpositions").children("parkpos")) {
        written.push_back(parkpos.attribute("id").value());
    }
    EXPECT_EQ(written, (std::vector<std::string>{"D14", "E20"}));
    const auto d14 = document.child("root").child("parkpositions").find_child_by_attribute(
        "parkpos", "id", "D14");
    EXPECT_STREQ(d14.child("opt").attribute("reg").value(), "PH-BXA");

    // Back on the ground at EHAM: its stands are loaded anew, none held by the aircraft of the
    // first visit.
    parkedAtD16();
    lf_checkUserPosition(true);
    ASSERT_EQ(g_parkStands.size(), 190u);
    EXPECT_EQ(lf_standUse(stand("B13")).occupantHexId, 0u);
    EXPECT_FALSE(lf_standUse(stand("B13")).occupied());
}

// The stands as a learned file keeps them when the user flies out of sight: by what they
// learned, or every one of them when the stand file was handmade (read back as a whole stand
// file). A folder that cannot be made is a failed save: the airport is left all the same.
TEST_F(ParkAirports, LearnedFileKeepsWhatWasLearnedOrEveryStandOfAHandmadeFile)
{
    struct Case {
        bool handmade;
        bool blocked;  // a file stands where the learned file's folder belongs
        std::vector<std::string> written;
        std::string logEnd;
    };
    const fs::path learned = g_learnedDir / "thirdparty" / "Maker" / "EHAM.xml";
    for (const auto& c :
         {Case{false,
               false,
               {"B2", "C3"},
               fmt::format(" '{}' saved with 0 updates", gf_pathToUtf8(learned))},
          Case{true,
               false,
               {"A1", "B2", "C3"},
               fmt::format(" handmade '{}' saved with 2 updates", gf_pathToUtf8(learned))},
          Case{false,
               true,
               {},
               fmt::format(" saving '{}' did not succeed", gf_pathToUtf8(learned))}}) {
        const std::string name = c.handmade ? "handmade" : c.blocked ? "blocked" : "learned";
        fs::remove_all(g_learnedDir);
        if (c.blocked) {
            fs::create_directories(learned.parent_path().parent_path());
            writeFile(learned.parent_path(), "not a folder");
        }
        ASSERT_TRUE(lf_setParkAirport(AirportCode("EHAM").word()));
        g_parkFileRead.learnedPath = learned;
        g_parkStands.clear();
        for (const char* id : {"A1", "B2", "C3"}) {
            g_parkStands.emplace_back(id, std::vector<LearnedFlight>{}, 52.3, 4.76, 0.0, 30.0,
                                      false, false, false);
        }
        LearnedFlight flight;
        flight.registration = "PH-BXA";
        flight.number = 1;
        flight.day = 3;
        flight.slots.set(20);
        g_parkStands[1].learnedFlights.push_back(flight);
        g_parkStands[2].manual = true;
        g_parkApfHandmade = c.handmade;
        g_parkStandsLoaded = true;
        g_learnedUpdates = c.handmade ? 2 : 0;

        airborne(53.3086, 4.76389, 4000.0);
        lf_checkUserPosition(false);

        EXPECT_FALSE(gf_parkAirportSet()) << name;
        EXPECT_FALSE(g_parkStandsLoaded) << name;
        EXPECT_FALSE(g_parkApfHandmade) << name;
        EXPECT_EQ(g_learnedUpdates, 0) << name;
        const auto lines = log_.lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.ends_with(c.logEnd);
        })) << name;
        if (c.blocked) continue;
        pugi::xml_document document;
        ASSERT_TRUE(document.load_file(learned.c_str())) << name;
        std::vector<std::string> written;
        for (const auto& parkpos :
             document.child("root").child("parkpositions").children("parkpos")) {
            written.push_back(parkpos.attribute("id").value());
        }
        EXPECT_EQ(written, c.written) << name;
        const bool quality =
            static_cast<bool>(document.child("root")
                                  .child("parameters")
                                  .find_child_by_attribute("parameter", "name", "Qf_real"));
        EXPECT_EQ(quality, c.handmade) << name;
    }
}

// A learned file that the reader takes only in part, a handmade stand, a manual stand or an
// option refused, is kept as it is, with its copy, through a visit: saving what was taken would
// lose the rest. The log says where and why.
TEST_F(ParkAirports, ALearnedFileReadInPartIsKeptWithItsCopy)
{
    fs::copy_file(fs::path(VNTQ_SOURCE_DIR) / "tests" / "data" / "stands" / "EHAM.xml",
                  g_myThirdpartyDir / "EHAM.xml");
    writeFile(g_myParkAirportsTxt, "EHAM\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    const fs::path learned = g_learnedDir / "thirdparty" / "stock" / "EHAM.xml";
    const std::string where = gf_pathToUtf8(learned) + " line ";
    const std::string head =
        "<root><meta><info name=\"copyright\" value=\"Copyright (c) 2026 Vanteloq\"/>"
        "<info name=\"version\" value=\"11.14.0\"/></meta>\n<parameters>";
    struct Case {
        std::string rows;
        std::string stands;  // from line 2 on
        std::vector<std::string> logs;
    };
    const std::string good = R"(<parkpos id="H1" latitude="52.31" longitude="4.7" radius="20"/>)";
    const std::vector<Case> cases{
        {R"(<parameter name="handmade" value="true"/>)",
         good + "\n" + R"(<parkpos id="H2" latitude="52.32" longitude="4.7" radius="30m"/>)" +
             "\n" + R"(<parkpos id="H3" latitude="52.33" longitude="4.7"/>)",
         {where + "3: stand H2 refused: radius '30m' is no number",
          where + "4: stand H3 refused: no radius"}},
        {"",
         "\n" + std::string(R"(<parkpos id="M1" manual="true" latitude="52.31" )") +
             R"(longitude="4.7" radius="0x1p5"/>)" + "\n" +
             R"(<parkpos id="M2" manual="true" latitude="52.32" longitude="4.7" radius="9"/>)",
         {where + "3: stand M1 refused: radius '0x1p5' is no number"}},
        {"",
         "\n" + std::string(R"(<parkpos id="D14">)") + "\n" +
             R"(<opt reg="PH-BXA" airl="KLM" type="B738" day="2x" hh="20"/>)" +
             R"(<opt reg="PH-BXB" airl="KLM" type="B738" day="2" hh="21"/></parkpos>)",
         {where + "4: option of stand D14 refused: day '2x' is no weekday 1-7"}},
        // A weekday a manual stand refuses is refused at every stand.
        {"",
         "\n" + std::string(R"(<parkpos id="D14">)") + "\n" +
             R"(<opt reg="PH-BXA" airl="KLM" type="B738" day="3.0" hh="20"/></parkpos>)",
         {where + "4: option of stand D14 refused: day '3.0' is no weekday 1-7"}},
        // Manual stands whose id the file names twice, or the stand file names too.
        {"",
         "\n" + std::string(R"(<parkpos id="M1" manual="true" latitude="52.31" )") +
             R"(longitude="4.7" radius="20"/>)" + "\n" +
             R"(<parkpos id="M1" manual="true" latitude="52.32" longitude="4.7" )" +
             R"(radius="20"><opt reg="PH-BXC" airl="KLM" type="B738" day="2" hh="21"/>)" +
             "</parkpos>\n" +
             R"(<parkpos id="D14" manual="true" latitude="52.33" longitude="4.7" radius="9"/>)",
         {where + "4: manually created standid M1 already exists in " + gf_pathToUtf8(learned),
          where + "5: manually created standid D14 already exists in " + gf_pathToUtf8(learned)}},
    };
    for (const Case& c : cases) {
        const std::string text =
            head + c.rows + "</parameters><parkpositions>" + c.stands + "</parkpositions></root>";
        fs::remove_all(g_learnedDir);
        fs::create_directories(learned.parent_path());
        writeFile(learned, text);
        parkedAtD16();
        lf_checkUserPosition(true);
        ASSERT_FALSE(g_parkStands.empty()) << c.stands;
        lf_checkUserPosition(false);  // the first planning
        airborne(kD16Lat + 0.5, kD16Lon, 4000.0);
        lf_checkUserPosition(false);
        ASSERT_FALSE(gf_parkAirportSet()) << c.stands;
        EXPECT_EQ(readFile(learned), text);
        EXPECT_EQ(readFile(learned.parent_path() / "EHAM0.xml"), text);
        for (const std::string& line : c.logs) EXPECT_TRUE(log_.contains("==> " + line)) << line;
    }
}

// A publisher too long for a folder name: the airport loads as one not learned yet, and
// leaving it tries no save.
TEST_F(ParkAirports, APublisherTooLongForAFolderNameStillLoadsTheAirport)
{
    std::string text =
        readFile(fs::path(VNTQ_SOURCE_DIR) / "tests" / "data" / "stands" / "EHAM.xml");
    const std::string publisher(300, 'P');
    text.replace(text.find("value=\"stock\""), 13, "value=\"" + publisher + "\"");
    writeFile(g_myThirdpartyDir / "EHAM.xml", text);
    fs::create_directories(g_learnedDir / "thirdparty");
    writeFile(g_myParkAirportsTxt, "EHAM\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    parkedAtD16();
    lf_checkUserPosition(true);
    EXPECT_EQ(g_parkStands.size(), 190u);
    EXPECT_TRUE(log_.contains("learned does not exist"));
    lf_checkUserPosition(false);  // the first planning

    airborne(kD16Lat + 0.5, kD16Lon, 4000.0);
    lf_checkUserPosition(false);
    const auto lines = log_.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.ends_with(fmt::format(" no learned file for '{}': nothing saved",
                                          gf_pathToUtf8(g_myThirdpartyDir / "EHAM.xml")));
    }));
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("did not succeed") != std::string::npos;
    }));
}

}  // namespace
}  // namespace qel::test
