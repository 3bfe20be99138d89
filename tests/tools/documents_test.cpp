#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/xml.h"
#include "tools/builder_fixtures.h"
#include "tools/datafile_builder.h"

namespace qel::datafile {
namespace {

// The elements of a section as "attr=value attr=value" lines, for whole-section comparisons.
std::vector<std::string> section(const pugi::xml_document& document, const char* name)
{
    std::vector<std::string> lines;
    for (const auto& element : document.child("root").child(name).children()) {
        std::string line = element.name();
        for (const auto& attribute : element.attributes()) {
            line += fmt::format(" {}={}", attribute.name(), attribute.value());
        }
        lines.push_back(line);
    }
    return lines;
}

TEST(AirportsDocument, MergesBothSourcesAndDropsWhatTheReaderCannotTake)
{
    pugi::xml_document document;
    Notes notes;
    buildAirportsDocument(test::smallAirportSources(), document, notes);
    EXPECT_EQ(
        section(document, "airports"),
        (std::vector<std::string>{
            "ap c=EGLL i=LHR la=51.4706 lo=-0.461941 a=83 s=0 n=Heathrow",
            "ap c=EHAM i=AMS la=52.3086 lo=4.76389 a=-11 s=0 n=Schiphol",  // IATA from VRS only
            "ap c=KJFK i=JFK la=40.639801 lo=-73.7789 a=13 s=0 n=Kennedy",
            "ap c=LFPG i=CDG la=49.012798 lo=2.55 a=392 s=0 n=De Gaulle",  // position from VRS
        }));
    EXPECT_EQ(notes.back(), "airports.xml: dropped 4 rows whose code is not four characters "
                            "A-Z/0-9 and 1 rows without a valid position or elevation");
}

TEST(AirportsDocument, CarriesTheStandCountsOfAnArchive)
{
    test::TempDir archive;
    test::writeFile(archive / "EHAM.xml",
                    "<root><parkpositions><parkpos id=\"A1\"/><parkpos "
                    "id=\"A2\"/><parkpos id=\"B1\"/></parkpositions></root>");
    test::writeFile(archive / "EGLL.xml", "<parkpositions><parkpos id=\"1\"/></parkpositions>");
    test::writeFile(archive / "LFPG.xml", "<root><parkpositions>");  // broken: no stands
    test::writeFile(archive / "KJFK.txt", "archive/stock/KJFK.xml");
    AirportSources sources = test::smallAirportSources();
    sources.archivedStands = loadArchivedStandCounts(archive.path());
    EXPECT_EQ(sources.archivedStands, (std::map<std::string, int32_t>{{"EGLL", 1}, {"EHAM", 3}}));
    sources.archivedStands["ZZZZ"] = 7;  // no such airport: nothing to carry it
    pugi::xml_document document;
    Notes notes;
    buildAirportsDocument(sources, document, notes);
    EXPECT_EQ(section(document, "airports"),
              (std::vector<std::string>{
                  "ap c=EGLL i=LHR la=51.4706 lo=-0.461941 a=83 s=1 n=Heathrow",
                  "ap c=EHAM i=AMS la=52.3086 lo=4.76389 a=-11 s=3 n=Schiphol",
                  "ap c=KJFK i=JFK la=40.639801 lo=-73.7789 a=13 s=0 n=Kennedy",
                  "ap c=LFPG i=CDG la=49.012798 lo=2.55 a=392 s=0 n=De Gaulle",
              }));
    EXPECT_EQ(notes.back(),
              "airports.xml: 2 of 3 archived stand files give their airport's "
              "stand count");
}

class DbaseDocument : public ::testing::Test {
protected:
    void build() { buildDbaseDocument(sources_, document_, notes_); }
    std::string list(const char* sectionName) const
    {
        const pugi::xml_node element = document_.child("root").child(sectionName).first_child();
        return element.first_attribute().value();
    }

