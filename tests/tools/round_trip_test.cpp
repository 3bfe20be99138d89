#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "foundation/codes.h"
#include "foundation/decrypt.h"
#include "foundation/globals.h"
#include "liveries/liveries.h"
#include "scenery/scenery.h"
#include "support/test_support.h"
#include "tools/builder_fixtures.h"
#include "tools/datafile_builder.h"

namespace qel::datafile {
namespace {

using test::CapturedLog;
using test::TempDir;

TEST(DataFileContainer, EveryTextSizeDecipheringBackUnchanged)
{
    TempDir dir;
    constexpr std::size_t piece = 4096 + 17;
    const std::vector<std::pair<std::size_t, std::size_t>> cases = {
        // plain bytes, container bytes: header, full pieces, the final piece
        {0, 24 + 17},
        {1, 24 + 18},
        {4095, 24 + 4112},
        {4096, 24 + piece},  // a full piece carries the final tag itself
        {4097, 24 + piece + 18},
        {8192, 24 + 2 * piece},
        {10000, 24 + 2 * piece + 1808 + 17},
    };
    for (const auto& [size, containerSize] : cases) {
        SCOPED_TRACE(size);
        std::string plain(size, '\0');
        for (std::size_t i = 0; i < size; ++i) plain[i] = static_cast<char>('a' + i * 7 % 26);
        encipherToFile(plain, dir / "data.enc");
        EXPECT_EQ(std::filesystem::file_size(dir / "data.enc"), containerSize);
        EXPECT_FALSE(std::filesystem::exists(dir / "data.enc.part"));
        ASSERT_TRUE(gf_streamDecrypt(dir / "data.enc", dir / "data.xml"));
        EXPECT_EQ(test::readFile(dir / "data.xml"), plain);
    }
}

TEST(BuiltDataFiles, AirportReaderReadsWhatTheBuilderWrote)
{
    gf_clearAirports();
    TempDir dir;
    CapturedLog log;
    pugi::xml_document document;
    Notes notes;
    buildAirportsDocument(test::smallAirportSources(), document, notes);
    encipherToFile(documentText(document), dir / "airports.enc");

    ASSERT_TRUE(gf_readAirportsFrom(dir / "airports.enc", dir / "airports.xml"));
    ASSERT_EQ(g_airports.size(), 4u);
    const Airport& eham = g_airports[1];
    EXPECT_EQ(gf_airportText(eham), "EHAM (AMS)");
    EXPECT_DOUBLE_EQ(eham.latitude, 52.3086);
    EXPECT_DOUBLE_EQ(eham.longitude, 4.76389);
    EXPECT_FLOAT_EQ(eham.altitude, -11.0f);
    EXPECT_EQ(eham.standCount, 0);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"    4 airports read"}));  // no warning
    gf_clearAirports();
}

class BuiltDbase : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_clearAircraftDatabase();
        g_airlineCodes.clear();
        g_modelCodes.clear();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(BuiltDbase, AircraftDatabaseReaderReadsWhatTheBuilderWrote)
{
    test::ScopedWorkDir work;
    CapturedLog log;
    pugi::xml_document document;
    Notes notes;
    buildDbaseDocument(test::smallAircraftSources(), document, notes);
    encipherToFile(documentText(document), g_dbaseEnc);

    ASSERT_TRUE(gf_readDbase());
    const std::vector<std::pair<const char*, SizeCategory>> categories = {
        {"A388", SizeCategory::Heavy},     {"B738", SizeCategory::Large},
        {"A320", SizeCategory::Large},     {"C172", SizeCategory::Light},
        {"C525", SizeCategory::Buzjets},   {"GLF5", SizeCategory::Buzjets},
        {"F16", SizeCategory::HighPerf},   {"L39", SizeCategory::HighPerf},
        {"EC35", SizeCategory::Rotorcraft}};
    for (const auto& [code, category] : categories) {
        EXPECT_EQ(gf_sizeCategoryOfCode(code), static_cast<int>(category)) << code;
    }
    EXPECT_NEAR(gf_wingspan(gf_modelIndex("B738")), 35.78 * 0.5 / 1852.0, 1e-9);
    EXPECT_EQ(gf_modelIndex("738"), gf_modelIndex("B738"));
    EXPECT_TRUE(gf_isModelCode("L39"));
    EXPECT_FALSE(gf_isModelCode("CONC"));
    EXPECT_TRUE(gf_isAirlineCode("KLM"));
    const auto klm = gf_registrationPrefix("PH-BXA");
    ASSERT_TRUE(klm.has_value());
    EXPECT_EQ(klm->airline, gf_airlineIndex("KLM"));
    EXPECT_EQ(klm->model, gf_modelIndex("B738"));
    EXPECT_EQ(klm->cargo, 0);
    const auto fedex = gf_registrationPrefix("N1FE");
    ASSERT_TRUE(fedex.has_value());
    EXPECT_EQ(fedex->cargo, 1);
    EXPECT_EQ(gf_findRegistrationPrefixIn("Cessna 172 private RA-12345"), "RA-");
    EXPECT_EQ(gf_similarPrefixes("RA-"), (std::vector<std::string>{"RF-"}));
    EXPECT_EQ(gf_publisherOfPath("/Community/orbx-airport-eglc/scenery/a.bgl"), "Orbx");
    EXPECT_TRUE(g_simAddonAirports20.contains("ZZZZ"));
    ASSERT_EQ(g_thirdPartyAirports20.size(), 1u);
    EXPECT_EQ(g_thirdPartyAirports20[0].airports, (std::vector<std::string>{"EGLC57", "YMML0"}));
    for (const auto& line : log.lines()) EXPECT_NE(line.rfind("==> ", 0), 0u) << line;
    EXPECT_FALSE(std::filesystem::exists(g_dbaseXml));
}

TEST(BuiltRegcodes, RegistrationCodeReaderReadsWhatTheBuilderWrote)
{
    test::ScopedWorkDir work;
    CapturedLog log;
    pugi::xml_document document;
    Notes notes;
    buildRegcodesDocument({"Boeing 737-800 KLM;PH-BXB,PH-BXA",
                           "Boeing 737-800 KLM Skyteam;PH-BXO;#", "Airbus A320 Unused;"},
                          document, notes);
    encipherToFile(documentText(document), g_aigRegcodesEnc);

    std::vector<RegcodeRecord> records;
    ASSERT_TRUE(gf_readAigRegcodes(records));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].title, "Boeing 737-800 KLM");
    EXPECT_EQ(records[0].codes, (std::list<std::string>{"PH-BXA", "PH-BXB"}));
    EXPECT_FALSE(records[0].special);
    EXPECT_TRUE(records[1].special);
    EXPECT_TRUE(records[2].codes.empty());
    EXPECT_FALSE(std::filesystem::exists(g_aigRegcodesXml));
}

}  // namespace
}  // namespace qel::datafile
