// scripts/trace_check against traces made here: what it takes for a fault of the motion and what
// for the timing of a busy machine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/wait.h>

#include <fmt/format.h>

#include "support/test_support.h"

namespace qel::test {
namespace {

struct CheckRun {
    int status = -1;
    std::string output;
};

CheckRun lf_traceCheck(const std::filesystem::path& trace)
{
    const std::string command =
        fmt::format("bash '{}/scripts/trace_check' '{}' 2>&1", VNTQ_SOURCE_DIR, trace.string());
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    CheckRun run;
    if (!pipe) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) run.output += buffer;
    const int status = pclose(pipe.release());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A take-off roll eastwards from 20 kt gaining 3 kt a second, one row a second; the program's
// tick came 0.17 s late for the row at 12 s, so that row lies behind: the speed dips by 6.5 kt
// in a second and rebounds by 22 kt the second after, while the roll itself is smooth.
TEST(TraceCheck, TakesAReboundAfterALateTickForAStutter)
{
    TempDir dir;
    std::string csv =
        "time_s,object_id,kind,atc_id,title,latitude,longitude,altitude_ft,alt_above_ground_ft,"
        "heading_deg,pitch_deg,bank_deg,ground_speed_kt,on_ground,lights,event\n";
    const double metresPerDegree = 111120.0 * std::cos(52.0 * 3.14159265358979 / 180.0);
    for (int row = 0; row <= 20; ++row) {
        const double t = row == 12 ? row - 0.17 : row;
        const double metres = (20.0 * t + 1.5 * t * t) * 1852.0 / 3600.0;
        csv += fmt::format(
            "{}.000,200,ai,TRA5671,Boeing 737-800 Transavia,52.0,{:.7f},-3.0,8.0,"
            "90.0,0.00,0.00,{:.1f},1,3,{}\n",
            row, 4.0 + metres / metresPerDegree, 20.0 + 3.0 * row, row == 0 ? "added" : "");
    }
    writeFile(dir / "simulator-trace.csv", csv);
    const CheckRun run = lf_traceCheck(dir / "simulator-trace.csv");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("0 ground speed jumps above 10 kt/s (1 stutters taken back)"),
              std::string::npos)
        << run.output;
}

}  // namespace
}  // namespace qel::test
