// The RealTraffic client's state of one run: what the two readers keep of it, the user's
// position they query around, the sign-in and QNH flags, the reserved stand the parked traffic
// leaves free and what the window shows of the client. Reset by assigning a fresh RtRun while
// no reader runs; the g_ names of the files are references to its members. The reader objects
// with their libcurl handles, the locks and the hooks are the process's and stay apart.
// The readers' request intervals (rrl, wrrl) outlast the reset on purpose: they are the pacing
// the server last asked of this client, and the first requests of a restarted run keep to it
// rather than fall back to 2 s; the next sign-in and traffic replies set them anew.
#pragma once

#include <string>

#include "foundation/run_values.h"
#include "realtraffic/readers.h"
#include "realtraffic/realtraffic.h"

namespace qel {

struct RtRun {
    rt::TrafficReaderRun trafficReader;
    rt::WeatherReaderRun weatherReader;
    rt::UserPosition userPosition;  // rt::g_userPositionMutex
    RunAtomic<bool> rtAuthenticated{false};
    RunAtomic<int32_t> qnhReady{0};       // hPa
    RunAtomic<int32_t> trafficQnh{1013};  // hPa
    std::string reservedStandName;        // main-loop thread
    RtWindowStatus windowStatus;
    bool operator==(const RtRun&) const = default;
};

extern RtRun g_rtRun;

}  // namespace qel
