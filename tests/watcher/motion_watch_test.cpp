// Motion as a watcher sees it, over streams of every shape the reports take: a fixed set of seeded
// streams drawn by RapidCheck (each failing one shrunk to the smallest that still fails), the
// shapes found wrong before, kept as lines of a table, and a replay of one plan with its trace.
//
// VNTQ_WATCH_PLAN='<plan text>' [VNTQ_WATCH_TRACE=<folder>] replays a plan (MotionWatch.Replay);
// VNTQ_WATCH_SEED=<n> [VNTQ_WATCH_STREAMS=<count>] draws a campaign's seed (MotionWatch.Campaign):
// scripts/motion_campaign runs those.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <fmt/format.h>
#include <rapidcheck.h>

#include "watcher/plan_gen.h"
#include "watcher/watch_world.h"

namespace qel::watch {
namespace {

// The fixed set: eight shards of seeded streams, fewer under the sanitizers, which run the same
// code three to five times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kStreamsPerShard = 40;
#else
constexpr int kStreamsPerShard = 250;
#endif
constexpr uint64_t kFirstSeed = 20261209;

Verdict lf_play(const Plan& plan, const std::filesystem::path& trace = {},
                std::vector<std::string>* rows = nullptr)
{
    WatchWorld world(plan);
    return world.play(trace, rows);
}

std::string lf_replayLine(const Plan& plan)
{
    return fmt::format(
        "VNTQ_WATCH_PLAN='{}' VNTQ_WATCH_TRACE=build/watch-trace "
        "build/tests/watcher_tests --gtest_filter=MotionWatch.Replay",
        planText(plan));
}

// The shapes whose faults are known and not yet mended, held apart so that the rest stays
// proved: each names the fault it waits for. This list empties as they are mended.
bool lf_knownFailure(const Plan& plan, const Verdict& verdict)
{
    (void)verdict;
    // A campaign may hold them too.
    if (std::getenv("VNTQ_WATCH_ALL")) return false;
    const bool sharpTurn = std::any_of(plan.taxi.begin(), plan.taxi.end(), [](const TaxiLeg& l) {
        return std::abs(l.turn_deg) >= 45.0;
    });
    return plan.kind == Kind::push ||                           // turned push-backs, long stands
           plan.kind == Kind::pullOut ||                        // a pull-out off its reports
           sharpTurn ||                                         // hairpins, U-turns, wide bends
           plan.delay0_s > 0.0 || plan.delayChange_s != 0.0 ||  // a feed that catches up
           !plan.gaps.empty();                                  // reports that pause
}

// The seeded streams: every one a watcher accepts, or fails for a known reason.
void lf_checkStreams(uint64_t seed, int count)
{
    rc::detail::TestParams params;
    params.seed = seed;
    params.maxSuccess = count;
    params.maxSize = 100;
    rc::detail::TestMetadata metadata;
    metadata.id = fmt::format("MotionWatch/seed {}", seed);
    metadata.description = metadata.id;
    const auto result = rc::detail::checkTestable(
        [](const Plan& plan) {
            const Verdict verdict = lf_play(plan);
            if (verdict.ok() || lf_knownFailure(plan, verdict)) return;
            RC_FAIL(fmt::format("{}\n  {}\n  replay: {}", planText(plan), verdict.summary(),
                                lf_replayLine(plan)));
        },
        metadata, params);
    if (!result.template is<rc::detail::SuccessResult>()) {
        std::ostringstream message;
        rc::detail::printResultMessage(result, message);
        ADD_FAILURE() << "seed " << seed << ": " << message.str();
    }
}

class MotionWatchShard : public ::testing::TestWithParam<int> {};

TEST_P(MotionWatchShard, AWatcherAcceptsEveryStream)
{
    lf_checkStreams(kFirstSeed + static_cast<uint64_t>(GetParam()), kStreamsPerShard);
}

INSTANTIATE_TEST_SUITE_P(MotionWatch, MotionWatchShard, ::testing::Range(0, 8));

// Shapes found wrong, each a line: what it is, and its plan.
struct Found {
    const char* name;
    const char* plan;
};
const Found kFound[] = {
    {"a straight taxi", "taxi A320 leg=0,30,300,15,0,0"},
    // Across longitude 180 a leg was laid the wrong way round the globe; near a pole in even
    // steps of latitude and longitude, off its great circle, and round the pole.
    {"a cruise east across longitude 180",
     "air A320 lat=10 lon=179.99 course=90 alt=30000 speed=450 fly=60,0,0,0,0"},
    {"a turning flight west across longitude 180",
     "air A320 lat=10 lon=-179.99 course=270 alt=30000 speed=450 fly=60,2,0,0,0"},
    {"a taxi across longitude 180 round two right angles",
     "taxi A320 lat=10 lon=179.9995 course=90 leg=0,30,60,15,0,0 leg=90,30,100,15,0,0 "
     "leg=-90,30,100,15,0,0"},
    {"a cruise half a degree from the pole",
     "air A320 lat=89.5 course=90 alt=30000 speed=450 fly=120,0,0,0,0"},
    // Handed over past the decoder, a negative speed flew it at 900 kt and took it out.
    {"a flight whose feed signs its speeds",
     "air A320 alt=3000 speed=250 fly=60,0,0,0,0 glitch=4,0,0"},
    // The main loop's turns at 90 % of their rate slowed every aircraft by a tenth.
    {"a flight while the main loop's turns come at nine tenths of their rate",
     "air A320 alt=30000 speed=300 stretchFrom=20 stretchFor=60 fly=120,0,0,0,0"},
    // A report that put it where it cannot have got to was flown: off a taxi or a cruise and
    // back; and a flight whose reports moved for good was flown there and back behind them.
    {"a report 300 m off a taxi", "taxi A320 leg=0,30,400,15,0,0 glitch=0,40,300"},
    {"a report 5 km off a cruise", "air A320 alt=5000 speed=250 fly=120,0,0,0,0 glitch=0,40,5000"},
    {"a taxi whose reports move 3 km for good", "taxi A320 leg=0,30,400,15,0,0 glitch=5,40,3000"},
    // A feed that fell behind: its aircraft ran out of reckoning while still reported and was
    // taken out without a line, or came back onto its reports 10 kt in a second; a helicopter
    // whose hover was reported late was taken out over it.
    {"an airliner whose feed falls 55 s behind",
     "air A320 alt=20000 speed=300 staleBy=55 staleFrom=40 staleOver=69 fly=200,0,0,0,0"},
    {"an airliner whose feed falls 35 s behind",
     "air A320 alt=20000 speed=300 staleBy=35 staleFrom=40 staleOver=44 fly=200,0,0,0,0"},
    {"a helicopter whose feed falls 35 s behind",
     "air R44 alt=2000 speed=100 staleBy=35 staleFrom=40 staleOver=44 fly=200,0,0,0,0"},
    {"a helicopter whose hover is reported 40 s late",
     "hover R44 alt=1000 speed=80 fly=30,0,0,0,0 fly=30,0,0,-200,60 fly=40,0,0,60,0 gap=55,40"},
    // A flight whose every report came 45 s older than the traffic around it was never shown.
    {"a flight whose feed lags 45 s", "air A320 alt=10000 speed=250 stale=45 fly=150,0,0,0,0"},
    {"a taxi whose feed lags 45 s", "taxi A320 every=4 stale=45 leg=0,30,300,10,0,0"},
    // Coming to its hover, a helicopter swung its nose round to north.
    {"a helicopter slowing into a hover",
     "hover R44 course=193 alt=650 speed=44 every=3 fly=42,0,0,0,0 fly=89,0,0,-200,44 "
     "fly=34,0,-100,28,0"},
    // A report in the air without its speed slowed a helicopter at 40 kt to 20 kt.
    {"a helicopter report without its speed",
     "hover R44 alt=300 speed=40 every=1.3 fly=55,0,0,0,0 fly=22,0,0,-200,16 fly=10,0,0,40,0 "
     "glitch=3,20,2"},
    {"a flight over the north pole", "air A320 lat=89.8 alt=30000 speed=450 fly=120,0,0,0,0"},
    // The landing's intake held every report's speed down to the one before: a touch-and-go
    // rolled and climbed out at its touchdown speed, an airliner descending near the field sped
    // up by 34 kt at 160 kt, and both fell 45 s behind.
    {"a touch-and-go gathering speed on the runway",
     "touchAndGo A320 lat=0 lon=0 field=0 alt=500 speed=120 roll=2 rolls=3 every=4.2 "
     "fly=23,0,800,10,0"},
    {"an airliner speeding up low near the field",
     "air A320 alt=1500 speed=150 every=6 fly=10,0,-300,0,0 fly=19,0,0,0,0 fly=60,0,0,34,0 "
     "fly=61,0,0,0,0"},
    // Out of its runway exit, an arrival held itself to the speed reported a leg on, where its
    // reports braked to a stop: it crawled at 7 kt for 24 s and fell 45 s behind.
    {"an arrival gathering speed out of its runway exit before it stops",
     "arrival C172 alt=650 speed=60 roll=2.7 every=6.3 leg=37,40,115,22.5,0,0"},
    // The turn at the lift-off of a turning climb was laid as a taxi curve: the aircraft rolled
    // round it on the runway at 147 kt.
    {"a touch-and-go lifting off into a turn",
     "touchAndGo A320 lat=63.237 lon=30.635 course=232 field=1600 alt=1050 speed=145 roll=3.6 "
     "rolls=10 every=7.3 fly=28,-1.3,850,6,0"},
    // Rotating, it turned toward its first air leg's way on the runway: 7 degrees in a second at
    // 146 kt.
    {"a touch-and-go rotating into a turning climb",
     "touchAndGo A320 course=197 alt=750 speed=143 roll=3.5 rolls=12 every=1.3 "
     "jitter=0.30000000000000004 fly=32,-2.8000000000000003,900,12,0"},
    // Braking out of its runway exit to a crawl, reported every 0.3 s, an arrival reached each
    // report faster than reported and ran on into the crawl at 13 kt.
    {"an arrival braking to a crawl after its runway exit",
     "arrival A320 lat=0 course=45 field=0 alt=750 speed=120 roll=2.8 every=0.3 "
     "leg=37,55,115,20.5,0,0 leg=0,30,60,3,0,0"},
    // A touch-and-go whose reports of its roll and short climb all came before it touched down
    // rolled on as a landing: at 149 kt on the runway where its reports climbed, then stopped
    // dead.
    {"a touch-and-go whose reports end soon after it lifts off",
     "touchAndGo A320 course=313 field=2250 alt=650 speed=142 roll=3.4000000000000004 "
     "rolls=10.5 every=2.6 fly=10,2.1,1850,4,0"},
};

TEST(MotionWatch, TheShapesFoundWrongHold)
{
    for (const Found& found : kFound) {
        const auto plan = planFromText(found.plan);
        ASSERT_TRUE(plan) << found.name;
        EXPECT_EQ(planText(*plan), found.plan) << found.name;
        const Verdict verdict = lf_play(*plan);
        EXPECT_TRUE(verdict.ok() || lf_knownFailure(*plan, verdict))
            << found.name << ": " << verdict.summary();
    }
}

TEST(MotionWatch, Replay)
{
    const char* text = std::getenv("VNTQ_WATCH_PLAN");
    if (!text) GTEST_SKIP() << "VNTQ_WATCH_PLAN names no plan";
    const auto plan = planFromText(text);
    ASSERT_TRUE(plan) << "not a plan: " << text;
    const char* trace = std::getenv("VNTQ_WATCH_TRACE");
    const std::filesystem::path folder = trace ? trace : "";
    if (!folder.empty()) {
        std::filesystem::create_directories(folder);
        std::ofstream reported(folder / "reported.csv");
        reported << "time_s,arrival_s,latitude,longitude,altitude_ft,speed_kt,track_deg,glitch\n";
        for (const FedReport& r : feedOf(*plan, truthOf(*plan))) {
            reported << fmt::format("{:.2f},{:.2f},{:.8f},{:.8f},{:.0f},{:.1f},{:.1f},{}\n",
                                    r.time_s, r.arrival_s, r.at.lat, r.at.lon, r.alt_ft, r.speed_kt,
                                    r.track_deg, r.glitch ? 1 : 0);
        }
    }
    std::vector<std::string> rows;
    const Verdict verdict = lf_play(*plan, folder, &rows);
    if (!folder.empty()) {
        std::ofstream seen(folder / "seen.txt");
        for (const std::string& row : rows) seen << row << "\n";
    }
    std::cout << verdict.summary() << "\n";
    EXPECT_TRUE(verdict.ok());
}

// Without shrinking, every stream of a seed: one line for each that fails, and the count of
// each kind of fault (VNTQ_WATCH_SURVEY=<seed>, VNTQ_WATCH_STREAMS=<count>).
TEST(MotionWatch, Survey)
{
    const char* seed = std::getenv("VNTQ_WATCH_SURVEY");
    if (!seed) GTEST_SKIP() << "VNTQ_WATCH_SURVEY names no seed";
    const char* streams = std::getenv("VNTQ_WATCH_STREAMS");
    const int count = streams ? std::atoi(streams) : 100;
    std::map<std::string, int> kinds;
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const Plan plan =
            genPlan()(
                rc::Random(std::strtoull(seed, nullptr, 10) * 7919 + static_cast<uint64_t>(i)), 100)
                .value();
        const Verdict verdict = lf_play(plan);
        if (verdict.ok()) continue;
        ++failed;
        std::string line = std::string(kindName(plan.kind));
        for (const std::string& fault : verdict.faults) {
            const std::string kind = fault.substr(0, fault.find(" ("));
            ++kinds[std::string(kindName(plan.kind)) + ": " + kind];
            line += " | " + fault;
        }
        std::cout << line << "\n    " << planText(plan) << "\n";
    }
    std::cout << failed << " of " << count << " failed\n";
    for (const auto& [kind, n] : kinds) std::cout << fmt::format("{:5} {}\n", n, kind);
}

TEST(MotionWatch, Campaign)
{
    const char* seed = std::getenv("VNTQ_WATCH_SEED");
    if (!seed) GTEST_SKIP() << "VNTQ_WATCH_SEED names no seed";
    const char* streams = std::getenv("VNTQ_WATCH_STREAMS");
    lf_checkStreams(std::strtoull(seed, nullptr, 10), streams ? std::atoi(streams) : 100);
}

}  // namespace
}  // namespace qel::watch
