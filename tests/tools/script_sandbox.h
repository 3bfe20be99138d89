// A copy of the checkout's scripts and the demo's scenarios for the tests of scripts/demo and
// the measuring scripts, without the set-up script and without a build beside them: whatever a
// check let through stops at the first tool it needs, and builds or runs nothing. A test that
// runs a script through lays a build of stand-ins (fakeBuild) in their place.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <sys/wait.h>

#include <fmt/format.h>

#include "support/test_support.h"

namespace qel::test {

struct ScriptRun {
    int status = -1;
    std::string output;  // standard output and error
};

// Runs a bash script file.
inline ScriptRun runBashFile(const std::filesystem::path& scriptFile)
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
class ScriptSandbox {
public:
    ScriptSandbox()
    {
        namespace fs = std::filesystem;
        const fs::path source = VNTQ_SOURCE_DIR;
        fs::create_directories(checkout() / "scripts" / "lib");
        for (const char* script :
             {"demo", "memory_peak", "creation_figures", "fuzz", "test", "lib"}) {
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

    std::filesystem::path checkout() const { return dir_ / "checkout"; }
    std::filesystem::path run() const { return dir_ / "run"; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return dir_ / name; }

    // `script` of the copied checkout with `arguments`, the run folder and the settings
    // `environment` ("NAME='value' ..."), by a script file of its own that keeps the quoting
    // plain.
    ScriptRun start(const std::string& script, const std::string& environment,
                    const std::string& arguments = {}) const
    {
        writeFile(dir_ / "start.sh",
                  fmt::format("env VNTQ_DEMO_BUILT=1 VNTQ_DEMO_DIR='{}' {} bash '{}' {} 2>&1\n",
                              run().string(), environment,
                              (checkout() / "scripts" / script).string(), arguments));
        return runBashFile(dir_ / "start.sh");
    }

    // The run folder's names and its log.
    std::string runFolder() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(run())) {
            names.insert(entry.path().filename().string());
        }
        std::string listing;
        for (const auto& name : names) listing += name + " ";
        return listing + "| " + readFile(run() / "Log.txt");
    }

    // A build of stand-ins that the demo and the measuring scripts run through: the program is
    // `program` (a script of any language, by its #! line), the servers say where they listen
    // and wait for their end, the tools and the set-up do nothing. fakeCommands() puts a cmake
    // and a clang++ that build nothing first on PATH, and a sleep whose second is a hundredth,
    // so that the scripts' minutes pass in moments.
    void fakeBuild(const std::string& program) const
    {
        const std::filesystem::path build = checkout() / "build";
        writeProgram(build / "src" / "app" / "vntq", program);
        const std::string server =
            "#!/usr/bin/perl\n"
            "if (grep { $_ eq '--paths' } @ARGV) {\n"
            "    print \"# reported paths\\ncallsign,registration,hex,t_s,lat,lon,gs_kt,"
            "on_ground\\n\"; exit 0;\n"
            "}\n"
            "$| = 1; print \"stand-in listening on http://127.0.0.1:9/\\n\"; sleep 600;\n";
        writeProgram(build / "standins" / "realtraffic" / "vntq_rt_standin", server);
        writeProgram(build / "standins" / "download" / "vntq_download_standin", server);
        for (const char* tool : {"tools/vntq_datafile_builder", "tools/vntq_stand_archive",
                                 "tests/vntq_make_bgl", "tools/track_picture/vntq_track_picture",
                                 "../scripts/setup", "../fake-bin/cmake", "../fake-bin/clang++"}) {
            writeProgram(build / tool, "#!/bin/sh\nexit 0\n");
        }
        const std::string sleep =
            fmt::format("#!/bin/sh\n[ \"$1\" = 1 ] && exec '{}' 0.01\nexec '{}' \"$@\"\n",
                        realSleep(), realSleep());
        writeProgram(checkout() / "fake-bin" / "sleep", sleep);
        const std::filesystem::path stands = checkout() / "tests" / "data" / "stands";
        const std::filesystem::path simulator = checkout() / "standins" / "simulator";
        for (const auto& folder : {build / "input", stands, simulator / "packages" / "Community",
                                   simulator / "my_regcodes"}) {
            std::filesystem::create_directories(folder);
        }
        writeFile(build / "input" / "LICENSE-airportsdata.txt", "MIT\n");
        writeFile(stands / "EHAM.xml", "<root><parkpositions></parkpositions></root>\n");
        writeFile(stands / "COPYING.GPL-2", "GPL-2\n");
        writeFile(stands / "debian-copyright.txt", "copyright\n");
        writeFile(simulator / "packages" / "Community" / "README", "no package\n");
        writeFile(simulator / "my_regcodes" / "private.txt", "\n");
    }
    std::string fakeCommands() const
    {
        return fmt::format("PATH='{}':\"$PATH\"", (checkout() / "fake-bin").string());
    }

private:
    static void writeProgram(const std::filesystem::path& path, const std::string& text)
    {
        std::filesystem::create_directories(path.parent_path());
        writeFile(path, text);
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    static std::string realSleep()
    {
        for (const char* path : {"/usr/bin/sleep", "/bin/sleep"}) {
            if (std::filesystem::exists(path)) return path;
        }
        return "sleep";
    }

    TempDir dir_;
};

}  // namespace qel::test
