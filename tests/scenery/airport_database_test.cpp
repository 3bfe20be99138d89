#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>


#include "foundation/codes.h"
#include "foundation/decrypt.h"
#include "scenery/scenery.h"
#include "support/test_support.h"

namespace qel {
namespace {

using test::CapturedLog;
using test::TempDir;

using test::writeEncrypted;

std::string airportsXml(const std::string& records)
{
    return "<?xml version=\"1.0\"?><root><airports>" + records + "</airports></root>";
}

class AirportDatabase : public ::testing::Test {
protected:
    void SetUp() override { gf_clearAirports(); }
    void TearDown() override { gf_clearAirports(); }

    bool read(const std::string& xml)
    {
        writeEncrypted(enc_, xml);
        return gf_readAirportsFrom(enc_, xml_);
    }

    std::vector<std::string> codes() const
    {
        std::vector<std::string> result;
        for (const auto& airport : g_airports) result.emplace_back(airport.code.text());
        return result;
    }

    TempDir dir_;
    std::filesystem::path enc_ = dir_ / "airports.enc";
    std::filesystem::path xml_ = dir_ / "airports.xml";
};

TEST_F(AirportDatabase, KeepsGoodRecordsSortedAndLogsEveryDroppedOne)
{
    CapturedLog log;
    const bool read = this->read(airportsXml(
        R"(<ap c="eham" i="ams" la="52.3086" lo="4.76389" a="-11" s="120"/>)"
        R"(<ap c="EDDF" la="50.0333" lo="8.57056" a="364"/>)"
        R"(<ap c="KJFK" i="JF" la="40.6398" lo="-73.7789" a="13" s="0"/>)"
        R"(<ap c="LFPG" la="49.0097" lo="2.54778" s="0"/>)"
        R"(<ap c="EGLL" lo="-0.461941" a="83" s="0"/>)"
        R"(<ap c="AAAA" i="XXX" la="x" lo="1" a="2" s="3"/>)"));

    EXPECT_TRUE(read);
    EXPECT_EQ(codes(), (std::vector<std::string>{"AAAA", "EDDF", "EHAM"}));
    const Airport& eham = g_airports[2];
    EXPECT_EQ(eham.secondCode.text(), "AMS");
    EXPECT_DOUBLE_EQ(eham.latitude, 52.3086);
    EXPECT_DOUBLE_EQ(eham.longitude, 4.76389);
    EXPECT_FLOAT_EQ(eham.altitude, -11.0f);
    EXPECT_EQ(eham.standCount, 120);
    EXPECT_EQ(g_airports[1].secondCode.text(), "XXX");  // no "i"
    EXPECT_EQ(g_airports[1].standCount, 0);             // no "s"
    EXPECT_DOUBLE_EQ(g_airports[0].latitude, 0.0);      // unreadable
    EXPECT_TRUE(gf_isKnownAirport(eham.code.word()));
    EXPECT_FALSE(gf_isKnownAirport(AirportCode("KJFK").word()));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "==> Missing stands for airport 'EDDF'",
                  "Error storing airport 'KJFK' 'JF': FixedCode: invalid string (length/charset)",
                  "==> Missing alt for airport 'LFPG'",
                  "==> Missing latLons for airport 'EGLL'",
                  "    3 airports read",
              }));
    EXPECT_FALSE(std::filesystem::exists(xml_));
}

