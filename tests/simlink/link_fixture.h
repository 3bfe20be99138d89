// A fixture for the simulator link against the in-process stand-in simulator: a manual clock, a
// scenario world at Düsseldorf, Log.txt captured, settings at their defaults in a temporary
// per-user folder, and the link's steps driven one dispatch at a time, so that a test knows
// exactly which messages the link has handled.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/run_state.h"
#include "foundation/settings_fixture.h"
#include "foundation/time.h"
#include "liveries/liveries.h"
#include "platform/clock.h"
#include "simlink/link_internal.h"
#include "simlink/simlink.h"
#include "standins/simulator/sim_standin.h"
#include "support/test_support.h"

namespace qel::test {

// Livery titles the test world knows, one of them a helicopter.
inline constexpr const char* kA320 = "Airbus A320 Lufthansa";
inline constexpr const char* kR44 = "Robinson R44 Police";
inline constexpr double kUserLat = 51.2793;  // degrees, the user's stand at EDDL
inline constexpr double kUserLon = 6.7635;

// The run state of the layers the link uses, through their own resets; the stop protocol, the
// chosen simulator and the refused liveries, which a process keeps across runs, by hand.
inline void resetLinkState()
{
    g_exitReason = ExitReason::NOT_YET_SET;
    g_restartDelay = 0;
    g_stopRequested = false;
    g_closeRequested = false;
    g_isMsfs2020 = true;
    gf_resetFoundationRun();
    gf_resetSimLinkRun();
    clearFailedLiveries();
}

class SimLinkTest : public ::testing::Test {
protected:
    SimLinkTest() : previousAppDataDir_(g_appDataDir)
    {
        auto manual = std::make_unique<platform::ManualClock>(1'767'225'600);  // 2026-01-01
        clock_ = manual.get();
        scopedClock_.emplace(std::move(manual));
        gf_setAppDataDir(user_.path());
        resetAllSettings();
        resetLinkState();
    }

    ~SimLinkTest() override
    {
        if (thread_.joinable()) {
            thread_.request_stop();
            thread_.join();
        }
        {
            std::scoped_lock lock(g_simQueueMutex);
            g_hSimConnect = nullptr;
            gf_closeSimConnect(handle_);
        }
        simstandin::reset();
        resetLinkState();
        resetAllSettings();
        gf_clearAircraftDatabase();
        gf_setAppDataDir(previousAppDataDir_);
    }

    // A world at EDDL (field elevation 147 ft) with the "simulator" members given.
    void world(const std::string& simulatorMembers = "")
    {
        std::string sim = std::string(R"("field_elevation_ft": 147, "first_object_id": 100,
            "liveries": [")") + kA320 + R"(", {"title": ")" + kR44 +
                          R"(", "helicopter": true}])";
        if (!simulatorMembers.empty()) sim += ", " + simulatorMembers;
        simstandin::resetFromText(R"({"clock": {"start": "now"},
            "user": {"lat": 51.2793, "lon": 6.7635, "alt_ft": 147, "heading_deg": 320,
                     "on_ground": true}, "simulator": {)" + sim + "}}");
    }

    // Opens and registers as the thread does, and handles what the simulator sent.
    void connect()
    {
        ASSERT_TRUE(lf_openConnection(handle_)) << simstandin::lastError();
        lf_simConnectSetup(handle_);
        pump();
    }

    // Lets `seconds` of simulator time pass frame by frame, dispatching after each frame.
    void pump(double seconds = 0.0)
    {
        const auto frame = std::chrono::nanoseconds(1'000'000'000 / 30 + 1);
        for (double t = 0.0; t < seconds; t += 1.0 / 30.0) {
            clock_->advance(frame);
            lf_dispatchOnce(handle_);
        }
        lf_dispatchOnce(handle_);
    }

    // Asks for the user aircraft's state and takes the reply in.
    UserAircraftState userState()
    {
        gf_requestUserAcPosition();
        pump();
        return gf_requestUserAcPosition();
    }

    static SIMCONNECT_DATA_INITPOSITION ground(double lat = 51.2790, double lon = 6.7630)
    {
        return {lat, lon, 0.0, 0.0, 0.0, 320.0, 1, 0};
    }

    // Creates an aircraft through the create queue and pairs it as the traffic manager's range
    // request would, once `createDelay_s` has passed; its object id, 0 when it was not paired.
    uint32_t createPaired(const char* title, const std::string& callsign, uint32_t hexId,
                          double createDelay_s = 0.0)
    {
        gf_queueCreateAc(AiCreateRequest{ground(), callsign, title, hexId});
        pump(0.05 + createDelay_s);
        gf_requestAircraftInRange();
        pump();
        uint32_t objectId = 0;
        for (const auto& r : results()) {
            const bool created = r.kind == SimResultKind::liveCreated ||
                                 r.kind == SimResultKind::staticCreated;
            if (created && r.hexId == hexId) objectId = r.objectId;
        }
        return objectId;
    }

    std::vector<SimResult> results()
    {
        std::vector<SimResult> out;
        gf_takeSimResults(out);
        return out;
    }

    std::vector<simstandin::CallRecord> callsOf(const std::string& function)
    {
        std::vector<simstandin::CallRecord> out;
        for (auto& call : simstandin::calls()) {
            if (call.function == function) out.push_back(call);
        }
        return out;
    }

    int count(const std::string& line)
    {
        const auto lines = log_.lines();
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }

    // Gives a type code a half wing span (nm) in the aircraft database.
    static void span(std::string_view code, double halfSpan_nm)
    {
        const uint16_t id = gf_modelIndex(code);
        if (g_halfSpanNm.size() <= id) g_halfSpanNm.resize(id + 1U, 0.0);
        g_halfSpanNm[id] = halfSpan_nm;
        g_maxHalfSpanNm = std::max(g_maxHalfSpanNm, halfSpan_nm);
    }

    // Runs the "SimClient" thread itself.
    void startThread() { thread_ = std::jthread(lf_simConnectThread); }

    // Blocks until the predicate holds; fails after a minute of real time.
    static void await(const std::function<bool()>& holds)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!holds()) {
            ASSERT_LT(std::chrono::steady_clock::now(), end);
            std::this_thread::yield();
        }
    }

    platform::ManualClock* clock_ = nullptr;
    std::optional<platform::ScopedClock> scopedClock_;
    TempDir user_;
    CapturedLog log_;
    HANDLE handle_ = nullptr;
    std::jthread thread_;

private:
    std::filesystem::path previousAppDataDir_;
};

}  // namespace qel::test
