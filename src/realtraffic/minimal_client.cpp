// The RealTraffic client until it is built: a sign-in that gives a GUID at once, a Weather
// Reader that publishes a QNH of 1013 hPa and a Traffic Reader that reports traffic at once, so
// that the program starts its readers and runs its main loop without the web API.
//
// Threads "Weather Reader" (gf_weatherReader) and "Traffic Reader" (gf_trafficReader): started
// by the start-up thread once per run. Each publishes its first result, then waits in 100 ms
// steps of the platform clock until its stop flag is raised or its stop token requested, and
// sets its finished mark. Takes g_guidMutex alone.
#include <chrono>
#include <exception>
#include <mutex>

#include <fmt/format.h>

#include "app/app.h"
#include "foundation/log.h"
#include "platform/clock.h"
#include "realtraffic/realtraffic.h"

namespace qel {

std::atomic<int32_t> g_qnhReady{0};
RealTrafficStandIn g_realTrafficStandIn;

namespace {

using namespace std::chrono_literals;

constexpr int32_t kStandardQnh_hPa = 1013;

std::mutex g_guidMutex;  // guards g_guid; taken alone
std::string g_guid;      // guarded by g_guidMutex

struct ReaderState {
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
};
ReaderState g_weather;
ReaderState g_traffic;
std::atomic<bool> g_receiving{false};
std::atomic<int64_t> g_dataTime{0};

// Waits until asked to stop, then for the stand-in's stop delay.
void lf_runUntilStopped(const ReaderState& reader, const std::stop_token& stop)
{
    while (!reader.stop && !stop.stop_requested()) platform::sleepFor(100ms);
    const auto delay = std::chrono::seconds(g_realTrafficStandIn.stopDelay_s.load());
    if (delay > 0s) platform::sleepFor(delay);
}

}  // namespace

void gf_authenticater()
{
    if (g_realTrafficStandIn.signInFails) return;
    std::scoped_lock lock(g_guidMutex);
    g_guid = "00000000-0000-4000-8000-000000000000";
}

std::string gf_rtGuid()
{
    std::scoped_lock lock(g_guidMutex);
    return g_guid;
}

void gf_deauthenticate()
{
    ++g_realTrafficStandIn.signOuts;
    std::scoped_lock lock(g_guidMutex);
    g_guid.clear();
}

void gf_resetRtClient()
{
    {
        std::scoped_lock lock(g_guidMutex);
        g_guid.clear();
    }
    for (auto* reader : {&g_weather, &g_traffic}) {
        reader->stop = false;
        reader->finished = false;
    }
    g_qnhReady = 0;
    g_receiving = false;
    g_dataTime = 0;
}

void gf_weatherReader(std::stop_token stop)
{
    try {
        if (!g_realTrafficStandIn.noQnh) g_qnhReady = kStandardQnh_hPa;
        lf_runUntilStopped(g_weather, stop);
    } catch (const std::exception& e) {
        gf_log(fmt::format("gf_weatherReader exception: {}", e.what()));
    }
    g_weather.finished = true;
}

void gf_trafficReader(std::stop_token stop)
{
    try {
        if (g_realTrafficStandIn.trafficFails) {
            gf_stopWeatherReader();
            gf_readerStopped("Traffic Reader", true);
        } else {
            if (!g_realTrafficStandIn.noTraffic) {
                g_dataTime = platform::epochSeconds();
                g_receiving = true;
            }
            lf_runUntilStopped(g_traffic, stop);
        }
    } catch (const std::exception& e) {
        gf_log(fmt::format("gf_trafficReader exception: {}", e.what()));
    }
    g_traffic.finished = true;
}

void gf_stopWeatherReader() { g_weather.stop = true; }
void gf_stopTrafficReader() { g_traffic.stop = true; }
bool gf_weatherReaderFinished() { return g_weather.finished; }
bool gf_trafficReaderFinished() { return g_traffic.finished; }
bool gf_trafficReceiving() { return g_receiving; }
int64_t gf_trafficDataTime() { return g_dataTime; }
void gf_setTrafficReference(double /*latitude*/, double /*longitude*/) {}
void gf_updateTrafficBox() {}
void gf_updateReaderStatus() {}
void gf_startLiveIdCollection() {}

void gf_resetRealTrafficStandIn()
{
    g_realTrafficStandIn.signInFails = false;
    g_realTrafficStandIn.noQnh = false;
    g_realTrafficStandIn.noTraffic = false;
    g_realTrafficStandIn.trafficFails = false;
    g_realTrafficStandIn.stopDelay_s = 0;
    g_realTrafficStandIn.signOuts = 0;
}

}  // namespace qel
