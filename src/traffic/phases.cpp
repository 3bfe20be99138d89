// The phase of a live record and the moves between phases. A record's phase steers which leg,
// report and stand handling it gets; a move the manager never makes would leave it in a
// handling whose preconditions do not hold (a push-back without a stand, a parked record that
// never left one), so such a move is refused and the record keeps the phase it has.
//
// Threads: main-loop thread only.
#include <string>

#include <fmt/format.h>

#include "foundation/log.h"
#include "traffic/fleet.h"
#include "traffic/parked_plan.h"

namespace qel {

namespace {

constexpr uint32_t kPhaseCount = 8;

constexpr uint32_t lf_bit(FlightPhase phase) { return 1U << static_cast<uint32_t>(phase); }

// The phases a record may come from, per phase it goes to. A push-back starts on the stand; it
// ends pushed back; only a taxiing record drives onto a stand; a record is parked by its spawn,
// its arrival at the stand it drove to, or a report while parked. Taxi, flying, take-off and
// birth are reached from any phase (a new route on the ground, a leg in the air, a rotation, a
// new livery).
constexpr uint32_t kAnyPhase = (1U << kPhaseCount) - 1;
constexpr uint32_t lf_allowedFrom(FlightPhase to)
{
    switch (to) {
    case FlightPhase::pushing_back: return lf_bit(FlightPhase::parked);
    case FlightPhase::pushed_back: return lf_bit(FlightPhase::pushing_back);
    case FlightPhase::parking: return lf_bit(FlightPhase::taxi);
    case FlightPhase::parked:
        return lf_bit(FlightPhase::birth) | lf_bit(FlightPhase::parking) |
               lf_bit(FlightPhase::parked);
    case FlightPhase::taxi:
    case FlightPhase::take_off:
    case FlightPhase::flying:
    case FlightPhase::birth: return kAnyPhase;
    }
    return 0;
}

}  // namespace

bool gf_phaseMoveAllowed(FlightPhase from, FlightPhase to)
{
    if (static_cast<uint32_t>(from) >= kPhaseCount || static_cast<uint32_t>(to) >= kPhaseCount) {
        return false;
    }
    return from == to || (lf_allowedFrom(to) & lf_bit(from)) != 0;
}

namespace {

std::string lf_phaseText(FlightPhase phase)
{
    if (static_cast<uint32_t>(phase) >= kPhaseCount) {
        return fmt::format("phase {}", static_cast<uint32_t>(phase));
    }
    return std::string(flightPhaseName(phase));
}

}  // namespace

bool lf_setLivePhase(LiveAc& aircraft, FlightPhase to, PhaseMemory memory)
{
    const FlightPhase from = aircraft.phase;
    if (!gf_phaseMoveAllowed(from, to)) {
        // Once per move and run: a fault that repeats every tick would flood the log.
        const uint32_t index = static_cast<uint32_t>(from) % kPhaseCount * kPhaseCount +
                               static_cast<uint32_t>(to) % kPhaseCount;
        const uint64_t move = uint64_t{1} << index;
        if ((g_refusedPhaseMoves & move) == 0) {
            g_refusedPhaseMoves |= move;
            gf_logHighlighted(fmt::format("{} {} refused: {} -> {}", "lf_setLivePhase",
                                          aircraft.callsign, lf_phaseText(from), lf_phaseText(to)));
        }
        return false;
    }
    if (memory == PhaseMemory::always || (memory == PhaseMemory::onChange && from != to)) {
        aircraft.previousPhase = from;
    }
    aircraft.phase = to;
    lf_notePhase(aircraft);
    // Whatever the way in (a spawn, an arrival, an arrival leaving again before it stood), a
    // parked record has its parking time: the max-park limit otherwise reads it as parked since
    // the epoch and removes it first.
    if (to == FlightPhase::parked && from != to) lf_recordParkingTime(aircraft);
    return true;
}

}  // namespace qel
