// The closest-airport rule against the shipped airport list and the real stands of large
// airports: a user on any stand gets that airport as park airport, not a strip beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "foundation/codes.h"
#include "foundation/globals.h"
#include "scenery/scenery.h"
#include "support/test_support.h"
#include "tools/builder_fixtures.h"
#include "tools/datafile_builder.h"

namespace qel {
namespace {

using test::g_builtInput;
const std::filesystem::path g_standData = std::filesystem::path(VNTQ_SOURCE_DIR) / "tests/data/stands";

TEST(ParkAirportChoice, EveryRealStandOfALargeAirportGivesThatAirport)
{
    test::ScopedWorkDir work;
    test::CapturedLog log;
    gf_clearAirports();
    ASSERT_TRUE(gf_readAirportsFrom(g_builtInput / "airports.enc", work.path() / "airports.xml"));
    std::filesystem::create_directories(g_myThirdpartyDir);
    for (const char* code : {"KLAX", "EHAM"}) {
        const std::string name = std::string(code) + ".xml";
        std::filesystem::copy_file(g_standData / name, g_myThirdpartyDir / name);
        pugi::xml_document document;
        ASSERT_TRUE(document.load_file((g_standData / name).c_str()));
        std::vector<std::string> wrong;
        for (const auto& stand : document.child("root").child("parkpositions").children()) {
            const LatLon at{stand.attribute("latitude").as_double(),
                            stand.attribute("longitude").as_double()};
            const auto airport = gf_closestAirport(at);
            if (!airport || airport->code.text() != code) {
                wrong.push_back(stand.attribute("id").value());
            }
        }
        EXPECT_TRUE(wrong.empty()) << code << ": " << wrong.size() << " stands, first "
                                   << (wrong.empty() ? "" : wrong.front());
    }
    gf_clearAirports();
}

TEST(ParkAirportChoice, LocalCodesCrowdingAnAirportAreLeftOut)
{
    datafile::AirportSources sources = test::smallAirportSources();
    // 0.9 nm and 6 nm from Heathrow; a local code beside an airport without IATA code stays.
    sources.vrsAirports = datafile::parseCsv(
        "Code,Name,ICAO,IATA,Latitude,Longitude,AltitudeFeet\n"
        "H1,Heliport,GB01,,51.4856,-0.461941,80\n"
        "H2,Far strip,GB02,,51.5706,-0.461941,80\n"
        "H3,Strip by a field,GB03,,52.0010,5.0,0\n"
        "F1,Field,EHXX,,52.0,5.0,0\n",
        "vrs-standing-data/airports.csv");
    pugi::xml_document document;
    datafile::Notes notes;
    datafile::buildAirportsDocument(sources, document, notes);
    std::vector<std::string> codes;
    for (const auto& ap : document.child("root").child("airports").children("ap")) {
        codes.emplace_back(ap.attribute("c").value());
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"EGLL", "EHAM", "EHXX", "GB02", "GB03"}));
    EXPECT_EQ(notes[notes.size() - 2],
              "airports.xml: left out 1 local-code airports within 5 nm of an airport with an "
              "IATA code");
}

}  // namespace
}  // namespace qel
