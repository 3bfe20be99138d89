// The measuring scripts against a program that ends before its time and a fuzzer that a signal
// ends, through a build of stand-ins (script_sandbox.h) whose scripts' minutes pass in moments.
#include <gtest/gtest.h>

#include <string>

#include <fmt/format.h>

#include "support/test_support.h"
#include "tools/script_sandbox.h"

namespace qel::test {
namespace {

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
