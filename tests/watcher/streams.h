// The streams the watcher test draws: what one flight does (its shape, as a plan of legs), the
// path a real aircraft doing that takes (the truth, turning and changing speed as aircraft do),
// and the feed that reports it (reports a few seconds apart, late, with gaps and glitches).
// A stream's plan has a one-line text form, which names a found case in the test's table and
// replays it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/geodesy.h"

namespace qel::watch {

enum class Kind : int {
    push,        // parked, pushed back (straight or turned), stands, taxis
    pullOut,     // parked, pulled out forwards, taxis
    taxi,        // created taxiing
    arrival,     // a final approach, the landing roll and a runway exit, then a taxi
    departure,   // a taxi, the line-up and the take-off roll, then the climb-out
    air,         // created in the air: climbs, cruise, descents and turns
    touchAndGo,  // an approach, a touchdown, a short roll and off again
    hover,       // a helicopter: slow flight and hovers
};
std::string_view kindName(Kind kind);

// The aircraft types of the test world's database.
enum class Type : int { a320, b738, c172, r44 };

// A taxi leg: a turn at its start (signed, clockwise positive) on an arc of the radius given,
// then straight on; then, where stop_s is above 0, a stop. A turn split by a stop stops halfway
// round it.
struct TaxiLeg {
    double turn_deg = 0.0;
    double radius_m = 30.0;
    double length_m = 100.0;
    double speed_kt = 15.0;
    double stop_s = 0.0;
    bool stopOnTurn = false;
};

// An air leg: so long at a turn rate (signed), a vertical speed and a change of speed; a hover
// (a helicopter's) where hover_s is above 0, at its end.
struct AirLeg {
    double seconds = 60.0;
    double turn_dps = 0.0;
    double vs_fpm = 0.0;
    double speedChange_kt = 0.0;
    double hover_s = 0.0;
};

struct Gap {
    double at_s = 0.0;  // report time from the first report
    double length_s = 0.0;
};

enum class GlitchKind : int {
    jump,         // one report somewhere else (size_m away)
    outOfOrder,   // a report comes in after the one after it
    sameTime,     // a second report of the same time, size_m off
    noSpeed,      // speed and track missing (0)
    signedSpeed,  // every speed negative, handed over past the decoder
    relocate,     // from then on every report size_m away (one flight's reports mixed up)
};
struct Glitch {
    GlitchKind kind = GlitchKind::jump;
    double at_s = 0.0;
    double size_m = 0.0;
};

struct Plan {
    Kind kind = Kind::taxi;
    Type type = Type::a320;
    double lat = 51.29;
    double lon = 6.77;
    double course_deg = 0.0;  // the stand's heading, or where it goes first
    double field_ft = 147.0;
    // Parked, before it leaves (push, pullOut); pushed back so far, turning so much at the end
    // (0: straight), then so far on sideways, at that speed, and standing so long after.
    double parked_s = 40.0;
    double push_m = 0.0;
    double pushTurn_deg = 0.0;
    double pushSide_m = 0.0;
    double push_kt = 3.0;
    double pause_s = 0.0;
    std::vector<TaxiLeg> taxi;
    // In the air: where it starts (or the approach's speed), and its legs.
    double alt_ft = 0.0;  // above the field
    double speed_kt = 0.0;
    std::vector<AirLeg> air;
    // The ground roll of an arrival, a touch-and-go or a departure: its rate (kt/s) and, on a
    // touch-and-go, how long it rolls.
    double roll_ktps = 3.0;
    double rolls_s = 0.0;
    // The feed: reports so far apart (s), spread by `jitter` (a share); how far behind the
    // traffic around the flight its reports are (s), from delay0_s, changed by delayChange_s from
    // delayFrom_s over delayOver_s; gaps and glitches.
    double interval_s = 5.0;
    double jitter = 0.0;
    double delay0_s = 0.0;
    double delayChange_s = 0.0;
    double delayFrom_s = 0.0;
    double delayOver_s = 30.0;
    // From aroundFrom_s on, the flights reported with it are that much fresher (aroundBy_s > 0)
    // or staler than before: the median report time of its polls moves, and its due ticks with it.
    double aroundBy_s = 0.0;
    double aroundFrom_s = 0.0;
    std::vector<Gap> gaps;
    std::vector<Glitch> glitches;
    // The main loop: every stallEvery_s (0: never) it stalls for stall_ms; from stretchFrom_s
    // for stretchFor_s its ticks come at 90 % of their rate.
    double stallEvery_s = 0.0;
    double stall_ms = 0.0;
    double stretchFrom_s = 0.0;
    double stretchFor_s = 0.0;
};

std::string planText(const Plan& plan);
// The plan of a text planText wrote; none for a text it did not write.
std::optional<Plan> planFromText(std::string_view text);

// Where a real aircraft doing the plan is, every tenth of a second of report time.
struct TruthPoint {
    double t_s = 0.0;
    LatLon at;
    double alt_ft = 0.0;  // above sea level
    bool onGround = true;
    double speed_kt = 0.0;
    double track_deg = 0.0;    // where it goes
    double heading_deg = 0.0;  // where its nose points (the other way in a push-back)
    double vs_fpm = 0.0;
    bool pushed = false;  // tail first
};
std::vector<TruthPoint> truthOf(const Plan& plan);

// One report as the feed gives it: the record's fields, its report time from the first report,
// when it comes in (seconds of the stream), and how far behind the traffic around it it is.
struct FedReport {
    double time_s = 0.0;
    double arrival_s = 0.0;
    double stale_s = 0.0;
    LatLon at;
    double alt_ft = 0.0;  // 0 on the ground
    double speed_kt = 0.0;
    double track_deg = 0.0;
    double vs_fpm = 0.0;
    bool glitch = false;  // not a place or speed of the path: left out of the reported path
};
std::vector<FedReport> feedOf(const Plan& plan, const std::vector<TruthPoint>& truth);

// Half a wingspan of the type (metres), as the test world's database has it.
double halfSpan_m(Type type);
bool isRotor(Type type);

}  // namespace qel::watch
