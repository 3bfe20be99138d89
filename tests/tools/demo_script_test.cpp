// scripts/demo and the measuring scripts against wrong input and a folder in use. They run from
// a copy of the checkout's scripts and the demo's scenarios, without the set-up script and
// without a build beside them: whatever a check let through stops at the first tool it needs,
// and builds or runs nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <sys/wait.h>

#include <fmt/format.h>

#include "support/test_support.h"

namespace qel::test {
namespace {

namespace fs = std::filesystem;

struct ScriptRun {
    int status = -1;
    std::string output;  // standard output and error
};

// Runs a bash script file.
ScriptRun lf_bash(const fs::path& scriptFile)
{
    const std::string command = fmt::format("bash '{}'", scriptFile.string());
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    ScriptRun result;
    if (!pipe) return result;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) result.output += buffer;
    const int status = pclose(pipe.release());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The copied checkout, and the folder of an earlier demo run beside it.
class Sandbox {
public:
    Sandbox()
    {
        const fs::path source = VNTQ_SOURCE_DIR;
        fs::create_directories(checkout() / "scripts" / "lib");
        for (const char* script : {"demo", "memory_peak", "creation_figures", "lib"}) {
            fs::copy(source / "scripts" / script, checkout() / "scripts" / script,
                     fs::copy_options::recursive);
        }
        fs::create_directories(checkout() / "standins" / "scenario");
        for (const char* scenario : {"eham_demo.json", "busy_traffic.json"}) {
            fs::copy_file(source / "standins" / "scenario" / scenario,
                          checkout() / "standins" / "scenario" / scenario);
        }
        fs::create_directories(run());
        writeFile(run() / ".vntq-demo", "A run folder of scripts/demo.\n");
        writeFile(run() / "Log.txt", "the last run's log\n");
    }

    fs::path checkout() const { return dir_ / "checkout"; }
    fs::path run() const { return dir_ / "run"; }
    fs::path operator/(const fs::path& name) const { return dir_ / name; }

    // `script` of the copied checkout with the run folder and the settings `environment`
    // ("NAME='value' ..."), by a script file of its own that keeps the quoting plain.
    ScriptRun start(const std::string& script, const std::string& environment) const
    {
        writeFile(
            dir_ / "start.sh",
            fmt::format("env VNTQ_DEMO_BUILT=1 VNTQ_DEMO_DIR='{}' {} bash '{}' 2>&1\n",
                        run().string(), environment, (checkout() / "scripts" / script).string()));
        return lf_bash(dir_ / "start.sh");
    }

    // The run folder's names and its log.
    std::string runFolder() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(run())) {
            names.insert(entry.path().filename().string());
        }
        std::string listing;
        for (const auto& name : names) listing += name + " ";
        return listing + "| " + readFile(run() / "Log.txt");
    }

private:
    TempDir dir_;
};

// Each stops the script with one line of its own, before anything is built, emptied or run:
// the last run's folder keeps its log and what the user put there.
TEST(DemoScripts, RefuseWrongInputInOneLineBeforeTouchingAnything)
{
    const struct {
        const char* input;
        const char* script;
        std::function<std::string(const Sandbox&)> setUp;  // gives the settings
        std::string told;
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
    };
    for (const auto& c : cases) {
        const Sandbox sandbox;
        const std::string environment = c.setUp(sandbox);
        const std::string before = sandbox.runFolder();
        const ScriptRun run = sandbox.start(c.script, environment);
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
    const std::string output = lf_bash(sandbox / "holders.sh").output;

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

}  // namespace
}  // namespace qel::test
