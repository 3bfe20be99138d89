// scripts/demo and the measuring scripts against wrong input and a folder in use, in a copy of
// the checkout's scripts (script_sandbox.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include <fmt/format.h>

#include "support/test_support.h"
#include "tools/script_sandbox.h"

namespace qel::test {
namespace {

namespace fs = std::filesystem;

using Sandbox = ScriptSandbox;

// Each stops the script with one line of its own, before anything is built, emptied or run:
// the last run's folder keeps its log and what the user put there.
TEST(DemoScripts, RefuseWrongInputInOneLineBeforeTouchingAnything)
{
    const struct {
        const char* input;
        const char* script;
        std::function<std::string(const Sandbox&)> setUp;  // gives the settings
        std::string told;
        const char* arguments = "";
    } cases[] = {
        {"a file of the user's in an earlier demo's folder", "demo",
         [](const Sandbox& s) {
             writeFile(s.run() / "thesis.tex", "\\documentclass{article}\n");
             return std::string();
         },
         "is left as it is: it holds what no demo made (thesis.tex)"},
        {"a parking folder without a list", "demo",
         [](const Sandbox& s) {
             fs::create_directories(s / "parking");
             return fmt::format("VNTQ_FG_PARKING='{}'", (s / "parking").string());
         },
         "demo: no FlightGear parking list in "},
        {"a scenario whose flights are no list", "demo",
         [](const Sandbox& s) {
             writeFile(s / "scenario.json",
                       R"({"user": {"lat": 52.3, "lon": 4.76}, "flights": {}})");
             return fmt::format("VNTQ_DEMO_SCENARIO='{}'", (s / "scenario.json").string());
         },
         "is not a scenario file as standins/scenario/README.md describes one: object ({}) and "
         "array"},
        {"a scenario without the session the demo signs in with", "demo",
         [](const Sandbox& s) {
             writeFile(s / "scenario.json",
                       R"({"user": {"lat": 52.3, "lon": 4.76}, "flights": [],
                           "sessions": [{"license": "demo-standard"}]})");
             return fmt::format("VNTQ_DEMO_SCENARIO='{}'", (s / "scenario.json").string());
         },
         "scenario.json has no session \"demo-professional\" in its \"sessions\", which the "
         "demo signs in with"},
        {"a run folder under a file", "demo",
         [](const Sandbox& s) {
             writeFile(s / "file", "");
             return fmt::format("VNTQ_DEMO_DIR='{}'", (s / "file" / "run").string());
         },
         "demo: cannot make the folder "},
        {"a huge number of jobs", "demo",
         [](const Sandbox&) { return std::string("VNTQ_DEMO_JOBS=99999999999999999999"); },
         "demo: VNTQ_DEMO_JOBS=99999999999999999999 is not a whole number from 1 to "},
        {"no second", "demo", [](const Sandbox&) { return std::string("VNTQ_DEMO_SECONDS=0"); },
         "demo: VNTQ_DEMO_SECONDS=0 is not a whole number from 1 to "},
        {"more seconds than bash counts", "demo",
         [](const Sandbox&) { return std::string("VNTQ_DEMO_SECONDS=99999999999999999999"); },
         "demo: VNTQ_DEMO_SECONDS=99999999999999999999 is not a whole number from 1 to "},
        {"a measured run of no number", "memory_peak",
         [](const Sandbox&) { return std::string("VNTQ_MEM_SECONDS=abc"); },
         "memory_peak: VNTQ_MEM_SECONDS=abc is not a whole number from 30 to "},
        {"a misspelt figures run", "creation_figures",
         [](const Sandbox&) { return std::string("VNTQ_FIGURES_RUNS='range ful'"); },
         "creation_figures: VNTQ_FIGURES_RUNS names \"ful\", which is none of range, full and "
         "beyond"},
        {"fuzzing for no number of seconds", "fuzz", [](const Sandbox&) { return std::string(); },
         "fuzz: SECONDS=abc is not a whole number from 1 to ", "abc"},
        {"jobs of the tests of no number", "test",
         [](const Sandbox&) { return std::string("VNTQ_TEST_JOBS=abc"); },
         "test: VNTQ_TEST_JOBS=abc is not a whole number from 1 to "},
        {"fuzz targets at once of no number", "fuzz",
         [](const Sandbox&) { return std::string("VNTQ_FUZZ_PARALLEL=abc"); },
         "fuzz: VNTQ_FUZZ_PARALLEL=abc is not a whole number from 1 to "},
    };
    for (const auto& c : cases) {
        const Sandbox sandbox;
        const std::string environment = c.setUp(sandbox);
        const std::string before = sandbox.runFolder();
        const ScriptRun run = sandbox.start(c.script, environment, c.arguments);
        EXPECT_EQ(run.status, 1) << c.input << "\n" << run.output;
        EXPECT_NE(run.output.find(c.told), std::string::npos) << c.input << "\n" << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << c.input << "\n"
                                                                             << run.output;
        EXPECT_EQ(sandbox.runFolder(), before) << c.input << "\n" << run.output;
    }
}

// A demo whose script was killed left its program and servers holding the folder. Killing them
// all at once cuts the program's sign-out from the server short: the next demo there names
// the program first, and the servers once it has ended.
TEST(DemoScripts, NamesTheProgramBeforeTheServersThatHoldItsFolder)
{
    const Sandbox sandbox;
    // Stand-ins under the names of a server and of the program, started in that order as the
    // demo starts them, holding the folder's lock as its children do.
    const std::string holders = fmt::format(
        "cp \"$(command -v sleep)\" '{0}/vntq_rt_standin' && cp '{0}/vntq_rt_standin' '{0}/vntq'\n"
        "exec 9>>'{1}/.demo.lock' && flock 9\n"
        "'{0}/vntq_rt_standin' 60 >/dev/null 2>&1 & server=$!\n"
        "'{0}/vntq' 60 >/dev/null 2>&1 & program=$!\n"
        "exec 9>&-\n"
        "echo \"server $server program $program\"\n"
        "env VNTQ_DEMO_BUILT=1 VNTQ_DEMO_DIR='{1}' bash '{2}/scripts/demo' 2>&1\n"
        "kill $server $program\n",
        sandbox.checkout().string(), sandbox.run().string(), sandbox.checkout().string());
    writeFile(sandbox / "holders.sh", holders);
    const std::string output = runBashFile(sandbox / "holders.sh").output;

    int server = 0;
    int program = 0;
    ASSERT_EQ(std::sscanf(output.c_str(), "server %d program %d", &server, &program), 2) << output;
    EXPECT_NE(output.find(fmt::format("demo: the processes that hold it: end the program first "
                                      "(\"kill {}\"), then, once it has ended, the servers "
                                      "(\"kill {}\"):",
                                      program, server)),
              std::string::npos)
        << output;
}

// The program of a build of stand-ins that a demo runs until it is closed: it marks `marks`
// "running" once it runs, and on the first SIGINT "closing"; it takes its close-down until
// `marks` holds "go" (marking "twice" once a second SIGINT came meanwhile), then marks "closed".
std::string lf_closingProgram(const fs::path& marks)
{
    fs::create_directories(marks);
    return fmt::format(
        "#!/usr/bin/perl\n"
        "use Time::HiRes qw(sleep);\n"
        "my $ints = 0;\n"
        "$SIG{{INT}} = sub {{ ++$ints; }};\n"
        "sub mark {{ open(my $f, '>', \"{0}/$_[0]\"); close($f); }}\n"
        "mark('running');\n"
        "for (my $i = 0; $i < 12000 && $ints == 0; ++$i) {{ sleep(0.05); }}\n"
        "mark('closing');\n"
        "for (my $i = 0; $i < 12000 && !-e '{0}/go'; ++$i) {{\n"
        "    mark('twice') if $ints >= 2;\n"
        "    sleep(0.05);\n"
        "}}\n"
        "mark('closed');\n",
        marks.string());
}

// The shell lines that wait for the mark `file`, half a minute at most.
std::string lf_awaitMark(const Sandbox& sandbox, const char* file)
{
    return fmt::format("for _ in $(seq 600); do [ -e '{}' ] && break; sleep 0.05; done\n",
                       (sandbox / "marks" / file).string());
}

// --help prints the settings and runs nothing.
TEST(DemoScripts, HelpPrintsTheSettingsAndRunsNothing)
{
    const Sandbox sandbox;
    const std::string before = sandbox.runFolder();
    for (const char* help : {"--help", "-h"}) {
        const ScriptRun run = sandbox.start("demo", "", help);
        EXPECT_EQ(run.status, 0) << help << "\n" << run.output;
        EXPECT_EQ(run.output.rfind("usage: scripts/demo [ARGUMENT...]\n", 0), 0U) << run.output;
        for (const char* setting :
             {"VNTQ_DEMO_SECONDS", "VNTQ_DEMO_DIR", "VNTQ_DEMO_SCENARIO", "VNTQ_DEMO_PARAMETERS",
              "VNTQ_FG_PARKING", "VNTQ_DEMO_JOBS", "VNTQ_DEMO_BUILT", "VNTQ_HEADLESS"}) {
            EXPECT_NE(run.output.find(setting), std::string::npos) << setting << "\n" << run.output;
        }
        EXPECT_EQ(sandbox.runFolder(), before) << help;
    }
}

// Ctrl-C in the terminal, then again while the program closes down: the second is told, and the
// close-down, which signs out and saves, goes on to its end.
TEST(DemoScripts, LetsTheCloseDownEndAfterASecondCtrlC)
{
    const Sandbox sandbox;
    sandbox.fakeBuild(lf_closingProgram(sandbox / "marks"));
    const std::string session = fmt::format(
        "set -m\n"
        "env VNTQ_DEMO_BUILT=1 VNTQ_DEMO_DIR='{0}' VNTQ_DEMO_SECONDS=600 bash '{1}/scripts/demo' "
        ">'{2}/demo.out' 2>&1 &\n"
        "demo=$!\n"
        "{3}kill -INT -- -$demo\n"
        "{4}kill -INT -- -$demo\n"
        "for _ in $(seq 600); do grep -q 'closing down' '{2}/demo.out' && break; sleep 0.05; "
        "done\n"
        "touch '{2}/marks/go'\n"
        "wait $demo; echo \"demo exit status $?\"\n"
        "cat '{2}/demo.out'\n"
        "[ ! -e '{2}/marks/closed' ] || echo 'the close-down ended'\n",
        sandbox.run().string(), sandbox.checkout().string(), (sandbox / "").string(),
        lf_awaitMark(sandbox, "running"), lf_awaitMark(sandbox, "twice"));
    writeFile(sandbox / "session.sh", session);
    const std::string output = runBashFile(sandbox / "session.sh").output;
    EXPECT_NE(output.find("demo exit status 130"), std::string::npos) << output;
    EXPECT_NE(output.find("demo: the program is closing down (signing out, saving what it "
                          "learned); Ctrl-C again kills it at once, and those are lost"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("the close-down ended"), std::string::npos) << output;
}

// A second demo in the folder of one that runs refuses in one line: the running demo ends its
// program and servers itself, so nothing is to be killed, and nothing of it is named.
TEST(DemoScripts, RefusesTheFolderOfARunningDemoWithoutKillAdvice)
{
    const Sandbox sandbox;
    sandbox.fakeBuild(lf_closingProgram(sandbox / "marks"));
    const std::string session = fmt::format(
        "env VNTQ_DEMO_BUILT=1 VNTQ_DEMO_DIR='{0}' VNTQ_DEMO_SECONDS=600 bash '{1}/scripts/demo' "
        ">/dev/null 2>&1 &\n"
        "demo=$!\n"
        "{2}env VNTQ_DEMO_BUILT=1 VNTQ_DEMO_DIR='{0}' bash '{1}/scripts/demo' 2>&1\n"
        "echo \"second demo exit status $?\"\n"
        "touch '{3}'\n"
        "kill -TERM $demo\n"
        "wait $demo\n",
        sandbox.run().string(), sandbox.checkout().string(), lf_awaitMark(sandbox, "running"),
        (sandbox / "marks" / "go").string());
    writeFile(sandbox / "session.sh", session);
    const std::string output = runBashFile(sandbox / "session.sh").output;
    EXPECT_EQ(output, fmt::format("demo: another demo is running in {}, which is left as it is; "
                                  "set VNTQ_DEMO_DIR to a folder of its own to run one beside "
                                  "it\nsecond demo exit status 1\n",
                                  sandbox.run().string()));
}

}  // namespace
}  // namespace qel::test
