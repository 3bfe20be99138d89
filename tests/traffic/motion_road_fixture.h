// The fixture of the live flights at the park airport (Düsseldorf's runway 23L and stands the
// tests lay out): a world whose stand-in simulator traces to test-tracks/<name>, scripted polls
// five seconds apart, and watches on the phases, the take-off roll, sideways slides and how
// sharply they turn on the ground.
#pragma once

#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scenery/stand_snapshot.h"
#include "traffic/curve_geometry.h"
#include "traffic/traffic.h"
#include "traffic/traffic_fixture.h"

namespace qel::test {

inline const LatLon kThreshold23L{51.2997, 6.7869};
inline const LatLon kEnd05R{51.2808, 6.7530};

// An arrival onto 23L starting `t_s` seconds in (see arrivalReports).
inline std::vector<Report> arrivalOnto23L(uint32_t hex, double t_s, LatLon& stop, double& taxi_deg,
                                          int taxiLegs = 7)
{
    return arrivalReports(hex, t_s, kThreshold23L, gf_bearingRad(kThreshold23L, kEnd05R), stop,
                          taxi_deg, taxiLegs);
}

class MotionRoad : public TrafficTest {
protected:
    ~MotionRoad() override
    {
        g_parkStands.clear();
        gf_publishStandSpots();
        g_parkAirport = Airport{};
        g_registrations.clear();
    }

    // A world whose trace goes to test-tracks/<name>, with stands and a park airport.
    void startAt(const std::string& name, const std::vector<ParkStand>& stands,
                 const std::string& simulatorMembers = "")
    {
        const auto folder = std::filesystem::path(VNTQ_BINARY_DIR) / "test-tracks" / name;
        std::filesystem::remove_all(folder);
        start(R"("output_folder": ")" + folder.generic_string() + R"(", "trace_interval_s": 0.5)" +
              (simulatorMembers.empty() ? "" : ", " + simulatorMembers));
        g_parkStands = stands;
        for (std::size_t i = 0; i < g_parkStands.size(); ++i) {
            g_parkStands[i].number = static_cast<uint32_t>(i + 1);
        }
        gf_publishStandSpots();
        g_parkAirport.code = AirportCode("EDDL");
        g_parkAirport.secondCode = ShortAirportCode("DUS");
        g_parkAirport.latitude = 51.2895;
        g_parkAirport.longitude = 6.76678;
        g_parkAirport.altitude = 147.0F;
    }

    // The reports of one time form one poll, one poll every 5 s of ticks, until all are handed
    // over; the phases of `hex` are noted after every tick.
    void fly(uint32_t hex, std::vector<Report> reports, int afterTicks)
    {
        for (const auto& poll : pollsOf(std::move(reports))) {
            push(poll, 30);
            runTicks(hex, 500);
        }
        runTicks(hex, afterTicks);
    }

    // Every 100 ticks the main loop's second takes one aircraft off the stand-check queue.
    void runTicks(uint32_t hex, int count)
    {
        for (int i = 0; i < count; ++i) {
            tick();
            if (g_fastTicks % 100 == 0) {
                gf_writeDayAndSlot();
                gf_checkNextQueuedStand(g_dayAndSlot);
                watchHeadings();
            }
            if (g_fastTicks % 10 == 0) watchTurns();
            if (eachTick_) eachTick_();
            if (speedWatched_ && g_fastTicks % 100 == 0) noteShownSpeed();
            const LiveAc* aircraft = live(hex);
            if (!aircraft || aircraft->state != SimObjectState::active) continue;
            const std::string name(flightPhaseName(aircraft->phase));
            if (phases_.empty() || phases_.back() != name) phases_.push_back(name);
            if (aircraft->takeOff && aircraft->onGround) watchRoll(*aircraft);
        }
    }

    // A main loop that fell `ticks` ticks behind runs them back to back, a millisecond apart.
    void catchUp(int ticks)
    {
        clock_->advance(std::chrono::milliseconds(9 * ticks));
        for (int i = 0; i < ticks; ++i) {
            lf_handleAddingStack();
            dumpTick();
            clock_->advance(std::chrono::milliseconds(1));
            lf_dispatchOnce(handle_);
        }
    }