    AircraftSources sources_ = test::smallAircraftSources();
    pugi::xml_document document_;
    Notes notes_;
};

TEST_F(DbaseDocument, WritesEverySectionTheReaderTakes)
{
    build();
    EXPECT_EQ(section(document_, "aircrafts"),
              (std::vector<std::string>{"aircraft types=A320,A388", "aircraft types=B738",
                                        "aircraft types=C172,C525", "aircraft types=EC35",
                                        "aircraft types=F16", "aircraft types=GLF5",
                                        "aircraft types=L39"}));  // CONC is withdrawn
    EXPECT_EQ(list("cargo_types"), "A388");
    EXPECT_EQ(list("heavy"), "A388");
    EXPECT_EQ(list("large"), "A320,B738");
    EXPECT_EQ(list("buzjet"), "C525,GLF5");
    EXPECT_EQ(list("high_performance"), "F16,L39");
    EXPECT_EQ(list("rotorcraft"), "EC35");
    EXPECT_EQ(section(document_, "similar_types"),
              (std::vector<std::string>{"similar types=A320,B738"}));
    // SU- is Egypt's and Palestine's: it belongs to no group, and Palestine keeps one prefix.
    EXPECT_EQ(section(document_, "prefixes"),
              (std::vector<std::string>{"similar types=RA-,RF-"}));
    EXPECT_EQ(section(document_, "ICAO_airlines"),
              (std::vector<std::string>{"ICAO codes=FDX", "ICAO codes=KLM", "ICAO codes=ZZZ"}));
    EXPECT_EQ(list("cargo_operators"), "FDX");
    EXPECT_EQ(section(document_, "publishers"), (std::vector<std::string>{"pub names=Orbx,orbx"}));
    EXPECT_EQ(section(document_, "wingspans"),
              (std::vector<std::string>{"wingspan type=B738 meters=35.78",
                                        "wingspan type=A388 meters=79.77",
                                        "wingspan type=C172 meters=11.00"}));
    EXPECT_EQ(section(document_, "fixes"), (std::vector<std::string>{"fx wro=738 cor=B738"}));
    EXPECT_EQ(list("simaddons20"), "ZZZZ");
    EXPECT_EQ(section(document_, "thirdparties20"),
              (std::vector<std::string>{"thirdpartie20 pub=Orbx arpts=EGLC57,YMML0"}));
    EXPECT_TRUE(document_.child("root").child("thirdparties24"));
    EXPECT_EQ(section(document_, "dbase"),
              (std::vector<std::string>{"d r=E4-", "d r=N1", "d r=N123AB m=C172",
                                        "d r=N1FE a=FDX c=true", "d r=N2", "d r=N3", "d r=N4",
                                        "d r=N5", "d r=N6", "d r=N7", "d r=N8", "d r=N9",
                                        "d r=PH-", "d r=PH-BXA a=KLM m=B738", "d r=RA-",
                                        "d r=RF-", "d r=SU-"}));
}

TEST_F(DbaseDocument, RefusesCuratedEntriesThatWouldShipWrong)
{
    struct Case {
        std::function<void(AircraftSources&)> change;
        std::string message;
    };
    const std::vector<Case> cases = {
        {[](auto& s) { s.curated.cargoTypes = {"B74F"}; },
         "cargo types: B74F is not a known code"},
        {[](auto& s) { s.curated.cargoTypes = {"CONC"}; },  // withdrawn designator
         "cargo types: CONC is not a known code"},
        {[](auto& s) { s.curated.cargoTypes.clear(); },
         "cargo types: the reader needs at least one"},
        {[](auto& s) { s.curated.cargoOperators = {"XYZ"}; },
         "cargo operators: XYZ is not a known code"},
        {[](auto& s) { s.curated.businessJets.push_back("F16"); },
         "F16 is both a business jet and high performance"},
        {[](auto& s) { s.curated.highPerformance.clear(); },  // F16 large, L39 light
         "no type falls into high_performance"},
        {[](auto& s) { s.curated.similarTypes = {"A320,A321"}; },
         "similar types: A321 is not a known code"},
        {[](auto& s) { s.curated.similarTypes = {"A320"}; },
         "similar types: a group needs two types: A320"},
        {[](auto& s) { s.curated.modelFixes = {"B74F B744"}; },
         "model fixes: B744 is not a known code"},
        {[](auto& s) { s.curated.modelFixes = {"A320 B738"}; },
         "model fixes: A320 is known or repeated"},
        {[](auto& s) { s.curated.modelFixes = {"738 B738", "738 A320"}; },
         "model fixes: 738 is known or repeated"},
        {[](auto& s) { s.curated.publishers = {"Orbx,"}; },
         "publishers: empty name or pattern in: Orbx,"},
        {[](auto& s) { s.curated.simaddonAirports.clear(); },
         "simulator add-on airports: the reader needs at least one"},
        {[](auto& s) { s.curated.simaddonAirports = {"EGL"}; },
         "simulator add-on airports: bad code EGL"},
        {[](auto& s) { s.curated.thirdParty2024 = {"Orbx;EGLC:x"}; },
         "third-party airports: bad stand count in: Orbx;EGLC:x"},
        {[](auto& s) { s.curated.thirdParty2024 = {"EGLC"}; },
         "third-party airports: expected \"publisher;codes\": EGLC"},
    };
    for (const auto& [change, message] : cases) {
        AircraftSources sources = test::smallAircraftSources();
        change(sources);
        try {
            buildDbaseDocument(sources, document_, notes_);
            ADD_FAILURE() << "no error for: " << message;
        } catch (const SourceError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST_F(DbaseDocument, LeavesOutWingspansBeyondTheReadersTable)
{
    // 2700 more designators push the last codes past model id 2699 (id 0 is the empty code).
    std::string types =
        "ICAO,Manufacturer,Model,Engines,EngineTypeCode,EnginePlacementCode,SpeciesCode,"
        "WakeTurbulenceCode,IsActive\n";
    std::string spans = "ICAO_Code,Wingspan_ft_without_winglets_sharklets,"
                        "Wingspan_ft_with_winglets_sharklets\n";
    for (const auto& row : sources_.modelTypes.rows) {
        std::string line;
        for (const auto& cell : row) line += cell + ",";
        line.back() = '\n';
        types += line;
    }
    std::vector<std::string> codes;
    for (int i = 0; i < 2700; ++i) {
        codes.push_back(fmt::format("{}{:03}", static_cast<char>('X' + i / 1000), i % 1000));
        types += codes.back() + ",M,m,1,P,,L,L,1\n";
        spans += codes.back() + ",30,\n";
    }
    sources_.modelTypes = parseCsv(types, "model-types.csv");
    sources_.faaCharacteristics = parseCsv(spans, "faa-acd-2023.csv");
    build();
    // Nine designators of the small set come first, so X000 has id 10 and filler 2689 has id
    // 2699, the table's last.
    const auto written = section(document_, "wingspans");
    EXPECT_EQ(written.size(), 2690u);
    EXPECT_EQ(written.front(), "wingspan type=X000 meters=9.14");
    EXPECT_EQ(written.back(), "wingspan type=" + codes[2689] + " meters=9.14");
    EXPECT_NE(std::find(notes_.begin(), notes_.end(),
                        "dbase.xml:  2690 wingspans, 10 left out beyond model id 2699"),
              notes_.end());
}

TEST(RegcodesDocument, WritesMetaBlockAndOneLineEachLivery)
{
    pugi::xml_document document;
    Notes notes;
    buildRegcodesDocument({"Boeing 737-800 KLM;PH-BXB, PH-BXA,PH-BXA",
                           "Boeing 737-800 KLM Skyteam;PH-BXO;#", "Airbus A320 Unused;"},
                          document, notes);
    const auto meta = gf_readXmlMeta(document, false);
    ASSERT_TRUE(meta.has_value());
    EXPECT_EQ(meta->author, "VNTQ");
    EXPECT_EQ(meta->version, "11.14.0");
    EXPECT_EQ(meta->sim, 1);
    EXPECT_EQ(section(document, "aig"),
              (std::vector<std::string>{"l t=Boeing 737-800 KLM r=PH-BXA,PH-BXB",
                                        "l t=Boeing 737-800 KLM Skyteam r=PH-BXO s=true",
                                        "l t=Airbus A320 Unused r="}));
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"Title A;AB"}, "registration codes: bad registration in: Title A;AB"},
        {{"Title A;PH-BXA;x"},
         "registration codes: the third field may only be #: Title A;PH-BXA;x"},
        {{"Title A"}, "registration codes: expected \"title;regs[;#]\": Title A"},
        {{"Title A;PH-BXA", "Title A;PH-BXB"}, "registration codes: repeated title Title A"},
    };
    for (const auto& [lines, message] : bad) {
        try {
            buildRegcodesDocument(lines, document, notes);
            ADD_FAILURE() << "no error for: " << message;
        } catch (const SourceError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

}  // namespace
}  // namespace qel::datafile
