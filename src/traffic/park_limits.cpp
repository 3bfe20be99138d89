// Limits of the parked traffic: how many static aircraft the park airport wants, the live
// parked aircraft and how long they stand, the max-park limit, and the removal of traffic in the
// user aircraft's way.
//
// Threads: main-loop thread.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "platform/clock.h"
#include "traffic/fleet.h"
#include "traffic/live_road.h"
#include "traffic/parked_plan.h"
#include "traffic/traffic.h"
#include "traffic/traffic_run.h"

namespace qel {

std::vector<LiveParked>& g_liveParkedList = g_trafficRun.liveParkedList;

namespace {

constexpr double kFeetPerNm = 6076.11549;
constexpr double kMoved_deg = 1e-8;
// Until the simulator names the user aircraft, it counts as wide as the widest airliner (an
// A380, 40 m half span): nothing may be created or left inside it.
constexpr double kLargestHalfSpan_nm = 40.0 / 1852.0;
constexpr int32_t kSlotsPerWeek = 336;
// Statics near the user are looked for only when the user moved since the last look.
LatLon& g_lastUserNear = g_trafficRun.lastUserNear;

bool lf_isLiveParked(const LiveAc& aircraft)
{
    return aircraft.state == SimObjectState::active && aircraft.phase == FlightPhase::parked;
}

int64_t lf_minutesParked(const LiveAc& aircraft)
{
    const int64_t now_100ns = platform::epochSeconds() * 10'000'000;
    return (now_100ns - aircraft.parkingTime_100ns) / 600'000'000;
}

struct ParkedDuration {
    uint32_t hexId = 0;
    int64_t seconds = 0;
};

std::vector<ParkedDuration> lf_collectParkedDurations()
{
    std::vector<ParkedDuration> list;
    const int64_t now_100ns = platform::epochSeconds() * 10'000'000;
    for (const LiveAc& aircraft : g_liveAcs) {
        if (!lf_isLiveParked(aircraft)) continue;
        list.push_back({aircraft.hexId, (now_100ns - aircraft.parkingTime_100ns) / 10'000'000});
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return a.seconds > b.seconds; });
    return list;
}

int64_t lf_activeOrLeavingStatics()
{
    return std::count_if(g_staticAcs.begin(), g_staticAcs.end(), [](const StaticAc& s) {
        return s.state == SimObjectState::active || s.state == SimObjectState::removingfromsim;
    });
}

void lf_removeEarliestStatic()
{
    StaticAc* earliest = nullptr;
    int32_t oldest = -1;
    const DaySlot now = lf_daySlotNow();
    for (StaticAc& statik : g_staticAcs) {
        if (statik.state != SimObjectState::active &&
            statik.state != SimObjectState::removingfromsim) {
            continue;
        }
        const DaySlot parked{static_cast<int32_t>(statik.parkedWeekday),
                             static_cast<int32_t>(statik.parkedSlot)};
        const int32_t age = lf_slotsAgo(parked, now);
        if (age > oldest) {
            oldest = age;
            earliest = &statik;
        }
    }
    if (!earliest || earliest->state != SimObjectState::active) return;
    gf_log(fmt::format("{:8}: {} static max park exceeded, removed",
                       gf_standNameById(earliest->standId), earliest->callsign));
    removeAircraftFromSim(*earliest);
}

double lf_userHalfSpan() { return gf_userHalfSpan().value_or(kLargestHalfSpan_nm); }

double lf_wrapPi(double a)
{
    a = std::remainder(a, 2.0 * std::numbers::pi);
    return a;
}

}  // namespace

void lf_recordParkingTime(LiveAc& aircraft)
{
    const int64_t now = gf_trafficTime();
    aircraft.parkedWeekday = static_cast<uint32_t>(std::max(gf_weekdayOf(now), 0));
    aircraft.parkedSlot = static_cast<uint32_t>(std::max(gf_halfHourSlotOf(now), 0));
    aircraft.parkingTime_100ns = platform::epochSeconds() * 10'000'000;
    aircraft.parkingCounters[0] = aircraft.parkingCounters[1] = 0;
}

int32_t lf_wantedPercentage()
{
    const int32_t custom = CUSTOM_PARKING_PERCENTAGE.current;
    return custom >= 0 ? custom : parking_percentage.current.load();
}

