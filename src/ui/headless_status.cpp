// The status a headless run's terminal gets in place of the window's status strip and
// statistics band: nobody sees those, and the message line alone went quiet once the sign-in
// cleared it, for the whole run.
#include <cstdint>
#include <string>

#include <fmt/format.h>

#include "foundation/window_status.h"
#include "realtraffic/realtraffic.h"
#include "traffic/traffic.h"
#include "ui/ui.h"
#include "ui/ui_run.h"

namespace qel {

namespace {

// Counts change every second in a busy sky: a line each time would bury the messages.
constexpr int32_t kCountsEvery_s = 10;

struct HeadlessStatus {
    std::string line;  // "Signed in at RealTraffic, live: 12"; empty while not signed in
    std::string kind;  // the line without its counts
};

// What the window shows, as it shows it: the live count once the Traffic Reader runs, the
// parked ones once the park airport's stands are loaded.
HeadlessStatus lf_headlessStatus()
{
    HeadlessStatus status;
    if (!g_rtWindowStatus.realTrafficSignedIn) return status;
    status.line = "Signed in at RealTraffic";
    status.kind = status.line;
    const int32_t traffic = g_rtWindowStatus.trafficReaderStatus;
    if (traffic == 1 || traffic == 2) {
        status.line += fmt::format(", live: {}", g_uiRun.liveCount.load());
        status.kind += ", live";
    }
    const auto& park = g_trafficWindowStatus;
    const std::string airport = park.parkAirportText.get();
    if (!airport.empty() && park.standFileLoaded) {
        const std::string named = fmt::format("; park airport {}", airport);
        status.line += fmt::format("{}, parked live: {}, static: {}", named,
                                   g_uiRun.parkedLiveCount.load(), g_uiRun.staticCount.load());
        status.kind += named;
    }
    return status;
}

}  // namespace

void gf_tellHeadlessStatus()
{
    if (!gf_headlessWindow()) return;
    auto& told = g_uiRun;
    ++told.headlessStatusAge_s;
    const HeadlessStatus status = lf_headlessStatus();
    if (status.line.empty()) {
        // Signed out: the message line says why, and a sign-in after it is news again.
        told.headlessStatus.clear();
        told.headlessStatusKind.clear();
        return;
    }
    if (status.line == told.headlessStatus) return;
    if (status.kind == told.headlessStatusKind && told.headlessStatusAge_s < kCountsEvery_s) {
        return;
    }
    told.headlessStatus = status.line;
    told.headlessStatusKind = status.kind;
    told.headlessStatusAge_s = 0;
    gf_tellHeadlessUser(status.line);
}

}  // namespace qel
