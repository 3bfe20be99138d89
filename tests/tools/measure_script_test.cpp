// The measuring scripts against a program that ends before its time and a fuzzer that a signal
// ends, through a build of stand-ins (script_sandbox.h) whose scripts' minutes pass in moments.
#include <gtest/gtest.h>

#include <string>

#include <fmt/format.h>

#include "support/test_support.h"
#include "tools/script_sandbox.h"

namespace qel::test {
namespace {

// The program's production run writes the settings; the measured run waits for `until`, a shell
// test in its folder, up to half a minute, then crashes.
std::string lf_crashingProgram(const std::string& until)
{
    return fmt::format(
        "#!/bin/bash\n"
        "if [ \"${{1:-}}\" = --production ]; then\n"
        "    mkdir -p \"$XDG_CONFIG_HOME/VNTQ\" && echo '<root/>' "
        ">\"$XDG_CONFIG_HOME/VNTQ/parameters.xml\"\n"
        "    exit 0\n"
        "fi\n"
        "mkdir -p \"$VNTQ_SIM_OUTPUT\"\n"
        "echo '0.000 SimConnect_Open' >\"$VNTQ_SIM_OUTPUT/simulator-calls.log\"\n"
        "echo 'time_s,object_id,kind,atc_id,title,event' "
        ">\"$VNTQ_SIM_OUTPUT/simulator-trace.csv\"\n"
        "for _ in $(seq 600); do {} && break; /bin/sleep 0.05; done\n"
        "kill -SEGV $$\n",
        until);
}

// A program that crashes once its sky is measured, or once a run of figures began: the script
// fails, with the second it ended and its status, rather than giving a figure of a sky cut short.
TEST(MeasuringScripts, FailNamingWhenAndHowTheProgramEnded)
{
    const struct {
        const char* script;
        std::string until;  // when the program crashes
        std::string environment;
        std::string told;
    } cases[] = {
        {"memory_peak", "[ -s memory.txt ]",
         "VNTQ_MEM_FLIGHTS=1 VNTQ_MEM_STANDS=1 VNTQ_MEM_SECONDS=120",
         "memory_peak: the program ended by itself after "},
        {"creation_figures", "true", "VNTQ_FIGURES_RUNS=range",
         "creation_figures: the run range failed (its demo ended with exit status 139): demo: the "
         "program ended by itself after "},
    };
    for (const auto& c : cases) {
        const ScriptSandbox sandbox;
        sandbox.fakeBuild(lf_crashingProgram(c.until));
        const ScriptRun run = sandbox.start(c.script, sandbox.fakeCommands() + " " + c.environment);
        EXPECT_EQ(run.status, 1) << c.script << "\n" << run.output;
        EXPECT_NE(run.output.find(c.told), std::string::npos) << c.script << "\n" << run.output;
        EXPECT_NE(run.output.find("with exit status 139 (SIGSEGV)"), std::string::npos)
            << c.script << "\n"
            << run.output;
    }
}

// A program that ends before the first figure of memory_peak fails it.
TEST(MeasuringScripts, MemoryPeakFailsWhenTheProgramEndsBeforeItsFirstFigure)
{
    const ScriptSandbox sandbox;
    sandbox.fakeBuild(
        "#!/bin/bash\n"
        "mkdir -p \"$XDG_CONFIG_HOME/VNTQ\" && echo '<root/>' "
        ">\"$XDG_CONFIG_HOME/VNTQ/parameters.xml\"\n"
        "[ \"${1:-}\" = --production ] || exit 1\n");
    const ScriptRun run = sandbox.start(
        "memory_peak", sandbox.fakeCommands() + " VNTQ_MEM_FLIGHTS=1 VNTQ_MEM_STANDS=1");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(", before the first figure at 30 s"), std::string::npos)
        << run.output;
}

// Of three fuzz targets, one finds a crash and writes its reproducer, one is interrupted as
// libFuzzer is by Ctrl-C, one is killed: only the first is a finding.
TEST(MeasuringScripts, FuzzTellsAFindingFromARunEndedByASignal)
{
    const ScriptSandbox sandbox;
    sandbox.fakeBuild("#!/bin/sh\n");
    const struct {
        const char* name;
        const char* ending;
    } targets[] = {
        {"found", "echo \"artifact_prefix='c/'; Test unit written to c/crash-1\"; exit 1"},
        {"stopped", "echo '==1== libFuzzer: run interrupted; exiting'; exit 72"},
        {"killed", "kill -KILL $$"},
    };
    std::string names;
    std::filesystem::create_directories(sandbox.checkout() / "tests" / "fuzz");
    for (const auto& target : targets) {
        writeFile(sandbox.checkout() / "tests" / "fuzz" / fmt::format("{}_fuzz.cpp", target.name),
                  "");
        const auto program = sandbox.checkout() / "build-fuzz" / "tests" / "fuzz" /
                             fmt::format("{}_fuzz", target.name);
        std::filesystem::create_directories(program.parent_path());
        writeFile(program, fmt::format("#!/bin/bash\ncase \" $* \" in *' -merge=1 '*) exit 0 ;; "
                                       "esac\necho 'stat::number_of_executed_units: 25'\n{}\n",
                                       target.ending));
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        names += std::string(" ") + target.name;
    }
    const ScriptRun run = sandbox.start("fuzz", sandbox.fakeCommands(), "5" + names);
    EXPECT_EQ(run.status, 1) << run.output;
    for (const char* line :
         {"found: FINDING after 25 executions",
          "stopped: interrupted by a signal after 25 executions (exit status 72), before its 5 s: "
          "no finding so far",
          "killed: interrupted by a signal after 25 executions (exit status 137)"}) {
        EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
    }
}

}  // namespace
}  // namespace qel::test
