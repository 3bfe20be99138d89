#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "realtraffic/decoding.h"
#include "rt_fixture.h"

namespace qel {
namespace {

using nlohmann::json;

class ParkedDecoding : public ::testing::Test {
protected:
    ParkedDecoding()
    {
        test::installAircraftTypes();
        test::resetClientState();
    }
    ~ParkedDecoding() override
    {
        g_registrations.clear();
        gf_clearAircraftDatabase();
    }

    // A sighting at YSSY with elements replaced: [lat, lon, stand, type, reg, time, callsign].
    static json entry(const std::map<std::size_t, json>& changes = {})
    {
        json e = json::array({-33.931984, 151.176438, "YSSY_D12", "B738", "VH-VYD",
                              1767940121.4, "QFA460"});
        for (const auto& [index, value] : changes) e[index] = value;
        return e;
    }

    std::optional<ParkedAircraftRecord> decode(const json& e, const std::string& key = "7c6db3")
    {
        std::vector<ParkedAircraftRecord> records;
        rt::processParkedTrafficLine(key, e, context_, records);
        if (records.empty()) return std::nullopt;
        return records.front();
    }

    rt::ParkedDecodeContext context_;
    test::CapturedLog log_;
};

TEST_F(ParkedDecoding, EveryRecordOfTheDocumentedRepliesIsDecoded)
{
    for (const char* name : {"doc_v5_parkedtraffic_YSSY_reply.json",
                             "doc_v4_parkedtraffic_YSSY_8fields_reply.json"}) {
        std::ifstream stream(test::capture(name));
        const json reply = json::parse(stream);
        std::vector<ParkedAircraftRecord> records;
        for (const auto& [key, value] : reply["data"].items()) {
            rt::processParkedTrafficLine(key, value, context_, records);
        }
        ASSERT_EQ(records.size(), 3u) << name;
    }
    std::ifstream stream(test::capture("doc_v5_parkedtraffic_YSSY_reply.json"));
    const json reply = json::parse(stream);
    std::vector<ParkedAircraftRecord> records;
    for (const auto& [key, value] : reply["data"].items()) {
        rt::processParkedTrafficLine(key, value, context_, records);
    }
    // Decoded in key order: 7c37c6, 7c6db3, a700bb.
    const auto& qantas = records[1];
    EXPECT_EQ(qantas.hexId, 0x7c6db3u);
    EXPECT_EQ(qantas.standName, "YSSY_D12");
    EXPECT_EQ(qantas.key.model, gf_modelIndex("B738"));
    EXPECT_EQ(qantas.registration, "VH-VYD");
    EXPECT_EQ(qantas.callsign, "QFA460");
    EXPECT_DOUBLE_EQ(qantas.latitude, -33.931984);
    // 1767940121.4 is 2026-01-09 06:28:41 UTC: the first half of 06 h.
    EXPECT_EQ(qantas.halfHourSlot, 12);
    EXPECT_EQ(records[0].halfHourSlot, 8);  // 04:16:30
    EXPECT_EQ(records[0].standName, records[2].standName);  // two jets on one stand
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ParkedDecoding, HalfHourSlotOfTheSightingTime)
{
    // 2024-08-24 10:29:30 UTC and neighbours.
    constexpr int64_t t1029_30 = 1724495370;
    struct Case {
        json time;
        int32_t slot;
    };
    for (const auto& c : {Case{t1029_30, 21}, Case{t1029_30 - 1, 20}, Case{t1029_30 + 1829, 21},
                          Case{t1029_30 + 1830, 22}, Case{1724543999, 47},
                          Case{static_cast<double>(t1029_30) - 0.6, 20},
                          Case{static_cast<double>(t1029_30) - 0.4, 21}}) {
        const auto decoded = decode(entry({{5, c.time}}));
        ASSERT_TRUE(decoded) << c.time;
        EXPECT_EQ(decoded->halfHourSlot, c.slot) << c.time;
    }
}

TEST_F(ParkedDecoding, BadSightingTimesAreDroppedAndLogged)
{
    EXPECT_FALSE(decode(entry({{5, nullptr}})));
    EXPECT_FALSE(decode(entry({{5, 1.0e30}})));
    EXPECT_FALSE(decode(entry({{5, "1767940121"}})));
    EXPECT_FALSE(decode(entry({{5, true}})));
    // A time beyond any calendar has no half-hour slot: the record would get a wrong age.
    EXPECT_FALSE(decode(entry({{5, int64_t{4'000'000'000'000'000'000}}})));
    const auto lines = log_.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0],
              "==> processParkedTrafficLine: [json.exception.type_error.302] type must be "
              "number, but is null");
    EXPECT_EQ(lines[1], "==> processParkedTrafficLine: narrowing_error");
    EXPECT_TRUE(lines[2].starts_with("==> processParkedTrafficLine: [json.exception.type_error"));
    EXPECT_EQ(lines[3],
              "==> processParkedTrafficLine: [json.exception.type_error.302] type must be "
              "number, but is boolean");
}