TEST_F(AirportDatabase, FailedReadThrowsUserError88AndLeavesNothingBehind)
{
    const std::string good = R"(<ap c="EHAM" la="52.3" lo="4.7" a="-11" s="0"/>)";
    struct Case {
        std::string xml;
        std::string message;
    };
    const std::vector<Case> cases = {
        {airportsXml(good + R"(<ap c="EHA" la="1" lo="1" a="1" s="0"/>)"),
         "88: FixedCode: invalid string (length/charset)"},
        {airportsXml(good + R"(<ap c="EHAMX" la="1" lo="1" a="1" s="0"/>)"),
         "88: FixedCode: invalid string (length/charset)"},
        {airportsXml(good + R"(<ap c="EH-M" la="1" lo="1" a="1" s="0"/>)"),
         "88: FixedCode: invalid string (length/charset)"},
        {"<root><other/></root>", "88: Missing <airports> root in: " + xml_.string()},
        {"<root><airports>", "88: " + xml_.string() + " not loaded: Start-end tags mismatch"},
    };
    for (const auto& [xml, message] : cases) {
        SCOPED_TRACE(xml);
        try {
            read(xml);
            ADD_FAILURE() << "no exception";
        } catch (const UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        EXPECT_FALSE(std::filesystem::exists(xml_));
        // The records before the bad one are gone: a retry must not find them twice.
        EXPECT_TRUE(g_airports.empty());
        EXPECT_FALSE(gf_isKnownAirport(AirportCode("EHAM").word()));
    }
    EXPECT_TRUE(read(airportsXml(good)));
    EXPECT_EQ(codes(), (std::vector<std::string>{"EHAM"}));
}

TEST_F(AirportDatabase, UndecipherableFileEndsAsAFailedLoad)
{
    CapturedLog log;
    test::writeFile(enc_, std::string(100, 'x'));
    try {
        gf_readAirportsFrom(enc_, xml_);
        ADD_FAILURE() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "88: " + xml_.string() + " not loaded: File was not found");
    }
    EXPECT_TRUE(log.contains("gf_streamDecrypt exception: Decryption failed"));
    EXPECT_FALSE(std::filesystem::exists(xml_));
}

TEST_F(AirportDatabase, SecondCallReturnsWithoutTouchingAnyFile)
{
    ASSERT_TRUE(read(airportsXml(R"(<ap c="EHAM" la="52.3" lo="4.7" a="-11" s="0"/>)")));
    std::filesystem::remove(enc_);
    test::writeFile(xml_, "left alone");
    EXPECT_TRUE(gf_readAirportsFrom(enc_, xml_));
    EXPECT_EQ(test::readFile(xml_), "left alone");
    EXPECT_EQ(g_airports.size(), 1u);
}

TEST_F(AirportDatabase, EmptyDatabaseReadsButReportsFalse)
{
    EXPECT_FALSE(read(airportsXml("")));
    EXPECT_FALSE(gf_readAirportsFrom(enc_, xml_));
}

TEST_F(AirportDatabase, FindsAirportsByCodeTextAndByPath)
{
    ASSERT_TRUE(read(airportsXml(R"(<ap c="EHAM" la="1" lo="1" a="1" s="0"/>)"
                                 R"(<ap c="EDDF" la="1" lo="1" a="1" s="0"/>)")));
    const std::vector<std::pair<std::string, std::string>> byCode = {
        {"eham1", "EHAM"}, {"EDDF", "EDDF"}, {"EHA", ""}, {"EGLL", ""}, {"", ""}, {"-EHA", ""}};
    for (const auto& [text, expected] : byCode) {
        const auto found = gf_findAirportByCode(text);
        EXPECT_EQ(found ? std::string(found->text()) : "", expected) << text;
    }
    const std::vector<std::pair<std::string, std::string>> byPath = {
        {"/Community/orbx-airport-eham-schiphol/scenery/a.bgl", "EHAM"},
        {"/Community/orbx-airport-eham/x-eddf-y/a.bgl", "EDDF"},  // the smaller code first
        {"/Community/ehamscenery/a.bgl", ""},
        {"/Community/pkg-eham/a.bgl", ""},
        {"/Community/pkg-egll-x/a.bgl", ""},
    };
    for (const auto& [path, expected] : byPath) {
        const auto found = gf_findAirportByName(path);
        EXPECT_EQ(found ? std::string(found->text()) : "", expected) << path;
    }
}

TEST(AirportText, ShowsTheSecondCodeOnlyWhenThereIsOne)
{
    Airport airport;
    airport.code = AirportCode("EHAM");
    airport.secondCode = ShortAirportCode("AMS");
    EXPECT_EQ(gf_airportText(airport), "EHAM (AMS)");
    airport.secondCode = ShortAirportCode("XXX");
    EXPECT_EQ(gf_airportText(airport), "EHAM");
    EXPECT_EQ(gf_airportText(Airport{}), "?");
}

}  // namespace
}  // namespace qel
