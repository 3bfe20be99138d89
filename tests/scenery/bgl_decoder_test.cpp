// The BGL decoder on files made by the builder (good, unaligned and damaged) and on the two
// real files of an older simulator's format.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <variant>
#include <vector>

#include "scenery/bgl.h"
#include "scenery/bgl_view.h"
#include "scenery/scenery.h"
#include "support/bgl_builder.h"
#include "support/test_support.h"

namespace qel {
namespace {

using namespace test;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const std::string kPath = "C:/Community/pkg/scenery/EGLL.bgl";

class BglDecoder : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_clearAirports();
        for (const char* code : {"EGLL", "EHAM"}) g_airportCodeSet.insert(AirportCode(code).word());
    }
    void TearDown() override { gf_clearAirports(); }

    static std::vector<BglEntry> decode(const Bytes& bytes, bool msfs2020 = true)
    {
        std::vector<BglEntry> out;
        gf_decodeBgl(bytes, kPath, msfs2020, out);
        return out;
    }

    static std::vector<ScannedAirport> airports(const std::vector<BglEntry>& entries)
    {
        std::vector<ScannedAirport> result;
        for (const auto& e : entries) {
            if (auto* a = std::get_if<ScannedAirport>(&e)) result.push_back(*a);
        }
        return result;
    }

    static std::vector<std::string> texts(const std::vector<ScanLine>& lines)
    {
        std::vector<std::string> result;
        for (const auto& l : lines) result.push_back(l.text);
        return result;
    }
};

BglParkingSpec parking(uint32_t nameCode, uint32_t number, uint32_t type = 1)
{
    BglParkingSpec p;
    p.nameCode = nameCode;
    p.number = number;
    p.type = type;
    return p;
}

TEST_F(BglDecoder, DecodesStandsOfAnUnalignedAirportRecord)
{
    BglAirportPlan plan;
    plan.name = "Heathrow Airport";  // 6 + 16 bytes: the records after it are unaligned
    plan.runways = 2;
    plan.altitude_mm = -3000;        // -10 ft
    plan.helipads = {{51.5, -0.5, 30.0f}, {51.5, -0.5, 30.0f}, {51.6, -0.5, 10.0f}};
    auto cargo = parking(14, 3, 5);
    cargo.heading_deg = 0.0f;
    cargo.airlineCodes = {1, 2, 3};
    auto west = parking(0, 7, 2);
    west.heading_deg = -90.0f;
    plan.parkings = {parking(10, 12), cargo, west, parking(10, 12), parking(10, 12),
                     parking(1, 1, 0), parking(1, 2, 12), parking(1, 3, 13), parking(8, 4, 15)};
    plan.parkings[3].airlineCodes = {7};

    const auto found = airports(decode(bglAirportFile({plan})));

    ASSERT_EQ(found.size(), 1u);
    const ScannedAirport& a = found[0];
    EXPECT_EQ(a.code.text(), "EGLL");
    EXPECT_EQ(a.altitude_ft, -10);
    EXPECT_EQ(a.helipadNumber, 3);
    std::vector<std::string> ids;
    for (const auto& s : a.stands) ids.push_back(s.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"helipad1", "helipad2", "g12", "C3", "7", "g12a",
                                             "g12b", "wp4"}));
    EXPECT_DOUBLE_EQ(a.stands[0].radius_m, 15.0);
    EXPECT_TRUE(a.stands[0].helipad);
    EXPECT_NEAR(a.stands[0].latitude, 51.5, 1e-6);
    EXPECT_NEAR(a.stands[0].longitude, -0.5, 1e-6);
    EXPECT_TRUE(a.stands[3].cargo);
    EXPECT_TRUE(a.stands[3].ramp);
    EXPECT_DOUBLE_EQ(a.stands[3].heading_rad, 2 * std::numbers::pi);  // 0° is stored as 2π
    EXPECT_NEAR(a.stands[4].heading_rad, 1.5 * std::numbers::pi, 1e-9);  // -90° is 270°
    EXPECT_NEAR(a.stands[2].heading_rad, 0.5 * std::numbers::pi, 1e-9);
    EXPECT_FALSE(a.stands[7].ramp);  // type 15 is used but no ramp
    EXPECT_EQ(texts(a.lines), (std::vector<std::string>{
                                  "double helipad  (skipped) 51.500000,-0.500000"}));
}

