// One stream played through the program against the stand-in simulator, watched as a person at
// the airport watches it: the feed handed to the traffic manager as the Traffic Reader hands its
// polls, the main loop's ticks (late where the plan says), and the stand-in's object looked at
// every tenth of a second, then held against the reported path and the bounds of
// watch_bounds.h.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "traffic/traffic_fixture.h"
#include "watcher/streams.h"

namespace qel::watch {

// What a watcher saw wrong, first few of each kind, and the figures of the stream.
struct Verdict {
    std::vector<std::string> faults;
    double worstLag_s = 0.0;
    double worstOffPath_m = 0.0;
    double worstSideways_g = 0.0;
    int objects = 0;   // created in the simulator
    int removals = 0;  // taken out of it
    double watched_s = 0.0;
    bool ok() const { return faults.empty(); }
    std::string summary() const;
};

// The world of one stream: the program's state reset, a stand-in simulator whose user stands at
// the stream's place, a park airport there. Built and torn down as a test fixture is; one at a
// time.
class WatchWorld : public test::TrafficTest {
public:
    explicit WatchWorld(const Plan& plan);
    void TestBody() override {}
    // Plays the stream to its end; with a folder, the stand-in writes its trace there.
    Verdict play(const std::filesystem::path& traceFolder = {},
                 std::vector<std::string>* rows = nullptr);

private:
    struct Seen;
    void setUp(const std::filesystem::path& traceFolder);
    void runTick();
    void look(std::vector<Seen>& seen) const;

    Plan plan_;
    std::vector<TruthPoint> truth_;
    std::vector<FedReport> feed_;
    double simTime_s_ = 0.0;    // since the world began
    double feedStart_s_ = 2.0;  // simulator time of the stream's time 0
    double longestTick_s_ = 0.0;
    std::vector<double> stalls_;  // simulator times at which the main loop stalled
};

}  // namespace qel::watch