    // On the take-off roll: once, from 80 kt on, the main loop falls ten ticks behind; every
    // half second the speed the aircraft moved at and the top speed the simulator shows are
    // noted.
    void watchRoll(const LiveAc& aircraft)
    {
        if (!caughtUp_ && aircraft.samples.front().groundSpeed_kt >= 80.0) {
            catchUp(10);
            caughtUp_ = true;
        }
        if (const auto object = simstandin::object(aircraft.objectId)) {
            shownRollSpeed_kt_ = std::max(shownRollSpeed_kt_, object->groundSpeed_kt);
        }
        const int32_t now = g_fastTicks;
        if (now - rollFromTick_ < 50) return;
        const LatLon here{aircraft.position.latitude, aircraft.position.longitude};
        if (rollFromTick_ >= 0) {
            rollSpeeds_kt_.push_back(gf_distanceNm(rollFrom_, here) * 360000.0 /
                                     (now - rollFromTick_));
        }
        rollFrom_ = here;
        rollFromTick_ = now;
    }

    // Once a second, as the simulator shows them: an aircraft moving on the ground faster than
    // 3 kt that points 25-155 degrees away from where it goes, two seconds running, slides.
    void watchHeadings()
    {
        for (const LiveAc& aircraft : g_liveAcs) {
            const auto object =
                aircraft.objectId ? simstandin::object(aircraft.objectId) : std::nullopt;
            if (!object) continue;
            Seen& seen = seen_[aircraft.hexId];
            const LatLon here{object->latitude, object->longitude};
            double off_deg = 0.0;
            if (seen.known && seen.onGround && object->onGround &&
                gf_distanceNm(seen.at, here) * 3600.0 > 3.0) {
                off_deg = std::abs(lf_wrapPi(object->heading_rad - gf_bearingRad(seen.at, here))) /
                          kRadPerDeg;
            }
            const bool sideways = off_deg >= 25.0 && off_deg <= 155.0;
            if (sideways && seen.sideways) {
                slides_.push_back(fmt::format("{} at tick {}: {:.0f} degrees off its path",
                                              aircraft.callsign, g_fastTicks.load(), off_deg));
            }
            seen = {here, object->onGround, sideways, true};
        }
    }

    // Once a second while `hex` is on the ground, from its sixth second on when it was created
    // there, else from its touchdown on: the largest change of its shown speed from the second
    // before, and when it was.
    void watchSpeed(uint32_t hex) { speedWatched_ = hex; }

    void noteShownSpeed()
    {
        const LiveAc* aircraft = live(speedWatched_);
        const auto object =
            aircraft && aircraft->objectId ? simstandin::object(aircraft->objectId) : std::nullopt;
        if (!object) return;
        if (!object->onGround) {
            lastShown_kt_.reset();
            landed_ = true;
            return;
        }
        if (lastShown_kt_ && (++seconds_ > 5 || landed_)) {
            const double change = std::abs(object->groundSpeed_kt - *lastShown_kt_);
            if (change > largestChange_kt_) {
                largestChange_kt_ = change;
                largestAt_ = fmt::format("{:.1f} kt to {:.1f} kt at tick {}", *lastShown_kt_,
                                         object->groundSpeed_kt, g_fastTicks.load());
            }
        }
        lastShown_kt_ = object->groundSpeed_kt;
        shown_kt_.push_back(object->groundSpeed_kt);
    }

