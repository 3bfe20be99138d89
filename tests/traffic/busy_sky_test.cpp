// A busy sky through the real entry points: hundreds of flights arrive with the first load, whose
// report times spread over a poll, and polls follow; the stand-in simulator is watched every
// tick.
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>
#include <numbers>

#include "traffic/traffic_fixture.h"

namespace qel::test {
namespace {

constexpr double kRadPerDeg = std::numbers::pi / 180.0;
constexpr double kFeetPerNm = 6076.11549;

class BusySky : public TrafficTest {
protected:
    // Each flight's reports are offset by up to 10 s: the report times spread over a poll.
    static double offset_s(int i) { return std::fmod(i * 1.7, 10.0); }
    // Every eighth flight taxis at 15 kt, 8 to 12 nm away; the others fly level at 250 kt, 4 to
    // 30 nm from the user on a bearing of their own.
    static bool onGround(int i) { return i % 8 == 7; }
    static double speed_kt(int i) { return onGround(i) ? 15.0 : 250.0; }
    static double track_deg(int i) { return std::fmod(i * 53.0, 360.0); }

    // Where flight i is `at_s` seconds after the first report time.
    static LatLon position(int i, double at_s)
    {
        const LatLon user{kUserLat, kUserLon};
        const double distance_nm =
            onGround(i) ? 8.0 + std::fmod(i * 0.9, 4.0) : 4.0 + std::fmod(i * 7.3, 26.0);
        const LatLon start = gf_destinationPoint(user, std::fmod(i * 37.0, 360.0) * kRadPerDeg,
                                                 distance_nm * kFeetPerNm);
        return gf_destinationPoint(start, track_deg(i) * kRadPerDeg,
                                   speed_kt(i) * (at_s / 3600.0) * kFeetPerNm);
    }

    static Report flight(int i, double t_s)
    {
        const double at_s = t_s + offset_s(i);
        Report r;
        r.hex = 0x400000U + static_cast<uint32_t>(i);
        r.callsign = fmt::format("DLH{}", 100 + i);
        r.registration = fmt::format("D-A{:03}", i);
        const LatLon p = position(i, at_s);
        r.lat = p.lat;
        r.lon = p.lon;
        r.alt_ft = onGround(i) ? 0.0 : 4000.0 + 100.0 * (i % 150);
        r.gs_kt = speed_kt(i);
        r.track_deg = track_deg(i);
        r.time_s += at_s;
        return r;
    }

    static std::vector<Report> poll(int flights, double t_s)
    {
        std::vector<Report> reports;
        for (int i = 0; i < flights; ++i) reports.push_back(flight(i, t_s));
        return reports;
    }

    // The first load in its five steps, 6 s apart: the oldest due at once, the newest in 24 s.
    void firstLoad(int flights)
    {
        gf_reserveTrafficContainers();
        for (int k = 0; k < 5; ++k) {
            for (int i = 0; i < flights; ++i) livery(0x400000U + static_cast<uint32_t>(i));
            push(poll(flights, 6.0 * k), 6 * k);
        }
    }

    // A poll pushed at tick t is due 30 s later: its reports are those of that moment, so that
    // they keep the first load's schedule.
    static void pollAt(int flights, int32_t tick) { push(poll(flights, 30.0 + tick / 100.0), 30); }