TEST_F(BglDecoder, SkipsBadValuesWithTheirLines)
{
    BglAirportPlan plan;
    plan.helipads = {{51.5, -0.5, kNaN}, {51.5, -0.4, -4.0f}, {0.0, 0.0, 10.0f}};
    auto nanHeading = parking(10, 1);
    nanHeading.heading_deg = kNaN;
    auto tooSmall = parking(10, 2);
    tooSmall.radius_m = 1.0f;
    auto tooLarge = parking(10, 3);
    tooLarge.radius_m = 200.0f;
    auto nanRadius = parking(10, 4);
    nanRadius.radius_m = kNaN;
    auto fine = parking(10, 5);
    fine.radius_m = 1.5f;
    plan.parkings = {nanHeading, tooSmall, tooLarge, nanRadius, fine};
    for (int i = 0; i < 12; ++i) plan.parkings.push_back(parking(10, 9));

    const auto found = airports(decode(bglAirportFile({plan})));

    ASSERT_EQ(found.size(), 1u);
    ASSERT_EQ(found[0].stands.size(), 12u);  // g5, g9, g9a .. g9j
    EXPECT_EQ(found[0].stands.back().id, "g9j");
    for (const auto& s : found[0].stands) {
        EXPECT_TRUE(std::isfinite(s.heading_rad) && s.radius_m > 0.0) << s.id;
    }
    EXPECT_EQ(texts(found[0].lines),
              (std::vector<std::string>{
                  "Skipped helipad with size NAN m in " + kPath,
                  "Skipped helipad with size -4.0 m in " + kPath,
                  "lat/lon helipad incorrect (skipped): 0.000000,0.000000",
                  "Skipped position with heading nan in " + kPath,
                  "Skipped position with radius 1.0 m in " + kPath,
                  "Skipped position with radius 200.0 m in " + kPath,
                  "Skipped position with radius NAN m in " + kPath,
                  "===> Warning: more than 10 duplicate IDs g9 in " + kPath}));
}

// A parking list may hold 65,535 spots, all at one place: an airport keeps 10,000 stands, and
// a helipad whose radius would be written as 0.0 is none.
TEST_F(BglDecoder, CapsTheStandsOfAnAirportAndSkipsAHelipadWrittenAsRadiusZero)
{
    BglAirportPlan plan;
    plan.helipads = {{51.5, -0.5, 0.09f}, {51.5, -0.4, 0.1f}};
    for (uint32_t i = 0; i < 10003; ++i) plan.parkings.push_back(parking(12 + i % 26, i / 26));
    const auto found = airports(decode(bglAirportFile({plan})));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].stands.size(), 10000u);
    EXPECT_EQ(found[0].stands[0].id, "helipad1");
    EXPECT_EQ(texts(found[0].lines),
              (std::vector<std::string>{
                  "Skipped helipad with size 0.1 m in " + kPath,
                  "===> EGLL has more than 10000 stands, the others skipped in " + kPath}));
}

TEST_F(BglDecoder, IdentsAndSectionsThatAreNotUsed)
{
    BglAirportPlan unknown;
    unknown.ident = "KXYZ";
    BglAirportPlan shortCode;
    shortCode.ident = "XYZ";
    BglAirportPlan good;
    good.ident = "EHAM";
    good.parkings = {parking(10, 1)};
    BglSectionSpec wide{3, 0x10001, {bglAirportRecord(good)}};  // 20-byte entries: not read
    BglSectionSpec other{0x25, 1, {bglAirportRecord(good)}};
    BglSectionSpec airports{3, 1, {bglAirportRecord(unknown), bglAirportRecord(shortCode),
                                   bglAirportRecord(good)}};

    const auto entries = decode(bglFile({wide, other, airports}));

    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(std::get<ScanLine>(entries[0]).text,
              "KXYZ is not an airport supported by RealTraffic ");
    EXPECT_EQ(std::get<ScannedAirport>(entries[1]).code.text(), "EHAM");
}

