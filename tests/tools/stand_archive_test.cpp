#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tools/stand_archive.h"

namespace qel::datafile {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

std::string lf_groundnet(const std::string& parkings)
{
    return "<?xml version=\"1.0\"?><groundnet><parkingList>" + parkings +
           "</parkingList></groundnet>";
}

const std::string g_gate = R"(<Parking index="0" type="gate" name="D" number="14" )"
                           R"(lat="N52 18.552" lon="E04 45.840" heading="90" radius="24"/>)";

// A user's folder of lists in both layouts, with no licence beside it: the renamed list and
// FlightGear's own layout each give a stand file, a list that does not parse or holds no stand
// is skipped, and the licence kept with the project's stands goes beside the files.
TEST(StandArchive, BothLayoutsOfAUsersFolderWithTheLicenceOfTheData)
{
    TempDir root;
    const fs::path parking = root / "parking";
    for (const fs::path& folder :
         {parking / "EHRD", root / "data" / "sources" / "airportsdata", root / "licence"}) {
        fs::create_directories(folder);
    }
    writeFile(parking / "EHAM.parking.xml", lf_groundnet(g_gate));
    writeFile(parking / "EHRD" / "parking.xml", lf_groundnet(g_gate));
    writeFile(parking / "KLAX.parking.xml", "<groundnet><parkingList>");
    writeFile(parking / "EDDF.parking.xml", lf_groundnet(R"(<Parking name="A1" lat="x"/>)"));
    writeFile(root / "data" / "sources" / "airportsdata" / "airports.csv",
              "icao,name,elevation\nEHAM,Amsterdam Airport Schiphol,-11\n");
    writeFile(root / "licence" / "COPYING.GPL-2", "GNU GENERAL PUBLIC LICENSE\n");
    writeFile(root / "licence" / "debian-copyright.txt", "License: GPL-2+\n");

    std::vector<std::string> notes;
    EXPECT_EQ(buildStandArchive(parking, root / "data", root / "out", root / "licence", notes), 2u);
    EXPECT_NE(readFile(root / "out" / "EHAM.xml").find("id=\"D14\""), std::string::npos);
    EXPECT_NE(readFile(root / "out" / "EHRD.xml").find("id=\"D14\""), std::string::npos);
    EXPECT_FALSE(fs::exists(root / "out" / "KLAX.xml"));
    EXPECT_FALSE(fs::exists(root / "out" / "EDDF.xml"));
    EXPECT_EQ(readFile(root / "out" / "debian-copyright.txt"), "License: GPL-2+\n");
    EXPECT_EQ(notes.size(), 4u);

    // A folder with nothing usable writes nothing, and says so by its count.
    fs::remove(parking / "EHAM.parking.xml");
    fs::remove_all(parking / "EHRD");
    notes.clear();
    EXPECT_EQ(buildStandArchive(parking, root / "data", root / "empty", root / "licence", notes),
              0u);
    EXPECT_FALSE(fs::exists(root / "empty" / "COPYING.GPL-2"));
}

}  // namespace
}  // namespace qel::datafile