int64_t lf_calcWantedStatics()
{
    const int64_t n = static_cast<int64_t>(g_parkStands.size());
    if (MAX_PARK_SEL.current <= 0) {
        g_parkWindowCounts.wantedStaticCount = 0;
        g_parkWindowCounts.maxParkPercentage = parking_percentage.current.load();
        gf_invalidateArea(WindowArea::Statistics);
        return 0;
    }
    const double p = lf_wantedPercentage();
    int64_t wanted = 1;
    // Without stands there is nothing to fill; the small-airport rule is for airports with a
    // stand or three.
    if (n < 1) {
        wanted = 0;
    } else if (n > 1 && (n > 3 || p >= 50.0)) {
        const double rounded = std::round(p * static_cast<double>(n) / 100.0);
        if (!(rounded >= INT32_MIN && rounded <= INT32_MAX))
            throw std::range_error("narrowing_error");
        wanted = static_cast<int64_t>(rounded);
    }
    const int64_t result = std::min<int64_t>(MAX_PARK_SEL.current, wanted);
    g_parkWindowCounts.wantedStaticCount = static_cast<int32_t>(result);
    g_parkWindowCounts.maxParkPercentage =
        n < 1 ? 0
              : static_cast<int32_t>(
                    std::lround(static_cast<double>(result) * 100.0 / static_cast<double>(n)));
    gf_invalidateArea(WindowArea::Statistics);
    return result;
}

void lf_collectLiveParked()
{
    g_liveParkedList.clear();
    for (LiveAc& aircraft : g_liveAcs) {
        if (!lf_isLiveParked(aircraft)) continue;
        if (aircraft.departurePending) {
            g_liveParkedList.push_back({aircraft.callsign, aircraft.standId, 0});
            continue;
        }
        const int64_t m = lf_minutesParked(aircraft);
        const int64_t limit = aircraft.weightClass == WeightClass::Heavy ? 180 : 90;
        if (INITIAL_LOAD_ONLY.current || m <= limit) {
            g_liveParkedList.push_back(
                {aircraft.callsign, aircraft.standId,
                 static_cast<int32_t>(std::clamp<int64_t>(m, INT32_MIN, INT32_MAX))});
        } else {
            lf_removeLiveFor(aircraft, fmt::format("parked {} minutes, longer than {}", m, limit));
        }
    }
    std::sort(g_liveParkedList.begin(), g_liveParkedList.end(),
              [](const LiveParked& a, const LiveParked& b) {
                  return std::tie(a.callsign, a.standId) < std::tie(b.callsign, b.standId);
              });
}

uint64_t lf_countLiveParked()
{
    uint64_t count = 0;
    int64_t sum = 0;
    const DaySlot now = lf_daySlotNow();
    for (const LiveAc& aircraft : g_liveAcs) {
        if (!lf_isLiveParked(aircraft)) continue;
        ++count;
        if (aircraft.parkedWeekday < 1) continue;
        const DaySlot parked{static_cast<int32_t>(aircraft.parkedWeekday),
                             static_cast<int32_t>(aircraft.parkedSlot)};
        const int32_t since = lf_slotsBetween(parked, now);
        if (since != 0) sum += (since % kSlotsPerWeek + kSlotsPerWeek) % kSlotsPerWeek;
    }
    const float average =
        count == 0 ? 0.0F
                   : static_cast<float>(
                         static_cast<double>(sum) / (2.0 * static_cast<double>(count)) + 0.5);
    if (g_trafficWindowStatus.liveAverageFit.exchange(average) != average) {
        gf_invalidateArea(WindowArea::Statistics);
    }
    return count;
}

void lf_removeLiveParkedBeyond(int64_t count)
{
    const auto list = lf_collectParkedDurations();
    for (int64_t i = 0; i < count && i < static_cast<int64_t>(list.size()); ++i) {
        LiveAc* aircraft = lf_findLive(list[static_cast<std::size_t>(i)].hexId);
        if (!aircraft) continue;
        gf_log(fmt::format("live parked {} at {} removed", gf_flightDescription(*aircraft),
                           gf_standNameById(aircraft->standId)));
        removeAircraftFromSim(*aircraft);
    }
}

