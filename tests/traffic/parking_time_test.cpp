// The parking time of live aircraft, by which the max-park limit picks the one parked longest,
// through the stand-in simulator and scripted polls.
#include "foundation/catalogue.h"
#include "traffic/motion_road_fixture.h"

namespace qel::test {
namespace {

class ParkingTime : public MotionRoad {};

TEST_F(ParkingTime, AnArrivalLeavingAgainBeforeItStoodIsNotTakenAsParkedLongest)
{
    // DLH8A has stood on A2 for ten minutes when KLM56A lands, stops 18 m short of A1 and drives
    // onto it; while it drives it is reported moving away again. Then KLM57B appears standing
    // on A3, one parked aircraft more than the limit of two.
    LatLon p{};
    double taxi_deg = 0;
    const std::vector<Report> reports = arrivalOnto23L(0x48548e, 700, p, taxi_deg);
    const double end_s = reports.back().time_s - Report{}.time_s;
    const LatLon a1 = gf_destinationPoint(p, taxi_deg * kRadPerDeg, 18 / 0.3048);
    const LatLon a2 = gf_destinationPoint(a1, (taxi_deg + 90) * kRadPerDeg, 100 / 0.3048);
    const LatLon a3 = gf_destinationPoint(a1, (taxi_deg - 90) * kRadPerDeg, 100 / 0.3048);
    const auto stand = [](const char* id, LatLon at, double heading_deg) {
        return ParkStand(id, {}, at.lat, at.lon, heading_deg * kRadPerDeg, 30.0, false, false,
                         false);
    };
    startAt("leaving-arrival",
            {stand("A1", a1, taxi_deg), stand("A2", a2, 0.0), stand("A3", a3, 0.0)});
    MAX_PARK_SEL.current = 2;
    CUSTOM_PARKING_PERCENTAGE.current = 100;
    std::vector<Report> standing;
    standingAt(standing, 0x3c4b26, "DLH8A", a2, 0);
    livery(0x3c4b26);
    fly(0x3c4b26, standing, 500);
    ASSERT_TRUE(tickUntil([] { return stateOf(0x3c4b26) == SimObjectState::active; }, 3000));
    clock_->advance(std::chrono::minutes(10));
    livery(0x48548e);
    livery(0x48548f);
    // From the tick it drives onto A1: reported where it stopped, and 2 s later 25 m back
    // from there; as soon as it leaves again, KLM57B is reported standing on A3.
    int32_t parkingFrom = -1;
    bool leaving = false;
    eachTick_ = [&] {
        const LiveAc* arrival = live(0x48548e);
        if (parkingFrom < 0 && arrival && arrival->phase == FlightPhase::parking) {
            parkingFrom = g_fastTicks;
            push({reportAt(p, 0, 5, taxi_deg + 180, end_s + 10)}, 30);
        } else if (parkingFrom >= 0 && g_fastTicks == parkingFrom + 200) {
            const LatLon back = gf_destinationPoint(p, (taxi_deg + 180) * kRadPerDeg, 25 / 0.3048);
            push({reportAt(back, 0, 5, taxi_deg + 180, end_s + 12)}, 30);
        } else if (!leaving && arrival && arrival->phase == FlightPhase::parked &&
                   arrival->departurePending) {
            leaving = true;
            std::vector<Report> third;
            standingAt(third, 0x48548f, "KLM57B", a3, end_s + 12);
            for (int k : {0, 1}) {
                std::vector<LiveAircraftRecord> one{record(third[k])};
                gf_pushAddingStack(one, 20 * k);
            }
        }
    };
    fly(0x48548e, reports, 3000);

    ASSERT_TRUE(leaving);
    EXPECT_EQ(count("A2      : DLH8A live max park exceeded, removed"), 1);
    EXPECT_EQ(count("A1      : KLM56A live max park exceeded, removed"), 0);
    EXPECT_EQ(stateOf(0x48548e), SimObjectState::active);
}

}  // namespace
}  // namespace qel::test
