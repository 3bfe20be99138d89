// What a watcher of the simulator accepts of a live aircraft, stated once: the generative test
// checks every stream it draws against these, every tenth of a second of the stand-in's object.
#pragma once

namespace qel::watch {

// Sampled every this many seconds of simulator time; speeds are taken over a second of samples.
inline constexpr double kSample_s = 0.1;
inline constexpr int kSamplesPerSecond = 10;

// No turn on the spot while the reports move: the heading may sweep this much at most while the
// shown speed stays below kSpotSpeed_kt.
inline constexpr double kSpotSpeed_kt = 2.0;
inline constexpr double kSpotSweep_deg = 30.0;

// On the ground: sideways (speed times turn rate, over a second, from kSidewaysFrom_kt on) and
// the change of speed from one second to the next.
inline constexpr double kSideways_g = 0.3;
inline constexpr double kSidewaysFrom_kt = 5.0;
inline constexpr double kGroundSpeedChange_ktPerS = 10.0;

// In the air: the change of speed from one second to the next, unless the reports change theirs
// at least as fast.
inline constexpr double kAirSpeedChange_ktPerS = 5.0;

// Never faster than twice the speed reported about where it is, plus this.
inline constexpr double kFasterBy_kt = 5.0;
inline constexpr double kFasterTimes = 2.0;

// Never back along its reported way by more than this (metres).
inline constexpr double kBackwards_m = 3.0;

// Off the reported path: on the ground, and in the air while its reports keep coming. The air
// legs are straight between samples, so only the reports a leg cuts short (a report refused, the
// corner of a reckoned stretch) put an aircraft off the way the reports join: 25 m is a few
// seconds' rounding of a corner at the sharpest rate the feed turns.
inline constexpr double kGroundOffPath_m = 15.0;
inline constexpr double kAirOffPath_m = 25.0;
// Ahead of every report that has come in, a flight reckons on as the newest reports turned; the
// reports still to come may turn otherwise by as much as the feed's turn rate changes, from 3
// deg/s one way to 3 the other, and put it off them by 1/2 * dw * t^2 * v more, t the time it
// reckoned past the newest report that came in, at that report's speed v.
inline constexpr double kReckonTurnChange_dps = 6.0;

// Behind the reports: from the moment a report came in until the aircraft stands where it put it.
inline constexpr double kMostLag_s = 45.0;

// A fast tick that takes longer than this of the machine's time has not come back.
inline constexpr double kLongestTick_s = 2.0;

}  // namespace qel::watch
