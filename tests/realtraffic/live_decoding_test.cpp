#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "realtraffic/decoding.h"
#include "rt_fixture.h"
#include "simlink/simlink.h"

namespace qel {
namespace {

using nlohmann::json;
using test::capture;

constexpr double kDeg = 0.017453292519943295;

json lf_load(const std::string& name)
{
    std::ifstream stream(capture(name));
    return json::parse(stream);
}

class LiveDecoding : public ::testing::Test {
protected:
    LiveDecoding() { test::resetClientState(); }
    ~LiveDecoding() override { test::resetClientState(); }

    // The user at EDDL, RANGE 40 nm, standard pressure, EDDL as park airport (147 ft).
    static rt::LiveDecodeContext context(bool parkAirport = true)
    {
        rt::LiveDecodeContext c;
        c.reference = test::kEddl;
        c.range_nm = 40.0;
        c.qnh_hPa = 1013;
        if (parkAirport) c.parkAirport = ParkAirportReference{51.2895, 6.76678, 147.0F};
        return c;
    }

    // A real airborne record (TKJ3VU near EDDL) with elements replaced.
    static json record(const std::map<std::size_t, json>& changes = {})
    {
        static const json base = lf_load("v4_traffic_locationtraffic_EDDL_2024-08-24.json")
                                      ["data"]["4ba976"];
        json r = base;
        for (const auto& [index, value] : changes) r[index] = value;
        return r;
    }

    // Decodes the records of a reply's "data" in key order; the hex ids kept.
    std::vector<LiveAircraftRecord> decodeAll(const json& data, const rt::LiveDecodeContext& c)
    {
        for (const auto& value : data) rt::processLine(value, c, state_);
        return state_.records;
    }

    std::optional<LiveAircraftRecord> decodeOne(const json& r,
                                                const rt::LiveDecodeContext& c = context())
    {
        state_.records.clear();
        rt::processLine(r, c, state_);
        if (state_.records.empty()) return std::nullopt;
        return state_.records.front();
    }

    static std::set<std::string> hexIds(const std::vector<LiveAircraftRecord>& records)
    {
        std::set<std::string> ids;
        for (const auto& r : records) ids.insert(fmt::format("{:x}", r.hexId));
        return ids;
    }

    static const LiveAircraftRecord& find(const std::vector<LiveAircraftRecord>& records,
                                          uint32_t hexId)
    {
        for (const auto& r : records) {
            if (r.hexId == hexId) return r;
        }
        throw std::runtime_error("not decoded");
    }

