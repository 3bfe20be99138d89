// The window's state of one run: what the handlers remember between two commands and what the
// window itself shows of the traffic counts and the time shift. Reset by
// assigning a fresh UiRun; the g_ names of the files are references to its members. The window
// itself, its controls and its settings are the process's and stay apart.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/run_values.h"

namespace qel {

struct UiRun {
    // The manual range that AUTO_RANGE switched off returns to; nm, written on the GUI thread.
    RunAtomic<int32_t> manualRange_nm{40};
    // What the window shows of the traffic and the time shift; the painter reads them (atomic).
    RunAtomic<uint64_t> liveCount{0};  // active live aircraft not parked
    RunAtomic<uint64_t> parkedLiveCount{0};
    RunAtomic<uint64_t> staticCount{0};
    RunAtomic<bool> timeShiftFlag{true};  // time-shift labels black, else grey
    // What a headless run's terminal was last told of the status; main-loop thread.
    std::string headlessStatus;       // "Signed in at RealTraffic, live: 12"
    std::string headlessStatusKind;   // the same without its counts
    int32_t headlessStatusAge_s = 0;  // simulator seconds since it was written
    bool operator==(const UiRun&) const = default;
};

extern UiRun g_uiRun;

}  // namespace qel