TEST_F(ParkedDecoding, HexTypeAndPositionRules)
{
    EXPECT_FALSE(decode(entry(), "2710"));
    EXPECT_TRUE(decode(entry(), "2711"));
    EXPECT_FALSE(decode(entry({{3, ""}})));
    EXPECT_FALSE(decode(entry({{3, "ZZZZ"}})));  // a type the database does not list
    const auto jumbo = decode(entry({{3, "B747"}}));
    ASSERT_TRUE(jumbo);
    EXPECT_EQ(jumbo->key.model, gf_modelIndex("B744"));
    // A whole-degree position sent as a JSON integer is still that position.
    const auto whole = decode(entry({{0, -33}, {1, 151}}));
    ASSERT_TRUE(whole);
    EXPECT_DOUBLE_EQ(whole->latitude, -33.0);
    EXPECT_DOUBLE_EQ(whole->longitude, 151.0);
    EXPECT_FALSE(decode(entry({{0, 0}, {1, 0.0}})));
    EXPECT_FALSE(decode(entry({{0, 91.0}})));
    EXPECT_FALSE(decode(entry({{1, "151.2"}, {0, "-33.9"}})));
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ParkedDecoding, RegistrationAndCallsignAreCleaned)
{
    struct Case {
        json registration;
        json callsign;
        std::string expectedRegistration;
        std::string expectedCallsign;
    };
    const Case cases[] = {
        {"VH-VYD-EXTRA1", "QFA460", "", "QFA460"},  // 13 characters: kept without it
        {"null", "QFA460", "", "QFA460"},
        {"VH-VYD", ".QFA460", "VH-VYD", "QFA460"},
        {"VH-VYD", "QFA460123", "VH-VYD", ""},  // 9 characters
        {"VH-VYD", "Q000001", "VH-VYD", ""},
        {"VH-VYD", "0000", "VH-VYD", "0000"},  // "00000" needs more than 4 characters
        {"VH-VYD", "QF@460", "VH-VYD", ""},
        {"VH-VYD", "null", "VH-VYD", ""},
        {"VH-VYD", nullptr, "VH-VYD", ""},
        // Bytes a stand file cannot hold, or the log should not: the text is dropped.
        {std::string("VH-\0VYD", 7), "QFA460", "", "QFA460"},
        {"VH-VYD",
         std::string("QFA\0"
                     "460",
                     7),
         "VH-VYD", ""},
        {"VH-VYD", "QFA\x1b", "VH-VYD", ""},
    };
    for (const auto& c : cases) {
        const auto decoded = decode(entry({{4, c.registration}, {6, c.callsign}}));
        ASSERT_TRUE(decoded) << c.registration << c.callsign;
        EXPECT_EQ(decoded->registration, c.expectedRegistration) << c.callsign;
        EXPECT_EQ(decoded->callsign, c.expectedCallsign) << c.callsign;
    }
}

TEST_F(ParkedDecoding, FleetRecordOfTheRegistrationGivesTheWholeKey)
{
    // Sorted by key, as the aircraft database keeps them.
    const MatchKey qantas{gf_airlineIndex("QFA"), gf_airlineIndex("QLK"), gf_modelIndex("A333"),
                          0, 0};
    const MatchKey virgin{gf_airlineIndex("VOZ"), 0, gf_modelIndex("B738"), 0, 0};
    g_registrations = {{"VH-QPJ", qantas}, {"VH-VYD", virgin}};
    const auto byRegistration = decode(entry({{6, nullptr}}));
    ASSERT_TRUE(byRegistration);
    EXPECT_EQ(byRegistration->key, virgin);
    EXPECT_EQ(byRegistration->callsign, "VH-VYD");
    // Without a registration the callsign is looked up; the operator becomes the airline.
    const auto byCallsign = decode(entry({{4, "null"}, {6, "VH-QPJ"}}));
    ASSERT_TRUE(byCallsign);
    EXPECT_EQ(byCallsign->registration, "VH-QPJ");
    EXPECT_EQ(byCallsign->key.model, gf_modelIndex("A333"));
    EXPECT_EQ(byCallsign->key.airline, gf_airlineIndex("QLK"));
}

TEST_F(ParkedDecoding, SizeCategoriesFollowTheSettings)
{
    struct Case {
        const char* type;
        bool light, highPerformance, helicopters;
        bool kept;
    };
    const Case cases[] = {
        {"C172", false, true, true, false}, {"C172", true, false, false, true},
        {"EC35", true, true, false, false}, {"EC35", false, false, true, true},
        {"F16", true, false, true, false},  {"F16", false, true, false, true},
        {"A388", false, false, false, true}, {"GLEX", false, false, false, true},
    };
    for (const auto& c : cases) {
        context_.lightAircraft = c.light;
        context_.highPerformance = c.highPerformance;
        context_.helicopters = c.helicopters;
        EXPECT_EQ(decode(entry({{3, c.type}})).has_value(), c.kept) << c.type;
    }
}

TEST_F(ParkedDecoding, StandRules)
{
    EXPECT_FALSE(decode(entry({{2, nullptr}})));
    context_.reservedStand = "YSSY_D12";
    EXPECT_FALSE(decode(entry()));
    context_.reservedStand = "";
    context_.userStand = "YSSY_D12";
    EXPECT_FALSE(decode(entry()));
    context_.userStand = "YSSY_D14";
    EXPECT_TRUE(decode(entry()));
    // No reserved stand and the user on no stand: a record without a stand name is dropped.
    context_.userStand = "";
    EXPECT_FALSE(decode(entry({{2, ""}})));
}

}  // namespace
}  // namespace qel
