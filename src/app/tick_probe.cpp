// The fast tick's probe: the processor time the main-loop thread spends in each fast tick, for
// scripts/tick_figures. When VNTQ_TICK_PROBE names a file, every 3000 ticks (30 s) one line goes
// there: the time of day its first tick began at (as the log writes it), the active live and
// static aircraft, then each tick's time in nanoseconds. Without the variable a tick costs one
// test more.
//
// Threads: main-loop thread only; no locks.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "app/core.h"
#include "foundation/time.h"
#include "platform/clock.h"
#include "traffic/traffic.h"

namespace qel {

namespace {

constexpr std::size_t kWindow_ticks = 3000;

// The process's, like the log file: a restart goes on writing into the same file.
struct TickProbe {
    bool checked = false;  // the variable has been read
    std::ofstream out;
    std::vector<int64_t> times_ns;  // the window being filled
    std::string started;            // the time of day of its first tick
};
TickProbe g_tickProbe;  // main-loop thread

bool lf_probeOn()
{
    if (!g_tickProbe.checked) {
        g_tickProbe.checked = true;
        const char* path = std::getenv("VNTQ_TICK_PROBE");
        if (path != nullptr && *path != '\0') {
            g_tickProbe.out.open(path, std::ios::trunc);
            g_tickProbe.times_ns.reserve(kWindow_ticks);
        }
    }
    return g_tickProbe.out.is_open();
}

void lf_writeWindow()
{
    const TrafficCounts counts = gf_trafficCounts();
    fmt::memory_buffer line;
    fmt::format_to(std::back_inserter(line), "at {} live {} static {} ns {}\n", g_tickProbe.started,
                   counts.live + counts.parkedLive, counts.statics,
                   fmt::join(g_tickProbe.times_ns, " "));
    g_tickProbe.out.write(line.data(), static_cast<std::streamsize>(line.size()));
    g_tickProbe.out.flush();
    g_tickProbe.times_ns.clear();
}

}  // namespace

void lf_probedFastTick()
{
    if (!lf_probeOn()) {
        gf_runDueFastTicks();
        return;
    }
    if (g_tickProbe.times_ns.empty()) g_tickProbe.started = gf_nowTimeOfDay();
    const int64_t start = platform::threadCpu_ns();
    // A turn that ran several ticks counts as that many of their mean; one that ran none, not.
    const int32_t ran = gf_runDueFastTicks();
    if (ran == 0) return;
    const int64_t each = (platform::threadCpu_ns() - start) / ran;
    for (int32_t k = 0; k < ran; ++k) g_tickProbe.times_ns.push_back(each);
    if (g_tickProbe.times_ns.size() >= kWindow_ticks) lf_writeWindow();
}

}  // namespace qel
