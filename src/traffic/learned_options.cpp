// The learned flights of a stand: which half hours of which weekday a flight stood there. The
// stand choice records every arrival and departure through these.
//
// Threads: main-loop thread.
#include <algorithm>
#include <exception>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/window_status.h"
#include "traffic/stands.h"
#include "traffic/traffic.h"
#include "traffic/traffic_run.h"

namespace qel {

namespace {

constexpr uint32_t kSlotsPerDay = 48;

std::string lf_withoutGhostMark(std::string callsign)
{
    if (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
    return callsign;
}

LearnedFlight* lf_option(std::vector<LearnedFlight>& options, uint32_t id)
{
    if (id == 0) return nullptr;
    const auto found = std::find_if(options.begin(), options.end(),
                                    [id](const LearnedFlight& o) { return o.number == id; });
    return found == options.end() ? nullptr : &*found;
}

// Sets one slot's bit; a slot beyond the day throws as the bitset does.
void lf_setSlot(LearnedFlight& option, uint32_t slot)
{
    if (slot >= kSlotsPerDay) throw std::out_of_range("invalid bitset position");
    option.slots.set(slot);
}

int32_t& g_shownOptionCount = g_trafficRun.shownOptionCount;

}  // namespace

int32_t& g_learnedUpdates = g_trafficRun.learnedUpdates;
int32_t& g_learnedOptionCount = g_trafficRun.learnedOptionCount;

void lf_showLearnedCounts()
{
    bool changed = g_trafficWindowStatus.updateCount.exchange(g_learnedUpdates) != g_learnedUpdates;
    if (g_shownOptionCount != g_learnedOptionCount) {
        g_shownOptionCount = g_learnedOptionCount;
        changed = true;
    }
    if (changed) gf_invalidateArea(WindowArea::Statistics);
}

void lf_countLearnedUpdate()
{
    ++g_learnedUpdates;
    lf_showLearnedCounts();
}

std::vector<uint32_t> gf_slotsBack(uint32_t slot, uint32_t count)
{
    std::vector<uint32_t> slots;
    slots.reserve(kSlotsPerDay);
    for (uint32_t i = 0; i < count; ++i) {
        slots.push_back(slot);
        slot = slot == 0 ? kSlotsPerDay - 1 : slot - 1;
    }
    return slots;
}

bool updateOptions(std::vector<LearnedFlight>& options, std::vector<uint32_t>& slots, uint32_t id)
{
    try {
        LearnedFlight* option = lf_option(options, id);
        if (!option) return false;
        while (!slots.empty()) {
            lf_setSlot(*option, slots.back());
            slots.pop_back();
        }
        return true;
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception:{}", "updateOptions", e.what()));
        return false;
    }
}

bool updateOptionsWrapped(std::vector<LearnedFlight>& options, std::vector<uint32_t>& slots,
                          uint32_t firstId, uint32_t secondId)
{
    try {
        LearnedFlight* first = lf_option(options, firstId);
        LearnedFlight* second = lf_option(options, secondId);
        if (!first || !second) return false;
        if (!slots.empty() && slots.back() != 0) {
            while (!slots.empty()) {
                const uint32_t slot = slots.back();
                lf_setSlot(*first, slot);
                slots.pop_back();
                if (slot == kSlotsPerDay - 1) break;
            }
        }
        // The newest slot is today's present half hour: it is set when the stay goes on.
        while (slots.size() >= 2) {
            lf_setSlot(*second, slots.back());
            slots.pop_back();
        }
        return true;
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception:{}", "updateOptionsWrapped", e.what()));
        return false;
    }
}

std::pair<uint32_t, bool> gf_addLearnedFlight(std::vector<LearnedFlight>& options, MatchKey key,
                                              uint32_t weekday, uint32_t slot,
                                              const std::string& callsign,
                                              const std::string& registration, uint8_t soft)
{
    if (registration.empty() || slot >= kSlotsPerDay) return {0, false};
    LearnedFlight flight;
    const auto prefix = gf_registrationPrefix(registration);
    flight.codes = prefix ? *prefix : key;
    flight.registration = registration;
    flight.callsign = lf_withoutGhostMark(callsign);
    flight.slots.set(slot);
    flight.day = weekday;
    flight.real = soft ? 0 : 1;
    const bool same = std::any_of(options.begin(), options.end(), [&](const LearnedFlight& o) {
        return o.registration == registration && o.day == weekday && o.slots == flight.slots;
    });
    if (same) return {0, false};
    flight.number = static_cast<uint32_t>(options.size()) + 1;
    options.push_back(std::move(flight));
    ++g_learnedOptionCount;
    lf_showLearnedCounts();
    return {options.back().number, true};
}

void gf_addLearnedCallsign(std::vector<LearnedFlight>& options, uint32_t id,
                           const std::string& callsign)
{
    const std::string c = lf_withoutGhostMark(callsign);
    LearnedFlight* option = lf_option(options, id);
    if (c.empty() || !option) return;
    if (option->callsign.empty()) {
        option->callsign = c;
    } else if (c != option->callsign && c != option->callsign2) {
        option->callsign2 = c;
    }
}

}  // namespace qel
