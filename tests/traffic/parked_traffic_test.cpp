// Parked traffic of the park airport: the stand search by day and half-hour fit, the wanted
// counts and limits, RealTraffic's parked aircraft, the creation of statics one per 500 ms and
// the refresh every 20 minutes, through the traffic manager's entry points against the stand-in
// simulator.
#include <algorithm>
#include <numbers>
#include <optional>
#include <set>

#include "foundation/catalogue.h"
#include "foundation/run_state.h"
#include "liveries/livery_db.h"
#include "scenery/stand_snapshot.h"
#include "traffic/traffic.h"
#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

constexpr double kStandLat = 51.2830;  // degrees: a row of stands east of the user at EDDL
constexpr double kStandLon = 6.7700;
constexpr double kStep_deg = 0.0010;   // about 70 m between stands

Livery lf_livery(std::string_view airline, std::string_view model, std::string title)
{
    Livery l;
    l.title = std::move(title);
    l.key.airline = gf_airlineIndex(airline);
    l.key.model = gf_modelIndex(model);
    return l;
}

class StaticParking : public TrafficTest {
protected:
    StaticParking()
    {
        gf_buildLiveryDb({lf_livery("DLH", "A320", kA320)});
        g_parkedTrafficSource.request = [this](LatLon) { return ++requests_; };
        g_parkedTrafficSource.take = [this](uint64_t n, std::vector<ParkedAircraftRecord>& r) {
            if (n != requests_) return ParkedTake::failed;
            if (!answered_) return ParkedTake::pending;
            r = reply_;
            return ParkedTake::ready;
        };
        g_parkAirport.code = AirportCode("EDDL");
        g_parkAirport.latitude = kStandLat;
        g_parkAirport.longitude = kStandLon;
        MAX_PARK_SEL.current = 50;
        parking_percentage.current = 100;
        MAX_FIT.current = 47;
        now(3, 20);
    }

    ~StaticParking() override
    {
        lf_clearParkedTrafficState();
        g_parkStands.clear();
        gf_publishStandSpots();
        g_parkedTrafficSource = {&gf_requestParkedTraffic, &gf_takeParkedTraffic};
        gf_clearLiveryDb();
        g_parkAirport = Airport{};
    }

    static void now(int32_t day, int32_t slot) { g_dayAndSlot = gf_packDayAndSlot(day, slot); }

    // `count` stands in a row, each a neighbour of the next when `neighbours`.
    static void stands(std::size_t count, bool neighbours = false)
    {
        g_parkStands.clear();
        for (std::size_t i = 0; i < count; ++i) {
            g_parkStands.emplace_back("S" + std::to_string(i + 1), std::vector<LearnedFlight>{},
                                      kStandLat, kStandLon + kStep_deg * static_cast<double>(i),
                                      0.0, 40.0, false, false, false);
            g_parkStands.back().number = static_cast<uint32_t>(i + 1);
            if (!neighbours) continue;
            if (i > 0) g_parkStands.back().overlaps.push_back(static_cast<uint32_t>(i));
            if (i + 1 < count) g_parkStands.back().overlaps.push_back(static_cast<uint32_t>(i + 2));
        }
    }

    // A learned flight at stand `stand` (1-based) on `day` in the given slots.
    static LearnedFlight& learn(uint32_t stand, const std::string& callsign, int32_t day,
                                std::initializer_list<int> slots, bool real = true,
                                const std::string& registration = {},
                                const std::string& callsign2 = {})
    {
        LearnedFlight f;
        f.codes.airline = gf_airlineIndex("DLH");
        f.codes.model = gf_modelIndex("A320");
        f.callsign = callsign;
        f.callsign2 = callsign2;
        f.registration = registration;
        for (const int s : slots) f.slots.set(static_cast<std::size_t>(s));
        f.day = static_cast<uint32_t>(day);
        f.real = real ? 1 : 0;
        auto& flights = g_parkStands[stand - 1].learnedFlights;
        f.number = static_cast<uint32_t>(flights.size() + 1);
        flights.push_back(f);
        return flights.back();
    }