void lf_checkMaxPark(bool live)
{
    if (RT_PARKTRAFFIC_ONLY.current) return;
    const int64_t limit = lf_calcWantedStatics();
    if (limit < 1) return;
    const int64_t parked =
        (live ? 1 : 0) + std::count_if(g_liveAcs.begin(), g_liveAcs.end(), lf_isLiveParked);
    if (!INITIAL_LOAD_ONLY.current && parked > limit) {
        const auto list = lf_collectParkedDurations();
        if (LiveAc* longest = list.empty() ? nullptr : lf_findLive(list.front().hexId)) {
            gf_log(fmt::format("{:8}: {} live max park exceeded, removed",
                               gf_standNameById(longest->standId), longest->callsign));
            removeAircraftFromSim(*longest);
        }
    }
    if (parked + lf_activeOrLeavingStatics() > limit) lf_removeEarliestStatic();
}

void lf_forgetUserPosition() { g_lastUserNear = kNoUserPosition; }

void lf_removeNearUser()
{
    const LatLon user{g_userState.latitude, g_userState.longitude};
    const double userSpan = lf_userHalfSpan();
    for (LiveAc& aircraft : g_liveAcs) {
        if (aircraft.state != SimObjectState::active || !aircraft.onGround) continue;
        const LatLon at{aircraft.position.latitude, aircraft.position.longitude};
        if (gf_distanceNm(user, at) <= (userSpan + aircraft.size_nm) * 1.15) {
            lf_removeLiveFor(aircraft, "the user aircraft stands there");
            return;
        }
    }
    if (std::abs(user.lat - g_lastUserNear.lat) < kMoved_deg &&
        std::abs(user.lon - g_lastUserNear.lon) < kMoved_deg) {
        return;
    }
    g_lastUserNear = user;
    for (StaticAc& statik : g_staticAcs) {
        if (statik.state != SimObjectState::active) continue;
        if (gf_distanceNm(user, {statik.standLat, statik.standLon}) <=
            statik.size_nm * 1.1 + userSpan * 1.1) {
            removeAircraftFromSim(statik);
            return;
        }
    }
}

void lf_clearPathAheadOfUser()
{
    const LatLon user{g_userState.latitude, g_userState.longitude};
    for (LiveAc& aircraft : g_liveAcs) {
        if (aircraft.state != SimObjectState::active) continue;
        const LatLon at{aircraft.position.latitude, aircraft.position.longitude};
        const double d = gf_distanceNm(user, at);
        if (g_userState.altAboveGround_ft < 500.0 && aircraft.onGround && d <= 1.0) {
            const double x = lf_wrapPi(gf_bearingRad(user, at) - g_userState.heading_rad);
            // Only what lies ahead is on the user's path: close behind it is no obstacle.
            if (std::cos(x) > 0.0 && std::abs(std::sin(x)) * d * kFeetPerNm <= 50.0) {
                lf_removeLiveFor(aircraft, "on the ground ahead of the user aircraft");
                return;
            }
        }
        if (lf_removeIfAheadOfUser(aircraft, 0)) return;
    }
}

bool lf_removeIfAheadOfUser(LiveAc& aircraft, int index)
{
    static constexpr double kDistance_nm[] = {4.0, 6.0};
    static constexpr double kAltitude_ft[] = {1000.0, 3000.0};
    static constexpr double kLateral_ft[] = {700.0, 4000.0};
    const int i = index == 0 ? 0 : 1;
    const LatLon user{g_userState.latitude, g_userState.longitude};
    const LatLon at{aircraft.position.latitude, aircraft.position.longitude};
    const double d = gf_distanceNm(user, at);
    if (d > kDistance_nm[i] ||
        std::abs(aircraft.position.altitude_ft - g_userState.altitude_ft) >= kAltitude_ft[i]) {
        return false;
    }
    const double x = lf_wrapPi(aircraft.position.heading_rad - gf_bearingRad(user, at));
    if (std::cos(x) * d * kFeetPerNm <= 0.0) return false;
    if (std::abs(std::sin(x)) * d * kFeetPerNm > kLateral_ft[i]) return false;
    lf_removeLiveFor(aircraft, "just ahead of the user aircraft");
    return true;
}

}  // namespace qel