    // The AI objects in the simulator now.
    static std::vector<simstandin::ObjectState> aiObjects()
    {
        std::vector<simstandin::ObjectState> out;
        for (const auto& object : simstandin::objects()) {
            if (object.kind == simstandin::ObjectKind::ai) out.push_back(object);
        }
        return out;
    }
};

TEST_F(BusySky, SixHundredFlightsNeverPutMoreThanTheLimitIntoTheSimulator)
{
    start();
    MAX_LIVE_SEL.current = 10;
    constexpr int kFlights = 600;
    firstLoad(kFlights);
    std::size_t most = 0;
    // Two minutes, looked at after every tick; a poll every 5 s, which enters the adding stack
    // once the last one is merged.
    for (int32_t t = 0; t < 12000; ++t) {
        if (t % 500 == 0 && t > 0) pollAt(kFlights, t);
        tick();
        const std::size_t inSim = aiObjects().size();
        most = std::max(most, inSim);
        ASSERT_LE(inSim, 10u) << "at second " << t / 100;
        ASSERT_LE(g_activeLiveCount + g_addingLiveCount, 10) << "at second " << t / 100;
    }
    EXPECT_EQ(most, 10u);
    // Nearer flights took the places of farther ones.
    EXPECT_GT(callCount("SimConnect_AIRemoveObject"), 0);
}

TEST_F(BusySky, FlightsCreatedLateInTheFirstMinuteAppearOnScheduleWithoutASprintOrACrawl)
{
    // Forty-two flights spawn together; their creations, two a second, take 21 s, and three of
    // them come just before one of their reports falls due, a few metres short of it. Each is
    // followed in the simulator from its creation for a minute.
    start();
    constexpr int kFlights = 42;
    firstLoad(kFlights);
    std::vector<double> offsets;
    for (int i = 0; i < kFlights; ++i) offsets.push_back(offset_s(i));
    std::nth_element(offsets.begin(), offsets.begin() + kFlights / 2, offsets.end());
    // The report time the schedule has reached at tick t: each step's median report is due at
    // 6 s a step.
    const double median_s = offsets[kFlights / 2];
    struct Track {
        int flight = 0;
        int32_t created = 0;
        std::vector<LatLon> path;  // one position a tick from the creation on
    };
    std::map<uint32_t, Track> tracks;
    for (int32_t t = 0; t < 9000; ++t) {
        if (t % 500 == 0 && t > 0) pollAt(kFlights, t);
        tick();
        for (const auto& object : aiObjects()) {
            auto [it, added] = tracks.try_emplace(object.id);
            Track& track = it->second;
            if (added) {
                track.flight = std::stoi(object.atcId.substr(3)) - 100;
                track.created = g_fastTicks;
                // It appears where its schedule has the flight now (250 kt: 130 m a second).
                const LatLon due = position(track.flight, median_s + t / 100.0);
                EXPECT_LT(gf_distanceNm({object.latitude, object.longitude}, due) * 1852.0, 300.0)
                    << object.atcId << " created at second " << t / 100;
                EXPECT_EQ(object.onGround, onGround(track.flight)) << object.atcId;
            }
            // Never below the ground, its creation included.
            ASSERT_GE(object.altAboveGround_ft, 0.0) << object.atcId << " at second " << t / 100;
            track.path.push_back({object.latitude, object.longitude});
        }
    }
    ASSERT_EQ(tracks.size(), static_cast<std::size_t>(kFlights));
    int32_t lastCreated = 0;
    for (const auto& [id, track] : tracks) {
        lastCreated = std::max(lastCreated, track.created);
        ASSERT_GE(track.path.size(), 6100u) << id;
        // Speeds over a second, from positions a second apart.
        const auto shown_kt = [&track](std::size_t from) {
            return gf_distanceNm(track.path[from], track.path[from + 100]) * 3600.0;
        };
        std::vector<double> later;
        for (std::size_t from = 2000; from + 100 <= 6000; from += 10)
            later.push_back(shown_kt(from));
        std::nth_element(later.begin(), later.begin() + later.size() / 2, later.end());
        const double median_kt = later[later.size() / 2];
        EXPECT_NEAR(median_kt, speed_kt(track.flight), 0.1 * speed_kt(track.flight)) << id;
        for (std::size_t from = 0; from + 100 <= 1200; from += 10) {
            EXPECT_LE(shown_kt(from), 1.5 * median_kt)
                << "DLH" << 100 + track.flight << " " << from / 100.0 << " s after its creation";
        }
        // Nor, once it has waited 2 s for its object, does it crawl below its speed.
        for (std::size_t from = 300; from + 100 <= 1200; from += 10) {
            EXPECT_GE(shown_kt(from), 0.75 * speed_kt(track.flight))
                << "DLH" << 100 + track.flight << " " << from / 100.0 << " s after its creation";
        }
    }
    // The last ones waited about 20 s for their turn.
    EXPECT_GT(lastCreated, 1800);
}

}  // namespace
}  // namespace qel::test
