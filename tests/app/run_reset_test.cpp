// The restart's one reset against every library's run struct: each field, whatever its type and
// whenever it was added, is given other values than a fresh run starts with, and the reset
// brings every struct back to a fresh one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "app/core.h"
#include "foundation/codes.h"
#include "foundation/halfhours.h"
#include "foundation/run_state.h"
#include "realtraffic/rt_run.h"
#include "scenery/scenery.h"
#include "scenery/scenery_run.h"
#include "simlink/link_run.h"
#include "support/run_probe.h"
#include "traffic/traffic_run.h"
#include "ui/ui.h"
#include "ui/ui_run.h"

namespace qel::test::probe {

// The types of run fields that are neither plain values, containers nor structs of them.
template <>
struct SampleOf<SharedText> {
    static SharedText make(int k)
    {
        SharedText text;
        text.set(sample<std::string>(k));
        return text;
    }
};
template <>
struct SampleOf<ParkStand> {
    static ParkStand make(int k)
    {
        const bool flag = k == 1;
        return ParkStand(sample<std::string>(k), {}, k, k, k, k, flag, flag, flag);
    }
};
template <>
struct SampleOf<StaticAc> {
    static StaticAc make(int k)
    {
        StaticAc aircraft;
        aircraft.hexId = static_cast<uint32_t>(k);
        aircraft.callsign = sample<std::string>(k);
        return aircraft;
    }
};
template <>
struct SampleOf<LiveAc> {
    static LiveAc make(int k)
    {
        FlightData data;
        data.hexId = static_cast<uint32_t>(kLiveHexIdFloor + k);
        data.callsign = sample<std::string>(k);
        LiveAc aircraft(QueuedSample{}, data, k);
        // Without a taxi curve a record holds NaN and equals no record, its copy included; the
        // sample flies one, so that a run holding it can show which of its fields are compared.
        aircraft.curveStart = 0.0;
        aircraft.curveEnd = 1.0;
        aircraft.curveControlEast = k;
        aircraft.curveControlNorth = k;
        return aircraft;
    }
};
template <>
struct SampleOf<ParkCandidate> {
    static ParkCandidate make(int k)
    {
        ParkCandidate candidate;
        candidate.text = sample<std::string>(k);
        candidate.standId = static_cast<uint32_t>(k);
        return candidate;
    }
};
template <>
struct SampleOf<HalfHourSet> {
    static HalfHourSet make(int k) { return HalfHourSet(static_cast<unsigned long long>(k)); }
};
template <std::size_t N>
struct SampleOf<FixedCode<N>> {
    static FixedCode<N> make(int k) { return FixedCode<N>(std::string(N, k == 1 ? 'A' : 'B')); }
};

// A field whose comparison always says equal, behind one whose sample equals no copy of itself.
struct BlindField {
    int value = 0;
    bool operator==(const BlindField&) const { return true; }
};
struct SelfUnequal {
    double value = 0.0;
    bool operator==(const SelfUnequal&) const = default;
};
struct RiggedRun {
    SelfUnequal unequal;
    BlindField blind;
    bool operator==(const RiggedRun&) const = default;
};
template <>
struct SampleOf<SelfUnequal> {
    static SelfUnequal make(int) { return {std::nan("")}; }
};

}  // namespace qel::test::probe

namespace qel {
namespace {

using test::probe::sample;
using test::probe::unchangedFields;

// Every library's run struct set to the samples of pass k.
void lf_dirtyEveryRun(int k)
{
    g_foundationRun = sample<FoundationRun>(k);
    g_sceneryRun = sample<SceneryRun>(k);
    g_simLinkRun = sample<SimLinkRun>(k);
    g_rtRun = sample<RtRun>(k);
    g_uiRun = sample<UiRun>(k);
    g_appRun = sample<AppRun>(k);
    g_trafficRun = sample<TrafficRun>(k);
}

TEST(RunReset, EveryFieldOfEveryRunStructIsDirtiedAndCompared)
{
    // A field that no sample changes, or that the struct's comparison does not see, would pass
    // the reset check below unreset.
    EXPECT_EQ(unchangedFields<FoundationRun>(), std::vector<std::size_t>{});
    EXPECT_EQ(unchangedFields<SceneryRun>(), std::vector<std::size_t>{});
    EXPECT_EQ(unchangedFields<SimLinkRun>(), std::vector<std::size_t>{});
    EXPECT_EQ(unchangedFields<RtRun>(), std::vector<std::size_t>{});
    EXPECT_EQ(unchangedFields<UiRun>(), std::vector<std::size_t>{});
    EXPECT_EQ(unchangedFields<AppRun>(), std::vector<std::size_t>{});
    EXPECT_EQ(unchangedFields<TrafficRun>(), std::vector<std::size_t>{});
}

TEST(RunReset, AFieldBehindOneUnequalToItselfIsNotTakenAsCompared)
{
    EXPECT_EQ(unchangedFields<test::probe::RiggedRun>(), (std::vector<std::size_t>{0, 1}));
}

TEST(RunReset, TheRestartsResetLeavesEveryLibrarysRunFresh)
{
    for (int k : {1, 2}) {
        lf_dirtyEveryRun(k);
        ASSERT_FALSE(gf_foundationRunFresh()) << k;
        ASSERT_FALSE(gf_sceneryRunFresh()) << k;
        ASSERT_FALSE(gf_simLinkRunFresh()) << k;
        ASSERT_FALSE(gf_rtRunFresh()) << k;
        ASSERT_FALSE(gf_uiRunFresh()) << k;
        ASSERT_FALSE(gf_appRunFresh()) << k;
        ASSERT_FALSE(gf_trafficRunFresh()) << k;

        lf_resetRunState();

        EXPECT_TRUE(gf_foundationRunFresh()) << k;
        EXPECT_TRUE(gf_sceneryRunFresh()) << k;
        EXPECT_TRUE(gf_simLinkRunFresh()) << k;
        EXPECT_TRUE(gf_rtRunFresh()) << k;
        EXPECT_TRUE(gf_uiRunFresh()) << k;
        EXPECT_TRUE(gf_appRunFresh()) << k;
        EXPECT_TRUE(gf_trafficRunFresh()) << k;
    }
}

}  // namespace
}  // namespace qel
