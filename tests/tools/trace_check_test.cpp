// scripts/trace_check against traces made here: that it tells each fault of the motion it looks
// for, and what it takes for the timing of a busy machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/wait.h>

#include <fmt/format.h>

#include "support/test_support.h"

namespace qel::test {
namespace {

constexpr double kPi = 3.14159265358979;
constexpr double kMetresPerDeg = 111120.0;  // of latitude, as trace_check measures
constexpr double kMpsPerKt = 1852.0 / 3600.0;

struct CheckRun {
    int status = -1;
    std::string output;
};

// Run from `folder` when one is given, as a user standing there runs it.
CheckRun lf_traceCheck(const std::filesystem::path& trace, const std::string& paths = {},
                       const std::filesystem::path& folder = {})
{
    const std::string command =
        fmt::format("{}bash '{}/scripts/trace_check' '{}' {} 2>&1",
                    folder.empty() ? "" : "cd '" + folder.string() + "' && ", VNTQ_SOURCE_DIR,
                    trace.string(), paths.empty() ? "" : "'" + paths + "'");
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    CheckRun run;
    if (!pipe) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) run.output += buffer;
    const int status = pclose(pipe.release());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Latitude and longitude, as text, of a place `east_m` and `north_m` from 52 N 4 E.
std::string lf_place(double east_m, double north_m)
{
    const double perLon = kMetresPerDeg * std::cos(52.0 * kPi / 180.0);
    return fmt::format("{:.7f},{:.7f}", 52.0 + north_m / kMetresPerDeg, 4.0 + east_m / perLon);
}

// The stand-in simulator's trace of KLM56A on the ground, or at 3000 ft, one row a second from
// its creation on.
class Trace {
public:
    explicit Trace(bool airborne = false) : airborne_(airborne) {}

    void row(double t_s, double east_m, double north_m, double heading_deg)
    {
        const char* event = rows_++ == 0 ? "added" : "";
        csv_ +=
            fmt::format("{:.3f},200,ai,KLM56A,Airbus A320 KLM,{},{},{:.1f},0.00,0.00,0.0,{},3,{}\n",
                        t_s, lf_place(east_m, north_m), airborne_ ? "3000.0,3000.0" : "-3.0,8.0",
                        heading_deg, airborne_ ? 0 : 1, event);
    }

    // A second at `kt`, the course turning by `turn_deg` over it (positive is right); the heading
    // shown is the course, or `shown_deg`.
    void second(double kt, double turn_deg = 0.0, std::optional<double> shown_deg = {})
    {
        if (rows_ == 0) row(0.0, 0.0, 0.0, course_deg_);
        const double along_rad = (course_deg_ + turn_deg / 2.0) * kPi / 180.0;
        east_m_ += kt * kMpsPerKt * std::sin(along_rad);
        north_m_ += kt * kMpsPerKt * std::cos(along_rad);
        course_deg_ += turn_deg;
        row(++t_s_, east_m_, north_m_, shown_deg.value_or(course_deg_));
    }

    // The simulator takes it away where it stands, a tenth of a second after its last row.
    void removed()
    {
        csv_ += fmt::format(
            "{:.3f},200,ai,KLM56A,Airbus A320 KLM,{},{},{:.1f},0.00,0.00,0.0,{},3,removed\n",
            t_s_ + 0.1, lf_place(east_m_, north_m_), airborne_ ? "3000.0,3000.0" : "-3.0,8.0",
            course_deg_, airborne_ ? 0 : 1);
    }

    // Checked in a folder of its own, with the paths the RealTraffic stand-in reported, when
    // given, and the simulator's objects file, which puts simulator time 0 at scenario second 30.
    // A parked aircraft stands there from the start for a minute at least, so that the trace
    // covers the run the check takes.
    // Named as a user standing in that folder names them, when `fromItsFolder`.
    CheckRun check(const std::string& reportedPaths = {}, bool fromItsFolder = false) const
    {
        TempDir dir;
        std::filesystem::create_directories(dir / "simulator");
        writeFile(dir / "simulator" / "simulator-trace.csv",
                  kHeader + parkedRow(0.0, "added") + csv_ + parkedRow(std::max(t_s_, 60.0), ""));
        if (!reportedPaths.empty()) {
            writeFile(dir / "reported-paths.csv", reportedPaths);
            writeFile(dir / "simulator" / "simulator-objects.txt",
                      "simulator time 0.000 s, scenario second 30.000, 2 objects, flight "
                      "running\n");
        }
        if (fromItsFolder) {
            return lf_traceCheck("simulator/simulator-trace.csv", "reported-paths.csv", dir.path());
        }
        return lf_traceCheck(dir / "simulator" / "simulator-trace.csv");
    }

