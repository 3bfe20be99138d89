#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "foundation/codes.h"
#include "foundation/parameters.h"
#include "scenery/scenery.h"
#include "stand_fixture.h"

namespace qel {
namespace {

using test::readFile;
using test::standFileXml;
using test::StandFileTest;
using test::writeFile;

LearnedFlight flight(const std::string& reg, const std::string& cs1, const std::string& cs2,
                     HalfHourSet slots, uint32_t day, uint32_t number = 1)
{
    LearnedFlight f;
    f.codes.airline = gf_airlineIndex("KLM");
    f.codes.model = gf_modelIndex("B738");
    f.registration = reg;
    f.callsign = cs1;
    f.callsign2 = cs2;
    f.slots = slots;
    f.day = day;
    f.number = number;
    return f;
}

HalfHourSet slots(std::initializer_list<int> list)
{
    HalfHourSet set;
    for (int s : list) set.set(static_cast<std::size_t>(s));
    return set;
}

void readXml(const std::string& xml)
{
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(xml.c_str()));
    gf_readParkPositions(document);
}

BglAirport sampleAirport()
{
    BglAirport airport;
    airport.code = AirportCode("EHAM");
    airport.name = "Schiphol";
    airport.publisher = "stock";
    airport.altitude_ft = -11;
    airport.stands.emplace_back("D14", std::vector<LearnedFlight>{}, 52.308412, 4.761231,
                                std::numbers::pi / 2, 30.0, false, true, false);
    airport.stands.emplace_back("H1", std::vector<LearnedFlight>{}, 52.31, 4.77, 0.0, 15.0,
                                true, false, true);
    auto& options = airport.stands[0].learnedFlights;
    options.push_back(flight("PH-BXA", "KLM1234", "KL1234", slots({10, 11}), 3, 1));
    options.push_back(flight("PH-BXB", "", "KL77", slots({5}), 7, 2));
    options.push_back(flight("PH-BXC", "KLM9", "", slots({20, 21, 22}), 1, 3));
    options.back().real = 0;
    options.back().cpl = 1;
    options.push_back(flight("PH-BXD", "", "", slots({47}), 2, 4));
    options.push_back(flight("PH-BXE", "KLM3", "", slots({3, 4, 7}), 2, 5));  // not one run
    options.push_back(flight("", "KLM4", "", slots({8}), 2, 6));              // no registration
    options.push_back(flight("PH-BXF", "KLM5", "", slots({8}), 2, 0));        // number 0
    options.push_back(flight("PH-BXG", "KLM6", "", {}, 2, 7));                // no slot
    airport.stands[1].manual = true;
    return airport;
}

// Every field a handmade learned file carries survives a write and a read.
TEST_F(StandFileTest, HandmadeFileRoundTripKeepsEveryField)
{
    g_parkApfHandmade = true;
    const BglAirport airport = sampleAirport();
    ASSERT_TRUE(gf_writeApf(airport, "airports/learned/stock/EHAM.xml", ApfLearned, 2));
    EXPECT_FALSE(std::filesystem::exists("airports/learned/stock/EHAM.xml.tmp"));
    EXPECT_TRUE(log_.contains("==> bit set problem: PH-BXG KLM6 KLM     B738   "));

    pugi::xml_document document;
    ASSERT_TRUE(document.load_file("airports/learned/stock/EHAM.xml"));
    readXml(readFile("airports/learned/stock/EHAM.xml"));
    ASSERT_EQ(g_parkStands.size(), 2u);
    const ParkStand& d14 = g_parkStands[0];
    EXPECT_EQ(d14.id, "D14");
    EXPECT_NEAR(d14.latitude, 52.308412, 1e-9);
    EXPECT_NEAR(d14.heading, std::numbers::pi / 2, 1e-9);
    EXPECT_NEAR(d14.radius * 1852.0, 30.0, 1e-9);
    EXPECT_TRUE(d14.ramp);
    EXPECT_FALSE(d14.cargo);
    // What the reader takes, the writer writes: a set of slots that is not one run, and an
    // option without a registration, which the stand search matches by airline and type.
    ASSERT_EQ(d14.learnedFlights.size(), 6u);
    struct Expected {
        std::string reg, cs1, cs2;
        HalfHourSet slots;
        uint32_t day, real, cpl;
    };
    const std::vector<Expected> expected{{"PH-BXA", "KLM1234", "KL1234", slots({10, 11}), 3, 1, 0},
                                         {"PH-BXB", "", "KL77", slots({5}), 7, 1, 0},
                                         {"PH-BXC", "KLM9", "", slots({20, 21, 22}), 1, 0, 1},
                                         {"PH-BXD", "", "", slots({47}), 2, 1, 0},
                                         {"PH-BXE", "KLM3", "", slots({3, 4, 7}), 2, 1, 0},
                                         {"", "KLM4", "", slots({8}), 2, 1, 0}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const LearnedFlight& f = d14.learnedFlights[i];
        SCOPED_TRACE(expected[i].reg);
        EXPECT_EQ(f.registration, expected[i].reg);
        EXPECT_EQ(f.callsign, expected[i].cs1);
        EXPECT_EQ(f.callsign2, expected[i].cs2);
        EXPECT_EQ(f.slots, expected[i].slots);
        EXPECT_EQ(f.day, expected[i].day);
        EXPECT_EQ(f.real, expected[i].real);
        EXPECT_EQ(f.cpl, expected[i].cpl);
        EXPECT_EQ(f.number, i + 1);
        EXPECT_EQ(f.fromStandFile, 1u);
        EXPECT_EQ(f.codes.airline, gf_airlineIndex("KLM"));
        EXPECT_EQ(f.codes.model, gf_modelIndex("B738"));
    }
    const ParkStand& h1 = g_parkStands[1];
    EXPECT_TRUE(h1.helipad);
    EXPECT_FALSE(h1.cargo);  // a helipad carries no cargo attribute
    const auto parkpos = document.child("root").child("parkpositions").child("parkpos");
    EXPECT_STREQ(parkpos.child("opt").next_sibling("opt").attribute("cs").value(), ":KL77");
    EXPECT_FALSE(parkpos.child("opt").next_sibling("opt").next_sibling("opt").next_sibling("opt")
                     .attribute("cs"));
    EXPECT_STREQ(parkpos.attribute("heading").value(), "90.0");
    EXPECT_STREQ(parkpos.attribute("radius").value(), "30.0");
    EXPECT_STREQ(parkpos.next_sibling("parkpos").attribute("heli").value(), "true");
    EXPECT_FALSE(parkpos.next_sibling("parkpos").attribute("cargo"));
    EXPECT_EQ(gf_readStringParameter(document, "handmade"), "true");
    EXPECT_EQ(gf_readIntParameter(document, "MAX_FIT"), 47);
}

TEST_F(StandFileTest, ModesWriteTheirOwnRowsAndStandForms)
{
    BglAirport airport = sampleAirport();
    airport.publisher = "";
    airport.bglPath = "C:/x.bgl";
    airport.stands[0].radiusChanged = true;
    airport.stands[0].radius = 20.0 / 1852.0;
    airport.stands.emplace_back("E1", std::vector<LearnedFlight>{}, 52.3, 4.7, 0.0, 20.0, false,
                                false, false);
    ASSERT_TRUE(gf_writeApf(airport, "learned.xml", ApfLearned, 1));
    ASSERT_TRUE(gf_writeApf(airport, "scanned.xml", ApfScanned, 1));

    pugi::xml_document learned;
    ASSERT_TRUE(learned.load_file("learned.xml"));
    const auto first = learned.child("root").child("parkpositions").child("parkpos");
    EXPECT_STREQ(first.attribute("radius_change").value(), "true");
    EXPECT_STREQ(first.attribute("radius").value(), "20.0");
    EXPECT_FALSE(first.attribute("latitude"));
    EXPECT_TRUE(first.next_sibling().attribute("latitude"));  // manual: in full
    EXPECT_FALSE(first.next_sibling().next_sibling().attribute("latitude"));  // id only
    EXPECT_EQ(gf_readStringParameter(learned, "BGLpath"), "C:/x.bgl");
    EXPECT_EQ(gf_readIntParameter(learned, "RANGE"), RANGE.current.load());
    EXPECT_FALSE(gf_readIntParameter(learned, "num_parkpos"));
    EXPECT_FALSE(gf_readIntParameter(learned, "altitude"));

    pugi::xml_document scanned;
    ASSERT_TRUE(scanned.load_file("scanned.xml"));
    EXPECT_EQ(gf_readIntParameter(scanned, "num_parkpos"), 3);
    EXPECT_EQ(gf_readIntParameter(scanned, "altitude"), -11);
    EXPECT_FALSE(gf_readIntParameter(scanned, "RANGE"));
    EXPECT_FALSE(scanned.child("root").child("parkpositions").child("parkpos").child("opt"));

    // Built in memory, a scanned file is the same bytes, and its rows name the makers.
    airport.manufacturer = std::string("Jane\0Doe", 8);
    ASSERT_TRUE(gf_writeApf(airport, "scanned.xml", ApfScanned, 1));
    const auto text = gf_apfText(airport, ApfScanned, 1);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->bytes, test::readFile("scanned.xml"));
    EXPECT_EQ(text->makers.publisher, "");
    EXPECT_EQ(text->makers.manufacturer, "Jane");  // as the file holds it
}

