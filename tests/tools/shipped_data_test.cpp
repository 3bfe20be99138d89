// The data files the build made from data/ (in the build folder's input/), read by the
// program's own readers and checked against well-known facts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "foundation/codes.h"
#include "foundation/globals.h"
#include "foundation/catalogue.h"
#include "liveries/liveries.h"
#include "liveries/livery_db.h"
#include "liveries/livery_scan.h"
#include "scenery/scenery.h"
#include "support/test_support.h"
#include "tools/builder_fixtures.h"

namespace qel {
namespace {

using test::g_builtInput;

const Airport* findAirport(std::string_view code)
{
    const auto it = std::find_if(g_airports.begin(), g_airports.end(),
                                 [&](const Airport& a) { return a.code.text() == code; });
    return it == g_airports.end() ? nullptr : &*it;
}

TEST(ShippedData, AirportDatabaseKnowsWellKnownAirports)
{
    gf_clearAirports();
    test::TempDir dir;
    ASSERT_TRUE(gf_readAirportsFrom(g_builtInput / "airports.enc", dir / "airports.xml"));
    EXPECT_GT(g_airports.size(), 30000u);
    const Airport* eham = findAirport("EHAM");
    ASSERT_NE(eham, nullptr);
    EXPECT_EQ(gf_airportText(*eham), "EHAM (AMS)");
    EXPECT_NEAR(eham->latitude, 52.3086, 1e-4);
    EXPECT_NEAR(eham->longitude, 4.7639, 1e-4);
    EXPECT_FLOAT_EQ(eham->altitude, -11.0f);  // feet, below sea level
    EXPECT_EQ(eham->standCount, 0);
    EXPECT_EQ(eham->name, "Amsterdam Airport Schiphol");
    const Airport* kjfk = findAirport("KJFK");
    ASSERT_NE(kjfk, nullptr);
    EXPECT_NEAR(kjfk->latitude, 40.64, 0.01);
    EXPECT_NEAR(kjfk->longitude, -73.78, 0.01);
    EXPECT_TRUE(std::is_sorted(g_airports.begin(), g_airports.end(),
                               [](const Airport& a, const Airport& b) {
                                   return a.code.text() < b.code.text();
                               }));
    gf_clearAirports();
}

class ShippedDbase : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_clearAircraftDatabase();
        g_airlineCodes.clear();
        g_modelCodes.clear();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(ShippedDbase, AircraftDatabaseKnowsWellKnownTypesAndAirlines)
{
    test::ScopedWorkDir work;
    test::CapturedLog log;
    std::filesystem::copy_file(g_builtInput / "dbase.enc", g_dbaseEnc);
    ASSERT_TRUE(gf_readDbase());

    EXPECT_EQ(gf_sizeCategoryOfCode("B738"), static_cast<int>(SizeCategory::Large));
    EXPECT_EQ(gf_sizeCategoryOfCode("A388"), static_cast<int>(SizeCategory::Heavy));
    EXPECT_EQ(gf_sizeCategoryOfCode("C172"), static_cast<int>(SizeCategory::Light));
    EXPECT_EQ(gf_sizeCategoryOfCode("GLF5"), static_cast<int>(SizeCategory::Buzjets));
    EXPECT_EQ(gf_sizeCategoryOfCode("F16"), static_cast<int>(SizeCategory::HighPerf));
    EXPECT_EQ(gf_sizeCategoryOfCode("EC35"), static_cast<int>(SizeCategory::Rotorcraft));
    // A 737-800 spans 35.8 m with winglets: half of it is 0.0097 nm.
    EXPECT_NEAR(gf_wingspan(gf_modelIndex("B738")), 0.00966, 0.00005);
    EXPECT_NEAR(gf_wingspan(gf_modelIndex("A388")), 0.0215, 0.0001);
    EXPECT_GT(g_maxHalfSpanNm, 0.02);
    EXPECT_LT(g_maxHalfSpanNm, 0.05);
    EXPECT_TRUE(gf_isAirlineCode("KLM"));
    EXPECT_TRUE(gf_isModelCode("A20N"));
    EXPECT_EQ(gf_modelIndex("32N"), gf_modelIndex("A20N"));
    const auto klm = gf_registrationPrefix("PH-BKL");
    ASSERT_TRUE(klm.has_value());
    EXPECT_EQ(klm->airline, gf_airlineIndex("KLM"));
    EXPECT_EQ(klm->model, gf_modelIndex("B78X"));
    EXPECT_EQ(gf_publisherOfPath("/Community/orbx-airport-eglc/scenery/a.bgl"), "Orbx");
    for (const auto& line : log.lines()) EXPECT_NE(line.rfind("==> ", 0), 0u) << line;
}

TEST_F(ShippedDbase, RegistrationsInTitlesGiveTheirRealPrefix)
{
    test::ScopedWorkDir work;
    test::CapturedLog log;
    std::filesystem::copy_file(g_builtInput / "dbase.enc", g_dbaseEnc);
    ASSERT_TRUE(gf_readDbase());
    struct Case {
        std::string title;
        std::optional<std::string> prefix;  // what the key found begins with; none: no key
    };
    const std::vector<Case> cases = {
        {"Bombardier Challenger 605 VP-BJX", "VP-B"},
        {"Cessna 172 Skyhawk D-EABC", "D-"},
        {"Pilatus PC-12 N123AB", "N"},
        {"Beech King Air G-BVMA", "G-"},
        {"McDonnell Douglas MD-11F Private", std::nullopt},
        {"Boeing 747-400 Private", std::nullopt},
        {"Airbus A320NEO Private", std::nullopt},
        {"Lockheed F-16 Demo", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto found = gf_findRegistrationPrefixIn(c.title);
        if (!c.prefix) {
            EXPECT_EQ(found, std::nullopt) << c.title;
            continue;
        }
        ASSERT_TRUE(found.has_value()) << c.title;
        EXPECT_TRUE(found->starts_with(*c.prefix)) << c.title << ": " << *found;
        EXPECT_NE(c.title.find(*found), std::string::npos) << c.title;
    }
    // The generic livery's airline is a known code.
    EXPECT_TRUE(gf_isAirlineCode("ZZZ"));

    // Registrations of 64 countries behind a type name: the key found is the registration's
    // own prefix, never a shorter country's prefix that ends inside it.
    const std::vector<std::string> registrations = {
        "HB-JLT", "TC-JFC", "EC-MAH",  "OD-MRL",   "TF-ICE", "D-AIZA",   "F-GKXA", "G-EUPA",
        "I-ADJA", "OE-LBA", "PH-BXA",  "OO-SNA",   "LX-LGA", "SE-RJA",   "LN-RKA", "OY-KBA",
        "OH-LVA", "ES-ACB", "YL-BBX",  "LY-BGU",   "SP-LRA", "OK-TVA",   "HA-LXA", "YR-BGA",
        "LZ-FBA", "SX-DGA", "9H-NEB",  "5B-DCF",   "4X-EKA", "SU-GCA",   "CN-ROA", "7T-VKA",
        "TS-IMA", "ZS-SJA", "5Y-KZA",  "ET-AOA",   "VT-ANA", "AP-BGL",   "A6-EDA", "A7-BAA",
        "9V-SKA", "9M-MXA", "PK-GFA",  "RP-C3340", "VH-OQA", "ZK-NZB",   "C-FGKJ", "N123AB",
        "XA-AMX", "PR-GUO", "LV-FNA",  "CC-BGA",   "EI-DCL", "CS-TOA",   "UR-PSA", "EP-IEA",
        "9K-AKA", "HS-TGA", "VN-A321", "4R-ALA",   "JY-AGM", "RA-73000", "B-HNR",  "HL7600"};
    for (const auto& registration : registrations) {
        const std::string title = "Airbus A320-214 Charter " + registration;
        const auto found = gf_findRegistrationPrefixIn(title);
        ASSERT_TRUE(found.has_value()) << title;
        EXPECT_TRUE(registration.starts_with(*found)) << title << ": " << *found;
        EXPECT_GE(found->size(),
                  registration.find('-') == std::string::npos ? 2u : registration.find('-'))
            << title << ": " << *found;
    }
}

// The simulator packages and the regcode file the demo installs scan as a good run's do: no
// section the report calls incomplete, no registration two liveries claim, and the private
// aircraft keep their own liveries by registration.
TEST_F(ShippedDbase, TheDemoPackagesScanWithoutErrorsOrRegcodeClashes)
{
    test::ScopedWorkDir work;
    test::TempDir user;
    const auto previousAppData = g_appDataDir;
    gf_setAppDataDir(user.path());
    test::CapturedLog log;
    const std::filesystem::path standins = std::filesystem::path(VNTQ_SOURCE_DIR) / "standins";
    std::filesystem::copy_file(g_builtInput / "dbase.enc", g_dbaseEnc);
    std::filesystem::copy_file(g_builtInput / "AIG-regcodes.enc", g_aigRegcodesEnc);
    std::filesystem::copy(standins / "simulator" / "my_regcodes", g_myRegcodesDir);
    std::filesystem::create_directories(g_infoDir);
    ASSERT_TRUE(gf_readDbase());
    LiveryScanSetup setup;
    setup.communityFolder = standins / "simulator" / "packages" / "Community";
    ASSERT_EQ(gf_scanLiveries(setup), LiveryScanResult::Done);
    lf_processScannedLiveries();

    EXPECT_TRUE(log.contains("No errors"));
    EXPECT_FALSE(std::filesystem::exists(g_incompleFltsimSectionsTxt));
    EXPECT_FALSE(std::filesystem::exists(g_inlineRegcodesTxt));
    for (const char* registration : {"D-ETJP", "D-EFGH", "D-IEFD"}) {
        const auto found = g_regcodes.find(registration);
        ASSERT_NE(found, g_regcodes.end()) << registration;
        EXPECT_TRUE(std::string(found->second).ends_with(registration)) << registration;
    }
    gf_clearLiveryDb();
    gf_clearLiveries();
    gf_setAppDataDir(previousAppData);
}

TEST(ShippedRegcodes, RegistrationCodeFileReadsBack)
{
    test::ScopedWorkDir work;
    std::filesystem::copy_file(g_builtInput / "AIG-regcodes.enc", g_aigRegcodesEnc);
    std::vector<RegcodeRecord> records;
    EXPECT_TRUE(gf_readAigRegcodes(records));
}

}  // namespace
}  // namespace qel
