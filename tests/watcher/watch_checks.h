// The watcher's judgement of one played stream: the stand-in's object, as looked at every tenth
// of a second, held against the path its reports lay and the bounds of watch_bounds.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/geodesy.h"
#include "watcher/streams.h"
#include "watcher/watch_world.h"

namespace qel::watch {

struct Look {
    double t_s = 0.0;       // simulator time
    uint32_t objectId = 0;  // 0: none in the simulator; ~0: more than one
    LatLon at;
    double alt_ft = 0.0;
    double heading_deg = 0.0;
    bool onGround = false;
};

struct Watched {
    const Plan* plan = nullptr;
    const std::vector<FedReport>* feed = nullptr;
    double feedStart_s = 0.0;  // simulator time of the stream's time 0
    std::string callsign;
    double longestTick_s = 0.0;
    // When the main loop stood still: the program cannot move what the simulator shows then.
    std::vector<double> stalls;
    std::vector<Look> seen;
    std::vector<std::string> logLines;
    // Where given, a line a second of what the watcher saw and measured.
    std::vector<std::string>* rows = nullptr;
};

Verdict judge(const Watched& watched);

}  // namespace qel::watch