    static constexpr const char* kHeader =
        "time_s,object_id,kind,atc_id,title,latitude,longitude,altitude_ft,alt_above_ground_ft,"
        "heading_deg,pitch_deg,bank_deg,ground_speed_kt,on_ground,lights,event\n";

private:
    static std::string parkedRow(double t_s, const char* event)
    {
        return fmt::format(
            "{:.3f},201,ai,DLH4TK,Airbus A320 Lufthansa,{},-3.0,8.0,0.0,0.00,0.00,"
            "0.0,1,0,{}\n",
            t_s, lf_place(-200.0, 0.0), event);
    }

    bool airborne_ = false;
    std::string csv_;
    int rows_ = 0;
    double t_s_ = 0.0;
    double east_m_ = 0.0;
    double north_m_ = 0.0;
    double course_deg_ = 90.0;
};

// KLM56A reported taxiing east from 52 N 4 E at 10 kt, each second from scenario second 0 to 120.
std::string lf_reportedEastAt10()
{
    std::string paths = "callsign,registration,hex,t_s,lat,lon,gs_kt,on_ground\n";
    for (int u = 0; u <= 120; ++u) {
        paths += fmt::format("KLM56A,PH-EXL,48548e,{},{},10.0,1\n", u,
                             lf_place(10.0 * kMpsPerKt * u, 0.0));
    }
    return paths;
}

// What it cannot check it says in a line, and fails: it never passes on nothing checked.
TEST(TraceCheck, RefusesWhatItCannotCheck)
{
    // A row at `t_s` of KLM56A, an AI object, or of the user's aircraft.
    const auto row = [](int t_s, const char* object) {
        return fmt::format("{}.000,{},{},-3.0,8.0,90.0,0.00,0.00,0.0,1,3,\n", t_s, object,
                           lf_place(0.0, 0.0));
    };
    const char* klm = "200,ai,KLM56A,Airbus A320 KLM";
    const char* user = "1,user,,Cessna 172";
    const std::string header = Trace::kHeader;
    const struct {
        const char* input;
        std::optional<std::string> trace;  // none: no file there
        const char* paths;                 // named reported paths, a file that is not there
        std::string told;
        std::optional<std::string> reported = {};  // what the named paths file holds
    } cases[] = {
        {"no file", std::nullopt, "", "there is no trace at "},
        {"the program's log", "[13:02:11] VNTQ started\n", "", "is not a trace of the stand-in"},
        {"a run of 30 s", header + row(0, klm) + row(30, user), "",
         "covers 30 s; its checks need 60 s of it at least"},
        {"no AI object in a minute", header + row(0, user) + row(60, user), "",
         "holds no AI object"},
        {"reported paths named that are not there", header + row(0, klm) + row(60, user),
         "paths.csv", "there are no reported paths at "},
        {"the program's log named as the reported paths", header + row(0, klm) + row(60, user),
         "Log.txt", "Log.txt is not a file of reported paths", "[13:02:11] VNTQ started\n"},
        {"reported paths without a path", header + row(0, klm) + row(60, user), "paths.csv",
         "paths.csv holds no reported path",
         "# reported paths\ncallsign,registration,hex,t_s,lat,lon,gs_kt,on_ground\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        if (c.trace) writeFile(dir / "trace.csv", *c.trace);
        if (c.reported) writeFile(dir / c.paths, *c.reported);
        const CheckRun run =
            lf_traceCheck(dir / "trace.csv", *c.paths ? (dir / c.paths).string() : "");
        EXPECT_EQ(run.status, 2) << c.input << "\n" << run.output;
        EXPECT_EQ(run.output.rfind("trace_check: ", 0), 0U) << c.input << "\n" << run.output;
        EXPECT_NE(run.output.find(c.told), std::string::npos) << c.input << "\n" << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << c.input << "\n"
                                                                             << run.output;
    }
}

TEST(TraceCheck, TellsEachFaultOfTheMotionItLooksFor)
{
    const struct {
        const char* fault;
        std::function<void(Trace&)> drive;
        bool reported;  // checked against the reported paths
        std::vector<std::string> told;
        bool airborne = false;
    } cases[] = {
        {"a turn above 0.3 g: 90 degrees left in 3 s at 15 kt (0.41 g)",
         [](Trace& t) {
             for (int i = 0; i < 5; ++i) t.second(15.0);
             for (int i = 0; i < 3; ++i) t.second(15.0, -30.0);
             for (int i = 0; i < 5; ++i) t.second(15.0);
         },
         false,
         {"hard turn: object 200 KLM56A 0.41 g sideways at 15 kt (30 degrees in 1.0 s), 5.0 s "
          "after its creation",
          "1 turns above 0.3 g"}},
        {"a heading swing: facing back in a second while it rolls on at 4 kt",
         [](Trace& t) {
             for (int i = 0; i < 5; ++i) t.second(4.0);
             for (int i = 0; i < 5; ++i) t.second(4.0, 0.0, 270.0);
         },
         false,
         {"heading swing: object 200 KLM56A 90 to 270 degrees in 1.0 s at 4.0 kt, 5.0 s after its "
          "creation",
          "1 heading swings above 90 degrees in a second"}},
        {"a crawl: 20 s at 3 kt where 10 kt are reported, which leaves it further behind",
         [](Trace& t) {
             for (int i = 0; i < 20; ++i) t.second(10.0);
             for (int i = 0; i < 20; ++i) t.second(3.0);
             for (int i = 0; i < 20; ++i) t.second(10.0);
         },
         true,
         {"crawl: object 200 KLM56A at 3.0 kt where it was reported at 10.0 kt, for 20 s from "
          "20.0 s after its creation",
          "lag: object 200 KLM56A 30 s behind its reports at first, at worst 44 s (40 s after its "
          "creation), 44 s at the last",
          "1 crawls, 1 objects matched to their reports"}},
        {"a climb at 228 kt that loses 40 kt in a second; its first positions, which set it off "
         "from where it was created 2 s before, are not judged, nor its last second, which the "
         "program stops moving it in as it removes it",
         [](Trace& t) {
             for (int i = 0; i < 2; ++i) t.second(0.0);
             for (int i = 0; i < 8; ++i) t.second(228.0);
             for (int i = 0; i < 5; ++i) t.second(188.0);
             t.second(150.0);
             t.removed();
         },
         false,
         {"airborne speed jump: object 200 KLM56A 228.0 kt to 188.0 kt in 1.0 s (-40.0 kt/s) at "
          "10.0 s after its creation",
          "0 ground speed jumps above 10 kt/s (0 stutters taken back), 1 airborne speed jumps "
          "above 10 kt/s (0 stutters taken back)"},
         true},
    };
    for (const auto& c : cases) {
        Trace trace(c.airborne);
        c.drive(trace);
        const CheckRun run = trace.check(c.reported ? lf_reportedEastAt10() : std::string());
        EXPECT_EQ(run.status, 1) << c.fault << "\n" << run.output;
        for (const auto& line : c.told) {
            EXPECT_NE(run.output.find(line), std::string::npos) << c.fault << "\n" << run.output;
        }
    }
}

// The trace and the paths named, each relative to where the user stands: the crawl, which only
// the paths show, is found.
TEST(TraceCheck, ReadsTheFilesItIsGivenFromWhereTheUserStands)
{
    Trace trace;
    for (int i = 0; i < 20; ++i) trace.second(10.0);
    for (int i = 0; i < 20; ++i) trace.second(3.0);
    for (int i = 0; i < 20; ++i) trace.second(10.0);
    const CheckRun run = trace.check(lf_reportedEastAt10(), true);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("crawl: object 200 KLM56A at 3.0 kt"), std::string::npos)
        << run.output;
}

// A take-off roll eastwards from 20 kt gaining 3 kt a second, one row a second; the program's
// tick came 0.17 s late for the row at 12 s, so that row lies behind: the speed dips by 6.5 kt
// in a second and rebounds by 22 kt the second after, while the roll itself is smooth.
TEST(TraceCheck, TakesAReboundAfterALateTickForAStutter)
{
    Trace trace;
    for (int row = 0; row <= 20; ++row) {
        const double t = row == 12 ? row - 0.17 : row;
        trace.row(row, (20.0 * t + 1.5 * t * t) * kMpsPerKt, 0.0, 90.0);
    }
    const CheckRun run = trace.check();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("0 ground speed jumps above 10 kt/s (1 stutters taken back)"),
              std::string::npos)
        << run.output;
}

// A landing roll eastwards from 66 kt braking at 6 kt a second, one row a second. The tick came
// 0.17 s late for the row at 6 s: the speed dips by 11 kt in a second and comes back by 4 kt the
// second after, less than half the dip, as the roll brakes on meanwhile; against the braking it
// dips by 5 kt and comes back by 10. The dip and the way back from its rebound are stutters. The
// same roll that loses 15 kt more in the second from 6 s and brakes on from there has jumped.
TEST(TraceCheck, JudgesADipOnABrakingRollAgainstItsBraking)
{
    const auto roll = [](double late_s, double lost_kt) {
        Trace trace;
        for (int row = 0; row <= 8; ++row) {
            const double t = row == 6 ? row - late_s : row;
            const double kt_s = 66.0 * t - 3.0 * t * t - lost_kt * std::max(t - 6.0, 0.0);
            trace.row(row, kt_s * kMpsPerKt, 0.0, 90.0);
        }
        return trace.check();
    };
    const CheckRun late = roll(0.17, 0.0);
    EXPECT_EQ(late.status, 0) << late.output;
    EXPECT_NE(late.output.find("0 ground speed jumps above 10 kt/s (2 stutters taken back)"),
              std::string::npos)
        << late.output;
    const CheckRun jump = roll(0.0, 15.0);
    EXPECT_EQ(jump.status, 1) << jump.output;
    EXPECT_NE(jump.output.find("speed jump: object 200 KLM56A 33.0 kt to 12.0 kt in 1.0 s "
                               "(-21.0 kt/s) at 6.0 s after its creation"),
              std::string::npos)
        << jump.output;
}

}  // namespace
}  // namespace qel::test
