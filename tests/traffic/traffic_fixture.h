// A fixture for the traffic manager against the in-process stand-in simulator: the simulator
// link's fixture (manual clock, world at Düsseldorf, one dispatch at a time), a small aircraft
// database, and a deterministic pump that runs one fast tick, then lets 10 ms of simulator time
// pass and dispatches what the simulator sent. Traffic is fed as scripted batches of records.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "liveries/liveries.h"
#include "simlink/link_fixture.h"
#include "traffic/traffic.h"
#include "traffic/traffic_internal.h"

namespace qel::test {

constexpr double kD16Lat = 52.307150;  // the stand D16 of Schiphol's real stand file
constexpr double kD16Lon = 4.769933;

// A flight's report as the Traffic Reader would decode it.
struct Report {
    uint32_t hex = 0x48548e;
    std::string callsign = "KLM56A";
    std::string type = "A320";
    double lat = 51.30;
    double lon = 6.80;
    double alt_ft = 3000.0;
    double gs_kt = 180.0;
    double track_deg = 230.0;
    double time_s = 1'767'225'600.0;
    std::string registration = "PH-EXL";
    double vs_fpm = 0.0;
    std::string origin = "AMS";
    std::string destination = "DUS";
};

inline LiveAircraftRecord record(const Report& r)
{
    LiveAircraftRecord out;
    out.hexId = r.hex;
    out.callsign = r.callsign;
    out.registration = r.registration;
    out.key.model = gf_modelIndex(r.type);
    out.origin = ShortAirportCode(r.origin);
    out.destination = ShortAirportCode(r.destination);
    out.reportTime_s = r.time_s;
    out.sample.latitude = r.lat;
    out.sample.longitude = r.lon;
    out.sample.altitude_ft = r.alt_ft;
    out.sample.groundSpeed_kt = r.gs_kt;
    out.sample.airspeed_kt = r.gs_kt;
    out.sample.track_deg = r.track_deg;
    out.sample.verticalRate_fpm = r.vs_fpm;
    out.sample.airborne = r.alt_ft > 0.0;
    return out;
}

class TrafficTest : public SimLinkTest {
protected:
    TrafficTest()
    {
        gf_resetTraffic();
        g_fastTicks = 0;
        for (const char* code : {"A320", "B738", "C172", "R44"}) {
            g_icaoModelCodes.insert(code);
            span(code, 0.0097);
        }
        g_largeModels.insert(gf_modelIndex("A320"));
        g_largeModels.insert(gf_modelIndex("B738"));
        g_rotorcraftModels.insert(gf_modelIndex("R44"));
        std::scoped_lock lock(g_trafficMutex);
        g_mainLoopRunning = true;
    }

    ~TrafficTest() override
    {
        gf_resetTraffic();
        g_trafficWindowHooks = {};
        std::scoped_lock lock(g_trafficMutex);
        g_mainLoopRunning = false;
    }

    // A world at EDDL with the user parked, connected, the user's state known.
    void start(const std::string& simulatorMembers = "")
    {
        world(simulatorMembers);
        connect();
        userState();
        g_userState = gf_requestUserAcPosition();
    }

    // One fast tick, then 10 ms of simulator time and one dispatch.
    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            lf_handleAddingStack();
            clock_->advance(std::chrono::milliseconds(10));
            lf_dispatchOnce(handle_);
        }
    }

    // Ticks until the predicate holds; false after `limit` ticks.
    bool tickUntil(const std::function<bool()>& holds, int limit = 20000)
    {
        for (int i = 0; i < limit; ++i) {
            if (holds()) return true;
            tick();
        }
        return holds();
    }

    // The livery the matcher would choose, waiting for the hex id.
    static void livery(uint32_t hex, const std::string& title = kA320)
    {
        g_pendingCreations[hex] = title;
    }

    static void push(const std::vector<Report>& reports, int32_t delay_s)
    {
        std::vector<LiveAircraftRecord> batch;
        for (const auto& r : reports) batch.push_back(record(r));
        gf_pushAddingStack(batch, delay_s);
    }

    static LiveAc* live(uint32_t hex) { return lf_findLive(hex); }

    static SimObjectState stateOf(uint32_t hex)
    {
        const LiveAc* aircraft = lf_findLive(hex);
        return aircraft ? aircraft->state : SimObjectState::removingfromsim;
    }

    int callCount(const std::string& function)
    {
        return static_cast<int>(callsOf(function).size());
    }
};

}  // namespace qel::test
