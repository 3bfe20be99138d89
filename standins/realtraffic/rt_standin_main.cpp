// vntq_rt_standin: the RealTraffic stand-in as a program for the demo. Serves a scenario on
// 127.0.0.1 until SIGINT or SIGTERM and prints one line per request; faults are switched on
// while it runs through its control endpoint.
//
// Threads: main waits in sigwait; the server's threads (rt_standin.cpp) answer and print.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <pthread.h>

#include "platform/clock.h"
#include "standins/port_options.h"
#include "standins/realtraffic/rt_standin.h"

namespace {

using namespace qel::standin;

constexpr const char* lf_usage =
    "usage: vntq_rt_standin --scenario FILE [--port N] [--start EPOCH|now]\n"
    "                       [--replay PATH[?QUERYTYPE]=FILE]... [--no-pacing] [--no-control]\n"
    "                       [--quiet]\n"
    "       vntq_rt_standin --scenario FILE --paths\n";

struct Arguments {
    std::string scenario;
    int port = 0;
    std::string start;
    std::vector<std::pair<std::string, std::string>> replays;
    bool pacing = true;
    bool control = true;
    bool quiet = false;
    bool paths = false;
};

Arguments lf_parseArguments(int argc, char** argv)
{
    Arguments args;
    auto value = [&](int& i) -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(fmt::format("{} needs a value", argv[i]));
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scenario") {
            args.scenario = value(i);
        } else if (arg == "--port") {
            args.port = parsePort(value(i));
        } else if (arg == "--start") {
            args.start = value(i);
        } else if (arg == "--replay") {
            const std::string pair = value(i);
            const auto eq = pair.find('=');
            if (eq == std::string::npos) throw std::invalid_argument("--replay needs PATH=FILE");
            args.replays.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
        } else if (arg == "--no-pacing") {
            args.pacing = false;
        } else if (arg == "--no-control") {
            args.control = false;
        } else if (arg == "--quiet") {
            args.quiet = true;
        } else if (arg == "--paths") {
            args.paths = true;
        } else {
            throw std::invalid_argument(fmt::format("unknown argument {}", arg));
        }
    }
    if (args.scenario.empty()) throw std::invalid_argument("--scenario is required");
    return args;
}

// One line per request; the credential is never printed.
void lf_printRequest(const LoggedRequest& request)
{
    static std::mutex printMutex;  // keeps the lines of concurrent requests whole; leaf lock
    std::string fields;
    for (const auto& [key, value] : request.fields) {
        fields += fmt::format(" {}={}", key, key == "license" ? "***" : value);
    }
    const std::string line =
        fmt::format("{} {} -> {}{}{}\n", request.epoch_s, request.path, request.status,
                    request.fault ? " (injected)" : "", fields);
    std::scoped_lock lock(printMutex);
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

// Every flight as it is reported at each whole scenario second of one run of the clock, for the
// scripts that compare the simulator's trace with what was reported (scripts/trace_check).
void lf_printPaths(const Scenario& scenario)
{
    std::cout << fmt::format("# reported paths, scenario seconds, repeating every {} s\n",
                             scenario.repeat_s)
              << "callsign,registration,hex,t_s,lat,lon,gs_kt,on_ground\n";
    for (const Flight& flight : scenario.flights) {
        double first = std::ceil(flight.points.front().t_s);
        double last = flight.points.back().t_s;
        // A repeating clock never reaches the seconds outside one run.
        if (scenario.repeat_s > 0) {
            first = std::max(first, 0.0);
            last = std::min(last, static_cast<double>(scenario.repeat_s - 1));
        }
        for (double t = first; t <= last; t += 1.0) {
            const auto s = flight.stateAt(t);
            if (!s) continue;
            std::cout << fmt::format("{},{},{},{:.0f},{:.7f},{:.7f},{:.1f},{}\n", flight.callsign,
                                     flight.registration, flight.hex, t, s->lat, s->lon, s->gs_kt,
                                     s->onGround ? 1 : 0);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const Arguments args = lf_parseArguments(argc, argv);
        const int64_t now_s = qel::platform::epochSeconds();
        Scenario scenario = loadScenario(args.scenario, now_s);
        if (args.paths) {
            lf_printPaths(scenario);
            return EXIT_SUCCESS;
        }
        if (args.start == "now") {
            scenario.clockStart = now_s;
        } else if (!args.start.empty()) {
            scenario.clockStart = std::stoll(args.start);
        }

        // Every thread inherits the blocked signals, so only sigwait below takes them.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);

        RtStandinOptions options;
        options.port = args.port;
        options.enforcePacing = args.pacing;
        options.controlEndpoint = args.control;
        if (!args.quiet) options.onRequest = lf_printRequest;
        const int64_t clockStart = scenario.clockStart;
        RtStandin server(std::move(scenario), options);
        for (const auto& [path, file] : args.replays) server.serveFile(path, file);
        std::cout << fmt::format("RealTraffic stand-in listening on {} (scenario clock start {})",
                                 server.url(), clockStart)
                  << std::endl;
        if (args.control) {
            std::cout << fmt::format(
                             "Faults at run time: curl -d kind=stall -d path=/v4/traffic "
                             "{}/control/fault (see README.md)",
                             server.url())
                      << std::endl;
        }
        int signal = 0;
        sigwait(&signals, &signal);
        std::cout << "RealTraffic stand-in stopped" << std::endl;
        return EXIT_SUCCESS;
    } catch (const qel::standin::WrongValue& e) {
        std::cerr << "vntq_rt_standin: " << e.what() << '\n';
        return 2;
    } catch (const std::invalid_argument& e) {
        std::cerr << e.what() << '\n' << lf_usage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return EXIT_FAILURE;
    }
}
