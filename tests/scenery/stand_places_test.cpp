#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/codes.h"
#include "scenery/scenery.h"
#include "stand_fixture.h"

namespace qel {
namespace {

using test::StandFileTest;
using test::writeFile;

using test::code;

class StandPlaces : public StandFileTest {
protected:
    StandPlaces()
    {
        gf_clearAirports();
        Airport eham;
        eham.code = AirportCode("EHAM");
        eham.standCount = 120;
        g_airports.push_back(eham);
        Airport ehrd;
        ehrd.code = AirportCode("EHRD");
        g_airports.push_back(ehrd);
        std::filesystem::create_directories(g_myThirdpartyDir);
        std::filesystem::create_directories(g_mySimaddonDir);
    }
    ~StandPlaces() override { gf_clearAirports(); }
};

TEST_F(StandPlaces, FindsTheFirstPlaceInOrderAndRefusesRedirectsThatLeaveTheFolder)
{
    EXPECT_EQ(gf_findArchivedApf(code("EHAM")), "archive/stock/EHAM.xml");
    EXPECT_EQ(gf_findArchivedApf(code("EHRD")), "");  // no archived stands
    EXPECT_FALSE(gf_hasAirportFile(code("EHRD")));

    writeFile(g_mySimaddonDir / "EHAM.xml", "x");
    EXPECT_EQ(gf_findArchivedApf(code("EHAM")), "airports/my_simaddon/EHAM.xml");
    writeFile(g_myThirdpartyDir / "EHAM.xml", "x");
    EXPECT_EQ(gf_findArchivedApf(code("EHAM")), "airports/my_thirdparty/EHAM.xml");

    struct Case {
        std::string firstLine;
        std::string found;  // "" → the lookup goes on to my_thirdparty/EHAM.xml
        bool refusedLogged;
    };
    const std::vector<Case> cases{
        {"airports\\my_simaddon\\X\\EHAM.XML \r\nnext", "airports\\my_simaddon\\X\\EHAM.XML", false},
        {"\xEF\xBB\xBF" "archive/simaddon/EHAM.xml", "archive/simaddon/EHAM.xml", false},
        {"archive/stock/EHAM.xm", "", false},
        {"", "", false},
        {"../../etc/EHAM.xml", "", true},
        {"airports/my_simaddon/../../../EHAM.xml", "", true},
        {"/etc/EHAM.xml", "", true},
        {"C:\\MSFS\\EHAM.xml", "", true},
        {"\\\\server\\share\\EHAM.xml", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstLine);
        writeFile(g_myThirdpartyDir / "EHAM.txt", c.firstLine);
        const std::string found = gf_findArchivedApf(code("EHAM"));
        EXPECT_EQ(found, c.found.empty() ? "airports/my_thirdparty/EHAM.xml" : c.found);
        EXPECT_EQ(log_.contains("==> redirect '" + c.firstLine.substr(0, c.firstLine.find('\r')) +
                                "' in airports/my_thirdparty/EHAM.txt refused"),
                  c.refusedLogged);
    }

    writeFile(g_mySimaddonDir / "EHRD.txt", "not a redirect");
    EXPECT_TRUE(gf_hasAirportFile(code("EHRD")));
    EXPECT_EQ(gf_findArchivedApf(code("EHRD")), "");
}

// The one path for reading and writing a learned file, from every kind of source.
TEST_F(StandPlaces, LearnedPathsStayInTheLearnedFolder)
{
    struct Case {
        std::string source;
        std::string publisher;
        std::string learned;  // "" for none
    };
    const std::vector<Case> cases{
        {"archive/stock/EHAM.xml", "stock", "airports/learned/stock/EHAM.xml"},
        {"archive\\simaddon\\EHAM.XML", "", "airports/learned/simaddon/EHAM.XML"},
        {"archive/thirdparty/Fly%20Tampa/EHAM.xml", "",
         "airports/learned/thirdparty/Fly Tampa/EHAM.xml"},
        {"archive/thirdparty/EHAM.xml", "", ""},
        {"archive/thirdparty/%20/EHAM.xml", "", ""},
        {"airports/my_simaddon/EHAM.xml", "", "airports/learned/my_simaddon/EHAM.xml"},
        {"airports/stock/EHAM.xml", "", "airports/learned/stock/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "Orbx", "airports/learned/thirdparty/Orbx/EHAM.xml"},
        {"airports/my_thirdparty2024/EHAM.xml", " Orbx/Global ",
         "airports/learned/thirdparty/Orbx Global/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "", "airports/learned/thirdparty/_unnamed/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "  ", "airports/learned/thirdparty/_unnamed/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "..", "airports/learned/thirdparty/_unnamed/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "../..", "airports/learned/thirdparty/.. ../EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "a:b", "airports/learned/thirdparty/a b/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", std::string(255, 'P'),
         "airports/learned/thirdparty/" + std::string(255, 'P') + "/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", std::string(256, 'P'), ""},
        {"airports/my_simaddon/../../EHAM.xml", "", ""},
        {"archive/stock/../../../EHAM.xml", "", ""},
        {"/airports/EHAM.xml", "", ""},
        {"airports/EHAM.txt", "", ""},
        {"", "", ""},
        {"elsewhere/EHAM.xml", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " | " + c.publisher);
        EXPECT_EQ(gf_learnedPathFor(c.source, c.publisher), std::filesystem::path(c.learned));
    }
}

TEST_F(StandPlaces, ListsThirdpartyAirportsAndSkipsBadlyNamedFiles)
{
    writeFile(g_myThirdpartyDir / "eham.xml", "x");
    writeFile(g_myThirdpartyDir / "EG-L.xml", "x");
    writeFile(g_myThirdpartyDir / "EHAMX.xml", "x");
    writeFile(g_myThirdpartyDir / "EHRD.txt", "x");
    EXPECT_EQ(gf_listMyThirdpartyAirports(), std::vector<uint32_t>{code("EHAM")});
    EXPECT_TRUE(log_.contains("==> ===> airports/my_thirdparty/EG-L.xml is not named by an "
                              "airport code, skipped"));
    EXPECT_EQ(gf_apfXmlName(code("EHAM")), "EHAM.xml");
    EXPECT_EQ(gf_apfTxtPath(code("EHAM")), std::filesystem::path("EHAM.txt"));
}

}  // namespace
}  // namespace qel