// Every damaged variant ends in nothing, a line, or one format error: never a read outside the
// file (the address sanitizer checks that part).
TEST_F(BglDecoder, DamagedFilesEndInOneFormatErrorOrNothing)
{
    BglAirportPlan plan;
    plan.parkings = {parking(10, 1), parking(10, 2)};
    const Bytes good = bglAirportFile({plan, plan});
    const std::size_t record = bglFirstRecordOffset(good);
    // The second airport's parking list, after its name and runway records.
    const std::size_t list = record + bglGetU32(good, record + 2) + 68 + 6 + plan.name.size() + 52;

    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        bool formatError;
        std::size_t airports;
    };
    const std::vector<Case> cases = {
        {"header only", [](Bytes& b) { b.resize(56); }, false, 0},
        {"header size", [](Bytes& b) { bglPutU32(b, 4, 57); }, false, 0},
        {"no sections", [](Bytes& b) { bglPutU32(b, 20, 0); }, false, 0},
        {"huge section count", [](Bytes& b) { bglPutU32(b, 20, 0xFFFFFFFF); }, false, 0},
        {"subsection table past the end", [](Bytes& b) { bglPutU32(b, 56 + 12, 0xFFFFFFF0); },
         true, 0},
        {"huge subsection count", [](Bytes& b) { bglPutU32(b, 56 + 8, 0x7FFFFFFF); }, true, 2},
        {"subsection past the end",
         [](Bytes& b) { bglPutU32(b, bglGetU32(b, 56 + 12) + 12, 0xFFFFFF00); }, true, 0},
        {"subsection over the whole file",
         [](Bytes& b) {
             bglPutU32(b, bglGetU32(b, 56 + 12) + 24, 0);
             bglPutU32(b, bglGetU32(b, 56 + 12) + 28, static_cast<uint32_t>(b.size()));
         },
         true, 1},
        {"truncated in the second airport", [](Bytes& b) { b.resize(b.size() - 30); }, true, 1},
        {"record size past the subsection", [&](Bytes& b) { bglPutU32(b, record + 2, 100000); },
         true, 0},
        {"record size below its header", [&](Bytes& b) { bglPutU32(b, record + 2, 3); }, true, 0},
        {"airport record of size 0", [&](Bytes& b) { bglPutU32(b, record + 2, 0); }, false, 1},
        {"sub-record past the record", [&](Bytes& b) { bglPutU32(b, list + 2, 5000); }, true, 1},
        {"huge parking count", [&](Bytes& b) { bglPutU16(b, list + 6, 0xFFFF); }, true, 1},
        {"airline codes past the record", [&](Bytes& b) { b[list + 8 + 56 + 3] = 200; }, true, 1},
    };
    for (const auto& c : cases) {
        Bytes bytes = good;
        c.damage(bytes);
        std::vector<BglEntry> out;
        bool formatError = false;
        try {
            gf_decodeBgl(bytes, kPath, true, out);
        } catch (const BglFormatError&) {
            formatError = true;
        }
        EXPECT_EQ(formatError, c.formatError) << c.name;
        EXPECT_EQ(airports(out).size(), c.airports) << c.name;
    }
}

TEST_F(BglDecoder, RecordOf2024IsHandedOnOnlyFor2024)
{
    BglSectionSpec section{3, 1, {bglRecord(0x113, Bytes(40, 0))}};
    const Bytes bytes = bglFile({section});
    EXPECT_TRUE(decode(bytes, true).empty());
    const auto entries = decode(bytes, false);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<UnrecognisedAirport>(entries[0]));
}

TEST_F(BglDecoder, RealFilesOfAnOlderFormatHoldNoAirport)
{
    g_airportCodeSet.insert(AirportCode("KTST").word());
    for (const char* name : {"KTST_TestAirport_p3dv5.bgl", "KTST_TestAirport_p3dv6.bgl"}) {
        const auto path = std::filesystem::path(VNTQ_SOURCE_DIR) / "tests/data/bgl" / name;
        const std::string text = readFile(path);
        const Bytes bytes(text.begin(), text.end());
        EXPECT_TRUE(lf_hasAirportSection(path)) << name;
        for (bool msfs2020 : {true, false}) {
            std::vector<BglEntry> out;
            EXPECT_NO_THROW(gf_decodeBgl(bytes, kPath, msfs2020, out)) << name;
            EXPECT_TRUE(out.empty()) << name;
        }
    }
}

TEST_F(BglDecoder, QuickTestReadsOnlyTheSectionTable)
{
    TempDir dir;
    BglAirportPlan plan;
    const Bytes good = bglAirportFile({plan});
    struct Case {
        const char* name;
        Bytes bytes;
        bool airport;
    };
    Bytes noSections = good;
    bglPutU32(noSections, 20, 0);
    Bytes tooMany = good;
    bglPutU32(tooMany, 20, static_cast<uint32_t>((good.size() - 56) / 20 + 1));
    Bytes otherType = good;
    bglPutU32(otherType, 56, 0x25);
    const std::vector<Case> cases = {{"good", good, true},
                                     {"56 bytes", Bytes(good.begin(), good.begin() + 56), false},
                                     {"no sections", noSections, false},
                                     {"count past the end", tooMany, false},
                                     {"no airport section", otherType, false}};
    for (const auto& c : cases) {
        bglWrite(dir / "a.bgl", c.bytes);
        EXPECT_EQ(lf_hasAirportSection(dir / "a.bgl"), c.airport) << c.name;
    }
    EXPECT_FALSE(lf_hasAirportSection(dir / "missing.bgl"));
}

}  // namespace
}  // namespace qel