    static ParkedAircraftRecord parked(uint32_t hex, const std::string& callsign, uint32_t stand,
                                       int32_t age = 0)
    {
        ParkedAircraftRecord r;
        r.hexId = hex;
        r.callsign = callsign;
        r.registration = "D-A" + callsign.substr(callsign.size() - 3);
        r.key.airline = gf_airlineIndex("DLH");
        r.key.model = gf_modelIndex("A320");
        r.latitude = g_parkStands[stand - 1].latitude;
        r.longitude = g_parkStands[stand - 1].longitude;
        r.age_halfHours = age;
        r.standName = g_parkStands[stand - 1].id;
        return r;
    }

    // The planning as the park driver runs it: asked when chosen, answered, loaded.
    void plan(std::vector<ParkedAircraftRecord> reply = {})
    {
        reply_ = std::move(reply);
        answered_ = true;
        lf_requestParkedTraffic(false);
        lf_planInitialParking();
    }

    static std::multiset<std::string> candidateCallsigns()
    {
        std::multiset<std::string> out;
        for (const auto& c : g_staticCandidates) out.insert(c.text);
        return out;
    }

    static std::vector<std::string> staticsBy(SimObjectState state)
    {
        std::vector<std::string> out;
        for (const auto& s : g_staticAcs) {
            if (s.state == state) out.push_back(s.callsign);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    int countLines(const std::string& line)
    {
        const auto lines = log_.lines();
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }

    uint64_t requests_ = 0;
    bool answered_ = false;
    std::vector<ParkedAircraftRecord> reply_;
};

TEST_F(StaticParking, FitOffsetsGoBackSlotBySlotOverMidnightAndNoFurtherThanMaxFit)
{
    struct Case {
        int32_t day, slot, offset;
        int32_t wantDay, wantSlot;
    };
    for (const Case c : {Case{3, 3, 5, 2, 46}, Case{1, 3, 5, 7, 46}, Case{1, 3, 3, 1, 0},
                         Case{7, 47, 47, 7, 0}, Case{1, 0, 1, 7, 47}}) {
        const DaySlot target = lf_moveBack({c.day, c.slot}, c.offset);
        EXPECT_EQ(target.day, c.wantDay) << c.day << " " << c.slot << " " << c.offset;
        EXPECT_EQ(target.slot, c.wantSlot) << c.day << " " << c.slot << " " << c.offset;
    }
    // A flight learned on Sunday at slot 46 fits Monday's slot 3 five half hours back.
    struct Plan {
        int32_t maxFit;
        std::multiset<std::string> planned;
    };
    for (const Plan& p : {Plan{5, {"DLH1", "DLH2"}}, Plan{4, {"DLH2"}}, Plan{0, {"DLH2"}}}) {
        stands(2);
        learn(1, "DLH1", 7, {46});
        learn(2, "DLH2", 1, {3});
        now(1, 3);
        MAX_FIT.current = p.maxFit;
        lf_clearParkedTrafficState();
        plan();
        EXPECT_EQ(candidateCallsigns(), p.planned) << p.maxFit;
    }
}

TEST_F(StaticParking, PassesRunRealThenWeekThenSoftAsTheSettingsAllow)
{
    struct Case {
        bool week, soft;
        std::multiset<std::string> planned;
        std::string line;
    };
    const Case cases[] = {
        {false, false, {"REAL"}, "1 real position found"},
        {true, false, {"REAL", "WEEK"}, "1 week/real position found"},
        {false, true, {"REAL", "SOFT"}, "1 soft position found"},
        {true, true, {"REAL", "WEEK", "SOFT"}, "1 week/soft position found"},
    };
    for (const auto& c : cases) {
        stands(4);
        learn(1, "REAL", 3, {20});
        learn(2, "WEEK", 5, {20});
        learn(3, "SOFT", 3, {20}, false);
        learn(4, "WSOFT", 6, {20}, false);
        WEEK.current = c.week;
        PARK_SOFT.current = c.soft;
        lf_clearParkedTrafficState();
        const auto before = log_.lines().size();
        plan();
        auto planned = candidateCallsigns();
        planned.erase("WSOFT");
        EXPECT_EQ(planned, c.planned) << c.week << c.soft;
        const auto lines = log_.lines();
        EXPECT_TRUE(std::any_of(lines.begin() + static_cast<long>(before), lines.end(),
                                [&](const std::string& l) { return l.starts_with(c.line); }))
            << c.line;
    }
}

TEST_F(StaticParking, WantedCountsFollowThePercentageTheSmallAirportRuleAndMaxParkSel)
{
    struct Case {
        std::size_t stands;
        int32_t percentage, custom, maxParkSel;
        int64_t wanted;
    };
    for (const Case c : {Case{3, 30, -1, 50, 1}, Case{3, 50, -1, 50, 2}, Case{2, 30, -1, 50, 1},
                         Case{10, 30, -1, 50, 3}, Case{10, 30, 0, 50, 0}, Case{10, 100, -1, 4, 4},
                         Case{10, 100, -1, 0, 0}, Case{0, 100, -1, 50, 0}}) {
        stands(c.stands);
        parking_percentage.current = c.percentage;
        CUSTOM_PARKING_PERCENTAGE.current = c.custom;
        MAX_PARK_SEL.current = c.maxParkSel;
        EXPECT_EQ(lf_calcWantedStatics(), c.wanted) << c.stands << " " << c.percentage;
        EXPECT_EQ(g_parkWindowCounts.wantedStaticCount.load(), c.wanted);
    }
}

// The plan's line names the share the wanted count was worked out from: CUSTOM_PARKING_PERCENTAGE
// when it is set, not the "Target" box it replaces.
TEST_F(StaticParking, ThePlanLogsTheShareOfTheStandsItWanted)
{
    struct Case {
        int32_t custom;
        std::string line;
    };
    for (const Case& c : {Case{10, "1 positions (10% vs wanted 10%, "},
                          Case{-1, "10 positions (100% vs wanted 100%, "}}) {
        stands(10);
        for (uint32_t stand = 1; stand <= 10; ++stand) {
            learn(stand, "DLH" + std::to_string(stand), 3, {20});
        }
        CUSTOM_PARKING_PERCENTAGE.current = c.custom;
        lf_clearParkedTrafficState();
        const auto before = log_.lines().size();
        plan();
        const auto lines = log_.lines();
        EXPECT_TRUE(std::any_of(lines.begin() + static_cast<long>(before), lines.end(),
                                [&](const std::string& l) { return l.starts_with(c.line); }))
            << c.line;
    }
}

TEST_F(StaticParking, RealTrafficParkedAircraftGoFirstUnlessTheyFlyOrLimitsSayNo)
{
    start();
    stands(4);
    learn(3, "DLH30", 3, {20});
    learn(4, "DLH40", 3, {20});
    // DLH12 flies as a live aircraft: its parked record is not placed.
    Report flying;
    flying.hex = 0x3c0001;
    flying.callsign = "DLH12";
    StampedRecord rec{record(flying)};
    lf_mergeReport(rec);
    const std::vector<ParkedAircraftRecord> reply{parked(0x3c4b26, "DLH11", 1),
                                                  parked(0x3c4b27, "DLH12", 2, 1)};
    struct Case {
        bool rtOnly;
        int32_t maxParkSel;
        std::multiset<std::string> planned;
    };
    for (const Case& c : {Case{false, 50, {"DLH11", "DLH30", "DLH40"}},
                          Case{true, 50, {"DLH11"}}, Case{false, 0, {}}, Case{true, 0, {}},
                          Case{false, 1, {"DLH11"}}}) {
        RT_PARKTRAFFIC_ONLY.current = c.rtOnly;
        MAX_PARK_SEL.current = c.maxParkSel;
        lf_clearParkedTrafficState();
        plan(reply);
        EXPECT_EQ(candidateCallsigns(), c.planned) << c.rtOnly << " " << c.maxParkSel;
    }
    // The RealTraffic aircraft is created first: its stand fits now (offset 0).
    RT_PARKTRAFFIC_ONLY.current = false;
    MAX_PARK_SEL.current = 50;
    lf_clearParkedTrafficState();
    plan(reply);
    ASSERT_FALSE(g_staticCandidates.empty());
    EXPECT_EQ(g_staticCandidates.back().text, "DLH11");
    EXPECT_EQ(g_staticCandidates.back().placedBy, 0u);
    EXPECT_EQ(g_staticCandidates.back().partnerHexId, 0x3c4b26u);
}

TEST_F(StaticParking, MaxParkRemovesTheLongestParkedLiveAndTheEarliestStatic)
{
    start();
    stands(10);
    MAX_PARK_SEL.current = 2;
    for (uint32_t i = 0; i < 3; ++i) {
        Report r;
        r.hex = 0x3c0010 + i;
        r.callsign = "KLM" + std::to_string(i);
        StampedRecord rec{record(r)};
        lf_mergeReport(rec);
        LiveAc& a = *live(r.hex);
        a.phase = FlightPhase::parked;
        lf_setLiveState(a, SimObjectState::active);
        lf_setLiveObjectId(a, 200 + i);
        a.standId = i + 1;
        a.parkingTime_100ns = (platform::epochSeconds() - 600 * (i + 1)) * 10'000'000;
    }
    StaticAc early;
    early.hexId = 7;
    early.callsign = "DLH7*";
    early.state = SimObjectState::active;
    early.objectId = 300;
    early.standId = 5;
    early.parkedWeekday = 2;
    g_staticAcs.push_back(early);
    StaticAc late = early;
    late.hexId = 8;
    late.callsign = "DLH8*";
    late.objectId = 301;
    late.parkedWeekday = 3;
    g_staticAcs.push_back(late);
    lf_checkMaxPark(true);
    EXPECT_EQ(stateOf(0x3c0012), SimObjectState::removingfromsim);  // parked 30 minutes
    EXPECT_EQ(staticsBy(SimObjectState::removingfromsim), std::vector<std::string>{"DLH7*"});
    EXPECT_EQ(countLines("S3      : KLM2 live max park exceeded, removed"), 1);
    EXPECT_EQ(countLines("S5      : DLH7* static max park exceeded, removed"), 1);
    // Neither with RealTraffic's parked traffic alone nor without a limit.
    for (const bool rtOnly : {true, false}) {
        RT_PARKTRAFFIC_ONLY.current = rtOnly;
        MAX_PARK_SEL.current = rtOnly ? 2 : 0;
        lf_checkMaxPark(true);
    }
    EXPECT_EQ(staticsBy(SimObjectState::active), std::vector<std::string>{"DLH8*"});
    EXPECT_EQ(stateOf(0x3c0011), SimObjectState::active);
}

TEST_F(StaticParking, StandsFillOnePerHalfSecondAndStayFilledOverTheRefresh)
{
    start();
    stands(6);
    for (uint32_t i = 1; i <= 3; ++i) {
        learn(i, "DLH" + std::to_string(i), 3, {20}, true, "D-AIA" + std::to_string(i));
    }
    MAX_PARK_SEL.current = 4;
    // Chosen: asked; loaded 16 s later before the reply came: the planning waits for it.
    reply_ = {parked(0x3c4b26, "DLH99", 6)};
    lf_requestParkedTraffic(false);
    tick(1000);
    lf_planInitialParking();
    tick(300);
    EXPECT_TRUE(g_staticCandidates.empty());
    answered_ = true;
    std::vector<std::pair<std::string, int32_t>> created;  // callsign, fast tick
    ASSERT_TRUE(tickUntil([&] {
        if (g_staticAcs.size() > created.size()) {
            created.emplace_back(g_staticAcs.back().callsign, g_fastTicks.load());
        }
        return staticsBy(SimObjectState::active).size() == 4;
    }));
    ASSERT_EQ(created.size(), 4u);
    EXPECT_EQ(created.front().first, "DLH99*");  // RealTraffic's first
    for (std::size_t i = 1; i < created.size(); ++i) {
        EXPECT_EQ(created[i].second - created[i - 1].second, 50) << created[i].first;
    }
    EXPECT_EQ(gf_trafficCounts().statics, 4u);
    EXPECT_EQ(lf_countStaticParked(true), 4u);

    // Twenty minutes on: phase A asks again, phase B re-plans 15 s later. RealTraffic now sees
    // another aircraft on the stand of a learned one, more recently than that one parked.
    now(3, 22);
    const std::string replaced = g_parkStands[0].learnedFlights[0].callsign + "*";
    reply_ = {parked(0x3c4b26, "DLH99", 6), parked(0x3c4b28, "DLH77", 1)};
    answered_ = false;
    lf_startParkRefresh();
    EXPECT_NE(lf_openParkedRequest(), 0u);
    answered_ = true;
    tick(1500);
    lf_updateParkTraffic(false);
    ASSERT_TRUE(tickUntil([&] {
        const auto active = staticsBy(SimObjectState::active);
        return std::count(active.begin(), active.end(), "DLH77*") == 1 &&
               g_staticCandidates.empty();
    }));
    tick(300);
    const auto active = staticsBy(SimObjectState::active);
    EXPECT_LE(active.size(), 4u);
    EXPECT_EQ(std::count(active.begin(), active.end(), replaced), 0);
    EXPECT_EQ(std::count(active.begin(), active.end(), "DLH99*"), 1);
    EXPECT_EQ(countLines("S1      : no static parking for DLH77, static aircraft " + replaced +
                         " is adjacent at S1, possibly colliding"),
              0);
}

TEST_F(StaticParking, AStandBelowTheUserInTheAirIsNotKeptFree)
{
    // The user aircraft 300 ft above S1: it stands on no stand.
    placeUser(kStandLat, kStandLon, 447, false, R"("field_elevation_ft": 147)");
    stands(2);
    gf_publishStandSpots();
    learn(1, "DLH1", 3, {20});
    learn(2, "DLH2", 3, {20});
    plan();
    EXPECT_EQ(gf_closestStandName(kStandLat, kStandLon), "");
    EXPECT_EQ(candidateCallsigns(), (std::multiset<std::string>{"DLH1", "DLH2"}));
}

StaticAc& lf_static(uint32_t hex, const std::string& learned, uint32_t stand,
                    SimObjectState state = SimObjectState::active)
{
    StaticAc s;
    s.hexId = hex;
    s.callsign = learned + "*";
    s.secondCallsign = learned;
    s.key.airline = gf_airlineIndex("DLH");
    s.key.model = gf_modelIndex("A320");
    s.state = state;
    s.objectId = 300 + hex;
    s.standId = stand;
    s.standLat = g_parkStands[stand - 1].latitude;
    s.standLon = g_parkStands[stand - 1].longitude;
    s.size_nm = 0.0097;
    s.parkedWeekday = 3;
    s.parkedSlot = 10;
    g_staticAcs.push_back(s);
    return g_staticAcs.back();
}

TEST_F(StaticParking, FaultsOfCreationRemovalAndSearch)
{
    start();
    stands(3);
    // A candidate that only a leaving static blocks waits for it; a staying one drops it.
    lf_static(1, "OLD1", 1, SimObjectState::removingfromsim);
    ParkCandidate c;
    c.text = "NEW1";
    c.standId = 1;
    c.key.airline = gf_airlineIndex("DLH");
    c.key.model = gf_modelIndex("A320");
    g_staticCandidates = {c};
    lf_detcs();
    ASSERT_EQ(g_staticCandidates.size(), 1u);
    EXPECT_EQ(g_staticCandidates[0].retries, 1);
    g_staticAcs[0].state = SimObjectState::active;
    lf_detcs();
    EXPECT_TRUE(g_staticCandidates.empty());
    EXPECT_EQ(countLines("S1      : no static parking for NEW1, static aircraft OLD1* is "
                         "adjacent at S1, possibly colliding"),
              1);

    // Removals go by hex id: the static meant is queued once, not the one already leaving.
    g_staticAcs.clear();
    lf_static(1, "OLD1", 1, SimObjectState::removingfromsim);
    lf_static(2, "DLH2", 1);
    g_removeIdQueue.clear();
    reply_ = {parked(0x3c4b28, "DLH77", 1)};
    answered_ = true;
    lf_startParkRefresh();
    lf_updateParkTraffic(false);
    EXPECT_EQ(std::vector<uint32_t>(g_removeIdQueue.begin(), g_removeIdQueue.end()),
              std::vector<uint32_t>{302});

    // Until the simulator names the user aircraft it counts as the widest airliner: a static
    // 30 m from the user goes.
    g_staticAcs.clear();
    g_userState.latitude = kStandLat;
    g_userState.longitude = kStandLon + kStep_deg;
    StaticAc& near = lf_static(3, "DLH3", 2);
    near.standLon += 30.0 / 1852.0 / 60.0 / std::cos(kStandLat * 3.14159265 / 180.0);
    lf_removeNearUser();
    EXPECT_EQ(staticsBy(SimObjectState::removingfromsim), std::vector<std::string>{"DLH3*"});

    // Two flights without registration are two aircraft; a flight found shown keeps its
    // number, so the learned file still holds it.
    g_staticAcs.clear();
    g_userState.latitude = 0.0;
    g_userState.longitude = 0.0;
    stands(3);
    learn(1, "DLH5", 3, {20});
    learn(2, "DLH6", 3, {20});
    const LearnedFlight& shown = learn(3, "DLH7", 3, {20});
    lf_static(4, "DLH7", 3, SimObjectState::removingfromsim);
    lf_clearParkedTrafficState();
    plan();
    EXPECT_EQ(candidateCallsigns(), (std::multiset<std::string>{"DLH5", "DLH6"}));
    EXPECT_EQ(shown.number, 1u);

    // "Flush static" takes the planned ones with the standing ones.
    lf_removeAllStatics();
    tick(100);
    EXPECT_TRUE(g_staticCandidates.empty());
    EXPECT_EQ(staticsBy(SimObjectState::adding2sim), std::vector<std::string>{});
}

// Live X parked on the ground: a flight taxiing over a stand removes the static standing there
// (within 1.1 times their two half spans, 0.0213 nm here), not one just beyond nor one of its
// own callsign; the duplicate sweep removes the static carrying its callsign starred.
TEST_F(StaticParking, ATaxiingFlightRemovesTheStaticInItsPathAndTheSweepItsDouble)
{
    start();
    stands(5);
    struct Placed {
        const char* learned;
        double north_deg;
        double east_deg;
    };
    // At 60 nm a degree of latitude: 0.024 nm north, far east, on the spot, 0.018 nm south,
    // and far north.
    const Placed placed[] = {{"NORTH1", 4.0e-4, 0.0},
                             {"EAST1", 0.0, 0.01},
                             {"OWN1", 0.0, 0.0},
                             {"NEAR1", -3.0e-4, 0.0},
                             {"DLH9A", 0.01, 0.0}};
    uint32_t hex = 1;
    for (const Placed& p : placed) {
        StaticAc& s = lf_static(hex, p.learned, hex);
        s.standLat = kStandLat + p.north_deg;
        s.standLon = kStandLon + p.east_deg;
        ++hex;
    }
    g_staticAcs[2].callsign = "DLH9A";
    Report r;
    r.hex = 0x3c0030;
    r.callsign = "DLH9A";
    r.lat = kStandLat;
    r.lon = kStandLon;
    StampedRecord rec{record(r)};
    lf_mergeReport(rec);
    LiveAc& taxiing = *live(r.hex);
    lf_setLiveState(taxiing, SimObjectState::active);
    lf_setLiveObjectId(taxiing, 250);
    taxiing.onGround = 1;
    taxiing.phase = FlightPhase::taxi;
    taxiing.size_nm = 0.0097;
    taxiing.position.latitude = kStandLat;
    taxiing.position.longitude = kStandLon;
    lf_checkMovedOnGround();
    EXPECT_EQ(staticsBy(SimObjectState::removingfromsim), std::vector<std::string>{"NEAR1*"});
    // Not moved since: nothing more.
    lf_checkMovedOnGround();
    EXPECT_EQ(staticsBy(SimObjectState::removingfromsim).size(), 1u);
    lf_removeDuplicateRegs();
    EXPECT_EQ(staticsBy(SimObjectState::removingfromsim),
              (std::vector<std::string>{"DLH9A*", "NEAR1*"}));
    EXPECT_EQ(staticsBy(SimObjectState::active),
              (std::vector<std::string>{"DLH9A", "EAST1*", "NORTH1*"}));
}

// On Monday morning an aircraft parked on Sunday evening has stood longer than one parked at
// Monday's first half hour: ages are counted back from now, across the week's end.
TEST_F(StaticParking, AgesCountBackFromNowAcrossTheWeeksEnd)
{
    start();
    stands(4);
    now(1, 2);
    const auto parkedAt = [](StaticAc& s, uint32_t day, uint32_t slot) {
        s.parkedWeekday = day;
        s.parkedSlot = slot;
    };
    // The max-park limit removes the static parked earliest: Sunday's.
    MAX_PARK_SEL.current = 1;
    parkedAt(lf_static(1, "DLH1", 1), 7, 46);
    parkedAt(lf_static(2, "DLH2", 2), 1, 1);
    lf_checkMaxPark(false);
    EXPECT_EQ(staticsBy(SimObjectState::removingfromsim), std::vector<std::string>{"DLH1*"});

    // The refresh: a learned flight of Monday's first half hour replaces a static of Sunday's
    // last on its stand, and a RealTraffic aircraft seen now one seen on Sunday on its own.
    g_staticAcs.clear();
    MAX_PARK_SEL.current = 50;
    parkedAt(lf_static(3, "DLH3", 1), 7, 47);
    StaticAc& seenSunday = lf_static(4, "DLH4", 2);
    parkedAt(seenSunday, 7, 47);
    seenSunday.placedBy = 0;
    learn(1, "DLH5", 1, {0});
    reply_ = {parked(0x3c4b28, "DLH77", 2)};
    answered_ = true;
    lf_startParkRefresh();
    lf_updateParkTraffic(false);
    EXPECT_EQ(staticsBy(SimObjectState::removingfromsim),
              (std::vector<std::string>{"DLH3*", "DLH4*"}));
    EXPECT_EQ(candidateCallsigns(), (std::multiset<std::string>{"DLH5", "DLH77"}));

    // Two statics that stay where they learned to stand, one more than wanted: the one parked
    // earliest goes.
    g_staticAcs.clear();
    stands(4);
    MAX_PARK_SEL.current = 1;
    learn(3, "DLH6", 1, {2});
    learn(4, "DLH7", 1, {2});
    parkedAt(lf_static(7, "DLH6", 3), 7, 46);
    parkedAt(lf_static(8, "DLH7", 4), 1, 1);
    reply_.clear();
    lf_startParkRefresh();
    lf_updateParkTraffic(false);
    EXPECT_EQ(staticsBy(SimObjectState::removingfromsim), std::vector<std::string>{"DLH6*"});
    EXPECT_EQ(staticsBy(SimObjectState::active), std::vector<std::string>{"DLH7*"});
}

// A user taking off clears the ground traffic on its path ahead; what lies behind or beside it
// stays.
TEST_F(StaticParking, TheSweepBeforeATakingOffUserClearsOnlyWhatLiesAhead)
{
    start();
    const LatLon user{51.2900, 6.7500};
    g_userState.latitude = user.lat;
    g_userState.longitude = user.lon;
    g_userState.heading_rad = std::numbers::pi / 2;  // east
    g_userState.altitude_ft = 447.0;
    g_userState.altAboveGround_ft = 300.0;
    g_userState.onGround = false;
    struct Case {
        const char* callsign;
        double bearing_deg;  // from the user
        double heading_deg;  // toward the user: it flies away from nobody
        bool removed;
    };
    const Case cases[] = {
        {"BEHIND1", 270, 90, false}, {"ASIDE1", 0, 180, false}, {"AHEAD1", 90, 270, true}};
    uint32_t hex = 0x3c0020;
    for (const Case& c : cases) {
        Report r;
        r.hex = hex++;
        r.callsign = c.callsign;
        const LatLon at =
            gf_destinationPoint(user, c.bearing_deg * std::numbers::pi / 180, 0.3 * 6076.11549);
        r.lat = at.lat;
        r.lon = at.lon;
        StampedRecord rec{record(r)};
        lf_mergeReport(rec);
        LiveAc& a = *live(r.hex);
        lf_setLiveState(a, SimObjectState::active);
        lf_setLiveObjectId(a, 200 + r.hex % 100);
        a.onGround = 1;
        a.phase = FlightPhase::taxi;
        a.position.latitude = at.lat;
        a.position.longitude = at.lon;
        a.position.altitude_ft = 147.0;
        a.position.heading_rad = c.heading_deg * std::numbers::pi / 180;
    }
    // The sweep ends with the first it removes; a second finds nothing more.
    for (int sweep = 0; sweep < 2; ++sweep) lf_clearPathAheadOfUser();
    hex = 0x3c0020;
    for (const Case& c : cases) {
        EXPECT_EQ(stateOf(hex++) == SimObjectState::removingfromsim, c.removed) << c.callsign;
    }
}

// A static made from a learned flight that leaves its stand after this half hour while its
// second callsign stays is created again under that callsign; it has stood there all along.
TEST_F(StaticParking, AStaticCreatedAgainUnderItsSecondCallsignKeepsItsParkedTime)
{
    start();
    stands(2);
    learn(1, "DLH9", 3, {15, 16, 17, 18, 19, 20}, true, "D-AIXA", "DLH9B");
    now(3, 17);
    plan();
    ASSERT_TRUE(tickUntil([] { return staticsBy(SimObjectState::active).size() == 1; }));
    ASSERT_EQ(staticsBy(SimObjectState::active), std::vector<std::string>{"DLH9*"});

    now(3, 20);
    reply_.clear();
    lf_startParkRefresh();
    lf_updateParkTraffic(false);
    ASSERT_TRUE(tickUntil(
        [] { return staticsBy(SimObjectState::active) == std::vector<std::string>{"DLH9B*"}; }));
    const StaticAc& again = g_staticAcs.back();
    EXPECT_EQ(again.callsign, "DLH9B*");
    EXPECT_EQ(again.parkedWeekday, 3u);
    EXPECT_EQ(again.parkedSlot, 17u);
}

}  // namespace
}  // namespace qel::test