    rt::LiveDecodeState state_;
    test::CapturedLog log_;
};

TEST_F(LiveDecoding, EveryRecordOfTheDusseldorfPollIsDecodedOrDroppedByItsRule)
{
    const json data = lf_load("v4_traffic_locationtraffic_EDDL_2024-08-24.json")["data"];
    ASSERT_EQ(data.size(), 18u);
    const auto records = decodeAll(data, context());
    // Dropped: the three FLARM gliders (a type of five characters is no aircraft type) and
    // the A21N on the ground 35 nm away (on the ground only near the park airport).
    EXPECT_EQ(hexIds(records),
              (std::set<std::string>{"3986e0", "3d0972", "3d1543", "3d18a1", "3d2a5c", "3d37cd",
                                     "3e5e47", "3ffa97", "4008f2", "48c122", "4ba8c3", "4ba976",
                                     "4bb84d", "896456"}));
    EXPECT_TRUE(log_.lines().empty());
    // The last record in key order set the time of the traffic.
    EXPECT_EQ(g_historicTime.load(), 1724517640.0);

    // The source carries a provider prefix: true heading is still taken for ADS-B reports,
    // so a taxiing aircraft whose track reads 0 gets its heading as the track.
    const auto& taxiing = find(records, 0x4bb84d);
    EXPECT_TRUE(taxiing.sample.hasTrueHeading);
    EXPECT_DOUBLE_EQ(taxiing.sample.track_deg, 337.5);
    EXPECT_EQ(taxiing.sample.altitude_ft, 0.0);
    EXPECT_FALSE(taxiing.sample.airborne);
    EXPECT_FALSE(taxiing.sample.bank_rad.has_value());
    const auto& parked = find(records, 0x4008f2);
    EXPECT_DOUBLE_EQ(*parked.sample.trueHeading_rad, 2 * 3.141592653589793);
    EXPECT_DOUBLE_EQ(parked.sample.track_deg, 360.0);

    const auto& cruising = find(records, 0x48c122);
    EXPECT_EQ(cruising.key.model, gf_modelIndex("B738"));
    EXPECT_EQ(cruising.callsign, "RYR75ZZ");
    EXPECT_EQ(cruising.registration, "SP-RKC");
    EXPECT_EQ(cruising.origin->text(), "BUD");
    EXPECT_EQ(cruising.destination->text(), "MAN");
    EXPECT_DOUBLE_EQ(cruising.sample.altitude_ft, 38000.0 - 0.25 * 27.0);
    EXPECT_TRUE(cruising.sample.airborne);
    EXPECT_DOUBLE_EQ(*cruising.sample.bank_rad, 12.48 * kDeg);
    EXPECT_DOUBLE_EQ(cruising.sample.airspeed_kt, 450.0);
    EXPECT_DOUBLE_EQ(cruising.sample.track_deg, 290.17);
    EXPECT_DOUBLE_EQ(*cruising.sample.trueHeading_rad, 284.2 * kDeg);
    EXPECT_DOUBLE_EQ(cruising.reportTime_s, 1724517659.5);

    // Multilateration: no true heading, no airspeed (the default by altitude), category "null".
    const auto& mlat = find(records, 0x3d0972);
    EXPECT_FALSE(mlat.sample.hasTrueHeading);
    EXPECT_DOUBLE_EQ(mlat.sample.airspeed_kt, 180.0);
    EXPECT_FALSE(mlat.origin.has_value());
    EXPECT_FALSE(mlat.sample.bank_rad.has_value());
}

TEST_F(LiveDecoding, WithoutParkAirportTheAircraftOnTheGroundAtEddlAreDropped)
{
    const json data = lf_load("v4_traffic_locationtraffic_EDDL_2024-08-24.json")["data"];
    const auto records = decodeAll(data, context(false));
    EXPECT_EQ(hexIds(records),
              (std::set<std::string>{"3986e0", "3d0972", "3d1543", "3d18a1", "3d2a5c", "3d37cd",
                                     "3e5e47", "3ffa97", "48c122", "4ba976", "896456"}));
}

TEST_F(LiveDecoding, EveryRecordOfTheBufferedDusseldorfReplyIsDecodedOrDroppedByItsRule)
{
    const json data = lf_load("v4_traffic_buffered_EDDL_2024-08-24.json")["data"];
    // In every step the B738 on the ground 35 nm away and the slow FLARM C206 (on the ground
    // by its 11 to 17 kt, 7 nm from the park airport) are dropped.
    const std::map<std::string, std::set<std::string>> expected{
        {"buffer_0", {"3c6469", "3d0972", "3d32cd", "3e4b2e", "400e4e", "48548e"}},
        {"buffer_1", {"3c6469", "3d0972", "3d32cd", "3e4b2e", "400e4e", "45202a", "48548e"}},
        {"buffer_2", {"3c6469", "3d0972", "3d32cd", "3e4b2e", "400e4e", "45202a", "48548e"}},
        {"buffer_3", {"3d0972", "3d32cd", "3e4b2e", "400e4e", "407512", "45202a", "48548e"}},
    };
    ASSERT_EQ(data.size(), expected.size());
    for (const auto& [step, ids] : expected) {
        state_.records.clear();
        EXPECT_EQ(hexIds(decodeAll(data[step], context())), ids) << step;
    }
    // A bank of exactly 0 is no bank.
    state_.records.clear();
    const auto step0 = decodeAll(data["buffer_0"], context());
    EXPECT_FALSE(find(step0, 0x400e4e).sample.bank_rad.has_value());
    EXPECT_DOUBLE_EQ(*find(step0, 0x48548e).sample.bank_rad, -5.45 * kDeg);
}

TEST_F(LiveDecoding, DocumentedReplyWithBareAdsbSourceAndEmptyDestination)
{
    const json data = lf_load("doc_v5_traffic_locationtraffic_reply.json")["data"];
    auto c = context(false);
    c.reference = {-16.8, 145.7};
    const auto records = decodeAll(data, c);
    ASSERT_EQ(records.size(), 2u);
    const auto& rescue = find(records, 0x7c1522);
    EXPECT_TRUE(rescue.sample.hasTrueHeading);
    EXPECT_EQ(rescue.origin->text(), "MRG");
    EXPECT_FALSE(rescue.destination.has_value());
    EXPECT_DOUBLE_EQ(rescue.sample.altitude_ft, 3025.0 - 0.25 * 27.0);
}

TEST_F(LiveDecoding, HexIdRules)
{
    struct Case {
        json hex;
        std::optional<uint32_t> kept;  // none: dropped
    };
    const Case cases[] = {{"2710", std::nullopt},     {"2711", 0x2711},
                          {"", std::nullopt},         {"g123", std::nullopt},
                          {"4ba976xyz", 0x4ba976},    {"1ffffffff", std::nullopt},
                          {nullptr, std::nullopt},    {"-4ba976", std::nullopt}};
    for (const auto& c : cases) {
        const auto decoded = decodeOne(record({{0, c.hex}}));
        ASSERT_EQ(decoded.has_value(), c.kept.has_value()) << c.hex;
        if (decoded) {
            EXPECT_EQ(decoded->hexId, *c.kept) << c.hex;
        }
    }
}

TEST_F(LiveDecoding, PositionAndRangeRules)
{
    struct Case {
        json lat;
        json lon;
        bool kept;
    };
    auto c = context();
    c.reference = {0.0, 0.0};
    const Case cases[] = {{0, 0, false},       {0.00005, -0.00008, false}, {0.0002, 0, true},
                          {90.5, 0, false},    {0, -180.5, false},         {0.4, 0.4, true},
                          {0.5, 0.5, false}};  // 0.5°,0.5° lies 42.4 nm out
    for (const auto& x : cases) {
        const auto decoded = decodeOne(record({{1, x.lat}, {2, x.lon}}), c);
        EXPECT_EQ(decoded.has_value(), x.kept) << x.lat << "," << x.lon;
    }
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(LiveDecoding, RegistrationAndCallsignRules)
{
    struct Case {
        json registration;
        json callsign;
        std::optional<std::pair<std::string, std::string>> kept;  // registration, callsign
    };
    using P = std::pair<std::string, std::string>;
    const Case cases[] = {
        {"ABCDEFGHIJKLM", "TKJ3VU", std::nullopt},  // 13 characters
        {"ABCDEFGHIJKL", "TKJ3VU", P{"ABCDEFGHIJKL", "TKJ3VU"}},
        {"null", "TKJ3VU", P{"", "TKJ3VU"}},
        {"TC-JKV", "null", P{"TC-JKV", ""}},
        {"TC-JKV", "TK@3VU", P{"TC-JKV", ""}},
        {"null", "null", std::nullopt},
        {"", "TK@3VU", std::nullopt},
        {"TC-JKV", "TEST", std::nullopt},
        {"TC-JKV", "00000000", std::nullopt},
        {"TC-JKV", "ERARMTR1", std::nullopt},
        {"TC-JKV", "test", P{"TC-JKV", "test"}},
        {nullptr, 42, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto decoded = decodeOne(record({{9, c.registration}, {13, c.callsign}}));
        ASSERT_EQ(decoded.has_value(), c.kept.has_value()) << c.registration << c.callsign;
        if (!decoded) continue;
        EXPECT_EQ(decoded->registration, c.kept->first);
        EXPECT_EQ(decoded->callsign, c.kept->second);
    }
}

TEST_F(LiveDecoding, AbsurdValuesDropTheirRecordOnlyAndTheFirstIsLogged)
{
    test::CapturedLog log;
    const struct {
        std::size_t index;
        json value;
    } cases[] = {
        {10, 1e19},          {10, -5.0},           {4, 1e308},  {4, -1e308},
        {5, 1e308},          {3, -1e308},          {15, 1e300}, {20, 1e308},
        {23, 1e308},         {13, std::string("DLH\0", 4)},     {13, std::string(40, 'A')},
        {13, "DLH\x1b[2J"},  {9, "D-AB\x01"},      {8, "B7\x7f" "8"},       {8, "b738"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        g_historicTime = 0.0;
        EXPECT_FALSE(decodeOne(record({{c.index, c.value}, {8, c.index == 8 ? c.value : "ZQ9X"}})));
        EXPECT_EQ(g_historicTime.load(), c.index == 10 ? 0.0 : record()[10].get<double>());
    }
    // The next record is decoded as before, and no dropped record interned its type.
    EXPECT_TRUE(decodeOne(record()));
    EXPECT_FALSE(g_modelCodes.find("ZQ9X"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"processLine: bad value report time"});
}

TEST_F(LiveDecoding, TrueHeadingAndTrackRules)
{
    struct Case {
        json source;
        json track;
        json heading;
        std::optional<double> trueHeading_rad;  // none: absent
        std::optional<double> track_deg;        // none: dropped
    };
    const double twoPi = 6.283185307179586;
    const Case cases[] = {
        {"X_adsb_icao", 0, 0, twoPi, 360.0},
        {"adsb_icao", 0, nullptr, twoPi, 360.0},  // null reads as 0
        {"X_adsb_icao", 12.5, 90, 90 * kDeg, 12.5},
        {"X_adsb_icao", 0, 360, 360 * kDeg, 360.0},
        {"X_adsb_icao", 10, 360.5, std::nullopt, std::nullopt},  // dropped
        {"X_adsb_icao", 0, -1, std::nullopt, 0.0},
        {"X_mlat", 0, 90, std::nullopt, 0.0},
        {"T_adsb", 0, 90, std::nullopt, 0.0},
        {"adsb_icao_nt", 0, 90, std::nullopt, 0.0},
    };
    for (const auto& c : cases) {
        const auto decoded = decodeOne(record({{17, c.source}, {3, c.track}, {25, c.heading}}));
        ASSERT_EQ(decoded.has_value(), c.track_deg.has_value()) << c.source << c.heading;
        if (!decoded) continue;
        EXPECT_EQ(decoded->sample.hasTrueHeading, c.trueHeading_rad.has_value()) << c.source;
        EXPECT_EQ(decoded->sample.trueHeading_rad.has_value(), c.trueHeading_rad.has_value());
        if (c.trueHeading_rad) {
            EXPECT_DOUBLE_EQ(*decoded->sample.trueHeading_rad, *c.trueHeading_rad);
        }
        EXPECT_DOUBLE_EQ(decoded->sample.track_deg, *c.track_deg) << c.source << c.heading;
    }
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(LiveDecoding, AltitudeCorrectionAndGroundRules)
{
    struct Case {
        double altitude_ft;
        double speed_kt;
        int32_t qnh;
        bool parkAirport;
        bool airborneOnly;
        std::optional<double> altitude;  // none: dropped
    };
    const Case cases[] = {
        {1500, 150, 1023, false, false, 1763.25},
        {3000, 30, 1013, false, false, std::nullopt},  // slow: on the ground, no park airport
        {3000, 30, 1013, true, false, 0.0},            // ... kept within 5 nm of it
        {14000, 30, 1013, true, false, 0.0},           // 35 kt rule at any height
        {14000.0 + 6.75, 40, 1013, true, false, 14000.0},  // no elevation test from 14000 ft
        {190, 100, 1013, true, false, 0.0},   // 36 ft above the field at 100 kt
        {190, 130, 1013, true, false, 183.25},
        {230, 60, 1013, true, false, 0.0},    // 76 ft above at 60 kt
        {240, 60, 1013, true, false, 233.25},  // 86 ft above at 60 kt
        {300, 40, 1013, true, false, 293.25},
        {-50, 150, 1013, true, false, 0.0},
        {100, 150, 1013, true, false, 0.0},   // below the field
        {250, 150, 1013, false, true, std::nullopt},  // within 300 ft of 0 ft
        {400, 150, 1013, false, true, 393.25},
        {400, 150, 1013, true, true, std::nullopt},   // within 300 ft of 147 ft
    };
    for (const auto& c : cases) {
        auto ctx = context(c.parkAirport);
        ctx.qnh_hPa = c.qnh;
        ctx.airborneOnly = c.airborneOnly;
        // Place the aircraft 1 nm from EDDL.
        const auto decoded = decodeOne(
            record({{1, 51.30}, {2, 6.77}, {4, c.altitude_ft}, {5, c.speed_kt}}), ctx);
        ASSERT_EQ(decoded.has_value(), c.altitude.has_value())
            << c.altitude_ft << " " << c.speed_kt;
        if (!decoded) continue;
        EXPECT_DOUBLE_EQ(decoded->sample.altitude_ft, *c.altitude) << c.altitude_ft;
        EXPECT_EQ(decoded->sample.airborne, *c.altitude > 0.0);
    }
}

TEST_F(LiveDecoding, AirspeedBankAndAirportCodeRules)
{
    struct Speed {
        json airspeed;
        double altitude_ft;
        double expected;
    };
    for (const auto& s : {Speed{-1, 12000.0 + 6.75, 350}, Speed{nullptr, 2000.0 + 6.75, 180},
                          Speed{"fast", 4000.0 + 6.75, 220}, Speed{nullptr, 9000, 250},
                          Speed{nullptr, 30000, 430}, Speed{312, 30000, 312}}) {
        const auto decoded = decodeOne(record({{20, s.airspeed}, {4, s.altitude_ft}}));
        ASSERT_TRUE(decoded);
        EXPECT_DOUBLE_EQ(decoded->sample.airspeed_kt, s.expected) << s.airspeed;
    }
    struct Bank {
        json bank;
        std::optional<double> expected;
    };
    for (const auto& b : {Bank{10, -10 * kDeg}, Bank{-1, std::nullopt}, Bank{0.0, std::nullopt},
                          Bank{"10", std::nullopt}, Bank{-5.5, 5.5 * kDeg}}) {
        const auto decoded = decodeOne(record({{23, b.bank}}));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->sample.bank_rad.has_value(), b.expected.has_value()) << b.bank;
        if (b.expected) {
            EXPECT_DOUBLE_EQ(*decoded->sample.bank_rad, *b.expected);
        }
    }
    // On the ground there is no bank, whatever the record says.
    const auto onGround = decodeOne(record({{1, 51.30}, {2, 6.77}, {4, 0}, {5, 10}, {23, 10}}));
    ASSERT_TRUE(onGround);
    EXPECT_FALSE(onGround->sample.bank_rad.has_value());

    const auto lower = decodeOne(record({{11, "esb"}, {12, "null"}}));
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->origin->text(), "ESB");
    EXPECT_FALSE(lower->destination.has_value());
    EXPECT_FALSE(decodeOne(record({{11, "EDDL"}})));
    EXPECT_EQ(log_.lines(),
              std::vector<std::string>{"processLine: FixedCode: invalid string (length/charset)"});
}

TEST_F(LiveDecoding, GroundVehiclesAndRecordsThatAreNoAircraftAreDropped)
{
    for (const auto& [type, category] : std::vector<std::pair<json, json>>{
             {"GRND", "A3"}, {"B738", "C1"}, {"B738", "B2"}, {"ASW20", "A3"}, {"", "A3"},
             {"null", "A3"}, {nullptr, "A3"}}) {
        EXPECT_FALSE(decodeOne(record({{8, type}, {28, category}}))) << type << category;
    }
    EXPECT_TRUE(decodeOne(record({{8, "B738"}, {28, nullptr}})));
}

TEST_F(LiveDecoding, LiveIdsAreCollectedBeforeTheGroundTest)
{
    auto c = context(false);
    c.collectIds = true;
    // On the ground away from any park airport: dropped, yet listed.
    EXPECT_FALSE(decodeOne(record({{4, 0}, {5, 5}}), c));
    EXPECT_TRUE(decodeOne(record({{0, "48548e"}, {13, "null"}}), c));
    EXPECT_EQ(state_.ids.callsigns, (std::unordered_set<std::string, Fnv1aHash>{"TKJ3VU"}));
    EXPECT_EQ(state_.ids.hexIds, (std::unordered_set<uint32_t, Fnv1aHash>{0x4ba976, 0x48548e}));
}

TEST_F(LiveDecoding, BlockedCallsignGivesOneNoticePerCallsignAndRun)
{
    std::vector<SimResult> drained;
    gf_takeSimResults(drained);
    auto c = context();
    c.blockCallsign = "TKJ3VU";
    const json blocked = record();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(decodeOne(blocked, c));
    // Another callsign blocked now: its first report is dropped in silence, the second gives
    // the notice.
    c.blockCallsign = "KLM56A";
    const json other = record({{0, "48548e"}, {13, "KLM56A"}});
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(decodeOne(other, c));
    EXPECT_TRUE(decodeOne(blocked, c));

    std::vector<SimResult> results;
    gf_takeSimResults(results);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].kind, SimResultKind::callsignBlocked);
    EXPECT_EQ(results[0].hexId, 0x4ba976u);
    EXPECT_EQ(results[0].objectId, 0u);
    EXPECT_EQ(results[1].hexId, 0x48548eu);
    EXPECT_EQ(log_.lines(), (std::vector<std::string>{"Live aircraft 'TKJ3VU' blocked",
                                                      "Live aircraft 'KLM56A' blocked"}));
    // A new run raises the notice again.
    state_.notice.raised = true;
    EXPECT_FALSE(decodeOne(other, c));
    gf_takeSimResults(results);
    EXPECT_EQ(results.size(), 3u);
}

}  // namespace
}  // namespace qel