// Values a file must not bring into the table: each row one stand, and what the table holds.
TEST_F(StandFileTest, BadValuesDropTheStandOrOptionAndNeverThrow)
{
    struct Case {
        std::string parkpos;
        std::size_t stands;
        std::string log;
    };
    const std::vector<Case> cases{
        {R"(<parkpos id="a" latitude="nan" longitude="4"/>)", 0,
         "==> stand a refused: latitude 'nan' is no number"},
        {R"(<parkpos id="b" latitude="52" longitude="inf"/>)", 0,
         "==> stand b refused: longitude 'inf' is no number"},
        {R"(<parkpos id="c" latitude="52" longitude="4" heading="NaN"/>)", 0,
         "==> stand c refused: heading 'NaN' is no number"},
        {R"(<parkpos id="d" latitude="52" longitude="4" radius="1e999"/>)", 0,
         "==> stand d refused: radius '1e999' is no number"},
        {R"(<parkpos id="e" latitude="0" longitude="0" radius="30"/>)", 0,
         "==> stand e refused: latitude and longitude missing or 0"},
        {R"(<parkpos id="f" latitude="0" longitude="5" radius="30"/>)", 1, ""},
        {R"(<parkpos id="g" latitude="52" longitude="4" radius="30"/>)", 1, ""},
        // What the writer would give back as 0/0 or as radius 0.0 is no place to keep.
        {R"(<parkpos id="h" latitude="0.0000001" longitude="-0.0000004" radius="30"/>)", 0,
         "==> stand h refused: latitude and longitude missing or 0"},
        {R"(<parkpos id="i" latitude="52" longitude="4"/>)", 0, "==> stand i refused: no radius"},
        {R"(<parkpos id="j" latitude="52" longitude="4" radius="-5"/>)", 0,
         "==> stand j refused: radius '-5' is below 0.05 m"},
        {R"(<parkpos id="k" latitude="52" longitude="4" radius="0.04"/>)", 0,
         "==> stand k refused: radius '0.04' is below 0.05 m"},
        {R"(<parkpos id="l" latitude="52" longitude="4" radius="0.05"/>)", 1, ""},
        // Only a whole text is a number.
        {R"(<parkpos id="m" latitude="52" longitude="4" radius="0x1p5"/>)", 0,
         "==> stand m refused: radius '0x1p5' is no number"},
        {R"(<parkpos id="n" latitude="52" longitude="4" radius="30m"/>)", 0,
         "==> stand n refused: radius '30m' is no number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parkpos);
        gf_clearParkAirportTable();
        readXml(standFileXml("", c.parkpos));
        EXPECT_EQ(g_parkStands.size(), c.stands);
        if (!c.log.empty()) {
            EXPECT_TRUE(log_.contains(c.log));
        }
    }

    // Slot numbers above 47 are logged and skipped, the rest of a list kept; bad days drop the
    // option and the numbering goes on.
    gf_clearParkAirportTable();
    EXPECT_NO_THROW(
        readXml(standFileXml("", R"(<parkpos id="x" latitude="1" longitude="1" radius="9">
        <opt reg="A" day="1" hh="3,48,5"/><opt reg="B" day="0" hh="4"/>
        <opt reg="C" day="8" hh="4"/><opt reg="D" day="7"/><opt reg="E" day="2" hh="40:52"/>
        <opt reg="F" day="-1" hh="4"/><opt reg="H" day="2x" hh="4"/><opt reg="G" day="2" hh="9"/>
        </parkpos>)")));
    ASSERT_EQ(g_parkStands.size(), 1u);
    const auto& options = g_parkStands[0].learnedFlights;
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].slots, slots({3, 5}));
    EXPECT_EQ(options[1].registration, "G");  // E holds no slot: nothing to match or write
    EXPECT_EQ(options[1].number, 2u);
}

TEST_F(StandFileTest, MissingOrRepeatedIdsRaiseUserErrorsAfterTheGoodStands)
{
    struct Case {
        std::string stands;
        std::string message;
        std::size_t kept;
    };
    const std::vector<Case> cases{
        {R"(<parkpos latitude="1" longitude="1" radius="20"/>)",
         "93: Parking position #1 has no 'id' attribute.", 0},
        {R"(<parkpos id="a" latitude="1" longitude="1" radius="20"/><parkpos id="b" latitude="1" longitude="1" radius="20"/>)"
         R"(<parkpos id=" 	" latitude="1" longitude="1" radius="20"/>)",
         "93: Stand #3 has empty 'id' attribute.", 2},
        {R"(<parkpos id="A1" latitude="1" longitude="1" radius="20"/><parkpos id=" A1 " latitude="1" longitude="1" radius="20"/>)",
         "94: Stand 'A1' appears more than once.", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        gf_clearParkAirportTable();
        try {
            readXml(standFileXml("", c.stands));
            ADD_FAILURE() << "no exception";
        } catch (const UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(g_parkStands.size(), c.kept);
    }
    gf_clearParkAirportTable();
    readXml("<root><parameters/></root>");
    EXPECT_TRUE(g_parkStands.empty());
}

TEST_F(StandFileTest, AnEmptyTableNeverReplacesALearnedFile)
{
    writeFile("EHAM.xml", "learned");
    BglAirport empty;
    EXPECT_FALSE(gf_writeApf(empty, "EHAM.xml", ApfLearned, 1));
    EXPECT_EQ(readFile("EHAM.xml"), "learned");
    EXPECT_TRUE(log_.contains("==> 'EHAM.xml' kept: no stands to save over it"));
    EXPECT_TRUE(gf_writeApf(empty, "EDDF.xml", ApfLearned, 1));  // nothing there to lose
    EXPECT_TRUE(gf_writeApf(empty, "EDDF.xml", ApfLearned, 1));  // settings only: replaced
    BglAirport one;
    one.stands.emplace_back("A1", std::vector<LearnedFlight>{}, 1.0, 1.0, 0.0, 20.0, false,
                            false, false);
    one.stands.back().manual = true;
    ASSERT_TRUE(gf_writeApf(one, "EHRD.xml", ApfLearned, 1));
    EXPECT_FALSE(gf_writeApf(empty, "EHRD.xml", ApfLearned, 1));
}

TEST_F(StandFileTest, RegistrationLookupGivesTheCodesBeforeAirlineAndType)
{
    MatchKey fleet;
    fleet.airline = gf_airlineIndex("TRA");
    fleet.model = gf_modelIndex("B737");
    g_registrationKeyLookup = [&](const std::string& reg) -> std::optional<MatchKey> {
        if (reg == "PH-HZA") return fleet;
        return std::nullopt;
    };
    readXml(standFileXml("", R"(<parkpos id="x" latitude="1" longitude="1" radius="20">
        <opt reg="PH-HZA" airl="KLM" type="B738" day="1" hh="3"/>
        <opt reg="PH-XXX" airl="KLM" type="B738" day="1" hh="3"/></parkpos>)"));
    ASSERT_EQ(g_parkStands.at(0).learnedFlights.size(), 2u);
    EXPECT_EQ(g_parkStands[0].learnedFlights[0].codes, fleet);
    EXPECT_EQ(g_parkStands[0].learnedFlights[1].codes.airline, gf_airlineIndex("KLM"));
}

}  // namespace
}  // namespace qel