    // Every tenth of a second, as the simulator shows them on the ground: how far each aircraft
    // went over the last second and how far its heading turned. The sideways acceleration (speed
    // times turn rate) is noted from 5 kt on, the heading's swing while it moves at 1 kt or more.
    void watchTurns()
    {
        for (const LiveAc& aircraft : g_liveAcs) {
            const auto object =
                aircraft.objectId ? simstandin::object(aircraft.objectId) : std::nullopt;
            auto& track = tracks_[aircraft.hexId];
            if (!object || !object->onGround) {
                track.clear();
                continue;
            }
            track.push_back({{object->latitude, object->longitude}, object->heading_rad});
            if (track.size() <= 10) continue;
            track.pop_front();
            double way_m = 0.0;
            double turn_rad = 0.0;
            for (std::size_t i = 1; i < track.size(); ++i) {
                way_m += gf_distanceNm(track[i - 1].at, track[i].at) * 1852.0;
                turn_rad += lf_wrapPi(track[i].heading_rad - track[i - 1].heading_rad);
            }
            Turning& worst = turning_[aircraft.hexId];
            const double kt = way_m * 3600.0 / 1852.0;
            const double g = way_m * std::abs(turn_rad) / 9.80665;
            const double swing_deg = std::abs(turn_rad) / kRadPerDeg;
            const auto at = [&] {
                return fmt::format("{:.0f} degrees at {:.1f} kt in the second to tick {}",
                                   swing_deg, kt, g_fastTicks.load());
            };
            if (kt >= 5.0 && g > worst.g) {
                worst.g = g;
                worst.gAt = at();
            }
            if (kt >= 1.0 && swing_deg > worst.swing_deg) {
                worst.swing_deg = swing_deg;
                worst.swingAt = at();
            }
        }
    }

    void expectFacingWhereTheyGo()
    {
        for (const auto& slide : slides_) ADD_FAILURE() << slide;
    }

    // KLM56A's arrival onto 23L to a stop 10 m short of A1, the world's only stand, which it
    // faces; the world's trace goes to test-tracks/<name>.
    std::vector<Report> arrivalToA1(const std::string& name)
    {
        LatLon p{};
        double taxi_deg = 0;
        std::vector<Report> reports = arrivalOnto23L(0x48548e, 0, p, taxi_deg);
        const LatLon a1 = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 10 / 0.3048);
        startAt(name, {ParkStand("A1", {}, a1.lat, a1.lon, taxi_deg * kRadPerDeg, 30.0, false,
                                 false, false)});
        livery(0x48548e);
        return reports;
    }

    void expectNoException()
    {
        for (const auto& line : log_.lines()) {
            EXPECT_EQ(line.find("exception"), std::string::npos) << line;
        }
    }

    bool went(const std::string& phase) const
    {
        return std::find(phases_.begin(), phases_.end(), phase) != phases_.end();
    }

    struct Seen {
        LatLon at;
        bool onGround = false;
        bool sideways = false;
        bool known = false;
    };
    struct TrackPoint {
        LatLon at;
        double heading_rad = 0.0;
    };
    struct Turning {
        double g = 0.0;  // the most sideways, over a second
        std::string gAt;
        double swing_deg = 0.0;  // the most the heading turned in a second while moving
        std::string swingAt;
    };
    std::map<uint32_t, Seen> seen_;    // by hex id, a second ago
    std::vector<std::string> slides_;  // what slid sideways
    std::vector<std::string> phases_;
    std::function<void()> eachTick_;  // after every tick
    uint32_t speedWatched_ = 0;       // the hex id whose shown speed is watched
    std::optional<double> lastShown_kt_;
    std::vector<double> shown_kt_;  // each second on the ground
    bool landed_ = false;           // seen in the air
    int seconds_ = 0;
    double largestChange_kt_ = 0.0;
    std::string largestAt_;
    bool caughtUp_ = false;
    double shownRollSpeed_kt_ = 0.0;
    std::vector<double> rollSpeeds_kt_;  // every half second of the take-off roll
    LatLon rollFrom_{};
    int32_t rollFromTick_ = -1000;

    std::map<uint32_t, std::deque<TrackPoint>> tracks_;  // by hex id, the last second on the ground
    std::map<uint32_t, Turning> turning_;                // by hex id
};

// Two stationary reports at a stand, 20 s apart from `t_s` on.
inline void standingAt(std::vector<Report>& out, uint32_t hex, const char* callsign, LatLon at,
                       double t_s)
{
    for (double t : {t_s, t_s + 20}) {
        out.push_back(reportAt(at, 0, 0, 0, t));
        out.back().hex = hex;
        out.back().callsign = callsign;
        out.back().registration.clear();
    }
}

}  // namespace qel::test
